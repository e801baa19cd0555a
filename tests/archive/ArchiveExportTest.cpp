// The archive export: a loopback site scanned with archiving, read back byte for byte and
// exported in both modes; the Process copy walked link by link and scanned again from disc with its
// site stopped: redirects, spellings, encodings, names taken twice; and the small text operations.
#include "ArchiveExportTestSupport.h"
#include "archive/detail/ExportNames.h"
#include "engine/CrawlSettingKeys.h"

using namespace crawlmere::test::archiveexport;

namespace {

TEST(ArchiveExportText, SmallOperations)
{
    EXPECT_EQ(ArchiveExport::stripDomainFrom("http://h.test/a/b?x=1#f", true, "index.html"), "/a/b?x=1#f");
    EXPECT_EQ(ArchiveExport::stripDomainFrom("http://h.test:8080/a", true, "index.html"), ":8080/a");
    EXPECT_EQ(ArchiveExport::stripDomainFrom("http://h.test", true, "index.html"), "index.html");
    EXPECT_EQ(ArchiveExport::stripDomainFrom("http://h.test", false, "index.html"), "");
    EXPECT_EQ(ArchiveExport::stripDomainFrom("file:///tmp/x", true, "index.html"), std::nullopt);
    EXPECT_EQ(ArchiveExport::getNumberOfDirectoriesIn("a/b/c.html"), 2);
    EXPECT_EQ(ArchiveExport::getNumberOfDirectoriesIn("c.html"), 0);
    EXPECT_EQ(ArchiveExport::getNumberOfDirectoriesIn("a//c.html"), 1);
    EXPECT_EQ(ArchiveExport::filenameFromURL("https://www.h.test:81/a/"), "wwwhtest81a");
    EXPECT_EQ(ArchiveExport::outputFolderName("http://h.test/", QDateTime(QDate(2026, 5, 6), QTime(17, 8, 9))),
        "htest-20260506170809");

    // A long starting URL with controls and characters of four UTF-8 bytes still names a folder.
    const QString longUrl = QStringLiteral("https://h.test/") + QString::fromUtf8("\t\x01a\xF0\x9F\x98\x80").repeated(400);
    const QString name = ArchiveExport::outputFolderName(longUrl, QDateTime(QDate(2026, 5, 6), QTime(17, 8, 9)));
    EXPECT_LE(name.toUtf8().size(), 255);
    EXPECT_EQ(QString::fromUtf8(name.toUtf8()), name) << "no half character left";
    QTemporaryDir parent;
    EXPECT_TRUE(QDir(parent.path()).mkdir(name));
}

TEST(ArchiveExportNames, AFreeNameIsTheFirstSuffixNoFileOrFolderHoldsEvenAsTheCopyGrows)
{
    using crawlmere::archive::detail::FreeNames;
    QHash<QString, QString> files { { "a/index.html", "" }, { "a/index-2.html", "" }, { "a/index-4.html", "" } };
    const QSet<QString> folders { "a/index-3.html" };
    FreeNames names;
    QStringList given;
    for (int i = 0; i < 3; ++i) {
        given.append(names.freeName({ "a", "index.html" }, files, folders));
        files.insert("a/" + given.last(), "");
    }
    // A name of the list taken meanwhile by another file is passed over.
    files.insert("a/index-8.html", "");
    for (int i = 0; i < 2; ++i) {
        given.append(names.freeName({ "a", "index.html" }, files, folders));
        files.insert("a/" + given.last(), "");
    }
    given.append(names.freeName({ "index.html" }, files, folders)); // another folder: its own count
    EXPECT_EQ(given,
        (QStringList {
            "index-5.html", "index-6.html", "index-7.html", "index-9.html", "index-10.html", "index-2.html" }));

    // Names cut to one name get the suffixes in order, each cut to fit and cut between whole
    // characters.
    for (const QString& letter : { QStringLiteral("n"), QString::fromUtf8("\xC3\xA9") }) {
        const QString cut = crawlmere::archive::detail::fittedName(letter.repeated(300), ".html");
        QHash<QString, QString> taken { { cut, "" } };
        FreeNames clashes;
        for (int n = 2; n <= 12; ++n) {
            const QString name = clashes.freeName({ cut }, taken, {});
            const QString suffix = QStringLiteral("-%1.html").arg(n);
            EXPECT_EQ(name, letter.repeated((255 - suffix.size()) / letter.toUtf8().size()) + suffix);
            EXPECT_EQ(QString::fromUtf8(name.toUtf8()), name);
            taken.insert(name, "");
        }
    }
}

TEST_F(ArchiveExportTest, ALoopbackSiteIsArchivedExactlyAndItsProcessCopyBrowsesOnItsOwn)
{
    const QByteArray png("\x89PNG\r\n\x1a\n\x00\xff binary", 18);
    std::map<std::string, std::pair<QByteArray, std::string>> site {
        { "/", { "<html><head><title>Home</title><link rel=\"stylesheet\" href=\"/css/site.css\"></head><body>\n"
                 "<a href=\"about/\">About</a> <a href=\"/about\">About again</a>\n"
                 "<a href=\"a/b.php?x=1\">Query</a> <a href=\"docs/deep/page.html#part\">Deep</a>\n"
                 "<a href=\"#top\">Top</a> <img src=\"img/logo.png\" alt=\"logo\">\n"
                 "<p> about/ </p></body></html>\n",
                   "text/html" } },
        { "/about/", { "<html><body><a href=\"../\">Home</a> <a href='/docs/deep/page.html'>Deep</a></body></html>",
                         "text/html" } },
        { "/a/b.php", { "<html><body><a href=\"/\">Home</a> <a href=\"../about/#team\">Team</a></body></html>",
                          "text/html" } },
        { "/docs/deep/page.html",
            { "<html><body><a href=\"../../about/\">About</a><img src=\"../../img/logo.png\">\n"
              "<a href=\"/\">Home</a> <p>text</p> <a href=\"/\">Home again</a></body></html>",
                "text/html" } },
        { "/css/site.css", { "body{background:url('../img/bg.png')} h1{background:URL( \"/img/logo.png\" )}", "text/css" } },
        { "/img/logo.png", { png, "image/png" } },
        { "/img/bg.png", { png + "bg", "image/png" } },
    };
    LoopbackServer server;
    for (const auto& [path, page] : site) {
        const auto& [body, type] = page;
        server.server().Get(path, [body = body.toStdString(), type = type](const httplib::Request&, httplib::Response& response) {
            response.set_content(body, type);
        });
    }
    ASSERT_TRUE(server.start());
    const QVariantMap crawlSettings { { crawlKey::shouldArchive, true }, { crawlKey::linkedFiles, true },
        { crawlKey::shouldParseCSS, true } };
    auto hub = crawlmere::test::scanSite(server.url(), crawlSettings, writer);
    ASSERT_TRUE(hub->crawlFinished());

    // Read back: every page of the site, byte for byte.
    auto wrapper = CrawlmereArchiveWrapper::initWithArchiveLocation(writer->archiveLocation(), QString());
    ASSERT_TRUE(wrapper);
    for (const auto& [path, page] : site) {
        const QString url = server.url(QString::fromStdString(path)) + (path == "/a/b.php" ? "?x=1" : "");
        EXPECT_EQ(wrapper->dataRepresentationOfMostRecentVersionForURL(url), page.first) << url.toStdString();
    }
    const QVariantMap settings = hub->getCrawlSettings()->snapshot();
    hub->setArchiveSink(nullptr); // the archive stays for the export
    hub->clear();
    server.stop(); // the copy is checked as it is used: with the site gone

    const auto processed = ArchiveExport(requestFor(settings, /*process=*/true)).exportFilesForDate();
    ASSERT_EQ(processed.outcome, ArchiveExport::Outcome::Finished);
    const QString root = processed.outputFolder;
    const QString port = QStringLiteral("127.0.0.1_%1/").arg(server.port());
    const QStringList files = filesBelow(root);
    for (const char* expected : { "index.html", "about/index.html", "a/b.php.x=1.html", "docs/deep/page.html",
             "css/site.css", "img/logo.png", "img/bg.png" })
        EXPECT_TRUE(files.contains(port + QString::fromUtf8(expected))) << expected << " in " << files.join(u' ').toStdString();
    EXPECT_EQ(processed.filesWritten, files.size());
    for (const QString& file : files)
        EXPECT_EQ(danglingReferences(root, root + u'/' + file), QStringList()) << file.toStdString();
    const QString home = QString::fromUtf8(bytesOf((root + u'/' + port + "index.html")));
    // Links hold inside the port's folder: they never name it.
    EXPECT_TRUE(home.contains("href=\"docs/deep/page.html#part\"")) << home.toStdString();
    EXPECT_TRUE(home.contains("href=\"about/index.html\">About again")) << home.toStdString();
    EXPECT_TRUE(home.contains("<p> about/ </p>")); // text between tags stays
    const QString deep = QString::fromUtf8(bytesOf(root + u'/' + port + "docs/deep/page.html"));
    EXPECT_EQ(deep.count("href=\"../../index.html\""), 2) << deep.toStdString();
    EXPECT_EQ(bytesOf((root + u'/' + port + "img/logo.png")), png);
    EXPECT_TRUE(bytesOf((root + u'/' + port + "css/site.css")).contains("url('../img/bg.png')"));
    EXPECT_TRUE(bytesOf((root + u'/' + port + "a/b.php.x=1.html")).contains("href=\"../about/index.html#team\""));

    // The copy scanned from disc finds every link.
    auto local = crawlmere::test::scanSite(QStringLiteral("file://") + (root + u'/' + port + "index.html"), {});
    EXPECT_TRUE(local->crawlFinished());
    EXPECT_GE(local->checkedLinkCount(), 5); // the pages and the image
    EXPECT_EQ(local->badLinkCount(), 0);
    local->clear();

    // Preserve keeps the names as received, "?" included.
    const auto preserved = ArchiveExport(requestFor(settings, /*process=*/false)).exportFilesForDate();
    ASSERT_EQ(preserved.outcome, ArchiveExport::Outcome::Finished);
    EXPECT_NE(preserved.outputFolder, root); // a second export never writes into the first
    EXPECT_EQ(bytesOf((preserved.outputFolder + u'/' + port + "a/b.php?x=1")), site["/a/b.php"].first);
    EXPECT_EQ(bytesOf((preserved.outputFolder + u'/' + port + "index.html")), site["/"].first);
}

/// The links a scan of an exported copy found bad, and the links it found that still go to the
/// live site, by address.
struct Rescan {
    QStringList checked;
    QStringList bad;
    QStringList live;
};

Rescan rescan(const QString& page, const QString& liveRoot, bool withFiles)
{
    auto local = crawlmere::test::scanSite(QStringLiteral("file://") + page,
        { { crawlKey::linkedFiles, withFiles }, { crawlKey::shouldParseCSS, withFiles },
            { crawlKey::checkImages, withFiles } });
    Rescan found;
    EXPECT_TRUE(local->crawlFinished());
    for (const auto& item : local->linksCollection()) {
        const auto record = std::dynamic_pointer_cast<CrwlUrl>(item);
        if (!record)
            continue;
        found.checked << record->absoluteString() + u' ' + QString::number(record->getStatus());
        if (!record->isGoodLink())
            found.bad << QStringLiteral("%1 %2").arg(record->absoluteString()).arg(record->getStatus());
        if (record->absoluteString().startsWith(liveRoot, Qt::CaseInsensitive))
            found.live << record->absoluteString().mid(liveRoot.size());
    }
    local->clear();
    found.bad.sort();
    found.live.sort();
    return found;
}

TEST_F(ArchiveExportTest, ASiteOfRedirectsMixedSpellingsEncodingsAndQueriesBrowsesFromDisc)
{
    // A documentation site as it is met: a page moved behind a chain of redirects, links to one
    // page spelled with scheme in two cases, a page in windows-1252, a page of one byte and a
    // style sheet whose address carries a version query.
    LoopbackServer server;
    const auto serve = [&](const std::string& path, const QByteArray& body, const std::string& type) {
        server.server().Get(path, [body = body.toStdString(), type](const httplib::Request&, httplib::Response& response) {
            response.set_content(body, type);
        });
    };
    const auto redirect = [&](const std::string& path, const std::string& to, int status) {
        server.server().Get(path, [to, status](const httplib::Request&, httplib::Response& response) {
            response.status = status;
            response.set_header("Location", to);
        });
    };
    ASSERT_TRUE(server.start());
    const QString root = server.url(QString());
    const QString upper = QString(root).replace("http://", "HTTP://");
    const char* sheet = "<link rel=\"stylesheet\" href=\"%1_static/theme.css?2022.1\">";
    serve("/", ("<html><head><title>Home</title>" + QString(sheet).arg("") + "</head><body>\n"
                "<a href=\"tutorial/appetite.html\">Next</a> <a href=\"" + upper + "/z.html\">Z</a>\n"
                "<a href=\"latin.html\">Latin</a> <a href=\"tiny.html\">Tiny</a></body></html>\n").toUtf8(),
        "text/html; charset=utf-8");
    serve("/tutorial/contents.html", ("<html><head>" + QString(sheet).arg("../") + "</head><body>\n"
                "<a href=\"appetite.html\">Whetting</a> <a href=\"whetting-your-appetite.html#top\">Again</a>\n"
                "<a href=\"" + root + "/z.html\">Z</a></body></html>\n").toUtf8(), "text/html");
    serve("/tutorial/whetting-your-appetite.html", ("<html><head>" + QString(sheet).arg("/") + "</head><body>\n"
                "<h1 id=\"top\">Whetting</h1> <a href=\"contents.html\">Contents</a>\n"
                "<a href=\"" + upper + "/tutorial/appetite.html\">Here</a></body></html>\n").toUtf8(), "text/html");
    serve("/z.html", ("<html><body><a href=\"" + upper + "/tutorial/contents.html\">Contents</a>"
                "<a href=\"" + root + "/latin.html\">Latin</a></body></html>").toUtf8(), "text/html");
    serve("/latin.html", "<html><head><meta charset=\"windows-1252\">"
                "<link rel=\"stylesheet\" href=\"_static/theme.css?2022.1\"></head><body>caf\xE9 cr\xE8me "
                "<a href=\"tutorial/appetite.html\">Tutorial</a> <a href=\"z.html\">Z</a></body></html>", "text/html");
    serve("/tiny.html", "x", "text/html");
    serve("/_static/theme.css", "body { background: #fed url(\"bg.png\") } h1 { color: #c00 }", "text/css");
    serve("/_static/bg.png", QByteArray("\x89PNG\r\n\x1a\n\x00\x01", 10), "image/png");
    redirect("/tutorial/appetite.html", "/tutorial/appetite2.html", 301);
    redirect("/tutorial/appetite2.html", "appetite3", 302);
    redirect("/tutorial/appetite3", (root + "/tutorial/whetting-your-appetite.html").toStdString(), 301);

    const QVariantMap crawlSettings { { crawlKey::shouldArchive, true }, { crawlKey::linkedFiles, true },
        { crawlKey::shouldParseCSS, true } };
    auto hub = crawlmere::test::scanSite(server.url(), crawlSettings, writer);
    ASSERT_TRUE(hub->crawlFinished());
    EXPECT_EQ(hub->badLinkCount(), 0);
    const QVariantMap settings = hub->getCrawlSettings()->snapshot();
    hub->setArchiveSink(nullptr);
    hub->clear();
    server.stop(); // the copy is checked as it is used: with the site gone

    const QString port = QStringLiteral("127.0.0.1_%1/").arg(server.port());
    const auto processed = ArchiveExport(requestFor(settings, /*process=*/true)).exportFilesForDate();
    ASSERT_EQ(processed.outcome, ArchiveExport::Outcome::Finished);
    const QStringList files = filesBelow(processed.outputFolder);
    EXPECT_TRUE(files.contains(port + "_static/theme.css.2022.1.css")) << files.join(u' ').toStdString();
    EXPECT_EQ(bytesOf(processed.outputFolder + u'/' + port + "latin.html").count("caf\xE9 cr\xE8me"), 1);
    for (const QString& file : files)
        EXPECT_EQ(danglingReferences(processed.outputFolder, processed.outputFolder + u'/' + file).join(u'\n').toStdString(), "");
    // Every page of the copy is reached from disc, and only the page the archive has no copy of
    // (one byte) is still taken from the site, gone now.
    const Rescan fromProcess = rescan(processed.outputFolder + u'/' + port + "index.html", root, /*withFiles=*/true);
    EXPECT_EQ(fromProcess.checked.size(), 8) << fromProcess.checked.join(u'\n').toStdString();
    EXPECT_EQ(fromProcess.bad.size(), 1) << fromProcess.bad.join(u'\n').toStdString();
    EXPECT_TRUE(fromProcess.bad.value(0).startsWith(root + "/tiny.html ")) << fromProcess.bad.join(u'\n').toStdString();
    EXPECT_EQ(fromProcess.live.join(u'\n').toStdString(), "/tiny.html");

    // Preserve writes each file as received and rewrites nothing: a query stays in a file's name,
    // a link written with the site's whole address still leads there, gone now, and a page
    // without a copy stays away, so its copy is browsed by the tutorial's pages. There the moved
    // page's old address leads to the page.
    const auto preserved = ArchiveExport(requestFor(settings, /*process=*/false)).exportFilesForDate();
    ASSERT_EQ(preserved.outcome, ArchiveExport::Outcome::Finished);
    const QString tutorial = preserved.outputFolder + u'/' + port + "tutorial/";
    const Rescan fromPreserve = rescan(tutorial + "contents.html", root, /*withFiles=*/false);
    EXPECT_EQ(fromPreserve.bad.join(u'\n'), root + "/tutorial/appetite.html -14\n" + root + "/z.html -14");
    EXPECT_TRUE(fromPreserve.checked.contains("file://" + tutorial + "appetite.html -15"))
        << fromPreserve.checked.join(u'\n').toStdString();
    EXPECT_TRUE(bytesOf(tutorial + "appetite.html").contains("url=whetting-your-appetite.html"));
}

TEST_F(ArchiveExportTest, ALinkToAnAddressThatRedirectsLeadsToThePageInBothModes)
{
    archive("http://h.test:8080/tutorial/whetting.html", "<html><a href=\"contents.html\">Contents</a></html>");
    archive("http://h.test:8080/tutorial/contents.html",
        "<html><a href=\"appetite.html#top\">Next</a> <a href=\"/tutorial/a2.html\">Two</a> <a href=\"/a3\">Three</a></html>");
    auto moved = CrwlUrl::make(nullptr, std::make_shared<CrawlSettings>());
    moved->setLinkURL("http://h.test:8080/tutorial/appetite.html");
    for (const char* hop : { "http://h.test:8080/tutorial/a2.html", "http://h.test:8080/a3", "http://h.test:8080/tutorial/whetting.html" })
        moved->addRedir(QString::fromUtf8(hop), 301, 0);
    writer->archiveRedirect(*moved);
    ASSERT_TRUE(writer->saveArchive());

    const auto processed = ArchiveExport(requestFor({}, /*process=*/true)).exportFilesForDate();
    EXPECT_EQ(filesBelow(processed.outputFolder),
        (QStringList { "h.test_8080/tutorial/contents.html", "h.test_8080/tutorial/whetting.html" }));
    EXPECT_EQ(bytesOf(processed.outputFolder + "/h.test_8080/tutorial/contents.html").toStdString(),
        "<html><a href=\"whetting.html#top\">Next</a> "
        "<a href=\"whetting.html\">Two</a> "
        "<a href=\"whetting.html\">Three</a></html>");

    // Preserve rewrites nothing: each address gets a page that leads on to the page's file.
    const auto preserved = ArchiveExport(requestFor({}, /*process=*/false)).exportFilesForDate();
    EXPECT_EQ(filesBelow(preserved.outputFolder),
        (QStringList { "h.test_8080/a3/index.html", "h.test_8080/tutorial/a2.html", "h.test_8080/tutorial/appetite.html",
            "h.test_8080/tutorial/contents.html", "h.test_8080/tutorial/whetting.html" }));
    EXPECT_EQ(preserved.filesWritten, 5);
    for (const auto& [file, target] : std::map<QString, QString> { { "tutorial/appetite.html", "whetting.html" },
             { "a3/index.html", "../tutorial/whetting.html" } })
        EXPECT_TRUE(bytesOf(preserved.outputFolder + "/h.test_8080/" + file)
                        .contains("<meta http-equiv=\"refresh\" content=\"0; url=" + target.toUtf8() + "\">"))
            << file.toStdString();
}

TEST_F(ArchiveExportTest, ProcessRewritesEachSpellingOfAnArchivedAddressAndNoOtherLink)
{
    archive("http://h.test:8080/x/y/page.html", "<html>page</html>");
    archive("http://h.test:8080/z.html", "<html>z</html>");
    archive("HTTP://H.Test:8080/Up.html", "<html>up</html>");
    archive("http://h.test:8080/p.php?a=1&b=2", "<html>p</html>");
    archive("http://h.test:8080/index.html",
        "<html><a href=\"http://h.test:8080/X/Y/page.html\">broken</a> <a href=\"HTTP://h.test:8080/X/Y/page.html\">broken</a> "
        "<a href=\"http://h.test:8080/x/y/page.html\">page</a>\n"
        "<a href=\"HTTP://H.TEST:8080/z.html\">z</a> <a href=\"z.html\">z</a> <a href=\"http://h.test:8080/Up.html\">up</a>\n"
        "<a href=\"HTTP://elsewhere.test/A.html\">away</a> <a href=\"mailto:a@h.test\">mail</a> <a href=\"p.php?a=1&amp;b=2\">p</a></html>");
    ASSERT_TRUE(writer->saveArchive());
    const auto processed = ArchiveExport(requestFor({}, /*process=*/true)).exportFilesForDate();
    EXPECT_EQ(filesBelow(processed.outputFolder), (QStringList { "h.test_8080/Up.html", "h.test_8080/index.html",
                                                      "h.test_8080/p.php.a=1&b=2.html", "h.test_8080/x/y/page.html",
                                                      "h.test_8080/z.html" }));
    EXPECT_EQ(bytesOf(processed.outputFolder + "/h.test_8080/index.html").toStdString(),
        "<html><a href=\"http://h.test:8080/X/Y/page.html\">broken</a> <a "
        "href=\"http://h.test:8080/X/Y/page.html\">broken</a> "
        "<a href=\"x/y/page.html\">page</a>\n"
        "<a href=\"z.html\">z</a> <a href=\"z.html\">z</a> "
        "<a href=\"Up.html\">up</a>\n"
        "<a href=\"http://elsewhere.test/A.html\">away</a> <a href=\"mailto:a@h.test\">mail</a> "
        "<a href=\"p.php.a=1&amp;b=2.html\">p</a></html>");
    const auto preserved = ArchiveExport(requestFor({}, /*process=*/false)).exportFilesForDate();
    EXPECT_TRUE(filesBelow(preserved.outputFolder).contains("h.test_8080/Up.html"));
}

TEST_F(ArchiveExportTest, APageInItsOwnEncodingIsRewrittenInItAndNoLinkLeadsToAFileNotWritten)
{
    const QByteArray latin("<html><head><meta charset=\"windows-1252\"></head><body>caf\xE9 cr\xE8me <a "
                           "href=\"/z.html\">z</a></body></html>");
    const QByteArray undecodable("<html><head><meta charset=\"utf-8\"></head><body>\xFF\xFE <a href=\"z.html\">z</a></body></html>");
    // A second mark would be lost in decoding: the page is not the same bytes once encoded again.
    const QByteArray twice = QByteArray("\xFF\xFE\xFF\xFE", 4) + QByteArray(reinterpret_cast<const char*>(u"<a href=\"z.html\">z</a>"), 46);
    archive("http://h.test:8080/latin.html", latin);
    archive("http://h.test:8080/undecodable.html", undecodable);
    archive("http://h.test:8080/twice.html", twice);
    archive("http://h.test:8080/tiny.html", "x"); // one byte: not archived
    archive("http://h.test:8080/lost.html", "<html>lost</html>");
    archive("http://h.test:8080/z.html", "<html><a href=\"latin.html\">l</a> <a href=\"undecodable.html\">u</a> "
                                         "<a href=\"tiny.html\">t</a> <a href=\"lost.html\">l</a></html>");
    ASSERT_TRUE(writer->saveArchive());
    auto wrapper = CrawlmereArchiveWrapper::initWithArchiveLocation(writer->archiveLocation(), QString());
    ASSERT_TRUE(QFile::remove(wrapper->fullFilepathRepresentationOfMostRecentVersionForURL("http://h.test:8080/lost.html")));

    const auto processed = ArchiveExport(requestFor({}, /*process=*/true)).exportFilesForDate();
    const QString root = processed.outputFolder + "/h.test_8080/";
    EXPECT_EQ(filesBelow(root), (QStringList { "latin.html", "twice.html", "undecodable.html", "z.html" }));
    EXPECT_EQ(bytesOf(root + "twice.html"), twice);
    EXPECT_EQ(bytesOf(root + "latin.html"), QByteArray(latin).replace("\"/z.html\"", "\"z.html\""));
    EXPECT_EQ(bytesOf(root + "undecodable.html"), undecodable);
    EXPECT_EQ(bytesOf(root + "z.html").toStdString(),
        "<html><a href=\"latin.html\">l</a> "
        "<a href=\"undecodable.html\">u</a> "
        "<a href=\"http://h.test:8080/tiny.html\">t</a> <a href=\"http://h.test:8080/lost.html\">l</a></html>");
}

TEST_F(ArchiveExportTest, AFileWhoseQueryHidesItsTypeGetsItsExtensionAndTheLinksSaySo)
{
    archive("http://h.test:8080/_static/theme.css?2022.1", "h1 { background: url(\"../img/i.png?1\") }", /*html=*/false);
    archive("http://h.test:8080/app.js?v=3", "var a = 1;", /*html=*/false);
    archive("http://h.test:8080/img/i.png?1", "PNG", /*html=*/false);
    archive("http://h.test:8080/img/plain.png", "PNG", /*html=*/false);
    archive("http://h.test:8080/index.html",
        "<html><link rel=\"stylesheet\" href=\"_static/theme.css?2022.1\"><script src=\"app.js?v=3\"></script>"
        "<img src=\"img/i.png?1\"><img src=\"img/plain.png\"></html>");
    ASSERT_TRUE(writer->saveArchive());
    const auto processed = ArchiveExport(requestFor({}, /*process=*/true)).exportFilesForDate();
    const QString root = processed.outputFolder + "/h.test_8080/";
    EXPECT_EQ(filesBelow(root), (QStringList { "_static/theme.css.2022.1.css", "app.js.v=3.js", "img/i.png.1.png",
                                    "img/plain.png", "index.html" }));
    EXPECT_EQ(bytesOf(root + "index.html").toStdString(),
        "<html><link rel=\"stylesheet\" href=\"_static/theme.css.2022.1.css\">"
        "<script src=\"app.js.v=3.js\"></script><img src=\"img/i.png.1.png\">"
        "<img src=\"img/plain.png\"></html>");
    EXPECT_EQ(
        bytesOf(root + "_static/theme.css.2022.1.css").toStdString(), "h1 { background: url('../img/i.png.1.png') }");
}

TEST_F(ArchiveExportTest, APageUnderTwoAddressesIsOneFileAndTwoPagesWantingOneNameGetTwo)
{
    // "/" and "/index.html" serve one page; "/about" and "/about/index.html" two pages that both
    // want about/index.html; "/x.html" is a page where "/x.html/y.html" needs a folder.
    const QByteArray home("<html><body><a href=\"index.html\">Home</a> <a href=\"/\">Home</a> <a href=\"about\">About</a>\n"
                          "<a href=\"about/index.html\">Team</a> <a href=\"x.html\">X</a> <a href=\"x.html/y.html\">Y</a></body></html>");
    const std::map<std::string, std::pair<QByteArray, std::string>> site {
        { "/", { home, "text/html" } },
        { "/index.html", { home, "text/html" } },
        { "/about", { "<html><body>about <a href=\"/index.html\">Home</a></body></html>", "text/html" } },
        { "/about/index.html", { "<html><body>team <a href=\"../index.html\">Home</a></body></html>", "text/html" } },
        { "/x.html", { "<html><body>x <a href=\"x.html/y.html\">Y</a></body></html>", "text/html" } },
        { "/x.html/y.html", { "<html><body>y <a href=\"../index.html\">Home</a></body></html>", "text/html" } },
    };
    LoopbackServer server;
    serveSite(server, site);
    ASSERT_TRUE(server.start());
    auto hub = crawlmere::test::scanSite(server.url(), { { crawlKey::shouldArchive, true } }, writer);
    ASSERT_TRUE(hub->crawlFinished());
    const QVariantMap settings = hub->getCrawlSettings()->snapshot();
    hub->setArchiveSink(nullptr);
    hub->clear();
    server.stop();

    const QString port = QStringLiteral("127.0.0.1_%1/").arg(server.port());
    const auto processed = ArchiveExport(requestFor(settings, /*process=*/true)).exportFilesForDate();
    ASSERT_EQ(processed.outcome, ArchiveExport::Outcome::Finished);
    const QString root = processed.outputFolder;
    const QStringList files = filesBelow(root);
    EXPECT_EQ(files, (QStringList { port + "about/index-2.html", port + "about/index.html", port + "index.html",
                         port + "x-2.html", port + "x.html/y.html" }));
    EXPECT_EQ(processed.itemsSkipped, 0) << crawlmere::archive::ArchiveExportController::finishedText(processed).toStdString();
    // Every link of every page leads to a file of the copy, and each to the page it named.
    for (const QString& file : files)
        EXPECT_EQ(danglingReferences(root, root + u'/' + file, /*webLeaves=*/true).join(u'\n').toStdString(), "");
    EXPECT_EQ(bytesOf(root + u'/' + port + "index.html").toStdString(),
        "<html><body><a href=\"index.html\">Home</a> <a href=\"index.html\">Home</a> <a "
        "href=\"about/index.html\">About</a>\n"
        "<a href=\"about/index-2.html\">Team</a> <a href=\"x-2.html\">X</a> <a "
        "href=\"x.html/y.html\">Y</a></body></html>");
    EXPECT_TRUE(bytesOf(root + u'/' + port + "about/index-2.html").contains("team"));
    EXPECT_TRUE(bytesOf(root + u'/' + port + "x-2.html").contains("x <a href=\"x.html/y.html\""));
    const Rescan offline = rescan(root + u'/' + port + "index.html", server.url(QString()), /*withFiles=*/false);
    EXPECT_EQ(offline.checked.size(), 5) << offline.checked.join(u'\n').toStdString();
    EXPECT_EQ(offline.bad.join(u'\n').toStdString(), "");

    // Preserve writes the one page once, and says why it leaves out the page that wants a folder
    // its own file holds.
    const auto preserved = ArchiveExport(requestFor(settings, /*process=*/false)).exportFilesForDate();
    EXPECT_EQ(bytesOf(preserved.outputFolder + u'/' + port + "index.html"), home);
    EXPECT_EQ(preserved.itemsSkipped, 2); // "/about/index.html" and "/x.html/y.html"
    EXPECT_TRUE(crawlmere::archive::ArchiveExportController::finishedText(preserved)
                    .contains("(1 because its file name holds another page: " + server.url("/about/index.html") + "; 1 because "
                        "a file stands where its folder belongs: " + server.url("/x.html/y.html") + ")"))
        << crawlmere::archive::ArchiveExportController::finishedText(preserved).toStdString();
}

TEST_F(ArchiveExportTest, PagesInEveryEncodingAreRewrittenInItAndASheetReadAsAsciiStaysSo)
{
    struct Page {
        const char* path;
        const char* charset; ///< as declared, and as the test decodes it
        QByteArray mark;
        QString sample;
    };
    const std::vector<Page> pages {
        { "/cyrillic.html", "windows-1251", {}, QString::fromUtf8("\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82") },
        { "/chinese.html", "gb18030", {}, QString::fromUtf8("\xE4\xB8\xAD\xE6\x96\x87 \xE2\x82\xAC \xF0\x90\x80\x80") },
        { "/mac.html", "macintosh", {}, QString::fromUtf8("caf\xC3\xA9 \xE2\x80\xA0") },
        { "/utf16.html", "utf-16le", QByteArray("\xFF\xFE", 2), QString::fromUtf8("\xCE\xBA\xCF\x8C\xCF\x83\xCE\xBC\xCE\xBF\xCF\x82") },
        { "/utf32.html", "utf-32le", QByteArray("\xFF\xFE\x00\x00", 4), QString::fromUtf8("\xF0\x9F\x98\x80 ok") },
    };
    const auto pageText = [](const Page& page, const QString& to, const QString& home) {
        const QString declared = page.mark.isEmpty() ? QString(page.charset) : QString(page.charset).left(6);
        return QStringLiteral("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=%1\">"
                              "<link rel=\"stylesheet\" href=\"%2s.css\"></head><body><p>%3</p> <a href=\"%2%4\">Home</a> "
                              "<a href=\"%2cyrillic.html\">Cyrillic</a></body></html>")
            .arg(declared, to, page.sample, home);
    };
    const auto encoded = [](const Page& page, const QString& text) {
        QStringEncoder encoder(page.charset);
        return page.mark + QByteArray(encoder.encode(text));
    };
    std::map<std::string, std::pair<QByteArray, std::string>> site {
        { "/s.css", { "@charset \"utf-16\"; body { background: url(\"/bg.png\") }", "text/css" } },
        { "/bg.png", { QByteArray("\x89PNG\r\n\x1a\n\x00\x01", 10), "image/png" } },
    };
    QString links;
    for (const Page& page : pages) {
        site[page.path] = { encoded(page, pageText(page, "/", "")), "text/html" };
        links += QStringLiteral("<a href=\"%1\">%1</a> ").arg(page.path);
    }
    site["/"] = { ("<html><body>" + links + "</body></html>").toUtf8(), "text/html" };
    LoopbackServer server;
    serveSite(server, site);
    ASSERT_TRUE(server.start());
    const QVariantMap settings = archiveSiteThenStop(server,
        { { crawlKey::shouldArchive, true }, { crawlKey::linkedFiles, true }, { crawlKey::shouldParseCSS, true } });

    const auto processed = ArchiveExport(requestFor(settings, /*process=*/true)).exportFilesForDate();
    ASSERT_EQ(processed.outcome, ArchiveExport::Outcome::Finished);
    const QString root = processed.outputFolder;
    const QString port = QStringLiteral("127.0.0.1_%1/").arg(server.port());
    EXPECT_EQ(filesBelow(root).size(), 8) << filesBelow(root).join(u' ').toStdString();
    for (const Page& page : pages) {
        SCOPED_TRACE(page.path);
        const QString file = root + u'/' + port + QString(page.path).mid(1);
        const QByteArray written = bytesOf(file);
        // The mark is kept and the page reads as it did, its links leading into the copy.
        EXPECT_TRUE(written.startsWith(page.mark));
        QStringDecoder decoder(page.charset);
        const QString text = decoder.decode(written.mid(page.mark.size()));
        EXPECT_FALSE(decoder.hasError());
        EXPECT_EQ(text.toStdString(), pageText(page, "", "index.html").toStdString());
        EXPECT_EQ(danglingReferences(root, file, /*webLeaves=*/true, text).join(u'\n').toStdString(), "");
    }
    // The sheet's bytes read as ASCII, as a browser reads them, and stay so.
    const QByteArray sheet = bytesOf(root + u'/' + port + "s.css");
    EXPECT_EQ(sheet.toStdString(), "@charset \"utf-16\"; body { background: url('bg.png') }");
    EXPECT_EQ(danglingReferences(root, root + u'/' + port + "s.css", /*webLeaves=*/true).join(u'\n').toStdString(), "");
}

TEST_F(ArchiveExportTest, APreserveRefreshPageLeadsToANameWithAColonAndThoseLeftOutAreNamed)
{
    archive("http://h.test:8080/x:y.html", "<html>x</html>");
    auto moved = CrwlUrl::make(nullptr, std::make_shared<CrawlSettings>());
    moved->setLinkURL("http://h.test:8080/r.html");
    const QString longName = "http://h.test:8080/" + QString(300, u'n') + ".html";
    for (const QString& hop : { longName, QStringLiteral("http://h.test:8080/a/../../b.html"), QStringLiteral("http://h.test:8080/x:y.html") })
        moved->addRedir(hop, 301, 0);
    writer->archiveRedirect(*moved);
    ASSERT_TRUE(writer->saveArchive());
    const auto preserved = ArchiveExport(requestFor({}, /*process=*/false)).exportFilesForDate();
    EXPECT_EQ(filesBelow(preserved.outputFolder), (QStringList { "h.test_8080/r.html", "h.test_8080/x:y.html" }));
    EXPECT_TRUE(bytesOf(preserved.outputFolder + "/h.test_8080/r.html").contains("content=\"0; url=./x:y.html\""));
    ASSERT_EQ(preserved.skipped.size(), 1);
    EXPECT_EQ(preserved.skipped.first().reason, "its redirect page's name cannot be a file of the export folder");
    EXPECT_EQ(preserved.skipped.first().count, 2);
    QStringList named = preserved.skipped.first().first;
    named.sort();
    EXPECT_EQ(named, (QStringList { "http://h.test:8080/a/../../b.html", longName }));
}

TEST_F(ArchiveExportTest, ProcessGivesANameTooLongForADiscOneThatFitsAndLinksFollowIt)
{
    // Two long queries that differ only past what a name can hold, and a page linking both.
    const QString query = "http://h.test:8080/list.php?q=" + QString(300, u'q');
    archive(query + "&page=1", "<html>one</html>");
    archive(query + "&page=2", "<html>two</html>");
    archive("http://h.test:8080/index.html", ("<html><a href=\"" + query.mid(18) + "&amp;page=1\">1</a> <a href=\""
                                                 + query.mid(18) + "&amp;page=2\">2</a></html>").toUtf8());
    ASSERT_TRUE(writer->saveArchive());
    const auto processed = ArchiveExport(requestFor({}, /*process=*/true)).exportFilesForDate();
    const QString root = processed.outputFolder;
    const QStringList files = filesBelow(root);
    ASSERT_EQ(files.size(), 3) << files.join(u' ').toStdString();
    EXPECT_EQ(processed.itemsSkipped, 0);
    QStringList pages;
    for (const QString& file : files) {
        EXPECT_LE(QFileInfo(file).fileName().toUtf8().size(), 255);
        EXPECT_EQ(danglingReferences(root, root + u'/' + file, /*webLeaves=*/true).join(u'\n').toStdString(), "");
        pages.append(QString::fromUtf8(bytesOf(root + u'/' + file)));
    }
    pages.sort();
    EXPECT_EQ(pages.mid(1), (QStringList { "<html>one</html>", "<html>two</html>" }));
}

} // namespace
