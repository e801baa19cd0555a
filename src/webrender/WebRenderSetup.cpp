// Program set-up for client-side rendering.
#include "webrender/WebRenderSetup.h"

#include "engine/CrwlUrl.h"
#include "engine/PageRenderer.h"
#include "webrender/WebEngineRenderBackend.h"

#include <QCoreApplication>

namespace crawlmere::webrender {

void prepareApplication()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    const bool displayAvailable
        = !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (!displayAvailable && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

void installPageRenderer()
{
    // Rendered pages have no window: without these the browser engine treats them as in the
    // background and holds their timers back, so a script's late changes would miss the settle.
    // Read when the engine starts, which is at the first page or profile.
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    for (const char* flag : { "--disable-background-timer-throttling", "--disable-renderer-backgrounding" }) {
        if (!flags.contains(flag))
            flags += (flags.isEmpty() ? "" : " ") + QByteArray(flag);
    }
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
    CrwlUrl::setRendererStarter(PageRenderer::makeStarter(&WebEngineRenderBackend::make));
}

} // namespace crawlmere::webrender
