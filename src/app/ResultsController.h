// The main window's scan control, result tabs and general exports, wired to its widgets: the Go
// button, status line and Scan menu, the by-link view with its controls, and the export items.
#pragma once

#include "views/ResultTreeView.h"
#include "views/TableExportJob.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class ByLinkColumnManager;
class CrwlByLinkDataSource;
class CrwlUrl;
class QTreeView;
class ScanControl;
class ShellPrompts;
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

namespace crawlmere::views {
class ResultTabs;
class ResultViewDelegate;
} // namespace crawlmere::views

namespace crawlmere::app {

class MainWindow;

/// Made by the main interface with the window, the hub, the site store and the shell services;
/// the application delegate forwards the hub's notifications and its start-up steps here. The
/// Go button's title is the scan state: the site store asks `isScanning` (it reads "Pause").
/// The by-link view (tab "1") is filled live during a scan; the other link views join the tabs
/// in one place (`joinLinkViews` in the implementation) as their data sources land.
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
    /// Start-up step 8: the by-link column manager applies the stored column choice.
    void setUpColumns();
    /// The end of start-up: from now on a tab change follows the tab rules (so start-up's own
    /// tab changes never touch `lastTabSelected`); the current tab's rule runs once.
    void startFollowingTabs();
    void crawlWillContinue();
    void crawlDidStop();
    void crawlDidFinish();
    /// CrwlUrlStatusUpdated with the record whose status changed (may be null).
    void updateStatus(const CrwlUrl* changed);

    /// A scan is running: the Go button reads "Pause".
    bool isScanning() const;

    // ===== Exports =============================================================================
    /// The selected tab's view as an HTML page.
    void exportAsHTMLMenuItem();
    /// The last result tab shown (`lastTabSelected`) as CSV.
    void exportAsCSVMenuItem();
    /// The image sitemap, or the "Image sitemap not enabled" alert when no images were gathered.
    void exportImageXML();
    /// The selected site checks images, or the defaults `enableImageSitemap` or
    /// `includeimagesinsitemap` are set.
    bool getCheckImages();
    /// A result table's or outline's shown columns and rows (an outline's expanded rows only).
    static TableExportSnapshot snapshotOf(views::ResultTreeView& view);

    CrwlByLinkDataSource& byLinkDataSource() const { return *m_byLink; }
    ScanControl& scanControl() const { return *m_scanControl; }
    views::ResultTabs& resultTabs() const { return *m_tabs; }

private:
    void buildByLinkView();
    void joinLinkViews();
    void connectControls();
    void displayChanged();
    void exportTab(int tab, TableExportJob::Format format);
    void exportView(QTreeView* view, TableExportJob::Format format);
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
    std::shared_ptr<ByLinkColumnManager> m_byLinkColumns;
    std::unique_ptr<views::ResultTabs> m_tabs;
    std::unique_ptr<ScanControl> m_scanControl;
    QPointer<views::ResultTreeView> m_byLinkView;
    bool m_followingTabs = false;
};

} // namespace crawlmere::app
