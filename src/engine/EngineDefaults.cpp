// The application defaults the crawl engine relies on.
#include "engine/EngineDefaults.h"

#include "engine/CrawlSettingTable.h"
#include "platform/UserDefaults.h"

#include <QVariantList>

namespace crawlmere::engine {

QVariantMap engineDefaults()
{
    return {
        { QStringLiteral("verbosity"), qint64(0) },
        { QStringLiteral("connectionKeepAlive"), true },
        { QString(key::runAllToCompletion), crawlSetting(key::runAllToCompletion).defaultValue },
        { QStringLiteral("jsRenderingTime"), qint64(1) },
        { QStringLiteral("soft404Scope"), qint64(0) },
        { QStringLiteral("byStatusWhichStatus"), qint64(2) },
        { QStringLiteral("skipArchiveBasedOnBlackAndWhitelists"), true },
        { QStringLiteral("exportEntireSite_Process"), true },
        { QStringLiteral("exportEntireSite_Preserve"), false },
        { QString(key::defaultLocalFileName), crawlSetting(key::defaultLocalFileName).defaultValue },
        { QStringLiteral("useProxyCrawl"), false },
        { QString(key::shouldCheckForSoft404), crawlSetting(key::shouldCheckForSoft404).defaultValue },
        { QString(key::dontReportRedirects), crawlSetting(key::dontReportRedirects).defaultValue },
        // The builder's domain and the rest of the generator text, up to the closing quote.
        { QStringLiteral("siteBuilderGeneratorPattern"),
            QStringLiteral("<meta\\s+name=[\"']?generator[\"']?\\s+content=\"(wix\\.com[^\"]*)") },
        // Pages of these services show what they hold only once rendered: a missing post, photo
        // or video still answers 200 with a bare page that only rendering fills in.
        { QStringLiteral("renderedHostNames"),
            QVariantList {
                QStringLiteral("twitter.com"), QStringLiteral("instagram.com"), QStringLiteral("youtube.com") } },
    };
}

void registerEngineDefaults(crawlmere::platform::UserDefaults& defaults)
{
    defaults.registerDefaults(engineDefaults());
}

} // namespace crawlmere::engine
