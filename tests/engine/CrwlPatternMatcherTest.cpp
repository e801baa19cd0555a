// Rule-term matching, regular-expression application and the rule-list matcher.
#include "engine/CrwlPatternMatcher.h"
#include "engine/CrwlTermIndex.h"
#include "engine/CrwlTermsMatcher.h"
#include "support/LogCapture.h"

#include <QtGlobal>
#include <gtest/gtest.h>

#include <ostream>
#include <string>

using crawlmere::test::LogCapture;

namespace {

struct MatchCase {
    const char* name;
    QString string;
    QString term;
    bool allowWildcards;
    bool caseInSensitive;
    bool literal;
    bool expected;
};

void PrintTo(const MatchCase& c, std::ostream* os) { *os << c.name; }

class MatchesPattern : public testing::TestWithParam<MatchCase> { };

TEST_P(MatchesPattern, GivesExpectedResult)
{
    const MatchCase& c = GetParam();
    EXPECT_EQ(
        CrwlPatternMatcher::stringMatchesPattern(c.string, c.term, c.allowWildcards, c.caseInSensitive, c.literal),
        c.expected)
        << "string \"" << c.string.toStdString() << "\" term \"" << c.term.toStdString() << "\"";
    // An indexed list of the one term answers the same (a list skips terms shorter than 2).
    if (c.allowWildcards && c.caseInSensitive && c.literal) {
        EXPECT_EQ(CrwlTermIndex(QStringList { c.term }).matches(c.string), c.expected && c.term.size() >= 2);
    }
}

const QString kNull;

// clang-format off
INSTANTIATE_TEST_SUITE_P(Terms, MatchesPattern, testing::Values(
    // Plain containment, case-insensitive by default.
    MatchCase { "contains", "http://h.com/blog/post", "/blog/", true, true, true, true },
    MatchCase { "containsOtherCase", "http://h.com/BLOG/post", "/blog/", true, true, true, true },
    MatchCase { "caseSensitiveMisses", "http://h.com/BLOG/post", "/blog/", true, false, true, false },
    MatchCase { "missing", "http://h.com/shop/", "/blog/", true, true, true, false },
    MatchCase { "emptyTermNeverMatches", "http://h.com/", "", true, true, true, false },
    MatchCase { "nullStringNeverMatches", kNull, "h.com", true, true, true, false },

    // Negation, as the directory scope builds it: "!" plus a directory path.
    MatchCase { "negatedDirectoryOutside", "http://h.com/shop/item.html", "!http://h.com/blog/", true, true, true, true },
    MatchCase { "negatedDirectoryInside", "http://h.com/blog/item.html", "!http://h.com/blog/", true, true, true, false },
    MatchCase { "negatedDirectoryInsideOtherCase", "HTTP://H.COM/Blog/x", "!http://h.com/blog/", true, true, true, false },
    MatchCase { "negatedNullString", kNull, "!blog", true, true, true, true },
    MatchCase { "bangAloneMatchesAnything", "http://h.com/", "!", true, true, true, true },
    MatchCase { "bangAloneMatchesNull", kNull, "!", true, true, true, true },
    MatchCase { "bangAloneWithoutWildcards", "", "!", false, false, true, true },

    // "*" with a trailing "$": the last piece must end the string.
    MatchCase { "extensionAtEnd", "http://h.com/files/report.pdf", "*.pdf$", true, true, true, true },
    MatchCase { "extensionAtEndOtherCase", "http://h.com/files/REPORT.PDF", "*.pdf$", true, true, true, true },
    MatchCase { "extensionBeforeQuery", "http://h.com/files/report.pdf?x=1", "*.pdf$", true, true, true, false },
    MatchCase { "extensionEarlierAndAtEnd", "http://h.com/a.pdf/b.pdf", "*.pdf$", true, true, true, true },
    MatchCase { "anchoredCaseSensitive", "http://h.com/REPORT.PDF", "*.pdf$", true, false, true, false },
    MatchCase { "negatedAnchored", "http://h.com/a.jpg", "!*.jpg$", true, true, true, false },
    MatchCase { "negatedAnchoredOther", "http://h.com/a.png", "!*.jpg$", true, true, true, true },
    // The anchored piece must lie after the piece before it, not overlap it.
    MatchCase { "anchoredAfterPrevious", "xabc", "*abc*bc$", true, true, true, false },
    MatchCase { "anchoredAfterPreviousFound", "xabcbc", "*abc*bc$", true, true, true, true },
    // An empty or "/" last piece leaves nothing to anchor.
    MatchCase { "anchorOnEmptyLastPiece", "http://h.com/a.php?id=1", "*.php*$", true, true, true, true },
    MatchCase { "anchorOnSlashLastPiece", "http://h.com/a.php?id=1", "*.php*/$", true, true, true, true },

    // "$" without "*" is ordinary text.
    MatchCase { "dollarWithoutStarAtEnd", "http://h.com/a.pdf", ".pdf$", true, true, true, false },
    MatchCase { "dollarWithoutStarLiteral", "http://h.com/price$.pdf$x", ".pdf$", true, true, true, true },
    MatchCase { "dollarWithoutWildcards", "http://h.com/a.pdf", "*.pdf$", false, true, true, false },

    // Pieces in order, no implicit anchoring at the start.
    MatchCase { "piecesInOrder", "http://h.com/cat/shoes/red", "cat*red", true, true, true, true },
    MatchCase { "piecesOutOfOrder", "http://h.com/red/shoes/cat", "cat*red", true, true, true, false },
    MatchCase { "piecesNotOverlapping", "http://h.com/abc", "abc*bc", true, true, true, false },
    MatchCase { "noStartAnchor", "http://h.com/blog/", "blog*", true, true, true, true },
    MatchCase { "starAloneMatches", "anything", "*", true, true, true, true },
    MatchCase { "starsAloneMatchEmpty", "", "**$", true, true, true, true },
    MatchCase { "starAloneNullString", kNull, "*", true, true, true, false },

    // Lone "/" pieces are skipped: only the other pieces are needed.
    MatchCase { "slashPieceSkipped", "http://h.com/blog2020", "blog*/*2020", true, true, true, true },
    MatchCase { "slashPiecesOnlyMatch", "nothing-with-a-slash", "*/*/*", true, true, true, true },
    MatchCase { "slashInsideLongerPieceIsNeeded", "http://h.com/blog2020", "blog*/2020", true, true, true, false },

    // Wildcards off: "*" is ordinary text.
    MatchCase { "starLiteralWithoutWildcards", "xa*by", "a*b", false, true, true, true },
    MatchCase { "starNotWildWithoutWildcards", "axb", "a*b", false, true, true, false },

    // Percent-decoded retry, only for terms without "*".
    MatchCase { "decodedRetry", "http://h.com/caf%C3%A9/menu", "/café/", true, true, true, true },
    MatchCase { "decodedRetrySpace", "http://h.com/a%20b", "a b", true, true, true, true },
    MatchCase { "decodedRetryNegated", "http://h.com/a%20b", "!a b", true, true, true, false },
    MatchCase { "decodedRetryWithoutWildcards", "http://h.com/a%2Ab", "a*b", false, true, true, true },
    MatchCase { "noDecodedRetryWithStar", "http://h.com/caf%C3%A9/menu", "*/café/", true, true, true, false },
    MatchCase { "badEncodingNoRetry", "http://h.com/%zz/a b", "a%20b", true, true, true, false },
    MatchCase { "badEncodingFails", "http://h.com/100%/a%20b", "a b", true, true, true, false },

    // Literal off compares canonical decompositions.
    MatchCase { "composedVsDecomposedLiteral", "http://h.com/caf\u00e9", "cafe\u0301", true, true, true, false },
    MatchCase { "composedVsDecomposedNotLiteral", "http://h.com/caf\u00e9", "cafe\u0301", true, true, false, true },
    MatchCase { "notLiteralWildcards", "http://h.com/CAFE\u0301/x.pdf", "caf\u00e9*.pdf$", true, true, false, true }
), [](const testing::TestParamInfo<MatchCase>& param) { return std::string(param.param.name); });
// clang-format on

TEST(TermIndex, AnswersAsTheListLookupDoesForManyOverlappingTerms)
{
    QStringList terms;
    for (int i = 0; i < 3000; ++i)
        terms.append(QStringLiteral("http://h.com/p%1/").arg(i * 7));
    terms << QStringLiteral("shoes/red") << QStringLiteral("hoes/blue") << QStringLiteral("es/green")
          << QStringLiteral("http://h.com/*.pdf$") << QStringLiteral("cat*dog") << QStringLiteral("/café/");
    const CrwlTermIndex index(terms);
    const QStringList negated { QStringLiteral("!shop"), QStringLiteral("!*.jpg$"), QStringLiteral("!a*b") };
    const CrwlTermIndex negatedIndex(negated);
    for (const char16_t* text : { u"http://h.com/p14/x", u"http://h.com/p15/x", u"http://h.com/P2093/", u"http://h.com/p209/",
             u"http://h.com/shoes/blue", u"http://h.com/shoes/gree", u"http://h.com/shoes/green", u"http://h.com/x.PDF",
             u"http://h.com/x.pdf?a", u"http://h.com/dog/cat", u"http://h.com/cat/dog", u"http://h.com/caf%C3%A9/",
             u"http://h.com/shop/a.jpg", u"http://h.com/shop/ab.jpg", u"http://h.com/shop/b.png" }) {
        const QString string = QString::fromUtf16(text);
        EXPECT_EQ(index.matches(string), !CrwlTermsMatcher::stringContainsOneOfTheseTerms(string, terms).isEmpty())
            << string.toStdString();
        EXPECT_EQ(negatedIndex.matches(string), !CrwlTermsMatcher::stringContainsOneOfTheseTerms(string, negated).isEmpty())
            << string.toStdString();
    }
}

TEST(ApplyRegex, WholeMatchesWithoutGroups)
{
    EXPECT_EQ(CrwlPatternMatcher::applyRegex("\\d+", u"a1b22c333"), (QStringList { "1", "22", "333" }));
}

TEST(ApplyRegex, GroupsAreJoinedPerMatch)
{
    EXPECT_EQ(CrwlPatternMatcher::applyRegex("(\\w)=(\\d)", u"a=1, b=2"), (QStringList { "a1", "b2" }));
    // A group that took no part adds nothing.
    EXPECT_EQ(CrwlPatternMatcher::applyRegex("(x)?(y)", u"y xy"), (QStringList { "y", "xy" }));
    // The warning-cleaning pattern: only the slash and column.
    EXPECT_EQ(CrwlPatternMatcher::applyRegex("at line \\d+(/\\d+).", u"bad tag at line 12/7."), (QStringList { "/7" }));
}

TEST(ApplyRegex, CaseInsensitiveAndDotMatchesLineBreaks)
{
    EXPECT_EQ(CrwlPatternMatcher::applyRegex("ABC", u"xabcx"), (QStringList { "abc" }));
    EXPECT_EQ(CrwlPatternMatcher::applyRegex("a.b", u"a\nb"), (QStringList { "a\nb" }));
    EXPECT_EQ(
        CrwlPatternMatcher::applyRegex("a.b", u"a\u2028b"), (QStringList { QStringView(u"a\u2028b").toString() }));
    // Anchors refer to the whole text, not to lines.
    EXPECT_TRUE(CrwlPatternMatcher::applyRegex("^b", u"a\nb").isEmpty());
}

TEST(ApplyRegex, NothingForNoMatchOrNullString)
{
    EXPECT_TRUE(CrwlPatternMatcher::applyRegex("zzz", u"abc").isEmpty());
    EXPECT_TRUE(CrwlPatternMatcher::applyRegex("a", QStringView()).isEmpty());
    // An empty (not null) text can still match an empty pattern.
    EXPECT_EQ(CrwlPatternMatcher::applyRegex("^$", QStringView(u"")), (QStringList { "" }));
}

TEST(ApplyRegex, InvalidPatternGivesNothingAndLogsEveryTime)
{
    LogCapture log;
    EXPECT_TRUE(CrwlPatternMatcher::applyRegex("(abc", u"abc").isEmpty());
    EXPECT_TRUE(CrwlPatternMatcher::applyRegex("(abc", u"abc").isEmpty());
    EXPECT_TRUE(CrwlPatternMatcher::applyRegex("(abc", QStringView()).isEmpty());
    EXPECT_EQ(log.count("error in regex: "), 3) << log.lines().join('\n').toStdString();
}

TEST(ApplyRegex, ManyPatternsInTurnKeepTheirOwnResults)
{
    // More patterns than the compiled-expression cache holds, cycled twice.
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 20; ++i) {
            const QString pattern = QStringLiteral("n%1x").arg(i);
            const QString text = QStringLiteral("n%1x n%2x N%1X").arg(i).arg(i + 1);
            EXPECT_EQ(CrwlPatternMatcher::applyRegex(pattern, text), (QStringList { pattern, pattern.toUpper() }))
                << pattern.toStdString();
        }
    }
}

TEST(ApplyRegex, ResultsAreCapped)
{
    const QString text(CrwlPatternMatcher::maxRegexResults + 10, u'a');
    EXPECT_EQ(CrwlPatternMatcher::applyRegex("a", text).size(), CrwlPatternMatcher::maxRegexResults);
}

TEST(TermsMatcher, CollectsMatchingTermsInListOrder)
{
    const QStringList terms { "zz", "/shop/", "*.pdf$", "h.com" };
    EXPECT_EQ(CrwlTermsMatcher::stringContainsOneOfTheseTerms(u"http://h.com/shop/a.pdf", terms),
        (QStringList { "/shop/", "*.pdf$", "h.com" }));
    EXPECT_TRUE(CrwlTermsMatcher::stringContainsOneOfTheseTerms(u"http://other.org/", terms).isEmpty());
}

TEST(TermsMatcher, SkipsOneCharacterTerms)
{
    EXPECT_TRUE(CrwlTermsMatcher::stringContainsOneOfTheseTerms(u"http://h.com/a", { "h", "/", "!", "" }).isEmpty());
    EXPECT_EQ(
        CrwlTermsMatcher::stringContainsOneOfTheseTerms(u"http://h.com/a", { "h", "/a", "!" }), (QStringList { "/a" }));
    // A two-character negated term takes part.
    EXPECT_EQ(CrwlTermsMatcher::stringContainsOneOfTheseTerms(u"http://h.com/a", { "!q" }), (QStringList { "!q" }));
}

TEST(TermsMatcher, EmptyListOrNullStringGivesNothing)
{
    EXPECT_TRUE(CrwlTermsMatcher::stringContainsOneOfTheseTerms(u"http://h.com/", {}).isEmpty());
    EXPECT_TRUE(CrwlTermsMatcher::stringContainsOneOfTheseTerms(u"http://h.com/", {}, /*isRegex=*/true).isEmpty());
    EXPECT_TRUE(CrwlTermsMatcher::stringContainsOneOfTheseTerms(QStringView(), { "h.com" }).isEmpty());
}

TEST(TermsMatcher, PassesCaseAndLiteralOptions)
{
    EXPECT_EQ(
        CrwlTermsMatcher::stringContainsOneOfTheseTerms(u"http://H.COM/", { "h.com" }), (QStringList { "h.com" }));
    EXPECT_TRUE(CrwlTermsMatcher::stringContainsOneOfTheseTerms(
        u"http://H.COM/", { "h.com" }, /*isRegex=*/false, /*caseInSensitive=*/false)
                    .isEmpty());
    EXPECT_EQ(CrwlTermsMatcher::stringContainsOneOfTheseTerms(
                  u"caf\u00e9", { "cafe\u0301" }, /*isRegex=*/false, /*caseInSensitive=*/true, /*literal=*/false),
        (QStringList { "cafe\u0301" }));
}

TEST(TermsMatcher, RegexModeUsesOnlyTheFirstTerm)
{
    EXPECT_EQ(CrwlTermsMatcher::stringContainsOneOfTheseTerms(u"abbbc", { "B+", "zzz" }, /*isRegex=*/true),
        (QStringList { "bbb" }));
    // A later term that would match is never tried.
    EXPECT_TRUE(CrwlTermsMatcher::stringContainsOneOfTheseTerms(u"abc", { "zzz", "abc" }, /*isRegex=*/true).isEmpty());
    // No length rule in regex mode.
    EXPECT_EQ(
        CrwlTermsMatcher::stringContainsOneOfTheseTerms(u"abc", { "b" }, /*isRegex=*/true), (QStringList { "b" }));
    // Case flag does not apply to expressions.
    EXPECT_EQ(
        CrwlTermsMatcher::stringContainsOneOfTheseTerms(u"ABC", { "abc" }, /*isRegex=*/true, /*caseInSensitive=*/false),
        (QStringList { "ABC" }));
}

TEST(TermsMatcher, RegexModeInvalidFirstTermGivesNothing)
{
    LogCapture log;
    EXPECT_TRUE(
        CrwlTermsMatcher::stringContainsOneOfTheseTerms(u"abc", { "[abc", "abc", "b" }, /*isRegex=*/true).isEmpty());
    EXPECT_EQ(log.count("error in regex: "), 1);
}

} // namespace
