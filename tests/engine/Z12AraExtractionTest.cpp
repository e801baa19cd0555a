// Link extraction on a hub set up for a scan by its own go(): each page is read through a scripted
// parser that hands out the links and page facts a test gives it, so every rule of the link loop
// (resolution, scope, lookup, occurrences, first statuses, limits, insecure content) is driven
// with exact inputs.
#include "Z12AraTestSupport.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlStatusCodes.h"
#include "engine/LinkExtractionParser.h"
#include "engine/RecordingEngineSEO.h"
#include "platform/UrlSession.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <map>
#include <thread>

using namespace crawlmere::test;

namespace {

/// One link as a parser hands it out.
struct ScriptLink {
    ScriptLink(QString h, QString x, QString r = {}, std::optional<int> l = std::nullopt, QString t = {},
        QString lang = {}, QString window = {})
        : href(std::move(h))
        , text(std::move(x))
        , rel(std::move(r))
        , line(l)
        , type(std::move(t))
        , hreflang(std::move(lang))
        , target(std::move(window))
    {
    }
    QString href;
    QString text;
    QString rel;
    std::optional<int> line;
    QString type;
    QString hreflang;
    QString target;
};

/// What a scripted page answers.
struct Script {
    std::vector<ScriptLink> links;
    QString title;
    QString canonical;
    QString baseHref; // null: no base element
    QStringList headings;
    QVariantList metaData;
    QStringList warnings;
    QStringList names;
    QStringList misspelled;
    QStringList httpLinkedFiles;
    qint64 wordCount = 0;
    bool headNofollow = false;
    bool headNoindex = false;
};

class ScriptedParser final : public LinkExtractionParser {
public:
    ScriptedParser(Script script, qint64 length)
        : m_script(std::move(script))
        , m_length(length)
    {
    }
    std::optional<QString> getNextHref() override
    {
        if (m_next >= m_script.links.size())
            return std::nullopt;
        m_current = &m_script.links[m_next++];
        return m_current->href;
    }
    QString getLinkText() const override { return m_current ? m_current->text : QString(); }
    QString getRel() const override { return m_current ? m_current->rel : QString(); }
    QString getTypeAttribute() const override { return m_current ? m_current->type : QString(); }
    QString getHreflang() const override { return m_current ? m_current->hreflang : QString(); }
    QString getTargetAttr() const override { return m_current ? m_current->target : QString(); }
    std::optional<int> getLineNumber() const override { return m_current ? m_current->line : std::nullopt; }
    void setXMLMode() override { }
    qint64 getLength() const override { return m_length; }
    QString getTitle() const override { return m_script.title; }
    QString getCanonical() const override { return m_script.canonical; }
    QString getBaseHref() const override { return m_script.baseHref; }
    QStringList getHeadings() const override { return m_script.headings; }
    QVariantList getMetaData() const override { return m_script.metaData; }
    bool getHeadContainsNofollow() const override { return m_script.headNofollow; }
    bool getHeadContainsNoindex() const override { return m_script.headNoindex; }
    QVariantList getJsonld() const override { return {}; }
    qint64 getWordCount() const override { return m_script.wordCount; }
    qint64 getFileSize() const override { return m_length; }
    QStringList getWarnings() const override { return m_script.warnings; }
    QStringList getNames() const override { return m_script.names; }
    QStringList getHttpLinkedFiles() const override { return m_script.httpLinkedFiles; }
    qint64 getSpellingCount() const override { return m_script.misspelled.size(); }
    QStringList getAllSpelling() const override { return m_script.misspelled; }
    bool isKeywordStuffed() const override { return false; }

private:
    Script m_script;
    qint64 m_length;
    size_t m_next = 0;
    const ScriptLink* m_current = nullptr;
};

/// Pages are looked up by their bytes; each call is recorded.
class ScriptedParsers final : public LinkExtractionParsers {
public:
    std::unique_ptr<LinkExtractionParser> makeDocumentParser(DocumentKind kind, const QByteArray& data) const override
    {
        calls.push_back(QStringLiteral("document %1").arg(static_cast<int>(kind)));
        return make(data);
    }
    std::unique_ptr<LinkExtractionParser> makePageParser(
        const QByteArray& data, crawlmere::platform::EncodingId, int fileType, const QVariantMap&) const override
    {
        calls.push_back(QStringLiteral("page %1").arg(fileType));
        return make(data);
    }
    std::unique_ptr<LinkExtractionParser> makeSourceParser(
        const QByteArray& data, crawlmere::platform::EncodingId, int) const override
    {
        calls.push_back(QStringLiteral("source"));
        return make(data);
    }

    std::map<QByteArray, Script> scripts;
    mutable std::vector<QString> calls;

private:
    std::unique_ptr<LinkExtractionParser> make(const QByteArray& data) const
    {
        const auto it = scripts.find(data);
        if (it == scripts.end())
            return nullptr;
        return std::make_unique<ScriptedParser>(it->second, data.size());
    }
};

class Z12AraExtractionTest : public HubFixture {
protected:
    void SetUp() override
    {
        HubFixture::SetUp();
        parsers = std::make_shared<ScriptedParsers>();
        hub->setLinkExtractionParsers(parsers);
        seo = std::make_shared<crawlmere::test::RecordingEngineSEO>();
        hub->setEngineSEODataSource(seo);
    }

    /// Starts a scan of `startingUrl` (robots.txt answered with `robots` when given).
    void start(const QString& startingUrl = QStringLiteral("http://site.test/"), const QByteArray& robots = {})
    {
        if (!robots.isEmpty()) {
            transport->loadHandler = [robots](const crawlmere::platform::UrlRequest& request, auto) {
                crawlmere::platform::UrlLoadResult result;
                result.response = crawlmere::platform::UrlResponse();
                result.response->url = request.url;
                result.response->statusCode = request.url.endsWith(QStringLiteral("robots.txt")) ? 200 : 404;
                if (result.response->statusCode == 200)
                    result.body = robots;
                return result;
            };
        }
        settings->insert(QStringLiteral("startingUrl"), startingUrl);
        ASSERT_TRUE(hub->go());
        home = hub->getLcurl();
        ASSERT_TRUE(home);
    }

    /// Gives `record` a fetched body read through `script`, then extracts its links.
    void extract(const std::shared_ptr<CrwlUrl>& record, const Script& script, qint64 status = 200)
    {
        const QByteArray body = "page " + record->absoluteString().toUtf8() + ' ' + QByteArray::number(++pageCounter);
        parsers->scripts[body] = script;
        record->setStatus(status);
        record->setData(body);
        hub->extractLinks(record);
    }

    std::shared_ptr<CrwlUrl> known(const QString& url) const { return hub->weHaveThisOneAlready(url, nullptr, true); }

    static Script links(std::initializer_list<ScriptLink> list)
    {
        Script script;
        script.links = list;
        return script;
    }

    std::vector<QString> queued() const
    {
        std::vector<QString> urls;
        for (const auto& record : hub->getCheckQueue().waitingObjects()) {
            if (record)
                urls.push_back(record->absoluteString());
        }
        return urls;
    }
    bool isQueued(const QString& url) const
    {
        const auto urls = queued();
        return std::find(urls.begin(), urls.end(), url) != urls.end();
    }

    std::shared_ptr<ScriptedParsers> parsers;
    std::shared_ptr<crawlmere::test::RecordingEngineSEO> seo;
    std::shared_ptr<CrwlUrl> home;
    int pageCounter = 0;
};

// ===== New and known links =======================================================================

TEST_F(Z12AraExtractionTest, NewLinksBecomeQueuedRecordsWithTheirOccurrence)
{
    start();
    const qsizetype before = hub->linksCollection().size();
    extract(home,
        links({ { QStringLiteral("about.html"), QStringLiteral("About us"), QStringLiteral("nofollow"), 12,
                    QStringLiteral("text/html"), QStringLiteral("en"), QStringLiteral("_blank") },
            { QStringLiteral("http://other.test/x"), QStringLiteral("Other"), {}, 14 } }));

    const auto about = known(QStringLiteral("http://site.test/about.html"));
    ASSERT_TRUE(about);
    EXPECT_TRUE(about->isInternal());
    EXPECT_EQ(about->getStatus(), CrwlStatus::notYetChecked);
    EXPECT_EQ(about->getDistanceFromHome(), home->getDistanceFromHome() + 1);
    ASSERT_EQ(about->getInboundInstances().size(), 1u);
    const auto occurrence = about->getInboundInstances().front();
    EXPECT_EQ(occurrence->parent(), home);
    EXPECT_EQ(occurrence->linkText(), QStringLiteral("About us"));
    EXPECT_TRUE(occurrence->getNofollow());
    EXPECT_EQ(occurrence->lineNumber(), std::optional<qint64>(12));
    EXPECT_EQ(occurrence->hreflang(), QStringLiteral("en"));
    EXPECT_EQ(occurrence->targetAttr(), QStringLiteral("_blank"));

    const auto other = hub->weHaveThisOneAlready(QStringLiteral("http://other.test/x"), nullptr, false);
    ASSERT_TRUE(other);
    EXPECT_FALSE(other->isInternal());

    EXPECT_EQ(hub->linksCollection().size(), before + 2);
    EXPECT_EQ(home->outboundLinkCount(), 2);
    EXPECT_TRUE(isQueued(QStringLiteral("http://site.test/about.html")));
    EXPECT_TRUE(isQueued(QStringLiteral("http://other.test/x")));
}

TEST_F(Z12AraExtractionTest, KnownLinksGetAnOccurrenceAndNoSecondRecord)
{
    start();
    extract(home,
        links({ { QStringLiteral("/a.html"), QStringLiteral("one"), {}, 3 },
            { QStringLiteral("http://site.test/a.html"), QStringLiteral("two"), {}, 4 },
            { QStringLiteral("./"), QStringLiteral("home again"), {}, 5 } }));
    const auto a = known(QStringLiteral("http://site.test/a.html"));
    ASSERT_TRUE(a);
    ASSERT_EQ(a->getInboundInstances().size(), 2u);
    EXPECT_EQ(a->getInboundInstances()[1]->linkText(), QStringLiteral("two"));
    EXPECT_EQ(a->getInboundInstances()[1]->lineNumber(), std::optional<qint64>(4));
    // "./" is the page itself, already known as the starting point.
    ASSERT_EQ(home->getInboundInstances().size(), 1u);
    EXPECT_EQ(home->getInboundInstances().front()->linkText(), QStringLiteral("home again"));
    const auto urls = queued();
    EXPECT_EQ(std::count(urls.begin(), urls.end(), QStringLiteral("http://site.test/a.html")), 1);

    // A second page linking to it adds a third occurrence.
    extract(a, links({ { QStringLiteral("a.html"), QStringLiteral("self"), {}, 1 } }));
    EXPECT_EQ(a->getInboundInstances().size(), 3u);
    EXPECT_EQ(a->getInboundInstances()[2]->parent(), a);
}

TEST_F(Z12AraExtractionTest, RelExternalOnAnInternalLinkWarnsTheTarget)
{
    start();
    extract(home, links({ { QStringLiteral("/b.html"), QStringLiteral("b"), QStringLiteral("external") } }));
    const auto b = known(QStringLiteral("http://site.test/b.html"));
    ASSERT_TRUE(b);
    ASSERT_EQ(b->getWarningsAsArray().size(), 1);
    EXPECT_TRUE(b->getWarningsAsArray().first().startsWith(QStringLiteral(
        "The link appears internal but has an instance marked rel=external on page: http://site.test/")));
}

// ===== Resolution =================================================================================

TEST_F(Z12AraExtractionTest, BaseHrefDecidesWhereRelativeLinksPoint)
{
    start();
    Script script = links({ { QStringLiteral("x.html"), QStringLiteral("x") } });
    script.baseHref = QStringLiteral("http://site.test/docs/");
    extract(home, script);
    EXPECT_TRUE(known(QStringLiteral("http://site.test/docs/x.html")));
    EXPECT_FALSE(known(QStringLiteral("http://site.test/x.html")));

    // A base of "/" is the site's root; a relative base is taken from the page.
    const auto page = known(QStringLiteral("http://site.test/docs/x.html"));
    Script rooted = links({ { QStringLiteral("y.html"), QStringLiteral("y") } });
    rooted.baseHref = QStringLiteral("/");
    extract(page, rooted);
    EXPECT_TRUE(known(QStringLiteral("http://site.test/y.html")));

    // (A page already in the SEO collection is not read twice, so another page of the folder.)
    extract(home, links({ { QStringLiteral("/docs/w.html"), QStringLiteral("w") } }));
    Script relative = links({ { QStringLiteral("z.html"), QStringLiteral("z") } });
    relative.baseHref = QStringLiteral("sub/");
    extract(known(QStringLiteral("http://site.test/docs/w.html")), relative);
    EXPECT_TRUE(known(QStringLiteral("http://site.test/docs/sub/z.html")));
}

TEST_F(Z12AraExtractionTest, LinksOfARedirectedPageResolveAgainstWhereItLanded)
{
    start();
    extract(home, links({ { QStringLiteral("/dir"), QStringLiteral("dir") } }));
    const auto dir = known(QStringLiteral("http://site.test/dir"));
    ASSERT_TRUE(dir);
    ASSERT_TRUE(dir->getNSURL()); // cached before the redirect
    dir->addRedir(QStringLiteral("http://site.test/dir/"), 200, 0);
    extract(dir, links({ { QStringLiteral("inside.html"), QStringLiteral("in") } }));
    EXPECT_TRUE(known(QStringLiteral("http://site.test/dir/inside.html")));
}

TEST_F(Z12AraExtractionTest, ARedirectIsOnlyARedirectWhicheverAnswerComesFirst)
{
    // The tutorial page is linked directly and through a redirect; both fetches end with its body.
    const QString tutorial = QStringLiteral("http://site.test/guide/index.html");
    const Script page = links({ { QStringLiteral("style.css"), QStringLiteral("css") } });
    for (const bool redirectFirst : { true, false }) {
        SCOPED_TRACE(redirectFirst ? "redirect first" : "direct first");
        start();
        extract(home, links({ { QStringLiteral("/old.html"), QStringLiteral("old") },
                          { QStringLiteral("/guide/index.html"), QStringLiteral("guide") } }));
        const auto old = known(QStringLiteral("http://site.test/old.html"));
        const auto direct = known(tutorial);
        ASSERT_TRUE(old && direct);
        old->addRedir(tutorial, 301, 0);
        extract(redirectFirst ? old : direct, page);
        extract(redirectFirst ? direct : old, page);
        EXPECT_EQ(old->outboundLinkCount(), 0);
        EXPECT_EQ(direct->outboundLinkCount(), 1);
        const auto css = known(QStringLiteral("http://site.test/guide/style.css"));
        ASSERT_TRUE(css);
        EXPECT_EQ(css->getInboundInstances().front()->parent(), direct);
        EXPECT_EQ(std::ranges::count(seo->internalPagesCollection(), direct), 1);
        EXPECT_EQ(std::ranges::count(seo->internalPagesCollection(), old), 0);
    }

    // A final address linked nowhere gets a record of its own, at the redirect's distance, which
    // the links to the redirect let be followed.
    defaults->setBool(true, QStringLiteral("dontFollowNofollowLinks"));
    start();
    extract(home, links({ { QStringLiteral("/moved"), QStringLiteral("moved") } }));
    const auto moved = known(QStringLiteral("http://site.test/moved"));
    ASSERT_TRUE(moved);
    moved->addRedir(QStringLiteral("http://site.test/target.html"), 301, 0);
    hub->addToRedirLookup(moved, QStringLiteral("http://site.test/target.html"));
    extract(moved, page);
    const auto target = known(QStringLiteral("http://site.test/target.html"));
    ASSERT_TRUE(target);
    EXPECT_TRUE(isQueued(QStringLiteral("http://site.test/target.html")));
    EXPECT_EQ(target->getDistanceFromHome(), moved->getDistanceFromHome());
    extract(target, page);
    EXPECT_EQ(moved->outboundLinkCount(), 0);
    EXPECT_EQ(target->outboundLinkCount(), 1);
}

TEST_F(Z12AraExtractionTest, APageIsAtItsShortestDistanceWhicheverWayInIsReadFirst)
{
    // Home links /r301 (a redirect to /t.html) and /mid.html, which links /t.html; /t.html links
    // /deep.html. Through the redirect /t.html is 1 from home, whether the redirect or the
    // deeper link is read first; so is what it links, and a slow page's shorter link counts too.
    for (const bool redirectFirst : { true, false }) {
        SCOPED_TRACE(redirectFirst ? "redirect first" : "deeper link first");
        start();
        extract(home,
            links({ { QStringLiteral("/r301"), QStringLiteral("r") },
                { QStringLiteral("/mid.html"), QStringLiteral("mid") },
                { QStringLiteral("/slow.html"), QStringLiteral("slow") } }));
        const auto r301 = known(QStringLiteral("http://site.test/r301"));
        const auto mid = known(QStringLiteral("http://site.test/mid.html"));
        ASSERT_TRUE(r301 && mid);
        r301->addRedir(QStringLiteral("http://site.test/t.html"), 301, 0);
        hub->addToRedirLookup(r301, QStringLiteral("http://site.test/t.html"));
        const Script target = links({ { QStringLiteral("/deep.html"), QStringLiteral("deep") } });
        if (redirectFirst)
            extract(r301, target);
        extract(mid, links({ { QStringLiteral("/t.html"), QStringLiteral("t") } }));
        const auto t = known(QStringLiteral("http://site.test/t.html"));
        ASSERT_TRUE(t);
        extract(t, target);
        const auto deep = known(QStringLiteral("http://site.test/deep.html"));
        ASSERT_TRUE(deep);
        extract(deep, links({ { QStringLiteral("/far.html"), QStringLiteral("far") } }));
        if (!redirectFirst)
            extract(r301, target);
        EXPECT_EQ(t->getDistanceFromHome(), 1);
        EXPECT_EQ(deep->getDistanceFromHome(), 2);
        EXPECT_EQ(known(QStringLiteral("http://site.test/far.html"))->getDistanceFromHome(), 3);
        EXPECT_EQ(r301->outboundLinkCount(), 0);

        // A page at 1 read after the page at 3 that linked the same URL.
        extract(known(QStringLiteral("http://site.test/slow.html")),
            links({ { QStringLiteral("/far.html"), QStringLiteral("far again") } }));
        EXPECT_EQ(known(QStringLiteral("http://site.test/far.html"))->getDistanceFromHome(), 2);
    }
}

TEST_F(Z12AraExtractionTest, APageReadAtTheLevelsLimitIsReadAgainOnceAShorterWayInIsFound)
{
    // Home links /r301 (a redirect to /t.html) and /mid.html, which links /t.html; /t.html links
    // /deep.html. At levelsLimit 2, /t.html read through /mid.html first has no links read; the
    // redirect then brings it to 1, so it is fetched again and /deep.html is found all the same.
    settings->insert(QStringLiteral("levelsLimit"), qint64(2));
    const Script target = links({ { QStringLiteral("/deep.html"), QStringLiteral("deep") } });
    for (const bool redirectFirst : { true, false }) {
        SCOPED_TRACE(redirectFirst ? "redirect first" : "deeper link first");
        start();
        extract(home,
            links({ { QStringLiteral("/r301"), QStringLiteral("r") },
                { QStringLiteral("/mid.html"), QStringLiteral("mid") } }));
        const auto r301 = known(QStringLiteral("http://site.test/r301"));
        const auto mid = known(QStringLiteral("http://site.test/mid.html"));
        ASSERT_TRUE(r301 && mid);
        r301->addRedir(QStringLiteral("http://site.test/t.html"), 301, 0);
        if (redirectFirst)
            extract(r301, target);
        extract(mid, links({ { QStringLiteral("/t.html"), QStringLiteral("t") } }));
        const auto t = known(QStringLiteral("http://site.test/t.html"));
        ASSERT_TRUE(t);
        hub->incNumberDone(t);
        extract(t, target);
        if (!redirectFirst) {
            EXPECT_FALSE(known(QStringLiteral("http://site.test/deep.html")));
            extract(r301, target);
            EXPECT_TRUE(isQueued(QStringLiteral("http://site.test/t.html")));
            extract(t, target); // its second fetch
        }
        const auto deep = known(QStringLiteral("http://site.test/deep.html"));
        ASSERT_TRUE(deep);
        EXPECT_EQ(t->getDistanceFromHome(), 1);
        EXPECT_EQ(deep->getDistanceFromHome(), 2);
        EXPECT_EQ(deep->getInboundInstances().size(), 1u);
        EXPECT_EQ(t->outboundLinkCount(), 1);
        EXPECT_EQ(std::ranges::count(seo->internalPagesCollection(), t), 1);
    }
}

TEST_F(Z12AraExtractionTest, APdfReachedThroughARedirectIsReadAndTheRedirectIsNotCollected)
{
    settings->insert(QStringLiteral("shouldParsePDFs"), true);
    defaults->setBool(true, QStringLiteral("includePdfsInSitemap"));
    start();
    extract(home, links({ { QStringLiteral("/getpdf"), QStringLiteral("get") } }));
    const auto get = known(QStringLiteral("http://site.test/getpdf"));
    ASSERT_TRUE(get);
    get->addRedir(QStringLiteral("http://site.test/doc.pdf"), 302, 0);
    get->setMimeType(QStringLiteral("application/pdf"));
    get->setIsHTML(false);
    get->setStatus(200);
    hub->incNumberDone(get); // its completion counts it before handing it to be read
    EXPECT_EQ(std::ranges::count(seo->internalPagesCollection(), get), 0);
    const Script pdfLinks = links({ { QStringLiteral("/from-pdf.html"), QStringLiteral("") } });
    extract(get, pdfLinks);
    const auto pdf = known(QStringLiteral("http://site.test/doc.pdf"));
    ASSERT_TRUE(pdf);
    pdf->setMimeType(QStringLiteral("application/pdf"));
    pdf->setIsHTML(false);
    pdf->setStatus(200);
    hub->incNumberDone(pdf);
    extract(pdf, pdfLinks);
    EXPECT_TRUE(isQueued(QStringLiteral("http://site.test/from-pdf.html")));
    EXPECT_EQ(seo->internalPagesCollection(), (CrwlUrlList { home, pdf }));
}

TEST_F(Z12AraExtractionTest, ARefreshHeaderOnlyRecordedLeavesThePageItsOwn)
{
    start();
    extract(home,
        links({ { QStringLiteral("/rh30.html"), QStringLiteral("30") },
            { QStringLiteral("/rh5.html"), QStringLiteral("5") } }));
    const auto rh30 = known(QStringLiteral("http://site.test/rh30.html"));
    const auto rh5 = known(QStringLiteral("http://site.test/rh5.html"));
    ASSERT_TRUE(rh30 && rh5);
    // A Refresh header the fetch only recorded, and one it followed.
    rh30->addRedir(QStringLiteral("http://site.test/later.html"), 200, 2);
    rh30->markLastRedirOnlyRecorded();
    rh5->addRedir(QStringLiteral("http://site.test/later.html"), 200, 2);
    Script own = links({ { QStringLiteral("own-link.html"), QStringLiteral("own") } });
    own.title = QStringLiteral("Own page");
    extract(rh30, own);
    extract(rh5, links({}));
    EXPECT_EQ(rh30->finalURLString(), rh30->absoluteString());
    EXPECT_EQ(rh30->getLinkpagetitle(), QStringLiteral("Own page"));
    EXPECT_TRUE(isQueued(QStringLiteral("http://site.test/own-link.html")));
    EXPECT_EQ(rh30->getStatusDescription(), QStringLiteral("200 ok"));
    EXPECT_EQ(rh30->getRedir(), QStringLiteral("http://site.test/later.html")); // the hop stays recorded
    EXPECT_EQ(rh5->finalURLString(), QStringLiteral("http://site.test/later.html"));
    EXPECT_EQ(rh5->outboundLinkCount(), 0);
    EXPECT_TRUE(known(QStringLiteral("http://site.test/later.html")));
}

TEST_F(Z12AraExtractionTest, AStartingPointThatRedirectsStartsTheScanAtItsFinalPage)
{
    start();
    home->addRedir(QStringLiteral("http://site.test/en/home.html"), 301, 0);
    Script page = links({ { QStringLiteral("/en/home.html"), QStringLiteral("self") },
        { QStringLiteral("/en/a.html"), QStringLiteral("a") } });
    page.title = QStringLiteral("Home");
    extract(home, page);
    const auto final = known(QStringLiteral("http://site.test/en/home.html"));
    ASSERT_TRUE(final);
    EXPECT_EQ(final->getDistanceFromHome(), 0);
    EXPECT_TRUE(isQueued(QStringLiteral("http://site.test/en/home.html")));
    EXPECT_EQ(home->outboundLinkCount(), 0);
    // Followed as the starting point is, whatever the lists say.
    hub->setFollowBlacklistArray({ QStringLiteral("/en/") });
    extract(final, page);
    EXPECT_EQ(final->getLinkpagetitle(), QStringLiteral("Home"));
    EXPECT_EQ(final->getDistanceFromHome(), 0);
    EXPECT_EQ(known(QStringLiteral("http://site.test/en/a.html"))->getDistanceFromHome(), 1);
    EXPECT_EQ(seo->internalPagesCollection(), (CrwlUrlList { final }));
    EXPECT_EQ(home->getFieldByName(QStringLiteral("linkpagetitle")), QStringLiteral("Home"));
}

TEST_F(Z12AraExtractionTest, ARedirectTargetGetsTheStatusALinkToItWould)
{
    const QByteArray robots = "User-agent: *\nDisallow: /admin/\n";
    for (const bool blacklistByRobots : { false, true }) {
        SCOPED_TRACE(blacklistByRobots ? "robots blacklist on" : "robots blacklist off");
        settings->insert(QStringLiteral("blacklistByRobotsTxt"), blacklistByRobots);
        start(QStringLiteral("http://site.test/"), robots);
        extract(home,
            links({ { QStringLiteral("/go-admin"), QStringLiteral("go") },
                { QStringLiteral("/admin/d.html"), QStringLiteral("direct") } }));
        const auto go = known(QStringLiteral("http://site.test/go-admin"));
        ASSERT_TRUE(go);
        EXPECT_EQ(hub->isNeverRequested(QStringLiteral("http://site.test/admin/r.html")), blacklistByRobots);
        go->addRedir(QStringLiteral("http://site.test/admin/r.html"), 302, 0);
        extract(go, links({}));
        const auto viaRedirect = known(QStringLiteral("http://site.test/admin/r.html"));
        const auto direct = known(QStringLiteral("http://site.test/admin/d.html"));
        ASSERT_TRUE(viaRedirect && direct);
        for (const auto& record : { viaRedirect, direct }) {
            EXPECT_EQ(record->getStatus(), direct->getStatus());
            EXPECT_TRUE(record->isDisallowed());
            EXPECT_EQ(record->isBlacklisted(), blacklistByRobots);
            EXPECT_EQ(isQueued(record->absoluteString()), !blacklistByRobots);
        }
    }
}

TEST_F(Z12AraExtractionTest, ARedirectShowsThePageItLeadsToAndThePageSaysHowItIsReached)
{
    start();
    extract(home,
        links({ { QStringLiteral("/old-page"), QStringLiteral("old") },
            { QStringLiteral("/chain"), QStringLiteral("chain") } }));
    const auto old = known(QStringLiteral("http://site.test/old-page"));
    const auto chain = known(QStringLiteral("http://site.test/chain"));
    ASSERT_TRUE(old && chain);
    old->addRedir(QStringLiteral("http://site.test/moved.html"), 301, 0);
    hub->addToRedirLookup(old, QStringLiteral("http://site.test/moved.html"));
    for (const char* hop : { "http://site.test/one", "http://site.test/two", "http://site.test/moved.html" })
        chain->addRedir(QString::fromLatin1(hop), 301, 0);
    // The last hop of a chain is a meta refresh: the hub files it as a way in itself.
    chain->addRedir(QStringLiteral("http://site.test/end.html"), 200, 1);
    Script moved = links({ { QStringLiteral("a.html"), QStringLiteral("a") } });
    moved.title = QStringLiteral("Moved target");
    extract(old, moved);
    extract(chain, moved);
    const auto target = known(QStringLiteral("http://site.test/moved.html"));
    const auto end = known(QStringLiteral("http://site.test/end.html"));
    ASSERT_TRUE(target && end);
    extract(target, moved);
    Script endPage;
    endPage.title = QStringLiteral("The end");
    extract(end, endPage);

    // Title: the page's, on the redirect's row and in its sort value.
    EXPECT_EQ(old->getFieldByName(QStringLiteral("linkpagetitle")), QStringLiteral("Moved target"));
    EXPECT_EQ(old->getSortValue(QStringLiteral("linkpagetitle")).toString(), QStringLiteral("Moved target"));
    EXPECT_EQ(chain->getFieldByName(QStringLiteral("linkpagetitle")), QStringLiteral("The end"));
    EXPECT_TRUE(old->getLinkpagetitle().isEmpty()); // the redirect itself holds no page

    // Appears on: the way in, not "appears 0 times"; one "[redirect]" occurrence per redirect.
    EXPECT_EQ(target->getFieldByName(QStringLiteral("onpageurl")),
        QStringLiteral("redirected from http://site.test/old-page"));
    EXPECT_EQ(
        end->getFieldByName(QStringLiteral("onpageurl")), QStringLiteral("redirected from http://site.test/chain"));
    std::vector<std::pair<QString, QString>> arrivals;
    for (const auto& occurrence : hub->instanceCollection()) {
        if (occurrence->linkText() == Z12Ara::kRedirectArrivalText)
            arrivals.emplace_back(occurrence->parent()->absoluteString(), occurrence->target()->absoluteString());
    }
    EXPECT_EQ(arrivals,
        (std::vector<std::pair<QString, QString>> {
            { QStringLiteral("http://site.test/old-page"), QStringLiteral("http://site.test/moved.html") },
            { QStringLiteral("http://site.test/chain"), QStringLiteral("http://site.test/end.html") } }));
    EXPECT_TRUE(target->getInboundInstances().empty());
    // A second redirect to the page: both are named, in the order of their addresses.
    extract(home, links({ { QStringLiteral("/another"), QStringLiteral("another") } }));
    const auto another = known(QStringLiteral("http://site.test/another"));
    another->addRedir(QStringLiteral("http://site.test/moved.html"), 302, 0);
    extract(another, moved);
    EXPECT_EQ(target->getFieldByName(QStringLiteral("onpageurl")),
        QStringLiteral("redirected from http://site.test/another and 1 more"));
}

TEST_F(Z12AraExtractionTest, APdfTheSitemapTookOnItsStatusIsStillRead)
{
    settings->insert(QStringLiteral("shouldParsePDFs"), true);
    defaults->setBool(true, QStringLiteral("includePdfsInSitemap"));
    start();
    extract(home, links({ { QStringLiteral("/doc.pdf"), QStringLiteral("pdf") } }));
    const auto pdf = known(QStringLiteral("http://site.test/doc.pdf"));
    ASSERT_TRUE(pdf);
    pdf->setMimeType(QStringLiteral("application/pdf"));
    pdf->setIsHTML(false);
    // The fetch's completion counts it (the sitemap takes it), then hands it to be read.
    pdf->setStatus(200);
    hub->incNumberDone(pdf);
    ASSERT_EQ(std::ranges::count(seo->internalPagesCollection(), pdf), 1);
    extract(pdf, links({ { QStringLiteral("/from-pdf.html"), QStringLiteral("") } }));
    EXPECT_TRUE(isQueued(QStringLiteral("http://site.test/from-pdf.html")));
    // Read once: a later fetch of the same record does not read it again.
    extract(pdf, links({ { QStringLiteral("/again.html"), QStringLiteral("") } }));
    EXPECT_FALSE(known(QStringLiteral("http://site.test/again.html")));
}

TEST_F(Z12AraExtractionTest, SchemeAndHostInAnyCaseNameTheSameRecord)
{
    start();
    extract(home,
        links({ { QStringLiteral("HTTP://SITE.test/x/Y/page.html"), QStringLiteral("upper") },
            { QStringLiteral("/x/Y/page.html"), QStringLiteral("lower") },
            { QStringLiteral("Http://Site.Test/"), QStringLiteral("home") } }));
    const auto page = known(QStringLiteral("http://site.test/x/Y/page.html"));
    ASSERT_TRUE(page);
    EXPECT_EQ(page->getInboundInstances().size(), 2u);
    // Written as every export writes it, whichever spelling came first; the path as it stands.
    EXPECT_EQ(page->absoluteString(), QStringLiteral("http://site.test/x/Y/page.html"));
    EXPECT_EQ(hub->linksCollection().size(), 2); // the home page and the page

    // A redirect's target too.
    page->addRedir(QStringLiteral("HTTPS://Site.TEST/Moved"), 301, 0);
    EXPECT_EQ(page->finalURLString(), QStringLiteral("https://site.test/Moved"));
}

TEST_F(Z12AraExtractionTest, UpADirectoryAboveTheRootIsRepairedOnlyWhenTolerated)
{
    start(QStringLiteral("http://site.test/a.html"));
    extract(home, links({ { QStringLiteral("../../up.html"), QStringLiteral("up") } }));
    const auto kept = known(QStringLiteral("http://site.test/../../up.html"));
    ASSERT_TRUE(kept);
    EXPECT_TRUE(kept->getWarningsAsArray().contains(QStringLiteral(
        "The link url is a relative link with too many '../' which take the url above the root domain. It may work "
        "in a browser but is technically incorrect.")));

    settings->insert(QStringLiteral("tolerateUpADirectory"), true);
    extract(home, links({ { QStringLiteral("../../other.html"), QStringLiteral("up") } }));
    const auto repaired = known(QStringLiteral("http://site.test/other.html"));
    ASSERT_TRUE(repaired);
    EXPECT_TRUE(repaired->getWarningsAsArray().isEmpty());
}

TEST_F(Z12AraExtractionTest, UnresolvableLinkBecomesAnUncheckedErrorRecord)
{
    start();
    const qint64 doneBefore = hub->checkedLinkCount();
    extract(home, links({ { QStringLiteral("http://site.test:99999/x.html"), QStringLiteral("bad"), {}, 7 } }));
    const auto& collection = hub->linksCollection();
    const auto record = std::dynamic_pointer_cast<CrwlUrl>(collection.last());
    ASSERT_TRUE(record);
    EXPECT_EQ(record->getStatus(), CrwlStatus::unableToMakeValidUrl);
    EXPECT_EQ(record->getAbsoluteString(), QStringLiteral("http://site.test:99999/x.html"));
    ASSERT_EQ(record->getInboundInstances().size(), 1u);
    EXPECT_FALSE(record->getInboundInstances().front()->lineNumber());
    EXPECT_EQ(hub->checkedLinkCount(), doneBefore + 1);
    EXPECT_FALSE(isQueued(record->absoluteString()));
}

TEST_F(Z12AraExtractionTest, LinkWithABlankIsEncodedBeforeItIsGivenUp)
{
    start();
    extract(home, links({ { QStringLiteral("my file.pdf"), QStringLiteral("file") } }));
    EXPECT_TRUE(known(QStringLiteral("http://site.test/my%20file.pdf")));
}

// ===== Fragments, queries, empty links ============================================================

TEST_F(Z12AraExtractionTest, FragmentsAreTrimmedOrKeptByTheSetting)
{
    start();
    extract(home,
        links({ { QStringLiteral("#top"), QStringLiteral("top") }, { QStringLiteral("#!"), QStringLiteral("bang") },
            { QStringLiteral("p.html#one"), QStringLiteral("one") },
            { QStringLiteral("p.html#two"), QStringLiteral("two") } }));
    EXPECT_FALSE(hub->lcurlForUrl(QStringLiteral("http://site.test/#top")));
    const auto p = known(QStringLiteral("http://site.test/p.html"));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->getInboundInstances().size(), 2u);
    EXPECT_EQ(home->getInboundInstances().size(), 0u); // "#top" left no occurrence on the page

    settings->insert(QStringLiteral("shouldTrimHash"), false);
    extract(p,
        links(
            { { QStringLiteral("#section"), QStringLiteral("s") }, { QStringLiteral("#!"), QStringLiteral("bang") } }));
    const auto anchored = hub->lcurlForUrl(QStringLiteral("http://site.test/p.html#section"));
    ASSERT_TRUE(anchored);
    EXPECT_EQ(anchored->getInboundInstances().size(), 1u);
    EXPECT_FALSE(hub->lcurlForUrl(QStringLiteral("http://site.test/p.html#!")));
}

TEST_F(Z12AraExtractionTest, QueriesOfInternalLinksAreTrimmedWithTrimQuery)
{
    settings->insert(QStringLiteral("trimQuery"), true);
    start();
    extract(home,
        links({ { QStringLiteral("list.html?page=1"), QStringLiteral("1") },
            { QStringLiteral("list.html?page=2"), QStringLiteral("2") },
            { QStringLiteral("http://other.test/q?x=1"), QStringLiteral("ext1") },
            { QStringLiteral("http://other.test/q?x=2"), QStringLiteral("ext2") } }));
    const auto list = known(QStringLiteral("http://site.test/list.html"));
    ASSERT_TRUE(list);
    EXPECT_EQ(list->getInboundInstances().size(), 2u);
    // External queries stay apart.
    EXPECT_TRUE(hub->weHaveThisOneAlready(QStringLiteral("http://other.test/q?x=1"), nullptr, false));
    EXPECT_TRUE(hub->weHaveThisOneAlready(QStringLiteral("http://other.test/q?x=2"), nullptr, false));
}

TEST_F(Z12AraExtractionTest, EmptyAndHashLinksLeaveNoTraceUnlessHashIsBad)
{
    start();
    const qsizetype before = hub->linksCollection().size();
    extract(home, links({ { QStringLiteral("#"), QStringLiteral("x") }, { QString(""), QStringLiteral("y") } }));
    EXPECT_EQ(hub->linksCollection().size(), before);
    EXPECT_EQ(home->outboundLinkCount(), 0);

    settings->insert(QStringLiteral("hashIsBad"), true);
    extract(home,
        links({ { QStringLiteral("#"), QStringLiteral("x"), {}, 2 },
            { QStringLiteral("#"), QStringLiteral("x again"), {}, 3 },
            { QString(""), QStringLiteral("[alt]: logo"), {}, 4 } }));
    const auto& collection = hub->linksCollection();
    ASSERT_EQ(collection.size(), before + 3);
    const auto first = std::dynamic_pointer_cast<CrwlUrl>(collection[before]);
    const auto second = std::dynamic_pointer_cast<CrwlUrl>(collection[before + 1]);
    const auto image = std::dynamic_pointer_cast<CrwlUrl>(collection[before + 2]);
    EXPECT_NE(first, second); // one record per such link
    EXPECT_EQ(first->getStatus(), CrwlStatus::missingLinkUrl);
    EXPECT_EQ(first->getAbsoluteString(), QStringLiteral("#"));
    EXPECT_EQ(first->getInboundInstances().front()->lineNumber(), std::optional<qint64>(2));
    EXPECT_EQ(image->getStatus(), CrwlStatus::missingImageSrc);
    EXPECT_EQ(image->getAbsoluteString(), QStringLiteral("empty quotes"));
    EXPECT_FALSE(isQueued(QStringLiteral("#")));
}

TEST_F(Z12AraExtractionTest, MailAndTelephoneLinksAreSkipped)
{
    start();
    const qsizetype before = hub->linksCollection().size();
    extract(home,
        links({ { QStringLiteral("mailto:info@site.test"), QStringLiteral("mail") },
            { QStringLiteral("tel:+15550100"), QStringLiteral("call") },
            { QStringLiteral("javascript:void(0)"), QStringLiteral("js") },
            { QStringLiteral("http://site.test/go?to=tel:123"), QStringLiteral("query with tel") } }));
    EXPECT_EQ(hub->linksCollection().size(), before);
    EXPECT_EQ(home->outboundLinkCount(), 0);
}

// ===== Rules ======================================================================================

TEST_F(Z12AraExtractionTest, IgnoredLinksVanishAndDoNotCheckLinksAreNeverFetched)
{
    settings->insert(QStringLiteral("ignoreArray"), QStringList { QStringLiteral("/private/") });
    settings->insert(QStringLiteral("checkBlacklistArray"), QStringList { QStringLiteral("logout") });
    start();
    const qint64 doneBefore = hub->checkedLinkCount();
    extract(home,
        links({ { QStringLiteral("/private/a.html"), QStringLiteral("a") },
            { QStringLiteral("/logout.php"), QStringLiteral("out") },
            { QStringLiteral("/xmlrpc.php"), QStringLiteral("rpc") },
            { QStringLiteral("/dns"), QStringLiteral("dns"), QStringLiteral("dns-prefetch") } }));
    EXPECT_FALSE(known(QStringLiteral("http://site.test/private/a.html")));
    EXPECT_FALSE(known(QStringLiteral("http://site.test/dns")));
    for (const QString& url :
        { QStringLiteral("http://site.test/logout.php"), QStringLiteral("http://site.test/xmlrpc.php") }) {
        const auto record = known(url);
        ASSERT_TRUE(record) << url.toStdString();
        EXPECT_EQ(record->getStatus(), CrwlStatus::notChecked);
        EXPECT_TRUE(record->isBlacklisted());
        EXPECT_EQ(record->getInboundInstances().size(), 1u);
        EXPECT_FALSE(isQueued(url));
    }
    EXPECT_EQ(hub->checkedLinkCount(), doneBefore + 2);
}

TEST_F(Z12AraExtractionTest, InternalOnlyDropsExternalLinks)
{
    settings->insert(QStringLiteral("internalOnly"), true);
    start();
    extract(home,
        links({ { QStringLiteral("http://other.test/"), QStringLiteral("o") },
            { QStringLiteral("/in"), QStringLiteral("i") } }));
    EXPECT_FALSE(hub->weHaveThisOneAlready(QStringLiteral("http://other.test/"), nullptr, false));
    EXPECT_TRUE(known(QStringLiteral("http://site.test/in")));
}

TEST_F(Z12AraExtractionTest, RobotsDisallowedLinksAreMarkedAndBlacklistedOnlyWhenAsked)
{
    const QByteArray robots = "User-agent: *\nDisallow: /secret\nDisallow: /mixed\nAllow: /mixed/open\n";
    start(QStringLiteral("http://site.test/"), robots);
    ASSERT_FALSE(hub->getRobotsBlacklistArray().isEmpty());
    extract(home, links({ { QStringLiteral("/secret/a.html"), QStringLiteral("s") } }));
    const auto secret = known(QStringLiteral("http://site.test/secret/a.html"));
    ASSERT_TRUE(secret);
    EXPECT_TRUE(secret->isDisallowed());
    EXPECT_EQ(secret->getStatus(), CrwlStatus::notYetChecked);
    EXPECT_TRUE(isQueued(secret->absoluteString()));
    EXPECT_TRUE(secret->getWarningsAsArray().contains(QStringLiteral("The link url is disallowed by robots.txt")));

    settings->insert(QStringLiteral("blacklistByRobotsTxt"), true);
    extract(home,
        links({ { QStringLiteral("/secret/b.html"), QStringLiteral("s") },
            { QStringLiteral("/mixed/open/c.html"), QStringLiteral("m") } }));
    const auto blocked = known(QStringLiteral("http://site.test/secret/b.html"));
    ASSERT_TRUE(blocked);
    EXPECT_EQ(blocked->getStatus(), CrwlStatus::disallowedByRobotsTxt);
    EXPECT_TRUE(blocked->isBlacklisted());
    EXPECT_FALSE(isQueued(blocked->absoluteString()));
    // A longer allow rule that matches too keeps the link checkable, and it is not disallowed.
    const auto open = known(QStringLiteral("http://site.test/mixed/open/c.html"));
    ASSERT_TRUE(open);
    EXPECT_FALSE(open->isDisallowed());
    EXPECT_EQ(open->getStatus(), CrwlStatus::notYetChecked);
    EXPECT_TRUE(open->getWarningsAsArray().contains(
        QStringLiteral("The link url is disallowed by robots.txt but also allowed")));
    EXPECT_TRUE(isQueued(open->absoluteString()));
}

TEST_F(Z12AraExtractionTest, TheLongestRobotsRuleDecidesAndAnAllowWinsATie)
{
    const QByteArray robots = "User-agent: *\nAllow: /\nDisallow: /admin\nDisallow: /p\nAllow: /p/ok\n"
                              "Disallow: /tie\nAllow: /tie\nDisallow: /*.pdf\n";
    start(QStringLiteral("http://site.test/"), robots);
    settings->insert(QStringLiteral("blacklistByRobotsTxt"), true);
    const struct {
        const char* path;
        bool disallowed;
    } cases[] = {
        { "/admin/secret", true }, // "Allow: /" is shorter than "Disallow: /admin"
        { "/p/ok", false },
        { "/p/ok/deeper", false },
        { "/p/other", true },
        { "/tie/x", false },
        { "/files/a.pdf", true },
        { "/free", false },
    };
    Script list;
    for (const auto& c : cases)
        list.links.push_back({ QString::fromUtf8(c.path), QStringLiteral("x") });
    extract(home, list);
    for (const auto& c : cases) {
        const QString url = QStringLiteral("http://site.test") + QString::fromUtf8(c.path);
        const auto record = known(url);
        ASSERT_TRUE(record) << c.path;
        EXPECT_EQ(hub->robotsVerdict(url) == Z12Ara::RobotsVerdict::Disallowed, c.disallowed) << c.path;
        EXPECT_EQ(record->isDisallowed(), c.disallowed) << c.path;
        EXPECT_EQ(record->getStatus() == CrwlStatus::disallowedByRobotsTxt, c.disallowed) << c.path;
        EXPECT_EQ(isQueued(url), !c.disallowed) << c.path;
    }
}

TEST_F(Z12AraExtractionTest, FtpAndFormActionsAreNotChecked)
{
    start();
    extract(home,
        links({ { QStringLiteral("ftp://files.site.test/a.zip"), QStringLiteral("ftp") },
            { QStringLiteral("/search"), QStringLiteral("[form action]") } }));
    EXPECT_EQ(hub->weHaveThisOneAlready(QStringLiteral("ftp://files.site.test/a.zip"), nullptr, false)->getStatus(),
        CrwlStatus::notChecked);
    EXPECT_EQ(known(QStringLiteral("http://site.test/search"))->getStatus(), CrwlStatus::notChecked);

    defaults->setBool(true, QStringLiteral("formActions"));
    extract(home, links({ { QStringLiteral("/send"), QStringLiteral("[form action]") } }));
    EXPECT_EQ(known(QStringLiteral("http://site.test/send"))->getStatus(), CrwlStatus::notYetChecked);
}

TEST_F(Z12AraExtractionTest, SitemapOnlySkipsExternalLinks)
{
    settings->insert(QStringLiteral("sitemapOnly"), true);
    start();
    extract(home, links({ { QStringLiteral("http://other.test/"), QStringLiteral("o") } }));
    EXPECT_FALSE(hub->weHaveThisOneAlready(QStringLiteral("http://other.test/"), nullptr, false));
}

TEST_F(Z12AraExtractionTest, LinkedFilesCountAsInternalWhenTheDefaultSaysSo)
{
    start();
    extract(home, links({ { QStringLiteral("http://cdn.test/a.js"), QStringLiteral("[linked file]") } }));
    EXPECT_FALSE(hub->weHaveThisOneAlready(QStringLiteral("http://cdn.test/a.js"), nullptr, false)->isInternal());
    defaults->setBool(true, QStringLiteral("linkedFilesAreInternal"));
    extract(home, links({ { QStringLiteral("http://cdn.test/b.png"), QStringLiteral("[alt]: logo") } }));
    EXPECT_TRUE(hub->weHaveThisOneAlready(QStringLiteral("http://cdn.test/b.png"), nullptr, true)->isInternal());
}

// ===== Follow decision ============================================================================

TEST_F(Z12AraExtractionTest, PageReachedOnlyThroughNofollowIsNotFollowedWhenTheSiteSaysSo)
{
    start();
    extract(home, links({ { QStringLiteral("/nf.html"), QStringLiteral("nf"), QStringLiteral("nofollow") } }));
    const auto nf = known(QStringLiteral("http://site.test/nf.html"));
    ASSERT_TRUE(nf);

    settings->insert(QStringLiteral("dontFollowNofollowLinks"), true);
    extract(nf, links({ { QStringLiteral("/behind.html"), QStringLiteral("b") } }));
    EXPECT_FALSE(known(QStringLiteral("http://site.test/behind.html")));
    EXPECT_TRUE(nf->getData().isEmpty()); // dropped all the same

    settings->insert(QStringLiteral("dontFollowNofollowLinks"), false);
    extract(nf, links({ { QStringLiteral("/behind.html"), QStringLiteral("b") } }));
    EXPECT_TRUE(known(QStringLiteral("http://site.test/behind.html")));
}

TEST_F(Z12AraExtractionTest, ExternalPagesAndErrorPagesYieldNoLinks)
{
    start();
    extract(home,
        links({ { QStringLiteral("http://other.test/"), QStringLiteral("o") },
            { QStringLiteral("/gone"), QStringLiteral("g") } }));
    const auto other = hub->weHaveThisOneAlready(QStringLiteral("http://other.test/"), nullptr, false);
    extract(other, links({ { QStringLiteral("http://other.test/deeper"), QStringLiteral("d") } }));
    EXPECT_FALSE(hub->weHaveThisOneAlready(QStringLiteral("http://other.test/deeper"), nullptr, false));

    Script errorPage = links({ { QStringLiteral("/from-404"), QStringLiteral("x") } });
    errorPage.title = QStringLiteral("Not found");
    extract(known(QStringLiteral("http://site.test/gone")), errorPage, 404);
    EXPECT_FALSE(known(QStringLiteral("http://site.test/from-404")));
    EXPECT_EQ(known(QStringLiteral("http://site.test/gone"))->getLinkpagetitle(), QStringLiteral("Not found"));
}

// ===== Limits =====================================================================================

TEST_F(Z12AraExtractionTest, OccurrencesStopAtTheLimit)
{
    settings->insert(QStringLiteral("limitOccurrences"), true);
    settings->insert(QStringLiteral("occurrencesLimit"), qint64(2));
    start();
    Script script;
    for (int i = 0; i < 6; ++i)
        script.links.push_back({ QStringLiteral("/same.html"), QStringLiteral("s%1").arg(i) });
    extract(home, script);
    // Added while the count is not above the limit: 1 (new) + 2 more.
    EXPECT_EQ(known(QStringLiteral("http://site.test/same.html"))->getInboundInstances().size(), 3u);
}

TEST_F(Z12AraExtractionTest, LinksLimitStopsNewRecordsButNotOccurrences)
{
    settings->insert(QStringLiteral("linksLimit"), qint64(3));
    start();
    extract(home,
        links({ { QStringLiteral("/1"), QStringLiteral("1") }, { QStringLiteral("/2"), QStringLiteral("2") },
            { QStringLiteral("/3"), QStringLiteral("3") }, { QStringLiteral("/1"), QStringLiteral("1 again") } }));
    EXPECT_EQ(hub->linksCollection().size(), 3);
    EXPECT_TRUE(known(QStringLiteral("http://site.test/2")));
    EXPECT_FALSE(known(QStringLiteral("http://site.test/3")));
    EXPECT_FALSE(isQueued(QStringLiteral("http://site.test/3")));
    EXPECT_EQ(known(QStringLiteral("http://site.test/1"))->getInboundInstances().size(), 2u);

    // A full collection reads no links of the next page at all.
    extract(known(QStringLiteral("http://site.test/1")), links({ { QStringLiteral("/2"), QStringLiteral("2") } }));
    EXPECT_EQ(known(QStringLiteral("http://site.test/2"))->getInboundInstances().size(), 1u);
}

TEST_F(Z12AraExtractionTest, PageAtTheLevelsLimitYieldsNothingButAStyleSheetStillDoes)
{
    settings->insert(QStringLiteral("levelsLimit"), qint64(1));
    settings->insert(QStringLiteral("shouldParseCSS"), true);
    start();
    extract(home,
        links({ { QStringLiteral("/deep.html"), QStringLiteral("d") },
            { QStringLiteral("/style.css"), QStringLiteral("[linked file]") } }));
    const auto deep = known(QStringLiteral("http://site.test/deep.html"));
    ASSERT_EQ(deep->getDistanceFromHome(), 1);
    Script page = links({ { QStringLiteral("/deeper.html"), QStringLiteral("x") } });
    page.canonical = QStringLiteral("/canonical.html");
    extract(deep, page);
    EXPECT_FALSE(known(QStringLiteral("http://site.test/deeper.html")));
    EXPECT_FALSE(known(QStringLiteral("http://site.test/canonical.html")));
    EXPECT_EQ(deep->getCanonical(), QStringLiteral("http://site.test/canonical.html")); // stored, not followed

    const auto css = known(QStringLiteral("http://site.test/style.css"));
    css->setMimeType(QStringLiteral("text/css"));
    css->setIsHTML(false);
    extract(css, links({ { QStringLiteral("bg.png"), QStringLiteral("[url in css]") } }));
    EXPECT_TRUE(known(QStringLiteral("http://site.test/bg.png")));
    EXPECT_EQ(parsers->calls.back(), QStringLiteral("document 1"));
}

// ===== Canonical ==================================================================================

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
    settings->insert(QStringLiteral("httpIsExternal"), true);
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
    EXPECT_EQ(byType[0].url, QStringLiteral("https://site.test/"));
    EXPECT_EQ(byType[0].array,
        (QStringList { QStringLiteral("http://site.test/old.html"), QStringLiteral("http://site.test/older.html"),
            QStringLiteral("http://site.test/logo.png") }));
    EXPECT_EQ(byType[1].array,
        (QStringList { QStringLiteral("http://site.test/logo.png"), QStringLiteral("http://cdn.test/lib.js") }));
    EXPECT_EQ(byType[3].array, QStringList { QStringLiteral("http://site.test/") });

    // A second page loading what the first one did is listed with it too, each URL once.
    // A script that is no link (linked files unchecked) counts as well.
    const auto fine = known(QStringLiteral("https://site.test/fine.html"));
    Script second = links({ { QStringLiteral("http://site.test/logo.png"), QStringLiteral("[alt]: logo") },
        { QStringLiteral("http://cdn.test/lib.js"), QStringLiteral("[linked file]") },
        { QStringLiteral("http://site.test/logo.png"), QStringLiteral("[alt]: again") },
        { QStringLiteral("http://site.test/old.html"), QStringLiteral("old") } });
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
    EXPECT_EQ(listed[0], (QStringList { QStringLiteral("http://site.test/logo.png"), QStringLiteral("http://site.test/old.html") }));
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
    settings->insert(QStringLiteral("shouldTrimHash"), false);
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
    settings->insert(QStringLiteral("checkSpelling"), true);
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

    settings->insert(QStringLiteral("shouldParsePDFs"), true);
    settings->insert(QStringLiteral("shouldParseDOCXs"), true);
    settings->insert(QStringLiteral("shouldParseRTFs"), true);
    extract(pdf, links({ { QStringLiteral("/from-pdf"), QStringLiteral("") } }));
    EXPECT_EQ(parsers->calls, std::vector<QString> { QStringLiteral("document 0") });
    EXPECT_TRUE(known(QStringLiteral("http://site.test/from-pdf")));

    const auto docx = known(QStringLiteral("http://site.test/b.docx"));
    docx->setIsHTML(false);
    extract(docx, links({ { QStringLiteral("/from-docx"), QStringLiteral("") } }));
    EXPECT_EQ(parsers->calls.back(), QStringLiteral("document 2"));
    EXPECT_TRUE(known(QStringLiteral("http://site.test/from-docx")));

    // An RTF is read by its parser when the follow decision lets it through (an HTML-typed record).
    const auto rtf = known(QStringLiteral("http://site.test/c.rtf"));
    extract(rtf, links({ { QStringLiteral("/from-rtf"), QStringLiteral("") } }));
    EXPECT_EQ(parsers->calls.back(), QStringLiteral("document 3"));
    settings->insert(QStringLiteral("shouldParseRTFs"), false);
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
    settings->insert(QStringLiteral("shouldParseCSS"), true);
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
    settings->insert(QStringLiteral("plainTextMode"), qint64(3));
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

} // namespace
