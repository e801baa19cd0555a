// Cost of the by-page, by-status and flat views over a large synthetic scan: refiltering and
// rebuilding their rows, sorting, reading cells through the item model and expanding every
// status group. Run on one core (taskset -c 0); the snapshot counters are bytes held by a view's
// rows after a filter pass.
#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "engine/TableView.h"
#include "platform/LargeMemory.h"
#include "views/CrwlByPageDataSource.h"
#include "views/CrwlByStatusDataSource.h"
#include "views/CrwlFlatViewDataSource.h"
#include "views/LinkViewMenus.h"
#include "views/ResultItemModel.h"
#include "views/qfOutlineView.h"

#include <benchmark/benchmark.h>

#include <QApplication>

#include <malloc.h>

#include <random>

using namespace crawlmere::views;

namespace {

constexpr int kUrls = 100'000;
constexpr int kOccurrences = 2'000'000;

// 100,000 URLs (a tenth external, one in fifty broken, one in fifty redirected, some server
// errors) and 2,000,000 link occurrences spread over the internal pages, about 25 per page.
// Records and occurrences are made as the crawl makes them: through the records' and
// occurrences' own factories, the texts shared through a pool as the hub shares them.
struct SyntheticScan {
    std::vector<std::shared_ptr<CrwlUrl>> urls;
    CrwlUrlList pages;
    QList<qfDataSource::Item> occurrences;
    CrwlLinkTextPool texts;

    SyntheticScan()
    {
        urls.reserve(kUrls);
        for (int i = 0; i < kUrls; ++i) {
            auto url = CrwlUrl::make(/*owner=*/nullptr, /*crawlSettings=*/nullptr);
            url->setLinkURL(QStringLiteral("https://bench.test/section-%1/page-%2.html").arg(i % 50).arg(i));
            url->setIsInternal(i % 10 != 9);
            if (i % 50 == 7) {
                url->setStatus(404);
            } else if (i % 50 == 13) {
                url->addRedir(QStringLiteral("https://bench.test/moved/page-%1.html").arg(i), 301, 0);
                url->setStatus(200);
            } else {
                url->setStatus(i % 97 == 5 ? 500 : 200);
            }
            url->setIsInBadCollection(url->shouldBeMemberOfBadCollection());
            url->setVisible(true);
            if (url->isInternal() && url->getStatus() == 200)
                pages.push_back(url);
            urls.push_back(std::move(url));
        }
        occurrences.reserve(kOccurrences);
        const qsizetype perPage = kOccurrences / qsizetype(pages.size());
        for (size_t p = 0; p < pages.size() && occurrences.size() < kOccurrences; ++p) {
            const qsizetype count = p + 1 == pages.size() ? kOccurrences - occurrences.size() : perPage;
            for (qsizetype j = 0; j < count; ++j) {
                const auto& target = urls[size_t((p * 31 + size_t(j) * 7919) % kUrls)];
                auto occurrence = CrwlLinkInstance::make();
                occurrence->setParent(pages[p]);
                occurrence->setTarget(target);
                occurrence->setTexts(texts.intern(
                    QStringLiteral("Link to page %1").arg((p + size_t(j)) % 5000), QString(), QString(), QString()));
                occurrence->setLineNumber(qint64(j + 10));
                pages[p]->addOutboundInstance(occurrence);
                target->addInboundInstance(occurrence);
                occurrences.append(std::move(occurrence));
            }
        }
    }
};

SyntheticScan& scan()
{
    static SyntheticScan instance;
    return instance;
}

// The by-link view's verdict for a search text, as its filter pass leaves it on the URLs.
void setByLinkFlags(const QString& search)
{
    for (const auto& url : scan().urls)
        url->setVisible(search.isEmpty() || url->contains(search));
}

// Bytes in use: small chunks, the large blocks malloc maps by themselves, and the regions the
// record pools and the large row arrays take from the system.
size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd + crawlmere::platform::largeRegionBytesInUse();
}

void BM_FlatRefilter(benchmark::State& state)
{
    HeadlessTableView table(CrwlFlatViewDataSource::columns().tableColumns());
    CrwlFlatViewDataSource source;
    source.setTableView(&table);
    source.setCollection(scan().occurrences);
    source.setSearchText(QStringLiteral("page 12"));
    setByLinkFlags(QStringLiteral("section-1"));
    const size_t before = heapInUse();
    for (auto _ : state) {
        source.filter();
        benchmark::DoNotOptimize(source.numberOfRowsInTableView(table));
    }
    state.counters["rows"] = double(source.numberOfRowsInTableView(table));
    state.counters["snapshot_MB"] = double(heapInUse() - before) / 1e6;
    setByLinkFlags(QString());
}
BENCHMARK(BM_FlatRefilter)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_ByStatusRefilter(benchmark::State& state)
{
    HeadlessTableView outline(CrwlByStatusDataSource::columns().tableColumns());
    CrwlByStatusDataSource source;
    source.setOutlineView(&outline);
    source.setCollection(scan().occurrences);
    source.setSearchText(QStringLiteral("page 12"));
    setByLinkFlags(QStringLiteral("section-1"));
    const size_t before = heapInUse();
    for (auto _ : state)
        source.filter();
    state.counters["groups"] = double(source.getStatusRows().size());
    state.counters["snapshot_MB"] = double(heapInUse() - before) / 1e6;
    setByLinkFlags(QString());
}
BENCHMARK(BM_ByStatusRefilter)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_ByPageRefilter(benchmark::State& state)
{
    HeadlessTableView outline(CrwlByPageDataSource::columns().tableColumns());
    CrwlByPageDataSource source;
    source.setOutlineView(&outline);
    source.setInternalPageArray(scan().pages);
    source.setSearchText(QStringLiteral("page 12"));
    setByLinkFlags(QStringLiteral("section-1"));
    const size_t before = heapInUse();
    for (auto _ : state)
        source.filter();
    state.counters["pages"] = double(source.countPagesWithVisibleItems());
    state.counters["snapshot_MB"] = double(heapInUse() - before) / 1e6;
    setByLinkFlags(QString());
}
BENCHMARK(BM_ByPageRefilter)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_FlatSortByUrl(benchmark::State& state)
{
    HeadlessTableView table(CrwlFlatViewDataSource::columns().tableColumns());
    CrwlFlatViewDataSource source;
    source.setTableView(&table);
    source.setCollection(scan().occurrences);
    source.filter();
    bool ascending = false;
    for (auto _ : state) {
        ascending = !ascending;
        table.setSortDescriptors({ { QStringLiteral("linkurldecoded"), ascending } });
        source.tableViewSortDescriptorsDidChange(table);
        benchmark::DoNotOptimize(source.numberOfRowsInTableView(table));
    }
}
BENCHMARK(BM_FlatSortByUrl)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_ByStatusSortByLinkText(benchmark::State& state)
{
    HeadlessTableView outline(CrwlByStatusDataSource::columns().tableColumns());
    CrwlByStatusDataSource source;
    source.setOutlineView(&outline);
    source.setCollection(scan().occurrences);
    source.filter();
    bool ascending = false;
    for (auto _ : state) {
        ascending = !ascending;
        outline.setSortDescriptors({ { QStringLiteral("linktext"), ascending } });
        source.outlineViewDidClickTableColumn(outline, outline.tableColumns()[3]);
    }
}
BENCHMARK(BM_ByStatusSortByLinkText)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_ByPageSortByUrlAndLinkText(benchmark::State& state)
{
    HeadlessTableView outline(CrwlByPageDataSource::columns().tableColumns());
    CrwlByPageDataSource source;
    source.setOutlineView(&outline);
    source.setInternalPageArray(scan().pages);
    bool ascending = false;
    for (auto _ : state) {
        ascending = !ascending;
        outline.setSortDescriptors(
            { { QStringLiteral("linkText"), ascending }, { QStringLiteral("linkurldecoded"), ascending } });
        source.outlineViewDidClickTableColumn(outline, outline.tableColumns()[2]);
    }
}
BENCHMARK(BM_ByPageSortByUrlAndLinkText)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// 1,000,000 cells at random rows and columns, as a scrolling view asks them.
template <typename Prepare> void readRandomCells(benchmark::State& state, TableView& table, Prepare prepare)
{
    ResultItemModel model(table);
    model.setColumns(table.tableColumns());
    prepare(model);
    std::mt19937 random(42);
    const int top = model.rowCount();
    for (auto _ : state) {
        qsizetype characters = 0;
        for (int i = 0; i < 1'000'000; ++i) {
            const int column = int(random() % 5);
            const int row = int(random() % unsigned(top));
            QModelIndex index = model.index(row, column);
            // Asked of the model as a view asks it (outline models keep the count).
            const int children = model.rowCount(index.siblingAtColumn(0));
            if (children > 0)
                index = model.index(int(random() % unsigned(children)), column, index.siblingAtColumn(0));
            characters += model.data(index).toString().size();
        }
        benchmark::DoNotOptimize(characters);
    }
}

void BM_FlatData1M(benchmark::State& state)
{
    HeadlessTableView table(CrwlFlatViewDataSource::columns().tableColumns());
    CrwlFlatViewDataSource source;
    source.setCollection(scan().occurrences);
    const size_t before = heapInUse();
    source.filter();
    benchmark::DoNotOptimize(source.getSortedAndFilteredArray().size());
    state.counters["snapshot_MB"] = double(heapInUse() - before) / 1e6;
    readRandomCells(state, table, [&](ResultItemModel& model) { model.setDataSource(&source); });
}
BENCHMARK(BM_FlatData1M)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_ByStatusData1M(benchmark::State& state)
{
    HeadlessTableView outline(CrwlByStatusDataSource::columns().tableColumns());
    CrwlByStatusDataSource source;
    source.setCollection(scan().occurrences);
    const size_t before = heapInUse();
    source.filter();
    state.counters["snapshot_MB"] = double(heapInUse() - before) / 1e6;
    readRandomCells(state, outline, [&](ResultItemModel& model) { model.setOutlineDataSource(&source); });
}
BENCHMARK(BM_ByStatusData1M)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_ByPageData1M(benchmark::State& state)
{
    HeadlessTableView outline(CrwlByPageDataSource::columns().tableColumns());
    CrwlByPageDataSource source;
    source.setInternalPageArray(scan().pages);
    const size_t before = heapInUse();
    source.filter();
    state.counters["snapshot_MB"] = double(heapInUse() - before) / 1e6;
    readRandomCells(state, outline, [&](ResultItemModel& model) { model.setOutlineDataSource(&source); });
}
BENCHMARK(BM_ByPageData1M)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_ByStatusExpandAll(benchmark::State& state)
{
    CrwlByStatusDataSource source;
    qfOutlineView view;
    view.resize(1000, 800);
    LinkViewMenus::attachByStatus(view, source);
    source.setCollection(scan().occurrences);
    source.filter();
    view.show();
    QApplication::processEvents();
    for (auto _ : state) {
        source.expandAllButton();
        QApplication::processEvents(); // the layout and the first paint of the open rows
        state.PauseTiming();
        source.collapseAllButton();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["rows"] = double(scan().occurrences.size() + source.getStatusRows().size());
}
BENCHMARK(BM_ByStatusExpandAll)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    const size_t before = heapInUse();
    scan();
    std::printf("synthetic scan: %zu URLs, %lld occurrences, %zu pages, %.0f MB of memory\n", scan().urls.size(),
        static_cast<long long>(scan().occurrences.size()), scan().pages.size(), double(heapInUse() - before) / 1e6);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
