#include "app/InterruptWatcher.h"

#include "platform/Dispatch.h"
#include "support/MainQueue.h"

#include <gtest/gtest.h>

#include <csignal>

using crawlmere::app::InterruptWatcher;
using namespace std::chrono_literals;

namespace {

void (*currentHandler())(int)
{
    struct sigaction now { };
    sigaction(SIGINT, nullptr, &now);
    return now.sa_handler;
}

} // namespace

TEST(InterruptWatcher, SigintBecomesOneCallOnTheEventLoopAndTheOldHandlerComesBack)
{
    const auto before = currentHandler();
    int calls = 0;
    {
        InterruptWatcher watcher([&] { ++calls; });
        ASSERT_TRUE(watcher.isActive());
        EXPECT_NE(currentHandler(), before);

        ASSERT_EQ(std::raise(SIGINT), 0); // the process survives: the handler only writes a byte
        EXPECT_EQ(calls, 0); // nothing runs inside the signal handler
        EXPECT_TRUE(crawlmere::platform::Dispatch::runUntil([&] { return calls > 0; }, 5000ms));
        ASSERT_TRUE(crawlmere::test::runQueuedWork());
        EXPECT_EQ(calls, 1);

        // Only one watcher at a time: a second one stays inactive and leaves the first in place.
        InterruptWatcher second([] {});
        EXPECT_FALSE(second.isActive());
    }
    EXPECT_EQ(currentHandler(), before);

    // A watcher made after the first is gone works again.
    InterruptWatcher again([&] { ++calls; });
    EXPECT_TRUE(again.isActive());
}
