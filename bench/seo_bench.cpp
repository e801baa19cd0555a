// Cost of the crawl-time SEO register at the size of a large site: recording 100,000 pages, and
// grouping 100,000 pages for possible duplicates when 20,000 of them have no title.
#include "engine/CrwlUrl.h"
#include "platform/UserDefaults.h"
#include "reports/EngineSEOManager.h"
#include "reports/ReportsDefaults.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

using crawlmere::reports::EngineSEOManager;

namespace {

constexpr int pageCount = 100'000;
constexpr int untitledCount = 20'000;

// Pages as a scan leaves them: a title (none for the first 20,000), a description, headings, a
// word count and a size; titled pages come in groups of four, two of them of one size.
const CrwlUrlList& pages()
{
    static const CrwlUrlList list = [] {
        crawlmere::reports::registerReportsDefaults(crawlmere::platform::UserDefaults::standard());
        auto settings = std::make_shared<CrawlSettings>(QVariantMap { { QStringLiteral("shouldTrimHash"), false } });
        CrwlUrlList made;
        made.reserve(pageCount);
        for (int i = 0; i < pageCount; ++i) {
            auto page = CrwlUrl::make(nullptr, settings);
            page->setLinkURL(QStringLiteral("https://www.example.com/section/%1/page-%2.html#top").arg(i % 97).arg(i));
            if (i >= untitledCount)
                page->setLinkPageTitle(QStringLiteral("Product page %1 of the catalogue").arg(i / 4));
            page->setMetaData({ QVariantMap { { QStringLiteral("name"), QStringLiteral("description") },
                { QStringLiteral("content"), QStringLiteral("A description of page %1, long enough to pass.").arg(i) } } });
            page->setHeadings({ QStringLiteral("Heading %1").arg(i) });
            page->setWordCount(300 + i % 50);
            page->setFileSize(i < untitledCount ? 1000 + i : 4000 + (i % 4 < 2 ? 0 : i));
            made.push_back(std::move(page));
        }
        return made;
    }();
    return list;
}

void BM_Add100k(benchmark::State& state)
{
    const CrwlUrlList& all = pages();
    for (auto _ : state) {
        EngineSEOManager seo;
        for (const auto& page : all)
            seo.add(page);
        benchmark::DoNotOptimize(seo.getTotalPageCount());
        state.PauseTiming();
        seo.clear(); // outside the timing: freeing the tables
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Add100k)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_GetDuplicates100kWith20kUntitled(benchmark::State& state)
{
    const CrwlUrlList& all = pages();
    EngineSEOManager seo;
    for (auto _ : state) {
        state.PauseTiming();
        seo.clear();
        for (const auto& page : all)
            seo.add(page);
        state.ResumeTiming();
        benchmark::DoNotOptimize(seo.getDuplicates().size());
    }
}
BENCHMARK(BM_GetDuplicates100kWith20kUntitled)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
