// Reading pages reached through redirects: a redirect as a way in, the shortest distance whichever
// answer comes first, the depth limit, PDFs, Refresh headers and a starting point that redirects.
#include "Z12AraExtractionTestSupport.h"
#include "engine/CrawlSettingKeys.h"

using namespace crawlmere::test::extraction;

namespace {

/// A record's fetch found a PDF: its completion counts it, before it is handed on to be read.
void fetchedAsPdf(Z12Ara& hub, const std::shared_ptr<CrwlUrl>& record)
{
    record->setMimeType(QStringLiteral("application/pdf"));
    record->setIsHTML(false);
    record->setStatus(200);
    hub.incNumberDone(record);
}

TEST_F(Z12AraExtractionTest, ARedirectIsOnlyARedirectWhicheverAnswerComesFirst)
{
    // The tutorial page is linked directly and through a redirect; both fetches end with its body.
    const QString tutorial = QStringLiteral("http://site.test/guide/index.html");
    const Script page = links({ { QStringLiteral("style.css"), QStringLiteral("css") } });
    for (const bool redirectFirst : { true, false }) {
        SCOPED_TRACE(redirectFirst ? "redirect first" : "direct first");
        start();
        const auto [old, direct] = readHome({ { QStringLiteral("/old.html"), QStringLiteral("old") },
            { QStringLiteral("/guide/index.html"), QStringLiteral("guide") } });
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
    defaults->setBool(true, crawlKey::dontFollowNofollowLinks);
    start();
    const auto moved = readHome({ { QStringLiteral("/moved"), QStringLiteral("moved") } })[0];
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
        const auto [r301, mid, slow] = readHome(
            { { QStringLiteral("/r301"), QStringLiteral("r") }, { QStringLiteral("/mid.html"), QStringLiteral("mid") },
                { QStringLiteral("/slow.html"), QStringLiteral("slow") } });
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
        extract(slow, links({ { QStringLiteral("/far.html"), QStringLiteral("far again") } }));
        EXPECT_EQ(known(QStringLiteral("http://site.test/far.html"))->getDistanceFromHome(), 2);
    }
}

TEST_F(Z12AraExtractionTest, APageReadAtTheLevelsLimitIsReadAgainOnceAShorterWayInIsFound)
{
    // Home links /r301 (a redirect to /t.html) and /mid.html, which links /t.html; /t.html links
    // /deep.html. At levelsLimit 2, /t.html read through /mid.html first has no links read; the
    // redirect then brings it to 1, so it is fetched again and /deep.html is found all the same.
    settings->insert(crawlKey::levelsLimit, qint64(2));
    const Script target = links({ { QStringLiteral("/deep.html"), QStringLiteral("deep") } });
    for (const bool redirectFirst : { true, false }) {
        SCOPED_TRACE(redirectFirst ? "redirect first" : "deeper link first");
        start();
        const auto [r301, mid] = readHome({ { QStringLiteral("/r301"), QStringLiteral("r") },
            { QStringLiteral("/mid.html"), QStringLiteral("mid") } });
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
    settings->insert(crawlKey::shouldParsePDFs, true);
    defaults->setBool(true, QStringLiteral("includePdfsInSitemap"));
    start();
    const auto get = readHome({ { QStringLiteral("/getpdf"), QStringLiteral("get") } })[0];
    ASSERT_TRUE(get);
    get->addRedir(QStringLiteral("http://site.test/doc.pdf"), 302, 0);
    fetchedAsPdf(*hub, get); // its completion counts it before handing it to be read
    EXPECT_EQ(std::ranges::count(seo->internalPagesCollection(), get), 0);
    const Script pdfLinks = links({ { QStringLiteral("/from-pdf.html"), QStringLiteral("") } });
    extract(get, pdfLinks);
    const auto pdf = known(QStringLiteral("http://site.test/doc.pdf"));
    ASSERT_TRUE(pdf);
    fetchedAsPdf(*hub, pdf);
    extract(pdf, pdfLinks);
    EXPECT_TRUE(isQueued(QStringLiteral("http://site.test/from-pdf.html")));
    EXPECT_EQ(seo->internalPagesCollection(), (CrwlUrlList { home, pdf }));
}

TEST_F(Z12AraExtractionTest, APdfReachedOnlyThroughARedirectIsInTheSitemapWhenPdfsAreNotRead)
{
    defaults->setBool(true, QStringLiteral("includePdfsInSitemap"));
    start();
    const auto get = readHome({ { QStringLiteral("/getpdf"), QStringLiteral("get") } })[0];
    ASSERT_TRUE(get);
    // Its body was not wanted: it is handed on without one, to have its target filed.
    get->addRedir(QStringLiteral("http://site.test/doc.pdf"), 302, 0);
    fetchedAsPdf(*hub, get);
    hub->extractLinks(get);
    const auto pdf = known(QStringLiteral("http://site.test/doc.pdf"));
    ASSERT_TRUE(pdf);
    EXPECT_TRUE(isQueued(QStringLiteral("http://site.test/doc.pdf")));
    fetchedAsPdf(*hub, pdf);
    EXPECT_EQ(seo->internalPagesCollection(), (CrwlUrlList { home, pdf }));
}

TEST_F(Z12AraExtractionTest, ARefreshHeaderOnlyRecordedLeavesThePageItsOwn)
{
    start();
    const auto [rh30, rh5] = readHome({ { QStringLiteral("/rh30.html"), QStringLiteral("30") },
        { QStringLiteral("/rh5.html"), QStringLiteral("5") } });
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

TEST_F(Z12AraExtractionTest, AStartingPointThatRedirectsToAnotherFolderLimitsFollowingToThatFolder)
{
    start(QStringLiteral("http://site.test/old/index.html"));
    home->addRedir(QStringLiteral("http://site.test/new/home.html"), 301, 0);
    extract(home, links({}));
    const auto final = known(QStringLiteral("http://site.test/new/home.html"));
    ASSERT_TRUE(final);
    extract(final,
        links({ { QStringLiteral("/new/a.html"), QStringLiteral("a") },
            { QStringLiteral("/old/b.html"), QStringLiteral("b") } }));
    EXPECT_EQ(hub->getStartingDir(), QStringLiteral("http://site.test/new"));
    // Both are checked; only the one in the final address's folder is read for links.
    const auto inFolder = known(QStringLiteral("http://site.test/new/a.html"));
    const auto outside = known(QStringLiteral("http://site.test/old/b.html"));
    ASSERT_TRUE(inFolder && outside);
    EXPECT_TRUE(isQueued(outside->absoluteString()));
    EXPECT_TRUE(hub->weShouldCrawlThisURL(inFolder));
    EXPECT_FALSE(hub->weShouldCrawlThisURL(outside));
}

TEST_F(Z12AraExtractionTest, ARedirectTargetGetsTheStatusALinkToItWould)
{
    const QByteArray robots = "User-agent: *\nDisallow: /admin/\n";
    for (const bool blacklistByRobots : { false, true }) {
        SCOPED_TRACE(blacklistByRobots ? "robots blacklist on" : "robots blacklist off");
        settings->insert(crawlKey::blacklistByRobotsTxt, blacklistByRobots);
        start(QStringLiteral("http://site.test/"), robots);
        const auto [go, direct] = readHome({ { QStringLiteral("/go-admin"), QStringLiteral("go") },
            { QStringLiteral("/admin/d.html"), QStringLiteral("direct") } });
        ASSERT_TRUE(go);
        EXPECT_EQ(hub->isNeverRequested(QStringLiteral("http://site.test/admin/r.html")), blacklistByRobots);
        go->addRedir(QStringLiteral("http://site.test/admin/r.html"), 302, 0);
        extract(go, links({}));
        const auto viaRedirect = known(QStringLiteral("http://site.test/admin/r.html"));
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
    const auto [old, chain] = readHome({ { QStringLiteral("/old-page"), QStringLiteral("old") },
        { QStringLiteral("/chain"), QStringLiteral("chain") } });
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
    const auto another = readHome({ { QStringLiteral("/another"), QStringLiteral("another") } })[0];
    another->addRedir(QStringLiteral("http://site.test/moved.html"), 302, 0);
    extract(another, moved);
    EXPECT_EQ(target->getFieldByName(QStringLiteral("onpageurl")),
        QStringLiteral("redirected from http://site.test/another and 1 more"));
}

TEST_F(Z12AraExtractionTest, ARedirectRowShowsTheTitleDescriptionAndH1OfItsPage)
{
    start();
    const auto old = readHome({ { QStringLiteral("/old-page"), QStringLiteral("old") } })[0];
    ASSERT_TRUE(old);
    old->addRedir(QStringLiteral("http://site.test/moved.html"), 301, 0);
    hub->addToRedirLookup(old, QStringLiteral("http://site.test/moved.html"));
    Script moved;
    moved.title = QStringLiteral("Moved");
    moved.headings = QStringList { QStringLiteral("Moved heading") };
    moved.metaData = { QVariantMap { { QStringLiteral("name"), QStringLiteral("description") },
        { QStringLiteral("content"), QStringLiteral("Where the page went") } } };
    extract(old, moved);
    const auto target = known(QStringLiteral("http://site.test/moved.html"));
    ASSERT_TRUE(target);
    extract(target, moved);
    for (const char* key : { "linkpagetitle", "metadescription", "h1" }) {
        SCOPED_TRACE(key);
        const QString shown = target->getFieldByName(QString::fromLatin1(key));
        EXPECT_FALSE(shown.isEmpty());
        EXPECT_EQ(old->getFieldByName(QString::fromLatin1(key)), shown);
    }
    EXPECT_EQ(old->getSortValue(QStringLiteral("metadescription")).toString(), QStringLiteral("Where the page went"));
}

TEST_F(Z12AraExtractionTest, APdfTheSitemapTookOnItsStatusIsStillRead)
{
    settings->insert(crawlKey::shouldParsePDFs, true);
    defaults->setBool(true, QStringLiteral("includePdfsInSitemap"));
    start();
    const auto pdf = readHome({ { QStringLiteral("/doc.pdf"), QStringLiteral("pdf") } })[0];
    ASSERT_TRUE(pdf);
    // The fetch's completion counts it (the sitemap takes it), then hands it to be read.
    fetchedAsPdf(*hub, pdf);
    ASSERT_EQ(std::ranges::count(seo->internalPagesCollection(), pdf), 1);
    extract(pdf, links({ { QStringLiteral("/from-pdf.html"), QStringLiteral("") } }));
    EXPECT_TRUE(isQueued(QStringLiteral("http://site.test/from-pdf.html")));
    // Read once: a later fetch of the same record does not read it again.
    extract(pdf, links({ { QStringLiteral("/again.html"), QStringLiteral("") } }));
    EXPECT_FALSE(known(QStringLiteral("http://site.test/again.html")));
}

} // namespace
