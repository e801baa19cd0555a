// The by-link view exported after a scan of a loopback site whose titles hold quotes, line
// breaks, "&" and a script element: golden CSV (three quote options) and HTML, read back with
// Python's csv module and xmllint, in process and through the built program.
#include "app/HeadlessScan.h"
#include "app/QuietHeadlessRun.h"

#include "platform/UserDefaults.h"
#include "support/Fixtures.h"
#include "support/LoopbackServer.h"
#include "views/ByLinkColumnManager.h"
#include "views/ByPageColumnManager.h"
#include "views/CrwlByLinkDataSource.h"
#include "views/CrwlByPageDataSource.h"
#include "views/CrwlFlatViewDataSource.h"
#include "views/FlatViewColumnManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace crawlmere::app;
using crawlmere::test::LoopbackServer;

namespace {

std::string page(const std::string& title, const std::string& body)
{
    return "<!DOCTYPE html><html><head><title>" + title + "</title></head><body>\n" + body + "\n</body></html>";
}

/// "/" links to three pages with awkward titles, a missing page and a page whose address is
/// 51 characters long (the loopback port has five digits); each awkward page links one page of
/// its own, so its title shows in that page's "Appears on".
void buildSite(httplib::Server& server)
{
    const auto html = [&server](const std::string& path, const std::string& text) {
        server.Get(path, [text](const httplib::Request&, httplib::Response& response) {
            response.set_content(text, "text/html; charset=utf-8");
        });
    };
    html("/", page("Home", R"(<a href="/quotes">Q</a> <a href="/lines">L</a> <a href="/script">S</a>
<a href="/missing">M</a> <a href="/a-rather-long-page-name.html">long</a>)"));
    html("/quotes", page("Tom &amp; \"Jerry\"", R"(<a href="/quotes-child">c</a>)"));
    html("/lines", page("Line one&#10;Line two&#13;", R"(<a href="/lines-child">c</a>)"));
    html("/script", page("&lt;script&gt;alert('x')&lt;/script&gt;", R"(<a href="/script-child">c</a>)"));
    for (const char* child : { "/quotes-child", "/lines-child", "/script-child", "/a-rather-long-page-name.html" })
        html(child, page("Child", ""));
}

QString readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

/// Python's csv reading of a file as a JSON list of rows.
QJsonArray pythonRows(const QString& path, bool backslashEscapes)
{
    const QString dialect = backslashEscapes ? QStringLiteral("escapechar='\\\\', doublequote=False") : QString();
    QProcess python;
    python.start(QStringLiteral("python3"),
        { QStringLiteral("-c"),
            QStringLiteral("import csv, json, sys\n"
                           "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                           "    print(json.dumps(list(csv.reader(f, %1))))\n")
                .arg(dialect),
            path });
    if (!python.waitForFinished(30000) || python.exitCode() != 0)
        return {};
    return QJsonDocument::fromJson(python.readAllStandardOutput()).array();
}

/// Makes a choice of columns as the window keeps it for a view: the last column of the pop-up
/// flipped and the first column dragged to the end. The titles then shown, in order.
template <typename Manager>
QStringList keepWindowChoice(QList<TableColumn> columns)
{
    HeadlessTableView table(std::move(columns));
    Manager manager(&crawlmere::platform::UserDefaults::standard());
    manager.setTableView(&table);
    manager.setUpColumns();
    manager.sendAction(manager.items().constLast().title);
    table.moveColumn(0, table.tableColumns().size() - 1);
    manager.columnsMoved();
    QStringList shown;
    for (const TableColumn& column : table.tableColumns()) {
        if (!column.hidden)
            shown << column.title;
    }
    return shown;
}

class HeadlessViewExport : public testing::Test {
protected:
    void SetUp() override
    {
        buildSite(server.server());
        ASSERT_TRUE(server.start());
        ASSERT_EQ(server.url().size(), 23) << "the golden files expect a five-digit port";
    }

    QStringList arguments(const QString& folder, const QString& quoteOption, bool badOnly = false) const
    {
        return { QStringLiteral("--headless"), QStringLiteral("--set"), QStringLiteral("numberOfThreads=1"),
            QStringLiteral("--default"), QStringLiteral("displayPageTitle=1"), QStringLiteral("--default"),
            QStringLiteral("csvQuoteEscapeOption=") + quoteOption, QStringLiteral("--default"),
            QStringLiteral("badLinksOnly=") + (badOnly ? QStringLiteral("YES") : QStringLiteral("NO")),
            QStringLiteral("--view"), QStringLiteral("1"), QStringLiteral("--csv"), folder + QStringLiteral("/a.csv"),
            QStringLiteral("--html"), folder + QStringLiteral("/a.html"), server.url() };
    }

    int runInProcess(const QStringList& commandLine) { return crawlmere::test::runHeadlessQuietly(commandLine); }

    /// The file with the server's port written as "PORT". With CRAWLMERE_UPDATE_GOLDEN set, the
    /// golden file `fixture` is rewritten from it.
    QString normalised(const QString& path, const QString& fixture) const
    {
        const QString text = readAll(path).replace(QString::number(server.port()), QStringLiteral("PORT"));
        if (qEnvironmentVariableIsSet("CRAWLMERE_UPDATE_GOLDEN")) {
            QFile golden(crawlmere::test::fixturePath(fixture));
            if (golden.open(QIODevice::WriteOnly))
                golden.write(text.toUtf8());
        }
        return text;
    }

    LoopbackServer server;
};

} // namespace

TEST_F(HeadlessViewExport, GoldenCsvAndHtmlReadBackAndTheProgramAgrees)
{
    QTemporaryDir folder;
    QJsonArray rowsByOption[3];
    for (const int option : { 0, 1, 2 }) {
        const QString dir = folder.filePath(QString::number(option));
        ASSERT_TRUE(QDir().mkpath(dir));
        ASSERT_EQ(runInProcess(arguments(dir, QString::number(option))), kExitFinished);
        const QString golden = QStringLiteral("exports/bylink-q%1.csv").arg(option);
        EXPECT_EQ(normalised(dir + "/a.csv", golden), QString::fromUtf8(crawlmere::test::readFixture(golden)))
            << "option " << option;
        rowsByOption[option] = pythonRows(dir + "/a.csv", /*backslashEscapes=*/option == 0);
        ASSERT_EQ(rowsByOption[option].size(), 10) << "header and nine URLs, option " << option;
    }
    // Backslash-escaped and doubled quotes read back to the same rows; option 1 has single quotes.
    EXPECT_EQ(rowsByOption[0], rowsByOption[2]);
    const QString home = QStringLiteral("Tom & \"Jerry\"");
    bool found = false;
    for (const auto& row : rowsByOption[2])
        found = found || row.toArray().at(3).toString() == home;
    EXPECT_TRUE(found);
    EXPECT_TRUE(readAll(folder.filePath("1/a.csv")).contains("Tom & 'Jerry'"));

    const QString html = folder.filePath("1/a.html");
    EXPECT_EQ(normalised(html, QStringLiteral("exports/bylink.html")),
        QString::fromUtf8(crawlmere::test::readFixture(QStringLiteral("exports/bylink.html"))));
    EXPECT_FALSE(readAll(html).contains("<script>"));
    QProcess xmllint;
    xmllint.start(QStringLiteral("xmllint"), { QStringLiteral("--html"), QStringLiteral("--noout"), html });
    ASSERT_TRUE(xmllint.waitForFinished(30000));
    EXPECT_EQ(xmllint.exitCode(), 0);
    EXPECT_EQ(xmllint.readAllStandardError(), QByteArray());

    // Bad links only: the missing page alone.
    ASSERT_EQ(runInProcess(arguments(folder.filePath("1"), QStringLiteral("1"), /*badOnly=*/true)), kExitFinished);
    EXPECT_EQ(readAll(folder.filePath("1/a.csv")).count(u'\n'), 2);
    EXPECT_TRUE(readAll(folder.filePath("1/a.csv")).contains("/missing\",\"404 not found\""));

    const QString program
        = QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/../crawlmere")).absoluteFilePath();
    if (!QFileInfo::exists(program))
        GTEST_SKIP() << "the crawlmere program is not built beside the tests";
    const QString byProgram = folder.filePath("program");
    ASSERT_TRUE(QDir().mkpath(byProgram));
    QProcess run;
    run.start(program, arguments(byProgram, QStringLiteral("1")));
    ASSERT_TRUE(run.waitForFinished(60000));
    EXPECT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
    ASSERT_EQ(runInProcess(arguments(folder.filePath("1"), QStringLiteral("1"))), kExitFinished);
    EXPECT_EQ(readAll(byProgram + "/a.csv"), readAll(folder.filePath("1/a.csv")));
    EXPECT_EQ(readAll(byProgram + "/a.html"), readAll(folder.filePath("1/a.html")));

    for (const QStringList& wrong :
        { QStringList { "--view", "9", server.url() }, QStringList { "--view", "0", server.url() },
            QStringList { "--view", "1", "--columns", "url", server.url() },
            QStringList { "--html", "x.html", server.url() } }) {
        QProcess usage;
        usage.start(program, QStringList { "--headless" } + wrong);
        ASSERT_TRUE(usage.waitForFinished(30000));
        EXPECT_EQ(usage.exitCode(), kExitUsage) << wrong.join(' ').toStdString();
        if (wrong.at(0) == "--view" && wrong.at(1) != "1") {
            EXPECT_TRUE(usage.readAllStandardError().startsWith("crawlmere: --view " + wrong.at(1).toUtf8()));
        }
    }
}

TEST_F(HeadlessViewExport, TheFlatViewIsOneRowPerLinkAndTheByPageViewListsEachPageWithItsLinks)
{
    QTemporaryDir folder;
    const auto run = [&](const char* view, bool badOnly) {
        return runInProcess({ QStringLiteral("--headless"), QStringLiteral("--set"), QStringLiteral("numberOfThreads=1"),
            QStringLiteral("--default"), QStringLiteral("csvQuoteEscapeOption=2"), QStringLiteral("--default"),
            QStringLiteral("badLinksOnly=") + (badOnly ? QStringLiteral("YES") : QStringLiteral("NO")),
            QStringLiteral("--view"), QLatin1String(view), QStringLiteral("--csv"), folder.filePath("v.csv"),
            server.url() });
    };
    ASSERT_EQ(run("4", false), kExitFinished);
    QJsonArray rows = pythonRows(folder.filePath("v.csv"), false);
    // Five links on the home page and one on each of the three awkward pages.
    ASSERT_EQ(rows.size(), 1 + 8) << qPrintable(readAll(folder.filePath("v.csv")));
    int missing = 0;
    for (const auto& row : rows)
        missing += row.toArray().contains(QStringLiteral("404 not found")) ? 1 : 0;
    EXPECT_EQ(missing, 1);
    ASSERT_EQ(run("4", true), kExitFinished);
    EXPECT_EQ(pythonRows(folder.filePath("v.csv"), false).size(), 2);

    // By page, every page expanded: four pages holding links, each followed by its links marked
    // with a tab.
    ASSERT_EQ(run("2", false), kExitFinished);
    rows = pythonRows(folder.filePath("v.csv"), false);
    ASSERT_EQ(rows.size(), 1 + 4 + 8) << qPrintable(readAll(folder.filePath("v.csv")));
    int children = 0;
    for (const auto& row : rows)
        children += row.toArray().at(0).toString().startsWith(u'\t') ? 1 : 0;
    EXPECT_EQ(children, 8);
}

TEST_F(HeadlessViewExport, TheViewsColumnsAreTheOnesTheWindowKeepsShownHiddenAndInTheirOrder)
{
    QTemporaryDir folder;
    auto& defaults = crawlmere::platform::UserDefaults::standard();
    const auto header = [&](const char* view) {
        EXPECT_EQ(runInProcess({ QStringLiteral("--headless"), QStringLiteral("--view"), QLatin1String(view),
                      QStringLiteral("--csv"), folder.filePath("v.csv"), server.url() }),
            kExitFinished);
        QStringList titles;
        for (const auto& title : pythonRows(folder.filePath("v.csv"), false).at(0).toArray())
            titles << title.toString();
        return titles;
    };
    const QStringList byLink = keepWindowChoice<ByLinkColumnManager>(CrwlByLinkDataSource::defaultColumns());
    EXPECT_EQ(header("1"), byLink);
    const QStringList byPage
        = keepWindowChoice<ByPageColumnManager>(crawlmere::views::CrwlByPageDataSource::columns().tableColumns());
    EXPECT_EQ(header("2"), byPage);
    // The flat view keeps no choice, as the README says: view 4 has its default columns whatever
    // the window did to them.
    const QList<TableColumn> flatColumns = crawlmere::views::CrwlFlatViewDataSource::columns().tableColumns();
    QStringList flatDefault;
    for (const TableColumn& column : flatColumns) {
        if (!column.hidden)
            flatDefault << column.title;
    }
    EXPECT_NE(keepWindowChoice<FlatViewColumnManager>(flatColumns), flatDefault);
    EXPECT_EQ(header("4"), flatDefault);
    const QString readme = readAll(crawlmere::test::fixturePath(QStringLiteral("../../README.md"))).simplified();
    EXPECT_TRUE(readme.contains(QStringLiteral("For views 1 to 3 the columns are those the window keeps")));
    EXPECT_TRUE(readme.contains(QStringLiteral("The flat view keeps no column choice")));
    for (const QString& key : { ByLinkColumnManager::defaultsKey, ByPageColumnManager::defaultsKey }) {
        defaults.removeObjectForKey(key);
        defaults.removeObjectForKey(key + QStringLiteral("Order"));
    }
}
