// URL lists (comma- and white-space-separated) and XML sitemaps read one URL at a time, and the
// per-link getters of HTML pages walked with getNextHref.
#include "engine/CrawlSettingKeys.h"
#include "parsing/CrwlParser.h"
#include "parsing/CrwlXmlTag.h"
#include "parsing/detail/ParserDefaults.h"
#include "support/Fixtures.h"

#include <gtest/gtest.h>

using crawlmere::test::ExactBuffer;
using crawlmere::test::readFixture;
namespace detail = crawlmere::parsing::detail;
namespace Encoding = crawlmere::platform::Encoding;

namespace {

// Every URL the parser hands out for `bytes` read as `fileType`; checks the getters on the way.
QStringList allHrefs(std::string_view bytes, int fileType, CrwlParser::EncodingId encoding = Encoding::UTF8)
{
    const ExactBuffer buffer(bytes);
    CrwlParser::Options options;
    options.fileType = fileType;
    options.useEncoding = encoding;
    const auto parser = CrwlParser::initWithData(
        QByteArray::fromRawData(buffer.data(), static_cast<qsizetype>(buffer.size())), options);
    if (!parser) {
        ADD_FAILURE() << "no parser";
        return {};
    }
    QStringList urls;
    while (const auto url = parser->getNextHref()) {
        urls << *url;
        // Lists and sitemaps have no records: the getters answer empty values.
        EXPECT_EQ(parser->getLinkText(), QString());
        EXPECT_EQ(parser->getRel(), QString());
        EXPECT_FALSE(parser->getLineNumber());
        if (urls.size() > 1000)
            break;
    }
    EXPECT_FALSE(parser->getNextHref()) << "keeps answering nil at the end";
    return urls;
}

QStringList fixtureHrefs(const char* name, int fileType)
{
    const QByteArray bytes = readFixture(QStringLiteral("lists/") + QLatin1StringView(name));
    return allHrefs(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), fileType);
}

std::unique_ptr<CrwlParser> htmlParser(const ExactBuffer& buffer, bool checkImages = true)
{
    CrwlParser::Options options;
    options.allowNoLinks = true;
    options.checkImages = checkImages;
    return CrwlParser::initWithData(QByteArray::fromRawData(buffer.data(), static_cast<qsizetype>(buffer.size())), options);
}

} // namespace

TEST(CrwlParserLists, WhitespaceListWithBlankLinesAndComments)
{
    EXPECT_EQ(fixtureHrefs("urls.txt", CrwlParser::WhitespaceSeparatedList),
        (QStringList { "https://example.com/", "https://example.com/quoted.html", "https://example.com/a,b",
            "https://example.com/c", QStringLiteral("https://example.com/caf\u00e9/menu"),
            "https://example.com/?a=1&b=2" }));
}

TEST(CrwlParserLists, CommaListWithHeaderBlankLinesAndComments)
{
    EXPECT_EQ(fixtureHrefs("urls.csv", CrwlParser::CommaSeparatedList),
        (QStringList { "https://example.com/one", "first", "https://example.com/two", "https://example.com/three" }))
        << "the header row names no address";
    // The same text as a comma list splits at the comma, and a field is one address.
    EXPECT_EQ(fixtureHrefs("urls.txt", CrwlParser::CommaSeparatedList).mid(2, 3),
        (QStringList { "https://example.com/a", "b%20https://example.com/c",
            QStringLiteral("https://example.com/caf\u00e9/menu") }));
}

TEST(CrwlParserLists, ACommaListsFirstRowOfColumnNamesIsNoAddress)
{
    const struct {
        std::string_view text;
        int fileType;
        QStringList urls;
    } cases[] = {
        { "url\nhttp://a.test/", CrwlParser::CommaSeparatedList, { "http://a.test/" } },
        { "\xEF\xBB\xBF\"URL\", \"Page title\"\r\nhttp://a.test/,A", CrwlParser::CommaSeparatedList,
            { "http://a.test/", "A" } },
        { "\n\n  link_1,link-2\n/b.html", CrwlParser::CommaSeparatedList, { "/b.html" } },
        // A first row that names an address, a host or a file is a row of the list.
        { "http://a.test/,b\nc", CrwlParser::CommaSeparatedList, { "http://a.test/", "b", "c" } },
        { "page.html\nx", CrwlParser::CommaSeparatedList, { "page.html", "x" } },
        { "localhost:8080\nx", CrwlParser::CommaSeparatedList, { "localhost:8080", "x" } },
        { "url\nhttp://a.test/", CrwlParser::WhitespaceSeparatedList, { "url", "http://a.test/" } },
    };
    for (const auto& c : cases)
        EXPECT_EQ(allHrefs(c.text, c.fileType), c.urls) << c.text;
}

TEST(CrwlParserLists, TokenRules)
{
    EXPECT_EQ(allHrefs("a,b, c", CrwlParser::CommaSeparatedList), (QStringList { "a", "b", "c" }));
    // A line is one address: its ends trimmed, its blanks encoded, its UTF-8 text kept whole;
    // a line of absolute addresses is each of them.
    const struct {
        const char* text;
        QStringList urls;
    } lines[] = {
        { "a,b c", { "a,b%20c" } },
        { "  http://h/caf\xc3\xa9 x.html \t\r\nhttp://h/b",
            { QStringLiteral("http://h/caf\u00e9%20x.html"), "http://h/b" } },
        { "http://h/a http://h/b\t http://h/c", { "http://h/a", "http://h/b", "http://h/c" } },
        { "http://h/a b.html http://h/c", { "http://h/a%20b.html%20http://h/c" } },
    };
    for (const auto& line : lines)
        EXPECT_EQ(allHrefs(line.text, CrwlParser::WhitespaceSeparatedList), line.urls) << line.text;
    EXPECT_EQ(allHrefs("x#y #z\n#comment\n'#kept'", CrwlParser::WhitespaceSeparatedList),
        (QStringList { "x#y%20#z", "#kept" }))
        << "only a line's first visible \"#\" starts a comment";
    EXPECT_EQ(allHrefs("a&#32;b \"\" ''", CrwlParser::WhitespaceSeparatedList), (QStringList { "a%20b" }))
        << "a token that is nothing but quotes is no URL";
    EXPECT_TRUE(allHrefs("\n\n  \t\r\n", CrwlParser::WhitespaceSeparatedList).isEmpty());

    // A token longer than 998 bytes is cut there; the byte at the cut is dropped.
    const std::string longToken = std::string(998, 'a') + "XYZ";
    EXPECT_EQ(allHrefs(longToken, CrwlParser::WhitespaceSeparatedList),
        (QStringList { QString(998, u'a'), QStringLiteral("YZ") }));
}

TEST(CrwlParserLists, Sitemap)
{
    EXPECT_EQ(fixtureHrefs("sitemap.xml", CrwlParser::XMLSitemap),
        (QStringList { "https://example.com/", "https://example.com/split/over-lines.html",
            "https://example.com/cdata?a=1&b=2", "https://example.com/last" }));
}

TEST(CrwlParserLists, SitemapIndex)
{
    EXPECT_EQ(fixtureHrefs("sitemap-index.xml", CrwlParser::XMLSitemap),
        (QStringList { "https://example.com/sitemap-pages.xml", "https://example.com/sitemap-posts.xml" }));
}

TEST(CrwlParserLists, SitemapWithEntitiesInLoc)
{
    EXPECT_EQ(fixtureHrefs("sitemap-entities.xml", CrwlParser::XMLSitemap),
        (QStringList { QStringLiteral("https://example.com/search?q=a&page=2"), QStringLiteral("https://example.com/quote's/<tag>"),
            QStringLiteral("https://example.com/caf\u00e9/A") }))
        << "a <loc> whose text runs into the end of the data ends the list";
}

TEST(CrwlParserLists, XmlModeAfterConstructionAndTagReading)
{
    const ExactBuffer page(std::string_view("<urlset><url><loc>https://example.com/x</loc></url></urlset>"));
    CrwlParser::Options options;
    options.fileType = 1; // a code that runs no scanner
    auto parser = CrwlParser::initWithData(QByteArray::fromRawData(page.data(), static_cast<qsizetype>(page.size())), options);
    ASSERT_TRUE(parser);
    parser->setXMLMode();
    EXPECT_EQ(parser->getNextHref(), QStringLiteral("https://example.com/x"));
    EXPECT_FALSE(parser->getNextHref());

    const ExactBuffer tags(std::string_view("<a/> <!-- <b> --> <!DOCTYPE x> </c d> <loc>"));
    parser = CrwlParser::initWithData(QByteArray::fromRawData(tags.data(), static_cast<qsizetype>(tags.size())), options);
    ASSERT_TRUE(parser);
    const auto first = parser->getTag(false);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->getData(), QStringLiteral("a"));
    EXPECT_TRUE(first->isClosing());
    const auto second = parser->getTag(false);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->getData(), QStringLiteral("c d")) << "comments and other <! are passed over";
    EXPECT_TRUE(second->isClosing());
    const auto third = parser->getTag(false);
    ASSERT_TRUE(third);
    EXPECT_EQ(third->getData(), QStringLiteral("loc"));
    EXPECT_FALSE(third->isClosing());
    EXPECT_FALSE(parser->getLoc()) << "no \"<\" behind the text";
    EXPECT_FALSE(parser->getTag(false));
}

TEST(CrwlParserIteration, RecordsHandOutEachUrlWithTheirAttributes)
{
    const ExactBuffer page(std::string_view("<html><body>\n"
                                            "<a href=\"/p\" rel=\"nofollow\" target=\"_top\" hreflang=\"fr\">\n"
                                            "<img src=\"i.png\" srcset=\"i2.png 2x, i3.png 3x\" alt=\"Pic\"></a>\n"
                                            "<img src='\"quoted.png\"'>\n"
                                            "</body></html>"));
    const auto parser = htmlParser(page);
    ASSERT_TRUE(parser);
    QStringList seen;
    while (const auto url = parser->getNextHref())
        seen << QStringLiteral("%1 [%2] rel=%3 target=%4 lang=%5 line=%6")
                    .arg(*url, parser->getLinkText(), parser->getRel(), parser->getTargetAttr(), parser->getHreflang())
                    .arg(parser->getLineNumber().value_or(-1));
    EXPECT_EQ(seen,
        (QStringList { "i.png [[alt]: Pic] rel= target= lang= line=3", "i2.png [[alt]: Pic] rel= target= lang= line=3",
            "i3.png [[alt]: Pic] rel= target= lang= line=3", "/p [] rel=nofollow target=_top lang=fr line=2",
            "quoted.png [[alt]:] rel= target= lang= line=4" }));
    EXPECT_FALSE(parser->getNextHref());
    EXPECT_EQ(parser->getLinkText(), QString()) << "past the last record";
    EXPECT_FALSE(parser->getLineNumber());
}

TEST(CrwlParserIteration, TrimWhitespaceDefault)
{
    const ExactBuffer page(std::string_view("<body><a href=\"'/q.html'\">q</a></body>"));
    detail::setParserDefaults({});
    auto parser = htmlParser(page);
    ASSERT_TRUE(parser);
    EXPECT_EQ(parser->getNextHref(), QStringLiteral("/q.html"));
    detail::setParserDefault(crawlKey::trimWhitespace, true);
    parser = htmlParser(page);
    EXPECT_EQ(parser->getNextHref(), QStringLiteral("/q.html"));
    detail::setParserDefault(crawlKey::trimWhitespace, false);
    parser = htmlParser(page);
    EXPECT_EQ(parser->getNextHref(), QStringLiteral("'/q.html'")) << "kept as written when the default is NO";
    detail::setParserDefaults({});
}

TEST(CrwlParserIteration, EmptyCollection)
{
    const ExactBuffer page(std::string_view("<body><p>no links</p></body>"));
    const auto parser = htmlParser(page);
    ASSERT_TRUE(parser);
    EXPECT_FALSE(parser->getNextHref());
    EXPECT_FALSE(parser->getNextHref());
    EXPECT_EQ(parser->getRel(), QString());
}

TEST(CrwlParserText, CountWords)
{
    EXPECT_EQ(CrwlParser::countWords(QString()), 0);
    EXPECT_EQ(CrwlParser::countWords(QStringLiteral("")), 0);
    EXPECT_EQ(CrwlParser::countWords(QStringLiteral("one")), 1);
    EXPECT_EQ(CrwlParser::countWords(QStringLiteral("one two")), 2);
    EXPECT_EQ(CrwlParser::countWords(QStringLiteral("one  two")), 3) << "the empty piece between two spaces counts";
    EXPECT_EQ(CrwlParser::countWords(QStringLiteral("one\ntwo\u00a0three")), 3);
}

TEST(CrwlParserText, PageTextOfALongPageKeepsEveryWord)
{
    // Far more text than any capture buffer holds: the page text is as long as the page needs.
    std::string page = "<!DOCTYPE html><html><body><p>";
    for (int i = 0; i < 20000; ++i)
        page += "word ";
    page += "</p><script>var ignored = 'a b c';</script></body></html>";
    const ExactBuffer buffer(page);
    const auto parser = htmlParser(buffer);
    ASSERT_TRUE(parser);
    EXPECT_EQ(parser->getWordCount(), 20000);
    EXPECT_EQ(parser->getTextContent().size(), 20000 * 5 - 1);
}

TEST(CrwlParserIteration, LineNumbersWithMixedLineEnds)
{
    // Each anchor names the line it stands on; lines end in LF, CR, CR LF or stand empty, with long
    // runs of text between them.
    const char* const ends[] = { "\n", "\r", "\r\n", "\n\n", "\r\r\n" };
    std::string page = "<html><body>";
    int line = 1;
    for (int i = 0; i < 300; ++i) {
        page += "<p>" + std::string(static_cast<size_t>(i % 37), 'x') + "<a href=\"L" + std::to_string(line) + "\">a</a>";
        const std::string end = ends[i % 5];
        page += end;
        line += end == "\r\r\n" || end == "\n\n" ? 2 : 1;
    }
    page += "</body></html>";
    const ExactBuffer buffer(page);
    const auto parser = htmlParser(buffer);
    ASSERT_TRUE(parser);
    int checked = 0;
    while (const auto url = parser->getNextHref()) {
        EXPECT_EQ(*url, QStringLiteral("L%1").arg(parser->getLineNumber().value_or(-1)));
        ++checked;
    }
    EXPECT_EQ(checked, 300);
}
