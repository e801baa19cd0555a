// Keyword density counting: the stop words, the phrase rule, the threshold and the listing order.
#include "reports/KeywordAnalysis.h"

#include <gtest/gtest.h>

using crawlmere::reports::KeywordAnalysis;

namespace {

TEST(KeywordAnalysisTest, CountsWordsAndPhrasesByTheirRules)
{
    // "The" and "And" start and end phrases; "the" in the middle of a phrase is not tested.
    const KeywordAnalysis analysis(QStringLiteral("The garden. And The garden, gate|of the house (gate) of the house once"),
        6.0F);
    EXPECT_EQ(analysis.pageWordCount(), 14);
    EXPECT_EQ(analysis.listing(1).phrases, (QStringList { "garden", "gate", "house" }));
    EXPECT_EQ(analysis.listing(1).counts.value("the"), 0); // a stop word, whatever its case
    EXPECT_FALSE(analysis.listing(1).phrases.contains("once")); // counted once
    EXPECT_EQ(analysis.listing(2).counts.value("the garden"), 2);
    EXPECT_EQ(analysis.listing(2).counts.value("and the"), 1);
    EXPECT_EQ(analysis.listing(3).counts.value("gate of the"), 0); // "the" ends it
    EXPECT_EQ(analysis.listing(4).counts.value("gate of the house"), 2);
    EXPECT_EQ(analysis.listing(4).phrases, QStringList { "gate of the house" });
}

TEST(KeywordAnalysisTest, ThresholdMarksLeadingPhrasesAndOnePageWordCountsOnlySingles)
{
    const auto text = [](int repeats) {
        QStringList words;
        for (int i = 0; i < 200; ++i)
            words << (i < repeats ? QStringLiteral("widget") : QStringLiteral("w%1x").arg(i));
        return words.join(u' ');
    };
    EXPECT_EQ(KeywordAnalysis(text(12), 6.0F).listing(1).keywordCount, 0); // 12 is not above 12.0
    const KeywordAnalysis above(text(13), 6.0F);
    EXPECT_EQ(above.listing(1).keywordCount, 1);
    EXPECT_EQ(above.densityText(1, "widget"), "6.50");
    const KeywordAnalysis one(QStringLiteral("alone"), 6.0F);
    EXPECT_EQ(one.listing(1).counts.value("alone"), 1);
    EXPECT_TRUE(one.listing(2).counts.isEmpty());
}

} // namespace
