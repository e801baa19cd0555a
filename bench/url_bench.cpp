// Cost of turning the links of a page into absolute URLs: parse and resolve against the page's
// base, as link extraction does for every link it reads.
#include "engine/CrwlUrl.h"
#include "engine/PunycodeAdditions.h"
#include "platform/Url.h"

#include <benchmark/benchmark.h>

#include <QStringList>

using crawlmere::platform::Url;

namespace {

// A mix of the links a typical page holds.
const QStringList& typicalLinks()
{
    static const QStringList links = {
        "page.html",
        "../images/photo-2024.jpg",
        "/about/team/",
        "https://www.example.com/blog/2024/another-post.html",
        "https://external.example.org/path/to/resource?ref=blog&utm_source=site",
        "#comments",
        "?page=2",
        "//cdn.example.net/js/lib.min.js",
        "./style.css",
        "/tag/c%2B%2B/",
        "mailto:editor@example.com",
        "post.html#section-3",
        "../../index.html",
        "/search?q=url+parsing&lang=en",
        "https://www.example.com/",
        "",
    };
    return links;
}

const Url& pageBase()
{
    static const Url base = *Url::fromString("https://www.example.com/blog/2024/post-title.html");
    return base;
}

void BM_ParseAndResolveLink(benchmark::State& state)
{
    const QStringList& links = typicalLinks();
    const Url& base = pageBase();
    qsizetype i = 0;
    for (auto _ : state) {
        std::optional<Url> url = Url::resolved(links[i], base);
        benchmark::DoNotOptimize(url);
        if (++i == links.size())
            i = 0;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["links/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ParseAndResolveLink);

// Parse, resolve and read the host and path of the result, as the internal test does.
void BM_ResolveAndReadHost(benchmark::State& state)
{
    const QStringList& links = typicalLinks();
    const Url& base = pageBase();
    qsizetype i = 0;
    for (auto _ : state) {
        std::optional<Url> url = Url::resolved(links[i], base);
        if (url) {
            QString host = url->host();
            benchmark::DoNotOptimize(host);
        }
        if (++i == links.size())
            i = 0;
    }
    state.counters["links/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ResolveAndReadHost);

// The whole per-link path of link extraction: resolve against the base, then the lookup key the
// hub files and finds records under.
void BM_ResolveAndLookupKey(benchmark::State& state)
{
    const QStringList& links = typicalLinks();
    const Url& base = pageBase();
    const auto record = CrwlUrl::make(nullptr, std::make_shared<CrawlSettings>(CrwlUrl::defaultCrawlSettings()));
    qsizetype i = 0;
    for (auto _ : state) {
        if (std::optional<Url> url = Url::resolved(links[i], base)) {
            QString key = record->prepareUrlForLookup(url->absoluteString());
            benchmark::DoNotOptimize(key);
        }
        if (++i == links.size())
            i = 0;
    }
    state.counters["links/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ResolveAndLookupKey);

void BM_ParseAbsoluteUrl(benchmark::State& state)
{
    const QString text = "https://www.example.com/blog/2024/post-title.html?utm_source=feed#comments";
    for (auto _ : state) {
        std::optional<Url> url = Url::fromString(text);
        benchmark::DoNotOptimize(url);
    }
    state.counters["urls/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ParseAbsoluteUrl);

// The fallback for a link that does not parse: encode it, then resolve it.
void BM_EncodeAndResolveUnicodeLink(benchmark::State& state)
{
    const QString link = QString::fromUtf8("https://b\xC3\xBC" "cher.example.de/caf\xC3\xA9 menu/100%.html");
    const Url& base = pageBase();
    for (auto _ : state) {
        std::optional<Url> url = Url::resolved(PunycodeAdditions::encodedURLString(link), base);
        benchmark::DoNotOptimize(url);
    }
    state.counters["links/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EncodeAndResolveUnicodeLink);

} // namespace

BENCHMARK_MAIN();
