// PdfDocument over the committed link fixture: pages, link annotations in annotation order with
// their rectangles in points, text under a rectangle, and documents that cannot be opened.
#include "platform/PdfDocument.h"

#include "support/Fixtures.h"

#include <gtest/gtest.h>

using crawlmere::platform::PdfDocument;
using crawlmere::platform::PdfLinkAnnotation;
using crawlmere::test::ExactBuffer;
using crawlmere::test::readFixture;

namespace {

void expectRectNear(const QRectF& actual, const QRectF& expected)
{
    EXPECT_NEAR(actual.x(), expected.x(), 0.01);
    EXPECT_NEAR(actual.y(), expected.y(), 0.01);
    EXPECT_NEAR(actual.width(), expected.width(), 0.01);
    EXPECT_NEAR(actual.height(), expected.height(), 0.01);
}

} // namespace

TEST(PdfDocumentTest, PagesAnnotationsAndRectanglesInPoints)
{
    const ExactBuffer buffer(readFixture(QStringLiteral("documents/links.pdf")));
    const std::optional<PdfDocument> document = PdfDocument::fromData(buffer.bytes());
    ASSERT_TRUE(document);
    ASSERT_EQ(document->pageCount(), 2);
    EXPECT_FALSE(document->page(2));
    EXPECT_FALSE(document->page(-1));

    const std::optional<PdfDocument::Page> page = document->page(0);
    ASSERT_TRUE(page);
    EXPECT_NEAR(page->size().width(), 500.0, 0.01);
    EXPECT_NEAR(page->size().height(), 700.0, 0.01);

    // Annotation order, not reading order; the sticky note is not a link.
    const std::vector<PdfLinkAnnotation> links = page->linkAnnotations();
    ASSERT_EQ(links.size(), 5u);
    EXPECT_EQ(links[0].url, QStringLiteral("https://example.org/second?a=1&b=2"));
    EXPECT_EQ(links[1].url, QStringLiteral("https://example.com/first"));
    EXPECT_TRUE(links[2].url.isNull()) << "an internal jump has no URL";
    EXPECT_EQ(links[3].url, QStringLiteral("mailto:info@example.com"));
    EXPECT_EQ(links[4].url, QStringLiteral("http://example.com/empty-area"));

    // /Rect [68 596 300 612] on a 700-point-high page: top-left origin, y flipped.
    expectRectNear(links[0].bounds, QRectF(68, 700 - 612, 232, 16));
    // /Rect [350 200 450 230].
    expectRectNear(links[4].bounds, QRectF(350, 700 - 230, 100, 30));
}

TEST(PdfDocumentTest, TextInsideARectangle)
{
    const ExactBuffer buffer(readFixture(QStringLiteral("documents/links.pdf")));
    const std::optional<PdfDocument> document = PdfDocument::fromData(buffer.bytes());
    ASSERT_TRUE(document);
    const std::optional<PdfDocument::Page> page = document->page(0);
    ASSERT_TRUE(page);
    const std::vector<PdfLinkAnnotation> links = page->linkAnnotations();
    ASSERT_EQ(links.size(), 5u);
    EXPECT_EQ(page->textInRect(links[1].bounds), QStringLiteral("First link text"));
    EXPECT_EQ(page->textInRect(links[4].bounds), QStringLiteral(""));
    // The bottom of the page, where an unflipped rectangle would land.
    EXPECT_EQ(page->textInRect(QRectF(60, 640, 300, 30)), QStringLiteral("Decoy line near the bottom"));
    // An empty rectangle holds no text (poppler would answer the whole page for a null one).
    EXPECT_EQ(page->textInRect(QRectF()), QStringLiteral(""));
    EXPECT_EQ(page->textInRect(QRectF(68, 88, 0, 16)), QStringLiteral(""));
}

TEST(PdfDocumentTest, PagesOutliveTheirDocumentObject)
{
    std::optional<PdfDocument::Page> page;
    {
        const QByteArray bytes = readFixture(QStringLiteral("documents/links.pdf"));
        std::optional<PdfDocument> document = PdfDocument::fromData(bytes);
        ASSERT_TRUE(document);
        page = document->page(1);
    }
    ASSERT_TRUE(page);
    const std::vector<PdfLinkAnnotation> links = page->linkAnnotations();
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].url, QStringLiteral("http://example.net/p2"));
    EXPECT_EQ(page->textInRect(links[0].bounds.adjusted(-1, -1, 1, 1)), QStringLiteral("Page two link"));
}

TEST(PdfDocumentTest, BytesThatAreNoReadablePdf)
{
    QString failure;
    EXPECT_FALSE(PdfDocument::fromData(QByteArray(), &failure));
    EXPECT_FALSE(failure.isEmpty());

    failure.clear();
    const ExactBuffer text(std::string_view("just some text, not a document"));
    EXPECT_FALSE(PdfDocument::fromData(text.bytes(), &failure));
    EXPECT_FALSE(failure.isEmpty());

    // The first third of the fixture: header and a few objects, no pages, no cross-reference.
    failure.clear();
    const ExactBuffer truncated(readFixture(QStringLiteral("documents/truncated.pdf")));
    EXPECT_FALSE(PdfDocument::fromData(truncated.bytes(), &failure));
    EXPECT_FALSE(failure.isEmpty());
}
