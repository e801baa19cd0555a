// Client-side rendering over a scripted page on a virtual clock: the record fetched from a
// loopback server is handed to the renderer, which settles, takes the markup once and ends the
// record exactly once whatever the page does.
#include "engine/PageRenderer.h"
#include "engine/CrawlSettingKeys.h"

#include "engine/CrwlUrlFetchSupport.h"
#include "engine/ScopedDefaults.h"
#include "engine/Z12AraTestSupport.h"
#include "platform/Dispatch.h"
#include "platform/UrlRequest.h"
#include "support/LoopbackServer.h"

#include <gtest/gtest.h>

using crawlmere::platform::UrlRequest;
using crawlmere::test::FetchOwner;
using crawlmere::test::LoopbackServer;
using crawlmere::test::makeSettings;
using crawlmere::test::ScopedDefaults;
using crawlmere::test::VirtualClock;
namespace Dispatch = crawlmere::platform::Dispatch;

namespace {

const QString kMarkup = QStringLiteral("<html><body><a href=\"/added\">added</a></body></html>");

/// What a scripted page did and what the test makes it do. It reports whatever the test
/// triggers, even after it was stopped, as a misbehaving page might.
struct ScriptedPage {
    PageRenderBackend::Events events;
    UrlRequest request;
    bool loading = false;
    bool stopped = false;
    int stopLoadingCalls = 0;
    std::vector<PageRenderBackend::EvaluationDone> evaluations;

    void answer(const std::optional<QString>& markup)
    {
        ASSERT_FALSE(evaluations.empty()) << "nothing asked for the markup";
        evaluations.back()(markup, markup ? QString() : QStringLiteral("script error"));
    }
    void finish()
    {
        loading = false;
        events.finished();
    }
};

class ScriptedBackend final : public PageRenderBackend {
public:
    explicit ScriptedBackend(std::shared_ptr<ScriptedPage> shared)
        : page(std::move(shared))
    {
    }
    void setEvents(Events value) override { page->events = std::move(value); }
    void load(const UrlRequest& request) override
    {
        page->request = request;
        page->loading = true;
    }
    bool isLoading() const override { return page->loading; }
    void evaluate(const QString& script, EvaluationDone done) override
    {
        EXPECT_EQ(script, PageRenderer::kMarkupScript);
        page->evaluations.push_back(std::move(done));
    }
    void stopLoading() override
    {
        ++page->stopLoadingCalls;
        page->loading = false;
    }
    void stop() override { page->stopped = true; }

private:
    std::shared_ptr<ScriptedPage> page;
};

class PageRendererTest : public testing::Test {
protected:
    void SetUp() override
    {
        server.server().Get("/page", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("<html><body>served</body></html>", "text/html");
        });
        ASSERT_TRUE(server.start());
        ASSERT_TRUE(Dispatch::runUntil([this] { return server.server().is_running(); }, std::chrono::seconds(10)));
        defaults.set(QStringLiteral("jsRenderingTime"), 1.0);
        CrwlUrl::setRendererStarter(PageRenderer::makeStarter(
            [this] {
                pages.push_back(std::make_shared<ScriptedPage>());
                return std::make_unique<ScriptedBackend>(pages.back());
            },
            clock));
    }
    void TearDown() override
    {
        CrwlUrl::setRendererStarter(nullptr);
        PageRenderer::setAvailability(nullptr);
        server.stop();
    }

    /// A record of the page, fetched until its renderer has started (a 5 s time-out).
    std::shared_ptr<CrwlUrl> rendering()
    {
        auto record = CrwlUrl::make(owner, makeSettings({ { crawlKey::runJS, true }, { crawlKey::timeout, 5 } }));
        record->setLinkURL(server.url(QStringLiteral("/page")));
        record->sendAsyncServerRequest();
        EXPECT_TRUE(Dispatch::runUntil([&] { return record->getWTG() != nullptr; }, std::chrono::seconds(10)));
        // The fetch's own completion (its body is not read) must not end the record.
        Dispatch::runFor(std::chrono::milliseconds(100));
        EXPECT_EQ(owner->count(QStringLiteral("threadHasFinished")), 0);
        return record;
    }
    ScriptedPage& page() { return *pages.back(); }
    int ends() const { return owner->count(QStringLiteral("threadHasFinished")); }

    LoopbackServer server;
    std::shared_ptr<FetchOwner> owner = std::make_shared<FetchOwner>();
    std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
    std::vector<std::shared_ptr<ScriptedPage>> pages;
    ScopedDefaults defaults;
};

} // namespace

TEST_F(PageRendererTest, MarkupIsHandedOverOnceAfterTheSettleDespiteASecondFinish)
{
    const auto record = rendering();
    EXPECT_EQ(page().request.url, server.url(QStringLiteral("/page")));
    page().finish();
    clock->advance(500);
    page().finish(); // a second navigation settles from here
    clock->advance(499);
    EXPECT_TRUE(page().evaluations.empty()) << "markup taken before the page settled";
    clock->advance(1);
    ASSERT_EQ(page().evaluations.size(), 1u);
    page().answer(kMarkup);
    clock->advance(2000);
    EXPECT_EQ(page().evaluations.size(), 1u) << "the second settle asked again";
    EXPECT_EQ(owner->names(),
        (QStringList { QStringLiteral("incNumberDone"), QStringLiteral("extractLinks"),
            QStringLiteral("threadHasFinished") }));
    ASSERT_EQ(owner->extractedBodies.size(), 1u);
    EXPECT_EQ(owner->extractedBodies.front(), kMarkup.toUtf8());
    EXPECT_EQ(record->getStatus(), 200);
}

TEST_F(PageRendererTest, WithoutABrowserEngineAPageIsReadAsFetched)
{
    int asked = 0;
    PageRenderer::setAvailability([&asked] { return ++asked, false; });
    const auto record = CrwlUrl::make(owner, makeSettings({ { crawlKey::runJS, true }, { crawlKey::timeout, 5 } }));
    record->setLinkURL(server.url(QStringLiteral("/page")));
    record->sendAsyncServerRequest();
    ASSERT_TRUE(Dispatch::runUntil([&] { return ends() == 1; }, std::chrono::seconds(10)));
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(pages.empty()) << "a page was made to render into";
    EXPECT_EQ(record->getStatus(), 200);
    ASSERT_EQ(owner->extractedBodies.size(), 1u);
    EXPECT_EQ(owner->extractedBodies.front(), QByteArray("<html><body>served</body></html>"));
}

TEST_F(PageRendererTest, FailureAndCrashTakeTheMarkupAtOnce)
{
    for (const bool crash : { false, true }) {
        owner = std::make_shared<FetchOwner>();
        const auto record = rendering();
        if (crash)
            page().events.crashed();
        else
            page().events.failed(QStringLiteral("refused"));
        ASSERT_EQ(page().evaluations.size(), 1u) << (crash ? "crash" : "failure");
        page().answer(kMarkup);
        EXPECT_EQ(ends(), 1);
        EXPECT_EQ(owner->count(QStringLiteral("extractLinks")), 1);
    }
}

TEST_F(PageRendererTest, PagesThatYieldNothingEndTheRecordGivenUpOnce)
{
    enum class Yield { TimeOutWhileLoading, EvaluationError, EmptyMarkup };
    for (const Yield yield : { Yield::TimeOutWhileLoading, Yield::EvaluationError, Yield::EmptyMarkup }) {
        owner = std::make_shared<FetchOwner>();
        const auto record = rendering();
        const int which = int(yield);
        if (yield == Yield::TimeOutWhileLoading) {
            clock->advance(5000); // the request's time-out: the loading page is stopped and asked
            EXPECT_EQ(page().stopLoadingCalls, 1);
            ASSERT_EQ(page().evaluations.size(), 1u);
            clock->advance(999);
            EXPECT_EQ(ends(), 0);
            clock->advance(1); // no answer within the settle time
        } else {
            page().finish();
            clock->advance(1000);
            page().answer(yield == Yield::EmptyMarkup ? std::optional<QString>(QString()) : std::nullopt);
        }
        EXPECT_EQ(record->getStatus(), -17) << which;
        EXPECT_EQ(owner->names(), (QStringList { QStringLiteral("incNumberDone"), QStringLiteral("threadHasFinished") }))
            << which;
        // A late answer and the remaining timers change nothing.
        page().answer(kMarkup);
        clock->advance(10000);
        EXPECT_EQ(ends(), 1) << which;
        EXPECT_TRUE(record->getData().isEmpty()) << which;
    }
}

TEST_F(PageRendererTest, AfterRespondingTheTimeOutTearsTheRendererDown)
{
    const auto record = rendering();
    const auto renderer = record->getWTG();
    page().finish();
    clock->advance(1000);
    page().answer(kMarkup);
    EXPECT_TRUE(renderer->hasResponded());
    EXPECT_FALSE(page().stopped);
    clock->advance(4000); // the request's time-out asks the record to clearWTG
    EXPECT_TRUE(page().stopped);
    EXPECT_EQ(record->getWTG(), nullptr);
    EXPECT_EQ(record->getRunJS(), nullptr);
    EXPECT_EQ(renderer->state(), PageRenderer::State::TornDown);
    EXPECT_EQ(ends(), 1);
}

TEST_F(PageRendererTest, APauseMidRenderHandsNothingOverLater)
{
    const auto record = rendering();
    page().finish();
    clock->advance(1000);
    ASSERT_EQ(page().evaluations.size(), 1u);
    record->invalidateAndUnlinkSession(); // what a pause, a give-up or a new scan does
    EXPECT_TRUE(page().stopped);
    EXPECT_EQ(record->getWTG(), nullptr);
    page().answer(kMarkup);
    page().finish();
    clock->advance(20000);
    EXPECT_TRUE(owner->names().isEmpty()) << owner->names().join(u',').toStdString();
    EXPECT_TRUE(record->getData().isEmpty());
}
