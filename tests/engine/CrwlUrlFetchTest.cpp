// A URL record fetching itself from servers on 127.0.0.1: statuses, redirect chains and their
// limits, Refresh headers, authentication, stalls and drops, caps, content decoding, cookies,
// the login POST, file URLs, and the hand-overs to the owner on the main thread.
#include "engine/CrwlUrl.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlStatusCodes.h"
#include "engine/CrwlUrlFetchSupport.h"
#include "engine/FetchPageReader.h"
#include "engine/SettingsValue.h"
#include "platform/CookieStore.h"
#include "platform/UrlRequest.h"
#include "platform/UserDefaults.h"
#include "support/Fixtures.h"
#include "support/LoopbackServer.h"
#include "support/RawSocketServer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <limits>
#include <mutex>

#include <sys/stat.h>

using crawlmere::platform::UserDefaults;
using crawlmere::test::FetchOwner;
using crawlmere::test::LoopbackServer;
using crawlmere::test::makeSettings;
using crawlmere::test::RawConnection;
using crawlmere::test::RawSocketServer;
using crawlmere::test::readFixture;

namespace {

/// `bytes` in a gzip member, as a server sends a compressed body.
QByteArray qCompressGzip(const QByteArray& bytes)
{
    z_stream stream {};
    EXPECT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    QByteArray gzip(static_cast<qsizetype>(deflateBound(&stream, uLong(bytes.size()))), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.constData()));
    stream.avail_in = uInt(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(gzip.data());
    stream.avail_out = uInt(gzip.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    gzip.resize(static_cast<qsizetype>(stream.total_out));
    deflateEnd(&stream);
    return gzip;
}

const QString kPage = QStringLiteral("<html><head><title>T</title></head><body><a href=\"/next\">n</a></body></html>");

/// What the server saw of one request.
struct Seen {
    std::string method;
    std::string body;
    std::string contentType;
    std::string referer;
    std::string cookie;
    std::string authorization;
    std::string acceptLanguage;
    std::string custom;
    httplib::Params params;
};

class CrwlUrlFetchTest : public testing::Test {
protected:
    void SetUp() override
    {
        auto& http = server.server();
        http.Get("/ok", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(kPage.toStdString(), "text/html; charset=utf-8");
        });
        http.Get("/missing", [](const httplib::Request&, httplib::Response& response) {
            response.status = 404;
            response.set_content("<html>gone</html>", "text/html");
        });
        http.Get("/broken", [](const httplib::Request&, httplib::Response& response) {
            response.status = 500;
            response.set_content("<html>oops</html>", "text/html");
        });
        http.Get(
            "/r1", [](const httplib::Request&, httplib::Response& response) { response.set_redirect("/r2", 301); });
        http.Get(
            "/r2", [](const httplib::Request&, httplib::Response& response) { response.set_redirect("/final", 302); });
        http.Get("/final", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("<html><body>final</body></html>", "text/html");
        });
        http.Get(R"(/loop/(\d+))", [](const httplib::Request& request, httplib::Response& response) {
            response.set_redirect("/loop/" + std::to_string(std::stoi(request.matches[1]) + 1), 302);
        });
        http.Get(
            "/ping", [](const httplib::Request&, httplib::Response& response) { response.set_redirect("/pong", 302); });
        http.Get(
            "/pong", [](const httplib::Request&, httplib::Response& response) { response.set_redirect("/ping", 302); });
        http.Get("/r-off", [this](const httplib::Request&, httplib::Response& response) {
            response.set_redirect("http://localhost:" + std::to_string(server.port()) + "/final", 302);
        });
        http.Get("/to-never", [](const httplib::Request&, httplib::Response& response) {
            response.set_redirect("/never/r.html", 302);
        });
        http.Get(R"(/never/.*)", [this](const httplib::Request&, httplib::Response& response) {
            ++neverAsked;
            response.set_content(kPage.toStdString(), "text/html");
        });
        http.Get("/refresh-never", [](const httplib::Request&, httplib::Response& response) {
            response.set_header("Refresh", "2; url=/never/r.html");
            response.set_content(kPage.toStdString(), "text/html");
        });
        http.Get("/meta-never", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("<html>meta to never</html>", "text/html");
        });
        http.Get("/to-mail", [](const httplib::Request&, httplib::Response& response) {
            response.set_redirect("mailto:someone@example.org", 302);
        });
        http.Get("/refresh-later", [](const httplib::Request&, httplib::Response& response) {
            response.set_header("Refresh", "1; URL='/final'");
            response.set_content("<html>wait</html>", "text/html");
        });
        http.Get("/refresh-now", [](const httplib::Request&, httplib::Response& response) {
            response.set_header("Refresh", "0; url=/final");
            response.set_content(kPage.toStdString(), "text/html");
        });
        http.Get("/protected", [this](const httplib::Request& request, httplib::Response& response) {
            remember(request);
            if (request.get_header_value("Authorization")
                == "Basic " + QByteArray("ann:s3cret").toBase64().toStdString()) {
                response.set_content(kPage.toStdString(), "text/html");
                return;
            }
            response.status = 401;
            response.set_header("WWW-Authenticate", "Basic realm=\"members\"");
            response.set_content("denied", "text/plain");
        });
        http.Get("/photo.png", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(std::string(5000, 'p'), "image/png");
        });
        http.Get("/big", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(std::string(5000, 'x'), "text/html");
        });
        http.Get("/gzip", [](const httplib::Request&, httplib::Response& response) {
            const QByteArray compressed = readFixture(QStringLiteral("fetch/gzip-page.html.gz"));
            response.set_header("Content-Encoding", "gzip");
            response.set_content(compressed.toStdString(), "text/html");
        });
        http.Get("/set-cookie", [](const httplib::Request&, httplib::Response& response) {
            response.set_header("Set-Cookie", "crawlsession=abc123; Path=/");
            response.set_content(kPage.toStdString(), "text/html");
        });
        http.Get("/echo", [this](const httplib::Request& request, httplib::Response& response) {
            remember(request);
            response.set_content(kPage.toStdString(), "text/html");
        });
        http.Post("/session", [this](const httplib::Request& request, httplib::Response& response) {
            remember(request);
            response.set_content(kPage.toStdString(), "text/html");
        });
        http.Get("/proxy", [this](const httplib::Request& request, httplib::Response& response) {
            remember(request);
            response.set_content(kPage.toStdString(), "text/html");
        });
        ASSERT_TRUE(server.start());
        // A server stopped before its thread runs would never stop: wait until it listens.
        ASSERT_TRUE(crawlmere::platform::Dispatch::runUntil(
            [this] { return server.server().is_running(); }, std::chrono::seconds(10)));
        owner = std::make_shared<FetchOwner>();
    }

    void TearDown() override
    {
        EXPECT_EQ(owner->offMainHandOvers.load(), 0) << "a hand-over to the owner ran off the main thread";
        server.stop();
    }

    std::shared_ptr<CrwlUrl> makeRecord(const QString& url, const QVariantMap& values = {})
    {
        auto record = CrwlUrl::make(owner, makeSettings(values));
        record->setLinkURL(url);
        return record;
    }

    /// Sends the record and waits for `finishes` slot releases in all.
    void fetch(const std::shared_ptr<CrwlUrl>& record, int finishes = 1)
    {
        ASSERT_TRUE(record->sendAsyncServerRequest());
        EXPECT_EQ(record->getStatus(), -2);
        ASSERT_TRUE(owner->waitForFinished(finishes)) << "fetch of " << record->getLinkURL().toStdString() << " hung";
    }

    void remember(const httplib::Request& request)
    {
        std::lock_guard lock(seenLock);
        Seen one;
        one.method = request.method;
        one.body = request.body;
        one.contentType = request.get_header_value("Content-Type");
        one.referer = request.get_header_value("Referer");
        one.cookie = request.get_header_value("Cookie");
        one.authorization = request.get_header_value("Authorization");
        one.acceptLanguage = request.get_header_value("Accept-Language");
        one.custom = request.get_header_value("X-Check");
        one.params = request.params;
        seen.push_back(one);
    }
    std::vector<Seen> seenRequests()
    {
        std::lock_guard lock(seenLock);
        return seen;
    }

    LoopbackServer server;
    std::shared_ptr<FetchOwner> owner;
    std::mutex seenLock;
    std::vector<Seen> seen;
    std::atomic<int> neverAsked { 0 };
};

QVariantMap hop(const QString& url, qint64 status, qint32 reason)
{
    return CrwlUrl::makeRedirectHop(url, status, reason);
}

} // namespace

TEST_F(CrwlUrlFetchTest, OkPageIsCountedExtractedAndFinishedOnTheMainThread)
{
    const auto record = makeRecord(server.url(QStringLiteral("/ok")));
    fetch(record);
    EXPECT_EQ(record->getStatus(), 200);
    EXPECT_EQ(owner->names(),
        (QStringList {
            QStringLiteral("incNumberDone"), QStringLiteral("extractLinks"), QStringLiteral("threadHasFinished") }));
    for (const auto& event : owner->eventList())
        EXPECT_TRUE(event.onMainThread) << event.name.toStdString();
    ASSERT_EQ(owner->extractedBodies.size(), 1u);
    EXPECT_EQ(owner->extractedBodies.front(), kPage.toUtf8());
    EXPECT_EQ(record->mimeType(), QStringLiteral("text/html"));
    EXPECT_TRUE(record->isHTML());
    EXPECT_EQ(record->getFilesizeinbytes(), kPage.toUtf8().size());
    EXPECT_FALSE(record->getContentLengthUnavailable());
    EXPECT_EQ(record->getMethodOfLastRequest(), 1);
    EXPECT_EQ(record->getTryCount(), 1);
    EXPECT_FALSE(record->hasCurrentSession());
    EXPECT_EQ(owner->soft404Checks.load(), 1);
}

TEST_F(CrwlUrlFetchTest, ErrorStatusesAreKeptAndTheirBodiesNotRead)
{
    const auto missing = makeRecord(server.url(QStringLiteral("/missing")));
    fetch(missing);
    EXPECT_EQ(missing->getStatus(), 404);
    EXPECT_TRUE(missing->getData().isEmpty());

    const auto broken = makeRecord(server.url(QStringLiteral("/broken")));
    fetch(broken, 2);
    EXPECT_EQ(broken->getStatus(), 500);
    EXPECT_EQ(owner->count(QStringLiteral("incNumberDone")), 2);
    EXPECT_EQ(owner->count(QStringLiteral("extractLinks")), 0);
}

TEST_F(CrwlUrlFetchTest, SoftFourOhFourAnswerChangesTheStatus)
{
    owner->soft404Answer = true;
    const auto record = makeRecord(server.url(QStringLiteral("/ok")));
    fetch(record);
    EXPECT_EQ(record->getStatus(), -10);
}

TEST_F(CrwlUrlFetchTest, RedirectChainIsRecordedHopByHop)
{
    const auto record = makeRecord(server.url(QStringLiteral("/r1")));
    fetch(record);
    EXPECT_EQ(record->getStatus(), 200);
    const QVariantList expected = {
        hop(server.url(QStringLiteral("/r2")), 301, 0),
        hop(server.url(QStringLiteral("/final")), 302, 0),
    };
    EXPECT_EQ(record->redirectArray(), expected);
    EXPECT_EQ(record->getRedir(), server.url(QStringLiteral("/final")));
    ASSERT_EQ(owner->extractedBodies.size(), 1u);
    EXPECT_EQ(owner->extractedBodies.front(), QByteArray("<html><body>final</body></html>"));
}

TEST_F(CrwlUrlFetchTest, ThirteenHopsAreARecurringRedirect)
{
    const auto record = makeRecord(server.url(QStringLiteral("/loop/0")));
    fetch(record);
    EXPECT_EQ(record->getStatus(), -14);
    EXPECT_EQ(record->descriptionForStatusCode(-14), QStringLiteral("Recurring redirect"));
    EXPECT_EQ(record->getRedirectCount(), 13);
    EXPECT_EQ(owner->count(QStringLiteral("incNumberDone")), 1);
}

TEST_F(CrwlUrlFetchTest, ALoopBackToThePageItselfIsARecurringRedirect)
{
    // /ping -> /pong -> /ping ...: the hops back to the record's own URL are not in the chain.
    const auto record = makeRecord(server.url(QStringLiteral("/ping")));
    fetch(record);
    EXPECT_EQ(record->getStatus(), -14);
    EXPECT_EQ(record->descriptionForStatusCode(-14), QStringLiteral("Recurring redirect"));
    EXPECT_TRUE(record->getStatusDescription().startsWith(QStringLiteral("Recurring redirect")));
    EXPECT_EQ(owner->count(QStringLiteral("incNumberDone")), 1);
}

TEST_F(CrwlUrlFetchTest, RedirectToNowhereAndToAMailLink)
{
    RawSocketServer raw([](RawConnection& connection) {
        connection.readRequest();
        connection.send("HTTP/1.1 302 Found\r\nLocation: \r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        connection.close();
    });
    ASSERT_TRUE(raw.start());
    const auto nowhere = makeRecord(raw.url(QStringLiteral("/go")));
    fetch(nowhere);
    EXPECT_EQ(nowhere->getStatus(), -20);

    const auto mail = makeRecord(server.url(QStringLiteral("/to-mail")));
    fetch(mail, 2);
    EXPECT_EQ(mail->getStatus(), -4);
    EXPECT_EQ(owner->count(QStringLiteral("incNumberDone")), 2);
    EXPECT_EQ(owner->count(QStringLiteral("extractLinks")), 0);
}

TEST_F(CrwlUrlFetchTest, ARedirectToAUrlTheScanNeverRequestsIsNotFollowed)
{
    const auto record = makeRecord(server.url(QStringLiteral("/to-never")));
    fetch(record);
    EXPECT_EQ(neverAsked.load(), 0);
    EXPECT_EQ(record->getStatus(), 302);
    EXPECT_EQ(record->getRedir(), server.url(QStringLiteral("/never/r.html")));
    EXPECT_EQ(owner->count(QStringLiteral("incNumberDone")), 1);
    // Without a body of its own it is still handed on, for its target to be filed.
    EXPECT_EQ(owner->count(QStringLiteral("extractLinks")), 1);
}

namespace {

/// Every page is a meta refresh to a URL the scan never requests.
class MetaRefreshToNever : public FetchPageReader {
public:
    std::optional<QString> pageIsMetaRefresh(const QByteArray&) const override
    {
        return QStringLiteral("0; url=/never/m.html");
    }
    std::optional<LoginFormFields> readLoginForm(const QString&) const override { return std::nullopt; }
};

} // namespace

TEST_F(CrwlUrlFetchTest, ARefreshToAUrlTheScanNeverRequestsEndsAsARedirectThere)
{
    const auto header = makeRecord(server.url(QStringLiteral("/refresh-never")));
    fetch(header);
    EXPECT_EQ(header->finalURLString(), server.url(QStringLiteral("/never/r.html")));
    EXPECT_EQ(header->getStatus(), 200);

    FetchPageReader::install(std::make_shared<MetaRefreshToNever>());
    const auto meta = makeRecord(server.url(QStringLiteral("/meta-never")));
    fetch(meta, 2);
    FetchPageReader::install(nullptr);
    EXPECT_EQ(meta->finalURLString(), server.url(QStringLiteral("/never/m.html")));
    EXPECT_EQ(meta->getStatus(), 200);

    EXPECT_EQ(neverAsked.load(), 0);
    EXPECT_EQ(header->getTryCount() + meta->getTryCount(), 2);
    EXPECT_EQ(owner->count(QStringLiteral("extractLinks")), 2);
}

TEST_F(CrwlUrlFetchTest, InternalLinkRedirectingOffSiteBecomesExternalWithAWarning)
{
    const auto record = makeRecord(server.url(QStringLiteral("/r-off")));
    fetch(record);
    EXPECT_FALSE(record->isInternal());
    ASSERT_EQ(owner->warningRecords.size(), 1u);
    EXPECT_TRUE(owner->warningRecords.front().first.startsWith(
        QStringLiteral("This link url is internal but redirects to the external url http://localhost:")));
}

TEST_F(CrwlUrlFetchTest, RefreshHeaderWithADelayIsFollowedAndWithoutOneRecorded)
{
    const auto later = makeRecord(server.url(QStringLiteral("/refresh-later")));
    // The first fetch keeps its slot until the record is queued again; the second finishes it.
    fetch(later, 2);
    EXPECT_EQ(later->getStatus(), 200);
    EXPECT_EQ(later->redirectArray(), (QVariantList { hop(server.url(QStringLiteral("/final")), 200, 2) }));
    EXPECT_EQ(owner->names(),
        (QStringList { QStringLiteral("addToCheckQueue"), QStringLiteral("threadHasFinished"),
            QStringLiteral("incNumberDone"), QStringLiteral("extractLinks"), QStringLiteral("threadHasFinished") }));
    EXPECT_EQ(later->getTryCount(), 2);

    const auto now = makeRecord(server.url(QStringLiteral("/refresh-now")));
    fetch(now, 3);
    EXPECT_EQ(now->getStatus(), 200);
    EXPECT_EQ(now->redirectArray(), (QVariantList { hop(server.url(QStringLiteral("/final")), 200, 2) }));
    EXPECT_EQ(now->getTryCount(), 1);
    // Only the followed one landed elsewhere; the other's body is its own.
    EXPECT_EQ(later->finalURLString(), server.url(QStringLiteral("/final")));
    EXPECT_EQ(now->finalURLString(), now->absoluteString());
    EXPECT_EQ(now->followedRedirectCount(), 0);
}

TEST_F(CrwlUrlFetchTest, BasicAuthenticationWithAndWithoutCredentials)
{
    const auto withCredentials = makeRecord(server.url(QStringLiteral("/protected")),
        { { QStringLiteral("WebtallyAttemptAuthentication"), true },
            { QStringLiteral("authenticationusername"), QStringLiteral("ann") },
            { QStringLiteral("authenticationpassword"), QStringLiteral("s3cret") } });
    fetch(withCredentials);
    EXPECT_EQ(withCredentials->getStatus(), 200);

    const auto without = makeRecord(server.url(QStringLiteral("/protected")));
    fetch(without, 2);
    EXPECT_EQ(without->getStatus(), -18);
    EXPECT_EQ(without->descriptionForStatusCode(-18), QStringLiteral("Unauthorized"));
    EXPECT_EQ(owner->count(QStringLiteral("incNumberDone")), 2);
    EXPECT_EQ(owner->count(QStringLiteral("extractLinks")), 1);
}

TEST_F(CrwlUrlFetchTest, StalledServerTimesOutAndDroppedConnectionsFail)
{
    RawSocketServer stalling([](RawConnection& connection) {
        connection.readRequest();
        connection.hold(std::chrono::seconds(20));
    });
    ASSERT_TRUE(stalling.start());
    const auto stalled = makeRecord(stalling.url(QStringLiteral("/slow")), { { QStringLiteral("timeout"), 1 } });
    fetch(stalled);
    EXPECT_EQ(stalled->getStatus(), -14);
    EXPECT_FALSE(stalled->descriptionForStatusCode(-14).isEmpty());
    EXPECT_NE(stalled->descriptionForStatusCode(-14), QStringLiteral("Completed with error"));
    stalling.stop();

    RawSocketServer dropping([](RawConnection& connection) {
        connection.readRequest();
        connection.close();
    });
    ASSERT_TRUE(dropping.start());
    const auto dropped = makeRecord(dropping.url(QStringLiteral("/drop")));
    fetch(dropped, 2);
    EXPECT_EQ(dropped->getStatus(), -14);

    // A connection that drops after a 200 head keeps the 200; the cut body is not read.
    RawSocketServer cutting([](RawConnection& connection) {
        connection.readRequest();
        connection.send("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 1000\r\n\r\n<html><body>");
        connection.close();
    });
    ASSERT_TRUE(cutting.start());
    const auto cut = makeRecord(cutting.url(QStringLiteral("/cut")));
    fetch(cut, 3);
    EXPECT_EQ(cut->getStatus(), 200);
    EXPECT_EQ(owner->count(QStringLiteral("extractLinks")), 0);
    EXPECT_EQ(owner->count(QStringLiteral("incNumberDone")), 3);
}

TEST_F(CrwlUrlFetchTest, BodyOverTheCapSaysSoAndIsNotExtracted)
{
    // 100 KB of zeros in a few hundred bytes of gzip: decoded, it passes the cap.
    server.server().Get("/bomb", [](const httplib::Request&, httplib::Response& response) {
        response.set_header("Content-Encoding", "gzip");
        response.set_content(qCompressGzip(QByteArray(100000, '\0')).toStdString(), "text/html");
    });
    CrwlUrl::setMaxBodyBytes(1000);
    const auto record = makeRecord(server.url(QStringLiteral("/big")));
    fetch(record);
    const auto bomb = makeRecord(server.url(QStringLiteral("/bomb")));
    fetch(bomb, 2);
    CrwlUrl::setMaxBodyBytes(0);
    for (const auto& oversized : { record, bomb }) {
        EXPECT_EQ(oversized->getStatus(), -14);
        EXPECT_EQ(oversized->descriptionForStatusCode(-14),
            QStringLiteral("The body is larger than 1000 bytes; it was not read."));
        EXPECT_LE(oversized->getData().size(), 1000);
    }
    EXPECT_EQ(owner->count(QStringLiteral("incNumberDone")), 2);
    EXPECT_EQ(owner->count(QStringLiteral("extractLinks")), 0);
}

TEST_F(CrwlUrlFetchTest, EndlessTimeOutsAreClampedNotExpiredAtOnce)
{
    for (const QVariant& timeout :
        { QVariant(std::numeric_limits<double>::infinity()), QVariant(1e300), QVariant(QStringLiteral("1e300")) }) {
        const auto record = makeRecord(server.url(QStringLiteral("/ok")), { { QStringLiteral("timeout"), timeout } });
        EXPECT_DOUBLE_EQ(record->makeServerRequest().timeoutInterval, crawlmere::engine::kLongestTimeoutSeconds)
            << timeout.toString().toStdString();
    }
    const auto endless = makeRecord(
        server.url(QStringLiteral("/ok")), { { QStringLiteral("timeout"), std::numeric_limits<double>::infinity() } });
    fetch(endless);
    EXPECT_EQ(endless->getStatus(), 200);
    EXPECT_EQ(owner->count(QStringLiteral("extractLinks")), 1);
    for (const QVariant& timeout :
        { QVariant(0.0), QVariant(-5), QVariant(std::numeric_limits<double>::quiet_NaN()) }) {
        const auto record = makeRecord(server.url(QStringLiteral("/ok")), { { QStringLiteral("timeout"), timeout } });
        EXPECT_DOUBLE_EQ(record->makeServerRequest().timeoutInterval, 30.0) << timeout.toString().toStdString();
    }
}

TEST_F(CrwlUrlFetchTest, GzipBodyArrivesDecoded)
{
    const auto record = makeRecord(server.url(QStringLiteral("/gzip")));
    fetch(record);
    const QByteArray expected = readFixture(QStringLiteral("fetch/gzip-page.html"));
    ASSERT_EQ(owner->extractedBodies.size(), 1u);
    EXPECT_EQ(owner->extractedBodies.front(), expected);
    EXPECT_EQ(record->getFilesizeinbytes(), expected.size());
}

TEST_F(CrwlUrlFetchTest, LoadedImagesShowTheSizeOfTheirBody)
{
    // Unloaded, the size is the answer's Content-Length, marked as such; loaded, the body's.
    int fetches = 0;
    const auto sizeShown = [&](const QVariantMap& values) {
        const auto record = makeRecord(server.url(QStringLiteral("/photo.png")), values);
        fetch(record, ++fetches);
        EXPECT_EQ(record->getStatus(), 200);
        return record->getFileSize();
    };
    EXPECT_EQ(sizeShown({}), QStringLiteral("?4kb"));
    EXPECT_EQ(sizeShown({ { QStringLiteral("loadImages"), true } }), QStringLiteral("4kb"));
    EXPECT_EQ(sizeShown({ { QStringLiteral("loadImages"), false }, { QStringLiteral("shouldLoadImages"), true } }),
        QStringLiteral("?4kb"));
}

TEST_F(CrwlUrlFetchTest, CookiesSetByOneResponseGoWithTheNext)
{
    crawlmere::platform::CookieStore::deleteAllCookies();
    fetch(makeRecord(server.url(QStringLiteral("/set-cookie"))));
    fetch(makeRecord(server.url(QStringLiteral("/echo"))), 2);
    const auto requests = seenRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_NE(requests.front().cookie.find("crawlsession=abc123"), std::string::npos);
    crawlmere::platform::CookieStore::deleteAllCookies();
}

namespace {

/// A login page with one hidden field and a relative action.
class CannedLoginForm : public FetchPageReader {
public:
    std::optional<QString> pageIsMetaRefresh(const QByteArray&) const override { return std::nullopt; }
    std::optional<LoginFormFields> readLoginForm(const QString& url) const override
    {
        askedFor = url;
        LoginFormFields form;
        form.fields = {
            { { QStringLiteral("name"), QStringLiteral("csrf") }, { QStringLiteral("value"), QStringLiteral("stale") },
                { QStringLiteral("hidden"), true } },
            { { QStringLiteral("name"), QStringLiteral("visible") },
                { QStringLiteral("value"), QStringLiteral("no") } },
            { { QStringLiteral("name"), QStringLiteral("csrf") },
                { QStringLiteral("value"), QStringLiteral("ab+c/d==") }, { QStringLiteral("hidden"), true } },
        };
        form.action = QStringLiteral("/session%3Fstep=1");
        return form;
    }
    mutable QString askedFor;
};

} // namespace

TEST_F(CrwlUrlFetchTest, LoginPostBodyArrivesFormEncoded)
{
    const auto reader = std::make_shared<CannedLoginForm>();
    FetchPageReader::install(reader);
    const QString loginPage = server.url(QStringLiteral("/login"));
    const auto record = makeRecord(loginPage,
        { { QStringLiteral("WebtallyAttemptAuthentication"), true },
            { QStringLiteral("authenticationusernamefieldname"), QStringLiteral("user") },
            { QStringLiteral("authenticationusername"), QStringLiteral("a+b@c.d") },
            { QStringLiteral("authenticationpasswordfieldname"), QStringLiteral("pass") },
            { QStringLiteral("authenticationpassword"), QStringLiteral("p+w=&% é") },
            { QStringLiteral("customPostKey1"), QStringLiteral("x y") },
            { QStringLiteral("customPostValue1"), QStringLiteral("1+1=2") },
            { QStringLiteral("securityToken"), true } });
    record->setIsStartingPoint(true);
    fetch(record);
    FetchPageReader::install(nullptr);

    EXPECT_EQ(reader->askedFor, loginPage);
    const auto requests = seenRequests();
    ASSERT_EQ(requests.size(), 1u);
    const Seen& post = requests.front();
    EXPECT_EQ(post.method, "POST");
    EXPECT_EQ(post.contentType, "application/x-www-form-urlencoded");
    EXPECT_EQ(post.referer, loginPage.toStdString());
    EXPECT_EQ(post.body, "user=a%2Bb%40c.d&pass=p%2Bw%3D%26%25+%C3%A9&x+y=1%2B1%3D2&csrf=ab%2Bc%2Fd%3D%3D");
    // What a form decoder makes of it: every value intact.
    auto value = [&](const char* key) {
        const auto found = post.params.find(key);
        return found == post.params.end() ? std::string("<absent>") : found->second;
    };
    EXPECT_EQ(value("user"), "a+b@c.d");
    EXPECT_EQ(value("pass"), "p+w=&% é");
    EXPECT_EQ(value("x y"), "1+1=2");
    EXPECT_EQ(value("csrf"), "ab+c/d==");
    EXPECT_EQ(value("step"), "1");
    EXPECT_EQ(record->getMethodOfLastRequest(), 2);
    EXPECT_EQ(record->getStatus(), 200);
}

TEST_F(CrwlUrlFetchTest, RequestHeadersFromTheSettings)
{
    const auto start = makeRecord(server.url(QStringLiteral("/echo")),
        { { QStringLiteral("customHeaderKey1"), QStringLiteral("") },
            { QStringLiteral("customHeaderValue1"), QStringLiteral("ignored") },
            { QStringLiteral("customHeaderKey2"), QStringLiteral("X-Check") },
            { QStringLiteral("customHeaderValue2"), QStringLiteral("two") }, { QStringLiteral("timeout"), 0.5 } });
    start->setIsStartingPoint(true);
    const auto request = start->makeServerRequest();
    EXPECT_DOUBLE_EQ(request.timeoutInterval, 30.0);
    EXPECT_FALSE(request.headers.contains("Host"));
    EXPECT_EQ(request.valueForHTTPHeaderField("Connection"), QByteArray("close"));
    fetch(start);
    const auto requests = seenRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests.front().acceptLanguage, "*");
    EXPECT_EQ(requests.front().custom, "two");
    EXPECT_TRUE(requests.front().referer.empty());
    ASSERT_FALSE(owner->requestFields.isEmpty());
    EXPECT_TRUE(owner->requestFields.front().contains(QStringLiteral("X-Check: two")));

    const auto oneSecond = makeRecord(server.url(QStringLiteral("/echo")), { { QStringLiteral("timeout"), 1.0 } });
    EXPECT_DOUBLE_EQ(oneSecond->makeServerRequest().timeoutInterval, 1.0);

    // A linked page is requested with the page of its latest occurrence as Referer.
    const auto parent = makeRecord(server.url(QStringLiteral("/ok")));
    const auto instance = CrwlLinkInstance::make();
    instance->setParent(parent);
    instance->setTarget(oneSecond);
    oneSecond->addInboundInstance(instance);
    EXPECT_EQ(
        oneSecond->makeServerRequest().valueForHTTPHeaderField("Referer"), parent->getLinkUrlForTesting().toUtf8());
}

TEST_F(CrwlUrlFetchTest, ProxyCrawlTargetIsPercentEncoded)
{
    auto& defaults = UserDefaults::standard();
    const QString target = server.url(QStringLiteral("/ok?a=1&b=two words"));
    const auto record = makeRecord(target);
    defaults.setBool(true, QStringLiteral("useProxyCrawl"));
    defaults.setObject(QStringLiteral(""), QStringLiteral("proxyCrawlToken"));
    // Without a token the site is requested directly.
    EXPECT_EQ(record->makeServerRequest().url, record->getLinkUrlForTesting());

    defaults.setObject(QStringLiteral("t&k=1"), QStringLiteral("proxyCrawlToken"));
    defaults.setObject(server.url(QStringLiteral("/proxy")), QStringLiteral("proxyCrawlEndpoint"));
    fetch(record);
    defaults.removeObjectForKey(QStringLiteral("useProxyCrawl"));
    defaults.removeObjectForKey(QStringLiteral("proxyCrawlToken"));
    defaults.removeObjectForKey(QStringLiteral("proxyCrawlEndpoint"));

    const auto requests = seenRequests();
    ASSERT_EQ(requests.size(), 1u);
    ASSERT_EQ(requests.front().params.count("url"), 1u);
    EXPECT_EQ(QString::fromStdString(requests.front().params.find("url")->second), record->getLinkUrlForTesting());
    EXPECT_EQ(requests.front().params.find("token")->second, "t&k=1");
    EXPECT_EQ(requests.front().params.size(), 2u);
}

TEST_F(CrwlUrlFetchTest, FileUrlsExistingMissingAndFolders)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QFile page(folder.filePath(QStringLiteral("index.html")));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write(kPage.toUtf8());
    page.close();

    const auto existing = makeRecord(QStringLiteral("file://") + folder.filePath(QStringLiteral("index.html")));
    fetch(existing);
    EXPECT_EQ(existing->getStatus(), -15);
    EXPECT_TRUE(existing->isHTML());
    ASSERT_EQ(owner->extractedBodies.size(), 1u);
    EXPECT_EQ(owner->extractedBodies.front(), kPage.toUtf8());

    const auto missing = makeRecord(QStringLiteral("file://") + folder.filePath(QStringLiteral("absent.html")));
    fetch(missing, 2);
    EXPECT_EQ(missing->getStatus(), -8);
    EXPECT_EQ(missing->descriptionForStatusCode(-8), QStringLiteral("File doesn't exist"));

    // Devices and FIFOs are never opened (a FIFO without a writer would hold the fetch for
    // ever); a file over the cap is not read.
    const QString fifo = folder.filePath(QStringLiteral("pipe.html"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QFile large(folder.filePath(QStringLiteral("large.html")));
    ASSERT_TRUE(large.open(QIODevice::WriteOnly));
    ASSERT_TRUE(large.resize(5000));
    large.close();
    const auto pipe = makeRecord(QStringLiteral("file://") + fifo);
    fetch(pipe, 3);
    const auto zero = makeRecord(QStringLiteral("file:///dev/zero"));
    fetch(zero, 4);
    CrwlUrl::setMaxBodyBytes(1000);
    const auto oversized = makeRecord(QStringLiteral("file://") + large.fileName());
    fetch(oversized, 5);
    CrwlUrl::setMaxBodyBytes(0);
    for (const auto& special : { pipe, zero }) {
        EXPECT_EQ(special->getStatus(), -14);
        EXPECT_TRUE(special->descriptionForStatusCode(-14).contains(QStringLiteral("not a regular file")));
    }
    EXPECT_EQ(oversized->getStatus(), -14);
    EXPECT_EQ(oversized->descriptionForStatusCode(-14),
        QStringLiteral("The body is larger than 1000 bytes; it was not read."));
    EXPECT_EQ(owner->extractedBodies.size(), 1u);

    auto& defaults = UserDefaults::standard();
    defaults.setObject(QStringLiteral(" index.html\n"), QStringLiteral("defaultLocalFileName"));
    const auto directory = makeRecord(QStringLiteral("file://") + folder.path() + QStringLiteral("/"));
    const QString requested = directory->makeServerRequest().url;
    defaults.removeObjectForKey(QStringLiteral("defaultLocalFileName"));
    EXPECT_TRUE(requested.endsWith(QStringLiteral("/index.html"))) << requested.toStdString();
}

TEST_F(CrwlUrlFetchTest, UnlinkedFetchNeverReportsBack)
{
    RawSocketServer stalling([](RawConnection& connection) {
        connection.readRequest();
        connection.hold(std::chrono::seconds(20));
    });
    ASSERT_TRUE(stalling.start());
    const auto record = makeRecord(stalling.url(QStringLiteral("/slow")), { { QStringLiteral("timeout"), 1 } });
    ASSERT_TRUE(record->sendAsyncServerRequest());
    EXPECT_TRUE(record->hasCurrentSession());
    record->invalidateAndUnlinkSession();
    EXPECT_FALSE(record->hasCurrentSession());
    // Longer than the idle time-out: a live fetch would have ended by now.
    EXPECT_FALSE(owner->waitForFinished(1, std::chrono::milliseconds(2500)));
    EXPECT_TRUE(owner->names().isEmpty());
    EXPECT_EQ(record->getStatus(), -2);
}

TEST_F(CrwlUrlFetchTest, MetaRefreshTextHelpers)
{
    EXPECT_EQ(CrwlUrl::pullOutSecondsFromMetaRefreshURL(QStringLiteral(" 5 ; url=/next")), 5);
    EXPECT_EQ(CrwlUrl::pullOutSecondsFromMetaRefreshURL(QStringLiteral("5")), 0);
    EXPECT_EQ(
        CrwlUrl::pullOutURLFromMetaRefreshURL(QStringLiteral("0; URL='/next page'\n")), QStringLiteral("/next page"));
    EXPECT_EQ(CrwlUrl::pullOutURLFromMetaRefreshURL(QStringLiteral("url=\"/a\"")), QStringLiteral("/a"));
    EXPECT_FALSE(CrwlUrl::pullOutURLFromMetaRefreshURL(QStringLiteral("3; /next")));
    const auto resolved
        = CrwlUrl::makeNSURLFromString(QStringLiteral("../b c.html"), QStringLiteral("http://h.com/a/é/"));
    ASSERT_TRUE(resolved);
    EXPECT_EQ(resolved->absoluteString(), QStringLiteral("http://h.com/a/b%20c.html"));
}

TEST_F(CrwlUrlFetchTest, AShortAnswerNamingTheFirewallsResourceIsItsChallengePage)
{
    // The challenge page is tiny; a page that merely mentions the resource is an ordinary page.
    const QByteArray marker = "_Incapsula_Resource";
    const struct {
        qsizetype size;
        bool marked;
        qint64 status;
    } cases[] = {
        { marker.size(), true, CrwlStatus::blockedByFirewallService },
        { 249, true, CrwlStatus::blockedByFirewallService },
        { 250, true, 200 },
        { 249, false, 200 },
    };
    LoopbackServer firewall;
    firewall.server().Get("/challenge", [&](const httplib::Request& request, httplib::Response& response) {
        const auto& which = cases[std::stoi(request.get_param_value("case"))];
        QByteArray body = which.marked ? marker : QByteArray();
        body = body.leftJustified(which.size, ' ');
        response.set_content(body.toStdString(), "text/html");
    });
    ASSERT_TRUE(firewall.start());
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto record = makeRecord(firewall.url(QStringLiteral("/challenge?case=%1").arg(i)));
        fetch(record, int(i) + 1);
        EXPECT_EQ(record->getStatus(), cases[i].status) << cases[i].size << " bytes, marked " << cases[i].marked;
    }
}
