// What the URL session suites share: a delegate that records every callback, fetching on a
// session and waiting for its end, gzip and brotli bodies, and the fixture's server on 127.0.0.1
// with its canned routes.
#pragma once

#include "platform/CookieStore.h"
#include "platform/Dispatch.h"
#include "platform/UrlSession.h"
#include "platform/detail/CookieJar.h"
#include "support/LoopbackServer.h"
#include "support/RawSocketServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QUrl>
#include <QtEndian>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <map>
#include <thread>

namespace crawlmere::test::sessions {

using namespace crawlmere::platform;
using crawlmere::test::LoopbackServer;
using crawlmere::test::RawConnection;
using crawlmere::test::RawSocketServer;
using crawlmere::test::silentHandler;
using namespace std::chrono_literals;


// Generous bounds that only prove "did not hang".
inline constexpr auto kDidNotHang = 20s;

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

inline UrlSessionDelegate recordingDelegate(const std::shared_ptr<Recording>& rec, const Options& options)
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

inline std::shared_ptr<Recording> fetch(const UrlRequest& request, const Options& options = {})
{
    auto rec = std::make_shared<Recording>();
    std::shared_ptr<UrlSession> session = UrlSession::create(recordingDelegate(rec, options));
    session->start(request);
    EXPECT_TRUE(Dispatch::runUntil([&] { return rec->done.load(); }, kDidNotHang)) << request.url.toStdString();
    EXPECT_FALSE(rec->ranOnMainThread.load());
    return rec;
}

inline std::optional<UrlErrorCode> errorCode(const Recording& rec)
{
    if (!rec.result || !rec.result->error)
        return std::nullopt;
    return rec.result->error->code;
}

inline QByteArray gzip(const QByteArray& plain)
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
inline QByteArray brotli(const QByteArray& plain)
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

inline std::string text(const QByteArray& bytes) { return bytes.toStdString(); }

inline void echoRequest(const httplib::Request& req, httplib::Response& res)
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

} // namespace crawlmere::test::sessions
