// The crawl coordinator's pump on a virtual clock: parallelism, order, delay, request rate,
// pause and resume, the give-up of silent fetches and the finish.
#include "engine/ArchiveSink.h"
#include "engine/CrawlSettingKeys.h"
#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlStatusCodes.h"
#include "engine/QFQueue.h"

#include "Z12AraTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

using namespace crawlmere::test;

namespace {

TEST(QFQueueTest, PopsInOrderAndKeepsPoppedItemsUntilEmptied)
{
    QFQueue queue(4);
    EXPECT_EQ(queue.popObject(), nullptr);
    EXPECT_EQ(queue.count(), 0);
    auto a = std::make_shared<CrwlUrl>();
    auto b = std::make_shared<CrwlUrl>();
    queue.addObject(a);
    queue.addObject(nullptr);
    queue.addObject(b);
    EXPECT_EQ(queue.count(), 2);
    EXPECT_EQ(queue.popObject(), a);
    EXPECT_EQ(queue.count(), 1);
    EXPECT_EQ(queue.totalCount(), 2);
    EXPECT_EQ(queue.popObject(), b);
    EXPECT_EQ(queue.popObject(), nullptr);
    EXPECT_EQ(queue.count(), 0);
    queue.addObject(a);
    EXPECT_EQ(queue.count(), 1);
    queue.removeAllObjects();
    EXPECT_EQ(queue.count(), 0);
    EXPECT_EQ(queue.totalCount(), 0);
    queue.addObject(b);
    EXPECT_EQ(queue.popObject(), b);
}

class Z12AraQueueTest : public HubFixture { };

TEST_F(Z12AraQueueTest, KeepsAtMostNumberOfThreadsInFlightAndStartsOneMorePerFinish)
{
    settings->insert(crawlKey::numberOfThreads, 12);
    settings->insert(crawlKey::delay, 0.0);
    auto records = queueRecords(30);
    EXPECT_TRUE(hub->getNextUrlToCrawl());
    EXPECT_EQ(transport->starts.size(), 12u);
    EXPECT_EQ(hub->inProgressCount(), 12);
    EXPECT_EQ(hub->queueLength(), 18);
    // A second pump with every slot taken starts nothing.
    EXPECT_FALSE(hub->getNextUrlToCrawl());
    EXPECT_EQ(transport->starts.size(), 12u);

    for (size_t finished = 0; finished < 18; ++finished) {
        transport->complete(*hub, transport->starts[finished].record);
        EXPECT_EQ(transport->starts.size(), 13u + finished);
        EXPECT_EQ(hub->inProgressCount(), 12);
    }
    EXPECT_EQ(transport->maxInFlight, 12);
    EXPECT_EQ(hub->queueLength(), 0);
}

TEST_F(Z12AraQueueTest, ZeroThreadsMeansOneFetchAtATime)
{
    settings->insert(crawlKey::numberOfThreads, 0);
    queueRecords(3);
    EXPECT_TRUE(hub->getNextUrlToCrawl());
    EXPECT_EQ(transport->starts.size(), 1u);
    EXPECT_FALSE(hub->getNextUrlToCrawl());
    transport->complete(*hub, transport->starts[0].record);
    EXPECT_EQ(transport->starts.size(), 2u);
    EXPECT_EQ(transport->maxInFlight, 1);
}

TEST_F(Z12AraQueueTest, FetchesInTheOrderQueuedWhateverOrderTheyFinishIn)
{
    settings->insert(crawlKey::numberOfThreads, 3);
    auto records = queueRecords(9);
    hub->getNextUrlToCrawl();
    // Finish the newest first each time; the queue still hands out oldest first.
    while (hub->inProgressCount() > 0) {
        const auto inFlight = hub->getInProgressArray();
        transport->complete(*hub, inFlight.last());
    }
    ASSERT_EQ(transport->starts.size(), records.size());
    for (size_t i = 0; i < records.size(); ++i)
        EXPECT_EQ(transport->starts[i].record, records[i]) << i;
}

TEST_F(Z12AraQueueTest, DelayStartsEveryFetchOfOnePumpAtTheSameMomentLater)
{
    settings->insert(crawlKey::numberOfThreads, 4);
    settings->insert(crawlKey::delay, 2.5);
    queueRecords(6);
    const QDateTime pumpedAt = clock->now();
    EXPECT_TRUE(hub->getNextUrlToCrawl());
    // The slots are taken at once, the requests wait for the delay.
    EXPECT_EQ(hub->inProgressCount(), 4);
    EXPECT_TRUE(transport->starts.empty());
    clock->advance(2499);
    EXPECT_TRUE(transport->starts.empty());
    clock->advance(1);
    ASSERT_EQ(transport->starts.size(), 4u);
    for (const auto& start : transport->starts)
        EXPECT_EQ(pumpedAt.msecsTo(start.at), 2500);
    // The time-out clock of a record starts when its request goes out.
    EXPECT_EQ(transport->starts[0].record->getTimestamp(), transport->starts[0].at);

    clock->advance(1000);
    const QDateTime finishedAt = clock->now();
    transport->complete(*hub, transport->starts[0].record);
    EXPECT_EQ(transport->starts.size(), 4u);
    clock->advance(2500);
    ASSERT_EQ(transport->starts.size(), 5u);
    EXPECT_EQ(finishedAt.msecsTo(transport->starts[4].at), 2500);
}

TEST_F(Z12AraQueueTest, AStoredDelayBeyondAMinuteWaitsAMinute)
{
    settings->insert(crawlKey::numberOfThreads, 1);
    size_t started = 0;
    for (const QVariant& delay : { QVariant(1e300), QVariant(std::numeric_limits<double>::infinity()),
             QVariant(QStringLiteral("86400")), QVariant(61) }) {
        settings->insert(crawlKey::delay, delay);
        queueRecords(1);
        EXPECT_TRUE(hub->getNextUrlToCrawl());
        clock->advance(59999);
        EXPECT_EQ(transport->starts.size(), started) << qPrintable(delay.toString());
        clock->advance(1);
        ASSERT_EQ(transport->starts.size(), ++started) << qPrintable(delay.toString());
        transport->complete(*hub, transport->starts.back().record);
    }
}

TEST_F(Z12AraQueueTest, RequestsPerMinuteAreLimitedWhenLimitRPMIsOn)
{
    settings->insert(crawlKey::numberOfThreads, 12);
    settings->insert(crawlKey::delay, 0.0);
    settings->insert(crawlKey::limitRPM, true);
    settings->insert(crawlKey::maxRPM, 10);
    queueRecords(25);
    const QDateTime pumpedAt = clock->now();
    EXPECT_TRUE(hub->getNextUrlToCrawl());
    // One request at once; the others of the minute wait their turn in their slots.
    EXPECT_EQ(transport->starts.size(), 1u);
    EXPECT_EQ(hub->inProgressCount(), 10);

    // Every fetch finishes as soon as it starts; the rate, not the slots, holds the next ones back.
    size_t completed = 0;
    for (int second = 0; second < 200 && completed < 25; ++second) {
        while (completed < transport->starts.size())
            transport->complete(*hub, transport->starts[completed++].record);
        clock->advance(1000);
    }
    ASSERT_EQ(transport->starts.size(), 25u);
    EXPECT_TRUE(hub->crawlFinished());

    // A start every sixth of a minute, evenly: no two closer, and so no minute holds more than 10.
    EXPECT_EQ(pumpedAt.msecsTo(transport->starts[9].at), 54'000);
    for (size_t i = 1; i < transport->starts.size(); ++i)
        EXPECT_GE(transport->starts[i - 1].at.msecsTo(transport->starts[i].at), 6'000) << i;
    for (size_t i = 0; i < transport->starts.size(); ++i) {
        int inWindow = 0;
        for (const auto& other : transport->starts) {
            const qint64 gap = transport->starts[i].at.msecsTo(other.at);
            if (gap >= 0 && gap < 60'000)
                ++inWindow;
        }
        EXPECT_LE(inWindow, 10) << i;
    }
}

TEST_F(Z12AraQueueTest, ALimitedRateIsPacedByTheRateAloneWhateverDelayIsStored)
{
    // The settings pane stores the delay it derives from the rate (600 a minute over 12 fetches:
    // 1.2 s); a scan given only the rate has none stored, or one from an earlier rate. Each is
    // paced alike: a request every 100 ms from the first, sent at once.
    for (const double stored : { 0.0, 1.2, 4.0 }) {
        TearDown();
        SetUp();
        settings->insert(crawlKey::numberOfThreads, 12);
        settings->insert(crawlKey::delay, stored);
        settings->insert(crawlKey::limitRPM, true);
        settings->insert(crawlKey::maxRPM, 600);
        queueRecords(30);
        const QDateTime pumpedAt = clock->now();
        hub->getNextUrlToCrawl();
        size_t completed = 0;
        for (int step = 0; step < 1000 && completed < 30; ++step) {
            while (completed < transport->starts.size())
                transport->complete(*hub, transport->starts[completed++].record);
            clock->advance(50);
        }
        ASSERT_EQ(transport->starts.size(), 30u) << stored;
        for (size_t i = 0; i < transport->starts.size(); ++i)
            EXPECT_EQ(pumpedAt.msecsTo(transport->starts[i].at), qint64(i) * 100)
                << "delay " << stored << ", start " << i;
    }
}

TEST_F(Z12AraQueueTest, ARequestSentLateKeepsTheNextAWholeIntervalAfterIt)
{
    // One slot books the next start when a fetch ends; three book them ahead. Either way the
    // request after one that a busy main thread held up goes a whole interval after it.
    for (const int threads : { 1, 3 }) {
        TearDown();
        SetUp();
        settings->insert(crawlKey::numberOfThreads, threads);
        settings->insert(crawlKey::limitRPM, true);
        settings->insert(crawlKey::maxRPM, 60);
        queueRecords(4);
        hub->getNextUrlToCrawl();
        ASSERT_EQ(transport->starts.size(), 1u);
        transport->complete(*hub, transport->starts[0].record);
        clock->stall(1'500); // the second start falls due at 1 s
        size_t completed = 1;
        for (int step = 0; step < 100 && transport->starts.size() < 4; ++step) {
            while (completed < transport->starts.size())
                transport->complete(*hub, transport->starts[completed++].record);
            clock->advance(100);
        }
        ASSERT_EQ(transport->starts.size(), 4u) << threads;
        EXPECT_EQ(transport->starts[0].at.msecsTo(transport->starts[1].at), 1'500) << threads;
        for (size_t i = 2; i < transport->starts.size(); ++i)
            EXPECT_GE(transport->starts[i - 1].at.msecsTo(transport->starts[i].at), 1'000) << threads << ", start " << i;
    }
}

TEST_F(Z12AraQueueTest, RateBelowTheLowestSettingCountsAsTen)
{
    settings->insert(crawlKey::numberOfThreads, 20);
    settings->insert(crawlKey::limitRPM, true);
    settings->insert(crawlKey::maxRPM, 0);
    queueRecords(15);
    hub->getNextUrlToCrawl();
    EXPECT_EQ(hub->inProgressCount(), 10);
    EXPECT_EQ(transport->starts.size(), 1u);
    clock->advance(5'999);
    EXPECT_EQ(transport->starts.size(), 1u);
    clock->advance(1);
    EXPECT_EQ(transport->starts.size(), 2u);

    // A pause gives back the starts booked for later: Continue starts the next request a whole
    // interval after the last one sent, not after those.
    hub->stop();
    clock->advance(6'000);
    hub->continueCrawl();
    EXPECT_EQ(transport->starts.size(), 3u);
}

TEST_F(Z12AraQueueTest, WithoutLimitRPMTheRateIsNotLimited)
{
    settings->insert(crawlKey::numberOfThreads, 12);
    settings->insert(crawlKey::limitRPM, false);
    settings->insert(crawlKey::maxRPM, 10);
    queueRecords(20);
    hub->getNextUrlToCrawl();
    EXPECT_EQ(transport->starts.size(), 12u);
}

TEST_F(Z12AraQueueTest, PausePutsInFlightRecordsBackAtTheEndAndContinueResumes)
{
    NotificationCounter notes;
    settings->insert(crawlKey::numberOfThreads, 5);
    auto records = queueRecords(8);
    hub->getNextUrlToCrawl();
    ASSERT_EQ(transport->starts.size(), 5u);
    for (int i = 0; i < 5; ++i)
        records[i]->setStatus(-2);

    hub->stop();
    EXPECT_TRUE(hub->stopPressed());
    EXPECT_EQ(notes.count(Z12Ara::CrwlCrawlDidStop), 1);
    EXPECT_EQ(hub->inProgressCount(), 0);
    EXPECT_TRUE(hub->getInProgressArray().isEmpty());
    ASSERT_EQ(transport->cancelled.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(transport->cancelled[i], records[i]);
        EXPECT_EQ(records[i]->getStatus(), -1);
    }
    const auto waiting = hub->getCheckQueue().waitingObjects();
    ASSERT_EQ(waiting.size(), 8);
    const std::vector<int> expectedOrder { 5, 6, 7, 0, 1, 2, 3, 4 };
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(waiting[i], records[expectedOrder[i]]) << i;

    // While paused nothing moves: no counting, no slot freed, no fetch started.
    const qint64 doneBefore = hub->checkedLinkCount();
    hub->incNumberDone(records[0]);
    hub->threadHasFinished(records[0]);
    EXPECT_FALSE(hub->getNextUrlToCrawl());
    EXPECT_EQ(hub->checkedLinkCount(), doneBefore);
    EXPECT_EQ(transport->starts.size(), 5u);

    hub->continueCrawl();
    EXPECT_FALSE(hub->stopPressed());
    EXPECT_EQ(notes.count(Z12Ara::CrwlCrawlWillContinue), 1);
    ASSERT_EQ(transport->starts.size(), 10u);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(transport->starts[5 + i].record, records[expectedOrder[i]]) << i;
    EXPECT_EQ(hub->inProgressCount(), 5);
}

TEST_F(Z12AraQueueTest, ADelayedStartPendingAtPauseNeverFires)
{
    settings->insert(crawlKey::numberOfThreads, 2);
    settings->insert(crawlKey::delay, 1.0);
    queueRecords(2);
    hub->getNextUrlToCrawl();
    hub->stop();
    clock->advance(5000);
    EXPECT_TRUE(transport->starts.empty());
    hub->continueCrawl();
    clock->advance(1000);
    EXPECT_EQ(transport->starts.size(), 2u);
}

TEST_F(Z12AraQueueTest, SilentFetchIsGivenUpWithMinus17FreesItsSlotAndIsCancelled)
{
    NotificationCounter notes;
    settings->insert(crawlKey::numberOfThreads, 1);
    settings->insert(crawlKey::timeout, 5);
    auto records = queueRecords(1);
    hub->getNextUrlToCrawl();
    ASSERT_EQ(transport->starts.size(), 1u);

    // The queue is dry: the pump's own finish test arms the watchdog.
    EXPECT_FALSE(hub->isFinished());
    clock->advance(5000);
    // 5 s in flight is not past 5 + 3 s: still waiting, and the watchdog is armed again.
    EXPECT_EQ(records[0]->getStatus(), -1);
    EXPECT_EQ(notes.count(Z12Ara::CrwlCrawlDidFinish), 0);
    clock->advance(5000);
    EXPECT_EQ(records[0]->getStatus(), -17);
    ASSERT_EQ(transport->cancelled.size(), 1u);
    EXPECT_EQ(transport->cancelled[0], records[0]);
    EXPECT_EQ(hub->inProgressCount(), 0);
    EXPECT_TRUE(hub->getInProgressArray().isEmpty());
    EXPECT_EQ(hub->checkedLinkCount(), 1);
    EXPECT_EQ(notes.count(Z12Ara::CrwlCrawlDidFinish), 1);
    EXPECT_TRUE(hub->crawlFinished());

    // A recheck after the give-up gets the slot back at once.
    auto recheck = makeRecord(QStringLiteral("http://site.test/recheck"));
    auto second = makeRecord(QStringLiteral("http://site.test/second"));
    hub->addToCheckQueue(recheck);
    hub->addToCheckQueue(second);
    EXPECT_FALSE(hub->crawlFinished());
    EXPECT_TRUE(hub->getNextUrlToCrawl());
    ASSERT_EQ(transport->starts.size(), 2u);
    EXPECT_EQ(transport->starts[1].record, recheck);

    // A late report of the given-up fetch frees no slot that is not its own.
    hub->threadHasFinished(records[0]);
    EXPECT_EQ(hub->inProgressCount(), 1);
    EXPECT_EQ(transport->starts.size(), 2u);
    transport->complete(*hub, recheck);
    EXPECT_EQ(transport->starts.size(), 3u);
    transport->complete(*hub, second);
    EXPECT_EQ(notes.count(Z12Ara::CrwlCrawlDidFinish), 2);
}

TEST_F(Z12AraQueueTest, SilentFetchIsGivenUpByItsOwnTimerWhileOthersComeAndGo)
{
    NotificationCounter notes;
    settings->insert(crawlKey::numberOfThreads, 2);
    settings->insert(crawlKey::timeout, 30);
    auto records = queueRecords(4);
    hub->getNextUrlToCrawl();
    ASSERT_EQ(transport->starts.size(), 2u);
    // The other slot keeps turning over and the queue never runs dry, so no finish test runs.
    clock->advance(20'000);
    transport->complete(*hub, records[1]);
    ASSERT_EQ(transport->starts.size(), 3u);
    clock->advance(13'000);
    // 33 s in flight is not past 30 + 3 s.
    EXPECT_EQ(records[0]->getStatus(), -1);
    EXPECT_EQ(hub->inProgressCount(), 2);
    clock->advance(1);
    EXPECT_EQ(records[0]->getStatus(), CrwlStatus::unknownError);
    ASSERT_EQ(transport->cancelled.size(), 1u);
    EXPECT_EQ(transport->cancelled[0], records[0]);
    // Its slot went to the last queued record at once.
    ASSERT_EQ(transport->starts.size(), 4u);
    EXPECT_EQ(transport->starts[3].record, records[3]);
    EXPECT_EQ(hub->inProgressCount(), 2);
    EXPECT_EQ(notes.count(Z12Ara::CrwlCrawlDidFinish), 0);

    // The record started at 20 s is given up just past 53 s, the last one (started at
    // 33.001 s) just past 66.001 s; then the scan ends.
    clock->advance(53'000 - 33'001);
    EXPECT_EQ(records[2]->getStatus(), -1);
    clock->advance(1);
    EXPECT_EQ(records[2]->getStatus(), CrwlStatus::unknownError);
    clock->advance(13'000);
    EXPECT_EQ(records[3]->getStatus(), -1);
    clock->advance(1);
    EXPECT_EQ(records[3]->getStatus(), CrwlStatus::unknownError);
    EXPECT_EQ(hub->inProgressCount(), 0);
    EXPECT_EQ(hub->checkedLinkCount(), 4);
    EXPECT_EQ(notes.count(Z12Ara::CrwlCrawlDidFinish), 1);
    // A late report of a given-up fetch counts nothing twice.
    hub->threadHasFinished(records[0]);
    EXPECT_EQ(hub->checkedLinkCount(), 4);
}

TEST_F(Z12AraQueueTest, GiveUpTimerFollowsTheTimeoutAsRequestsUseIt)
{
    // A time-out below one second gives requests 30 s, and the give-up follows them; a pause
    // disarms the timer and the resumed fetch gets a whole time-out again.
    settings->insert(crawlKey::numberOfThreads, 1);
    settings->insert(crawlKey::timeout, 0);
    auto records = queueRecords(1);
    hub->getNextUrlToCrawl();
    clock->advance(20'000);
    hub->stop();
    clock->advance(60'000);
    EXPECT_EQ(records[0]->getStatus(), -1);
    hub->continueCrawl();
    ASSERT_EQ(transport->starts.size(), 2u);
    clock->advance(33'000);
    EXPECT_EQ(records[0]->getStatus(), -1);
    clock->advance(1);
    EXPECT_EQ(records[0]->getStatus(), CrwlStatus::unknownError);
    EXPECT_TRUE(hub->crawlFinished());
}

TEST_F(Z12AraQueueTest, FinishIsPostedExactlyOnce)
{
    NotificationCounter notes;
    // An empty queue with nothing in flight finishes at once.
    EXPECT_TRUE(hub->isFinished());
    EXPECT_TRUE(hub->isFinished());
    EXPECT_EQ(notes.count(Z12Ara::CrwlCrawlDidFinish), 1);
    EXPECT_EQ(store->timeStamps, 1);
    ASSERT_EQ(notes.objects[Z12Ara::CrwlCrawlDidFinish].size(), 1u);
    EXPECT_EQ(notes.objects[Z12Ara::CrwlCrawlDidFinish][0].get(), static_cast<void*>(hub.get()));

    hub->clear();
    settings->insert(crawlKey::numberOfThreads, 3);
    auto records = queueRecords(7);
    hub->getNextUrlToCrawl();
    while (hub->inProgressCount() > 0)
        transport->complete(*hub, hub->getInProgressArray().first());
    EXPECT_EQ(transport->starts.size(), 7u);
    EXPECT_EQ(notes.count(Z12Ara::CrwlCrawlDidFinish), 2);
    EXPECT_EQ(notes.count(Z12Ara::CrwlUrlStatusUpdated), 7);
    EXPECT_EQ(hub->checkedLinkCount(), 7);
    EXPECT_FALSE(hub->isScanning());
    // Later pumps and finish tests of the finished scan post nothing more.
    hub->getNextUrlToCrawl();
    hub->isFinished();
    clock->advance(120'000);
    EXPECT_EQ(notes.count(Z12Ara::CrwlCrawlDidFinish), 2);
}

TEST_F(Z12AraQueueTest, ARecordWaitingForItsRefreshHoldsNoSlotButKeepsTheScanOpen)
{
    NotificationCounter notes;
    settings->insert(crawlKey::numberOfThreads, 1);
    auto records = queueRecords(3);
    hub->getNextUrlToCrawl();
    ASSERT_EQ(startedUrls(), std::vector<QString> { records[0]->absoluteString() });
    // The first answers "Refresh: 29; url=…": the next page takes its slot at once.
    --transport->inFlight;
    records[0]->setStatus(CrwlStatus::refreshHeader);
    hub->refreshAfter(records[0], std::chrono::seconds(29));
    EXPECT_TRUE(hub->isQueuedOrInProgress(*records[0])); // a recheck leaves it waiting
    ASSERT_EQ(transport->starts.size(), 2u);
    EXPECT_EQ(transport->starts[1].record, records[1]);
    transport->complete(*hub, records[1]);
    transport->complete(*hub, records[2]);
    EXPECT_EQ(transport->starts.size(), 3u);
    EXPECT_TRUE(hub->isScanning());
    EXPECT_EQ(notes.count(Z12Ara::CrwlCrawlDidFinish), 0);

    // After its delay it is fetched again, and then the scan ends.
    clock->advance(28'999);
    EXPECT_EQ(transport->starts.size(), 3u);
    clock->advance(1);
    ASSERT_EQ(transport->starts.size(), 4u);
    EXPECT_EQ(transport->starts[3].record, records[0]);
    EXPECT_EQ(records[0]->getStatus(), CrwlStatus::notYetChecked);
    transport->complete(*hub, records[0]);
    EXPECT_EQ(notes.count(Z12Ara::CrwlCrawlDidFinish), 1);
    EXPECT_EQ(transport->maxInFlight, 1);

    // A pause while one waits queues it again at once; its timer then does nothing.
    hub->clear();
    auto again = queueRecords(1, 10);
    hub->getNextUrlToCrawl();
    again[0]->setStatus(CrwlStatus::refreshHeader);
    hub->refreshAfter(again[0], std::chrono::seconds(29));
    hub->stop();
    const auto waiting = hub->getCheckQueue().waitingObjects();
    ASSERT_EQ(waiting.size(), 1);
    EXPECT_EQ(waiting[0], again[0]);
    EXPECT_EQ(again[0]->getStatus(), -1);
    hub->continueCrawl();
    clock->advance(30'000);
    EXPECT_EQ(transport->starts.size(), 6u);
}

TEST_F(Z12AraQueueTest, ArchiveIsSavedAfterTheFinishWhenArchiving)
{
    NotificationCounter notes;
    struct CountingSink final : ArchiveSink {
        void clearArchiveFolder() override { ++clears; }
        void archivePage(const CrwlUrl&) override { }
        bool saveArchive() override
        {
            ++saves;
            return false;
        }
        QString archiveLocation() override { return {}; }
        int clears = 0;
        int saves = 0;
    };
    auto sink = std::make_shared<CountingSink>();
    hub->setArchiveSink(sink);
    hub->clear();
    EXPECT_EQ(sink->clears, 1);
    settings->insert(crawlKey::shouldArchive, true);
    EXPECT_TRUE(hub->isFinished());
    EXPECT_EQ(sink->saves, 0);
    clock->advance(0);
    EXPECT_EQ(sink->saves, 1);
    // The index is announced even though it could not be written.
    EXPECT_EQ(notes.count(Z12Ara::CrwlDidSaveArchiveIndex), 1);

    // A save still pending when the next scan starts is dropped with the scan it belonged to.
    hub->clear();
    EXPECT_TRUE(hub->isFinished());
    hub->clear();
    clock->advance(0);
    EXPECT_EQ(sink->saves, 1);
    EXPECT_EQ(notes.count(Z12Ara::CrwlDidSaveArchiveIndex), 1);
}

TEST_F(Z12AraQueueTest, TheTimersOfAClearedScanDoNothingInTheNext)
{
    // A scan whose fetches are under way and whose queue is dry has its give-up timer and its
    // finish test armed; a delayed start of another is booked. Then it is cleared for the next.
    NotificationCounter notes;
    settings->insert(crawlKey::numberOfThreads, 2);
    settings->insert(crawlKey::timeout, 5);
    queueRecords(2);
    hub->getNextUrlToCrawl();
    ASSERT_EQ(transport->starts.size(), 2u);
    EXPECT_FALSE(hub->isFinished());
    settings->insert(crawlKey::delay, 1.0);
    hub->addToCheckQueue(makeRecord(QStringLiteral("http://site.test/delayed")));
    transport->complete(*hub, transport->starts[0].record);
    hub->clear();
    const size_t cancelledByClear = transport->cancelled.size();

    // Nothing the cleared scan booked acts on the empty hub: no request, no give-up, no finish.
    clock->advance(120'000);
    EXPECT_EQ(transport->starts.size(), 2u);
    EXPECT_EQ(transport->cancelled.size(), cancelledByClear);
    EXPECT_EQ(notes.count(Z12Ara::CrwlCrawlDidFinish), 0);
    EXPECT_FALSE(hub->crawlFinished());
}

class Z12AraCountersTest : public HubFixture { };

TEST_F(Z12AraCountersTest, BadLinksAreCountedOnceAndTakenBackOnRecheck)
{
    auto bad = makeRecord(QStringLiteral("http://site.test/bad"));
    auto good = makeRecord(QStringLiteral("http://site.test/good"));
    hub->add(bad);
    hub->add(good);
    bad->setStatus(404);
    good->setStatus(200);
    hub->incNumberDone(bad);
    hub->incNumberDone(good);
    hub->incBadLinkCount(bad);
    EXPECT_EQ(hub->checkedLinkCount(), 2);
    EXPECT_EQ(hub->badLinkCount(), 1);
    EXPECT_TRUE(bad->isInBadCollection());
    EXPECT_FALSE(good->isInBadCollection());

    hub->decNumberDone(bad);
    EXPECT_EQ(hub->checkedLinkCount(), 1);
    EXPECT_EQ(hub->badLinkCount(), 0);
    EXPECT_FALSE(bad->isInBadCollection());
    // Taken back once: the good page stays counted.
    hub->decNumberDone(bad);
    hub->decNumberDone(bad);
    EXPECT_EQ(hub->checkedLinkCount(), 1);
    EXPECT_EQ(hub->badLinkCount(), 0);

    hub->incNumberDone(bad);
    hub->markThisUrlAsFixed(bad);
    EXPECT_EQ(bad->getStatus(), -3);
    EXPECT_EQ(hub->badLinkCount(), 0);
    EXPECT_FALSE(bad->isInBadCollection());

    bad->setStatus(500);
    hub->statusHasChangedFordO(bad);
    EXPECT_TRUE(bad->isInBadCollection());
    EXPECT_EQ(hub->countBadCollection(), 1);
}

TEST_F(Z12AraCountersTest, CollectionStopsAtLinksLimit)
{
    settings->insert(crawlKey::linksLimit, 3);
    for (int i = 0; i < 5; ++i)
        hub->add(makeRecord(QStringLiteral("http://site.test/%1").arg(i)));
    hub->add(std::shared_ptr<CrwlUrl>());
    ASSERT_EQ(hub->linksCollection().size(), 3);
    EXPECT_EQ(std::dynamic_pointer_cast<CrwlUrl>(hub->linksCollection()[2])->absoluteString(), u"http://site.test/2");
}

TEST_F(Z12AraCountersTest, LookupEntriesAreRemovedUnderTheKeyTheyWereFiledUnder)
{
    settings->insert(crawlKey::shouldIgnoreSlash, true);
    auto page = makeRecord(QStringLiteral("http://site.test/dir/"));
    ASSERT_NE(hub->lcurlForUrl(QStringLiteral("http://site.test/dir")), nullptr);
    hub->add(page);
    hub->removeThisCrwlUrlFromCollection(page);
    EXPECT_EQ(hub->lcurlForUrl(QStringLiteral("http://site.test/dir")), nullptr);
    EXPECT_TRUE(hub->getLookupDictionary().isEmpty());
    EXPECT_TRUE(hub->linksCollection().isEmpty());
    EXPECT_GE(hub->retainCount(), 1);

    // A record that took over the key since keeps its entry when the old one is removed.
    auto old = makeRecord(QStringLiteral("http://site.test/x/"));
    auto live = makeRecord(QStringLiteral("http://site.test/x"));
    hub->removeFromLookup(old);
    EXPECT_EQ(hub->lcurlForUrl(QStringLiteral("http://site.test/x")), live);
}

TEST_F(Z12AraCountersTest, OccurrencesLinkPageAndTargetAndAreCollected)
{
    auto page = makeRecord(QStringLiteral("http://site.test/"));
    auto target = makeRecord(QStringLiteral("http://site.test/a"));
    auto instance = hub->addInstanceWithParent(page, target, QStringLiteral("A link"), QStringLiteral("nofollow"),
        QString(), QString(), std::optional<qint64>(12));
    ASSERT_TRUE(instance);
    EXPECT_EQ(instance->parent(), page);
    EXPECT_EQ(instance->target(), target);
    EXPECT_EQ(instance->lineNumber(), std::optional<qint64>(12));
    EXPECT_TRUE(instance->nf());
    ASSERT_EQ(target->getInboundInstances().size(), 1u);
    ASSERT_EQ(page->getOutboundInstances().size(), 1u);
    ASSERT_EQ(hub->instanceCollection().size(), 1u);

    // A second occurrence with the same texts shares them; empty attributes are not stored, and
    // changing one occurrence leaves the other as it was.
    auto again = hub->addInstanceWithParent(target, page, QStringLiteral("A link"), QStringLiteral("nofollow"),
        QStringLiteral(""), QString(), std::nullopt);
    EXPECT_EQ(again->sharedTexts(), instance->sharedTexts());
    EXPECT_TRUE(again->targetAttr().isNull());
    EXPECT_TRUE(again->nf());
    EXPECT_EQ(again->lineNumber(), std::nullopt);
    again->setHreflang(QStringLiteral("de"));
    EXPECT_TRUE(instance->hreflang().isNull());
    EXPECT_EQ(again->getLinkText(), QStringLiteral("A link"));
    auto other = hub->addInstanceWithParent(
        page, target, QStringLiteral("A link"), QString(), QString(), QString(), std::nullopt);
    EXPECT_NE(other->sharedTexts(), instance->sharedTexts());
    EXPECT_FALSE(other->nf());
    EXPECT_TRUE(other->getRel().isEmpty());

    hub->removeThisCrwlLinkInstanceFromCollection(instance);
    EXPECT_EQ(hub->instanceCollection().size(), 2u);
    EXPECT_EQ(hub->instanceCollection().front(), again);
}

TEST_F(Z12AraCountersTest, WarningsAreCollectedWithTheirRecord)
{
    auto page = makeRecord(QStringLiteral("http://site.test/w"));
    page->addWarning(QStringLiteral("first"));
    ASSERT_EQ(hub->getWarningsArray().size(), 1);
    EXPECT_EQ(hub->getWarningsArray()[0].url, u"http://site.test/w");
    EXPECT_EQ(hub->getWarningsArray()[0].lcurl, page);
    EXPECT_EQ(hub->getWarningsArray()[0].warning, u"first");
}

} // namespace
