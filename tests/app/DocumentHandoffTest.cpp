#include "app/AppDelegate.h"
#include "app/DocumentHandoff.h"
#include "app/MainInterface.h"
#include "engine/ShellServices.h"
#include "engine/Z12Ara.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "settings/ConfigManager.h"
#include "support/LoopbackServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

using crawlmere::app::DocumentHandoff;

namespace {

QString programPath()
{
    return QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/../crawlmere")).absoluteFilePath();
}

bool waitFor(const std::function<bool()>& done, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

/// Runs the windowed program with `arguments` on a private X display, under this test's
/// defaults folder, without waiting for it.
void startProgram(QProcess& process, const QStringList& arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    // The desktop's libraries the window loads are checked elsewhere; see WindowProgramTest.
    QString sanitizerOptions = environment.value(QStringLiteral("ASAN_OPTIONS"));
    sanitizerOptions += sanitizerOptions.isEmpty() ? QStringLiteral("detect_leaks=0") : QStringLiteral(":detect_leaks=0");
    environment.insert(QStringLiteral("ASAN_OPTIONS"), sanitizerOptions);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStandardPaths::findExecutable(QStringLiteral("xvfb-run")),
        QStringList { QStringLiteral("-a"), programPath() } + arguments);
}

class ScriptedPrompts final : public ShellPrompts {
public:
    int runModalAlert(const ShellAlert&) override { return 0; }
    void beep() override { }
};

} // namespace

TEST(DocumentHandoff, TheNameFollowsTheDefaultsFolder)
{
    const QString name = DocumentHandoff::serverName();
    EXPECT_TRUE(name.startsWith(QStringLiteral("crawlmere-%1-").arg(::getuid())));
    const QByteArray home = qgetenv("CRAWLMERE_HOME");
    QTemporaryDir other;
    qputenv("CRAWLMERE_HOME", other.path().toUtf8());
    EXPECT_NE(DocumentHandoff::serverName(), name);
    qputenv("CRAWLMERE_HOME", home);
    EXPECT_EQ(DocumentHandoff::serverName(), name);
}

TEST(DocumentHandoff, ASocketLeftByAnEndedProgramIsClearedAndALiveOneKept)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("handoff"));
    // A socket file bound and abandoned, as a program that crashed leaves it.
    const int descriptor = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(descriptor, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof(address.sun_path) - 1);
    ASSERT_EQ(::bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(descriptor);
    ASSERT_TRUE(QFileInfo::exists(path));

    DocumentHandoff first;
    EXPECT_TRUE(first.listen([](const QString&) { }, path));
    DocumentHandoff second;
    EXPECT_FALSE(second.listen([](const QString&) { }, path));
    EXPECT_TRUE(first.isListening());
    EXPECT_FALSE(DocumentHandoff::sendToRunningProgram({ QStringLiteral("/x") }, folder.filePath("none")));
}

TEST(DocumentHandoff, ASettingsFileFromASecondStartReachesTheRunningProgram)
{
    if (!QFileInfo::exists(programPath()))
        GTEST_SKIP() << "the crawlmere program is not built beside the tests";
    if (QStandardPaths::findExecutable(QStringLiteral("xvfb-run")).isEmpty())
        GTEST_SKIP() << "xvfb-run is needed";
    crawlmere::test::LoopbackServer server;
    std::atomic<int> hits { 0 };
    server.server().Get("/", [&](const httplib::Request&, httplib::Response& response) {
        ++hits;
        response.set_content("<html><head><title>t</title></head><body>x</body></html>", "text/html");
    });
    ASSERT_TRUE(server.start());
    QTemporaryDir folder;
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("sité ü")));
    const QString settings = folder.filePath(QStringLiteral("sité ü/loop back.lcsettings"));
    const QVariantMap site { { QStringLiteral("name"), QStringLiteral("Handed") },
        { QStringLiteral("startingUrl"), server.url() } };
    ASSERT_TRUE(crawlmere::platform::PropertyList::writeXmlFile(settings, site).ok());

    crawlmere::platform::UserDefaults store(folder.filePath(QStringLiteral("defaults.plist")));
    crawlmere::app::MainInterface shell(store, std::make_shared<ScriptedPrompts>());
    DocumentHandoff handoff;
    ASSERT_TRUE(handoff.listen([&shell](const QString& document) { shell.delegate().applicationOpenFile(document); }));
    shell.launch();

    // Given relative to its working folder, as a user types it.
    QProcess second;
    second.setWorkingDirectory(folder.filePath(QStringLiteral("sité ü")));
    startProgram(second, { QStringLiteral("loop back.lcsettings") });
    ASSERT_TRUE(waitFor([&] { return second.state() == QProcess::NotRunning; }, 60000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(waitFor([&] { return hits.load() > 0 && shell.hub()->crawlFinished(); }, 20000));
    const auto& sites = shell.configManager()->websites();
    EXPECT_EQ(std::count_if(sites.begin(), sites.end(),
                  [&](const QVariantMap& entry) { return entry.value("startingUrl").toString() == server.url(); }),
        1);
    shell.terminate();
}
