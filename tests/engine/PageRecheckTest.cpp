// Rechecking pages of a finished scan: each page is fetched again by the scan itself, side by
// side, and what it answers now is recorded and read as a first scan of the site would.
#include "engine/PageRecheck.h"

#include "Z12AraExtractionTestSupport.h"
#include "engine/CrwlUrlFetchTransport.h"
#include "platform/Dispatch.h"
#include "support/LoopbackServer.h"

#include <functional>
#include <mutex>

using namespace crawlmere::test::extraction;
namespace Dispatch = crawlmere::platform::Dispatch;

namespace {

class PageRecheckTest : public HubFixture {
protected:
    std::shared_ptr<PageRecheck> recheck(std::vector<std::shared_ptr<CrwlUrl>> pages)
    {
        return PageRecheck::start(hub, std::move(pages), [this](PageRecheck::Outcome o) { outcome = o; });
    }
    std::optional<PageRecheck::Outcome> outcome;
};

// Pages rechecked together are fetched side by side, as many at once as the scan fetches, and
// read in their order.
TEST_F(PageRecheckTest, PagesAreFetchedSideBySideAsTheScanFetches)
{
    settings->insert(crawlKey::numberOfThreads, 2);
    settings->insert(crawlKey::delay, 0.0);
    std::vector<std::shared_ptr<CrwlUrl>> pages;
    for (int i = 0; i < 3; ++i) {
        pages.push_back(makeRecord(QStringLiteral("http://site.test/p%1").arg(i)));
        hub->add(pages.back());
    }
    const auto running = recheck(pages);
    ASSERT_TRUE(running);
    ASSERT_EQ(startedUrls(), (std::vector<QString> { pages[0]->absoluteString(), pages[1]->absoluteString() }));
    // The second ends first: it waits for the first, and the third for a page to be read.
    transport->complete(*hub, pages[1], 404);
    ASSERT_TRUE(Dispatch::runUntil([&] { return running->pagesLoaded() == 1; }, std::chrono::seconds(10)));
    EXPECT_EQ(running->pagesDone(), 0u);
    EXPECT_EQ(transport->starts.size(), 2u);
    transport->complete(*hub, pages[0], 404);
    ASSERT_TRUE(Dispatch::runUntil([&] { return transport->starts.size() == 3; }, std::chrono::seconds(10)));
    EXPECT_EQ(running->pagesDone(), 2u);
    transport->complete(*hub, pages[2], 404);
    ASSERT_TRUE(Dispatch::runUntil([&] { return outcome.has_value(); }, std::chrono::seconds(10)));
    EXPECT_EQ(*outcome, PageRecheck::Outcome::AllPagesRead);
    EXPECT_EQ(transport->maxInFlight, 2);
}

// A recheck whose scan is cleared while its page is fetched is dropped: it hears so, and the
// fetch is cancelled with the scan's others.
TEST_F(PageRecheckTest, ARecheckWhoseScanIsClearedIsDropped)
{
    const auto page = makeRecord(QStringLiteral("http://site.test/p"));
    hub->add(page);
    ASSERT_TRUE(recheck({ page }));
    ASSERT_EQ(transport->starts.size(), 1u);
    hub->clear();
    ASSERT_TRUE(Dispatch::runUntil([&] { return outcome.has_value(); }, std::chrono::seconds(10)));
    EXPECT_EQ(*outcome, PageRecheck::Outcome::Dropped);
    EXPECT_EQ(transport->cancelled, (std::vector { page }));
}

/// How /p01.html answers now.
enum class Answer { Page, Gone, Moved };

/// A loopback site read by scripted parsers: "/" links p01.html, which links sub.html (in French,
/// to a request that asks for it first, sub-fr.html). Gone, p01.html answers 404 with an error
/// page that links sitemap.html; moved, it redirects to /moved/p01.html, which links sub.html.
/// The headers of every request are kept by path.
class PageRecheckScanTest : public Z12AraExtractionTest {
protected:
    void SetUp() override
    {
        Z12AraExtractionTest::SetUp();
        hub->setClock(nullptr);
        hub->setTransport(std::make_shared<CrwlUrlFetchTransport>());
        server.server().set_keep_alive_max_count(1);
        const auto script = [](std::initializer_list<const char*> hrefs) {
            Script made;
            for (const char* href : hrefs)
                made.links.emplace_back(QString::fromLatin1(href), QStringLiteral("link"));
            return made;
        };
        parsers->scripts = { { "home", script({ "p01.html" }) }, { "p01", script({ "sub.html" }) },
            { "p01 fr", script({ "sub-fr.html" }) }, { "p01 fr edited", script({ "other-fr.html" }) },
            { "error page", script({ "sitemap.html" }) }, { "moved", script({ "sub.html" }) } };
        server.server().Get(R"(/.*)", [this](const httplib::Request& request, httplib::Response& response) {
            std::lock_guard lock(mutex);
            std::map<std::string, std::string> headers;
            for (const auto& [name, value] : request.headers)
                if (!name.starts_with("REMOTE_") && !name.starts_with("LOCAL_"))
                    headers[name] = value;
            requests[request.path].push_back(headers);
            const bool french = request.get_header_value("Accept-Language") == "fr";
            std::string body = request.path == "/" ? "home" : request.path.ends_with("sub.html") ? "sub" : "";
            if (request.path == "/p01.html") {
                if (answer == Answer::Gone) {
                    response.status = 404;
                    body = "error page";
                } else if (answer == Answer::Moved) {
                    response.set_redirect("/moved/p01.html", 301);
                    return;
                } else {
                    body = french ? frenchP01 : "p01";
                }
            }
            if (request.path == "/moved/p01.html")
                body = "moved";
            if (body.empty())
                response.status = 404;
            response.set_content(body, "text/html");
            response.set_header("Set-Cookie", "visit=1; Path=/");
        });
        ASSERT_TRUE(server.start());
        settings->insert(crawlKey::customHeaderAcceptLanguage, QStringLiteral("fr"));
        settings->insert(crawlKey::customHeaderKey1, QStringLiteral("X-Site-Key"));
        settings->insert(crawlKey::customHeaderValue1, QStringLiteral("k1"));
        settings->insert(crawlKey::startingUrl, server.url());
    }
    void scanToTheEnd()
    {
        ASSERT_TRUE(hub->go());
        ASSERT_TRUE(Dispatch::runUntil([&] { return hub->crawlFinished(); }, std::chrono::seconds(20)));
    }
    /// Each record with its status, redirect and links, and the scan's counts.
    QStringList summary() const
    {
        QStringList lines;
        for (const auto& item : hub->linksCollection()) {
            const auto record = std::dynamic_pointer_cast<CrwlUrl>(item);
            QStringList targets;
            for (const auto& occurrence : record->getOutboundInstances())
                targets << occurrence->target()->absoluteString();
            lines << QStringLiteral("%1 %2 %3 -> %4")
                         .arg(record->absoluteString(), QString::number(record->getStatus()), record->getRedir(),
                             targets.join(u' '));
        }
        lines.sort();
        lines << QStringLiteral("checked %1 bad %2").arg(hub->checkedLinkCount()).arg(hub->badLinkCount());
        return lines;
    }

    crawlmere::test::LoopbackServer server;
    std::mutex mutex;
    Answer answer = Answer::Page;
    std::string frenchP01 = "p01 fr";
    std::map<std::string, std::vector<std::map<std::string, std::string>>> requests;
    std::optional<PageRecheck::Outcome> outcome;
};

// The page answers otherwise than in the scan: rechecked, the scan is what a first scan of the
// site as it now stands makes, and the recheck's request is the scan's own.
TEST_F(PageRecheckScanTest, ARecheckedPageIsFetchedAndReadAsTheScanWould)
{
    const struct {
        const char* name;
        Answer answer;
        std::string frenchP01;
        const char* page; // one record the new answer gives
    } cases[] = {
        { "gone", Answer::Gone, "p01 fr", "/p01.html 404  -> " },
        { "moved", Answer::Moved, "p01 fr", "/moved/p01.html 200  -> " },
        { "edited in French", Answer::Page, "p01 fr edited", "/p01.html 200  -> " },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        {
            std::lock_guard lock(mutex);
            answer = Answer::Page;
            frenchP01 = "p01 fr";
            requests.clear();
        }
        ASSERT_NO_FATAL_FAILURE(scanToTheEnd());
        const auto page = known(server.url(QStringLiteral("/p01.html")));
        ASSERT_TRUE(page);
        {
            std::lock_guard lock(mutex);
            answer = c.answer;
            frenchP01 = c.frenchP01;
        }
        outcome.reset();
        ASSERT_TRUE(PageRecheck::start(hub, { page }, [this](PageRecheck::Outcome o) { outcome = o; }));
        ASSERT_TRUE(
            Dispatch::runUntil([&] { return outcome && hub->crawlFinished(); }, std::chrono::seconds(20)));
        const QStringList rechecked = summary();
        {
            std::lock_guard lock(mutex);
            ASSERT_EQ(requests["/p01.html"].size(), 2u);
            EXPECT_EQ(requests["/p01.html"][1], requests["/p01.html"][0]);
        }
        ASSERT_NO_FATAL_FAILURE(scanToTheEnd());
        EXPECT_EQ(rechecked, summary());
        EXPECT_TRUE(rechecked.join(u'\n').contains(server.url(QString()) + QLatin1String(c.page)))
            << qPrintable(rechecked.join(u'\n'));
    }
}

} // namespace
