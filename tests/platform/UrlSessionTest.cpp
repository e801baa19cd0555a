// URL sessions against in-process servers on 127.0.0.1: statuses, headers and the request as
// sent, redirects decided by the delegate, the head decision and Basic challenges.
#include "UrlSessionTestSupport.h"

using namespace crawlmere::test::sessions;

// --- Statuses, headers and the request as sent ------------------------------------------------

TEST_F(UrlSessionTest, StatusCodesReasonsAndHeaderFields)
{
    auto ok = fetch(request(QStringLiteral("/ok")));
    ASSERT_TRUE(ok->response);
    EXPECT_FALSE(errorCode(*ok));
    EXPECT_EQ(ok->response->statusCode, 200);
    EXPECT_TRUE(ok->response->isHttp);
    EXPECT_EQ(ok->response->reasonPhrase, QStringLiteral("OK"));
    EXPECT_EQ(ok->response->url, m_server.url(QStringLiteral("/ok")));
    EXPECT_EQ(ok->response->mimeType, QStringLiteral("text/html"));
    EXPECT_EQ(ok->response->textEncodingName, QStringLiteral("iso-8859-1"));
    EXPECT_EQ(ok->response->allHeaderFields.values("set-COOKIE").size(), 2);
    EXPECT_EQ(ok->response->allHeaderFields.value("x-custom"), QByteArray("yes"));
    // The server may compress; the expected length is the one it declared, the data is decoded.
    EXPECT_EQ(ok->response->expectedContentLength, ok->response->allHeaderFields.value("Content-Length").toLongLong());
    EXPECT_GT(ok->response->expectedContentLength, 0);
    EXPECT_EQ(ok->data, QByteArray("<p>caf\xe9</p>"));
    EXPECT_EQ(ok->result->bodyBytes, 11);
    EXPECT_EQ(ok->events.front(), QStringLiteral("response 200"));
    EXPECT_EQ(ok->events.back(), QStringLiteral("complete"));

    auto missing = fetch(request(QStringLiteral("/missing")));
    ASSERT_TRUE(missing->response);
    EXPECT_EQ(missing->response->statusCode, 404);
    EXPECT_EQ(missing->response->reasonPhrase, QStringLiteral("Not Found"));
    EXPECT_EQ(missing->data, QByteArray("gone"));
    EXPECT_FALSE(errorCode(*missing)); // an HTTP error status is a response, not a failure

    auto boom = fetch(request(QStringLiteral("/boom")));
    ASSERT_TRUE(boom->response);
    EXPECT_EQ(boom->response->statusCode, 500);
    EXPECT_EQ(boom->data, QByteArray("broken"));
}

TEST_F(UrlSessionTest, RequestGoesOutWithItsMethodHeadersAndBodyButNoHandMadeHostOrLength)
{
    UrlRequest post = request(QStringLiteral("/echo"));
    post.httpMethod = "POST";
    post.httpBody = "token=a%2Bb%3D&x=1";
    post.userAgent = QStringLiteral("CrawlmereTest/1.0");
    post.setValue("evil.invalid", "Host");
    post.setValue("999", "Content-Length");
    post.setValue("checked", "X-Test");
    post.setValue("application/x-www-form-urlencoded", "Content-Type");
    Options options;
    options.collectInResult = true;
    auto rec = fetch(post, options);
    ASSERT_TRUE(rec->result);
    const QByteArray echo = rec->result->body;
    EXPECT_TRUE(echo.contains("method=POST\n")) << text(echo);
    EXPECT_TRUE(echo.contains("host=127.0.0.1:" + QByteArray::number(m_server.port()) + "\n")) << text(echo);
    EXPECT_TRUE(echo.contains("length=18\n")) << text(echo);
    EXPECT_TRUE(echo.contains("agent=CrawlmereTest/1.0\n")) << text(echo);
    EXPECT_TRUE(echo.contains("test=checked\n")) << text(echo);
    EXPECT_TRUE(echo.contains("body=token=a%2Bb%3D&x=1")) << text(echo);
}

// --- Redirects --------------------------------------------------------------------------------

TEST_F(UrlSessionTest, RedirectChainIsOfferedHopByHopAndFollowed)
{
    auto rec = fetch(request(QStringLiteral("/r1")));
    ASSERT_EQ(rec->redirects.size(), 2u);
    EXPECT_EQ(rec->redirects[0].first, 301);
    EXPECT_EQ(rec->redirects[0].second, m_server.url(QStringLiteral("/r2")));
    EXPECT_EQ(rec->redirects[1].first, 302);
    EXPECT_EQ(rec->redirects[1].second, m_server.url(QStringLiteral("/final?from=r2"))); // relative, resolved
    ASSERT_TRUE(rec->response);
    EXPECT_EQ(rec->response->statusCode, 200);
    EXPECT_EQ(rec->response->url, m_server.url(QStringLiteral("/final?from=r2")));
    EXPECT_EQ(rec->data, QByteArray("arrived r2"));
    EXPECT_EQ(rec->result->redirectCount, 2);
    EXPECT_FALSE(errorCode(*rec));
}

TEST_F(UrlSessionTest, PostBecomesGetOn302And303AndStaysPostOn307)
{
    for (const char* path : { "/see-other", "/found" }) {
        UrlRequest post = request(QString::fromLatin1(path));
        post.httpMethod = "POST";
        post.httpBody = "a=1";
        post.setValue("application/x-www-form-urlencoded", "Content-Type");
        auto rec = fetch(post);
        EXPECT_TRUE(rec->data.contains("method=GET\n")) << path << text(rec->data);
        EXPECT_TRUE(rec->data.endsWith("body=")) << path << text(rec->data);
        EXPECT_TRUE(rec->data.contains("type=\n")) << path << text(rec->data);
    }
    UrlRequest post = request(QStringLiteral("/temporary"));
    post.httpMethod = "POST";
    post.httpBody = "a=1";
    auto rec = fetch(post);
    ASSERT_EQ(rec->redirects.size(), 1u);
    EXPECT_EQ(rec->redirects[0].first, 307);
    EXPECT_TRUE(rec->data.contains("method=POST\n")) << text(rec->data);
    EXPECT_TRUE(rec->data.endsWith("body=a=1")) << text(rec->data);
}

TEST_F(UrlSessionTest, TheDelegateMayChangeTheFollowedRequest)
{
    Options options;
    options.redirect = [](const UrlResponse&, UrlRequest next) {
        next.setValue("added-on-redirect", "X-Test");
        next.url.replace(QStringLiteral("/r2"), QStringLiteral("/echo"));
        return RedirectDecision::follow(next);
    };
    auto rec = fetch(request(QStringLiteral("/r1")), options);
    EXPECT_TRUE(rec->data.contains("test=added-on-redirect\n")) << text(rec->data);
}

TEST_F(UrlSessionTest, ARefusedRedirectIsTheResponseAndACancelledOneEndsCancelled)
{
    Options refuse;
    refuse.redirect = [](const UrlResponse&, UrlRequest) { return RedirectDecision::refuse(); };
    auto refused = fetch(request(QStringLiteral("/nowhere")), refuse);
    ASSERT_TRUE(refused->response);
    EXPECT_EQ(refused->response->statusCode, 302);
    EXPECT_EQ(refused->data, QByteArray("redirect body"));
    EXPECT_FALSE(errorCode(*refused));

    Options cancel;
    cancel.redirect = [](const UrlResponse&, UrlRequest) { return RedirectDecision::cancel(); };
    auto cancelled = fetch(request(QStringLiteral("/r1")), cancel);
    EXPECT_EQ(errorCode(*cancelled), UrlErrorCode::Cancelled);
    EXPECT_FALSE(cancelled->response);
    EXPECT_TRUE(cancelled->data.isEmpty());
    EXPECT_EQ(cancelled->completions.load(), 1);
}

TEST_F(UrlSessionTest, AnEmptyLocationIsOfferedAsARedirectToNothing)
{
    Options options;
    options.redirect = [](const UrlResponse&, UrlRequest next) {
        return next.url.isEmpty() ? RedirectDecision::cancel() : RedirectDecision::follow(next);
    };
    auto rec = fetch(request(QStringLiteral("/nowhere")), options);
    ASSERT_EQ(rec->redirects.size(), 1u);
    EXPECT_TRUE(rec->redirects[0].second.isEmpty());
    EXPECT_EQ(errorCode(*rec), UrlErrorCode::Cancelled);

    // Followed anyway, the empty URL ends the task instead of requesting something.
    auto followed = fetch(request(QStringLiteral("/nowhere")));
    EXPECT_EQ(errorCode(*followed), UrlErrorCode::BadUrl);
}

TEST_F(UrlSessionTest, RedirectCapEndsALoopAndNetworkToFileRedirectsAreRefused)
{
    UrlRequest looping = request(QStringLiteral("/loop"));
    looping.maxRedirects = 3;
    auto rec = fetch(looping);
    EXPECT_EQ(rec->redirects.size(), 3u);
    EXPECT_EQ(errorCode(*rec), UrlErrorCode::TooManyRedirects);
    EXPECT_EQ(rec->result->redirectCount, 3);

    auto toFile = fetch(request(QStringLiteral("/to-file")));
    ASSERT_EQ(toFile->redirects.size(), 1u);
    EXPECT_EQ(toFile->redirects[0].second, QStringLiteral("file:///etc/hostname"));
    EXPECT_EQ(errorCode(*toFile), UrlErrorCode::UnsupportedUrl);
    EXPECT_TRUE(toFile->data.isEmpty());
}

// --- The decision after the head ---------------------------------------------------------------

TEST_F(UrlSessionTest, CancellingAtTheHeadStopsBeforeAnyBodyByte)
{
    Options options;
    options.disposition = ResponseDisposition::Cancel;
    auto rec = fetch(request(QStringLiteral("/big")), options);
    ASSERT_TRUE(rec->response);
    EXPECT_EQ(rec->response->statusCode, 200);
    EXPECT_EQ(rec->response->expectedContentLength, 1024 * 1024);
    EXPECT_EQ(errorCode(*rec), UrlErrorCode::Cancelled);
    EXPECT_TRUE(rec->data.isEmpty());
    EXPECT_EQ(rec->result->bodyBytes, 0);
    EXPECT_EQ(rec->completions.load(), 1);
}

// --- Authentication ----------------------------------------------------------------------------

TEST_F(UrlSessionTest, BasicChallengeAnsweredOnceWithTheDelegatesCredential)
{
    Options options;
    options.challenge = [](const AuthenticationChallenge&) { return UrlCredential { "user", "pass" }; };
    auto rec = fetch(request(QStringLiteral("/secret")), options);
    ASSERT_EQ(rec->challenges.size(), 1u);
    EXPECT_EQ(rec->challenges[0].realm, QStringLiteral("Members Only"));
    EXPECT_EQ(rec->challenges[0].host, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(rec->challenges[0].failureResponse.statusCode, 401);
    ASSERT_TRUE(rec->response);
    EXPECT_EQ(rec->response->statusCode, 200);
    EXPECT_EQ(rec->data, QByteArray("welcome"));
    EXPECT_EQ(m_secretHits.load(), 2); // no credential sent before the challenge
}

TEST_F(UrlSessionTest, BasicChallengeWithoutCredentialEndsAsUnanswered)
{
    auto rec = fetch(request(QStringLiteral("/secret")));
    EXPECT_EQ(rec->challenges.size(), 1u);
    EXPECT_EQ(errorCode(*rec), UrlErrorCode::AuthenticationRequired);
    EXPECT_FALSE(rec->response); // the 401 never went to didReceiveResponse
    ASSERT_TRUE(rec->result->response);
    EXPECT_EQ(rec->result->response->statusCode, 401);
    EXPECT_TRUE(rec->data.isEmpty());
}

TEST_F(UrlSessionTest, AWrongCredentialIsTriedOnceThenThe401IsTheResponse)
{
    Options options;
    options.challenge = [](const AuthenticationChallenge&) { return UrlCredential { "user", "wrong" }; };
    auto rec = fetch(request(QStringLiteral("/secret")), options);
    EXPECT_EQ(rec->challenges.size(), 1u);
    ASSERT_TRUE(rec->response);
    EXPECT_EQ(rec->response->statusCode, 401);
    EXPECT_EQ(rec->data, QByteArray("denied"));
    EXPECT_FALSE(errorCode(*rec));
    EXPECT_EQ(m_secretHits.load(), 2);

    auto bearer = fetch(request(QStringLiteral("/bearer")), options);
    EXPECT_TRUE(bearer->challenges.empty()); // only Basic is offered as a challenge
    ASSERT_TRUE(bearer->response);
    EXPECT_EQ(bearer->response->statusCode, 401);
}
