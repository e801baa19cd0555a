// The recording crawl-time SEO register: pages kept once per fragment-trimmed final URL and in
// hand-in order, the duplicate test, the misspelled-word table, and what clear forgets.
#include "engine/RecordingEngineSEO.h"

#include "engine/CrwlUrl.h"
#include "engine/CrwlUrlTestSupport.h"

#include <gtest/gtest.h>

#include <memory>

using crawlmere::test::makeSettings;
using crawlmere::test::RecordingOwner;

namespace {

class RecordingEngineSEOTest : public ::testing::Test {
protected:
    // Fragments stay on the stored link URL, so the register's own fragment cut is what counts.
    std::shared_ptr<CrwlUrl> page(const QString& url)
    {
        auto record = CrwlUrl::make(owner, settings);
        record->setLinkURL(url);
        return record;
    }

    std::shared_ptr<RecordingOwner> owner = std::make_shared<RecordingOwner>();
    SharedCrawlSettings settings = makeSettings({ { QStringLiteral("shouldTrimHash"), false } });
    RecordingEngineSEO seo;
};

TEST_F(RecordingEngineSEOTest, KeepsPagesInOrderAndOncePerFinalUrlWithoutFragment)
{
    const auto a = page(QStringLiteral("http://example.com/a"));
    const auto b = page(QStringLiteral("http://example.com/b#top"));
    const auto aAgainWithFragment = page(QStringLiteral("http://example.com/a#section"));
    const auto bBare = page(QStringLiteral("http://example.com/b"));

    EXPECT_FALSE(seo.duplicateCheck(*a));
    seo.add(a);
    seo.add(b);
    seo.add(aAgainWithFragment);
    seo.add(bBare);
    seo.add(a);

    ASSERT_EQ(seo.internalPagesCollection().size(), 2u);
    EXPECT_EQ(seo.internalPagesCollection()[0], a);
    EXPECT_EQ(seo.internalPagesCollection()[1], b);
    EXPECT_TRUE(seo.duplicateCheck(*aAgainWithFragment));
    EXPECT_TRUE(seo.duplicateCheck(*bBare));
    EXPECT_FALSE(seo.duplicateCheck(*page(QStringLiteral("http://example.com/c"))));
}

TEST_F(RecordingEngineSEOTest, HashBangAndHashPathAddressesAreDistinctPages)
{
    const auto bang = page(QStringLiteral("http://example.com/#!/shop"));
    const auto route = page(QStringLiteral("http://example.com/#/shop"));
    const auto root = page(QStringLiteral("http://example.com/"));
    seo.add(bang);
    EXPECT_FALSE(seo.duplicateCheck(*route));
    EXPECT_FALSE(seo.duplicateCheck(*root));
    seo.add(route);
    seo.add(root);
    EXPECT_EQ(seo.internalPagesCollection().size(), 3u);
}

TEST_F(RecordingEngineSEOTest, DuplicateCheckHasNoSideEffect)
{
    const auto a = page(QStringLiteral("http://example.com/a"));
    EXPECT_FALSE(seo.duplicateCheck(*a));
    EXPECT_FALSE(seo.duplicateCheck(*a));
    EXPECT_TRUE(seo.internalPagesCollection().empty());
}

TEST_F(RecordingEngineSEOTest, NullPagesAreIgnored)
{
    seo.add(nullptr);
    seo.addWords({ QStringLiteral("teh") }, nullptr);
    EXPECT_TRUE(seo.internalPagesCollection().empty());
    EXPECT_EQ(seo.getMisspelledWordDictionary(), nullptr);
}

TEST_F(RecordingEngineSEOTest, MisspelledWordsAreFiledLowerCaseOncePerListEntry)
{
    EXPECT_EQ(seo.getMisspelledWordDictionary(), nullptr);
    const auto a = page(QStringLiteral("http://example.com/a"));
    const auto b = page(QStringLiteral("http://example.com/b"));
    seo.addWords({ QStringLiteral("Teh"), QStringLiteral("recieve"), QStringLiteral("teh") }, a);
    seo.addWords({ QStringLiteral("RECIEVE") }, b);
    seo.addWords({}, b);

    const auto* table = seo.getMisspelledWordDictionary();
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->size(), 2u);
    ASSERT_TRUE(table->contains(QStringLiteral("teh")));
    EXPECT_EQ(table->at(QStringLiteral("teh")), (CrwlUrlList { a, a }));
    EXPECT_EQ(table->at(QStringLiteral("recieve")), (CrwlUrlList { a, b }));
}

TEST_F(RecordingEngineSEOTest, AnEmptyWordListStillMakesTheTable)
{
    seo.addWords({}, page(QStringLiteral("http://example.com/a")));
    ASSERT_NE(seo.getMisspelledWordDictionary(), nullptr);
    EXPECT_TRUE(seo.getMisspelledWordDictionary()->empty());
}

TEST_F(RecordingEngineSEOTest, ClearForgetsPagesKeysAndWords)
{
    const auto a = page(QStringLiteral("http://example.com/a"));
    seo.add(a);
    seo.addWords({ QStringLiteral("teh") }, a);
    seo.clear();
    EXPECT_TRUE(seo.internalPagesCollection().empty());
    EXPECT_FALSE(seo.duplicateCheck(*a));
    EXPECT_EQ(seo.getMisspelledWordDictionary(), nullptr);
    seo.add(a);
    EXPECT_EQ(seo.internalPagesCollection().size(), 1u);
}

TEST_F(RecordingEngineSEOTest, SummariesCarryNoTallyLines)
{
    seo.add(page(QStringLiteral("http://example.com/a")));
    EXPECT_EQ(seo.getShortSummary(), QString());
    EXPECT_EQ(seo.getShortSummaryAsCSV(), QStringLiteral("count,test\n"));
    EXPECT_TRUE(seo.getDuplicates().empty());
    EXPECT_TRUE(seo.getImageCollection().empty());
}

TEST_F(RecordingEngineSEOTest, UsableThroughTheEngineInterface)
{
    std::unique_ptr<EngineSEOService> service = std::make_unique<RecordingEngineSEO>();
    const auto a = page(QStringLiteral("http://example.com/a"));
    service->add(a);
    EXPECT_TRUE(service->duplicateCheck(*page(QStringLiteral("http://example.com/a#x"))));
    service->clear();
    EXPECT_FALSE(service->duplicateCheck(*a));
}

} // namespace
