// The application defaults the crawl engine relies on, registered by whoever starts the engine.
#pragma once

#include <QVariantMap>

namespace crawlmere::platform {
class UserDefaults;
}

namespace crawlmere::engine {

/// The engine's registered defaults: `verbosity` 0, `connectionKeepAlive` YES,
/// `runAllToCompletion` NO, `jsRenderingTime` 1, `soft404Scope` 0, `byStatusWhichStatus` 2,
/// `skipArchiveBasedOnBlackAndWhitelists` YES, `exportEntireSite_Process` YES,
/// `exportEntireSite_Preserve` NO, `defaultLocalFileName` "index.html", `useProxyCrawl` NO,
/// `shouldCheckForSoft404` NO, `siteBuilderGeneratorPattern` (the generator meta tag of the site
/// builder whose page addresses the scan treats like WordPress ones) and `renderedHostNames`
/// (the microblogging, photo-sharing and video-sharing hosts whose pages the soft-404 check
/// renders).
QVariantMap engineDefaults();

/// Registers `engineDefaults()` in the store's registered layer. The shell calls it at launch,
/// before any scan; a value registered again later replaces these.
void registerEngineDefaults(crawlmere::platform::UserDefaults& defaults);

} // namespace crawlmere::engine
