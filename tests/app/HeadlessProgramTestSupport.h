// What the suites of the built program share: running it with a display or none and a home of its
// own, what it printed and its exit status, and the site list its defaults file keeps.
#pragma once

#include "app/ApplicationDefaults.h"
#include "app/MainInterface.h"
#include "engine/CrawlSettingKeys.h"
#include "engine/ShellServices.h"
#include "platform/AtomicFile.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "settings/ConfigManager.h"
#include "support/LoopbackServer.h"
#include "support/SharedArrayChain.h"
#include "support/SharedFolder.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <iostream>
#include <memory>
#include <thread>
#include <vector>

#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace crawlmere::test::program {

/// The built program, beside the tests folder of the build.
inline QString programPath()
{
    return QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/../crawlmere")).absoluteFilePath();
}

struct ProgramRun {
    int status = -1;
    QString out;
    QString err;
};

inline void startProgram(QProcess& process, const QStringList& arguments, const QString& display, const QString& home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!home.isEmpty())
        environment.insert(QStringLiteral("CRAWLMERE_HOME"), home);
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    if (display.isEmpty())
        environment.remove(QStringLiteral("DISPLAY"));
    else
        environment.insert(QStringLiteral("DISPLAY"), display);
    process.setProcessEnvironment(environment);
    process.start(programPath(), arguments);
}

inline ProgramRun finishedRun(QProcess& process)
{
    ProgramRun run;
    // Only a program that hangs runs this long: a sanitizer build under load takes a fraction of it.
    if (!process.waitForFinished(240000))
        return run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

inline ProgramRun runProgram(const QStringList& arguments, const QString& display, const QString& home = QString())
{
    QProcess process;
    startProgram(process, arguments, display, home);
    return finishedRun(process);
}

/// The values of `key` (an id, a name) in the site list of the defaults file under `home`,
/// each with its count.
inline QMap<QString, int> storedSites(const QString& home, const QString& key)
{
    QMap<QString, int> values;
    const QString defaultsFile = home + QStringLiteral("/.config/Crawlmere/defaults.plist");
    for (const QVariant& site : crawlmere::platform::PropertyList::readFile(defaultsFile)
                                    .value()
                                    .toMap()
                                    .value(QStringLiteral("websites"))
                                    .toList())
        ++values[site.toMap().value(key).toString()];
    return values;
}
inline QMap<QString, int> storedSiteIds(const QString& home) { return storedSites(home, QStringLiteral("id")); }
inline QMap<QString, int> storedSiteNames(const QString& home) { return storedSites(home, QStringLiteral("name")); }

/// A settings file for a site of its own id (named after it) scanning `url`; with
/// `withoutId`, the file names the site but gives it no id.
inline QString writeSiteFile(const QTemporaryDir& home, const QString& id, const QString& url, bool withoutId = false)
{
    const QString path = home.filePath(id + QStringLiteral(".lcsettings"));
    QVariantMap site { { "id", id }, { "name", id }, { crawlKey::startingUrl, url } };
    if (withoutId)
        site.remove(QStringLiteral("id"));
    return crawlmere::platform::PropertyList::writeXmlFile(path, site).ok() ? path : QString();
}

} // namespace crawlmere::test::program
