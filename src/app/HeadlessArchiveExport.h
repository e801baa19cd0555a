// The archive export of a scan without windows: once the finished scan's archive index is saved,
// the archive is exported to the settings' `archiveSaveLocation` and the summary names the folder.
#pragma once

#include <QString>

class Z12Ara;

namespace crawlmere::platform {
class UserDefaults;
}
namespace crawlmere::archive {
class ArchiveWriter;
}

namespace crawlmere::app {

/// What the archive export of a scan gave.
struct HeadlessArchiveResult {
    /// The summary line: "Archive: exported to DIR (N files in S s)", or why the archive was
    /// not exported.
    QString line;
    /// Why the export failed (the index could not be written, the folder could not be made,
    /// the archive was not found, a file could not be written...); null when it succeeded or was
    /// not asked for. A failure ends the program with an error.
    QString failure;
};

/// Waits (main thread, event loop) until `indexSaved` is set by the hub's "CrwlDidSaveArchiveIndex",
/// then exports the archive when the scan's settings name `archiveSaveLocation` (mode from the
/// default `exportEntireSite_Process`) and waits for the export. `writer` is the scan's archive.
HeadlessArchiveResult exportArchiveAfterScan(
    const Z12Ara& hub, platform::UserDefaults& defaults, const archive::ArchiveWriter& writer, const bool& indexSaved);

} // namespace crawlmere::app
