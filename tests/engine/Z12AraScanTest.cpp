// A whole scan over the records' own URL sessions against a loopback site: the pump, the
// fetches' hand-offs and the finish on real time.
#include "Z12AraTestSupport.h"
#include "engine/CrawlSettingKeys.h"

#include "engine/CrwlStatusCodes.h"
#include "engine/CrwlUrlFetchTransport.h"
#include "platform/Dispatch.h"
#include "support/LoopbackServer.h"
#include "support/RawSocketServer.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

using namespace crawlmere::test;

namespace {

class Z12AraScanTest : public HubFixture {
protected:
    void SetUp() override
    {
        HubFixture::SetUp();
        hub->setClock(nullptr); // real time
        hub->setTransport(std::make_shared<CrwlUrlFetchTransport>());
        server.server().set_keep_alive_max_count(1);
    }
    bool waitForFinish(const NotificationCounter& notes, int finishes = 1)
    {
        return crawlmere::platform::Dispatch::runUntil(
            [&] { return notes.count(Z12Ara::CrwlCrawlDidFinish) >= finishes; }, std::chrono::seconds(20));
    }
    LoopbackServer server;
};

TEST_F(Z12AraScanTest, StartingPageIsFetchedCountedAndTheScanFinishesOnce)
{
    server.server().Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html><head><title>Home</title></head><body>Welcome</body></html>", "text/html");
    });
    ASSERT_TRUE(server.start());
    NotificationCounter notes;
    settings->insert(crawlKey::startingUrl, server.url(QStringLiteral("/")));
    ASSERT_TRUE(hub->go());
    ASSERT_TRUE(waitForFinish(notes));
    const auto start = hub->getLcurl();
    ASSERT_TRUE(start);
    EXPECT_EQ(start->getStatus(), 200);
    EXPECT_EQ(hub->checkedLinkCount(), 1);
    EXPECT_EQ(hub->inProgressCount(), 0);
    EXPECT_FALSE(hub->isScanning());
    EXPECT_EQ(notes.count(Z12Ara::CrwlUrlStatusUpdated), 1);
    crawlmere::platform::Dispatch::runFor(std::chrono::milliseconds(200));
    EXPECT_EQ(notes.count(Z12Ara::CrwlCrawlDidFinish), 1);
    EXPECT_EQ(store->timeStamps, 1);
}

TEST_F(Z12AraScanTest, MissingStartingPageIsABadLink)
{
    ASSERT_TRUE(server.start());
    NotificationCounter notes;
    settings->insert(crawlKey::startingUrl, server.url(QStringLiteral("/nowhere.html")));
    ASSERT_TRUE(hub->go());
    ASSERT_TRUE(waitForFinish(notes));
    EXPECT_EQ(hub->getLcurl()->getStatus(), 404);
    EXPECT_EQ(hub->badLinkCount(), 1);
}

TEST_F(Z12AraScanTest, PauseCancelsTheFetchAndContinueFetchesItAgain)
{
    std::atomic<int> requests { 0 };
    server.server().Get("/slow.html", [&](const httplib::Request&, httplib::Response& response) {
        ++requests;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        response.set_content("<html><body>slow</body></html>", "text/html");
    });
    ASSERT_TRUE(server.start());
    NotificationCounter notes;
    settings->insert(crawlKey::startingUrl, server.url(QStringLiteral("/slow.html")));
    ASSERT_TRUE(hub->go());
    // The encoding probe asked once; wait until the fetch itself is at the server.
    ASSERT_TRUE(
        crawlmere::platform::Dispatch::runUntil([&] { return requests.load() >= 2; }, std::chrono::seconds(10)));
    hub->stop();
    EXPECT_EQ(hub->getLcurl()->getStatus(), -1);
    EXPECT_EQ(hub->queueLength(), 1);
    // The cancelled fetch never reports back while paused.
    crawlmere::platform::Dispatch::runFor(std::chrono::milliseconds(500));
    EXPECT_EQ(hub->checkedLinkCount(), 0);
    EXPECT_EQ(notes.count(Z12Ara::CrwlCrawlDidFinish), 0);

    hub->continueCrawl();
    ASSERT_TRUE(waitForFinish(notes));
    EXPECT_EQ(requests.load(), 3);
    EXPECT_EQ(hub->getLcurl()->getStatus(), 200);
    EXPECT_EQ(hub->checkedLinkCount(), 1);
    EXPECT_EQ(notes.count(Z12Ara::CrwlCrawlDidStop), 1);
    EXPECT_EQ(notes.count(Z12Ara::CrwlCrawlWillContinue), 1);
}

TEST_F(Z12AraScanTest, BodyDrippingPastTheTimeoutIsGivenUpByItsOwnTimer)
{
    // A byte every 200 ms keeps the transfer's idle time-out from ever firing, and nothing else
    // in the scan completes to run the finish test.
    RawSocketServer drip([](RawConnection& connection) {
        if (connection.readRequest().isEmpty())
            return;
        if (!connection.send("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 100000\r\n\r\n"))
            return;
        for (int i = 0; i < 300 && connection.send("x"); ++i)
            connection.hold(std::chrono::milliseconds(200));
    });
    ASSERT_TRUE(drip.start());
    NotificationCounter notes;
    settings->insert(crawlKey::timeout, 1);
    auto record = makeRecord(drip.url(QStringLiteral("/drip.html")));
    hub->add(record);
    hub->addToCheckQueue(record);
    QElapsedTimer elapsed;
    elapsed.start();
    hub->getNextUrlToCrawl();
    // Given up past 1 + 3 s, and long before the minute the drip would last (the wait's bound
    // of 20 s says so without timing a loaded machine).
    ASSERT_TRUE(waitForFinish(notes));
    EXPECT_GE(elapsed.elapsed(), 4000);
    EXPECT_EQ(record->getStatus(), CrwlStatus::unknownError);
    EXPECT_EQ(hub->checkedLinkCount(), 1);
    EXPECT_EQ(hub->inProgressCount(), 0);
    // The cancelled transfer never reports back.
    crawlmere::platform::Dispatch::runFor(std::chrono::milliseconds(500));
    EXPECT_EQ(record->getStatus(), CrwlStatus::unknownError);
    EXPECT_EQ(notes.count(Z12Ara::CrwlUrlStatusUpdated), 1);
    drip.stop();
}

// When a one-thread scan limited to 60 requests a minute, with no pause stored, sends each:
// the requests go out about a second apart, not at once.
TEST_F(Z12AraScanTest, ALimitedRateSpacesTheRequestsTheServerSeesWithoutAStoredDelay)
{
    // Timed as the scan sends them: when the server gets to each depends on how soon a loaded
    // machine lets it accept the connection, which the scan does not control.
    struct SendTimes : CrwlUrlFetchTransport {
        void startFetch(const std::shared_ptr<CrwlUrl>& record) override
        {
            if (record->absoluteString().contains(QLatin1String("/p/")))
                sent.push_back(std::chrono::steady_clock::now());
            CrwlUrlFetchTransport::startFetch(record);
        }
        std::vector<std::chrono::steady_clock::time_point> sent;
    };
    const auto sendTimes = std::make_shared<SendTimes>();
    hub->setTransport(sendTimes);
    std::atomic<int> served = 0;
    server.server().Get(R"(/p/\d+)", [&](const httplib::Request&, httplib::Response& response) {
        ++served;
        response.set_content("<html><body>page</body></html>", "text/html");
    });
    ASSERT_TRUE(server.start());
    NotificationCounter notes;
    settings->insert(crawlKey::numberOfThreads, 1);
    settings->insert(crawlKey::limitRPM, true);
    settings->insert(crawlKey::maxRPM, 60);
    settings->remove(crawlKey::delay);
    for (int page = 0; page < 4; ++page) {
        auto record = makeRecord(server.url(QStringLiteral("/p/%1").arg(page)));
        hub->add(record);
        hub->addToCheckQueue(record);
    }
    hub->getNextUrlToCrawl();
    ASSERT_TRUE(waitForFinish(notes));
    EXPECT_EQ(served.load(), 4);
    const auto& sent = sendTimes->sent;
    ASSERT_EQ(sent.size(), 4u);
    for (size_t i = 1; i < sent.size(); ++i)
        EXPECT_GE(sent[i] - sent[i - 1], std::chrono::milliseconds(800)) << i;
}

} // namespace
