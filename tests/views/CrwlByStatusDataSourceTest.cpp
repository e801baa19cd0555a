// The by-status view: its groups, their order and sorting (also after a regroup), and its cells.
#include "views/CrwlByStatusDataSource.h"

#include "LinkViewsTestSupport.h"
#include "engine/ScopedDefaults.h"
#include "support/RecordingPasteboard.h"
#include "views/ResultItemModel.h"

#include <QAbstractItemModelTester>

#include <gtest/gtest.h>

using namespace crawlmere::views;
using namespace crawlmere::test;

namespace {

class ByStatusFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        home = scan.page(QStringLiteral("/"));
        other = scan.page(QStringLiteral("/other"));
        missing = scan.url(QStringLiteral("/missing"), 404);
        fine = scan.url(QStringLiteral("/fine"), 200);
        moved = scan.url(QStringLiteral("/moved"), 200);
        moved->addRedir(QStringLiteral("https://site.test/new"), 301, 0);
        moved->setStatus(200);
        scan.link(home, missing, QStringLiteral("zeta"));
        scan.link(home, fine, QStringLiteral("Alpha"));
        scan.link(other, missing, QStringLiteral("beta"));
        scan.link(other, moved, QStringLiteral("Moved"));
        source.setOutlineView(&outline);
        source.setCollection(scan.occurrences);
    }
    QStringList statuses() const
    {
        QStringList texts;
        for (const auto& group : source.getStatusRows())
            texts << group->getStatusText();
        return texts;
    }
    QStringList linkTexts(const QString& status) const
    {
        QStringList texts;
        if (const auto group = source.groupForStatus(status)) {
            for (const auto& item : group->occurrences)
                texts << CrwlByStatusDataSource::cellValue(QStringLiteral("linktext"), item.get());
        }
        return texts;
    }

    LinkScan scan;
    std::shared_ptr<CrwlUrl> home, other, missing, fine, moved;
    HeadlessTableView outline { CrwlByStatusDataSource::columns().tableColumns() };
    CrwlByStatusDataSource source;
    ScopedDefaults defaults;
};

TEST_F(ByStatusFixture, GroupsStandInFirstSeenOrderWithEachOccurrenceOnce)
{
    defaults.set(QStringLiteral("byStatusWhichStatus"), 1);
    source.filter();
    EXPECT_EQ(outline.reloadCount(), 1);
    EXPECT_EQ(statuses(), QStringList({ "404 not found", "200 ok" }));
    EXPECT_EQ(linkTexts(QStringLiteral("404 not found")), QStringList({ "zeta", "beta" }));
    EXPECT_EQ(linkTexts(QStringLiteral("200 ok")), QStringList({ "Alpha", "Moved" }));
    EXPECT_EQ(source.getCount(), 4);
}

TEST_F(ByStatusFixture, ARedirectedUrlMovesGroupWhenTheDisplayMethodChanges)
{
    defaults.set(QStringLiteral("byStatusWhichStatus"), 0);
    source.filter();
    EXPECT_EQ(linkTexts(QStringLiteral("301 moved permanently")), QStringList({ "Moved" }));
    defaults.set(QStringLiteral("byStatusWhichStatus"), 1);
    source.changeRedirectDisplayMethod();
    EXPECT_EQ(source.groupForStatus(QStringLiteral("301 moved permanently")), nullptr);
    EXPECT_EQ(linkTexts(QStringLiteral("200 ok")), QStringList({ "Alpha", "Moved" }));
    // An empty status text keeps the occurrence out of every group.
    defaults.set(QStringLiteral("byStatusWhichStatus"), 7);
    source.changeRedirectDisplayMethod();
    EXPECT_EQ(statuses(), QStringList({ "404 not found", "200 ok" }));
    EXPECT_EQ(linkTexts(QStringLiteral("200 ok")), QStringList({ "Alpha" }));
}

TEST_F(ByStatusFixture, TheStatusHeaderReversesTheCaseInsensitiveOrder)
{
    defaults.set(QStringLiteral("byStatusWhichStatus"), 1);
    source.filter();
    outline.setSortDescriptors({ { QStringLiteral("status"), true } });
    source.outlineViewDidClickTableColumn(outline, outline.tableColumns()[1]);
    EXPECT_EQ(statuses(), QStringList({ "200 ok", "404 not found" }));
    outline.setSortDescriptors({ { QStringLiteral("status"), false } });
    source.outlineViewDidClickTableColumn(outline, outline.tableColumns()[1]);
    EXPECT_EQ(statuses(), QStringList({ "404 not found", "200 ok" }));
}

// Every regroup applies the header's sort again, so the rows match what the header shows.
TEST_F(ByStatusFixture, ARegroupKeepsTheHeadersSort)
{
    defaults.set(QStringLiteral("byStatusWhichStatus"), 1);
    outline.setSortDescriptors({ { QStringLiteral("linktext"), true } });
    source.filter();
    EXPECT_EQ(linkTexts(QStringLiteral("404 not found")), QStringList({ "beta", "zeta" }));
    EXPECT_EQ(linkTexts(QStringLiteral("200 ok")), QStringList({ "Alpha", "Moved" }));
    outline.setSortDescriptors({ { QStringLiteral("linktext"), false } });
    source.changeRedirectDisplayMethod();
    EXPECT_EQ(linkTexts(QStringLiteral("404 not found")), QStringList({ "zeta", "beta" }));
    outline.setSortDescriptors({ { QStringLiteral("status"), true } });
    source.filter();
    EXPECT_EQ(statuses(), QStringList({ "200 ok", "404 not found" }));
    // An unsortable column changes nothing.
    outline.setSortDescriptors({ { QStringLiteral("lineNumber"), true } });
    source.filter();
    EXPECT_EQ(statuses(), QStringList({ "404 not found", "200 ok" }));
}

TEST_F(ByStatusFixture, CellsOfStatusAndOccurrenceRows)
{
    source.filter();
    const auto group = source.getStatusRows().first();
    auto occurrence = std::static_pointer_cast<CrwlLinkInstance>(group->occurrences.first());
    EXPECT_EQ(CrwlByStatusDataSource::cellValue(QStringLiteral("lineNumber"), occurrence.get()), "");
    LinkScan::setEveryFact(*missing, *occurrence, *home);
    for (const ViewColumn& column : CrwlByStatusDataSource::columns().columns()) {
        const CrwlDataObject* row = column.identifier == QLatin1String("status")
            ? static_cast<CrwlDataObject*>(group.get())
            : occurrence.get();
        EXPECT_FALSE(CrwlByStatusDataSource::cellValue(column.identifier, row).isEmpty())
            << qPrintable(column.identifier);
    }
    EXPECT_EQ(CrwlByStatusDataSource::cellValue(QStringLiteral("linkurl"), occurrence.get()), "");
    EXPECT_EQ(CrwlByStatusDataSource::cellValue(QStringLiteral("linkurldecoded"), group.get()), "");
    defaults.set(QStringLiteral("displayPageTitle"), 1);
    EXPECT_EQ(CrwlByStatusDataSource::cellValue(QStringLiteral("onpageurl"), occurrence.get()), "Holding page");
}

TEST_F(ByStatusFixture, ActionsPassOverStatusRows)
{
    RecordingPasteboard pasteboard;
    source.setPasteboard(&pasteboard);
    source.filter();
    const auto group = source.getStatusRows().first();
    const QList<qfDataSource::Item> selected { group, group->occurrences[1] };
    source.copyUrlFromByStatusView({ group });
    EXPECT_TRUE(pasteboard.strings.isEmpty());
    source.copyUrlFromByStatusView(selected);
    source.copyAppearsOnFromByStatusView(selected);
    EXPECT_EQ(pasteboard.strings, QStringList({ "https://site.test/missing", "https://site.test/other" }));
    EXPECT_EQ(source.markAsFixedMenuItem(selected), QList<std::shared_ptr<CrwlUrl>>({ missing }));
    EXPECT_TRUE(source.getSelectedFromByStatusView({ group }).isEmpty());
}

TEST_F(ByStatusFixture, ModelPassesTheTesterAcrossFilterSortAndClear)
{
    ResultItemModel model(outline);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.setColumns(outline.tableColumns());
    model.setOutlineDataSource(&source);
    source.filter();
    model.reload();
    ASSERT_EQ(model.rowCount(), 3); // the redirect shown as "final < initial"
    EXPECT_EQ(model.rowCount(model.index(0, 0)), 2);
    EXPECT_EQ(model.data(model.index(2, 1)).toString(), "200 ok < 301 moved permanently");
    missing->setVisible(false);
    source.setSearchText(QStringLiteral("zeta"));
    source.filter();
    model.reload();
    EXPECT_EQ(model.rowCount(model.index(0, 0)), 1); // found by its link text only
    outline.setSortDescriptors({ { QStringLiteral("status"), false } });
    source.outlineViewDidClickTableColumn(outline, outline.tableColumns()[1]);
    model.reload();
    source.clear();
    model.reload();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_TRUE(outline.sortDescriptors().isEmpty());
}

} // namespace
