// URL records: settings predicates, request method, extension lists, fragment and query
// trimming, lookup keys (from fixture tables), equality and rule-term tests.
#include "engine/CrawlSettingKeys.h"
#include "engine/CrwlUrl.h"

#include "engine/CrwlUrlTestSupport.h"
#include "engine/EngineDefaults.h"
#include "engine/ScopedDefaults.h"
#include "engine/LookupKeys.h"
#include "support/TsvTable.h"

#include <gtest/gtest.h>

using crawlmere::test::makeSettings;
using crawlmere::test::readTsvTable;
using crawlmere::test::RecordingOwner;
using crawlmere::test::ScopedDefaults;
namespace engine = crawlmere::engine;

namespace {

struct Scan {
    std::shared_ptr<RecordingOwner> owner = std::make_shared<RecordingOwner>();
    std::shared_ptr<CrawlSettings> settings;

    /// A scan whose settings switch on exactly the listed tokens (hash, slash, query) and whose
    /// records are external when "external" is listed.
    explicit Scan(const QString& tokens = QStringLiteral("hash,slash"))
    {
        const QStringList list = tokens.split(u',', Qt::SkipEmptyParts);
        settings = makeSettings({
            { crawlKey::shouldTrimHash, list.contains(QStringLiteral("hash")) },
            { crawlKey::shouldIgnoreSlash, list.contains(QStringLiteral("slash")) },
            { crawlKey::trimQuery, list.contains(QStringLiteral("query")) },
        });
        internal = !list.contains(QStringLiteral("external"));
    }

    std::shared_ptr<CrwlUrl> record(const QString& url) const
    {
        const auto r = CrwlUrl::make(owner, settings);
        r->setIsInternal(internal);
        r->setLinkURL(url);
        return r;
    }

    /// The key the owner filed a new record for `url` under.
    QString keyOf(const QString& url) const
    {
        const auto r = record(url);
        return r->prepareUrlForLookup(r->getLinkURL());
    }

    bool internal = true;
};

} // namespace

// ----- Lookup keys from the fixture tables ----------------------------------------------------

TEST(CrwlUrlLookupKeys, KeysFromTable)
{
    const auto rows = readTsvTable(QStringLiteral("urls/lookup_keys.tsv"));
    ASSERT_GE(rows.size(), 20u);
    for (const auto& row : rows) {
        SCOPED_TRACE(QStringLiteral("lookup_keys.tsv line %1: %2").arg(row.line).arg(row.cell(1)).toStdString());
        const Scan scan(row.cell(0) == u"-" ? QString() : row.cell(0));
        const auto record = scan.record(row.cell(1));
        const QString key = record->prepareUrlForLookup(record->getLinkURL());
        EXPECT_EQ(key, row.cell(2));
        // The owner was told exactly when there was something to file, under that key.
        if (record->getLinkURL().isEmpty()) {
            EXPECT_TRUE(scan.owner->lookupCalls.empty());
        } else {
            ASSERT_EQ(scan.owner->lookupCalls.size(), 1u);
            EXPECT_EQ(scan.owner->lookup.count(key), 1u);
        }
    }
}

TEST(CrwlUrlLookupKeys, CollisionsFromTable)
{
    const auto rows = readTsvTable(QStringLiteral("urls/lookup_collisions.tsv"));
    ASSERT_GE(rows.size(), 10u);
    for (const auto& row : rows) {
        SCOPED_TRACE(QStringLiteral("lookup_collisions.tsv line %1").arg(row.line).toStdString());
        ASSERT_TRUE(row.cell(0) == u"same" || row.cell(0) == u"different");
        const Scan scan(row.cell(1));
        const auto first = scan.record(row.cell(2));
        const auto second = scan.record(row.cell(3));
        const bool same
            = first->prepareUrlForLookup(first->getLinkURL()) == second->prepareUrlForLookup(second->getLinkURL());
        EXPECT_EQ(same, row.cell(0) == u"same") << row.cell(2).toStdString() << " / " << row.cell(3).toStdString();
        // The owner's table agrees: one entry for colliding URLs, two otherwise.
        EXPECT_EQ(scan.owner->lookup.size(), same ? 1u : 2u);
    }
}

TEST(CrwlUrlLookupKeys, PrepareDropsOneSlashOnlyWhileIgnoringSlashes)
{
    const Scan on(QStringLiteral("hash,slash"));
    const auto record = on.record(QStringLiteral("http://h.com/"));
    EXPECT_EQ(record->prepareUrlForLookup(QStringLiteral("http://h.com/a//")), QStringLiteral("http://h.com/a/"));
    EXPECT_EQ(record->prepareUrlForLookup(QStringLiteral("")), QStringLiteral(""));
    EXPECT_EQ(record->prepareUrlForLookup(QStringLiteral("/")), QStringLiteral(""));
    EXPECT_EQ(record->prepareUrlForLookup(QStringLiteral("http://h.com/A#x")), QStringLiteral("http://h.com/A#x"));
    const Scan off(QStringLiteral("hash"));
    EXPECT_EQ(off.record(QStringLiteral("x"))->prepareUrlForLookup(QStringLiteral("http://h.com/a//")),
        QStringLiteral("http://h.com/a//"));
}

TEST(CrwlUrlLookupKeys, SessionIdsCollideThroughTheDuplicateSearchCandidate)
{
    // With ignoreSessid on, the hub's duplicate search removes the session parameter from a
    // link and looks the result up under the record's key form.
    const Scan scan;
    const auto plain = scan.record(QStringLiteral("http://h.com/shop?item=4"));
    const QString plainKey = plain->prepareUrlForLookup(plain->getLinkURL());
    const auto candidate = [&](const QString& url) {
        return plain->prepareUrlForLookup(engine::removeSessionId(QStringLiteral("sid"), url));
    };
    EXPECT_EQ(candidate(QStringLiteral("http://h.com/shop?item=4&sid=9f8e7d")), plainKey);
    EXPECT_EQ(
        candidate(QStringLiteral("http://h.com/shop?item=4&sid=9f8e7d&")), QStringLiteral("http://h.com/shop?item=4&"));
    EXPECT_EQ(candidate(QStringLiteral("http://h.com/shop?item=4")), plainKey);
    EXPECT_NE(candidate(QStringLiteral("http://h.com/shop?item=5&sid=1")), plainKey);

    // The parameter alone, or first of several.
    EXPECT_EQ(engine::removeSessionId(QStringLiteral("sid"), QStringLiteral("http://h.com/p?sid=1")),
        QStringLiteral("http://h.com/p"));
    EXPECT_EQ(engine::removeSessionId(QStringLiteral("sid"), QStringLiteral("http://h.com/p?sid=1&a=2")),
        QStringLiteral("http://h.com/p?&a=2"));
    EXPECT_EQ(engine::removeSessionId(QStringLiteral("sid"), QStringLiteral("http://h.com/p?a=1&sid=2&b=3")),
        QStringLiteral("http://h.com/p?a=1&b=3"));
    // An empty name, or a URL without the parameter, is left alone.
    EXPECT_EQ(engine::removeSessionId(QString(), QStringLiteral("http://h.com/p?sid=1")),
        QStringLiteral("http://h.com/p?sid=1"));
    EXPECT_EQ(engine::removeSessionId(QStringLiteral("sid"), QStringLiteral("http://h.com/sid/p")),
        QStringLiteral("http://h.com/sid/p"));
    // A longer parameter name that begins with the name is taken too.
    EXPECT_EQ(engine::removeSessionId(QStringLiteral("sid"), QStringLiteral("http://h.com/p?a=1&sidebar=2")),
        QStringLiteral("http://h.com/p?a=1"));
}

// ----- Trimming -------------------------------------------------------------------------------

TEST(CrwlUrlTrimming, ForceTrimHash)
{
    EXPECT_EQ(CrwlUrl::forceTrimHash(QStringLiteral("http://h.com/a")), QStringLiteral("http://h.com/a"));
    EXPECT_EQ(CrwlUrl::forceTrimHash(QStringLiteral("http://h.com/a#b")), QStringLiteral("http://h.com/a"));
    EXPECT_EQ(CrwlUrl::forceTrimHash(QStringLiteral("http://h.com/#/route")), QStringLiteral("http://h.com/#/route"));
    EXPECT_EQ(CrwlUrl::forceTrimHash(QStringLiteral("http://h.com/#!/route")), QStringLiteral("http://h.com/#!/route"));
    EXPECT_EQ(CrwlUrl::forceTrimHash(QStringLiteral("#top")), QStringLiteral(""));
    EXPECT_FALSE(CrwlUrl::forceTrimHash(QStringLiteral("#top")).isNull());
    EXPECT_EQ(CrwlUrl::forceTrimHash(QStringLiteral("#")), QStringLiteral(""));
    EXPECT_EQ(CrwlUrl::forceTrimHash(QStringLiteral("a?x=&#38;y#z")), QStringLiteral("a?x=&#38;y"));
    EXPECT_EQ(CrwlUrl::forceTrimHash(QStringLiteral("a?x=&#38;y")), QStringLiteral("a?x=&#38;y"));
    EXPECT_EQ(CrwlUrl::forceTrimHash(QStringLiteral("a&#1;&#2;#z")), QStringLiteral("a&#1;&#2;"));
    EXPECT_EQ(CrwlUrl::forceTrimHash(QStringLiteral("a#")), QStringLiteral("a"));
}

TEST(CrwlUrlTrimming, TrimHashFollowsTheSettingsAndTheRecordsScope)
{
    const Scan scan(QStringLiteral("hash"));
    const auto internal = scan.record(QStringLiteral("http://h.com/"));
    EXPECT_EQ(
        internal->trimHash(QStringLiteral("http://h.com/#!/a?b=1"), true), QStringLiteral("http://h.com/#!/a?b=1"));
    EXPECT_EQ(internal->trimHash(QStringLiteral("http://h.com/p?b=1#x"), true), QStringLiteral("http://h.com/p"));
    EXPECT_EQ(internal->trimHash(QStringLiteral("http://h.com/p?b=1#x"), false), QStringLiteral("http://h.com/p?b=1"));
    EXPECT_EQ(internal->trimHash(QStringLiteral("#"), true), QStringLiteral("#"));
    EXPECT_EQ(internal->trimHash(QStringLiteral("?"), true), QStringLiteral("?"));
    EXPECT_EQ(internal->trimHash(QStringLiteral("?a"), true), QStringLiteral(""));

    internal->setIsInternal(false);
    EXPECT_EQ(internal->trimHash(QStringLiteral("http://x.org/p?b=1#x"), true), QStringLiteral("http://x.org/p?b=1"));

    const Scan keep(QStringLiteral(""));
    const auto record = keep.record(QStringLiteral("http://h.com/"));
    EXPECT_EQ(record->trimHash(QStringLiteral("http://h.com/p?b=1#x"), true), QStringLiteral("http://h.com/p?b=1#x"));
}

// ----- Equality -------------------------------------------------------------------------------

TEST(CrwlUrlEquality, MatchesItsKeyAndItsRedirectTarget)
{
    const Scan scan;
    const auto record = scan.record(QStringLiteral("http://h.com/a/"));
    EXPECT_TRUE(record->isEqualToUrl(QStringLiteral("http://h.com/a")));
    EXPECT_TRUE(record->isEqualToUrl(QStringLiteral("http://h.com/a/")));
    EXPECT_FALSE(record->isEqualToUrl(QStringLiteral("http://h.com/A")));
    EXPECT_FALSE(record->isEqualToUrl(QStringLiteral("")));
    EXPECT_FALSE(record->getRecursion());

    // "///" counts as "//", and a match through it marks the record as recursive.
    EXPECT_TRUE(record->isEqualToUrl(QStringLiteral("http:///h.com/a")));
    EXPECT_TRUE(record->getRecursion());

    const auto other = scan.record(QStringLiteral("http://h.com/b"));
    EXPECT_FALSE(other->isEqualToUrl(QStringLiteral("http:///h.com/c")));
    EXPECT_FALSE(other->getRecursion());
}

TEST(CrwlUrlEquality, CanonicalWithoutValueMatches)
{
    const Scan scan;
    const auto record = scan.record(QStringLiteral("http://h.com/page/"));
    EXPECT_TRUE(record->canonicalMatchesUrl());
    record->setCanonical(QStringLiteral("http://h.com/page"));
    EXPECT_TRUE(record->canonicalMatchesUrl());
    record->setCanonical(QStringLiteral("http://h.com/other"));
    EXPECT_FALSE(record->canonicalMatchesUrl());
}

// ----- Settings predicates and request method -------------------------------------------------

TEST(CrwlUrlPredicates, SettingsPredicatesReadTheSharedDictionary)
{
    const Scan scan;
    const auto record = scan.record(QStringLiteral("http://h.com/"));
    EXPECT_FALSE(record->shouldParsePDFs());
    EXPECT_FALSE(record->shouldParseDOCXs());
    EXPECT_FALSE(record->shouldParseCSS());
    EXPECT_FALSE(record->shouldLoadImages());
    scan.settings->insert(crawlKey::shouldParsePDFs, true);
    scan.settings->insert(crawlKey::shouldParseDOCXs, QStringLiteral("YES"));
    scan.settings->insert(crawlKey::shouldParseCSS, qint64(1));
    scan.settings->insert(crawlKey::shouldLoadImages, QStringLiteral("NO"));
    EXPECT_TRUE(record->shouldParsePDFs());
    EXPECT_TRUE(record->shouldParseDOCXs());
    EXPECT_TRUE(record->shouldParseCSS());
    EXPECT_FALSE(record->shouldLoadImages());
    // The settings pane's crawlKey::loadImages decides where a site holds it.
    scan.settings->insert(crawlKey::loadImages, true);
    EXPECT_TRUE(record->shouldLoadImages());
    scan.settings->insert(crawlKey::shouldLoadImages, true);
    scan.settings->insert(crawlKey::loadImages, QStringLiteral("NO"));
    EXPECT_FALSE(record->shouldLoadImages());
}

TEST(CrwlUrlPredicates, TheSoftNotFoundCheckRendersTheBuiltInOutsideHosts)
{
    crawlmere::engine::registerEngineDefaults(crawlmere::platform::UserDefaults::standard());
    ScopedDefaults defaults;
    const Scan scan(QStringLiteral("hash,slash,external"));
    const std::pair<const char*, bool> cases[] = {
        { "https://twitter.com/someone/status/1", true },
        { "https://www.instagram.com/p/abc/", true },
        { "https://www.youtube.com/watch?v=abc", true },
        { "https://other.test/status/1", false },
    };
    for (const bool softNotFound : { false, true }) {
        defaults.set(crawlKey::shouldCheckForSoft404, softNotFound);
        for (const auto& [url, rendered] : cases)
            EXPECT_EQ(scan.record(QString::fromLatin1(url))->shouldRunJS(), softNotFound && rendered) << url;
    }
}

TEST(CrwlUrlPredicates, SonOfXML)
{
    const Scan scan;
    const auto page = scan.record(QStringLiteral("http://h.com/page.html"));
    const auto sitemap = scan.record(QStringLiteral("http://h.com/sitemap.xml"));
    const auto queried = scan.record(QStringLiteral("http://h.com/sitemap.XML?page=2"));
    const auto typed = scan.record(QStringLiteral("http://h.com/feed"));
    typed->setMimeType(QStringLiteral("Text/XML; charset=utf-8"));
    EXPECT_FALSE(page->isSonOfXML());
    scan.settings->insert(crawlKey::startingPointWasXML, true);
    EXPECT_TRUE(page->isSonOfXML());
    EXPECT_FALSE(sitemap->isSonOfXML());
    EXPECT_FALSE(queried->isSonOfXML());
    EXPECT_FALSE(typed->isSonOfXML());
}

TEST(CrwlUrlPredicates, RequestMethod)
{
    const Scan scan;
    const auto start = scan.record(QStringLiteral("http://h.com/login"));
    const auto page = scan.record(QStringLiteral("http://h.com/page"));
    start->setIsStartingPoint(true);
    EXPECT_EQ(start->requestMethod(), 1);

    scan.settings->insert(crawlKey::WebtallyAttemptAuthentication, true);
    scan.settings->insert(crawlKey::authenticationpassword, QStringLiteral("secret"));
    EXPECT_EQ(start->requestMethod(), 1); // no field name for the password yet
    scan.settings->insert(crawlKey::authenticationpasswordfieldname, QStringLiteral("pw"));
    EXPECT_EQ(start->requestMethod(), 2);
    EXPECT_EQ(page->requestMethod(), 1);
    scan.settings->insert(crawlKey::WebtallyAttemptAuthentication, false);
    EXPECT_EQ(start->requestMethod(), 1);

    // A custom POST field with a value makes the starting request a POST.
    scan.settings->insert(crawlKey::customPostKey1, QStringLiteral("email"));
    EXPECT_EQ(start->requestMethod(), 1);
    scan.settings->insert(crawlKey::customPostValue1, QStringLiteral("a@b.c"));
    EXPECT_EQ(start->requestMethod(), 2);
    EXPECT_EQ(page->requestMethod(), 1);

    EXPECT_EQ(CrwlUrl::methodName(0), QStringLiteral("HEAD"));
    EXPECT_EQ(CrwlUrl::methodName(1), QStringLiteral("GET"));
    EXPECT_EQ(CrwlUrl::methodName(2), QStringLiteral("POST"));
    EXPECT_EQ(CrwlUrl::methodName(3), QStringLiteral("unknown"));
    EXPECT_EQ(CrwlUrl::methodName(-1), QStringLiteral("unknown"));
}

// ----- Extension lists ------------------------------------------------------------------------

TEST(CrwlUrlExtensions, ListsMatchAtTheStartInAnyCase)
{
    EXPECT_TRUE(CrwlUrl::extensionIsImageExtension(QStringLiteral("JPG?w=200")));
    EXPECT_TRUE(CrwlUrl::extensionIsImageExtension(QStringLiteral("pngx")));
    EXPECT_TRUE(CrwlUrl::extensionIsImageExtension(QStringLiteral("webp")));
    EXPECT_FALSE(CrwlUrl::extensionIsImageExtension(QStringLiteral("xpng")));
    EXPECT_FALSE(CrwlUrl::extensionIsImageExtension(QStringLiteral("?png")));
    EXPECT_FALSE(CrwlUrl::extensionIsImageExtension(QStringLiteral("")));
    EXPECT_TRUE(CrwlUrl::extensionIsVideoExtension(QStringLiteral("rmvb")));
    EXPECT_TRUE(CrwlUrl::extensionIsVideoExtension(QStringLiteral("M3U8")));
    EXPECT_FALSE(CrwlUrl::extensionIsVideoExtension(QStringLiteral("mp3")));
    EXPECT_TRUE(CrwlUrl::extensionIsAudioExtension(QStringLiteral("mp3?x")));
    EXPECT_TRUE(CrwlUrl::extensionIsAudioExtension(QStringLiteral("Weba")));
    EXPECT_FALSE(CrwlUrl::extensionIsAudioExtension(QStringLiteral("mp4")));
    EXPECT_TRUE(CrwlUrl::extensionIsOtherNonHTMLExtension(QStringLiteral("woff2")));
    EXPECT_TRUE(CrwlUrl::extensionIsOtherNonHTMLExtension(QStringLiteral("DMG")));
    EXPECT_FALSE(CrwlUrl::extensionIsOtherNonHTMLExtension(QStringLiteral("html")));
}

// ----- Rule terms -----------------------------------------------------------------------------

TEST(CrwlUrlTerms, LinkTermsTestTheURLAndItsEncodedForm)
{
    const Scan scan;
    const auto record = scan.record(QStringLiteral("http://h.com/caf%C3%A9/private/page"));
    EXPECT_FALSE(record->linkContainsOneOfTheseTerms({}));
    EXPECT_TRUE(record->linkContainsOneOfTheseTerms({ QStringLiteral("/PRIVATE/") }));
    EXPECT_TRUE(record->linkContainsOneOfTheseTerms({ QStringLiteral("caf%C3%A9") })); // the encoded form
    EXPECT_TRUE(record->linkContainsOneOfTheseTerms({ QStringLiteral("nothing"), QStringLiteral("caf\u00e9") }));
    EXPECT_FALSE(record->linkContainsOneOfTheseTerms({ QStringLiteral("nothing"), QStringLiteral("else") }));
    // Wildcards are off here: "*" is ordinary text.
    EXPECT_FALSE(record->linkContainsOneOfTheseTerms({ QStringLiteral("private*page") }));
}

TEST(CrwlUrlTerms, NegativeTermsMustAllHoldWhenThereAreSeveral)
{
    const Scan scan;
    const auto record = scan.record(QStringLiteral("http://h.com/blog/post"));
    // One negative term is an ordinary test.
    EXPECT_TRUE(record->linkContainsOneOfTheseTerms({ QStringLiteral("!/shop/") }));
    EXPECT_FALSE(record->linkContainsOneOfTheseTerms({ QStringLiteral("!/blog/") }));
    // Two negative terms: both must hold.
    EXPECT_TRUE(record->linkContainsOneOfTheseTerms({ QStringLiteral("!/shop/"), QStringLiteral("!/cart/") }));
    EXPECT_FALSE(record->linkContainsOneOfTheseTerms({ QStringLiteral("!/shop/"), QStringLiteral("!/blog/") }));
    // Mixed terms: any one is enough.
    EXPECT_TRUE(record->linkContainsOneOfTheseTerms({ QStringLiteral("!/blog/"), QStringLiteral("post") }));
}

TEST(CrwlUrlTerms, DataTermsSearchTheBody)
{
    const Scan scan;
    const auto record = scan.record(QStringLiteral("http://h.com/"));
    EXPECT_TRUE(record->dataContainsOneOfTheseTerms({ QStringLiteral("x") }).isEmpty());
    record->setData(QByteArray("<html><title>Page Not Found</title>\xff<p>Sorry, nothing here (404)</p></html>"));
    EXPECT_EQ(record->dataContainsOneOfTheseTerms(
                  { QStringLiteral("not found"), QStringLiteral("missing"), QStringLiteral("nothing*404") }),
        QStringList({ QStringLiteral("not found"), QStringLiteral("nothing*404") }));
    EXPECT_TRUE(record->dataContainsOneOfTheseTerms({}).isEmpty());
    EXPECT_TRUE(record->dataContainsOneOfTheseTerms({ QStringLiteral("NOT FOUND") }, false, false).isEmpty());
    EXPECT_EQ(record->dataContainsOneOfTheseTerms({ QStringLiteral("\\((\\d+)\\)"), QStringLiteral("ignored") }, true),
        QStringList({ QStringLiteral("404") }));
    EXPECT_TRUE(record->dataContainsOneOfTheseTerms({ QStringLiteral("(unclosed") }, true).isEmpty());
}
