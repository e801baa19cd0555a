// The scan without windows on a scripted loopback site: the CSV of every URL, settings files and
// site lists, start failures and usage errors, defaults for the run, Ctrl-C, and the application's
// values for what a site lacks.
#include "HeadlessScanTestSupport.h"
#include "engine/CrawlSettingKeys.h"

using namespace crawlmere::test::headless;


TEST_F(HeadlessScanTest, ScansTheScriptedSiteAndWritesEveryUrlFoundToTheCsv)
{
    // A page reached only through nofollow links is checked but not followed.
    const int status = run({ QStringLiteral("--headless"), QStringLiteral("--set"), QStringLiteral("timeout=2"),
        QStringLiteral("--set"), QStringLiteral("dontFollowNofollowLinks=YES"), QStringLiteral("--columns"),
        QStringLiteral("url,status,redir,linkpagetitle"), url(QStringLiteral("/")) });
    ASSERT_EQ(status, kExitFinished) << err.text().toStdString();

    const CsvTable csv = readCsv(csvPath());
    EXPECT_EQ(csv.header, QStringList({ "url", "status", "redir", "linkpagetitle" }));
    // Fragments fold into their page, "#top" is the page itself, mail and telephone links and the
    // image without a source are not URLs to check, and "../" and the base href resolve.
    const std::map<QString, std::pair<QString, QString>> expected {
        { "/", { "200 ok", "Home" } },
        { "/a.html", { "200 ok", "Page A" } },
        { "/b.html", { "200 ok", "Page B" } },
        { "/dir/c.html", { "200 ok", "Page C" } },
        { "/dir/d.html", { "200 ok", "Page D" } },
        // A redirect is only a redirect: its target is read as a page of its own, whose title
        // the redirect's row shows.
        { "/moved", { "200 ok < 301 moved permanently", "Target" } },
        { "/target.html", { "200 ok", "Target" } },
        { "/missing.html", { "404 not found", "" } },
        { "/q.html?x=1", { "200 ok", "Query 1" } },
        { "/q.html?x=2", { "200 ok", "Query 2" } },
        { "/logo.png", { "200 ok", "" } },
        { "/private/secret.html", { "200 ok", "Secret" } },
        { "/nf.html", { "200 ok", "" } }, // checked, not read: a page not followed gets no page facts
        { "/base/page.html", { "200 ok", "Base" } },
        { "/other/x.html", { "200 ok", "Other X" } },
        { "/latin.html", { "200 ok", QStringLiteral(u"Café “menu”") } },
        { "/slow.html", { "The request timed out.", "" } },
        { "/loop1", { "", "" } },
    };
    QStringList missing;
    for (const auto& [path, columns] : expected) {
        const auto row = csv.rows.find(url(path));
        if (row == csv.rows.end()) {
            missing.append(path);
            continue;
        }
        if (path == QLatin1String("/loop1"))
            continue; // checked below
        EXPECT_EQ(row->second.at("status"), columns.first) << qPrintable(path);
        EXPECT_EQ(row->second.at("linkpagetitle"), columns.second) << qPrintable(path);
    }
    EXPECT_TRUE(missing.isEmpty()) << qPrintable(missing.join(u' '));
    EXPECT_EQ(csv.rowCount, static_cast<int>(expected.size())) << qPrintable(out.text());
    EXPECT_EQ(csv.rows.size(), expected.size()); // every URL once

    EXPECT_EQ(csv.rows.at(url("/moved")).at("redir"), url("/target.html"));
    EXPECT_EQ(csv.rows.at(url("/a.html")).at("redir"), "");
    // The loop ends as a recurring redirect, never as a page.
    const auto& loop = csv.rows.at(url("/loop1"));
    EXPECT_TRUE(loop.at("status").startsWith(u"Recurring redirect")) << qPrintable(loop.at("status"));
    EXPECT_TRUE(loop.at("redir").startsWith(url("/loop"))) << qPrintable(loop.at("redir"));

    const QString summary = out.text();
    EXPECT_TRUE(summary.startsWith(QStringLiteral("Scan finished: ") + url("/") + u'\n')) << qPrintable(summary);
    EXPECT_EQ(summaryValue(summary, "URLs found"), QString::number(expected.size()));
    EXPECT_EQ(summaryValue(summary, "URLs checked"), QString::number(expected.size()));
    // The 404, the loop and the time-out.
    EXPECT_EQ(summaryValue(summary, "Bad links"), "3");
    EXPECT_EQ(summaryValue(summary, "CSV"), QStringLiteral("%1 (%2 rows)").arg(csvPath()).arg(expected.size()));
    // The progress ends on the counts of the summary (the time-out keeps the scan running past
    // the first progress lines).
    const QStringList progress = err.text().split(u'\n').filter(QStringLiteral(" in flight, "));
    ASSERT_FALSE(progress.isEmpty()) << qPrintable(err.text());
    EXPECT_EQ(progress.last(),
        QStringLiteral("%1 done, 0 in queue, 0 in flight, 3 bad links").arg(summaryValue(summary, "URLs checked")));
}

TEST_F(HeadlessScanTest, ALinkToAFragmentItsPageLacksIsABadLinkAndOneItHasIsNot)
{
    LoopbackServer anchors;
    serveHtml(anchors.server(), "/there.html", page(QStringLiteral("T"), QStringLiteral(R"(<a href="/b.html#there">b</a>)")));
    serveHtml(anchors.server(), "/nowhere.html", page(QStringLiteral("N"), QStringLiteral(R"(<a href="/b.html#nowhere">b</a>)")));
    serveHtml(anchors.server(), "/b.html", page(QStringLiteral("B"), QStringLiteral(R"(<h2 id="there">There</h2>)")));
    ASSERT_TRUE(startListening(anchors));
    for (const auto& [start, bad] : { std::pair { "/there.html", "0" }, std::pair { "/nowhere.html", "1" } }) {
        const qsizetype before = out.text().size();
        ASSERT_EQ(run({ QStringLiteral("--set"), QStringLiteral("shouldTrimHash=NO"), anchors.url(QLatin1String(start)) }),
            kExitFinished)
            << err.text().toStdString();
        // Both pages answer 200: the missing target alone makes the link bad.
        const QString summary = out.text().mid(before);
        EXPECT_EQ(summaryValue(summary, "URLs checked"), "2") << start;
        EXPECT_EQ(summaryValue(summary, "Bad links"), bad) << start;
    }
}

TEST_F(HeadlessScanTest, RobotsTxtKeepsDisallowedPagesUncheckedWhenAskedTo)
{
    const int status = run({ QStringLiteral("--set"), QStringLiteral("blacklistByRobotsTxt=YES"),
        QStringLiteral("--set"), QStringLiteral("timeout=2"), url(QStringLiteral("/")) });
    ASSERT_EQ(status, kExitFinished) << err.text().toStdString();
    const CsvTable csv = readCsv(csvPath());
    ASSERT_TRUE(csv.rows.count(url("/private/secret.html")));
    EXPECT_EQ(csv.rows.at(url("/private/secret.html")).at("status"), "Disallowed by robots.txt");
    // With robots.txt observed, nothing else changes.
    EXPECT_EQ(csv.rows.at(url("/a.html")).at("status"), "200 ok");
    EXPECT_EQ(csv.rows.at(url("/missing.html")).at("status"), "404 not found");
    // The default columns, each headed by its key.
    EXPECT_EQ(csv.header, HeadlessOptions::defaultColumns());
}

TEST_F(HeadlessScanTest, ASettingsFileGivesTheScanItsSiteAndSettings)
{
    const QString settingsFile = folder.filePath(QStringLiteral("site.lcsettings"));
    const QVariantMap site { { "id", "20260101-120000-1" }, { "name", "loopback" },
        { crawlKey::startingUrl, url("/dir/c.html") }, { crawlKey::checkImages, false } };
    ASSERT_TRUE(crawlmere::platform::PropertyList::writeXmlFile(settingsFile, site).ok());

    const int status = run({ settingsFile });
    ASSERT_EQ(status, kExitFinished) << err.text().toStdString();
    const CsvTable csv = readCsv(csvPath());
    // The scan starts at the site's starting URL and stays in its folder: A is checked, not followed.
    EXPECT_TRUE(csv.rows.count(url("/dir/c.html")));
    EXPECT_TRUE(csv.rows.count(url("/dir/d.html")));
    EXPECT_TRUE(csv.rows.count(url("/a.html")));
    EXPECT_FALSE(csv.rows.count(url("/b.html")));
    EXPECT_EQ(csv.rowCount, 3);

    // The stored site carries the status text of the finished scan, as the window writes it.
    crawlmere::settings::ConfigManager sites(crawlmere::platform::UserDefaults::standard());
    sites.applicationHasFinishedLaunching();
    const QString siteStatus = sites.currentSettings().value(QStringLiteral("status")).toString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Last checked: .+, 3 links checked on 2 pages, 0 bad$"))
                    .match(siteStatus)
                    .hasMatch())
        << qPrintable(siteStatus);
}

TEST_F(HeadlessScanTest, AStoredLevelsLimitOfZeroScansAsTheSettingsPaneShowsIt)
{
    // The pane shows the default limit for 0; the scan follows links as that limit allows.
    const QString settingsFile = folder.filePath(QStringLiteral("levels.lcsettings"));
    const QVariantMap site { { "id", "20260101-120000-9" }, { "name", "levels" },
        { crawlKey::startingUrl, url("/dir/c.html") }, { crawlKey::checkImages, false }, { crawlKey::levelsLimit, 0 } };
    ASSERT_TRUE(crawlmere::platform::PropertyList::writeXmlFile(settingsFile, site).ok());
    ASSERT_EQ(run({ settingsFile }), kExitFinished) << err.text().toStdString();
    EXPECT_EQ(readCsv(csvPath()).rowCount, 3);
}

TEST_F(HeadlessScanTest, ASiteStillNamedAsANewSiteTakesItsPageTitleAsTheWindowDoes)
{
    // The placeholder name gives way to the starting page's title; a name of the user's stays.
    const std::pair<QString, QString> cases[] = { { QStringLiteral("A new website"), QStringLiteral("Page C") },
        { QStringLiteral("loopback"), QStringLiteral("loopback") } };
    int n = 0;
    for (const auto& [name, expected] : cases) {
        // Ids no other test of the suite stores, so the program imports this site whatever ran before.
        const QString id = QStringLiteral("20260101-130000-%1").arg(++n);
        const QString settingsFile = folder.filePath(QStringLiteral("site%1.lcsettings").arg(n));
        const QVariantMap site { { "id", id }, { "name", name }, { crawlKey::startingUrl, url("/dir/c.html") },
            { crawlKey::checkImages, false } };
        ASSERT_TRUE(crawlmere::platform::PropertyList::writeXmlFile(settingsFile, site).ok());
        ASSERT_EQ(run({ settingsFile }), kExitFinished) << err.text().toStdString();

        crawlmere::settings::ConfigManager sites(crawlmere::platform::UserDefaults::standard());
        sites.applicationHasFinishedLaunching();
        const auto stored = sites.settingsForID(id);
        ASSERT_TRUE(stored.has_value()) << qPrintable(name);
        EXPECT_EQ(stored->value(QStringLiteral("name")).toString(), expected);
    }
}

TEST_F(HeadlessScanTest, RuleListsInTheOlderTextFormLeaveTheirUrlsOutAsTheListsDo)
{
    const std::pair<QString, QVariant> forms[] = {
        { "ignorelist", QStringLiteral("private, missing") },
        { crawlKey::ignoreArray, QVariantList { "private", "missing" } },
    };
    int n = 0;
    for (const auto& [key, terms] : forms) {
        SCOPED_TRACE(key.toStdString());
        const QString id = QStringLiteral("20260105-120000-%1").arg(++n);
        const QString settingsFile = folder.filePath(id + QStringLiteral(".lcsettings"));
        const QVariantMap site { { "id", id }, { "name", "rules" }, { crawlKey::startingUrl, url("/") },
            { crawlKey::timeout, 2 }, { key, terms } };
        ASSERT_TRUE(crawlmere::platform::PropertyList::writeXmlFile(settingsFile, site).ok());
        ASSERT_EQ(run({ settingsFile }), kExitFinished) << err.text().toStdString();
        const CsvTable csv = readCsv(csvPath());
        EXPECT_TRUE(csv.rows.count(url("/a.html")));
        EXPECT_FALSE(csv.rows.count(url("/private/secret.html")));
        EXPECT_FALSE(csv.rows.count(url("/missing.html")));

        // The stored site keeps the form it came in.
        crawlmere::settings::ConfigManager sites(crawlmere::platform::UserDefaults::standard());
        sites.applicationHasFinishedLaunching();
        EXPECT_EQ(sites.settingsForID(id)->value(key), terms);
    }
}

TEST_F(HeadlessScanTest, ASiteListFileJoinsTheSiteListAndNothingIsScanned)
{
    const QString list = folder.filePath(QStringLiteral("sites.lcsbatch"));
    ASSERT_TRUE(crawlmere::platform::PropertyList::writeXmlFile(list,
        QVariantList {
            QVariantMap { { "id", "20260106-1" }, { "name", "one" }, { crawlKey::startingUrl, url("/a.html") } },
            QVariantMap { { "id", "20260106-2" }, { "name", "two" }, { crawlKey::startingUrl, url("/b.html") } },
            QVariantMap { { "id", "20260106-3" }, { "name", "no start" } } })
                    .ok());
    for (const char* added : { "2", "0" }) {
        EXPECT_EQ(run({ QStringLiteral("--headless"), list }, /*withCsv=*/false), kExitFinished)
            << qPrintable(err.text());
        EXPECT_TRUE(out.text().endsWith(
            QStringLiteral("Sites added to the site list: %1 of 3 in %2; nothing was scanned.\n").arg(added, list)))
            << qPrintable(out.text());
    }
    EXPECT_FALSE(out.text().contains(QStringLiteral("Scan finished"))) << qPrintable(out.text());
    crawlmere::settings::ConfigManager sites(crawlmere::platform::UserDefaults::standard());
    sites.applicationHasFinishedLaunching();
    EXPECT_TRUE(sites.settingsForID(QStringLiteral("20260106-1")));
    EXPECT_TRUE(sites.settingsForID(QStringLiteral("20260106-2")));
    EXPECT_FALSE(sites.settingsForID(QStringLiteral("20260106-3")));

    const QString empty = folder.filePath(QStringLiteral("empty.lcsbatch"));
    ASSERT_TRUE(crawlmere::platform::PropertyList::writeXmlFile(empty, QVariantList()).ok());
    EXPECT_EQ(run({ empty }, /*withCsv=*/false), kExitFailed);
    EXPECT_TRUE(err.text().contains(QStringLiteral("lcsbatch file %1 appears to be empty").arg(empty)))
        << qPrintable(err.text());
}

TEST_F(HeadlessScanTest, StartFailuresExitWithOneAndSayWhy)
{
    const QString empty = folder.filePath(QStringLiteral("empty.lcsettings"));
    ASSERT_TRUE(crawlmere::platform::PropertyList::writeXmlFile(empty, QVariantMap()).ok());
    EXPECT_EQ(run({ empty }), kExitFailed);
    EXPECT_TRUE(err.text().contains(QStringLiteral("lcsettings file %1 appears to be empty").arg(empty)))
        << qPrintable(err.text());

    const QString noStart = folder.filePath(QStringLiteral("nostart.lcsettings"));
    ASSERT_TRUE(crawlmere::platform::PropertyList::writeXmlFile(noStart, QVariantMap { { "name", "x" } }).ok());
    EXPECT_EQ(run({ noStart }), kExitFailed);
    EXPECT_TRUE(err.text().contains(
        QStringLiteral("lcsettings file %1 holds no starting URL; nothing was imported").arg(noStart)))
        << qPrintable(err.text());
    EXPECT_TRUE(out.text().isEmpty()) << qPrintable(out.text()); // no summary for a scan that never ran
    EXPECT_FALSE(QFile::exists(csvPath()));

    // A start that gives no answer: the scan could not start, and the reason is said.
    const struct {
        const char* start;
        const char* why;
    } unreachable[] = {
        { "http://127.0.0.1:1/", "Could not connect to the server." },
        { "http://", "The URL is not valid." },
        { "ftp://127.0.0.1:1/a.html", "The URL's scheme is not supported." },
    };
    for (const auto& c : unreachable) {
        const qsizetype before = err.text().size();
        EXPECT_EQ(run({ QLatin1String(c.start) }), kExitFailed) << c.start;
        EXPECT_TRUE(err.text().mid(before).contains(
            QStringLiteral("crawlmere: the starting URL %1 could not be reached: %2\n").arg(c.start, c.why)))
            << qPrintable(err.text().mid(before));
        EXPECT_TRUE(out.text().isEmpty()) << qPrintable(out.text());
    }
    // A start that answers, even with an error page, is a scan that ran.
    EXPECT_EQ(run({ url(QStringLiteral("/no-such-page.html")) }), kExitFinished) << qPrintable(err.text());
}

TEST_F(HeadlessScanTest, AMissingFileOfTheProgramsOwnKindsIsNotFoundAndNeverAWebAddress)
{
    for (const QString& target : { QStringLiteral("nothere.lcsettings"), QStringLiteral("nothere.LCSBATCH"),
             folder.filePath(QStringLiteral("gone/list.csv")) }) {
        SCOPED_TRACE(target.toStdString());
        const qsizetype before = err.text().size();
        EXPECT_EQ(run({ target }), kExitFailed);
        const QString said = err.text().mid(before);
        EXPECT_EQ(said, QStringLiteral("crawlmere: no such file: %1\n").arg(target));
        EXPECT_TRUE(out.text().isEmpty()) << qPrintable(out.text());
    }
    EXPECT_FALSE(QFile::exists(csvPath()));
}

TEST_F(HeadlessScanTest, AUrlListChecksTheListedUrlsOnlyAsTheQuestionsDefaultAnswerSays)
{
    const QString list = folder.filePath(QStringLiteral("list.txt"));
    QFile file(list);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    for (const char* path : { "/a.html", "/dir/c.html", "/target.html" })
        file.write((url(QLatin1String(path)) + u'\n').toUtf8());
    file.close();

    const QString question = QStringLiteral("crawlmere: List of urls: scope: do you want to just check the urls within "
                                            "this list, or follow each url in this list? [answered \"Just the URLs in "
                                            "the list\"]\n");
    ASSERT_EQ(run({ list }), kExitFinished) << qPrintable(err.text());
    EXPECT_EQ(err.text().count(question), 1) << qPrintable(err.text());
    const CsvTable listed = readCsv(csvPath());
    for (const char* path : { "/a.html", "/dir/c.html", "/target.html" })
        EXPECT_EQ(listed.rows.count(url(QLatin1String(path))), 1u) << path;
    // The links of the listed pages are not followed.
    EXPECT_EQ(listed.rows.count(url(QStringLiteral("/b.html"))), 0u);
    EXPECT_EQ(listed.rows.count(url(QStringLiteral("/dir/d.html"))), 0u);

    // A scope given with --set answers the question: nothing is asked.
    ASSERT_EQ(run({ QStringLiteral("--set"), QStringLiteral("singlePage=NO"), list }), kExitFinished);
    EXPECT_EQ(err.text().count(question), 1);
    EXPECT_EQ(readCsv(csvPath()).rows.count(url(QStringLiteral("/dir/d.html"))), 1u);
}

TEST_F(HeadlessScanTest, UsageErrorsExitWithTwoAndTheUsage)
{
    EXPECT_EQ(
        run({ QStringLiteral("--set"), QStringLiteral("noSuchSetting=1"), url("/") }, /*withCsv=*/false), kExitUsage);
    EXPECT_TRUE(err.text().contains(QStringLiteral("unknown crawl setting: noSuchSetting")));
    EXPECT_TRUE(err.text().contains(QStringLiteral("usage: crawlmere")));
    EXPECT_EQ(run({}, /*withCsv=*/false), kExitUsage);
    EXPECT_EQ(run({ QStringLiteral("--columns"), QStringLiteral("url,nonsense"), url("/") }), kExitUsage);
    EXPECT_TRUE(err.text().contains(
        QStringLiteral("crawlmere: unknown column key: nonsense (crawlmere --columns help lists them)\n")));
    EXPECT_FALSE(QFile::exists(csvPath()));
    EXPECT_EQ(run({ QStringLiteral("--help") }, /*withCsv=*/false), kExitFinished);
    EXPECT_TRUE(out.text().startsWith(QStringLiteral("usage: crawlmere")));
}

TEST_F(HeadlessScanTest, DefaultsGivenForTheRunAreUsedAndNotKept)
{
    auto& defaults = crawlmere::platform::UserDefaults::standard();
    ASSERT_FALSE(defaults.objectForKey(QStringLiteral("proxyCrawlToken")).isValid());
    // byStatusWhichStatus 1: a redirected URL shows only its final status.
    const int status = run({ QStringLiteral("--default"), QStringLiteral("byStatusWhichStatus=1"),
        QStringLiteral("--default"), QStringLiteral("proxyCrawlToken=marker"), url(QStringLiteral("/dir/c.html")) });
    ASSERT_EQ(status, kExitFinished);
    EXPECT_FALSE(defaults.objectForKey(QStringLiteral("proxyCrawlToken")).isValid());
    EXPECT_EQ(defaults.integerForKey(QStringLiteral("byStatusWhichStatus")), 2);

    EXPECT_EQ(
        run({ QStringLiteral("--default"), QStringLiteral("byStatusWhichStatus=1"), url(QStringLiteral("/moved")) }),
        kExitFinished);
    const CsvTable csv = readCsv(csvPath());
    ASSERT_TRUE(csv.rows.count(url("/moved")));
    EXPECT_EQ(csv.rows.at(url("/moved")).at("status"), "200 ok");
}

TEST_F(HeadlessScanTest, AnUnwritableCsvExitsWithOneAfterTheSummary)
{
    const QString csv = folder.filePath(QStringLiteral("no-such-folder/scan.csv"));
    EXPECT_EQ(run({ url(QStringLiteral("/b.html")), QStringLiteral("--csv"), csv }, /*withCsv=*/false), kExitFailed);
    EXPECT_TRUE(err.text().contains(QStringLiteral("cannot write ") + csv)) << qPrintable(err.text());
    EXPECT_TRUE(out.text().startsWith(QStringLiteral("Scan finished: ")));
    EXPECT_FALSE(QFile::exists(csv));
}

TEST_F(HeadlessScanTest, CtrlCStopsTheScanAndStillWritesWhatWasFound)
{
    // A site that never ends: every page is slow and links to ten new ones.
    LoopbackServer endless;
    endless.server().new_task_queue = [] { return new httplib::ThreadPool(40); };
    endless.server().set_keep_alive_timeout(1);
    std::atomic<int> served { 0 };
    endless.server().Get(R"(/n/(\d+))", [&served](const httplib::Request& request, httplib::Response& response) {
        ++served;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const long long n = std::stoll(request.matches[1]);
        std::string body = "<html><head><title>n</title></head><body>";
        for (int i = 1; i <= 10; ++i)
            body += "<a href=\"/n/" + std::to_string(n * 10 + i) + "\">next</a>";
        response.set_content(body + "</body></html>", "text/html");
    });
    ASSERT_TRUE(startListening(endless));

    // Ctrl-C arrives once the scan is under way: its first page and some of the pages it links
    // have been asked for (the scan watches for Ctrl-C before it asks for anything).
    std::thread presser([&served] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (served.load() < 12 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::raise(SIGINT);
    });
    const QString sitemap = folder.filePath(QStringLiteral("stopped.xml"));
    const int status = run({ endless.url(QStringLiteral("/n/1")), QStringLiteral("--sitemap"), sitemap });
    presser.join();
    ASSERT_EQ(status, kExitInterrupted) << qPrintable(err.text());
    QFile written(sitemap);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(written.readAll().contains("<loc>" + endless.url("/n/1").toUtf8() + "</loc>"));

    const QString summary = out.text();
    EXPECT_TRUE(summary.startsWith(QStringLiteral("Scan stopped (Ctrl-C): "))) << qPrintable(summary);
    const CsvTable csv = readCsv(csvPath());
    const int found = summaryValue(summary, "URLs found").toInt();
    EXPECT_GT(found, 10);
    EXPECT_EQ(csv.rowCount, found);
    EXPECT_EQ(csv.rows.at(endless.url("/n/1")).at("status"), "200 ok");
    // Every URL of the CSV was either checked or still waiting: nothing is left "Request sent".
    for (const auto& [key, row] : csv.rows)
        EXPECT_NE(row.at("status"), "Request sent") << qPrintable(key);
}


TEST_F(HeadlessScanTest, ASiteWithoutItsOwnNofollowChoiceTakesTheApplications)
{
    // The nofollow page is checked; its child is found only when nofollow links are followed.
    auto& store = crawlmere::platform::UserDefaults::standard();
    const QString key = crawlKey::dontFollowNofollowLinks;
    const QString settingsFile = folder.filePath(QStringLiteral("nofollow.lcsettings"));
    ASSERT_TRUE(crawlmere::platform::PropertyList::writeXmlFile(settingsFile,
        QVariantMap { { "id", "20260101-120000-7" }, { "name", "nofollow" }, { crawlKey::startingUrl, url("/") } })
                    .ok());
    // The slow page is left unchecked, so a generous time-out costs nothing.
    const QStringList fast { QStringLiteral("--set"), QStringLiteral("checkBlacklistArray=slow.html") };
    const QStringList fromUrl = fast + QStringList { url(QStringLiteral("/")) };
    const QStringList fromFile = fast + QStringList { settingsFile };
    const struct {
        const char* name;
        QVariant stored; // the application store's own value
        QStringList arguments;
        bool childFound;
    } cases[] = {
        { "no application value", QVariant(), fromUrl, true },
        { "--default", QVariant(), QStringList { QStringLiteral("--default"), key + QStringLiteral("=YES") } + fromUrl,
            false },
        { "the store", QVariant(true), fromUrl, false },
        { "the store, a settings file", QVariant(QStringLiteral("YES")), fromFile, false },
        { "the store says NO", QVariant(QStringLiteral("NO")), fromFile, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        store.setObject(c.stored, key);
        ASSERT_EQ(run(c.arguments), kExitFinished) << err.text().toStdString();
        const CsvTable csv = readCsv(csvPath());
        EXPECT_TRUE(csv.rows.count(url("/nf.html")));
        EXPECT_EQ(csv.rows.count(url("/nf-child.html")) == 1, c.childFound);
    }
    store.removeObjectForKey(key);
}
