// What the window does when a scan's archive index has been saved: export at once to the site's
// folder or ask for one, then run the export in the background behind a progress sheet that can
// be cancelled. Display-free: the widget shows the question and the sheet this class describes.
#pragma once

#include "archive/ArchiveExport.h"

#include <QString>

#include <chrono>
#include <functional>
#include <memory>

class CrwlDataObject;
class ShellSiteStore;
class Z12Ara;
struct ShellAlert;

namespace crawlmere::platform {
class UserDefaults;
}

namespace crawlmere::archive {

/// The folder panel as it is shown: directories only, its texts, the Preserve/Process choice
/// (from `exportEntireSite_Process`), the "don't ask again" box, cleared, and the folder the panel
/// opens at (the one chosen last, if any).
struct ArchiveFolderQuestion {
    QString folder;
    QString prompt = QStringLiteral("Export Archive");
    QString title = QStringLiteral("Archive pages");
    QString message = QStringLiteral("Choose a location for the archive");
    bool process = true;
    bool dontAskAgain = false;
};

/// The progress sheet: shown while an export runs, its info line and its bar.
struct ArchiveExportSheet {
    bool visible = false;
    QString info;
    qint64 maximum = 0;
    qint64 value = 0;
};

/// The export half of the application delegate (`saveArchive:`, `exportSiteProgress_Cancel:`).
///
/// Threads: every member runs on the main thread; the export itself runs on a worker of the
/// global pool, and its progress and end come back through the main queue. One export at a time.
class ArchiveExportController {
public:
    /// Where the "don't ask again" choice goes: the scanned site's `archiveSaveLocation`, written
    /// back through the site store (`setArchiveSaveLocation:`). `siteId` names the scanned site.
    using SaveLocationWriter = std::function<void(const QString& siteId, const QString& path)>;

    ArchiveExportController(platform::UserDefaults& defaults, SaveLocationWriter writeSaveLocation);
    /// The writer that goes through the site store's `setArchiveSaveLocation` (nothing once the
    /// store is gone).
    static SaveLocationWriter siteStoreWriter(std::weak_ptr<ShellSiteStore> store);
    ~ArchiveExportController();
    ArchiveExportController(const ArchiveExportController&) = delete;
    ArchiveExportController& operator=(const ArchiveExportController&) = delete;

    enum class Step {
        Export, ///< the site names a folder: `request` is ready, start it
        AskForFolder, ///< show `question`, then call `folderChosen`
    };
    struct Decision {
        Step step = Step::AskForFolder;
        ArchiveExportRequest request;
        ArchiveFolderQuestion question;
        QString scannedSiteId;
        /// The scan the archive belongs to: its first record, which its rechecks keep.
        std::weak_ptr<CrwlDataObject> scan;
    };

    /// saveArchive: what to do now that `hub` has saved its archive index. A recheck within a
    /// scan whose folder was chosen in the panel exports there again without asking.
    Decision saveArchive(const Z12Ara& hub) const;
    /// The panel's answer: `folder` null or empty when it was cancelled (nullopt: nothing more
    /// happens). The choice of mode is stored in the defaults before it is read; a ticked box
    /// stores the folder on the scanned site. The folder is kept for the rechecks of that scan
    /// and as the one the panel opens at next.
    std::optional<ArchiveExportRequest> folderChosen(
        const Decision& decision, const QString& folder, bool process, bool dontAskAgain);

    /// Starts the export in the background and shows the sheet. NO when one is running.
    bool start(ArchiveExportRequest request);
    /// exportSiteProgress_Cancel: hides the sheet at once; the export stops before its next item.
    void cancel();
    bool isRunning() const;
    const ArchiveExportSheet& sheet() const;
    /// Processes main-thread events until the running export has ended (a scan started another
    /// way, or the headless program, waits so). YES when it ended within `timeout`.
    bool waitForExport(std::chrono::milliseconds timeout);

    /// Called on the main thread whenever the sheet changes.
    std::function<void(const ArchiveExportSheet&)> sheetChanged;
    /// Called on the main thread when an export has ended (also after a cancel).
    std::function<void(const ArchiveExport::Result&)> finished;

    /// The line that says an export could not make its folder: "the archive could not be
    /// exported: " and the result's failure; the window's alert shows it under its own title.
    static QString failureText(const QString& failure);
    /// The status line of an export that ended without a failure: where it went and how many
    /// files ("Archive exported to /x/site-20261208 (12 files)"), that nothing was archived, or
    /// that it was cancelled; null after a failure (its alert says it).
    /// Files the system refused are told apart from those skipped: ", 1 skipped, 2 could not be
    /// written (PATH: REASON)", the first one's path and reason in brackets.
    static QString finishedText(const ArchiveExport::Result& result);
    /// What follows the count of files written in a summary: ", N skipped (N because REASON: URL, …;
    /// …)" and ", N could not be written (PATH: REASON)", each when there are any.
    static QString leftOutText(const ArchiveExport::Result& result);
    static ShellAlert failureAlert(const QString& failure);

    /// The request for `hub`'s finished scan: its archive folder and settings, the defaults' `id`
    /// and `defaultLocalFileName`, the date now.
    static ArchiveExportRequest requestFor(
        const Z12Ara& hub, platform::UserDefaults& defaults, const QString& savePath, bool process);

private:
    struct Shared;
    void show(const ArchiveExportSheet& sheet);

    platform::UserDefaults& defaults;
    SaveLocationWriter writeSaveLocation;
    /// The folder chosen last in the panel, the scan it was chosen for and that scan's site.
    QString chosenFolder;
    std::weak_ptr<CrwlDataObject> chosenForScan;
    QString chosenForSite;
    std::shared_ptr<Shared> shared;
};

} // namespace crawlmere::archive
