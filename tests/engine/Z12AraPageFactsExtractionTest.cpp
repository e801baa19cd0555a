// What reading a page gives beside its links: canonicals, insecure content on https pages, page facts,
// the SEO and sitemap feeds, documents by their parser, and pages read on another thread.
#include "Z12AraExtractionTestSupport.h"
#include "engine/CrawlSettingKeys.h"

using namespace crawlmere::test::extraction;

namespace {

TEST_F(Z12AraExtractionTest, CanonicalBecomesARecordWithOneOccurrenceUnlessItIsThePage)
{
    start();
    Script self;
    self.canonical = QStringLiteral("http://site.test/");
    extract(home, self);
    EXPECT_EQ(home->getCanonical(), QStringLiteral("http://site.test/"));
    EXPECT_EQ(home->getInboundInstances().size(), 0u);

    extract(home, links({ { QStringLiteral("/p.html"), QStringLiteral("p") } }));
    const auto p = known(QStringLiteral("http://site.test/p.html"));
    Script other;
    other.canonical = QStringLiteral("/main.html");
    extract(p, other);
    const auto main = known(QStringLiteral("http://site.test/main.html"));
    ASSERT_TRUE(main);
    ASSERT_EQ(main->getInboundInstances().size(), 1u);
    EXPECT_EQ(main->getInboundInstances().front()->linkText(), QStringLiteral("canonical"));
    EXPECT_EQ(main->getInboundInstances().front()->parent(), p);
    EXPECT_EQ(main->getDistanceFromHome(), p->getDistanceFromHome() + 1);
    EXPECT_TRUE(isQueued(main->absoluteString()));
}

TEST_F(Z12AraExtractionTest, ALocalPagesRootRelativeCanonicalNamesAFileOfTheScannedFolder)
{
    ASSERT_TRUE(QDir(folder.path()).mkpath(QStringLiteral("site/sub")));
    QFile index(folder.filePath(QStringLiteral("site/index.html")));
    ASSERT_TRUE(index.open(QIODevice::WriteOnly));
    index.write("<html><body><a href=\"sub/page.html\">page</a></body></html>");
    index.close();
    const QString root = QStringLiteral("file://") + folder.filePath(QStringLiteral("site/"));
    start(root + QStringLiteral("index.html"));
    extract(home, links({ { QStringLiteral("sub/page.html"), QStringLiteral("page") } }));
    const auto page = known(root + QStringLiteral("sub/page.html"));
    ASSERT_TRUE(page);

    Script script = links({ { QStringLiteral("/about.html"), QStringLiteral("about") } });
    script.canonical = QStringLiteral("/about.html");
    extract(page, script);
    // The canonical resolves as the link beside it does, inside the folder, not at "/".
    EXPECT_EQ(page->getCanonical(), root + QStringLiteral("about.html"));
    const auto about = known(root + QStringLiteral("about.html"));
    ASSERT_TRUE(about);
    EXPECT_EQ(about->getInboundInstances().size(), 2u);
}

// ===== Insecure content ===========================================================================

TEST_F(Z12AraExtractionTest, HttpContentOnAnHttpsSiteIsListedPerPageAndType)
{
    settings->insert(crawlKey::httpIsExternal, true);
    start(QStringLiteral("https://site.test/"));
    Script script = links({ { QStringLiteral("http://site.test/old.html"), QStringLiteral("old") },
        { QStringLiteral("http://site.test/older.html"), QStringLiteral("older") },
        { QStringLiteral("http://site.test/logo.png"), QStringLiteral("[alt]: logo") },
        { QStringLiteral("http://cdn.test/lib.js"), QStringLiteral("[linked file]") },
        { QStringLiteral("https://site.test/fine.html"), QStringLiteral("fine") } });
    script.canonical = QStringLiteral("http://site.test/");
    extract(home, script);

    const auto old = hub->weHaveThisOneAlready(QStringLiteral("http://site.test/old.html"), nullptr, false);
    ASSERT_TRUE(old);
    EXPECT_FALSE(old->isInternal());
    EXPECT_TRUE(home->getHasMixedContent());
    EXPECT_TRUE(hub->getHttpLinkFoundOnHttpsSite());
    EXPECT_TRUE(known(QStringLiteral("https://site.test/fine.html"))->isInternal());

    std::map<int, InsecureContentRecord> byType;
    for (const auto& record : hub->insecureList()) {
        EXPECT_FALSE(byType.count(record.type)) << "one record per page and type";
        byType[record.type] = record;
    }
    ASSERT_EQ(byType.size(), 3u);
    // The links to pages; the image the page loads is listed as mixed content only.
    EXPECT_EQ(byType[0].url, QStringLiteral("https://site.test/"));
    EXPECT_EQ(byType[0].array,
        (QStringList { QStringLiteral("http://site.test/old.html"), QStringLiteral("http://site.test/older.html") }));
    EXPECT_EQ(byType[1].array,
        (QStringList { QStringLiteral("http://site.test/logo.png"), QStringLiteral("http://cdn.test/lib.js") }));
    EXPECT_EQ(byType[3].array, QStringList { QStringLiteral("http://site.test/") });

    // A second page loading what the first one did is listed with it too, each URL once.
    // A script that is no link (linked files unchecked) counts as well.
    const auto fine = known(QStringLiteral("https://site.test/fine.html"));
    Script second = links({ { QStringLiteral("http://site.test/logo.png"), QStringLiteral("[alt]: logo") },
        { QStringLiteral("http://cdn.test/lib.js"), QStringLiteral("[linked file]") },
        { QStringLiteral("http://site.test/logo.png"), QStringLiteral("[alt]: again") },
        { QStringLiteral("http://site.test/old.html"), QStringLiteral("old") },
        { QStringLiteral("https://site.test/moved.html"), QStringLiteral("moved") } });
    second.httpLinkedFiles = { QStringLiteral("http://cdn.test/only.js") };
    extract(fine, second);
    EXPECT_TRUE(fine->getHasMixedContent());
    std::map<int, QStringList> listed;
    for (const auto& record : hub->insecureList()) {
        if (record.url == fine->absoluteString())
            listed[record.type] = record.array;
    }
    EXPECT_EQ(listed[1], (QStringList { QStringLiteral("http://site.test/logo.png"), QStringLiteral("http://cdn.test/lib.js"),
                             QStringLiteral("http://cdn.test/only.js") }));
    EXPECT_EQ(listed[0], QStringList { QStringLiteral("http://site.test/old.html") });

    // A page that turns out plain (its https address redirects there) and names itself as its
    // canonical: only the redirect is insecure, not the canonical of a page that is no more secure.
    const auto moved = known(QStringLiteral("https://site.test/moved.html"));
    ASSERT_TRUE(moved);
    moved->addRedir(QStringLiteral("http://site.test/plain.html"), 301, 0);
    Script plain;
    plain.canonical = QStringLiteral("http://site.test/plain.html");
    extract(moved, plain);
    // The redirect leads the scan to the plain page, which is read in its turn.
    const auto plainPage = known(QStringLiteral("http://site.test/plain.html"));
    ASSERT_TRUE(plainPage);
    extract(plainPage, plain);
    for (const auto& record : hub->insecureList())
        EXPECT_NE(record.url, QStringLiteral("http://site.test/plain.html")) << record.type;
}

// A redirect from https to http on the site's own host is listed under the redirecting URL with
// each http target, once however often the record is counted; a redirect that stays https, one
// off the site and one already on http are not.
TEST_F(Z12AraExtractionTest, AnHttpsRedirectToTheSitesHttpIsListed)
{
    start(QStringLiteral("https://site.test/"));
    extract(home,
        links({ { QStringLiteral("/to-http"), QStringLiteral("a") }, { QStringLiteral("/chain"), QStringLiteral("b") },
            { QStringLiteral("/secure"), QStringLiteral("c") }, { QStringLiteral("/away"), QStringLiteral("d") },
            { QStringLiteral("http://site.test/plain"), QStringLiteral("e") } }));
    const struct {
        const char* path;
        QStringList hops;
    } redirects[] = {
        { "https://site.test/to-http", { "http://site.test/page.html" } },
        { "https://site.test/chain", { "https://site.test/step", "http://site.test/one", "https://site.test/two",
                                         "http://site.test/three" } },
        { "https://site.test/secure", { "https://site.test/page.html" } },
        { "https://site.test/away", { "http://other.test/page.html" } },
        { "http://site.test/plain", { "http://site.test/page.html" } },
    };
    for (const auto& redirect : redirects) {
        const auto record = hub->weHaveThisOneAlready(QLatin1String(redirect.path), nullptr, true);
        ASSERT_TRUE(record) << redirect.path;
        for (const QString& hop : redirect.hops)
            record->addRedir(hop, 301, 0);
        record->setStatus(200);
        hub->incNumberDone(record);
        hub->incNumberDone(record);
    }
    QStringList listed;
    for (const auto& record : hub->insecureList()) {
        if (record.type == 2)
            listed << record.url + u' ' + record.array.join(u' ');
    }
    EXPECT_EQ(listed,
        (QStringList { QStringLiteral("https://site.test/to-http http://site.test/page.html"),
            QStringLiteral("https://site.test/chain http://site.test/one http://site.test/three") }));
}

// An https scan follows the site's http pages as well (the default): what a plain page loads
// over http is no mixed content, while the same files on an https page are.
TEST_F(Z12AraExtractionTest, OnlyAnHttpsPageHasMixedContent)
{
    start(QStringLiteral("https://site.test/"));
    extract(home,
        links({ { QStringLiteral("http://site.test/plain.html"), QStringLiteral("plain") },
            { QStringLiteral("https://site.test/secure.html"), QStringLiteral("secure") } }));
    const struct {
        QString page;
        bool mixed;
    } pages[] = { { QStringLiteral("http://site.test/plain.html"), false },
        { QStringLiteral("https://site.test/secure.html"), true } };
    for (const auto& [address, mixed] : pages) {
        SCOPED_TRACE(address.toStdString());
        const auto page = known(address);
        ASSERT_TRUE(page);
        ASSERT_TRUE(page->isInternal());
        Script loads = links({ { QStringLiteral("http://site.test/logo.png"), QStringLiteral("[alt]: logo") },
            { QStringLiteral("http://cdn.test/lib.js"), QStringLiteral("[linked file]") } });
        loads.httpLinkedFiles = { QStringLiteral("http://cdn.test/only.js") };
        extract(page, loads);
        EXPECT_EQ(page->getHasMixedContent(), mixed);
        QStringList resources;
        for (const auto& record : hub->insecureList()) {
            if (record.type == 1 && record.url == address)
                resources += record.array;
        }
        const QStringList expected = mixed ? QStringList { QStringLiteral("http://site.test/logo.png"),
            QStringLiteral("http://cdn.test/lib.js"), QStringLiteral("http://cdn.test/only.js") }
                                           : QStringList();
        EXPECT_EQ(resources, expected);
    }
}

TEST_F(Z12AraExtractionTest, EveryKindOfFileAnHttpsPageLoadsOverHttpIsListed)
{
    start(QStringLiteral("https://site.test/"));
    extract(home,
        links({ { QStringLiteral("http://cdn.test/frame.html"), QStringLiteral("[iFrame]") },
            { QStringLiteral("http://cdn.test/clip.mp4"), QStringLiteral("[audio/video]") },
            { QStringLiteral("http://cdn.test/tune.mp3"), QStringLiteral("[audio/video]") },
            { QStringLiteral("http://cdn.test/movie.swf"), QStringLiteral("[embed]") },
            { QStringLiteral("http://cdn.test/bg.png"), QStringLiteral("[inline style url]") },
            { QStringLiteral("http://cdn.test/page.html"), QStringLiteral("a link, not loaded") } }));
    QStringList resources;
    for (const auto& record : hub->insecureList()) {
        if (record.type == 1)
            resources += record.array;
    }
    EXPECT_EQ(resources,
        (QStringList { QStringLiteral("http://cdn.test/frame.html"), QStringLiteral("http://cdn.test/clip.mp4"),
            QStringLiteral("http://cdn.test/tune.mp3"), QStringLiteral("http://cdn.test/movie.swf"),
            QStringLiteral("http://cdn.test/bg.png") }));
    EXPECT_TRUE(home->getHasMixedContent());
}

// ===== Page facts, feeds, parsers =================================================================

TEST_F(Z12AraExtractionTest, PageFactsAreCopiedOntoTheRecord)
{
    settings->insert(crawlKey::shouldTrimHash, false);
    start(QStringLiteral("http://site.test/#intro"));
    Script script = links({ { QStringLiteral("/x"), QStringLiteral("x") } });
    script.title = QStringLiteral("Welcome");
    script.metaData = { QVariantMap { { QStringLiteral("name"), QStringLiteral("description") },
        { QStringLiteral("content"), QStringLiteral("A small site") } } };
    script.headings = { QStringLiteral("Main"), QStringLiteral("\tSub") };
    script.wordCount = 321;
    script.warnings = { QStringLiteral("unclosed p at line 3/4.") };
    script.names = { QStringLiteral("intro") };
    script.headNoindex = true;
    script.canonical = QStringLiteral("/");
    extract(home, script);

    EXPECT_EQ(home->getLinkpagetitle(), QStringLiteral("Welcome"));
    EXPECT_EQ(home->getMetadescription(), QStringLiteral("A small site"));
    EXPECT_EQ(home->getH1s(), QStringLiteral("Main"));
    EXPECT_EQ(home->getH2s(), QStringLiteral("Sub"));
    EXPECT_EQ(home->getWordcount(), 321);
    EXPECT_TRUE(home->headContainsNoIndex());
    EXPECT_EQ(home->getCanonical(), QStringLiteral("http://site.test/"));
    EXPECT_TRUE(home->getWarningsAsArray().contains(QStringLiteral("unclosed p at line 3.")));
    EXPECT_EQ(home->getNamesOnThisPage(), QStringList { QStringLiteral("intro") });
    EXPECT_FALSE(home->getWarningsArrayIncludesAnchors());
    EXPECT_EQ(diagnostic->state().warnings, home->getWarningsAsString());
    EXPECT_EQ(diagnostic->state().title, QStringLiteral("Welcome"));
    EXPECT_FALSE(hub->getWarningsArray().isEmpty());
    EXPECT_TRUE(home->getData().isEmpty()); // dropped after extraction
}

TEST_F(Z12AraExtractionTest, SeoAndSitemapFeedsReceiveGoodInternalPages)
{
    settings->insert(crawlKey::checkSpelling, true);
    start();
    Script script = links({ { QStringLiteral("/x"), QStringLiteral("x") } });
    script.misspelled = { QStringLiteral("Teh"), QStringLiteral("recieve") };
    extract(home, script);
    ASSERT_EQ(seo->internalPagesCollection().size(), 1u);
    EXPECT_EQ(seo->internalPagesCollection().front(), home);
    EXPECT_EQ(home->getSpellingCount(), 2);
    ASSERT_TRUE(seo->getMisspelledWordDictionary());
    EXPECT_EQ(seo->getMisspelledWordDictionary()->count(QStringLiteral("teh")), 1u);
    EXPECT_FALSE(home->getData().isEmpty()); // kept for the spelling views

    // An error page and an external page are not collected.
    extract(known(QStringLiteral("http://site.test/x")), Script(), 404);
    EXPECT_EQ(seo->internalPagesCollection().size(), 1u);
}

TEST_F(Z12AraExtractionTest, DocumentsGoToTheirParserOnlyWhileTheirSettingIsOn)
{
    start();
    extract(home,
        links({ { QStringLiteral("/a.pdf"), QStringLiteral("pdf") },
            { QStringLiteral("/b.docx"), QStringLiteral("docx") }, { QStringLiteral("/c.rtf"), QStringLiteral("rtf") },
            { QStringLiteral("/d.rtf"), QStringLiteral("rtf") } }));
    const auto pdf = known(QStringLiteral("http://site.test/a.pdf"));
    pdf->setMimeType(QStringLiteral("application/pdf"));
    pdf->setIsHTML(false);
    // Off: the follow decision refuses a PDF; nothing is read.
    parsers->calls.clear();
    extract(pdf, links({ { QStringLiteral("/from-pdf"), QStringLiteral("") } }));
    EXPECT_TRUE(parsers->calls.empty());
    EXPECT_FALSE(known(QStringLiteral("http://site.test/from-pdf")));

    settings->insert(crawlKey::shouldParsePDFs, true);
    settings->insert(crawlKey::shouldParseDOCXs, true);
    settings->insert(crawlKey::shouldParseRTFs, true);
    extract(pdf, links({ { QStringLiteral("/from-pdf"), QStringLiteral("") } }));
    EXPECT_EQ(parsers->calls, std::vector<QString> { QStringLiteral("document 0") });
    EXPECT_TRUE(known(QStringLiteral("http://site.test/from-pdf")));

    const auto docx = known(QStringLiteral("http://site.test/b.docx"));
    docx->setIsHTML(false);
    extract(docx, links({ { QStringLiteral("/from-docx"), QStringLiteral("") } }));
    EXPECT_EQ(parsers->calls.back(), QStringLiteral("document 2"));
    EXPECT_TRUE(known(QStringLiteral("http://site.test/from-docx")));

    // A linked RTF is read by its parser as the others are.
    const auto rtf = known(QStringLiteral("http://site.test/c.rtf"));
    rtf->setIsHTML(false);
    extract(rtf, links({ { QStringLiteral("/from-rtf"), QStringLiteral("") } }));
    EXPECT_EQ(parsers->calls.back(), QStringLiteral("document 3"));
    settings->insert(crawlKey::shouldParseRTFs, false);
    extract(known(QStringLiteral("http://site.test/d.rtf")),
        links({ { QStringLiteral("/from-rtf-page"), QStringLiteral("") } }));
    EXPECT_EQ(parsers->calls.back(), QStringLiteral("page 0"));
}

TEST_F(Z12AraExtractionTest, PageNoParserAcceptsIsMarkedNotHtml)
{
    start();
    home->setStatus(200);
    home->setData("bytes no script knows");
    hub->extractLinks(home);
    EXPECT_FALSE(home->isHTML());
    EXPECT_TRUE(home->getData().isEmpty());
}

TEST_F(Z12AraExtractionTest, PageScannedAheadOnAnotherThreadIsReadOnce)
{
    settings->insert(crawlKey::shouldParseCSS, true);
    start();
    const QByteArray body = "page scanned ahead";
    parsers->scripts[body] = links({ { QStringLiteral("/ahead.html"), QStringLiteral("Ahead") } });
    home->setStatus(200);
    home->setData(body);
    const auto reading = hub->preparePageReading(home);
    ASSERT_TRUE(reading);
    std::unique_ptr<LinkExtractionParser> read;
    std::thread([&] { read = reading(); }).join();
    ASSERT_TRUE(read);
    const size_t callsBefore = parsers->calls.size();
    hub->extractLinksFromReading(home, std::move(read));
    EXPECT_EQ(parsers->calls.size(), callsBefore); // not scanned a second time
    const auto ahead = known(QStringLiteral("http://site.test/ahead.html"));
    ASSERT_TRUE(ahead);
    ASSERT_EQ(ahead->getInboundInstances().size(), 1u);
    EXPECT_EQ(ahead->getInboundInstances().front()->getLinkText(), QStringLiteral("Ahead"));

    // Without a reading the page is scanned as usual; style sheets (their own parser) and pages
    // of other sites get none.
    parsers->scripts[body] = links({ { QStringLiteral("/again.html"), QStringLiteral("Again") } });
    home->setData(body);
    hub->extractLinksFromReading(home, nullptr);
    EXPECT_TRUE(known(QStringLiteral("http://site.test/again.html")));
    const auto sheet = known(QStringLiteral("http://site.test/ahead.html"));
    sheet->setMimeType(QStringLiteral("text/css"));
    sheet->setData("a { }");
    EXPECT_FALSE(hub->preparePageReading(sheet));
    auto other = CrwlUrl::make(hub, hub->getCrawlSettings());
    other->setLinkURL(QStringLiteral("http://other.test/"));
    other->setIsInternal(false);
    other->setData("x");
    EXPECT_FALSE(hub->preparePageReading(other));
}

TEST_F(Z12AraExtractionTest, StartingUrlListAddsEachHostAndDirectory)
{
    start();
    settings->insert(crawlKey::plainTextMode, qint64(3));
    extract(home,
        links({ { QStringLiteral("http://one.test/docs/a.html"), QStringLiteral("") },
            { QStringLiteral("mailto:x@one.test"), QStringLiteral("") } }));
    EXPECT_EQ(parsers->calls.back(), QStringLiteral("page 3"));
    EXPECT_TRUE(hub->getDomains().contains(QStringLiteral("one.test")));
    EXPECT_TRUE(hub->getFollowBlacklistArray().contains(QStringLiteral("!one.test/docs")));
    const auto a = known(QStringLiteral("http://one.test/docs/a.html"));
    ASSERT_TRUE(a);
    EXPECT_TRUE(a->isInternal());
}

// The addresses of a local list are what the user asked to check, though none shares the list's
// folder; the pages they lead to still keep to the hosts the list named.
TEST_F(Z12AraExtractionTest, ALocalUrlListIsCheckedWhenOnlyInternalLinksAre)
{
    QFile list(folder.filePath(QStringLiteral("list.txt")));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write("http://one.test/a.html\nhttp://two.test/\n");
    list.close();
    settings->insert(crawlKey::internalOnly, true);
    start(QStringLiteral("file://") + list.fileName());
    settings->insert(crawlKey::plainTextMode, qint64(3));
    extract(home,
        links({ { QStringLiteral("http://one.test/a.html"), QString() },
            { QStringLiteral("http://two.test/"), QString() } }));
    for (const char* url : { "http://one.test/a.html", "http://two.test/" }) {
        const auto listed = known(QString::fromLatin1(url));
        ASSERT_TRUE(listed) << url;
        EXPECT_TRUE(listed->isInternal()) << url;
        EXPECT_TRUE(isQueued(QString::fromLatin1(url))) << url;
    }
    extract(known(QStringLiteral("http://one.test/a.html")),
        links({ { QStringLiteral("http://three.test/"), QString() }, { QStringLiteral("b.html"), QString() } }));
    EXPECT_FALSE(hub->weHaveThisOneAlready(QStringLiteral("http://three.test/"), nullptr, false));
    EXPECT_TRUE(known(QStringLiteral("http://one.test/b.html")));
}

} // namespace
