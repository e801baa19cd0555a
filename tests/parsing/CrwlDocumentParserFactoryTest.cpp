// CrwlDocumentParserFactory: the choice by file type and switch, and parsers that answer
// through the base class.
#include "parsing/CrwlDocumentParserFactory.h"
#include "engine/CrawlSettingKeys.h"

#include "parsing/CrwlCSSParser.h"
#include "parsing/CrwlDOCXParser.h"
#include "parsing/CrwlPDFParser.h"
#include "parsing/CrwlRTFParser.h"
#include "support/Fixtures.h"

#include <gtest/gtest.h>

using Factory = CrwlDocumentParserFactory;
using Kind = CrwlDocumentParserFactory::Kind;
using crawlmere::test::readFixture;

TEST(CrwlDocumentParserFactoryTest, FirstTypeWhoseSwitchIsOn)
{
    const Factory::Switches all { true, true, true, true };
    const Factory::Switches none {};
    EXPECT_EQ(Factory::kindFor({ .isPDF = true }, all), Kind::PDF);
    EXPECT_EQ(Factory::kindFor({ .isCSS = true }, all), Kind::CSS);
    EXPECT_EQ(Factory::kindFor({ .isDOCX = true }, all), Kind::DOCX);
    EXPECT_EQ(Factory::kindFor({ .isRTF = true }, all), Kind::RTF);
    EXPECT_FALSE(Factory::kindFor({}, all));
    EXPECT_FALSE(Factory::kindFor({ .isPDF = true, .isCSS = true, .isDOCX = true, .isRTF = true }, none));

    // Each type needs its own switch.
    EXPECT_FALSE(Factory::kindFor(
        { .isPDF = true }, { .shouldParseCSS = true, .shouldParseDOCXs = true, .shouldParseRTFs = true }));
    EXPECT_FALSE(Factory::kindFor({ .isCSS = true }, { .shouldParsePDFs = true }));
    EXPECT_FALSE(Factory::kindFor({ .isDOCX = true }, { .shouldParseRTFs = true }));
    EXPECT_FALSE(Factory::kindFor({ .isRTF = true }, { .shouldParseDOCXs = true }));

    // Order: PDF, CSS, DOCX, RTF.
    EXPECT_EQ(Factory::kindFor({ .isPDF = true, .isCSS = true }, all), Kind::PDF);
    EXPECT_EQ(Factory::kindFor({ .isPDF = true, .isCSS = true }, { .shouldParseCSS = true }), Kind::CSS);
    EXPECT_EQ(Factory::kindFor({ .isDOCX = true, .isRTF = true }, all), Kind::DOCX);

    EXPECT_EQ(Factory::settingsKey(Kind::PDF), crawlKey::shouldParsePDFs);
    EXPECT_EQ(Factory::settingsKey(Kind::CSS), crawlKey::shouldParseCSS);
    EXPECT_EQ(Factory::settingsKey(Kind::DOCX), crawlKey::shouldParseDOCXs);
    EXPECT_EQ(Factory::settingsKey(Kind::RTF), crawlKey::shouldParseRTFs);
}

TEST(CrwlDocumentParserFactoryTest, ParsersAnswerThroughTheBaseClass)
{
    struct Case {
        Kind kind;
        const char* fixture;
        QString firstLink;
        QString firstText;
    };
    const Case cases[] = {
        { Kind::PDF, "documents/links.pdf", QStringLiteral("https://example.org/second?a=1&b=2"),
            QStringLiteral("Second link & more") },
        { Kind::CSS, "documents/links.css", QStringLiteral("imported.css"), QStringLiteral("[url in css]") },
        { Kind::DOCX, "documents/links.docx", QStringLiteral("https://example.com/caf%C3%A9?x=1&y=2"),
            QStringLiteral("Caf\u00e9 cr\u00e8me br\u00fbl\u00e9e") },
        { Kind::RTF, "documents/links.rtf", QStringLiteral("http://example.com/rtf-one"),
            QStringLiteral("First RTF link") },
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.fixture);
        std::unique_ptr<CrwlParser> parser = Factory::make(test.kind, readFixture(QString::fromLatin1(test.fixture)));
        ASSERT_TRUE(parser);
        const std::optional<QString> first = parser->getNextHref();
        ASSERT_TRUE(first);
        EXPECT_EQ(*first, test.firstLink);
        EXPECT_EQ(parser->getLinkText(), test.firstText);
    }

    testing::internal::CaptureStderr();
    EXPECT_TRUE(dynamic_cast<CrwlPDFParser*>(Factory::make(Kind::PDF, QByteArray("x")).get()));
    EXPECT_TRUE(dynamic_cast<CrwlCSSParser*>(Factory::make(Kind::CSS, QByteArray("x")).get()));
    EXPECT_TRUE(dynamic_cast<CrwlRTFParser*>(Factory::make(Kind::RTF, QByteArray("x")).get()));
    // A parser that cannot be made.
    EXPECT_FALSE(Factory::make(Kind::DOCX, QByteArray("not a zip")));
    EXPECT_FALSE(Factory::make(Kind::PDF, QByteArray()));
    testing::internal::GetCapturedStderr();
}
