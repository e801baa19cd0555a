// Opens the inspector windows the link views ask for and keeps each alive while it is open.
#include "views/InspectorWindows.h"

#include "engine/CrwlUrl.h"
#include "platform/Log.h"
#include "views/CrwlPageInspectorWindowController.h"

#include <QGuiApplication>
#include <QScreen>

namespace crawlmere::views {

InspectorWindows::InspectorWindows(qfDataSource& retainOwner, std::shared_ptr<platform::UrlOpener> opener)
    : owner(retainOwner)
    , urlOpener(std::move(opener))
{
}

void InspectorWindows::inspectPage(const std::shared_ptr<CrwlUrl>& page)
{
    if (!page)
        return;
    // Deleted later, never inside one of its own event handlers.
    std::shared_ptr<CrwlPageInspectorWindowController> window(
        new CrwlPageInspectorWindowController(urlOpener), [](CrwlPageInspectorWindowController* w) { w->deleteLater(); });
    window->setLcurl(page);
    qfDataSource* retainOwner = &owner;
    QObject::connect(window.get(), &CrwlPageInspectorWindowController::windowClosed, window.get(),
        [retainOwner, raw = window.get()] { retainOwner->removeFromRetainArray(raw); });
    owner.addToRetainArray(window);
    lastPage = window.get();
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
    window->show();
    window->raise();
    window->activateWindow();
    window->windowDidLoad();
}

void InspectorWindows::inspect(const std::shared_ptr<CrwlUrl>& url)
{
    platform::logLine(1, QStringLiteral("No link inspector for ") + (url ? url->absoluteString() : QString()));
}

void InspectorWindows::highlight(const std::shared_ptr<CrwlLinkInstance>&)
{
    platform::logLine(1, QStringLiteral("No link highlighter available"));
}

void InspectorWindows::locate(const qfDataSource::Item&)
{
    platform::logLine(1, QStringLiteral("No locate window available"));
}

} // namespace crawlmere::views
