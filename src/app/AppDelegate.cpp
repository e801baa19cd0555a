// The application controller's start-up, end of run, toolbar, menu titles and version lines.
#include "app/AppDelegate.h"

#include "app/ApplicationDefaults.h"
#include "app/Console.h"
#include "app/DelegateActions.h"
#include "app/MainTabView.h"
#include "app/MainToolBar.h"
#include "app/MainWindow.h"
#include "app/ResultsController.h"
#include "app/ToolbarConfiguration.h"
#include "app/ToolbarCustomiseDialog.h"
#include "app/UpdateWindowController.h"
#include "archive/ArchiveExportController.h"
#include "engine/CrwlUrl.h"
#include "engine/Z12Ara.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/Paths.h"
#include "platform/UserDefaults.h"
#include "settings/ConfigManager.h"
#include "views/ArchiveFolderPanel.h"
#include "views/InspectorWindows.h"
#include "views/ScanControl.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QMenuBar>
#include <QTimer>

#include <utility>

namespace crawlmere::app {

using platform::Notification;
using platform::NotificationCenter;

namespace {

QString tr(const char* text) { return QCoreApplication::translate("AppDelegate", text); }

} // namespace

AppDelegate::AppDelegate(platform::UserDefaults& defaults)
    : m_defaults(defaults)
{
}

AppDelegate::~AppDelegate()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    if (m_openers && m_results)
        forgetOwnOpener();
}

void AppDelegate::setWindow(MainWindow* window) { m_window = window; }

MainWindow* AppDelegate::window() const { return m_window; }

void AppDelegate::setUrlField(QWidget* field) { m_urlField = field; }

void AppDelegate::awakeFromNib()
{
    m_viewsRequireRefresh = false;
    m_loaded = false;
    m_dataEdited = false;
    m_autoStart.clear();
    if (!m_window)
        return;
    m_window->mainToolBar()->setItemIdentifiers(ToolbarConfiguration::savedItemIdentifiers(m_defaults));
    QObject::connect(m_window->customiseToolbarAction(), &QAction::triggered, m_window, [this] { customiseToolbar(); });
    QObject::connect(
        m_window->mainToolBar(), &MainToolBar::customiseRequested, m_window, [this] { customiseToolbar(); });
    if (m_capturesStandardError && !m_console)
        m_console = std::make_unique<Console>();
    if (m_urlOpener && !m_actions) {
        m_actions = new DelegateActions(m_defaults, *m_urlOpener, m_window);
        m_actions->setConfigManager(m_configManager);
        m_actions->installMenuItems(m_window->menuBar(), m_console.get());
    }
    // The few-results alert's "Support" button opens the support page as the Help menu does.
    if (m_results && m_actions)
        m_results->setVisitSupport(
            [actions = QPointer<DelegateActions>(m_actions)] {
                if (actions)
                    actions->visitPage(DelegateActions::kSupportPageKey);
            },
            [actions = QPointer<DelegateActions>(m_actions)] {
                return actions && actions->pageAvailable(DelegateActions::kSupportPageKey);
            });
    installDocumentMenuItems();
    installSelectionMenuItems();
}

void AppDelegate::applicationDidFinishLaunching()
{
    platform::logLine(1, QStringLiteral("applicationDidFinishLaunching:"));
    // The engine's defaults and the application's, in one table.
    registerApplicationDefaults(m_defaults);
    // Bad links only is off at launch; the menu item and the toolbar button, made before
    //    this, show it off too.
    m_defaults.setBool(false, kBadLinksOnlyKey);
    if (m_results)
        m_results->scanControl().followBadLinksOnlyDefault();
    // The search-results tab never shows at launch.
    if (m_window) {
        MainTabView* tabs = m_window->mainTabView();
        if (QWidget* search = tabs->findChild<QWidget*>(QStringLiteral("searchResultsTabViewItem"))) {
            tabs->removeTabViewItem(search);
            search->setParent(m_window);
            search->hide();
        }
    }
    // (The sitemap tab set up its columns when the results controller made it.)
    observeNotifications();
    // The windowed program's standard error goes to the console from here on.
    if (m_console && !m_console->start())
        platform::logLine(0, QStringLiteral("standard error could not be captured"));
    // The column managers set up their columns in the order flat view, by link, by page, by
    //    status (the results controller's four), SEO, metadata.
    if (m_results)
        m_results->setUpColumns();
    // The site settings controller: the site list, the selected site, and validation
    //    warnings off (the interface entries this build does not offer are never built).
    if (m_configManager)
        m_configManager->applicationHasFinishedLaunching();
    m_defaults.setBool(false, kHtmlValidationEnabledKey);
    // The starting URL field has the keyboard.
    if (m_urlField)
        m_urlField->setFocus(Qt::OtherFocusReason);
    m_loaded = true;
    // A document given at start-up is opened now.
    if (!m_autoStart.isEmpty()) {
        platform::logLine(2, QStringLiteral("autostart is set - calling openFile again."));
        if (m_window) {
            // Opened once the window is on screen, so that a question the document raises (an
            // ambiguous starting URL) stands over the window. The window goes before this.
            QTimer::singleShot(0, m_window, [this, document = std::exchange(m_autoStart, QString())] {
                m_window->raise();
                m_window->activateWindow();
                applicationOpenFile(document);
            });
        } else {
            applicationOpenFile(m_autoStart);
        }
    }
    // The first result tab is shown.
    if (m_window)
        m_window->mainTabView()->selectTabViewItemWithIdentifier(QStringLiteral("0"));
    // From here a tab change is remembered; start-up's own changes were not.
    if (m_results)
        m_results->startFollowingTabs();
    runVersionChecks();
    platform::logLine(1, QStringLiteral("applicationDidFinishLaunching: finished"));
}

void AppDelegate::applicationWillTerminate()
{
    if (m_window) {
        m_window->mainTabView()->selectTabViewItemWithIdentifier(QStringLiteral("0"));
        m_window->saveFrame();
    }
    if (m_configManager)
        m_configManager->applicationWillTerminate();
    if (m_hub)
        m_hub->applicationWillTerminate();
    stopAccessingBookmark();
    m_defaults.synchronize();
    // Lines written from here on reach the terminal.
    if (m_console)
        m_console->stop();
}

QStringList AppDelegate::observedNotificationNames()
{
    return { Z12Ara::CrwlCrawlDidFinish, Z12Ara::CrwlCrawlDidStop, Z12Ara::CrwlCrawlWillContinue,
        Z12Ara::CrwlUrlStatusUpdated, CrwlDidSaveArchiveIndex, CrwlSitemapRulesDidChange };
}

void AppDelegate::observeNotifications()
{
    using Handler = void (AppDelegate::*)(const Notification&);
    const Handler handlers[]
        = { &AppDelegate::crawlDidFinish, &AppDelegate::crawlDidStop, &AppDelegate::crawlWillContinue,
              &AppDelegate::CrwlUrlStatusUpdated, &AppDelegate::saveArchive, &AppDelegate::updateChangeFrequencies };
    const QStringList names = observedNotificationNames();
    auto& center = NotificationCenter::defaultCenter();
    for (qsizetype i = 0; i < names.size(); ++i) {
        const Handler handler = handlers[i];
        center.addObserver(this, names[i], [this, handler](const Notification& note) { (this->*handler)(note); });
    }
}

void AppDelegate::crawlDidFinish(const Notification&)
{
    stopAccessingBookmark();
    if (m_results)
        m_results->crawlDidFinish();
}

void AppDelegate::crawlDidStop(const Notification&)
{
    if (m_results)
        m_results->crawlDidStop();
}

void AppDelegate::crawlWillContinue(const Notification&)
{
    if (m_results)
        m_results->crawlWillContinue();
}

void AppDelegate::CrwlUrlStatusUpdated(const Notification& notification)
{
    if (m_results)
        m_results->updateStatus(static_cast<const CrwlUrl*>(notification.object.get()));
}

void AppDelegate::saveArchive(const Notification&)
{
    if (!m_archiveExport || !m_hub)
        return;
    using Controller = archive::ArchiveExportController;
    const Controller::Decision decision = m_archiveExport->saveArchive(*m_hub);
    switch (decision.step) {
    case Controller::Step::Export:
        m_archiveExport->start(decision.request);
        return;
    case Controller::Step::AskForFolder: {
        const std::optional<views::ArchiveFolderPanel::Answer> answer
            = views::ArchiveFolderPanel::ask(decision.question, m_window);
        if (!answer)
            return;
        if (const auto request
            = m_archiveExport->folderChosen(decision, answer->folder, answer->process, answer->dontAskAgain))
            m_archiveExport->start(*request);
        return;
    }
    }
}

void AppDelegate::updateChangeFrequencies(const Notification&)
{
    if (m_results)
        m_results->sitemapRulesDidChange();
}

QString AppDelegate::getAboutMenuTitle() { return tr("About Crawlmere Max"); }
QString AppDelegate::getHideMenuTitle() { return tr("Hide Crawlmere Max"); }
QString AppDelegate::getQuitMenuTitle() { return tr("Quit Crawlmere Max"); }
QString AppDelegate::getHelpMenuTitle() { return tr("Crawlmere Max Help"); }
QString AppDelegate::getSitesTabViewItemLabel() { return tr("Sites and settings"); }

QString AppDelegate::bundleVersionNumber()
{
    // The program carries one version; it stands for the build too.
    return QStringLiteral("%1 (%2)").arg(QLatin1String(CRAWLMERE_VERSION), QLatin1String(CRAWLMERE_VERSION));
}

void AppDelegate::runVersionChecks()
{
    platform::logLine(0, QStringLiteral("Version and build: %1").arg(bundleVersionNumber()));
    platform::logLine(0, QStringLiteral("Bundle id: %1").arg(kBundleIdentifier));
    platform::logLine(0, QStringLiteral("data folder is %1").arg(platform::Paths::applicationSupportFolder()));
    if (m_updateController)
        m_updateController->awakeFromNib();
}

QStringList AppDelegate::toolbarAllowedItemIdentifiers(const QString& toolbarIdentifier)
{
    return ToolbarConfiguration::allowedItemIdentifiers(toolbarIdentifier);
}

QStringList AppDelegate::toolbarDefaultItemIdentifiers(const QString& toolbarIdentifier)
{
    return ToolbarConfiguration::defaultItemIdentifiers(toolbarIdentifier);
}

void AppDelegate::customiseToolbar()
{
    if (!m_window)
        return;
    ToolbarCustomiseDialog dialog(
        ToolbarConfiguration::kToolbarIdentifier, m_window->mainToolBar()->itemIdentifiers(), m_window);
    if (dialog.exec() == QDialog::Accepted)
        applyToolbarItemIdentifiers(dialog.itemIdentifiers());
}

void AppDelegate::applyToolbarItemIdentifiers(const QStringList& identifiers)
{
    const QStringList shown = ToolbarConfiguration::sanitized(identifiers);
    ToolbarConfiguration::saveItemIdentifiers(m_defaults, shown);
    if (m_window)
        m_window->mainToolBar()->setItemIdentifiers(shown);
}

void AppDelegate::inspectPage(const std::shared_ptr<CrwlUrl>& page)
{
    platform::logLine(1, QStringLiteral("inspecting page"));
    if (m_results && page)
        m_results->inspectors().inspectPage(page);
}

} // namespace crawlmere::app
