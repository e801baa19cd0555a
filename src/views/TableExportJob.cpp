// One table or outline export built and written off the main thread.
#include "views/TableExportJob.h"

#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/AtomicFile.h"
#include "views/TableExportWriter.h"

#include <QUrl>

#include <memory>

using crawlmere::platform::logLine;
namespace Dispatch = crawlmere::platform::Dispatch;

std::optional<QString> TableExportJob::write(const TableExportSnapshot& snapshot, Format format,
    qint64 csvQuoteEscapeOption, const QString& path, const ExportProgress::Report& progress)
{
    const auto writer = [&](const crawlmere::platform::PieceWriter& writePiece) {
        // Slices never end inside a surrogate pair, so each converts on its own.
        const TableExportWriter::SliceSink sink
            = [&writePiece](QStringView slice) { return writePiece(slice.toUtf8()); };
        switch (format) {
        case Format::Csv:
            return TableExportWriter::writeCsv(snapshot, csvQuoteEscapeOption, sink, progress);
        case Format::Html:
            return TableExportWriter::writeHtmlPage(snapshot, sink, progress);
        }
        return false;
    };
    QString error;
    if (!crawlmere::platform::saveStreamAtomically(path, writer, &error))
        return error;
    return std::nullopt;
}

void TableExportJob::start(TableExportSnapshot snapshot, Format format, qint64 csvQuoteEscapeOption, QString path,
    ExportProgress::Report progress, std::function<void(const Result&)> done)
{
    auto shared = std::make_shared<TableExportSnapshot>(std::move(snapshot));
    Dispatch::toGlobal([shared, format, csvQuoteEscapeOption, path = std::move(path), progress = std::move(progress),
                           done = std::move(done)] {
        ExportProgress::Report toMain;
        if (progress)
            toMain
                = [progress](float proportion) { Dispatch::toMain([progress, proportion] { progress(proportion); }); };
        Result result { path, write(*shared, format, csvQuoteEscapeOption, path, toMain) };
        Dispatch::toMain([result = std::move(result), done] {
            const QString location = QUrl::fromLocalFile(result.path).toString();
            if (result.error)
                logLine(1, QStringLiteral("Unsuccessful exporting data to %1\n").arg(location));
            else
                logLine(2, QStringLiteral("Successful saving data to %1\n").arg(location));
            if (done)
                done(result);
        });
    });
}
