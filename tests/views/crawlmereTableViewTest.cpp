#include "views/crawlmereTableView.h"

#include "ViewsTestSupport.h"
#include "platform/UserDefaults.h"
#include "support/RecordingPasteboard.h"
#include "views/ClipboardPasteboard.h"
#include "views/ResultItemModel.h"
#include "views/ResultViewDelegate.h"
#include "views/qfOutlineView.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QTest>
#include <gtest/gtest.h>

using crawlmere::views::ClipboardPasteboard;
using crawlmere::views::RecordingPasteboard;
using crawlmere::views::ResultTreeView;
using crawlmere::views::ResultViewDelegate;
using namespace crawlmere::test;

namespace {

// A table of records shown in a window-sized view, with the default delegate.
class TableFixture : public testing::Test {
protected:
    void SetUp() override
    {
        source.setCollection({ makeRecord("https://a.test/ok", 200), makeRecord("https://a.test/missing", 404),
            makeRecord("https://a.test/one", 200), makeRecord("https://a.test/two", 200) });
        view.setTableColumns(urlAndStatusColumns());
        view.setDataSource(&source);
        view.setViewDelegate(&delegate);
        view.setMenu(&single);
        view.setTertiaryMenu(&several);
        view.resize(400, 200);
        delegate.setPasteboard(&pasteboard);
    }

    QPoint centreOfRow(int row) const { return view.visualRect(view.itemModel().index(row, 0)).center(); }
    QList<int> selectedRows() const
    {
        QList<int> rows;
        for (const QModelIndex& index : view.selectionModel()->selectedRows())
            rows.append(index.row());
        std::sort(rows.begin(), rows.end());
        return rows;
    }
    void selectRows(const QList<int>& rows)
    {
        view.selectionModel()->clear();
        for (int row : rows)
            view.selectionModel()->select(
                view.itemModel().index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    qfDataSource source;
    crawlmereTableView view;
    ResultViewDelegate delegate;
    RecordingPasteboard pasteboard;
    QMenu single;
    QMenu several;
};

// The colour painted near the left end of a row, away from its text.
QColor labelPixel(QWidget& view, const QRect& rowRect)
{
    const QImage image = view.grab().toImage();
    const QPoint inViewport = QPoint(rowRect.right() - 4, rowRect.center().y());
    return image.pixelColor(static_cast<crawlmereTableView&>(view).viewport()->mapTo(&view, inViewport));
}

bool isErrorLabel(const QColor& colour)
{
    // The error label (1.0, 0.4, 0.4, alpha 0.76) over a light base.
    return colour.red() > 200 && colour.green() < 190 && colour.green() > 100
        && std::abs(colour.green() - colour.blue()) < 12;
}

} // namespace

TEST_F(TableFixture, RowLabelShowsBehindUnselectedRowsOnly)
{
    // As in the window, rows alternate their background; the labelled row 1 is an alternate one.
    view.setAlternatingRowColors(true);
    const QRect missing = view.visualRect(view.itemModel().index(1, 1));
    const QRect fine = view.visualRect(view.itemModel().index(0, 1));
    EXPECT_TRUE(isErrorLabel(labelPixel(view, missing))) << labelPixel(view, missing).name().toStdString();
    EXPECT_FALSE(isErrorLabel(labelPixel(view, fine)));

    selectRows({ 1 });
    EXPECT_FALSE(isErrorLabel(labelPixel(view, missing))) << labelPixel(view, missing).name().toStdString();
    selectRows({ 0 });
    EXPECT_TRUE(isErrorLabel(labelPixel(view, missing)));

    // No labels while the default is off.
    crawlmere::platform::UserDefaults::standard().setBool(false, "displayLabels");
    EXPECT_FALSE(isErrorLabel(labelPixel(view, missing)));
    crawlmere::platform::UserDefaults::standard().removeObjectForKey("displayLabels");
}

TEST(ResultTreeViewTest, LabelRectInsetsTheRowAndRoundsItsCorners)
{
    EXPECT_EQ(ResultTreeView::labelRectForRow(QRect(0, 34, 200, 17)), QRectF(1, 35, 198, 16));
    // A 17-high row: a 16-high label with corners of radius 8.
    const QPainterPath label = ResultTreeView::labelPathForRow(QRect(0, 0, 200, 17));
    EXPECT_EQ(label.boundingRect(), QRectF(1, 1, 198, 16));
    EXPECT_EQ(QPointF(label.elementAt(0)), QPointF(1, 9));
}

TEST_F(TableFixture, ContextMenuFollowsTheSelection)
{
    // One row selected, right-click on another: it becomes the only selection.
    selectRows({ 0 });
    EXPECT_EQ(view.menuForEvent(centreOfRow(2)), &single);
    EXPECT_EQ(selectedRows(), QList<int>({ 2 }));

    // Three selected: the multi-row menu, and the selection stays, even over an unselected row.
    selectRows({ 0, 1, 3 });
    EXPECT_EQ(view.menuForEvent(centreOfRow(2)), &several);
    EXPECT_EQ(selectedRows(), QList<int>({ 0, 1, 3 }));

    // A right-click below the last row clears a single selection.
    selectRows({ 1 });
    EXPECT_EQ(view.menuForEvent(QPoint(20, 190)), &single);
    EXPECT_TRUE(selectedRows().isEmpty());
}

TEST(qfOutlineViewTest, ContextMenuOfARowThatCannotExpandIsTheSecondary)
{
    PagesOutline outline(4);
    qfOutlineView view;
    QMenu page, link, several;
    view.setMenu(&page);
    view.setSecondaryMenu(&link);
    view.setTertiaryMenu(&several);
    view.setTableColumns(urlAndStatusColumns());
    view.setOutlineDataSource(&outline);
    view.resize(400, 300);
    view.expandItem(view.itemModel().index(2, 0));

    const QModelIndex pageRow = view.itemModel().index(2, 0);
    const QModelIndex linkRow = view.itemModel().index(0, 0, pageRow);
    EXPECT_EQ(view.menuForEvent(view.visualRect(pageRow).center()), &page);
    EXPECT_EQ(view.menuForEvent(view.visualRect(linkRow).center()), &link);
    EXPECT_EQ(view.selectionModel()->selectedRows(), QModelIndexList({ linkRow }));
    view.selectionModel()->select(pageRow, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(view.menuForEvent(view.visualRect(linkRow).center()), &several);

    // Copy in an outline goes to the delegate's outline form; rows are copied as shown.
    ResultViewDelegate delegate;
    RecordingPasteboard pasteboard;
    delegate.setPasteboard(&pasteboard);
    view.setViewDelegate(&delegate);
    view.copy();
    EXPECT_EQ(pasteboard.string(), "https://example.test/p2\nhttps://example.test/p2/l0\n");
    struct TableOnly : ResultViewDelegate {
        void copyURLInOutlineView(qfOutlineView&) override { ++outlineCopies; }
        int outlineCopies = 0;
    } counting;
    view.setViewDelegate(&counting);
    view.copy();
    EXPECT_EQ(counting.outlineCopies, 1);
}

TEST_F(TableFixture, CopyPutsTheSelectedURLsOnThePasteboard)
{
    selectRows({ 3, 0, 2 });
    view.copy();
    ASSERT_EQ(pasteboard.strings.size(), 1);
    EXPECT_EQ(pasteboard.string(), "https://a.test/ok\nhttps://a.test/one\nhttps://a.test/two\n");

    // One row: the URL alone. None: the pasteboard is left as it was.
    selectRows({ 1 });
    view.copy();
    EXPECT_EQ(pasteboard.string(), "https://a.test/missing");
    selectRows({});
    view.copy();
    EXPECT_EQ(pasteboard.strings.size(), 2);

    // The application's pasteboard is the system clipboard; the Copy key reaches the delegate.
    ClipboardPasteboard clipboard;
    delegate.setPasteboard(&clipboard);
    selectRows({ 0, 1, 2 });
    QKeyEvent copyKey(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier);
    QApplication::sendEvent(&view, &copyKey);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "https://a.test/ok\nhttps://a.test/missing\nhttps://a.test/one\n");
}

TEST_F(TableFixture, ARightPressThroughTheWindowKeepsSeveralSelectedRowsAndOpensTheirMenu)
{
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    struct Case {
        QList<int> selected;
        int pressed;
        QList<int> after;
        QMenu* opened;
    };
    for (const Case& c :
        { Case { { 0, 1, 3 }, 2, { 0, 1, 3 }, &several }, Case { { 0, 1, 3 }, 1, { 0, 1, 3 }, &several },
            Case { { 0 }, 2, { 2 }, &single }, Case { {}, 3, { 3 }, &single } }) {
        SCOPED_TRACE(testing::PrintToString(c.selected) + " pressed " + std::to_string(c.pressed));
        selectRows(c.selected);
        // The press goes to the window and reaches the viewport as a real one does; the
        // context menu follows on the press.
        const QPoint at = view.viewport()->mapTo(&view, centreOfRow(c.pressed));
        QTest::mousePress(view.windowHandle(), Qt::RightButton, {}, at);
        EXPECT_EQ(selectedRows(), c.after);
        EXPECT_TRUE(c.opened->isVisible());
        EXPECT_FALSE((c.opened == &single ? several : single).isVisible());
        c.opened->hide();
        QTest::mouseRelease(view.windowHandle(), Qt::RightButton, {}, at);
        EXPECT_EQ(selectedRows(), c.after);
    }
}
