// CrwlDOCXParser over the committed DOCX fixtures: hyperlink elements through their
// relationships, HYPERLINK fields, accented text, and archives that are broken, incomplete or
// too large, all read in memory.
#include "parsing/CrwlDOCXParser.h"

#include "parsing/DocumentParserTestSupport.h"
#include "platform/Paths.h"
#include "support/Fixtures.h"

#include <QDir>
#include <gtest/gtest.h>

#include <utility>
#include <vector>

using crawlmere::platform::Paths;
using crawlmere::test::ExactBuffer;
using crawlmere::test::readFixture;
using crawlmere::test::parsing::Links;

namespace {

// Parses a fixture expecting no parser; answers what was logged meanwhile.
std::string refusedWithLog(const QString& fixture, qint64 maxEntryBytes = CrwlDOCXParser::kMaxEntryBytes)
{
    const ExactBuffer buffer(readFixture(fixture));
    testing::internal::CaptureStderr();
    std::unique_ptr<CrwlDOCXParser> parser = CrwlDOCXParser::initWithData(buffer.bytes(), maxEntryBytes);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(parser) << fixture.toStdString();
    return log;
}

} // namespace

TEST(CrwlDOCXParserTest, HyperlinkElementsThenFieldCodes)
{
    const ExactBuffer buffer(readFixture(QStringLiteral("documents/links.docx")));
    std::unique_ptr<CrwlDOCXParser> parser = CrwlDOCXParser::initWithData(buffer.bytes());
    ASSERT_TRUE(parser);
    EXPECT_EQ(parser->getLinkText(), QStringLiteral(""));

    const Links expected {
        // rId10 comes first in the relationships; accented text kept whole; "&amp;" decoded.
        { QStringLiteral("https://example.com/caf%C3%A9?x=1&y=2"),
            QStringLiteral("Caf\u00e9 cr\u00e8me br\u00fbl\u00e9e") },
        // rId1 is not mistaken for the rId10 listed before it; text over two runs.
        { QStringLiteral("http://example.org/second"), QStringLiteral("Second part & more") },
        // Target written before Id.
        { QStringLiteral("http://example.org/reordered"), QStringLiteral("Reordered attributes") },
        // The bookmark link (an image's id inside it) and the unknown rId99 yield nothing.
        { QStringLiteral("http://example.net/field?a=1&b=2"), QStringLiteral("Field link \u00fcn\u00efcode") },
        // A simple field's text ends with the field.
        { QStringLiteral("http://example.net/simple"), QStringLiteral("Simple field") },
    };
    Links links;
    while (const std::optional<QString> href = parser->getNextHref()) {
        EXPECT_EQ(parser->getData(), parser->getLinkText());
        links.emplace_back(*href, parser->getLinkText());
    }
    EXPECT_EQ(links, expected);
    EXPECT_FALSE(parser->getNextHref());
    EXPECT_EQ(parser->getLength(), static_cast<qint64>(buffer.size()));
}

TEST(CrwlDOCXParserTest, BrokenArchivesGiveNoParserAndALogLine)
{
    std::string log = refusedWithLog(QStringLiteral("documents/not_a_zip.docx"));
    EXPECT_NE(log.find("CrwlDOCXParser: cannot open the document: not a zip archive"), std::string::npos) << log;

    log = refusedWithLog(QStringLiteral("documents/no_document.docx"));
    EXPECT_NE(log.find("unable to find word document at word/document.xml"), std::string::npos) << log;

    log = refusedWithLog(QStringLiteral("documents/no_rels.docx"));
    EXPECT_NE(log.find("unable to find rels document at word/_rels/document.xml.rels"), std::string::npos) << log;

    // 40 MiB of blanks inside 40 KiB, under the default cap of 32 MiB.
    log = refusedWithLog(QStringLiteral("documents/bomb.docx"));
    EXPECT_NE(log.find("entry word/document.xml holds 41944482 bytes, more than the 33554432 bytes allowed"),
        std::string::npos)
        << log;

    // Headers that claim 100 bytes for about 8 KiB: reading stops at the cap.
    log = refusedWithLog(QStringLiteral("documents/lying_size.docx"), 4096);
    EXPECT_NE(log.find("entry word/document.xml holds more than the 4096 bytes allowed"), std::string::npos) << log;

    EXPECT_FALSE(CrwlDOCXParser::initWithData(QByteArray()));
    const ExactBuffer empty(std::string_view(""));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(CrwlDOCXParser::initWithData(empty.bytes()));
    EXPECT_FALSE(testing::internal::GetCapturedStderr().empty());
}

TEST(CrwlDOCXParserTest, EachDocumentIsReadOnItsOwnAndNothingIsUnpacked)
{
    // One parser after another, each over its own bytes: a document without relationships
    // never borrows those of the document read before it.
    for (int round = 0; round < 3; ++round) {
        const ExactBuffer links(readFixture(QStringLiteral("documents/links.docx")));
        std::unique_ptr<CrwlDOCXParser> parser = CrwlDOCXParser::initWithData(links.bytes());
        ASSERT_TRUE(parser);
        EXPECT_EQ(parser->linkCount(), 5);
        parser.reset();
        refusedWithLog(QStringLiteral("documents/no_rels.docx"));
        refusedWithLog(QStringLiteral("documents/no_document.docx"));
    }
    EXPECT_FALSE(QDir(Paths::applicationSupportFolder() + QStringLiteral("/temp")).exists());
}

TEST(CrwlDOCXParserTest, RelationshipLookup)
{
    const QString rels
        = QStringLiteral("<Relationships><Relationship Id=\"rId10\" Target=\"ten\"/>"
                         "<Relationship Target=\"one?a=1&amp;b=2\" Id=\"rId1\"/>"
                         "<Relationship Id=\"rId2\" Type=\"x\"/>"
                         "<Relationship Id=\"rId3\" TargetMode=\"External\" Target=\"three\"/></Relationships>");
    EXPECT_EQ(CrwlDOCXParser::urlFromRelFile(rels, u"rId10"), QStringLiteral("ten"));
    EXPECT_EQ(CrwlDOCXParser::urlFromRelFile(rels, u"rId1"), QStringLiteral("one?a=1&amp;b=2"));
    EXPECT_EQ(CrwlDOCXParser::urlFromRelFile(rels, u"RID1"), QStringLiteral("one?a=1&amp;b=2"));
    EXPECT_EQ(CrwlDOCXParser::urlFromRelFile(rels, u"rId3"), QStringLiteral("three"));
    EXPECT_FALSE(CrwlDOCXParser::urlFromRelFile(rels, u"rId2")) << "no Target";
    EXPECT_FALSE(CrwlDOCXParser::urlFromRelFile(rels, u"rId4"));
    EXPECT_FALSE(CrwlDOCXParser::urlFromRelFile(u"<Relationship Id=\"rId1\" Target=\"open", u"rId1"));
}

TEST(CrwlDOCXParserTest, TextOutsideTags)
{
    EXPECT_EQ(CrwlDOCXParser::extractedTextFromXML(u"lead<a>one</a><b>two &amp; three</b>tail", 100),
        QStringLiteral("onetwo & threetail"));
    EXPECT_EQ(CrwlDOCXParser::extractedTextFromXML(u"no tag at all", 100), QStringLiteral(""));
    EXPECT_EQ(CrwlDOCXParser::extractedTextFromXML(u"x>abcdef", 3), QStringLiteral("abc"));
    // A character outside the basic plane is not split at the cap.
    EXPECT_EQ(CrwlDOCXParser::extractedTextFromXML(u">a\U0001F600b", 2), QStringLiteral("a\U0001F600"));
}
