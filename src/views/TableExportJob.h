// One table or outline export built and written off the main thread from a snapshot, with its
// progress and outcome handed back to the main queue.
#pragma once

#include "views/ExportProgress.h"
#include "views/TableExportSnapshot.h"

#include <QString>

#include <functional>
#include <optional>

/// The file an export writes, and the two texts it can be.
class TableExportJob {
public:
    enum class Format { Csv, Html };

    /// The outcome: the path, and the write error (nullopt on success).
    struct Result {
        QString path;
        std::optional<QString> error;
    };

    /// Writes the export to `path` as UTF-8 while it is made, a slice at a time (CSV text, or the
    /// whole HTML page), so memory holds one slice rather than the file. The file appears only when
    /// complete (AtomicFile): a failure (a full disk, a missing folder) leaves an earlier file whole.
    /// Answers the error text, nullopt on success. Any thread; `progress` runs on the calling one.
    static std::optional<QString> write(const TableExportSnapshot& snapshot, Format format, qint64 csvQuoteEscapeOption,
        const QString& path, const ExportProgress::Report& progress = {});

    /// Writes as `write` does on a worker thread. `progress` and then `done` run on the main thread;
    /// the log line of the outcome is written there too. The snapshot is moved to the worker, so
    /// the views may change at once. Call on the main thread.
    static void start(TableExportSnapshot snapshot, Format format, qint64 csvQuoteEscapeOption, QString path,
        ExportProgress::Report progress, std::function<void(const Result&)> done);
};
