// The page archive of a scan: one file per archived page in the archive folder, the scan's index
// of them, and `index.plist` written from it when the scan has finished.
#pragma once

#include "engine/ArchiveSink.h"

#include <QDateTime>
#include <QMap>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <mutex>

namespace crawlmere::platform {
class UserDefaults;
}

namespace crawlmere::archive {

/// The hub's archive sink. The folder holds the last scan only: `clearArchiveFolder` empties it
/// at every new scan, without waiting for the files to be deleted (see there). Each archived record becomes one file, named by `fileNameForURL` (a
/// counter is added when another page took that name in the same millisecond, so no file is
/// ever replaced), and one entry of `archiveIndex`: its URL text → [{"filename", "date",
/// "status", "type", "charset" (pages)}]. Control characters of the URL text are percent-encoded in the key
/// (`detail::indexKey`), so one odd link never makes the whole index unwritable.
///
/// Threads: `archivePage` runs on fetch threads, several at once; the index is behind a lock and
/// each file is created under a name no other call can take. The rule lists come from the
/// record's crawl settings, never from the hub's main-thread lists.
class ArchiveWriter final : public ArchiveSink {
public:
    using Clock = std::function<QDateTime()>;

    /// Longest file name the folder takes, in UTF-8 bytes.
    static constexpr qsizetype kMaxFileNameBytes = 255;
    /// Names tried for one page before it is given up (logged, not written).
    static constexpr int kMaxNameClashes = 10000;

    /// `folder` null: the application-support folder's "archive". `clock` gives the archiving
    /// time (the local time now when empty). `defaults` must outlive the writer.
    explicit ArchiveWriter(platform::UserDefaults& defaults, QString folder = QString(), Clock clock = Clock());

    /// Where the deletion of a cleared folder runs; a worker of the global pool unless a test
    /// holds it back.
    using ClearingQueue = std::function<void(std::function<void()>)>;

    /// Moves the folder aside at once (renamed in its own parent, "<name>.cleared-…"), so that the
    /// scan starts with no folder, and deletes the moved folder on `clearingQueue`: a large
    /// archive never holds up the caller (the window's thread). When it cannot be moved it is
    /// deleted in place. Folders moved aside by a run that ended before deleting them are
    /// deleted, on the same queue, when a writer is made.
    void clearArchiveFolder() override;
    void setClearingQueue(ClearingQueue queue) { clearingQueue = std::move(queue); }
    /// Leaves out: records holding a "Do not follow" term, or none of the "Only follow" terms
    /// (while the default `skipArchiveBasedOnBlackAndWhitelists` is on); every record but the
    /// starting one in a `singlePage` scan; data under 2 bytes. A body the fetch did not read
    /// whole (over the size cap, cut off) is not written: its entry says why
    /// (`kNotArchivedKey`). A failed write is logged and still recorded, naming the file that is
    /// missing.
    void archivePage(const CrwlUrl& record) override;
    /// Notes the addresses of a redirect (its own and each hop's before the last) as leading to
    /// its final address. Nothing is written for them.
    void archiveRedirect(const CrwlUrl& record) override;
    /// Writes the index as an XML property list, atomically. Each address that redirects to an
    /// archived page is listed, once and sorted, under `kRedirectedFromKey` in that page's newest
    /// version (found by its address with scheme and host in any case, with or without a
    /// trailing "/"); an address archived itself, or leading to no archived page, is left out.
    /// NO when it could not be written; `lastSaveError` then says why.
    bool saveArchive() override;
    /// Why the last `saveArchive` failed; null after one that succeeded (or before any).
    QString lastSaveError() const;
    QString archiveLocation() override;

    /// The version key listing the addresses that redirect to the version's page: an array of
    /// URL texts. Readers that do not know it pass it by; an index without it has no redirects.
    static inline const QString kRedirectedFromKey = QStringLiteral("redirectedFrom");
    /// The version key of an address whose body was fetched but not archived, because the fetch
    /// did not read it whole: why, as a text. Such a version has no "filename"; the export names
    /// the address among those it skipped.
    static inline const QString kNotArchivedKey = QStringLiteral("notArchived");
    /// The version key of a page's charset as the scan read it: the one its Content-Type header
    /// named, else the one the scan detected on its starting page (a name such as "windows-1251").
    /// The page's own declaration, when it has one, says more. Absent when neither was known.
    static inline const QString kCharsetKey = QStringLiteral("charset");

    /// A copy of the index as it is now, with the redirects `saveArchive` lists. [any thread]
    QVariantMap archiveIndex() const;

    /// The file name of a page archived at `when`: the URL text past scheme, "://", host and
    /// "/", less its extension, then `when` as "yyyyMMddhhmmssSSS" on the 12-hour clock, then
    /// "." and the extension; every "/" removed. Control characters become "_" and a stem too
    /// long for the folder is cut, so the name is always one the folder takes.
    static QString fileNameForURL(const QString& urlText, const QDateTime& when);
    /// `name` for the first attempt, then with "-1", "-2", … before its extension.
    static QString nameForAttempt(const QString& name, int attempt);
    /// The 17-digit stamp of a name, hours 01 to 12.
    static QString archiveStamp(const QDateTime& when);

private:
    platform::UserDefaults& defaults;
    QString folder;
    Clock clock;
    ClearingQueue clearingQueue;
    mutable std::mutex archiveIndexLock;
    QVariantMap index; // archiveIndex
    QMap<QString, QString> redirects; // index key of a redirect's address → its final address
    QString saveError;
};

} // namespace crawlmere::archive
