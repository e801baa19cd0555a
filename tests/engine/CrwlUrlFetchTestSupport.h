// What the suites of a URL record fetching itself share: the fixture's server on 127.0.0.1 with
// its canned routes (statuses, redirects, refreshes, authentication, bodies, echoes of what a
// request carried), the owner the records report to, and gzip bodies.
#pragma once

#include "engine/CrwlUrl.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlStatusCodes.h"
#include "engine/CrwlUrlFetchSupport.h"
#include "engine/FetchPageReader.h"
#include "engine/SettingsValue.h"
#include "platform/CookieStore.h"
#include "platform/UrlRequest.h"
#include "platform/UserDefaults.h"
#include "support/Compression.h"
#include "support/Fixtures.h"
#include "support/LoopbackServer.h"
#include "support/RawSocketServer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

#include <cmath>

#include <atomic>
#include <limits>
#include <mutex>

#include <sys/stat.h>

namespace crawlmere::test::fetching {

using crawlmere::platform::UserDefaults;
using crawlmere::test::FetchOwner;
using crawlmere::test::qCompressGzip;
using crawlmere::test::LoopbackServer;
using crawlmere::test::makeSettings;
using crawlmere::test::RawConnection;
using crawlmere::test::RawSocketServer;
using crawlmere::test::readFixture;
using crawlmere::test::silentHandler;

inline const QString kPage = QStringLiteral("<html><head><title>T</title></head><body><a href=\"/next\">n</a></body></html>");

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
        // A page whose Refresh header names the page itself, after a delay the fetch would wait.
        http.Get(R"(/self/(\d+)\.html)", [this](const httplib::Request& request, httplib::Response& response) {
            ++selfAsked;
            const std::string page = request.matches[0];
            // 1: as its path; 2: absolute; 3: with a fragment; 4: scheme in capitals; 5: "#".
            const std::string form = request.matches[1];
            const std::string target = form == "1" ? page
                : form == "3"                       ? page + "#x"
                : form == "4"                       ? "HTTP://127.0.0.1:" + std::to_string(server.port()) + page
                : form == "5"                       ? "#"
                                                    : "http://127.0.0.1:" + std::to_string(server.port()) + page;
            response.set_header("Refresh", "1; url=" + target);
            response.set_content(kPage.toStdString(), "text/html");
        });
        http.Get("/getpdf",
            [](const httplib::Request&, httplib::Response& response) { response.set_redirect("/doc.pdf", 302); });
        http.Get("/doc.pdf", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("%PDF-1.4\n%%EOF\n", "application/pdf");
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
        // The page with the Content-Type its query names.
        http.Get("/typed", [](const httplib::Request& request, httplib::Response& response) {
            response.set_content(kPage.toStdString(), request.get_param_value("type"));
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
    std::atomic<int> selfAsked { 0 };
};

inline QVariantMap hop(const QString& url, qint64 status, qint32 reason)
{
    return CrwlUrl::makeRedirectHop(url, status, reason);
}

} // namespace crawlmere::test::fetching
