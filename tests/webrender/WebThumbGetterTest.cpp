// Site thumbnails on the browser engine against loopback pages, made by the thumbnail program
// on the offscreen platform (ctest also runs this suite on a virtual display, where the program must
// draw the same without a window on the display).
#include "webrender/WebThumbGetter.h"

#include "engine/CrwlUrl.h"
#include "platform/Paths.h"
#include "platform/UserDefaults.h"
#include "settings/ConfigManager.h"
#include "support/LoopbackServer.h"
#include "support/SelfSignedCertificate.h"
#include "support/RawSocketServer.h"
#include "webrender/WebRenderSetup.h"
#include "webrender/WebThumbGetterFactory.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

using crawlmere::platform::Paths;
using crawlmere::platform::UserDefaults;
using crawlmere::settings::ConfigManager;
using crawlmere::settings::ThumbGetter;
using crawlmere::webrender::WebThumbGetter;

namespace {

const char* const kBlockPage = R"(<html><body style="margin:0;background:#ffffff">
<div style="position:absolute;left:0;top:0;width:1024px;height:350px;background:#1060c0"></div>
</body></html>)";

class WebThumbGetterTest : public testing::Test {
protected:
    void SetUp() override
    {
        server.server().Get("/", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(kBlockPage, "text/html");
        });
        ASSERT_TRUE(server.start());
        crawlmere::webrender::installPageRenderer();
        WebThumbGetter::setProgram(QStringLiteral(CRAWLMERE_THUMBNAIL_PROGRAM));
        QDir(Paths::applicationSupportFolder() + QStringLiteral("/thumbs")).removeRecursively();
    }

    crawlmere::test::LoopbackServer server;
    QTemporaryDir folder;
};

QString fileType(const QString& path)
{
    QProcess file;
    file.start(QStringLiteral("file"), { QStringLiteral("-b"), path });
    file.waitForFinished(10000);
    return QString::fromUtf8(file.readAllStandardOutput());
}

TEST_F(WebThumbGetterTest, SelectingASiteWritesItsThumbnailAndTheRowShowsIt)
{
    UserDefaults defaults(folder.filePath(QStringLiteral("defaults.plist")));
    ConfigManager manager(defaults);
    manager.setThumbGetterFactory(std::make_shared<crawlmere::webrender::WebThumbGetterFactory>());
    manager.applicationHasFinishedLaunching();
    manager.newConfigWithURL(server.url());
    const QString siteID = manager.getIDForCurrentSite();
    const auto rowImage = [&] {
        for (const auto& item : manager.rows()) {
            if (item.ID == siteID)
                return item.image;
        }
        return QImage();
    };
    ASSERT_TRUE(rowImage().isNull());

    manager.tableViewSelectionDidChange(manager.selectedRow());
    ASSERT_EQ(manager.thumbGetterCount(), 1U);
    const QString path = Paths::applicationSupportFolder() + QStringLiteral("/thumbs/") + siteID;
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(path); }, 40000));
    // The row takes the picture when the program has ended, which a loaded machine may delay.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rowImage().isNull(); }, 20000));

    EXPECT_TRUE(fileType(path).startsWith(u"TIFF")) << fileType(path).toStdString();
    QImageReader reader(path);
    const QImage stored = reader.read();
    ASSERT_EQ(stored.size(), WebThumbGetter::kThumbSize);
    const QColor block = stored.pixelColor(196, 40);
    EXPECT_NEAR(block.red(), 0x10, 12);
    EXPECT_NEAR(block.green(), 0x60, 12);
    EXPECT_NEAR(block.blue(), 0xc0, 12);
    EXPECT_EQ(stored.pixelColor(196, 220), QColor(Qt::white));
    const QImage shown = rowImage();
    EXPECT_EQ(shown.size(), ConfigManager::kThumbDisplaySize);
    EXPECT_NEAR(shown.pixelColor(98, 20).blue(), 0xc0, 12);
}

TEST_F(WebThumbGetterTest, AnIdThatClimbsOutOfTheFolderIsWrittenUnderItsHash)
{
    const QString siteID = QStringLiteral("../../.config/autostart/x.desktop");
    const QString thumbs = Paths::applicationSupportSubfolder(QStringLiteral("thumbs"));
    const QString path = ConfigManager::thumbPathForSiteID(siteID);
    ASSERT_EQ(QFileInfo(path).absolutePath(), thumbs);
    ASSERT_EQ(ConfigManager::thumbFileName(siteID).size(), 64);

    bool called = false;
    WebThumbGetter getter(server.url(), path, [&](ThumbGetter&) { called = true; });
    getter.getImage();
    ASSERT_TRUE(QTest::qWaitFor([&] { return called; }, 40000));
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_EQ(QDir(thumbs).entryList(QDir::Files), QStringList { ConfigManager::thumbFileName(siteID) });
    EXPECT_FALSE(
        QFile::exists(Paths::applicationSupportFolder() + QStringLiteral("/../../.config/autostart/x.desktop")));
}

TEST_F(WebThumbGetterTest, APageThatNeverAnswersLeavesNoFileAndNoCallbackAndIsReleased)
{
    crawlmere::test::RawSocketServer silent(crawlmere::test::silentHandler(std::chrono::seconds(20)));
    ASSERT_TRUE(silent.start());
    const QString path = folder.filePath(QStringLiteral("never"));
    int calls = 0;
    WebThumbGetter getter(
        silent.url(), path, [&](ThumbGetter&) { ++calls; }, std::chrono::milliseconds(2000));
    getter.getImage();
    ASSERT_NE(getter.process(), nullptr);
    const QPointer<QProcess> program = getter.process();
    // The program is gone, and with it the only way to a callback.
    ASSERT_TRUE(QTest::qWaitFor([&] { return program.isNull(); }, 10000));
    EXPECT_TRUE(getter.isFinished());
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(QFile::exists(path));
    silent.stop();
}

TEST_F(WebThumbGetterTest, APageThatFailsToLoadEndsTheProgramAtOnce)
{
    // Nothing listens on port 1 of the loopback address: the load fails at once, and so does
    // the program, long before its own give-up.
    QProcess program;
    program.start(QStringLiteral(CRAWLMERE_THUMBNAIL_PROGRAM),
        { QStringLiteral("http://127.0.0.1:1/"), folder.filePath(QStringLiteral("refused")) });
    ASSERT_TRUE(program.waitForStarted());
    const bool ended = program.waitForFinished(30000);
    if (!ended)
        program.kill();
    ASSERT_TRUE(ended);
    EXPECT_EQ(program.exitCode(), 3);
    EXPECT_FALSE(QFile::exists(folder.filePath(QStringLiteral("refused"))));
}

TEST_F(WebThumbGetterTest, ACertificateTheEngineRejectsEndsTheThumbnailAtOnce)
{
    const auto made = crawlmere::test::makeSelfSignedCertificate(folder.path());
    if (!made)
        GTEST_SKIP() << "no openssl tool to make a certificate";
    const QString cert = made->certificate;
    const QString key = made->key;
    httplib::SSLServer tls(cert.toUtf8().constData(), key.toUtf8().constData());
    ASSERT_TRUE(tls.is_valid());
    tls.Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(kBlockPage, "text/html");
    });
    const int port = tls.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);
    std::thread serving([&] { tls.listen_after_bind(); });

    // Far longer than the program needs to start and be refused: what ends it is the refusal.
    const QString path = folder.filePath(QStringLiteral("refused"));
    int calls = 0;
    WebThumbGetter getter(
        QStringLiteral("https://127.0.0.1:%1/").arg(port), path, [&](ThumbGetter&) { ++calls; },
        std::chrono::milliseconds(45000));
    getter.getImage();
    ASSERT_NE(getter.process(), nullptr);
    const bool ended = QTest::qWaitFor([&] { return getter.isFinished(); }, 25000);
    tls.stop();
    crawlmere::test::shutDownConnectionsAcceptedOn(port);
    serving.join();
    ASSERT_TRUE(ended);
    EXPECT_EQ(getter.process(), nullptr);
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(QFile::exists(path));
}

} // namespace

TEST(WebThumbGetterPrograms, GettersStartedTogetherRunOneProgramAtATimeAndEachDelivers)
{
    QTemporaryDir folder;
    // A stand-in for the thumbnail program: it takes a while, then writes its file.
    const QString program = folder.filePath(QStringLiteral("thumbnail.sh"));
    QFile script(program);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nsleep 0.2\nprintf made > \"$2\"\n");
    script.close();
    ASSERT_TRUE(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    WebThumbGetter::setProgram(program);

    int delivered = 0;
    std::vector<std::unique_ptr<WebThumbGetter>> getters;
    const auto start = [&](int site) {
        getters.push_back(std::make_unique<WebThumbGetter>(QStringLiteral("http://127.0.0.1:1/%1").arg(site),
            folder.filePath(QString::number(site)), [&](ThumbGetter&) { ++delivered; }));
        getters.back()->getImage();
    };
    for (int site = 0; site < 5; ++site)
        start(site);
    // One dropped, and one stopped, while they wait for their turn never run.
    start(5);
    getters.pop_back();
    start(6);
    getters.back()->stopLoading();
    EXPECT_TRUE(getters.back()->isFinished());
    EXPECT_FALSE(getters.front()->isWaiting());
    EXPECT_TRUE(getters.at(1)->isWaiting());

    std::size_t mostRunning = 0;
    const bool allDelivered = QTest::qWaitFor(
        [&] {
            const auto runningNow = std::count_if(
                getters.begin(), getters.end(), [](const auto& getter) { return getter->process() != nullptr; });
            mostRunning = std::max(mostRunning, std::size_t(runningNow));
            return delivered == 5;
        },
        30000);
    WebThumbGetter::setProgram(QStringLiteral(CRAWLMERE_THUMBNAIL_PROGRAM));
    ASSERT_TRUE(allDelivered);
    EXPECT_EQ(mostRunning, std::size_t(WebThumbGetter::kMostRunning));
    for (int site = 0; site < 7; ++site)
        EXPECT_EQ(QFile::exists(folder.filePath(QString::number(site))), site < 5) << site;
}

TEST(WebThumbGetterUrl, StartingUrlsAreNormalisedBeforeLoading)
{
    const std::pair<QString, QString> cases[] = {
        { QStringLiteral("a.com"), QStringLiteral("http://a.com") },
        { QStringLiteral("https://a.example/x"), QStringLiteral("https://a.example/x") },
        { QStringLiteral("ab.co.u"), QStringLiteral("http://ab.co.u") },
        { QStringLiteral("/home/me/My Site/a.html"), QStringLiteral("file:///home/me/My%20Site/a.html") },
        { QStringLiteral("/srv/a&amp;b c.html"), QStringLiteral("file:///srv/a&b%20c.html") },
        { QStringLiteral("www.example.org/page"), QStringLiteral("http://www.example.org/page") },
    };
    for (const auto& [given, loaded] : cases)
        EXPECT_EQ(WebThumbGetter::normalisedUrl(given), loaded) << given.toStdString();
    EXPECT_EQ(WebThumbGetter::normalisedUrl(QStringLiteral("~/My Site/a.html")),
        QStringLiteral("file://") + Paths::home() + QStringLiteral("/My%20Site/a.html"));
}
