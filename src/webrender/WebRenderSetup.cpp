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

void installPageRenderer() { CrwlUrl::setRendererStarter(PageRenderer::makeStarter(&WebEngineRenderBackend::make)); }

} // namespace crawlmere::webrender
