// The browser view of a login window.
#include "webrender/LoginWebView.h"

#include "platform/Log.h"

#include <QWebEnginePage>

namespace crawlmere::webrender {

LoginWebView::LoginWebView(QWebEngineProfile* profile, WindowMaker maker, QWidget* parent)
    : QWebEngineView(parent)
    , windowMaker(std::move(maker))
{
    setPage(new QWebEnginePage(profile, this));
}

QWebEngineView* LoginWebView::createWindow(QWebEnginePage::WebWindowType /*type*/)
{
    crawlmere::platform::logLine(1, QStringLiteral("request to open new web view"));
    return windowMaker ? windowMaker() : nullptr;
}

} // namespace crawlmere::webrender
