#include "app/ScanStatusLine.h"

#include <gtest/gtest.h>

using crawlmere::app::ScanStatusLine;

TEST(ScanStatusLine, OffATerminalWritesPlainLinesAtMostOnceASecondAndOnlyOnChange)
{
    ScanStatusLine line(/*terminal=*/false);
    const ScanStatusLine::Counts first { 10, 40, 12, 1 };
    const auto written = line.update(first, 0);
    ASSERT_TRUE(written);
    EXPECT_EQ(*written, QByteArray("10 done, 40 in queue, 12 in flight, 1 bad link\n"));

    // Within the second nothing is written, whatever changed.
    EXPECT_FALSE(line.update({ 20, 30, 12, 2 }, 999));
    // After it, a change is written; unchanged counts are not, however long it has been.
    const auto second = line.update({ 20, 30, 12, 2 }, 1000);
    ASSERT_TRUE(second);
    EXPECT_EQ(*second, QByteArray("20 done, 30 in queue, 12 in flight, 2 bad links\n"));
    EXPECT_FALSE(line.update({ 20, 30, 12, 2 }, 5000));

    // The end writes the counts the summary gives when the last line said otherwise, once.
    EXPECT_FALSE(line.update({ 46, 0, 1, 16 }, 1999));
    EXPECT_EQ(line.finish({ 46, 0, 0, 16 }), QByteArray("46 done, 0 in queue, 0 in flight, 16 bad links\n"));
    EXPECT_TRUE(line.finish({ 46, 0, 0, 16 }).isEmpty());
    EXPECT_TRUE(ScanStatusLine(false).finish({ 3, 0, 0, 0 }).isEmpty()) << "no progress written, none to end";
}

TEST(ScanStatusLine, OnATerminalRewritesTheLineInPlaceAndBlanksItAtTheEnd)
{
    ScanStatusLine line(/*terminal=*/true);
    const auto first = line.update({ 1200, 34000, 12, 15 }, 0);
    ASSERT_TRUE(first);
    EXPECT_EQ(*first, QByteArray("\r1200 done, 34000 in queue, 12 in flight, 15 bad links"));
    EXPECT_FALSE(line.update({ 1300, 33000, 12, 15 }, ScanStatusLine::kTerminalIntervalMs - 1));

    // A shorter line is padded over the rest of the longer one; no line break is ever written.
    const auto second = line.update({ 1300, 3, 2, 15 }, ScanStatusLine::kTerminalIntervalMs);
    ASSERT_TRUE(second);
    const QByteArray text("1300 done, 3 in queue, 2 in flight, 15 bad links");
    const qsizetype longer = first->size() - 1;
    EXPECT_EQ(*second, '\r' + text + QByteArray(longer - text.size(), ' '));
    EXPECT_FALSE(second->contains('\n'));

    EXPECT_EQ(line.finish({ 1300, 0, 0, 15 }), '\r' + QByteArray(text.size(), ' ') + '\r');
    EXPECT_TRUE(line.finish({ 1300, 0, 0, 15 }).isEmpty()); // nothing left to blank
}

TEST(ScanStatusLine, NothingWrittenLeavesNothingToBlank)
{
    ScanStatusLine line(/*terminal=*/true);
    EXPECT_TRUE(line.finish({ 3, 0, 0, 1 }).isEmpty());
}
