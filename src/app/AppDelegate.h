// The application controller: start-up in its fixed order, the end of the run, the toolbar's
// items, the menu titles and the version lines of the log.
#pragma once

#include "engine/ShellServices.h"
#include "engine/qfDataSource.h"
#include "platform/FolderAccess.h"

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTextBrowser>
#include <QUrl>
#include <QWidget>

#include <memory>

class ShellPrompts;
class CrwlLinkInstance;
class CrwlUrl;
class Z12Ara;

namespace crawlmere::platform {
class UrlOpener;
class UserDefaults;
struct Notification;
} // namespace crawlmere::platform

namespace crawlmere::settings {
class ConfigManager;
}

namespace crawlmere::archive {
class ArchiveExportController;
}

namespace crawlmere::views {
class InspectorWindows;
}

namespace crawlmere::app {

class Console;
class DelegateActions;
class MainWindow;
class ResultsController;
class UpdateWindowController;

/// Made by the main interface together with the hub and the window, wired through its widgets
/// (`setHub`, `setWindow`, `setUrlField`); it never makes them itself. Its own collection (from
/// `qfDataSource`) stays empty until scan control empties and reads it.
///
/// The notification handlers and the calls on the site settings controller, the sitemap manager,
/// the column managers, the console and document opening are slots that the scan control, the
/// result views, the site settings, the console and document opening fill when they arrive; each
/// is marked where it is called. Main thread only; lives for the whole run.
class AppDelegate : public qfDataSource {
public:
    /// `defaults` is the store of the run (the standard one in the program); it must outlive the
    /// delegate.
    explicit AppDelegate(platform::UserDefaults& defaults);
    ~AppDelegate() override;

    // ===== Widgets ============================================================================
    void setHub(std::shared_ptr<Z12Ara> hub) { m_hub = std::move(hub); }
    /// The site settings controller, told of the launch (step 9) and of the end of the run.
    void setConfigManager(std::shared_ptr<settings::ConfigManager> manager) { m_configManager = std::move(manager); }
    const std::shared_ptr<settings::ConfigManager>& configManager() const { return m_configManager; }
    const std::shared_ptr<Z12Ara>& hub() const { return m_hub; }
    void setWindow(MainWindow* window);
    MainWindow* window() const;
    /// The starting-URL field of the sites pane, focused at the end of start-up.
    void setUrlField(QWidget* field);
    /// Scan control, the result tabs and the exports of the window; the notification handlers
    /// and start-up steps 8 and 12 pass their work to it. Not owned.
    void setResultsController(ResultsController* results) { m_results = results; }
    /// Opens the web pages and the README of the help items; set before `awakeFromNib`.
    void setUrlOpener(std::shared_ptr<platform::UrlOpener> opener) { m_urlOpener = std::move(opener); }
    /// The windowed program captures its standard error into the console (start-up step 7);
    /// off by default. Set before `awakeFromNib`.
    void setCapturesStandardError(bool captures) { m_capturesStandardError = captures; }
    /// The console window; null unless standard error is captured.
    Console* console() const { return m_console.get(); }
    /// The site reset, login windows and web-page items; null before `awakeFromNib` or
    /// without a window and URL opener.
    DelegateActions* actions() const { return m_actions; }
    /// The page archive's export, started when the hub has saved its archive index (the folder
    /// asked over the window unless the site names one). Not owned.
    void setArchiveExport(archive::ArchiveExportController* exporter) { m_archiveExport = exporter; }

    // ===== Life cycle =========================================================================
    /// awakeFromNib: resets the flags, arranges the toolbar from the defaults (or its default
    /// set) and connects "Customise Toolbar…".
    void awakeFromNib();
    /// applicationDidFinishLaunching: the fourteen start-up steps, in order. Call once.
    void applicationDidFinishLaunching();
    /// applicationWillTerminate: selects tab "0", tells the settings controller and the hub,
    /// keeps the window frame, saves the defaults, and gives standard error back.
    void applicationWillTerminate();

    bool loaded() const { return m_loaded; }
    bool dataEdited() const { return m_dataEdited; }
    /// A document opened before start-up finished; start-up opens it again.
    void setAutoStart(const QString& path) { m_autoStart = path; }
    const QString& autoStart() const { return m_autoStart; }
    /// The alerts and the beep of document opening (answered with the first button when unset).
    void setPrompts(std::shared_ptr<ShellPrompts> prompts) { m_prompts = std::move(prompts); }

    // ===== Documents ==========================================================================
    /// application:openFile: `path` is a plain path (relative to the working folder) or a URL
    /// string. Before launch ends it is only kept in `autoStart` (the last one wins) and true
    /// is returned. Settings files (".lcsettings", ".lcsbatch", exact case) are imported, a
    /// settings file then presses Go; pages, documents and URL lists (".xml", ".htm", ".html",
    /// ".csv", ".txt", ".docx", ".pdf", any case) become the starting URL of the selected or a
    /// new site, their path is granted and, unless a scan is running, Go is pressed (a URL list
    /// after its scope question). Anything else alerts "Unknown or unsupported file type" and
    /// returns false.
    virtual bool applicationOpenFile(const QString& path);
    /// openFile: beeps while a scan runs, else a window-modal file dialog for one file.
    void openFile();
    /// bookmarkSecurityScopedResource: beeps while a scan runs, else a window-modal folder dialog;
    /// the folder chosen is remembered and an alert says so, or why not.
    void bookmarkSecurityScopedResource();
    /// Reopens the grant stored for `url`'s own path into `bookmarkFileURL`, or stores one.
    platform::FolderAccess::Outcome bookmarkSecurityScopedResourceStep2(const QUrl& url);
    /// The alert that tells what became of the folder `url` chosen from the menu.
    static ShellAlert folderGrantAlert(const QUrl& url, platform::FolderAccess::Outcome outcome);
    /// The granted URL in use (empty when none); cleared when a scan finishes.
    const QUrl& bookmarkFileURL() const { return m_bookmarkFileURL; }
    void stopAccessingBookmark();

    // ===== Selection actions ==================================================================
    /// locate:withinWindow: shows the route to `occurrence` in `locateView` (a text browser in
    /// `locateWindow`, made on first use; its links open in the default browser), styled for a
    /// dark palette when the window's is. An occurrence without parent or target does nothing.
    void locate(const std::shared_ptr<CrwlLinkInstance>& occurrence);
    /// The locate window's text view; null until the first locate.
    QTextBrowser* locateView() const { return m_locateView; }
    /// A view's locate item: an occurrence is located as it is; a page through the occurrence by
    /// which it was found (its first inbound one); the starting page and other rows do nothing.
    void locateItem(const qfDataSource::Item& item);
    /// markThisUrlAsFixed: the hub marks `url` fixed, then every tab is refiltered.
    void markThisUrlAsFixed(const std::shared_ptr<CrwlUrl>& url);
    /// inspectPage: logs "inspecting page" and opens a page inspector on `page` (kept while its
    /// window is open). Nothing without a results controller or a page.
    void inspectPage(const std::shared_ptr<CrwlUrl>& page);
    /// recheckMenuItem: only once the scan has finished or is paused, the targets of the rows
    /// selected in the front link view are fetched again (by page: occurrence rows only; page
    /// rows are skipped). Other fronts: nothing.
    void recheckMenuItem();
    /// markAsFixedMenuItem: the targets of the front view's selected rows are marked fixed (by
    /// page then reloaded, by status refiltered), then every tab is refiltered.
    void markAsFixedMenuItem();
    /// recheckMultipleParentsMenuItem: by link and by status, once finished or paused: the
    /// pages holding the selected links (by link: of all their occurrences), each once, loaded
    /// again one per turn of the event loop, then every link view refilled from the scan and the
    /// status line brought up to date. The flat view in front: `recheckParentPageInFlatView`.
    void recheckMultipleParentsMenuItem();
    /// recheckParentPageInFlatView: with the flat view in front, once finished or paused, the
    /// pages holding the selected occurrences, each once, load again; then as above.
    void recheckParentPageInFlatView();

    // ===== Menu titles and version ============================================================
    static QString getAboutMenuTitle();
    static QString getHideMenuTitle();
    static QString getQuitMenuTitle();
    static QString getHelpMenuTitle();
    static QString getSitesTabViewItemLabel();
    /// bundleVersionNumber: "version (build)".
    static QString bundleVersionNumber();
    static inline const QString kBundleIdentifier = QStringLiteral("com.quillfeather.crawlmereMax");
    /// runVersionChecks: logs the version and build, the bundle identifier and the data folder,
    /// then starts the new-version check (`setUpdateWindowController`), which never blocks.
    void runVersionChecks();
    /// The new-version check started at launch; may be null. Must outlive the delegate's launch.
    void setUpdateWindowController(UpdateWindowController* controller) { m_updateController = controller; }

    // ===== Toolbar ============================================================================
    static QStringList toolbarAllowedItemIdentifiers(const QString& toolbarIdentifier);
    static QStringList toolbarDefaultItemIdentifiers(const QString& toolbarIdentifier);
    /// customiseToolbar: opens the arrangement dialog; an accepted arrangement is shown and kept
    /// in the defaults.
    void customiseToolbar();
    /// Shows `identifiers` on the toolbar and keeps them in the defaults.
    void applyToolbarItemIdentifiers(const QStringList& identifiers);

    /// The six notifications observed from launch on, in registration order.
    static QStringList observedNotificationNames();
    static inline const QString CrwlDidSaveArchiveIndex = QStringLiteral("CrwlDidSaveArchiveIndex");
    static inline const QString CrwlSitemapRulesDidChange = QStringLiteral("CrwlSitemapRulesDidChange");

protected:
    // Observers registered at start-up; scan control, the archive export and the sitemap rules
    // give them their work.
    virtual void crawlDidFinish(const platform::Notification& notification);
    virtual void crawlDidStop(const platform::Notification& notification);
    virtual void crawlWillContinue(const platform::Notification& notification);
    virtual void CrwlUrlStatusUpdated(const platform::Notification& notification);
    virtual void saveArchive(const platform::Notification& notification);
    virtual void updateChangeFrequencies(const platform::Notification& notification);

private:
    void observeNotifications();
    int alert(const QString& message, const QString& informative, const QStringList& buttons) const;
    void beep() const;
    bool isScanning() const;
    void chooseLocalItem(bool folder);
    void installDocumentMenuItems();
    void installSelectionMenuItems();
    void updateSelectionMenuItems();
    /// The selected tab when it is a link view (1 to 4), else 0.
    int frontLinkTab() const;
    QList<qfDataSource::Item> selectedRowsOf(int tab) const;
    /// The page recheck of the rows selected in `tab`.
    void recheckPagesOf(int tab);
    /// Takes the delegate's own opener out of the link views before it goes.
    void forgetOwnOpener();

    platform::UserDefaults& m_defaults;
    std::shared_ptr<Z12Ara> m_hub;
    std::shared_ptr<settings::ConfigManager> m_configManager;
    QPointer<MainWindow> m_window;
    QPointer<QWidget> m_urlField;
    ResultsController* m_results = nullptr;
    archive::ArchiveExportController* m_archiveExport = nullptr;
    UpdateWindowController* m_updateController = nullptr;
    bool m_loaded = false;
    bool m_dataEdited = false;
    bool m_viewsRequireRefresh = false;
    bool m_capturesStandardError = false;
    QString m_autoStart;
    std::shared_ptr<platform::UrlOpener> m_urlOpener;
    std::unique_ptr<Console> m_console;
    DelegateActions* m_actions = nullptr;
    std::shared_ptr<ShellPrompts> m_prompts;
    QUrl m_bookmarkFileURL;
    QPointer<QWidget> m_locateWindow;
    QPointer<QTextBrowser> m_locateView;
    /// The link views' opener when the window did not install one.
    std::unique_ptr<views::InspectorWindows> m_openers;
};

} // namespace crawlmere::app
