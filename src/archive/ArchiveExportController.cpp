// The window's side of an archive export: the decision, the folder answer, the background run
// and its sheet.
#include "archive/ArchiveExportController.h"

#include "engine/ShellServices.h"
#include "engine/Z12Ara.h"
#include "engine/SettingsValue.h"
#include "platform/Dispatch.h"
#include "platform/Paths.h"
#include "platform/UserDefaults.h"

#include <QDir>

namespace crawlmere::archive {

using platform::Dispatch::toMain;

/// What the worker and the main thread share; the worker holds it too, so a controller that goes
/// away during an export leaves it alive until the worker is done.
struct ArchiveExportController::Shared {
    ArchiveExportController* owner = nullptr; // null once the controller is gone (main thread)
    std::shared_ptr<ArchiveExport> running;
    ArchiveExportSheet sheet;
};

QString ArchiveExportController::failureText(const QString& failure)
{
    return QStringLiteral("the archive could not be exported: ") + failure;
}

QString ArchiveExportController::finishedText(const ArchiveExport::Result& result)
{
    switch (result.outcome) {
    case ArchiveExport::Outcome::ArchiveNotFound:
        return QStringLiteral("Archive not exported: unable to find the archive for this site");
    case ArchiveExport::Outcome::Cancelled:
        return QStringLiteral("Archive export cancelled");
    case ArchiveExport::Outcome::Finished:
        break;
    }
    if (!result.failure.isEmpty())
        return QString();
    if (result.outputFolder.isEmpty())
        return QStringLiteral("Archive not exported: nothing was archived");
    QString text = QStringLiteral("Archive exported to %1 (%2 files")
                       .arg(QDir::toNativeSeparators(result.outputFolder), QString::number(result.filesWritten));
    return text + leftOutText(result) + u')';
}

QString ArchiveExportController::leftOutText(const ArchiveExport::Result& result)
{
    QString text;
    if (result.itemsSkipped > 0) {
        text += QStringLiteral(", %1 skipped").arg(result.itemsSkipped);
        QStringList why;
        for (const ArchiveExport::Result::Skipped& skip : result.skipped) {
            const QString named = skip.first.join(QStringLiteral(", ")) + (skip.count > skip.first.size() ? QStringLiteral(", …") : QString());
            why.append(QStringLiteral("%1 because %2: %3").arg(QString::number(skip.count), skip.reason, named));
        }
        if (!why.isEmpty())
            text += QStringLiteral(" (%1)").arg(why.join(QStringLiteral("; ")));
    }
    if (result.filesNotWritten > 0) {
        text += QStringLiteral(", %1 could not be written (%2)")
                    .arg(QString::number(result.filesNotWritten), result.firstWriteFailure);
    }
    return text;
}

ShellAlert ArchiveExportController::failureAlert(const QString& failure)
{
    return { QStringLiteral("The archive could not be exported."), failureText(failure), {} };
}

ArchiveExportController::ArchiveExportController(platform::UserDefaults& store, SaveLocationWriter writer)
    : defaults(store)
    , writeSaveLocation(std::move(writer))
    , shared(std::make_shared<Shared>())
{
    shared->owner = this;
}

ArchiveExportController::SaveLocationWriter ArchiveExportController::siteStoreWriter(
    std::weak_ptr<ShellSiteStore> store)
{
    return [store = std::move(store)](const QString& siteId, const QString& path) {
        if (const auto siteStore = store.lock())
            siteStore->setArchiveSaveLocation(siteId, path);
    };
}

ArchiveExportController::~ArchiveExportController()
{
    if (shared->running)
        shared->running->cancel();
    shared->owner = nullptr;
}

ArchiveExportRequest ArchiveExportController::requestFor(
    const Z12Ara& hub, platform::UserDefaults& store, const QString& savePath, bool process)
{
    ArchiveExportRequest request;
    request.selectedDate = QDateTime::currentDateTime();
    request.savePath = savePath;
    request.process = process;
    request.archiveLocation = hub.archiveLocation();
    if (hub.getCrawlSettings())
        request.crawlSettings = hub.getCrawlSettings()->snapshot();
    request.siteId = store.value(defaultsKey::id);
    request.defaultsLocalFileName = store.stringForKey(crawlKey::defaultLocalFileName);
    return request;
}

ArchiveExportController::Decision ArchiveExportController::saveArchive(const Z12Ara& hub) const
{
    Decision decision;
    decision.scannedSiteId = hub.getDataBelongsToID();
    const bool process = defaults.value(defaultsKey::exportEntireSite_Process);
    // "~/…" names a folder in the home folder, as a starting URL does.
    const QString location
        = platform::Paths::expandTilde(engine::settingString(hub.getCrawlSettings(), crawlKey::archiveSaveLocation));
    if (!hub.linksCollection().isEmpty())
        decision.scan = hub.linksCollection().first();
    // The same scan (owner-equal first record, which a new scan replaces) of the same site.
    const bool sameScan = !chosenFolder.isEmpty() && !decision.scan.expired() && chosenForSite == decision.scannedSiteId
        && !decision.scan.owner_before(chosenForScan) && !chosenForScan.owner_before(decision.scan);
    if (!location.isEmpty() || sameScan) {
        decision.step = Step::Export;
        decision.request = requestFor(hub, defaults, location.isEmpty() ? chosenFolder : location, process);
        return decision;
    }
    decision.step = Step::AskForFolder;
    decision.question.process = process;
    decision.question.folder = chosenFolder;
    decision.request = requestFor(hub, defaults, QString(), process);
    return decision;
}

std::optional<ArchiveExportRequest> ArchiveExportController::folderChosen(
    const Decision& decision, const QString& folder, bool process, bool dontAskAgain)
{
    if (folder.isEmpty())
        return std::nullopt;
    // The panel's radio buttons are bound to these defaults; the mode is read back from them.
    defaults.setBool(process, defaultsKey::exportEntireSite_Process);
    defaults.setBool(!process, defaultsKey::exportEntireSite_Preserve);
    if (dontAskAgain && writeSaveLocation)
        writeSaveLocation(decision.scannedSiteId, folder);
    chosenFolder = folder;
    chosenForScan = decision.scan;
    chosenForSite = decision.scannedSiteId;
    ArchiveExportRequest request = decision.request;
    request.selectedDate = QDateTime::currentDateTime();
    request.savePath = folder;
    request.process = defaults.value(defaultsKey::exportEntireSite_Process);
    return request;
}

void ArchiveExportController::show(const ArchiveExportSheet& sheet)
{
    shared->sheet = sheet;
    if (sheetChanged)
        sheetChanged(shared->sheet);
}

bool ArchiveExportController::start(ArchiveExportRequest request)
{
    if (shared->running)
        return false;
    const std::weak_ptr<Shared> weak = shared;
    ArchiveExportProgress progress;
    progress.passStarted = [weak](const QString& info, qint64 maximum) {
        toMain([weak, info, maximum] {
            const auto state = weak.lock();
            if (state && state->owner && state->sheet.visible)
                state->owner->show({ true, info, maximum, 0 });
        });
    };
    progress.valueChanged = [weak](qint64 value) {
        toMain([weak, value] {
            const auto state = weak.lock();
            if (state && state->owner && state->sheet.visible) {
                ArchiveExportSheet sheet = state->sheet;
                sheet.value = value;
                state->owner->show(sheet);
            }
        });
    };
    auto exporter = std::make_shared<ArchiveExport>(std::move(request), std::move(progress));
    shared->running = exporter;
    show({ true, QString(), 0, 0 });
    const std::shared_ptr<Shared> state = shared;
    platform::Dispatch::toGlobal([state, exporter] {
        const ArchiveExport::Result result = exporter->exportFilesForDate();
        toMain([state, exporter, result] {
            if (state->running == exporter)
                state->running.reset();
            ArchiveExportController* owner = state->owner;
            if (!owner)
                return;
            // The export closes the sheet when it ends by itself; a cancel has closed it already.
            if (result.outcome != ArchiveExport::Outcome::Cancelled && state->sheet.visible)
                owner->show({});
            if (owner->finished)
                owner->finished(result);
        });
    });
    return true;
}

void ArchiveExportController::cancel()
{
    if (shared->running)
        shared->running->cancel();
    if (shared->sheet.visible)
        show({});
}

bool ArchiveExportController::isRunning() const { return shared->running != nullptr; }

const ArchiveExportSheet& ArchiveExportController::sheet() const { return shared->sheet; }

bool ArchiveExportController::waitForExport(std::chrono::milliseconds timeout)
{
    return platform::Dispatch::runUntil([this] { return !shared->running; }, timeout);
}

} // namespace crawlmere::archive
