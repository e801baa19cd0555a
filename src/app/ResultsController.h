// The main window's scan control, result tabs and general exports, wired to its widgets: the Go
// button, status line and Scan menu, the by-link view with its controls, and the export items.
#pragma once

#include "views/ResultTreeView.h"
#include "views/TableExportJob.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class QAbstractButton;
class QAction;
class QPrinter;
class QToolButton;

class ByLinkColumnManager;
class ByPageColumnManager;
class ByStatusColumnManager;
class CrwlByLinkDataSource;
class CrwlDataObject;
class FlatViewColumnManager;
class CrwlUrl;
class QTreeView;
class ScanControl;
class ShellPrompts;
class qfColumnManager;
class Z12Ara;
struct TableExportSnapshot;

namespace crawlmere::platform {
class SavePanel;
class UrlOpener;
class UserDefaults;
} // namespace crawlmere::platform

namespace crawlmere::settings {
class ConfigManager;
}

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
class ResultViewDelegate;
class InsecureContentWindow;
class InspectorWindows;
class SitemapTab;
} // namespace crawlmere::views

namespace crawlmere::app {

class MainWindow;
class SEOResults;
class SitemapReportActions;
class ResultViewExporter;

/// Made by the main interface with the window, the hub, the site store and the shell services;
/// the application delegate forwards the hub's notifications and its start-up steps here. The
/// Go button's title is the scan state: the site store asks `isScanning` (it reads "Pause").
/// The by-link view (tab "1") is filled live during a scan; the by-page, by-status and flat views
/// (tabs "2" to "4") are filled from the hub when a scan pauses or ends, or when their tab is
/// selected after that.
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

    CrwlByLinkDataSource& byLinkDataSource() const { return *m_byLink; }
    views::CrwlByPageDataSource& byPageDataSource() const { return *m_byPage; }
    views::CrwlByStatusDataSource& byStatusDataSource() const { return *m_byStatus; }
    views::CrwlFlatViewDataSource& flatViewDataSource() const { return *m_flat; }
    std::shared_ptr<qfColumnManager> byLinkColumnManager() const;
    std::shared_ptr<qfColumnManager> flatViewColumnManager() const;
    ScanControl& scanControl() const { return *m_scanControl; }
    /// Opens the link and page inspectors, the highlighter and the route for the four link views.
    views::InspectorWindows& inspectors() const { return *m_inspectors; }
    views::ResultTabs& resultTabs() const { return *m_tabs; }
    sitemap::SitemapManager& sitemapManager() const { return *m_sitemap; }
    reports::CrwlInsecureDataSource& insecureDataSource() const { return *m_insecure; }
    /// The SEO manager and its tab (not placed in the window).
    SEOResults& seoResults() const { return *m_seo; }
    /// The insecure-content window once it has been shown; else null.
    views::InsecureContentWindow* insecureWindow() const;

private:
    /// A print target refused: the save panel's alert.
    std::function<void(const QString& path, const QString& reason)> printRefused() const;
    void buildByLinkView();
    void joinLinkViews();
    /// Saves `manager`'s choice whenever the user drags one of `view`'s columns elsewhere.
    void keepColumnOrder(QTreeView& view, const std::shared_ptr<qfColumnManager>& manager);
    void buildSitemapTab();
    /// At a pause or end: the sitemap from the hub's internal pages and images, the insecure
    /// list from the hub's.
    void populateReports();
    /// The hub's occurrences as items, one list shared by the flat and by-status views.
    QList<std::shared_ptr<CrwlDataObject>> sharedOccurrences();
    /// Brings the kept list of occurrences up to the hub's a slice at a time during a scan.
    void keepOccurrencesInStep();
    /// Expand all (true) or collapse all in the outline of the selected tab.
    void expandFrontOutline(bool expand);
    void connectControls();
    /// The File menu's print item and the (hidden) SEO summary item, after the export items.
    void addFileMenuItems();
    /// The table or outline of the selected tab ("1" to "5"); null for any other tab.
    QTreeView* frontPrintableView() const;
    void displayChanged();
    void exportTab(int tab, TableExportJob::Format format);
    /// The tab Export as HTML… (or CSV…) exports.
    int exportedTab(TableExportJob::Format format) const;
    /// Whether `tab` has rows to export.
    bool tabHasRows(int tab) const;
    void exportView(QTreeView* view, TableExportJob::Format format);
    void exportInsecure(TableExportJob::Format format);
    /// Asks the save panel for an insecure-content file of `fileType`; "" when cancelled.
    QString askForFile(const QString& fileType) const;
    void post(const QString& name);
    QList<qsizetype> selectedByLinkRows() const;

    MainWindow& m_window;
    std::shared_ptr<Z12Ara> m_hub;
    settings::ConfigManager& m_configManager;
    std::shared_ptr<ShellPrompts> m_prompts;
    std::shared_ptr<platform::UrlOpener> m_urlOpener;
    std::shared_ptr<platform::SavePanel> m_savePanel;
    platform::UserDefaults& m_defaults;
    std::unique_ptr<CrwlByLinkDataSource> m_byLink;
    std::unique_ptr<views::ResultViewDelegate> m_byLinkDelegate;
    std::unique_ptr<views::InspectorWindows> m_inspectors;
    std::shared_ptr<ByLinkColumnManager> m_byLinkColumns;
    std::unique_ptr<views::ResultTabs> m_tabs;
    std::unique_ptr<ScanControl> m_scanControl;
    QPointer<views::ResultTreeView> m_byLinkView;
    QList<QPointer<views::ResultTreeView>> m_otherLinkViews;
    std::unique_ptr<views::CrwlByPageDataSource> m_byPage;
    std::unique_ptr<views::CrwlByStatusDataSource> m_byStatus;
    std::unique_ptr<views::CrwlFlatViewDataSource> m_flat;
    std::shared_ptr<ByPageColumnManager> m_byPageColumns;
    std::shared_ptr<ByStatusColumnManager> m_byStatusColumns;
    std::shared_ptr<FlatViewColumnManager> m_flatColumns;
    QList<std::shared_ptr<CrwlDataObject>> m_occurrences;
    std::unique_ptr<sitemap::SitemapManager> m_sitemap;
    QPointer<views::SitemapTab> m_sitemapTab;
    std::unique_ptr<SitemapReportActions> m_sitemapActions;
    std::unique_ptr<reports::CrwlInsecureDataSource> m_insecure;
    std::unique_ptr<SEOResults> m_seo;
    QPointer<views::InsecureContentWindow> m_insecureWindow;
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
    bool m_followingTabs = false;
    ResultViewExporter* m_exporter = nullptr;
};

} // namespace crawlmere::app
