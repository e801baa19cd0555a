// URL sessions against in-process servers on 127.0.0.1: statuses, redirects decided by the
// delegate, the head decision, Basic challenges, idle time-outs, caps, dropped connections,
// cookies, content decoding, file URLs, synchronous loads, concurrency and cancellation.
#include "platform/CookieStore.h"
#include "platform/Dispatch.h"
#include "platform/UrlSession.h"
#include "platform/detail/CookieJar.h"
#include "support/LoopbackServer.h"
#include "support/SelfSignedCertificate.h"
#include "support/RawSocketServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QUrl>
#include <QtEndian>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <map>
#include <thread>

using namespace crawlmere::platform;
using crawlmere::test::LoopbackServer;
using crawlmere::test::RawConnection;
using crawlmere::test::RawSocketServer;
using namespace std::chrono_literals;

namespace {

// Generous bounds that only prove "did not hang".
constexpr auto kDidNotHang = 20s;

/// Everything a session's callbacks saw, filled from the callback thread.
struct Recording {
    std::mutex mutex;
    std::vector<QString> events;
    std::vector<std::pair<int, QString>> redirects;
    std::vector<AuthenticationChallenge> challenges;
    std::optional<UrlResponse> response;
    QByteArray data;
    std::optional<UrlTaskResult> result;
    std::atomic<bool> done { false };
    std::atomic<bool> ranOnMainThread { false };
    std::atomic<int> completions { 0 };

    void note(const QString& event)
    {
        if (Dispatch::isMainThread())
            ranOnMainThread = true;
        std::lock_guard lock(mutex);
        events.push_back(event);
    }
};

struct Options {
    std::function<RedirectDecision(const UrlResponse&, UrlRequest)> redirect;
    std::function<std::optional<UrlCredential>(const AuthenticationChallenge&)> challenge;
    ResponseDisposition disposition = ResponseDisposition::Allow;
    std::function<void(UrlSession&)> onFirstData;
    bool collectInResult = false; // leave didReceiveData unset
};

UrlSessionDelegate recordingDelegate(const std::shared_ptr<Recording>& rec, const Options& options)
{
    UrlSessionDelegate delegate;
    delegate.willPerformHTTPRedirection = [rec, options](UrlSession&, const UrlResponse& response, UrlRequest next) {
        rec->note(QStringLiteral("redirect %1").arg(response.statusCode));
        {
            std::lock_guard lock(rec->mutex);
            rec->redirects.emplace_back(response.statusCode, next.url);
        }
        return options.redirect ? options.redirect(response, next) : RedirectDecision::follow(next);
    };
    delegate.didReceiveChallenge = [rec, options](UrlSession&, const AuthenticationChallenge& challenge) {
        rec->note(QStringLiteral("challenge"));
        {
            std::lock_guard lock(rec->mutex);
            rec->challenges.push_back(challenge);
        }
        return options.challenge ? options.challenge(challenge) : std::nullopt;
    };
    delegate.didReceiveResponse = [rec, options](UrlSession&, const UrlResponse& response) {
        rec->note(QStringLiteral("response %1").arg(response.statusCode));
        std::lock_guard lock(rec->mutex);
        rec->response = response;
        return options.disposition;
    };
    if (!options.collectInResult) {
        delegate.didReceiveData = [rec, options](UrlSession& session, const QByteArray& chunk) {
            rec->note(QStringLiteral("data"));
            bool first = false;
            {
                std::lock_guard lock(rec->mutex);
                first = rec->data.isEmpty();
                rec->data += chunk;
            }
            if (first && options.onFirstData)
                options.onFirstData(session);
        };
    }
    delegate.didCompleteWithError = [rec](UrlSession&, const UrlTaskResult& result) {
        rec->note(QStringLiteral("complete"));
        {
            std::lock_guard lock(rec->mutex);
            rec->result = result;
        }
        ++rec->completions;
        rec->done = true;
    };
    return delegate;
}

std::shared_ptr<Recording> fetch(const UrlRequest& request, const Options& options = {})
{
    auto rec = std::make_shared<Recording>();
    std::shared_ptr<UrlSession> session = UrlSession::create(recordingDelegate(rec, options));
    session->start(request);
    EXPECT_TRUE(Dispatch::runUntil([&] { return rec->done.load(); }, kDidNotHang)) << request.url.toStdString();
    EXPECT_FALSE(rec->ranOnMainThread.load());
    return rec;
}

std::optional<UrlErrorCode> errorCode(const Recording& rec)
{
    if (!rec.result || !rec.result->error)
        return std::nullopt;
    return rec.result->error->code;
}

QByteArray gzip(const QByteArray& plain)
{
    // qCompress gives a 4-byte length, a 2-byte zlib head, raw deflate and a 4-byte checksum.
    const QByteArray zlib = qCompress(plain, 9);
    const QByteArray deflate = zlib.mid(6, zlib.size() - 10);
    std::array<quint32, 256> table {};
    for (quint32 i = 0; i < 256; ++i) {
        quint32 c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    quint32 crc = 0xFFFFFFFFu;
    for (char byte : plain)
        crc = table[(crc ^ static_cast<quint8>(byte)) & 0xFF] ^ (crc >> 8);
    crc ^= 0xFFFFFFFFu;
    QByteArray out("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff", 10);
    out += deflate;
    quint32 le = qToLittleEndian(crc);
    out.append(reinterpret_cast<const char*>(&le), 4);
    le = qToLittleEndian(static_cast<quint32>(plain.size()));
    out.append(reinterpret_cast<const char*>(&le), 4);
    return out;
}

#ifdef CRAWLMERE_HAVE_BROTLI_ENCODER
QByteArray brotli(const QByteArray& plain)
{
    QByteArray out(qsizetype(BrotliEncoderMaxCompressedSize(size_t(plain.size()))), '\0');
    size_t size = size_t(out.size());
    if (!BrotliEncoderCompress(5, BROTLI_DEFAULT_WINDOW, BROTLI_MODE_GENERIC, size_t(plain.size()),
            reinterpret_cast<const uint8_t*>(plain.constData()), &size, reinterpret_cast<uint8_t*>(out.data())))
        return {};
    out.truncate(qsizetype(size));
    return out;
}
#endif

std::string text(const QByteArray& bytes) { return bytes.toStdString(); }

void echoRequest(const httplib::Request& req, httplib::Response& res)
{
    std::string out = "method=" + req.method + "\n";
    out += "host=" + req.get_header_value("Host") + "\n";
    out += "length=" + req.get_header_value("Content-Length") + "\n";
    out += "agent=" + req.get_header_value("User-Agent") + "\n";
    out += "test=" + req.get_header_value("X-Test") + "\n";
    out += "type=" + req.get_header_value("Content-Type") + "\n";
    out += "encoding=" + req.get_header_value("Accept-Encoding") + "\n";
    out += "cookie=" + req.get_header_value("Cookie") + "\n";
    out += "body=" + req.body;
    res.set_content(out, "text/plain");
}

class UrlSessionTest : public testing::Test {
protected:
    static void SetUpTestSuite() { UrlSession::globalInit(); }
    static void TearDownTestSuite() { UrlSession::shutdown(); }
    // Closing the network layer's idle connections lets the test server stop at once.
    void TearDown() override { UrlSession::shutdown(); }

    void SetUp() override
    {
        auto& s = m_server.server();
        s.Get("/ok", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("Set-Cookie", "first=1; Path=/never");
            res.set_header("Set-Cookie", "second=2; Path=/never");
            res.set_header("X-Custom", "yes");
            res.set_content("<p>caf\xe9</p>", "text/html; charset=\"ISO-8859-1\"");
        });
        s.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("gone", "text/plain");
        });
        s.Get("/boom", [](const httplib::Request&, httplib::Response& res) {
            res.status = 500;
            res.set_content("broken", "text/plain");
        });
        s.Get("/echo", echoRequest);
        s.Post("/echo", echoRequest);
        s.Get("/r1", [this](const httplib::Request&, httplib::Response& res) {
            res.set_redirect(m_server.url(QStringLiteral("/r2")).toStdString(), 301);
        });
        s.Get("/r2", [](const httplib::Request&, httplib::Response& res) {
            res.status = 302;
            res.set_header("Location", "final?from=r2");
        });
        s.Get("/final", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content("arrived " + req.get_param_value("from"), "text/plain");
        });
        s.Post("/see-other", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/echo", 303); });
        s.Post("/temporary", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/echo", 307); });
        s.Post("/found", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/echo", 302); });
        s.Get("/loop", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/loop", 302); });
        s.Get("/nowhere", [](const httplib::Request&, httplib::Response& res) {
            res.status = 302;
            res.set_header("Location", "");
            res.set_content("redirect body", "text/plain");
        });
        s.Get("/to-file", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("file:///etc/hostname", 302);
        });
        s.Get("/big", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(1024 * 1024, 'b'), "application/octet-stream");
        });
        s.Get("/many-headers", [](const httplib::Request&, httplib::Response& res) {
            for (int i = 0; i < 200; ++i)
                res.set_header("X-Fill-" + std::to_string(i), std::string(1000, 'h'));
            res.set_content("small", "text/plain");
        });
        s.Get("/secret", [this](const httplib::Request& req, httplib::Response& res) {
            ++m_secretHits;
            if (req.get_header_value("Authorization") == "Basic dXNlcjpwYXNz") { // user:pass
                res.set_content("welcome", "text/plain");
                return;
            }
            res.status = 401;
            res.set_header("WWW-Authenticate", "Basic realm=\"Members Only\"");
            res.set_content("denied", "text/plain");
        });
        s.Get("/bearer", [](const httplib::Request&, httplib::Response& res) {
            res.status = 401;
            res.set_header("WWW-Authenticate", "Bearer realm=\"api\"");
            res.set_content("token please", "text/plain");
        });
        s.Get("/set-cookies", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("Set-Cookie", "kept=yes; Max-Age=3600; Path=/");
            res.set_header("Set-Cookie", "session=only; Path=/");
            res.set_content("set", "text/plain");
        });
        // Page N of a hostile site: 40 persistent cookies of 1 KB, named after the page.
        s.Get(R"(/flood/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
            const std::string filler(1000, 'x');
            for (int i = 0; i < 40; ++i)
                res.set_header("Set-Cookie", "f" + req.matches[1].str() + "c" + std::to_string(i) + "=" + filler + "; Max-Age=31536000; Path=/");
            res.set_content("flood", "text/plain");
        });
        s.Get("/set-private", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("Set-Cookie", "private=1; Max-Age=3600; Path=/");
            res.set_content("set", "text/plain");
        });
        s.Get("/gzip", [this](const httplib::Request&, httplib::Response& res) {
            res.set_header("Content-Encoding", "gzip");
            const QByteArray packed = gzip(m_gzipPlain);
            // A type the test server never compresses on its own.
            res.set_content(std::string(packed.constData(), static_cast<size_t>(packed.size())), "application/x-test");
        });
        s.Get("/n", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content("number " + req.get_param_value("i"), "text/plain");
        });
        ASSERT_TRUE(m_server.start());
    }

    UrlRequest request(const QString& path, double timeout = 10.0) const
    {
        return UrlRequest(m_server.url(path), timeout);
    }

    LoopbackServer m_server;
    std::atomic<int> m_secretHits { 0 };
    QByteArray m_gzipPlain = QByteArray("<html>").repeated(1) + QByteArray("compressible text ").repeated(500) + "</html>";
};

// --- Statuses, headers and the request as sent ------------------------------------------------

TEST_F(UrlSessionTest, StatusCodesReasonsAndHeaderFields)
{
    auto ok = fetch(request(QStringLiteral("/ok")));
    ASSERT_TRUE(ok->response);
    EXPECT_FALSE(errorCode(*ok));
    EXPECT_EQ(ok->response->statusCode, 200);
    EXPECT_TRUE(ok->response->isHttp);
    EXPECT_EQ(ok->response->reasonPhrase, QStringLiteral("OK"));
    EXPECT_EQ(ok->response->url, m_server.url(QStringLiteral("/ok")));
    EXPECT_EQ(ok->response->mimeType, QStringLiteral("text/html"));
    EXPECT_EQ(ok->response->textEncodingName, QStringLiteral("iso-8859-1"));
    EXPECT_EQ(ok->response->allHeaderFields.values("set-COOKIE").size(), 2);
    EXPECT_EQ(ok->response->allHeaderFields.value("x-custom"), QByteArray("yes"));
    // The server may compress; the expected length is the one it declared, the data is decoded.
    EXPECT_EQ(ok->response->expectedContentLength, ok->response->allHeaderFields.value("Content-Length").toLongLong());
    EXPECT_GT(ok->response->expectedContentLength, 0);
    EXPECT_EQ(ok->data, QByteArray("<p>caf\xe9</p>"));
    EXPECT_EQ(ok->result->bodyBytes, 11);
    EXPECT_EQ(ok->events.front(), QStringLiteral("response 200"));
    EXPECT_EQ(ok->events.back(), QStringLiteral("complete"));

    auto missing = fetch(request(QStringLiteral("/missing")));
    ASSERT_TRUE(missing->response);
    EXPECT_EQ(missing->response->statusCode, 404);
    EXPECT_EQ(missing->response->reasonPhrase, QStringLiteral("Not Found"));
    EXPECT_EQ(missing->data, QByteArray("gone"));
    EXPECT_FALSE(errorCode(*missing)); // an HTTP error status is a response, not a failure

    auto boom = fetch(request(QStringLiteral("/boom")));
    ASSERT_TRUE(boom->response);
    EXPECT_EQ(boom->response->statusCode, 500);
    EXPECT_EQ(boom->data, QByteArray("broken"));
}

TEST_F(UrlSessionTest, RequestGoesOutWithItsMethodHeadersAndBodyButNoHandMadeHostOrLength)
{
    UrlRequest post = request(QStringLiteral("/echo"));
    post.httpMethod = "POST";
    post.httpBody = "token=a%2Bb%3D&x=1";
    post.userAgent = QStringLiteral("CrawlmereTest/1.0");
    post.setValue("evil.invalid", "Host");
    post.setValue("999", "Content-Length");
    post.setValue("checked", "X-Test");
    post.setValue("application/x-www-form-urlencoded", "Content-Type");
    Options options;
    options.collectInResult = true;
    auto rec = fetch(post, options);
    ASSERT_TRUE(rec->result);
    const QByteArray echo = rec->result->body;
    EXPECT_TRUE(echo.contains("method=POST\n")) << text(echo);
    EXPECT_TRUE(echo.contains("host=127.0.0.1:" + QByteArray::number(m_server.port()) + "\n")) << text(echo);
    EXPECT_TRUE(echo.contains("length=18\n")) << text(echo);
    EXPECT_TRUE(echo.contains("agent=CrawlmereTest/1.0\n")) << text(echo);
    EXPECT_TRUE(echo.contains("test=checked\n")) << text(echo);
    EXPECT_TRUE(echo.contains("body=token=a%2Bb%3D&x=1")) << text(echo);
}

// --- Redirects --------------------------------------------------------------------------------

TEST_F(UrlSessionTest, RedirectChainIsOfferedHopByHopAndFollowed)
{
    auto rec = fetch(request(QStringLiteral("/r1")));
    ASSERT_EQ(rec->redirects.size(), 2u);
    EXPECT_EQ(rec->redirects[0].first, 301);
    EXPECT_EQ(rec->redirects[0].second, m_server.url(QStringLiteral("/r2")));
    EXPECT_EQ(rec->redirects[1].first, 302);
    EXPECT_EQ(rec->redirects[1].second, m_server.url(QStringLiteral("/final?from=r2"))); // relative, resolved
    ASSERT_TRUE(rec->response);
    EXPECT_EQ(rec->response->statusCode, 200);
    EXPECT_EQ(rec->response->url, m_server.url(QStringLiteral("/final?from=r2")));
    EXPECT_EQ(rec->data, QByteArray("arrived r2"));
    EXPECT_EQ(rec->result->redirectCount, 2);
    EXPECT_FALSE(errorCode(*rec));
}

TEST_F(UrlSessionTest, PostBecomesGetOn302And303AndStaysPostOn307)
{
    for (const char* path : { "/see-other", "/found" }) {
        UrlRequest post = request(QString::fromLatin1(path));
        post.httpMethod = "POST";
        post.httpBody = "a=1";
        post.setValue("application/x-www-form-urlencoded", "Content-Type");
        auto rec = fetch(post);
        EXPECT_TRUE(rec->data.contains("method=GET\n")) << path << text(rec->data);
        EXPECT_TRUE(rec->data.endsWith("body=")) << path << text(rec->data);
        EXPECT_TRUE(rec->data.contains("type=\n")) << path << text(rec->data);
    }
    UrlRequest post = request(QStringLiteral("/temporary"));
    post.httpMethod = "POST";
    post.httpBody = "a=1";
    auto rec = fetch(post);
    ASSERT_EQ(rec->redirects.size(), 1u);
    EXPECT_EQ(rec->redirects[0].first, 307);
    EXPECT_TRUE(rec->data.contains("method=POST\n")) << text(rec->data);
    EXPECT_TRUE(rec->data.endsWith("body=a=1")) << text(rec->data);
}

TEST_F(UrlSessionTest, TheDelegateMayChangeTheFollowedRequest)
{
    Options options;
    options.redirect = [](const UrlResponse&, UrlRequest next) {
        next.setValue("added-on-redirect", "X-Test");
        next.url.replace(QStringLiteral("/r2"), QStringLiteral("/echo"));
        return RedirectDecision::follow(next);
    };
    auto rec = fetch(request(QStringLiteral("/r1")), options);
    EXPECT_TRUE(rec->data.contains("test=added-on-redirect\n")) << text(rec->data);
}

TEST_F(UrlSessionTest, ARefusedRedirectIsTheResponseAndACancelledOneEndsCancelled)
{
    Options refuse;
    refuse.redirect = [](const UrlResponse&, UrlRequest) { return RedirectDecision::refuse(); };
    auto refused = fetch(request(QStringLiteral("/nowhere")), refuse);
    ASSERT_TRUE(refused->response);
    EXPECT_EQ(refused->response->statusCode, 302);
    EXPECT_EQ(refused->data, QByteArray("redirect body"));
    EXPECT_FALSE(errorCode(*refused));

    Options cancel;
    cancel.redirect = [](const UrlResponse&, UrlRequest) { return RedirectDecision::cancel(); };
    auto cancelled = fetch(request(QStringLiteral("/r1")), cancel);
    EXPECT_EQ(errorCode(*cancelled), UrlErrorCode::Cancelled);
    EXPECT_FALSE(cancelled->response);
    EXPECT_TRUE(cancelled->data.isEmpty());
    EXPECT_EQ(cancelled->completions.load(), 1);
}

TEST_F(UrlSessionTest, AnEmptyLocationIsOfferedAsARedirectToNothing)
{
    Options options;
    options.redirect = [](const UrlResponse&, UrlRequest next) {
        return next.url.isEmpty() ? RedirectDecision::cancel() : RedirectDecision::follow(next);
    };
    auto rec = fetch(request(QStringLiteral("/nowhere")), options);
    ASSERT_EQ(rec->redirects.size(), 1u);
    EXPECT_TRUE(rec->redirects[0].second.isEmpty());
    EXPECT_EQ(errorCode(*rec), UrlErrorCode::Cancelled);

    // Followed anyway, the empty URL ends the task instead of requesting something.
    auto followed = fetch(request(QStringLiteral("/nowhere")));
    EXPECT_EQ(errorCode(*followed), UrlErrorCode::BadUrl);
}

TEST_F(UrlSessionTest, RedirectCapEndsALoopAndNetworkToFileRedirectsAreRefused)
{
    UrlRequest looping = request(QStringLiteral("/loop"));
    looping.maxRedirects = 3;
    auto rec = fetch(looping);
    EXPECT_EQ(rec->redirects.size(), 3u);
    EXPECT_EQ(errorCode(*rec), UrlErrorCode::TooManyRedirects);
    EXPECT_EQ(rec->result->redirectCount, 3);

    auto toFile = fetch(request(QStringLiteral("/to-file")));
    ASSERT_EQ(toFile->redirects.size(), 1u);
    EXPECT_EQ(toFile->redirects[0].second, QStringLiteral("file:///etc/hostname"));
    EXPECT_EQ(errorCode(*toFile), UrlErrorCode::UnsupportedUrl);
    EXPECT_TRUE(toFile->data.isEmpty());
}

// --- The decision after the head ---------------------------------------------------------------

TEST_F(UrlSessionTest, CancellingAtTheHeadStopsBeforeAnyBodyByte)
{
    Options options;
    options.disposition = ResponseDisposition::Cancel;
    auto rec = fetch(request(QStringLiteral("/big")), options);
    ASSERT_TRUE(rec->response);
    EXPECT_EQ(rec->response->statusCode, 200);
    EXPECT_EQ(rec->response->expectedContentLength, 1024 * 1024);
    EXPECT_EQ(errorCode(*rec), UrlErrorCode::Cancelled);
    EXPECT_TRUE(rec->data.isEmpty());
    EXPECT_EQ(rec->result->bodyBytes, 0);
    EXPECT_EQ(rec->completions.load(), 1);
}

// --- Authentication ----------------------------------------------------------------------------

TEST_F(UrlSessionTest, BasicChallengeAnsweredOnceWithTheDelegatesCredential)
{
    Options options;
    options.challenge = [](const AuthenticationChallenge&) { return UrlCredential { "user", "pass" }; };
    auto rec = fetch(request(QStringLiteral("/secret")), options);
    ASSERT_EQ(rec->challenges.size(), 1u);
    EXPECT_EQ(rec->challenges[0].realm, QStringLiteral("Members Only"));
    EXPECT_EQ(rec->challenges[0].host, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(rec->challenges[0].failureResponse.statusCode, 401);
    ASSERT_TRUE(rec->response);
    EXPECT_EQ(rec->response->statusCode, 200);
    EXPECT_EQ(rec->data, QByteArray("welcome"));
    EXPECT_EQ(m_secretHits.load(), 2); // no credential sent before the challenge
}

TEST_F(UrlSessionTest, BasicChallengeWithoutCredentialEndsAsUnanswered)
{
    auto rec = fetch(request(QStringLiteral("/secret")));
    EXPECT_EQ(rec->challenges.size(), 1u);
    EXPECT_EQ(errorCode(*rec), UrlErrorCode::AuthenticationRequired);
    EXPECT_FALSE(rec->response); // the 401 never went to didReceiveResponse
    ASSERT_TRUE(rec->result->response);
    EXPECT_EQ(rec->result->response->statusCode, 401);
    EXPECT_TRUE(rec->data.isEmpty());
}

TEST_F(UrlSessionTest, AWrongCredentialIsTriedOnceThenThe401IsTheResponse)
{
    Options options;
    options.challenge = [](const AuthenticationChallenge&) { return UrlCredential { "user", "wrong" }; };
    auto rec = fetch(request(QStringLiteral("/secret")), options);
    EXPECT_EQ(rec->challenges.size(), 1u);
    ASSERT_TRUE(rec->response);
    EXPECT_EQ(rec->response->statusCode, 401);
    EXPECT_EQ(rec->data, QByteArray("denied"));
    EXPECT_FALSE(errorCode(*rec));
    EXPECT_EQ(m_secretHits.load(), 2);

    auto bearer = fetch(request(QStringLiteral("/bearer")), options);
    EXPECT_TRUE(bearer->challenges.empty()); // only Basic is offered as a challenge
    ASSERT_TRUE(bearer->response);
    EXPECT_EQ(bearer->response->statusCode, 401);
}

// --- Time-outs, caps and broken servers ---------------------------------------------------------

TEST_F(UrlSessionTest, AServerThatStallsMidBodyHitsTheIdleTimeout)
{
    RawSocketServer stall([](RawConnection& connection) {
        if (connection.readRequest().isEmpty())
            return;
        connection.send("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 1000\r\n\r\nfirst part");
        connection.hold(30s);
    });
    ASSERT_TRUE(stall.start());
    auto rec = fetch(UrlRequest(stall.url(QStringLiteral("/stall")), 1.0));
    EXPECT_EQ(errorCode(*rec), UrlErrorCode::TimedOut);
    ASSERT_TRUE(rec->response);
    EXPECT_EQ(rec->response->statusCode, 200);
    EXPECT_EQ(rec->data, QByteArray("first part"));
}

TEST_F(UrlSessionTest, AServerThatNeverAnswersHitsTheIdleTimeoutWithoutAResponse)
{
    RawSocketServer silent([](RawConnection& connection) {
        connection.readRequest();
        connection.hold(30s);
    });
    ASSERT_TRUE(silent.start());
    auto rec = fetch(UrlRequest(silent.url(QStringLiteral("/silent")), 1.0));
    EXPECT_EQ(errorCode(*rec), UrlErrorCode::TimedOut);
    EXPECT_FALSE(rec->response);
}

TEST_F(UrlSessionTest, ASlowHeadDecisionIsNotCountedAsIdleness)
{
    RawSocketServer server([](RawConnection& connection) {
        if (connection.readRequest().isEmpty())
            return;
        connection.send("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nbody");
        connection.hold(5s); // keep the connection, so only the decision delays the body
    });
    ASSERT_TRUE(server.start());
    UrlSessionDelegate delegate;
    auto rec = std::make_shared<Recording>();
    delegate = recordingDelegate(rec, {});
    auto recordResponse = delegate.didReceiveResponse;
    delegate.didReceiveResponse = [recordResponse](UrlSession& session, const UrlResponse& response) {
        std::this_thread::sleep_for(2500ms); // well beyond the 1 s idle time-out
        return recordResponse(session, response);
    };
    std::shared_ptr<UrlSession> session = UrlSession::create(std::move(delegate));
    session->start(UrlRequest(server.url(), 1.0));
    ASSERT_TRUE(Dispatch::runUntil([&] { return rec->done.load(); }, kDidNotHang));
    EXPECT_FALSE(errorCode(*rec));
    EXPECT_EQ(rec->data, QByteArray("body"));
}

TEST_F(UrlSessionTest, ASlowButSteadyBodyOutlastsTheIdleTimeout)
{
    RawSocketServer trickle([](RawConnection& connection) {
        if (connection.readRequest().isEmpty())
            return;
        connection.send("HTTP/1.1 200 OK\r\nContent-Length: 8\r\n\r\n");
        for (int i = 0; i < 8; ++i) {
            connection.hold(350ms);
            connection.send("x");
        }
    });
    ASSERT_TRUE(trickle.start());
    // About 2.8 s in all, against an idle time-out of 1 s.
    auto rec = fetch(UrlRequest(trickle.url(QStringLiteral("/trickle")), 1.0));
    EXPECT_FALSE(errorCode(*rec)) << rec->result->error->localizedDescription.toStdString();
    EXPECT_EQ(rec->data, QByteArray("xxxxxxxx"));
}

TEST_F(UrlSessionTest, BodyAndHeaderCapsEndTheTaskWithARecordedResult)
{
    UrlRequest capped = request(QStringLiteral("/big"));
    capped.maxBodyBytes = 1000;
    auto body = fetch(capped);
    EXPECT_EQ(errorCode(*body), UrlErrorCode::BodyTooLarge);
    EXPECT_EQ(body->data.size(), 1000);
    EXPECT_EQ(body->result->bodyBytes, 1000);

    auto headers = fetch(request(QStringLiteral("/many-headers"))); // ~200 KB against 64 KB
    EXPECT_EQ(errorCode(*headers), UrlErrorCode::HeaderTooLarge);
    EXPECT_FALSE(headers->response);

    UrlRequest roomy = request(QStringLiteral("/many-headers"));
    roomy.maxHeaderBytes = 512 * 1024;
    auto fits = fetch(roomy);
    EXPECT_FALSE(errorCode(*fits));
    ASSERT_TRUE(fits->response);
    EXPECT_EQ(fits->response->allHeaderFields.value("x-fill-199").size(), 1000);
}

TEST_F(UrlSessionTest, DroppedConnectionsAndGarbageAreTransportErrors)
{
    RawSocketServer server([](RawConnection& connection) {
        const QByteArray head = connection.readRequest();
        if (head.startsWith("GET /mid-body")) {
            connection.send("HTTP/1.1 200 OK\r\nContent-Length: 500\r\n\r\nonly this");
        } else if (head.startsWith("GET /garbage")) {
            connection.send("this is not http at all\r\n\r\n");
        }
        connection.close(); // "/before-head" gets nothing at all
    });
    ASSERT_TRUE(server.start());

    auto before = fetch(UrlRequest(server.url(QStringLiteral("/before-head")), 5.0));
    EXPECT_EQ(errorCode(*before), UrlErrorCode::NetworkConnectionLost);
    EXPECT_FALSE(before->response);

    auto mid = fetch(UrlRequest(server.url(QStringLiteral("/mid-body")), 5.0));
    EXPECT_EQ(errorCode(*mid), UrlErrorCode::NetworkConnectionLost);
    ASSERT_TRUE(mid->response);
    EXPECT_EQ(mid->response->statusCode, 200);
    EXPECT_EQ(mid->data, QByteArray("only this"));

    auto garbage = fetch(UrlRequest(server.url(QStringLiteral("/garbage")), 5.0));
    EXPECT_EQ(errorCode(*garbage), UrlErrorCode::BadServerResponse);

    // Nothing listens on a port that was just closed.
    const QString closedUrl = server.url(QStringLiteral("/"));
    server.stop();
    auto refused = fetch(UrlRequest(closedUrl, 5.0));
    EXPECT_EQ(errorCode(*refused), UrlErrorCode::CannotConnectToHost);
}

TEST_F(UrlSessionTest, BadAndUnsupportedUrlsCompleteWithoutATransfer)
{
    auto empty = fetch(UrlRequest(QString(), 5.0));
    EXPECT_EQ(errorCode(*empty), UrlErrorCode::BadUrl);
    auto ftp = fetch(UrlRequest(QStringLiteral("ftp://127.0.0.1/file"), 5.0));
    EXPECT_EQ(errorCode(*ftp), UrlErrorCode::UnsupportedUrl);
    auto mail = fetch(UrlRequest(QStringLiteral("mailto:someone@127.0.0.1"), 5.0));
    EXPECT_EQ(errorCode(*mail), UrlErrorCode::UnsupportedUrl);
}

TEST_F(UrlSessionTest, ResponsesWithoutBodyCompleteAfterTheDecision)
{
    // The transfer is over before the decision comes back; the result waits for it.
    UrlRequest head = request(QStringLiteral("/ok"));
    head.httpMethod = "HEAD";
    auto allowed = fetch(head);
    EXPECT_FALSE(errorCode(*allowed));
    ASSERT_TRUE(allowed->response);
    EXPECT_EQ(allowed->response->statusCode, 200);
    EXPECT_TRUE(allowed->data.isEmpty());

    Options cancel;
    cancel.disposition = ResponseDisposition::Cancel;
    auto cancelled = fetch(head, cancel);
    EXPECT_EQ(errorCode(*cancelled), UrlErrorCode::Cancelled);
}

TEST_F(UrlSessionTest, RequestsGoThroughTheGivenHttpProxy)
{
    std::mutex mutex;
    QByteArray seen;
    RawSocketServer proxy([&](RawConnection& connection) {
        const QByteArray head = connection.readRequest();
        {
            std::lock_guard lock(mutex);
            seen = head;
        }
        connection.send("HTTP/1.1 200 OK\r\nContent-Length: 7\r\nConnection: close\r\n\r\nproxied");
        connection.close();
    });
    ASSERT_TRUE(proxy.start());
    // The target is never resolved: an HTTP proxy gets the whole URL in the request line.
    UrlRequest viaProxy(QStringLiteral("http://site.invalid/page?x=1"), 5.0);
    viaProxy.proxy = HttpProxy { QStringLiteral("127.0.0.1"), proxy.port() };
    auto rec = fetch(viaProxy);
    EXPECT_FALSE(errorCode(*rec));
    EXPECT_EQ(rec->data, QByteArray("proxied"));
    std::lock_guard lock(mutex);
    EXPECT_TRUE(seen.startsWith("GET http://site.invalid/page?x=1 HTTP/1.1\r\n")) << text(seen);
    EXPECT_TRUE(seen.contains("\r\nHost: site.invalid\r\n")) << text(seen);
}

// --- Cookies and content decoding ---------------------------------------------------------------

TEST_F(UrlSessionTest, CookiesGoWithTheNextRequestAndOutliveAReload)
{
    CookieStore::deleteAllCookies();
    fetch(request(QStringLiteral("/set-cookies")));
    auto echo = fetch(request(QStringLiteral("/echo")));
    EXPECT_TRUE(echo->data.contains("kept=yes")) << text(echo->data);
    EXPECT_TRUE(echo->data.contains("session=only")) << text(echo->data);

    // With the switch off the store is neither read nor written.
    UrlRequest noCookies = request(QStringLiteral("/echo"));
    noCookies.httpShouldHandleCookies = false;
    auto bare = fetch(noCookies);
    EXPECT_TRUE(bare->data.contains("cookie=\n")) << text(bare->data);
    UrlRequest privateSet = request(QStringLiteral("/set-private"));
    privateSet.httpShouldHandleCookies = false;
    fetch(privateSet);
    for (const HttpCookie& cookie : CookieStore::allCookies())
        EXPECT_NE(cookie.name, QStringLiteral("private"));

    ASSERT_TRUE(CookieStore::save());
    QFile file(CookieStore::storePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray saved = file.readAll();
    EXPECT_TRUE(saved.contains("kept\tyes"));
    EXPECT_FALSE(saved.contains("session")); // session cookies end with the run

    CookieStore::deleteAllCookies();
    auto cleared = fetch(request(QStringLiteral("/echo")));
    EXPECT_TRUE(cleared->data.contains("cookie=\n")) << text(cleared->data);

    ASSERT_TRUE(CookieStore::reload());
    auto reloaded = fetch(request(QStringLiteral("/echo")));
    EXPECT_TRUE(reloaded->data.contains("cookie=kept=yes\n")) << text(reloaded->data);

    // A cookie put in by hand (as a login window would) goes out too.
    HttpCookie login;
    login.domain = QStringLiteral("127.0.0.1");
    login.name = QStringLiteral("login");
    login.value = QStringLiteral("token");
    CookieStore::setCookie(login);
    auto withLogin = fetch(request(QStringLiteral("/echo")));
    EXPECT_TRUE(withLogin->data.contains("login=token")) << text(withLogin->data);
    CookieStore::deleteAllCookies();
}

TEST_F(UrlSessionTest, ACookieFloodKeepsTheStoreWithinItsLimitsAndTheLoginCookie)
{
    CookieStore::deleteAllCookies();
    HttpCookie login;
    login.domain = QStringLiteral("login.example");
    login.name = QStringLiteral("login");
    login.value = QStringLiteral("keep-me");
    login.expires = 4102444800; // 2100
    CookieStore::setCookie(login);
    ASSERT_TRUE(CookieStore::save());

    constexpr int kPages = 30; // 1,200 cookies of 1 KB from one host
    for (int page = 0; page < kPages; ++page)
        fetch(request(QStringLiteral("/flood/%1").arg(page)));
    ASSERT_TRUE(CookieStore::save());
    ASSERT_TRUE(CookieStore::reload()); // as the next start would

    QSet<QString> flood;
    bool loginKept = false;
    for (const HttpCookie& cookie : CookieStore::allCookies()) {
        if (cookie.domain == QStringLiteral("127.0.0.1"))
            flood.insert(cookie.name);
        loginKept = loginKept || (cookie.name == QStringLiteral("login") && cookie.value == QStringLiteral("keep-me"));
    }
    EXPECT_TRUE(loginKept);
    EXPECT_LE(flood.size(), detail::CookieJar::kMaxCookiesPerHost);
    EXPECT_GE(flood.size(), detail::CookieJar::kMaxCookiesPerHost * 5 / 6);
    // The host's oldest went first.
    EXPECT_TRUE(flood.contains(QStringLiteral("f%1c39").arg(kPages - 1)));
    EXPECT_FALSE(flood.contains(QStringLiteral("f0c0")));
    CookieStore::deleteAllCookies();
}

TEST_F(UrlSessionTest, GzipBodiesArriveDecoded)
{
    auto rec = fetch(request(QStringLiteral("/gzip")));
    EXPECT_FALSE(errorCode(*rec));
    EXPECT_EQ(rec->data, m_gzipPlain);
    ASSERT_TRUE(rec->response);
    EXPECT_LT(rec->response->expectedContentLength, m_gzipPlain.size()); // the encoded length

    UrlRequest asked = request(QStringLiteral("/echo"));
    asked.setValue("identity", "Accept-Encoding"); // replaced by what the transfer decodes
    auto echo = fetch(asked);
    EXPECT_TRUE(echo->data.contains("gzip")) << text(echo->data);
}

TEST_F(UrlSessionTest, ABodyPastTheCapEndsTheSameWayInEveryEncoding)
{
    // 80 MiB of one letter: as it is, in gzip (80 KB) and in brotli (a few hundred bytes, all
    // decoded from the first read, before the head's decision is in).
    const QByteArray plain(80 * 1024 * 1024, 'a');
    const std::map<std::string, QByteArray> bodies {
        { "identity", plain },
        { "gzip", gzip(plain) },
#ifdef CRAWLMERE_HAVE_BROTLI_ENCODER
        { "br", brotli(plain) },
#endif
    };
    LoopbackServer server;
    server.server().Get(R"(/large/(\w+))", [&bodies](const httplib::Request& req, httplib::Response& res) {
        const QByteArray& body = bodies.at(req.matches[1].str());
        if (req.matches[1].str() != "identity")
            res.set_header("Content-Encoding", req.matches[1].str());
        res.set_content(std::string(body.constData(), size_t(body.size())), "application/x-test");
    });
    ASSERT_TRUE(server.start());
    for (const auto& [encoding, body] : bodies) {
        SCOPED_TRACE(encoding);
        ASSERT_FALSE(body.isEmpty());
        UrlRequest large(server.url(QStringLiteral("/large/") + QString::fromStdString(encoding)), 30.0);
        ASSERT_EQ(large.maxBodyBytes, qint64(64) * 1024 * 1024);
        auto rec = fetch(large);
        EXPECT_EQ(errorCode(*rec), UrlErrorCode::BodyTooLarge);
        EXPECT_EQ(rec->data.size(), large.maxBodyBytes);
        EXPECT_EQ(rec->data.count('a'), large.maxBodyBytes);
    }
#ifndef CRAWLMERE_HAVE_BROTLI_ENCODER
    GTEST_SKIP() << "no brotli encoder to make the brotli body with";
#endif
}

TEST_F(UrlSessionTest, SelfSignedCertificatesAreAccepted)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const auto made = crawlmere::test::makeSelfSignedCertificate(folder.path(), QStringLiteral("not-this-host"));
    if (!made)
        GTEST_SKIP() << "no openssl tool to make a certificate";
    const QString cert = made->certificate;
    const QString key = made->key;

    httplib::SSLServer tls(cert.toUtf8().constData(), key.toUtf8().constData());
    ASSERT_TRUE(tls.is_valid());
    tls.Get("/secure", [](const httplib::Request&, httplib::Response& res) { res.set_content("over tls", "text/plain"); });
    const int port = tls.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);
    std::thread serving([&] { tls.listen_after_bind(); });
    // A certificate for another name, signed by nobody: still accepted.
    auto rec = fetch(UrlRequest(QStringLiteral("https://127.0.0.1:%1/secure").arg(port), 10.0));
    UrlSession::shutdown(); // close the connection so the server stops at once
    tls.stop();
    serving.join();
    EXPECT_FALSE(errorCode(*rec)) << (rec->result && rec->result->error ? rec->result->error->localizedDescription.toStdString() : "");
    EXPECT_EQ(rec->data, QByteArray("over tls"));
}

// --- File URLs ----------------------------------------------------------------------------------

TEST_F(UrlSessionTest, FileUrlsAreServedInProcess)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("page one.html"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<html>local</html>");
    file.close();
    const QString url = QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);

    auto present = fetch(UrlRequest(url));
    EXPECT_FALSE(errorCode(*present));
    ASSERT_TRUE(present->response);
    EXPECT_FALSE(present->response->isHttp);
    EXPECT_EQ(present->response->statusCode, 0);
    EXPECT_EQ(present->response->mimeType, QStringLiteral("text/html"));
    EXPECT_EQ(present->response->expectedContentLength, 18);
    EXPECT_EQ(present->data, QByteArray("<html>local</html>"));

    auto missing = fetch(UrlRequest(QUrl::fromLocalFile(folder.filePath(QStringLiteral("none.html"))).toString()));
    EXPECT_EQ(errorCode(*missing), UrlErrorCode::FileDoesNotExist);
    EXPECT_FALSE(missing->response);

    auto directory = fetch(UrlRequest(QUrl::fromLocalFile(folder.path()).toString()));
    EXPECT_EQ(errorCode(*directory), UrlErrorCode::FileIsDirectory);

    Options refuse;
    refuse.disposition = ResponseDisposition::Cancel;
    auto declined = fetch(UrlRequest(url), refuse);
    EXPECT_EQ(errorCode(*declined), UrlErrorCode::Cancelled);
    EXPECT_TRUE(declined->data.isEmpty());

    UrlRequest small(url);
    small.maxBodyBytes = 6;
    auto capped = fetch(small);
    EXPECT_EQ(errorCode(*capped), UrlErrorCode::BodyTooLarge);
    EXPECT_EQ(capped->data, QByteArray("<html>"));

    const UrlLoadResult sync = UrlSession::loadSynchronously(UrlRequest(url), 5s);
    EXPECT_TRUE(sync.succeeded());
    EXPECT_EQ(sync.body, QByteArray("<html>local</html>"));
    const UrlLoadResult syncMissing
        = UrlSession::loadSynchronously(UrlRequest(QUrl::fromLocalFile(folder.filePath(QStringLiteral("x"))).toString()), 5s);
    ASSERT_TRUE(syncMissing.error);
    EXPECT_EQ(syncMissing.error->code, UrlErrorCode::FileDoesNotExist);
}

// --- Synchronous loads --------------------------------------------------------------------------

TEST_F(UrlSessionTest, SynchronousLoadFollowsRedirectsOnTheMainThread)
{
    ASSERT_TRUE(Dispatch::isMainThread());
    const UrlLoadResult result = UrlSession::loadSynchronously(request(QStringLiteral("/r1")), 10s);
    EXPECT_TRUE(result.succeeded());
    EXPECT_EQ(result.statusCode(), 200);
    EXPECT_EQ(result.response->url, m_server.url(QStringLiteral("/final?from=r2")));
    EXPECT_EQ(result.body, QByteArray("arrived r2"));

    const UrlLoadResult missing = UrlSession::loadSynchronously(request(QStringLiteral("/missing")), 10s);
    EXPECT_TRUE(missing.succeeded());
    EXPECT_EQ(missing.statusCode(), 404);

    const UrlLoadResult secret = UrlSession::loadSynchronously(request(QStringLiteral("/secret")), 10s);
    EXPECT_EQ(secret.statusCode(), 401); // no challenge is answered
}

TEST_F(UrlSessionTest, SynchronousLoadDoesNotWaitForASessionThatWaitsForTheMainThread)
{
    // A session whose completion hands over to the main thread, while the main thread is
    // blocked in a synchronous load: both must finish.
    std::atomic<bool> handedOver { false };
    std::atomic<bool> completed { false };
    UrlSessionDelegate delegate;
    delegate.didCompleteWithError = [&](UrlSession&, const UrlTaskResult&) {
        Dispatch::mainSync([&] { handedOver = true; });
        completed = true;
    };
    std::shared_ptr<UrlSession> session = UrlSession::create(std::move(delegate));
    session->start(request(QStringLiteral("/ok")));
    const UrlLoadResult result = UrlSession::loadSynchronously(request(QStringLiteral("/big")), 10s);
    EXPECT_TRUE(result.succeeded());
    EXPECT_EQ(result.body.size(), 1024 * 1024);
    EXPECT_TRUE(Dispatch::runUntil([&] { return completed.load(); }, kDidNotHang));
    EXPECT_TRUE(handedOver.load());
}

TEST_F(UrlSessionTest, SynchronousLoadGivesUpAfterItsTimeout)
{
    RawSocketServer silent([](RawConnection& connection) {
        connection.readRequest();
        connection.hold(30s);
    });
    ASSERT_TRUE(silent.start());
    const auto began = std::chrono::steady_clock::now();
    const UrlLoadResult result = UrlSession::loadSynchronously(UrlRequest(silent.url(), 60.0), 1s);
    EXPECT_LT(std::chrono::steady_clock::now() - began, kDidNotHang);
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, UrlErrorCode::TimedOut);
    EXPECT_FALSE(result.response);
}

// --- Concurrency and cancellation --------------------------------------------------------------

TEST_F(UrlSessionTest, FiftyConcurrentTransfersAllComplete)
{
    constexpr int kCount = 50;
    std::vector<std::shared_ptr<Recording>> recordings;
    std::vector<std::shared_ptr<UrlSession>> sessions;
    for (int i = 0; i < kCount; ++i) {
        auto rec = std::make_shared<Recording>();
        UrlRequest r = request(QStringLiteral("/n?i=%1").arg(i));
        r.setValue("close", "Connection");
        auto session = UrlSession::create(recordingDelegate(rec, {}));
        session->start(r);
        recordings.push_back(rec);
        sessions.push_back(session);
    }
    const bool allDone = Dispatch::runUntil(
        [&] {
            return std::all_of(recordings.begin(), recordings.end(), [](const auto& rec) { return rec->done.load(); });
        },
        60s);
    ASSERT_TRUE(allDone);
    for (int i = 0; i < kCount; ++i) {
        EXPECT_FALSE(errorCode(*recordings[i])) << i;
        EXPECT_EQ(recordings[i]->data, "number " + QByteArray::number(i));
        EXPECT_EQ(recordings[i]->completions.load(), 1);
        EXPECT_EQ(sessions[i]->state(), UrlSession::TaskState::Completed);
    }
}

TEST_F(UrlSessionTest, MainThreadSessionsCallBackOnTheMainThreadInOrder)
{
    // Every event of a redirect chain, the body and the end, for many sessions at once.
    constexpr int kCount = 20;
    std::vector<std::shared_ptr<Recording>> recordings;
    std::vector<std::shared_ptr<UrlSession>> sessions;
    std::atomic<int> offMain { 0 };
    for (int i = 0; i < kCount; ++i) {
        auto rec = std::make_shared<Recording>();
        UrlSessionDelegate delegate = recordingDelegate(rec, {});
        delegate.didReceiveData = [rec, &offMain](UrlSession&, const QByteArray& chunk) {
            offMain += Dispatch::isMainThread() ? 0 : 1;
            rec->note(QStringLiteral("data"));
            std::lock_guard lock(rec->mutex);
            rec->data += chunk;
        };
        auto session = UrlSession::create(std::move(delegate), UrlSessionCallbacks::OnMainThread);
        UrlRequest r = request(i % 2 ? QStringLiteral("/r1") : QStringLiteral("/big"));
        r.setValue("close", "Connection"); // the test server has fewer workers than sessions
        session->start(r);
        recordings.push_back(rec);
        sessions.push_back(session);
    }
    ASSERT_TRUE(Dispatch::runUntil(
        [&] { return std::all_of(recordings.begin(), recordings.end(), [](const auto& rec) { return rec->done.load(); }); },
        60s));
    EXPECT_EQ(offMain.load(), 0);
    for (int i = 0; i < kCount; ++i) {
        const Recording& rec = *recordings[i];
        EXPECT_TRUE(rec.ranOnMainThread.load()) << i;
        EXPECT_FALSE(errorCode(rec)) << i;
        EXPECT_EQ(rec.completions.load(), 1) << i;
        std::vector<QString> expected;
        if (i % 2)
            expected = { QStringLiteral("redirect 301"), QStringLiteral("redirect 302"), QStringLiteral("response 200") };
        else
            expected = { QStringLiteral("response 200") };
        ASSERT_GE(rec.events.size(), expected.size() + 2) << i;
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), rec.events.begin())) << i;
        EXPECT_TRUE(std::all_of(rec.events.begin() + qsizetype(expected.size()), rec.events.end() - 1,
            [](const QString& event) { return event == u"data"; }))
            << i;
        EXPECT_EQ(rec.events.back(), QStringLiteral("complete")) << i;
        EXPECT_EQ(rec.data, i % 2 ? QByteArray("arrived r2") : QByteArray(1024 * 1024, 'b')) << i;
    }
}

TEST_F(UrlSessionTest, CancelFromAnotherThreadEndsARunningTransfer)
{
    RawSocketServer stall([](RawConnection& connection) {
        if (connection.readRequest().isEmpty())
            return;
        connection.send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\nsome bytes");
        connection.hold(30s);
    });
    ASSERT_TRUE(stall.start());
    std::atomic<bool> firstData { false };
    Options options;
    options.onFirstData = [&](UrlSession&) { firstData = true; };
    auto rec = std::make_shared<Recording>();
    std::shared_ptr<UrlSession> session = UrlSession::create(recordingDelegate(rec, options));
    session->start(UrlRequest(stall.url(), 60.0));
    ASSERT_TRUE(Dispatch::runUntil([&] { return firstData.load(); }, kDidNotHang));
    std::thread canceller([session] { session->cancel(); });
    canceller.join();
    ASSERT_TRUE(Dispatch::runUntil([&] { return rec->done.load(); }, kDidNotHang));
    EXPECT_EQ(errorCode(*rec), UrlErrorCode::Cancelled);
    EXPECT_EQ(rec->completions.load(), 1);
    EXPECT_EQ(rec->data, QByteArray("some bytes"));
}

TEST_F(UrlSessionTest, InvalidatedSessionsCallNothingMoreAndReleaseTheirDelegate)
{
    RawSocketServer stall([](RawConnection& connection) {
        if (connection.readRequest().isEmpty())
            return;
        connection.send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\nsome bytes");
        connection.hold(30s);
    });
    ASSERT_TRUE(stall.start());
    std::atomic<bool> firstData { false };
    Options options;
    options.onFirstData = [&](UrlSession&) { firstData = true; };
    auto rec = std::make_shared<Recording>();
    std::weak_ptr<Recording> watch = rec;
    std::shared_ptr<UrlSession> session = UrlSession::create(recordingDelegate(rec, options));
    session->start(UrlRequest(stall.url(), 60.0));
    ASSERT_TRUE(Dispatch::runUntil([&] { return firstData.load(); }, kDidNotHang));
    session->invalidateAndCancel();
    ASSERT_TRUE(Dispatch::runUntil(
        [&] { return session->state() == UrlSession::TaskState::Completed; }, kDidNotHang));
    EXPECT_EQ(rec->completions.load(), 0);
    auto* raw = rec.get();
    rec.reset();
    // The delegate (and the recording its callbacks hold) is released.
    EXPECT_TRUE(Dispatch::runUntil([&] { return watch.expired(); }, kDidNotHang)) << raw;

    // Cancelling before start completes at once.
    auto early = std::make_shared<Recording>();
    std::shared_ptr<UrlSession> unstarted = UrlSession::create(recordingDelegate(early, {}));
    unstarted->cancel();
    unstarted->start(request(QStringLiteral("/ok")));
    ASSERT_TRUE(Dispatch::runUntil([&] { return early->done.load(); }, kDidNotHang));
    EXPECT_EQ(errorCode(*early), UrlErrorCode::Cancelled);
    EXPECT_FALSE(early->response);
}

TEST_F(UrlSessionTest, ShutdownWithATransferInFlightStopsCleanlyAndSessionsWorkAfterwards)
{
    RawSocketServer stall([](RawConnection& connection) {
        if (connection.readRequest().isEmpty())
            return;
        connection.send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\nsome bytes");
        connection.hold(30s);
    });
    ASSERT_TRUE(stall.start());
    std::atomic<bool> firstData { false };
    Options options;
    options.onFirstData = [&](UrlSession&) { firstData = true; };
    auto rec = std::make_shared<Recording>();
    std::shared_ptr<UrlSession> session = UrlSession::create(recordingDelegate(rec, options));
    session->start(UrlRequest(stall.url(), 60.0));
    ASSERT_TRUE(Dispatch::runUntil([&] { return firstData.load(); }, kDidNotHang));

    UrlSession::shutdown();
    EXPECT_EQ(session->state(), UrlSession::TaskState::Completed);
    EXPECT_EQ(rec->completions.load(), 0); // invalidated, not completed

    auto again = fetch(request(QStringLiteral("/ok")));
    EXPECT_FALSE(errorCode(*again));
    EXPECT_EQ(again->data, QByteArray("<p>caf\xe9</p>"));
}

} // namespace

TEST_F(UrlSessionTest, FailedNameLookupsFreeTheirSlotAtOnceAndADeadHostIsAskedOnce)
{
    std::atomic<int> lookups { 0 };
    UrlSession::setNameLookupFailure([&](const QString& host) {
        ++lookups;
        return host.endsWith(QLatin1StringView(".invalid"));
    });
    // 200 dead hosts through twelve slots; a finished fetch hands its slot over on the main
    // thread, which starts the next one, as a scan does.
    constexpr int kHosts = 200;
    std::atomic<int> started { 0 };
    std::atomic<int> unknownHost { 0 };
    std::atomic<int> finished { 0 };
    std::function<void()> startNext = [&] {
        const int n = started++;
        if (n >= kHosts)
            return;
        UrlSessionDelegate delegate;
        delegate.didCompleteWithError = [&](UrlSession&, const UrlTaskResult& result) {
            if (result.error && result.error->code == UrlErrorCode::CannotFindHost)
                ++unknownHost;
            ++finished;
            Dispatch::toMain(startNext);
        };
        UrlSession::create(std::move(delegate))->start(UrlRequest(QStringLiteral("https://h%1.example.invalid/page").arg(n)));
    };
    QElapsedTimer clock;
    clock.start();
    for (int slot = 0; slot < 12; ++slot)
        startNext();
    const bool done = Dispatch::runUntil([&] { return finished.load() == kHosts; }, 60s);
    const qint64 elapsed = clock.elapsed();
    EXPECT_TRUE(done);
    EXPECT_EQ(unknownHost.load(), kHosts);
    EXPECT_LT(elapsed, 3000); // about 0.1 s; a lost wake-up costs each slot half a second or more

    // Further links to a host that just failed are answered without asking again.
    lookups = 0;
    for (const char* path : { "/a", "/b", "/c?x=1" }) {
        const auto rec = fetch(UrlRequest(QStringLiteral("http://Dead.invalid") + QLatin1StringView(path)));
        EXPECT_EQ(errorCode(*rec), UrlErrorCode::CannotFindHost);
    }
    EXPECT_EQ(lookups.load(), 1);
    UrlSession::setNameLookupFailure({});
}
