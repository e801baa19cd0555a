// The sitemap's CSV read back by Python's csv, the HTML lists against golden files and
// xmllint, and the Graphviz text parsed by dot when it is installed.
#include "sitemap/SitemapManager.h"

#include "engine/CrawlSettings.h"
#include "engine/CrwlURLDelegate.h"
#include "platform/UserDefaults.h"
#include "sitemap/SitemapTestSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

using crawlmere::platform::UserDefaults;
using crawlmere::sitemap::SitemapManager;
using crawlmere::test::fixturePath;
using crawlmere::test::sitemapPage;

namespace {

/// Runs `program` with `arguments` and `input` on stdin: exit code and stdout (stderr on failure).
std::pair<int, QString> run(const QString& program, const QStringList& arguments, const QString& input = {})
{
    QProcess process;
    process.start(program, arguments);
    process.write(input.toUtf8());
    process.closeWriteChannel();
    if (!process.waitForFinished(60000))
        return { -1, QStringLiteral("did not finish") };
    const int code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return { code, QString::fromUtf8(code == 0 ? process.readAllStandardOutput() : process.readAllStandardError()) };
}

class SitemapReportsTest : public testing::Test {
protected:
    QTemporaryDir folder;
    UserDefaults defaults { folder.filePath(QStringLiteral("defaults.plist")) };
    SitemapManager manager { defaults };
    CrwlUrlList pages;

    /// A visible page with a title, linked from nothing yet.
    std::shared_ptr<CrwlUrl> page(const QString& url, qint64 distance, const QString& title)
    {
        auto made = sitemapPage(url, 200, distance);
        made->setLinkPageTitle(title);
        made->setVisible(true);
        pages.push_back(made);
        return made;
    }
    static void link(const std::shared_ptr<CrwlUrl>& from, const std::shared_ptr<CrwlUrl>& to)
    {
        auto occurrence = CrwlLinkInstance::make();
        occurrence->setParent(from);
        occurrence->setTarget(to);
        from->addOutboundInstance(occurrence);
        to->addInboundInstance(occurrence);
    }
    void site()
    {
        page("http://127.0.0.1/", 0, "Home & <b>garden</b>");
        page("http://127.0.0.1/b/c/deep.html", 2, "Deep \"quoted\"");
        page("http://127.0.0.1/A/page.html#top", 1, "First\nsecond line");
        page("http://127.0.0.1/a/other.html", 1, "<script>alert(1)</script>");
        page("http://127.0.0.1/lost.html", -1, "No distance");
        manager.setCollection(pages);
    }
    static QString golden(const QString& name)
    {
        QFile file(fixturePath(QStringLiteral("sitemap/") + name));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
};

TEST_F(SitemapReportsTest, CsvReadsBackUnderEveryQuoteOption)
{
    site();
    pages.back()->setVisible(false);
    // The reader that undoes each option, and the title as it then reads.
    const struct {
        qint64 option;
        QString reader;
        QString title;
    } cases[] = {
        { 0, "csv.reader(sys.stdin, escapechar='\\\\', doublequote=False)", "Deep \"quoted\"" },
        { 1, "csv.reader(sys.stdin)", "Deep 'quoted'" },
        { 2, "csv.reader(sys.stdin)", "Deep \"quoted\"" },
    };
    for (const auto& c : cases) {
        defaults.setObject(c.option, QStringLiteral("csvQuoteEscapeOption"));
        const QString script = QStringLiteral("import csv, sys, json\nprint(json.dumps(list(%1)))").arg(c.reader);
        const auto [code, out] = run(QStringLiteral("python3"), { QStringLiteral("-c"), script }, manager.sitemapCsvText());
        ASSERT_EQ(code, 0) << out.toStdString();
        const QJsonArray rows = QJsonDocument::fromJson(out.toUtf8()).array();
        ASSERT_EQ(rows.size(), 5) << c.option; // header and the four visible pages
        EXPECT_EQ(rows.at(0).toArray().at(0).toString(), "URL");
        EXPECT_EQ(rows.at(0).toArray().size(), 4); // URL, Title, Change frequency, Priority
        QStringList titles;
        for (const auto& row : rows)
            titles << row.toArray().at(1).toString();
        EXPECT_TRUE(titles.contains(c.title)) << c.option << titles.join('|').toStdString();
        EXPECT_TRUE(titles.contains("First\nsecond line")) << c.option;
    }
}

TEST_F(SitemapReportsTest, HtmlListsMatchGoldenFilesAndKeepMarkupAsText)
{
    site();
    const QString flat = manager.sitemapHtmlText();
    const QString indented = manager.sitemapHierarchicalHtmlText();
    EXPECT_EQ(flat, golden("flat.html"));
    EXPECT_EQ(indented, golden("indented.html"));
    for (const QString& html : { flat, indented }) {
        const auto [code, out] = run(QStringLiteral("xmllint"),
            { QStringLiteral("--html"), QStringLiteral("--xpath"), QStringLiteral("count(//script)"),
                QStringLiteral("-") },
            html);
        EXPECT_EQ(code, 0) << out.toStdString();
        EXPECT_EQ(out.trimmed(), "0");
        EXPECT_EQ(run(QStringLiteral("xmllint"), { QStringLiteral("--html"), QStringLiteral("--noout"), QStringLiteral("-") }, html)
                      .first,
            0);
    }
}

TEST_F(SitemapReportsTest, DotEdgesFollowLevelLimitCleaningAndEscaping)
{
    const auto home = page("http://127.0.0.1/", 0, "Home");
    const auto one = page("http://127.0.0.1/one", 1, "One");
    const auto odd = page("http://127.0.0.1/q\"uo\\te", 2, "Odd");
    const auto three = page("http://127.0.0.1/three", 3, "Three");
    const auto far = page("http://127.0.0.1/far", 7, "Far");
    const auto farther = page("http://127.0.0.1/farther", 8, "Farther");
    const auto outside = sitemapPage("http://192.0.2.1/elsewhere", 200, 1);
    link(home, one);
    link(home, one); // a duplicate link is a second edge
    link(home, outside);
    link(one, odd);
    link(odd, home); // back up: dropped while cleaning
    link(odd, three);
    link(far, farther);
    manager.setCollection(pages);

    // Level limit, cleaning, and the edges expected.
    const struct {
        bool limit;
        bool clean;
        int edges;
    } cases[] = { { true, true, 4 }, { true, false, 5 }, { false, true, 5 }, { false, false, 6 } };
    const bool haveDot = !QStandardPaths::findExecutable(QStringLiteral("dot")).isEmpty();
    for (const auto& c : cases) {
        defaults.setObject(c.limit, QStringLiteral("vizLimit"));
        defaults.setObject(c.clean, QStringLiteral("vizClean"));
        const auto dot = manager.getDotAsStringForExportng();
        ASSERT_TRUE(dot);
        EXPECT_EQ(dot->count(QStringLiteral(" -> ")), c.edges) << c.limit << c.clean;
        EXPECT_FALSE(dot->contains(u'\n'));
        if (haveDot) {
            const auto [code, out] = run(QStringLiteral("dot"), { QStringLiteral("-Tcanon") }, *dot);
            EXPECT_EQ(code, 0) << out.toStdString();
            EXPECT_EQ(run(QStringLiteral("gc"), { QStringLiteral("-e") }, out).second.split(' ', Qt::SkipEmptyParts).value(0),
                QString::number(c.edges));
        }
    }
    const QString dot = *manager.getDotAsStringForExportng();
    EXPECT_TRUE(dot.startsWith("digraph \"http://127.0.0.1/\" {\r\"http://127.0.0.1/\" -> \"/one\" [color=red];\r"));
    EXPECT_TRUE(dot.contains("\"/q\\\"uo\\\\te\" -> \"/three\" [color=yellow];\r"));
    EXPECT_TRUE(dot.contains("\"/far\" -> \"/farther\";\r")); // no colour past distance 6
}

// A page reached through a redirect is in the graph: a link to the redirect is an edge to the
// page the redirect ends at, its way in.
TEST_F(SitemapReportsTest, ALinkToARedirectIsAnEdgeToThePageItEndsAt)
{
    struct Redirects final : CrwlURLDelegate {
        std::map<const CrwlUrl*, std::shared_ptr<CrwlUrl>> finals;
        std::shared_ptr<CrwlUrl> getFinalRecordOf(const CrwlUrl& record) const override
        {
            const auto found = finals.find(&record);
            return found == finals.end() ? nullptr : found->second;
        }
    };
    const auto owner = std::make_shared<Redirects>();
    const auto home = page("http://127.0.0.1/", 0, "Home");
    const auto moved = page("http://127.0.0.1/moved.html", 1, "Moved");
    auto old = CrwlUrl::make(owner, std::make_shared<CrawlSettings>(CrwlUrl::defaultCrawlSettings()));
    old->setLinkURL(QStringLiteral("http://127.0.0.1/old"));
    old->addRedir(moved->absoluteString(), 301, 0);
    owner->finals[old.get()] = moved;
    auto nowhere = CrwlUrl::make(owner, std::make_shared<CrawlSettings>(CrwlUrl::defaultCrawlSettings()));
    nowhere->setLinkURL(QStringLiteral("http://127.0.0.1/gone"));
    link(home, old);
    link(home, nowhere); // a redirect to no page of the set gives no edge
    manager.setCollection(pages);
    const QString dot = *manager.getDotAsStringForExportng();
    EXPECT_EQ(dot.count(QStringLiteral(" -> ")), 1);
    EXPECT_TRUE(dot.contains("\"http://127.0.0.1/\" -> \"/moved.html\" [color=red];\r"));
}

TEST_F(SitemapReportsTest, StripHostKeepsTheRootAndNonUrls)
{
    EXPECT_EQ(SitemapManager::stripHost("http://127.0.0.1/"), "http://127.0.0.1/");
    EXPECT_EQ(SitemapManager::stripHost("https://127.0.0.1/a/b?q=1"), "/a/b?q=1");
    EXPECT_EQ(SitemapManager::stripHost("http://127.0.0.1:8080/a"), "/a");
    EXPECT_EQ(SitemapManager::stripHost("http://127.0.0.1:8080/"), "http://127.0.0.1:8080/");
    EXPECT_EQ(SitemapManager::stripHost("not a url"), "not a url");
}

} // namespace
