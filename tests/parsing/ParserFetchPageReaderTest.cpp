// The fetch with the page parser's reader installed: meta refresh pages and a login form read
// from the real login page, against a server on 127.0.0.1.
#include "parsing/ParserFetchPageReader.h"
#include "engine/CrawlSettingKeys.h"

#include "engine/CrwlUrl.h"
#include "engine/CrwlUrlFetchSupport.h"
#include "support/Fixtures.h"
#include "support/LoopbackServer.h"

#include <gtest/gtest.h>

#include <mutex>

using crawlmere::test::FetchOwner;
using crawlmere::test::LoopbackServer;
using crawlmere::test::makeSettings;
using crawlmere::test::readFixture;

namespace {

std::string refreshPage(const std::string& content)
{
    return "<html><head><meta http-equiv=\"refresh\" content=\"" + content
        + "\"><title>moved</title></head><body><a href=\"/x\">x</a></body></html>";
}

class ParserFetchPageReaderTest : public testing::Test {
protected:
    void SetUp() override
    {
        ParserFetchPageReader::installAsFetchPageReader();
        auto& http = server.server();
        http.Get("/meta-now", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(refreshPage("0; URL=target.html"), "text/html");
        });
        http.Get("/meta-later", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(refreshPage("6; URL=target.html"), "text/html");
        });
        http.Get("/meta-self", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(refreshPage("0; URL=/meta-self"), "text/html");
        });
        http.Get("/target.html", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("<html><body>arrived</body></html>", "text/html");
        });
        http.Get(R"(/meta-loop/(\d+))", [](const httplib::Request& request, httplib::Response& response) {
            response.set_content(refreshPage("0; URL=/meta-loop/" + std::to_string(std::stoi(request.matches[1]) + 1)),
                "text/html");
        });
        http.Get("/account/login", [](const httplib::Request&, httplib::Response& response) {
            const QByteArray page = readFixture(QStringLiteral("pages/forms/login-hidden.html"));
            response.set_content(page.toStdString(), "text/html; charset=utf-8");
        });
        http.Post("/account/login", [this](const httplib::Request& request, httplib::Response& response) {
            std::lock_guard lock(postLock);
            postedBody = request.body;
            postedReferer = request.get_header_value("Referer");
            postedParams = request.params;
            response.set_content("<html><body>welcome</body></html>", "text/html");
        });
        ASSERT_TRUE(server.start());
        // A server stopped before its thread runs would never stop: wait until it listens.
        ASSERT_TRUE(crawlmere::platform::Dispatch::runUntil(
            [this] { return server.server().is_running(); }, std::chrono::seconds(10)));
        owner = std::make_shared<FetchOwner>();
    }
    void TearDown() override
    {
        FetchPageReader::install(nullptr);
        EXPECT_EQ(owner->offMainHandOvers.load(), 0);
    }

    std::shared_ptr<CrwlUrl> fetch(const QString& path, int finishes, const QVariantMap& values = {}, bool start = false)
    {
        auto record = CrwlUrl::make(owner, makeSettings(values));
        record->setLinkURL(server.url(path));
        record->setIsStartingPoint(start);
        record->sendAsyncServerRequest();
        EXPECT_TRUE(owner->waitForFinished(finishes)) << path.toStdString() << " hung";
        return record;
    }

    LoopbackServer server;
    std::shared_ptr<FetchOwner> owner;
    std::mutex postLock;
    std::string postedBody;
    std::string postedReferer;
    httplib::Params postedParams;
};

} // namespace

TEST_F(ParserFetchPageReaderTest, MetaRefreshOfZeroSecondsIsFollowed)
{
    const auto record = fetch(QStringLiteral("/meta-now"), 2);
    EXPECT_EQ(record->getStatus(), 200);
    EXPECT_EQ(record->redirectArray(),
        (QVariantList { CrwlUrl::makeRedirectHop(server.url(QStringLiteral("/target.html")), 200, 1) }));
    // The refresh page itself is neither counted nor extracted.
    EXPECT_EQ(owner->names(),
        (QStringList { QStringLiteral("addToCheckQueue"), QStringLiteral("threadHasFinished"), QStringLiteral("incNumberDone"),
            QStringLiteral("extractLinks"), QStringLiteral("threadHasFinished") }));
}

TEST_F(ParserFetchPageReaderTest, SlowOrSelfPointingMetaRefreshIsNotFollowed)
{
    const auto later = fetch(QStringLiteral("/meta-later"), 1);
    EXPECT_EQ(later->getStatus(), 200);
    EXPECT_EQ(later->getRedirectCount(), 0);
    const auto self = fetch(QStringLiteral("/meta-self"), 2);
    EXPECT_EQ(self->getRedirectCount(), 0);
    EXPECT_EQ(owner->count(QStringLiteral("extractLinks")), 2);
}

TEST_F(ParserFetchPageReaderTest, RecurringMetaRefreshIsCountedOnceWithoutExtraction)
{
    const auto record = fetch(QStringLiteral("/meta-loop/0"), 13);
    EXPECT_EQ(record->getStatus(), -9);
    EXPECT_EQ(record->getRedirectCount(), 13);
    EXPECT_EQ(owner->count(QStringLiteral("incNumberDone")), 1);
    EXPECT_EQ(owner->count(QStringLiteral("extractLinks")), 0);
}

TEST_F(ParserFetchPageReaderTest, LoginPostCarriesTheHiddenFieldsOfTheRealForm)
{
    const auto record = fetch(QStringLiteral("/account/login"), 1,
        { { crawlKey::WebtallyAttemptAuthentication, true },
            { crawlKey::authenticationusernamefieldname, QStringLiteral("username") },
            { crawlKey::authenticationusername, QStringLiteral("me@example.org") },
            { crawlKey::authenticationpasswordfieldname, QStringLiteral("password") },
            { crawlKey::authenticationpassword, QStringLiteral("pa ss+") }, { crawlKey::securityToken, true } },
        /*start=*/true);
    EXPECT_EQ(record->getStatus(), 200);
    std::lock_guard lock(postLock);
    EXPECT_EQ(postedBody,
        "username=me%40example.org&password=pa+ss%2B&csrf_token=ab%2Bc%2Fd%3D%3D&session=s%C3%A9q+1");
    // The form's action (with "next=a&b" from "&amp;") is where the POST went.
    EXPECT_EQ(postedParams.find("next")->second, "a");
    EXPECT_EQ(postedParams.find("csrf_token")->second, "ab+c/d==");
    EXPECT_EQ(postedReferer, server.url(QStringLiteral("/account/login")).toStdString());
}
