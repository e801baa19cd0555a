// The archive export of a scan without windows.
#include "app/HeadlessArchiveExport.h"

#include "archive/ArchiveExportController.h"
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

QString exportArchiveAfterScan(const Z12Ara& hub, platform::UserDefaults& defaults, const bool& indexSaved)
{
    if (!platform::Dispatch::runUntil([&] { return indexSaved; }, kIndexWait))
        return QStringLiteral("Archive: not exported (the archive index was not saved)");

    // A headless run never asks, and never stores a folder on a site.
    archive::ArchiveExportController controller(defaults, nullptr);
    const auto decision = controller.saveArchive(hub);
    if (decision.step != archive::ArchiveExportController::Step::Export)
        return QStringLiteral("Archive: not exported (no archiveSaveLocation set)");

    std::optional<archive::ArchiveExport::Result> result;
    controller.finished = [&](const archive::ArchiveExport::Result& ended) { result = ended; };
    QElapsedTimer elapsed;
    elapsed.start();
    controller.start(decision.request);
    controller.waitForExport(kExportWait);
    platform::Dispatch::runUntil([&] { return result.has_value(); }, kIndexWait);
    if (!result)
        return QStringLiteral("Archive: not exported (the export did not end)");
    switch (result->outcome) {
    case archive::ArchiveExport::Outcome::ArchiveNotFound:
        return QStringLiteral("Archive: not exported (unable to find the archive for our site)");
    case archive::ArchiveExport::Outcome::Cancelled:
        return QStringLiteral("Archive: export cancelled");
    case archive::ArchiveExport::Outcome::Finished:
        break;
    }
    if (result->outputFolder.isEmpty())
        return QStringLiteral("Archive: not exported (nothing was archived)");
    QString line = QStringLiteral("Archive: exported to %1 (%2 files")
                       .arg(QDir::toNativeSeparators(result->outputFolder))
                       .arg(result->filesWritten);
    line += QStringLiteral(" in %1 s").arg(static_cast<double>(elapsed.elapsed()) / 1000.0, 0, 'f', 2);
    if (result->itemsSkipped > 0)
        line += QStringLiteral(", %1 skipped").arg(result->itemsSkipped);
    return line + u')';
}

} // namespace crawlmere::app
