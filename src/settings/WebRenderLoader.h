// Loads the browser-engine module at run time, so that a scan that never renders never maps
// the browser engine's libraries.
#pragma once

#include <QString>
#include <QStringList>

namespace crawlmere::settings {

class WebRenderModule;

/// Finds "crawlmere-webrender.so" beside the program or in its installed "lib/crawlmere" folder,
/// loads it at the first `module` call and keeps it loaded until the process ends. A missing
/// or broken module is logged once, its text kept for one `takeFailure`, and the program goes
/// on without rendering, thumbnails, login windows or the rendered source. Main thread only.
class WebRenderLoader {
public:
    /// The symbol every module exports: `extern "C" WebRenderModule* crawlmere_webrender_module()`.
    static constexpr const char* kEntryName = "crawlmere_webrender_module";
    static constexpr const char* kFileName = "crawlmere-webrender.so";

    /// Process set-up that needs no module, before the application object is made: shared
    /// OpenGL contexts, the browser engine's sandbox off as root (said in the log), and without
    /// a display the offscreen platform and a private runtime folder.
    static void prepareProcess();
    /// A runtime folder of this user's alone in `sharedFolder` (the temporary folder, which
    /// others can write to): "runtime-USER", made now with mode 0700 or found as a folder (not
    /// a link) owned by the user and closed to others; else a fresh private folder
    /// "runtime-USER-XXXXXX", removed with what it holds when the process ends. Nothing found
    /// there is ever changed. Null when none can be made.
    static QString privateRuntimeFolder(const QString& sharedFolder);
    /// The module, loaded at the first call (and its `prepareEngine` run once an application
    /// object exists); null when it cannot be loaded, then and at every later call.
    static WebRenderModule* module();
    /// Renders records whose scan asks for it through the module, loaded at the first render;
    /// without the module such records are read as fetched, as with rendering off. Call after
    /// the application object is made.
    static void installPageRenderer();
    /// Why loading failed, once; empty when it did not fail or was already taken.
    static QString takeFailure();
    /// The files tried, in order: beside the program, then its installed library folder.
    static QStringList candidatePaths();
    /// Uses `module` (kept by the caller for the process's life) instead of loading one, for
    /// programs that link the browser-engine code themselves. Call before `module`.
    static void useModule(WebRenderModule* module);
};

} // namespace crawlmere::settings
