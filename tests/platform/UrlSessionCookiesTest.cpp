// URL sessions and what they keep and decode: proxies, cookies, gzip and brotli bodies, certificates
// and file URLs.
#include "UrlSessionTestSupport.h"

#include "support/SelfSignedCertificate.h"

using namespace crawlmere::test::sessions;

TEST_F(UrlSessionTest, RequestsGoThroughTheGivenHttpProxy)
{
    std::mutex mutex;
    QByteArray seen;
    RawSocketServer proxy([&](RawConnection& connection) {
        const QByteArray head = connection.readRequest();
        {
            std::lock_guard lock(mutex);
            seen = head;
        }
        connection.send("HTTP/1.1 200 OK\r\nContent-Length: 7\r\nConnection: close\r\n\r\nproxied");
        connection.close();
    });
    ASSERT_TRUE(proxy.start());
    // The target is never resolved: an HTTP proxy gets the whole URL in the request line.
    UrlRequest viaProxy(QStringLiteral("http://site.invalid/page?x=1"), 5.0);
    viaProxy.proxy = HttpProxy { QStringLiteral("127.0.0.1"), proxy.port() };
    auto rec = fetch(viaProxy);
    EXPECT_FALSE(errorCode(*rec));
    EXPECT_EQ(rec->data, QByteArray("proxied"));
    std::lock_guard lock(mutex);
    EXPECT_TRUE(seen.startsWith("GET http://site.invalid/page?x=1 HTTP/1.1\r\n")) << text(seen);
    EXPECT_TRUE(seen.contains("\r\nHost: site.invalid\r\n")) << text(seen);
}

// --- Cookies and content decoding ---------------------------------------------------------------

TEST_F(UrlSessionTest, CookiesGoWithTheNextRequestAndOutliveAReload)
{
    CookieStore::deleteAllCookies();
    fetch(request(QStringLiteral("/set-cookies")));
    auto echo = fetch(request(QStringLiteral("/echo")));
    EXPECT_TRUE(echo->data.contains("kept=yes")) << text(echo->data);
    EXPECT_TRUE(echo->data.contains("session=only")) << text(echo->data);

    // With the switch off the store is neither read nor written.
    UrlRequest noCookies = request(QStringLiteral("/echo"));
    noCookies.httpShouldHandleCookies = false;
    auto bare = fetch(noCookies);
    EXPECT_TRUE(bare->data.contains("cookie=\n")) << text(bare->data);
    UrlRequest privateSet = request(QStringLiteral("/set-private"));
    privateSet.httpShouldHandleCookies = false;
    fetch(privateSet);
    for (const HttpCookie& cookie : CookieStore::allCookies())
        EXPECT_NE(cookie.name, QStringLiteral("private"));

    ASSERT_TRUE(CookieStore::save());
    QFile file(CookieStore::storePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray saved = file.readAll();
    EXPECT_TRUE(saved.contains("kept\tyes"));
    EXPECT_FALSE(saved.contains("session")); // session cookies end with the run

    CookieStore::deleteAllCookies();
    auto cleared = fetch(request(QStringLiteral("/echo")));
    EXPECT_TRUE(cleared->data.contains("cookie=\n")) << text(cleared->data);

    ASSERT_TRUE(CookieStore::reload());
    auto reloaded = fetch(request(QStringLiteral("/echo")));
    EXPECT_TRUE(reloaded->data.contains("cookie=kept=yes\n")) << text(reloaded->data);

    // A cookie put in by hand (as a login window would) goes out too.
    HttpCookie login;
    login.domain = QStringLiteral("127.0.0.1");
    login.name = QStringLiteral("login");
    login.value = QStringLiteral("token");
    CookieStore::setCookie(login);
    auto withLogin = fetch(request(QStringLiteral("/echo")));
    EXPECT_TRUE(withLogin->data.contains("login=token")) << text(withLogin->data);
    CookieStore::deleteAllCookies();
}

TEST_F(UrlSessionTest, ACookieFloodKeepsTheStoreWithinItsLimitsAndTheLoginCookie)
{
    CookieStore::deleteAllCookies();
    HttpCookie login;
    login.domain = QStringLiteral("login.example");
    login.name = QStringLiteral("login");
    login.value = QStringLiteral("keep-me");
    login.expires = 4102444800; // 2100
    CookieStore::setCookie(login);
    ASSERT_TRUE(CookieStore::save());

    constexpr int kPages = 30; // 1,200 cookies of 1 KB from one host
    for (int page = 0; page < kPages; ++page)
        fetch(request(QStringLiteral("/flood/%1").arg(page)));
    ASSERT_TRUE(CookieStore::save());
    ASSERT_TRUE(CookieStore::reload()); // as the next start would

    QSet<QString> flood;
    bool loginKept = false;
    for (const HttpCookie& cookie : CookieStore::allCookies()) {
        if (cookie.domain == QStringLiteral("127.0.0.1"))
            flood.insert(cookie.name);
        loginKept = loginKept || (cookie.name == QStringLiteral("login") && cookie.value == QStringLiteral("keep-me"));
    }
    EXPECT_TRUE(loginKept);
    EXPECT_LE(flood.size(), detail::CookieJar::kMaxCookiesPerHost);
    EXPECT_GE(flood.size(), detail::CookieJar::kMaxCookiesPerHost * 5 / 6);
    // The host's oldest went first.
    EXPECT_TRUE(flood.contains(QStringLiteral("f%1c39").arg(kPages - 1)));
    EXPECT_FALSE(flood.contains(QStringLiteral("f0c0")));
    CookieStore::deleteAllCookies();
}

TEST_F(UrlSessionTest, GzipBodiesArriveDecoded)
{
    auto rec = fetch(request(QStringLiteral("/gzip")));
    EXPECT_FALSE(errorCode(*rec));
    EXPECT_EQ(rec->data, m_gzipPlain);
    ASSERT_TRUE(rec->response);
    EXPECT_LT(rec->response->expectedContentLength, m_gzipPlain.size()); // the encoded length

    UrlRequest asked = request(QStringLiteral("/echo"));
    asked.setValue("identity", "Accept-Encoding"); // replaced by what the transfer decodes
    auto echo = fetch(asked);
    EXPECT_TRUE(echo->data.contains("gzip")) << text(echo->data);
}

TEST_F(UrlSessionTest, ABodyPastTheCapEndsTheSameWayInEveryEncoding)
{
    // 80 MiB of one letter: as it is, in gzip (80 KB) and in brotli (a few hundred bytes, all
    // decoded from the first read, before the head's decision is in).
    const QByteArray plain(80 * 1024 * 1024, 'a');
    const std::map<std::string, QByteArray> bodies {
        { "identity", plain },
        { "gzip", gzip(plain) },
#ifdef CRAWLMERE_HAVE_BROTLI_ENCODER
        { "br", brotli(plain) },
#endif
    };
    LoopbackServer server;
    server.server().Get(R"(/large/(\w+))", [&bodies](const httplib::Request& req, httplib::Response& res) {
        const QByteArray& body = bodies.at(req.matches[1].str());
        if (req.matches[1].str() != "identity")
            res.set_header("Content-Encoding", req.matches[1].str());
        res.set_content(std::string(body.constData(), size_t(body.size())), "application/x-test");
    });
    ASSERT_TRUE(server.start());
    for (const auto& [encoding, body] : bodies) {
        SCOPED_TRACE(encoding);
        ASSERT_FALSE(body.isEmpty());
        UrlRequest large(server.url(QStringLiteral("/large/") + QString::fromStdString(encoding)), 30.0);
        ASSERT_EQ(large.maxBodyBytes, qint64(64) * 1024 * 1024);
        auto rec = fetch(large);
        EXPECT_EQ(errorCode(*rec), UrlErrorCode::BodyTooLarge);
        EXPECT_EQ(rec->data.size(), large.maxBodyBytes);
        EXPECT_EQ(rec->data.count('a'), large.maxBodyBytes);
    }
#ifndef CRAWLMERE_HAVE_BROTLI_ENCODER
    GTEST_SKIP() << "no brotli encoder to make the brotli body with";
#endif
}

TEST_F(UrlSessionTest, SelfSignedCertificatesAreAccepted)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const auto made = crawlmere::test::makeSelfSignedCertificate(folder.path(), QStringLiteral("not-this-host"));
    if (!made)
        GTEST_SKIP() << "no openssl tool to make a certificate";
    const QString cert = made->certificate;
    const QString key = made->key;

    httplib::SSLServer tls(cert.toUtf8().constData(), key.toUtf8().constData());
    ASSERT_TRUE(tls.is_valid());
    tls.Get("/secure", [](const httplib::Request&, httplib::Response& res) { res.set_content("over tls", "text/plain"); });
    const int port = tls.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);
    std::thread serving([&] { tls.listen_after_bind(); });
    // A certificate for another name, signed by nobody: still accepted.
    auto rec = fetch(UrlRequest(QStringLiteral("https://127.0.0.1:%1/secure").arg(port), 10.0));
    UrlSession::shutdown(); // close the connection so the server stops at once
    tls.stop();
    crawlmere::test::shutDownConnectionsAcceptedOn(port);
    serving.join();
    EXPECT_FALSE(errorCode(*rec)) << (rec->result && rec->result->error ? rec->result->error->localizedDescription.toStdString() : "");
    EXPECT_EQ(rec->data, QByteArray("over tls"));
}

// --- File URLs ----------------------------------------------------------------------------------

TEST_F(UrlSessionTest, FileUrlsAreServedInProcess)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("page one.html"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<html>local</html>");
    file.close();
    const QString url = QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);

    auto present = fetch(UrlRequest(url));
    EXPECT_FALSE(errorCode(*present));
    ASSERT_TRUE(present->response);
    EXPECT_FALSE(present->response->isHttp);
    EXPECT_EQ(present->response->statusCode, 0);
    EXPECT_EQ(present->response->mimeType, QStringLiteral("text/html"));
    EXPECT_EQ(present->response->expectedContentLength, 18);
    EXPECT_EQ(present->data, QByteArray("<html>local</html>"));

    auto missing = fetch(UrlRequest(QUrl::fromLocalFile(folder.filePath(QStringLiteral("none.html"))).toString()));
    EXPECT_EQ(errorCode(*missing), UrlErrorCode::FileDoesNotExist);
    EXPECT_FALSE(missing->response);

    auto directory = fetch(UrlRequest(QUrl::fromLocalFile(folder.path()).toString()));
    EXPECT_EQ(errorCode(*directory), UrlErrorCode::FileIsDirectory);

    Options refuse;
    refuse.disposition = ResponseDisposition::Cancel;
    auto declined = fetch(UrlRequest(url), refuse);
    EXPECT_EQ(errorCode(*declined), UrlErrorCode::Cancelled);
    EXPECT_TRUE(declined->data.isEmpty());

    UrlRequest small(url);
    small.maxBodyBytes = 6;
    auto capped = fetch(small);
    EXPECT_EQ(errorCode(*capped), UrlErrorCode::BodyTooLarge);
    EXPECT_EQ(capped->data, QByteArray("<html>"));

    const UrlLoadResult sync = UrlSession::loadSynchronously(UrlRequest(url), 5s);
    EXPECT_TRUE(sync.succeeded());
    EXPECT_EQ(sync.body, QByteArray("<html>local</html>"));
    const UrlLoadResult syncMissing
        = UrlSession::loadSynchronously(UrlRequest(QUrl::fromLocalFile(folder.filePath(QStringLiteral("x"))).toString()), 5s);
    ASSERT_TRUE(syncMissing.error);
    EXPECT_EQ(syncMissing.error->code, UrlErrorCode::FileDoesNotExist);
}
