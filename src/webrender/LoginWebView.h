// The browser view of a login window: a page's request for a new window is answered by its
// window, which puts a new view in this one's place.
#pragma once

#include <QWebEngineView>

#include <functional>

namespace crawlmere::webrender {

class LoginWebView final : public QWebEngineView {
public:
    /// Answers a request for a new window: the view that takes the new page, or null to refuse.
    using WindowMaker = std::function<QWebEngineView*()>;

    /// A view whose page lives in `profile` (which must outlive it).
    LoginWebView(QWebEngineProfile* profile, WindowMaker maker, QWidget* parent = nullptr);

protected:
    QWebEngineView* createWindow(QWebEnginePage::WebWindowType type) override;

private:
    WindowMaker windowMaker;
};

} // namespace crawlmere::webrender
