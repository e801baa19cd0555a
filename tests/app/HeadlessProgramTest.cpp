#include "app/ApplicationDefaults.h"
#include "app/MainInterface.h"
#include "engine/ShellServices.h"
#include "platform/PropertyList.h"
#include "platform/AtomicFile.h"
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

namespace {

/// The built program, beside the tests folder of the build.
QString programPath()
{
    return QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/../crawlmere")).absoluteFilePath();
}

struct ProgramRun {
    int status = -1;
    QString out;
    QString err;
};

void startProgram(QProcess& process, const QStringList& arguments, const QString& display, const QString& home)
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

ProgramRun finishedRun(QProcess& process)
{
    ProgramRun run;
    if (!process.waitForFinished(60000))
        return run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

ProgramRun runProgram(const QStringList& arguments, const QString& display, const QString& home = QString())
{
    QProcess process;
    startProgram(process, arguments, display, home);
    return finishedRun(process);
}

} // namespace

TEST(HeadlessProgram, ADisplayWithoutHeadlessStillScansHeadlessAndSaysSoOnce)
{
    if (!QFileInfo::exists(programPath()))
        GTEST_SKIP() << "the crawlmere program is not built beside the tests";
    const QString page = QStringLiteral(CRAWLMERE_FIXTURES "/../../examples/sample-site/index.html");
    ASSERT_TRUE(QFileInfo::exists(page));

    const ProgramRun withDisplay = runProgram({ page }, QStringLiteral(":99"));
    EXPECT_EQ(withDisplay.status, 0) << qPrintable(withDisplay.err);
    EXPECT_EQ(withDisplay.err.count(QStringLiteral("scanned without windows")), 1) << qPrintable(withDisplay.err);
    EXPECT_TRUE(withDisplay.out.startsWith(QStringLiteral("Scan finished: file://"))) << qPrintable(withDisplay.out);

    const ProgramRun asked = runProgram({ QStringLiteral("--headless"), page }, QStringLiteral(":99"));
    EXPECT_EQ(asked.status, 0);
    EXPECT_FALSE(asked.err.contains(QStringLiteral("without windows")));
    const ProgramRun noDisplay = runProgram({ page }, QString());
    EXPECT_EQ(noDisplay.status, 0);
    EXPECT_FALSE(noDisplay.err.contains(QStringLiteral("without windows")));
}

TEST(HeadlessProgram, ExitStatusesOfTheCommandLine)
{
    if (!QFileInfo::exists(programPath()))
        GTEST_SKIP() << "the crawlmere program is not built beside the tests";
    const ProgramRun version = runProgram({ QStringLiteral("--version") }, QString());
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, QStringLiteral("Crawlmere " CRAWLMERE_VERSION "\n"));

    const ProgramRun noTarget = runProgram({ QStringLiteral("--headless") }, QString());
    EXPECT_EQ(noTarget.status, 2);
    EXPECT_TRUE(noTarget.err.startsWith(QStringLiteral("crawlmere: no target given\n\nusage: crawlmere")))
        << qPrintable(noTarget.err);
    EXPECT_TRUE(noTarget.out.isEmpty());
}

TEST(HeadlessProgram, ASettingsFileJoinsTheSiteListOnceAndIsStamped)
{
    if (!QFileInfo::exists(programPath()))
        GTEST_SKIP() << "the crawlmere program is not built beside the tests";
    using crawlmere::platform::PropertyList;
    QTemporaryDir home;
    const QString page
        = QFileInfo(QStringLiteral(CRAWLMERE_FIXTURES "/../../examples/sample-site/index.html")).absoluteFilePath();
    const QString settingsFile = home.filePath(QStringLiteral("site.lcsettings"));
    ASSERT_TRUE(PropertyList::writeXmlFile(settingsFile,
        QVariantMap { { "id", "20260101-1200001" }, { "name", "Sample" }, { "startingUrl", page }, { "timeout", 30 } })
                    .ok());
    const QString defaultsFile = home.filePath(QStringLiteral(".config/Crawlmere/defaults.plist"));
    const auto sites = [&defaultsFile] {
        return PropertyList::readFile(defaultsFile).value().toMap().value(QStringLiteral("websites")).toList();
    };
    // The list's entries of the file's site, and how many entries the list has in all.
    const auto entries = [&sites](qsizetype* total) {
        QVariantList found;
        for (const QVariant& site : sites()) {
            if (site.toMap().value("id") == "20260101-1200001")
                found.append(site);
        }
        *total = sites().size();
        return found;
    };
    qsizetype total = 0;

    const ProgramRun first = runProgram(
        { QStringLiteral("--headless"), QStringLiteral("--set"), QStringLiteral("timeout=5"), settingsFile }, QString(),
        home.path());
    ASSERT_EQ(first.status, 0) << qPrintable(first.err);
    const QVariantList added = entries(&total);
    ASSERT_EQ(added.size(), 1);
    const qsizetype totalAfterFirst = total;
    const QVariantMap stored = added.first().toMap();
    EXPECT_TRUE(stored.value("dateStamp").toDateTime().isValid());
    EXPECT_EQ(stored.value("timeout").toInt(), 30); // --set changed only the scan's copy
    EXPECT_EQ(PropertyList::readFile(defaultsFile).value().toMap().value("id").toString(), "20260101-1200001");

    const ProgramRun second = runProgram({ QStringLiteral("--headless"), settingsFile }, QString(), home.path());
    ASSERT_EQ(second.status, 0) << qPrintable(second.err);
    const QVariantList selected = entries(&total);
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(total, totalAfterFirst);
    EXPECT_GE(selected.first().toMap().value("dateStamp").toDateTime(), stored.value("dateStamp").toDateTime());
}

TEST(HeadlessProgram, AStartPageThatIsNoRegularFileOrTooLargeIsRefusedUnread)
{
    if (!QFileInfo::exists(programPath()))
        GTEST_SKIP() << "the crawlmere program is not built beside the tests";
    QTemporaryDir home;
    const QString fifo = home.filePath(QStringLiteral("pipe.html"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString large = home.filePath(QStringLiteral("large.html"));
    {
        QFile file(large);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(qint64(65) * 1024 * 1024)); // sparse, past the 64 MB body cap
    }
    const QString zeroSettings = home.filePath(QStringLiteral("zero.lcsettings"));
    ASSERT_TRUE(crawlmere::platform::PropertyList::writeXmlFile(zeroSettings,
        QVariantMap { { "id", "20260101-1200009" }, { "name", "Zero" }, { "startingUrl", "file:///dev/zero" } })
                    .ok());
    const struct {
        QString target;
        const char* said;
    } cases[] = {
        { QStringLiteral("/dev/zero"),
            "The file is not a regular file (a device, a FIFO or a socket); it is not read." },
        { fifo, "The file is not a regular file (a device, a FIFO or a socket); it is not read." },
        { large, "The file is larger than 67108864 bytes; it is not read." },
        { zeroSettings, "The file is not a regular file (a device, a FIFO or a socket); it is not read." },
    };
    for (const auto& c : cases) {
        const ProgramRun run = runProgram({ QStringLiteral("--headless"), c.target }, QString(), home.path());
        EXPECT_EQ(run.status, 1) << qPrintable(c.target) << qPrintable(run.err);
        EXPECT_TRUE(run.err.contains(QString::fromLatin1(c.said))) << qPrintable(run.err);
        EXPECT_TRUE(run.err.contains(QStringLiteral("could not start"))) << qPrintable(run.err);
    }
}

TEST(HeadlessProgram, ADefaultsStoreThatIsAFifoOrAFolderStopsTheProgramAtOnceAndStaysWhereItIs)
{
    if (!QFileInfo::exists(programPath()))
        GTEST_SKIP() << "the crawlmere program is not built beside the tests";
    const QString page
        = QFileInfo(QStringLiteral(CRAWLMERE_FIXTURES "/../../examples/sample-site/index.html")).absoluteFilePath();
    for (const bool fifo : { true, false }) {
        QTemporaryDir home;
        const QString config = home.filePath(QStringLiteral(".config/Crawlmere"));
        ASSERT_TRUE(QDir().mkpath(config));
        const QString store = config + QStringLiteral("/defaults.plist");
        const QByteArray encoded = QFile::encodeName(store);
        ASSERT_EQ(fifo ? ::mkfifo(encoded.constData(), 0600) : ::mkdir(encoded.constData(), 0700), 0);
        const ProgramRun run = runProgram({ QStringLiteral("--headless"), page }, QString(), home.path());
        EXPECT_EQ(run.status, 1) << qPrintable(run.err);
        EXPECT_TRUE(run.err.contains(QStringLiteral("cannot be read (%1: it is %2, not a regular file)")
                                         .arg(store, QLatin1String(fifo ? "a FIFO (named pipe)" : "a folder"))))
            << qPrintable(run.err);
        struct stat status { };
        ASSERT_EQ(::lstat(encoded.constData(), &status), 0);
        EXPECT_TRUE(fifo ? S_ISFIFO(status.st_mode) : S_ISDIR(status.st_mode));
        EXPECT_EQ(QDir(config).entryList({ "*.corrupt-*" }, QDir::AllEntries | QDir::System), QStringList());
    }
}

TEST(HeadlessProgram, ASettingsFileOfWrongTypesOrOverTheCapStoresNothing)
{
    if (!QFileInfo::exists(programPath()))
        GTEST_SKIP() << "the crawlmere program is not built beside the tests";
    using crawlmere::platform::PropertyList;
    QTemporaryDir home;
    const QString hostile = home.filePath(QStringLiteral("hostile.lcsettings"));
    ASSERT_TRUE(PropertyList::writeXmlFile(hostile,
        QVariantMap { { "id", 12345 }, { "name", QVariantList { "a" } },
            { "startingUrl", QVariantMap { { "u", "https://x.example/" } } } })
                    .ok());
    const QString huge = home.filePath(QStringLiteral("huge.lcsettings"));
    {
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(qint64(16) * 1024 * 1024 + 1));
    }
    const QString garbage = home.filePath(QStringLiteral("garbage.lcsettings"));
    {
        QFile file(garbage);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("\x13\x37 random bytes \xfe\xff");
    }
    const QString defaultsFile = home.filePath(QStringLiteral(".config/Crawlmere/defaults.plist"));
    const auto websites = [&defaultsFile] {
        return PropertyList::readFile(defaultsFile)
            .valueOr(QVariant())
            .toMap()
            .value(QStringLiteral("websites"))
            .toList();
    };
    const qsizetype before = websites().size();

    const struct {
        QString file;
        const char* said;
    } cases[] = {
        { hostile, "holds no starting URL; nothing was imported" },
        { huge, "could not be read: it is larger than 16 MB; it is not read" },
        { garbage, "could not be read: the data is not a property list" },
    };
    for (const auto& c : cases) {
        const ProgramRun run = runProgram({ QStringLiteral("--headless"), c.file }, QString(), home.path());
        EXPECT_EQ(run.status, 1) << qPrintable(c.file) << qPrintable(run.err);
        EXPECT_TRUE(run.err.contains(QString::fromLatin1(c.said))) << qPrintable(run.err);
        EXPECT_FALSE(run.err.contains(QStringLiteral("appears to be empty"))) << qPrintable(run.err);
        EXPECT_EQ(websites().size(), before) << qPrintable(c.file);
    }
    const ProgramRun hostileRun = runProgram({ QStringLiteral("--headless"), hostile }, QString(), home.path());
    for (const char* key : { "\"id\"", "\"name\"", "\"startingUrl\"" })
        EXPECT_TRUE(hostileRun.err.contains(QString::fromLatin1(key))) << key << qPrintable(hostileRun.err);
}

TEST(HeadlessProgram, ABinaryListThatExpandsPastTheBoundIsRefusedAsSettingsBatchOrDefaults)
{
    if (!QFileInfo::exists(programPath()))
        GTEST_SKIP() << "the crawlmere program is not built beside the tests";
    // 506 bytes standing for 2^41 values.
    const QByteArray chain = crawlmere::test::sharedArrayChain(40, 178);
    const QString refused = QStringLiteral("the property list expands to more than 8388608 values");
    QTemporaryDir home;
    const auto plant = [&](const QString& path) {
        QFile file(path);
        return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) && file.write(chain) == 506;
    };
    for (const char* kind : { "lcsettings", "lcsbatch" }) {
        const QString file = home.filePath(QStringLiteral("chain.") + QLatin1String(kind));
        ASSERT_TRUE(plant(file));
        const ProgramRun run = runProgram({ QStringLiteral("--headless"), file }, QString(), home.path());
        EXPECT_EQ(run.status, 1) << kind << qPrintable(run.err);
        EXPECT_TRUE(run.err.contains(QStringLiteral("%1 file %2 could not be read: %3").arg(kind, file, refused)))
            << qPrintable(run.err);
    }

    // As the defaults: kept aside, and the scan goes on with empty defaults.
    const QString store = home.filePath(QStringLiteral(".config/Crawlmere/defaults.plist"));
    ASSERT_TRUE(plant(store));
    const QString page
        = QFileInfo(QStringLiteral(CRAWLMERE_FIXTURES "/../../examples/sample-site/index.html")).absoluteFilePath();
    const ProgramRun run = runProgram({ QStringLiteral("--headless"), page }, QString(), home.path());
    EXPECT_EQ(run.status, 0) << qPrintable(run.err);
    EXPECT_TRUE(run.err.contains(QStringLiteral("defaults: %1: %2; kept it as").arg(store, refused)))
        << qPrintable(run.err);
    const QStringList aside = QDir(QFileInfo(store).path()).entryList({ "defaults.plist.corrupt-*" }, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    QFile kept(QFileInfo(store).dir().filePath(aside.first()));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), chain);
}

TEST(HeadlessProgram, AnEndlessTimeOutIsReadAsALongOneAndAnEndlessDelayOrTimeOutIsRefusedByHand)
{
    if (!QFileInfo::exists(programPath()))
        GTEST_SKIP() << "the crawlmere program is not built beside the tests";
    crawlmere::test::LoopbackServer server;
    server.server().Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(
            "<html><body><a href=\"/a.html\">a</a> <a href=\"/b.html\">b</a></body></html>", "text/html");
    });
    server.server().Get(R"(/\w\.html)", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html><body>page</body></html>", "text/html");
    });
    ASSERT_TRUE(server.start());
    QTemporaryDir home;
    // A stored endless time-out is read as the longest one; given by hand, it is refused.
    int n = 0;
    for (const QVariant& value : { QVariant(1e300), QVariant(QStringLiteral("inf")) }) {
        const QString file = home.filePath(QStringLiteral("endless%1.lcsettings").arg(++n));
        ASSERT_TRUE(crawlmere::platform::PropertyList::writeXmlFile(file,
            QVariantMap {
                { "id", QStringLiteral("endless-%1").arg(n) }, { "startingUrl", server.url() }, { "timeout", value } })
                        .ok());
        const ProgramRun run = runProgram({ QStringLiteral("--headless"), file }, QString(), home.path());
        EXPECT_EQ(run.status, 0) << n << qPrintable(run.err);
        EXPECT_TRUE(run.out.contains(QStringLiteral("\nURLs checked: 3\n"))) << n << qPrintable(run.out);
        EXPECT_TRUE(run.out.contains(QStringLiteral("\nBad links: 0\n"))) << n << qPrintable(run.out);
    }
    for (const char* given : { "timeout=inf", "timeout=1e300", "delay=inf", "delay=1e300" }) {
        const ProgramRun run = runProgram(
            { QStringLiteral("--headless"), QStringLiteral("--set"), QString::fromLatin1(given), server.url() },
            QString(), home.path());
        EXPECT_EQ(run.status, 2) << given << qPrintable(run.err);
        EXPECT_TRUE(
            run.err.contains(QStringLiteral(" (seconds), got \"%1\"").arg(QString::fromLatin1(given).section('=', 1))))
            << given << qPrintable(run.err);
        EXPECT_FALSE(run.out.contains(QStringLiteral("URLs checked"))) << given;
    }
}

namespace {

/// The ids in the site list of the defaults file under `home`, each with its count.
QMap<QString, int> storedSiteIds(const QString& home)
{
    QMap<QString, int> ids;
    const QString defaultsFile = home + QStringLiteral("/.config/Crawlmere/defaults.plist");
    for (const QVariant& site : crawlmere::platform::PropertyList::readFile(defaultsFile)
                                    .value()
                                    .toMap()
                                    .value(QStringLiteral("websites"))
                                    .toList())
        ++ids[site.toMap().value(QStringLiteral("id")).toString()];
    return ids;
}

/// The names in the site list of the defaults file under `home`, each with its count.
QMap<QString, int> storedSiteNames(const QString& home)
{
    QMap<QString, int> names;
    const QString defaultsFile = home + QStringLiteral("/.config/Crawlmere/defaults.plist");
    for (const QVariant& site : crawlmere::platform::PropertyList::readFile(defaultsFile)
                                    .value()
                                    .toMap()
                                    .value(QStringLiteral("websites"))
                                    .toList())
        ++names[site.toMap().value(QStringLiteral("name")).toString()];
    return names;
}

/// A settings file for a site of its own id (named after it) scanning `url`; with
/// `withoutId`, the file names the site but gives it no id.
QString writeSiteFile(const QTemporaryDir& home, const QString& id, const QString& url, bool withoutId = false)
{
    const QString path = home.filePath(id + QStringLiteral(".lcsettings"));
    QVariantMap site { { "id", id }, { "name", id }, { "startingUrl", url } };
    if (withoutId)
        site.remove(QStringLiteral("id"));
    return crawlmere::platform::PropertyList::writeXmlFile(path, site).ok() ? path : QString();
}

} // namespace

TEST(HeadlessProgram, ImportsStartedTogetherKeepEverySite)
{
    if (!QFileInfo::exists(programPath()))
        GTEST_SKIP() << "the crawlmere program is not built beside the tests";
    const QString page
        = QFileInfo(QStringLiteral(CRAWLMERE_FIXTURES "/../../examples/sample-site/index.html")).absoluteFilePath();
    // Files without an id too: each program makes one, and no two programs make the same.
    for (const bool withoutIds : { false, true }) {
        for (const int programs : { 2, 10 }) {
            QTemporaryDir home;
            std::vector<std::unique_ptr<QProcess>> runs;
            QStringList ids;
            for (int i = 0; i < programs; ++i) {
                ids << QStringLiteral("20260101-12000%1").arg(i);
                runs.push_back(std::make_unique<QProcess>());
                startProgram(*runs.back(),
                    { QStringLiteral("--headless"), writeSiteFile(home, ids.back(), page, withoutIds) }, QString(),
                    home.path());
            }
            for (auto& run : runs) {
                const ProgramRun finished = finishedRun(*run);
                EXPECT_EQ(finished.status, 0) << qPrintable(finished.err);
            }
            const QMap<QString, int> stored = withoutIds ? storedSiteNames(home.path()) : storedSiteIds(home.path());
            for (const QString& id : std::as_const(ids))
                EXPECT_EQ(stored.value(id), 1)
                    << programs << " programs, site " << qPrintable(id) << (withoutIds ? " (no id)" : "");
        }
    }
}

TEST(HeadlessProgram, BatchImportsStartedTogetherEachSayWhatTheyAdded)
{
    if (!QFileInfo::exists(programPath()))
        GTEST_SKIP() << "the crawlmere program is not built beside the tests";
    QTemporaryDir home;
    QVariantList sites;
    for (int i = 0; i < 3; ++i)
        sites.append(QVariantMap { { "id", QStringLiteral("20260101-13000%1").arg(i) }, { "name", i },
            { "startingUrl", QStringLiteral("http://127.0.0.1:9/%1").arg(i) } });
    sites.append(QVariantMap { { "id", QStringLiteral("20260101-130009") }, { "name", QStringLiteral("no url") } });
    const QString batch = home.filePath(QStringLiteral("sites.lcsbatch"));
    ASSERT_TRUE(crawlmere::platform::PropertyList::writeXmlFile(batch, sites).ok());
    std::vector<std::unique_ptr<QProcess>> runs;
    for (int i = 0; i < 10; ++i) {
        runs.push_back(std::make_unique<QProcess>());
        startProgram(*runs.back(), { QStringLiteral("--headless"), batch }, QString(), home.path());
    }
    int added = 0;
    static const QRegularExpression said(QStringLiteral("Sites added to the site list: (\\d+) of 4"));
    for (auto& run : runs) {
        const ProgramRun finished = finishedRun(*run);
        EXPECT_EQ(finished.status, 0) << qPrintable(finished.err);
        const QRegularExpressionMatch match = said.match(finished.out);
        EXPECT_TRUE(match.hasMatch()) << qPrintable(finished.out);
        added += match.captured(1).toInt();
    }
    EXPECT_EQ(added, 3);
    const QMap<QString, int> stored = storedSiteIds(home.path());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(stored.value(QStringLiteral("20260101-13000%1").arg(i)), 1);
}

TEST(HeadlessProgram, AScanFinishingWhileAnotherProgramImportsKeepsBothSites)
{
    if (!QFileInfo::exists(programPath()))
        GTEST_SKIP() << "the crawlmere program is not built beside the tests";
    // The scan's page is held until the import has finished.
    std::atomic<bool> hit { false };
    std::atomic<bool> release { false };
    crawlmere::test::LoopbackServer server;
    server.server().Get("/", [&](const httplib::Request&, httplib::Response& response) {
        hit = true;
        for (int i = 0; i < 300 && !release; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        response.set_content("<html><head><title>t</title></head><body>x</body></html>", "text/html");
    });
    ASSERT_TRUE(server.start());
    QTemporaryDir home;
    const QString page
        = QFileInfo(QStringLiteral(CRAWLMERE_FIXTURES "/../../examples/sample-site/index.html")).absoluteFilePath();

    QProcess scan;
    startProgram(scan,
        { QStringLiteral("--headless"), writeSiteFile(home, QStringLiteral("20260101-1300001"), server.url()) },
        QString(), home.path());
    QDeadlineTimer deadline(30000);
    while (!hit && !deadline.hasExpired())
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(hit);
    const ProgramRun import
        = runProgram({ QStringLiteral("--headless"), writeSiteFile(home, QStringLiteral("20260101-1300002"), page) },
            QString(), home.path());
    EXPECT_EQ(import.status, 0) << qPrintable(import.err);
    EXPECT_EQ(storedSiteIds(home.path()).value(QStringLiteral("20260101-1300002")), 1);
    release = true;
    const ProgramRun scanned = finishedRun(scan);
    EXPECT_EQ(scanned.status, 0) << qPrintable(scanned.err);

    const QMap<QString, int> stored = storedSiteIds(home.path());
    EXPECT_EQ(stored.value(QStringLiteral("20260101-1300001")), 1);
    EXPECT_EQ(stored.value(QStringLiteral("20260101-1300002")), 1);
    // The scan's own change (its status line) reached the file too.
    for (const QVariant& site :
        crawlmere::platform::PropertyList::readFile(home.filePath(".config/Crawlmere/defaults.plist"))
            .value()
            .toMap()
            .value(QStringLiteral("websites"))
            .toList()) {
        if (site.toMap().value("id") == "20260101-1300001") {
            EXPECT_FALSE(site.toMap().value(QStringLiteral("status")).toString().isEmpty());
        }
    }
}

TEST(HeadlessProgram, AnExportOverADeviceAFifoOrAFolderIsRefusedAndLeftAlone)
{
    if (!QFileInfo::exists(programPath()))
        GTEST_SKIP() << "the crawlmere program is not built beside the tests";
    const QString page
        = QFileInfo(QStringLiteral(CRAWLMERE_FIXTURES "/../../examples/sample-site/index.html")).absoluteFilePath();
    QTemporaryDir home;
    const struct {
        const char* name;
        const char* kind;
        std::function<int(const QByteArray&)> make;
    } targets[] = {
        { "device", "a character device",
            [](const QByteArray& path) { return ::mknod(path.constData(), S_IFCHR | 0666, makedev(1, 3)); } },
        { "fifo", "a FIFO (named pipe)", [](const QByteArray& path) { return ::mkfifo(path.constData(), 0600); } },
        { "folder", "a folder", [](const QByteArray& path) { return ::mkdir(path.constData(), 0700); } },
    };
    const QStringList exports[] = { { "--csv" }, { "--view", "1", "--html" }, { "--sitemap" } };
    for (const auto& target : targets) {
        const QString path = home.filePath(QString::fromLatin1(target.name));
        if (target.make(QFile::encodeName(path)) != 0) {
            std::cout << "[  SKIPPED ] " << target.name << ": cannot be made here (" << std::strerror(errno) << ")\n";
            continue;
        }
        struct stat before { };
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &before), 0);
        for (const QStringList& option : exports) {
            const ProgramRun run
                = runProgram(QStringList { QStringLiteral("--headless") } + option + QStringList { path, page },
                    QString(), home.path());
            EXPECT_EQ(run.status, 1) << target.name << " " << qPrintable(option.join(' '));
            EXPECT_TRUE(run.err.contains(
                QStringLiteral("cannot write %1: it is %2, not a regular file").arg(path, QLatin1String(target.kind))))
                << qPrintable(run.err);
            struct stat after { };
            ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &after), 0);
            EXPECT_EQ(after.st_mode, before.st_mode);
            EXPECT_EQ(after.st_rdev, before.st_rdev);
            EXPECT_EQ(after.st_ino, before.st_ino);
        }
    }
}

TEST(HeadlessProgram, AnExportThroughAnotherUsersLinkInASharedFolderIsRefusedAndLeftAlone)
{
    using crawlmere::test::SharedFolder;
    if (!QFileInfo::exists(programPath()))
        GTEST_SKIP() << "the crawlmere program is not built beside the tests";
    if (const QString why = SharedFolder::whyNotRunnable(); !why.isNull())
        GTEST_SKIP() << qPrintable(why);
    const QString page
        = QFileInfo(QStringLiteral(CRAWLMERE_FIXTURES "/../../examples/sample-site/index.html")).absoluteFilePath();
    QTemporaryDir home;
    const SharedFolder folder;
    ASSERT_TRUE(folder.isValid());
    const QString secret = folder.privateFolder(QStringLiteral("secret.txt"));
    ASSERT_TRUE(crawlmere::platform::saveBytesAtomically(secret, "root's own"));
    const struct {
        QStringList options;
        const char* link;
        QString target; ///< root's file, or a file in root's folder that is not there
        const char* below = ""; ///< what the export names after the link
    } cases[] = {
        { { "--csv" }, "report.csv", secret },
        { { "--sitemap" }, "sitemap.xml", secret },
        { { "--view", "1", "--html" }, "x.html", folder.privateFolder(QStringLiteral("x.html")) },
        { { "--csv" }, "new.csv", folder.privateFolder(QStringLiteral("new.csv")) },
        // The kernel takes ".." from where the link leads: root's secret.txt, not the shared folder's.
        { { "--csv" }, "up", folder.privateFolder(QStringLiteral("sub")), "/../secret.txt" },
        { { "--sitemap" }, "up2", folder.privateFolder(QStringLiteral("sub")), "/../secret.txt" },
        { { "--view", "1", "--html" }, "up3", folder.privateFolder(QStringLiteral("sub")), "/../secret.txt" },
    };
    ASSERT_TRUE(QDir(folder.privateFolder()).mkdir(QStringLiteral("sub")));
    for (const auto& c : cases) {
        const QString link = folder.shared(QLatin1String(c.link));
        const QString target = link + QLatin1String(c.below);
        SCOPED_TRACE(qPrintable(c.options.join(' ') + u' ' + target));
        ASSERT_TRUE(folder.plantLink(c.target, QLatin1String(c.link)));
        const ProgramRun run = runProgram(
            QStringList { QStringLiteral("--headless") } + c.options + QStringList { target, page }, QString(), home.path());
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.err.contains(QStringLiteral("cannot write %1: it is reached through %2, a link another user "
                                                    "made in the shared folder %3")
                                         .arg(target, link, folder.shared())))
            << qPrintable(run.err);
        EXPECT_TRUE(QFileInfo(link).isSymLink());
    }
    QFile kept(secret);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("root's own"));
    EXPECT_EQ(QDir(folder.privateFolder()).entryList(QDir::Files), QStringList { "secret.txt" });
}

TEST(HeadlessProgram, AnExportOnAFullDiskSaysSoAndKeepsTheOldFile)
{
    if (!QFileInfo::exists(programPath()))
        GTEST_SKIP() << "the crawlmere program is not built beside the tests";
    const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
    if (::geteuid() != 0 || unshare.isEmpty())
        GTEST_SKIP() << "a full disk is made as root, in a mount namespace of its own (unshare)";
    const QString page
        = QFileInfo(QStringLiteral(CRAWLMERE_FIXTURES "/../../examples/sample-site/index.html")).absoluteFilePath();
    for (const QString& option : { QStringLiteral("--csv"), QStringLiteral("--sitemap") }) {
        SCOPED_TRACE(qPrintable(option));
        QTemporaryDir home;
        const QString disk = home.filePath(QStringLiteral("disk"));
        ASSERT_TRUE(QDir().mkpath(disk));
        // A 16 KB file system filled up, with an earlier export on it; gone with the namespace.
        const QString script
            = QStringLiteral("mount -t tmpfs -o size=16k tmpfs \"$1\" || exit 77; echo old > \"$1/out\"; "
                             "dd if=/dev/zero of=\"$1/fill\" bs=1k 2>/dev/null; "
                             "\"$2\" --headless \"$4\" \"$1/out\" \"$3\"; status=$?; "
                             "cat \"$1/out\"; exit $status");
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("CRAWLMERE_HOME"), home.path());
        process.setProcessEnvironment(environment);
        process.start(unshare,
            { QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"), script, QStringLiteral("sh"), disk,
                programPath(), page, option });
        const ProgramRun run = finishedRun(process);
        if (run.status == 77 || run.err.contains(QStringLiteral("unshare failed")))
            GTEST_SKIP() << "mounting is not allowed here: " << qPrintable(run.err);
        EXPECT_TRUE(run.err.contains(
            QStringLiteral("cannot write %1/out: %2").arg(disk, QString::fromLocal8Bit(std::strerror(ENOSPC)))))
            << qPrintable(run.err);
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.out.endsWith(QStringLiteral("\nold\n"))) << qPrintable(run.out);
    }
}

TEST(HeadlessProgram, WithoutARuntimeFolderOnlyAPrivateOneIsUsedAndNothingPlantedIsChanged)
{
    if (!QFileInfo::exists(programPath()))
        GTEST_SKIP() << "the crawlmere program is not built beside the tests";
    if (::geteuid() != 0)
        GTEST_SKIP() << "planting another user's entries in a shared folder needs root";
    const passwd* user = ::getpwuid(::geteuid());
    ASSERT_NE(user, nullptr);
    const QString own = QStringLiteral("runtime-") + QString::fromLocal8Bit(user->pw_name);
    enum class Planted { Nothing, LinkToAFolder, OthersFolder, OwnOpenFolder };
    for (const Planted planted : { Planted::Nothing, Planted::LinkToAFolder, Planted::OthersFolder, Planted::OwnOpenFolder }) {
        SCOPED_TRACE(int(planted));
        QTemporaryDir base;
        // A sticky folder everyone can write to, as the temporary folder is.
        const QString shared = base.filePath(QStringLiteral("tmp"));
        ASSERT_EQ(::mkdir(QFile::encodeName(shared).constData(), 0755), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
        const QByteArray target = QFile::encodeName(base.filePath(QStringLiteral("system")));
        ASSERT_EQ(::mkdir(target.constData(), 0755), 0);
        const QByteArray named = QFile::encodeName(shared + QLatin1Char('/') + own);
        switch (planted) {
        case Planted::Nothing:
            break;
        case Planted::LinkToAFolder:
            ASSERT_EQ(::symlink(target.constData(), named.constData()), 0);
            ASSERT_EQ(::lchown(named.constData(), 42001, 42001), 0);
            break;
        case Planted::OthersFolder:
        case Planted::OwnOpenFolder:
            ASSERT_EQ(::mkdir(named.constData(), 0755), 0);
            ASSERT_EQ(::chmod(named.constData(), 0755), 0);
            if (planted == Planted::OthersFolder) {
                ASSERT_EQ(::chown(named.constData(), 42001, 42001), 0);
            }
            break;
        }
        struct stat plantedBefore { };
        ::lstat(named.constData(), &plantedBefore);

        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("CRAWLMERE_HOME"), base.filePath(QStringLiteral("home")));
        environment.insert(QStringLiteral("TMPDIR"), shared);
        for (const char* name : { "XDG_RUNTIME_DIR", "DISPLAY", "WAYLAND_DISPLAY" })
            environment.remove(QString::fromLatin1(name));
        process.setProcessEnvironment(environment);
        process.start(programPath(), { QStringLiteral("--version") });
        const ProgramRun run = finishedRun(process);
        EXPECT_EQ(run.status, 0) << qPrintable(run.err);

        struct stat status { };
        ASSERT_EQ(::lstat(target.constData(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0755u);
        // Whatever was planted is as it was; the program made a folder of its own, 0700.
        QStringList made;
        for (const QString& name : QDir(shared).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
            const QByteArray path = QFile::encodeName(shared + QLatin1Char('/') + name);
            ASSERT_EQ(::lstat(path.constData(), &status), 0);
            if (planted != Planted::Nothing && path == named) {
                EXPECT_EQ(status.st_mode, plantedBefore.st_mode);
                EXPECT_EQ(status.st_uid, plantedBefore.st_uid);
                continue;
            }
            made.append(name);
            EXPECT_TRUE(S_ISDIR(status.st_mode)) << qPrintable(name);
            EXPECT_EQ(status.st_mode & 07777, 0700u) << qPrintable(name);
            EXPECT_EQ(status.st_uid, ::geteuid()) << qPrintable(name);
        }
        // The usual name is kept for the next start; a fresh folder went when the program ended.
        EXPECT_EQ(made, planted == Planted::Nothing ? QStringList { own } : QStringList()) << qPrintable(made.join(u' '));
    }
}

namespace {

class AnsweringPrompts final : public ShellPrompts {
public:
    int runModalAlert(const ShellAlert&) override { return 0; }
    void beep() override { }
};

} // namespace

TEST(HeadlessProgram, ASiteImportedWhileTheWindowIsOpenOutlivesItsQuit)
{
    if (!QFileInfo::exists(programPath()))
        GTEST_SKIP() << "the crawlmere program is not built beside the tests";
    QTemporaryDir home;
    const QString page
        = QFileInfo(QStringLiteral(CRAWLMERE_FIXTURES "/../../examples/sample-site/index.html")).absoluteFilePath();
    crawlmere::platform::UserDefaults store(home.filePath(QStringLiteral(".config/Crawlmere/defaults.plist")));
    crawlmere::app::MainInterface shell(store, std::make_shared<AnsweringPrompts>());
    shell.launch();
    shell.configManager()->newConfigWithURL(QStringLiteral("https://window.invalid/"));
    ASSERT_TRUE(store.synchronize());

    const ProgramRun import
        = runProgram({ QStringLiteral("--headless"), writeSiteFile(home, QStringLiteral("20260101-1400001"), page) },
            QString(), home.path());
    ASSERT_EQ(import.status, 0) << qPrintable(import.err);
    // The window edits its own site and quits.
    shell.configManager()->newConfigWithURL(QStringLiteral("https://second.invalid/"));
    shell.terminate();
    store.synchronize();

    QStringList urls;
    for (const QVariant& site : crawlmere::platform::PropertyList::readFile(store.filePath())
                                    .value()
                                    .toMap()
                                    .value(QStringLiteral("websites"))
                                    .toList())
        urls << site.toMap().value(QStringLiteral("startingUrl")).toString();
    EXPECT_TRUE(urls.contains(QStringLiteral("https://window.invalid/"))) << qPrintable(urls.join(' '));
    EXPECT_TRUE(urls.contains(QStringLiteral("https://second.invalid/"))) << qPrintable(urls.join(' '));
    EXPECT_EQ(storedSiteIds(home.path()).value(QStringLiteral("20260101-1400001")), 1) << qPrintable(urls.join(' '));
}

TEST(HeadlessProgram, DefaultWithAnyKeyOfTheSiteListLeavesTheDefaultsFileByteForByte)
{
    if (!QFileInfo::exists(programPath()))
        GTEST_SKIP() << "the crawlmere program is not built beside the tests";
    using crawlmere::platform::PropertyList;
    using crawlmere::settings::ConfigManager;
    QTemporaryDir home;
    const QString page
        = QFileInfo(QStringLiteral(CRAWLMERE_FIXTURES "/../../examples/sample-site/index.html")).absoluteFilePath();
    const QString site = writeSiteFile(home, QStringLiteral("20260101-1200001"), page);
    const QString batch = home.filePath(QStringLiteral("sites.lcsbatch"));
    ASSERT_TRUE(PropertyList::writeXmlFile(batch,
        QVariantList { QVariantMap { { "id", "20260101-1200001" }, { "name", "One" }, { "startingUrl", page } },
            QVariantMap { { "id", "20260101-1200002" }, { "name", "Two" }, { "startingUrl", page } } })
                    .ok());
    const QString defaultsFile = home.filePath(QStringLiteral(".config/Crawlmere/defaults.plist"));
    {
        // The list as the window leaves it: its sites, a folder, an order and a selection.
        crawlmere::platform::UserDefaults store(defaultsFile);
        ConfigManager sites(store);
        sites.applicationHasFinishedLaunching();
        ASSERT_EQ(sites.openLcsbatchFile(batch), 2);
        sites.createNewFolder(QStringLiteral("Clients"));
        int row = 0;
        while (row < 4 && !sites.settingsForDataSourceRow(row))
            ++row;
        sites.moveSelectedToFolder(row, QStringLiteral("Clients"));
        sites.setSortingByName();
        sites.applicationWillTerminate();
        ASSERT_TRUE(store.synchronize());
    }
    // A first run stores what every launch stores; from then on the file is what is compared.
    ASSERT_EQ(runProgram({ QStringLiteral("--headless"), batch }, QString(), home.path()).status, 0);
    const auto bytes = [&defaultsFile] {
        QFile file(defaultsFile);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray before = bytes();
    const QVariantMap stored = PropertyList::readFile(defaultsFile).value().toMap();
    ASSERT_GE(stored.value(QStringLiteral("websites")).toList().size(), 2);
    // Every key the list wrote is one of its own, or an application default a user may set.
    const QVariantMap registered = crawlmere::app::applicationDefaults();
    for (auto it = stored.cbegin(); it != stored.cend(); ++it)
        EXPECT_TRUE(ConfigManager::storeKeys().contains(it.key()) || registered.contains(it.key())
            || it.key() == u"badLinksOnly")
            << qPrintable(it.key());

    for (const QString& key : ConfigManager::storeKeys()) {
        for (const QString& target : { site, batch }) {
            const ProgramRun run = runProgram(
                { QStringLiteral("--headless"), QStringLiteral("--default"), key + QStringLiteral("=1"), target },
                QString(), home.path());
            EXPECT_EQ(run.status, 2) << qPrintable(key);
            EXPECT_TRUE(run.err.startsWith(QStringLiteral("crawlmere: --default %1: ").arg(key))) << qPrintable(run.err);
            EXPECT_EQ(bytes(), before) << qPrintable(key) << " " << qPrintable(target);
        }
    }
}
