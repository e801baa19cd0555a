// Site thumbnails on the browser engine against loopback pages. A grab on the offscreen
// platform may come out blank, so the test of the picture runs on a display only (ctest starts
// this suite once more under xvfb-run).
#include "webrender/WebThumbGetter.h"

#include "engine/CrwlUrl.h"
#include "platform/Paths.h"
#include "platform/UserDefaults.h"
#include "settings/ConfigManager.h"
#include "support/LoopbackServer.h"
#include "support/RawSocketServer.h"
#include "webrender/WebRenderSetup.h"
#include "webrender/WebThumbGetterFactory.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

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
    if (QGuiApplication::platformName() != u"xcb")
        GTEST_SKIP() << "needs a display; ctest runs this suite under xvfb-run";
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
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rowImage().isNull(); }, 1000));

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
    crawlmere::test::RawSocketServer silent([](crawlmere::test::RawConnection& connection) {
        connection.readRequest();
        connection.hold(std::chrono::seconds(20));
    });
    ASSERT_TRUE(silent.start());
    const QString path = folder.filePath(QStringLiteral("never"));
    int calls = 0;
    WebThumbGetter getter(
        silent.url(), path, [&](ThumbGetter&) { ++calls; }, std::chrono::milliseconds(2000));
    getter.getImage();
    ASSERT_NE(getter.webView(), nullptr);
    const QPointer<QWebEnginePage> page = getter.webView()->page();
    ASSERT_TRUE(QTest::qWaitFor([&] { return page.isNull(); }, 10000));
    EXPECT_TRUE(getter.isFinished());
    QTest::qWait(200);
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(QFile::exists(path));
    silent.stop();
}

} // namespace

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
