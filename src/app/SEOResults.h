// The SEO tab's manager and widgets as the main window holds them: filled from the hub's
// internal pages on request, cleared at a new scan, exported from the export items.
#pragma once

#include <functional>
#include <memory>

class Z12Ara;

namespace crawlmere::platform {
class SavePanel;
class UrlOpener;
class UserDefaults;
} // namespace crawlmere::platform

namespace crawlmere::reports {
class SEOManager;
}

namespace crawlmere::views {
class LinkViewOpener;
class SEOTab;
} // namespace crawlmere::views

namespace crawlmere::app {

/// Owns the SEO manager and its tab. The tab is made but not placed in the window's tab view,
/// so the SEO tab stays removed at start-up; placing `tab()` there (identifier "7") is all it
/// takes to show it. The hub, the defaults store, the opener and the save panel must outlive
/// this object. Main thread only.
class SEOResults final {
public:
    SEOResults(std::shared_ptr<Z12Ara> hub, platform::UserDefaults& defaults,
        std::shared_ptr<platform::UrlOpener> urlOpener, platform::SavePanel* savePanel);
    ~SEOResults();
    SEOResults(const SEOResults&) = delete;
    SEOResults& operator=(const SEOResults&) = delete;

    reports::SEOManager& manager() const { return *m_manager; }
    views::SEOTab* tab() const;

    /// Where double-clicked pages open (`inspectPage`); null: nowhere. Must outlive this object
    /// or be unset.
    void setOpener(views::LinkViewOpener* opener);
    views::LinkViewOpener* opener() const { return m_opener; }
    /// Told after an SEO filter pass rewrote the pages' visible flags.
    void setVisibilityObserver(std::function<void()> observer);
    /// populateSEOViewIfNotPopulated: when the manager holds no page, the hub's internal pages
    /// and their image occurrences in page order.
    void populateIfNotPopulated();
    /// clear: before a new scan.
    void clear();
    void exportSEOAsCSV();
    void exportSEOAsHTML();

private:
    std::shared_ptr<Z12Ara> m_hub;
    std::unique_ptr<reports::SEOManager> m_manager;
    std::unique_ptr<views::SEOTab> m_tab;
    views::LinkViewOpener* m_opener = nullptr;
};

} // namespace crawlmere::app
