#include "parsing/CrwlParser.h"
#include "engine/CrawlSettingKeys.h"
#include "parsing/detail/ParserDefaults.h"
#include "support/Fixtures.h"
#include "support/LoopbackServer.h"

#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <atomic>

using crawlmere::test::ExactBuffer;
namespace Encoding = crawlmere::platform::Encoding;
namespace detail = crawlmere::parsing::detail;

namespace {

QByteArray shared(const ExactBuffer& buffer)
{
    return QByteArray::fromRawData(buffer.data(), static_cast<qsizetype>(buffer.size()));
}

std::optional<QString> refresh(std::string_view page)
{
    const ExactBuffer buffer(page);
    return CrwlParser::pageIsMetaRefresh(buffer.view());
}

std::optional<QString> charset(std::string_view page)
{
    const ExactBuffer buffer(page);
    return CrwlParser::extractCharsetFromHTML(buffer.view());
}

} // namespace

TEST(CrwlParser, NoLinksPreCheckAndEmptyData)
{
    const ExactBuffer noLinks(std::string_view("<html><head><title>t</title></head><body>text</body></html>"));
    CrwlParser::Options options;
    EXPECT_FALSE(CrwlParser::initWithData(shared(noLinks), options));
    options.allowNoLinks = true;
    const auto allowed = CrwlParser::initWithData(shared(noLinks), options);
    ASSERT_TRUE(allowed);
    EXPECT_EQ(allowed->getTitle(), QStringLiteral("t"));
    EXPECT_TRUE(allowed->getCollection().isEmpty());

    options.allowNoLinks = false;
    const ExactBuffer iframe(std::string_view("<body><iframe src=x></iframe></body>"));
    EXPECT_TRUE(CrwlParser::initWithData(shared(iframe), options));
    const ExactBuffer anchor(std::string_view("<body><A HREF=x>x</A></body>"));
    EXPECT_TRUE(CrwlParser::initWithData(shared(anchor), options));
    const ExactBuffer mixedCase(std::string_view("<body><A Href=x>x</A></body>"));
    EXPECT_FALSE(CrwlParser::initWithData(shared(mixedCase), options)) << "the pre-check is case-sensitive";

    options.allowNoLinks = true;
    EXPECT_FALSE(CrwlParser::initWithData(QByteArray(), options));
}

TEST(CrwlParser, FilesLoadedOverHttpAreKeptWhenLinkedFilesAreNotLinks)
{
    const ExactBuffer page(std::string_view("<html><head><script src=http://cdn.test/a.js></script>"
                                            "<link rel=stylesheet href='HTTP://cdn.test/s.css'><script src=/b.js></script>"
                                            "</head><body><a href=x>x</a><script src=\"http://cdn.test/c.js\"></script>"
                                            "<script src=https://cdn.test/d.js></script></body></html>"));
    CrwlParser::Options options;
    auto parser = CrwlParser::initWithData(shared(page), options);
    ASSERT_TRUE(parser);
    EXPECT_EQ(parser->getHttpLinkedFiles(),
        (QStringList { "http://cdn.test/a.js", "HTTP://cdn.test/s.css", "http://cdn.test/c.js" }));
    EXPECT_EQ(parser->getCollection().size(), 1);
    options.linkedFiles = true;
    parser = CrwlParser::initWithData(shared(page), options);
    ASSERT_TRUE(parser);
    EXPECT_TRUE(parser->getHttpLinkedFiles().isEmpty()) << "they are links then";
    EXPECT_EQ(parser->getCollection().size(), 6);
}

TEST(CrwlParser, OtherFileTypesRunNoScanner)
{
    const ExactBuffer page(std::string_view("<html><head><title>t</title><link href=a.css></head></html>"));
    CrwlParser::Options options;
    options.fileType = CrwlParser::XMLSitemap;
    options.linkedFiles = true;
    const auto parser = CrwlParser::initWithData(shared(page), options);
    ASSERT_TRUE(parser);
    EXPECT_TRUE(parser->getTitle().isNull());
    EXPECT_TRUE(parser->getCollection().isEmpty());
    EXPECT_FALSE(parser->getTextContent().isNull());
    EXPECT_EQ(parser->getLength(), static_cast<qint64>(page.size()));
    EXPECT_EQ(parser->getFileSize(), static_cast<qint64>(page.size()));
}

TEST(CrwlParser, WarningsNeedValidationAndHtml)
{
    const ExactBuffer page(std::string_view("<!DOCTYPE html><html><head><title>a</title><title>b</title></head><body></body></html>"));
    CrwlParser::Options options;
    options.allowNoLinks = true;
    detail::setParserDefaults({});
    auto parser = CrwlParser::initWithData(shared(page), options);
    ASSERT_TRUE(parser);
    EXPECT_TRUE(parser->getWarnings().isEmpty());
    detail::setParserDefault(QStringLiteral("htmlValidationEnabled"), QStringLiteral("YES"));
    parser = CrwlParser::initWithData(shared(page), options);
    ASSERT_TRUE(parser);
    EXPECT_EQ(parser->getWarnings().size(), 1);
    parser->setXMLMode();
    parser->addWarning(QStringLiteral("not kept"));
    EXPECT_EQ(parser->getWarnings().size(), 1);
    detail::setParserDefaults({});
}

TEST(CrwlParser, ReadsTheApplicationDefaultsStoreBehindTheOverrides)
{
    const ExactBuffer page(std::string_view("<!DOCTYPE html><html><head><title>a</title><title>b</title></head><body></body></html>"));
    CrwlParser::Options options;
    options.allowNoLinks = true;
    detail::setParserDefaults({});
    auto& store = crawlmere::platform::UserDefaults::standard();
    store.setArgumentValue(QStringLiteral("htmlValidationEnabled"), true);
    auto parser = CrwlParser::initWithData(shared(page), options);
    ASSERT_TRUE(parser);
    EXPECT_EQ(parser->getWarnings().size(), 1) << "a value of the defaults store reaches the parser";
    detail::setParserDefault(QStringLiteral("htmlValidationEnabled"), false);
    parser = CrwlParser::initWithData(shared(page), options);
    EXPECT_TRUE(parser->getWarnings().isEmpty()) << "an override wins over the store";
    detail::setParserDefaults({});
    store.setArgumentValue(QStringLiteral("htmlValidationEnabled"), QVariant());
}

TEST(CrwlParser, SettingsDrivenInitialiser)
{
    const ExactBuffer page(std::string_view("<html><head><link rel=stylesheet href=a.css></head><body></body></html>"));
    QVariantMap settings { { crawlKey::linkedFiles, true } };
    auto parser = CrwlParser::initWithData(shared(page), true, true, Encoding::UTF8, CrwlParser::HTML, settings, true);
    ASSERT_TRUE(parser);
    EXPECT_EQ(parser->getCollection().size(), 1);
    settings.remove(crawlKey::linkedFiles);
    parser = CrwlParser::initWithData(shared(page), true, true, Encoding::UTF8, CrwlParser::HTML, settings, true);
    ASSERT_TRUE(parser);
    EXPECT_TRUE(parser->getCollection().isEmpty()) << "a missing key reads as NO";

    EXPECT_TRUE(CrwlParser::getCheckImages({ { crawlKey::checkImages, true } }));
    detail::setParserDefault(QStringLiteral("enableImageSitemap"), true);
    EXPECT_TRUE(CrwlParser::getCheckImages({}));
    EXPECT_FALSE(CrwlParser::getCheckImages({ { crawlKey::isSearch, true } }));
    detail::setParserDefaults({});
    EXPECT_FALSE(CrwlParser::getCheckImages({}));
}

TEST(CrwlParser, ASiteThatChecksNoImagesGetsNoImageRecordsWhateverTheSitemapDefaults)
{
    const ExactBuffer page(
        std::string_view("<html><body><a href=\"p.html\">p</a>"
                         "<img src=\"i.png\" srcset=\"s1.png 1x, s2.png 2x\">"
                         "<picture><source srcset=\"w.webp\"><img src=\"f.png\"></picture>"
                         "<embed src=\"e.swf\"><div style=\"background:url(bg.png)\">x</div>"
                         "<audio src=\"a.mp3\"></audio><video src=\"v.mp4\"></video></body></html>"));
    detail::setParserDefault(QStringLiteral("enableImageSitemap"), true);
    detail::setParserDefault(QStringLiteral("includeimagesinsitemap"), true);
    const auto urls = [&](const QVariantMap& settings) {
        QStringList found;
        const auto parser
            = CrwlParser::initWithData(shared(page), true, true, Encoding::UTF8, CrwlParser::HTML, settings, true);
        for (const CrwlLinkRecord& record : parser->getCollection())
            found << record.urlArray;
        return found;
    };
    EXPECT_EQ(urls({ { crawlKey::checkImages, false } }), QStringList { QStringLiteral("p.html") });
    EXPECT_EQ(urls({ { crawlKey::checkImages, QStringLiteral("NO") } }), QStringList { QStringLiteral("p.html") });
    // A site holding no value checks images while the sitemap needs them.
    EXPECT_EQ(urls({}).join(u' '), QStringLiteral("p.html i.png s1.png s2.png f.png w.webp e.swf bg.png a.mp3 v.mp4"));
    detail::setParserDefaults({});
}

TEST(CrwlParser, AnEmbeddedObjectIsARecordOfItsOwnMarkedAsLoaded)
{
    const ExactBuffer page(std::string_view("<html><body><embed src=\"http://cdn.test/e.swf\">"
                                            "<img src=\"i.png\" alt=\"picture\"></body></html>"));
    const auto parser = CrwlParser::initWithData(
        shared(page), true, true, Encoding::UTF8, CrwlParser::HTML, { { crawlKey::checkImages, true } }, true);
    ASSERT_TRUE(parser);
    QStringList records;
    for (const CrwlLinkRecord& record : parser->getCollection())
        records << record.urlArray.join(u' ') + u'|' + record.linkText.value_or(QString());
    EXPECT_EQ(records, (QStringList { QStringLiteral("http://cdn.test/e.swf|[embed]"), QStringLiteral("i.png|") }));
}

TEST(CrwlParserCharset, ExtractCharset)
{
    EXPECT_EQ(charset("<meta charset=\"utf-8\" />"), QStringLiteral("utf-8"));
    EXPECT_EQ(charset("<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; CHARSET=Shift_JIS\">"),
        QStringLiteral("Shift_JIS"));
    EXPECT_EQ(charset("<meta charset='euc-jp'>"), QStringLiteral("euc-jp"));
    EXPECT_FALSE(charset("<body><meta charset=utf-8>"));
    EXPECT_FALSE(charset("<meta charset=utf-8"));
    EXPECT_FALSE(charset(""));
    EXPECT_FALSE(charset("<meta name=x>"));
}

TEST(CrwlParserCharset, EncodingForCharset)
{
    // Labels as browsers read them: whole names in any ASCII case, what follows them in the tag
    // left out; no substring of a name counts.
    const struct {
        const char* declared;
        crawlmere::platform::EncodingId expected;
    } rows[] = {
        { "UTF-8", Encoding::UTF8 },
        { "Utf-8", Encoding::UTF8 },
        { "windows-1251", Encoding::WindowsCP1251 },
        { "CP1251\" />", Encoding::WindowsCP1251 },
        { "gb18030", Encoding::GB18030 },
        { "utf-16", Encoding::UTF8 },
        { "iso-8859-15", Encoding::ISOLatin9 },
        { "ISO-8859-10", Encoding::ISOLatin6 },
        { "iso-8859-13", Encoding::ISOLatin7 },
        { "iso-8859-16", Encoding::ISOLatin10 },
        { "ISO-8859-9", Encoding::WindowsCP1254 },
        { "iso-8859-1", Encoding::WindowsCP1252 },
        { "latin1", Encoding::WindowsCP1252 },
        { "US-ASCII", Encoding::WindowsCP1252 },
        { "windows-1255", Encoding::WindowsHebrew },
        { "windows-1256", Encoding::WindowsArabic },
        { "KOI8-U", Encoding::KOI8U },
        { "windows-31j", Encoding::ShiftJIS },
        { "TIS-620", Encoding::DOSThai },
        { "SHIFT_JIS", Encoding::ShiftJIS },
        { "GB2312", Encoding::GBK },
        { "Big5", Encoding::Big5 },
        { "euc-kr", Encoding::KoreanEUC },
        { "HZ-GB-2312", Encoding::None },
        { "x-euc", Encoding::None },
        { "utf-8x", Encoding::None },
        { "nonsense", Encoding::None },
    };
    for (const auto& row : rows)
        EXPECT_EQ(CrwlParser::encodingForCharset(QString::fromLatin1(row.declared)), row.expected) << row.declared;
}

TEST(CrwlParserCharset, TitlesReadInTheCharsetThePageDeclares)
{
    const struct {
        const char* charset;
        std::string_view title;
        const char* expected; // UTF-8
    } rows[] = {
        { "ISO-8859-15", "Prix 5\xA4 \xA6", "Prix 5\u20AC \u0160" },
        { "iso-8859-9", "\xDDstanbul \xFE\x80", "\u0130stanbul \u015F\u20AC" },
        { "iso-8859-13", "\xD0iauliai", "\u0160iauliai" },
        { "iso-8859-16", "\xAAtefan \xDE" "ar\xE3", "\u0218tefan \u021Aar\u0103" },
        { "windows-1255", "\xF9\xEC\xE5\xED", "\u05E9\u05DC\u05D5\u05DD" },
        { "windows-1256", "\xD3\xE1\xC7\xE3", "\u0633\u0644\u0627\u0645" },
        { "KOI8-U", "\xF0\xD2\xC9\xD7\xA6\xD4 \xAE", "\u041F\u0440\u0438\u0432\u0456\u0442 \u045E" },
        { "windows-31j", "\x87\x40\x93\xFA\x96\x7B", "\u2460\u65E5\u672C" },
        { "iso-8859-1", "\x93" "caf\xE9\x94 \x96 5\x80", "\u201Ccaf\u00E9\u201D \u2013 5\u20AC" },
    };
    for (const auto& row : rows) {
        for (const bool inContentType : { false, true }) {
            const std::string declaration = inContentType
                ? std::string("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=") + row.charset + "\">"
                : std::string("<meta charset=\"") + row.charset + "\">";
            const std::string page = "<html><head>" + declaration + "<title>" + std::string(row.title)
                + "</title></head><body></body></html>";
            CrwlParser::Options options;
            options.withSEO = true;
            options.allowNoLinks = true;
            options.useEncoding = Encoding::UTF8;
            const ExactBuffer buffer(page);
            const auto parser = CrwlParser::initWithData(shared(buffer), options);
            ASSERT_TRUE(parser);
            EXPECT_EQ(parser->getTitle(), QString::fromUtf8(row.expected)) << row.charset << " " << inContentType;
        }
    }
}

TEST(CrwlParserCharset, AnUndeclaredPageReadsAsWindows1252WhereItIsNotUtf8)
{
    const ExactBuffer page(std::string_view("<html><head><title>\x93Prix\x94 5\x80</title></head><body></body></html>"));
    CrwlParser::Options options;
    options.withSEO = true;
    options.allowNoLinks = true;
    options.useEncoding = Encoding::UTF8; // what the scan detected on its starting page
    const auto parser = CrwlParser::initWithData(shared(page), options);
    ASSERT_TRUE(parser);
    EXPECT_EQ(parser->getTitle(), QString::fromUtf8("\u201CPrix\u201D 5\u20AC"));
}

TEST(CrwlParserCharset, AWindows1251PageReadsRightWhateverEncodingTheScanDetected)
{
    // "Документация" in windows-1251, as title, heading and link text.
    const std::string word = "\xc4\xee\xea\xf3\xec\xe5\xed\xf2\xe0\xf6\xe8\xff";
    const std::string page = "<html><head><meta charset=\"windows-1251\"><title>" + word + "</title></head><body><h1>"
        + word + "</h1><a href=\"/a.html\">" + word + "</a></body></html>";
    const QString expected = QStringLiteral("\u0414\u043e\u043a\u0443\u043c\u0435\u043d\u0442\u0430\u0446\u0438\u044f");
    for (const auto detected : { Encoding::UTF8, Encoding::ISOLatin1 }) {
        CrwlParser::Options options;
        options.withSEO = true;
        options.useEncoding = detected;
        const auto parser = CrwlParser::initWithData(QByteArray::fromStdString(page), options);
        ASSERT_TRUE(parser);
        EXPECT_EQ(parser->getTitle(), expected);
        EXPECT_EQ(parser->getHeadings(), QStringList { expected });
        ASSERT_TRUE(parser->getNextHref());
        EXPECT_EQ(parser->getLinkText(), expected);
    }
}

TEST(CrwlParserCharset, MetaRefresh)
{
    EXPECT_EQ(refresh("<html><head><meta http-equiv=\"refresh\" content=\"5; url=/next.html\"></head>"),
        QStringLiteral("5; url=/next.html"));
    EXPECT_EQ(refresh("<META HTTP-EQUIV='Refresh' CONTENT = '0;URL=http://x.com/'>"), QStringLiteral("0;URL=http://x.com/"));
    EXPECT_EQ(refresh("<meta http-equiv=refresh content=0;url=/a>"), QStringLiteral("0;url=/a"));
    EXPECT_FALSE(refresh("<!-- <meta http-equiv=\"refresh\" content=\"0;url=/c\"> -->"));
    EXPECT_FALSE(refresh("<script>x='<meta http-equiv=\"refresh\" content=\"0;url=/s\">'</script>"));
    EXPECT_FALSE(refresh("<noscript><meta http-equiv=\"refresh\" content=\"0;url=/n\"></noscript>"));
    EXPECT_FALSE(refresh("<meta content=\"0;url=/d\" http-equiv=\"refresh\">"));
    EXPECT_FALSE(refresh("<body><meta http-equiv=\"refresh\" content=\"0;url=/b\">"));
    EXPECT_FALSE(refresh("<meta http-equiv=\"refresh\" content=\"\">"));
    EXPECT_FALSE(refresh("<meta http-equiv=\"refresh\" content=\"0;url=/cut"));
    EXPECT_EQ(refresh("<script>a</script><meta http-equiv=\"refresh\" content=\"1\">"), QStringLiteral("1"));
}

TEST(CrwlParserCharset, PositionWithinComment)
{
    const std::string_view page = "a<!-- b -->c<!-- d";
    EXPECT_FALSE(CrwlParser::metaRefreshURLat(0, page));
    EXPECT_TRUE(CrwlParser::metaRefreshURLat(6, page));
    EXPECT_FALSE(CrwlParser::metaRefreshURLat(11, page));
    EXPECT_FALSE(CrwlParser::metaRefreshURLat(16, page)) << "an unclosed comment counts as none";
}

TEST(CrwlParser, InitWithUrlLoadsAndParsesThePage)
{
    crawlmere::test::LoopbackServer server;
    std::atomic<int> requests = 0;
    server.server().Get(R"(/.*)", [&requests](const httplib::Request& request, httplib::Response& response) {
        ++requests;
        if (request.path == "/page")
            response.set_content("<html><head><title>" + request.get_header_value("User-Agent")
                    + "</title><meta name=robots content=noindex></head><body><a href=/x>x</a> one two</body></html>",
                "text/html; charset=utf-8");
        else if (request.path == "/plain")
            response.set_content("<a href=/x>x</a>", "text/plain");
        else
            response.set_content("<a href=/x>x</a>", "text/html"); // reached only by mistake
    });
    ASSERT_TRUE(server.start());
    detail::setParserDefault(crawlKey::userAgentString, QStringLiteral("ParserTest/2"));

    const auto parser = CrwlParser::initWithUrl(server.url(QStringLiteral("/page")));
    ASSERT_TRUE(parser);
    EXPECT_EQ(parser->getTitle(), QStringLiteral("ParserTest/2"));
    EXPECT_TRUE(parser->getHeadContainsNoindex()); // parsed with SEO on
    EXPECT_EQ(parser->fileType(), CrwlParser::HTML);
    EXPECT_FALSE(CrwlParser::initWithUrl(server.url(QStringLiteral("/plain"))));
    EXPECT_EQ(requests.load(), 2);

    // Skipped file types and malformed URLs make no request.
    for (const char* path : { "/a.pdf", "/b.MP4", "/c.doc", "/d.zip" })
        EXPECT_FALSE(CrwlParser::initWithUrl(server.url(QString::fromLatin1(path)))) << path;
    EXPECT_FALSE(CrwlParser::initWithUrl(QStringLiteral("http://[broken")));
    EXPECT_EQ(requests.load(), 2);
    detail::setParserDefault(crawlKey::userAgentString, QVariant());
}
