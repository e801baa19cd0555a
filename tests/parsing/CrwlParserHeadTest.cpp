// Head-phase fixture pages (tests/fixtures/pages/head): title, meta tags, robots, canonical, base,
// linked files, window.location and the head's structural warnings.
#include "PageFixtures.h"

#include <gtest/gtest.h>

TEST(CrwlParserHead, FixturePages) { crawlmere::test::checkPageFamily(QStringLiteral("head")); }
