// Program set-up for client-side rendering.
#include "webrender/WebRenderSetup.h"

#include "engine/CrwlUrl.h"
#include "engine/PageRenderer.h"
#include "platform/Log.h"
#include "webrender/WebEngineRenderBackend.h"

#include <QByteArray>

namespace crawlmere::webrender {

void setEngineFlags()
{
    // Rendered pages have no window: without these the browser engine treats them as in the
    // background and holds their timers back, so a script's late changes would miss the settle.
    // Read when the engine starts, which is at the first page or profile.
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    for (const char* flag : { "--disable-background-timer-throttling", "--disable-renderer-backgrounding" }) {
        if (!flags.contains(flag))
            flags += (flags.isEmpty() ? "" : " ") + QByteArray(flag);
    }
    // The engine's own log lines are for the program's log at verbosity 2 or more only.
    if (platform::verbosity() < 2 && !flags.contains("--log-level"))
        flags += (flags.isEmpty() ? "" : " ") + QByteArray("--log-level=3");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
}

void installPageRenderer()
{
    setEngineFlags();
    CrwlUrl::setRendererStarter(PageRenderer::makeStarter(&WebEngineRenderBackend::make));
}

} // namespace crawlmere::webrender
