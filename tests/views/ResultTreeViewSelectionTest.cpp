// The result views keep their selection, current row and open rows on the same items across a
// refilter, a sort and new rows, and drop the items no longer shown.
#include "views/ResultTreeView.h"

#include "LinkViewsTestSupport.h"
#include "ViewsTestSupport.h"
#include "views/CrwlByPageDataSource.h"
#include "views/CrwlByStatusDataSource.h"
#include "views/CrwlFlatViewDataSource.h"
#include "views/LinkViewMenus.h"
#include "views/ResultItemModel.h"
#include "views/crawlmereTableView.h"
#include "views/qfOutlineView.h"

#include <QHeaderView>
#include <QItemSelectionModel>

#include <gtest/gtest.h>

using namespace crawlmere::views;
using namespace crawlmere::test;

namespace {

// Six pages; page i links to its own target /t<i>.html and to /shared.html.
class ResultTreeViewSelectionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto shared = scan.url(QStringLiteral("/shared.html"), 200);
        for (int i = 0; i < 6; ++i) {
            const auto page = scan.page(QStringLiteral("/page%1.html").arg(i));
            pages.append(page);
            scan.link(page, scan.url(QStringLiteral("/t%1.html").arg(i), i == 4 ? 404 : 200), QStringLiteral("own"));
            scan.link(page, shared, QStringLiteral("shared"));
        }
    }
    // A search as the window makes it: the by-link filter first flags the records whose address
    // holds the text (the views show occurrences of flagged targets), then the view's own pass.
    template <typename Source> void search(Source& source, const QString& text)
    {
        for (const auto& record : scan.records)
            record->setVisible(text.isEmpty() || record->absoluteString().contains(text));
        source.setSearchText(text);
        source.filter();
        source.reloadData();
    }
    static void select(ResultTreeView& view, const QModelIndex& row)
    {
        view.selectionModel()->select(row, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    // The items of the rows shown as expanded, and of the selected rows, top to bottom.
    static QList<const void*> expandedItems(ResultTreeView& view)
    {
        QList<const void*> items;
        for (int row = 0; row < view.itemModel().rowCount(); ++row) {
            if (view.isExpanded(view.itemModel().index(row, 0)))
                items << view.itemAt(view.itemModel().index(row, 0)).get();
        }
        return items;
    }
    static QList<const void*> selectedItems(ResultTreeView& view)
    {
        QList<const void*> items;
        for (const auto& item : view.selectedItems())
            items << item.get();
        return items;
    }

    LinkScan scan;
    QList<std::shared_ptr<CrwlUrl>> pages;
};

} // namespace

// By page: expand and select rows, search, search again: each step shows the same items open
// and selected wherever their rows now are.
TEST_F(ResultTreeViewSelectionTest, ARefilterKeepsSelectionAndExpansionOnTheSameItems)
{
    CrwlByPageDataSource source;
    qfOutlineView view;
    view.resize(800, 400);
    LinkViewMenus::attachByPage(view, source);
    source.setInternalPageArray(scan.pages);
    source.filter();
    ResultItemModel& model = view.itemModel();
    ASSERT_EQ(model.rowCount(), 6);
    // page2 open with its first link selected, page5 open, page1 selected and current.
    const QModelIndex page2 = model.index(2, 0);
    view.expand(page2);
    view.expand(model.index(5, 0));
    const QModelIndex link = model.index(0, 0, page2);
    const void* linkItem = view.itemAt(link).get();
    select(view, link);
    view.selectionModel()->setCurrentIndex(model.index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    ASSERT_EQ(selectedItems(view), (QList<const void*> { pages[1].get(), linkItem }));

    struct Step {
        const char* search;
        QList<const void*> shown;
        QList<const void*> expanded;
        QList<const void*> selected;
        const void* current;
    };
    const Step steps[] = {
        // Only page2 holds a link to t2: it is now row 0, still open, its link still selected;
        // page1 and page5 are not shown and drop out.
        { "t2.html", { pages[2].get() }, { pages[2].get() }, { linkItem }, nullptr },
        // Everything again: page5 and page1 dropped out before, so only page2 is open and its
        // link selected.
        { "", { pages[0].get(), pages[1].get(), pages[2].get(), pages[3].get(), pages[4].get(), pages[5].get() },
            { pages[2].get() }, { linkItem }, nullptr },
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.search);
        search(source, QLatin1String(step.search));
        QList<const void*> shown;
        for (int row = 0; row < model.rowCount(); ++row)
            shown << view.itemAt(model.index(row, 0)).get();
        EXPECT_EQ(shown, step.shown);
        EXPECT_EQ(expandedItems(view), step.expanded);
        EXPECT_EQ(selectedItems(view), step.selected);
    }

    // A row selected and made current stays so across a reversed sort.
    view.selectionModel()->setCurrentIndex(
        model.index(4, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    const void* page4 = pages[4].get();
    ASSERT_EQ(selectedItems(view), QList<const void*> { page4 });
    for (int click = 0; click < 2; ++click) {
        Q_EMIT view.header()->sectionClicked(0);
        EXPECT_EQ(selectedItems(view), QList<const void*> { page4 });
        EXPECT_EQ(view.itemAt(view.currentIndex()).get(), page4);
        EXPECT_EQ(expandedItems(view), QList<const void*> { pages[2].get() });
    }
}

// The flat view and the by-status outline: selected occurrences follow a refilter; a group row
// stays open while its status is shown.
TEST_F(ResultTreeViewSelectionTest, FlatRowsAndStatusGroupsFollowTheirItems)
{
    CrwlFlatViewDataSource flat;
    crawlmereTableView table;
    LinkViewMenus::attachFlat(table, flat);
    flat.setCollection(scan.occurrences);
    flat.filter();
    flat.reloadData();
    ResultItemModel& rows = table.itemModel();
    ASSERT_EQ(rows.rowCount(), 12);
    // The occurrences to t3 (row 6) and t5 (row 10), and the shared one on page 5 (row 11).
    const QList<const void*> chosen { scan.occurrences[6].get(), scan.occurrences[10].get(),
        scan.occurrences[11].get() };
    for (const int row : { 6, 10, 11 })
        select(table, rows.index(row, 0));
    ASSERT_EQ(selectedItems(table), chosen);
    search(flat, QStringLiteral("t5.html"));
    ASSERT_EQ(rows.rowCount(), 1);
    EXPECT_EQ(selectedItems(table), QList<const void*> { chosen[1] });
    search(flat, QString());
    EXPECT_EQ(selectedItems(table), QList<const void*> { chosen[1] });

    CrwlByStatusDataSource byStatus;
    qfOutlineView outline;
    LinkViewMenus::attachByStatus(outline, byStatus);
    byStatus.setCollection(scan.occurrences);
    byStatus.filter();
    ResultItemModel& groups = outline.itemModel();
    ASSERT_EQ(groups.rowCount(), 2);
    // The 404 group is the second: open it and select its one occurrence.
    const QModelIndex missing = groups.index(1, 0);
    outline.expand(missing);
    select(outline, groups.index(0, 0, missing));
    const void* missingGroup = outline.itemAt(missing).get();
    // Searching for the missing target leaves only its group, now the first row.
    search(byStatus, QStringLiteral("t4.html"));
    ASSERT_EQ(groups.rowCount(), 1);
    EXPECT_EQ(expandedItems(outline), QList<const void*> { missingGroup });
    EXPECT_EQ(selectedItems(outline), QList<const void*> { scan.occurrences[8].get() });
}
