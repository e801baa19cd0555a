#include "views/LinkExportPreviewer.h"

#include "engine/RecordingShellServices.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "support/MainQueue.h"
#include "views/ExportColumnManager.h"
#include "views/ViewsTestSupport.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

using crawlmere::views::LinkExportPreviewer;
using Control = LinkExportPreviewer::Control;

namespace {

/// A table of `rows` rows whose cells read "r<row> <column>".
class CountedSource : public qfDataSource {
public:
    qsizetype numberOfRowsInTableView(TableView&) override
    {
        ++counts;
        return rows;
    }
    QVariant tableViewObjectValue(TableView&, const TableColumn& column, qsizetype row) override
    {
        return QStringLiteral("r%1 %2").arg(row).arg(column.identifier);
    }
    qsizetype rows = 0;
    int counts = 0;
};

/// The main window as plain values: tabs, the bad-links button, two tables, two outlines of
/// pages with links, and the flat view's column manager.
class FakeWindow final : public LinkExportPreviewer::MainWindowViews {
public:
    FakeWindow()
    {
        const QList<TableColumn> columns { { "url", "URL", false }, { "status", "Status", false },
            { "redirect", "Redirect", true } };
        for (auto* view : { &byLink, &flat })
            view->setColumns(columns);
        for (auto* view : { &byPage, &byStatus })
            view->setColumns(crawlmere::test::urlAndStatusColumns());
        flatColumns->setTableView(&flat);
        byLinkColumns->setTableView(&byLink);
    }
    QString selectedTabIdentifier() const override { return tab; }
    void selectTabViewItemWithIdentifier(const QString& identifier) override { tab = identifier; }
    bool mainBadLinksState() const override { return badLinks; }
    void setMainBadLinksState(bool on) override
    {
        badLinks = on;
        ++refilters;
    }
    TableView* linkView(int tag) const override
    {
        HeadlessTableView* const views[] = { nullptr, &byLink, &byPage, &byStatus, &flat };
        return tag >= 1 && tag <= 4 ? views[tag] : nullptr;
    }
    const void* notificationObject(int tag) const override { return linkView(tag); }
    int columnWidth(int, qsizetype column) const override { return 100 + int(column); }
    qfDataSource* tableDataSource(int tag) const override
    {
        return tag == 1 ? &byLinkRows : tag == 4 ? &flatRows : nullptr;
    }
    crawlmere::views::OutlineDataSource* outlineDataSource(int tag) const override
    {
        return tag == 2 || tag == 3 ? &pages : nullptr;
    }
    /// Every page, and its links when expanded.
    QList<qfDataSource::Item> shownRows() const
    {
        QList<qfDataSource::Item> rows;
        for (size_t page = 0; page < pages.pages.size(); ++page) {
            rows.append(pages.pages[page]);
            if (expanded)
                rows.append(QList<qfDataSource::Item>(pages.links[page].begin(), pages.links[page].end()));
        }
        return rows;
    }
    qsizetype outlineNumberOfRows(int) const override
    {
        ++outlineWalks;
        return shownRows().size();
    }
    qfDataSource::Item outlineItemAtRow(int, qsizetype row) const override { return shownRows().value(row); }
    QString outlineColumnIdentifier(int) const override { return QStringLiteral("url"); }
    void expandOutlines(bool expand) override { expanded = expand; }
    std::shared_ptr<qfColumnManager> columnManager(int tag) const override
    {
        return tag == 4 ? flatColumns : tag == 1 ? byLinkColumns : nullptr;
    }
    void exportAsHTMLMenuItem() override { exports.append(QStringLiteral("html ") + tab); }
    void exportAsCSVMenuItem() override { exports.append(QStringLiteral("csv ") + tab); }

    QString tab = QStringLiteral("1");
    bool badLinks = false;
    int refilters = 0;
    bool expanded = false;
    mutable int outlineWalks = 0;
    QStringList exports;
    mutable HeadlessTableView byLink, byPage, byStatus, flat;
    mutable CountedSource byLinkRows, flatRows;
    mutable crawlmere::test::PagesOutline pages { 4 };
    std::shared_ptr<qfColumnManager> flatColumns = std::make_shared<qfColumnManager>();
    std::shared_ptr<qfColumnManager> byLinkColumns = std::make_shared<qfColumnManager>();
};

class LinkExportPreviewerTest : public ::testing::Test {
protected:
    /// Opens the sheet from a menu item and lets it show.
    void open(int format = 2)
    {
        previewer.showPreview(format, /*fromMenuItem=*/true);
        previewer.sheetDidShow();
    }
    /// Runs the queued end of the sheet.
    void settle() { ASSERT_TRUE(crawlmere::test::runQueuedWork()); }

    FakeWindow window;
    std::shared_ptr<RecordingPrompts> prompts = std::make_shared<RecordingPrompts>();
    LinkExportPreviewer previewer { window, prompts };
};

TEST_F(LinkExportPreviewerTest, AMenuItemOpensTheSheetOnTheFlatViewWithItsFormatAndTheControlExportsOtherTabsAtOnce)
{
    window.tab = QStringLiteral("2");
    window.badLinks = true;
    open(2);
    EXPECT_TRUE(previewer.isSheetOpen());
    EXPECT_EQ(window.tab, QStringLiteral("4"));
    EXPECT_EQ(previewer.tableTag(), 4);
    EXPECT_EQ(previewer.formatTag(), 2);
    EXPECT_TRUE(previewer.badLinksSelected());
    EXPECT_FALSE(previewer.expandRowsSelected());
    EXPECT_FALSE(previewer.expandRowsEnabled());
    EXPECT_FALSE(previewer.needsInitialisation());
    previewer.theSheetCancel();
    settle();
    EXPECT_FALSE(previewer.isSheetOpen());
    EXPECT_TRUE(window.exports.isEmpty());

    // The control: at once on a tab that is no link view, by its tag; a sheet on a link tab.
    for (const char* tab : { "5", "6", "7", "10", "11" }) {
        window.tab = QLatin1String(tab);
        previewer.showPreview(0, /*fromMenuItem=*/false);
        EXPECT_FALSE(previewer.isSheetOpen());
    }
    previewer.showPreview(2, /*fromMenuItem=*/false);
    previewer.showPreview(1, /*fromMenuItem=*/false);
    EXPECT_EQ(window.exports, (QStringList { "html 5", "html 6", "html 7", "html 10", "html 11", "csv 11" }));
    window.tab = QStringLiteral("3");
    previewer.showPreview(0, /*fromMenuItem=*/false);
    EXPECT_TRUE(previewer.isSheetOpen());
}

TEST_F(LinkExportPreviewerTest, MoreThan64000RowsAskFirstUnlessOnlyBadLinksAreExportedAndCancelKeepsTheSheet)
{
    struct Case {
        qsizetype rows;
        bool badLinks;
        bool asks;
    };
    ShellAlert alert;
    for (const Case& test : { Case { 64000, false, false }, Case { 64001, false, true }, Case { 1000000, true, false },
             Case { 0, false, false } }) {
        window.flatRows.rows = test.rows;
        window.badLinks = test.badLinks;
        window.exports.clear();
        prompts->alerts.clear();
        open(0);
        prompts->answers = { 1 };
        previewer.theSheetOK();
        ASSERT_EQ(prompts->alerts.size(), test.asks ? 1 : 0) << test.rows;
        if (test.asks)
            alert = prompts->alerts.first();
        settle();
        EXPECT_FALSE(previewer.isSheetOpen());
        EXPECT_EQ(window.exports, QStringList { "html 4" }) << test.rows;
    }
    EXPECT_EQ(alert.messageText, QStringLiteral("Large export"));
    EXPECT_EQ(alert.buttons, (QStringList { "Cancel", "Continue" }));
    EXPECT_TRUE(alert.informativeText.startsWith(QStringLiteral("With the present settings, the exported file")));

    // "Cancel": the sheet stays open with every choice.
    window.flatRows.rows = 70000;
    window.badLinks = false;
    window.exports.clear();
    open(2);
    previewer.handleControl(Control::TableSelector, 1);
    window.byLinkRows.rows = 70000;
    previewer.handleControl(Control::TableSelector, 1);
    prompts->answers = { 0 };
    previewer.theSheetOK();
    settle();
    EXPECT_TRUE(previewer.isSheetOpen());
    EXPECT_EQ(previewer.tableTag(), 1);
    EXPECT_EQ(previewer.formatTag(), 2);
    EXPECT_EQ(window.tab, QStringLiteral("1"));
    EXPECT_TRUE(window.exports.isEmpty());
}

TEST_F(LinkExportPreviewerTest, TheRowCountAndThePreviewShowAtMostThreeRows)
{
    struct Case {
        qsizetype rows;
        const char* info;
        qsizetype preview;
    };
    open();
    for (const Case& test :
        { Case { 0, "0 rows", 0 }, Case { 1, "1 row", 1 }, Case { 2, "2 rows", 2 }, Case { 5, "5 rows", 3 } }) {
        window.flatRows.rows = test.rows;
        previewer.windowDidBecomeKey();
        EXPECT_EQ(previewer.rowInfo(), QLatin1String(test.info));
        EXPECT_EQ(previewer.numberOfPreviewRows(), test.preview);
    }
    // Every column of the view, hidden ones too, with its title and width.
    const QList<TableColumn> columns = previewer.tableColumns();
    ASSERT_EQ(columns.size(), 3);
    EXPECT_EQ(columns[2].title, QStringLiteral("Redirect"));
    EXPECT_TRUE(columns[2].hidden);
    EXPECT_EQ(previewer.previewColumnWidths(), (QList<int> { 100, 101, 102 }));
    EXPECT_EQ(previewer.previewValue(2, 1), QStringLiteral("r2 status"));
    EXPECT_EQ(previewer.previewValue(3, 1), QString());

    // Bad links only is the main window's filter, and the count refreshes.
    previewer.handleControl(Control::BadLinksSelector, 1);
    EXPECT_TRUE(window.badLinks);
    EXPECT_EQ(window.refilters, 1);
}

TEST_F(LinkExportPreviewerTest, OutlinesEnableExpandDisableThePopUpAndMarkChildRowsWithATab)
{
    open();
    EXPECT_TRUE(previewer.columnPopUpEnabled());
    EXPECT_EQ(previewer.exportColumnManager()->getMirror(), window.flatColumns);
    previewer.handleControl(Control::TableSelector, 2);
    EXPECT_EQ(window.tab, QStringLiteral("2"));
    EXPECT_TRUE(previewer.expandRowsEnabled());
    EXPECT_FALSE(previewer.columnPopUpEnabled());
    EXPECT_EQ(previewer.exportColumnManager()->getMirror(), window.flatColumns);
    EXPECT_EQ(previewer.rowInfo(), QStringLiteral("4 rows"));

    // Pages 0 and 1; page 1 has one link.
    previewer.handleControl(Control::ExpandRows, 1);
    EXPECT_TRUE(window.expanded);
    EXPECT_EQ(previewer.numberOfRows(), 4 + 3);
    EXPECT_EQ(previewer.previewValue(1, 0), QStringLiteral("https://example.test/p1"));
    EXPECT_EQ(previewer.previewValue(2, 0), QStringLiteral("\thttps://example.test/p1/l0"));
    EXPECT_FALSE(previewer.previewValue(2, 1).isEmpty());
    EXPECT_FALSE(previewer.previewValue(2, 1).startsWith(QLatin1Char('\t')));

    // The count is kept while other views reload (a scan's live refresh), and taken afresh when
    // the outline itself reloads.
    const int walks = window.outlineWalks;
    auto& center = crawlmere::platform::NotificationCenter::defaultCenter();
    for (int refresh = 0; refresh < 5; ++refresh)
        center.post(QStringLiteral("qfTableViewDidReloadData"),
            std::shared_ptr<void>(static_cast<void*>(&window.byLink), [](void*) {}));
    EXPECT_EQ(window.outlineWalks, walks);
    center.post(QStringLiteral("qfOutlineViewDidReloadData"),
        std::shared_ptr<void>(static_cast<void*>(&window.byPage), [](void*) {}));
    EXPECT_EQ(window.outlineWalks, walks + 1);

    previewer.handleControl(Control::TableSelector, 4);
    EXPECT_FALSE(previewer.expandRowsEnabled());
    EXPECT_TRUE(previewer.columnPopUpEnabled());
    EXPECT_EQ(window.tab, QStringLiteral("4"));
}

TEST_F(LinkExportPreviewerTest, AClosedSheetCountsNoRowsAtReloadsAndCountsThemAsItShows)
{
    // Counting a large flat view builds its rows: a scan's reloads must not pay for it.
    auto& center = crawlmere::platform::NotificationCenter::defaultCenter();
    window.flatRows.rows = 12;
    const int before = window.flatRows.counts;
    for (const char* notice : { "qfTableViewDidReloadData", "qfOutlineViewDidReloadData" })
        center.post(
            QString::fromLatin1(notice), std::shared_ptr<void>(static_cast<void*>(&window.byStatus), [](void*) {}));
    EXPECT_EQ(window.flatRows.counts, before);
    open();
    EXPECT_EQ(previewer.rowInfo(), QStringLiteral("12 rows"));
    window.flatRows.rows = 13;
    center.post(QStringLiteral("qfTableViewDidReloadData"),
        std::shared_ptr<void>(static_cast<void*>(&window.byLink), [](void*) {}));
    EXPECT_EQ(previewer.rowInfo(), QStringLiteral("13 rows"));
}

TEST_F(LinkExportPreviewerTest, AColumnHiddenInTheSheetIsHiddenInTheMainView)
{
    window.flatColumns->setUpColumns();
    open();
    ExportColumnManager& columns = *previewer.exportColumnManager();
    columns.sendAction(QStringLiteral("Status"));
    EXPECT_TRUE(previewer.tableColumns()[1].hidden);
    crawlmere::platform::Dispatch::runUntil(
        [&] { return window.flat.tableColumns()[1].hidden; }, std::chrono::milliseconds(2000));
    EXPECT_TRUE(window.flat.tableColumns()[1].hidden);
    EXPECT_FALSE(window.byLink.tableColumns()[1].hidden);
}

} // namespace
