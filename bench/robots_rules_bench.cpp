// Cost of the robots.txt verdict when one cheap rule with "*" matches every address and many
// costly ones match none: "Disallow: *bc" first, then 100, 300 or 1000 rules "*aaa…abK$" (200
// characters) against 200 addresses of 4,000 characters. A rule whose pieces an address lacks
// must never run its star match, so the time must follow the addresses, not the costly rules.
#include "engine/RobotsTxt.h"

#include <benchmark/benchmark.h>

#include <QStringList>

namespace {

void verdicts(benchmark::State& state, bool cheapRuleFirst)
{
    QStringList disallow;
    if (cheapRuleFirst)
        disallow.append(QStringLiteral("*bc"));
    for (qint64 i = 0; i < state.range(0); ++i)
        disallow.append(QStringLiteral("*") + QString(197, u'a') + QStringLiteral("ab") + QChar(char16_t(u'A' + i % 26))
            + QString::number(i) + QStringLiteral("$"));
    const RobotsTxt robots(disallow, {});
    QStringList paths;
    for (int i = 0; i < 200; ++i)
        paths.append(QStringLiteral("/bc/") + QString(3990, u'a') + QString::number(i));
    for (auto _ : state) {
        int disallowed = 0;
        for (const QString& path : paths)
            disallowed += robots.verdict(path) == RobotsTxt::Verdict::Disallowed ? 1 : 0;
        benchmark::DoNotOptimize(disallowed);
    }
    state.SetItemsProcessed(state.iterations() * paths.size());
}

} // namespace

BENCHMARK_CAPTURE(verdicts, withCheapRuleFirst, true)->Arg(100)->Arg(300)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(verdicts, costlyRulesAlone, false)->Arg(100)->Arg(300)->Arg(1000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
