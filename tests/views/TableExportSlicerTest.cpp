#include "views/TableExportSlicer.h"

#include "platform/Dispatch.h"
#include "views/ViewsTestSupport.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

class TableExportSlicerTest : public ::testing::Test {
protected:
    TableExportSlicerTest()
    {
        QList<TableColumn> columns = crawlmere::test::urlAndStatusColumns();
        columns.insert(1, { QStringLiteral("linkurl"), QStringLiteral("Hidden"), true });
        table.setColumns(columns);
    }
    qfDataSource source;
    HeadlessTableView table;
};

TEST_F(TableExportSlicerTest, ASmallTableIsReadAtOnceAsTheOneGoSnapshotReadsIt)
{
    source.setCollection(crawlmere::test::makeRecords(40));
    const TableExportSnapshot expected = TableExportSnapshot::fromTable(source, table);
    std::optional<TableExportSnapshot> taken;
    QList<float> progress;
    (new TableExportSlicer(source, table))->start(
        1000ms, [&](float proportion) { progress.append(proportion); },
        [&](TableExportSnapshot snapshot) { taken = std::move(snapshot); });
    ASSERT_TRUE(taken);
    EXPECT_EQ(progress, QList<float> { 1.0f });
    ASSERT_EQ(taken->columns.size(), 2);
    EXPECT_EQ(taken->columns[1].identifier, QStringLiteral("status"));
    ASSERT_EQ(taken->rows.size(), expected.rows.size());
    for (qsizetype row = 0; row < expected.rows.size(); ++row) {
        EXPECT_EQ(taken->rows[row].texts, expected.rows[row].texts);
        EXPECT_EQ(taken->rows[row].label, expected.rows[row].label);
    }
}

TEST_F(TableExportSlicerTest, ALargeTableIsReadBetweenEventsAndKeepsTheRowsItStartedWith)
{
    const QList<qfDataSource::Item> records = crawlmere::test::makeRecords(3 * TableExportSlicer::kRowsPerCheck + 5);
    source.setCollection(records);
    std::optional<TableExportSnapshot> taken;
    QList<float> progress;
    (new TableExportSlicer(source, table))->start(
        0ms, [&](float proportion) { progress.append(proportion); },
        [&](TableExportSnapshot snapshot) { taken = std::move(snapshot); });
    ASSERT_FALSE(taken) << "the first slice read everything";

    // The view changes between slices: its rows are sorted the other way, then dropped.
    source.sortCollection({ { QStringLiteral("url"), false } });
    source.clear();
    ASSERT_TRUE(crawlmere::platform::Dispatch::runUntil([&] { return taken.has_value(); }, 5000ms));
    ASSERT_EQ(taken->rows.size(), records.size());
    for (qsizetype row = 0; row < records.size(); ++row)
        ASSERT_EQ(taken->rows[row].texts.first(), records[row]->getFieldByName(QStringLiteral("url")));
    EXPECT_EQ(progress.size(), 4);
    EXPECT_TRUE(std::is_sorted(progress.cbegin(), progress.cend()));
    EXPECT_EQ(progress.last(), 1.0f);
}

} // namespace
