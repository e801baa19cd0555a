// Opens the inspector windows the link views ask for and keeps each alive while it is open.
#include "views/InspectorWindows.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "platform/Log.h"
#include "views/CrwlLinkInspectorWindowController.h"
#include "views/CrwlPageInspectorWindowController.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

namespace crawlmere::views {

InspectorWindows::InspectorWindows(qfDataSource& retainOwner, std::shared_ptr<platform::UrlOpener> opener)
    : owner(retainOwner)
    , urlOpener(std::move(opener))
{
}

namespace {

/// Keeps `window` in `owner`'s retain array until it closes, centres it, shows it in front and
/// fills it. The window is deleted later, never inside one of its own event handlers.
template <class Window> Window* present(qfDataSource& owner, Window* created, const std::shared_ptr<CrwlUrl>& record)
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
    if (!page)
        return;
    auto* window = new CrwlPageInspectorWindowController(urlOpener);
    if (pageInspectorMade)
        pageInspectorMade(*window);
    lastPage = present(owner, window, page);
}

void InspectorWindows::inspect(const std::shared_ptr<CrwlUrl>& url)
{
    if (!url)
        return;
    auto* window = new CrwlLinkInspectorWindowController(nullptr, urlOpener);
    const std::weak_ptr<InspectorWindows*> alive = self;
    window->setInspectPageHandler([alive](const std::shared_ptr<CrwlUrl>& page) {
        if (const auto opener = alive.lock())
            (*opener)->inspectPage(page);
    });
    window->setLocateHandler([alive](const std::shared_ptr<CrwlLinkInstance>& occurrence) {
        if (const auto opener = alive.lock(); opener && (*opener)->locateHandler)
            (*opener)->locateHandler(occurrence);
    });
    window->setMarkFixedHandler([alive](const std::shared_ptr<CrwlUrl>& target) {
        if (const auto opener = alive.lock(); opener && (*opener)->markFixedHandler)
            (*opener)->markFixedHandler(target);
    });
    window->setShowRedirectHandler(showRedirect());
    lastLink = present(owner, window, url);
}

CrwlLinkInspectorWindowController::RecordHandler InspectorWindows::showRedirect() const
{
    return [alive = std::weak_ptr<InspectorWindows*>(self)](const std::shared_ptr<CrwlUrl>& redirect) {
        const auto opener = alive.lock();
        if (!opener)
            return;
        (*opener)->inspect(redirect);
        if ((*opener)->lastLink)
            (*opener)->lastLink->selectRedirectTab();
    };
}

std::unique_ptr<CrwlLinkInspectorWindowController> InspectorWindows::chooserFor(
    const std::shared_ptr<CrwlLinkInstance>& occurrence) const
{
    const auto target = occurrence ? occurrence->target() : nullptr;
    if (!target)
        return nullptr;
    auto chooser = std::make_unique<CrwlLinkInspectorWindowController>(nullptr, urlOpener);
    chooser->setLcurl(target);
    const auto& list = chooser->getOnPageInstanceArrayNoUnique();
    const auto found = std::find(list.begin(), list.end(), occurrence);
    if (found == list.end()) {
        platform::logLine(1, QStringLiteral("The occurrence is not among its target's inbound occurrences"));
        return nullptr;
    }
    chooser->setLastClickedOnPage(found - list.begin());
    chooser->setLocateHandler(locateHandler);
    chooser->setShowRedirectHandler(showRedirect());
    return chooser;
}

void InspectorWindows::highlight(const std::shared_ptr<CrwlLinkInstance>& occurrence)
{
    if (const auto chooser = chooserFor(occurrence))
        chooser->highlight();
}

void InspectorWindows::locate(const qfDataSource::Item& item)
{
    if (locator) {
        locator(item);
        return;
    }
    if (const auto chooser = chooserFor(std::dynamic_pointer_cast<CrwlLinkInstance>(item)))
        chooser->locate();
}

} // namespace crawlmere::views
