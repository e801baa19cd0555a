// The built program from its command line: the display it runs without, its exit statuses, and
// the settings files, start pages and stores it refuses.
#include "HeadlessProgramTestSupport.h"
#include "engine/CrawlSettingKeys.h"

using namespace crawlmere::test::program;

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

    QTemporaryDir folder;
    const QString csv = folder.filePath(QStringLiteral("a.csv"));
    const ProgramRun oneFile
        = runProgram({ QStringLiteral("--headless"), QStringLiteral("--csv"), csv, QStringLiteral("--sitemap"),
                         folder.path() + QStringLiteral("/./a.csv"), QStringLiteral("http://127.0.0.1:9/") },
            QString(), folder.path());
    EXPECT_EQ(oneFile.status, 2);
    EXPECT_TRUE(oneFile.err.startsWith(QStringLiteral("crawlmere: --csv and --sitemap name the same file (")))
        << qPrintable(oneFile.err);
    EXPECT_FALSE(QFileInfo::exists(csv));
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
        QVariantMap { { "id", "20260101-1200001" }, { "name", "Sample" }, { crawlKey::startingUrl, page },
            { crawlKey::timeout, 30 } })
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
    EXPECT_EQ(stored.value(crawlKey::timeout).toInt(), 30); // --set changed only the scan's copy
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
        QVariantMap { { "id", "20260101-1200009" }, { "name", "Zero" }, { crawlKey::startingUrl, "file:///dev/zero" } })
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
            { crawlKey::startingUrl, QVariantMap { { "u", "https://x.example/" } } } })
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
            QVariantMap { { "id", QStringLiteral("endless-%1").arg(n) }, { crawlKey::startingUrl, server.url() },
                { crawlKey::timeout, value } })
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
