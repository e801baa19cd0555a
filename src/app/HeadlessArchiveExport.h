// The archive export of a scan without windows: once the finished scan's archive index is saved,
// the archive is exported to the settings' `archiveSaveLocation` and the summary names the folder.
#pragma once

#include <QString>

#include <functional>

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

/// Ctrl-C during the export: `request` (main thread) stops the export before its next file, or
/// keeps it from starting.
class HeadlessExportCancel {
public:
    void request()
    {
        requested = true;
        if (cancelRunning)
            cancelRunning();
    }
    bool isRequested() const { return requested; }

private:
    friend HeadlessArchiveResult exportArchiveAfterScan(const Z12Ara&, platform::UserDefaults&,
        const archive::ArchiveWriter&, const bool&, HeadlessExportCancel&);
    bool requested = false;
    std::function<void()> cancelRunning;
};

/// Waits (main thread, event loop) until `indexSaved` is set by the hub's "CrwlDidSaveArchiveIndex",
/// then exports the archive when the scan's settings name `archiveSaveLocation` (mode from the
/// default `exportEntireSite_Process`) and waits for the export. `writer` is the scan's archive.
/// A `cancel` requested while it waits ends it with "Archive: export cancelled".
HeadlessArchiveResult exportArchiveAfterScan(const Z12Ara& hub, platform::UserDefaults& defaults,
    const archive::ArchiveWriter& writer, const bool& indexSaved, HeadlessExportCancel& cancel);

} // namespace crawlmere::app
