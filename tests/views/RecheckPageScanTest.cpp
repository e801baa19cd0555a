// A page checked again after a scan, through the result views' recheck-page action, against a
// loopback site whose page can change in between: its link occurrences in the engine, the four
// link views and the link inspector must be those a first scan of the site as it now stands makes.
#include "engine/CrawlSettingKeys.h"
#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrlFetchTransport.h"
#include "engine/EngineDefaults.h"
#include "engine/PageRecheck.h"
#include "engine/RecordingEngineSEO.h"
#include "engine/Z12Ara.h"
#include "parsing/ParserFetchPageReader.h"
#include "parsing/ParserHubPageReader.h"
#include "parsing/ParserLinkExtraction.h"
#include "parsing/ScanningHub.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "support/LoopbackServer.h"
#include "support/RecordingShellServices.h"
#include "views/CrwlByLinkDataSource.h"
#include "views/CrwlByPageDataSource.h"
#include "views/CrwlByStatusDataSource.h"
#include "views/CrwlFlatViewDataSource.h"
#include "views/LinkInspectorContent.h"
#include "views/ScanControl.h"
#include "views/SelectionActions.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>

using namespace crawlmere::views;
using crawlmere::test::RecordingEngineSEO;
namespace Dispatch = crawlmere::platform::Dispatch;

namespace {

const std::string kPageA = "<a href=\"missing.html\">M</a> <a href=\"b.html\">B</a> <a href=\"/\">home</a> "
                           "<a href=\"a404link.html\">X</a> <a href=\"d.html\">D</a>";
// The same page edited: three links gone (one of them to the only way to d.html and, through it,
// to e.html), one new, B twice.
const std::string kPageAEdited
    = "<a href=\"b.html\">B</a> <a href=\"c.html\">C</a> <a href=\"/\">home</a> <a href=\"b.html\">B again</a>";

/// How a.html answers: as a page; gone (404, with an error page that links elsewhere); moved
/// (301) to /moved/a.html, whose relative links name pages of that folder.
enum class PageAAnswer { Page, Gone, Moved };

/// Home links to a.html, b.html and missing.html; a.html's body is `pageA` (`frenchPageA`, when
/// set, to a request that asks for French first); d.html links to e.html; b.html, c.html, e.html
/// and every page under /moved/ but a.html hold no links; anything else answers 404. Requests
/// are counted per path.
class RecheckSite {
public:
    RecheckSite()
    {
        server.server().Get(R"(/.*)", [this](const httplib::Request& request, httplib::Response& response) {
            std::string body;
            {
                std::unique_lock lock(mutex);
                ++hits[request.path];
                if (held.erase(request.path)) {
                    // No connection kept open for a next request, which the server's end would wait for.
                    response.set_header("Connection", "close");
                    waiting.insert(request.path);
                    changed.notify_all();
                    // Answered once the test releases it, however long that takes under load; a
                    // release that never comes is recorded when the site closes.
                    changed.wait(lock, [&] { return closing || !waiting.contains(request.path); });
                    if (waiting.erase(request.path))
                        unreleased.insert(request.path);
                }
                if (request.path == "/a.html" && answerA == PageAAnswer::Gone) {
                    response.status = 404;
                    response.set_content("<html><body><a href=\"/sitemap.html\">Site map</a></body></html>", "text/html");
                    return;
                }
                if (request.path == "/a.html" && answerA == PageAAnswer::Moved) {
                    response.set_redirect("/moved/a.html", 301);
                    return;
                }
                const bool french = request.get_header_value("Accept-Language").starts_with("fr");
                body = request.path == "/" ? "<a href=\"a.html\">A</a> <a href=\"b.html\">B</a> "
                                             "<a href=\"missing.html\">M</a>"
                    : request.path == "/a.html" ? (french && !frenchPageA.empty() ? frenchPageA : pageA)
                    : request.path == "/moved/a.html" ? "<a href=\"b.html\">B</a> <a href=\"sub.html\">Sub</a>"
                    : request.path.starts_with("/moved/") ? "<p>no links</p>"
                    : request.path == "/d.html" ? "<a href=\"e.html\">E</a>"
                    : request.path == "/b.html" || request.path == "/c.html" || request.path == "/e.html"
                    ? "<p>no links</p>"
                    : std::string();
            }
            if (body.empty()) {
                response.status = 404;
                return;
            }
            response.set_content("<html><head><title>" + request.path + "</title></head><body>" + body + "</body></html>",
                "text/html");
        });
    }
    /// Answers the requests still held and stops the server, whose handlers use the members
    /// below, before they go.
    ~RecheckSite()
    {
        {
            std::lock_guard lock(mutex);
            closing = true;
        }
        changed.notify_all();
        server.stop();
    }
    std::map<std::string, int> allHits()
    {
        std::lock_guard lock(mutex);
        return hits;
    }
    void setPageA(std::string body)
    {
        std::lock_guard lock(mutex);
        pageA = std::move(body);
    }
    void setFrenchPageA(std::string body)
    {
        std::lock_guard lock(mutex);
        frenchPageA = std::move(body);
    }
    void setAnswerA(PageAAnswer answer)
    {
        std::lock_guard lock(mutex);
        answerA = answer;
    }
    /// The next request of each path waits until `release` names it.
    void hold(std::set<std::string> paths)
    {
        std::lock_guard lock(mutex);
        held = std::move(paths);
    }
    std::set<std::string> requestsWaiting()
    {
        std::lock_guard lock(mutex);
        return waiting;
    }
    void release(const std::string& path)
    {
        std::lock_guard lock(mutex);
        waiting.erase(path);
        changed.notify_all();
    }
    /// Held requests answered without a release.
    std::set<std::string> unreleasedRequests()
    {
        std::lock_guard lock(mutex);
        return unreleased;
    }

    crawlmere::test::LoopbackServer server;

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::set<std::string> held, waiting, unreleased;
    std::map<std::string, int> hits;
    bool closing = false;
    std::string pageA = kPageA;
    std::string frenchPageA;
    PageAAnswer answerA = PageAAnswer::Page;
};

/// A hub as the window makes it, scanning the site in French.
struct Scan {
    explicit Scan(crawlmere::platform::UserDefaults& defaults, const QString& startingUrl)
        : hub(crawlmere::test::makeScanningHub(defaults))
    {
        auto settings = std::make_shared<CrawlSettings>(CrwlUrl::defaultCrawlSettings());
        settings->insert(crawlKey::startingUrl, startingUrl);
        settings->insert(crawlKey::customHeaderAcceptLanguage, QStringLiteral("fr"));
        hub->setCrawlSettings(settings);
    }
    ~Scan() { hub->clear(); }
    bool run()
    {
        return hub->go() && Dispatch::runUntil([&] { return hub->crawlFinished(); }, std::chrono::seconds(30));
    }
    std::shared_ptr<CrwlUrl> record(const QString& url) const
    {
        for (const auto& item : hub->linksCollection())
            if (auto record = std::dynamic_pointer_cast<CrwlUrl>(item); record && record->absoluteString() == url)
                return record;
        return nullptr;
    }

    std::shared_ptr<Z12Ara> hub;
};

/// What the four link views, the link inspector and the status line show of a scan, as the
/// window fills them when a scan ends: one sorted line per row, a child row after its parent's
/// first cell.
struct ViewsText {
    QStringList byLink, byPage, byStatus, flat, inspector;
    QString statusLine;
    bool operator==(const ViewsText&) const = default;
};

QString cells(const QStringList& values) { return values.join(QStringLiteral(" | ")); }

template <typename Source> QStringList outlineLines(Source& source, TableView& outline)
{
    QStringList lines;
    const auto row = [&](const qfDataSource::Item& item) {
        QStringList values;
        for (const TableColumn& column : outline.tableColumns())
            if (!column.hidden)
                values << source.outlineViewObjectValue(outline, column, item).toString();
        return values;
    };
    for (qsizetype top = 0; top < source.outlineViewNumberOfChildrenOfItem(outline, nullptr); ++top) {
        const auto parent = source.outlineViewChildOfItem(outline, top, nullptr);
        const QStringList parentCells = row(parent);
        lines << cells(parentCells);
        for (qsizetype child = 0; child < source.outlineViewNumberOfChildrenOfItem(outline, parent); ++child)
            lines << parentCells.value(0) + QStringLiteral(" > ") + cells(row(source.outlineViewChildOfItem(outline, child, parent)));
    }
    lines.sort();
    return lines;
}

template <typename Source> QStringList tableLines(Source& source, TableView& table)
{
    QStringList lines;
    for (qsizetype index = 0; index < source.numberOfRowsInTableView(table); ++index) {
        QStringList values;
        for (const TableColumn& column : table.tableColumns())
            if (!column.hidden)
                values << source.tableViewObjectValue(table, column, index).toString();
        lines << cells(values);
    }
    lines.sort();
    return lines;
}

ViewsText viewsOf(const Z12Ara& hub)
{
    ViewsText text;
    QList<qfDataSource::Item> occurrences;
    for (const auto& occurrence : hub.instanceCollection())
        occurrences.append(occurrence);

    HeadlessTableView linkTable(CrwlByLinkDataSource::defaultColumns());
    CrwlByLinkDataSource byLink;
    byLink.setTableView(&linkTable);
    byLink.setCollection(hub.linksCollection());
    byLink.filter();
    text.byLink = tableLines(byLink, linkTable);

    HeadlessTableView pageOutline(CrwlByPageDataSource::columns().tableColumns());
    CrwlByPageDataSource byPage;
    byPage.setOutlineView(&pageOutline);
    byPage.setInternalPageArray(hub.internalPagesCollection());
    byPage.filter();
    text.byPage = outlineLines(byPage, pageOutline);

    HeadlessTableView statusOutline(CrwlByStatusDataSource::columns().tableColumns());
    CrwlByStatusDataSource byStatus;
    byStatus.setOutlineView(&statusOutline);
    byStatus.setCollection(occurrences);
    byStatus.filter();
    text.byStatus = outlineLines(byStatus, statusOutline);

    HeadlessTableView flatTable(CrwlFlatViewDataSource::columns().tableColumns());
    CrwlFlatViewDataSource flat;
    flat.setTableView(&flatTable);
    flat.setCollection(occurrences);
    flat.filter();
    text.flat = tableLines(flat, flatTable);

    for (const auto& item : hub.linksCollection()) {
        const auto target = std::dynamic_pointer_cast<CrwlUrl>(item);
        const auto list = LinkInspectorContent::onPageList(*target);
        for (qsizetype row = 0; row < qsizetype(list.size()); ++row)
            text.inspector << target->absoluteString() + QStringLiteral(" on ")
                    + LinkInspectorContent::onPageCell(list, row, QStringLiteral("1"), 0, target->occurrencesCount())
                    + QStringLiteral(": ")
                    + LinkInspectorContent::onPageCell(
                        list, row, QStringLiteral("linktext"), 0, target->occurrencesCount());
    }
    text.inspector.sort();
    text.statusLine = ScanControl::statusText(
        hub.checkedLinkCount(), hub.linksCollection().size(), hub.pageCount(), hub.badLinkCount());
    return text;
}

void expectSameViews(const ViewsText& actual, const ViewsText& expected)
{
    const auto text = [](const QStringList& lines) { return lines.join(u'\n').toStdString(); };
    EXPECT_EQ(text(actual.byLink), text(expected.byLink));
    EXPECT_EQ(text(actual.byPage), text(expected.byPage));
    EXPECT_EQ(text(actual.byStatus), text(expected.byStatus));
    EXPECT_EQ(text(actual.flat), text(expected.flat));
    EXPECT_EQ(text(actual.inspector), text(expected.inspector));
    EXPECT_EQ(actual.statusLine.toStdString(), expected.statusLine.toStdString());
}

/// Every occurrence of the hub but a way in through a redirect stands once in its page's outbound
/// list and once in its target's inbound list, and every occurrence in a collected record's lists
/// is one of the hub's.
void expectOccurrencesConsistent(const Z12Ara& hub)
{
    std::set<const CrwlLinkInstance*> all;
    for (const auto& occurrence : hub.instanceCollection()) {
        ASSERT_TRUE(all.insert(occurrence.get()).second) << "listed twice";
        const auto parent = occurrence->parent();
        const auto target = occurrence->target();
        ASSERT_TRUE(parent && target);
        EXPECT_TRUE(hub.linksCollection().contains(target)) << qPrintable(target->absoluteString());
        if (Z12Ara::isRedirectArrival(*occurrence))
            continue; // a way in through a redirect stands in no list
        EXPECT_EQ(std::ranges::count(parent->getOutboundInstances(), occurrence), 1) << qPrintable(parent->absoluteString());
        EXPECT_EQ(std::ranges::count(target->getInboundInstances(), occurrence), 1) << qPrintable(target->absoluteString());
    }
    for (const auto& item : hub.linksCollection()) {
        const auto record = std::dynamic_pointer_cast<CrwlUrl>(item);
        for (const auto& list : { record->getInboundInstances(), record->getOutboundInstances() })
            for (const auto& occurrence : list)
                EXPECT_TRUE(all.contains(occurrence.get())) << "stale occurrence on " << qPrintable(record->absoluteString());
    }
}

class RecheckPageScanTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        crawlmere::engine::registerEngineDefaults(defaults);
        ASSERT_TRUE(site.server.start());
        scan = std::make_unique<Scan>(defaults, site.server.url(QStringLiteral("/")));
        ASSERT_TRUE(scan->run());
        ASSERT_EQ(scan->hub->instanceCollection().size(), 9u);
    }
    QString url(const char* path) const { return site.server.url(QLatin1String(path)); }

    /// Rechecks a.html as the flat view's "Recheck page" does with the row of b.html on a.html
    /// selected, and waits until the scan has finished again with `expected` requests made.
    void recheckPageA(const std::map<std::string, int>& expected)
    {
        QList<qfDataSource::Item> selected;
        for (const auto& occurrence : scan->hub->instanceCollection())
            if (occurrence->parent() == scan->record(url("/a.html"))
                && occurrence->target() == scan->record(url("/b.html")))
                selected.append(occurrence);
        ASSERT_EQ(selected.size(), 1);
        const auto pages = SelectionActions::parentsOf(selected);
        ASSERT_EQ(pages.size(), 1);
        bool done = false;
        ASSERT_TRUE(SelectionActions::recheckPages(scan->hub, pages, [&] { done = true; }));
        ASSERT_TRUE(Dispatch::runUntil(
            [&] { return done && scan->hub->crawlFinished() && site.allHits() == expected; }, std::chrono::seconds(30)));
        EXPECT_EQ(site.allHits(), expected);
    }
    /// The views of a first scan of the site as it now stands.
    ViewsText firstScanViews()
    {
        Scan fresh(defaults, url("/"));
        EXPECT_TRUE(fresh.run());
        return viewsOf(*fresh.hub);
    }

    QTemporaryDir folder;
    crawlmere::platform::UserDefaults defaults { folder.filePath(QStringLiteral("d.plist")) };
    RecheckSite site;
    std::unique_ptr<Scan> scan;
};

} // namespace

TEST_F(RecheckPageScanTest, AnUnchangedPageKeepsEveryOccurrenceAndItsBrokenLinksAreCheckedAgain)
{
    const ViewsText before = viewsOf(*scan->hub);
    std::map<std::string, int> expected = site.allHits();
    for (const char* path : { "/a.html", "/missing.html", "/a404link.html" })
        ++expected[path];
    recheckPageA(expected);

    expectOccurrencesConsistent(*scan->hub);
    const ViewsText after = viewsOf(*scan->hub);
    expectSameViews(after, before);
    expectSameViews(after, firstScanViews());
    EXPECT_EQ(scan->record(url("/a.html"))->outboundLinkCount(), 5);
    EXPECT_EQ(scan->record(url("/missing.html"))->occurrencesCount(), 2);
    EXPECT_EQ(scan->record(url("/a404link.html"))->getStatus(), 404);
    // "/" is linked from a.html alone: the by-link view names that page.
    EXPECT_TRUE(after.byLink.contains(cells({ url("/"), QStringLiteral("200 ok"), QString(), url("/a.html") })))
        << qPrintable(after.byLink.join(u'\n'));
}

TEST_F(RecheckPageScanTest, AnEditedPageShowsExactlyItsNewLinks)
{
    site.setPageA(kPageAEdited);
    std::map<std::string, int> expected = site.allHits();
    // The page and its one new link; the links it dropped are not fetched.
    ++expected["/a.html"];
    ++expected["/c.html"];
    recheckPageA(expected);

    expectOccurrencesConsistent(*scan->hub);
    expectSameViews(viewsOf(*scan->hub), firstScanViews());
    EXPECT_EQ(scan->record(url("/a.html"))->outboundLinkCount(), 4);
    EXPECT_EQ(scan->record(url("/b.html"))->occurrencesCount(), 3);
    // Still linked from home.
    EXPECT_EQ(scan->record(url("/missing.html"))->occurrencesCount(), 1);
    // Linked from nowhere now, and e.html was linked only from d.html.
    for (const char* path : { "/a404link.html", "/d.html", "/e.html" })
        EXPECT_EQ(scan->record(url(path)), nullptr) << path;
    ASSERT_NE(scan->record(url("/c.html")), nullptr);
    EXPECT_EQ(scan->record(url("/c.html"))->getStatus(), 200);
    EXPECT_EQ(scan->hub->instanceCollection().size(), 7u);
}

// Two pages rechecked from the views: both are requested before either answers, while the main
// thread goes on (it is what releases them), and the views are then those of a first scan.
TEST_F(RecheckPageScanTest, PagesLoadSideBySideWhileTheMainThreadRuns)
{
    site.hold({ "/a.html", "/d.html" });
    bool done = false;
    ASSERT_TRUE(SelectionActions::recheckPages(
        scan->hub, { scan->record(url("/a.html")), scan->record(url("/d.html")) }, [&] { done = true; }));
    const std::set<std::string> both { "/a.html", "/d.html" };
    EXPECT_TRUE(Dispatch::runUntil([&] { return site.requestsWaiting() == both; }, std::chrono::seconds(20)));
    for (const auto& path : both)
        site.release(path);
    ASSERT_TRUE(Dispatch::runUntil([&] { return done && scan->hub->crawlFinished(); }, std::chrono::seconds(30)));
    EXPECT_EQ(site.unreleasedRequests(), std::set<std::string>());
    expectOccurrencesConsistent(*scan->hub);
    expectSameViews(viewsOf(*scan->hub), firstScanViews());
}

// The page that loads first waits for the one before it: pages are read in the order given, as
// one after the other would read them.
TEST_F(RecheckPageScanTest, PagesAreReadInTheirOrderWhicheverLoadsFirst)
{
    const auto pageA = scan->record(url("/a.html"));
    const auto pageD = scan->record(url("/d.html"));
    std::vector<const void*> read;
    auto& center = crawlmere::platform::NotificationCenter::defaultCenter();
    center.addObserver(this, Z12Ara::CrwlPageLinksUpdated,
        [&](const crawlmere::platform::Notification& note) { read.push_back(note.object.get()); });
    site.hold({ "/a.html" });
    std::optional<PageRecheck::Outcome> outcome;
    const auto recheck = PageRecheck::start(scan->hub, { pageA, pageD }, [&](PageRecheck::Outcome o) { outcome = o; });
    ASSERT_NE(recheck, nullptr);
    EXPECT_TRUE(Dispatch::runUntil(
        [&] { return recheck->pagesLoaded() == 1 && !site.requestsWaiting().empty(); }, std::chrono::seconds(20)));
    EXPECT_TRUE(read.empty());
    site.release("/a.html");
    ASSERT_TRUE(Dispatch::runUntil([&] { return outcome.has_value(); }, std::chrono::seconds(30)));
    center.removeObserver(this);
    EXPECT_EQ(*outcome, PageRecheck::Outcome::AllPagesRead);
    EXPECT_EQ(read, (std::vector<const void*> { pageA.get(), pageD.get() }));
}

// A recheck whose scan is cleared (Clear, another Go) while its page loads reads nothing into
// the hub and says it was dropped.
TEST_F(RecheckPageScanTest, ARecheckOutlivingItsScanIsDropped)
{
    site.hold({ "/a.html" });
    std::optional<PageRecheck::Outcome> outcome;
    const auto recheck
        = PageRecheck::start(scan->hub, { scan->record(url("/a.html")) }, [&](PageRecheck::Outcome o) { outcome = o; });
    ASSERT_NE(recheck, nullptr);
    ASSERT_TRUE(Dispatch::runUntil([&] { return !site.requestsWaiting().empty(); }, std::chrono::seconds(20)));
    scan->hub->clear();
    site.release("/a.html");
    ASSERT_TRUE(Dispatch::runUntil([&] { return outcome.has_value(); }, std::chrono::seconds(30)));
    EXPECT_EQ(*outcome, PageRecheck::Outcome::Dropped);
    EXPECT_TRUE(scan->hub->linksCollection().isEmpty());
    EXPECT_TRUE(scan->hub->instanceCollection().empty());
}

// A page whose answer has changed since the scan is rechecked: every view and the status line
// show what a first scan of the site as it now stands shows. Gone: its status, no links (not
// those of the error page). Moved to another folder: the redirect, its links read against the
// final address. Edited in the scan's language only: the request is the scan's.
TEST_F(RecheckPageScanTest, ARecheckedPageShowsItsNewAnswerAsAFirstScanDoes)
{
    const struct {
        const char* name;
        std::function<void()> change;
        qint64 status;
        const char* redirect;
    } cases[] = {
        { "gone", [this] { site.setAnswerA(PageAAnswer::Gone); }, 404, "" },
        { "moved", [this] { site.setAnswerA(PageAAnswer::Moved); }, 200, "/moved/a.html" },
        { "edited in French", [this] { site.setFrenchPageA(kPageAEdited); }, 200, "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        site.setAnswerA(PageAAnswer::Page);
        site.setFrenchPageA({});
        scan = std::make_unique<Scan>(defaults, url("/"));
        ASSERT_TRUE(scan->run());
        c.change();
        bool done = false;
        ASSERT_TRUE(SelectionActions::recheckPages(scan->hub, { scan->record(url("/a.html")) }, [&] { done = true; }));
        ASSERT_TRUE(Dispatch::runUntil([&] { return done && scan->hub->crawlFinished(); }, std::chrono::seconds(30)));
        expectOccurrencesConsistent(*scan->hub);
        expectSameViews(viewsOf(*scan->hub), firstScanViews());
        EXPECT_EQ(scan->record(url("/a.html"))->getStatus(), c.status);
        EXPECT_EQ(scan->record(url("/a.html"))->getRedir(), *c.redirect ? url(c.redirect) : QString());
        EXPECT_EQ(scan->record(url("/sitemap.html")), nullptr);
    }
}
