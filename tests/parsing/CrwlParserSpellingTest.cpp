// The page text checks over a fake checker: web addresses, case-distinct words, the grammar cap
// and a throwing checker, keyword stuffing and its threshold.
#include "parsing/CrwlParser.h"
#include "parsing/detail/ParserDefaults.h"
#include "platform/FakeSpellChecker.h"

#include <gtest/gtest.h>

using crawlmere::platform::GrammarDetail;
using crawlmere::platform::SpellRange;

namespace {

using FakeChecker = crawlmere::test::FakeSpellChecker;

std::unique_ptr<CrwlParser> pageWithText(const QString& text, FakeChecker& checker)
{
    CrwlParser::Options options;
    options.allowNoLinks = true;
    auto parser
        = CrwlParser::initWithData(QStringLiteral("<html><body><p>%1</p></body></html>").arg(text).toUtf8(), options);
    parser->setSpellChecker(&checker);
    return parser;
}

} // namespace

TEST(CrwlParserSpelling, WebAddressTable)
{
    const struct {
        const char16_t* word;
        bool isAddress;
    } cases[] = {
        { u"", false },
        { u"word", false },
        { u"a://b", true },
        { u"example.com", true },
        { u"a:b;", true },
        { u"a:b", false },
        { u"a\u0001b", true },
        { u"\u00e9\u00e9", true },
        { u"\u00e9e", false },
        { u"\u00e9\u00e9e", true },
        { u"a-b", false },
        { u"a-b-c", true },
    };
    for (const auto& c : cases)
        EXPECT_EQ(CrwlParser::isWebAddress(QString::fromUtf16(c.word)), c.isAddress)
            << QString::fromUtf16(c.word).toStdString();
}

TEST(CrwlParserSpelling, CountWalkAndDistinctWords)
{
    FakeChecker checker;
    checker.misspelled
        = { QStringLiteral("Teh"), QStringLiteral("teh"), QStringLiteral("a.b"), QStringLiteral("x--y") };
    auto parser = pageWithText(QStringLiteral("a.b Teh ok teh x--y Teh"), checker);
    EXPECT_EQ(parser->getSpellingCount(), 3);
    EXPECT_EQ(parser->getSpellingCursor(), 23);
    EXPECT_EQ(parser->getAllSpelling(), (QStringList { QStringLiteral("Teh"), QStringLiteral("teh") }));

    EXPECT_EQ(parser->getFirstSpelling(), (SpellRange { 4, 3 }));
    EXPECT_EQ(parser->getNextSpelling(), (SpellRange { 11, 3 }));
    parser->spellingCursorBackTo({}); // not found: the cursor stays
    EXPECT_EQ(parser->getNextSpelling(), (SpellRange { 20, 3 }));
    EXPECT_FALSE(parser->getNextSpelling().found());
    parser->spellingCursorBackTo({ 4, 3 });
    EXPECT_EQ(parser->getNextSpelling(), (SpellRange { 11, 3 }));

    auto addressesOnly = pageWithText(QStringLiteral("a.b x--y"), checker);
    EXPECT_EQ(addressesOnly->getSpellingCount(), 0);
    EXPECT_FALSE(addressesOnly->getFirstSpelling().found());
}

TEST(CrwlParserSpelling, GrammarCapThrowAndDetails)
{
    FakeChecker checker;
    QString text;
    for (int i = 0; i < 150; ++i)
        text += QStringLiteral("!! ");
    auto parser = pageWithText(text, checker);
    EXPECT_EQ(parser->getGrammarCount(), 100);

    checker.grammarChecks = 0;
    checker.throwAt = 7;
    EXPECT_EQ(parser->getGrammarCount(), 6);

    checker.throwAt = 0;
    EXPECT_EQ(parser->getFirstGrammar(), (SpellRange { 0, 2 }));
    EXPECT_EQ(parser->getNextGrammar(), (SpellRange { 3, 2 }));
    ASSERT_TRUE(parser->getGrammarDetails());
    EXPECT_EQ(parser->getGrammarDetails()->constFirst().rule, QStringLiteral("bang"));

    auto empty = pageWithText(QString(), checker);
    EXPECT_EQ(empty->getGrammarCount(), 0);
    EXPECT_EQ(empty->getSpellingCount(), 0);
    EXPECT_FALSE(empty->isKeywordStuffed());
}

TEST(CrwlParserSpelling, KeywordStuffing)
{
    namespace detail = crawlmere::parsing::detail;
    FakeChecker checker;
    // 100 words: `word` × times, "With" × 10 and 3-letter words × 10, fillers for the rest.
    const auto page = [&](const QString& word, int times) {
        QStringList words;
        for (int i = 0; i < times; ++i)
            words << word;
        for (int i = 0; i < 10; ++i)
            words << QStringLiteral("With") << QStringLiteral("cat");
        while (words.size() < 100)
            words << QStringLiteral("filler%1").arg(words.size());
        return pageWithText(words.join(u' '), checker);
    };
    detail::setParserDefault(QStringLiteral("maxKeywordDensity"), QVariant());
    EXPECT_FALSE(page(QStringLiteral("Keyword"), 5)->isKeywordStuffed());
    EXPECT_TRUE(page(QStringLiteral("Keyword"), 6)->isKeywordStuffed());
    EXPECT_FALSE(page(QStringLiteral("cat"), 0)->isKeywordStuffed()); // stop words and short words
    detail::setParserDefault(QStringLiteral("maxKeywordDensity"), QStringLiteral("6.0"));
    EXPECT_FALSE(page(QStringLiteral("Keyword"), 7)->isKeywordStuffed());
    EXPECT_TRUE(page(QStringLiteral("Keyword"), 8)->isKeywordStuffed());
    detail::setParserDefault(QStringLiteral("maxKeywordDensity"), QVariant());
}
