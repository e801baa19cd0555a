// The XML sitemap written by a headless scan of a loopback site: exactly its good internal
// pages, valid against the project's schemas, split with an index of absolute addresses.
#include "app/HeadlessScan.h"
#include "app/QuietHeadlessRun.h"

#include "engine/EngineDefaults.h"
#include "platform/UserDefaults.h"
#include "sitemap/SitemapTestSupport.h"
#include "support/LoopbackServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>

#include <gtest/gtest.h>

using namespace crawlmere::app;
using crawlmere::test::LoopbackServer;
using crawlmere::test::schemaErrors;

namespace {

class HeadlessSitemapTest : public testing::Test {
protected:
    void SetUp() override
    {
        crawlmere::engine::registerEngineDefaults(crawlmere::platform::UserDefaults::standard());
        server.server().new_task_queue = [] { return new httplib::ThreadPool(16); };
        server.server().set_keep_alive_timeout(1);
        const auto html = [this](const std::string& path, const std::string& head, const std::string& body) {
            server.server().Get(path, [head, body](const httplib::Request&, httplib::Response& response) {
                response.set_content(
                    "<html><head><title>t</title>" + head + "</head><body>" + body + "</body></html>", "text/html");
            });
        };
        html("/", "", R"(<a href="/a?x=1&amp;y=2">a</a> <a href="/noindex">n</a> <a href="/canonical">c</a>
<a href="/missing">m</a> <a href="/big/0">big</a> <img src="/img/0.png" alt="Caf&eacute; &lt;1&gt;">)");
        html("/a", "", R"(<a href="/">home</a>)");
        html("/noindex", R"(<meta name="robots" content="noindex">)", R"(<a href="/">home</a>)");
        html("/canonical", R"(<link rel="canonical" href="/a?x=1&amp;y=2">)", R"(<a href="/">home</a>)");
        html("/alone", R"(<link rel="canonical" href="/a">)", "no links");
        // Sixty pages of a hundred images with long alt texts pass 10,000,000 characters once.
        server.server().Get(R"(/big/(\d+))", [](const httplib::Request& request, httplib::Response& response) {
            const int n = std::stoi(request.matches[1]);
            std::string body
                = n + 1 < 60 ? "<a href=\"/big/" + std::to_string(n + 1) + "\">next</a>" : "<a href=/>h</a>";
            const std::string alt(1900, 'w');
            for (int i = 0; i < 100; ++i)
                body += "<img src=\"/img/" + std::to_string(i) + ".png\" alt=\"" + alt + "\">";
            response.set_content("<html><head><title>big</title></head><body>" + body + "</body></html>", "text/html");
        });
        server.server().Get(R"(/img/\d+\.png)",
            [](const httplib::Request&, httplib::Response& response) { response.set_content("png", "image/png"); });
        ASSERT_TRUE(server.start());
    }

    int run(const QStringList& arguments) { return crawlmere::test::runHeadlessQuietly(arguments); }
    static QString read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    static QStringList locs(const QString& text)
    {
        QStringList found;
        static const QRegularExpression loc(QStringLiteral("\t\t<loc>([^<]*)</loc>"));
        for (const auto& match : loc.globalMatch(text))
            found << match.captured(1);
        return found;
    }

    QTemporaryDir folder;
    LoopbackServer server;
};

} // namespace

TEST_F(HeadlessSitemapTest, ListsTheGoodInternalPagesAndSplitsWithAnAbsoluteIndex)
{
    const QString path = folder.filePath(QStringLiteral("site.xml"));
    QString printed;
    ASSERT_EQ(crawlmere::test::runHeadlessCapturing(
                  { QStringLiteral("--headless"), QStringLiteral("--set"), QStringLiteral("numberOfThreads=4"),
                      QStringLiteral("--default"), QStringLiteral("uniqueimagesinsitemap=NO"),
                      QStringLiteral("--sitemap"), path, server.url() },
                  &printed),
        kExitFinished);
    EXPECT_FALSE(QFile::exists(path));
    const QString index = folder.filePath(QStringLiteral("site/site.xml"));
    // The summary names the index that is there, and its parts.
    EXPECT_TRUE(printed.contains(QStringLiteral("\nSitemap: %1 (the index of 2 parts, 62 pages)\n").arg(index)))
        << qPrintable(printed);
    EXPECT_EQ(schemaErrors(index, QStringLiteral("siteindex.xsd")), "");
    const QString root = server.url(QStringLiteral("/"));
    EXPECT_EQ(read(index).count(QStringLiteral("<loc>") + root + QStringLiteral("site-")), 2);

    QStringList pages;
    for (const char* file : { "site/site-1.xml", "site/site-2.xml" }) {
        const QString written = folder.filePath(QString::fromLatin1(file));
        EXPECT_EQ(schemaErrors(written, QStringLiteral("sitemap.xsd")), "") << file;
        pages += locs(read(written));
    }
    QStringList expected { server.url(QStringLiteral("/")), server.url(QStringLiteral("/a?x=1&amp;y=2")) };
    for (int n = 0; n < 60; ++n)
        expected << server.url(QStringLiteral("/big/%1").arg(n));
    pages.sort();
    expected.sort();
    EXPECT_EQ(pages, expected);
    EXPECT_TRUE(read(folder.filePath(QStringLiteral("site/site-1.xml")))
                    .contains(QStringLiteral("<image:title>Café &lt;1&gt;</image:title>")));

    // A sitemap that cannot be written exits with 1.
    EXPECT_EQ(run({ QStringLiteral("--headless"), QStringLiteral("--sitemap"),
                  folder.filePath(QStringLiteral("no/such/s.xml")), server.url(QStringLiteral("/a?x=1&y=2")) }),
        kExitFailed);
}

TEST_F(HeadlessSitemapTest, ACsvThatCannotBeWrittenLeavesTheSitemapWrittenAndTheSummarySaysWhich)
{
    const QString csv = folder.filePath(QStringLiteral("no-such-folder/scan.csv"));
    const QString path = folder.filePath(QStringLiteral("one.xml"));
    QString printed;
    EXPECT_EQ(crawlmere::test::runHeadlessCapturing({ QStringLiteral("--headless"), QStringLiteral("--set"),
                                                        QStringLiteral("levelsLimit=1"), QStringLiteral("--csv"), csv,
                                                        QStringLiteral("--sitemap"), path, server.url(QStringLiteral("/a")) },
                  &printed),
        kExitFailed);
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_TRUE(printed.contains(QStringLiteral("\nCSV: not written: "))) << qPrintable(printed);
    const QRegularExpression sitemapLine(
        QStringLiteral("\nSitemap: %1 \\(\\d+ pages?, 1 file\\)\n").arg(QRegularExpression::escape(path)));
    EXPECT_TRUE(sitemapLine.match(printed).hasMatch()) << qPrintable(printed);
}

TEST_F(HeadlessSitemapTest, TheSummaryNamesTheFilesWrittenByTheirPlainPaths)
{
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("sub")));
    QString printed;
    EXPECT_EQ(crawlmere::test::runHeadlessCapturing(
                  { QStringLiteral("--headless"), QStringLiteral("--set"), QStringLiteral("levelsLimit=1"),
                      QStringLiteral("--csv"), folder.filePath(QStringLiteral("sub/../links.csv")),
                      QStringLiteral("--sitemap"), folder.filePath(QStringLiteral("./sub/./../one.xml")),
                      server.url(QStringLiteral("/a")) },
                  &printed),
        kExitFinished);
    const QString real = QFileInfo(folder.path()).canonicalFilePath();
    EXPECT_TRUE(printed.contains(QStringLiteral("\nCSV: %1/links.csv (").arg(real))) << qPrintable(printed);
    EXPECT_TRUE(printed.contains(QStringLiteral("\nSitemap: %1/one.xml (").arg(real))) << qPrintable(printed);
    EXPECT_FALSE(printed.contains(QStringLiteral("/./")) || printed.contains(QStringLiteral("/../")))
        << qPrintable(printed);
}

// Every page left out: the summary says in one line that no file was written, and why.
TEST_F(HeadlessSitemapTest, ASitemapWithEveryPageLeftOutSaysWhyNoFileWasWritten)
{
    const QString path = folder.filePath(QStringLiteral("empty.xml"));
    QString printed;
    EXPECT_EQ(crawlmere::test::runHeadlessCapturing({ QStringLiteral("--headless"), QStringLiteral("--default"),
                                                        QStringLiteral("sitemapObservesCanonicalElsewhere=YES"),
                                                        QStringLiteral("--sitemap"), path,
                                                        server.url(QStringLiteral("/alone")) },
                  &printed),
        kExitFinished);
    EXPECT_FALSE(QFile::exists(path));
    const QStringList lines = printed.split(QLatin1Char('\n'));
    EXPECT_TRUE(lines.contains(QStringLiteral("Sitemap: no file written to %1: every page was left out "
                                              "(1 page whose canonical URL is another page)")
                                   .arg(QDir::toNativeSeparators(path))))
        << qPrintable(printed);
}
