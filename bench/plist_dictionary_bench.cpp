// Cost of writing a dictionary of many keys as a property list (XML, as the defaults store is
// saved) and of reading it back (as every start reads the store), at 10 thousand, 100 thousand
// and 300 thousand keys: the time per key must stay flat as the dictionary grows. "Crowded" keys
// are built from two-character blocks that add the same to a djb2 hash (libplist's key hash), so
// that a table of those hashes puts them all in one bucket.
#include "platform/PropertyList.h"

#include <benchmark/benchmark.h>

#include <QVariantMap>

using crawlmere::platform::PropertyList;

namespace {

QVariantMap dictionaryOf(qint64 keys, bool crowded)
{
    QVariantMap map;
    for (qint64 i = 0; i < keys; ++i) {
        QString key;
        if (crowded) {
            for (int bit = 0; bit < 20; ++bit)
                key += (i >> bit) & 1 ? QStringLiteral("a!") : QStringLiteral("`B");
        } else {
            key = QStringLiteral("key-%1").arg(i);
        }
        map.insert(key, i);
    }
    return QVariantMap { { QStringLiteral("unknown"), map } };
}

void write(benchmark::State& state, bool crowded)
{
    const QVariantMap value = dictionaryOf(state.range(0), crowded);
    for (auto _ : state) {
        auto bytes = PropertyList::toXml(value);
        if (!bytes) {
            state.SkipWithError(qPrintable(bytes.error()));
            return;
        }
        benchmark::DoNotOptimize(bytes);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void read(benchmark::State& state, bool crowded)
{
    const auto bytes = PropertyList::toXml(dictionaryOf(state.range(0), crowded));
    if (!bytes) {
        state.SkipWithError(qPrintable(bytes.error()));
        return;
    }
    for (auto _ : state) {
        auto value = PropertyList::read(*bytes);
        if (!value) {
            state.SkipWithError(qPrintable(value.error()));
            return;
        }
        benchmark::DoNotOptimize(value);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

} // namespace

BENCHMARK_CAPTURE(write, plain, false)->Arg(10000)->Arg(100000)->Arg(300000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(write, crowded, true)->Arg(10000)->Arg(100000)->Arg(300000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(read, plain, false)->Arg(10000)->Arg(100000)->Arg(300000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(read, crowded, true)->Arg(10000)->Arg(100000)->Arg(300000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
