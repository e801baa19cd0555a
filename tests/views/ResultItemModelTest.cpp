#include "views/ResultItemModel.h"

#include "LinkViewsTestSupport.h"
#include "ViewsTestSupport.h"
#include "engine/ScopedDefaults.h"
#include "platform/NotificationCenter.h"
#include "views/CrwlByPageDataSource.h"
#include "views/CrwlByStatusDataSource.h"
#include "views/crawlmereTableView.h"
#include "views/qfOutlineView.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <gtest/gtest.h>

using crawlmere::platform::Notification;
using crawlmere::platform::NotificationCenter;
using crawlmere::views::ResultItemModel;
using ResultTreeViewAlias = crawlmere::views::ResultTreeView;
using namespace crawlmere::test;

namespace {

// Counts the posts of one notification name while it lives.
class PostCounter {
public:
    explicit PostCounter(const QString& name)
    {
        NotificationCenter::defaultCenter().addObserver(this, name, [this](const Notification& note) {
            ++count;
            lastObject = note.object.get();
        });
    }
    ~PostCounter() { NotificationCenter::defaultCenter().removeObserver(this); }
    int count = 0;
    const void* lastObject = nullptr;
};

// An outline model over a pages-and-links tree, checked by Qt's model tester as it is used.
struct TestedOutline {
    explicit TestedOutline(int pages)
        : outline(pages)
    {
        model.setColumns(table.tableColumns());
        model.setOutlineDataSource(&outline);
    }
    PagesOutline outline;
    HeadlessTableView table { urlAndStatusColumns() };
    ResultItemModel model { table };
    QAbstractItemModelTester tester { &model, QAbstractItemModelTester::FailureReportingMode::Fatal };
};

} // namespace

TEST(ResultItemModelTest, FlatModelOverAThousandRecordsPassesTheTester)
{
    qfDataSource source;
    source.setCollection(makeRecords(1000));
    HeadlessTableView table(urlAndStatusColumns());
    ResultItemModel model(table);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.setColumns(table.tableColumns());
    model.setDataSource(&source);

    ASSERT_EQ(model.rowCount(), 1000);
    ASSERT_EQ(model.columnCount(), 2);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), "URL");
    // Every cell is the data source's value for the table.
    for (int row : { 0, 3, 999 }) {
        for (int column = 0; column < 2; ++column)
            EXPECT_EQ(model.data(model.index(row, column)),
                source.tableViewObjectValue(table, table.tableColumns()[column], row));
    }
    EXPECT_EQ(model.itemForIndex(model.index(10, 1)), source.getItemAtRowIndex(10));
    EXPECT_FALSE(model.hasChildren(model.index(0, 0)));

    // Hiding rows and reloading: the model follows the visible rows.
    for (int i = 0; i < 500; ++i)
        source.getCollection()[i]->setVisible(false);
    source.invalidateSortedAndFilteredArray();
    model.reload();
    EXPECT_EQ(model.rowCount(), 500);
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), "https://example.test/page-500");
}

TEST(ResultItemModelTest, OutlineModelServesATreePassingTheTester)
{
    TestedOutline tree(30);
    ResultItemModel& model = tree.model;

    ASSERT_EQ(model.rowCount(), 30);
    const QModelIndex page2 = model.index(2, 0);
    ASSERT_EQ(model.rowCount(page2), 2);
    EXPECT_TRUE(model.hasChildren(page2));
    EXPECT_FALSE(model.hasChildren(model.index(3, 0))); // expandable, but no links
    const QModelIndex link = model.index(1, 0, page2);
    EXPECT_EQ(model.data(link).toString(), "https://example.test/p2/l1");
    EXPECT_EQ(model.parent(link), page2);
    EXPECT_TRUE(model.isItemExpandable(page2));
    EXPECT_FALSE(model.isItemExpandable(link));
    EXPECT_EQ(model.rowCount(link), 0);
}

TEST(ResultItemModelTest, OutlineRowsAcrossManySiblingsKeepTheirChildrenApart)
{
    // Rows asked in no order, on both sides of the blocks the model keeps its rows in.
    TestedOutline tree(300);
    ResultItemModel& model = tree.model;

    ASSERT_EQ(model.rowCount(), 300);
    for (const int page : { 299, 2, 64, 65, 128, 127, 63, 256, 1, 200 }) {
        const QModelIndex parent = model.index(page, 0);
        ASSERT_EQ(model.rowCount(parent), page % 3) << page;
        for (int link = 0; link < page % 3; ++link) {
            const QModelIndex child = model.index(link, 1, parent);
            EXPECT_EQ(model.parent(child), parent) << page;
            EXPECT_EQ(model.data(child.siblingAtColumn(0)).toString(),
                QStringLiteral("https://example.test/p%1/l%2").arg(page).arg(link));
        }
        EXPECT_FALSE(model.index(page % 3, 0, parent).isValid()) << page;
        EXPECT_FALSE(model.index(0, 0, model.index(page, 1)).isValid()) << page;
    }
    model.reload();
    EXPECT_EQ(model.data(model.index(1, 0, model.index(131, 0))).toString(), "https://example.test/p131/l1");
}

TEST(ResultItemModelTest, TableViewReportsColumnsInDisplayOrderAndSortsOnHeaderClicks)
{
    qfDataSource source;
    source.setCollection(
        { makeRecord("https://b.test/", 404), makeRecord("https://a.test/", 200), makeRecord("https://c.test/", 301) });
    crawlmereTableView view;
    view.setTableColumns(urlAndStatusColumns() << TableColumn { "filesize", "Size", true });
    view.setDataSource(&source);
    QAbstractItemModelTester tester(&view.itemModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);

    EXPECT_TRUE(view.isColumnHidden(2));
    view.header()->moveSection(1, 0);
    view.setColumnHidden(2, /*hidden=*/false);
    const QList<TableColumn> columns = view.tableColumns();
    ASSERT_EQ(columns.size(), 3);
    EXPECT_EQ(columns[0].title, "Status");
    EXPECT_EQ(columns[1].title, "URL");
    EXPECT_FALSE(columns[2].hidden);
    view.setColumnHidden(0, /*hidden=*/true);
    EXPECT_TRUE(view.tableColumns()[0].hidden);
    EXPECT_TRUE(view.isColumnHidden(1)); // the status column's logical index
    view.setColumnHidden(7, /*hidden=*/true); // out of range: nothing

    PostCounter reloads(crawlmereTableView::didReloadDataNotification);
    view.header()->sectionClicked(0); // the URL column's logical index
    ASSERT_EQ(view.sortDescriptors().size(), 1);
    EXPECT_EQ(view.sortDescriptors()[0].key, "url");
    EXPECT_EQ(view.itemModel().data(view.itemModel().index(0, 0)).toString(), "https://a.test/");
    EXPECT_EQ(reloads.count, 1);
    EXPECT_EQ(reloads.lastObject, static_cast<QTreeView*>(&view));

    view.header()->sectionClicked(0);
    EXPECT_FALSE(view.sortDescriptors()[0].ascending);
    EXPECT_EQ(view.itemModel().data(view.itemModel().index(0, 0)).toString(), "https://c.test/");
    view.header()->sectionClicked(1);
    ASSERT_EQ(view.sortDescriptors().size(), 2);
    EXPECT_EQ(view.sortDescriptors()[0].key, "status");
    EXPECT_EQ(reloads.count, 3);

    // The action form reloads without a post.
    view.reloadData(nullptr);
    EXPECT_EQ(reloads.count, 3);
    view.reloadData();
    EXPECT_EQ(reloads.count, 4);
}

TEST(ResultItemModelTest, OutlineExpandAndCollapsePostOnce)
{
    PagesOutline outline(6);
    qfOutlineView view;
    view.setTableColumns(urlAndStatusColumns());
    view.setOutlineDataSource(&outline);
    PostCounter reloads(qfOutlineView::didReloadDataNotification);
    PostCounter tableReloads(crawlmereTableView::didReloadDataNotification);

    view.expandItem(QModelIndex(), /*expandChildren=*/true);
    EXPECT_EQ(reloads.count, 1);
    EXPECT_TRUE(view.isExpanded(view.itemModel().index(2, 0)));
    view.collapseItem(view.itemModel().index(2, 0));
    EXPECT_EQ(reloads.count, 2);
    EXPECT_FALSE(view.isExpanded(view.itemModel().index(2, 0)));
    // A user's click on the disclosure (Qt's own expand) posts too.
    view.expand(view.itemModel().index(2, 0));
    EXPECT_EQ(reloads.count, 3);
    view.collapseItem(QModelIndex(), /*collapseChildren=*/true);
    EXPECT_EQ(reloads.count, 4);
    EXPECT_FALSE(view.isExpanded(view.itemModel().index(1, 0)));
    view.reloadData();
    EXPECT_EQ(reloads.count, 5);
    EXPECT_EQ(tableReloads.count, 0);
}

TEST(ResultItemModelTest, ReloadKeepsTheSelectionAndOpenRows)
{
    qfDataSource source;
    source.setCollection(makeRecords(5));
    crawlmereTableView table;
    table.setTableColumns(urlAndStatusColumns());
    table.setDataSource(&source);
    const auto selectRow = [](ResultTreeViewAlias& view, const QModelIndex& row) {
        view.selectionModel()->select(row, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    };
    selectRow(table, table.itemModel().index(1, 0));
    selectRow(table, table.itemModel().index(4, 0));
    // The rows follow their items: record 4 moves up, record 1 down, record 2 goes.
    const QList<qfDataSource::Item> records = source.getCollection();
    source.setCollection({ records[4], records[0], records[3], records[1] });
    table.reloadData();
    EXPECT_EQ(table.selectionModel()->selectedRows(),
        QModelIndexList({ table.itemModel().index(0, 0), table.itemModel().index(3, 0) }));
    // New records at the same rows are not the selected ones.
    source.setCollection(makeRecords(5));
    table.reloadData();
    EXPECT_TRUE(table.selectionModel()->selectedRows().isEmpty());

    PagesOutline outline(6);
    qfOutlineView view;
    view.setTableColumns(urlAndStatusColumns());
    view.setOutlineDataSource(&outline);
    view.expandItem(view.itemModel().index(2, 0));
    selectRow(view, view.itemModel().index(1, 0, view.itemModel().index(2, 0)));
    PostCounter reloads(qfOutlineView::didReloadDataNotification);
    std::swap(outline.pages[0], outline.pages[5]);
    std::swap(outline.links[0], outline.links[5]);
    view.reloadData();
    EXPECT_EQ(reloads.count, 1);
    const QModelIndex page2 = view.itemModel().index(2, 0);
    EXPECT_TRUE(view.isExpanded(page2));
    EXPECT_FALSE(view.isExpanded(view.itemModel().index(0, 0)));
    ASSERT_EQ(view.selectedItems().size(), 1);
    EXPECT_EQ(view.selectedItems().first(), outline.links[2][1]);
}

// Rows a model read from a data source's kept run stay readable, unchanged, after the data source
// rebuilds or clears its rows, until the model reloads; rows that cannot expand are flagged so.
TEST(ResultItemModelTest, KeptRowsOutliveTheirDataSourceUntilTheModelReloads)
{
    using crawlmere::views::CrwlByPageDataSource;
    using crawlmere::views::CrwlByStatusDataSource;
    using crawlmere::views::OutlineDataSource;
    struct Outline {
        OutlineDataSource* source;
        std::function<void()> change;
    };
    LinkScan scan;
    const auto home = scan.page(QStringLiteral("/"));
    const auto missing = scan.url(QStringLiteral("/missing"), 404);
    scan.link(home, missing, QStringLiteral("first"));
    scan.link(home, home, QStringLiteral("second"));
    ScopedDefaults defaults;
    CrwlByPageDataSource byPage;
    byPage.setInternalPageArray(scan.pages);
    byPage.filter();
    CrwlByStatusDataSource byStatus;
    byStatus.setCollection(scan.occurrences);
    byStatus.filter();
    const Outline outlines[] = {
        { &byPage, [&] { byPage.setSearchText(QStringLiteral("none")), byPage.filter(); } },
        { &byPage, [&] { byPage.clear(); } },
        { &byStatus, [&] { defaults.set(QStringLiteral("badLinksOnly"), true), byStatus.filter(); } },
        { &byStatus, [&] { byStatus.clear(); } },
    };
    for (const Outline& outline : outlines) {
        HeadlessTableView table(urlAndStatusColumns());
        ResultItemModel model(table);
        model.setColumns(table.tableColumns());
        model.setOutlineDataSource(outline.source);
        const QModelIndex parent = model.index(0, 0);
        ASSERT_GT(model.rowCount(parent), 0);
        const QModelIndex child = model.index(0, 0, parent);
        const QVariant before = model.data(child);
        EXPECT_FALSE(model.flags(parent) & Qt::ItemNeverHasChildren);
        EXPECT_TRUE(model.flags(child) & Qt::ItemNeverHasChildren);

        outline.change();
        EXPECT_EQ(model.data(child), before);
        EXPECT_EQ(model.itemForIndex(child), model.itemForIndex(model.index(0, 0, parent)));
        model.reload();
        defaults.set(QStringLiteral("badLinksOnly"), false);
    }
}
