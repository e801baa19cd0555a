// Reading a style sheet against the number of its url() values: sheets of 25,000, 100,000 and
// 1,000,000 rules (24 bytes each, distinct images) read by the style-sheet parser as the scan
// reads one, on the main thread. The time must grow with the sheet's size, as an HTML page's
// does with its links: 100,000 values in well under a second.
#include "parsing/CrwlCSSParser.h"

#include <benchmark/benchmark.h>

#include <QByteArray>

namespace {

QByteArray sheetOf(qint64 rules)
{
    QByteArray sheet;
    sheet.reserve(rules * 26);
    for (qint64 i = 0; i < rules; ++i)
        sheet += "p{b:url(/i/" + QByteArray::number(i % 1000000).rightJustified(6, '0') + ".png)}\n";
    return sheet;
}

void readSheet(benchmark::State& state)
{
    const QByteArray sheet = sheetOf(state.range(0));
    qsizetype links = 0;
    for (auto _ : state) {
        const auto parser = CrwlCSSParser::initWithData(sheet);
        links = parser->linkCount();
        benchmark::DoNotOptimize(links);
    }
    state.counters["MB"] = double(sheet.size()) / (1024.0 * 1024.0);
    state.counters["links"] = double(links);
}

BENCHMARK(readSheet)->Arg(25000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
