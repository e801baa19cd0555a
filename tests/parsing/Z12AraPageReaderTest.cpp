// The crawl coordinator with the page parser's reader: the encoding probe's charset override on
// windows-1252 and Shift_JIS sites, and the soft-404 test of pages a site answers with 200.
#include "engine/CrawlSettingKeys.h"
#include "engine/Z12AraTestSupport.h"

#include "parsing/ParserHubPageReader.h"
#include "platform/TextEncoding.h"
#include "platform/UrlSession.h"
#include "support/LoopbackServer.h"

#include <gtest/gtest.h>

using namespace crawlmere::test;
using crawlmere::platform::TextEncoding;

namespace {

std::string bytes(const QByteArray& data) { return std::string(data.constData(), size_t(data.size())); }

class Z12AraPageReaderTest : public HubFixture {
protected:
    void SetUp() override
    {
        HubFixture::SetUp();
        hub->setPageReader(std::make_shared<ParserHubPageReader>());
        transport->probesUseNetwork = true;
        server.server().set_keep_alive_max_count(1);
    }
    void servePage(const std::string& path, const std::string& body)
    {
        server.server().Get(path,
            [body](const httplib::Request&, httplib::Response& response) { response.set_content(body, "text/html"); });
    }
    bool goTo(const QString& path)
    {
        settings->insert(crawlKey::startingUrl, server.url(path));
        return hub->go();
    }
    /// A record of the scan holding the body the site answers for `path`, as a fetch leaves it.
    std::shared_ptr<CrwlUrl> fetched(const QString& path)
    {
        const auto result = crawlmere::platform::UrlSession::loadSynchronously(
            crawlmere::platform::UrlRequest(server.url(path), 5.0), std::chrono::seconds(5));
        EXPECT_FALSE(result.error.has_value());
        auto record = makeRecord(server.url(path));
        record->setStatus(result.statusCode());
        record->setData(result.body);
        return record;
    }

    LoopbackServer server;
};

TEST_F(Z12AraPageReaderTest, Windows1252CharsetOverridesTheTrial)
{
    servePage("/",
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">"
        "<title>Caf\xe9 \x93quotes\x94</title></head><body><a href=\"a.html\">a</a></body></html>");
    ASSERT_TRUE(server.start());
    ASSERT_TRUE(goTo(QStringLiteral("/")));
    // The trial alone reads the bytes as ISO Latin 1 (5); the declared charset wins.
    EXPECT_EQ(hub->getDetectedEncoding(), 12u);
    EXPECT_EQ(settings->value(QStringLiteral("detectedEncoding")).toLongLong(), 12);
}

TEST_F(Z12AraPageReaderTest, ShiftJisSiteIsDetectedByItsCharset)
{
    const auto title = TextEncoding::encode(QStringLiteral("ページが見つかりません"), 8);
    ASSERT_TRUE(title.has_value());
    servePage("/jp/",
        "<html><head><meta charset=\"Shift_JIS\"><title>" + bytes(*title)
            + "</title></head><body><a href=\"a.html\">a</a></body></html>");
    ASSERT_TRUE(server.start());
    ASSERT_TRUE(goTo(QStringLiteral("/jp/")));
    EXPECT_EQ(hub->getDetectedEncoding(), 8u);
}

TEST_F(Z12AraPageReaderTest, SiteAnsweringNotFoundPagesWith200IsFlagged)
{
    servePage("/", "<html><head><title>Home</title></head><body><a href=\"/gone\">gone</a></body></html>");
    servePage("/gone",
        "<html><head><title>Page Not Found</title></head>"
        "<body><a href=\"/\">Home</a><p>Sorry, we looked everywhere.</p></body></html>");
    servePage("/hidden",
        "<html><head><title>Opening hours</title><!-- not found in the old menu --></head>"
        "<body><a href=\"/\">Home</a><p>Open daily.</p></body></html>");
    servePage("/real", "<html><head><title>Bread</title></head><body><a href=\"/\">Home</a> Rye</body></html>");
    ASSERT_TRUE(server.start());
    defaults->setBool(true, crawlKey::shouldCheckForSoft404);
    defaults->setObject(QStringLiteral("not found\nlooked everywhere"), QStringLiteral("soft404Terms"));
    ASSERT_TRUE(goTo(QStringLiteral("/")));

    const auto gone = fetched(QStringLiteral("/gone"));
    EXPECT_EQ(gone->getStatus(), 200);
    EXPECT_TRUE(hub->performSoft404CheckOnThisUrl(gone));
    ASSERT_EQ(hub->getWarningsArray().size(), 1);
    EXPECT_EQ(hub->getWarningsArray()[0].warning,
        u"The page is indicated as possible soft 404 because it contains the term(s) not found, looked everywhere");

    // The page's title and text are searched, not its markup.
    EXPECT_FALSE(hub->performSoft404CheckOnThisUrl(fetched(QStringLiteral("/hidden"))));
    EXPECT_FALSE(hub->performSoft404CheckOnThisUrl(fetched(QStringLiteral("/real"))));
    EXPECT_EQ(hub->getWarningsArray().size(), 1);

    // Without the parser's reader the bytes themselves are searched.
    hub->setPageReader(nullptr);
    EXPECT_TRUE(hub->performSoft404CheckOnThisUrl(fetched(QStringLiteral("/hidden"))));
}

} // namespace
