// The inspectors of a page reached through a redirect list the redirect as a way in, beside any
// direct link, and highlighting such a way in shows the redirect (there is no link to mark).
#include "SiteScanTestSupport.h"
#include "engine/CrwlLinkInstance.h"
#include "platform/UrlOpener.h"
#include "support/RecordingUrlOpener.h"
#include "views/CrwlLinkInspectorWindowController.h"
#include "views/CrwlPageInspectorWindowController.h"
#include "views/InspectorWindows.h"
#include "views/LinkInspectorOnPageTable.h"

#include <QLineEdit>
#include <QTabWidget>
#include <QTableWidget>
#include <gtest/gtest.h>

using namespace crawlmere;

namespace {

QString field(const QWidget& window, const char* name) { return window.findChild<QLineEdit*>(QLatin1String(name))->text(); }

/// The rows of a table as "first cell | second cell".
QStringList rows(const QTableWidget& table)
{
    QStringList texts;
    for (int row = 0; row < table.rowCount(); ++row)
        texts.append(table.item(row, 0)->text() + QStringLiteral(" | ") + table.item(row, 1)->text());
    return texts;
}

/// A scanned site: the home page links "/both.html" directly and through the redirect
/// "/to-both", and "/only" redirects to "/target.html", which no link names.
class RedirectWaysIn : public test::SiteScanTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(SiteScanTest::SetUp());
        const auto page = [](const char* title, const char* body) {
            return [=](const httplib::Request&, httplib::Response& response) {
                response.set_content(std::string("<html><head><title>") + title + "</title></head><body>" + body
                        + "</body></html>",
                    "text/html");
            };
        };
        server.server().Get("/",
            page("Home", "<a href=\"/both.html\">Both</a> <a href=\"/to-both\">Old both</a> <a href=\"/only\">Only</a>"));
        server.server().Get("/both.html", page("Both", ""));
        server.server().Get("/target.html", page("Target", ""));
        server.server().Get("/to-both", [](const httplib::Request&, httplib::Response& response) {
            response.set_redirect("/both.html", 301);
        });
        server.server().Get("/only", [](const httplib::Request&, httplib::Response& response) {
            response.set_redirect("/target.html", 302);
        });
        ASSERT_TRUE(server.start());
        scan();
    }
    std::shared_ptr<CrwlUrl> record(const char* path) const
    {
        return hub->weHaveThisOneAlready(server.url(QLatin1String(path)), nullptr, true);
    }
};

} // namespace

TEST_F(RedirectWaysIn, BothInspectorsListTheRedirectsAPageIsReachedThrough)
{
    const struct {
        const char* page;
        QStringList waysIn;
    } cases[] = {
        { "/target.html", { server.url("/only") + " | [redirect]" } },
        { "/both.html", { server.url("/") + " | Both", server.url("/to-both") + " | [redirect]" } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.page);
        const auto page = record(c.page);
        ASSERT_TRUE(page);
        views::CrwlLinkInspectorWindowController link;
        link.setLcurl(page);
        link.windowDidLoad();
        EXPECT_EQ(field(link, "inspectorTargetPageInboundCount"), QString::number(c.waysIn.size()));
        EXPECT_EQ(rows(*link.onPageTable()), c.waysIn);
        // A page's links read again, and a status update, leave the ways in and the widths the
        // user gave the redirect table's columns as they are.
        link.redirectTable()->setColumnWidth(0, 77);
        platform::NotificationCenter::defaultCenter().post(Z12Ara::CrwlPageLinksUpdated, page);
        EXPECT_EQ(field(link, "inspectorTargetPageInboundCount"), QString::number(c.waysIn.size()));
        platform::NotificationCenter::defaultCenter().post(Z12Ara::CrwlUrlStatusUpdated, record("/"));
        EXPECT_EQ(link.redirectTable()->columnWidth(0), 77);

        views::CrwlPageInspectorWindowController inspector(nullptr);
        inspector.setLcurl(page);
        inspector.windowDidLoad();
        EXPECT_EQ(field(inspector, "inspectorInternalBacklinks"), QString::number(c.waysIn.size()));
        EXPECT_EQ(rows(*inspector.table(QStringLiteral("inboundLinksTableView"))), c.waysIn);
    }
}

TEST_F(RedirectWaysIn, HighlightingAWayInThroughARedirectShowsTheRedirect)
{
    std::shared_ptr<CrwlLinkInstance> arrival;
    for (const auto& occurrence : hub->instanceCollection()) {
        if (Z12Ara::isRedirectArrival(*occurrence) && occurrence->target() == record("/target.html"))
            arrival = occurrence;
    }
    ASSERT_TRUE(arrival);
    qfDataSource owner;
    const auto opener = std::make_shared<platform::RecordingUrlOpener>();
    views::InspectorWindows windows(owner, opener);
    windows.highlight(arrival);
    // No page is fetched and marked: the redirect's own inspector opens on its Redirects tab.
    auto* shown = windows.lastLinkInspector();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->getLcurl(), record("/only"));
    EXPECT_EQ(shown->tabView()->currentWidget()->objectName(), QStringLiteral("redirectsTabViewItem"));
    EXPECT_TRUE(opener->opened.isEmpty());
    shown->close();
}
