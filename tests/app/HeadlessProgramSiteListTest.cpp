// The site list the built program keeps: imports started together, a scan finishing during an
// import, a site imported while the window is open, and defaults written back unchanged.
#include "HeadlessProgramTestSupport.h"
#include "engine/CrawlSettingKeys.h"

using namespace crawlmere::test::program;

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
            { crawlKey::startingUrl, QStringLiteral("http://127.0.0.1:9/%1").arg(i) } });
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
        urls << site.toMap().value(crawlKey::startingUrl).toString();
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
        QVariantList { QVariantMap { { "id", "20260101-1200001" }, { "name", "One" }, { crawlKey::startingUrl, page } },
            QVariantMap { { "id", "20260101-1200002" }, { "name", "Two" }, { crawlKey::startingUrl, page } } })
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
