// CrwlPDFParser over the committed link fixture and over PDFs that cannot be read: the exact
// links and texts, the order of hand-out and the empty page facts.
#include "parsing/CrwlPDFParser.h"

#include "parsing/DocumentParserTestSupport.h"
#include "support/Fixtures.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <utility>
#include <vector>

using crawlmere::test::ExactBuffer;
using crawlmere::test::readFixture;
using crawlmere::test::parsing::drain;
using crawlmere::test::parsing::Links;

TEST(CrwlPDFParserTest, UriLinksInAnnotationOrderWithTheTextUnderThem)
{
    const ExactBuffer buffer(readFixture(QStringLiteral("documents/links.pdf")));
    std::unique_ptr<CrwlPDFParser> parser = CrwlPDFParser::initWithData(buffer.bytes());
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
    std::unique_ptr<CrwlPDFParser> parser = CrwlPDFParser::initWithData(truncated.bytes());
    const std::string log = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(parser) << "a PDF that cannot be opened still gives a parser";
    EXPECT_EQ(parser->linkCount(), 0);
    EXPECT_FALSE(parser->getNextHref());
    EXPECT_EQ(parser->getLinkText(), QStringLiteral(""));
    EXPECT_NE(log.find("CrwlPDFParser: cannot open the document"), std::string::npos) << log;

    const ExactBuffer garbage(std::string_view("%PDF-1.4\n\x01\x02\x03 nothing else"));
    testing::internal::CaptureStderr();
    parser = CrwlPDFParser::initWithData(garbage.bytes());
    const std::string garbageLog = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(parser);
    EXPECT_EQ(parser->linkCount(), 0);
    EXPECT_NE(garbageLog.find("CrwlPDFParser:"), std::string::npos) << garbageLog;

    // No data at all is no parser.
    EXPECT_FALSE(CrwlPDFParser::initWithData(QByteArray()));
}

namespace {

/// A PDF of `pages` pages, each with one URI link over its text "Page N", built in memory. A
/// page's content is the text drawing, or (`bombBytes` > 0) a Flate stream of that many bytes
/// of `unit` repeated: zero bytes decode to white space only, a few hundred kilobytes that a
/// text layout would chew through for a long time.
QByteArray linkedPdf(int pages, qint64 bombBytes = 0, const QByteArray& unit = QByteArray(1, '\0'))
{
    QList<QByteArray> objects; // object n is objects[n - 1]
    const int firstPage = 4;
    QByteArray kids;
    for (int i = 0; i < pages; ++i)
        kids += QByteArray::number(firstPage + 3 * i) + " 0 R ";
    objects << "<< /Type /Catalog /Pages 2 0 R >>";
    objects << "<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(pages) + " >>";
    objects << "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
    for (int i = 0; i < pages; ++i) {
        const QByteArray self = QByteArray::number(firstPage + 3 * i);
        objects << "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Resources << /Font << /F1 3 0 R >> >> "
                   "/Contents "
                + QByteArray::number(firstPage + 3 * i + 1) + " 0 R /Annots ["
                + QByteArray::number(firstPage + 3 * i + 2) + " 0 R] >>";
        QByteArray content;
        if (bombBytes > 0) {
            z_stream stream {};
            EXPECT_EQ(deflateInit(&stream, 9), Z_OK);
            const QByteArray zeros = unit.repeated(64 * 1024 / unit.size());
            QByteArray chunk(64 * 1024, '\0');
            for (qint64 left = bombBytes; left > 0 || stream.avail_in > 0;) {
                if (stream.avail_in == 0 && left > 0) {
                    const qint64 take = std::min<qint64>(left, zeros.size());
                    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.constData()));
                    stream.avail_in = uInt(take);
                    left -= take;
                }
                stream.next_out = reinterpret_cast<Bytef*>(chunk.data());
                stream.avail_out = uInt(chunk.size());
                deflate(&stream, Z_NO_FLUSH);
                content += chunk.left(chunk.size() - stream.avail_out);
            }
            int status = Z_OK;
            while (status != Z_STREAM_END) {
                stream.next_out = reinterpret_cast<Bytef*>(chunk.data());
                stream.avail_out = uInt(chunk.size());
                status = deflate(&stream, Z_FINISH);
                content += chunk.left(chunk.size() - stream.avail_out);
            }
            deflateEnd(&stream);
            objects << "<< /Length " + QByteArray::number(content.size()) + " /Filter /FlateDecode >>\nstream\n"
                    + content + "\nendstream";
        } else {
            content = "BT /F1 12 Tf 20 100 Td (Page " + QByteArray::number(i + 1) + ") Tj ET";
            objects << "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream";
        }
        objects << "<< /Type /Annot /Subtype /Link /Rect [10 90 120 120] /Border [0 0 0] /A << /S /URI /URI "
                   "(https://example.org/page"
                + QByteArray::number(i + 1) + ") >> >>";
    }
    QByteArray pdf("%PDF-1.4\n");
    QList<qsizetype> offsets;
    for (int n = 0; n < objects.size(); ++n) {
        offsets << pdf.size();
        pdf += QByteArray::number(n + 1) + " 0 obj\n" + objects.at(n) + "\nendobj\n";
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (const qsizetype offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n"
        + QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

} // namespace

TEST(CrwlPDFParserTest, ADocumentPastItsLimitsKeepsWhatWasReadAndSaysItWasCut)
{
    const QByteArray plain = linkedPdf(3);
    std::unique_ptr<CrwlPDFParser> whole = CrwlPDFParser::initWithData(plain);
    ASSERT_TRUE(whole);
    EXPECT_EQ(drain(*whole),
        (Links { { "https://example.org/page1", "Page 1" }, { "https://example.org/page2", "Page 2" },
            { "https://example.org/page3", "Page 3" } }));

    // 256 MB of zeros in about 250 KB: the links are read, their texts are not.
    const QByteArray bomb = linkedPdf(2, qint64(256) * 1024 * 1024);
    EXPECT_LT(bomb.size(), 2 * 1024 * 1024);
    testing::internal::CaptureStderr();
    std::unique_ptr<CrwlPDFParser> defused = CrwlPDFParser::initWithData(bomb);
    const std::string bombLog = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(defused);
    EXPECT_EQ(drain(*defused), (Links { { "https://example.org/page1", "" }, { "https://example.org/page2", "" } }));
    EXPECT_NE(
        bombLog.find("CrwlPDFParser: the document's streams decode to more than 16777216 bytes"), std::string::npos)
        << bombLog;

    // A stream just under the limit is read as before.
    CrwlPDFParser::Limits roomy;
    roomy.maxDecodedBytes = 300 * 1024;
    std::unique_ptr<CrwlPDFParser> small = CrwlPDFParser::initWithData(linkedPdf(1, 200 * 1024), roomy);
    ASSERT_TRUE(small);
    EXPECT_EQ(small->linkCount(), 1);

    const QByteArray compressed = linkedPdf(3, 100);
    // 20 MB of text drawing: laying it out takes far longer than the time given.
    const QByteArray wordy
        = linkedPdf(1, qint64(20) * 1024 * 1024, "BT /F1 12 Tf 20 100 Td (Words to lay out) Tj ET\n");
    const struct {
        const char* name;
        const QByteArray& document;
        CrwlPDFParser::Limits limits;
        qsizetype links;
        const char* said;
    } cuts[] = {
        { "two pages of three", plain, { 2, qint64(64) * 1024 * 1024, std::chrono::milliseconds(10000) }, 2,
            "the document has 3 pages; only the first 2 were read" },
        { "no time left", plain, { 10000, qint64(64) * 1024 * 1024, std::chrono::milliseconds(-1) }, 0,
            "reading took more than -1 ms; the document was cut after 0 links" },
        { "a page laid out past the time", wordy, { 10000, qint64(64) * 1024 * 1024, std::chrono::milliseconds(300) },
            0, "reading took more than 300 ms; the document was cut after 0 links" },
        { "texts over the limit", compressed, { 10000, 299, std::chrono::milliseconds(10000) }, 3,
            "its links are read without their texts" },
    };
    for (const auto& cut : cuts) {
        testing::internal::CaptureStderr();
        std::unique_ptr<CrwlPDFParser> parser = CrwlPDFParser::initWithData(cut.document, cut.limits);
        const std::string log = testing::internal::GetCapturedStderr();
        ASSERT_TRUE(parser) << cut.name;
        EXPECT_EQ(parser->linkCount(), cut.links) << cut.name;
        EXPECT_NE(log.find(cut.said), std::string::npos) << cut.name << ": " << log;
    }
}
