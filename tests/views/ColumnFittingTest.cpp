// Result views start with columns wide enough for their headers and first rows, bounded; leave
// the widths alone once the user handles the header; show an added column; and show a status
// group's text across its row.
#include "views/ColumnFitting.h"

#include "LinkViewsTestSupport.h"
#include "ViewsTestSupport.h"
#include "engine/ScopedDefaults.h"
#include "views/CrwlByLinkDataSource.h"
#include "views/CrwlByStatusDataSource.h"
#include "views/CutCells.h"
#include "views/LinkViewMenus.h"
#include "views/ResultItemModel.h"
#include "views/crawlmereTableView.h"
#include "views/qfOutlineView.h"

#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>

#include <gtest/gtest.h>

using namespace crawlmere::views;
using namespace crawlmere::test;

namespace {

QList<TableColumn> threeColumns(bool lastHidden = false)
{
    return { { QStringLiteral("status"), QStringLiteral("Status"), false },
        { QStringLiteral("url"), QStringLiteral("URL"), false },
        { QStringLiteral("linktext"), QStringLiteral("Link text"), lastHidden } };
}

QString pathOfWidth(const QFontMetrics& metrics, int width)
{
    QString path = QStringLiteral("https://example.test/");
    while (metrics.horizontalAdvance(path) < width)
        path += QStringLiteral("segment/");
    return path;
}

} // namespace

TEST(ColumnFitting, ColumnsStartAsWideAsTheirHeadersAndFirstRowsNeedAndThenStay)
{
    crawlmereTableView table;
    table.setTableColumns(threeColumns());
    table.resize(1200, 400);
    table.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&table));
    QHeaderView* header = table.header();
    const QFontMetrics metrics = table.fontMetrics();
    // 60 rows: short addresses first, one of 300 px at row 10, one far too long past the first 50
    // rows; a long status text at row 20.
    QList<qfDataSource::Item> records;
    for (int row = 0; row < 60; ++row) {
        const QString url = row == 10 ? pathOfWidth(metrics, 300)
            : row == 55               ? pathOfWidth(metrics, 2000)
                                      : QStringLiteral("https://example.test/%1").arg(row);
        records.append(makeRecord(url, row == 20 ? 301 : 200));
    }
    auto moved = std::static_pointer_cast<CrwlUrl>(records[20]);
    moved->addRedir(QStringLiteral("https://example.test/moved"), 301, 0);
    qfDataSource source;
    source.setCollection(records);
    table.setDataSource(&source);
    table.reloadData();

    const QString status = source.tableViewObjectValue(table, threeColumns()[0], 20).toString();
    ASSERT_GT(metrics.horizontalAdvance(status), 100) << qPrintable(status);
    EXPECT_GE(header->sectionSize(0), metrics.horizontalAdvance(status));
    EXPECT_LE(header->sectionSize(0), metrics.horizontalAdvance(status) + 40);
    // Wide enough for the 300 px address, not for the one past the sampled rows.
    EXPECT_GE(header->sectionSize(1), 300);
    EXPECT_LT(header->sectionSize(1), 400);

    // A new scan: its first rows set the widths afresh, later rows widen them; an address wider
    // than the view takes the room the others leave.
    source.setCollection({});
    table.reloadData();
    source.setCollection({ makeRecord(QStringLiteral("https://example.test/"), 200) });
    table.reloadData();
    EXPECT_LT(header->sectionSize(0), metrics.horizontalAdvance(status));
    EXPECT_LT(header->sectionSize(1), 300);
    source.setCollection({ records[0], moved, makeRecord(pathOfWidth(metrics, 2000), 200) });
    table.reloadData();
    EXPECT_GT(header->sectionSize(1), 480);
    EXPECT_EQ(header->sectionSize(0) + header->sectionSize(1) + header->sectionSize(2), table.viewport()->width());
    EXPECT_GE(header->sectionSize(0), metrics.horizontalAdvance(status));

    // Once the user has sized a column, reloads leave its width alone.
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), header->viewport()->mapToGlobal(QPointF(5, 5)),
        Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(header->viewport(), &press);
    header->resizeSection(1, 150); // as a drag of its edge does
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), header->viewport()->mapToGlobal(QPointF(5, 5)),
        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(header->viewport(), &release);
    QCoreApplication::processEvents();
    source.setCollection({});
    table.reloadData();
    source.setCollection({ makeRecord(pathOfWidth(metrics, 700), 200) });
    table.reloadData();
    EXPECT_EQ(header->sectionSize(1), 150);
}

// Every change of the rows refits the columns: a filter that brings long statuses to the top
// long after the first rows came in (bad links only), and a header click that sorts.
TEST(ColumnFitting, ColumnsFollowTheRowsAfterTheFirstOnesUntilTheUserSizesThem)
{
    crawlmereTableView table;
    table.setTableColumns(threeColumns());
    table.resize(1200, 400);
    table.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&table));
    QHeaderView* header = table.header();
    const QFontMetrics metrics = table.fontMetrics();
    QList<qfDataSource::Item> good;
    for (int row = 0; row < 80; ++row)
        good.append(makeRecord(QStringLiteral("https://example.test/%1").arg(row), 200));
    qfDataSource source;
    source.setCollection(good);
    table.setDataSource(&source);
    table.reloadData();
    const int goodWidth = header->sectionSize(0);

    const auto bad = makeRecord(QStringLiteral("https://example.test/gone"), 404);
    bad->addRedir(QStringLiteral("https://example.test/elsewhere/far/away"), 301, 0);
    source.setCollection({ bad });
    table.reloadData();
    const QString status = source.tableViewObjectValue(table, threeColumns()[0], 0).toString();
    ASSERT_GT(metrics.horizontalAdvance(status), goodWidth) << qPrintable(status);
    EXPECT_GE(header->sectionSize(0), metrics.horizontalAdvance(status));

    // A click on a header (which sorts) is not a resize: the next rows still fit the columns.
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), header->viewport()->mapToGlobal(QPointF(5, 5)),
        Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(header->viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), header->viewport()->mapToGlobal(QPointF(5, 5)),
        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(header->viewport(), &release);
    QCoreApplication::processEvents();
    source.setCollection({ makeRecord(pathOfWidth(metrics, 350), 200) });
    table.reloadData();
    EXPECT_GE(header->sectionSize(1), 350);
    EXPECT_LT(header->sectionSize(0), metrics.horizontalAdvance(status));
}

TEST(ColumnFitting, AColumnTheUserAddsIsFittedAndScrolledIntoView)
{
    crawlmereTableView table;
    table.setTableColumns(threeColumns(/*lastHidden=*/true));
    table.header()->setStretchLastSection(false);
    table.resize(420, 300);
    table.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&table));
    qfDataSource source;
    source.setCollection({ makeRecord(pathOfWidth(table.fontMetrics(), 450), 200) });
    table.setDataSource(&source);
    table.reloadData();
    ASSERT_EQ(table.horizontalScrollBar()->value(), 0);

    table.setColumnHidden(2, false); // as the Columns menu shows it
    QHeaderView* header = table.header();
    EXPECT_FALSE(header->isSectionHidden(2));
    EXPECT_GE(header->sectionSize(2), header->sectionSizeHint(2));
    const int left = header->sectionViewportPosition(2);
    EXPECT_GE(left, 0);
    EXPECT_LE(left + header->sectionSize(2), table.viewport()->width());
    EXPECT_GT(table.horizontalScrollBar()->value(), 0);
}

TEST(ColumnFitting, AStatusGroupShowsItsTextAcrossItsRowAndItsCellsStayForExports)
{
    LinkScan scan;
    const auto home = scan.page(QStringLiteral("/"));
    const auto moved = scan.url(QStringLiteral("/moved"), 200);
    moved->addRedir(QStringLiteral("https://site.test/target"), 301, 0);
    scan.link(home, moved, QStringLiteral("moved"));
    scan.link(home, scan.url(QStringLiteral("/missing"), 404), QStringLiteral("missing"));
    CrwlByStatusDataSource source;
    qfOutlineView view;
    view.resize(900, 300);
    LinkViewMenus::attachByStatus(view, source);
    source.setCollection(scan.occurrences);
    source.filter();
    ResultItemModel& model = view.itemModel();
    ASSERT_EQ(model.rowCount(), 2);
    const TableColumn statusColumn = CrwlByStatusDataSource::columns().tableColumns().at(1);
    ASSERT_EQ(statusColumn.identifier, "status");
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex group = model.index(row, 0);
        const QString text = source.outlineViewObjectValue(view, statusColumn, view.itemAt(group)).toString();
        EXPECT_FALSE(text.isEmpty());
        EXPECT_TRUE(view.isFirstColumnSpanned(row, QModelIndex()));
        EXPECT_EQ(group.data(ResultItemModel::RowTitleRole).toString(), text);
        // The cells keep the values the exports write: the group's URL cell stays empty.
        EXPECT_EQ(group.data().toString(), QString());
        const QModelIndex occurrence = model.index(0, 0, group);
        EXPECT_FALSE(view.isFirstColumnSpanned(0, group));
        EXPECT_FALSE(occurrence.data(ResultItemModel::RowTitleRole).isValid());
    }
    // The status column is wide enough for the occurrences' statuses below the groups.
    const QString longest = QStringLiteral("200 ok < 301 moved permanently");
    EXPECT_GE(view.header()->sectionSize(1), view.fontMetrics().horizontalAdvance(longest));
}

// By status opened out, about as wide as a 1280-pixel window shows it: the groups' texts run
// across their rows, so the status column and a redirect target on one row in many do not take
// the room the occurrences' addresses need to read whole.
TEST(ColumnFitting, AnOpenedByStatusViewShowsItsAddressesWhole)
{
    LinkScan scan;
    const auto home = scan.page(QStringLiteral("/"));
    for (int i = 0; i < 8; ++i) {
        const auto section = scan.page(QStringLiteral("/guide/section-%1/index.html").arg(i));
        scan.link(home, section, QStringLiteral("Section %1").arg(i));
        for (int j = 0; j < 3; ++j)
            scan.link(section, scan.url(QStringLiteral("/guide/section-%1/missing-page-%2.html").arg(i).arg(j), 404),
                QStringLiteral("gone"));
    }
    const auto moved = scan.url(QStringLiteral("/old-section"), 200);
    moved->addRedir(QStringLiteral("https://site.test/new/index.html"), 301, 0);
    scan.link(home, moved, QStringLiteral("old"));
    CrwlByStatusDataSource source;
    qfOutlineView view;
    view.resize(1000, 600);
    LinkViewMenus::attachByStatus(view, source);
    view.show();
    source.setCollection(scan.occurrences);
    source.filter();
    view.reloadData();
    view.expandAll();
    ResultItemModel& model = view.itemModel();
    ASSERT_EQ(model.rowCount(), 3);
    int children = 0;
    for (int group = 0; group < model.rowCount(); ++group) {
        const QModelIndex parent = model.index(group, 0);
        for (int row = 0; row < model.rowCount(parent); ++row, ++children) {
            for (const int column : { 0, 2 }) { // the URL and where it appears
                const QModelIndex cell = model.index(row, column, parent);
                const QString text = cell.data().toString();
                ASSERT_TRUE(text.startsWith(QLatin1String("https://"))) << qPrintable(text);
                EXPECT_EQ(view.fontMetrics().elidedText(text, Qt::ElideMiddle, view.visualRect(cell).width() - 8), text)
                    << "column " << column << " of " << view.header()->sectionSize(column) << " px";
            }
        }
    }
    EXPECT_EQ(children, 33);
}

// A width that does not hold every column whole: each keeps at least its header, a short one
// reads whole, and the addresses (two parts to one) take the rest.
TEST(ColumnFitting, ColumnsShareAWidthThatDoesNotHoldThemAll)
{
    struct Case {
        const char* name;
        int available;
        QList<ColumnRoom> columns; // least, wanted, address, cells
        QList<int> widths;
    } cases[] = {
        { "all fit", 1000, { { 40, 300, true }, { 50, 120, false } }, { 300, 120 } },
        { "by link", 1000, { { 40, 480, true }, { 50, 360, false }, { 100, 100, false }, { 80, 480, true } },
            { 325, 250, 100, 325 } },
        { "by link, narrow", 700, { { 40, 480, true }, { 50, 360, false }, { 100, 100, false }, { 80, 480, true } },
            { 213, 175, 100, 212 } },
        { "redirects", 700, { { 40, 900, true }, { 50, 120, false }, { 60, 60, false } }, { 520, 120, 60 } },
        { "excluded pages", 1130, { { 40, 600, true }, { 80, 600, true }, { 60, 240, false } }, { 445, 445, 240 } },
        { "headers only", 100, { { 40, 480, true }, { 50, 360, false }, { 30, 200, true } }, { 40, 50, 30 } },
        { "many columns: the address keeps a share", 250,
            { { 60, 400, true }, { 70, 80, false }, { 60, 60, false }, { 60, 60, false } }, { 83, 70, 60, 60 } },
        // The link inspector's Appears on: YES/NO under long headers give up the headers' room
        // rather than push the last columns past the edge.
        { "flags under long headers", 400,
            { { 60, 600, true, 600 }, { 70, 70, false, 40 }, { 80, 80, false, 40 }, { 90, 90, false, 40 },
                { 40, 40, false, 30 } },
            { 145, 70, 73, 72, 40 } },
    };
    for (const Case& c : cases)
        EXPECT_EQ(shareWidth(c.available, c.columns), c.widths) << c.name;
}

// By link at a window's width with long addresses and bad links only: every column shows with
// its header, the addresses get the most, and the rows that differ only at their end read apart,
// whole in a tool tip.
TEST(ColumnFitting, ByLinkShowsEveryColumnAndTellsLongAddressesApart)
{
    LinkScan scan;
    const QString deep = QStringLiteral("/a-very-long-directory-name-for-columns/another-rather-long-directory-name"
                                        "/and-a-third-one-to-make-the-address-long");
    const auto home = scan.page(deep + QStringLiteral("/index.html"));
    for (int i = 0; i < 3; ++i)
        scan.link(home, scan.url(deep + QStringLiteral("/missing-%1.html").arg(i), 404), QStringLiteral("gone"));
    const auto moved = scan.url(deep + QStringLiteral("/moved.html"), 404);
    moved->addRedir(QStringLiteral("https://site.test/elsewhere"), 301, 0);
    scan.link(home, moved, QStringLiteral("moved"));
    crawlmereTableView table;
    table.setTableColumns(CrwlByLinkDataSource::defaultColumns());
    table.resize(1000, 400);
    table.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&table));
    CrwlByLinkDataSource source;
    source.setTableView(&table);
    table.setDataSource(&source);
    QList<qfDataSource::Item> items;
    for (const auto& record : scan.records)
        items.append(record);
    ScopedDefaults defaults;
    defaults.set(QStringLiteral("badLinksOnly"), true);
    source.setCollection(items);
    source.filter();
    table.reloadData();
    ASSERT_EQ(table.itemModel().rowCount(), 4);

    QHeaderView* header = table.header();
    for (int column = 0; column < header->count(); ++column)
        EXPECT_GE(header->sectionSize(column), header->sectionSizeHint(column)) << column;
    const int last = header->count() - 1;
    EXPECT_LE(header->sectionViewportPosition(last) + header->sectionSizeHint(last), table.viewport()->width());
    EXPECT_GT(header->sectionSize(0), header->sectionSize(1));
    EXPECT_GT(header->sectionSize(last), header->sectionSize(1));

    EXPECT_EQ(table.textElideMode(), Qt::ElideMiddle);
    QSet<QString> shown;
    for (int row = 0; row < 3; ++row) {
        const QModelIndex cell = table.itemModel().index(row, 0);
        const QString url = cell.data().toString();
        ASSERT_TRUE(url.contains(QLatin1String("/missing-"))) << qPrintable(url);
        shown.insert(table.fontMetrics().elidedText(url, Qt::ElideMiddle, table.visualRect(cell).width() - 8));
        const QPoint point = table.visualRect(cell).center();
        QHelpEvent help(QEvent::ToolTip, point, table.viewport()->mapToGlobal(point));
        QApplication::sendEvent(table.viewport(), &help);
        EXPECT_EQ(QToolTip::text(), url);
        EXPECT_EQ(cutCellText(table, point), url);
    }
    EXPECT_EQ(shown.size(), 3);
    const QModelIndex status = table.itemModel().index(0, 1);
    EXPECT_TRUE(cutCellText(table, table.visualRect(status).center()).isNull()) << qPrintable(status.data().toString());
}

// Read-only fields show a text from its start; an address field draws a long one cut in the
// middle while its text stays whole and its tool tip gives it.
TEST(CutCells, FieldsShowTheirTextFromTheStartAndAddressesCutInTheMiddle)
{
    QWidget window;
    QLineEdit title(&window);
    QLineEdit address(&window);
    for (QLineEdit* field : { &title, &address }) {
        field->setReadOnly(true);
        field->resize(360, field->sizeHint().height());
    }
    showFieldTextFromStart(title);
    cutFieldInTheMiddle(address);
    window.show();
    const QString long_
        = QStringLiteral("https://docs.example.test/") + QString(200, u'x') + QStringLiteral("/end.html");
    for (QLineEdit* field : { &title, &address }) {
        field->setText(long_);
        EXPECT_EQ(field->cursorPosition(), 0);
        EXPECT_EQ(field->cursorPositionAt(QPoint(field->contentsRect().left() + 4, field->height() / 2)), 0)
            << "the first character is in view";
        EXPECT_EQ(field->text(), long_);
    }
    const QString shown = shownFieldText(address);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("https://docs.example.test/"))) << qPrintable(shown);
    EXPECT_TRUE(shown.endsWith(QStringLiteral("/end.html"))) << qPrintable(shown);
    EXPECT_TRUE(shown.contains(QChar(0x2026)));
    address.setText(QStringLiteral("https://a.test/"));
    EXPECT_EQ(shownFieldText(address), QStringLiteral("https://a.test/"));
}
