// Opens the inspector windows the link views ask for and keeps each alive while it is open.
#pragma once

#include "views/CrwlLinkInspectorWindowController.h"
#include "views/CrwlPageInspectorWindowController.h"
#include "views/LinkViewOpener.h"

#include <QPointer>

#include <functional>
#include <memory>

namespace crawlmere::platform {
class UrlOpener;
}

namespace crawlmere::views {

/// The shell's opener for the link views: each `inspect` (`inspectPage`) opens a new link
/// (page) inspector, keeps it in `owner`'s retain array, centres it on the screen, shows it in
/// front and fills it. A closed window leaves the retain array and is deleted on the next turn
/// of the event loop. A link inspector's inspect-target button opens the page inspector here.
/// `highlight` and `locate` of an occurrence go through a link inspector without a window (none
/// is kept): the highlighter fetches the occurrence's page and opens the marked copy; the route
/// goes to the locate handler. A way in through a redirect ("[redirect]") has no link to mark:
/// its highlight opens the redirecting URL's link inspector on its Redirects tab. `locate` goes to the locator the shell sets, when set
/// (its locate window reaches pages too); else an occurrence's route goes to the locate handler
/// and a page does nothing.
/// `owner` must outlive this object; windows still open when it goes stop reaching it.
/// Main thread only.
class InspectorWindows final : public LinkViewOpener {
public:
    InspectorWindows(qfDataSource& owner, std::shared_ptr<platform::UrlOpener> opener);

    void inspect(const std::shared_ptr<CrwlUrl>& url) override;
    void inspectPage(const std::shared_ptr<CrwlUrl>& page) override;
    void highlight(const std::shared_ptr<CrwlLinkInstance>& occurrence) override;
    void locate(const qfDataSource::Item& item) override;

    /// Shows the route to an occurrence; unset: `locate` does nothing.
    void setLocateHandler(CrwlLinkInspectorWindowController::OccurrenceHandler handler)
    {
        locateHandler = std::move(handler);
    }
    /// Marks a target fixed for a link inspector's mark-fixed action; unset: nothing is marked.
    void setMarkFixedHandler(CrwlLinkInspectorWindowController::RecordHandler handler)
    {
        markFixedHandler = std::move(handler);
    }
    /// What `locate` calls; the shell sets it to its locate window. Must stay callable while set.
    void setLocator(std::function<void(const qfDataSource::Item&)> value) { locator = std::move(value); }

    /// Runs on every page inspector made, before it is filled and shown (the shell adds its help
    /// buttons); unset: nothing.
    void setPageInspectorMade(std::function<void(CrwlPageInspectorWindowController&)> value)
    {
        pageInspectorMade = std::move(value);
    }

    /// The window the last `inspectPage` opened (null before any); owned by the retain array.
    CrwlPageInspectorWindowController* lastPageInspector() const { return lastPage; }
    CrwlLinkInspectorWindowController* lastLinkInspector() const { return lastLink; }

private:
    /// Opens the link inspector of a redirecting record on its Redirects tab.
    CrwlLinkInspectorWindowController::RecordHandler showRedirect() const;
    /// A window-less link inspector on the occurrence's target with the occurrence chosen; null
    /// when the occurrence has no target or is not among its ways in (logged).
    std::unique_ptr<CrwlLinkInspectorWindowController> chooserFor(
        const std::shared_ptr<CrwlLinkInstance>& occurrence) const;

    qfDataSource& owner;
    CrwlLinkInspectorWindowController::OccurrenceHandler locateHandler;
    CrwlLinkInspectorWindowController::RecordHandler markFixedHandler;
    /// Lets the windows' handlers know whether this object still exists.
    std::shared_ptr<InspectorWindows*> self = std::make_shared<InspectorWindows*>(this);
    std::shared_ptr<platform::UrlOpener> urlOpener;
    std::function<void(const qfDataSource::Item&)> locator;
    std::function<void(CrwlPageInspectorWindowController&)> pageInspectorMade;
    QPointer<CrwlPageInspectorWindowController> lastPage;
    QPointer<CrwlLinkInspectorWindowController> lastLink;
};

} // namespace crawlmere::views
