// Link extraction per page on the main thread: a scan of generated pages (about 20 KB of text and
// 25 links each, to 20,000 pages of one site), each page read once as a fetch would hand it over;
// beside it the page scanner alone over the same pages, so the difference is extraction's own cost.
#include "engine/CrwlUrl.h"
#include "engine/FetchTransport.h"
#include "reports/EngineSEOManager.h"
#include "engine/Z12Ara.h"
#include "parsing/ParserLinkExtraction.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <random>

namespace {

constexpr int kSitePages = 20000;
constexpr int kLinksPerPage = 25;

/// Starts nothing; the start-of-scan probes get a 404.
class IdleTransport final : public FetchTransport {
public:
    void startFetch(const std::shared_ptr<CrwlUrl>&) override { }
    void cancelFetch(const std::shared_ptr<CrwlUrl>&) override { }
    crawlmere::platform::UrlLoadResult loadSynchronously(
        const crawlmere::platform::UrlRequest& request, std::chrono::milliseconds) override
    {
        crawlmere::platform::UrlLoadResult result;
        result.response = crawlmere::platform::UrlResponse();
        result.response->url = request.url;
        result.response->statusCode = 404;
        return result;
    }
};

QByteArray makePage(int number, std::mt19937& random)
{
    std::uniform_int_distribution<int> pick(0, kSitePages - 1);
    QByteArray page = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Page " + QByteArray::number(number)
        + "</title><meta name=\"description\" content=\"A generated page of the benchmark site\">"
          "<link rel=\"stylesheet\" href=\"/style.css\"></head><body><nav><a href=\"/\">Home</a></nav><h1>Page "
        + QByteArray::number(number) + "</h1>\n";
    for (int i = 0; i < kLinksPerPage - 1; ++i) {
        page
            += "<p>Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor incididunt ut labore "
               "et dolore magna aliqua. Ut enim ad minim veniam, quis nostrud exercitation ullamco laboris nisi ut "
               "aliquip ex ea commodo consequat. Duis aute irure dolor in reprehenderit in voluptate velit esse cillum "
               "dolore eu fugiat nulla pariatur. Excepteur sint occaecat cupidatat non proident, sunt in culpa qui "
               "officia deserunt mollit anim id est laborum. Sed ut perspiciatis unde omnis iste natus error sit.\n"
               "See <a href=\"/section/p";
        page += QByteArray::number(pick(random));
        page += ".html\">related page ";
        page += QByteArray::number(i);
        page += "</a> for more.</p>\n";
    }
    page += "</body></html>\n";
    return page;
}

struct Site {
    Site()
    {
        std::mt19937 random(7);
        pages.reserve(kSitePages);
        for (int i = 0; i < kSitePages; ++i)
            pages.push_back(makePage(i, random));
    }
    std::vector<QByteArray> pages;
};

const Site& site()
{
    static const Site generated;
    return generated;
}

void BM_ExtractLinksPerPage(benchmark::State& state)
{
    QTemporaryDir folder;
    crawlmere::platform::UserDefaults defaults(folder.filePath(QStringLiteral("defaults.plist")));
    auto hub = std::make_shared<Z12Ara>(defaults);
    hub->setTransport(std::make_shared<IdleTransport>());
    hub->setLinkExtractionParsers(std::make_shared<ParserLinkExtraction>());
    hub->setEngineSEODataSource(std::make_shared<crawlmere::reports::EngineSEOManager>());
    auto settings = std::make_shared<CrawlSettings>(CrwlUrl::defaultCrawlSettings());
    settings->insert(QStringLiteral("startingUrl"), QStringLiteral("http://site.test/"));
    hub->setCrawlSettings(settings);
    if (!hub->go()) {
        state.SkipWithError("scan did not start");
        return;
    }

    const Site& generated = site();
    int next = 0;
    qint64 links = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString url = QStringLiteral("http://site.test/section/p%1.html").arg(next);
        auto page = hub->weHaveThisOneAlready(url, nullptr, true);
        if (!page) {
            page = CrwlUrl::make(hub, settings);
            page->setLinkURL(url);
            page->setDistanceFromHome(1);
            hub->add(page);
        }
        page->setStatus(200);
        page->setData(generated.pages[static_cast<size_t>(next)]);
        next = (next + 1) % kSitePages;
        state.ResumeTiming();

        hub->extractLinks(page);
        links += page->outboundLinkCount();
    }
    state.counters["pages/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["links/page"] = double(links) / double(std::max<int64_t>(state.iterations(), 1));
    state.counters["records"] = double(hub->linksCollection().size());
    hub->clear();
}
BENCHMARK(BM_ExtractLinksPerPage)->Iterations(kSitePages)->Unit(benchmark::kMicrosecond);

void BM_ScannerAlonePerPage(benchmark::State& state)
{
    const Site& generated = site();
    const ParserLinkExtraction parsers;
    const QVariantMap settings = CrwlUrl::defaultCrawlSettings();
    int next = 0;
    for (auto _ : state) {
        auto parser = parsers.makePageParser(generated.pages[static_cast<size_t>(next)], 4, 0, settings);
        while (auto href = parser->getNextHref()) {
            benchmark::DoNotOptimize(parser->getLinkText());
            benchmark::DoNotOptimize(parser->getRel());
            benchmark::DoNotOptimize(parser->getLineNumber());
        }
        benchmark::DoNotOptimize(parser->getTitle());
        next = (next + 1) % kSitePages;
    }
    state.counters["pages/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ScannerAlonePerPage)->Iterations(kSitePages)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
