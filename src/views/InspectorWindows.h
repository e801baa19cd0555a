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
/// (page) inspector, keeps
/// it in `owner`'s retain array, centres it on the screen, shows it in front and fills it. A
/// closed window leaves the retain array and is deleted on the next turn of the event loop.
/// `highlight` is not served here yet: it logs and opens nothing. `locate` goes to the locator
/// the shell sets (its locate window); without one it logs and opens nothing.
/// `owner` must outlive this object. Main thread only.
class InspectorWindows final : public LinkViewOpener {
public:
    InspectorWindows(qfDataSource& owner, std::shared_ptr<platform::UrlOpener> opener);

    void inspect(const std::shared_ptr<CrwlUrl>& url) override;
    void inspectPage(const std::shared_ptr<CrwlUrl>& page) override;
    void highlight(const std::shared_ptr<CrwlLinkInstance>& occurrence) override;
    void locate(const qfDataSource::Item& item) override;

    /// What `locate` calls; the shell sets it to its locate window. Must stay callable while set.
    void setLocator(std::function<void(const qfDataSource::Item&)> value) { locator = std::move(value); }

    /// The window the last `inspectPage` opened (null before any); owned by the retain array.
    CrwlPageInspectorWindowController* lastPageInspector() const { return lastPage; }
    CrwlLinkInspectorWindowController* lastLinkInspector() const { return lastLink; }

private:
    qfDataSource& owner;
    std::shared_ptr<platform::UrlOpener> urlOpener;
    std::function<void(const qfDataSource::Item&)> locator;
    QPointer<CrwlPageInspectorWindowController> lastPage;
    QPointer<CrwlLinkInspectorWindowController> lastLink;
};

} // namespace crawlmere::views
