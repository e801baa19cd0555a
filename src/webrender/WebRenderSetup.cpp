// Program set-up for client-side rendering.
#include "webrender/WebRenderSetup.h"

#include "engine/CrwlUrl.h"
#include "engine/PageRenderer.h"
#include "webrender/SourceView.h"
#include "webrender/WebEngineRenderBackend.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <pwd.h>
#include <unistd.h>

namespace crawlmere::webrender {

void prepareApplication()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    SourceView::registerScheme();
    const bool displayAvailable
        = !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (!displayAvailable && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!displayAvailable && qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        // Without a session there is no runtime folder; the GUI application would pick this
        // same private folder itself, with a warning on the headless run's error output.
        const passwd* user = getpwuid(geteuid());
        const QString folder = QDir::tempPath() + QStringLiteral("/runtime-")
            + (user ? QString::fromLocal8Bit(user->pw_name) : QString::number(geteuid()));
        if (QDir().mkpath(folder)
            && QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner))
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder));
    }
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
