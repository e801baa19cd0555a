// Body-phase fixture pages, one family of elements per folder of tests/fixtures/pages: anchors,
// images, media, frames and forms, inline styles, names, headings, page text, warnings, and pages
// that once went wrong.
#include "PageFixtures.h"

#include <gtest/gtest.h>

using crawlmere::test::checkPageFamily;

TEST(CrwlParserBody, Anchors) { checkPageFamily(QStringLiteral("anchors")); }
TEST(CrwlParserBody, Images) { checkPageFamily(QStringLiteral("images")); }
TEST(CrwlParserBody, MediaFramesAndForms) { checkPageFamily(QStringLiteral("embedded")); }
TEST(CrwlParserBody, InlineStylesAndLinkedFiles) { checkPageFamily(QStringLiteral("styles")); }
TEST(CrwlParserBody, NamesAndHeadings) { checkPageFamily(QStringLiteral("names")); }
TEST(CrwlParserBody, PageText) { checkPageFamily(QStringLiteral("text")); }
TEST(CrwlParserBody, Warnings) { checkPageFamily(QStringLiteral("warnings")); }
TEST(CrwlParserBody, Regressions) { checkPageFamily(QStringLiteral("regressions")); }
