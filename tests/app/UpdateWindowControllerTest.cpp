#include "app/UpdateWindowController.h"
#include "app/UpdateDownload.h"
#include "app/UpdateWindow.h"
#include "app/UpdateWindowView.h"
#include "engine/RecordingShellServices.h"
#include "platform/Dispatch.h"
#include "platform/Paths.h"
#include "platform/PropertyList.h"
#include "platform/UrlOpener.h"
#include "platform/UserDefaults.h"
#include "support/LoopbackServer.h"
#include "support/MainQueue.h"
#include "support/RawSocketServer.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>

using crawlmere::platform::RecordingUrlOpener;
using crawlmere::platform::UserDefaults;
using crawlmere::test::LoopbackServer;
using crawlmere::test::RawConnection;
using crawlmere::test::RawSocketServer;
using crawlmere::test::silentHandler;
namespace app = crawlmere::app;
namespace Dispatch = crawlmere::platform::Dispatch;
using Controller = app::UpdateWindowController;
using namespace std::chrono_literals;

namespace {

/// A home folder of its own for the test, so the download folder starts empty.
class TemporaryHome {
public:
    TemporaryHome()
        : m_previous(qgetenv("CRAWLMERE_HOME"))
    {
        qputenv("CRAWLMERE_HOME", m_home.path().toUtf8());
    }
    ~TemporaryHome() { qputenv("CRAWLMERE_HOME", m_previous); }
    QString path() const { return m_home.path(); }

private:
    QTemporaryDir m_home;
    QByteArray m_previous;
};

class UpdateCheckTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        menu.addAction(turnOn);
        controller.setTurnOnAutoUpdatesMenuItem(turnOn);
        controller.setTerminate([this] { ++terminations; });
        controller.setRequestTimeout(2s);
        server.server().Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
            ++hits;
            const auto it = routes.find(request.path);
            if (it == routes.end()) {
                response.status = 404;
                response.set_content("not here", "text/plain");
                return;
            }
            response.set_content(it->second.second, it->second.first);
        });
        // One answer per connection, so no idle connection holds up the server's stop.
        server.server().set_keep_alive_max_count(1);
        ASSERT_TRUE(server.start());
    }

    void publishList(
        const QString& version, const QString& downloadPath = QStringLiteral("/build/crawlmere-99.AppImage"))
    {
        const QVariantMap list { { "currentversion", version }, { "releasedate", "1 March 2027" },
            { "newinthisversionurl", server.url("/notes.html") }, { "downloadurl", server.url(downloadPath) } };
        routes["/list.plist"] = { "application/xml", crawlmere::platform::PropertyList::toXml(list)->toStdString() };
        defaults.setObject(server.url("/list.plist"), Controller::kPropertyListURLKey);
    }

    void settle()
    {
        ASSERT_TRUE(Dispatch::runUntil([&] { return controller.checksInFlight() == 0; }, 10s));
    }

    QTemporaryDir folder;
    UserDefaults defaults { folder.filePath(QStringLiteral("defaults.plist")) };
    app::RecordingUpdateWindowView view;
    RecordingPrompts prompts;
    RecordingUrlOpener opener;
    Controller controller { defaults, view, prompts, opener };
    QMenu menu;
    QAction* turnOn = new QAction(QStringLiteral("Turn on"), &menu);
    int terminations = 0;
    LoopbackServer server;
    std::atomic<int> hits { 0 };
    std::map<std::string, std::pair<std::string, std::string>> routes {
        { "/notes.html", { "text/html", "<h1>New</h1><p>Faster scans.</p><img src=\"http://127.0.0.1:1/x.png\">" } },
    };
};

} // namespace

TEST(UpdateVersion, ComparesUpToThreeIntegerParts)
{
    struct Case {
        const char* published;
        const char* running;
        bool higher;
    };
    const Case cases[] = { { "2.10", "2.9", true }, { "2.9.1", "2.9", true }, { "2.9", "2.9.0", false },
        { "2.9.0", "2.9", false }, { "1.2.3.4", "1.0", false }, { "2.0", "1.2.3.4", false }, { "3", "2.99.99", true },
        { "10abc", "9", true }, { "-1", "0", false }, { "x.1", "0.0.9", true }, { "", "0.1", false },
        { "1.0.0", "1.0.1", false } };
    for (const Case& c : cases)
        EXPECT_EQ(Controller::currentVersionIsHigherThanThisVersion(c.published, c.running), c.higher)
            << c.published << " against " << c.running;
    EXPECT_TRUE(Controller::currentVersionIsHigherThanThisVersion(QStringLiteral("99")));
    EXPECT_FALSE(Controller::currentVersionIsHigherThanThisVersion(QStringLiteral(CRAWLMERE_VERSION)));
}

TEST_F(UpdateCheckTest, ANewerVersionAtStartUpLoadsTheNotesAndShowsTheButton)
{
    publishList(QStringLiteral("99.0.1"));
    controller.awakeFromNib();
    EXPECT_FALSE(menu.actions().contains(turnOn));
    settle();
    EXPECT_TRUE(view.newVersionButtonShown);
    EXPECT_TRUE(view.notesAreHtml);
    EXPECT_TRUE(view.notes.contains(QStringLiteral("Faster scans.")));
    EXPECT_EQ(view.versionText, QStringLiteral("99.0.1"));
    EXPECT_EQ(view.releaseDateText, QStringLiteral("1 March 2027"));
    EXPECT_FALSE(defaults.boolForKey(Controller::kNoUpdateAvailableKey));
    EXPECT_EQ(view.detailsShown, 0);
    EXPECT_TRUE(prompts.alerts.isEmpty());
    EXPECT_EQ(hits.load(), 2) << "the list and the notes; nothing the notes refer to";
    EXPECT_TRUE(view.downloadAvailable);

    // A manual check gives a version and no build: there is nothing to download.
    routes["/version.txt"] = { "text/plain", "99.0.2" };
    defaults.setObject(server.url("/version.txt"), Controller::kVersionTextURLKey);
    controller.checkForUpdates(Controller::CheckKind::Manual);
    settle();
    EXPECT_EQ(view.detailsShown, 1);
    EXPECT_FALSE(view.downloadAvailable);
}

TEST_F(UpdateCheckTest, AManualCheckAlertsOnlyWhenNothingIsNewer)
{
    routes["/version.txt"] = { "text/plain", "  " CRAWLMERE_VERSION "\r\n" };
    defaults.setObject(server.url("/version.txt"), Controller::kVersionTextURLKey);
    controller.checkForUpdates(Controller::CheckKind::Manual);
    settle();
    ASSERT_EQ(prompts.alerts.size(), 1);
    EXPECT_EQ(prompts.alerts[0].messageText, QStringLiteral("Update check"));
    EXPECT_EQ(prompts.alerts[0].informativeText, QStringLiteral("No update available"));
    EXPECT_EQ(prompts.alerts[0].buttons, QStringList { QStringLiteral("OK") });
    EXPECT_EQ(view.detailsShown, 0);

    routes["/version.txt"] = { "text/plain", "\n 42.1 \n" };
    controller.checkForUpdates(Controller::CheckKind::Manual);
    settle();
    EXPECT_EQ(prompts.alerts.size(), 1);
    EXPECT_EQ(view.detailsShown, 1);
    EXPECT_EQ(view.versionText, QStringLiteral("42.1"));
    EXPECT_EQ(view.notes, QStringLiteral("Please see website for details"));
    EXPECT_FALSE(view.newVersionButtonShown);
}

TEST_F(UpdateCheckTest, FailedOrMalformedAnswersShowNothing)
{
    // A 404 page, a list that is no property list, one without a dictionary, and a server gone.
    defaults.setObject(server.url("/missing.txt"), Controller::kVersionTextURLKey);
    controller.checkForUpdates(Controller::CheckKind::Manual);
    for (const char* body :
        { "<plist><dict><key>currentversion</key>", "<?xml version=\"1.0\"?><plist><array/></plist>" }) {
        routes["/list.plist"] = { "application/xml", body };
        defaults.setObject(server.url("/list.plist"), Controller::kPropertyListURLKey);
        controller.checkForUpdates(Controller::CheckKind::Startup);
        settle();
    }
    server.stop();
    controller.checkForUpdates(Controller::CheckKind::Startup);
    controller.checkForUpdates(Controller::CheckKind::Manual);
    settle();
    EXPECT_TRUE(prompts.alerts.isEmpty());
    EXPECT_EQ(view.detailsShown, 0);
    EXPECT_FALSE(view.newVersionButtonShown);
    EXPECT_TRUE(controller.currentVersionDictionary().isEmpty());
}

TEST_F(UpdateCheckTest, AutomaticCheckOffSendsNoRequestAndKeepsTheMenuItem)
{
    publishList(QStringLiteral("99"));
    defaults.setBool(false, Controller::kAutomaticUpdateCheckKey);
    controller.awakeFromNib();
    EXPECT_EQ(controller.checksInFlight(), 0);
    Dispatch::runFor(200ms);
    EXPECT_EQ(hits.load(), 0);
    EXPECT_TRUE(menu.actions().contains(turnOn));
    EXPECT_TRUE(turnOn->isEnabled());

    controller.turnOnAutomaticUpdates();
    EXPECT_FALSE(menu.actions().contains(turnOn));
    settle();
    EXPECT_TRUE(view.newVersionButtonShown);
}

TEST_F(UpdateCheckTest, AServerThatNeverAnswersLeavesTheEventLoopTurning)
{
    RawSocketServer silent(silentHandler(10s));
    ASSERT_TRUE(silent.start());
    defaults.setObject(silent.url("/version.txt"), Controller::kVersionTextURLKey);
    controller.setRequestTimeout(1200ms);
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(20ms);
    controller.checkForUpdates(Controller::CheckKind::Manual);
    EXPECT_EQ(controller.checksInFlight(), 1) << "the check returned before its answer";
    settle();
    EXPECT_GE(ticks, 30);
    EXPECT_TRUE(prompts.alerts.isEmpty());
    EXPECT_EQ(view.detailsShown, 0);
}

TEST_F(UpdateCheckTest, ACutDownloadLeavesNothingAndTheRetrySavesTheServedBytes)
{
    const TemporaryHome home;
    const QByteArray build = QByteArray("BUILD").repeated(40000);
    std::atomic<int> attempts { 0 };
    RawSocketServer builds([&](RawConnection& connection) {
        connection.readRequest();
        const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: "
            + QByteArray::number(build.size()) + "\r\nConnection: close\r\n\r\n";
        if (attempts++ == 0) {
            connection.send(head + build.left(build.size() / 2));
            connection.close();
            return;
        }
        connection.send(head + build);
    });
    ASSERT_TRUE(builds.start());
    const QString downloads = home.path() + "/Downloads";
    ASSERT_TRUE(QDir().mkpath(downloads));
    {
        QFile existing(downloads + "/crawlmere-99.AppImage");
        ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
        existing.write("older build");
    }
    routes["/list.plist"] = { "application/xml",
        crawlmere::platform::PropertyList::toXml(
            QVariantMap { { "currentversion", "99" }, { "downloadurl", builds.url("/b/crawlmere-99.AppImage") } })
            ->toStdString() };
    defaults.setObject(server.url("/list.plist"), Controller::kPropertyListURLKey);
    controller.checkForUpdates(Controller::CheckKind::Startup);
    settle();

    controller.loadUpdate();
    ASSERT_TRUE(controller.downloading());
    ASSERT_TRUE(Dispatch::runUntil([&] { return !controller.downloading(); }, 10s));
    EXPECT_EQ(QDir(downloads).entryList(QDir::Files | QDir::Hidden).size(), 1) << "only the older build";
    EXPECT_TRUE(opener.opened.isEmpty());

    controller.loadUpdate();
    ASSERT_TRUE(Dispatch::runUntil([&] { return !controller.downloading(); }, 10s));
    QFile saved(downloads + "/crawlmere-99 (2).AppImage");
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), build);
    QFile older(downloads + "/crawlmere-99.AppImage");
    ASSERT_TRUE(older.open(QIODevice::ReadOnly));
    EXPECT_EQ(older.readAll(), QByteArray("older build"));
    EXPECT_EQ(QDir(downloads).entryList(QDir::Files | QDir::Hidden).size(), 2);
    ASSERT_EQ(opener.opened.size(), 2);
    EXPECT_EQ(opener.opened[0], QUrl::fromLocalFile(saved.fileName()));
    EXPECT_EQ(opener.opened[1], QUrl::fromLocalFile(downloads));
    EXPECT_EQ(view.sheetsClosed, 1);
    EXPECT_FALSE(view.progressRunning);
    ASSERT_TRUE(Dispatch::runUntil([&] { return terminations > 0; }, 10s));
    ASSERT_TRUE(crawlmere::test::runQueuedWork());
    EXPECT_EQ(terminations, 1);
}

TEST_F(UpdateCheckTest, AFailedStatusWritesNothingAndHostileNamesStayInTheDownloadFolder)
{
    const TemporaryHome home;
    routes["/dl/..%2F..%2Fescape"] = { "application/octet-stream", "payload" };
    routes["/dl/../../escape"] = routes["/dl/..%2F..%2Fescape"];
    publishList(QStringLiteral("99"), QStringLiteral("/build/missing.AppImage"));
    controller.checkForUpdates(Controller::CheckKind::Startup);
    settle();
    controller.loadUpdate();
    ASSERT_TRUE(Dispatch::runUntil([&] { return !controller.downloading(); }, 10s));
    ASSERT_TRUE(crawlmere::test::runQueuedWork());
    const QString downloads = home.path() + "/Downloads";
    EXPECT_TRUE(QDir(downloads).entryList(QDir::Files | QDir::Hidden).isEmpty());
    EXPECT_EQ(terminations, 0);
    EXPECT_EQ(view.sheetsClosed, 0);

    publishList(QStringLiteral("99"), QStringLiteral("/dl/..%2F..%2Fescape"));
    controller.checkForUpdates(Controller::CheckKind::Startup);
    settle();
    controller.loadUpdate();
    ASSERT_TRUE(Dispatch::runUntil([&] { return !controller.downloading(); }, 10s));
    EXPECT_EQ(QDir(downloads).entryList(QDir::Files | QDir::Hidden), QStringList { "Crawlmere-update" });
    EXPECT_FALSE(QFile::exists(home.path() + "/escape"));

    const QList<std::pair<const char*, const char*>> names { { "http://h/a/b.tar.gz?x=1#f", "b.tar.gz" },
        { "http://h/", "Crawlmere-update" }, { "http://h/dl/.", "Crawlmere-update" },
        { "http://h/dl/%2E%2E", "Crawlmere-update" }, { "http://h/dl/a%2Fb", "Crawlmere-update" },
        { "http://h/dl/a%00b", "Crawlmere-update" }, { "http://h/dl/a%0Ab", "Crawlmere-update" },
        { "http://h/dl/My%20Build.zip", "My Build.zip" } };
    for (const auto& [url, name] : names)
        EXPECT_EQ(app::UpdateDownload::safeFileName(QUrl(QLatin1String(url))), QLatin1String(name)) << url;
    EXPECT_EQ(
        app::UpdateDownload::safeFileName(QUrl("http://h/" + QString(300, u'n'))), QStringLiteral("Crawlmere-update"));
}

TEST(UpdateWindow, ShowsTheNotesWithoutLoadingWhatTheyReferTo)
{
    QTemporaryDir folder;
    UserDefaults defaults(folder.filePath(QStringLiteral("defaults.plist")));
    QWidget mainWindow;
    auto* window = new app::UpdateWindow(&mainWindow);
    RecordingPrompts prompts;
    RecordingUrlOpener opener;
    Controller controller(defaults, *window, prompts, opener);
    window->setController(&controller);
    window->newVersionButton()->setParent(&mainWindow);
    mainWindow.show();

    const QString image = folder.filePath(QStringLiteral("local.png"));
    QImage(4, 4, QImage::Format_RGB32).save(image);
    window->setNotes(QStringLiteral("<p>New</p><img src=\"%1\">").arg(QUrl::fromLocalFile(image).toString()), true);
    auto* notes = window->findChild<QTextBrowser*>(QStringLiteral("updateTextView"));
    ASSERT_NE(notes, nullptr);
    EXPECT_EQ(notes->toPlainText().trimmed().left(3), QStringLiteral("New"));
    EXPECT_FALSE(notes->document()->resource(QTextDocument::ImageResource, QUrl::fromLocalFile(image)).isValid());

    EXPECT_FALSE(window->newVersionButton()->isVisibleTo(&mainWindow));
    window->showNewVersionButton();
    EXPECT_TRUE(window->newVersionButton()->isVisibleTo(&mainWindow));
    window->newVersionButton()->click();
    EXPECT_TRUE(window->isVisible());
    auto* download = window->findChild<QPushButton*>(QStringLiteral("downloadButton"));
    EXPECT_FALSE(download->isEnabled()) << "nothing to download yet";
    window->setDownloadAvailable(true);
    EXPECT_TRUE(download->isEnabled());
    EXPECT_EQ(window->windowModality(), Qt::WindowModal);
    window->setProgress(true, 50, 100);
    EXPECT_FALSE(window->findChild<QPushButton*>(QStringLiteral("downloadButton"))->isEnabled());
    EXPECT_EQ(window->findChild<QProgressBar*>(QStringLiteral("progressIndicator"))->value(), 500);
    window->findChild<QCheckBox*>(QStringLiteral("updateCheckCheckbox"))->setChecked(false);
    defaults.setBool(false, Controller::kNoUpdateAvailableKey);
    window->findChild<QPushButton*>(QStringLiteral("closeButton"))->click();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(defaults.boolForKey(Controller::kNoUpdateAvailableKey));
}

TEST_F(UpdateCheckTest, ADownloadPastItsCapIsNotSaved)
{
    routes["/big.bin"] = { "application/octet-stream", std::string(5000, 'b') };
    QTemporaryDir target;
    std::optional<app::UpdateDownload::Outcome> outcome;
    auto download = app::UpdateDownload::start(
        QUrl(server.url("/big.bin")), target.path(), {}, [&](const app::UpdateDownload::Outcome& o) { outcome = o; },
        1000);
    ASSERT_TRUE(download);
    ASSERT_TRUE(Dispatch::runUntil([&] { return outcome.has_value(); }, 10s));
    EXPECT_EQ(outcome->result, app::UpdateDownload::Outcome::Result::ConnectionFailed);
    download.reset();
    EXPECT_TRUE(QDir(target.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}
