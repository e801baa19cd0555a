// The page archive as the crawl coordinator sees it: emptied when a scan is prepared, fed each
// fetched page, and asked to write its index when the scan has finished. The archive library
// implements it.
#pragma once

#include <QString>

class CrwlUrl;

/// Where the hub sends the pages of a scan with `shouldArchive` on. The implementation owns the
/// archive folder and the one index of the scan's archived pages.
///
/// Threads: `archivePage` is called from fetch threads, several at once, and from the main
/// thread for rendered pages; the other members run on the main thread, never while a fetch of
/// the scan can still call `archivePage` (the hub cancels its fetches before `clearArchiveFolder`
/// and calls `saveArchive` after the last one has finished).
class ArchiveSink {
public:
    virtual ~ArchiveSink();

    /// clearArchiveFolder: deletes the archive folder with everything in it and empties the index.
    virtual void clearArchiveFolder() = 0;
    /// archivePage: writes the record's data as a file of the archive and records it in the
    /// index (or leaves it out by the scan's rules). [any thread; several at once]
    virtual void archivePage(const CrwlUrl& record) = 0;
    /// Notes a record that is only a redirect: its body is its final address's, archived under
    /// that address, and the archive keeps only where the redirect leads, so that links to it can
    /// be led to the final address's copy. [any thread; several at once]
    virtual void archiveRedirect(const CrwlUrl& /*record*/) { }
    /// saveArchive: writes the index into the archive folder. Returns NO when it could not be
    /// written; the hub announces the index either way.
    virtual bool saveArchive() = 0;
    /// archiveLocation: the archive folder, created when missing; its path in every case.
    virtual QString archiveLocation() = 0;

protected:
    ArchiveSink() = default;
};
