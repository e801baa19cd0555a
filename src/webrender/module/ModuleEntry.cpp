// The entry of the browser-engine module, looked up by name when the program loads it.
#include "settings/WebRenderLoader.h"
#include "webrender/EngineWebRenderModule.h"

#include <QtGlobal>

/// Answers the process's one module instance; see `settings::WebRenderLoader::kEntryName`.
extern "C" Q_DECL_EXPORT crawlmere::settings::WebRenderModule* crawlmere_webrender_module()
{
    return crawlmere::webrender::EngineWebRenderModule::instance();
}
