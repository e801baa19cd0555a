// The copy's link rewriter finds on each line of the quoted-value table the links the page scan
// finds there, so that the scan and the copy agree on which values of a page are links.
#include "archive/detail/PageRewriter.h"
#include "support/TsvTable.h"

#include <gtest/gtest.h>

using crawlmere::test::readTsvTable;
using crawlmere::test::TsvRow;

TEST(PageRewriterTable, EachLineOfTheQuotedValueTableOffersTheLinksTheScanFinds)
{
    const auto rows = readTsvTable(QStringLiteral("pages/quoted-values.tsv"));
    ASSERT_GE(rows.size(), 20u);
    for (const TsvRow& row : rows) {
        QStringList offered;
        const QString page = QStringLiteral("<html><body><a href=\"before.html\">b</a>\n") + row.cell(0)
            + QStringLiteral("\n<a href=\"after.html\">a</a></body></html>");
        crawlmere::archive::detail::rewritePageLinks(page, [&](const QString& value) {
            offered += value;
            return QString();
        });
        QStringList expected { QStringLiteral("before.html") };
        expected += row.cells.mid(1);
        expected += QStringLiteral("after.html");
        EXPECT_EQ(offered, expected) << "line " << row.line << ": " << row.cell(0).toStdString();
    }
}
