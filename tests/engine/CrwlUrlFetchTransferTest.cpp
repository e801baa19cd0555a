// A URL record's transfer: stalls and drops, caps, time-outs, decoding and image sizes, file
// URLs, an unlinked fetch, and the answers that are a challenge page.
#include "engine/CrawlSettingKeys.h"
#include "engine/CrwlUrlFetchTestSupport.h"

using namespace crawlmere::test::fetching;

TEST_F(CrwlUrlFetchTest, StalledServerTimesOutAndDroppedConnectionsFail)
{
    RawSocketServer stalling(silentHandler(std::chrono::seconds(20)));
    ASSERT_TRUE(stalling.start());
    const auto stalled = makeRecord(stalling.url(QStringLiteral("/slow")), { { crawlKey::timeout, 1 } });
    fetch(stalled);
    EXPECT_EQ(stalled->getStatus(), -14);
    EXPECT_FALSE(stalled->descriptionForStatusCode(-14).isEmpty());
    EXPECT_NE(stalled->descriptionForStatusCode(-14), QStringLiteral("Completed with error"));
    stalling.stop();

    RawSocketServer dropping([](RawConnection& connection) {
        connection.readRequest();
        connection.close();
    });
    ASSERT_TRUE(dropping.start());
    const auto dropped = makeRecord(dropping.url(QStringLiteral("/drop")));
    fetch(dropped, 2);
    EXPECT_EQ(dropped->getStatus(), -14);

    // A connection that drops after a 200 head keeps the 200; the cut body is not read.
    RawSocketServer cutting([](RawConnection& connection) {
        connection.readRequest();
        connection.send("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 1000\r\n\r\n<html><body>");
        connection.close();
    });
    ASSERT_TRUE(cutting.start());
    const auto cut = makeRecord(cutting.url(QStringLiteral("/cut")));
    fetch(cut, 3);
    EXPECT_EQ(cut->getStatus(), 200);
    EXPECT_TRUE(cut->getData().isNull()); // what came before the drop is no page
    EXPECT_EQ(owner->count(QStringLiteral("extractLinks")), 0);
    EXPECT_EQ(owner->count(QStringLiteral("incNumberDone")), 3);
}

TEST_F(CrwlUrlFetchTest, ABodyThatCannotBeDecodedIsAnErrorNotAnEmptyPage)
{
    const QByteArray page = kPage.toUtf8();
    const std::map<std::string, std::pair<std::string, QByteArray>> answers {
        { "/plain-as-gzip", { "gzip", page } },
        { "/zstd-twice", { "zstd, zstd", crawlmere::test::zstdRepeating('x', 5000) } },
        { "/broken-gzip", { "gzip", QByteArray("\x1f\x8b\x08\x00garbage after a gzip head", 29) } },
    };
    for (const auto& [path, answer] : answers) {
        server.server().Get(path, [answer](const httplib::Request&, httplib::Response& response) {
            response.set_header("Content-Encoding", answer.first);
            response.set_content(answer.second.toStdString(), "text/html");
        });
    }
    int finishes = 0;
    for (const auto& [path, answer] : answers) {
        SCOPED_TRACE(path);
        const auto record = makeRecord(server.url(QString::fromStdString(path)));
        fetch(record, ++finishes);
        EXPECT_EQ(record->getStatus(), -14);
        EXPECT_EQ(record->descriptionForStatusCode(-14), QStringLiteral("The response body could not be decoded."));
        EXPECT_TRUE(record->getData().isNull());
    }
    EXPECT_EQ(owner->count(QStringLiteral("extractLinks")), 0);
}

TEST_F(CrwlUrlFetchTest, BodyOverTheCapSaysSoAndIsNotExtracted)
{
    // 100 KB of zeros in a few hundred bytes of gzip: decoded, it passes the cap.
    server.server().Get("/bomb", [](const httplib::Request&, httplib::Response& response) {
        response.set_header("Content-Encoding", "gzip");
        response.set_content(qCompressGzip(QByteArray(100000, '\0')).toStdString(), "text/html");
    });
    CrwlUrl::setMaxBodyBytes(1000);
    const auto record = makeRecord(server.url(QStringLiteral("/big")));
    fetch(record);
    const auto bomb = makeRecord(server.url(QStringLiteral("/bomb")));
    fetch(bomb, 2);
    CrwlUrl::setMaxBodyBytes(0);
    for (const auto& oversized : { record, bomb }) {
        EXPECT_EQ(oversized->getStatus(), -14);
        EXPECT_EQ(oversized->descriptionForStatusCode(-14),
            QStringLiteral("The body is larger than 1000 bytes; it was not read."));
        // What was read up to the cap is let go once the status is set.
        EXPECT_TRUE(oversized->getData().isNull());
        EXPECT_TRUE(oversized->getSourceData().isNull());
    }
    EXPECT_EQ(owner->count(QStringLiteral("incNumberDone")), 2);
    EXPECT_EQ(owner->count(QStringLiteral("extractLinks")), 0);

    // A zstd body decoded past the cap as shipped from one read (65 MiB in a frame of 2 KB)
    // says so as plainly.
    server.server().Get("/zstd", [](const httplib::Request&, httplib::Response& response) {
        response.set_header("Content-Encoding", "zstd");
        response.set_content(crawlmere::test::zstdRepeating('x', 65 * 1024 * 1024).toStdString(), "text/html");
    });
    const auto zstd = makeRecord(server.url(QStringLiteral("/zstd")));
    fetch(zstd, 3);
    EXPECT_EQ(zstd->getStatus(), -14);
    EXPECT_EQ(zstd->descriptionForStatusCode(-14),
        QStringLiteral("The body is larger than %1 bytes; it was not read.").arg(CrwlUrl::maxBodyBytes()));
    EXPECT_EQ(owner->count(QStringLiteral("extractLinks")), 0);
}

TEST_F(CrwlUrlFetchTest, EndlessTimeOutsAreClampedNotExpiredAtOnce)
{
    for (const QVariant& timeout :
        { QVariant(std::numeric_limits<double>::infinity()), QVariant(1e300), QVariant(QStringLiteral("1e300")) }) {
        const auto record = makeRecord(server.url(QStringLiteral("/ok")), { { crawlKey::timeout, timeout } });
        EXPECT_DOUBLE_EQ(record->makeServerRequest().timeoutInterval, crawlmere::engine::kLongestTimeoutSeconds)
            << timeout.toString().toStdString();
    }
    const auto endless = makeRecord(
        server.url(QStringLiteral("/ok")), { { crawlKey::timeout, std::numeric_limits<double>::infinity() } });
    fetch(endless);
    EXPECT_EQ(endless->getStatus(), 200);
    EXPECT_EQ(owner->count(QStringLiteral("extractLinks")), 1);
    for (const QVariant& timeout :
        { QVariant(0.0), QVariant(-5), QVariant(std::numeric_limits<double>::quiet_NaN()) }) {
        const auto record = makeRecord(server.url(QStringLiteral("/ok")), { { crawlKey::timeout, timeout } });
        EXPECT_DOUBLE_EQ(record->makeServerRequest().timeoutInterval, 30.0) << timeout.toString().toStdString();
    }
}

TEST_F(CrwlUrlFetchTest, GzipBodyArrivesDecoded)
{
    const auto record = makeRecord(server.url(QStringLiteral("/gzip")));
    fetch(record);
    const QByteArray expected = readFixture(QStringLiteral("fetch/gzip-page.html"));
    ASSERT_EQ(owner->extractedBodies.size(), 1u);
    EXPECT_EQ(owner->extractedBodies.front(), expected);
    EXPECT_EQ(record->getFilesizeinbytes(), expected.size());
}

TEST_F(CrwlUrlFetchTest, LoadedImagesShowTheSizeOfTheirBody)
{
    // Unloaded, the size is the answer's Content-Length, marked as such; loaded, the body's.
    int fetches = 0;
    const auto sizeShown = [&](const QVariantMap& values) {
        const auto record = makeRecord(server.url(QStringLiteral("/photo.png")), values);
        fetch(record, ++fetches);
        EXPECT_EQ(record->getStatus(), 200);
        return record->getFileSize();
    };
    EXPECT_EQ(sizeShown({}), QStringLiteral("?4kb"));
    EXPECT_EQ(sizeShown({ { crawlKey::loadImages, true } }), QStringLiteral("4kb"));
    EXPECT_EQ(
        sizeShown({ { crawlKey::loadImages, false }, { crawlKey::shouldLoadImages, true } }), QStringLiteral("?4kb"));
}

TEST_F(CrwlUrlFetchTest, FileUrlsExistingMissingAndFolders)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QFile page(folder.filePath(QStringLiteral("index.html")));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write(kPage.toUtf8());
    page.close();

    const auto existing = makeRecord(QStringLiteral("file://") + folder.filePath(QStringLiteral("index.html")));
    fetch(existing);
    EXPECT_EQ(existing->getStatus(), -15);
    EXPECT_TRUE(existing->isHTML());
    ASSERT_EQ(owner->extractedBodies.size(), 1u);
    EXPECT_EQ(owner->extractedBodies.front(), kPage.toUtf8());

    const auto missing = makeRecord(QStringLiteral("file://") + folder.filePath(QStringLiteral("absent.html")));
    fetch(missing, 2);
    EXPECT_EQ(missing->getStatus(), -8);
    EXPECT_EQ(missing->descriptionForStatusCode(-8), QStringLiteral("File doesn't exist"));

    // Devices and FIFOs are never opened (a FIFO without a writer would hold the fetch for
    // ever); a file over the cap is not read.
    const QString fifo = folder.filePath(QStringLiteral("pipe.html"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QFile large(folder.filePath(QStringLiteral("large.html")));
    ASSERT_TRUE(large.open(QIODevice::WriteOnly));
    ASSERT_TRUE(large.resize(5000));
    large.close();
    const auto pipe = makeRecord(QStringLiteral("file://") + fifo);
    fetch(pipe, 3);
    const auto zero = makeRecord(QStringLiteral("file:///dev/zero"));
    fetch(zero, 4);
    CrwlUrl::setMaxBodyBytes(1000);
    const auto oversized = makeRecord(QStringLiteral("file://") + large.fileName());
    fetch(oversized, 5);
    CrwlUrl::setMaxBodyBytes(0);
    for (const auto& special : { pipe, zero }) {
        EXPECT_EQ(special->getStatus(), -14);
        EXPECT_TRUE(special->descriptionForStatusCode(-14).contains(QStringLiteral("not a regular file")));
    }
    EXPECT_EQ(oversized->getStatus(), -14);
    EXPECT_EQ(oversized->descriptionForStatusCode(-14),
        QStringLiteral("The body is larger than 1000 bytes; it was not read."));
    EXPECT_EQ(owner->extractedBodies.size(), 1u);

    auto& defaults = UserDefaults::standard();
    defaults.setObject(QStringLiteral(" index.html\n"), crawlKey::defaultLocalFileName);
    const auto directory = makeRecord(QStringLiteral("file://") + folder.path() + QStringLiteral("/"));
    const QString requested = directory->makeServerRequest().url;
    defaults.removeObjectForKey(crawlKey::defaultLocalFileName);
    EXPECT_TRUE(requested.endsWith(QStringLiteral("/index.html"))) << requested.toStdString();
}

TEST_F(CrwlUrlFetchTest, UnlinkedFetchNeverReportsBack)
{
    RawSocketServer stalling(silentHandler(std::chrono::seconds(20)));
    ASSERT_TRUE(stalling.start());
    const auto record = makeRecord(stalling.url(QStringLiteral("/slow")), { { crawlKey::timeout, 1 } });
    ASSERT_TRUE(record->sendAsyncServerRequest());
    EXPECT_TRUE(record->hasCurrentSession());
    record->invalidateAndUnlinkSession();
    EXPECT_FALSE(record->hasCurrentSession());
    // Longer than the idle time-out: a live fetch would have ended by now.
    EXPECT_FALSE(owner->waitForFinished(1, std::chrono::milliseconds(2500)));
    EXPECT_TRUE(owner->names().isEmpty());
    EXPECT_EQ(record->getStatus(), -2);
}

TEST_F(CrwlUrlFetchTest, MetaRefreshTextHelpers)
{
    EXPECT_EQ(CrwlUrl::pullOutSecondsFromMetaRefreshURL(QStringLiteral(" 5 ; url=/next")), 5);
    EXPECT_EQ(CrwlUrl::pullOutSecondsFromMetaRefreshURL(QStringLiteral("5")), 0);
    EXPECT_EQ(
        CrwlUrl::pullOutURLFromMetaRefreshURL(QStringLiteral("0; URL='/next page'\n")), QStringLiteral("/next page"));
    EXPECT_EQ(CrwlUrl::pullOutURLFromMetaRefreshURL(QStringLiteral("url=\"/a\"")), QStringLiteral("/a"));
    EXPECT_FALSE(CrwlUrl::pullOutURLFromMetaRefreshURL(QStringLiteral("3; /next")));
    const auto resolved
        = CrwlUrl::makeNSURLFromString(QStringLiteral("../b c.html"), QStringLiteral("http://h.com/a/é/"));
    ASSERT_TRUE(resolved);
    EXPECT_EQ(resolved->absoluteString(), QStringLiteral("http://h.com/a/b%20c.html"));
}

TEST_F(CrwlUrlFetchTest, AShortAnswerNamingTheFirewallsResourceIsItsChallengePage)
{
    // The challenge page is tiny; a page that merely mentions the resource is an ordinary page.
    const QByteArray marker = "_Incapsula_Resource";
    const struct {
        qsizetype size;
        bool marked;
        qint64 status;
    } cases[] = {
        { marker.size(), true, CrwlStatus::blockedByFirewallService },
        { 249, true, CrwlStatus::blockedByFirewallService },
        { 250, true, 200 },
        { 249, false, 200 },
    };
    LoopbackServer firewall;
    firewall.server().Get("/challenge", [&](const httplib::Request& request, httplib::Response& response) {
        const auto& which = cases[std::stoi(request.get_param_value("case"))];
        QByteArray body = which.marked ? marker : QByteArray();
        body = body.leftJustified(which.size, ' ');
        response.set_content(body.toStdString(), "text/html");
    });
    ASSERT_TRUE(firewall.start());
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto record = makeRecord(firewall.url(QStringLiteral("/challenge?case=%1").arg(i)));
        fetch(record, int(i) + 1);
        EXPECT_EQ(record->getStatus(), cases[i].status) << cases[i].size << " bytes, marked " << cases[i].marked;
    }
}
