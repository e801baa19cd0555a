// The export of an archived scan to a browsable folder: Preserve writes each archived file as
// received under its URL's path; Process gives files local names and rewrites the links of
// pages and style sheets to relative paths among them.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <atomic>
#include <functional>
#include <optional>

namespace crawlmere::archive {

/// What one export needs, taken on the main thread before it starts.
struct ArchiveExportRequest {
    /// "selectedDate": each URL's version current at this moment is exported.
    QDateTime selectedDate;
    /// "savePath": the chosen folder; the export makes a new folder inside it.
    QString savePath;
    /// "process": YES for Process, NO for Preserve.
    bool process = true;
    /// The hub's archive folder and the crawl settings of the finished scan (a copy).
    QString archiveLocation;
    QVariantMap crawlSettings;
    /// The user defaults `id` (the selected site) and `defaultLocalFileName`.
    QString siteId;
    QString defaultsLocalFileName = defaultLocalFileName();

    /// The crawl settings' default of `defaultLocalFileName` ("index.html").
    static QString defaultLocalFileName();
};

/// The progress as the sheet shows it: each pass sets its info line and the bar's maximum (and
/// value 0); the value then moves as whole percentages are passed. Called on the export thread;
/// the receiver hops to the main thread itself.
struct ArchiveExportProgress {
    std::function<void(const QString& info, qint64 maximum)> passStarted;
    std::function<void(qint64 value)> valueChanged;
};

/// One export (`exportFilesForDate:`), run once on a background thread. `cancel` may come from
/// any thread: the export reads the flag before each item and stops there, leaving what it wrote.
///
/// Every path is checked before it is written (see `detail::ExportFolder`): a URL or default name
/// that would climb out of the output folder, or a name the file system cannot take, is skipped
/// with a log line; no existing file is ever replaced. A file the system refuses (a full disk) is
/// counted apart from those skipped, and the export goes on with the next. Rewritten links name the files as written
/// (percent-encoded where a path needs it). The files of a URL with a port go in a folder named
/// by host and port ("h.test_8080"), never one named ":8080". Both modes name a folder's page by
/// the preferences' `defaultLocalFileName`, and write scheme and host in lower case.
///
/// Process plans every file's name before it writes one: an address whose archived bytes are
/// those of a file already planned (the site's "/" and "/index.html") is led to that file; one
/// with other bytes that wants a name taken, or a name a folder of the copy needs, gets a name
/// of its own ("index-2.html"). It then leads every link that resolves to a file it writes (by
/// the file's address in any case of scheme and host, by an address the archive lists as
/// redirecting to it, or by an address holding the same bytes) to that file, and every other
/// link of the web to its whole address; no link leads to a file whose archived copy is missing.
/// A page or sheet is rewritten in its encoding: a byte-order mark decides it (and is kept),
/// else the charset the page declares (any the program can decode; one that does not read as
/// ASCII bytes, such as UTF-16, is read as UTF-8, as browsers read it), else UTF-8; a file that
/// cannot be decoded and encoded back to the same bytes is copied as archived. A file whose
/// query hid its type's extension gets the extension again ("site.css?v=2" →
/// "site.css.v=2.css"). Preserve rewrites nothing; an address that redirects to a page it
/// writes gets a page refreshing to that page's file.
class ArchiveExport {
public:
    enum class Outcome {
        Finished, ///< every item was looked at (some may have been skipped)
        Cancelled, ///< stopped before an item; the sheet is not closed by the export
        ArchiveNotFound, ///< "unable to find the archive for our site"; nothing written
    };
    struct Result {
        Outcome outcome = Outcome::Finished;
        /// The folder made; null when nothing was written (an empty archive makes none).
        QString outputFolder;
        qint64 filesWritten = 0;
        /// Items left out by a rule (a path that would leave the folder, no data), and why: each
        /// reason with its count and the first addresses it left out, in the order first met.
        qint64 itemsSkipped = 0;
        struct Skipped {
            QString reason;
            qint64 count = 0;
            QStringList first; ///< at most `kNamedSkips` addresses
        };
        QList<Skipped> skipped;
        /// Files the system refused to write (a full disk, no permission), and the first one's
        /// path and reason; the export goes on past them.
        qint64 filesNotWritten = 0;
        QString firstWriteFailure;
        /// Why no folder could be made (the save location is a file, or cannot be created);
        /// null otherwise.
        QString failure;
    };

    /// Most addresses a summary names for one reason to skip.
    static constexpr qsizetype kNamedSkips = 3;
    /// Most archived URLs one export looks at.
    static constexpr qsizetype kMaxItems = 2000000;

    explicit ArchiveExport(ArchiveExportRequest request, ArchiveExportProgress progress = {});
    ArchiveExport(const ArchiveExport&) = delete;
    ArchiveExport& operator=(const ArchiveExport&) = delete;

    /// exportFilesForDate: the whole export. Blocks; call once, off the main thread.
    Result exportFilesForDate();
    /// exportSiteProgress_Cancel: (the flag part). A cancel before the export has started stops
    /// it before its first item. [any thread]
    void cancel() { shouldCancelExportSite.store(true); }
    bool isCancelled() const { return shouldCancelExportSite.load(); }

    /// The folder the export makes inside `savePath`: `filenameFromURL` of the starting URL, "-"
    /// and the start's second ("yyyyMMddHHmmss").
    static QString outputFolderName(const QString& startingUrl, const QDateTime& start);
    /// filenameFromURL: the URL without "http://", "https://", "/", ":" and ".".
    static QString filenameFromURL(const QString& url);
    /// stripDomainFrom:addDefaultNameIfNecessary: the text after the URL's host (port, path,
    /// query, fragment); with nothing after it, `defaultName` when `addDefaultName`, else "".
    /// nullopt when no URL can be made, it has no host, or the host is not in the text.
    static std::optional<QString> stripDomainFrom(const QString& url, bool addDefaultName, const QString& defaultName);
    /// getNumberOfDirectoriesIn: non-empty "/"-separated components before the last.
    static qint64 getNumberOfDirectoriesIn(const QString& path);

private:
    struct Run;

    ArchiveExportRequest request;
    ArchiveExportProgress progress;
    std::atomic<bool> shouldCancelExportSite { false };
};

} // namespace crawlmere::archive
