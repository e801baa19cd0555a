// Loads the browser-engine module at run time.
#include "settings/WebRenderLoader.h"

#include "engine/CrwlUrl.h"
#include "engine/PageRenderer.h"
#include "platform/Log.h"
#include "settings/WebRenderModule.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>

#include <utility>
#include <vector>

#include <cerrno>

#include <cstdlib>
#include <fcntl.h>
#include <ftw.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace crawlmere::settings {

namespace {

struct LoaderState {
    bool tried = false;
    WebRenderModule* module = nullptr;
    QString failure;
};

LoaderState& state()
{
    static LoaderState loader;
    return loader;
}

using Entry = WebRenderModule* (*)();

WebRenderModule* loadFirstFound(QString& failure)
{
    QStringList problems;
    for (const QString& path : WebRenderLoader::candidatePaths()) {
        if (!QFileInfo::exists(path))
            continue;
        // Kept loaded for good: the module's pages and views live until the process ends.
        auto* library = new QLibrary(path);
        library->setLoadHints(QLibrary::ResolveAllSymbolsHint);
        const auto entry = reinterpret_cast<Entry>(library->resolve(WebRenderLoader::kEntryName));
        if (WebRenderModule* found = entry ? entry() : nullptr)
            return found;
        problems << library->errorString();
        library->unload();
        delete library;
    }
    failure = problems.isEmpty()
        ? QStringLiteral("The browser-engine module (%1) was not found: pages are not rendered, and there are "
                         "no thumbnails, login windows or rendered sources.")
              .arg(QString::fromLatin1(WebRenderLoader::kFileName))
        : QStringLiteral("The browser-engine module could not be loaded (%1): pages are not rendered, and there "
                         "are no thumbnails, login windows or rendered sources.")
              .arg(problems.join(QStringLiteral("; ")));
    return nullptr;
}

} // namespace

void WebRenderLoader::prepareProcess()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // The browser engine cannot start sandboxed as root and then ends the whole program (a
    // thumbnail or a rendered page would take the window down with it): as root it runs
    // without its sandbox, and says so.
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        platform::logLine(1, QStringLiteral("running as root: the browser engine runs without its sandbox"));
    }
    const bool displayAvailable
        = !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (!displayAvailable && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!displayAvailable && qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        // Without a session there is no runtime folder; the GUI application would pick this
        // same private folder itself, with a warning on the headless run's error output.
        const QString folder = privateRuntimeFolder(QDir::tempPath());
        if (!folder.isNull())
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder));
    }
}

namespace {

/// The fresh runtime folders this process made: each one's name is taken by nothing else, so
/// none is found again by a later start, and they go when the process ends.
std::vector<QByteArray>& freshRuntimeFolders()
{
    static std::vector<QByteArray> folders;
    return folders;
}

int removeEntry(const char* path, const struct stat*, int, FTW*)
{
    ::remove(path);
    return 0;
}

void removeFreshRuntimeFolders()
{
    // Made 0700 by this process: nobody else can have put anything in them.
    for (const QByteArray& folder : freshRuntimeFolders())
        ::nftw(folder.constData(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

void removeAtExit(const QByteArray& folder)
{
    if (freshRuntimeFolders().empty())
        std::atexit(removeFreshRuntimeFolders);
    freshRuntimeFolders().push_back(folder);
}

} // namespace

QString WebRenderLoader::privateRuntimeFolder(const QString& sharedFolder)
{
    const passwd* user = getpwuid(geteuid());
    const QString named = sharedFolder + QStringLiteral("/runtime-")
        + (user ? QString::fromLocal8Bit(user->pw_name) : QString::number(geteuid()));
    const QByteArray path = QFile::encodeName(named);
    // Made now, or already there: either way it is used only when, opened without following a
    // link, it is a folder of this user's that others cannot enter. Only a folder made by this
    // call is ever chmod-ed (a umask may have taken the owner's bits).
    const bool made = ::mkdir(path.constData(), 0700) == 0;
    if (made || errno == EEXIST) {
        const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat status { };
        bool usable = fd >= 0 && ::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == geteuid();
        if (usable && made && (status.st_mode & 07777) != 0700)
            usable = ::fchmod(fd, 0700) == 0;
        else if (usable)
            usable = (status.st_mode & 07777) == 0700;
        if (fd >= 0)
            ::close(fd);
        if (usable)
            return named;
        platform::logLine(1,
            QStringLiteral("%1 is not a private folder of this user's: a fresh runtime folder is used").arg(named));
    }
    QByteArray fresh = path + "-XXXXXX";
    if (!::mkdtemp(fresh.data()))
        return {};
    removeAtExit(fresh);
    return QFile::decodeName(fresh);
}

WebRenderModule* WebRenderLoader::module()
{
    LoaderState& loader = state();
    if (!loader.tried) {
        loader.tried = true;
        loader.module = loadFirstFound(loader.failure);
        if (!loader.module)
            platform::logLine(0, loader.failure);
    }
    if (loader.module && QCoreApplication::instance())
        loader.module->prepareEngine();
    return loader.module;
}

void WebRenderLoader::installPageRenderer()
{
    if (state().module)
        state().module->prepareEngine();
    // Without the module (said once when it was looked for) pages are read as fetched.
    CrwlUrl::setRendererStarter(PageRenderer::makeStarter([]() -> std::unique_ptr<PageRenderBackend> {
        WebRenderModule* loaded = module();
        return loaded ? loaded->makeRenderBackend() : nullptr;
    }));
    PageRenderer::setAvailability([] { return module() != nullptr; });
}

QString WebRenderLoader::takeFailure()
{
    return std::exchange(state().failure, QString());
}

QStringList WebRenderLoader::candidatePaths()
{
    // Read from the process itself: this runs before the application object knows its folder.
    const QString program = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    const QDir folder = QFileInfo(program).dir();
    const QString name = QString::fromLatin1(kFileName);
    return { folder.filePath(name), QDir::cleanPath(folder.filePath(QStringLiteral("../lib/crawlmere/")) + u'/' + name) };
}

void WebRenderLoader::useModule(WebRenderModule* module)
{
    state().tried = true;
    state().module = module;
    state().failure.clear();
}

} // namespace crawlmere::settings
