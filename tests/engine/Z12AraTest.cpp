// Starting a scan: starting-URL validation, rule lists, directory scope, internal domains,
// local files and URL lists, failed starts, reset, and the hub's small services.
#include "Z12AraTestSupport.h"
#include "engine/CrawlSettingKeys.h"

#include "engine/OutputFilterManager.h"

#include "platform/Dispatch.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace crawlmere::test;

namespace {

class Z12AraGoTest : public HubFixture {
protected:
    bool goWith(const QString& startingUrl)
    {
        settings->insert(crawlKey::startingUrl, startingUrl);
        return hub->go();
    }
    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = folder.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
};

TEST_F(Z12AraGoTest, StartingUrlIsValidated)
{
    settings->insert(crawlKey::startingUrl, QStringLiteral("  example \n"));
    EXPECT_TRUE(hub->validateStartingUrl(settings));
    EXPECT_EQ(settings->value(crawlKey::startingUrl).toString(), u"http://example");

    settings->insert(crawlKey::startingUrl, QStringLiteral("https://site.test/a b"));
    EXPECT_TRUE(hub->validateStartingUrl(settings));
    EXPECT_EQ(settings->value(crawlKey::startingUrl).toString(), u"https://site.test/a%20b");

    settings->insert(crawlKey::startingUrl, QStringLiteral("/home/someone/site/a&amp;b.html"));
    EXPECT_TRUE(hub->validateStartingUrl(settings));
    EXPECT_EQ(settings->value(crawlKey::startingUrl).toString(), u"file:///home/someone/site/a&b.html");

    settings->insert(crawlKey::startingUrl, QStringLiteral(" \t"));
    EXPECT_FALSE(hub->validateStartingUrl(settings));
    settings->remove(crawlKey::startingUrl);
    EXPECT_FALSE(hub->validateStartingUrl(settings));
}

TEST_F(Z12AraGoTest, StartReportsWhetherTheScanStartedAndAFailedStartQueuesNothing)
{
    hub->setCrawlSettings(nullptr);
    EXPECT_FALSE(hub->go());
    EXPECT_EQ(prompts->beeps, 1);

    hub->setCrawlSettings(settings);
    EXPECT_FALSE(goWith(QString()));
    EXPECT_EQ(prompts->beeps, 2);
    EXPECT_FALSE(hub->isScanning());
    EXPECT_TRUE(hub->linksCollection().isEmpty());

    EXPECT_TRUE(goWith(QStringLiteral("http://site.test/")));
    EXPECT_EQ(hub->linksCollection().size(), 1);
    ASSERT_EQ(transport->starts.size(), 1u);
    const auto start = transport->starts[0].record;
    EXPECT_TRUE(start->isStartingPoint());
    EXPECT_EQ(start, hub->getLcurl());
    EXPECT_EQ(hub->lcurlForUrl(start->prepareUrlForLookup(QStringLiteral("http://site.test/"))), start);
    EXPECT_EQ(diagnostic->state().settings, settings);
    EXPECT_GE(diagnostic->state().clears, 1);
}

TEST_F(Z12AraGoTest, RuleListsAreTrimmedAndGetTheBuiltInDoNotCheckTerms)
{
    settings->insert(crawlKey::checkBlacklistArray, QStringList { QStringLiteral(" /cart "), QString() });
    settings->insert(crawlKey::followBlacklistArray, QVariantList { QStringLiteral("\n/private") });
    settings->insert(crawlKey::ignoreArray, QStringList { QStringLiteral("logout"), QStringLiteral("  ") });
    ASSERT_TRUE(goWith(QStringLiteral("http://site.test/")));
    // The site's own terms, then the ten built-in ones in their fixed order.
    const QStringList expected { QStringLiteral("/cart"), QStringLiteral("xmlrpc.php"),
        QStringLiteral("wlwmanifest.xml"), QStringLiteral("gmpg.org/xfn/11"), QStringLiteral("admin-ajax.php"),
        QStringLiteral("about:blank"), QStringLiteral("/trackback"), QStringLiteral("www.googletagmanager.com"),
        QStringLiteral("calendar.google.com/calendar/"), QStringLiteral("outlook.live.com"),
        QStringLiteral("outlook.office365.com") };
    EXPECT_EQ(hub->getCheckBlacklistArray(), expected);
    EXPECT_EQ(hub->getFollowBlacklistArray(), QStringList { QStringLiteral("/private") });
    EXPECT_TRUE(hub->getFollowWhitelistArray().isEmpty());
    EXPECT_EQ(hub->getIgnoreArray(), QStringList { QStringLiteral("logout") });
    EXPECT_EQ(hub->getOutputFilterManager(), nullptr);

    defaults->setObject(QVariantList(), QStringLiteral("superWhitelistArray"));
    ASSERT_TRUE(goWith(QStringLiteral("http://site.test/")));
    EXPECT_NE(hub->getOutputFilterManager(), nullptr);
}

TEST_F(Z12AraGoTest, LinkedFilesWithImagesSwitchOnStyleSheetParsing)
{
    // A site holding no `checkImages` (as imported files often do) scans with its default, on
    // the first scan as on every later one.
    const QVariant absent;
    const struct {
        QVariant checkImages;
        bool parsesCSS;
    } cases[] = { { true, true }, { absent, true }, { false, false } };
    for (const auto& c : cases) {
        settings = std::make_shared<CrawlSettings>(QVariantMap { { crawlKey::linkedFiles, true } });
        if (c.checkImages.isValid())
            settings->insert(crawlKey::checkImages, c.checkImages);
        hub->setCrawlSettings(settings);
        ASSERT_TRUE(goWith(QStringLiteral("http://site.test/")));
        EXPECT_EQ(settings->value(crawlKey::shouldParseCSS).toBool(), c.parsesCSS)
            << c.checkImages.toString().toStdString();
    }
}

TEST_F(Z12AraGoTest, RootOrRootFileHasNoDirectoryLimit)
{
    ASSERT_TRUE(goWith(QStringLiteral("http://site.test/")));
    EXPECT_TRUE(hub->getStartingDir().isNull());
    EXPECT_TRUE(hub->getFollowBlacklistArray().isEmpty());

    ASSERT_TRUE(goWith(QStringLiteral("http://site.test/index.html")));
    EXPECT_EQ(hub->getStartingDir(), u"http://site.test");
    EXPECT_TRUE(hub->getFollowBlacklistArray().isEmpty());
    EXPECT_TRUE(prompts->alerts.isEmpty());
}

TEST_F(Z12AraGoTest, PageInADirectoryLimitsFollowingToThatDirectory)
{
    ASSERT_TRUE(goWith(QStringLiteral("http://site.test/docs/page.html?x=1")));
    EXPECT_EQ(hub->getFollowBlacklistArray(), QStringList { QStringLiteral("!site.test/docs") });
    EXPECT_EQ(hub->getStartingDir(), u"http://site.test/docs");

    ASSERT_TRUE(goWith(QStringLiteral("http://site.test:8080/docs/")));
    EXPECT_EQ(hub->getFollowBlacklistArray(), QStringList { QStringLiteral("!site.test:8080/docs") });
    EXPECT_EQ(hub->getStartingDir(), u"http://site.test:8080/docs");
}

TEST_F(Z12AraGoTest, EncodedDirectoryGetsItsDecodedTermToo)
{
    ASSERT_TRUE(goWith(QStringLiteral("http://site.test/d%C3%A9j%C3%A0/page.html")));
    EXPECT_EQ(hub->getFollowBlacklistArray(),
        (QStringList { QStringLiteral("!site.test/d%C3%A9j%C3%A0"), QStringLiteral("!site.test/déjà") }));
    // The cut is made on the stored (encoded) starting URL with the encoded directory.
    EXPECT_EQ(hub->getStartingDir(), u"http://site.test/d%C3%A9j%C3%A0");
}

TEST_F(Z12AraGoTest, AmbiguousStartingUrlAsksAndFollowsTheAnswer)
{
    prompts->answers = { 1 };
    ASSERT_TRUE(goWith(QStringLiteral("http://site.test/docs")));
    ASSERT_EQ(prompts->alerts.size(), 1);
    EXPECT_EQ(prompts->alerts[0].messageText, u"Ambiguous starting url");
    EXPECT_EQ(
        prompts->alerts[0].buttons, (QStringList { QStringLiteral("is a page"), QStringLiteral("is a directory") }));
    EXPECT_TRUE(prompts->alerts[0].informativeText.startsWith(u"docs could be a directory, or it may be a page"));
    EXPECT_EQ(store->newStartingUrls, QStringList { QStringLiteral("http://site.test/docs/") });
    EXPECT_EQ(hub->getLcurl()->absoluteString(), u"http://site.test/docs/");
    EXPECT_EQ(hub->getFollowBlacklistArray(), QStringList { QStringLiteral("!site.test/docs") });

    prompts->answers = { 0 };
    ASSERT_TRUE(goWith(QStringLiteral("http://site.test/docs")));
    EXPECT_EQ(store->wordpressSwitches, QList<bool> { true });
    // The running scan keeps its own value, so the limit is the page's directory as asked.
    EXPECT_FALSE(settings->value(crawlKey::wordpressUrls).toBool());
    EXPECT_EQ(prompts->alerts.size(), 2);
}

TEST_F(Z12AraGoTest, SinglePageOrWordPressUrlsAskNothing)
{
    settings->insert(crawlKey::singlePage, true);
    ASSERT_TRUE(goWith(QStringLiteral("http://site.test/docs")));
    EXPECT_TRUE(prompts->alerts.isEmpty());
    EXPECT_EQ(hub->getFollowBlacklistArray(), QStringList { QStringLiteral("!site.test/docs") });

    settings->insert(crawlKey::singlePage, false);
    settings->insert(crawlKey::wordpressUrls, true);
    ASSERT_TRUE(goWith(QStringLiteral("http://site.test/docs")));
    EXPECT_TRUE(prompts->alerts.isEmpty());
    // The parent of a page directly under the root: no limit.
    EXPECT_TRUE(hub->getFollowBlacklistArray().isEmpty());
    EXPECT_TRUE(hub->getStartingDir().isNull());

    ASSERT_TRUE(goWith(QStringLiteral("http://site.test/blog/my-post")));
    EXPECT_EQ(hub->getFollowBlacklistArray(), QStringList { QStringLiteral("!site.test/blog") });
}

TEST_F(Z12AraGoTest, CrawlUpwardsAddsNoLimit)
{
    settings->insert(crawlKey::crawlUpwards, true);
    ASSERT_TRUE(goWith(QStringLiteral("http://site.test/docs/page.html")));
    EXPECT_TRUE(hub->getFollowBlacklistArray().isEmpty());
    EXPECT_TRUE(hub->getStartingDir().isNull());
}

TEST_F(Z12AraGoTest, InternalDomainsWithAndWithoutSubdomains)
{
    ASSERT_TRUE(goWith(QStringLiteral("http://www.site.test/")));
    EXPECT_EQ(hub->getDomains(), QStringList { QStringLiteral("www.site.test") });

    settings->insert(crawlKey::followSubdomains, true);
    ASSERT_TRUE(goWith(QStringLiteral("http://www.site.test/")));
    EXPECT_EQ(hub->getDomains(), (QStringList { QStringLiteral("www.site.test"), QStringLiteral("site.test") }));

    ASSERT_TRUE(goWith(QStringLiteral("http://www./")));
    EXPECT_EQ(hub->getDomains(), QStringList { QStringLiteral("www.") });
    EXPECT_FALSE(hub->getScanningHttpsSite());

    ASSERT_TRUE(goWith(QStringLiteral("https://site.test/")));
    EXPECT_TRUE(hub->getScanningHttpsSite());
}

TEST_F(Z12AraGoTest, PlainTextStartingFileRunsInListMode)
{
    const QString list = writeFile(QStringLiteral("urls.txt"), "http://site.test/a\nhttp://site.test/b\n");
    ASSERT_TRUE(goWith(list));
    EXPECT_EQ(hub->getPlainTextMode(), 3);
    EXPECT_EQ(settings->value(crawlKey::plainTextMode).toLongLong(), 3);
    EXPECT_TRUE(hub->getFollowBlacklistArray().isEmpty());
    // A local scan's one internal domain is the file's folder.
    ASSERT_EQ(hub->getDomains().size(), 1);
    EXPECT_EQ(hub->getDomains()[0], QStringLiteral("file://") + folder.path());
    EXPECT_TRUE(hub->getRobotsBlacklistArray().isEmpty());

    const QString csv = writeFile(QStringLiteral("urls.csv"), "<a>,<b>,<c>,<d>");
    ASSERT_TRUE(goWith(csv));
    EXPECT_EQ(hub->getPlainTextMode(), 2);

    const QString fewTags = writeFile(QStringLiteral("few.html"), "<p>http://site.test/a</p>");
    ASSERT_TRUE(goWith(fewTags));
    EXPECT_EQ(hub->getPlainTextMode(), 3);

    const QString page = writeFile(QStringLiteral("page.html"), "<html><body><a href=\"a.html\">a</a></body></html>");
    ASSERT_TRUE(goWith(page));
    EXPECT_EQ(hub->getPlainTextMode(), 0);
}

TEST_F(Z12AraGoTest, LocalFolderStartsAtItsDefaultFile)
{
    QDir(folder.path()).mkdir(QStringLiteral("site"));
    writeFile(QStringLiteral("site/index.html"), "<html><body><a href=\"a.html\">a</a><p></p></body></html>");
    ASSERT_TRUE(goWith(folder.filePath(QStringLiteral("site"))));
    EXPECT_EQ(hub->getLcurl()->absoluteString(),
        QStringLiteral("file://") + folder.filePath(QStringLiteral("site/index.html")));
    EXPECT_EQ(hub->getPlainTextMode(), 0);
}

TEST_F(Z12AraGoTest, UnreadableLocalFileShowsTheErrorAndStartsNothing)
{
    EXPECT_FALSE(goWith(folder.filePath(QStringLiteral("missing.html"))));
    ASSERT_EQ(prompts->alerts.size(), 1);
    EXPECT_EQ(prompts->alerts[0].messageText, u"Error opening file");
    EXPECT_EQ(prompts->alerts[0].buttons, QStringList { QStringLiteral("OK") });
    EXPECT_TRUE(prompts->alerts[0].informativeText.startsWith(
        u"Crawlmere encountered the following error when trying to open the selected file: "));
    EXPECT_GT(prompts->alerts[0].informativeText.size(), 90);
    EXPECT_EQ(hub->queueLength(), 0);
    EXPECT_FALSE(hub->isScanning());
    EXPECT_TRUE(hub->linksCollection().isEmpty());
    EXPECT_TRUE(hub->getLookupDictionary().isEmpty());
    EXPECT_TRUE(transport->starts.empty());
}

TEST_F(Z12AraGoTest, SoftNotFoundTermsComeFromTheDefaults)
{
    defaults->setBool(true, crawlKey::shouldCheckForSoft404);
    defaults->setObject(QStringLiteral(" not found \n\npage missing\n"), QStringLiteral("soft404Terms"));
    ASSERT_TRUE(goWith(QStringLiteral("http://site.test/")));
    EXPECT_EQ(hub->getSoft404Array(), (QStringList { QStringLiteral("not found"), QStringLiteral("page missing") }));

    defaults->setBool(false, crawlKey::shouldCheckForSoft404);
    ASSERT_TRUE(goWith(QStringLiteral("http://site.test/")));
    EXPECT_TRUE(hub->getSoft404Array().isEmpty());
}

TEST_F(Z12AraGoTest, ClearResetsTheScanAndCancelsWhatIsInFlight)
{
    settings->insert(crawlKey::numberOfThreads, 4);
    ASSERT_TRUE(goWith(QStringLiteral("http://site.test/")));
    queueRecords(6);
    hub->getNextUrlToCrawl();
    const auto inFlight = hub->getInProgressArray();
    ASSERT_EQ(inFlight.size(), 4);
    hub->clear();
    EXPECT_EQ(transport->cancelled.size(), 4u);
    EXPECT_EQ(hub->inProgressCount(), 0);
    EXPECT_EQ(hub->queueLength(), 0);
    EXPECT_EQ(hub->checkedLinkCount(), 0);
    EXPECT_TRUE(hub->linksCollection().isEmpty());
    EXPECT_TRUE(hub->getLookupDictionary().isEmpty());
    EXPECT_FALSE(hub->crawlFinished());
    EXPECT_FALSE(hub->stopPressed());
    EXPECT_TRUE(hub->getDataBelongsToID().isNull());
}

TEST_F(Z12AraGoTest, SiteIdentifierIsTakenAtTheStart)
{
    store->siteID = QStringLiteral("20240101-1200001");
    ASSERT_TRUE(goWith(QStringLiteral("http://site.test/")));
    EXPECT_EQ(hub->getDataBelongsToID(), u"20240101-1200001");
}

TEST(Z12AraHelpersTest, TrimmingAndPathCuts)
{
    EXPECT_EQ(Z12Ara::trimEachItemInArray(
                  QStringList { QStringLiteral(" a "), QString(), QStringLiteral("\n"), QStringLiteral("b") }),
        (QStringList { QStringLiteral("a"), QStringLiteral("b") }));
    EXPECT_TRUE(Z12Ara::trimEachItemInArray(QVariant()).isEmpty());
    EXPECT_EQ(Z12Ara::stringByDeletingLastPathComponent(QStringLiteral("http://h.test/a/b.html")), u"http://h.test/a");
    EXPECT_EQ(Z12Ara::stringByDeletingLastPathComponent(QStringLiteral("noslash")), u"noslash");
    EXPECT_EQ(Z12Ara::stringByDeletingLastPathComponent(QStringLiteral("/root")), u"/root");
    EXPECT_EQ(Z12Ara::uniqueStringUsingDateAndTime().size(), 14);
}

class Z12AraServicesTest : public HubFixture { };

TEST_F(Z12AraServicesTest, WebsiteNameTakesTitleWordsUpToTwentyCharacters)
{
    EXPECT_EQ(hub->getWebsiteName(), u"");
    auto first = makeRecord(QStringLiteral("http://site.test/"));
    hub->add(first);
    EXPECT_EQ(hub->getWebsiteName(), u"");
    first->setLinkPageTitle(QStringLiteral("Supercalifragilisticexpialidocious"));
    EXPECT_EQ(hub->getWebsiteName(), u"Supercalifragilisticexpialidocious");
    first->setLinkPageTitle(QStringLiteral("The Old Mill Bakery and Tea Rooms of the Valley"));
    // " The Old Mill Bakery" has reached 20 characters.
    EXPECT_EQ(hub->getWebsiteName(), u"The Old Mill Bakery");
}

TEST_F(Z12AraServicesTest, AStartingUrlThatRedirectsIsNamedAfterThePageItLeadsTo)
{
    auto first = makeRecord(QStringLiteral("http://site.test/"));
    first->setRedirTable({ CrwlUrl::makeRedirectHop(QStringLiteral("http://site.test/home.html"), 301, 0) });
    hub->add(first);
    auto home = makeRecord(QStringLiteral("http://site.test/home.html"));
    home->setLinkPageTitle(QStringLiteral("Harbour Lights Bakery"));
    hub->add(home);
    hub->addToLookup(home, QStringLiteral("http://site.test/home.html"));
    EXPECT_EQ(hub->getWebsiteName(), u"Harbour Lights Bakery");
    // A title of the starting URL's own (a redirect page with a body) is kept.
    first->setLinkPageTitle(QStringLiteral("Moved"));
    EXPECT_EQ(hub->getWebsiteName(), u"Moved");
}

TEST_F(Z12AraServicesTest, DiagnosisForwardersReachTheWindow)
{
    hub->sendHTMLStringToDiagnostic(QStringLiteral("<html>"));
    hub->addRequestFieldsToDiagnostic(QStringLiteral("GET /"));
    hub->addResponseFieldsToDiagnostic(QStringLiteral("Status code: 200"));
    hub->addStringToDiagnosticTrace(QStringLiteral("received response: 200"));
    EXPECT_EQ(diagnostic->state().html, u"<html>");
    EXPECT_EQ(diagnostic->state().request, u"GET /");
    // The response and trace change the window, so they arrive through the main queue.
    EXPECT_TRUE(diagnostic->state().response.isEmpty());
    crawlmere::platform::Dispatch::runUntil(
        [&] { return !diagnostic->state().trace.isEmpty(); }, std::chrono::seconds(5));
    EXPECT_EQ(diagnostic->state().response, u"Status code: 200");
    EXPECT_EQ(diagnostic->state().trace, QStringList { QStringLiteral("received response: 200") });
}

TEST_F(Z12AraServicesTest, ReloadDataAndNotificationsCarryTheHub)
{
    NotificationCounter notes;
    hub->reloadData();
    EXPECT_EQ(notes.count(Z12Ara::CrwlListenerShouldUpdateData), 1);
    EXPECT_EQ(notes.objects[Z12Ara::CrwlListenerShouldUpdateData][0].get(), static_cast<void*>(hub.get()));
}

} // namespace
