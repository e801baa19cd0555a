// CrwlRTFParser over the committed RTF fixture and small texts: both quoting forms of the field
// instruction, "&amp;", trimming, the field result as link text, and broken fields.
#include "parsing/CrwlRTFParser.h"

#include "parsing/DocumentParserTestSupport.h"
#include "parsing/detail/DocumentText.h"
#include "support/Fixtures.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using crawlmere::test::ExactBuffer;
using crawlmere::test::readFixture;
using crawlmere::test::parsing::drain;
using crawlmere::test::parsing::Links;

namespace {

Links linksOf(std::string_view rtf)
{
    const ExactBuffer buffer(rtf);
    std::unique_ptr<CrwlRTFParser> parser = CrwlRTFParser::initWithData(buffer.bytes());
    EXPECT_TRUE(parser);
    return parser ? drain(*parser) : Links {};
}

} // namespace

TEST(CrwlRTFParserTest, FixtureFieldsWithTheirResults)
{
    const ExactBuffer buffer(readFixture(QStringLiteral("documents/links.rtf")));
    std::unique_ptr<CrwlRTFParser> parser = CrwlRTFParser::initWithData(buffer.bytes());
    ASSERT_TRUE(parser);
    EXPECT_EQ(parser->getLinkText(), QStringLiteral(""));

    const Links expected {
        { QStringLiteral("http://example.com/rtf-one"), QStringLiteral("First RTF link") },
        // "&quot;" quoting, "&amp;" decoded.
        { QStringLiteral("http://example.com/rtf?x=1&y=2"), QStringLiteral("Quoted form") },
        // Lower-case keyword; quotes and spaces around the URL trimmed.
        { QStringLiteral("http://example.com/trimmed"), QStringLiteral("Lower case") },
        // A tooltip switch stays out of the text. The empty field yields nothing.
        { QStringLiteral("http://example.com/tip"), QStringLiteral("With a tip") },
        { QStringLiteral("mailto:a@example.com"), QStringLiteral("Mail us") },
    };
    Links links;
    while (const std::optional<QString> href = parser->getNextHref()) {
        EXPECT_EQ(parser->getData(), parser->getLinkText());
        links.emplace_back(*href, parser->getLinkText());
    }
    EXPECT_EQ(links, expected);
    EXPECT_FALSE(parser->getNextHref());
    EXPECT_EQ(parser->getLength(), 0) << "an RTF parser keeps no page bytes";
}

TEST(CrwlRTFParserTest, FormsInAnyOrderAndBrokenFields)
{
    // A "&quot;" field before a plain one keeps its place.
    EXPECT_EQ(linksOf(R"({\field{\*\fldinst HYPERLINK &quot;http://a.example/&quot;}{\fldrslt A}}
{\field{\*\fldinst HYPERLINK "http://b.example/"}{\fldrslt B}})"),
        (Links { { QStringLiteral("http://a.example/"), QStringLiteral("A") },
            { QStringLiteral("http://b.example/"), QStringLiteral("B") } }));

    // No field result: the empty text.
    EXPECT_EQ(linksOf(R"({\field{\*\fldinst HYPERLINK "http://c.example/"}})"),
        (Links { { QStringLiteral("http://c.example/"), QStringLiteral("") } }));

    // A field whose closing quote is missing ends the search.
    EXPECT_EQ(linksOf(R"({\field{\*\fldinst HYPERLINK "http://d.example/}{\fldrslt D}})"), Links {});

    // Only quotes and spaces: nothing.
    EXPECT_EQ(linksOf(R"(HYPERLINK " '' " HYPERLINK "")"), Links {});

    // The text ends at the first closing brace behind the result, or runs to the end.
    EXPECT_EQ(linksOf(R"(HYPERLINK "http://e.example/" \fldrslt {\b Bold} tail)"),
        (Links { { QStringLiteral("http://e.example/"), QStringLiteral("Bold") } }));
    EXPECT_EQ(linksOf(R"(HYPERLINK "http://f.example/" \fldrslt Plain words)"),
        (Links { { QStringLiteral("http://f.example/"), QStringLiteral("Plain words") } }));

    // Text without any field, and empty text.
    EXPECT_EQ(linksOf(R"({\rtf1 nothing here})"), Links {});
    EXPECT_EQ(linksOf(""), Links {});
}

TEST(CrwlRTFParserTest, AResultLeftOpenEndsAtTheNextFieldAndALongOneIsCut)
{
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
    const QString words = QStringLiteral("word ").repeated(400);
    const struct {
        QString rtf;
        Links links;
    } cases[] = {
        // The first result is never closed: it stops at the second field.
        { R"(HYPERLINK "http://a.example/" \fldrslt A words HYPERLINK "http://b.example/" \fldrslt B})",
            { { "http://a.example/", "A words" }, { "http://b.example/", "B" } } },
        // A field without a result of its own does not take the next field's.
        { R"({\field{\*\fldinst HYPERLINK "http://c.example/"}}{\field{\*\fldinst HYPERLINK "http://d.example/"}{\fldrslt D}})",
            { { "http://c.example/", "" }, { "http://d.example/", "D" } } },
        // Long texts keep their first 998 characters, never half a character.
        { R"(HYPERLINK "http://e.example/" \fldrslt )" + words + u'}',
            { { "http://e.example/", words.trimmed().left(998) } } },
        { R"(HYPERLINK "http://f.example/" \fldrslt )" + QString(20000, u'x'),
            { { "http://f.example/", QString(998, u'x') } } },
        { R"(HYPERLINK "http://g.example/" \fldrslt \b a)" + emoji.repeated(1000) + u'}',
            { { "http://g.example/", u'a' + emoji.repeated(498) } } },
    };
    for (const auto& c : cases)
        EXPECT_EQ(linksOf(c.rtf.toStdString()), c.links) << c.rtf.left(80).toStdString();
}

TEST(CrwlRTFParserTest, NextOccurrenceAnswersAsAFreshSearchInAnyOrder)
{
    // A search behind an earlier one finds what straddles where that one began.
    const QString text = QStringLiteral("xHYPERLINKyyhyperlink}a}}b");
    crawlmere::parsing::detail::NextOccurrence fields(QLatin1StringView("HYPERLINK"), Qt::CaseInsensitive);
    crawlmere::parsing::detail::NextOccurrence braces(QLatin1StringView("}"), Qt::CaseSensitive);
    for (const qsizetype from : { 5, 0, 13, 2, 12, 22, 1, 26, 24, 23 }) {
        EXPECT_EQ(fields.in(text, from), text.indexOf(QLatin1StringView("hyperlink"), from, Qt::CaseInsensitive))
            << from;
        EXPECT_EQ(braces.in(text, from), text.indexOf(u'}', from)) << from;
    }
}

TEST(CrwlRTFParserTest, BytesThatAreNotUtf8AreReadAsLatin1)
{
    EXPECT_EQ(linksOf("HYPERLINK \"http://example.com/caf\xE9\"}{\\fldrslt Caf\xE9 link}"),
        (Links { { QStringLiteral("http://example.com/caf\u00e9"), QStringLiteral("Caf\u00e9 link") } }));
    EXPECT_FALSE(CrwlRTFParser::initWithData(QByteArray()));
}

TEST(CrwlRTFParserTest, TextRoutines)
{
    EXPECT_EQ(CrwlRTFParser::extractTextFromRTFGuff(u"{\\ul\\cf1  Some   linked\r\ntext }\\par \"quoted {brace"),
        QStringLiteral("Some linkedtext"));
    EXPECT_EQ(CrwlRTFParser::extractTextFromRTFGuff(u""), QStringLiteral(""));

    const QString text = QStringLiteral("xx hyperlink &QUOT;u&quot; HYPERLINK \"v\"");
    const auto first = CrwlRTFParser::firstHYPERLINK_OccurrenceInRTF(text, 0);
    ASSERT_TRUE(first);
    EXPECT_EQ(text.mid(first->urlStart, first->urlEnd - first->urlStart), QStringLiteral("u"));
    EXPECT_EQ(first->closingEnd, first->urlEnd + 6);
    const auto second = CrwlRTFParser::firstHYPERLINK_OccurrenceInRTF(text, first->urlStart + 1);
    ASSERT_TRUE(second);
    EXPECT_EQ(text.mid(second->urlStart, second->urlEnd - second->urlStart), QStringLiteral("v"));
    EXPECT_FALSE(CrwlRTFParser::firstHYPERLINK_OccurrenceInRTF(text, second->urlStart));
    EXPECT_FALSE(CrwlRTFParser::firstHYPERLINK_OccurrenceInRTF(text, text.size() + 5));
}

TEST(CrwlRTFParserTest, ManyFieldsWithoutResultsOrTheOtherForm)
{
    // Neither "\fldrslt" nor the "&quot;" form occurs: each field must not search the rest of
    // the text again for them.
    std::string rtf = "{\\rtf1 ";
    constexpr int kFields = 40000;
    for (int index = 0; index < kFields; ++index)
        rtf += "{\\field{\\*\\fldinst HYPERLINK \"http://example.com/" + std::to_string(index) + "\"}}";
    rtf += "}";
    const Links links = linksOf(rtf);
    ASSERT_EQ(links.size(), static_cast<size_t>(kFields));
    EXPECT_EQ(links.front(), std::make_pair(QStringLiteral("http://example.com/0"), QStringLiteral("")));
    EXPECT_EQ(links.back(), std::make_pair(QStringLiteral("http://example.com/39999"), QStringLiteral("")));
}
