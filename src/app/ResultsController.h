// The main window's results: the scan control wired to the Go button, status line and Scan menu,
// and the result tabs with their link views, reports and exports, each kept by a helper of its own.
#pragma once

#include "app/ResultsServices.h"
#include "views/ResultTreeView.h"
#include "views/TableExportJob.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class QAbstractButton;
class QAction;
class QPrinter;
class QToolButton;

class CrwlByLinkDataSource;
class CrwlUrl;
class ScanControl;
class qfColumnManager;
struct TableExportSnapshot;

namespace crawlmere::archive {
class ArchiveExportController;
}

namespace crawlmere::sitemap {
class SitemapManager;
}

namespace crawlmere::reports {
class CrwlInsecureDataSource;
}

namespace crawlmere::views {
class CrwlByPageDataSource;
class CrwlByStatusDataSource;
class CrwlFlatViewDataSource;
class ResultTabs;
class InsecureContentWindow;
class InspectorWindows;
} // namespace crawlmere::views

namespace crawlmere::app {

class InsecureContentResults;
class ResultExports;
class ResultLinkViews;
class SEOResults;
class SitemapResults;

/// Made by the main interface with the window, the hub, the site store and the shell services;
/// the application delegate forwards the hub's notifications and its start-up steps here. The
/// Go button's title is the scan state: the site store asks `isScanning` (it reads "Pause").
/// The by-link view (tab "1") is filled live during a scan; the by-page, by-status and flat views
/// (tabs "2" to "4") are filled from the hub when a scan pauses or ends, or when their tab is
/// selected after that.
///
/// The link views, the Sitemap tab, the insecure-content list, the SEO tab and the File menu's
/// exports each live in a helper of their own (`ResultLinkViews`, `SitemapResults`,
/// `InsecureContentResults`, `SEOResults`, `ResultExports`); this class follows the scan on the
/// window's controls and joins the helpers to the tabs.
///
/// Every collaborator must outlive this object. Main thread only.
class ResultsController final : public QObject {
    Q_OBJECT
public:
    static inline const QString exportTriggeredByPreviewerDidFinish
        = QStringLiteral("exportTriggeredByPreviewerDidFinish");

    ResultsController(MainWindow& window, std::shared_ptr<Z12Ara> hub, settings::ConfigManager& configManager,
        std::shared_ptr<ShellPrompts> prompts, std::shared_ptr<platform::UrlOpener> urlOpener,
        std::shared_ptr<platform::SavePanel> savePanel, platform::UserDefaults& defaults);
    ~ResultsController() override;

    // ===== From the application delegate =======================================================
    /// Start-up step 8: the column managers apply the stored column choices, in the order flat
    /// view, by link, by page, by status.
    void setUpColumns();
    /// The end of start-up: from now on a tab change follows the tab rules (so start-up's own
    /// tab changes never touch `lastTabSelected`); the current tab's rule runs once.
    void startFollowingTabs();
    void crawlWillContinue();
    void crawlDidStop();
    void crawlDidFinish();
    /// CrwlUrlStatusUpdated with the record whose status changed (may be null).
    void updateStatus(const CrwlUrl* changed);
    /// CrwlSitemapRulesDidChange: the sitemap takes the selected site's rules afresh.
    void sitemapRulesDidChange();

    /// While this export runs a new scan is refused with a beep: a new scan replaces the archive
    /// the export reads. Null: never refused. Must outlive this object or be unset.
    void setArchiveExport(archive::ArchiveExportController* exporter) { m_archiveExport = exporter; }
    /// What the few-results alert's "Support" button opens (the delegate's `visitSupport:`), and
    /// whether there is a page to open: the button is offered only then.
    void setVisitSupport(std::function<void()> visitSupport, std::function<bool()> available)
    {
        m_visitSupport = std::move(visitSupport);
        m_supportAvailable = std::move(available);
    }

    /// A scan is running: the Go button reads "Pause".
    bool isScanning() const;
    /// Enables the File menu's items that have something to do, so none is offered that would
    /// do nothing: Export as HTML… and Export as CSV… when the tab they export has rows, the
    /// sitemap exports with a non-empty sitemap (Export Image Sitemap… also while image
    /// sitemaps are off, to say so), the insecure-content exports with a non-empty list, Print…
    /// with a printable tab in front. Run as the File menu opens, when the tab changes and
    /// whenever the scan's display changes.
    void updateExportMenuItems();

    // ===== Exports =============================================================================
    /// The selected tab's view as an HTML page; from the sites tab the last result tab shown,
    /// as Export as CSV… does.
    void exportAsHTMLMenuItem();
    /// The last result tab shown (`lastTabSelected`) as CSV.
    void exportAsCSVMenuItem();
    /// showInsecureList: the insecure-content list (filled first if it is empty) in its window.
    void showInsecureList();
    /// The insecure-content list as flat CSV or HTML through the save panel; nothing when the
    /// list is empty.
    void exportInsecureAsCSVMenuItem();
    void exportInsecureAsHTMLMenuItem();
    /// The XML sitemap of the pages of the sitemap tab, through the save panel.
    void exportXMLMenuItem();
    /// The image sitemap, or the "Image sitemap not enabled" alert when no images were gathered.
    void exportImageXML();
    /// The scan's SEO tallies in short (`SEOShortSummaryAsCSV`) through a save panel of type
    /// "csv", written atomically as UTF-8; the outcome is only logged.
    void exportSEOShortSummaryAsCSVMenuItem();
    /// print: the front result table or outline (tabs "1" to "5") through the print dialog;
    /// a beep when no table is in front.
    void printFrontView();
    /// The front table or outline printed on `printer` as set up; false (nothing printed) when
    /// no table is in front or the printer cannot be painted on. A printer writing a file writes
    /// it as every save does (`printThroughCheckedFile`); a file that may not be written is
    /// refused with the save panel's alert.
    bool printFrontView(QPrinter& printer);
    /// The selected site checks images, or the defaults `enableImageSitemap` or
    /// `includeimagesinsitemap` are set.
    bool getCheckImages();
    /// A result table's or outline's shown columns and rows (an outline's expanded rows only).
    static TableExportSnapshot snapshotOf(views::ResultTreeView& view);

    CrwlByLinkDataSource& byLinkDataSource() const;
    views::CrwlByPageDataSource& byPageDataSource() const;
    views::CrwlByStatusDataSource& byStatusDataSource() const;
    views::CrwlFlatViewDataSource& flatViewDataSource() const;
    std::shared_ptr<qfColumnManager> byLinkColumnManager() const;
    std::shared_ptr<qfColumnManager> flatViewColumnManager() const;
    ScanControl& scanControl() const { return *m_scanControl; }
    /// Opens the link and page inspectors, the highlighter and the route for the four link views.
    views::InspectorWindows& inspectors() const;
    views::ResultTabs& resultTabs() const { return *m_tabs; }
    sitemap::SitemapManager& sitemapManager() const;
    reports::CrwlInsecureDataSource& insecureDataSource() const;
    /// The SEO manager and its tab (not placed in the window).
    SEOResults& seoResults() const { return *m_seo; }
    /// The insecure-content window once it has been shown; else null.
    views::InsecureContentWindow* insecureWindow() const;

private:
    /// At a pause or end: the sitemap from the hub's internal pages and images, the insecure
    /// list from the hub's.
    void populateReports();
    void connectControls();
    /// The scan's display on the Go button, the progress indicator, the Scan menu, the status
    /// line and the archive and bad-links controls.
    void displayChanged();
    /// All of the scan's display but the status line.
    void showDisplayBesideTheStatusLine();
    /// The counts of a URL just checked: the status line shows them at once; the rest of the
    /// display (menus, export items) is brought up to date at once when it was last shown
    /// `kCountsIntervalMs` ago or more, else once that time is up (a scan checks thousands of
    /// URLs a second, and doing all of it for each would cost the scan more than its checks).
    void countsChanged();
    static constexpr qint64 kCountsIntervalMs = 100;

    const ResultsServices m_services;
    // Destroyed in reverse order: what uses the link views' data sources and inspectors first.
    std::unique_ptr<ResultLinkViews> m_linkViews;
    std::unique_ptr<views::ResultTabs> m_tabs;
    std::unique_ptr<ScanControl> m_scanControl;
    std::unique_ptr<SitemapResults> m_sitemap;
    std::unique_ptr<InsecureContentResults> m_insecure;
    std::unique_ptr<SEOResults> m_seo;
    std::unique_ptr<ResultExports> m_exports;
    archive::ArchiveExportController* m_archiveExport = nullptr;
    std::function<void()> m_visitSupport;
    std::function<bool()> m_supportAvailable;
    // The controls the scan's display sets, found by name once: a lookup walks the window's
    // whole object tree, and the display changes with every URL checked.
    struct DisplayControls {
        bool found = false;
        QPointer<QAction> stop, continueScan, clear, badLinks;
        QPointer<QAbstractButton> archiveProcess, archivePreserve;
        QPointer<QToolButton> badLinksButton;
    };
    DisplayControls m_displayControls;
    QElapsedTimer m_sinceDisplayShown;
    bool m_countsPending = false;
    bool m_followingTabs = false;
};

} // namespace crawlmere::app
