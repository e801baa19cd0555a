#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"

#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <vector>

using namespace std::chrono_literals;
namespace Dispatch = crawlmere::platform::Dispatch;
using crawlmere::platform::Notification;
using crawlmere::platform::NotificationCenter;

TEST(Dispatch, WorkFromWorkersRunsOnTheMainThreadInOrder)
{
    std::vector<int> order;
    std::atomic<int> wrongThread { 0 };
    Dispatch::toGlobal([&] {
        for (int i = 0; i < 5; ++i)
            Dispatch::toMain([&, i] {
                if (!Dispatch::isMainThread())
                    ++wrongThread;
                order.push_back(i);
            });
    });
    ASSERT_TRUE(Dispatch::runUntil([&] { return order.size() == 5; }, 5s));
    EXPECT_EQ(order, (std::vector<int> { 0, 1, 2, 3, 4 }));
    EXPECT_EQ(wrongThread.load(), 0);
}

TEST(Dispatch, MainSyncWaitsForTheMainThreadAndIsDirectOnIt)
{
    int direct = 0;
    Dispatch::mainSync([&] { direct = 1; });
    EXPECT_EQ(direct, 1);

    std::atomic<int> seenAfterSync { -1 };
    int value = 0;
    Dispatch::toGlobal([&] {
        Dispatch::mainSync([&] { value = 42; });
        seenAfterSync = value; // the main thread's write is complete before mainSync returns
    });
    ASSERT_TRUE(Dispatch::runUntil([&] { return seenAfterSync.load() != -1; }, 5s));
    EXPECT_EQ(seenAfterSync.load(), 42);
}

TEST(Dispatch, DelayedWorkWaitsItsTurn)
{
    std::vector<int> order;
    Dispatch::toMainAfter(60ms, [&] { order.push_back(2); });
    Dispatch::toMain([&] { order.push_back(1); });
    ASSERT_TRUE(Dispatch::runUntil([&] { return order.size() == 2; }, 5s));
    EXPECT_EQ(order, (std::vector<int> { 1, 2 }));
    EXPECT_FALSE(Dispatch::runUntil([] { return false; }, 10ms));
}

TEST(NotificationCenter, FiltersByNameAndSenderAndRemovesByOwner)
{
    NotificationCenter center;
    auto sender = std::make_shared<int>(7);
    auto other = std::make_shared<int>(8);
    int owner = 0;
    std::vector<QString> seen;
    center.addObserver(&owner, "A", [&](const Notification& n) { seen.push_back("A:" + n.userInfo.value("k").toString()); });
    center.addObserver(&owner, "B", [&](const Notification& n) { seen.push_back(QString("B:%1").arg(*n.objectAs<int>())); },
        sender.get());
    center.post("A", nullptr, { { "k", "v" } });
    center.post("B", other);
    center.post("B", sender);
    center.post("C");
    EXPECT_EQ(seen, (std::vector<QString> { "A:v", "B:7" }));
    center.removeObserver(&owner, "A");
    center.post("A");
    center.post("B", sender);
    EXPECT_EQ(seen.size(), 3u);
    center.removeObserver(&owner);
    center.post("B", sender);
    EXPECT_EQ(seen.size(), 3u);
}

TEST(NotificationCenter, PostsFromWorkersArriveOnTheMainThread)
{
    NotificationCenter center;
    int owner = 0;
    std::atomic<bool> onMain { false };
    std::atomic<int> count { 0 };
    center.addObserver(&owner, "Done", [&](const Notification&) {
        onMain = Dispatch::isMainThread();
        ++count;
    });
    Dispatch::toGlobal([&] { center.post("Done"); });
    ASSERT_TRUE(Dispatch::runUntil([&] { return count.load() == 1; }, 5s));
    EXPECT_TRUE(onMain.load());
}

TEST(NotificationCenter, ObserverRemovedDuringDeliveryIsNotCalled)
{
    NotificationCenter center;
    int first = 0, second = 0;
    int calls = 0;
    center.addObserver(&first, "N", [&](const Notification&) {
        ++calls;
        center.removeObserver(&second);
    });
    center.addObserver(&second, "N", [&](const Notification&) { calls += 100; });
    center.post("N");
    EXPECT_EQ(calls, 1);
}
