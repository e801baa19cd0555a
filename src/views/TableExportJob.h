// One table or outline export built and written off the main thread from a snapshot, with its
// progress and outcome handed back to the main queue.
#pragma once

#include "views/ExportProgress.h"
#include "views/TableExportSnapshot.h"

#include <QByteArray>
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

    /// The bytes of the export: CSV text, or the whole HTML page; UTF-8. Any thread.
    static QByteArray build(const TableExportSnapshot& snapshot, Format format, qint64 csvQuoteEscapeOption,
        const ExportProgress::Report& progress = {});

    /// Writes `bytes` to `path` in one step (QSaveFile): a failure leaves an earlier file whole.
    /// Answers the error text, nullopt on success. Any thread.
    static std::optional<QString> writeAtomically(const QString& path, const QByteArray& bytes);

    /// Builds and writes on a worker thread. `progress` and then `done` run on the main thread;
    /// the log line of the outcome is written there too. The snapshot is moved to the worker, so
    /// the views may change at once. Call on the main thread.
    static void start(TableExportSnapshot snapshot, Format format, qint64 csvQuoteEscapeOption, QString path,
        ExportProgress::Report progress, std::function<void(const Result&)> done);
};
