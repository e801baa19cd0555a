#include "platform/Paths.h"

#include <QDir>
#include <QFile>

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
    if (!QDir().mkpath(path))
        return {};
    return path;
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
