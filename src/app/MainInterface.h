// The long-lived objects of the windowed program, made and wired together as one interface
// file would: the hub, the application delegate, the main window and the shell services.
#pragma once

#include <QStringList>

#include <memory>

class OutputFilterManager;
class QMenu;
class ShellPrompts;
class Z12Ara;

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

namespace crawlmere::views {
class SitesPane;
}

namespace crawlmere::app {

class AppDelegate;
class DiagnosticWindow;
class MainWindow;
class ResultsController;
class Manual;
class PopoverHelpPresenter;
class PreferencesWindow;
class UpdateWindow;
class UpdateWindowController;
class ScheduleOverviewWindow;
class WindowPrompts;

/// Makes everything at construction (nothing is shown); `launch` runs the delegate's start-up
/// and shows the window; `terminate` ends the run. Needs a QApplication; main thread only;
/// `defaults` must outlive it. `prompts` answers the window's alerts (message boxes over the
/// window when null).
class MainInterface {
public:
    explicit MainInterface(platform::UserDefaults& defaults, std::shared_ptr<ShellPrompts> prompts = nullptr);
    ~MainInterface();
    MainInterface(const MainInterface&) = delete;
    MainInterface& operator=(const MainInterface&) = delete;

    /// awakeFromNib, the window's frame from the defaults, applicationDidFinishLaunching, and
    /// the window shown. Call once.
    /// `documents` (paths or URL strings) arrive after awakeFromNib, before launch finishes, as
    /// the system hands documents to a starting program: the last is opened at start-up's end.
    void launch(const QStringList& documents = {});
    /// applicationWillTerminate (the frame and the defaults are saved). Call once, before the
    /// QApplication ends.
    void terminate();

    AppDelegate& delegate() const { return *m_delegate; }
    MainWindow& window() const { return *m_window; }
    const std::shared_ptr<Z12Ara>& hub() const { return m_hub; }
    const std::shared_ptr<settings::ConfigManager>& configManager() const { return m_configManager; }
    /// Scan control, the result tabs and the exports of the window.
    ResultsController& results() const { return *m_results; }
    /// The window's open-URL service (the desktop's handlers) and save panel (over the window),
    /// for whatever opens addresses or saves exports.
    const std::shared_ptr<platform::UrlOpener>& urlOpener() const { return m_urlOpener; }
    const std::shared_ptr<platform::SavePanel>& savePanel() const { return m_savePanel; }
    /// The export of a scan's page archive once its index is saved, behind its progress sheet.
    archive::ArchiveExportController& archiveExport() const { return *m_archiveExport; }
    /// The help topics behind the settings' "?" buttons.
    Manual& manual() const { return *m_manual; }
    /// The preferences window (`prefsWindow`), owned by the main window.
    PreferencesWindow& preferencesWindow() const { return *m_prefs; }
    /// The new-version check, started by the delegate at launch.
    UpdateWindowController& updateWindowController() const { return *m_updateController; }

private:
    /// File > "Export Settings…" and "Export All Settings…".
    void installSettingsExportMenuItems(views::SitesPane& sites);
    /// The preferences window and what opens it.
    void installPreferencesWindow(platform::UserDefaults& defaults);
    /// The output-filter rules (`mipFilterRules`), their window and the Window menu's item.
    void installOutputFilterWindow(platform::UserDefaults& defaults, QMenu* windowMenu);
    /// The "?" buttons of the sitemap tab, the graph and schedule windows and page inspectors.
    void installWindowHelpButtons();

    std::unique_ptr<AppDelegate> m_delegate;
    std::unique_ptr<MainWindow> m_window;
    std::shared_ptr<Z12Ara> m_hub;
    std::shared_ptr<settings::ConfigManager> m_configManager;
    std::shared_ptr<ShellPrompts> m_prompts;
    std::shared_ptr<platform::UrlOpener> m_urlOpener;
    std::shared_ptr<platform::SavePanel> m_savePanel;
    ResultsController* m_results = nullptr;
    std::unique_ptr<PopoverHelpPresenter> m_helpPresenter;
    std::unique_ptr<Manual> m_manual;
    std::unique_ptr<OutputFilterManager> m_outputFilters;
    PreferencesWindow* m_prefs = nullptr;
    UpdateWindow* m_updateWindow = nullptr;
    std::unique_ptr<UpdateWindowController> m_updateController;
    std::shared_ptr<DiagnosticWindow> m_diagnostic;
    std::unique_ptr<ScheduleOverviewWindow> m_schedules;
    std::unique_ptr<archive::ArchiveExportController> m_archiveExport;
    bool m_terminated = false;
};

/// How the program runs.
enum class LaunchMode {
    Window, ///< the main window
    CommandLine, ///< one scan without windows (or help, version, a usage error)
};

/// The command line as documents to open in the window: each argument a file URL string or an
/// existing local file (made absolute); empty when any argument is an option, a web address or
/// no file.
QStringList documentsOnCommandLine(const QStringList& arguments);
/// The main window when a display is there and the command line is empty or only documents
/// (`documentsOnCommandLine`); any other argument (a web target, `--headless`, `--help`, or
/// options, which belong to a scan and need its target) goes to the command line.
LaunchMode launchModeFor(const QStringList& arguments, bool displayAvailable);

/// `launchModeFor` with the display asked only when the command line is empty.
LaunchMode launchModeOfProgram(const QStringList& arguments);

/// Whether an X11 or Wayland display is named in the environment (it may not answer).
bool displayNamed();

/// Whether a window can be opened: the X server that `DISPLAY` names accepts a connection, or,
/// without `DISPLAY`, `WAYLAND_DISPLAY` is set and Qt has a Wayland platform plugin. A stale
/// `DISPLAY` (a closed session, a remote shell) answers false instead of letting the window
/// system abort the program. May take a moment on a remote display; call it once, at start.
bool displayAvailable();

/// The windowed program: a QApplication on `argc`/`argv`, the main interface launched on the
/// standard defaults store, the event loop until Quit, then the end of the run. Returns the
/// exit status (0 after Quit). With `documents` while a program runs for the same user and
/// defaults folder, hands them to it and returns 0 at once; otherwise it takes such hand-overs
/// itself (`DocumentHandoff`).
int runWindowedApplication(int& argc, char** argv, const QStringList& documents = {});

} // namespace crawlmere::app
