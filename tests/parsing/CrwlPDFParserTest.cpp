// CrwlPDFParser over the committed link fixture and over PDFs that cannot be read: the exact
// links and texts, the order of hand-out and the empty page facts.
#include "parsing/CrwlPDFParser.h"

#include "support/Fixtures.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using crawlmere::test::ExactBuffer;
using crawlmere::test::readFixture;

namespace {

using Links = std::vector<std::pair<QString, QString>>;

QByteArray exactBytes(const ExactBuffer& buffer)
{
    return QByteArray::fromRawData(buffer.data(), static_cast<qsizetype>(buffer.size()));
}

// Every URL with the link text answered right after it, through the base class.
Links drain(CrwlParser& parser)
{
    Links links;
    while (const std::optional<QString> href = parser.getNextHref())
        links.emplace_back(*href, parser.getLinkText());
    return links;
}

} // namespace

TEST(CrwlPDFParserTest, UriLinksInAnnotationOrderWithTheTextUnderThem)
{
    const ExactBuffer buffer(readFixture(QStringLiteral("documents/links.pdf")));
    std::unique_ptr<CrwlPDFParser> parser = CrwlPDFParser::initWithData(exactBytes(buffer));
    ASSERT_TRUE(parser);
    EXPECT_EQ(parser->getLinkText(), QStringLiteral("")) << "no link handed out yet";

    // Page one lists the second line's link before the first line's; the internal jump and
    // the note yield nothing; the link over an empty area has the empty text.
    const Links expected {
        { QStringLiteral("https://example.org/second?a=1&b=2"), QStringLiteral("Second link & more") },
        { QStringLiteral("https://example.com/first"), QStringLiteral("First link text") },
        { QStringLiteral("mailto:info@example.com"), QStringLiteral("Write to us") },
        { QStringLiteral("http://example.com/empty-area"), QStringLiteral("") },
        { QStringLiteral("http://example.net/p2"), QStringLiteral("Page two link") },
    };
    EXPECT_EQ(drain(*parser), expected);

    // After the last link: no more, and the text stays that of the last link.
    EXPECT_FALSE(parser->getNextHref());
    EXPECT_FALSE(parser->getNextHref());
    EXPECT_EQ(parser->getLinkText(), QStringLiteral("Page two link"));
}

TEST(CrwlPDFParserTest, PageFactsAreEmptyAndTheBytesAreKept)
{
    const QByteArray bytes = readFixture(QStringLiteral("documents/links.pdf"));
    std::unique_ptr<CrwlPDFParser> parser = CrwlPDFParser::initWithData(bytes);
    ASSERT_TRUE(parser);
    EXPECT_TRUE(parser->getTitle().isEmpty());
    EXPECT_TRUE(parser->getCanonical().isEmpty());
    EXPECT_TRUE(parser->getBaseHref().isNull());
    EXPECT_TRUE(parser->getHeadings().isEmpty());
    EXPECT_EQ(parser->getWordCount(), 0);
    EXPECT_FALSE(parser->getHeadContainsNofollow());
    EXPECT_EQ(parser->getLength(), bytes.size());
    EXPECT_EQ(parser->getFileSize(), bytes.size());
    // The link getters of HTML records have nothing to say here.
    ASSERT_TRUE(parser->getNextHref());
    EXPECT_EQ(parser->getRel(), QStringLiteral(""));
    EXPECT_FALSE(parser->getLineNumber());
}

TEST(CrwlPDFParserTest, UnreadableDocumentsGiveNoLinksAndALogLine)
{
    const ExactBuffer truncated(readFixture(QStringLiteral("documents/truncated.pdf")));
    testing::internal::CaptureStderr();
    std::unique_ptr<CrwlPDFParser> parser = CrwlPDFParser::initWithData(exactBytes(truncated));
    const std::string log = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(parser) << "a PDF that cannot be opened still gives a parser";
    EXPECT_EQ(parser->linkCount(), 0);
    EXPECT_FALSE(parser->getNextHref());
    EXPECT_EQ(parser->getLinkText(), QStringLiteral(""));
    EXPECT_NE(log.find("CrwlPDFParser: cannot open the document"), std::string::npos) << log;

    const ExactBuffer garbage(std::string_view("%PDF-1.4\n\x01\x02\x03 nothing else"));
    testing::internal::CaptureStderr();
    parser = CrwlPDFParser::initWithData(exactBytes(garbage));
    const std::string garbageLog = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(parser);
    EXPECT_EQ(parser->linkCount(), 0);
    EXPECT_NE(garbageLog.find("CrwlPDFParser:"), std::string::npos) << garbageLog;

    // No data at all is no parser.
    EXPECT_FALSE(CrwlPDFParser::initWithData(QByteArray()));
}
