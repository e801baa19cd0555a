#include "app/DocumentHandoff.h"
#include "app/AppDelegate.h"
#include "app/LocalSocketAccess.h"
#include "app/MainInterface.h"
#include "engine/CrawlSettingKeys.h"
#include "engine/ShellServices.h"
#include "engine/Z12Ara.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "settings/ConfigManager.h"
#include "support/LoopbackServer.h"
#include "support/SharedFolder.h"
#include "support/VirtualDisplay.h"
#include "support/WaitUntil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <optional>
#include <thread>

using crawlmere::app::DocumentHandoff;
using crawlmere::test::waitUntil;

namespace {

QString programPath()
{
    return QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/../crawlmere")).absoluteFilePath();
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
    sanitizerOptions
        += sanitizerOptions.isEmpty() ? QStringLiteral("detect_leaks=0") : QStringLiteral(":detect_leaks=0");
    environment.insert(QStringLiteral("ASAN_OPTIONS"), sanitizerOptions);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(crawlmere::test::virtualDisplayScript(),
        QStringList { QStringLiteral("1280x1024x24"), programPath() } + arguments);
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
    EXPECT_TRUE(QFileInfo(name).fileName().startsWith(QStringLiteral("crawlmere-%1-").arg(::geteuid())));
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
    EXPECT_TRUE(first.listen([](const QString&) {}, path));
    DocumentHandoff second;
    EXPECT_FALSE(second.listen([](const QString&) {}, path));
    EXPECT_TRUE(first.isListening());
    EXPECT_FALSE(DocumentHandoff::sendToRunningProgram({ QStringLiteral("/x") }, folder.filePath("none")));
}

TEST(DocumentHandoff, ASettingsFileFromASecondStartReachesTheRunningProgram)
{
    if (!QFileInfo::exists(programPath()))
        GTEST_SKIP() << "the crawlmere program is not built beside the tests";
    if (const QString why = crawlmere::test::whyNoVirtualDisplay(); !why.isNull())
        GTEST_SKIP() << qPrintable(why);
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
        { crawlKey::startingUrl, server.url() } };
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
    ASSERT_TRUE(waitUntil([&] { return second.state() == QProcess::NotRunning; }, 60000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(waitUntil([&] { return hits.load() > 0 && shell.hub()->crawlFinished(); }, 20000));
    const auto& sites = shell.configManager()->websites();
    EXPECT_EQ(
        std::count_if(sites.begin(), sites.end(),
            [&](const QVariantMap& entry) { return entry.value(crawlKey::startingUrl).toString() == server.url(); }),
        1);
    shell.terminate();
}

TEST(DocumentHandoff, TheSocketLivesInAFolderOnlyItsUserMayEnter)
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    QTemporaryDir folder;
    const QString open = folder.filePath(QStringLiteral("open"));
    const QString closed = folder.filePath(QStringLiteral("closed"));
    ASSERT_TRUE(QDir().mkpath(open) && QDir().mkpath(closed));
    ASSERT_EQ(::chmod(QFile::encodeName(open).constData(), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(closed).constData(), 0700), 0);
    const struct {
        QString runtime;
        bool inRuntime;
    } cases[] = { { closed, true }, { open, false }, { QString(), false } };
    for (const auto& c : cases) {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(c.runtime));
        const QString name = DocumentHandoff::serverName();
        const QString socketFolder = QFileInfo(name).path();
        EXPECT_EQ(socketFolder == closed, c.inRuntime) << qPrintable(name);
        struct stat status { };
        ASSERT_EQ(::lstat(QFile::encodeName(socketFolder).constData(), &status), 0) << qPrintable(name);
        EXPECT_EQ(status.st_mode & 0777, 0700u) << qPrintable(name);
        EXPECT_EQ(status.st_uid, ::geteuid());
    }
    qputenv("XDG_RUNTIME_DIR", runtime);
}

namespace {

/// A listener on its own thread that takes one connection, answers "ok" to a complete message
/// and counts the bytes it was sent, as a running program of the same user would.
class RawListener {
public:
    explicit RawListener(const QByteArray& path)
        : m_server(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        m_listening = ::bind(m_server, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0
            && ::listen(m_server, 1) == 0;
        m_thread = std::thread([this] {
            pollfd incoming { m_server, POLLIN, 0 };
            if (::poll(&incoming, 1, 3000) <= 0)
                return;
            const int connection = ::accept(m_server, nullptr, nullptr);
            QByteArray message;
            char buffer[256];
            pollfd wait { connection, POLLIN, 0 };
            while (!message.endsWith("\n\n") && ::poll(&wait, 1, 1000) > 0) {
                const ssize_t got = ::read(connection, buffer, sizeof(buffer));
                if (got <= 0)
                    break;
                message.append(buffer, got);
            }
            m_received = message.size();
            if (message.endsWith("\n\n"))
                (void)!::write(connection, "ok\n", 3);
            ::close(connection);
        });
    }
    ~RawListener()
    {
        finish();
        ::close(m_server);
    }
    bool listening() const { return m_listening; }
    /// The bytes received; valid once `finish()` returned.
    qsizetype finish()
    {
        if (m_thread.joinable())
            m_thread.join();
        return m_received;
    }

private:
    int m_server = -1;
    bool m_listening = false;
    std::thread m_thread;
    qsizetype m_received = 0;
};

} // namespace

TEST(DocumentHandoff, NothingIsSentToOrTakenFromAProgramOfAnotherUser)
{
    using crawlmere::app::LocalSocketAccess;
    using PeerSource = std::function<std::optional<uid_t>(qintptr)>;
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("handoff"));
    QStringList opened;
    DocumentHandoff listener;
    ASSERT_TRUE(listener.listen([&opened](const QString& document) { opened << document; }, path));
    const struct {
        PeerSource peer; // what the seam says of the other end; null: the system's answer
        bool delivered;
    } cases[] = {
        { nullptr, true }, { [](qintptr) { return std::optional<uid_t>(::geteuid() + 1); }, false },
        { [](qintptr) { return std::optional<uid_t>(); }, false }, // the system cannot tell
    };
    for (const auto& c : cases) {
        LocalSocketAccess::setPeerUserIdForTesting(c.peer);
        // Sending: to a listener that would take anything.
        const QString other = folder.filePath(QStringLiteral("other"));
        QFile::remove(other);
        RawListener raw(QFile::encodeName(other));
        ASSERT_TRUE(raw.listening());
        EXPECT_EQ(DocumentHandoff::sendToRunningProgram({ QStringLiteral("/sent") }, other), c.delivered);
        EXPECT_EQ(raw.finish() > 0, c.delivered);

        // Taking: from a client that does not check, as another user's program would not.
        opened.clear();
        QLocalSocket client;
        client.connectToServer(path);
        ASSERT_TRUE(client.waitForConnected(5000));
        client.write("%2Fraw\n\n");
        client.waitForBytesWritten(1000);
        QByteArray answer;
        waitUntil(
            [&] {
                answer += client.readAll();
                return answer.contains('\n') || client.state() != QLocalSocket::ConnectedState;
            },
            3000);
        EXPECT_EQ(answer, c.delivered ? QByteArray("ok\n") : QByteArray());
        waitUntil([&] { return !opened.isEmpty(); }, c.delivered ? 3000 : 200);
        EXPECT_EQ(opened, c.delivered ? QStringList({ "/raw" }) : QStringList());
        LocalSocketAccess::setPeerUserIdForTesting(nullptr);
    }
}

TEST(DocumentHandoff, AnotherUserInTheWayOfTheHandOverIsNamed)
{
    using crawlmere::test::SharedFolder;
    if (const QString why = SharedFolder::whyNotRunnable(); !why.isNull())
        GTEST_SKIP() << qPrintable(why);
    SharedFolder folder;
    ASSERT_TRUE(folder.isValid());
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray temporary = qgetenv("TMPDIR");
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QFile::encodeName(folder.shared()));
    // The socket folder of this user taken first, then the plain name used in its stead too.
    const QString taken = folder.shared(QStringLiteral("crawlmere-%1").arg(::geteuid()));
    EXPECT_TRUE(DocumentHandoff::obstacle().isNull());
    ASSERT_TRUE(QDir(taken).removeRecursively());
    ASSERT_TRUE(SharedFolder::runAsOtherUser({ QStringLiteral("mkdir"), taken }));
    EXPECT_TRUE(DocumentHandoff::obstacle().isNull()) << "the plain name still reaches this user's program";
    const QString name = DocumentHandoff::serverName();
    ASSERT_FALSE(name.contains(u'/'));
    ASSERT_TRUE(SharedFolder::runAsOtherUser({ QStringLiteral("touch"), folder.shared(name) }));
    const QString obstacle = DocumentHandoff::obstacle();
    EXPECT_TRUE(obstacle.contains(taken) && obstacle.contains(folder.shared(name))) << qPrintable(obstacle);
    const auto restore = [](const char* variable, const QByteArray& value) {
        value.isNull() ? qunsetenv(variable) : qputenv(variable, value);
    };
    restore("XDG_RUNTIME_DIR", runtime);
    restore("TMPDIR", temporary);
}

TEST(DocumentHandoff, AListenerOfAnotherUserIsGivenNothing)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can start a listener as another user here";
    QTemporaryDir folder;
    ASSERT_EQ(::chmod(QFile::encodeName(folder.path()).constData(), 0777), 0);
    const QByteArray path = QFile::encodeName(folder.filePath(QStringLiteral("taken")));
    int ready[2];
    int report[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(report), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Only calls safe after fork: listen as "nobody", take one connection, report what came.
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(3);
        const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        if (::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || ::listen(server, 1) != 0)
            ::_exit(4);
        ::chmod(path.constData(), 0777);
        (void)!::write(ready[1], "r", 1);
        const int connection = ::accept(server, nullptr, nullptr);
        char buffer[256];
        ssize_t received = 0;
        pollfd wait { connection, POLLIN, 0 };
        while (::poll(&wait, 1, 2000) > 0) {
            const ssize_t got = ::read(connection, buffer, sizeof(buffer));
            if (got <= 0)
                break;
            received += got;
        }
        const int count = int(received);
        (void)!::write(report[1], &count, sizeof(count));
        ::_exit(0);
    }
    char signal = 0;
    ASSERT_EQ(::read(ready[0], &signal, 1), 1);
    EXPECT_FALSE(DocumentHandoff::sendToRunningProgram({ QStringLiteral("/secret/path") }, QFile::decodeName(path)));
    int received = -1;
    EXPECT_EQ(::read(report[0], &received, sizeof(received)), ssize_t(sizeof(received)));
    EXPECT_EQ(received, 0);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (int descriptor : { ready[0], ready[1], report[0], report[1] })
        ::close(descriptor);
}
