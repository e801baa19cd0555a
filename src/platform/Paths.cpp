#include "platform/Paths.h"

#include <QDir>

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
