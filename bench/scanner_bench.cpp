// Cost of the whole page scan as the crawl runs it: head, body, warnings, page text and word count,
// then every link handed out with its attributes. Pages of 20 to 200 KB are generated here: a head
// with meta tags, style sheets and scripts, then navigation, articles with linked text, images with
// srcset, tables, forms, comments and inline scripts, in the proportions of ordinary sites.
#include "parsing/CrwlParser.h"
#include "parsing/detail/ParserDefaults.h"

#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <string>

namespace {

// A small deterministic generator, so every run measures the same pages.
struct Random {
    uint64_t state;
    uint32_t next()
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>(state >> 33);
    }
    uint32_t below(uint32_t n) { return next() % n; }
};

const char* const kWords[] = { "the", "quick", "garden", "oven", "bread", "flour", "morning", "crust", "recipe",
    "sourdough", "butter", "delivery", "opening", "hours", "village", "market", "fresh", "pastry", "seasonal",
    "customers", "wholemeal", "croissant", "order", "weekend", "baking", "class", "story", "family", "since",
    "traditional", "rye", "honey", "almond", "café", "crème", "tarte" };

void words(std::string& out, Random& random, int count)
{
    for (int i = 0; i < count; ++i) {
        if (i)
            out += ' ';
        out += kWords[random.below(sizeof(kWords) / sizeof(kWords[0]))];
    }
}

std::string path(Random& random)
{
    std::string p = "/";
    words(p, random, 2);
    for (char& c : p)
        if (c == ' ')
            c = '-';
    return p + "/page-" + std::to_string(random.below(5000)) + ".html";
}

std::string makePage(size_t targetBytes, uint64_t seed)
{
    Random random { seed };
    std::string page;
    page.reserve(targetBytes + 4096);
    page += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>";
    words(page, random, 6);
    page += " | Bakery</title>\n<meta name=\"description\" content=\"";
    words(page, random, 20);
    page += "\">\n<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
            "<meta property=\"og:url\" content=\"https://www.example.com/\">\n"
            "<link rel=\"canonical\" href=\"https://www.example.com/\">\n"
            "<link rel=\"stylesheet\" href=\"/css/site.css?v=3\" type=\"text/css\">\n"
            "<link rel=\"alternate\" hreflang=\"fr\" href=\"https://www.example.com/fr/\">\n"
            "<script src=\"/js/vendor.min.js\" defer></script>\n"
            "<script>window.dataLayer = window.dataLayer || []; function gtag(){dataLayer.push(arguments);}"
            " gtag('js', new Date()); if (a < b && c > d) { console.log('<a href=\"x\">'); }</script>\n"
            "<style>body{font-family:sans-serif;margin:0}.hero{background:url(/img/hero.jpg)}"
            " nav a:hover{color:#c60}</style>\n</head>\n<body class=\"home\">\n<header id=\"top\"><nav><ul>\n";
    for (int i = 0; i < 12; ++i) {
        page += "<li><a href=\"" + path(random) + "\" class=\"nav-link\">";
        words(page, random, 2);
        page += "</a></li>\n";
    }
    page += "</ul></nav></header>\n<main>\n";
    int block = 0;
    while (page.size() < targetBytes) {
        switch (random.below(8)) {
        case 0:
        case 1:
        case 2:
            page += "<p>";
            for (int s = 0; s < 4; ++s) {
                words(page, random, 12 + static_cast<int>(random.below(10)));
                page += " <a href=\"" + path(random) + "\" title=\"";
                words(page, random, 3);
                page += "\">";
                words(page, random, 3);
                page += "</a>, <em>";
                words(page, random, 2);
                page += "</em> &amp; ";
            }
            page += "</p>\n";
            break;
        case 3:
            page += "<figure><a href=\"" + path(random) + "\"><img src=\"/img/p" + std::to_string(block)
                + ".jpg\" srcset=\"/img/p" + std::to_string(block) + "-2x.jpg 2x, /img/p" + std::to_string(block)
                + "-3x.jpg 3x\" alt=\"";
            words(page, random, 4);
            page += "\" width=\"640\" height=\"480\" loading=\"lazy\"></a><figcaption>";
            words(page, random, 8);
            page += "</figcaption></figure>\n";
            break;
        case 4:
            page += "<h2 id=\"s" + std::to_string(block) + "\">";
            words(page, random, 5);
            page += "</h2>\n<div class=\"card\" style=\"background-image:url('/img/card" + std::to_string(block)
                + ".png')\"><span>";
            words(page, random, 10);
            page += "</span></div>\n";
            break;
        case 5:
            page += "<table class=\"prices\">\n";
            for (int r = 0; r < 6; ++r) {
                page += "<tr><td>";
                words(page, random, 3);
                page += "</td><td>&euro; " + std::to_string(random.below(40)) + ".50</td></tr>\n";
            }
            page += "</table>\n";
            break;
        case 6:
            page += "<!-- block " + std::to_string(block) + ": ";
            words(page, random, 10);
            page += " -->\n<script type=\"application/ld+json\">{\"@context\":\"https://schema.org\","
                    "\"@type\":\"Product\",\"name\":\"";
            words(page, random, 3);
            page += "\",\"offers\":{\"price\":\"4.50\",\"url\":\"https://www.example.com/p\"}}</script>\n";
            break;
        default:
            page += "<form action=\"/newsletter\" method=\"post\"><label for=\"e\">";
            words(page, random, 4);
            page += "</label><input type=\"email\" id=\"e\" name=\"email\"><button>Sign up</button></form>\n";
            break;
        }
        ++block;
    }
    page += "</main>\n<footer><p>&copy; 2024 Bakery. <a href=\"/privacy\">Privacy</a> "
            "<a href=\"https://social.example.net/bakery\" rel=\"noopener nofollow\" target=\"_blank\">Follow</a>"
            "</p></footer>\n<script src=\"/js/site.js\"></script>\n</body>\n</html>\n";
    return page;
}

void BM_WholeScan(benchmark::State& state)
{
    namespace detail = crawlmere::parsing::detail;
    detail::setParserDefaults({ { QStringLiteral("htmlValidationEnabled"), true } });
    const size_t kilobytes = static_cast<size_t>(state.range(0));
    // Several pages of the size, so the branch predictor cannot learn one page by heart.
    std::vector<QByteArray> pages;
    size_t bytes = 0;
    for (uint64_t seed = 1; seed <= 8; ++seed) {
        const std::string page = makePage(kilobytes * 1024, seed * 7919);
        pages.emplace_back(page.data(), static_cast<qsizetype>(page.size()));
        bytes += page.size();
    }
    CrwlParser::Options options;
    options.withSEO = true;
    options.checkNoIndex = true;
    options.useEncoding = crawlmere::platform::Encoding::UTF8;
    options.allowNoLinks = true;
    options.checkImages = true;
    options.linkedFiles = true;
    options.collectNames = true;
    int64_t links = 0;
    for (auto _ : state) {
        for (const QByteArray& page : pages) {
            const auto parser = CrwlParser::initWithData(page, options);
            while (const auto url = parser->getNextHref()) {
                benchmark::DoNotOptimize(parser->getLinkText());
                benchmark::DoNotOptimize(parser->getRel());
                benchmark::DoNotOptimize(parser->getLineNumber());
                ++links;
            }
            benchmark::DoNotOptimize(parser->getWordCount());
            benchmark::DoNotOptimize(parser->getWarnings());
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
    state.counters["links"] = benchmark::Counter(static_cast<double>(links), benchmark::Counter::kIsRate);
    state.counters["page_kb"] = static_cast<double>(bytes) / 8.0 / 1024.0;
    detail::setParserDefaults({});
}

} // namespace

BENCHMARK(BM_WholeScan)->Arg(20)->Arg(60)->Arg(200)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
