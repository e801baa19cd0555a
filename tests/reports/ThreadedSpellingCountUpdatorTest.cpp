// The background spelling recount: stored and fetched pages, queueing once, runs racing their end,
// a responsive main thread while real hunspell counts, and quitting mid-run.
#include "reports/ThreadedSpellingCountUpdator.h"

#include "engine/CrwlUrl.h"
#include "engine/CrwlUrlTestSupport.h"
#include "platform/Dispatch.h"
#include "platform/FakeSpellChecker.h"
#include "support/LoopbackServer.h"
#include "support/MainQueue.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

using crawlmere::reports::ThreadedSpellingCountUpdator;
using namespace std::chrono_literals;

namespace {

class ThreadedSpellingCountUpdatorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        checker.misspelled = { QStringLiteral("teh"), QStringLiteral("wrold") };
        services.spellChecker = &checker;
        services.runnerDidFinish = [this] { ++finished; };
        services.setProportion = [this](float p) { proportions << p; };
    }
    std::shared_ptr<CrwlUrl> page(const QString& url, qint64 count, const QByteArray& body = {})
    {
        auto record = CrwlUrl::make(owner, settings);
        record->setLinkURL(url);
        record->setSpellingCount(count);
        if (!body.isEmpty())
            record->setData(body);
        return record;
    }
    // Generous: the hunspell run over 2,000 pages takes 20 s under the sanitizers on a loaded machine.
    bool waitForRuns(const ThreadedSpellingCountUpdator& updator, int runs)
    {
        return crawlmere::platform::Dispatch::runUntil([&] { return finished >= runs && !updator.running(); }, 120s);
    }

    crawlmere::test::FakeSpellChecker checker;
    ThreadedSpellingCountUpdator::Services services;
    int finished = 0;
    QList<float> proportions;
    std::shared_ptr<crawlmere::test::RecordingOwner> owner = std::make_shared<crawlmere::test::RecordingOwner>();
    SharedCrawlSettings settings = crawlmere::test::makeSettings({});
};

TEST_F(ThreadedSpellingCountUpdatorTest, CountsStoredAndFetchedPagesAgain)
{
    crawlmere::test::LoopbackServer server;
    server.server().Get("/text", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("<html><body><p>teh wrold</p></body></html>", "text/html");
    });
    server.server().set_keep_alive_max_count(1); // no idle connection holds up the server's stop
    ASSERT_TRUE(server.start());
    const auto twoLeft = page(QStringLiteral("http://x.test/a"), 5, "<p>teh wrold cat</p><a href=\"/b\">b</a>");
    const auto learned = page(QStringLiteral("http://x.test/b"), 1, "<p>colour</p><a href=\"/a\">a</a>");
    const auto clean = page(QStringLiteral("http://x.test/c"), 0, "<p>teh</p><a href=\"/a\">a</a>");
    const auto noLinks = page(QStringLiteral("http://x.test/d"), 3, "<p>teh</p>");
    const auto fetched = page(server.url(QStringLiteral("/text")), 7); // no body: fetched, has no links
    const auto gone = page(server.url(QStringLiteral("/missing")), 4);
    ThreadedSpellingCountUpdator updator(services);
    updator.addPages({ twoLeft, learned, clean, noLinks, fetched, gone });
    ASSERT_TRUE(waitForRuns(updator, 1));
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(updator.queuedCount(), 0);
    EXPECT_EQ(twoLeft->getSpellingCount(), 2);
    EXPECT_EQ(learned->getSpellingCount(), 0);
    EXPECT_EQ(clean->getSpellingCount(), 0); // not parsed, though its text has a misspelling
    EXPECT_EQ(noLinks->getSpellingCount(), 1);
    EXPECT_EQ(fetched->getSpellingCount(), 2);
    EXPECT_EQ(gone->getSpellingCount(), 0);
    ASSERT_FALSE(proportions.isEmpty());
    EXPECT_EQ(proportions.last(), 0.0F);
}

TEST_F(ThreadedSpellingCountUpdatorTest, QueuesAPageOnceAndEmptyHandOverStillEndsARun)
{
    ThreadedSpellingCountUpdator updator(services);
    updator.addPages({});
    ASSERT_TRUE(waitForRuns(updator, 1));
    QList<std::shared_ptr<CrwlUrl>> pages;
    for (int i = 0; i < 300; ++i)
        pages << page(QStringLiteral("http://x.test/p%1").arg(i), 1, QByteArray(20000, 'a') + " teh <a href=x>");
    updator.addPages(pages);
    updator.addPages(pages.mid(0, 200)); // the same pages again while they wait
    EXPECT_LE(updator.queuedCount(), 300);
    ASSERT_TRUE(waitForRuns(updator, 2));
    for (const auto& p : pages)
        EXPECT_EQ(p->getSpellingCount(), 1);
}

TEST_F(ThreadedSpellingCountUpdatorTest, PagesAddedAsARunEndsAreNeverLeftBehind)
{
    ThreadedSpellingCountUpdator updator(services);
    QList<std::shared_ptr<CrwlUrl>> pages;
    for (int i = 0; i < 10000; ++i) {
        pages << page(QStringLiteral("http://x.test/%1").arg(i), 9, "<p>teh</p>");
        updator.addPages({ pages.last() });
        if (i % 3 == 0)
            QCoreApplication::processEvents();
    }
    ASSERT_TRUE(crawlmere::platform::Dispatch::runUntil([&] { return !updator.running(); }, 60s));
    EXPECT_EQ(updator.queuedCount(), 0);
    qsizetype stale = 0;
    for (const auto& p : pages)
        stale += p->getSpellingCount() != 1;
    EXPECT_EQ(stale, 0);
}

TEST_F(ThreadedSpellingCountUpdatorTest, MainThreadStaysResponsiveWhileHunspellCounts)
{
    services.spellChecker = nullptr; // the process's hunspell checker
    const QByteArray prose = QByteArray("<p>") + QByteArray("The quick brown fox jumps over the lazy dog. ").repeated(40)
        + "Teh wrold </p><a href=\"/\">home</a>";
    QList<std::shared_ptr<CrwlUrl>> pages;
    for (int i = 0; i < 2000; ++i)
        pages << page(QStringLiteral("http://x.test/%1").arg(i), 3, prose);
    ThreadedSpellingCountUpdator updator(services);
    qint64 worstGap = 0;
    QElapsedTimer sinceTick;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        worstGap = std::max(worstGap, sinceTick.restart());
    });
    timer.start(10);
    sinceTick.start();
    updator.addPages(pages);
    ASSERT_TRUE(waitForRuns(updator, 1));
    timer.stop();
    // Counting on the main thread would stall it for the whole run (seconds); the bound leaves room for a loaded
    // machine, where a 10 ms timer can be late by tens of milliseconds with the work elsewhere.
    EXPECT_LT(worstGap, 500);
    EXPECT_EQ(pages.first()->getSpellingCount(), 2);
    ASSERT_GE(proportions.size(), 3);
    EXPECT_LT(proportions.first(), proportions[proportions.size() - 2]);
    EXPECT_TRUE(std::is_sorted(proportions.begin(), proportions.end() - 1));
}

TEST_F(ThreadedSpellingCountUpdatorTest, QuittingMidRunStopsBetweenPages)
{
    QList<std::shared_ptr<CrwlUrl>> pages;
    for (int i = 0; i < 5000; ++i)
        pages << page(QStringLiteral("http://x.test/%1").arg(i), 2, QByteArray(30000, 'b') + " teh <a href=x>");
    QElapsedTimer clock;
    {
        ThreadedSpellingCountUpdator updator(services);
        updator.addPages(pages);
        // Under way: the run has told its first progress.
        ASSERT_TRUE(crawlmere::platform::Dispatch::runUntil([&] { return !proportions.isEmpty(); }, 30s));
        clock.start();
    }
    EXPECT_LT(clock.elapsed(), ThreadedSpellingCountUpdator::kStopWaitMs);
    ASSERT_TRUE(crawlmere::test::runQueuedWork());
    EXPECT_EQ(finished, 0);
    const auto untouched = std::count_if(pages.begin(), pages.end(), [](const auto& p) { return p->getSpellingCount() == 2; });
    EXPECT_GT(untouched, 0);
}

} // namespace
