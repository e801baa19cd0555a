// The suites that link the browser-engine code use it directly instead of loading the module.
#include "settings/WebRenderLoader.h"
#include "webrender/EngineWebRenderModule.h"

namespace {

const bool linkedModuleInUse
    = (crawlmere::settings::WebRenderLoader::useModule(crawlmere::webrender::EngineWebRenderModule::instance()), true);

} // namespace
