// Cost of reading a property list with one long array (or dictionary) of short strings, binary
// and XML, at 10 thousand, 100 thousand and a million items: the time per item must stay flat
// as the list grows (settings files, the defaults store and archive indexes are read this way).
#include "platform/PropertyList.h"

#include <benchmark/benchmark.h>

#include <QVariantList>
#include <QVariantMap>

using crawlmere::platform::PropertyList;
using crawlmere::platform::PropertyListFormat;

namespace {

QByteArray listOf(qint64 items, bool dictionary, PropertyListFormat format)
{
    QVariant value;
    if (dictionary) {
        QVariantMap map;
        for (qint64 i = 0; i < items; ++i)
            map.insert(QStringLiteral("key-%1").arg(i), QStringLiteral("https://site.test/page-%1.html").arg(i));
        value = map;
    } else {
        QVariantList list;
        list.reserve(items);
        for (qint64 i = 0; i < items; ++i)
            list.append(QStringLiteral("https://site.test/page-%1.html").arg(i));
        value = list;
    }
    auto bytes = PropertyList::serialize(value, format);
    return bytes ? *bytes : QByteArray();
}

void read(benchmark::State& state, bool dictionary, PropertyListFormat format)
{
    const QByteArray bytes = listOf(state.range(0), dictionary, format);
    if (bytes.isEmpty()) {
        state.SkipWithError("the list could not be written");
        return;
    }
    for (auto _ : state) {
        auto value = PropertyList::read(bytes);
        if (!value) {
            state.SkipWithError(qPrintable(value.error()));
            return;
        }
        benchmark::DoNotOptimize(value);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.counters["MB"] = double(bytes.size()) / 1e6;
}

void BM_BinaryArray(benchmark::State& state) { read(state, false, PropertyListFormat::Binary); }
void BM_XmlArray(benchmark::State& state) { read(state, false, PropertyListFormat::Xml); }
void BM_BinaryDictionary(benchmark::State& state) { read(state, true, PropertyListFormat::Binary); }
void BM_XmlDictionary(benchmark::State& state) { read(state, true, PropertyListFormat::Xml); }

} // namespace

BENCHMARK(BM_BinaryArray)->RangeMultiplier(10)->Range(10'000, 1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XmlArray)->RangeMultiplier(10)->Range(10'000, 1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BinaryDictionary)->RangeMultiplier(10)->Range(10'000, 1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XmlDictionary)->RangeMultiplier(10)->Range(10'000, 1'000'000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
