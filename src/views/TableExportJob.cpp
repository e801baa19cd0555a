// One table or outline export built and written off the main thread.
#include "views/TableExportJob.h"

#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/TextFile.h"
#include "views/TableExportWriter.h"

#include <QUrl>

#include <memory>

using crawlmere::platform::logLine;
namespace Dispatch = crawlmere::platform::Dispatch;

QByteArray TableExportJob::build(const TableExportSnapshot& snapshot, Format format, qint64 csvQuoteEscapeOption,
    const ExportProgress::Report& progress)
{
    switch (format) {
    case Format::Csv:
        return TableExportWriter::csvText(snapshot, csvQuoteEscapeOption, progress).toUtf8();
    case Format::Html:
        return TableExportWriter::htmlPage(TableExportWriter::htmlTable(snapshot, progress)).toUtf8();
    }
    return {};
}

std::optional<QString> TableExportJob::writeAtomically(const QString& path, const QByteArray& bytes)
{
    QString error;
    if (!crawlmere::platform::saveBytesAtomically(path, bytes, &error))
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
        const QByteArray bytes = build(*shared, format, csvQuoteEscapeOption, toMain);
        Result result { path, writeAtomically(path, bytes) };
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
