// URL sessions across threads: synchronous loads, concurrent transfers, callbacks on the main
// thread, cancelling, invalidating and shutting down, and failed name lookups.
#include "UrlSessionTestSupport.h"

using namespace crawlmere::test::sessions;

// --- Synchronous loads --------------------------------------------------------------------------

TEST_F(UrlSessionTest, SynchronousLoadFollowsRedirectsOnTheMainThread)
{
    ASSERT_TRUE(Dispatch::isMainThread());
    const UrlLoadResult result = UrlSession::loadSynchronously(request(QStringLiteral("/r1")), 10s);
    EXPECT_TRUE(result.succeeded());
    EXPECT_EQ(result.statusCode(), 200);
    EXPECT_EQ(result.response->url, m_server.url(QStringLiteral("/final?from=r2")));
    EXPECT_EQ(result.body, QByteArray("arrived r2"));

    const UrlLoadResult missing = UrlSession::loadSynchronously(request(QStringLiteral("/missing")), 10s);
    EXPECT_TRUE(missing.succeeded());
    EXPECT_EQ(missing.statusCode(), 404);

    const UrlLoadResult secret = UrlSession::loadSynchronously(request(QStringLiteral("/secret")), 10s);
    EXPECT_EQ(secret.statusCode(), 401); // no challenge is answered
}

TEST_F(UrlSessionTest, SynchronousLoadDoesNotWaitForASessionThatWaitsForTheMainThread)
{
    // A session whose completion hands over to the main thread, while the main thread is
    // blocked in a synchronous load: both must finish.
    std::atomic<bool> handedOver { false };
    std::atomic<bool> completed { false };
    UrlSessionDelegate delegate;
    delegate.didCompleteWithError = [&](UrlSession&, const UrlTaskResult&) {
        Dispatch::mainSync([&] { handedOver = true; });
        completed = true;
    };
    std::shared_ptr<UrlSession> session = UrlSession::create(std::move(delegate));
    session->start(request(QStringLiteral("/ok")));
    const UrlLoadResult result = UrlSession::loadSynchronously(request(QStringLiteral("/big")), 10s);
    EXPECT_TRUE(result.succeeded());
    EXPECT_EQ(result.body.size(), 1024 * 1024);
    EXPECT_TRUE(Dispatch::runUntil([&] { return completed.load(); }, kDidNotHang));
    EXPECT_TRUE(handedOver.load());
}

TEST_F(UrlSessionTest, SynchronousLoadGivesUpAfterItsTimeout)
{
    RawSocketServer silent(silentHandler(30s));
    ASSERT_TRUE(silent.start());
    const auto began = std::chrono::steady_clock::now();
    const UrlLoadResult result = UrlSession::loadSynchronously(UrlRequest(silent.url(), 60.0), 1s);
    EXPECT_LT(std::chrono::steady_clock::now() - began, kDidNotHang);
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, UrlErrorCode::TimedOut);
    EXPECT_FALSE(result.response);
}

// --- Concurrency and cancellation --------------------------------------------------------------

namespace {

/// A transfer that received its first bytes and then stalls: the server sends ten of the
/// 100000 bytes it announced and holds the connection.
struct StalledTransfer {
    RawSocketServer server { [](RawConnection& connection) {
        if (connection.readRequest().isEmpty())
            return;
        connection.send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\nsome bytes");
        connection.hold(30s);
    } };
    std::shared_ptr<Recording> rec = std::make_shared<Recording>();
    std::shared_ptr<UrlSession> session;
    std::atomic<bool> firstData { false };

    /// Starts the transfer; true once its first bytes arrived.
    bool start()
    {
        if (!server.start())
            return false;
        Options options;
        options.onFirstData = [this](UrlSession&) { firstData = true; };
        session = UrlSession::create(recordingDelegate(rec, options));
        session->start(UrlRequest(server.url(), 60.0));
        return Dispatch::runUntil([this] { return firstData.load(); }, kDidNotHang);
    }
};

} // namespace

TEST_F(UrlSessionTest, FiftyConcurrentTransfersAllComplete)
{
    constexpr int kCount = 50;
    std::vector<std::shared_ptr<Recording>> recordings;
    std::vector<std::shared_ptr<UrlSession>> sessions;
    for (int i = 0; i < kCount; ++i) {
        auto rec = std::make_shared<Recording>();
        UrlRequest r = request(QStringLiteral("/n?i=%1").arg(i));
        r.setValue("close", "Connection");
        auto session = UrlSession::create(recordingDelegate(rec, {}));
        session->start(r);
        recordings.push_back(rec);
        sessions.push_back(session);
    }
    const bool allDone = Dispatch::runUntil(
        [&] {
            return std::all_of(recordings.begin(), recordings.end(), [](const auto& rec) { return rec->done.load(); });
        },
        60s);
    ASSERT_TRUE(allDone);
    for (int i = 0; i < kCount; ++i) {
        EXPECT_FALSE(errorCode(*recordings[i])) << i;
        EXPECT_EQ(recordings[i]->data, "number " + QByteArray::number(i));
        EXPECT_EQ(recordings[i]->completions.load(), 1);
        EXPECT_EQ(sessions[i]->state(), UrlSession::TaskState::Completed);
    }
}

TEST_F(UrlSessionTest, ASmallAnswerEndsWithItsHeadWithoutAnotherTurnOfTheNetworkThread)
{
    // An answer that came whole with its head: the decision on the head finishes the task, in the
    // same turn of the main thread. A marker queued during the decision runs only afterwards;
    // a task that waited for the network thread to take the decision would end after it.
    RawSocketServer server([](RawConnection& connection) {
        while (!connection.readRequest().isEmpty())
            connection.send("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 5\r\n\r\nsmall");
    });
    ASSERT_TRUE(server.start());
    for (const ResponseDisposition disposition : { ResponseDisposition::Allow, ResponseDisposition::Cancel }) {
        auto rec = std::make_shared<Recording>();
        Options options;
        options.disposition = disposition;
        UrlSessionDelegate delegate = recordingDelegate(rec, options);
        std::atomic<bool> markerRan { false };
        std::atomic<bool> endedBeforeMarker { false };
        delegate.didReceiveResponse = [&markerRan, respond = delegate.didReceiveResponse](
                                          UrlSession& session, const UrlResponse& response) {
            Dispatch::toMain([&markerRan] { markerRan = true; });
            return respond(session, response);
        };
        delegate.didCompleteWithError = [&markerRan, &endedBeforeMarker, complete = delegate.didCompleteWithError](
                                            UrlSession& session, const UrlTaskResult& result) {
            endedBeforeMarker = !markerRan.load();
            complete(session, result);
        };
        auto session = UrlSession::create(std::move(delegate), UrlSessionCallbacks::OnMainThread);
        session->start(UrlRequest(server.url(QStringLiteral("/small")), 10.0));
        ASSERT_TRUE(Dispatch::runUntil([&] { return rec->done.load() && markerRan.load(); }, kDidNotHang));
        EXPECT_TRUE(endedBeforeMarker.load());
        if (disposition == ResponseDisposition::Allow) {
            EXPECT_FALSE(errorCode(*rec));
            EXPECT_EQ(rec->data, QByteArray("small"));
        } else {
            EXPECT_EQ(errorCode(*rec), UrlErrorCode::Cancelled);
            EXPECT_TRUE(rec->data.isEmpty());
        }
    }
    // The answers came on one connection: a transfer let go after its decision keeps it.
    EXPECT_EQ(server.connectionsAccepted(), 1);
}

TEST_F(UrlSessionTest, AKeepAliveServerIsAskedOnNoMoreConnectionsThanRequestsInFlight)
{
    // Each answer waits until every request of its round has come, so a round of eight is eight
    // requests in flight at once.
    std::atomic<int> requests { 0 };
    std::atomic<int> roundEnd { 0 };
    RawSocketServer server([&](RawConnection& connection) {
        while (!connection.readRequest().isEmpty()) {
            ++requests;
            const auto deadline = std::chrono::steady_clock::now() + kDidNotHang;
            while (requests.load() < roundEnd.load() && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(1ms);
            connection.send("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 2\r\n\r\nok");
        }
    });
    ASSERT_TRUE(server.start());
    // Eight at once, then one at a time, then eight again, as a scan's slots empty and fill.
    for (const int inFlight : { 8, 1, 1, 1, 1, 1, 8 }) {
        roundEnd += inFlight;
        std::vector<std::shared_ptr<Recording>> recordings;
        std::vector<std::shared_ptr<UrlSession>> sessions;
        for (int i = 0; i < inFlight; ++i) {
            recordings.push_back(std::make_shared<Recording>());
            sessions.push_back(UrlSession::create(recordingDelegate(recordings.back(), {})));
            sessions.back()->start(UrlRequest(server.url(QStringLiteral("/%1").arg(i)), 10.0));
        }
        const auto allDone = [&] {
            return std::all_of(recordings.begin(), recordings.end(), [](const auto& rec) { return rec->done.load(); });
        };
        ASSERT_TRUE(Dispatch::runUntil(allDone, kDidNotHang));
        for (const auto& rec : recordings)
            EXPECT_EQ(rec->data, QByteArray("ok"));
    }
    EXPECT_EQ(requests.load(), roundEnd.load());
    EXPECT_EQ(server.connectionsAccepted(), 8);
}

TEST_F(UrlSessionTest, MainThreadSessionsCallBackOnTheMainThreadInOrder)
{
    // Every event of a redirect chain, the body and the end, for many sessions at once.
    constexpr int kCount = 20;
    std::vector<std::shared_ptr<Recording>> recordings;
    std::vector<std::shared_ptr<UrlSession>> sessions;
    std::atomic<int> offMain { 0 };
    for (int i = 0; i < kCount; ++i) {
        auto rec = std::make_shared<Recording>();
        UrlSessionDelegate delegate = recordingDelegate(rec, {});
        delegate.didReceiveData = [rec, &offMain](UrlSession&, const QByteArray& chunk) {
            offMain += Dispatch::isMainThread() ? 0 : 1;
            rec->note(QStringLiteral("data"));
            std::lock_guard lock(rec->mutex);
            rec->data += chunk;
        };
        auto session = UrlSession::create(std::move(delegate), UrlSessionCallbacks::OnMainThread);
        UrlRequest r = request(i % 2 ? QStringLiteral("/r1") : QStringLiteral("/big"));
        r.setValue("close", "Connection"); // the test server has fewer workers than sessions
        session->start(r);
        recordings.push_back(rec);
        sessions.push_back(session);
    }
    ASSERT_TRUE(Dispatch::runUntil(
        [&] { return std::all_of(recordings.begin(), recordings.end(), [](const auto& rec) { return rec->done.load(); }); },
        60s));
    EXPECT_EQ(offMain.load(), 0);
    for (int i = 0; i < kCount; ++i) {
        const Recording& rec = *recordings[i];
        EXPECT_TRUE(rec.ranOnMainThread.load()) << i;
        EXPECT_FALSE(errorCode(rec)) << i;
        EXPECT_EQ(rec.completions.load(), 1) << i;
        std::vector<QString> expected;
        if (i % 2)
            expected = { QStringLiteral("redirect 301"), QStringLiteral("redirect 302"), QStringLiteral("response 200") };
        else
            expected = { QStringLiteral("response 200") };
        ASSERT_GE(rec.events.size(), expected.size() + 2) << i;
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), rec.events.begin())) << i;
        EXPECT_TRUE(std::all_of(rec.events.begin() + qsizetype(expected.size()), rec.events.end() - 1,
            [](const QString& event) { return event == u"data"; }))
            << i;
        EXPECT_EQ(rec.events.back(), QStringLiteral("complete")) << i;
        EXPECT_EQ(rec.data, i % 2 ? QByteArray("arrived r2") : QByteArray(1024 * 1024, 'b')) << i;
    }
}

TEST_F(UrlSessionTest, CancelFromAnotherThreadEndsARunningTransfer)
{
    StalledTransfer t;
    ASSERT_TRUE(t.start());
    std::thread canceller([session = t.session] { session->cancel(); });
    canceller.join();
    ASSERT_TRUE(Dispatch::runUntil([&] { return t.rec->done.load(); }, kDidNotHang));
    EXPECT_EQ(errorCode(*t.rec), UrlErrorCode::Cancelled);
    EXPECT_EQ(t.rec->completions.load(), 1);
    EXPECT_EQ(t.rec->data, QByteArray("some bytes"));
}

TEST_F(UrlSessionTest, InvalidatedSessionsCallNothingMoreAndReleaseTheirDelegate)
{
    StalledTransfer t;
    std::weak_ptr<Recording> watch = t.rec;
    ASSERT_TRUE(t.start());
    t.session->invalidateAndCancel();
    ASSERT_TRUE(
        Dispatch::runUntil([&] { return t.session->state() == UrlSession::TaskState::Completed; }, kDidNotHang));
    EXPECT_EQ(t.rec->completions.load(), 0);
    auto* raw = t.rec.get();
    t.rec.reset();
    // The delegate (and the recording its callbacks hold) is released.
    EXPECT_TRUE(Dispatch::runUntil([&] { return watch.expired(); }, kDidNotHang)) << raw;

    // Cancelling before start completes at once.
    auto early = std::make_shared<Recording>();
    std::shared_ptr<UrlSession> unstarted = UrlSession::create(recordingDelegate(early, {}));
    unstarted->cancel();
    unstarted->start(request(QStringLiteral("/ok")));
    ASSERT_TRUE(Dispatch::runUntil([&] { return early->done.load(); }, kDidNotHang));
    EXPECT_EQ(errorCode(*early), UrlErrorCode::Cancelled);
    EXPECT_FALSE(early->response);
}

TEST_F(UrlSessionTest, ShutdownWithATransferInFlightStopsCleanlyAndSessionsWorkAfterwards)
{
    StalledTransfer t;
    ASSERT_TRUE(t.start());

    UrlSession::shutdown();
    EXPECT_EQ(t.session->state(), UrlSession::TaskState::Completed);
    EXPECT_EQ(t.rec->completions.load(), 0); // invalidated, not completed

    auto again = fetch(request(QStringLiteral("/ok")));
    EXPECT_FALSE(errorCode(*again));
    EXPECT_EQ(again->data, QByteArray("<p>caf\xe9</p>"));
}


TEST_F(UrlSessionTest, FailedNameLookupsFreeTheirSlotAtOnceAndADeadHostIsAskedOnce)
{
    std::atomic<int> lookups { 0 };
    UrlSession::setNameLookupFailure([&](const QString& host) {
        ++lookups;
        return host.endsWith(QLatin1StringView(".invalid"));
    });
    // 200 dead hosts through twelve slots; a finished fetch hands its slot over on the main
    // thread, which starts the next one, as a scan does.
    constexpr int kHosts = 200;
    std::atomic<int> started { 0 };
    std::atomic<int> unknownHost { 0 };
    std::atomic<int> finished { 0 };
    std::function<void()> startNext = [&] {
        const int n = started++;
        if (n >= kHosts)
            return;
        UrlSessionDelegate delegate;
        delegate.didCompleteWithError = [&](UrlSession&, const UrlTaskResult& result) {
            if (result.error && result.error->code == UrlErrorCode::CannotFindHost)
                ++unknownHost;
            ++finished;
            Dispatch::toMain(startNext);
        };
        UrlSession::create(std::move(delegate))->start(UrlRequest(QStringLiteral("https://h%1.example.invalid/page").arg(n)));
    };
    QElapsedTimer clock;
    clock.start();
    for (int slot = 0; slot < 12; ++slot)
        startNext();
    const bool done = Dispatch::runUntil([&] { return finished.load() == kHosts; }, 60s);
    const qint64 elapsed = clock.elapsed();
    EXPECT_TRUE(done);
    EXPECT_EQ(unknownHost.load(), kHosts);
    EXPECT_LT(elapsed, 3000); // about 0.1 s; a lost wake-up costs each slot half a second or more

    // Further links to a host that just failed are answered without asking again.
    lookups = 0;
    for (const char* path : { "/a", "/b", "/c?x=1" }) {
        const auto rec = fetch(UrlRequest(QStringLiteral("http://Dead.invalid") + QLatin1StringView(path)));
        EXPECT_EQ(errorCode(*rec), UrlErrorCode::CannotFindHost);
    }
    EXPECT_EQ(lookups.load(), 1);
    UrlSession::setNameLookupFailure({});
}
