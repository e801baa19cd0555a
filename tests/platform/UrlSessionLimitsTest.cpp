// URL sessions against servers that stall, overflow or break: idle time-outs, body and header caps,
// dropped connections and garbage, bad addresses and bodiless answers.
#include "UrlSessionTestSupport.h"
#include "support/Compression.h"

using namespace crawlmere::test::sessions;

// --- Time-outs, caps and broken servers ---------------------------------------------------------

TEST_F(UrlSessionTest, AServerThatStallsMidBodyHitsTheIdleTimeout)
{
    RawSocketServer stall([](RawConnection& connection) {
        if (connection.readRequest().isEmpty())
            return;
        connection.send("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 1000\r\n\r\nfirst part");
        connection.hold(30s);
    });
    ASSERT_TRUE(stall.start());
    auto rec = fetch(UrlRequest(stall.url(QStringLiteral("/stall")), 1.0));
    EXPECT_EQ(errorCode(*rec), UrlErrorCode::TimedOut);
    ASSERT_TRUE(rec->response);
    EXPECT_EQ(rec->response->statusCode, 200);
    EXPECT_EQ(rec->data, QByteArray("first part"));
}

TEST_F(UrlSessionTest, AServerThatNeverAnswersHitsTheIdleTimeoutWithoutAResponse)
{
    RawSocketServer silent(silentHandler(30s));
    ASSERT_TRUE(silent.start());
    auto rec = fetch(UrlRequest(silent.url(QStringLiteral("/silent")), 1.0));
    EXPECT_EQ(errorCode(*rec), UrlErrorCode::TimedOut);
    EXPECT_FALSE(rec->response);
}

TEST_F(UrlSessionTest, ASlowHeadDecisionIsNotCountedAsIdleness)
{
    RawSocketServer server([](RawConnection& connection) {
        if (connection.readRequest().isEmpty())
            return;
        connection.send("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nbody");
        connection.hold(5s); // keep the connection, so only the decision delays the body
    });
    ASSERT_TRUE(server.start());
    UrlSessionDelegate delegate;
    auto rec = std::make_shared<Recording>();
    delegate = recordingDelegate(rec, {});
    auto recordResponse = delegate.didReceiveResponse;
    delegate.didReceiveResponse = [recordResponse](UrlSession& session, const UrlResponse& response) {
        std::this_thread::sleep_for(2500ms); // well beyond the 1 s idle time-out
        return recordResponse(session, response);
    };
    std::shared_ptr<UrlSession> session = UrlSession::create(std::move(delegate));
    session->start(UrlRequest(server.url(), 1.0));
    ASSERT_TRUE(Dispatch::runUntil([&] { return rec->done.load(); }, kDidNotHang));
    EXPECT_FALSE(errorCode(*rec));
    EXPECT_EQ(rec->data, QByteArray("body"));
}

TEST_F(UrlSessionTest, ASlowButSteadyBodyOutlastsTheIdleTimeout)
{
    RawSocketServer trickle([](RawConnection& connection) {
        if (connection.readRequest().isEmpty())
            return;
        connection.send("HTTP/1.1 200 OK\r\nContent-Length: 8\r\n\r\n");
        for (int i = 0; i < 8; ++i) {
            connection.hold(350ms);
            connection.send("x");
        }
    });
    ASSERT_TRUE(trickle.start());
    // About 2.8 s in all, against an idle time-out of 1 s.
    auto rec = fetch(UrlRequest(trickle.url(QStringLiteral("/trickle")), 1.0));
    EXPECT_FALSE(errorCode(*rec)) << rec->result->error->localizedDescription.toStdString();
    EXPECT_EQ(rec->data, QByteArray("xxxxxxxx"));
}

TEST_F(UrlSessionTest, BodyAndHeaderCapsEndTheTaskWithARecordedResult)
{
    UrlRequest capped = request(QStringLiteral("/big"));
    capped.maxBodyBytes = 1000;
    auto body = fetch(capped);
    EXPECT_EQ(errorCode(*body), UrlErrorCode::BodyTooLarge);
    EXPECT_EQ(body->data.size(), 1000);
    EXPECT_EQ(body->result->bodyBytes, 1000);

    auto headers = fetch(request(QStringLiteral("/many-headers"))); // ~200 KB against 64 KB
    EXPECT_EQ(errorCode(*headers), UrlErrorCode::HeaderTooLarge);
    EXPECT_FALSE(headers->response);

    UrlRequest roomy = request(QStringLiteral("/many-headers"));
    roomy.maxHeaderBytes = 512 * 1024;
    auto fits = fetch(roomy);
    EXPECT_FALSE(errorCode(*fits));
    ASSERT_TRUE(fits->response);
    EXPECT_EQ(fits->response->allHeaderFields.value("x-fill-199").size(), 1000);
}

TEST_F(UrlSessionTest, ACompressedBodyStopsAtTheCapWhileItsHeadWaitsForItsDecision)
{
    // Bodies of a few KB that decode far past the cap, every byte of it before the head's
    // decision is in. The decision waits until the transfer has let go of its connection, which
    // it does at the cap itself; each run then ends alike, past the cap, with nothing over it.
    const qint64 cap = UrlRequest().maxBodyBytes;
    std::map<std::string, QByteArray> bodies {
        { "zstd", crawlmere::test::zstdRepeating('a', 300 * 1024 * 1024) },
        { "gzip", gzip(QByteArray(cap + 16 * 1024 * 1024, 'a')) },
    };
#ifdef CRAWLMERE_HAVE_BROTLI_ENCODER
    bodies.emplace("br", brotli(QByteArray(cap + 16 * 1024 * 1024, 'a')));
#endif
    std::atomic<int> closed { 0 };
    RawSocketServer server([&](RawConnection& connection) {
        const QByteArray head = connection.readRequest();
        const QByteArray encoding = head.mid(5, head.indexOf(' ', 5) - 5);
        const QByteArray& body = bodies.at(encoding.toStdString());
        connection.send("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Encoding: " + encoding
            + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
        if (connection.waitUntilClosed(kDidNotHang))
            ++closed;
    });
    ASSERT_TRUE(server.start());
    for (const auto& [encoding, body] : bodies) {
        for (int run = 0; run < 3; ++run) {
            SCOPED_TRACE(encoding + " run " + std::to_string(run));
            ASSERT_FALSE(body.isEmpty());
            const int closedBefore = closed.load();
            auto rec = std::make_shared<Recording>();
            UrlSessionDelegate delegate = recordingDelegate(rec, {});
            delegate.didReceiveResponse = [&closed, closedBefore, respond = delegate.didReceiveResponse](
                                              UrlSession& session, const UrlResponse& response) {
                const auto deadline = std::chrono::steady_clock::now() + kDidNotHang;
                while (closed.load() == closedBefore && std::chrono::steady_clock::now() < deadline)
                    std::this_thread::sleep_for(1ms);
                return respond(session, response);
            };
            std::shared_ptr<UrlSession> session = UrlSession::create(std::move(delegate));
            session->start(UrlRequest(server.url(QStringLiteral("/") + QString::fromStdString(encoding)), 30.0));
            ASSERT_TRUE(Dispatch::runUntil([&] { return rec->done.load(); }, 2 * kDidNotHang));
            EXPECT_EQ(closed.load(), closedBefore + 1) << "the transfer held its connection past the cap";
            EXPECT_EQ(errorCode(*rec), UrlErrorCode::BodyTooLarge);
            EXPECT_EQ(rec->result->bodyBytes, cap);
            EXPECT_EQ(rec->data.size(), cap);
        }
    }
}

TEST_F(UrlSessionTest, DroppedConnectionsAndGarbageAreTransportErrors)
{
    RawSocketServer server([](RawConnection& connection) {
        const QByteArray head = connection.readRequest();
        if (head.startsWith("GET /mid-body")) {
            connection.send("HTTP/1.1 200 OK\r\nContent-Length: 500\r\n\r\nonly this");
        } else if (head.startsWith("GET /garbage")) {
            connection.send("this is not http at all\r\n\r\n");
        }
        connection.close(); // "/before-head" gets nothing at all
    });
    ASSERT_TRUE(server.start());

    auto before = fetch(UrlRequest(server.url(QStringLiteral("/before-head")), 5.0));
    EXPECT_EQ(errorCode(*before), UrlErrorCode::NetworkConnectionLost);
    EXPECT_FALSE(before->response);

    auto mid = fetch(UrlRequest(server.url(QStringLiteral("/mid-body")), 5.0));
    EXPECT_EQ(errorCode(*mid), UrlErrorCode::NetworkConnectionLost);
    ASSERT_TRUE(mid->response);
    EXPECT_EQ(mid->response->statusCode, 200);
    EXPECT_EQ(mid->data, QByteArray("only this"));

    auto garbage = fetch(UrlRequest(server.url(QStringLiteral("/garbage")), 5.0));
    EXPECT_EQ(errorCode(*garbage), UrlErrorCode::BadServerResponse);

    // Nothing listens on a port that was just closed.
    const QString closedUrl = server.url(QStringLiteral("/"));
    server.stop();
    auto refused = fetch(UrlRequest(closedUrl, 5.0));
    EXPECT_EQ(errorCode(*refused), UrlErrorCode::CannotConnectToHost);
}

TEST_F(UrlSessionTest, BadAndUnsupportedUrlsCompleteWithoutATransfer)
{
    auto empty = fetch(UrlRequest(QString(), 5.0));
    EXPECT_EQ(errorCode(*empty), UrlErrorCode::BadUrl);
    auto ftp = fetch(UrlRequest(QStringLiteral("ftp://127.0.0.1/file"), 5.0));
    EXPECT_EQ(errorCode(*ftp), UrlErrorCode::UnsupportedUrl);
    auto mail = fetch(UrlRequest(QStringLiteral("mailto:someone@127.0.0.1"), 5.0));
    EXPECT_EQ(errorCode(*mail), UrlErrorCode::UnsupportedUrl);
}

TEST_F(UrlSessionTest, ResponsesWithoutBodyCompleteAfterTheDecision)
{
    // The transfer is over before the decision comes back; the result waits for it.
    UrlRequest head = request(QStringLiteral("/ok"));
    head.httpMethod = "HEAD";
    auto allowed = fetch(head);
    EXPECT_FALSE(errorCode(*allowed));
    ASSERT_TRUE(allowed->response);
    EXPECT_EQ(allowed->response->statusCode, 200);
    EXPECT_TRUE(allowed->data.isEmpty());

    Options cancel;
    cancel.disposition = ResponseDisposition::Cancel;
    auto cancelled = fetch(head, cancel);
    EXPECT_EQ(errorCode(*cancelled), UrlErrorCode::Cancelled);
}
