// The links of a Process copy: replaced only where they stand as values, read with their
// character references, relative inside the site's folder, and written in one pass however many
// a page holds; a redirect to a page stored under another address, a charset only the scanner
// names, and a body the fetch did not read whole.
#include "ArchiveExportTestSupport.h"
#include "engine/CrawlSettingKeys.h"

#include "archive/detail/PageRewriter.h"
#include "engine/CrwlStatusCodes.h"
#include "support/Compression.h"

#include <QElapsedTimer>

using namespace crawlmere::test::archiveexport;

namespace {

TEST(PageRewriter, ALinkIsReplacedOnlyWhereItStandsAsAValue)
{
    const QHash<QString, QString> links { { "/", "index.html" }, { "b.html?x=1&y=2", "b.html.x=1&y=2.html" },
        { "/q?a=1", "q.a=1.html" }, { QString::fromUtf8("caf\xC3\xA9.html"), "caf%C3%A9.html" }, { "/a.png", "a.png" },
        { "/b.png", "img/b.png" }, { "it's.html", "it's.html" } };
    const auto replacement = [&](const QString& value) { return links.value(value); };
    const struct {
        const char* page;
        const char* expected;
    } cases[] = {
        // Self-closing tags keep their "/>" however often "/" is a link of the page.
        { "<a href=\"/\"><img src=\"/a.png\" alt=\"Logo\"/></a><meta charset=\"utf-8\" /><circle r=\"4\" />",
            "<a href=\"index.html\"><img src=\"a.png\" alt=\"Logo\"/></a><meta charset=\"utf-8\" /><circle r=\"4\" "
            "/>" },
        { "<A HREF=/>home</A> <a href=/q?a=1>q</a>", "<A HREF=index.html>home</A> <a href=\"q.a=1.html\">q</a>" },
        // Character references are read as a browser reads them; "&" is written as one.
        { "<a href=\"b.html?x=1&#038;y=2\">1</a><a href='b.html?x=1&#38;y=2'>2</a><a href=\"b.html?x=1&AMP;y=2\">3</a>",
            "<a href=\"b.html.x=1&amp;y=2.html\">1</a><a href='b.html.x=1&amp;y=2.html'>2</a>"
            "<a href=\"b.html.x=1&amp;y=2.html\">3</a>" },
        { "<a href=\"caf&eacute;.html\">e</a> <a href=\"caf&#233;.html\">e</a> <a href='it&#39;s.html'>i</a>",
            "<a href=\"caf%C3%A9.html\">e</a> <a href=\"caf%C3%A9.html\">e</a> <a href='it&#39;s.html'>i</a>" },
        // Lists, refreshes and style attributes: each address in its place.
        { "<img srcset=\"/a.png 1x,/b.png 2x, /c.png\" style=\"background:url( '/b.png' )\">",
            "<img srcset=\"a.png 1x,img/b.png 2x, /c.png\" style=\"background:url( 'img/b.png' )\">" },
        { "<meta http-equiv=\"refresh\" content=\"0; URL='/'\">",
            "<meta http-equiv=\"refresh\" content=\"0; URL='index.html'\">" },
        // Text, comments, scripts and attributes that hold no address stay as they are.
        { "<p>/ a.png</p><!-- <a href=\"/\"> --><script>if (a<b) s = \"<a href='/'>\";</script><div class=\"/\" "
          "title=/>",
            "<p>/ a.png</p><!-- <a href=\"/\"> --><script>if (a<b) s = \"<a href='/'>\";</script><div class=\"/\" "
            "title=/>" },
        { "<a href=\"/\" title='/'>unclosed <a href=\"/", "<a href=\"index.html\" title='/'>unclosed <a href=\"/" },
        // A base element goes whole, in any case and spacing; "< base" is text.
        { "<head><base href=\"/x/\"><title>t</title>", "<head><title>t</title>" },
        { "<HEAD><BASE HREF=\"http://h.test/\"  TARGET=_blank ><A HREF=/>h</A>",
            "<HEAD><A HREF=index.html>h</A>" },
        { "<Base\nhref='//h.test/'/>a < base href=x> b<base href=x>", "a < base href=x> b" },
        // A source on the page's scheme left to the web gets "https:", in a tag only.
        { "<img src=\"//cdn.test/a.png\"><img src=//cdn.test/b.png><script>s = 'src=\"//x';</script>src=\"//y",
            "<img src=\"https://cdn.test/a.png\"><img src=https://cdn.test/b.png><script>s = 'src=\"//x';</script>"
            "src=\"//y" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(crawlmere::archive::detail::rewritePageLinks(QString::fromUtf8(c.page), replacement).toStdString(),
            c.expected);
}

TEST_F(ArchiveExportTest, APageOfSelfClosingTagsAndReferencesBrowsesFromDiscUnderAnyFolderName)
{
    const QByteArray home(
        "<!DOCTYPE html><html><head><meta charset=\"utf-8\" /><link rel=\"stylesheet\" href=\"/s.css\" />"
        "</head><body><a href=\"/\"><img src=\"/logo.png\" alt=\"Logo\"/></a>\n"
        "<svg width=\"9\" height=\"9\"><circle cx=\"4\" cy=\"4\" r=\"4\" /></svg><p>drawn</p>\n"
        "<a href=\"b.html?x=1&#038;y=2\">b</a> <a href=\"b.html?x=1&AMP;y=2\">b</a> "
        "<a href=\"sub/pag&#101;.html\">page</a> <a href=sub/>sub</a></body></html>");
    const std::map<std::string, std::pair<QByteArray, std::string>> site {
        { "/", { home, "text/html" } },
        { "/b.html",
            { "<html><body><a href=\"/\">Home</a><br/><a href=\"sub/page.html\">P</a></body></html>", "text/html" } },
        { "/sub/",
            { "<html><body><a href=\"../\">Up</a><br /><a href=\"page.html\">P</a></body></html>", "text/html" } },
        { "/sub/page.html",
            { "<html><body><a href=/>Home</a> <a href=\"../b.html?x=1&amp;y=2\">B</a><hr/></body></html>",
                "text/html" } },
        { "/s.css", { "body { background: url(/logo.png) }", "text/css" } },
        { "/logo.png", { QByteArray("\x89PNG\r\n\x1a\n\x00\x01", 10), "image/png" } },
    };
    LoopbackServer server;
    serveSite(server, site);
    ASSERT_TRUE(server.start());
    const QVariantMap settings
        = archiveSiteThenStop(server, { { crawlKey::shouldArchive, true }, { crawlKey::linkedFiles, true } });

    const auto processed = ArchiveExport(requestFor(settings, /*process=*/true)).exportFilesForDate();
    ASSERT_EQ(processed.outcome, ArchiveExport::Outcome::Finished);
    const QString root = processed.outputFolder;
    const QString port = QStringLiteral("127.0.0.1_%1").arg(server.port());
    const QStringList files = filesBelow(root);
    ASSERT_EQ(files.size(), 6) << files.join(u' ').toStdString();
    // Each self-closing tag keeps its "/>" (the unquoted "/" values of "href=sub/>" and "href=/>" are
    // links, and change).
    const std::map<QString, qsizetype> selfClosing { { "index.html", 4 }, { "b.html.x=1&y=2.html", 1 },
        { "sub/index.html", 1 }, { "sub/page.html", 1 } };
    for (const auto& [file, count] : selfClosing) {
        const QByteArray page = bytesOf(root + u'/' + port + u'/' + file);
        EXPECT_EQ(page.count("/>"), count) << page.toStdString();
    }
    EXPECT_TRUE(bytesOf(root + u'/' + port + "/index.html")
                    .contains("<a href=\"index.html\"><img src=\"logo.png\" alt=\"Logo\"/>"));
    EXPECT_EQ(bytesOf(root + u'/' + port + "/sub/page.html").toStdString(),
        "<html><body><a href=../index.html>Home</a> <a href=\"../b.html.x=1&amp;y=2.html\">B</a><hr/></body></html>");
    // Every link leads to a file of the copy, and still does with the site's folder renamed.
    for (const QString& folder : { port, QStringLiteral("renamed") }) {
        if (folder != port) {
            ASSERT_TRUE(QDir(root).rename(port, folder));
        }
        for (const QString& file : filesBelow(root))
            EXPECT_EQ(danglingReferences(root, root + u'/' + file, /*webLeaves=*/true).join(u'\n').toStdString(), "");
        auto local = crawlmere::test::scanSite("file://" + root + u'/' + folder + "/index.html",
            { { crawlKey::linkedFiles, true }, { crawlKey::shouldParseCSS, true }, { crawlKey::checkImages, true } });
        EXPECT_EQ(local->checkedLinkCount(), 6);
        EXPECT_EQ(local->badLinkCount(), 0) << folder.toStdString();
        local->clear();
    }
}

TEST_F(ArchiveExportTest, AnUpperCaseBaseElementIsTakenOutSoTheCopyLoadsItsOwnFiles)
{
    LoopbackServer server;
    server.server().Get("/", [&server](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html><head><BASE  HREF=\"" + server.url().toStdString()
                + "\" ></head><body><a href=\"b.html\">b</a><img src=\"logo.png\"></body></html>",
            "text/html");
    });
    serveSite(server,
        { { "/b.html", { "<html><body><a href=\"/\">home</a></body></html>", "text/html" } },
            { "/logo.png", { QByteArray("\x89PNG\r\n\x1a\n\x00\x01", 10), "image/png" } } });
    ASSERT_TRUE(server.start());
    const QVariantMap settings
        = archiveSiteThenStop(server, { { crawlKey::shouldArchive, true }, { crawlKey::checkImages, true } });
    const auto processed = ArchiveExport(requestFor(settings, /*process=*/true)).exportFilesForDate();
    ASSERT_EQ(processed.outcome, ArchiveExport::Outcome::Finished);

    // Checked as it is used: the site gone, the copy's folder renamed.
    const QString root = processed.outputFolder;
    ASSERT_TRUE(QDir(root).rename(QStringLiteral("127.0.0.1_%1").arg(server.port()), QStringLiteral("renamed")));
    EXPECT_FALSE(bytesOf(root + "/renamed/index.html").toLower().contains("<base"));
    auto local = crawlmere::test::scanSite("file://" + root + "/renamed/index.html", { { crawlKey::checkImages, true } });
    EXPECT_EQ(local->checkedLinkCount(), 3);
    EXPECT_EQ(local->badLinkCount(), 0);
    local->clear();
}

TEST_F(ArchiveExportTest, APageOfThirtyThousandLinksExportsWithinSeconds)
{
    // Each link distinct, the archived ones among them written as "&amp;": one pass over the page
    // rewrites them all, each to its file or to its whole address.
    constexpr int links = 30000;
    QByteArray page("<html><body>\n");
    page.reserve(links * 48);
    for (int i = 0; i < links; ++i)
        page += QStringLiteral("<a href=\"p%1.html?a=1&amp;b=%2\">%1</a><br/>\n").arg(i).arg(i % 7).toUtf8();
    page += "</body></html>";
    archive("http://h.test:8080/index.html", page);
    for (int i = 0; i < 7; ++i)
        archive(QStringLiteral("http://h.test:8080/p%1.html?a=1&b=%1").arg(i), "<html>p</html>");
    ASSERT_TRUE(writer->saveArchive());
    QElapsedTimer clock;
    clock.start();
    const auto processed = ArchiveExport(requestFor({}, /*process=*/true)).exportFilesForDate();
    EXPECT_LT(clock.elapsed(), 8000);
    const QByteArray written = bytesOf(processed.outputFolder + "/h.test_8080/index.html");
    EXPECT_EQ(written.count("<br/>"), links);
    EXPECT_EQ(written.count("href=\"http://h.test:8080/p"), links - 7);
    for (int i = 0; i < 7; ++i)
        EXPECT_TRUE(written.contains(QStringLiteral("href=\"p%1.html.a=1&amp;b=%1.html\"").arg(i).toUtf8())) << i;
}

TEST_F(ArchiveExportTest, ARedirectToAnAddressWhoseBytesAnotherFileHoldsLeadsToThatFile)
{
    // "/" and "/index.html" are one page, written once as index.html; "/old" moved to the second.
    const QByteArray home("<html><a href=\"/old\">old</a> <a href=\"z.html\">z</a></html>");
    archive("http://h.test:8080/", home);
    archive("http://h.test:8080/index.html", home);
    archive("http://h.test:8080/z.html", "<html><a href=\"/old#top\">old</a> <a href=\"/index.html\">home</a></html>");
    auto moved = CrwlUrl::make(nullptr, std::make_shared<CrawlSettings>());
    moved->setLinkURL("http://h.test:8080/old");
    moved->addRedir("http://h.test:8080/index.html", 301, 0);
    writer->archiveRedirect(*moved);
    ASSERT_TRUE(writer->saveArchive());
    const auto processed = ArchiveExport(requestFor({}, /*process=*/true)).exportFilesForDate();
    const QString root = processed.outputFolder + "/h.test_8080/";
    EXPECT_EQ(filesBelow(root), (QStringList { "index.html", "z.html" }));
    EXPECT_EQ(bytesOf(root + "index.html"), "<html><a href=\"index.html\">old</a> <a href=\"z.html\">z</a></html>");
    EXPECT_EQ(
        bytesOf(root + "z.html"), "<html><a href=\"index.html#top\">old</a> <a href=\"index.html\">home</a></html>");
}

TEST_F(ArchiveExportTest, APageInACharsetOnlyTheScannerNamesIsRewrittenInIt)
{
    // ISO 8859-15 writes the euro sign as 0xA4, which is no UTF-8.
    const QByteArray page(
        "<html><head><meta charset=\"iso-8859-15\"></head><body>5 \xA4 <a href=\"/z.html\">z</a></body></html>");
    archive("http://h.test:8080/euro.html", page);
    archive("http://h.test:8080/z.html", "<html>z</html>");
    ASSERT_TRUE(writer->saveArchive());
    const auto processed = ArchiveExport(requestFor({}, /*process=*/true)).exportFilesForDate();
    EXPECT_EQ(
        bytesOf(processed.outputFolder + "/h.test_8080/euro.html"), QByteArray(page).replace("/z.html", "z.html"));
}

TEST_F(ArchiveExportTest, ABodyNotReadWholeIsNotArchivedAndTheExportNamesIt)
{
    // Over the cap as sent, as gzip and as zstd.
    LoopbackServer server;
    const auto serve = [&](const std::string& path, const QByteArray& body, const char* encoding) {
        server.server().Get(
            path, [body = body.toStdString(), encoding](const httplib::Request&, httplib::Response& response) {
                if (encoding)
                    response.set_header("Content-Encoding", encoding);
                response.set_content(body, "text/html");
            });
    };
    serve("/", "<html><a href=\"big.html\">1</a> <a href=\"gzip.html\">2</a> <a href=\"zstd.html\">3</a></html>",
        nullptr);
    serve("/big.html", QByteArray(5000, 'x'), nullptr);
    serve("/gzip.html", crawlmere::test::qCompressGzip(QByteArray(5000, 'x')), "gzip");
    serve("/zstd.html", crawlmere::test::zstdRepeating('x', 5000), "zstd");
    ASSERT_TRUE(server.start());
    CrwlUrl::setMaxBodyBytes(1000);
    auto hub = crawlmere::test::scanSite(server.url(), { { crawlKey::shouldArchive, true } }, writer);
    CrwlUrl::setMaxBodyBytes(0);
    ASSERT_TRUE(hub->crawlFinished());
    QStringList over;
    for (const auto& item : hub->linksCollection()) {
        const auto record = std::dynamic_pointer_cast<CrwlUrl>(item);
        if (record && record->getStatus() == CrwlStatus::completedWithError
            && record->descriptionForStatusCode(record->getStatus())
                == "The body is larger than 1000 bytes; it was not read.")
            over << record->absoluteString().section(u'/', -1);
    }
    over.sort();
    EXPECT_EQ(over, (QStringList { "big.html", "gzip.html", "zstd.html" }));
    const QVariantMap settings = hub->getCrawlSettings()->snapshot();
    hub->setArchiveSink(nullptr);
    hub->clear();
    server.stop();

    for (const bool process : { true, false }) {
        const auto exported = ArchiveExport(requestFor(settings, process)).exportFilesForDate();
        EXPECT_EQ(filesBelow(exported.outputFolder),
            QStringList { QStringLiteral("127.0.0.1_%1/index.html").arg(server.port()) });
        ASSERT_EQ(exported.skipped.size(), 1);
        EXPECT_EQ(exported.skipped.first().reason, "its body is larger than 1000 bytes and was not read whole");
        EXPECT_EQ(exported.skipped.first().count, 3);
    }
    // A body cut off by the connection is left out too.
    auto cut = CrwlUrl::make(nullptr, std::make_shared<CrawlSettings>());
    cut->setLinkURL("http://h.test:8080/cut.html");
    cut->setData("<html><body>half");
    cut->setBodyRead(CrwlUrl::BodyRead::CutOff);
    writer->archivePage(*cut);
    ASSERT_TRUE(writer->saveArchive());
    const auto preserved = ArchiveExport(requestFor({}, /*process=*/false)).exportFilesForDate();
    ASSERT_EQ(preserved.skipped.size(), 2);
    EXPECT_EQ(preserved.skipped.last().reason, "its body was cut off before its end");
    EXPECT_EQ(preserved.skipped.last().first, QStringList { "http://h.test:8080/cut.html" });
}

} // namespace
