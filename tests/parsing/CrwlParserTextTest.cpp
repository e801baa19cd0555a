#include "parsing/CrwlParser.h"
#include "parsing/detail/EntityTable.h"

#include <gtest/gtest.h>

namespace Encoding = crawlmere::platform::Encoding;

namespace {

QString unescape(const char* utf8) { return CrwlParser::gtm_stringByUnescapingFromHTML(QString::fromUtf8(utf8)); }

} // namespace

TEST(CrwlParserEntities, NamedReferences)
{
    EXPECT_EQ(unescape("&lt;b&gt;"), QStringLiteral("<b>"));
    EXPECT_EQ(unescape("&notin; &not;"), QString::fromUtf8("\xE2\x88\x89 \xC2\xAC"));
    EXPECT_EQ(unescape("&thetasym;"), QString::fromUtf8("\xCF\x91"));
    EXPECT_EQ(unescape("&apos;"), QStringLiteral("'"));
    // Names are case-sensitive: "Amp" is no reference, "AMP" is one of the full table.
    EXPECT_EQ(unescape("&Amp;"), QStringLiteral("&Amp;"));
    EXPECT_EQ(unescape("&AMP;"), QStringLiteral("&"));
    // Two code points, and a character outside the basic plane.
    EXPECT_EQ(unescape("&NotEqualTilde;"), QString::fromUtf8("\xE2\x89\x82\xCC\xB8"));
    EXPECT_EQ(unescape("&Afr;"), QString::fromUtf8("\xF0\x9D\x94\x84"));
    // The longest name of the table.
    EXPECT_EQ(unescape("&CounterClockwiseContourIntegral;"), QString::fromUtf8("\xE2\x88\xB3"));
    EXPECT_EQ(crawlmere::parsing::detail::namedEntityCount(), 2125u);
}

TEST(CrwlParserEntities, MalformedReferencesStayAsWritten)
{
    EXPECT_EQ(unescape("fish &amp chips"), QStringLiteral("fish &amp chips")) << "no semicolon";
    EXPECT_EQ(unescape("a &amp b;"), QStringLiteral("a &amp b;")) << "the semicolon ends another word";
    EXPECT_EQ(unescape("&nosuchname;"), QStringLiteral("&nosuchname;"));
    EXPECT_EQ(unescape("&;"), QStringLiteral("&;"));
    EXPECT_EQ(unescape("&a;"), QStringLiteral("&a;")) << "shorter than 4 characters";
    EXPECT_EQ(unescape("&ThisNameIsFarTooLongToBeAnyReference;"), QStringLiteral("&ThisNameIsFarTooLongToBeAnyReference;"));
    EXPECT_EQ(unescape("&&lt;"), QStringLiteral("&<"));
    EXPECT_EQ(unescape("trailing &"), QStringLiteral("trailing &"));
    EXPECT_EQ(unescape("&lt"), QStringLiteral("&lt"));
}

TEST(CrwlParserEntities, NumericReferences)
{
    EXPECT_EQ(unescape("&#65;&#x42;&#X43;"), QStringLiteral("ABC"));
    EXPECT_EQ(unescape("&#0;"), QStringLiteral("&#0;"));
    EXPECT_EQ(unescape("&#65535;"), QStringLiteral("&#65535;"));
    EXPECT_EQ(unescape("&#128512;"), QStringLiteral("&#128512;"));
    EXPECT_EQ(unescape("&#65534;"), QString(QChar(0xFFFE)));
    EXPECT_EQ(unescape("&#xD800;"), QStringLiteral("&#xD800;")) << "a lone surrogate would make the text invalid";
    EXPECT_EQ(unescape("&#12a;"), QStringLiteral("&#12a;"));
    EXPECT_EQ(unescape("&#x;"), QStringLiteral("&#x;"));
    EXPECT_EQ(unescape("&#99999999999999999999;"), QStringLiteral("&#99999999999999999999;"));
}

TEST(CrwlParserEntities, DecodedAmpersandNeverStartsANewReference)
{
    EXPECT_EQ(unescape("&amp;lt;"), QStringLiteral("&lt;"));
    EXPECT_EQ(unescape("&amp;amp;"), QStringLiteral("&amp;"));
    EXPECT_EQ(unescape("&amp;#65;"), QStringLiteral("&#65;"));
    const QString plain = QStringLiteral("no references here");
    EXPECT_EQ(CrwlParser::unescapeEntities(plain), plain);
}

TEST(CrwlParserText, ByteRunsToStrings)
{
    const std::string_view crlf = "  one\r\n\r\ntwo\tthree  four  ";
    EXPECT_EQ(CrwlParser::unescapedStringFromBuffer(crlf, Encoding::UTF8, /*returnsAreSeparators=*/true),
        QStringLiteral("one two three four"));
    EXPECT_EQ(CrwlParser::unescapedStringFromBuffer(crlf, Encoding::UTF8, /*returnsAreSeparators=*/false),
        QStringLiteral("onetwo\tthree  four"));
    const QString empty = CrwlParser::unescapedStringFromBuffer("", Encoding::UTF8);
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_FALSE(empty.isNull());
    EXPECT_FALSE(CrwlParser::unescapedStringFromBuffer(" \r\n ", Encoding::UTF8).isNull());
    // Decoding falls back when the given encoding fails: invalid UTF-8 reads as ISO 8859-1.
    EXPECT_EQ(CrwlParser::unescapedStringFromBuffer("caf\xE9", Encoding::UTF8), QString::fromUtf8("caf\xC3\xA9"));
    EXPECT_EQ(CrwlParser::unescapedStringFromBuffer("caf\xC3\xA9", Encoding::None), QString::fromUtf8("caf\xC3\xA9"));
    EXPECT_EQ(CrwlParser::unescapedStringFromBuffer("\x93\xFA\x96\x7B", Encoding::ShiftJIS),
        QString::fromUtf8("\xE6\x97\xA5\xE6\x9C\xAC"));
    EXPECT_EQ(CrwlParser::unescapedStringFromBuffer("Tom &amp; Jerry", Encoding::UTF8), QStringLiteral("Tom & Jerry"));
}

TEST(CrwlParserText, CutValueDropsTheSplitCharacter)
{
    // "é" cut after its first byte: without the cut flag the whole run falls back to ISO 8859-1.
    const std::string_view cut = "caf\xC3";
    EXPECT_EQ(CrwlParser::unescapedStringFromBuffer(cut, Encoding::UTF8, false, /*wasCut=*/true), QStringLiteral("caf"));
    EXPECT_EQ(CrwlParser::unescapedStringFromBuffer(cut, Encoding::UTF8, false, /*wasCut=*/false),
        QString::fromUtf8("caf\xC3\x83"));
    // The same in Shift_JIS: a lead byte without its trail byte.
    EXPECT_EQ(CrwlParser::unescapedStringFromBuffer("\x93\xFA\x96", Encoding::ShiftJIS, false, true),
        QString::fromUtf8("\xE6\x97\xA5"));
}

TEST(CrwlParserText, TrimThisCharacter)
{
    std::string buffer = "''a'b''";
    CrwlParser::trimThisCharacter('\'', buffer);
    EXPECT_EQ(buffer, "a'b");
    std::string only = "''''";
    CrwlParser::trimThisCharacter('\'', only);
    EXPECT_EQ(only, "");
    QString text = QStringLiteral("\"\"x\"y\"");
    CrwlParser::trimThisCharacter('"', text);
    EXPECT_EQ(text, QStringLiteral("x\"y"));
}

TEST(CrwlParserText, Srcset)
{
    EXPECT_EQ(CrwlParser::splitSrcsFromSrcset(QStringLiteral("a.jpg 1x, b.jpg 2x, a.jpg 3x")),
        (QStringList { QStringLiteral("a.jpg"), QStringLiteral("b.jpg") }));
    EXPECT_EQ(CrwlParser::splitSrcsFromSrcset(QStringLiteral("\n  a.jpg\t480w ,, b.jpg")),
        (QStringList { QStringLiteral("a.jpg"), QStringLiteral("b.jpg") }));
    EXPECT_TRUE(CrwlParser::splitSrcsFromSrcset(QStringLiteral("data:image/png;base64,AAAA 1x")).isEmpty());
}

TEST(CrwlParserText, InlineStyleUrls)
{
    const auto urls = CrwlParser::extractURLsFromInlineStyles(
        QStringLiteral("background: URL(\"/img/a.png\") no-repeat; list-style: url('b.gif') inside;"));
    ASSERT_TRUE(urls);
    EXPECT_EQ(*urls, (QStringList { QStringLiteral("/img/a.png"), QStringLiteral("b.gif") }));
    // Back to back, with a short first value.
    const auto adjacent = CrwlParser::extractURLsFromInlineStyles(QStringLiteral("x:url(a)url(bb.png) y"));
    ASSERT_TRUE(adjacent);
    EXPECT_EQ(*adjacent, (QStringList { QStringLiteral("a"), QStringLiteral("bb.png") }));
    EXPECT_FALSE(CrwlParser::extractURLsFromInlineStyles(QStringLiteral("behavior: url(#frag) url(%23x) url(data:image/png;base64,AA) url(x.htc);")));
    EXPECT_FALSE(CrwlParser::extractURLsFromInlineStyles(QStringLiteral("color: red")));
    EXPECT_FALSE(CrwlParser::extractURLsFromInlineStyles(QStringLiteral("background: url(unclosed.png")));
    const auto range = CrwlParser::firstURLOccurrenceInStyleSheetSource(QStringLiteral("a url(xy) b"), 0);
    EXPECT_EQ(range.first, 6);
    EXPECT_EQ(range.second, 2);
    EXPECT_EQ(CrwlParser::firstURLOccurrenceInStyleSheetSource(QStringLiteral("url("), 0).first, -1);
}
