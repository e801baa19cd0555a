// Program set-up for client-side rendering: what must happen before the application object is
// made, and installing the page renderer after.
#pragma once

namespace crawlmere::webrender {

/// Call before the application object is made. Shares OpenGL contexts (the browser engine needs
/// it set first), registers the scheme of large page sources and, when there is no display (no
/// DISPLAY or WAYLAND_DISPLAY) and no platform was chosen (QT_QPA_PLATFORM), picks the offscreen
/// platform, so that a `QApplication` can be made for a headless run that renders pages.
void prepareApplication();

/// Call once the application object exists, at every launch, before any browser view or page
/// is made (it sets the browser engine's start-up flags): records whose scan renders pages
/// (`runJS`) are then loaded in the browser engine, each in a fresh off-the-record page. Under
/// a `QCoreApplication` no page can be made, and each rendered record ends given up (-17).
void installPageRenderer();

} // namespace crawlmere::webrender
