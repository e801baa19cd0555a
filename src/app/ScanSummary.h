// A plain-text summary of the last scan and the free disk space, for a finish action.
#pragma once

#include <QString>

class Z12Ara;

namespace crawlmere::app {

/// Text utilities of the application controller that read the hub. Main thread only (the hub's
/// collections are read as they stand; call after a scan has finished).
class ScanSummary {
public:
    /// getShortSummary: "<n> page(s) scanned\n" (the hub's internal pages), the SEO tallies'
    /// own summary lines when the hub has an SEO data source, then "<n> links checked, <m> bad\n"
    /// with the hub's links collection and bad-link count.
    static QString shortSummary(const Z12Ara& hub);
    /// getFreeDiskspacePrivate: free bytes of the file system at "/" for this user; 0 when it
    /// cannot be read.
    static quint64 freeDiskSpace();
};

} // namespace crawlmere::app
