// The new-version check: at start-up from a published property list, on demand from a published
// version text; the notes of a newer version, and the download of its build.
#pragma once

#include "app/UpdateDownload.h"
#include "platform/DefaultsKeys.h"

#include <QPointer>
#include <QString>
#include <QVariantMap>

#include <chrono>
#include <functional>
#include <memory>

class QAction;
class ShellPrompts;

namespace crawlmere::platform {
class UrlOpener;
class UserDefaults;
} // namespace crawlmere::platform

namespace crawlmere::app {

class UpdateWindowView;

/// The addresses it reads are defaults keys, unset by default: while `kPropertyListURLKey` is
/// unset the start-up check reads nothing and "turn on" is disabled; while `kVersionTextURLKey`
/// is unset the manual check reads nothing and its menu item is disabled; while
/// `kHomePageURLKey` is unset the window offers no home page.
///
/// Nothing blocks the main thread: each check loads on a worker (the list, the version text and
/// the notes each within `requestTimeout`) and hands its result back on the main thread; a
/// request that fails or answers anything but 2xx counts as no published version, and nothing
/// happens. The download runs on the network thread with progress and a size cap.
///
/// The view, prompts and opener must outlive the controller. Results of work still running when
/// the controller goes are dropped. Main thread only.
class UpdateWindowController {
public:
    static inline const QString kAutomaticUpdateCheckKey = defaultsKey::automaticUpdateCheck;
    static inline const QString kNoUpdateAvailableKey = QStringLiteral("noUpdateAvaliable");
    static inline const QString kPropertyListURLKey = defaultsKey::updatePropertyListURL;
    static inline const QString kVersionTextURLKey = defaultsKey::updateVersionTextURL;
    static inline const QString kHomePageURLKey = defaultsKey::updateHomePageURL;
    static constexpr std::chrono::milliseconds kRequestTimeout { 5000 };

    /// Which check `checkForUpdates` runs.
    enum class CheckKind {
        Startup, ///< the property list; silent when nothing is newer
        Manual, ///< the version text; an alert when nothing is newer
    };

    UpdateWindowController(
        platform::UserDefaults& defaults, UpdateWindowView& view, ShellPrompts& prompts, platform::UrlOpener& opener);
    ~UpdateWindowController();
    UpdateWindowController(const UpdateWindowController&) = delete;
    UpdateWindowController& operator=(const UpdateWindowController&) = delete;

    // ===== Widgets ============================================================================
    /// "Turn on automatic update checks"; removed from its menus when the start-up check runs.
    void setTurnOnAutoUpdatesMenuItem(QAction* item);
    /// The manual check's menu item, enabled only while the version text's address is set.
    void setCheckForUpdatesMenuItem(QAction* item);
    /// How the program quits after a downloaded build was opened (the normal way, as Quit).
    void setTerminate(std::function<void()> terminate) { m_terminate = std::move(terminate); }
    void setRequestTimeout(std::chrono::milliseconds timeout) { m_requestTimeout = timeout; }

    // ===== Actions ============================================================================
    /// awakeFromNib: registers `automaticUpdateCheck` YES, brings the menu items and the window's
    /// home page button up to date, and runs the start-up check.
    void awakeFromNib();
    /// checkForUpdates: stores `noUpdateAvaliable` YES, then runs the check of `kind`.
    void checkForUpdates(CheckKind kind);
    /// turnOnAutomaticUpdates: stores `automaticUpdateCheck` YES, removes its menu item and runs
    /// the start-up check.
    void turnOnAutomaticUpdates();
    void showDetails();
    /// closeSheet: the window goes; with the reminder box off, stores `noUpdateAvaliable` YES.
    void closeSheet();
    /// visitUpdate: opens the home page in the browser (nothing while it is unset).
    void visitUpdate();
    /// loadUpdate: downloads "downloadurl" of the published list into the download folder; then
    /// opens the file and the folder and quits. Nothing without a list or while a download runs.
    void loadUpdate();

    /// Whether `published` (1 to 3 integer parts joined by ".", a missing part counting as 0)
    /// is higher than `running`; either of four or more parts, or empty, gives false. Each part
    /// is read as its leading integer ("10abc" is 10, "x" is 0). Any thread.
    static bool currentVersionIsHigherThanThisVersion(
        const QString& published, const QString& running = QStringLiteral(CRAWLMERE_VERSION));

    /// The published list of the last start-up check that found one; empty otherwise.
    const QVariantMap& currentVersionDictionary() const { return m_currentVersionDictionary; }
    /// Checks whose results have not come back yet.
    int checksInFlight() const { return m_checksInFlight; }
    bool downloading() const { return m_download != nullptr; }

    /// What a check found, handed from the worker to the main thread.
    struct CheckResult {
        CheckKind kind = CheckKind::Startup;
        QString version; ///< empty: no published version
        QVariantMap dictionary;
        bool higher = false;
        bool notesLoaded = false;
        QString notes;
        bool notesAreHtml = false;
        QString notesError;
    };

private:
    void updateMenuItems();
    /// Offers the Download button exactly while the published list names a build.
    void updateDownloadAvailable();
    void checkFinished(const CheckResult& result);
    void downloadFinished(const UpdateDownload::Outcome& outcome, const QString& folder);

    platform::UserDefaults& m_defaults;
    UpdateWindowView& m_view;
    ShellPrompts& m_prompts;
    platform::UrlOpener& m_opener;
    QPointer<QAction> m_turnOnAutoUpdatesMenuItem;
    QPointer<QAction> m_checkForUpdatesMenuItem;
    std::function<void()> m_terminate;
    std::chrono::milliseconds m_requestTimeout = kRequestTimeout;
    QVariantMap m_currentVersionDictionary;
    int m_checksInFlight = 0;
    std::shared_ptr<UpdateDownload> m_download;
    /// Dropped at destruction, so results that come back later find nobody.
    std::shared_ptr<UpdateWindowController*> m_alive;
};

} // namespace crawlmere::app
