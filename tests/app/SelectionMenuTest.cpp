#include "app/AppDelegate.h"
#include "app/MainInterface.h"
#include "app/MainTabView.h"
#include "app/MainWindow.h"
#include "app/ResultsController.h"
#include "app/SavePanelAnswer.h"
#include "app/WindowTestSupport.h"
#include "engine/CrawlSettingKeys.h"
#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "engine/ShellServices.h"
#include "engine/Z12Ara.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "support/LoopbackServer.h"
#include "views/InspectorWindows.h"
#include "views/LinkViewMenus.h"
#include "views/ResultTreeView.h"
#include "views/qfOutlineView.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QItemSelectionModel>
#include <QMenu>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextBrowser>

#include <gtest/gtest.h>

#include <map>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace app = crawlmere::app;
using crawlmere::views::LinkViewMenus;
using crawlmere::views::ResultTreeView;

using crawlmere::test::QuietPrompts;
using crawlmere::test::waitFor;

namespace {

constexpr int kFailAfterMs = 60000;

/// A finished scan of a loopback site: "/" and "/b.html" are pages; "/gone1" to "/gone4" answer
/// 404, each linked from "/", "/gone1" from "/b.html" too. Counts the requests per path.
class SelectionMenuTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        server.server().Get(R"(/.*)", [this](const httplib::Request& request, httplib::Response& response) {
            {
                std::lock_guard lock(mutex);
                ++hits[request.path];
            }
            if (request.path == "/")
                response.set_content("<html><head><title>home</title></head><body><a href=\"b.html\">b</a>"
                                     "<a href=\"gone1\">1</a><a href=\"gone2\">2</a><a href=\"gone3\">3</a>"
                                     "<a href=\"gone4\">4</a></body></html>",
                    "text/html");
            else if (request.path == "/b.html")
                response.set_content(
                    "<html><head><title>b</title></head><body><a href=\"gone1\">again</a></body></html>", "text/html");
            else
                response.status = 404;
        });
        // One request per connection: the server stops at once after a page's own load.
        server.server().set_keep_alive_max_count(1);
        ASSERT_TRUE(server.start());
        const QString settings = folder.filePath(QStringLiteral("site.lcsettings"));
        ASSERT_TRUE(crawlmere::platform::PropertyList::writeXmlFile(settings,
            QVariantMap { { QStringLiteral("name"), QStringLiteral("Loop") }, { crawlKey::startingUrl, server.url() } })
                        .ok());
        shell.launch();
        ASSERT_TRUE(shell.delegate().applicationOpenFile(settings));
        // Deadlines for a failure only: each wait ends as soon as what it waits for happens,
        // which a machine under heavy load can take a long time to reach.
        ASSERT_TRUE(waitFor([&] { return shell.hub()->crawlFinished() && record("/gone4"); }, kFailAfterMs));
        ASSERT_TRUE(
            waitFor([&] { return hitsOf("/gone4") > 0 && record("/gone4")->getStatus() == 404; }, kFailAfterMs));
    }
    void TearDown() override { shell.terminate(); }

    int hitsOf(const std::string& path)
    {
        std::lock_guard lock(mutex);
        return hits[path];
    }
    std::map<std::string, int> allHits()
    {
        std::lock_guard lock(mutex);
        return hits;
    }
    std::shared_ptr<CrwlUrl> record(const QString& path) const
    {
        for (const auto& item : shell.hub()->linksCollection()) {
            auto url = std::dynamic_pointer_cast<CrwlUrl>(item);
            if (url && url->absoluteString() == server.url(path))
                return url;
        }
        return nullptr;
    }
    std::map<QString, qint64> statuses() const
    {
        std::map<QString, qint64> result;
        for (const auto& item : shell.hub()->linksCollection())
            if (auto url = std::dynamic_pointer_cast<CrwlUrl>(item))
                result[url->absoluteString()] = url->getStatus();
        return result;
    }
    ResultTreeView* view(int tab) const
    {
        static const char* const names[] = { "", "byLinkView", "byPageOutlineView", "byStatusOutlineView", "flatView" };
        return qobject_cast<ResultTreeView*>(shell.window().resultView(QLatin1String(names[tab])));
    }
    /// Brings `tab` to the front and selects the rows (at any depth) that `wanted` accepts.
    int select(int tab, const std::function<bool(const qfDataSource::Item&)>& wanted) const
    {
        shell.window().mainTabView()->selectTabViewItemWithIdentifier(QString::number(tab));
        ResultTreeView* tree = view(tab);
        QItemSelection selection;
        std::function<void(const QModelIndex&)> visit = [&](const QModelIndex& parent) {
            for (int row = 0; row < tree->model()->rowCount(parent); ++row) {
                const QModelIndex index = tree->model()->index(row, 0, parent);
                if (wanted(tree->itemAt(index)))
                    selection.select(index, index);
                visit(index);
            }
        };
        visit(QModelIndex());
        tree->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        return int(tree->selectionModel()->selectedRows().size());
    }
    /// Accepts the record at `path` itself or an occurrence pointing to it.
    std::function<bool(const qfDataSource::Item&)> pointingTo(const QString& path) const
    {
        return [this, path](const qfDataSource::Item& item) {
            if (auto occurrence = std::dynamic_pointer_cast<CrwlLinkInstance>(item))
                return occurrence->target() == record(path);
            return item == record(path);
        };
    }

    crawlmere::test::LoopbackServer server;
    std::mutex mutex;
    std::map<std::string, int> hits;
    QTemporaryDir folder;
    crawlmere::platform::UserDefaults store { folder.filePath(QStringLiteral("defaults.plist")) };
    app::MainInterface shell { store, std::make_shared<QuietPrompts>() };
};

} // namespace

TEST_F(SelectionMenuTest, EachFrontViewRechecksAndMarksFixedExactlyItsSelectedTargets)
{
    for (int tab = 1; tab <= 4; ++tab) {
        const std::string path = "/gone" + std::to_string(tab);
        const QString gone = QString::fromStdString(path);
        SCOPED_TRACE(path);
        ASSERT_GE(select(tab, pointingTo(gone)), 1);
        std::map<std::string, int> expected = allHits();
        ++expected[path];
        shell.delegate().recheckMenuItem();
        EXPECT_TRUE(waitFor([&] {
            return hitsOf(path) == expected[path] && record(gone)->getStatus() == 404 && shell.hub()->crawlFinished();
        }));
        EXPECT_EQ(allHits(), expected);

        std::map<QString, qint64> before = statuses();
        before[server.url(gone)] = -3;
        ASSERT_GE(select(tab, pointingTo(gone)), 1);
        shell.delegate().markAsFixedMenuItem();
        EXPECT_EQ(statuses(), before);
    }
}

TEST_F(SelectionMenuTest, PageRowsAloneRecheckNothingAndPagesAreReloadedOncePerSelection)
{
    const std::map<std::string, int> before = allHits();
    ASSERT_EQ(select(2, [](const qfDataSource::Item& item) { return !!std::dynamic_pointer_cast<CrwlUrl>(item); }), 2);
    shell.delegate().recheckMenuItem();
    // By page has no recheck-page action either.
    shell.delegate().recheckMultipleParentsMenuItem();
    // A request these set off, however late, shows among the counts of the recheck below, which
    // waits for exactly its own requests.
    EXPECT_EQ(allHits(), before);

    // By link, "/gone1" is on both pages: each page loads once more. The broken links on them
    // are fetched once each and the scan ends again with their true status.
    ASSERT_EQ(select(1, pointingTo(QStringLiteral("/gone1"))), 1);
    shell.delegate().recheckMultipleParentsMenuItem();
    std::map<std::string, int> expected = before;
    for (const char* path : { "/", "/b.html", "/gone1", "/gone2", "/gone3", "/gone4" })
        ++expected[path];
    EXPECT_TRUE(waitFor([&] { return allHits() == expected && shell.hub()->crawlFinished(); }, kFailAfterMs));
    EXPECT_EQ(allHits(), expected);
    for (const char* path : { "/gone1", "/gone2", "/gone3", "/gone4" })
        EXPECT_EQ(record(QLatin1String(path))->getStatus(), 404) << path;

    // The items are on the context menus of the rows they act on.
    auto* byPage = qobject_cast<qfOutlineView*>(view(2));
    EXPECT_NE(LinkViewMenus::action(byPage->secondaryMenu(), "recheckMenuItem"), nullptr);
    EXPECT_EQ(LinkViewMenus::action(byPage->secondaryMenu(), "recheckMultipleParentsMenuItem"), nullptr);
    EXPECT_EQ(LinkViewMenus::action(byPage->menu(), "recheckMenuItem"), nullptr);
    EXPECT_NE(LinkViewMenus::action(view(4)->menu(), "markAsFixedMenuItem"), nullptr);
}

TEST_F(SelectionMenuTest, TheViewsLocateItemsShowTheRouteInTheLocateWindow)
{
    ASSERT_EQ(select(3, pointingTo(QStringLiteral("/gone3"))), 1);
    auto* byStatus = qobject_cast<qfOutlineView*>(view(3));
    // Opening a menu enables the items its view's opener serves.
    Q_EMIT byStatus->secondaryMenu()->aboutToShow();
    LinkViewMenus::action(byStatus->secondaryMenu(), "locate")->trigger();
    ASSERT_NE(shell.delegate().locateView(), nullptr);
    EXPECT_TRUE(shell.delegate().locateView()->toPlainText().contains(server.url(QStringLiteral("/gone3"))));

    // A page is located through the link by which it was found.
    ASSERT_EQ(
        select(2, [this](const qfDataSource::Item& item) { return item == record(QStringLiteral("/b.html")); }), 1);
    Q_EMIT view(2)->menu()->aboutToShow();
    LinkViewMenus::action(view(2)->menu(), "locate")->trigger();
    const QString text = shell.delegate().locateView()->toPlainText();
    EXPECT_TRUE(text.contains(QStringLiteral("target url: \"%1\"").arg(server.url(QStringLiteral("/b.html")))))
        << qPrintable(text);
}

TEST_F(SelectionMenuTest, TheFlatViewsRecheckPageLoadsThePageHoldingTheSelectedLinkAgain)
{
    // "/gone1" is linked from "/" and "/b.html": the row of its occurrence on "/b.html" only.
    ASSERT_EQ(select(4,
                  [this](const qfDataSource::Item& item) {
                      auto occurrence = std::dynamic_pointer_cast<CrwlLinkInstance>(item);
                      return occurrence && occurrence->target() == record(QStringLiteral("/gone1"))
                          && occurrence->parent() == record(QStringLiteral("/b.html"));
                  }),
        1);
    QMenu* menu = view(4)->menu();
    Q_EMIT menu->aboutToShow();
    QAction* recheckPage = LinkViewMenus::action(menu, "recheckMultipleParentsMenuItem");
    ASSERT_NE(recheckPage, nullptr);
    EXPECT_TRUE(recheckPage->isEnabled());
    EXPECT_NE(LinkViewMenus::action(view(4)->tertiaryMenu(), "recheckMultipleParentsMenuItem"), nullptr);
    std::map<std::string, int> expected = allHits();
    // The page loads again and its broken link, still on it, is checked again.
    ++expected["/b.html"];
    ++expected["/gone1"];
    recheckPage->trigger();
    EXPECT_TRUE(waitFor([&] { return allHits() == expected && shell.hub()->crawlFinished(); }));
    EXPECT_EQ(allHits(), expected);
    EXPECT_EQ(record(QStringLiteral("/gone1"))->getStatus(), 404);
}

TEST_F(SelectionMenuTest, TheByLinkInspectItemOpensTheInspectorOfTheSelectedLink)
{
    ASSERT_EQ(select(1, pointingTo(QStringLiteral("/gone2"))), 1);
    QAction* inspect = LinkViewMenus::action(view(1)->menu(), "inspectMenuItem");
    ASSERT_NE(inspect, nullptr);
    EXPECT_TRUE(inspect->isEnabled());
    inspect->trigger();
    auto* inspector = shell.results().inspectors().lastLinkInspector();
    ASSERT_NE(inspector, nullptr);
    EXPECT_EQ(inspector->getLcurl(), record(QStringLiteral("/gone2")));
    EXPECT_TRUE(inspector->isVisible());
}

TEST_F(SelectionMenuTest, FilePrintPrintsTheFrontViewAndTheHiddenSEOItemWritesTheTallies)
{
    QAction* print = shell.window().menuItem(QStringLiteral("printMenuItem"));
    ASSERT_NE(print, nullptr);
    EXPECT_EQ(print->shortcut(), QKeySequence(QKeySequence::Print));
    const QString pdf = folder.filePath(QStringLiteral("front.pdf"));
    struct Case {
        const char* tab;
        bool printed;
        const char* path;
    };
    for (const Case& c : { Case { "2", true, "/b.html" }, Case { "1", true, "/gone4" }, Case { "0", false, "" } }) {
        SCOPED_TRACE(c.tab);
        QFile::remove(pdf);
        shell.window().mainTabView()->selectTabViewItemWithIdentifier(QLatin1String(c.tab));
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        EXPECT_EQ(shell.results().printFrontView(printer), c.printed);
        EXPECT_EQ(QFile::exists(pdf), c.printed);
        if (!c.printed)
            continue;
        QProcess tool;
        tool.start(QStringLiteral("pdftotext"), { QStringLiteral("-layout"), pdf, QStringLiteral("-") });
        ASSERT_TRUE(tool.waitForFinished(30000));
        EXPECT_TRUE(QString::fromUtf8(tool.readAllStandardOutput()).contains(server.url(QLatin1String(c.path))));
    }

    auto* summary = shell.window().findChild<QAction*>(QStringLiteral("exportSEOShortSummaryAsCSVMenuItem"));
    ASSERT_NE(summary, nullptr);
    EXPECT_FALSE(summary->isVisible());
    const QString csv = folder.filePath(QStringLiteral("summary.csv"));
    crawlmere::test::answerSavePanelWith(csv);
    summary->trigger();
    QFile written(csv);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(written.readAll());
    EXPECT_TRUE(text.startsWith(QStringLiteral("count,test\n"))) << qPrintable(text);
    EXPECT_EQ(text, shell.hub()->SEOShortSummaryAsCSV());
    // Both pages have a title but neither a description nor an h1 heading.
    EXPECT_TRUE(text.contains(QStringLiteral("\n2,pages without description\n"))) << qPrintable(text);
    EXPECT_TRUE(text.contains(QStringLiteral("\n2,Pages with no h1\n"))) << qPrintable(text);
    EXPECT_FALSE(text.contains(QStringLiteral("pages without title"))) << qPrintable(text);
}

TEST_F(SelectionMenuTest, AWindowSaveOrPrintThatCannotBeWrittenShowsAnAlertWithTheReason)
{
    const QString fifo = folder.filePath(QStringLiteral("pipe.csv"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // A reader, so that a write that went ahead would not wait for one.
    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const QString fifoReason = QStringLiteral("it is a FIFO (named pipe), not a regular file; nothing was written there");
    const QString deviceReason = QStringLiteral("it is a character device, not a regular file; nothing was written there");
    const auto trigger = [this](const char* item) {
        return [this, item] {
            QAction* action = shell.window().findChild<QAction*>(QLatin1String(item));
            ASSERT_NE(action, nullptr) << item;
            action->trigger();
        };
    };
    const auto print = [this](const QString& path) {
        return [this, path] {
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(path);
            EXPECT_FALSE(shell.results().printFrontView(printer));
        };
    };
    const struct {
        const char* what;
        QString path;
        QString reason;
        bool asks; ///< the save panel asks for the path
        std::function<void()> save;
    } cases[] = {
        { "by-link CSV", fifo, fifoReason, true, trigger("exportAsCSVMenuItem") },
        { "SEO summary", fifo, fifoReason, true, trigger("exportSEOShortSummaryAsCSVMenuItem") },
        { "site settings", fifo, fifoReason, true, trigger("exportSelectedSettingsMenuItem") },
        { "all settings", fifo, fifoReason, true, trigger("exportAllSettingsMenuItem") },
        { "print to a FIFO", fifo, fifoReason, false, print(fifo) },
        { "print to a device", QStringLiteral("/dev/null"), deviceReason, false, print(QStringLiteral("/dev/null")) },
    };
    shell.window().mainTabView()->selectTabViewItemWithIdentifier(QStringLiteral("1"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QStringList alerts;
        crawlmere::test::answerAlert(&alerts);
        if (c.asks)
            crawlmere::test::answerSavePanelWith(c.path);
        c.save();
        ASSERT_TRUE(waitFor([&] { return !alerts.isEmpty(); }));
        EXPECT_EQ(alerts, QStringList { QStringLiteral("The file could not be saved.\ncannot write %1: %2").arg(c.path, c.reason) });
    }
    char byte = 0;
    EXPECT_EQ(::read(reader, &byte, 1), 0); // nothing was written into the FIFO
    ::close(reader);
}
