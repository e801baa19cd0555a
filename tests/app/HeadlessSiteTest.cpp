// End-to-end scans of a scripted loopback site of about thirty pages: every URL found, its
// status, redirect columns, title, link count and occurrence count, in process and through the
// built program's --csv.
#include "HeadlessScanTestSupport.h"

#include "support/LoopbackSite.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

#include <map>

using namespace crawlmere::app;
using namespace crawlmere::test::headless;
using crawlmere::test::serveLoopbackSite;

namespace {

using CsvRow = std::map<QString, QString>;

/// What one URL's row must say.
struct Expected {
    QString status;
    QString redir; ///< a path on the site, or empty
    QString title;
    int linkCount = 0;
    int occurrences = 0;
};

/// The loopback site (support/LoopbackSite). Every link, its page and what it must become:
/// "/"                 17 links (the image, mail and telephone links, "#top" and the image without
///                     a source are not among them)
/// "/a.html"           "/" and "b.html" (its mail link and image do not count)
/// "/dir/c.html"       "../a.html", "../dir/d.html", "sub/e.html", "./d.html#x"
/// "/dir/d.html"       "../q.html?x=1#frag", "../q.html?x=3&amp;y=4"
/// "/dir/sub/e.html"   "../../missing.html", "../c.html", "../../../a.html" (above the root: "/a.html"
///                     when up-a-directory links are tolerated)
/// "/target.html"      "/b.html" (reached only through the redirect of "/moved", a page of its own;
///                     so is "/final.html", reached only through the chain of "/chain1")
/// "/private/secret.html" "/private/deeper.html", "/a.html" (disallowed by robots.txt)
/// "/base/page.html"   base "/other/": "x.html", "../up.html"
/// "/latin.html"       windows-1252, "b.html"
///
/// The rows a correct scan of the site gives from "/", nofollow links not followed.
/// `robotsObserved`: the disallowed page is listed but neither fetched nor read.
std::map<QString, Expected> expectedRows(bool robotsObserved)
{
    std::map<QString, Expected> rows {
        { "/", { "200 ok", "", "Home", 17, 1 } },
        { "/a.html", { "200 ok", "", "Page A", 2, robotsObserved ? 4 : 5 } },
        { "/b.html", { "200 ok", "", "Page B", 0, 4 } },
        { "/dir/c.html", { "200 ok", "", "Page C", 4, 2 } },
        { "/dir/d.html", { "200 ok", "", "Page D", 2, 2 } },
        { "/dir/sub/e.html", { "200 ok", "", "Page E", 3, 1 } },
        { "/moved", { "200 ok < 301 moved permanently", "/target.html", "Target", 0, 1 } },
        { "/target.html", { "200 ok", "", "Target", 1, 0 } },
        { "/missing.html", { "404 not found", "", "", 0, 2 } },
        { "/old", { "404 not found < 301 moved permanently", "/missing.html", "", 0, 1 } },
        { "/chain1", { "200 ok < 302 found", "/final.html", "Final", 0, 1 } },
        { "/final.html", { "200 ok", "", "Final", 0, 0 } },
        { "/q.html?x=1", { "200 ok", "", "Query 1", 0, 2 } },
        { "/q.html?x=2", { "200 ok", "", "Query 2", 0, 1 } },
        { "/q.html?x=3&y=4", { "200 ok", "", "Query 3", 0, 1 } },
        { "/logo.png", { "200 ok", "", "", 0, 2 } },
        // Checked, not read: a page not followed gets no page facts.
        { "/nf.html", { "200 ok", "", "", 0, 1 } },
        { "/base/page.html", { "200 ok", "", "Base", 2, 1 } },
        { "/other/x.html", { "200 ok", "", "Other X", 0, 1 } },
        { "/up.html", { "200 ok", "", "Up", 0, 1 } },
        { "/latin.html", { "200 ok", "", QStringLiteral(u"Café “menu”"), 1, 1 } },
        { "/slow.html", { "The request timed out.", "", "", 0, 1 } },
        { "/error.html", { "500 internal server error", "", "", 0, 1 } },
    };
    if (robotsObserved) {
        rows["/private/secret.html"] = { "Disallowed by robots.txt", "", "", 0, 1 };
    } else {
        rows["/private/secret.html"] = { "200 ok", "", "Secret", 2, 1 };
        rows["/private/deeper.html"] = { "200 ok", "", "Deeper", 0, 1 };
    }
    return rows;
}

const QString kColumns = QStringLiteral("url,status,redir,linkpagetitle,linkcount,onpagecount");

/// The built program, beside the tests folder of the build.
QString programPath()
{
    return QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/../crawlmere")).absoluteFilePath();
}

class HeadlessSiteTest : public HeadlessScanTest {
protected:
    void serveSite(httplib::Server& site) override { serveLoopbackSite(site); }

    /// The scan's arguments: nofollow links not followed, links above the root tolerated, a
    /// two-second time-out.
    QStringList arguments(bool robotsObserved, const QString& csv) const
    {
        return { QStringLiteral("--headless"), QStringLiteral("--set"), QStringLiteral("timeout=2"),
            QStringLiteral("--set"), QStringLiteral("tolerateUpADirectory=YES"), QStringLiteral("--set"),
            QStringLiteral("blacklistByRobotsTxt=") + (robotsObserved ? QStringLiteral("YES") : QStringLiteral("NO")),
            QStringLiteral("--set"), QStringLiteral("dontFollowNofollowLinks=YES"), QStringLiteral("--columns"),
            kColumns, QStringLiteral("--csv"), csv, server.url(QStringLiteral("/")) };
    }

    int runInProcess(bool robotsObserved, const QString& csv) { return run(arguments(robotsObserved, csv), false); }

    /// Compares every row of `csv` with `expected`, and the set of URLs with its keys.
    void expectRows(const CsvTable& csv, const std::map<QString, Expected>& expected) const
    {
        EXPECT_EQ(csv.header, kColumns.split(u','));
        QStringList missing;
        for (const auto& [path, want] : expected) {
            const auto found = csv.rows.find(server.url(path));
            if (found == csv.rows.end()) {
                missing.append(path);
                continue;
            }
            const CsvRow& row = found->second;
            SCOPED_TRACE(path.toStdString());
            EXPECT_EQ(row.at("status"), want.status);
            EXPECT_EQ(row.at("redir"), want.redir.isEmpty() ? QString() : server.url(want.redir));
            EXPECT_EQ(row.at("linkpagetitle"), want.title);
            EXPECT_EQ(row.at("linkcount"), QString::number(want.linkCount));
            EXPECT_EQ(row.at("onpagecount"), QString::number(want.occurrences));
        }
        EXPECT_TRUE(missing.isEmpty()) << "not found: " << qPrintable(missing.join(u' '));

        // The loop ends as a recurring redirect, never as a page; it is the one row beyond the
        // table above. Nothing else is found: no fragment, mail or telephone link, no page behind
        // a nofollow link.
        const auto loop = csv.rows.find(server.url(QStringLiteral("/loop1")));
        ASSERT_NE(loop, csv.rows.end());
        EXPECT_TRUE(loop->second.at("status").startsWith(u"Recurring redirect"))
            << qPrintable(loop->second.at("status"));
        EXPECT_EQ(loop->second.at("linkpagetitle"), "");
        EXPECT_EQ(loop->second.at("linkcount"), "0");
        EXPECT_EQ(loop->second.at("onpagecount"), "1");
        QStringList unexpected;
        for (const auto& [key, row] : csv.rows) {
            const QString path = key.mid(server.url(QStringLiteral("/")).size() - 1);
            if (!expected.count(path) && path != u"/loop1")
                unexpected.append(key);
        }
        EXPECT_TRUE(unexpected.isEmpty()) << "found too: " << qPrintable(unexpected.join(u' '));
        EXPECT_EQ(csv.rowCount, static_cast<int>(expected.size()) + 1); // every URL once
    }
};

} // namespace

TEST_F(HeadlessSiteTest, AScanWithRobotsTxtIgnoredFetchesTheDisallowedPagesAndFindsEveryUrl)
{
    const QString csvPath = folder.filePath(QStringLiteral("scan.csv"));
    ASSERT_EQ(runInProcess(/*robotsObserved=*/false, csvPath), kExitFinished) << qPrintable(err.text());
    const auto expected = expectedRows(false);
    expectRows(readCsv(csvPath), expected);

    const QString summary = out.text();
    const int rows = static_cast<int>(expected.size()) + 1;
    EXPECT_EQ(summaryValue(summary, "URLs found"), QString::number(rows)) << qPrintable(summary);
    EXPECT_EQ(summaryValue(summary, "URLs checked"), QString::number(rows));
    // The 404, the redirect to it, the loop, the time-out and the 500.
    EXPECT_EQ(summaryValue(summary, "Bad links"), "5");
}

TEST_F(HeadlessSiteTest, AScanObservingRobotsTxtListsTheDisallowedPageUnfetched)
{
    const QString csvPath = folder.filePath(QStringLiteral("scan.csv"));
    ASSERT_EQ(runInProcess(/*robotsObserved=*/true, csvPath), kExitFinished) << qPrintable(err.text());
    expectRows(readCsv(csvPath), expectedRows(true));
}

TEST_F(HeadlessSiteTest, TheProgramWritesTheSameCsvAsTheScanInProcess)
{
    if (!QFileInfo::exists(programPath()))
        GTEST_SKIP() << "the crawlmere program is not built beside the tests";
    const QString inProcessPath = folder.filePath(QStringLiteral("in-process.csv"));
    ASSERT_EQ(runInProcess(/*robotsObserved=*/false, inProcessPath), kExitFinished) << qPrintable(err.text());

    const QString programCsvPath = folder.filePath(QStringLiteral("program.csv"));
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("CRAWLMERE_HOME"), folder.filePath(QStringLiteral("home")));
    process.setProcessEnvironment(environment);
    process.start(programPath(), arguments(/*robotsObserved=*/false, programCsvPath));
    ASSERT_TRUE(process.waitForFinished(120000));
    const QString programErr = QString::fromUtf8(process.readAllStandardError());
    ASSERT_EQ(process.exitStatus(), QProcess::NormalExit) << qPrintable(programErr);
    ASSERT_EQ(process.exitCode(), kExitFinished) << qPrintable(programErr);
    const QString programOut = QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_TRUE(programOut.startsWith(QStringLiteral("Scan finished: ") + server.url(QStringLiteral("/")) + u'\n'))
        << qPrintable(programOut);

    const CsvTable inProcess = readCsv(inProcessPath);
    const CsvTable program = readCsv(programCsvPath);
    expectRows(program, expectedRows(false));
    EXPECT_EQ(program.header, inProcess.header);
    EXPECT_EQ(program.rowCount, inProcess.rowCount);
    for (const auto& [url, row] : inProcess.rows) {
        const auto other = program.rows.find(url);
        ASSERT_NE(other, program.rows.end()) << qPrintable(url);
        EXPECT_EQ(other->second, row) << qPrintable(url);
    }
    EXPECT_EQ(summaryValue(programOut, "Bad links"), summaryValue(out.text(), "Bad links"));
    EXPECT_EQ(
        summaryValue(programOut, "CSV"), QStringLiteral("%1 (%2 rows)").arg(programCsvPath).arg(inProcess.rowCount));
}

TEST_F(HeadlessSiteTest, ALinkAboveTheRootStaysItsOwnUrlUnlessUpADirectoryLinksAreTolerated)
{
    // From E, "../../../a.html" climbs one folder above the root. Untolerated, it keeps its "/../"
    // and is checked as a URL of its own; the start's folder scope keeps the scan from reading it.
    const QString csvPath = folder.filePath(QStringLiteral("scan.csv"));
    ASSERT_EQ(run({ QStringLiteral("--columns"), kColumns, QStringLiteral("--csv"), csvPath,
                      server.url(QStringLiteral("/dir/sub/e.html")) },
                  false),
        kExitFinished)
        << qPrintable(err.text());
    CsvTable csv = readCsv(csvPath);
    EXPECT_EQ(csv.rowCount, 4);
    ASSERT_TRUE(csv.rows.count(server.url(QStringLiteral("/../a.html"))));
    EXPECT_EQ(csv.rows.at(server.url(QStringLiteral("/../a.html"))).at("onpagecount"), "1");
    EXPECT_FALSE(csv.rows.count(server.url(QStringLiteral("/a.html"))));
    EXPECT_EQ(csv.rows.at(server.url(QStringLiteral("/dir/sub/e.html"))).at("linkcount"), "3");
    EXPECT_EQ(csv.rows.at(server.url(QStringLiteral("/missing.html"))).at("status"), "404 not found");
    EXPECT_EQ(csv.rows.at(server.url(QStringLiteral("/dir/c.html"))).at("status"), "200 ok");

    ASSERT_EQ(run({ QStringLiteral("--set"), QStringLiteral("tolerateUpADirectory=YES"), QStringLiteral("--columns"),
                      kColumns, QStringLiteral("--csv"), csvPath, server.url(QStringLiteral("/dir/sub/e.html")) },
                  false),
        kExitFinished);
    csv = readCsv(csvPath);
    EXPECT_EQ(csv.rowCount, 4);
    EXPECT_FALSE(csv.rows.count(server.url(QStringLiteral("/../a.html"))));
    ASSERT_TRUE(csv.rows.count(server.url(QStringLiteral("/a.html"))));
    EXPECT_EQ(csv.rows.at(server.url(QStringLiteral("/a.html"))).at("status"), "200 ok");
}

TEST_F(HeadlessSiteTest, TheRedirectsLeadingToAUrlAreCounted)
{
    const QString csvPath = folder.filePath(QStringLiteral("scan.csv"));
    ASSERT_EQ(run({ QStringLiteral("--columns"), QStringLiteral("url,numberofredirectstohere"), QStringLiteral("--csv"),
                      csvPath, server.url(QStringLiteral("/")) },
                  false),
        kExitFinished);
    const CsvTable csv = readCsv(csvPath);
    ASSERT_TRUE(csv.rows.count(server.url(QStringLiteral("/missing.html"))));
    EXPECT_EQ(csv.rows.at(server.url(QStringLiteral("/missing.html"))).at("numberofredirectstohere"), "1");
    EXPECT_EQ(csv.rows.at(server.url(QStringLiteral("/a.html"))).at("numberofredirectstohere"), "0");
}
