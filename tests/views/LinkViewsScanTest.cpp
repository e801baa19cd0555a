// A scan of a small loopback site shown in the by-page, by-status and flat views, compared with
// golden files.
#include "LinkViewsTestSupport.h"
#include "SiteScanTestSupport.h"
#include "engine/CrawlSettingKeys.h"
#include "engine/ScopedDefaults.h"
#include "engine/Z12Ara.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "views/CrwlByPageDataSource.h"
#include "views/CrwlByStatusDataSource.h"
#include "views/CrwlFlatViewDataSource.h"
#include "views/SelectionActions.h"

#include <gtest/gtest.h>

using namespace crawlmere::views;
using namespace crawlmere::test;

namespace {

void serveSite(httplib::Server& server)
{
    const auto page = [&server](const char* path, std::string body) {
        server.Get(path, [body](const httplib::Request&, httplib::Response& response) {
            response.set_content("<html><head><title>" + body.substr(0, body.find('|')) + "</title></head><body>"
                    + body.substr(body.find('|') + 1) + "</body></html>",
                "text/html");
        });
    };
    page("/",
        "Home|<a href=\"/about.html\">About us</a> <a href=\"/missing.html\">Broken \"link\"</a> "
        "<a href=\"/old.html\" rel=\"nofollow\">Old page</a> <img src=\"/logo.png\" alt=\"Logo\">");
    page("/about.html",
        "About|<a href=\"/\">Home</a>\n<a href=\"/missing.html\">Broken again</a>\n"
        "<a href=\"/team.html\" target=\"_blank\" hreflang=\"en\">Team</a>");
    page("/new.html", "New|<a href=\"/\">Back</a>");
    page("/team.html", "Team|<a href=\"/about.html\">About</a>");
    server.Get("/old.html", [](const httplib::Request&, httplib::Response& response) {
        response.status = 301;
        response.set_header("Location", "/new.html");
    });
    server.Get("/logo.png", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(std::string("\x89PNG\r\n\x1a\n", 8) + std::string(600, '\0'), "image/png");
    });
}

// Every row of an outline with every child shown below its parent, cells joined by " | ".
template <typename Source> QString outlineText(Source& source, TableView& outline)
{
    QString text;
    const auto columns = outline.tableColumns();
    const auto row = [&](const qfDataSource::Item& item, const QString& indent) {
        QStringList cells;
        for (const TableColumn& column : columns) {
            if (!column.hidden)
                cells << source.outlineViewObjectValue(outline, column, item).toString();
        }
        text += indent + cells.join(QStringLiteral(" | ")) + u'\n';
    };
    for (qsizetype top = 0; top < source.outlineViewNumberOfChildrenOfItem(outline, nullptr); ++top) {
        const auto parent = source.outlineViewChildOfItem(outline, top, nullptr);
        row(parent, QString());
        for (qsizetype child = 0; child < source.outlineViewNumberOfChildrenOfItem(outline, parent); ++child)
            row(source.outlineViewChildOfItem(outline, child, parent), QStringLiteral("\t"));
    }
    return text;
}

class LinkViewsScanTest : public SiteScanTest {
protected:
    // The scan's text with the server's address replaced by a fixed one.
    QString portable(QString text) const
    {
        return text.replace(server.url(QString()), QStringLiteral("http://site.test"));
    }
};

TEST_F(LinkViewsScanTest, TheThreeViewsOfAScanMatchTheirGoldenFiles)
{
    serveSite(server.server());
    ASSERT_TRUE(server.start());
    // One fetch at a time: a stable order.
    ASSERT_NO_FATAL_FAILURE(scan({ { crawlKey::numberOfThreads, qint64(1) } }));

    // As the window fills the views when a scan finishes: every URL passes the by-link filter.
    QList<qfDataSource::Item> occurrences;
    for (const auto& occurrence : hub->instanceCollection())
        occurrences.append(occurrence);
    ASSERT_EQ(occurrences.size(), 10); // nine links and the way in through the redirect

    HeadlessTableView pageOutline(CrwlByPageDataSource::columns().tableColumns());
    CrwlByPageDataSource byPage;
    byPage.setOutlineView(&pageOutline);
    byPage.clear();
    byPage.setInternalPageArray(hub->internalPagesCollection());
    byPage.filter();
    expectGolden(portable(outlineText(byPage, pageOutline)), QStringLiteral("scan-by-page.txt"));

    HeadlessTableView statusOutline(CrwlByStatusDataSource::columns().tableColumns());
    CrwlByStatusDataSource byStatus;
    byStatus.setOutlineView(&statusOutline);
    byStatus.clear();
    byStatus.setCollection(occurrences);
    byStatus.filter();
    expectGolden(portable(outlineText(byStatus, statusOutline)), QStringLiteral("scan-by-status.txt"));

    HeadlessTableView flatTable(CrwlFlatViewDataSource::columns().tableColumns());
    CrwlFlatViewDataSource flat;
    flat.setTableView(&flatTable);
    flat.clear();
    flat.setCollection(occurrences);
    flat.filter();
    ScopedDefaults quoting;
    quoting.set(QStringLiteral("csvQuoteEscapeOption"), 2);
    expectGolden(portable(flat.flatCSV(/*badLinks=*/false)), QStringLiteral("scan-flat.csv"));
    expectGolden(portable(flat.flatCSV(/*badLinks=*/true)), QStringLiteral("scan-flat-bad-links.csv"));

    // Bad links only: the pages holding the broken link, and its group alone.
    quoting.set(QStringLiteral("badLinksOnly"), true);
    byPage.filter();
    byStatus.filter();
    ASSERT_EQ(byPage.countPagesWithVisibleItems(), 2);
    EXPECT_EQ(byPage.visibleLinksOfPage(*byPage.getNthPageWithVisibleItems(0)).size(), 1);
    ASSERT_EQ(byStatus.getStatusRows().size(), 1);
    EXPECT_EQ(byStatus.getStatusRows().first()->occurrences.size(), 2);
}

} // namespace

TEST_F(LinkViewsScanTest, SelectionActionsChangeExactlyTheSelectedTargets)
{
    serveSite(server.server());
    ASSERT_TRUE(server.start());
    auto settings = std::make_shared<CrawlSettings>(CrwlUrl::defaultCrawlSettings());
    settings->insert(crawlKey::startingUrl, server.url(QStringLiteral("/")));
    hub->setCrawlSettings(settings);
    // Nothing is rechecked while a scan has not ended.
    EXPECT_EQ(SelectionActions::recheckLinks(*hub, { std::make_shared<CrwlUrl>() }), 0);
    bool finished = false;
    crawlmere::platform::NotificationCenter::defaultCenter().addObserver(
        this, Z12Ara::CrwlCrawlDidFinish, [&](const auto&) { finished = true; });
    ASSERT_TRUE(hub->go());
    ASSERT_TRUE(crawlmere::platform::Dispatch::runUntil([&] { return finished; }, std::chrono::seconds(30)));
    crawlmere::platform::NotificationCenter::defaultCenter().removeObserver(this);

    QList<qfDataSource::Item> broken;
    QList<qfDataSource::Item> pages;
    for (const auto& occurrence : hub->instanceCollection())
        if (occurrence->target()->absoluteString().endsWith(u"/missing.html"))
            broken << occurrence;
    for (const auto& page : hub->internalPagesCollection())
        pages << page;
    ASSERT_EQ(broken.size(), 2);

    // Page rows of an outline are skipped; occurrence rows give their target, each selected once.
    EXPECT_TRUE(SelectionActions::targetsOf(pages, false).isEmpty());
    const auto targets = SelectionActions::targetsOf(broken, false);
    ASSERT_EQ(targets.size(), 2);
    EXPECT_EQ(targets[0], targets[1]);
    EXPECT_EQ(targets[0]->getStatus(), 404);
    // The pages holding them, once each: the home page and the about page.
    EXPECT_EQ(SelectionActions::parentsOf(broken).size(), 2);
    EXPECT_EQ(SelectionActions::parentsOf({ targets[0] }).size(), 2);

    SelectionActions::markFixed(*hub, { targets[0] });
    EXPECT_EQ(targets[0]->getStatus(), -3);
    qsizetype fixed = 0;
    for (const auto& occurrence : hub->instanceCollection())
        fixed += occurrence->target()->getStatus() == -3;
    EXPECT_EQ(fixed, 2);

    EXPECT_EQ(SelectionActions::recheckLinks(*hub, { targets[0] }), 1);
    EXPECT_NE(targets[0]->getStatus(), -3);
}
