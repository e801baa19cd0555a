// The application defaults the crawl engine relies on.
#include "engine/EngineDefaults.h"

#include "platform/UserDefaults.h"

#include <QVariantList>

namespace crawlmere::engine {

QVariantMap engineDefaults()
{
    return {
        { QStringLiteral("verbosity"), qint64(0) },
        { QStringLiteral("connectionKeepAlive"), true },
        { QStringLiteral("runAllToCompletion"), false },
        { QStringLiteral("jsRenderingTime"), qint64(1) },
        { QStringLiteral("soft404Scope"), qint64(0) },
        { QStringLiteral("byStatusWhichStatus"), qint64(2) },
        { QStringLiteral("skipArchiveBasedOnBlackAndWhitelists"), true },
        { QStringLiteral("exportEntireSite_Process"), true },
        { QStringLiteral("exportEntireSite_Preserve"), false },
        { QStringLiteral("defaultLocalFileName"), QStringLiteral("index.html") },
        { QStringLiteral("useProxyCrawl"), false },
        { QStringLiteral("shouldCheckForSoft404"), false },
        { QStringLiteral("siteBuilderGeneratorPattern"), QStringLiteral("") },
    };
}

void registerEngineDefaults(crawlmere::platform::UserDefaults& defaults)
{
    defaults.registerDefaults(engineDefaults());
}

} // namespace crawlmere::engine
