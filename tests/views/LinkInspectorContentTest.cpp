#include "views/LinkInspectorContent.h"

#include "engine/CrwlUrl.h"

#include <gtest/gtest.h>

using crawlmere::views::LinkInspectorContent;

TEST(LinkInspectorContent, RedirectRows)
{
    CrwlUrl direct;
    direct.setLinkURL(QStringLiteral("https://site.test/a"));
    direct.setStatus(200);
    EXPECT_TRUE(LinkInspectorContent::redirectRows(direct).isEmpty());
    EXPECT_EQ(LinkInspectorContent::redirectTableText({}), "");

    CrwlUrl moved;
    moved.setLinkURL(QStringLiteral("https://site.test/old%20page"));
    moved.addRedir(QStringLiteral("https://site.test/step"), 301, 0);
    moved.addRedir(QStringLiteral("https://site.test/f%C3%BCnf"), 302, 1);
    moved.setStatus(200);
    const QList<QStringList> rows = LinkInspectorContent::redirectRows(moved);
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0], QStringList({ moved.getAbsoluteStringDecoded(), moved.descriptionForStatusCode(301), "http" }));
    EXPECT_EQ(rows[1], QStringList({ "https://site.test/step", moved.descriptionForStatusCode(302), "html meta refresh" }));
    EXPECT_EQ(rows[2], QStringList({ QString::fromUtf8("https://site.test/f\xc3\xbcnf"), moved.descriptionForStatusCode(200), "" }));
    EXPECT_TRUE(rows[0][1].startsWith("301"));
    EXPECT_EQ(LinkInspectorContent::redirectTableText(rows).count('\t'), 6);
    EXPECT_EQ(LinkInspectorContent::redirectTableText(rows).count('\n'), 2);

    EXPECT_EQ(LinkInspectorContent::reasonText(2), "response header field");
    EXPECT_EQ(LinkInspectorContent::reasonText(7), "");
}
