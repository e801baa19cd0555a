// The start-of-scan probes against a loopback server: robots.txt sections, comments, wildcards
// and ports; the encoding trial of the starting page; and the soft-404 test of fetched pages.
#include "Z12AraTestSupport.h"
#include "engine/CrawlSettingKeys.h"

#include "platform/Dispatch.h"
#include "platform/TextEncoding.h"
#include "support/LoopbackServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

using namespace crawlmere::test;
namespace Encoding = crawlmere::platform::Encoding;

namespace {

TEST(Z12AraRobotsRulesTest, FirstOfStarAndGooglebotSectionsIsObeyed)
{
    const auto starFirst = Z12Ara::parseRobotsRules(
        QStringLiteral("User-agent: *\nDisallow: /star\n\nUser-agent: Googlebot\nDisallow: /google\n"));
    EXPECT_EQ(starFirst.disallow, QStringList { QStringLiteral(" /star") });
    const auto googleFirst = Z12Ara::parseRobotsRules(
        QStringLiteral("User-agent: Googlebot\r\nDisallow: /google\r\nUser-agent: *\r\nDisallow: /star\r\n"));
    EXPECT_EQ(googleFirst.disallow, QStringList { QStringLiteral(" /google") });
}

TEST(Z12AraRobotsRulesTest, ImageAgentAndOtherAgentsAreNotRecorded)
{
    const auto rules = Z12Ara::parseRobotsRules(
        QStringLiteral("User-agent: Googlebot-Image\nDisallow: /images\nUser-agent: OtherBot\nDisallow: /other\n"
                       "User-agent: *\nDisallow: /all\nUser-agent: Googlebot-News\nDisallow: /news\n"));
    // A group of another agent of the same family is not ours either.
    EXPECT_EQ(rules.disallow, QStringList { QStringLiteral(" /all") });
}

TEST(Z12AraRobotsRulesTest, CommentsAreStrippedAndValuesKeepTheirColons)
{
    const auto rules = Z12Ara::parseRobotsRules(QStringLiteral("# whole-line comment: Disallow: /nothing\n"
                                                               "user-agent: * # everyone\n"
                                                               "disallow: /cgi-bin/a:b # a colon in the path\n"
                                                               "Disallow:\n"
                                                               "Allow: /open#section\n"
                                                               "Crawl-delay: 5\n"
                                                               "Sitemap: http://h.test/sitemap.xml\n"));
    EXPECT_EQ(rules.disallow, (QStringList { QStringLiteral(" /cgi-bin/a:b "), QString() }));
    EXPECT_EQ(rules.allow, QStringList { QStringLiteral(" /open") });
    EXPECT_EQ(Z12Ara::makeEachItemInArray(rules.disallow, QStringLiteral("www.host/")),
        QStringList { QStringLiteral("www.host/cgi-bin/a:b") });
}

TEST(Z12AraRobotsRulesTest, AbsolutePrefixesAndLocation)
{
    EXPECT_EQ(Z12Ara::makeEachItemInArray(
                  { QStringLiteral(" /private "), QStringLiteral("*.pdf") }, QStringLiteral("www.host")),
        (QStringList { QStringLiteral("www.host/private"), QStringLiteral("*.pdf") }));
    EXPECT_EQ(
        Z12Ara::makeEachItemInArray({ QStringLiteral(" /x ") }, QString()), QStringList { QStringLiteral(" /x ") });
    EXPECT_EQ(Z12Ara::robotsLocation(QStringLiteral("h.test"), false, std::nullopt), u"http://h.test/robots.txt");
    EXPECT_EQ(Z12Ara::robotsLocation(QStringLiteral("h.test"), true, 443), u"https://h.test/robots.txt");
    EXPECT_EQ(Z12Ara::robotsLocation(QStringLiteral("h.test"), false, 8080), u"http://h.test:8080/robots.txt");
    EXPECT_EQ(Z12Ara::robotsLocation(QStringLiteral("::1"), false, 81), u"http://[::1]:81/robots.txt");
}

class Z12AraProbesTest : public HubFixture {
protected:
    void SetUp() override
    {
        HubFixture::SetUp();
        transport->probesUseNetwork = true;
        // One request per connection, so stopping the server never waits for an idle one.
        server.server().set_keep_alive_max_count(1);
    }
    void serveRobots(const std::string& text, int status = 200)
    {
        server.server().Get(
            "/robots.txt", [this, text, status](const httplib::Request& request, httplib::Response& response) {
                {
                    std::lock_guard lock(mutex);
                    robotsAgent = request.get_header_value("User-Agent");
                }
                ++robotsRequests;
                response.status = status;
                response.set_content(text, "text/plain");
            });
    }
    void servePage(const std::string& path, const std::string& bytes, const std::string& type = "text/html")
    {
        server.server().Get(path,
            [bytes, type](const httplib::Request&, httplib::Response& response) { response.set_content(bytes, type); });
    }
    bool goTo(const QString& path)
    {
        settings->insert(crawlKey::startingUrl, server.url(path));
        return hub->go();
    }
    QString site() const { return QStringLiteral("127.0.0.1:%1").arg(server.port()); }

    LoopbackServer server;
    std::mutex mutex;
    std::string robotsAgent;
    std::atomic<int> robotsRequests { 0 };
};

TEST_F(Z12AraProbesTest, RobotsTxtWithCommentsWildcardsAndAPort)
{
    serveRobots("# Rules of the test site\n"
                "User-agent: Googlebot-Image   # pictures only\n"
                "Disallow: /images/\n"
                "\n"
                "User-agent: *   # everyone else\n"
                "Disallow: /private   # keep out\n"
                "Disallow: /*.pdf$\n"
                "Disallow: /cgi-bin/a:b\n"
                "Allow: /private/open\n"
                "Disallow:\n"
                "Crawl-delay: 3\n"
                "\n"
                "User-agent: Googlebot\n"
                "Disallow: /only-for-one-agent\n");
    // The encoding probe of the starting page carries the site's user agent too.
    std::vector<std::string> pageAgents;
    server.server().Get("/", [&](const httplib::Request& request, httplib::Response& response) {
        {
            std::lock_guard lock(mutex);
            pageAgents.push_back(request.get_header_value("User-Agent"));
        }
        response.set_content("<html><body>home</body></html>", "text/html");
    });
    ASSERT_TRUE(server.start());
    settings->insert(crawlKey::userAgentString, QStringLiteral("CrawlmereTest/1.0"));
    ASSERT_TRUE(goTo(QStringLiteral("/")));
    EXPECT_EQ(robotsRequests.load(), 1);
    EXPECT_EQ(transport->probeUrls.front(), QStringLiteral("http://%1/robots.txt").arg(site()));
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(robotsAgent, "CrawlmereTest/1.0");
        EXPECT_FALSE(pageAgents.empty());
        for (const std::string& agent : pageAgents)
            EXPECT_EQ(agent, "CrawlmereTest/1.0");
    }
    EXPECT_EQ(hub->getRobotsBlacklistArray(),
        (QStringList { site() + QStringLiteral("/private"), site() + QStringLiteral("/*.pdf$"),
            site() + QStringLiteral("/cgi-bin/a:b") }));
    EXPECT_EQ(hub->getRobotsWhitelistArray(), QStringList { site() + QStringLiteral("/private/open") });

    auto blocked = [&](const QString& path) {
        return hub->robotsVerdict(server.url(path)) == Z12Ara::RobotsVerdict::Disallowed;
    };
    EXPECT_TRUE(blocked(QStringLiteral("/private/page.html")));
    EXPECT_TRUE(blocked(QStringLiteral("/docs/report.pdf")));
    EXPECT_FALSE(blocked(QStringLiteral("/docs/report.pdf?download=1")));
    EXPECT_TRUE(blocked(QStringLiteral("/cgi-bin/a:b/run")));
    EXPECT_FALSE(blocked(QStringLiteral("/public/page.html")));
    EXPECT_FALSE(blocked(QStringLiteral("/images/a.png")));
    EXPECT_FALSE(blocked(QStringLiteral("/only-for-one-agent")));
    EXPECT_FALSE(blocked(QStringLiteral("/private/open/x.html")));
    // The same path on another port of the host is another site.
    EXPECT_NE(hub->robotsVerdict(QStringLiteral("http://127.0.0.1:9/private/x")), Z12Ara::RobotsVerdict::Disallowed);
}

TEST_F(Z12AraProbesTest, OnlyTheFirst500KiBOfRobotsTxtAreRead)
{
    // The cap falls inside the value of a rule, just after "/cut": that half rule would block
    // every path starting "/cut".
    std::string robots = "User-agent: *\nDisallow: /early\n";
    const std::string cutRule = "Disallow: /cut";
    const std::string padding = "# padding padding padding padding padding padding padding padding\n";
    while (robots.size() + padding.size() + cutRule.size() < size_t(Z12Ara::kRobotsMaxBytes))
        robots += padding;
    robots += std::string("#") + std::string(Z12Ara::kRobotsMaxBytes - robots.size() - cutRule.size() - 2, 'x') + "\n";
    robots += cutRule;
    ASSERT_EQ(robots.size(), size_t(Z12Ara::kRobotsMaxBytes));
    robots += "-by-the-cap\nDisallow: /late\n";
    serveRobots(robots);
    ASSERT_TRUE(server.start());
    ASSERT_TRUE(goTo(QStringLiteral("/")));
    EXPECT_EQ(hub->getRobotsBlacklistArray(), QStringList { site() + QStringLiteral("/early") });
    EXPECT_NE(hub->robotsVerdict(server.url(QStringLiteral("/cut-by-the-cap"))), Z12Ara::RobotsVerdict::Disallowed);
    EXPECT_NE(hub->robotsVerdict(server.url(QStringLiteral("/cutlery"))), Z12Ara::RobotsVerdict::Disallowed);
}

TEST_F(Z12AraProbesTest, MissingRobotsTxtLeavesEverythingAllowed)
{
    serveRobots("User-agent: *\nDisallow: /\n", 404);
    ASSERT_TRUE(server.start());
    ASSERT_TRUE(goTo(QStringLiteral("/")));
    EXPECT_EQ(robotsRequests.load(), 1);
    EXPECT_TRUE(hub->getRobotsBlacklistArray().isEmpty());
    EXPECT_TRUE(hub->getRobotsWhitelistArray().isEmpty());
}

TEST_F(Z12AraProbesTest, UnreachableSiteLeavesListsEmptyAndFallsBackToUtf8)
{
    // Nothing listens on port 1 of the loopback address.
    settings->insert(crawlKey::startingUrl, QStringLiteral("http://127.0.0.1:1/"));
    ::testing::internal::CaptureStderr();
    const bool started = hub->go();
    const std::string log = ::testing::internal::GetCapturedStderr();
    ASSERT_TRUE(started);
    // The starting page's own failure tells the user; the probe adds no line of its own.
    EXPECT_EQ(log.find("robots.txt"), std::string::npos) << log;
    EXPECT_TRUE(hub->getRobotsBlacklistArray().isEmpty());
    EXPECT_EQ(hub->getDetectedEncoding(), 4u);
    EXPECT_EQ(settings->value(QStringLiteral("detectedEncoding")).toLongLong(), 4);
}

TEST_F(Z12AraProbesTest, EncodingTrialGivesUtf8OrWindows1252)
{
    servePage("/utf8.html", "<html><head><title>Caf\xc3\xa9</title></head><body></body></html>");
    servePage("/latin.html", "<html><head><title>Caf\xe9</title></head><body></body></html>");
    ASSERT_TRUE(server.start());
    ASSERT_TRUE(goTo(QStringLiteral("/utf8.html")));
    EXPECT_EQ(hub->getDetectedEncoding(), 4u);
    ASSERT_TRUE(goTo(QStringLiteral("/latin.html")));
    EXPECT_EQ(hub->getDetectedEncoding(), Encoding::WindowsCP1252);
    EXPECT_EQ(settings->value(QStringLiteral("detectedEncoding")).toULongLong(), Encoding::WindowsCP1252);
}

TEST_F(Z12AraProbesTest, SiteBuilderGeneratorSwitchesOnWordPressUrls)
{
    defaults->setObject(QStringLiteral("<meta name=\"generator\" content=\"Builder-X[^\"]*"),
        QStringLiteral("siteBuilderGeneratorPattern"));
    servePage("/built.html", "<html><head><meta name=\"generator\" content=\"Builder-X Site 3\"></head></html>");
    servePage("/plain.html", "<html><head><meta name=\"generator\" content=\"Hand\"></head></html>");
    ASSERT_TRUE(server.start());
    ASSERT_TRUE(goTo(QStringLiteral("/plain.html")));
    EXPECT_FALSE(settings->value(crawlKey::wixSite).toBool());
    ASSERT_TRUE(goTo(QStringLiteral("/built.html")));
    EXPECT_TRUE(settings->value(crawlKey::wixSite).toBool());
    EXPECT_TRUE(settings->value(crawlKey::wordpressUrls).toBool());
}

TEST_F(Z12AraProbesTest, TheBuiltInPatternKnowsTheSiteBuildersGeneratorTag)
{
    servePage("/built.html",
        "<html><head><meta name=\"generator\" content=\"Wix.com Website Builder\"/></head><body></body></html>");
    servePage("/other.html",
        "<html><head><meta name=\"generator\" content=\"WordPress 6.4 wix.com\"/></head><body></body></html>");
    ASSERT_TRUE(server.start());
    ASSERT_TRUE(goTo(QStringLiteral("/other.html")));
    EXPECT_FALSE(settings->value(crawlKey::wixSite).toBool());
    EXPECT_FALSE(settings->value(crawlKey::wordpressUrls).toBool());
    ASSERT_TRUE(goTo(QStringLiteral("/built.html")));
    EXPECT_TRUE(settings->value(crawlKey::wixSite).toBool());
    EXPECT_TRUE(settings->value(crawlKey::wordpressUrls).toBool());
}

TEST(Z12AraEncodingTrialTest, TriesEncodingsInOrder)
{
    QString text;
    EXPECT_EQ(Z12Ara::stringEncodingForData(QByteArray("plain"), &text), 4u);
    EXPECT_EQ(text, u"plain");
    // Not UTF-8: read as browsers read a page that names no charset, C1 bytes included.
    EXPECT_EQ(Z12Ara::stringEncodingForData(QByteArray("Caf\xe9 \x93\x80\x97\x93"), &text), Encoding::WindowsCP1252);
    EXPECT_EQ(text, u"Café “€—“");
    EXPECT_FALSE(Z12Ara::tryEncodingData(QByteArray("Caf\xe9"), 4).has_value());
}

class Z12AraSoft404Test : public HubFixture {
protected:
    void startScanWithTerms(const QString& terms, qint64 scope = 0)
    {
        defaults->setBool(true, crawlKey::shouldCheckForSoft404);
        defaults->setObject(terms, QStringLiteral("soft404Terms"));
        defaults->setInteger(scope, QStringLiteral("soft404Scope"));
        settings->insert(crawlKey::startingUrl, QStringLiteral("http://site.test/"));
        ASSERT_TRUE(hub->go());
    }
    std::shared_ptr<CrwlUrl> page(const QString& url, const QByteArray& body, bool internal = true)
    {
        auto record = makeRecord(url);
        record->setIsInternal(internal);
        record->setStatus(200);
        record->setData(body);
        return record;
    }
};

TEST_F(Z12AraSoft404Test, TermInTheUrlFlagsWithoutWarning)
{
    startScanWithTerms(QStringLiteral("not-found\nmissing"));
    auto record = page(QStringLiteral("http://site.test/errors/not-found"), "<html><body>Hello</body></html>");
    EXPECT_TRUE(hub->performSoft404CheckOnThisUrl(record));
    EXPECT_TRUE(hub->getWarningsArray().isEmpty());
}

TEST_F(Z12AraSoft404Test, TermsInThePageAreListedInListOrder)
{
    startScanWithTerms(QStringLiteral("page missing\nnot found\nx\nnothing here"));
    auto record = page(QStringLiteral("http://site.test/a"),
        "<html><head><title>Not Found</title></head><body>Sorry, nothing here; page missing. x</body></html>");
    EXPECT_TRUE(hub->performSoft404CheckOnThisUrl(record));
    ASSERT_EQ(hub->getWarningsArray().size(), 1);
    // Case is ignored; the one-character term never matches.
    EXPECT_EQ(hub->getWarningsArray()[0].warning,
        u"The page is indicated as possible soft 404 because it contains the term(s) page missing, not found, nothing "
        u"here");
    EXPECT_EQ(hub->getWarningsArray()[0].lcurl, record);

    auto fine = page(QStringLiteral("http://site.test/b"), "<html><body>A real page</body></html>");
    EXPECT_FALSE(hub->performSoft404CheckOnThisUrl(fine));
}

TEST_F(Z12AraSoft404Test, ScopeDecidesWhichPagesAreTested)
{
    startScanWithTerms(QStringLiteral("not found"), 1);
    const QByteArray body = "<html><body>not found</body></html>";
    EXPECT_FALSE(hub->performSoft404CheckOnThisUrl(page(QStringLiteral("http://site.test/i"), body, true)));
    EXPECT_TRUE(hub->performSoft404CheckOnThisUrl(page(QStringLiteral("http://other.test/e"), body, false)));
    defaults->setInteger(2, QStringLiteral("soft404Scope"));
    EXPECT_TRUE(hub->performSoft404CheckOnThisUrl(page(QStringLiteral("http://site.test/i2"), body, true)));
    defaults->setInteger(3, QStringLiteral("soft404Scope"));
    EXPECT_FALSE(hub->performSoft404CheckOnThisUrl(page(QStringLiteral("http://site.test/i3"), body, true)));
    defaults->setBool(false, crawlKey::shouldCheckForSoft404);
    defaults->setInteger(2, QStringLiteral("soft404Scope"));
    EXPECT_FALSE(hub->performSoft404CheckOnThisUrl(page(QStringLiteral("http://site.test/i4"), body, true)));
}

TEST_F(Z12AraSoft404Test, ImagesStyleSheetsAndPdfsAreNotSearched)
{
    startScanWithTerms(QStringLiteral("not found"));
    EXPECT_FALSE(hub->performSoft404CheckOnThisUrl(page(QStringLiteral("http://site.test/a.css"), "not found")));
    EXPECT_FALSE(hub->performSoft404CheckOnThisUrl(page(QStringLiteral("http://site.test/a.pdf"), "not found")));
    auto image = page(QStringLiteral("http://site.test/a.png"), "not found");
    image->setIsImage(true);
    EXPECT_FALSE(hub->performSoft404CheckOnThisUrl(image));
    // The URL test comes first, whatever the type.
    EXPECT_TRUE(hub->performSoft404CheckOnThisUrl(page(QStringLiteral("http://site.test/not found.css"), "")));
}

TEST_F(Z12AraSoft404Test, RunsOffTheMainThread)
{
    startScanWithTerms(QStringLiteral("not found"));
    auto record = page(QStringLiteral("http://site.test/t"), "<html><body>not found</body></html>");
    std::atomic<int> answer { -1 };
    crawlmere::platform::Dispatch::toGlobal([&] { answer = hub->performSoft404CheckOnThisUrl(record) ? 1 : 0; });
    ASSERT_TRUE(crawlmere::platform::Dispatch::runUntil(
        [&] { return answer.load() >= 0 && !hub->getWarningsArray().isEmpty(); }, std::chrono::seconds(5)));
    EXPECT_EQ(answer.load(), 1);
    EXPECT_EQ(hub->getWarningsArray()[0].lcurl, record);
}

} // namespace
