// Where the application keeps its files, made and kept the user's alone.
#include "platform/Paths.h"

#include "platform/HeldFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace crawlmere::platform {

namespace {

QString environment(const char* name) { return QString::fromLocal8Bit(qgetenv(name)); }

bool overriddenHome() { return !qEnvironmentVariableIsEmpty("CRAWLMERE_HOME"); }

} // namespace

QString Paths::home()
{
    if (overriddenHome())
        return QDir::cleanPath(environment("CRAWLMERE_HOME"));
    return QDir::homePath();
}

QString Paths::configHome()
{
    QString base = overriddenHome() ? QString() : environment("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = home() + QStringLiteral("/.config");
    return base;
}

QString Paths::configFolder() { return configHome() + QStringLiteral("/Crawlmere"); }

QString Paths::applicationSupportFolder()
{
    QString base = overriddenHome() ? QString() : environment("XDG_DATA_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = home() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/Crawlmere");
}

QString Paths::applicationSupportSubfolder(const QString& name)
{
    const QString path = applicationSupportFolder() + QLatin1Char('/') + name;
    if (!makeFolder(path))
        return {};
    return path;
}

namespace {

/// The private root `path` lies in, or a null string.
QString privateRootOf(const QString& path)
{
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
    for (const QString& root : { Paths::configFolder(), Paths::applicationSupportFolder() }) {
        const QString cleanRoot = QDir::cleanPath(root);
        if (clean == cleanRoot || clean.startsWith(cleanRoot + QLatin1Char('/')))
            return cleanRoot;
    }
    return {};
}

} // namespace

bool Paths::isPrivate(const QString& path) { return !privateRootOf(path).isNull(); }

namespace {

/// `path` with links and ".." resolved as far as it exists; the part that does not exist yet is
/// kept as written below the deepest folder that does.
QString resolvedAsFarAsItExists(const QString& path)
{
    QString existing = QDir::cleanPath(QDir(path).absolutePath());
    QString rest;
    while (!existing.isEmpty()) {
        if (const QString real = QFileInfo(existing).canonicalFilePath(); !real.isEmpty())
            return rest.isEmpty() ? real : QDir::cleanPath(real + u'/' + rest);
        const qsizetype slash = existing.lastIndexOf(u'/');
        if (slash < 0)
            break;
        rest = rest.isEmpty() ? existing.mid(slash + 1) : existing.mid(slash + 1) + u'/' + rest;
        existing = existing.left(slash);
    }
    return QDir::cleanPath(QDir(path).absolutePath());
}

} // namespace

bool Paths::holdsOwnData(const QString& path)
{
    const QString resolved = resolvedAsFarAsItExists(path);
    for (const QString& root : { configFolder(), applicationSupportFolder() }) {
        // Both the root as written and as it resolves: a home reached through a link counts too.
        for (const QString& form : { QDir::cleanPath(root), resolvedAsFarAsItExists(root) }) {
            if (resolved == form || resolved.startsWith(form + u'/'))
                return true;
        }
    }
    return false;
}

bool Paths::makeFolder(const QString& path)
{
    // Only the folders made here get a mode (0700 in a private place, through their
    // descriptors); one that was there keeps its own.
    return HeldFolder::reach(path, MissingFolders::Make, isPrivate(path) ? 0700 : 0777).ok();
}

namespace {

/// Folders deeper than this below a private folder are not tightened (no descriptor runs out).
constexpr int kDeepestTightened = 256;

/// Takes the group's and others' bits off `fd`, a descriptor of a folder or regular file of this
/// user's own, through the descriptor itself; true when it had any.
bool tighten(int fd, const struct stat& status)
{
    if ((!S_ISDIR(status.st_mode) && !S_ISREG(status.st_mode)) || status.st_uid != ::geteuid()
        || (status.st_mode & 077) == 0)
        return false;
    // The descriptor may be a path-only one, which fchmod does not take: the process's own
    // name for it changes that very file, never what a path names now.
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    return ::chmod(self.constData(), status.st_mode & 07700) == 0;
}

/// Tightens the folder `folder` (with `status`) and, when `everything`, every entry below it
/// (else only those at its top), never following a link. Answers how many entries it tightened.
qsizetype tightenFolder(int folder, const struct stat& status, bool everything, int depth)
{
    qsizetype tightened = depth == 0 ? 0 : (tighten(folder, status) ? 1 : 0);
    const int listed = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::unique_ptr<DIR, int (*)(DIR*)> entries(listed >= 0 ? ::fdopendir(listed) : nullptr, ::closedir);
    if (!entries) {
        if (listed >= 0)
            ::close(listed);
        return tightened;
    }
    while (const dirent* entry = ::readdir(entries.get())) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        const int fd = ::openat(folder, name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        struct stat held { };
        if (fd < 0)
            continue;
        if (::fstat(fd, &held) == 0) {
            if (S_ISDIR(held.st_mode) && everything && depth < kDeepestTightened)
                tightened += tightenFolder(fd, held, everything, depth + 1);
            else
                tightened += tighten(fd, held) ? 1 : 0;
        }
        ::close(fd);
    }
    return tightened;
}

} // namespace

qsizetype Paths::securePrivateFolders()
{
    qsizetype tightened = 0;
    for (const QString& root : { configFolder(), applicationSupportFolder() }) {
        const auto folder = HeldFolder::reach(root, MissingFolders::Make, 0700);
        if (!folder)
            continue;
        if (tighten(folder->descriptor(), folder->status())) {
            // A folder open to others (made by an earlier version): everything in it is
            // tightened, without following links.
            tightened += 1 + tightenFolder(folder->descriptor(), folder->status(), /*everything=*/true, 0);
            continue;
        }
        // Already the user's alone: only what lies at its top (the defaults, the cookies).
        tightened += tightenFolder(folder->descriptor(), folder->status(), /*everything=*/false, 0);
    }
    return tightened;
}

QString Paths::downloadsFolder()
{
    QString configHome = overriddenHome() ? QString() : environment("XDG_CONFIG_HOME");
    if (configHome.isEmpty() || !QDir::isAbsolutePath(configHome))
        configHome = home() + QStringLiteral("/.config");
    QFile dirs(configHome + QStringLiteral("/user-dirs.dirs"));
    // The file is a few lines of shell assignments; anything longer is not one.
    if (dirs.size() < 64 * 1024 && dirs.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = dirs.readAll().split('\n');
        for (const QByteArray& raw : lines) {
            const QByteArray line = raw.trimmed();
            if (!line.startsWith("XDG_DOWNLOAD_DIR="))
                continue;
            QString value = QString::fromUtf8(line.mid(int(qstrlen("XDG_DOWNLOAD_DIR="))));
            if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'))
                value = value.mid(1, value.size() - 2);
            if (value.startsWith(QLatin1String("$HOME")))
                value = home() + value.mid(5);
            if (QDir::isAbsolutePath(value))
                return QDir::cleanPath(value);
        }
    }
    return home() + QStringLiteral("/Downloads");
}

bool Paths::isLocalPath(const QString& value)
{
    return value.startsWith(QLatin1Char('/')) || value.startsWith(QLatin1String("~/"));
}

QString Paths::expandTilde(const QString& path)
{
    if (path.startsWith(QLatin1String("~/")))
        return home() + path.mid(1);
    return path;
}

} // namespace crawlmere::platform
