// What the archive benchmarks share: archiving a page into a writer, a timed Process export of
// its archive, and a main that keeps the user's own defaults out of the run.
#pragma once

#include "archive/ArchiveExport.h"
#include "archive/ArchiveWriter.h"
#include "engine/CrawlSettings.h"
#include "engine/CrwlUrl.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QTemporaryDir>

namespace crawlmere::bench {

/// Archives `data` as the page (`html`) or file found at `url`.
inline void archivePage(archive::ArchiveWriter& writer, const QString& url, const QByteArray& data, bool html = true)
{
    auto record = CrwlUrl::make(nullptr, std::make_shared<CrawlSettings>());
    record->setLinkURL(url);
    record->setIsHTML(html);
    record->setData(data);
    record->setStatus(200);
    writer.archivePage(*record);
}

/// The Process export of the writer's archive into a new folder below `savePath`.
inline archive::ArchiveExport::Result processExport(archive::ArchiveWriter& writer, const QString& savePath)
{
    archive::ArchiveExportRequest request;
    request.selectedDate = QDateTime::currentDateTime().addSecs(2);
    request.savePath = savePath;
    request.archiveLocation = writer.archiveLocation();
    request.process = true;
    return archive::ArchiveExport(request).exportFilesForDate();
}

/// Runs the registered benchmarks. The writer reads the user defaults: a run never touches the
/// user's own (CRAWLMERE_HOME is set to an empty folder unless it is set already).
inline int runArchiveBenchmarks(int argc, char** argv)
{
    QTemporaryDir home;
    if (qEnvironmentVariableIsEmpty("CRAWLMERE_HOME"))
        qputenv("CRAWLMERE_HOME", home.path().toUtf8());
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace crawlmere::bench
