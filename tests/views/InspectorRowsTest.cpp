// Inspectors opened before a rescan and a clear: their rows keep what they show, in any order,
// and a link inspector that follows the rescan lists what a new one would.
#include "SiteScanTestSupport.h"
#include "views/CrwlLinkInspectorWindowController.h"
#include "views/CrwlPageInspectorWindowController.h"
#include "views/LinkInspectorOnPageTable.h"

#include <QHeaderView>
#include <QTableWidget>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace crawlmere;
using views::CrwlLinkInspectorWindowController;
using views::CrwlPageInspectorWindowController;

namespace {

/// Every row of `table` as its cells joined, in sorted order: what it shows, whatever its order.
QStringList shownRows(const QTableWidget& table)
{
    QStringList rows;
    for (int row = 0; row < table.rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < table.columnCount(); ++column)
            cells.append(table.item(row, column) ? table.item(row, column)->text() : QStringLiteral("<none>"));
        rows.append(cells.join(QStringLiteral(" | ")));
    }
    rows.sort();
    return rows;
}

/// "/p3.html" is reached by two links and by the redirect "/r1", which answers only once
/// "/a.html" (the second link) has been served; "/target.html" only through "/only". The
/// second version of the site words its links and titles anew.
class InspectorRows : public test::SiteScanTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(SiteScanTest::SetUp());
        const auto page = [this](const char* path, const char* title, const char* body) {
            server.server().Get(path, [=, this](const httplib::Request&, httplib::Response& response) {
                const std::string again = version.load() > 1 ? " again" : "";
                std::string text = body;
                for (size_t at = text.find("</a>"); at != std::string::npos;
                     at = text.find("</a>", at + again.size() + 4))
                    text.insert(at, again);
                response.set_content(std::string("<html><head><title>") + title + again + "</title></head><body>" + text
                        + "</body></html>",
                    "text/html");
                if (std::string(path) == "/a.html")
                    aServed = version.load();
            });
        };
        page("/", "Home",
            "<a href=\"/p3.html\">Page A direct</a> <a href=\"/a.html\">A</a> <a href=\"/r1\">R1</a> <a "
            "href=\"/only\">Only</a>");
        page("/a.html", "A", "<a href=\"/p3.html\">from a</a>");
        page("/p3.html", "P3", "<a href=\"/a.html\">back to a</a>");
        page("/target.html", "Target", "");
        server.server().Get("/r1", [this](const httplib::Request&, httplib::Response& response) {
            // Waits for the event, with a bound should the scan never ask for "/a.html".
            for (int waited = 0; aServed.load() < version.load() && waited < 2000; ++waited)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            response.set_redirect("/p3.html", 302);
        });
        server.server().Get("/only",
            [](const httplib::Request&, httplib::Response& response) { response.set_redirect("/target.html", 302); });
        ASSERT_TRUE(server.start());
        ASSERT_NO_FATAL_FAILURE(scan());
    }
    std::shared_ptr<CrwlUrl> record(const char* path) const
    {
        return hub->weHaveThisOneAlready(server.url(QLatin1String(path)), nullptr, true);
    }

    std::atomic<int> version { 1 };
    std::atomic<int> aServed { 0 };
};

} // namespace

TEST_F(InspectorRows, RowsKeepTheirTextsThroughARescanAndAClearInEveryOrder)
{
    const char* const pages[] = { "/p3.html", "/target.html" };
    std::vector<std::unique_ptr<CrwlLinkInspectorWindowController>> links;
    for (const char* path : pages) {
        links.push_back(std::make_unique<CrwlLinkInspectorWindowController>());
        links.back()->setLcurl(record(path));
        links.back()->windowDidLoad();
    }
    CrwlPageInspectorWindowController page(nullptr);
    page.setLcurl(record("/p3.html"));
    page.windowDidLoad();
    std::vector<QTableWidget*> tables { links[0]->onPageTable(), links[1]->onPageTable(),
        page.table(QStringLiteral("inboundLinksTableView")), page.table(QStringLiteral("outboundLinksTableView")) };
    const QStringList pageInbound = shownRows(*tables[2]);
    ASSERT_EQ(pageInbound.size(), 3);
    ASSERT_TRUE(pageInbound.join(u'\n').contains(u"Page A direct"));

    // Every column sorted both ways leaves every cell of every table with its text.
    const auto sortEveryColumn = [&](const char* when) {
        SCOPED_TRACE(when);
        for (QTableWidget* table : tables) {
            const QStringList before = shownRows(*table);
            for (int column = 0; column < table->columnCount(); ++column) {
                for (const Qt::SortOrder order : { Qt::AscendingOrder, Qt::DescendingOrder }) {
                    if (auto* onPage = qobject_cast<views::LinkInspectorOnPageTable*>(table))
                        Q_EMIT onPage->horizontalHeader()->sectionClicked(column);
                    else
                        table->horizontalHeader()->setSortIndicator(column, order);
                    EXPECT_EQ(shownRows(*table), before) << qPrintable(table->objectName()) << " column " << column;
                }
            }
        }
    };
    sortEveryColumn("before the rescan");

    version = 2;
    ASSERT_NO_FATAL_FAILURE(scan());
    // The link inspectors followed the rescan: each lists what one opened now lists, its way in
    // through a redirect too. The page inspector shows the first scan's rows.
    for (size_t index = 0; index < links.size(); ++index) {
        SCOPED_TRACE(pages[index]);
        ASSERT_EQ(links[index]->getLcurl(), record(pages[index]));
        CrwlLinkInspectorWindowController fresh;
        fresh.setLcurl(record(pages[index]));
        fresh.windowDidLoad();
        EXPECT_EQ(shownRows(*links[index]->onPageTable()), shownRows(*fresh.onPageTable()));
        EXPECT_TRUE(shownRows(*fresh.onPageTable()).join(u'\n').contains(u"[redirect]"));
    }
    EXPECT_TRUE(shownRows(*links[0]->onPageTable()).join(u'\n').contains(u"Page A direct again"));
    EXPECT_EQ(shownRows(*tables[2]), pageInbound);
    sortEveryColumn("after the rescan");

    hub->clear();
    sortEveryColumn("after the clear");
}
