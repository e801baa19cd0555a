#include "platform/Paths.h"

#include "platform/HeldFolder.h"

#include <QDir>
#include <QFile>

#include <ftw.h>
#include <sys/stat.h>

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

/// Takes the group's and others' bits off the entry at `path` (a link itself is left
/// alone); true when it had any.
bool tighten(const QByteArray& path)
{
    struct stat status { };
    if (::lstat(path.constData(), &status) != 0 || S_ISLNK(status.st_mode) || (status.st_mode & 077) == 0)
        return false;
    if (!S_ISDIR(status.st_mode) && !S_ISREG(status.st_mode))
        return false;
    return ::chmod(path.constData(), status.st_mode & 07700) == 0;
}

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

bool Paths::makeFolder(const QString& path)
{
    const QString root = privateRootOf(path);
    if (!HeldFolder::reach(path, MissingFolders::Make, root.isNull() ? 0777 : 0700))
        return false;
    if (!root.isNull()) {
        tighten(QFile::encodeName(root));
        tighten(QFile::encodeName(path));
    }
    return true;
}

namespace {

thread_local qsizetype tightenedInWalk = 0;

int tightenInWalk(const char* path, const struct stat*, int type, FTW*)
{
    if (type != FTW_SL && type != FTW_SLN && tighten(QByteArray(path)))
        ++tightenedInWalk;
    return 0;
}

} // namespace

qsizetype Paths::securePrivateFolders()
{
    qsizetype tightened = 0;
    for (const QString& root : { configFolder(), applicationSupportFolder() }) {
        if (!HeldFolder::reach(root, MissingFolders::Make))
            continue;
        const QByteArray encoded = QFile::encodeName(root);
        if (tighten(encoded)) {
            // A folder open to others (made by an earlier version): everything in it is
            // tightened, without following links.
            tightenedInWalk = 0;
            ::nftw(encoded.constData(), tightenInWalk, 16, FTW_PHYS);
            tightened += 1 + tightenedInWalk;
            continue;
        }
        // Already the user's alone: only what lies at its top (the defaults, the cookies).
        for (const QString& name :
            QDir(root).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
            tightened += tighten(QFile::encodeName(root + QLatin1Char('/') + name)) ? 1 : 0;
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
