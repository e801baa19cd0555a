// The object view of one archive folder: its index (URL text → versions, oldest first) and the
// data file of each version, with lookups by URL, file name and date, and a small writer.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

#include <chrono>
#include <memory>
#include <optional>
#include <utility>

namespace crawlmere::archive {

/// One archive folder as `ArchiveWriter` leaves it ("index.plist" and one file per version).
///
/// Lookups match URL texts exactly against the index keys unless a member says otherwise.
/// Nothing found yields nullopt, a null string, an empty map or 0; no member throws. A version
/// whose "filename" is empty, holds "/" or NUL, or is "." or "..", has no file: its data reads
/// as missing, so an index cannot point outside its folder. An index that cannot be parsed, or
/// whose root is not a dictionary, leaves the object with an empty index.
///
/// Threads: one thread at a time; it takes no locks. The folder must not be written by the hub
/// while it is read.
class CrawlmereArchiveWrapper {
public:
    /// Bytes read from one version's file at most.
    static constexpr qint64 kMaxFileBytes = qint64(512) * 1024 * 1024;
    /// Files `indexOfFilesForVersion` parses at most for one page (its style sheets).
    static constexpr int kMaxStyleSheetsPerPage = 1000;

    /// initWithArchiveLocation:siteId: opens the folder, creating it when missing. nullptr when
    /// it cannot be created ("error creating archive folder: %@" in the log). An empty site id
    /// is not kept.
    static std::unique_ptr<CrawlmereArchiveWrapper> initWithArchiveLocation(const QString& location, const QString& siteId);

    const QString& archiveLocation() const { return location; }
    const QString& idOfCurrentSite() const { return siteId; }
    /// Every index key, in the index's (sorted) order.
    QStringList allURLs() const { return indexDictionary.keys(); }
    qint64 numberOfVersionsForURL(const QString& url) const;
    /// "type" of the oldest version; 0 when unknown.
    qint64 typeForURL(const QString& url) const;
    std::optional<qint64> statusOfMostRecentVersionForURL(const QString& url) const;
    QString fullFilePathForFile(const QString& fileName) const;

    std::optional<QString> stringRepresentationOfMostRecentVersionForURL(const QString& url) const;
    std::optional<QString> stringRepresentationOfVersionWithFilename(const QString& fileName, const QString& url) const;
    /// The URL is not used.
    std::optional<QString> stringRepresentationOfVersion(const QVariantMap& version, const QString& url) const;
    std::optional<QString> stringRepresentationOfPreviousVersionOfVersionWithFilename(
        const QString& fileName, const QString& url) const;
    /// The first URL in index order that has a version with that file name; null when none.
    QString URLForVersionWithFilename(const QString& fileName) const;
    std::optional<QVariantMap> versionForURL(const QString& url, const QString& fileName) const;

    std::optional<QByteArray> dataRepresentationOfThisVersion(const QVariantMap& version) const;
    std::optional<QByteArray> dataRepresentationOfMostRecentVersionForURL(const QString& url) const;
    /// The bytes of the named file of the folder; the URL is not used.
    std::optional<QByteArray> dataRepresentationOfVersionWithFilename(const QString& fileName, const QString& url) const;
    std::optional<QByteArray> dataRepresentationOfPreviousVersionOfVersionWithFilename(
        const QString& fileName, const QString& url) const;
    /// "date" of version `n` (0 the oldest); nullopt when `n` is out of range.
    std::optional<QDateTime> dateOfNthVersion(qint64 n, const QString& url) const;

    // --- Writer ----------------------------------------------------------------------------

    /// Appends {"reason", "filename", "date" now, "type" 2} with `data` (or, without data, the
    /// newest version's bytes, or empty bytes) written to a new file of `getUniqueFilenameForURL` (with a
    /// counter when that name is taken).
    void addNewVersionForURL(const QString& url, const std::optional<QByteArray>& data, qint64 reason);
    /// Copies the newest version of `url` from `source` (its file under the same name, replacing
    /// one here) and appends {"reason", "resourceChanges", "filename", "date" now, "type" 1,
    /// "status"}. Nothing when the source version lacks "filename" or "date" or the copy fails.
    void addNewVersionForURL(const QString& url, const CrawlmereArchiveWrapper& source, qint64 reason,
        const QVariantList& resourceChanges = {});
    /// Saves the index (atomically) when this object has added a version. NO on a failed write.
    bool writeChangesToIndexIfNecessary();
    /// A file name for a new version: as the archive writer names pages, with "nourl" for a text
    /// that is no URL, ".css?" and ".js?" cutting the query off, "?" removed too.
    QString getUniqueFilenameForURL(const QString& url) const;
    /// processCSSFileWithURL: fetches (synchronously, each at most `kFetchTimeout`) every resource
    /// the newest version of a style sheet names in "url(", adds it as a version when it is new
    /// (reason 0) or its bytes changed (reason 4), and writes the sheet with each argument
    /// replaced by the resource's newest file name in single quotes as "R" + the sheet's file
    /// name. Blocks: never on the main thread.
    void processCSSFileWithURL(const QString& url);
    static constexpr std::chrono::seconds kFetchTimeout { 30 };
    /// deleteArchive: deletes the folder; the error text, or nullopt on success.
    std::optional<QString> deleteArchive();

    // --- Lookups of versions --------------------------------------------------------------

    /// range:isWithinCodeOf: (platform strings).
    static bool rangeIsWithinCodeOf(qsizetype start, qsizetype length, const QString& text);
    /// firstURLOccurrenceInStyleSheetSource:from: the text between the next "url(" (any case) and
    /// ")"; start -1 when none.
    static std::pair<qsizetype, qsizetype> firstURLOccurrenceInStyleSheetSource(const QString& text, qsizetype from);
    /// The resource map of a page version: {url: [version]} with its style sheets' images and
    /// every archived type-2 resource it links to (current at the version's date).
    QVariantMap indexOfFilesForVersion(const QVariantMap& version, const QString& url) const;
    /// The images a style sheet names, each mapped to [its version current at `date` + 300 s].
    QVariantMap indexOfImagesInCSSFileWithURL(const QString& url, const QDateTime& date) const;

    std::optional<QVariantMap> indexDictionaryRepresentationOfMostRecentVersionForURL(const QString& url) const;
    /// The version current at `date`: the last one not dated later. An unknown URL is retried
    /// with its trailing "/" toggled unless its last path component holds ".".
    std::optional<QVariantMap> indexDictionaryRepresentationOfMostRecentVersionForUrl(
        const QString& url, const QDateTime& date) const;
    std::optional<QVariantMap> indexDictionaryRepresentationOfNthVersion(qint64 n, const QString& url) const;
    QString filenameRepresentationOfMostRecentVersionForUrl(const QString& url) const;
    QString filenameRepresentationOfMostRecentVersionForUrl(const QString& url, const QDateTime& date) const;
    QString fullFilepathRepresentationOfMostRecentVersionForURL(const QString& url) const;

    /// dataToString: UTF-8, else the first of ISO Latin 1, ISO Latin 2, Windows-1251, -1252,
    /// -1253, -1254, -1250, Mac OS Roman, UTF-16, non-lossy ASCII and ASCII that decodes (logged).
    static std::optional<QString> dataToString(const QByteArray& data);

    /// A "filename" entry that names a file inside the folder.
    static bool isPlainFileName(const QString& fileName);

private:
    CrawlmereArchiveWrapper() = default;
    QVariantList versionsOf(const QString& url) const;
    std::optional<QByteArray> readFile(const QString& fileName) const;
    std::optional<QString> textOf(const std::optional<QByteArray>& data, const QString& what) const;
    std::optional<qsizetype> previousIndex(const QVariantList& versions, const QString& fileName) const;

    QString location; // archiveLocation
    QVariantMap indexDictionary;
    bool changesToIndex = false;
    QString siteId; // idOfCurrentSite
};

} // namespace crawlmere::archive
