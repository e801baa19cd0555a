// Scans whose starting URL redirects, over real fetches and page reading against loopback sites:
// each goes on as a scan started at the final address would, and the robots.txt of the host the
// start leads to is read before its pages and obeyed.
#include "ScanningHub.h"

#include "engine/CrawlSettingKeys.h"
#include "engine/EngineDefaults.h"
#include "platform/Dispatch.h"
#include "platform/NameResolver.h"
#include "platform/NotificationCenter.h"
#include "support/LoopbackServer.h"

#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <set>

using namespace crawlmere::test;
using crawlmere::platform::NameLookupResult;
using crawlmere::platform::NameResolver;
using crawlmere::platform::UrlError;
using crawlmere::platform::UrlErrorCode;

namespace {

/// "localhost" is 127.0.0.1; no other name is known (no name service is asked).
class LoopbackNames final : public NameResolver {
public:
    void lookUp(const QString& host, Done done) override
    {
        if (host == u"localhost")
            done({ { QStringLiteral("127.0.0.1") }, std::nullopt });
        else
            done({ {}, UrlError::make(UrlErrorCode::CannotFindHost) });
    }
};

struct Request {
    std::string host;
    std::string path;
};

class RedirectingStartScanTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        store = std::make_unique<crawlmere::platform::UserDefaults>(folder.filePath(QStringLiteral("d.plist")));
        crawlmere::engine::registerEngineDefaults(*store);
        crawlmere::platform::HostAddressBook::remember(QStringLiteral("localhost"), { QStringLiteral("127.0.0.1") });
        serve(site);
        serve(other);
        ASSERT_TRUE(site.start());
        ASSERT_TRUE(other.start());
    }
    void TearDown() override { crawlmere::platform::HostAddressBook::clear(); }

    /// The site: the same pages on both servers. "/" of 127.0.0.1 on the main server redirects
    /// to the other host name while `rootRedirects`; robots.txt disallows /private/ everywhere
    /// but on the main server under 127.0.0.1.
    void serve(LoopbackServer& server)
    {
        const bool isSite = &server == &site;
        server.server().Get(".*", [this, isSite](const httplib::Request& request, httplib::Response& response) {
            const std::string host = request.get_header_value("Host");
            {
                std::lock_guard lock(mutex);
                requests.push_back({ host, request.path });
            }
            const bool mainAddress = isSite && host.starts_with("127.0.0.1");
            const auto page = [&](const std::string& links) {
                std::string body = "<html><head><title>" + request.path + "</title></head><body>";
                for (const char* at = links.c_str(); *at;) {
                    const char* end = std::strchr(at, ' ');
                    const std::string href = end ? std::string(at, end) : std::string(at);
                    body += "<a href=\"" + href + "\">" + href + "</a>\n";
                    at = end ? end + 1 : at + href.size();
                }
                response.set_content(body + "</body></html>", "text/html");
            };
            const std::string& path = request.path;
            if (path == "/robots.txt") {
                if (mainAddress)
                    response.status = 404;
                else
                    response.set_content("User-agent: *\nDisallow: /private/\n", "text/plain");
            } else if (path == "/go-a") {
                response.set_redirect("/a.html", 301);
            } else if (path == "/up") {
                response.set_redirect(other.url(QStringLiteral("/")).toStdString(), 302);
            } else if (path == "/" && mainAddress && rootRedirects) {
                response.set_redirect("http://localhost:" + std::to_string(site.port()) + "/home.html", 301);
            } else if (path == "/" || path == "/home.html") {
                page("/a.html /b.html /private/x.html");
            } else if (path == "/a.html") {
                page("/ /deep/x/y.html");
            } else if (path == "/deep/x/y.html") {
                page("/deep/z.html");
            } else if (path == "/b.html" || path == "/deep/z.html" || path == "/private/x.html") {
                page("");
            } else {
                response.status = 404;
            }
        });
    }

    /// Scans from `startingUrl` to its end; answers the addresses of the scan's pages (those it
    /// read and collected) and of its records, the starting point left out when it is only a
    /// redirect.
    std::pair<std::set<QString>, std::set<QString>> scan(const QString& startingUrl)
    {
        {
            std::lock_guard lock(mutex);
            requests.clear();
        }
        hub = makeScanningHub(*store);
        hub->setTransport(std::make_shared<CrwlUrlFetchTransport>(std::make_shared<LoopbackNames>()));
        siteStore = std::make_shared<RecordingSiteStore>();
        hub->setConfigManager(siteStore);
        auto settings = std::make_shared<CrawlSettings>(CrwlUrl::defaultCrawlSettings());
        settings->insert(crawlKey::startingUrl, startingUrl);
        settings->insert(crawlKey::blacklistByRobotsTxt, true);
        hub->setCrawlSettings(settings);
        bool finished = false;
        crawlmere::platform::NotificationCenter::defaultCenter().addObserver(
            this, Z12Ara::CrwlCrawlDidFinish, [&](const auto&) { finished = true; });
        EXPECT_TRUE(hub->go());
        EXPECT_TRUE(crawlmere::platform::Dispatch::runUntil([&] { return finished; }, std::chrono::seconds(30)));
        crawlmere::platform::NotificationCenter::defaultCenter().removeObserver(this);

        std::set<QString> pages;
        for (const auto& page : hub->internalPagesCollection())
            pages.insert(page->absoluteString());
        std::set<QString> records;
        for (const auto& item : hub->linksCollection()) {
            const auto record = std::dynamic_pointer_cast<CrwlUrl>(item);
            if (record && !(record->isStartingPoint() && record->getRedirectCount() > 0))
                records.insert(record->absoluteString() + u' ' + record->getStatusDescription());
        }
        return { pages, records };
    }

    /// Where the request of `path` to `host` stands in the log; -1 when it was never made.
    qsizetype lastRequest(const std::string& host, const std::string& path)
    {
        std::lock_guard lock(mutex);
        for (qsizetype i = qsizetype(requests.size()) - 1; i >= 0; --i) {
            if (requests[size_t(i)].host == host && requests[size_t(i)].path == path)
                return i;
        }
        return -1;
    }

    QTemporaryDir folder;
    std::unique_ptr<crawlmere::platform::UserDefaults> store;
    std::shared_ptr<Z12Ara> hub;
    std::shared_ptr<RecordingSiteStore> siteStore;
    LoopbackServer site;
    LoopbackServer other;
    bool rootRedirects = false;
    std::mutex mutex;
    std::vector<Request> requests;
};

TEST_F(RedirectingStartScanTest, TheScanIsTheOneStartedAtTheFinalAddress)
{
    struct Case {
        const char* name;
        QString start;
        QString final;
        bool rootRedirects;
    };
    const std::vector<Case> cases {
        { "to another folder", site.url(QStringLiteral("/go-a")), site.url(QStringLiteral("/a.html")), false },
        { "to another port", site.url(QStringLiteral("/up")), other.url(QStringLiteral("/")), false },
        { "to another host name", site.url(QStringLiteral("/")),
            QStringLiteral("http://localhost:%1/home.html").arg(site.port()), true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        rootRedirects = c.rootRedirects;
        const auto [finalPages, finalRecords] = scan(c.final);
        const auto [pages, records] = scan(c.start);
        EXPECT_GE(finalPages.size(), 5u);
        EXPECT_EQ(pages, finalPages);
        EXPECT_EQ(records, finalRecords);
        EXPECT_EQ(hub->getCrawlSettings()->value(crawlKey::startingUrl).toString(), c.final);
        EXPECT_EQ(siteStore->newStartingUrls, QStringList { c.final });
    }
}

TEST_F(RedirectingStartScanTest, TheRobotsTxtOfTheHostTheStartLeadsToIsReadFirstAndObeyed)
{
    rootRedirects = true;
    const auto [pages, records] = scan(site.url(QStringLiteral("/")));
    const std::string localhost = "localhost:" + std::to_string(site.port());
    const qsizetype robots = lastRequest(localhost, "/robots.txt");
    ASSERT_GE(robots, 0);
    // The encoding probe follows the redirect before the scan starts; the scan's own fetch of
    // the page comes after the robots.txt of its host.
    EXPECT_GT(lastRequest(localhost, "/home.html"), robots);
    EXPECT_GT(lastRequest(localhost, "/a.html"), robots);
    EXPECT_EQ(lastRequest(localhost, "/private/x.html"), -1);
    EXPECT_TRUE(records.contains(
        QStringLiteral("http://localhost:%1/private/x.html Disallowed by robots.txt").arg(site.port())));
}

} // namespace
