// One pass split between threads: every item in exactly one part, parts in order, part 0 on the
// caller.
#include "platform/ParallelParts.h"

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <thread>

using namespace crawlmere::platform;

TEST(ParallelParts, EveryItemFallsInExactlyOnePartAndTheCallerRunsTheFirst)
{
    struct Case {
        qsizetype count;
        int parts;
    };
    for (const Case& c : { Case { 0, 1 }, Case { 1, 4 }, Case { 7, 3 }, Case { 100, 8 }, Case { 1'000'003, 7 } }) {
        std::mutex lock;
        std::map<int, std::pair<PartRange, std::thread::id>> seen;
        int calls = 0;
        runInParts(c.count, c.parts, [&](int part, qsizetype begin, qsizetype end) {
            std::lock_guard guard(lock);
            ++calls;
            seen[part] = { PartRange { begin, end }, std::this_thread::get_id() };
        });
        const int expected = std::max(c.parts, 1);
        ASSERT_EQ(calls, expected) << c.count;
        ASSERT_EQ(int(seen.size()), expected);
        qsizetype next = 0;
        for (const auto& [part, run] : seen) {
            EXPECT_EQ(run.first.begin, next) << c.count << " part " << part;
            EXPECT_GE(run.first.end, run.first.begin);
            // Near one size: no part is two items longer than another.
            EXPECT_LE(run.first.end - run.first.begin, c.count / expected + 1);
            EXPECT_EQ(run.second == std::this_thread::get_id(), part == 0) << c.count << " part " << part;
            const PartRange same = partRange(c.count, c.parts, part);
            EXPECT_EQ(same.begin, run.first.begin);
            EXPECT_EQ(same.end, run.first.end);
            next = run.first.end;
        }
        EXPECT_EQ(next, c.count);
    }
}

TEST(ParallelParts, SmallPassesStayOnTheCallingThread)
{
    EXPECT_EQ(partsFor(0, 1000), 1);
    EXPECT_EQ(partsFor(1999, 1000), 1);
    const int many = partsFor(1'000'000, 1);
    EXPECT_GE(many, 1);
    EXPECT_LE(many, 8);
    EXPECT_LE(partsFor(2000, 1000), 2);
}
