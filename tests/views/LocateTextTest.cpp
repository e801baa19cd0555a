#include "views/LocateText.h"

#include "SiteScanTestSupport.h"
#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "engine/PageRecheck.h"
#include "support/Fixtures.h"

#include <QFile>
#include <QTextBlock>
#include <QTextDocument>

#include <map>
#include <optional>

#include <gtest/gtest.h>

using crawlmere::test::fixturePath;
using crawlmere::views::LocateText;

namespace {

/// A small crawled site: pages and images linked by occurrences, in the order they were found.
class Site {
public:
    std::shared_ptr<CrwlUrl> page(const QString& url, const QString& title = QStringLiteral("T"),
        const std::shared_ptr<CrwlURLDelegate>& owner = nullptr)
    {
        auto record = owner ? std::make_shared<CrwlUrl>(owner, nullptr) : std::make_shared<CrwlUrl>();
        record->setLinkURL(url);
        record->setLinkPageTitle(title);
        record->setStatus(200);
        records.push_back(record);
        return record;
    }
    std::shared_ptr<CrwlLinkInstance> link(
        const std::shared_ptr<CrwlUrl>& from, const std::shared_ptr<CrwlUrl>& to, const QString& text)
    {
        auto occurrence = std::make_shared<CrwlLinkInstance>();
        occurrence->setParent(from);
        occurrence->setTarget(to);
        occurrence->setLinkText(text);
        to->addInboundInstance(occurrence);
        occurrences.push_back(occurrence);
        return occurrence;
    }
    std::vector<std::shared_ptr<CrwlUrl>> records;
    std::vector<std::shared_ptr<CrwlLinkInstance>> occurrences;
};

void expectGolden(const QString& text, const QString& name)
{
    const QString path = fixturePath(QStringLiteral("locate/") + name);
    if (qEnvironmentVariableIsSet("CRAWLMERE_WRITE_GOLDEN")) {
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(text.toUtf8() + '\n');
    }
    EXPECT_EQ(text + u'\n', QString::fromUtf8(crawlmere::test::readFixture(QStringLiteral("locate/") + name)))
        << name.toStdString();
}

/// The click and redirect steps and the occurrence line of the locate text, as shown.
QStringList routeLines(const CrwlLinkInstance& occurrence)
{
    QTextDocument document;
    document.setHtml(LocateText::locate(occurrence, false));
    QStringList lines;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        if (block.text().startsWith(u"On the page") || block.text().startsWith(u"The address"))
            lines.append(block.text());
    return lines;
}

} // namespace

TEST(LocateText, TheRouteCountsAndMarkersReadAsTheGoldenTexts)
{
    Site site;
    auto home = site.page(QStringLiteral("http://127.0.0.1/"), QStringLiteral("Home"));
    home->setIsStartingPoint(true);
    auto a = site.page(QStringLiteral("http://127.0.0.1/a%3A"), QStringLiteral("A"));
    auto b = site.page(QStringLiteral("http://127.0.0.1/b"), QStringLiteral("B"));
    auto c = site.page(QStringLiteral("http://127.0.0.1/c"), QStringLiteral("C"));
    auto target = site.page(QStringLiteral("http://127.0.0.1/t"));
    auto image = site.page(QStringLiteral("http://127.0.0.1/i.png"));
    image->setIsImage(true);
    site.link(home, a, QStringLiteral("to a"));
    site.link(a, b, QStringLiteral("[alt]: pic of b"));
    site.link(b, c, QStringLiteral("[linked img]logo"));
    const auto onHome = site.link(home, target, QStringLiteral("target"));
    site.link(home, target, QStringLiteral("again"));
    site.link(home, target, QStringLiteral("thrice"));
    site.link(c, target, QStringLiteral("deep"));
    const auto alone = site.link(c, image, QStringLiteral("[alt]:"));

    expectGolden(LocateText::locate(*onHome, false), QStringLiteral("on-starting-page.html"));
    expectGolden(LocateText::locate(*alone, true), QStringLiteral("three-steps-alt-alone.html"));

    // A route that comes back to a page it has passed ends there.
    Site loop;
    auto x = loop.page(QStringLiteral("http://127.0.0.1/x"));
    auto y = loop.page(QStringLiteral("http://127.0.0.1/y"));
    loop.link(y, x, QStringLiteral("to x"));
    loop.link(x, y, QStringLiteral("to y"));
    const auto found = loop.link(x, loop.page(QStringLiteral("http://127.0.0.1/z")), QStringLiteral("z"));
    expectGolden(LocateText::locate(*found, false), QStringLiteral("cycle.html"));
}

TEST(LocateText, CrawledValuesShowAsTheyAreAndNeverAsMarkup)
{
    Site site;
    const QString hostile = QStringLiteral("</ul><img src=x> & \"q\"");
    auto home = site.page(QStringLiteral("http://127.0.0.1/?a=1&b=\"<"), hostile);
    home->setIsStartingPoint(true);
    const auto occurrence = site.link(home, site.page(QStringLiteral("http://127.0.0.1/t")), hostile);
    const QString html = LocateText::locate(*occurrence, false);
    EXPECT_FALSE(html.contains(QStringLiteral("<img")));
    QTextDocument document;
    document.setHtml(html);
    EXPECT_TRUE(document.toPlainText().contains(QStringLiteral("(") + hostile + QStringLiteral(")")));
    EXPECT_TRUE(document.toPlainText().contains(QStringLiteral("link text: \"") + hostile + u'"'));
    EXPECT_TRUE(LocateText::locate(CrwlLinkInstance(), false).isEmpty());
}

TEST(LocateText, TheHeadingIsBoldAtTheSizeOfTheRoute)
{
    Site site;
    auto home = site.page(QStringLiteral("http://127.0.0.1/"), QStringLiteral("Home"));
    home->setIsStartingPoint(true);
    const auto occurrence = site.link(home, site.page(QStringLiteral("http://127.0.0.1/t")), QStringLiteral("t"));
    QTextDocument document;
    document.setHtml(LocateText::locate(*occurrence, false));
    const QTextBlock heading = document.begin();
    ASSERT_TRUE(heading.text().startsWith(QStringLiteral("Locating the link")));
    const QTextBlock route = document.lastBlock();
    ASSERT_TRUE(route.text().startsWith(QStringLiteral("On the page")));
    const QFont headingFont = heading.begin().fragment().charFormat().font();
    EXPECT_TRUE(headingFont.bold());
    EXPECT_EQ(headingFont.pointSizeF(), route.begin().fragment().charFormat().font().pointSizeF());
    EXPECT_EQ(heading.blockFormat().headingLevel(), 0);
}

namespace {

/// A scanned site whose pages are reached through redirects: "/go-b" (302) is the only way to
/// "/b.html", "/old-section" (301) the only way to "/new/index.html", above "/new/p.html", and
/// "/chain" (301, then 302) the only way to "/c.html".
class LocateThroughRedirects : public crawlmere::test::SiteScanTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(SiteScanTest::SetUp());
        const auto page = [this](const char* path, const char* title, const char* body) {
            server.server().Get(path, [=](const httplib::Request&, httplib::Response& response) {
                response.set_content(
                    std::string("<html><head><title>") + title + "</title></head><body>" + body + "</body></html>",
                    "text/html");
            });
        };
        const auto redirect = [this](const char* path, const char* to, int status) {
            server.server().Get(
                path, [=](const httplib::Request&, httplib::Response& response) { response.set_redirect(to, status); });
        };
        page("/", "Home", "<a href=\"/go-b\">Go B</a> <a href=\"/old-section\">Old</a> <a href=\"/chain\">Chain</a>");
        redirect("/go-b", "/b.html", 302);
        page("/b.html", "B", "<a href=\"/a.html\">to A</a>");
        page("/a.html", "A", "");
        redirect("/old-section", "/new/index.html", 301);
        page("/new/index.html", "New index", "<a href=\"/new/p.html\">P page</a>");
        page("/new/p.html", "P", "<a href=\"/deep.html\">Deep</a>");
        page("/deep.html", "Deep", "");
        redirect("/chain", "/chain-2", 301);
        redirect("/chain-2", "/c.html", 302);
        page("/c.html", "C", "");
        ASSERT_TRUE(server.start());
        scan();
    }
    /// The occurrence on `page` of the link to `target`; with `page` null, the way in to
    /// `target` through a redirect.
    std::shared_ptr<CrwlLinkInstance> occurrence(const char* page, const char* target) const
    {
        const auto record = hub->weHaveThisOneAlready(server.url(QLatin1String(target)), nullptr, true);
        for (const auto& way : record ? record->getWaysIn() : CrwlUrl::InstanceList()) {
            if (page ? way->getOnPageUrl() == server.url(QLatin1String(page)) : Z12Ara::isRedirectArrival(*way))
                return way;
        }
        return nullptr;
    }
};

} // namespace

// The route to a page reached only through a redirect passes through that redirect, named as a
// step of its own, back to the starting page.
TEST_F(LocateThroughRedirects, TheRouteNamesEachRedirectOnTheWayFromTheStart)
{
    const auto url = [this](const char* path) { return server.url(QLatin1String(path)); };
    const auto click = [&](const char* page, const char* title, const char* text) {
        return QStringLiteral("On the page %1 (%2) click the link with text: \"%3\"").arg(url(page), title, text);
    };
    const auto redirects = [&](const char* from, const char* status, const char* to) {
        return QStringLiteral("The address %1 redirects (%2) to %3").arg(url(from), status, url(to));
    };
    const struct {
        const char* page;
        const char* target;
        QStringList lines;
    } cases[] = {
        { "/b.html", "/a.html",
            { click("/", "Home", "Go B"), redirects("/go-b", "302", "/b.html"),
                QStringLiteral(
                    "On the page %1 (B) our link has target url: \"%2\", link text: \"to A\" and status: 200")
                    .arg(url("/b.html"), url("/a.html")) } },
        { "/new/p.html", "/deep.html",
            { click("/", "Home", "Old"), redirects("/old-section", "301", "/new/index.html"),
                click("/new/index.html", "New index", "P page"),
                QStringLiteral(
                    "On the page %1 (P) our link has target url: \"%2\", link text: \"Deep\" and status: 200")
                    .arg(url("/new/p.html"), url("/deep.html")) } },
        // Located from its "[redirect]" row: the redirect is the occurrence.
        { nullptr, "/b.html",
            { click("/", "Home", "Go B"),
                redirects("/go-b", "302", "/b.html") + QStringLiteral(", our link with status: 200") } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        const auto found = occurrence(c.page, c.target);
        ASSERT_TRUE(found);
        EXPECT_EQ(routeLines(*found), c.lines);
    }
}

// A page reached only through a redirect (one hop or a chain) is located, as a row of its own,
// through that redirect.
TEST_F(LocateThroughRedirects, APageReachedThroughARedirectIsLocatedThroughIt)
{
    const auto url = [this](const char* path) { return server.url(QLatin1String(path)); };
    const struct {
        const char* page;
        const char* redirect;
        const char* statuses;
    } cases[] = { { "/b.html", "/go-b", "302" }, { "/new/index.html", "/old-section", "301" },
        { "/c.html", "/chain", "301, 302" } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.page);
        const auto page = hub->weHaveThisOneAlready(url(c.page), nullptr, true);
        ASSERT_TRUE(page);
        const auto way = LocateText::wayInto(*page);
        ASSERT_TRUE(way);
        EXPECT_EQ(way, occurrence(nullptr, c.page));
        const QStringList lines = routeLines(*way);
        ASSERT_FALSE(lines.isEmpty());
        EXPECT_EQ(lines.constLast(),
            QStringLiteral("The address %1 redirects (%2) to %3, our link with status: 200")
                .arg(url(c.redirect), c.statuses, url(c.page)));
    }
}

namespace {

/// Home links X, Y and Z; X links Y; Y links X and a broken page.
class LocateAfterRecheck : public crawlmere::test::SiteScanTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(SiteScanTest::SetUp());
        server.server().Get(R"(/.*)", [](const httplib::Request& request, httplib::Response& response) {
            const std::map<std::string, std::string> bodies { { "/", "<a href=\"x.html\">X</a> <a href=\"y.html\">Y</a> "
                                                                       "<a href=\"z.html\">Z</a>" },
                { "/x.html", "<a href=\"y.html\">Y from X</a>" },
                { "/y.html", "<a href=\"x.html\">X from Y</a> <a href=\"bad.html\">Bad</a>" }, { "/z.html", "" } };
            const auto body = bodies.find(request.path);
            if (body == bodies.end()) {
                response.status = 404;
                return;
            }
            response.set_content("<html><head><title>" + request.path + "</title></head><body>" + body->second
                    + "</body></html>",
                "text/html");
        });
        // One request per connection: the server stops at once at the end.
        server.server().set_keep_alive_max_count(1);
        ASSERT_TRUE(server.start());
        scan();
    }
    std::shared_ptr<CrwlUrl> record(const char* path) const
    {
        return hub->weHaveThisOneAlready(server.url(QLatin1String(path)), nullptr, true);
    }
    QStringList routeToBadLink() const
    {
        const auto bad = record("/bad.html");
        return bad && bad->occurrencesCount() == 1 ? routeLines(*bad->getInboundInstances().front()) : QStringList();
    }
};

} // namespace

// Rechecking a page appends its occurrences to its targets' ways in: the route stays the
// shortest one, as a first scan gives it.
TEST_F(LocateAfterRecheck, TheRouteStaysTheShortestWhateverWasRechecked)
{
    const QStringList expected { QStringLiteral("On the page %1 (/) click the link with text: \"Y\"").arg(server.url()),
        QStringLiteral("On the page %1 (/y.html) our link has target url: \"%2\", link text: \"Bad\" and status: 404")
            .arg(server.url(QStringLiteral("/y.html")), server.url(QStringLiteral("/bad.html"))) };
    EXPECT_EQ(routeToBadLink(), expected);
    for (const char* page : { "/", "/x.html" }) {
        SCOPED_TRACE(page);
        std::optional<PageRecheck::Outcome> outcome;
        ASSERT_TRUE(PageRecheck::start(hub, { record(page) }, [&](PageRecheck::Outcome o) { outcome = o; }));
        ASSERT_TRUE(crawlmere::platform::Dispatch::runUntil(
            [&] { return outcome && hub->crawlFinished(); }, std::chrono::seconds(30)));
        EXPECT_EQ(routeToBadLink(), expected);
    }
}

namespace {

/// The owner of a scan whose starting point redirects to the page `landing`.
class RedirectingStart : public CrwlURLDelegate {
public:
    bool isStartingPage(const CrwlUrl& record) const override { return record.isStartingPoint() || &record == landing; }
    std::vector<std::shared_ptr<CrwlLinkInstance>> getRedirectArrivalsTo(const CrwlUrl& record) const override
    {
        return &record == landing ? std::vector { arrival } : std::vector<std::shared_ptr<CrwlLinkInstance>>();
    }
    const CrwlUrl* landing = nullptr;
    std::shared_ptr<CrwlLinkInstance> arrival;
};

} // namespace

// The page a redirecting start lands on was reached through that redirect, although a page
// below it links back to it: the route begins with the redirect.
TEST(LocateText, TheRouteFromARedirectingStartBeginsWithItsRedirect)
{
    Site site;
    const auto owner = std::make_shared<RedirectingStart>();
    auto start = site.page(QStringLiteral("http://127.0.0.1/start"), QStringLiteral("Start"), owner);
    start->setIsStartingPoint(true);
    start->addRedir(QStringLiteral("http://127.0.0.1/"), 301, 0);
    auto home = site.page(QStringLiteral("http://127.0.0.1/"), QStringLiteral("Home"), owner);
    auto c = site.page(QStringLiteral("http://127.0.0.1/c"), QStringLiteral("C"), owner);
    owner->landing = home.get();
    owner->arrival = CrwlLinkInstance::make();
    owner->arrival->setParent(start);
    owner->arrival->setTarget(home);
    owner->arrival->setLinkText(Z12Ara::kRedirectArrivalText);
    site.link(home, c, QStringLiteral("C"));
    site.link(c, home, QStringLiteral("Home"));
    const auto found = site.link(
        c, site.page(QStringLiteral("http://127.0.0.1/a"), QStringLiteral("A"), owner), QStringLiteral("A"));

    // Located as a row of its own, it is reached through that redirect.
    EXPECT_EQ(LocateText::wayInto(*home), owner->arrival);
    EXPECT_EQ(LocateText::wayInto(*start), nullptr);
    EXPECT_EQ(routeLines(*found),
        QStringList({ QStringLiteral("The address http://127.0.0.1/start redirects (301) to http://127.0.0.1/"),
            QStringLiteral("On the page http://127.0.0.1/ (Home) click the link with text: \"C\""),
            QStringLiteral(
                "On the page http://127.0.0.1/c (C) our link has target url: \"http://127.0.0.1/a\", link text: "
                "\"A\" and status: 200") }));
}
