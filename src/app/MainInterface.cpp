// The long-lived objects of the windowed program and the way the program starts.
#include "app/MainInterface.h"

#include "app/AppDelegate.h"
#include "app/ApplicationDefaults.h"
#include "app/DelegateActions.h"
#include "app/DesktopLauncher.h"
#include "app/DesktopUrlOpener.h"
#include "app/DiagnosticWindow.h"
#include "app/DocumentHandoff.h"
#include "app/FileDialogSavePanel.h"
#include "app/HelpButtons.h"
#include "app/HubAssembly.h"
#include "app/InspectionSocket.h"
#include "app/MainWindow.h"
#include "app/Manual.h"
#include "app/PopoverHelpPresenter.h"
#include "app/PreferencesWindow.h"
#include "app/RememberingSavePanel.h"
#include "app/ResultsController.h"
#include "app/ScheduleOverviewWindow.h"
#include "app/StatusLineField.h"
#include "app/UpdateWindow.h"
#include "app/UpdateWindowController.h"
#include "app/WindowCloseKeys.h"
#include "app/WindowPrompts.h"
#include "archive/ArchiveExportController.h"
#include "archive/ArchiveWriter.h"
#include "engine/CrawlSettingKeys.h"
#include "engine/OutputFilterManager.h"
#include "engine/Z12Ara.h"
#include "platform/SavePanel.h"
#include "platform/UrlSession.h"
#include "platform/UserDefaults.h"
#include "settings/ConfigManager.h"
#include "settings/WebRenderLoader.h"
#include "settings/WebRenderModule.h"
#include "views/ArchiveProgressSheet.h"
#include "views/InspectorWindows.h"
#include "views/OutputFilterWindow.h"
#include "views/ResultTabs.h"
#include "views/SettingsPane.h"
#include "views/SitemapTab.h"
#include "views/SitesPane.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QThread>
#include <QTreeView>

#include <cstdio>
#include <dlfcn.h>

namespace crawlmere::app {

MainInterface::MainInterface(platform::UserDefaults& defaults, std::shared_ptr<ShellPrompts> prompts)
    : m_delegate(std::make_unique<AppDelegate>(defaults))
{
    m_window = std::make_unique<MainWindow>(defaults, AppDelegate::getQuitMenuTitle(), AppDelegate::getAboutMenuTitle(),
        AppDelegate::getSitesTabViewItemLabel());
    m_prompts = prompts ? std::move(prompts) : std::make_shared<WindowPrompts>(m_window.get());
    m_urlOpener = std::make_shared<DesktopUrlOpener>();
    // On a desktop, addresses and files open through the desktop's opener, and where none opens
    // them (no browser installed) the user is told so. A platform without a desktop (offscreen)
    // opens nothing, as before.
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) {
        auto* launcher = new DesktopLauncher(
            [prompts = std::weak_ptr<ShellPrompts>(m_prompts)](const QUrl& url, const QString& why) {
                if (const auto shown = prompts.lock())
                    shown->runModalAlert({ .messageText = QStringLiteral("The address could not be opened"),
                        .informativeText = DesktopLauncher::failureText(url, why),
                        .buttons = { QStringLiteral("OK") } });
            },
            QStringLiteral("xdg-open"), m_window.get());
        launcher->install();
    }
    // Every other window closes with the Close keys and quits with the Quit keys; a child of the
    // window, it goes with it.
    new WindowCloseKeys(m_window.get(), m_window->menuItem(QStringLiteral("quitMenuItem")));

    m_hub = assembleHub(defaults);
    m_hub->setPrompts(m_prompts);

    // The site list and the selected site's settings, in tab "0"; a scan counts as running
    // while the Go button reads "Pause" (the results controller tells the site store).
    m_configManager = std::make_shared<settings::ConfigManager>(defaults);
    m_configManager->setPrompts(m_prompts);
    if (settings::WebRenderModule* module = settings::WebRenderLoader::module())
        m_configManager->setThumbGetterFactory(module->thumbGetterFactory());
    m_hub->setConfigManager(m_configManager);
    // Exports open in the folder last used for their kind, with a name from the selected site.
    m_savePanel = std::make_shared<RememberingSavePanel>(std::make_shared<FileDialogSavePanel>(m_window.get()),
        defaults, [sites = std::weak_ptr<settings::ConfigManager>(m_configManager)] {
            const auto store = sites.lock();
            return store ? store->getStartingURLForCurrentSite() : QString();
        });
    auto* sites = new views::SitesPane(*m_configManager);
    sites->setSavePanel([panel = m_savePanel](const QString& extension, std::function<QString(const QString&)> done) {
        platform::SavePanelRequest request;
        request.allowedFileTypes = { extension };
        if (extension == u"lcsettings")
            request.kind = QStringLiteral("settings");
        if (const std::optional<QString> path = panel->runModal(request)) {
            if (const QString failure = done(*path); !failure.isNull())
                panel->showSaveFailure(*path, failure);
        }
    });
    m_window->setSitesPane(sites);
    // The order of the site list, from the View menu as from the list's context menu.
    if (QMenu* view = m_window->menuBar()->findChild<QMenu*>(QStringLiteral("viewMenu"))) {
        view->addSeparator();
        view->addMenu(sites->sortMenu());
    }

    // The help topics and the "?" buttons of the settings they explain.
    m_helpPresenter = std::make_unique<PopoverHelpPresenter>([this] { m_manual->morehelp(); });
    m_manual = std::make_unique<Manual>(defaults, *m_urlOpener, *m_helpPresenter);
    installHelpButtons(sites, *m_manual);
    // An alert that names a help topic gets its "?" too (the few-results alert).
    if (auto* windowPrompts = dynamic_cast<WindowPrompts*>(m_prompts.get()))
        windowPrompts->setHelpHandler(
            [manual = m_manual.get()](const QString& topic, QWidget* button) { manual->topic(topic, button); });

    // The new-version check: its window, the menu bar's new-version button and two Help items.
    m_updateWindow = new UpdateWindow(m_window.get());
    m_updateController = std::make_unique<UpdateWindowController>(defaults, *m_updateWindow, *m_prompts, *m_urlOpener);
    m_updateWindow->installInMainWindow(m_window.get(), m_updateController.get());

    // The request diagnosis and the schedule overview, each opened from the Window menu.
    m_diagnostic = std::make_shared<DiagnosticWindow>();
    m_hub->setDiagnostic(m_diagnostic);
    m_schedules = std::make_unique<ScheduleOverviewWindow>();
    if (auto* windowMenu = m_window->menuBar()->findChild<QMenu*>(QStringLiteral("windowMenu"))) {
        QAction* diagnosis = windowMenu->addAction(QObject::tr("Request Diagnosis"));
        diagnosis->setObjectName(QStringLiteral("showDiagnosticMenuItem"));
        QObject::connect(diagnosis, &QAction::triggered, m_diagnostic.get(), &DiagnosticWindow::showDiagnostic);
        QAction* schedules = windowMenu->addAction(QObject::tr("Scheduled Scans"));
        schedules->setObjectName(QStringLiteral("showScheduleToolMenuItem"));
        QObject::connect(
            schedules, &QAction::triggered, m_schedules.get(), &ScheduleOverviewWindow::showScheduleToolMenuItem);
        installOutputFilterWindow(defaults, windowMenu);
    }

    // The page archive: written during a scan, exported once its index is saved.
    m_hub->setArchiveSink(std::make_shared<archive::ArchiveWriter>(defaults));
    m_archiveExport = std::make_unique<archive::ArchiveExportController>(
        defaults, archive::ArchiveExportController::siteStoreWriter(m_configManager));
    new views::ArchiveProgressSheet(*m_archiveExport, m_window.get());
    // An export that could not make its folder says why, as the headless program does; any other
    // end is said on the status line, with the folder the export went to.
    m_archiveExport->finished
        = [prompts = std::weak_ptr<ShellPrompts>(m_prompts), window = m_window.get()](const auto& result) {
              if (const auto shown = prompts.lock(); shown && !result.failure.isEmpty())
                  shown->runModalAlert(archive::ArchiveExportController::failureAlert(result.failure));
              else if (const QString text = archive::ArchiveExportController::finishedText(result); !text.isEmpty())
                  window->statusField()->setText(text);
          };

    m_delegate->setHub(m_hub);
    m_delegate->setPrompts(m_prompts);
    m_delegate->setConfigManager(m_configManager);
    m_delegate->setArchiveExport(m_archiveExport.get());
    m_delegate->setWindow(m_window.get());

    // Owned by the window.
    m_results
        = new ResultsController(*m_window, m_hub, *m_configManager, m_prompts, m_urlOpener, m_savePanel, defaults);
    m_delegate->setResultsController(m_results);
    m_results->inspectors().setLocateHandler(
        [delegate = m_delegate.get()](const auto& occurrence) { delegate->locate(occurrence); });
    m_results->inspectors().setMarkFixedHandler(
        [delegate = m_delegate.get()](const auto& url) { delegate->markThisUrlAsFixed(url); });
    m_results->setArchiveExport(m_archiveExport.get());
    m_delegate->setUpdateWindowController(m_updateController.get());
    m_delegate->setUrlOpener(m_urlOpener);
    m_delegate->setUrlField(sites->settingsPane()->control(crawlKey::startingUrl));
    installSettingsExportMenuItems(*sites);
    installPreferencesWindow(defaults);
    installWindowHelpButtons();
}

void MainInterface::installSettingsExportMenuItems(views::SitesPane& sites)
{
    QMenu* file = m_window->menuBar()->findChild<QMenu*>(QStringLiteral("fileMenu"));
    QAction* quit = m_window->menuItem(QStringLiteral("quitMenuItem"));
    if (!file || !quit)
        return;
    for (const auto& [name, title, handler] :
        { std::tuple { "exportSelectedSettingsMenuItem", QT_TR_NOOP("Export Settings…"),
              &views::SitesPane::exportSelectedSettings },
            std::tuple { "exportAllSettingsMenuItem", QT_TR_NOOP("Export All Settings…"),
                &views::SitesPane::exportAllSettings } }) {
        auto* item = new QAction(QObject::tr(title), file);
        item->setObjectName(QLatin1String(name));
        QObject::connect(item, &QAction::triggered, &sites, handler);
        file->insertAction(quit, item);
    }
    file->insertSeparator(quit);
}

void MainInterface::installOutputFilterWindow(platform::UserDefaults& defaults, QMenu* windowMenu)
{
    m_outputFilters = std::make_unique<OutputFilterManager>(defaults);
    m_outputFilters->awakeFromNib();
    auto* filters = new views::OutputFilterWindow(*m_outputFilters, defaults, m_prompts, m_window.get());
    filters->resize(640, 400);
    QAction* item = windowMenu->addAction(QObject::tr("Output Filter Rules"));
    item->setObjectName(QStringLiteral("showOutputFilterMenuItem"));
    QObject::connect(item, &QAction::triggered, filters, [filters, window = m_window.get()] {
        // The first time over the middle of the main window; later where the user left it.
        if (!filters->isVisible() && !filters->testAttribute(Qt::WA_Moved))
            filters->move(window->geometry().center() - filters->rect().center());
        filters->show();
        filters->raise();
        filters->activateWindow();
    });
}

void MainInterface::installPreferencesWindow(platform::UserDefaults& defaults)
{
    PreferencesWindow::Services services;
    services.reloadResultViews = [this] {
        m_results->resultTabs().setAllTabsToNeedFilteringAndFilterAppropriateDataSource();
        for (const char* name : { "byLinkView", "byPageOutlineView", "byStatusOutlineView", "flatView" }) {
            if (QTreeView* view = m_window->resultView(QLatin1String(name)))
                view->viewport()->update();
        }
    };
    services.iconSizeCallback = [this] { m_configManager->IconSizeCallback(); };
    services.followApplicationSettings = [this] { m_configManager->followApplicationSettings(); };
    services.reloadSitemap = [window = m_window.get()] {
        if (auto* sitemap = window->findChild<views::SitemapTab*>())
            sitemap->followPreferences();
    };
    m_prefs = new PreferencesWindow(defaults, std::move(services), m_window.get());
    m_prefs->setWindowFlag(Qt::Window);

    // showPrefs: from the toolbar, the Edit menu and the sitemap tab.
    m_window->connectButton(QStringLiteral("prefsButton"), [prefs = m_prefs] { prefs->showPrefs(); });
    if (QMenu* edit = m_window->menuBar()->findChild<QMenu*>(QStringLiteral("editMenu"))) {
        edit->addSeparator();
        QAction* item = edit->addAction(QObject::tr("Preferences…"));
        item->setObjectName(QStringLiteral("prefsMenuItem"));
        item->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
        item->setMenuRole(QAction::PreferencesRole);
        QObject::connect(item, &QAction::triggered, m_prefs, &PreferencesWindow::showPrefs);
    }
    if (auto* sitemap = m_window->findChild<views::SitemapTab*>())
        sitemap->setPreferencesOpener([prefs = m_prefs] { prefs->selectPrefsSitemapTabView(); });

    // The "?" of each control whose default a help topic explains.
    for (const views::PreferencePage& page : views::PreferencesModel::pages()) {
        for (const views::Preference& preference : page.preferences) {
            if (!preference.helpTopic.isEmpty())
                installHelpButton(m_prefs->control(preference.key), preference.helpTopic, *m_manual);
        }
    }
}

void MainInterface::installWindowHelpButtons()
{
    Manual& manual = *m_manual;
    const auto beside = [&manual](QObject* root, const char* control, const char* action) {
        if (root)
            installHelpButton(root->findChild<QWidget*>(QLatin1String(control)), QLatin1String(action), manual);
    };
    beside(m_window->findChild<views::SitemapTab*>(), "includelastmodinsitemap", "lastmod:");
    beside(m_window->findChild<QWidget*>(QStringLiteral("vizWindow")), "exportAsDotButton", "visualisation:");
    beside(m_schedules.get(), "refreshScheduleToolButton", "schedule_overview:");
    m_results->inspectors().setPageInspectorMade([&manual](views::CrwlPageInspectorWindowController& window) {
        installHelpButton(window.findChild<QWidget*>(QStringLiteral("inspectorDownloadTime")),
            QStringLiteral("downloadTime:"), manual);
    });
}

MainInterface::~MainInterface()
{
    // The delegate stops observing before the window and the hub go; the sites pane (in the
    // window) detaches from the site store before the store goes.
    m_delegate.reset();
    m_results = nullptr;
    m_updateController.reset();
    m_window.reset();
    m_outputFilters.reset();
    m_manual.reset();
    m_helpPresenter.reset();
    m_configManager.reset();
    if (m_hub) {
        m_hub->setArchiveSink(nullptr);
        m_hub->clear();
    }
    // After the window (and the progress sheet in it); a running export is left to end alone.
    m_archiveExport.reset();
}

void MainInterface::launch(const QStringList& documents)
{
    m_delegate->awakeFromNib();
    // Each login window gets the cookies' "?" beside its Reload button.
    if (DelegateActions* actions = m_delegate->actions())
        QObject::connect(actions, &DelegateActions::loginWindowShown, actions, [manual = m_manual.get()](QWidget* login) {
            installHelpButton(login->findChild<QWidget*>(QStringLiteral("reload")), QStringLiteral("cookie:"), *manual);
        });
    for (const QString& document : documents)
        m_delegate->applicationOpenFile(document);
    m_window->restoreFrame();
    m_delegate->applicationDidFinishLaunching();
    m_window->show();
}

void MainInterface::terminate()
{
    if (m_terminated)
        return;
    m_terminated = true;
    m_delegate->applicationWillTerminate();
}

QStringList documentsOnCommandLine(const QStringList& arguments)
{
    QStringList documents;
    for (const QString& argument : arguments) {
        if (argument.startsWith(u"file:", Qt::CaseInsensitive)) {
            documents << argument;
            continue;
        }
        if (argument.isEmpty() || argument.startsWith(u'-') || argument.contains(u"://")
            || !QFileInfo(argument).isFile())
            return {};
        documents << QFileInfo(argument).absoluteFilePath();
    }
    return documents;
}

LaunchMode launchModeFor(const QStringList& arguments, bool display)
{
    const bool window = arguments.isEmpty() || !documentsOnCommandLine(arguments).isEmpty();
    return display && window ? LaunchMode::Window : LaunchMode::CommandLine;
}

LaunchMode launchModeOfProgram(const QStringList& arguments)
{
    const bool window = arguments.isEmpty() || !documentsOnCommandLine(arguments).isEmpty();
    return launchModeFor(arguments, window && displayAvailable());
}

bool displayNamed()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

namespace {

/// Asks the X server named by `display` for a connection through the X client library Qt's own
/// window system plugin uses (loaded here only for the question, so the program does not link
/// it): false when the library is missing or the server does not answer.
bool xServerAnswers(const QByteArray& display)
{
    void* library = ::dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return false;
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    using Disconnect = void (*)(void*);
    const auto connectTo = reinterpret_cast<Connect>(::dlsym(library, "xcb_connect"));
    const auto hasError = reinterpret_cast<HasError>(::dlsym(library, "xcb_connection_has_error"));
    const auto disconnect = reinterpret_cast<Disconnect>(::dlsym(library, "xcb_disconnect"));
    bool answers = false;
    if (connectTo && hasError && disconnect) {
        void* connection = connectTo(display.constData(), nullptr);
        answers = connection && hasError(connection) == 0;
        // A failed connection is an error object that still has to be released.
        if (connection)
            disconnect(connection);
    }
    ::dlclose(library);
    return answers;
}

bool qtHasWaylandPlugin()
{
    const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
    return !platforms.entryList({ QStringLiteral("libqwayland*") }, QDir::Files).isEmpty();
}

} // namespace

bool displayAvailable()
{
    const QByteArray x = qgetenv("DISPLAY");
    if (!x.isEmpty())
        return xServerAnswers(x);
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && qtHasWaylandPlugin();
}

int runWindowedApplication(int& argc, char** argv, const QStringList& documents)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Crawlmere"));
    QApplication::setApplicationDisplayName(QStringLiteral("Crawlmere"));
    QApplication::setApplicationVersion(QStringLiteral(CRAWLMERE_VERSION));
    // A program already running for this user and defaults folder opens the documents itself.
    if (!documents.isEmpty() && DocumentHandoff::sendToRunningProgram(documents))
        return 0;
    // Another user in the way between this user's starts: said, not silently worked round.
    if (const QString obstacle = DocumentHandoff::obstacle(); !obstacle.isNull())
        std::fprintf(stderr, "crawlmere: %s: %s\n",
            documents.isEmpty() ? "later starts cannot hand documents to this window"
                                : "the documents cannot be handed to a running window, so this start opens its own",
            qUtf8Printable(obstacle));
    // A defaults file this user cannot read is never replaced by an empty one: say so and quit.
    if (const QString unreadable = platform::UserDefaults::standard().readFailure(); !unreadable.isNull()) {
        const QString text = unreadableDefaultsText(unreadable);
        std::fprintf(stderr, "crawlmere: %s\n", qUtf8Printable(text));
        QMessageBox alert(QMessageBox::Critical, QStringLiteral("Crawlmere"), text, QMessageBox::Ok);
        alert.setObjectName(QStringLiteral("unreadableDefaultsAlert"));
        alert.exec();
        return 1;
    }
    settings::WebRenderLoader::installPageRenderer();
    MainInterface shell(platform::UserDefaults::standard());
    // A save waiting for another program's lock blocks this thread: the status line says why
    // at once (painted now, the event loop being held up).
    platform::UserDefaults::setLockWaitObserver(
        [status = QPointer<StatusLineField>(shell.window().statusField())](const QString& message) {
            if (!status || QThread::currentThread() != status->thread()) {
                std::fprintf(stderr, "crawlmere: %s\n", qUtf8Printable(message));
                return;
            }
            status->setText(message.left(1).toUpper() + message.mid(1));
            status->repaint();
        });
    shell.delegate().setCapturesStandardError(true);
    DocumentHandoff handoff;
    handoff.listen([&shell](const QString& document) { shell.delegate().applicationOpenFile(document); });
    QObject::connect(&application, &QCoreApplication::aboutToQuit, [&shell] { shell.terminate(); });
    shell.launch(documents);
    if (const QString failure = settings::WebRenderLoader::takeFailure(); !failure.isEmpty()) {
        auto* alert = new QMessageBox(QMessageBox::Warning, QStringLiteral("Crawlmere"), failure, QMessageBox::Ok);
        alert->setAttribute(Qt::WA_DeleteOnClose);
        alert->open();
    }
    // Only the desktop test switches this on, through the environment.
    const std::unique_ptr<InspectionSocket> inspection = InspectionSocket::fromEnvironment();
    const int status = QApplication::exec();
    shell.terminate();
    platform::UserDefaults::setLockWaitObserver(nullptr);
    // Fetches still finishing hand their last steps to this thread: serve them while the
    // application object is still there to run them.
    platform::UrlSession::shutdown();
    return status;
}

} // namespace crawlmere::app
