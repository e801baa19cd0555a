// What the browser-engine module offers the program.
#include "settings/WebRenderModule.h"

namespace crawlmere::settings {

WebRenderModule::~WebRenderModule() = default;

} // namespace crawlmere::settings
