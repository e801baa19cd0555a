#include "platform/Strings.h"

#include <gtest/gtest.h>

namespace strings = crawlmere::platform::strings;

TEST(Strings, PercentDecodingSucceedsOnValidUtf8)
{
    EXPECT_EQ(strings::removingPercentEncoding(u"a%20b"), QString("a b"));
    EXPECT_EQ(strings::removingPercentEncoding(u"caf%C3%A9"), QString::fromUtf8("caf\xC3\xA9"));
    EXPECT_EQ(strings::removingPercentEncoding(u"no escapes"), QString("no escapes"));
    EXPECT_EQ(strings::removingPercentEncoding(QString::fromUtf8("\xC3\xA9%21")), QString::fromUtf8("\xC3\xA9!"));
    EXPECT_EQ(strings::removingPercentEncoding(u"%2F%2f"), QString("//"));
}

TEST(Strings, PercentDecodingFailsOnBadInput)
{
    EXPECT_FALSE(strings::removingPercentEncoding(u"%E9t%E9").has_value()); // Latin-1 bytes, not UTF-8
    EXPECT_FALSE(strings::removingPercentEncoding(u"100%").has_value());
    EXPECT_FALSE(strings::removingPercentEncoding(u"%G1").has_value());
    EXPECT_FALSE(strings::removingPercentEncoding(u"%C3").has_value()); // truncated sequence
    EXPECT_FALSE(strings::removingPercentEncoding(u"%4").has_value());
}

TEST(Strings, CaseInsensitiveSearch)
{
    EXPECT_EQ(strings::indexOfCaseInsensitive(u"Hello World", u"WORLD"), 6);
    EXPECT_EQ(strings::indexOfCaseInsensitive(u"abcabc", u"ABC", 1), 3);
    EXPECT_EQ(strings::indexOfCaseInsensitive(u"abc", u""), -1);
    EXPECT_FALSE(strings::containsCaseInsensitive(u"abc", u"abcd"));
    EXPECT_TRUE(strings::hasPrefixCaseInsensitive(u"HTTPS://x", u"https://"));
    EXPECT_TRUE(strings::hasSuffixCaseInsensitive(u"photo.JPG", u".jpg"));
    EXPECT_EQ(strings::trimmingWhitespaceAndNewlines(QString::fromUtf8("\t\n\xC2\xA0 x y \r\n")), QString("x y"));
}

TEST(Strings, PathFunctionsOnWholeUrlStrings)
{
    EXPECT_EQ(strings::pathExtension("http://h.com/"), "com");
    EXPECT_EQ(strings::pathExtension("http://h.com/a/page.php?id=1"), "php?id=1");
    EXPECT_EQ(strings::pathExtension("/tmp/scratch.tiff"), "tiff");
    EXPECT_EQ(strings::pathExtension("/tmp/scratch..tiff"), "tiff");
    EXPECT_EQ(strings::pathExtension("/tmp/.hidden"), "");
    EXPECT_EQ(strings::pathExtension("/tmp/scratch"), "");
    EXPECT_EQ(strings::pathExtension("/tmp/scratch."), "");
    EXPECT_EQ(strings::pathExtension("/tmp/"), "");
    // Runs of slashes and trailing ones, as if collapsed first.
    EXPECT_EQ(strings::pathExtension(""), "");
    EXPECT_EQ(strings::pathExtension("///"), "");
    EXPECT_EQ(strings::pathExtension("a.b//"), "b");
    EXPECT_EQ(strings::pathExtension("http://h.com//x.y///"), "y");
    EXPECT_EQ(strings::pathExtension(".x"), "");
    EXPECT_EQ(strings::pathExtension("a.d//.x"), "");

    EXPECT_EQ(strings::lastPathComponent("http://h.com/a/b.html"), "b.html");
    EXPECT_EQ(strings::lastPathComponent("http://h.com/"), "h.com");
    EXPECT_EQ(strings::lastPathComponent("/"), "/");
    EXPECT_EQ(strings::lastPathComponent("scratch///"), "scratch");
    EXPECT_EQ(strings::lastPathComponent(""), "");

    EXPECT_EQ(strings::pathComponents("/a/b/"), QStringList({ "/", "a", "b", "/" }));
    EXPECT_EQ(strings::pathComponents("http://h.com/x"), QStringList({ "http:", "h.com", "x" }));
    EXPECT_EQ(strings::pathComponents("a//b"), QStringList({ "a", "b" }));

    EXPECT_EQ(strings::deletingLastPathComponent("/tmp/scratch.tiff"), "/tmp");
    EXPECT_EQ(strings::deletingLastPathComponent("/tmp/lock/"), "/tmp");
    EXPECT_EQ(strings::deletingLastPathComponent("/tmp"), "/");
    EXPECT_EQ(strings::deletingLastPathComponent("scratch"), "");
    EXPECT_EQ(strings::deletingPathExtension("/tmp/scratch.tiff"), "/tmp/scratch");
    EXPECT_EQ(strings::deletingPathExtension("/tmp/.tiff"), "/tmp/.tiff");
    EXPECT_EQ(strings::deletingPathExtension("scratch..tiff"), "scratch.");
    EXPECT_EQ(strings::appendingPathComponent("/tmp/", "/a.html"), "/tmp/a.html");
    EXPECT_EQ(strings::appendingPathComponent("", "a"), "a");
}

TEST(Strings, XmlEntitiesDecodeNamedAndNumericReferencesOnly)
{
    EXPECT_EQ(strings::decodingXmlEntities("/tmp/a&amp;b&lt;&gt;&quot;&apos;.html"), "/tmp/a&b<>\"'.html");
    EXPECT_EQ(strings::decodingXmlEntities("&#38;&#x41;&#X42;"), "&AB");
    EXPECT_EQ(strings::decodingXmlEntities("&nbsp; &#xD800; &#0; & &amp"), "&nbsp; &#xD800; &#0; & &amp");
    EXPECT_EQ(strings::decodingXmlEntities("no entity"), "no entity");
}

TEST(Strings, RangeIsWithinCodeOfLooksForTheNearestAngleBracket)
{
    const QString page = QStringLiteral("<a href=\"x.html\">x.html</a> tail x.html");
    struct Case {
        qsizetype start;
        qsizetype length;
        bool inside;
    };
    const qsizetype attribute = page.indexOf(u"x.html");
    const qsizetype text = page.indexOf(u"x.html", attribute + 1);
    const qsizetype trailing = page.lastIndexOf(u"x.html");
    for (const Case& c : { Case { attribute, 6, true }, Case { text, 6, false }, Case { trailing, 6, false },
             Case { 0, 1, true }, Case { -5, 3, true }, Case { page.size() + 9, 2, false } })
        EXPECT_EQ(strings::rangeIsWithinCodeOf(c.start, c.length, page), c.inside) << c.start;
    // Only the closing ">" after the range tells: no "<" before it.
    EXPECT_TRUE(strings::rangeIsWithinCodeOf(0, 1, u"a b>"));
    EXPECT_FALSE(strings::rangeIsWithinCodeOf(0, 0, u""));
}

TEST(Strings, MarkupEscapesWriteReferencesAndKeepEverythingElse)
{
    const QString title = QStringLiteral("<script>alert('x & \"y\"')</script> é");
    EXPECT_EQ(strings::htmlEscaped(title),
        "&lt;script&gt;alert('x &amp; &quot;y&quot;')&lt;/script&gt; é");
    EXPECT_EQ(strings::xmlEscaped(title),
        "&lt;script&gt;alert(&apos;x &amp; &quot;y&quot;&apos;)&lt;/script&gt; é");
    EXPECT_EQ(strings::htmlEscaped(QStringLiteral("plain")), "plain");
    EXPECT_EQ(strings::xmlEscaped(QString()), "");
    // Escaping twice escapes the ampersands of the first pass.
    EXPECT_EQ(strings::htmlEscaped(strings::htmlEscaped(QStringLiteral("&"))), "&amp;amp;");
}

TEST(Strings, LeftFittingUtf8BytesKeepsWholeCharactersUpToTheBound)
{
    const QString grin = QString::fromUtf8("\xF0\x9F\x98\x80"); // four bytes, a surrogate pair
    const struct {
        QString text;
        qsizetype maxBytes;
        QString left;
    } cases[] = {
        { "abc", 3, "abc" },
        { "abc", 2, "ab" },
        { "abc", 0, "" },
        { "abc", -1, "" },
        { QString::fromUtf8("a\xC3\xA9\xE2\x82\xAC"), 5, QString::fromUtf8("a\xC3\xA9") }, // "é" 2, "€" 3
        { QString::fromUtf8("a\xC3\xA9\xE2\x82\xAC"), 6, QString::fromUtf8("a\xC3\xA9\xE2\x82\xAC") },
        { "a" + grin + "b", 4, "a" }, // never half a pair
        { "a" + grin + "b", 5, "a" + grin },
        { QString(60000, u'x') + grin.repeated(100), 255, QString(255, u'x') },
        { grin.repeated(30000), 255, grin.repeated(63) },
    };
    for (const auto& c : cases) {
        const QString left = strings::leftFittingUtf8Bytes(c.text, c.maxBytes);
        EXPECT_EQ(left, c.left) << c.text.left(20).toStdString() << " " << c.maxBytes;
        EXPECT_EQ(QString::fromUtf8(left.toUtf8()), left) << "valid UTF-8, no half character";
    }
}
