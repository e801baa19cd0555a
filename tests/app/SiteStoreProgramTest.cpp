// The site list under real programs that meet what they cannot change: a list another user
// owns, a file this user may not read, a lock another program holds, a lock file of another user.
#include "HeadlessProgramTestSupport.h"
#include "engine/CrawlSettingKeys.h"
#include "platform/PropertyList.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using crawlmere::platform::PropertyList;
using crawlmere::test::program::finishedRun;
using crawlmere::test::program::programPath;
using crawlmere::test::program::ProgramRun;

namespace {

constexpr uid_t kUser = 42001; // runs the program
constexpr uid_t kOtherUser = 42002; // owns what the program finds in its way

/// Why the program cannot be run as a second user here, or a null string when it can.
QString whyNoSecondUser()
{
    if (!QFileInfo::exists(programPath()))
        return QStringLiteral("the crawlmere program is not built beside the tests");
    if (::geteuid() != 0)
        return QStringLiteral("switching to a second user needs root");
    if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        return QStringLiteral("setpriv is not installed");
    return {};
}

bool chownTo(const QString& path, uid_t user) { return ::lchown(QFile::encodeName(path).constData(), user, user) == 0; }

/// A home for the program's user: the folder, its config folder (holding `defaults`, when not
/// empty, as the site list) and a settings file of a site named `name` without an id, all the
/// user's own.
/// Writes a property list the test hands to the program's user. Written plainly, as the test's
/// own file: the program refuses to save into another user's folder in the shared temporary
/// folder, and the home is that user's.
bool writeFixture(const QString& path, const QVariant& value)
{
    const auto xml = PropertyList::toXml(value);
    QFile file(path);
    return xml.ok() && file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(*xml) == xml->size();
}

struct Home {
    explicit Home(const QVariantList& defaultsSites = {})
    {
        config = folder.filePath(QStringLiteral(".config/Crawlmere"));
        defaults = config + QStringLiteral("/defaults.plist");
        ok = folder.isValid() && QDir().mkpath(config);
        if (ok && !defaultsSites.isEmpty())
            ok = writeFixture(defaults, QVariantMap { { "websites", defaultsSites } });
        for (const QString& path : { folder.path(), folder.filePath(".config"), config, defaults })
            ok = ok && (!QFileInfo::exists(path) || chownTo(path, kUser));
    }
    /// The sample site's home page, copied where the program's user can read it (the checkout
    /// may lie in a folder only this user can enter).
    QString page() const
    {
        const QString copy = folder.filePath(QStringLiteral("index.html"));
        if (!QFileInfo::exists(copy)
            && !(QFile::copy(QStringLiteral(CRAWLMERE_FIXTURES "/../../examples/sample-site/index.html"), copy)
                && chownTo(copy, kUser)))
            return {};
        return copy;
    }
    /// A settings file of a site without an id, named `name`, readable by the program's user.
    QString siteFile(const QString& name) const
    {
        const QString page = this->page();
        const QString path = folder.filePath(name + QStringLiteral(".lcsettings"));
        const bool written = writeFixture(path, QVariantMap { { "name", name }, { crawlKey::startingUrl, page } });
        return written && chownTo(path, kUser) ? path : QString();
    }
    /// The names in the stored site list.
    QStringList siteNames() const
    {
        QStringList names;
        for (const QVariant& site :
            PropertyList::readFile(defaults).valueOr(QVariant()).toMap().value("websites").toList())
            names << site.toMap().value("name").toString();
        return names;
    }

    QTemporaryDir folder;
    QString config;
    QString defaults;
    bool ok = false;
};

/// Starts the program as `kUser` on `home`, the store's lock waited for `lockWaitMs`.
void startAsUser(QProcess& process, const QStringList& arguments, const Home& home, const char* lockWaitMs = "10000")
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("CRAWLMERE_HOME"), home.folder.path());
    environment.insert(QStringLiteral("HOME"), home.folder.path());
    environment.insert(QStringLiteral("CRAWLMERE_DEFAULTS_LOCK_WAIT_MS"), QString::fromLatin1(lockWaitMs));
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(home.folder.path());
    const QString user = QString::number(kUser);
    process.start(QStringLiteral("setpriv"),
        QStringList { QStringLiteral("--reuid"), user, QStringLiteral("--regid"), user,
            QStringLiteral("--clear-groups"), programPath(), QStringLiteral("--headless") }
            + arguments);
}

ProgramRun runAsUser(const QStringList& arguments, const Home& home, const char* lockWaitMs = "10000")
{
    QProcess process;
    startAsUser(process, arguments, home, lockWaitMs);
    return finishedRun(process);
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(SiteStoreProgram, AnImportThatCannotBeStoredFailsAndSaysSoOnce)
{
    if (const QString why = whyNoSecondUser(); !why.isNull())
        GTEST_SKIP() << qPrintable(why);
    const QVariantList kept { QVariantMap { { "id", "20260101-1000001" }, { "name", "kept" } } };
    const struct {
        const char* name;
        std::function<bool(const Home&)> lockOut;
    } cases[] = {
        { "a config folder of another user",
            [](const Home& home) {
                return chownTo(home.config, kOtherUser) && ::chmod(qPrintable(home.config), 0755) == 0;
            } },
        { "a config folder the user made read-only",
            [](const Home& home) { return ::chmod(qPrintable(home.config), 0500) == 0; } },
        { "a list and lock file of another user in a read-only folder",
            [](const Home& home) {
                QFile(home.defaults + ".lock").open(QIODevice::WriteOnly);
                return chownTo(home.defaults, kOtherUser) && chownTo(home.defaults + ".lock", kOtherUser)
                    && ::chmod(qPrintable(home.defaults), 0644) == 0 && ::chmod(qPrintable(home.config), 0500) == 0;
            } },
    };
    for (const auto& c : cases) {
        Home home(kept);
        ASSERT_TRUE(home.ok);
        const QString site = home.siteFile(QStringLiteral("imported"));
        ASSERT_TRUE(c.lockOut(home)) << c.name;
        const QByteArray before = fileBytes(home.defaults);
        const ProgramRun run = runAsUser({ site }, home);
        EXPECT_EQ(run.status, 1) << c.name << qPrintable(run.err);
        EXPECT_EQ(run.err.count(QStringLiteral("could not be stored")), 1) << c.name << qPrintable(run.err);
        EXPECT_FALSE(run.err.contains(QStringLiteral("not saved"))) << c.name << qPrintable(run.err);
        EXPECT_FALSE(run.out.contains(QStringLiteral("Scan finished"))) << c.name << qPrintable(run.out);
        EXPECT_EQ(fileBytes(home.defaults), before) << c.name;
        ::chmod(qPrintable(home.config), 0700);
    }
}

TEST(SiteStoreProgram, AListTheUserCannotReadIsLeftWhereItIsAndTheProgramStops)
{
    if (const QString why = whyNoSecondUser(); !why.isNull())
        GTEST_SKIP() << qPrintable(why);
    Home home(QVariantList { QVariantMap { { "id", "20260101-1000001" }, { "name", "kept" } } });
    ASSERT_TRUE(home.ok);
    const QByteArray before = fileBytes(home.defaults);
    ASSERT_EQ(::chmod(qPrintable(home.defaults), 0000), 0);
    const QString page = home.page();
    ASSERT_FALSE(page.isEmpty());
    for (const QString& target : { home.siteFile(QStringLiteral("imported")), page }) {
        const ProgramRun run = runAsUser({ target }, home);
        EXPECT_EQ(run.status, 1) << qPrintable(target) << qPrintable(run.err);
        EXPECT_EQ(run.err.count(QStringLiteral("cannot be read")), 1) << qPrintable(run.err);
        EXPECT_TRUE(run.err.contains(QStringLiteral("Permission denied"))) << qPrintable(run.err);
        EXPECT_FALSE(run.out.contains(QStringLiteral("Scan finished"))) << qPrintable(run.out);
        EXPECT_EQ(fileBytes(home.defaults), before);
        struct stat status { };
        ASSERT_EQ(::stat(QFile::encodeName(home.defaults).constData(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0U) << "the mode is left alone";
        EXPECT_EQ(QDir(home.config).entryList({ "*.corrupt-*" }, QDir::AllEntries | QDir::Hidden), QStringList());
    }
}

TEST(SiteStoreProgram, ALockHeldByAnotherProgramIsWaitedForABoundedTimeThenTheImportFails)
{
    if (const QString why = whyNoSecondUser(); !why.isNull())
        GTEST_SKIP() << qPrintable(why);
    if (QStandardPaths::findExecutable(QStringLiteral("flock")).isEmpty())
        GTEST_SKIP() << "flock is not installed";
    Home home(QVariantList { QVariantMap { { "id", "20260101-1000001" }, { "name", "kept" } } });
    ASSERT_TRUE(home.ok);
    const QString lockFile = home.defaults + QStringLiteral(".lock");
    ASSERT_TRUE(QFile(lockFile).open(QIODevice::WriteOnly));
    ASSERT_TRUE(chownTo(lockFile, kUser));
    QProcess holder;
    holder.start(
        QStringLiteral("flock"), { QStringLiteral("-x"), lockFile, QStringLiteral("sleep"), QStringLiteral("60") });
    ASSERT_TRUE(holder.waitForStarted());
    // Held once a try of this process's own fails.
    bool held = false;
    for (QDeadlineTimer deadline(10000); !held && !deadline.hasExpired();) {
        const int fd = ::open(QFile::encodeName(lockFile).constData(), O_RDONLY | O_CLOEXEC);
        held = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0;
        ::close(fd);
        if (!held)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(held);
    const QByteArray before = fileBytes(home.defaults);
    const ProgramRun run = runAsUser({ home.siteFile(QStringLiteral("imported")) }, home, "500");
    holder.kill();
    holder.waitForFinished();
    EXPECT_EQ(run.status, 1) << qPrintable(run.err);
    EXPECT_EQ(run.err.count(QStringLiteral("another Crawlmere is saving")), 1) << qPrintable(run.err);
    EXPECT_EQ(run.err.count(QStringLiteral("could not be stored")), 1) << qPrintable(run.err);
    EXPECT_FALSE(run.out.contains(QStringLiteral("Scan finished"))) << qPrintable(run.out);
    EXPECT_EQ(fileBytes(home.defaults), before);
}

TEST(SiteStoreProgram, ALockFileOfAnotherUserStillLocksTenImportsAtOnce)
{
    if (const QString why = whyNoSecondUser(); !why.isNull())
        GTEST_SKIP() << qPrintable(why);
    Home home;
    ASSERT_TRUE(home.ok);
    const QString lockFile = home.defaults + QStringLiteral(".lock");
    ASSERT_TRUE(QFile(lockFile).open(QIODevice::WriteOnly));
    ASSERT_TRUE(chownTo(lockFile, kOtherUser));
    ASSERT_EQ(::chmod(qPrintable(lockFile), 0600), 0);
    QStringList names;
    std::vector<std::unique_ptr<QProcess>> runs;
    for (int i = 0; i < 10; ++i) {
        names << QStringLiteral("site %1").arg(i);
        runs.push_back(std::make_unique<QProcess>());
        startAsUser(*runs.back(), { home.siteFile(names.back()) }, home);
    }
    for (auto& process : runs) {
        const ProgramRun run = finishedRun(*process);
        EXPECT_EQ(run.status, 0) << qPrintable(run.err);
    }
    const QStringList stored = home.siteNames();
    for (const QString& name : std::as_const(names))
        EXPECT_EQ(stored.count(name), 1) << qPrintable(name) << " in " << qPrintable(stored.join(", "));
    struct stat status { };
    ASSERT_EQ(::lstat(QFile::encodeName(lockFile).constData(), &status), 0);
    EXPECT_EQ(status.st_uid, kUser);
}
