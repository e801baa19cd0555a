// The hub's follow, scope and duplicate decisions: internal hosts (subdomains at a label
// boundary), unfetchable and ignored links, the up-a-directory repair, the directory scope of
// listed URLs, the follow decision with its lists and filter, admission to the sitemap
// collection, and the duplicate lookup under every form a record may be filed under.
#include "engine/CrawlSettingKeys.h"
#include "engine/Z12Ara.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "engine/OutputFilterManager.h"
#include "engine/RecordingEngineSEO.h"
#include "platform/Dispatch.h"
#include "platform/Url.h"
#include "platform/UserDefaults.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <vector>

using crawlmere::platform::Url;
using crawlmere::platform::UserDefaults;
namespace Dispatch = crawlmere::platform::Dispatch;

namespace {

Url url(const QString& text)
{
    auto parsed = Url::fromString(text);
    EXPECT_TRUE(parsed.has_value()) << text.toStdString();
    return parsed.value_or(Url());
}

class Z12AraDecisionsTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        defaults = std::make_unique<UserDefaults>(dir.filePath(QStringLiteral("defaults.plist")));
        hub = std::make_shared<Z12Ara>(*defaults);
        settings = std::make_shared<CrawlSettings>(CrwlUrl::defaultCrawlSettings());
        hub->setCrawlSettings(settings);
    }
    void TearDown() override { hub.reset(); }

    void set(crawlmere::engine::CrawlSettingKey key, const QVariant& value) { settings->insert(key, value); }

    /// A record of the scan, filed in the hub's lookup table as link extraction files it.
    std::shared_ptr<CrwlUrl> record(const QString& link, bool internal = true)
    {
        auto made = CrwlUrl::make(hub, settings);
        made->setIsInternal(internal);
        made->setLinkURL(link);
        return made;
    }

    /// An inbound occurrence of `target`, nofollow or not.
    static void linkTo(const std::shared_ptr<CrwlUrl>& target, bool nofollow)
    {
        auto instance = CrwlLinkInstance::make();
        instance->setTarget(target);
        instance->setNf(nofollow);
        target->addInboundInstance(instance);
    }

    QTemporaryDir dir;
    std::unique_ptr<UserDefaults> defaults;
    std::shared_ptr<Z12Ara> hub;
    SharedCrawlSettings settings;
};

// ===== Internal hosts ==========================================================================

struct HostCase {
    const char* host;
    QStringList domains;
    bool followSubdomains;
    bool internal;
};

TEST_F(Z12AraDecisionsTest, InternalHostTable)
{
    const std::vector<HostCase> cases = {
        // Subdomains and parents count only at a label boundary.
        { "www.example.com", { "example.com" }, true, true },
        { "a.b.example.com", { "example.com" }, true, true },
        { "A.B.EXAMPLE.com", { "example.com" }, true, true },
        { "notexample.com", { "example.com" }, true, false },
        { "example.com.attacker.net", { "example.com" }, true, false },
        { "a.example.com.attacker.net", { "example.com" }, true, false },
        { "www.example.com.attacker.net", { "www.example.com" }, true, false },
        { "xample.com", { "example.com" }, true, false },
        { "example.com", { "shop.example.com" }, true, true },
        { "example.org", { "example.com" }, true, false },
        // Without followSubdomains only the listed forms are internal.
        { "shop.example.com", { "www.example.com", "example.com" }, false, false },
        { "example.com", { "www.example.com", "example.com" }, false, true },
        { "www.example.com", { "www.example.com", "example.com" }, false, true },
        { "WWW.Example.COM", { "www.example.com" }, false, true },
        // "www." is a subdomain like any other: each form finds the other.
        { "example.com", { "www.example.com" }, true, true },
        { "shop.example.com", { "www.example.com" }, true, true },
        { "www.shop.example.com", { "www.example.com" }, true, true },
        // The "www." set aside for one entry does not carry over to the next.
        { "www.example.com", { "other.org", "www.example.com" }, true, true },
        // IDNA forms.
        { "b\u00fccher.de", { "xn--bcher-kva.de" }, false, true },
        { "shop.b\u00fccher.de", { "xn--bcher-kva.de" }, true, true },
        // Edges: no host is external, no domains make everything internal.
        { "", { "example.com" }, true, false },
        { "", {}, false, false },
        { "anything.org", {}, false, true },
    };
    for (const auto& c : cases) {
        set(crawlKey::followSubdomains, c.followSubdomains);
        EXPECT_EQ(hub->compareHost(QString::fromUtf8(c.host), c.domains), c.internal)
            << c.host << " against " << c.domains.join(u',').toStdString() << " followSubdomains "
            << c.followSubdomains;
    }
}

TEST_F(Z12AraDecisionsTest, RedirectsLeaveTheSiteOnlyForHostsOutsideTheDomains)
{
    set(crawlKey::followSubdomains, true);
    hub->setDomains({ QStringLiteral("www.example.com"), QStringLiteral("example.com") });
    EXPECT_FALSE(hub->redirectUrlIsExternal(url(QStringLiteral("https://a.b.example.com/x"))));
    EXPECT_FALSE(hub->redirectUrlIsExternal(url(QStringLiteral("http://www.example.com/"))));
    EXPECT_TRUE(hub->redirectUrlIsExternal(url(QStringLiteral("http://example.com.attacker.net/x"))));
    EXPECT_TRUE(hub->redirectUrlIsExternal(url(QStringLiteral("http://notexample.com/"))));
    EXPECT_FALSE(hub->redirectUrlIsExternal(Url()));
}

TEST_F(Z12AraDecisionsTest, FetchThreadsReadTheDomainsAndHopToAddOne)
{
    hub->setDomains({ QStringLiteral("example.com") });
    std::atomic<int> done { 0 };
    std::atomic<bool> externalBefore { false };
    std::atomic<bool> externalAfter { true };
    Dispatch::toGlobal([&] {
        externalBefore = hub->redirectUrlIsExternal(url(QStringLiteral("http://cdn.example.net/a")));
        auto redirected = CrwlUrl::make(nullptr, settings);
        redirected->setLinkURL(QStringLiteral("http://cdn.example.net/a"));
        hub->resetDomain(*redirected);
        externalAfter = hub->redirectUrlIsExternal(url(QStringLiteral("http://cdn.example.net/b")));
        done = 1;
    });
    ASSERT_TRUE(Dispatch::runUntil([&] { return done.load() == 1; }, std::chrono::seconds(20)));
    EXPECT_TRUE(externalBefore.load());
    EXPECT_FALSE(externalAfter.load());
    EXPECT_EQ(hub->getDomains(), (QStringList { "example.com", "cdn.example.net" }));
}

TEST_F(Z12AraDecisionsTest, DomainsListTakesEachHostOnce)
{
    hub->setDomains({ QStringLiteral("example.com") });
    hub->addToDomainsList(QString());
    hub->addToDomainsList(QStringLiteral(""));
    hub->addToDomainsList(QStringLiteral("example.com"));
    hub->addToDomainsList(QStringLiteral("Example.com"));
    hub->addToDomainsList(QStringLiteral("cdn.example.com"));
    EXPECT_EQ(hub->getDomains(), (QStringList { "example.com", "Example.com", "cdn.example.com" }));
}

TEST_F(Z12AraDecisionsTest, FileUrlsAreInternalUnderTheirFolder)
{
    const QStringList folder { QStringLiteral("file:///tmp/site/") };
    EXPECT_TRUE(Z12Ara::fileUrlIsInternal(url(QStringLiteral("file:///tmp/site/a.html")), folder));
    EXPECT_TRUE(Z12Ara::fileUrlIsInternal(url(QStringLiteral("FILE:///TMP/SITE/b/c.html")), folder));
    EXPECT_FALSE(Z12Ara::fileUrlIsInternal(url(QStringLiteral("file:///tmp/other/a.html")), folder));
    EXPECT_FALSE(Z12Ara::fileUrlIsInternal(url(QStringLiteral("http://tmp/site/a.html")), { "http://tmp/" }));
}

TEST_F(Z12AraDecisionsTest, HttpLinkOnHttpsPageIsNoted)
{
    EXPECT_FALSE(hub->isLinkHttpOnHttpsSite(QStringLiteral("https://h.com/a"), QStringLiteral("https://h.com/")));
    EXPECT_FALSE(hub->isLinkHttpOnHttpsSite(QStringLiteral("http://h.com/a"), QStringLiteral("http://h.com/")));
    EXPECT_FALSE(hub->getHttpLinkFoundOnHttpsSite());
    EXPECT_TRUE(hub->isLinkHttpOnHttpsSite(QStringLiteral("http://h.com/a"), QStringLiteral("https://h.com/")));
    EXPECT_TRUE(hub->getHttpLinkFoundOnHttpsSite());
}

// ===== Unfetchable and ignored links ===========================================================

TEST_F(Z12AraDecisionsTest, UnfetchableHrefTable)
{
    const std::vector<std::pair<const char*, bool>> cases = {
        { "mailto:someone@example.com", true },
        { "MAILTO:someone@example.com", true },
        { "javascript:void(0)", true },
        { "tel:+4412345", true },
        { "data:image/png;base64,AAAA", true },
        { "webcal://example.com/cal.ics", true },
        // Once the href holds ":", the texts are searched anywhere.
        { "http://example.com/?call=tel:123", true },
        { "https://example.com/wp-json/v2/posts", true },
        // Without ":" the list is not consulted.
        { "/wp-json/v2/posts", false },
        { "{{item.url}}", true },
        { "%7B%7Bitem.url%7D%7D", true },
        { "page-[object Object]", true },
        { ".modal-dialog", true },
        { "https://example.com/page", false },
        { "relative/page.html", false },
        { "", false },
    };
    for (const auto& [href, unfetchable] : cases)
        EXPECT_EQ(hub->isMailtoEtc(QString::fromUtf8(href)), unfetchable) << href;
    EXPECT_TRUE(Z12Ara::containsColon(QStringLiteral("a:b")));
    EXPECT_FALSE(Z12Ara::containsColon(QStringLiteral("/a/b")));
}

TEST_F(Z12AraDecisionsTest, IgnoredLinks)
{
    const QString link = QStringLiteral("https://cdn.other.net/private/x.js");
    EXPECT_FALSE(hub->shouldBeIgnored(link, /*internal=*/false, QString()));
    set(crawlKey::internalOnly, true);
    EXPECT_TRUE(hub->shouldBeIgnored(link, /*internal=*/false, QString()));
    EXPECT_FALSE(hub->shouldBeIgnored(link, /*internal=*/true, QString()));

    EXPECT_TRUE(hub->shouldBeIgnored(link, /*internal=*/true, QStringLiteral("DNS-Prefetch")));
    EXPECT_TRUE(hub->shouldBeIgnored(link, /*internal=*/true, QStringLiteral("stylesheet preconnect")));
    EXPECT_FALSE(hub->shouldBeIgnored(link, /*internal=*/true, QStringLiteral("nofollow")));

    hub->setIgnoreArray({ QStringLiteral("/private/"), QStringLiteral("x") });
    EXPECT_TRUE(hub->shouldBeIgnored(link, /*internal=*/true, QString()));
    EXPECT_FALSE(hub->shouldBeIgnored(QStringLiteral("https://h.com/public/y"), /*internal=*/true, QString()));
}

// ===== Up-a-directory repair ===================================================================

TEST_F(Z12AraDecisionsTest, UpADirectoryRepair)
{
    struct Case {
        const char* given;
        bool tolerate;
        const char* expected;
    };
    const std::vector<Case> cases = {
        { "http://h.com/a/b/../c.html", false, "http://h.com/a/c.html" },
        { "http://h.com/a/../../b.html", false, "http://h.com/../b.html" },
        { "http://h.com/a/../../b.html", true, "http://h.com/b.html" },
        { "http://h.com/../../b.html?q=1", true, "http://h.com/b.html?q=1" },
        { "http://h.com/a/b.html", true, "http://h.com/a/b.html" },
        // A "/../" in the query or the fragment is data, not a step up.
        { "http://h.com/p?next=/../x", true, "http://h.com/p?next=/../x" },
        { "http://h.com/p#/../x", true, "http://h.com/p#/../x" },
        { "file:///tmp/site/a/../b.html", false, "file:///tmp/site/b.html" },
    };
    for (const auto& c : cases) {
        set(crawlKey::tolerateUpADirectory, c.tolerate);
        EXPECT_EQ(
            hub->dealWithUpADirectory(url(QString::fromUtf8(c.given))).absoluteString(), QString::fromUtf8(c.expected))
            << c.given << " tolerate " << c.tolerate;
    }
}

// ===== Directory scope of listed URLs ==========================================================

TEST_F(Z12AraDecisionsTest, DirectoryScopeOfListedUrls)
{
    struct Case {
        const char* given;
        std::optional<QString> directory;
        std::optional<QString> term;
    };
    const std::vector<Case> cases = {
        { "http://h.com/", std::nullopt, std::nullopt },
        { "http://h.com", std::nullopt, std::nullopt },
        { "http://h.com/index.html", QStringLiteral("/index.html"), std::nullopt },
        { "http://h.com/a", QStringLiteral(""), std::nullopt },
        { "http://h.com/docs/page.html", QStringLiteral("/docs"), QStringLiteral("!h.com/docs") },
        { "http://h.com/docs/page?x=1.5", QStringLiteral("/docs"), QStringLiteral("!h.com/docs") },
        { "http://h.com:8080/docs/sub/", QStringLiteral("/docs/sub"), QStringLiteral("!h.com:8080/docs/sub") },
        { "http://h.com/my%20docs/a.html", QStringLiteral("/my docs"), QStringLiteral("!h.com/my docs") },
        { "file:///tmp/site/a.html", QStringLiteral("/tmp/site"), QStringLiteral("!/tmp/site") },
    };
    for (const auto& c : cases) {
        hub->setFollowBlacklistArray({});
        const auto directory = hub->getpathFromUrl(url(QString::fromUtf8(c.given)), /*add=*/true);
        EXPECT_EQ(directory, c.directory) << c.given;
        EXPECT_EQ(hub->getFollowBlacklistArray(), c.term ? QStringList { *c.term } : QStringList {}) << c.given;
    }
}

TEST_F(Z12AraDecisionsTest, DirectoryScopeAddsOneTermPerDirectoryAndNoneWhenCrawlingUpwards)
{
    hub->getpathFromUrl(url(QStringLiteral("http://h.com/docs/a.html")), /*add=*/true);
    hub->getpathFromUrl(url(QStringLiteral("http://h.com/docs/b.html")), /*add=*/true);
    hub->getpathFromUrl(url(QStringLiteral("http://h.com/blog/c.html")), /*add=*/false);
    EXPECT_EQ(hub->getFollowBlacklistArray(), QStringList { "!h.com/docs" });

    set(crawlKey::crawlUpwards, true);
    EXPECT_EQ(hub->getpathFromUrl(url(QStringLiteral("http://h.com/news/d.html")), /*add=*/true), u"/news");
    EXPECT_EQ(hub->getFollowBlacklistArray(), QStringList { "!h.com/docs" });
}

// ===== Follow decision =========================================================================

TEST_F(Z12AraDecisionsTest, StartingPointIsAlwaysFollowed)
{
    auto start = record(QStringLiteral("http://other.net/feed.bin"), /*internal=*/false);
    start->setIsStartingPoint(true);
    start->setIsHTML(false);
    hub->setFollowBlacklistArray({ QStringLiteral("other.net") });
    set(crawlKey::singlePage, true);
    EXPECT_TRUE(hub->weShouldCrawlThisURL(start));
    EXPECT_FALSE(hub->weShouldCrawlThisURL(nullptr));
}

TEST_F(Z12AraDecisionsTest, ScopeCasesOfTheFollowDecision)
{
    struct Case {
        const char* name;
        const char* link;
        bool internal;
        QStringList doNotFollow;
        QStringList onlyFollow;
        bool followed;
    };
    const std::vector<Case> cases = {
        { "internal page", "http://h.com/docs/a.html", true, {}, {}, true },
        { "external page", "http://other.net/a.html", false, {}, {}, false },
        { "do-not-follow term", "http://h.com/private/a.html", true, { "/private/" }, {}, false },
        { "do-not-follow elsewhere", "http://h.com/public/a.html", true, { "/private/" }, {}, true },
        { "only-follow term present", "http://h.com/docs/a.html", true, {}, { "/docs/" }, true },
        { "only-follow term absent", "http://h.com/blog/a.html", true, {}, { "/docs/" }, false },
        // The starting directory's negated term: pages outside it are not followed.
        { "inside starting directory", "http://h.com/docs/sub/a.html", true, { "!h.com/docs" }, {}, true },
        { "outside starting directory", "http://h.com/blog/a.html", true, { "!h.com/docs" }, {}, false },
        // Two listed directories: outside both is blacklisted, inside either is not.
        { "inside second directory", "http://h.com/blog/a.html", true, { "!h.com/docs", "!h.com/blog" }, {}, true },
        { "outside both directories", "http://h.com/shop/a.html", true, { "!h.com/docs", "!h.com/blog" }, {}, false },
    };
    for (const auto& c : cases) {
        hub->setFollowBlacklistArray(c.doNotFollow);
        hub->setFollowWhitelistArray(c.onlyFollow);
        auto page = record(QString::fromUtf8(c.link), c.internal);
        EXPECT_EQ(hub->weShouldCrawlThisURL(page), c.followed) << c.name;
        if (c.internal) {
            EXPECT_EQ(page->isBlacklisted(), !c.followed) << c.name;
        }
    }
}

TEST_F(Z12AraDecisionsTest, CrawlingUpwardsLeavesParentDirectoriesFollowed)
{
    auto parent = record(QStringLiteral("http://h.com/index.html"));
    hub->getpathFromUrl(url(QStringLiteral("http://h.com/docs/list.xml")), /*add=*/true);
    EXPECT_FALSE(hub->weShouldCrawlThisURL(parent));

    hub->setFollowBlacklistArray({});
    set(crawlKey::crawlUpwards, true);
    auto again = record(QStringLiteral("http://h.com/about.html"));
    hub->getpathFromUrl(url(QStringLiteral("http://h.com/docs/list.xml")), /*add=*/true);
    EXPECT_TRUE(hub->weShouldCrawlThisURL(again));
}

TEST_F(Z12AraDecisionsTest, OutputFilterLiftsTheBlacklistMark)
{
    defaults->setBool(true, "mipFilter");
    defaults->setInteger(1, "mipContainsAndOr");
    auto filter = std::make_shared<OutputFilterManager>(*defaults);
    filter->implementRules({ QVariantMap { { "mipContainsScope", 0 }, { "mipContainsOrNot", 1 },
        { "mipContainsMethod", 0 }, { "mipContains", "/blog/" } } });
    hub->setOutputFilterManager(filter);
    hub->setFollowBlacklistArray({ QStringLiteral("!h.com/docs") });

    auto passes = record(QStringLiteral("http://h.com/blog/a.html"));
    EXPECT_TRUE(hub->weShouldCrawlThisURL(passes));
    EXPECT_FALSE(passes->isBlacklisted());

    auto stays = record(QStringLiteral("http://h.com/shop/a.html"));
    EXPECT_FALSE(hub->weShouldCrawlThisURL(stays));
    EXPECT_TRUE(stays->isBlacklisted());
}

TEST_F(Z12AraDecisionsTest, ListsCanBeAppliedToThePageContent)
{
    defaults->setBool(true, "blacklistShouldCheckContent");
    hub->setFollowBlacklistArray({ QStringLiteral("members only") });
    auto closed = record(QStringLiteral("http://h.com/a.html"));
    closed->setData("<p>For members only</p>");
    EXPECT_FALSE(hub->weShouldCrawlThisURL(closed));

    hub->setFollowBlacklistArray({});
    hub->setFollowWhitelistArray({ QStringLiteral("recipe") });
    auto inText = record(QStringLiteral("http://h.com/b.html"));
    inText->setData("<h1>A recipe</h1>");
    auto inUrl = record(QStringLiteral("http://h.com/recipe/c.html"));
    inUrl->setData("<h1>Bread</h1>");
    auto neither = record(QStringLiteral("http://h.com/d.html"));
    neither->setData("<h1>Bread</h1>");
    EXPECT_TRUE(hub->weShouldCrawlThisURL(inText));
    EXPECT_TRUE(hub->weShouldCrawlThisURL(inUrl));
    EXPECT_FALSE(hub->weShouldCrawlThisURL(neither));
}

TEST_F(Z12AraDecisionsTest, PagesReachedOnlyThroughNofollowLinks)
{
    auto onlyNofollow = record(QStringLiteral("http://h.com/a.html"));
    linkTo(onlyNofollow, /*nofollow=*/true);
    linkTo(onlyNofollow, /*nofollow=*/true);
    auto mixed = record(QStringLiteral("http://h.com/b.html"));
    linkTo(mixed, /*nofollow=*/true);
    linkTo(mixed, /*nofollow=*/false);

    EXPECT_FALSE(hub->nofollowRulesAllowUs(*onlyNofollow));
    EXPECT_TRUE(hub->nofollowRulesAllowUs(*mixed));
    EXPECT_FALSE(hub->nofollowRulesAllowUs(*record(QStringLiteral("http://h.com/c.html"))));

    // The site's setting decides: off, such a page is followed; on, it is not. The
    // application's default does not overrule the site's NO.
    defaults->setBool(true, crawlKey::dontFollowNofollowLinks);
    EXPECT_TRUE(hub->weShouldCrawlThisURL(onlyNofollow));
    set(crawlKey::dontFollowNofollowLinks, true);
    EXPECT_FALSE(hub->weShouldCrawlThisURL(onlyNofollow));
    EXPECT_TRUE(hub->weShouldCrawlThisURL(mixed));
}

TEST_F(Z12AraDecisionsTest, FileTypesThatAreFollowed)
{
    const auto page = [&](const char* link, const char* mime) {
        auto made = record(QString::fromUtf8(link));
        made->setIsHTML(false);
        made->setMimeType(QString::fromUtf8(mime));
        return made;
    };
    auto pdf = page("http://h.com/a.pdf", "application/pdf");
    auto css = page("http://h.com/s.css", "text/css");
    auto docx = page("http://h.com/d.docx", "application/octet-stream");
    auto rtf = page("http://h.com/r.rtf", "text/rtf");
    auto xml = page("http://h.com/sitemap.xml", "application/xml");
    auto zip = page("http://h.com/f.zip", "application/zip");

    EXPECT_FALSE(hub->weShouldCrawlThisURL(pdf));
    EXPECT_FALSE(hub->weShouldCrawlThisURL(css));
    EXPECT_FALSE(hub->weShouldCrawlThisURL(docx));
    EXPECT_FALSE(hub->weShouldCrawlThisURL(rtf));
    EXPECT_TRUE(hub->weShouldCrawlThisURL(xml));
    EXPECT_FALSE(hub->weShouldCrawlThisURL(zip));

    set(crawlKey::shouldParsePDFs, true);
    set(crawlKey::shouldParseCSS, true);
    set(crawlKey::shouldParseDOCXs, true);
    set(crawlKey::shouldParseRTFs, true);
    EXPECT_TRUE(hub->weShouldCrawlThisURL(pdf));
    EXPECT_TRUE(hub->weShouldCrawlThisURL(css));
    EXPECT_TRUE(hub->weShouldCrawlThisURL(docx));
    EXPECT_TRUE(hub->weShouldCrawlThisURL(rtf));

    // A single-page scan still reads the linked files whose parsing is on, but no page.
    set(crawlKey::singlePage, true);
    EXPECT_TRUE(hub->weShouldCrawlThisURL(pdf));
    EXPECT_TRUE(hub->weShouldCrawlThisURL(rtf));
    EXPECT_FALSE(hub->weShouldCrawlThisURL(record(QStringLiteral("http://h.com/page.html"))));
    EXPECT_FALSE(hub->weShouldCrawlThisURL(xml));
}

TEST_F(Z12AraDecisionsTest, PagesOfASitemapScanAreNotFollowed)
{
    set(crawlKey::startingPointWasXML, true);
    EXPECT_FALSE(hub->weShouldCrawlThisURL(record(QStringLiteral("http://h.com/page.html"))));
    auto nested = record(QStringLiteral("http://h.com/sitemap-2.xml"));
    EXPECT_TRUE(hub->weShouldCrawlThisURL(nested));
}

TEST_F(Z12AraDecisionsTest, PagesReadUnderAnotherRecordAreNotFollowedAgain)
{
    // What the sitemap collection holds decides nothing: only a record that was read does.
    auto seo = std::make_shared<crawlmere::test::RecordingEngineSEO>();
    hub->setEngineSEODataSource(seo);
    set(crawlKey::shouldTrimHash, false);
    auto first = record(QStringLiteral("http://h.com/a.html"));
    auto withFragment = record(QStringLiteral("http://h.com/a.html#part"));
    seo->add(first);
    set(crawlKey::shouldTrimHash, true);
    EXPECT_TRUE(hub->weShouldCrawlThisURL(withFragment));
    first->setLinksRead(true);
    set(crawlKey::shouldTrimHash, false);
    EXPECT_TRUE(hub->weShouldCrawlThisURL(withFragment));
    set(crawlKey::shouldTrimHash, true);
    EXPECT_FALSE(hub->weShouldCrawlThisURL(withFragment));
}

// ===== Sitemap collection ======================================================================

TEST_F(Z12AraDecisionsTest, AdmissionToTheSitemapCollection)
{
    const auto page = [&](const char* link, qint64 status, bool internal = true) {
        auto made = record(QString::fromUtf8(link), internal);
        made->setStatus(status);
        return made;
    };
    EXPECT_TRUE(hub->shouldBeInSitemapCollection(*page("http://h.com/a.html", 200)));
    EXPECT_FALSE(hub->shouldBeInSitemapCollection(*page("http://h.com/gone.html", 404)));
    EXPECT_FALSE(hub->shouldBeInSitemapCollection(*page("http://h.com/unchecked.html", -1)));
    EXPECT_FALSE(hub->shouldBeInSitemapCollection(*page("http://other.net/a.html", 200, false)));

    auto image = page("http://h.com/i.png", 200);
    image->setIsImage(true);
    EXPECT_FALSE(hub->shouldBeInSitemapCollection(*image));

    auto pdf = page("http://h.com/a.pdf", 200);
    pdf->setIsHTML(false);
    pdf->setMimeType(QStringLiteral("application/pdf"));
    EXPECT_FALSE(hub->shouldBeInSitemapCollection(*pdf));
    defaults->setBool(true, "includePdfsInSitemap");
    EXPECT_TRUE(hub->shouldBeInSitemapCollection(*pdf));
    // A checked PDF whose links are not read joins the collection when it is counted.
    auto seo = std::make_shared<crawlmere::test::RecordingEngineSEO>();
    hub->setEngineSEODataSource(seo);
    auto missingPdf = page("http://h.com/gone.pdf", 404);
    missingPdf->setMimeType(QStringLiteral("application/pdf"));
    for (const auto& counted : { pdf, missingPdf, page("http://h.com/b.html", 200) })
        hub->incNumberDone(counted);
    EXPECT_EQ(seo->internalPagesCollection(), CrwlUrlList { pdf });

    auto excluded = page("http://h.com/private/a.html", 200);
    hub->setRobotsRules(QStringLiteral("h.com"), { { QStringLiteral("/private/") }, {} });
    EXPECT_TRUE(hub->shouldBeInSitemapCollection(*excluded));
    defaults->setBool(true, "observeRobotsTxt");
    EXPECT_FALSE(hub->shouldBeInSitemapCollection(*excluded));
    // The longest rule decides, as it does for the links: a longer Allow takes a page back in,
    // a shorter one does not.
    hub->setRobotsRules(QStringLiteral("h.com"),
        { { QStringLiteral("/private/") }, { QStringLiteral("/"), QStringLiteral("/private/open") } });
    EXPECT_FALSE(hub->shouldBeInSitemapCollection(*excluded));
    EXPECT_TRUE(hub->shouldBeInSitemapCollection(*page("http://h.com/private/open/a.html", 200)));
}

// ===== Duplicate lookup ========================================================================

struct LookupCase {
    const char* name;
    const char* filed; // the URL a record was made with
    bool filedInternal;
    const char* asked; // the URL looked up
    bool askedInternal;
    QVariantMap settings;
    bool found;
};

TEST_F(Z12AraDecisionsTest, DuplicateLookupFindsARecordUnderItsOtherForms)
{
    const QVariantMap ignoreScheme { { crawlKey::ignoreScheme, true } };
    const QVariantMap ignoreSessid { { crawlKey::ignoreSessid, true }, { crawlKey::sessidParam, "sid" } };
    const QVariantMap both { { crawlKey::ignoreScheme, true }, { crawlKey::ignoreSessid, true },
        { crawlKey::sessidParam, "sid" } };
    const std::vector<LookupCase> cases = {
        { "same URL", "http://h.com/a", true, "http://h.com/a", true, {}, true },
        { "fragment", "http://h.com/a", true, "http://h.com/a#part", true, {}, true },
        { "fragment kept", "http://h.com/a", true, "http://h.com/a#part", true, { { crawlKey::shouldTrimHash, false } },
            false },
        { "trailing slash", "http://h.com/a", true, "http://h.com/a/", true, {}, true },
        { "slash filed", "http://h.com/a/", true, "http://h.com/a", true, {}, true },
        { "slash significant", "http://h.com/a", true, "http://h.com/a/", true,
            { { crawlKey::shouldIgnoreSlash, false } }, false },
        { "https finds http", "http://h.com/a", true, "https://h.com/a", true, ignoreScheme, true },
        { "http finds https", "https://h.com/a", true, "http://h.com/a", true, ignoreScheme, true },
        { "scheme significant", "http://h.com/a", true, "https://h.com/a", true, {}, false },
        { "percent-encoded", "http://h.com/caf%C3%A9", true, "http://h.com/caf%C3%A9", true, {}, true },
        { "decoded finds encoded", "http://h.com/caf%C3%A9", true, "http://h.com/caf\u00e9", true, {}, true },
        { "encoded other scheme", "http://h.com/caf%C3%A9", true, "https://h.com/caf%C3%A9", true, ignoreScheme, true },
        { "session id last", "http://h.com/p?x=1", true, "http://h.com/p?x=1&sid=abc", true, ignoreSessid, true },
        { "session id only", "http://h.com/p", true, "http://h.com/p?sid=abc", true, ignoreSessid, true },
        { "session id first", "http://h.com/p?x=1", true, "http://h.com/p?sid=abc&x=1", true, ignoreSessid, true },
        { "session id kept", "http://h.com/p?x=1", true, "http://h.com/p?x=1&sid=abc", true, {}, false },
        { "session id, same scheme", "http://h.com/p?x=1", true, "http://h.com/p?x=1&sid=abc", true, both, true },
        { "session id, other scheme", "http://h.com/p?x=1", true, "https://h.com/p?x=1&sid=abc", true, both, true },
        { "query trimmed internal", "http://h.com/p?x=1", true, "http://h.com/p?y=2", true,
            { { crawlKey::trimQuery, true } }, true },
        { "query kept external", "http://o.net/p?x=1", false, "http://o.net/p?y=2", false,
            { { crawlKey::trimQuery, true } }, false },
        { "query while fragments kept", "http://h.com/p?x=1", true, "http://h.com/p?x=1", true,
            { { crawlKey::trimQuery, true }, { crawlKey::shouldTrimHash, false } }, true },
        { "character reference", "http://h.com/p?a=&#38;b", true, "http://h.com/p?a=&#38;b", true, {}, true },
        { "triple slash folded", "http://h.com/a//b", true, "http://h.com/a///b", true, {}, true },
        { "triple slash filed", "http://h.com/a///b", true, "http://h.com/a///b", true, {}, true },
        { "hash-bang whole", "http://h.com/#!/shop", true, "http://h.com/#!/shop", true, {}, true },
        { "hash-bang other route", "http://h.com/#!/shop", true, "http://h.com/#!/cart", true, {}, false },
        { "other page", "http://h.com/a", true, "http://h.com/b", true, {}, false },
    };
    const QVariantMap baseline = CrwlUrl::defaultCrawlSettings();
    for (const auto& c : cases) {
        hub->clear();
        for (auto it = baseline.cbegin(); it != baseline.cend(); ++it)
            settings->insert(it.key(), it.value());
        settings->remove(crawlKey::ignoreScheme);
        for (auto it = c.settings.cbegin(); it != c.settings.cend(); ++it)
            settings->insert(it.key(), it.value());
        auto filed = record(QString::fromUtf8(c.filed), c.filedInternal);
        const auto found = hub->weHaveThisOneAlready(QString::fromUtf8(c.asked), nullptr, c.askedInternal);
        QStringList keys;
        for (const auto& key : hub->getLookupDictionary().keys())
            keys.append(key.text);
        EXPECT_EQ(found, c.found ? filed : nullptr) << c.name << ": filed under " << keys.join(u' ').toStdString();
    }
}

TEST_F(Z12AraDecisionsTest, DuplicateLookupEdges)
{
    auto filed = record(QStringLiteral("http://h.com/a"));
    EXPECT_EQ(hub->weHaveThisOneAlready(QString(), nullptr, true), nullptr);
    EXPECT_EQ(hub->weHaveThisOneAlready(QStringLiteral("#top"), nullptr, true), nullptr);
    set(crawlKey::trimQuery, true);
    EXPECT_EQ(hub->weHaveThisOneAlready(QStringLiteral("?x=1"), nullptr, true), nullptr);
    // The record given to disregard is not an answer.
    EXPECT_EQ(hub->weHaveThisOneAlready(QStringLiteral("http://h.com/a"), filed.get(), true), nullptr);
    EXPECT_EQ(hub->weHaveThisOneAlready(QStringLiteral("http://h.com/a"), nullptr, true), filed);
    // lcurlForUrl takes the key as it stands.
    EXPECT_EQ(hub->lcurlForUrl(QStringLiteral("http://h.com/a")), filed);
    EXPECT_EQ(hub->lcurlForUrl(QStringLiteral("http://h.com/a/")), nullptr);

    hub->clear();
    EXPECT_EQ(hub->weHaveThisOneAlready(QStringLiteral("http://h.com/a"), nullptr, true), nullptr);
}

TEST_F(Z12AraDecisionsTest, DuplicateLookupInAnyDictionary)
{
    auto other = CrwlUrl::make(nullptr, settings);
    other->setLinkURL(QStringLiteral("http://h.com/x"));
    const Z12Ara::LookupTable dictionary { { crawlmere::engine::detail::HashedString(QStringLiteral("http://h.com/x")), other } };
    EXPECT_EQ(hub->doWeHaveThisURL(QStringLiteral("http://h.com/x/#a"), dictionary, true), other);
    EXPECT_EQ(hub->doWeHaveThisURL(QStringLiteral("http://h.com/y"), dictionary, true), nullptr);
}

TEST_F(Z12AraDecisionsTest, CharactersAtTheEnds)
{
    EXPECT_EQ(Z12Ara::firstCharOf(QStringLiteral("/path")), '/');
    EXPECT_EQ(Z12Ara::lastCharOf(QStringLiteral("/path/")), '/');
    EXPECT_EQ(Z12Ara::firstCharOf(QString()), 0);
    EXPECT_EQ(Z12Ara::lastCharOf(QStringLiteral("")), 0);
}

} // namespace
