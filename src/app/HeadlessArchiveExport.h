// The archive export of a scan without windows: once the finished scan's archive index is saved,
// the archive is exported to the settings' `archiveSaveLocation` and the summary names the folder.
#pragma once

#include <QString>

class Z12Ara;

namespace crawlmere::platform {
class UserDefaults;
}

namespace crawlmere::app {

/// Waits (main thread, event loop) until `indexSaved` is set by the hub's "CrwlDidSaveArchiveIndex",
/// then exports the archive when the scan's settings name `archiveSaveLocation` (mode from the
/// default `exportEntireSite_Process`) and waits for the export. Returns the summary line:
/// "Archive: exported to DIR (N files in S s)", or why the archive was not exported.
QString exportArchiveAfterScan(const Z12Ara& hub, platform::UserDefaults& defaults, const bool& indexSaved);

} // namespace crawlmere::app
