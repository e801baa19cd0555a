// Opens the inspector windows the link views ask for and keeps each alive while it is open.
#include "views/InspectorWindows.h"

#include "engine/CrwlUrl.h"
#include "platform/Log.h"
#include "views/CrwlLinkInspectorWindowController.h"
#include "views/CrwlPageInspectorWindowController.h"

#include <QGuiApplication>
#include <QScreen>

namespace crawlmere::views {

InspectorWindows::InspectorWindows(qfDataSource& retainOwner, std::shared_ptr<platform::UrlOpener> opener)
    : owner(retainOwner)
    , urlOpener(std::move(opener))
{
}

namespace {

/// Keeps `window` in `owner`'s retain array until it closes, centres it, shows it in front and
/// fills it. The window is deleted later, never inside one of its own event handlers.
template<class Window>
Window* present(qfDataSource& owner, Window* created, const std::shared_ptr<CrwlUrl>& record)
{
    std::shared_ptr<Window> window(created, [](Window* w) { w->deleteLater(); });
    window->setLcurl(record);
    qfDataSource* retainOwner = &owner;
    QObject::connect(window.get(), &Window::windowClosed, window.get(),
        [retainOwner, raw = window.get()] { retainOwner->removeFromRetainArray(raw); });
    owner.addToRetainArray(window);
    window->windowDidLoad();
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window.get();
}

} // namespace

void InspectorWindows::inspectPage(const std::shared_ptr<CrwlUrl>& page)
{
    if (page)
        lastPage = present(owner, new CrwlPageInspectorWindowController(urlOpener), page);
}

void InspectorWindows::inspect(const std::shared_ptr<CrwlUrl>& url)
{
    if (url)
        lastLink = present(owner, new CrwlLinkInspectorWindowController, url);
}

void InspectorWindows::highlight(const std::shared_ptr<CrwlLinkInstance>&)
{
    platform::logLine(1, QStringLiteral("No link highlighter available"));
}

void InspectorWindows::locate(const qfDataSource::Item& item)
{
    if (locator)
        locator(item);
    else
        platform::logLine(1, QStringLiteral("No locate window available"));
}

} // namespace crawlmere::views
