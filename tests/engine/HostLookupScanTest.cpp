// Name lookups outside the fetch slots on real time: the records' own URL sessions against a
// loopback site, with a resolver that answers late and never asks the machine's name service.
#include "Z12AraTestSupport.h"
#include "engine/CrawlSettingKeys.h"

#include "engine/CrwlStatusCodes.h"
#include "engine/CrwlUrlFetchTransport.h"
#include "platform/Dispatch.h"
#include "platform/NameResolver.h"
#include "platform/UrlSession.h"
#include "support/LoopbackServer.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <atomic>

using namespace crawlmere::test;
using crawlmere::platform::NameLookupResult;
using crawlmere::platform::NameResolver;
using crawlmere::platform::UrlError;
using crawlmere::platform::UrlErrorCode;
using crawlmere::platform::UrlSession;
namespace Dispatch = crawlmere::platform::Dispatch;

namespace {

constexpr auto kSlowLookup = std::chrono::milliseconds(500);

/// Answers every lookup after `kSlowLookup`: hosts named "named…" are at 127.0.0.1, the others
/// are unknown. Counts what it was asked and how many lookups ran at once. Main thread.
class SlowResolver final : public NameResolver {
public:
    struct Tally {
        std::map<QString, int> asked;
        int running = 0;
        int mostAtOnce = 0;
        /// Pages the server had served when the first answer came.
        int servedAtFirstAnswer = -1;
    };

    explicit SlowResolver(std::function<int()> served)
        : m_served(std::move(served))
    {
    }

    void lookUp(const QString& host, Done done) override
    {
        ++tally->asked[host];
        tally->mostAtOnce = std::max(tally->mostAtOnce, ++tally->running);
        Dispatch::toMainAfter(kSlowLookup, [tally = tally, served = m_served, host, done = std::move(done)] {
            --tally->running;
            if (tally->servedAtFirstAnswer < 0)
                tally->servedAtFirstAnswer = served();
            NameLookupResult result;
            if (host.startsWith(QLatin1String("named")))
                result.addresses = QStringList { QStringLiteral("127.0.0.1") };
            else
                result.error = UrlError::make(UrlErrorCode::CannotFindHost);
            done(result);
        });
    }

    std::shared_ptr<Tally> tally = std::make_shared<Tally>();

private:
    std::function<int()> m_served;
};

class HostLookupScanTest : public HubFixture {
protected:
    void SetUp() override
    {
        HubFixture::SetUp();
        // Any name a transfer would look up itself fails at once, so the machine's name service
        // is never asked and a named host can only be reached through the resolver's answer.
        UrlSession::setNameLookupFailure([](const QString& host) { return host != QLatin1String("127.0.0.1"); });
        hub->setClock(nullptr); // real time
        resolver = std::make_shared<SlowResolver>([this] { return served.load(); });
        hub->setTransport(std::make_shared<CrwlUrlFetchTransport>(resolver));
        server.server().Get(R"(/good/(\d+)\.html)", [this](const httplib::Request&, httplib::Response& response) {
            ++served;
            response.set_content("<html><body>good</body></html>", "text/html");
        });
        ASSERT_TRUE(server.start());
    }
    void TearDown() override
    {
        HubFixture::TearDown();
        UrlSession::setNameLookupFailure({});
    }
    std::shared_ptr<CrwlUrl> queue(const QString& url)
    {
        auto record = makeRecord(url);
        hub->add(record);
        hub->addToCheckQueue(record);
        return record;
    }

    std::atomic<int> served { 0 };
    std::shared_ptr<SlowResolver> resolver;
    LoopbackServer server;
};

TEST_F(HostLookupScanTest, SlowUnknownHostsTakeAboutOneLookupAndGoodPagesGoOnMeanwhile)
{
    NotificationCounter notes;
    settings->insert(crawlKey::numberOfThreads, 12);
    std::vector<std::shared_ptr<CrwlUrl>> dead;
    std::vector<std::shared_ptr<CrwlUrl>> good;
    std::vector<std::shared_ptr<CrwlUrl>> named;
    // Two unknown hosts before each good page, the way a page's outside links come first.
    for (int i = 0; i < 200; ++i) {
        dead.push_back(queue(QStringLiteral("http://dead%1.invalid-host.test/p%1").arg(2 * i)));
        dead.push_back(queue(QStringLiteral("http://dead%1.invalid-host.test/p%1").arg(2 * i + 1)));
        good.push_back(queue(server.url(QStringLiteral("/good/%1.html").arg(i))));
    }
    for (int i = 0; i < 3; ++i)
        named.push_back(queue(QStringLiteral("http://named%1.test:%2/good/%1.html").arg(i).arg(server.port())));

    QElapsedTimer elapsed;
    elapsed.start();
    hub->getNextUrlToCrawl();
    ASSERT_TRUE(
        Dispatch::runUntil([&] { return notes.count(Z12Ara::CrwlCrawlDidFinish) >= 1; }, std::chrono::seconds(60)));
    const qint64 ms = elapsed.elapsed();

    // 403 hosts at 128 at once: four rounds of one slow lookup, against 400 / 12 (over 33)
    // rounds when each lookup held a fetch slot. The bound sits between the two, far enough from
    // four rounds that a busy machine does not cross it.
    const qint64 oneLookup = kSlowLookup.count();
    EXPECT_LT(ms, 24 * oneLookup) << "scan took " << ms << " ms";
    EXPECT_EQ(resolver->tally->mostAtOnce, HostLookupStage::kLookupsAtOnce);
    EXPECT_GT(resolver->tally->servedAtFirstAnswer, 0) << "no good page was fetched while lookups waited";
    // Each host once; addresses never.
    EXPECT_EQ(resolver->tally->asked.size(), 403u);
    for (const auto& [host, times] : resolver->tally->asked)
        EXPECT_EQ(times, 1) << host.toStdString();
    EXPECT_EQ(resolver->tally->asked.count(QStringLiteral("127.0.0.1")), 0u);

    for (const auto& record : dead) {
        ASSERT_EQ(record->getStatus(), CrwlStatus::completedWithError) << record->absoluteString().toStdString();
        EXPECT_EQ(
            record->getStatusDescription(), QStringLiteral("A server with the specified hostname could not be found."));
    }
    for (const auto& record : good)
        ASSERT_EQ(record->getStatus(), 200) << record->absoluteString().toStdString();
    // A name only the resolver knows: the transfer connected to its answer.
    for (const auto& record : named)
        EXPECT_EQ(record->getStatus(), 200) << record->absoluteString().toStdString();
    EXPECT_EQ(served.load(), 203);
    EXPECT_EQ(hub->checkedLinkCount(), 603);
    EXPECT_EQ(hub->inProgressCount(), 0);
}

} // namespace
