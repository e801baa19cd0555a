// The crawl-time page register: pages once per fragment-trimmed final URL, the tallies against
// the thresholds of a private defaults store, the three groupings, the summaries and the
// misspelled-word table.
#include "reports/EngineSEOManager.h"
#include "engine/CrawlSettingKeys.h"

#include "engine/CrwlUrl.h"
#include "engine/CrwlUrlTestSupport.h"
#include "platform/UserDefaults.h"
#include "reports/ReportsDefaults.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

using crawlmere::platform::UserDefaults;
using crawlmere::reports::EngineSEOManager;
using crawlmere::test::makeSettings;
using crawlmere::test::RecordingOwner;

namespace {

class EngineSEOManagerTest : public ::testing::Test {
protected:
    EngineSEOManagerTest() { crawlmere::reports::registerReportsDefaults(defaults); }

    // A page that raises nothing under the registered thresholds.
    std::shared_ptr<CrwlUrl> page(const QString& url, const QString& title = QStringLiteral("Home"), qint64 bytes = 1000)
    {
        auto record = CrwlUrl::make(owner, settings);
        record->setLinkURL(url);
        record->setLinkPageTitle(title);
        record->setMetaData({ QVariantMap { { QStringLiteral("name"), QStringLiteral("description") },
            { QStringLiteral("content"), QString(60, u'd') } } });
        record->setWordCount(300);
        record->setHeadings({ QStringLiteral("Welcome") });
        record->setFileSize(bytes);
        return record;
    }
    static QString titles(const CrwlUrlList& pages)
    {
        QStringList urls;
        for (const auto& p : pages)
            urls << p->absoluteString().section(u'/', -1);
        return urls.join(u',');
    }

    QTemporaryDir folder;
    UserDefaults defaults { folder.path() + QStringLiteral("/defaults.plist") };
    std::shared_ptr<RecordingOwner> owner = std::make_shared<RecordingOwner>();
    SharedCrawlSettings settings = makeSettings({ { crawlKey::shouldTrimHash, false } });
    EngineSEOManager seo { defaults };
};

TEST_F(EngineSEOManagerTest, KeepsPagesInOrderAndOncePerFinalUrlWithoutFragment)
{
    const auto a = page(QStringLiteral("http://example.com/a"));
    const auto b = page(QStringLiteral("http://example.com/b#top"));
    const auto bang = page(QStringLiteral("http://example.com/#!/shop"));
    seo.add(a);
    seo.add(b);
    seo.add(page(QStringLiteral("http://example.com/a#section")));
    seo.add(page(QStringLiteral("http://example.com/b")));
    seo.add(bang);
    seo.add(page(QStringLiteral("http://example.com/#/shop")));
    seo.add(nullptr);

    EXPECT_EQ(seo.internalPagesCollection(), (CrwlUrlList { a, b, bang, seo.internalPagesCollection().back() }));
    EXPECT_EQ(seo.getTotalPageCount(), 4);
    EXPECT_TRUE(seo.duplicateCheck(*page(QStringLiteral("http://example.com/a#x"))));
    EXPECT_FALSE(seo.duplicateCheck(*a)) << "a page recorded is no duplicate of itself";
    EXPECT_TRUE(seo.isInEngineSEOManagersCollection(*a));
    EXPECT_FALSE(seo.isInEngineSEOManagersCollection(*page(QStringLiteral("http://example.com/a"))));
    EXPECT_EQ(seo.getTallies().notitle, 0);
}

struct TallyCase {
    const char* name;
    std::function<void(CrwlUrl&)> change;
    QVariantMap overrides;
    qint32 EngineSEOManager::Tallies::*tally; // the one tally expected at 1, or none
};

TEST_F(EngineSEOManagerTest, TalliesFollowTheThresholdsReadAtEachAdd)
{
    using T = EngineSEOManager::Tallies;
    constexpr qint32 T::*none = nullptr;
    const auto description = [](int length) {
        return [length](CrwlUrl& p) {
            p.setMetaData({ QVariantMap { { QStringLiteral("name"), QStringLiteral("description") },
                { QStringLiteral("content"), QString(length, u'd') } } });
        };
    };
    const auto redirects = [](int hops) {
        return [hops](CrwlUrl& p) {
            for (int hop = 0; hop < hops; ++hop)
                p.addRedir(QStringLiteral("http://example.com/hop%1").arg(hop), 301, 0);
        };
    };
    const QList<TallyCase> cases = {
        { "a clean page", [](CrwlUrl&) { }, {}, none },
        { "no title", [](CrwlUrl& p) { p.setLinkPageTitle(QStringLiteral("")); }, {}, &T::notitle },
        { "title of 60", [](CrwlUrl& p) { p.setLinkPageTitle(QString(60, u't')); }, {}, none },
        { "title of 61", [](CrwlUrl& p) { p.setLinkPageTitle(QString(61, u't')); }, {},
            &T::titlelength },
        { "title maximum abc", [](CrwlUrl&) { }, { { QStringLiteral("metaTitleMax"), QStringLiteral("abc") } },
            &T::titlelength },
        { "negative title maximum", [](CrwlUrl& p) { p.setLinkPageTitle(QString(500, u't')); },
            { { QStringLiteral("metaTitleMax"), QStringLiteral("-5") } }, none },
        { "no description", description(0), {}, &T::nodesc },
        { "description of 49", description(49), {}, &T::metadesclength },
        { "description of 50", description(50), {}, none },
        { "description of 300", description(300), {}, none },
        { "description of 301", description(301), {}, &T::metadesclength },
        { "negative description minimum", description(60),
            { { QStringLiteral("metaDescriptionMin"), QStringLiteral("-1") } }, &T::metadesclength },
        { "links above a negative maximum", [](CrwlUrl&) { }, { { QStringLiteral("tooManyLinks"), QStringLiteral("-1") } },
            &T::toomanylinks },
        { "keyword stuffed", [](CrwlUrl& p) { p.setKeywordStuffed(true); }, {}, &T::keywordstuffed },
        { "249 words", [](CrwlUrl& p) { p.setWordCount(249); }, {}, &T::thincontent },
        { "250 words", [](CrwlUrl& p) { p.setWordCount(250); }, {}, none },
        { "noindex", [](CrwlUrl& p) { p.setHeadContainsNoIndex(true); }, {},
            &T::pagesExcludedNoIndex },
        { "no h1", [](CrwlUrl& p) { p.setHeadings({ QStringLiteral("\tSub") }); }, {},
            &T::pagesWithoutH1 },
        { "two h1", [](CrwlUrl& p) { p.setHeadings({ QStringLiteral("One"), QStringLiteral("Two") }); }, {},
            &T::pagesWithMultipleH1 },
        { "SEO off", [](CrwlUrl& p) { p.setLinkPageTitle(QStringLiteral("")); }, { { QStringLiteral("SEOEnabled"), false } }, none },
        { "a PDF without title", [](CrwlUrl& p) { p.setIsHTML(false); p.setLinkPageTitle(QStringLiteral("")); }, {}, none },
        { "three hops", redirects(3), {}, none },
        { "four hops", redirects(4), {}, &T::redirectchain },
        { "four hops with SEO off", redirects(4), { { QStringLiteral("SEOEnabled"), false } },
            &T::redirectchain },
    };
    for (const TallyCase& row : cases) {
        SCOPED_TRACE(row.name);
        seo.clear();
        for (auto it = row.overrides.begin(); it != row.overrides.end(); ++it)
            defaults.setObject(it.value(), it.key());
        const auto p = page(QStringLiteral("http://example.com/p"));
        row.change(*p);
        seo.add(p);
        for (auto it = row.overrides.begin(); it != row.overrides.end(); ++it)
            defaults.removeObjectForKey(it.key());

        EngineSEOManager::Tallies expected = seo.getTallies();
        if (row.tally) {
            EXPECT_EQ(expected.*row.tally, 1);
            expected.*row.tally = 0; // the others must be 0
        }
        EXPECT_EQ(expected, EngineSEOManager::Tallies());
        EXPECT_EQ(seo.getTotalPageCount(), 1);
    }
}

TEST_F(EngineSEOManagerTest, RedirectChainsCountEveryHandOverOtherTalliesOnce)
{
    const auto p = page(QStringLiteral("http://example.com/p"), QString());
    for (int hop = 0; hop < 4; ++hop)
        p->addRedir(QStringLiteral("http://example.com/to%1").arg(hop), 301, 0);
    seo.add(p);
    seo.add(p);
    EXPECT_EQ(seo.getTallies().redirectchain, 2);
    EXPECT_EQ(seo.getTallies().notitle, 1);
}

TEST_F(EngineSEOManagerTest, PossibleDuplicatesNeedTwoPagesOfOneSizeAndKeepTheWholeGroup)
{
    const auto add = [&](const char* name, const QString& title, qint64 bytes, bool canonicalElsewhere = false) {
        auto p = page(QStringLiteral("http://example.com/") + QLatin1String(name), title, bytes);
        if (canonicalElsewhere)
            p->setCanonical(QStringLiteral("http://example.com/elsewhere"));
        seo.add(p);
    };
    add("a1", QStringLiteral("A"), 1200);
    add("a2", QStringLiteral("A"), 1200);
    add("b1", QStringLiteral("B"), 1200);
    add("b2", QStringLiteral("B"), 1201);
    add("c1", QStringLiteral("C"), 1);
    add("c2", QStringLiteral("C"), 2);
    add("c3", QStringLiteral("C"), 2);
    add("a3", QStringLiteral("A"), 1200, /*canonicalElsewhere=*/true);
    add("u1", QString(), 5);
    add("u2", QString(), 5);
    add("lower", QStringLiteral("a"), 1200);

    const CrwlUrlGroups& groups = seo.getDuplicates();
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(titles(groups.at(QStringLiteral("A"))), QStringLiteral("a1,a2"));
    EXPECT_EQ(titles(groups.at(QStringLiteral("C"))), QStringLiteral("c1,c2,c3"));
    EXPECT_EQ(titles(groups.at(QString())), QStringLiteral("u1,u2"));

    const CrwlUrlGroups& byTitle = seo.getDuplicateTitles();
    EXPECT_EQ(byTitle.size(), 4u); // A, B, C and the lower-case "a" of one page
    EXPECT_FALSE(byTitle.contains(QString()));
    EXPECT_EQ(titles(byTitle.at(QStringLiteral("a"))), QStringLiteral("lower"));
    const CrwlUrlGroups& byDescription = seo.getDuplicateDescriptions();
    ASSERT_EQ(byDescription.size(), 1u);
    EXPECT_EQ(byDescription.begin()->second.size(), 10u); // all but the canonical elsewhere
}

TEST_F(EngineSEOManagerTest, GroupsAndPageListsFollowPagesAddedAfterTheyWereRead)
{
    const auto first = page(QStringLiteral("http://example.com/1"), QStringLiteral("T"), 10);
    seo.add(first);
    seo.add(page(QStringLiteral("http://example.com/2"), QStringLiteral("T"), 11));
    EXPECT_TRUE(seo.getDuplicates().empty());
    // A record's cached lists are built at the owner's generation and dropped when it moves.
    struct Owner : RecordingOwner {
        EngineSEOManager* seo = nullptr;
        quint64 duplicateGroupsGeneration() const override { return seo->groupsGeneration(); }
        CrwlUrlList getDuplicatesForCrwlUrl(const CrwlUrl& record) const override
        {
            const auto& groups = seo->getDuplicates();
            const auto it = groups.find(record.getLinkpagetitle());
            return it == groups.end() ? CrwlUrlList() : it->second;
        }
    };
    auto listing = std::make_shared<Owner>();
    listing->seo = &seo;
    auto probe = CrwlUrl::make(listing, settings);
    probe->setLinkPageTitle(QStringLiteral("T"));
    EXPECT_TRUE(probe->getUrlsWithDuplicatesRefresh(false).empty());

    seo.add(page(QStringLiteral("http://example.com/3"), QStringLiteral("T"), 10));
    EXPECT_EQ(seo.getDuplicates().at(QStringLiteral("T")).size(), 3u);
    EXPECT_EQ(probe->getUrlsWithDuplicatesRefresh(false).size(), 3u);
    const quint64 before = seo.groupsGeneration();
    seo.add(first); // refused: the groups stay
    EXPECT_EQ(seo.groupsGeneration(), before);
}

TEST_F(EngineSEOManagerTest, SummariesGolden)
{
    EXPECT_EQ(seo.getShortSummary(), QStringLiteral("keyword density not checked\nimages not checked\n"));
    EXPECT_EQ(seo.getShortSummaryAsCSV(), QStringLiteral("count,test\n"));

    defaults.setObject(QStringLiteral("-1"), QStringLiteral("tooManyLinks"));
    defaults.setObject(QStringLiteral("0"), QStringLiteral("metaTitleMax"));
    auto bare = page(QStringLiteral("http://example.com/bare"), QString());
    bare->setMetaData({});
    bare->setWordCount(0);
    bare->setHeadings({});
    bare->setHeadContainsNoIndex(true);
    bare->setKeywordStuffed(true);
    for (int hop = 0; hop < 4; ++hop)
        bare->addRedir(QStringLiteral("http://example.com/r%1").arg(hop), 302, 0);
    seo.add(bare);
    auto busy = page(QStringLiteral("http://example.com/busy"), QStringLiteral("Busy"));
    busy->setMetaData({ QVariantMap { { QStringLiteral("name"), QStringLiteral("description") },
        { QStringLiteral("content"), QStringLiteral("short") } } });
    busy->setHeadings({ QStringLiteral("One"), QStringLiteral("Two") });
    seo.add(busy);
    seo.incMixedContent();
    defaults.setObject(true, QStringLiteral("countKeywords"));
    defaults.setObject(true, crawlKey::checkImages);

    EXPECT_EQ(seo.getShortSummary(),
        QStringLiteral("1 pages without title\n"
                       "1 pages without description\n"
                       "1 pages with long title\n"
                       "1 pages with long or short description\n"
                       "1 pages with high keyword density\n"
                       "1 pages with thin content\n"
                       "2 pages with more than -1 links\n"
                       "1, pages with mixed content\n"
                       "1 pages with robots noindex\n"
                       "1 pages with redirect chain\n"
                       "1 Pages with multiple h1\n"
                       "1 Pages with no h1\n"));
    EXPECT_EQ(seo.getShortSummaryAsCSV(),
        QStringLiteral("count,test\n"
                       "1,pages without title\n"
                       "1,pages without description\n"
                       "1,pages with long title\n"
                       "1,pages with long or short description\n"
                       "1,pages with thin content\n"
                       "2,pages with more than -1 links\n"
                       "1,pages with mixed content\n"
                       "1,pages with robots noindex\n"
                       "1,pages with redirect chain\n"
                       "1,Pages with multiple h1\n"
                       "1,Pages with no h1\n"));
}

TEST_F(EngineSEOManagerTest, MisspelledWordsListAPageOncePerWord)
{
    EXPECT_EQ(seo.getMisspelledWordDictionary(), nullptr);
    const auto a = page(QStringLiteral("http://example.com/a"));
    const auto b = page(QStringLiteral("http://example.com/b"));
    seo.addWords({ QStringLiteral("Teh"), QStringLiteral("recieve"), QStringLiteral("teh") }, a);
    seo.addWords({ QStringLiteral("RECIEVE") }, b);
    seo.addWords({ QStringLiteral("teh") }, nullptr);

    const auto* table = seo.getMisspelledWordDictionary();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->at(QStringLiteral("teh")), (CrwlUrlList { a }));
    EXPECT_EQ(table->at(QStringLiteral("recieve")), (CrwlUrlList { a, b }));

    seo.add(a);
    seo.clear();
    EXPECT_EQ(seo.getMisspelledWordDictionary(), nullptr);
    EXPECT_TRUE(seo.internalPagesCollection().empty());
    EXPECT_FALSE(seo.duplicateCheck(*a));
}

} // namespace
