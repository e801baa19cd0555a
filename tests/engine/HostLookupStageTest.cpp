// The crawl coordinator's name lookups on a virtual clock: records wait for their host outside
// the fetch slots, each host is looked up once, a failure ends every waiting record of its host,
// and pause, time-out and the lookups' own limit keep their meaning.
#include "Z12AraTestSupport.h"
#include "engine/CrawlSettingKeys.h"

#include "engine/CrwlStatusCodes.h"
#include "platform/UrlError.h"

#include <QUrl>

#include <gtest/gtest.h>

using namespace crawlmere::test;
using crawlmere::platform::UrlError;
using crawlmere::platform::UrlErrorCode;

namespace {

class HostLookupStageTest : public HubFixture {
protected:
    void SetUp() override
    {
        HubFixture::SetUp();
        // Every host but an address is looked up first.
        transport->hostOf = [](const CrwlUrl& record) {
            const QString host = QUrl(record.getLinkUrlForTesting()).host();
            return host == QLatin1String("127.0.0.1") ? QString() : host;
        };
    }
    std::shared_ptr<CrwlUrl> queue(const QString& url)
    {
        auto record = makeRecord(url);
        hub->add(record);
        hub->addToCheckQueue(record);
        return record;
    }
    std::vector<QString> lookedUpHosts() const
    {
        std::vector<QString> hosts;
        for (const auto& lookup : transport->lookups)
            hosts.push_back(lookup.host);
        return hosts;
    }
};

TEST_F(HostLookupStageTest, RecordsWaitForTheirHostOutsideTheSlotsAndEachHostIsLookedUpOnce)
{
    NotificationCounter notes;
    settings->insert(crawlKey::numberOfThreads, 2);
    auto a1 = queue(QStringLiteral("http://a.test/1"));
    auto b1 = queue(QStringLiteral("http://b.test/1"));
    auto a2 = queue(QStringLiteral("http://a.test/2"));
    auto local = queue(QStringLiteral("http://127.0.0.1/x"));
    auto c1 = queue(QStringLiteral("http://c.test/1"));
    auto b2 = queue(QStringLiteral("http://b.test/2"));

    hub->getNextUrlToCrawl();
    // Only the address took a slot; the other slot stays free while three lookups run.
    EXPECT_EQ(lookedUpHosts(), (std::vector<QString> { "a.test", "b.test", "c.test" }));
    EXPECT_EQ(startedUrls(), (std::vector<QString> { "http://127.0.0.1/x" }));
    EXPECT_EQ(hub->inProgressCount(), 1);
    EXPECT_EQ(hub->queueLength(), 5);
    EXPECT_FALSE(hub->isFinished());

    // Found: both of its records come forward, the first takes the free slot.
    ASSERT_TRUE(transport->answerLookup(QStringLiteral("a.test")));
    EXPECT_EQ(startedUrls(), (std::vector<QString> { "http://127.0.0.1/x", "http://a.test/1" }));
    transport->complete(*hub, local);
    EXPECT_EQ(transport->starts.size(), 3u);
    EXPECT_EQ(transport->starts[2].record, a2);

    // Not found: every waiting record of the host ends at once with the transfer's text,
    // without a fetch, and is counted once.
    ASSERT_TRUE(transport->answerLookup(QStringLiteral("b.test"), UrlError::make(UrlErrorCode::CannotFindHost)));
    for (const auto& record : { b1, b2 }) {
        EXPECT_EQ(record->getStatus(), CrwlStatus::completedWithError);
        EXPECT_EQ(
            record->getStatusDescription(), QStringLiteral("A server with the specified hostname could not be found."));
    }
    EXPECT_EQ(transport->starts.size(), 3u);
    EXPECT_EQ(hub->checkedLinkCount(), 3);
    EXPECT_EQ(hub->badLinkCount(), 2);

    // A record of a host that failed earlier in the scan ends as it is popped.
    auto b3 = queue(QStringLiteral("http://b.test/3"));
    transport->complete(*hub, a1);
    EXPECT_EQ(b3->getStatus(), CrwlStatus::completedWithError);
    EXPECT_EQ(transport->lookups.size(), 3u);

    transport->complete(*hub, a2);
    EXPECT_EQ(notes.count(Z12Ara::CrwlCrawlDidFinish), 0) << "c.test still unanswered";
    ASSERT_TRUE(transport->answerLookup(QStringLiteral("c.test")));
    ASSERT_EQ(transport->starts.size(), 4u);
    EXPECT_EQ(transport->starts[3].record, c1);
    transport->complete(*hub, c1);
    EXPECT_EQ(notes.count(Z12Ara::CrwlCrawlDidFinish), 1);
    EXPECT_EQ(hub->checkedLinkCount(), 7);
}

TEST_F(HostLookupStageTest, LookupsRunManyAtOnceButNoMoreThanTheirLimit)
{
    NotificationCounter notes;
    const int hosts = HostLookupStage::kLookupsAtOnce + 72;
    for (int i = 0; i < hosts; ++i)
        queue(QStringLiteral("http://dead%1.test/p").arg(i));
    hub->getNextUrlToCrawl();
    EXPECT_EQ(transport->unansweredLookups(), HostLookupStage::kLookupsAtOnce);
    EXPECT_TRUE(transport->starts.empty());
    EXPECT_EQ(hub->queueLength(), hosts);

    // Each answer lets one more lookup start.
    const UrlError notFound = UrlError::make(UrlErrorCode::CannotFindHost);
    ASSERT_TRUE(transport->answerLookup(QStringLiteral("dead0.test"), notFound));
    EXPECT_EQ(transport->lookups.size(), static_cast<size_t>(HostLookupStage::kLookupsAtOnce + 1));
    EXPECT_EQ(transport->unansweredLookups(), HostLookupStage::kLookupsAtOnce);
    for (int i = 1; i < hosts; ++i)
        ASSERT_TRUE(transport->answerLookup(QStringLiteral("dead%1.test").arg(i), notFound)) << i;
    EXPECT_EQ(transport->lookups.size(), static_cast<size_t>(hosts));
    EXPECT_TRUE(transport->starts.empty());
    EXPECT_EQ(hub->checkedLinkCount(), hosts);
    EXPECT_EQ(notes.count(Z12Ara::CrwlCrawlDidFinish), 1);
}

TEST_F(HostLookupStageTest, PauseHandsWaitingRecordsBackAndTheAnswersStand)
{
    NotificationCounter notes;
    auto a1 = queue(QStringLiteral("http://a.test/1"));
    auto b1 = queue(QStringLiteral("http://b.test/1"));
    hub->getNextUrlToCrawl();
    ASSERT_EQ(transport->lookups.size(), 2u);

    hub->stop();
    EXPECT_EQ(hub->getCheckQueue().waitingObjects(), (QList<std::shared_ptr<CrwlUrl>> { a1, b1 }));
    // An answer while paused starts nothing and ends nothing.
    ASSERT_TRUE(transport->answerLookup(QStringLiteral("a.test")));
    ASSERT_TRUE(transport->answerLookup(QStringLiteral("b.test"), UrlError::make(UrlErrorCode::CannotFindHost)));
    EXPECT_TRUE(transport->starts.empty());
    EXPECT_EQ(b1->getStatus(), -1);
    EXPECT_EQ(hub->checkedLinkCount(), 0);

    // Resumed, the answers are used without asking again.
    hub->continueCrawl();
    EXPECT_EQ(transport->lookups.size(), 2u);
    EXPECT_EQ(startedUrls(), (std::vector<QString> { "http://a.test/1" }));
    EXPECT_EQ(b1->getStatus(), CrwlStatus::completedWithError);
    transport->complete(*hub, a1);
    EXPECT_EQ(notes.count(Z12Ara::CrwlCrawlDidFinish), 1);
}

TEST_F(HostLookupStageTest, LookupPastTheTimeoutEndsItsRecordsAsTheTransferWould)
{
    NotificationCounter notes;
    settings->insert(crawlKey::timeout, 5);
    auto first = queue(QStringLiteral("http://slow.test/1"));
    auto second = queue(QStringLiteral("http://slow.test/2"));
    hub->getNextUrlToCrawl();
    clock->advance(4999);
    EXPECT_EQ(first->getStatus(), -1);
    clock->advance(1);
    for (const auto& record : { first, second }) {
        EXPECT_EQ(record->getStatus(), CrwlStatus::completedWithError);
        EXPECT_EQ(record->getStatusDescription(), QStringLiteral("The request timed out."));
    }
    EXPECT_EQ(notes.count(Z12Ara::CrwlCrawlDidFinish), 1);
    // The late answer changes nothing.
    ASSERT_TRUE(transport->answerLookup(QStringLiteral("slow.test")));
    EXPECT_TRUE(transport->starts.empty());
    EXPECT_EQ(hub->checkedLinkCount(), 2);
}

TEST_F(HostLookupStageTest, EachLookupTimesOutOnItsOwnDeadline)
{
    settings->insert(crawlKey::timeout, 5);
    auto early = queue(QStringLiteral("http://early.test/1"));
    hub->getNextUrlToCrawl();
    clock->advance(2000);
    auto late = queue(QStringLiteral("http://late.test/1"));
    auto answered = queue(QStringLiteral("http://answered.test/1"));
    hub->getNextUrlToCrawl();
    ASSERT_EQ(transport->lookups.size(), 3u);
    ASSERT_TRUE(transport->answerLookup(QStringLiteral("answered.test")));
    clock->advance(3000);
    EXPECT_EQ(early->getStatus(), CrwlStatus::completedWithError);
    EXPECT_EQ(late->getStatus(), -1);
    clock->advance(1999);
    EXPECT_EQ(late->getStatus(), -1);
    clock->advance(1);
    EXPECT_EQ(late->getStatus(), CrwlStatus::completedWithError);
    EXPECT_EQ(late->getStatusDescription(), QStringLiteral("The request timed out."));
    // The answered host's record took a slot and is not timed out by the stage.
    ASSERT_EQ(transport->starts.size(), 1u);
    EXPECT_EQ(transport->starts[0].record, answered);
}

TEST_F(HostLookupStageTest, ANewScanForgetsTheHostsAndIgnoresLateAnswers)
{
    queue(QStringLiteral("http://a.test/1"));
    hub->getNextUrlToCrawl();
    hub->clear();
    EXPECT_EQ(hub->queueLength(), 0);
    auto again = queue(QStringLiteral("http://a.test/1"));
    hub->getNextUrlToCrawl();
    ASSERT_EQ(transport->lookups.size(), 2u);
    // The first scan's answer is not this scan's.
    ASSERT_TRUE(transport->answerLookup(QStringLiteral("a.test")));
    EXPECT_TRUE(transport->starts.empty());
    ASSERT_TRUE(transport->answerLookup(QStringLiteral("a.test")));
    ASSERT_EQ(transport->starts.size(), 1u);
    EXPECT_EQ(transport->starts[0].record, again);
}

TEST_F(HostLookupStageTest, RecheckOfAWaitingRecordDoesNotQueueItTwice)
{
    auto waiting = queue(QStringLiteral("http://a.test/1"));
    hub->getNextUrlToCrawl();
    EXPECT_TRUE(hub->isQueuedOrInProgress(*waiting));
    waiting->recheckLink();
    EXPECT_EQ(hub->getCheckQueue().count(), 0);
    ASSERT_TRUE(transport->answerLookup(QStringLiteral("a.test")));
    EXPECT_EQ(transport->starts.size(), 1u);
}

} // namespace
