// Program set-up for client-side rendering.
#include "webrender/WebRenderSetup.h"

#include "engine/CrwlUrl.h"
#include "engine/PageRenderer.h"
#include "platform/Log.h"
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
    // The browser engine cannot start sandboxed as root and then ends the whole program (a
    // thumbnail or a rendered page would take the window down with it): as root it runs
    // without its sandbox, and says so.
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        platform::logLine(1, QStringLiteral("running as root: the browser engine runs without its sandbox"));
    }
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
