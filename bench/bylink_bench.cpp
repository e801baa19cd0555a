// The by-link view over 100,000 URL records: a filter pass with its reload, a header sort by
// status, copying 10,000 rows, and the view's export (the snapshot on the main thread, then the
// CSV and HTML texts written to a file).
#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "views/CrwlByLinkDataSource.h"
#include "views/TableExportJob.h"
#include "views/TableExportSnapshot.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr int kRecords = 100000;

/// 100,000 records as a scan leaves them: mostly good internal pages, some missing, redirected
/// or failing, a third external; each linked from one of a hundred pages.
struct Scan {
    qfDataSource hub;
    CrwlByLinkDataSource byLink;
    HeadlessTableView table { CrwlByLinkDataSource::defaultColumns() };
    QList<std::shared_ptr<CrwlUrl>> pages;

    Scan()
    {
        auto settings = std::make_shared<CrawlSettings>(CrwlUrl::defaultCrawlSettings());
        QList<qfDataSource::Item> items;
        items.reserve(kRecords);
        for (int i = 0; i < kRecords; ++i) {
            auto record = CrwlUrl::make(nullptr, settings);
            const bool internal = i % 3 != 0;
            record->setLinkURL(internal
                    ? QStringLiteral("https://www.example.com/section-%1/page-%2.html").arg(i % 97).arg(i)
                    : QStringLiteral("https://other%1.example.org/path/%2").arg(i % 511).arg(i));
            record->setIsInternal(internal);
            const int kind = i % 50;
            record->setStatus(kind == 0 ? 404 : kind == 1 ? 500 : 200);
            if (kind == 2)
                record->addRedir(record->absoluteString() + QStringLiteral("/moved"), 301, 0);
            record->setIsInBadCollection(kind < 2);
            if (i < 100) {
                record->setLinkPageTitle(QStringLiteral("Page %1 \"quoted\" & <b>bold</b>").arg(i));
                pages.append(record);
            } else {
                auto occurrence = std::make_shared<CrwlLinkInstance>();
                occurrence->setParent(pages.at(i % 100));
                record->addInboundInstance(occurrence);
            }
            items.append(record);
        }
        hub.setCollection(items);
        byLink.setTableView(&table);
        byLink.setCollectionOwner(&hub);
        byLink.setCollection(hub.getCollection());
        byLink.filter();
    }
};

Scan& scan()
{
    static Scan instance;
    return instance;
}

void BM_FilterAndReload(benchmark::State& state)
{
    Scan& s = scan();
    const QString searches[] = { QStringLiteral("page-1"), QStringLiteral("404"), QString() };
    qsizetype i = 0;
    for (auto _ : state) {
        s.byLink.setSearchText(searches[i++ % 3]);
        s.byLink.filter();
        s.byLink.reloadData();
        benchmark::DoNotOptimize(s.byLink.numberOfRowsInTableView(s.table));
    }
    s.byLink.setSearchText(QString());
    s.byLink.filter();
}
BENCHMARK(BM_FilterAndReload)->Unit(benchmark::kMillisecond)->Iterations(30);

void BM_SortByStatus(benchmark::State& state)
{
    Scan& s = scan();
    bool ascending = true;
    for (auto _ : state) {
        s.table.setSortDescriptors({ { QStringLiteral("status"), ascending } });
        s.byLink.tableViewSortDescriptorsDidChange(s.table);
        ascending = !ascending;
    }
}
BENCHMARK(BM_SortByStatus)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_Copy10000Rows(benchmark::State& state)
{
    Scan& s = scan();
    QList<qsizetype> rows;
    for (qsizetype row = 0; row < 10000; ++row)
        rows.append(row * 7);
    for (auto _ : state)
        benchmark::DoNotOptimize(s.byLink.copyText(rows));
}
BENCHMARK(BM_Copy10000Rows)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_ExportSnapshot(benchmark::State& state)
{
    Scan& s = scan();
    for (auto _ : state)
        benchmark::DoNotOptimize(TableExportSnapshot::fromTable(s.byLink, s.table));
}
BENCHMARK(BM_ExportSnapshot)->Unit(benchmark::kMillisecond)->Iterations(5);

void exportFile(benchmark::State& state, TableExportJob::Format format, const QString& name)
{
    const TableExportSnapshot snapshot = TableExportSnapshot::fromTable(scan().byLink, scan().table);
    const QString path = QDir::temp().filePath(name);
    for (auto _ : state) {
        if (TableExportJob::write(snapshot, format, /*csvQuoteEscapeOption=*/2, path))
            state.SkipWithError("the export could not be written");
    }
    state.counters["MB"] = static_cast<double>(QFileInfo(path).size()) / 1e6;
    QFile::remove(path);
}

void BM_ExportCsv(benchmark::State& state) { exportFile(state, TableExportJob::Format::Csv, "bylink_bench.csv"); }
BENCHMARK(BM_ExportCsv)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ExportHtml(benchmark::State& state) { exportFile(state, TableExportJob::Format::Html, "bylink_bench.html"); }
BENCHMARK(BM_ExportHtml)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
