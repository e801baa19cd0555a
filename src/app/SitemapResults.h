// The Sitemap tab as the main window holds it: the sitemap manager and its table, filled from
// the scanned site's pages and settings, with its upload sheet and XML exports.
#pragma once

#include "app/ResultsServices.h"

#include <QObject>
#include <QPointer>

#include <memory>

class QTreeView;

namespace crawlmere::sitemap {
class SitemapManager;
}

namespace crawlmere::views {
class InspectorWindows;
class ResultTabs;
class SitemapTab;
} // namespace crawlmere::views

namespace crawlmere::app {

class SEOResults;
class SitemapReportActions;

/// The sitemap belongs to the site that was scanned, whichever site is selected since: its
/// settings come from that site, and an edit of the sitemap table or of the upload sheet is
/// stored into that site.
///
/// The services must outlive this object. Main thread only.
class SitemapResults final : public QObject {
    Q_OBJECT
public:
    explicit SitemapResults(const ResultsServices& services);
    ~SitemapResults() override;

    /// Places the Sitemap tab (identifier "5") in the window and hands its manager to `tabs`;
    /// pages double-clicked there open in `inspectors`, and the SEO tab's highlight pop-up also
    /// says which images show. `tabs`, `inspectors` and `seo` must outlive this object.
    void buildTab(views::ResultTabs& tabs, views::InspectorWindows& inspectors, SEOResults& seo);
    /// At a pause or end: the sitemap from the hub's internal pages and images.
    void populate();
    /// The sitemap takes the scanned site's rules afresh.
    void rulesDidChange();
    /// Before a new scan.
    void clear();
    /// The tab goes (it shows the manager, which goes with this object).
    void deleteTab();

    /// The sitemap has pages to export.
    bool hasPages() const;
    /// The sitemap's table once the tab is built; else null.
    QTreeView* tableView() const;
    /// The XML sitemap of the pages of the sitemap tab, through the save panel.
    void exportXML();
    /// The image sitemap, or the "Image sitemap not enabled" alert when no images were gathered.
    void exportImageXML();
    /// The selected site checks images, or the defaults `enableImageSitemap` or
    /// `includeimagesinsitemap` are set.
    bool getCheckImages() const;

    sitemap::SitemapManager& manager() const { return *m_manager; }

private:
    const ResultsServices m_services;
    std::unique_ptr<sitemap::SitemapManager> m_manager;
    QPointer<views::SitemapTab> m_tab;
    std::unique_ptr<SitemapReportActions> m_actions;
};

} // namespace crawlmere::app
