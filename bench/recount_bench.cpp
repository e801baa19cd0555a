// Speed of the background spelling recount on the installed en_US dictionary: 10,000 stored pages of
// about 1,000 words each (30 to 60 KB of markup), a few planted misspellings, counted again on the
// updator's one worker thread, in pages per second. Target: 500 pages/s.
#include "engine/CrwlUrl.h"
#include "platform/Dispatch.h"
#include "platform/HunspellSpellChecker.h"
#include "reports/ThreadedSpellingCountUpdator.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

namespace {

constexpr int pageCount = 10000;
constexpr int wordsPerPage = 1000;

// Generated prose, every word in a span of its own and every 20th word a link, so that the page
// weighs 30 to 60 KB; every 80th word is misspelled.
QByteArray page(int seed)
{
    static const QStringList words
        = QStringLiteral("Our visitors read about prices delivery times and the opening hours of every shop in town "
                         "please contact us if anything is missing from your order or if you would like to change "
                         "the address we should send it to before the parcel leaves the warehouse")
              .split(u' ');
    static const QStringList typos = { QStringLiteral("recieve"), QStringLiteral("adress"), QStringLiteral("wich") };
    QString html = QStringLiteral("<html><head><title>Page %1</title></head><body><div class=\"content\"><p>").arg(seed);
    for (int i = 0; i < wordsPerPage; ++i) {
        const QString word = i % 80 == 79 ? typos.at((i / 80 + seed) % typos.size())
                                          : words.at((i * 7 + seed) % words.size());
        if (i % 20 == 19)
            html += QStringLiteral("<a href=\"/section/%1/article-%2.html\" class=\"inline-link\">%3</a> ")
                        .arg(seed % 13)
                        .arg(i)
                        .arg(word);
        else
            html += QStringLiteral("<span class=\"word-%1\">%2</span> ").arg(i % (10 + seed % 40)).arg(word);
        if (i % 60 == 59)
            html += QStringLiteral("</p>\n<p>");
    }
    return (html + QStringLiteral("</p></div></body></html>")).toUtf8();
}

void BM_Recount(benchmark::State& state)
{
    crawlmere::platform::HunspellSpellChecker checker;
    checker.setLanguage(QStringLiteral("en_US"));
    std::vector<QByteArray> bodies;
    for (int seed = 0; seed < 32; ++seed)
        bodies.push_back(page(seed));
    auto settings = std::make_shared<CrawlSettings>(QVariantMap {});
    QList<std::shared_ptr<CrwlUrl>> pages;
    for (int i = 0; i < pageCount; ++i) {
        auto record = CrwlUrl::make(nullptr, settings);
        record->setLinkURL(QStringLiteral("https://www.example.com/section/page-%1.html").arg(i));
        record->setData(bodies[static_cast<size_t>(i) % bodies.size()]);
        pages << record;
    }
    qint64 counted = 0;
    for (auto _ : state) {
        for (const auto& record : pages)
            record->setSpellingCount(20);
        int runs = 0;
        crawlmere::reports::ThreadedSpellingCountUpdator updator(
            { &checker, [&runs] { ++runs; }, [](float) { } });
        updator.addPages(pages);
        crawlmere::platform::Dispatch::runUntil([&] { return runs > 0; }, std::chrono::minutes(10));
        counted += pageCount;
    }
    state.counters["pages/s"] = benchmark::Counter(static_cast<double>(counted), benchmark::Counter::kIsRate);
    state.counters["KB/page"] = static_cast<double>(bodies.front().size()) / 1024.0;
    state.counters["errors/page"] = static_cast<double>(pages.front()->getSpellingCount());
}
BENCHMARK(BM_Recount)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
