// The archive export of a scan without windows.
#include "app/HeadlessArchiveExport.h"

#include "archive/ArchiveExportController.h"
#include "archive/ArchiveWriter.h"
#include "engine/Z12Ara.h"
#include "platform/Dispatch.h"

#include <QDir>
#include <QElapsedTimer>

#include <chrono>

namespace crawlmere::app {

namespace {
// The hub saves its index on the next turn of the event loop after the finish.
constexpr std::chrono::seconds kIndexWait { 30 };
// An export of a large site takes a while; it is never left running behind the program's exit.
constexpr std::chrono::hours kExportWait { 24 };
} // namespace

HeadlessArchiveResult exportArchiveAfterScan(const Z12Ara& hub, platform::UserDefaults& defaults,
    const archive::ArchiveWriter& writer, const bool& indexSaved, HeadlessExportCancel& cancel)
{
    const auto failed = [](const QString& why) {
        return HeadlessArchiveResult { QStringLiteral("Archive: not exported (%1)").arg(why), why };
    };
    const HeadlessArchiveResult cancelled { QStringLiteral("Archive: export cancelled"), QString() };
    if (!platform::Dispatch::runUntil([&] { return indexSaved || cancel.isRequested(); }, kIndexWait))
        return failed(QStringLiteral("the archive index was not saved"));
    if (cancel.isRequested())
        return cancelled;
    if (const QString saveError = writer.lastSaveError(); !saveError.isNull())
        return failed(QStringLiteral("the archive index could not be written: %1").arg(saveError));

    // A headless run never asks, and never stores a folder on a site.
    archive::ArchiveExportController controller(defaults, nullptr);
    const auto decision = controller.saveArchive(hub);
    if (decision.step != archive::ArchiveExportController::Step::Export)
        return { QStringLiteral("Archive: not exported (no archiveSaveLocation set)"), QString() };

    std::optional<archive::ArchiveExport::Result> result;
    controller.finished = [&](const archive::ArchiveExport::Result& ended) { result = ended; };
    QElapsedTimer elapsed;
    elapsed.start();
    controller.start(decision.request);
    cancel.cancelRunning = [&controller] { controller.cancel(); };
    controller.waitForExport(kExportWait);
    platform::Dispatch::runUntil([&] { return result.has_value(); }, kIndexWait);
    cancel.cancelRunning = nullptr;
    if (!result)
        return failed(QStringLiteral("the export did not end"));
    switch (result->outcome) {
    case archive::ArchiveExport::Outcome::ArchiveNotFound:
        return failed(QStringLiteral("unable to find the archive for our site"));
    case archive::ArchiveExport::Outcome::Cancelled:
        return cancelled;
    case archive::ArchiveExport::Outcome::Finished:
        break;
    }
    if (!result->failure.isEmpty())
        return failed(result->failure);
    if (result->outputFolder.isEmpty())
        return { QStringLiteral("Archive: not exported (nothing was archived)"), QString() };
    QString line = QStringLiteral("Archive: exported to %1 (%2 files")
                       .arg(QDir::toNativeSeparators(result->outputFolder), QString::number(result->filesWritten));
    line += QStringLiteral(" in %1 s").arg(static_cast<double>(elapsed.elapsed()) / 1000.0, 0, 'f', 2);
    line += archive::ArchiveExportController::leftOutText(*result) + u')';
    // The export went on past a file the system refused, but the run did not do what it was asked.
    if (result->filesNotWritten > 0) {
        return { line,
            QStringLiteral("%1 of its files could not be written (%2)")
                .arg(QString::number(result->filesNotWritten), result->firstWriteFailure) };
    }
    return { line, QString() };
}

} // namespace crawlmere::app
