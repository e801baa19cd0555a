// The insecure-content outline model under the item-model tester, and the window's expand-all.
#include "views/InsecureOutlineModel.h"

#include "engine/Z12Ara.h"
#include "reports/CrwlInsecureDataSource.h"
#include "views/InsecureContentWindow.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeView>
#include <gtest/gtest.h>

using crawlmere::reports::CrwlInsecureDataSource;
using crawlmere::views::InsecureContentWindow;
using crawlmere::views::InsecureOutlineModel;

namespace {

const QList<InsecureContentRecord> items {
    { 1, QStringLiteral("https://example.com/"), { "http://a/1.js", "http://a/2.js", "http://a/3.js" } },
    { 3, QStringLiteral("https://example.com/c"), { "http://example.com/c" } },
    { 0, QStringLiteral("https://example.com/none"), {} },
};

TEST(InsecureOutlineModel, PassesTheModelTesterThroughAReload)
{
    CrwlInsecureDataSource source;
    InsecureOutlineModel model(source);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(model.rowCount(), 0);
    source.setCollection(items);
    model.reload();

    ASSERT_EQ(model.rowCount(), 3);
    const QModelIndex first = model.index(0, 0);
    ASSERT_EQ(model.rowCount(first), 3);
    EXPECT_EQ(model.index(2, 0, first).data().toString(), QStringLiteral("http://a/3.js"));
    EXPECT_EQ(model.index(2, 0, first).parent(), first);
    EXPECT_EQ(model.index(0, 1).data().toString(), CrwlInsecureDataSource::commentForKind(1));
    EXPECT_EQ(model.rowCount(model.index(2, 0)), 0);
    source.clear();
    model.reload();
    EXPECT_EQ(model.rowCount(), 0);
}

TEST(InsecureContentWindow, ShowingWithExpandAllOnShowsEveryItemExpanded)
{
    CrwlInsecureDataSource source;
    source.setCollection(items);
    InsecureContentWindow window(source);
    window.expandAllButton()->setChecked(true);
    window.showWindow();
    QTreeView* outline = window.findChild<QTreeView*>(QStringLiteral("insecureOutlineView"));
    ASSERT_EQ(outline, window.getOutlineView());
    EXPECT_TRUE(outline->isExpanded(outline->model()->index(0, 0)));
    EXPECT_TRUE(outline->isExpanded(outline->model()->index(1, 0)));
    window.expandAllButton()->setChecked(false);
    EXPECT_FALSE(outline->isExpanded(outline->model()->index(0, 0)));
}

TEST(InsecureContentWindow, LongAddressesReadWhole)
{
    const QString page = QStringLiteral("https://example.com/a/page/deep/down/in/a/site/with/a/long/path/index.html");
    const QString item = QStringLiteral("http://cdn.example.net/scripts/a/library/of/some/length/loaded/insecurely.js");
    CrwlInsecureDataSource source;
    source.setCollection({ { 1, page, { item } } });
    InsecureContentWindow window(source);
    window.expandAllButton()->setChecked(true);
    window.showWindow();
    const QTreeView* outline = window.getOutlineView();
    const QFontMetrics metrics = outline->fontMetrics();
    ASSERT_GT(metrics.horizontalAdvance(page), 420);
    EXPECT_GE(outline->columnWidth(0), metrics.horizontalAdvance(page));
    EXPECT_GE(outline->columnWidth(0), metrics.horizontalAdvance(item) + outline->indentation());
}

} // namespace
