// The application defaults the crawl engine relies on.
#include "engine/EngineDefaults.h"

#include "engine/CrawlSettingTable.h"
#include "platform/UserDefaults.h"

#include <QVariantList>

namespace crawlmere::engine {

QVariantMap engineDefaults()
{
    return {
        { defaultsKey::verbosity, qint64(0) },
        { defaultsKey::connectionKeepAlive, true },
        { crawlKey::runAllToCompletion, crawlSetting(key::runAllToCompletion).defaultValue },
        { defaultsKey::jsRenderingTime, qint64(1) },
        { defaultsKey::soft404Scope, qint64(0) },
        { defaultsKey::byStatusWhichStatus, qint64(2) },
        { defaultsKey::skipArchiveBasedOnBlackAndWhitelists, true },
        { defaultsKey::exportEntireSite_Process, true },
        { defaultsKey::exportEntireSite_Preserve, false },
        { crawlKey::defaultLocalFileName, crawlSetting(key::defaultLocalFileName).defaultValue },
        { defaultsKey::useProxyCrawl, false },
        { crawlKey::shouldCheckForSoft404, crawlSetting(key::shouldCheckForSoft404).defaultValue },
        { crawlKey::dontReportRedirects, crawlSetting(key::dontReportRedirects).defaultValue },
        // The builder's domain and the rest of the generator text, up to the closing quote.
        { defaultsKey::siteBuilderGeneratorPattern,
            QStringLiteral("<meta\\s+name=[\"']?generator[\"']?\\s+content=\"(wix\\.com[^\"]*)") },
        // Pages of these services show what they hold only once rendered: a missing post, photo
        // or video still answers 200 with a bare page that only rendering fills in.
        { defaultsKey::renderedHostNames,
            QVariantList {
                QStringLiteral("twitter.com"), QStringLiteral("instagram.com"), QStringLiteral("youtube.com") } },
    };
}

void registerEngineDefaults(crawlmere::platform::UserDefaults& defaults)
{
    defaults.registerDefaults(engineDefaults());
}

} // namespace crawlmere::engine
