#include "engine/PunycodeAdditions.h"

#include "support/TsvTable.h"

#include <gtest/gtest.h>

using crawlmere::test::readTsvTable;

namespace {

std::string show(const QString& s)
{
    return s.toStdString();
}

// Restores the compatibility-mapping switch whatever a test does with it.
struct CompatibilityMappingGuard {
    bool saved = PunycodeAdditions::precomposedStringWithCompatibilityMapping();
    ~CompatibilityMappingGuard() { PunycodeAdditions::setPrecomposedStringWithCompatibilityMapping(saved); }
};

} // namespace

TEST(PunycodeAdditions, PunycodeSamplesEncodeAndDecode)
{
    const auto rows = readTsvTable("urls/punycode.tsv");
    ASSERT_GE(rows.size(), 19u);
    for (const auto& row : rows) {
        ASSERT_EQ(row.cells.size(), 2) << "line " << row.line;
        const QString text = row.cell(0);
        const QString code = row.cell(1);
        const std::optional<QString> encoded = PunycodeAdditions::punycodeEncodedString(text);
        ASSERT_TRUE(encoded.has_value()) << "line " << row.line;
        EXPECT_EQ(*encoded, code) << "line " << row.line;
        const std::optional<QString> decoded = PunycodeAdditions::punycodeDecodedString(code);
        ASSERT_TRUE(decoded.has_value()) << "line " << row.line;
        EXPECT_EQ(*decoded, text) << "line " << row.line;
        // Digits are read in either letter case; basic code points keep theirs.
        const QString upperDigits = code.left(code.lastIndexOf(u'-') + 1) + code.mid(code.lastIndexOf(u'-') + 1).toUpper();
        EXPECT_EQ(PunycodeAdditions::punycodeDecodedString(upperDigits), text) << "line " << row.line;
    }
}

TEST(PunycodeAdditions, PunycodeDecodingRejectsBadInput)
{
    // The mixed-case form the RFC prints for sample (I) decodes to the same code points.
    EXPECT_EQ(PunycodeAdditions::punycodeDecodedString("b1abfaaepdrnnbgefbaDotcwatmq2g4l"),
        PunycodeAdditions::punycodeDecodedString("b1abfaaepdrnnbgefbadotcwatmq2g4l"));
    EXPECT_FALSE(PunycodeAdditions::punycodeDecodedString("bcher-kv").has_value()); // ends inside a number
    EXPECT_FALSE(PunycodeAdditions::punycodeDecodedString("bcher-kv!").has_value()); // not a digit
    EXPECT_FALSE(PunycodeAdditions::punycodeDecodedString(QString::fromUtf8("\xC3\xBC-kva")).has_value());
    EXPECT_FALSE(PunycodeAdditions::punycodeDecodedString("99999999999a").has_value()); // overflow
    EXPECT_FALSE(PunycodeAdditions::punycodeDecodedString("-kva").has_value()); // "-" at 0 is read as a digit
    // Deltas that land on a surrogate or past U+10FFFF are not characters.
    EXPECT_FALSE(PunycodeAdditions::punycodeDecodedString("a-bb00q").has_value()); // U+11A0F9
    EXPECT_FALSE(PunycodeAdditions::punycodeDecodedString("a-bb5g").has_value()); // a surrogate
    EXPECT_EQ(PunycodeAdditions::punycodeDecodedString("abc-"), "abc");
    EXPECT_EQ(PunycodeAdditions::punycodeDecodedString("a-b-"), "a-b");
    EXPECT_EQ(PunycodeAdditions::punycodeDecodedString(""), "");
    // Every string whose code points decode must survive a round trip.
    for (const char* sample : { "tda", "e28h", "ww4c5e180e575a65lsy2b", "zzzz", "a", "9" }) {
        const auto decoded = PunycodeAdditions::punycodeDecodedString(sample);
        if (decoded) {
            EXPECT_EQ(PunycodeAdditions::punycodeEncodedString(*decoded), QString(sample)) << sample;
        }
    }
}

TEST(PunycodeAdditions, IgnoredCodePointsAndLongCharacters)
{
    EXPECT_EQ(PunycodeAdditions::stringByDeletingIgnoredCharacters(
                  QString::fromUtf16(u"a\u00ADb\u034Fc\u1806\u180B\u180C\u180Dd\u200B\u200C\u200De\u2060\uFE00\uFE0F\uFEFFf")),
        "abcdef");
    EXPECT_EQ(PunycodeAdditions::stringByDeletingIgnoredCharacters(QString::fromUtf16(u"\u200E\u180E")),
        QString::fromUtf16(u"\u200E\u180E"));
    const std::u32string points = PunycodeAdditions::longCharactersWithCount(QString::fromUtf16(u"a\U0001F600b"));
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[1], char32_t(0x1F600));
    // A lone surrogate is one replacement character.
    const QChar lone[] = { QChar(0xD800), QChar(u'x') };
    EXPECT_EQ(PunycodeAdditions::longCharactersWithCount(QString(lone, 2)), std::u32string(U"\uFFFDx"));
}

TEST(PunycodeAdditions, IdnaHostsFromTable)
{
    const auto rows = readTsvTable("urls/idna.tsv");
    ASSERT_GT(rows.size(), 10u);
    for (const auto& row : rows) {
        const QString encoded = PunycodeAdditions::IDNAEncodedString(row.cell(0));
        EXPECT_EQ(encoded, row.cell(1)) << "line " << row.line;
        if (row.cell(2) == QLatin1String("round")) {
            EXPECT_EQ(PunycodeAdditions::IDNADecodedString(encoded), row.cell(0)) << "line " << row.line;
        }
    }
    for (const auto& row : readTsvTable("urls/idna-decode.tsv"))
        EXPECT_EQ(PunycodeAdditions::IDNADecodedString(row.cell(0)), row.cell(1)) << "line " << row.line;
}

TEST(PunycodeAdditions, EncodedAndDecodedUrlsFromTable)
{
    const auto rows = readTsvTable("urls/encoding.tsv");
    ASSERT_GT(rows.size(), 20u);
    for (const auto& row : rows) {
        ASSERT_EQ(row.cells.size(), 3) << "line " << row.line;
        const QString encoded = PunycodeAdditions::encodedURLString(row.cell(0));
        EXPECT_EQ(encoded, row.cell(1)) << "line " << row.line;
        EXPECT_EQ(PunycodeAdditions::decodedURLString(encoded), row.cell(2)) << "line " << row.line;
        // Encoding is idempotent, except that a user part is always encoded again.
        if (!PunycodeAdditions::URLParts(encoded).username) {
            EXPECT_EQ(PunycodeAdditions::encodedURLString(encoded), encoded) << "line " << row.line;
        }
    }
}

TEST(PunycodeAdditions, EncodedUrlsAreValidUrls)
{
    for (const auto& row : readTsvTable("urls/encoding.tsv")) {
        const QString input = row.cell(0);
        if (input.isEmpty() || input == QLatin1String("http://") || input.contains(QLatin1String("[::1]")))
            continue;
        const auto url = PunycodeAdditions::URLWithUnicodeString(input);
        EXPECT_TRUE(url.has_value()) << "line " << row.line << ": " << show(row.cell(1));
        if (url) {
            EXPECT_EQ(url->absoluteString(), row.cell(1));
        }
    }
    const auto ipv6 = PunycodeAdditions::URLWithUnicodeString(QString::fromUtf8("https://[::1]:8080/\xC3\xA4"));
    ASSERT_TRUE(ipv6.has_value());
    EXPECT_EQ(ipv6->host(), "::1");
    EXPECT_EQ(ipv6->port(), 8080);
    const auto idn = PunycodeAdditions::URLWithUnicodeString(QString::fromUtf8("http://b\xC3\xBC" "cher.de:81/"));
    ASSERT_TRUE(idn.has_value());
    EXPECT_EQ(idn->host(), "xn--bcher-kva.de");
    EXPECT_EQ(PunycodeAdditions::decodedURLString(*idn), QString::fromUtf8("http://b\xC3\xBC" "cher.de:81/"));
    EXPECT_FALSE(PunycodeAdditions::URLWithUnicodeString("").has_value());
}

// The quick test for URLs that need no decoding agrees with the decoding itself.
TEST(PunycodeAdditions, OnlyUrlsThatDecodeToThemselvesPassTheQuickTest)
{
    const struct {
        const char* url;
        bool itself;
    } cases[] = {
        { "", true },
        { "https://h.com/a/b?c=d#e", true },
        { "https://h.com/box/x", true },
        { "https://h.com/xn-", true },
        { "https://xn--bcher-kva.de/", false },
        { "https://XN--bcher-kva.de/", false },
        { "https://h.com/Xn--x", false },
        { "https://h.com/a%20b", false },
        { "https://h.com/a b", false },
        { "https://h.com/\xC3\xA4", false },
        { "https://h.com/tab\there", false },
    };
    for (const auto& c : cases) {
        const QString url = QString::fromUtf8(c.url);
        EXPECT_EQ(PunycodeAdditions::decodesToItself(url), c.itself) << c.url;
        if (c.itself) {
            EXPECT_EQ(PunycodeAdditions::decodedURLString(url), url) << c.url;
        }
    }
    EXPECT_EQ(PunycodeAdditions::decodedURLString(QStringLiteral("https://h.com/a%20b")), "https://h.com/a b");
}

TEST(PunycodeAdditions, UrlPartsFollowTheirCuts)
{
    const URLPartsDictionary full = PunycodeAdditions::URLParts("https://me:pw@h.com:8080/a/b?c=d#frag\nrest");
    EXPECT_EQ(full.scheme, "https");
    EXPECT_EQ(full.delim, "://");
    EXPECT_EQ(full.host, "h.com:8080");
    EXPECT_EQ(full.path, "/a/b?c=d");
    EXPECT_EQ(full.username, QString("me"));
    EXPECT_EQ(full.password, QString("pw"));
    EXPECT_EQ(full.fragment, QString("frag"));

    const URLPartsDictionary bare = PunycodeAdditions::URLParts("example.com");
    EXPECT_EQ(bare.scheme, "");
    EXPECT_FALSE(bare.scheme.isNull());
    EXPECT_EQ(bare.delim, "");
    EXPECT_EQ(bare.host, "example.com");
    EXPECT_EQ(bare.path, "");
    EXPECT_FALSE(bare.path.isNull());
    EXPECT_FALSE(bare.username.has_value());
    EXPECT_FALSE(bare.password.has_value());
    EXPECT_FALSE(bare.fragment.has_value());

    const URLPartsDictionary query = PunycodeAdditions::URLParts("http://h.com?x=1");
    EXPECT_EQ(query.host, "h.com");
    EXPECT_EQ(query.path, "?x=1");

    const URLPartsDictionary user = PunycodeAdditions::URLParts("ftp://anon@h.com/");
    EXPECT_EQ(user.username, QString("anon"));
    EXPECT_FALSE(user.password.has_value());

    const URLPartsDictionary relative = PunycodeAdditions::URLParts("/dir/page.html#");
    EXPECT_EQ(relative.host, "");
    EXPECT_EQ(relative.path, "/dir/page.html");
    EXPECT_EQ(relative.fragment, QString(""));

    const URLPartsDictionary port = PunycodeAdditions::URLParts("localhost:8080/x");
    EXPECT_EQ(port.scheme, "localhost");
    EXPECT_EQ(port.delim, ":");
    EXPECT_EQ(port.host, "8080");
    EXPECT_EQ(port.path, "/x");

    const URLPartsDictionary ended = PunycodeAdditions::URLParts("http://");
    EXPECT_EQ(ended.scheme, "http");
    EXPECT_EQ(ended.delim, "://");
    EXPECT_EQ(ended.host, "");
}

TEST(PunycodeAdditions, CompatibilityMappingFoldsFullWidthHosts)
{
    CompatibilityMappingGuard guard;
    const QString fullWidth = QString::fromUtf16(u"http://\uFF45\uFF58\uFF41\uFF4D\uFF50\uFF4C\uFF45.com/");
    PunycodeAdditions::setPrecomposedStringWithCompatibilityMapping(false);
    EXPECT_TRUE(PunycodeAdditions::encodedURLString(fullWidth).startsWith("http://xn--"));
    PunycodeAdditions::setPrecomposedStringWithCompatibilityMapping(true);
    EXPECT_EQ(PunycodeAdditions::encodedURLString(fullWidth), "http://example.com/");
    EXPECT_EQ(PunycodeAdditions::IDNAEncodedString(QString::fromUtf16(u"\uFF41\uFF42.de")), "ab.de");
    EXPECT_EQ(PunycodeAdditions::URLParts(QString::fromUtf16(u"\uFF48\uFF54\uFF54\uFF50://h.com")).scheme, "http");
}

TEST(PunycodeAdditions, LonePercentsAndTolerantDecoding)
{
    EXPECT_EQ(PunycodeAdditions::stringByReplacingLonePercents("no percent"), "no percent");
    EXPECT_EQ(PunycodeAdditions::stringByReplacingLonePercents("%"), "%25");
    EXPECT_EQ(PunycodeAdditions::stringByReplacingLonePercents("%%41"), "%25%41");
    EXPECT_EQ(PunycodeAdditions::stringByReplacingLonePercents("a%4"), "a%254");
    EXPECT_EQ(PunycodeAdditions::stringByReplacingLonePercents("%4g%aF%Ab"), "%254g%aF%Ab");
    EXPECT_EQ(PunycodeAdditions::stringByReplacingLonePercents("50%-off"), "50%25-off");
    // The "25" added is not looked at again.
    EXPECT_EQ(PunycodeAdditions::stringByReplacingLonePercents("%%"), "%25%25");

    EXPECT_EQ(PunycodeAdditions::qfStringByRemovingPercentEncoding("a%20b%C3%A9"), QString::fromUtf8("a b\xC3\xA9"));
    EXPECT_EQ(PunycodeAdditions::qfStringByRemovingPercentEncoding("100% sure%21"), "100% sure!");
    // Bytes that are not UTF-8 leave the string unchanged.
    EXPECT_EQ(PunycodeAdditions::qfStringByRemovingPercentEncoding("caf%E9"), "caf%E9");
    EXPECT_EQ(PunycodeAdditions::qfStringByRemovingPercentEncoding("50% caf%E9"), "50% caf%E9");
    EXPECT_EQ(PunycodeAdditions::qfStringByRemovingPercentEncoding(""), "");
}

TEST(PunycodeAdditions, PercentEncodingRoundTrips)
{
    const QString texts[] = {
        QString::fromUtf8("/caf\xC3\xA9 menu/\xE4\xBE\x8B?q=\xF0\x9F\x98\x80&x=a b"),
        QStringLiteral("/plain/ascii-path_~.html"),
        QStringLiteral("/a%b/%zz/100%"),
        QStringLiteral("/brackets[]{}|\\^`\"<>"),
    };
    for (const QString& text : texts) {
        const QString encoded = PunycodeAdditions::encodedPath(text);
        for (QChar c : encoded)
            EXPECT_LT(c.unicode(), 128) << show(encoded);
        EXPECT_EQ(PunycodeAdditions::qfStringByRemovingPercentEncoding(encoded), text) << show(encoded);
        EXPECT_EQ(PunycodeAdditions::encodedPath(encoded), encoded);
        EXPECT_TRUE(crawlmere::platform::Url::fromString("http://h.com" + encoded).has_value()) << show(encoded);
    }
    const auto& pathSet = PunycodeAdditions::qfURLPathAllowedCharacterSet();
    EXPECT_EQ(PunycodeAdditions::qfStringByAddingPercentEncodingWithAllowedCharacters("a b/c?d#e%", pathSet),
        "a%20b/c%3Fd%23e%25");
    EXPECT_EQ(PunycodeAdditions::qfStringByAddingPercentEncodingWithAllowedCharacters(
                  "u:s@r", PunycodeAdditions::URLUserAllowedCharacterSet()),
        "u%3As%40r");
    EXPECT_EQ(PunycodeAdditions::qfStringByAddingPercentEncodingWithAllowedCharacters(
                  "f/?:@#", PunycodeAdditions::URLFragmentAllowedCharacterSet()),
        "f/?:@%23");
    EXPECT_EQ(PunycodeAdditions::qfStringByAddingPercentEncodingWithAllowedCharacters(
                  "p:w", PunycodeAdditions::URLPasswordAllowedCharacterSet()),
        "p%3Aw");
}
