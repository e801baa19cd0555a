// CrwlCSSParser over the committed style sheet and small texts: every url() form, @import
// strings, comments, quotes, escapes and the values that are left out.
#include "parsing/CrwlCSSParser.h"

#include "support/Fixtures.h"

#include <gtest/gtest.h>

using crawlmere::test::ExactBuffer;
using crawlmere::test::readFixture;

namespace {

QStringList linksOf(std::string_view css)
{
    const ExactBuffer buffer(css);
    std::unique_ptr<CrwlCSSParser> parser = CrwlCSSParser::initWithData(buffer.bytes());
    EXPECT_TRUE(parser);
    QStringList links;
    if (!parser)
        return links;
    while (const std::optional<QString> href = parser->getNextHref()) {
        EXPECT_EQ(parser->getLinkText(), QStringLiteral("[url in css]"));
        links.append(*href);
    }
    return links;
}

} // namespace

TEST(CrwlCSSParserTest, EveryFormOfTheFixture)
{
    const ExactBuffer buffer(readFixture(QStringLiteral("documents/links.css")));
    std::unique_ptr<CrwlCSSParser> parser = CrwlCSSParser::initWithData(buffer.bytes());
    ASSERT_TRUE(parser);
    EXPECT_EQ(parser->getLinkText(), QStringLiteral("[url in css]"));
    EXPECT_EQ(parser->getLength(), static_cast<qint64>(buffer.size()));

    const QStringList expected {
        QStringLiteral("imported.css"),
        QStringLiteral("plain-import.css"),
        QStringLiteral("double-import.css"),
        // The two comments right behind each other are gone with their url()s.
        QStringLiteral("unquoted.png"),
        QStringLiteral("double quoted.png"),
        QStringLiteral("single-quoted.png"),
        QStringLiteral("spaced.png"),
        // "#fragment" and "fix.htc" are left out; data: is kept.
        QStringLiteral("data:image/png;base64,iVBORw0KGgo="),
        QStringLiteral("image(1).png"),
        QStringLiteral("a)b.png"),
        QStringLiteral("quote\"inside.png"),
        // "%23mask" is left out.
        QStringLiteral("x"),
        QStringLiteral("y"),
        QStringLiteral("caf\u00e9.png"),
        QStringLiteral("font.woff2"),
        QStringLiteral("font.woff"),
        // An unclosed comment and the text behind it stay.
        QStringLiteral("after-unclosed.png"),
    };
    QStringList links;
    while (const std::optional<QString> href = parser->getNextHref())
        links.append(*href);
    EXPECT_EQ(links, expected);
    EXPECT_FALSE(parser->getNextHref());
    EXPECT_EQ(parser->getTitle(), QString());
    EXPECT_EQ(parser->getWordCount(), 0);
}

TEST(CrwlCSSParserTest, CommentsQuotesAndEnds)
{
    EXPECT_EQ(linksOf("/* a url(a.png) *//* b url(b.png) */p{background:url(c.png)}"), QStringList { "c.png" });
    EXPECT_EQ(linksOf("p{background:url(\"d.png\")} q{background:url('e.png')}"), (QStringList { "d.png", "e.png" }));
    // Only a fragment, an empty value, a .htc behaviour: nothing.
    EXPECT_EQ(linksOf("a{b:url(#f)} c{d:url()} e{f:url( '' )} g{behavior:url(x.htc)}"), QStringList {});
    // A value without its closing parenthesis ends the walk.
    EXPECT_EQ(linksOf("a{b:url(first.png)} c{d:url(open.png"), QStringList { "first.png" });
    // An unterminated string is passed over; the next url() still counts.
    EXPECT_EQ(linksOf("a{b:url(\"broken\n.png)} c{d:url(next.png)}"), QStringList { "next.png" });
    // Upper-case keywords; @import with a media list; an escaped line break inside a string.
    EXPECT_EQ(linksOf("@IMPORT 'i.css' print; A{B:URL(u.png)} c{d:url(\"long\\\nname.png\")}"),
        (QStringList { "i.css", "u.png", "longname.png" }));
    // A hex escape of a character outside the basic plane, and an invalid zero escape.
    EXPECT_EQ(linksOf("a{b:url(\\1F600.png)} c{d:url(\\0 .png)}"),
        (QStringList { QStringLiteral("\U0001F600.png"), QStringLiteral("\ufffd.png") }));
    // A url() at the very end, and text with none.
    EXPECT_EQ(linksOf("a{b:url(z)}"), QStringList { "z" });
    EXPECT_EQ(linksOf("p { color: red; }"), QStringList {});
    EXPECT_EQ(linksOf(""), QStringList {});
}

TEST(CrwlCSSParserTest, EncodingsAndMissingData)
{
    // Not UTF-8: read as ISO 8859-1.
    EXPECT_EQ(linksOf("a{b:url(caf\xE9.png)}"), QStringList { QStringLiteral("caf\u00e9.png") });
    testing::internal::CaptureStderr();
    EXPECT_FALSE(CrwlCSSParser::initWithData(QByteArray()));
    testing::internal::GetCapturedStderr();
}

TEST(CrwlCSSParserTest, CommentRemoval)
{
    EXPECT_EQ(CrwlCSSParser::removeComments(QStringLiteral("a/* x */b/* y */c")), QStringLiteral("abc"));
    EXPECT_EQ(CrwlCSSParser::removeComments(QStringLiteral("a/* x *//* y */b")), QStringLiteral("ab"));
    EXPECT_EQ(CrwlCSSParser::removeComments(QStringLiteral("a/* x */b/* open")), QStringLiteral("ab/* open"));
    EXPECT_EQ(CrwlCSSParser::removeComments(QStringLiteral("a/*/b")), QStringLiteral("a/*/b"));
    EXPECT_EQ(CrwlCSSParser::removeComments(QStringLiteral("/**/")), QStringLiteral(""));
}

TEST(CrwlCSSParserTest, TheLinkCapHolds)
{
    bool capReached = false;
    const QStringList links = CrwlCSSParser::linksInStyleSheet(u"url(a) url(b) url(#c) url(d)", 2, &capReached);
    EXPECT_EQ(links, (QStringList { "a", "b" }));
    EXPECT_TRUE(capReached);
    capReached = true;
    EXPECT_EQ(CrwlCSSParser::linksInStyleSheet(u"url(a) url(#c)", 2, &capReached), QStringList { "a" });
    EXPECT_FALSE(capReached);
}

TEST(CrwlCSSParserTest, SheetsOfManyValuesAreReadInOnePass)
{
    // Each sheet repeats one piece 250,000 times, past the cap of 200,000 links. Searched again
    // from every value to the end of the text, as each of these once was (for "@import", for
    // "url(", for the ")" behind a quoted value), they took hours; read once, a moment.
    constexpr int kRepeats = 250000;
    const struct {
        const char* name;
        const char* piece;
        const char* link;
    } cases[] = {
        { "unquoted values, no @import", "a{b:url(p.png)}\n", "p.png" },
        { "@import strings, no url()", "@import 'i.css';", "i.css" },
        { "quoted values, no closing parenthesis", "x{y:url('q.png' ", "q.png" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString sheet = QString::fromLatin1(c.piece).repeated(kRepeats);
        bool capReached = false;
        const QStringList links = CrwlCSSParser::linksInStyleSheet(sheet, 200000, &capReached);
        EXPECT_EQ(links.size(), 200000);
        EXPECT_EQ(links.count(QString::fromLatin1(c.link)), 200000);
        EXPECT_TRUE(capReached);
    }
    // Values of every kind after one another are each found once, in order.
    // A quoted value's ")" is looked for behind it: the unquoted value before that ")" is
    // passed over, as it always was.
    QString mixed;
    for (int i = 1; i <= 3; ++i)
        mixed += QStringLiteral("@import 'i%1.css'; a{b:url(\"d%1\" c{d:url(u%1)} e{f:url(g%1)}").arg(i);
    EXPECT_EQ(CrwlCSSParser::linksInStyleSheet(mixed, 20),
        (QStringList { "i1.css", "d1", "g1", "i2.css", "d2", "g2", "i3.css", "d3", "g3" }));
}
