// Program set-up for client-side rendering once the application object exists: the browser
// engine's start-up flags and the page renderer.
#pragma once

namespace crawlmere::webrender {

/// Sets the browser engine's start-up flags; call once the application object exists, before
/// any browser view or page is made. Calling it again changes nothing.
void setEngineFlags();

/// `setEngineFlags`, then records whose scan renders pages (`runJS`) are loaded in the
/// browser engine, each in a fresh off-the-record page. Under a `QCoreApplication` no page can
/// be made, and each rendered record ends given up (-17).
void installPageRenderer();

} // namespace crawlmere::webrender
