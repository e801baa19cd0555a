// Speed of a page's spelling count on the installed en_US dictionary: 1,000-word pages of ordinary
// English with a few misspellings and web addresses, in words checked per second on one core.
#include "parsing/CrwlParser.h"
#include "platform/HunspellSpellChecker.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

namespace {

constexpr int wordsPerPage = 1000;

// A page of running text: 1,000 words drawn in turn from a short text, every 50th misspelled and
// every 100th a web address.
QByteArray page(int seed)
{
    static const QStringList words
        = QStringLiteral("The quick brown fox jumps over the lazy dog while our visitors read about prices, delivery "
                         "times and the opening hours of every shop in town. Please contact us if anything is missing "
                         "from your order or if you would like to change the address we should send it to.")
              .split(u' ');
    QStringList text;
    for (int i = 0; i < wordsPerPage; ++i) {
        if (i % 100 == 99)
            text << QStringLiteral("www.example%1.com").arg(seed);
        else if (i % 50 == 49)
            text << QStringLiteral("recieve");
        else
            text << words.at((i + seed) % words.size());
    }
    return (QStringLiteral("<html><body><p>") + text.join(u' ') + QStringLiteral("</p></body></html>")).toUtf8();
}

void BM_SpellingCount(benchmark::State& state)
{
    crawlmere::platform::HunspellSpellChecker checker;
    checker.setLanguage(QStringLiteral("en_US"));
    std::vector<std::unique_ptr<CrwlParser>> parsers;
    CrwlParser::Options options;
    options.allowNoLinks = true;
    for (int seed = 0; seed < 16; ++seed) {
        parsers.push_back(CrwlParser::initWithData(page(seed), options));
        parsers.back()->setSpellChecker(&checker);
    }
    qint64 words = 0;
    size_t next = 0;
    for (auto _ : state) {
        const qint64 count = parsers[next++ % parsers.size()]->getSpellingCount();
        benchmark::DoNotOptimize(count);
        words += wordsPerPage;
    }
    state.counters["words/s"] = benchmark::Counter(static_cast<double>(words), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SpellingCount)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
