// Deleting one cookie from the shared store leaves every other one as it was; the store keeps
// within limits that always read back, trims the sites' least recently used cookies but never
// a login window's for them, and leaves a store it could not read alone.
#include "platform/CookieStore.h"
#include "platform/Paths.h"
#include "platform/detail/CookieJar.h"
#include "support/FifoWait.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <iostream>

#include <sys/stat.h>
#include <unistd.h>

using crawlmere::platform::CookieStore;
using crawlmere::platform::HttpCookie;
using crawlmere::platform::Paths;
using crawlmere::platform::detail::CookieJar;

namespace {

HttpCookie cookie(const QString& domain, bool subdomains, const QString& path, const QString& name)
{
    HttpCookie made;
    made.domain = domain;
    made.includeSubdomains = subdomains;
    made.path = path;
    made.name = name;
    made.value = QStringLiteral("v-") + name;
    made.expires = 4102444800; // 2100
    return made;
}

QStringList held()
{
    QStringList keys;
    for (const HttpCookie& c : CookieStore::allCookies())
        keys.append(QStringLiteral("%1|%2|%3|%4").arg(c.domain, c.includeSubdomains ? u"sub" : u"host", c.path, c.name));
    keys.sort();
    return keys;
}

} // namespace

TEST(CookieStoreTest, DeletingOneCookieKeepsItsNeighbours)
{
    CookieStore::deleteAllCookies();
    const HttpCookie doomed = cookie(QStringLiteral("a.example"), false, QStringLiteral("/"), QStringLiteral("session"));
    // Same name under another path, as a domain cookie, and on another host: all different cookies.
    for (const HttpCookie& c : { doomed, cookie(QStringLiteral("a.example"), false, QStringLiteral("/app"), QStringLiteral("session")),
             cookie(QStringLiteral("a.example"), true, QStringLiteral("/"), QStringLiteral("session")),
             cookie(QStringLiteral("b.example"), false, QStringLiteral("/"), QStringLiteral("session")) })
        CookieStore::setCookie(c);
    ASSERT_EQ(held().size(), 4);

    CookieStore::deleteCookie(doomed);
    EXPECT_EQ(held(),
        (QStringList { QStringLiteral("a.example|host|/app|session"), QStringLiteral("a.example|sub|/|session"),
            QStringLiteral("b.example|host|/|session") }));
    CookieStore::deleteCookie(doomed); // gone already: nothing changes
    EXPECT_EQ(held().size(), 3);
    CookieStore::deleteAllCookies();
}

TEST(CookieStoreTest, ManyLargeCookiesFromManyHostsStillReadBackWithTheLoginCookie)
{
    CookieStore::deleteAllCookies();
    HttpCookie login = cookie(QStringLiteral("login.example"), false, QStringLiteral("/"), QStringLiteral("login"));
    CookieStore::setCookie(login);
    // 22 hosts of 200 cookies of 4 KB: more than a file the store reads back, unless trimmed.
    for (int host = 0; host < 22; ++host) {
        for (int i = 0; i < 200; ++i) {
            HttpCookie big = cookie(QStringLiteral("h%1.example").arg(host), false, QStringLiteral("/"), QStringLiteral("c%1").arg(i));
            big.value = QString(4000, u'x');
            CookieStore::setCookie(big);
        }
    }
    ASSERT_TRUE(CookieStore::save());
    EXPECT_LT(QFileInfo(CookieStore::storePath()).size(), CookieJar::kMaxFileBytes);
    ASSERT_TRUE(CookieStore::reload());
    QHash<QString, int> perHost;
    for (const HttpCookie& c : CookieStore::allCookies())
        ++perHost[c.domain];
    EXPECT_EQ(perHost.value(QStringLiteral("login.example")), 1);
    for (auto it = perHost.cbegin(); it != perHost.cend(); ++it)
        EXPECT_LE(it.value(), CookieJar::kMaxCookiesPerHost) << qPrintable(it.key());
    CookieStore::deleteAllCookies();
    ASSERT_TRUE(CookieStore::save());
}

TEST(CookieStoreTest, SitesCookiesNeverPushOutALoginCookieAndTheLeastRecentlyUsedGoFirst)
{
    // The login cookie and the cookie used again have the longest lines; then one small cookie
    // on each of 3,100 hosts, used.example asked for again after the first 2,000.
    const QByteArray login = "login.example\tFALSE\t/\tFALSE\t4102444800\tlogin\t" + QByteArray(300, 'k');
    const QByteArray used = "used.example\tFALSE\t/\tFALSE\t4102444800\tseen\t" + QByteArray(200, 'u');
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    for (const bool reloaded : { false, true }) {
        SCOPED_TRACE(reloaded ? "placed in an earlier run" : "placed in this run");
        CookieJar first;
        first.addLine(login, CookieJar::Placer::LoginWindow);
        first.addLine(used);
        CookieJar second;
        if (reloaded) {
            ASSERT_TRUE(first.save(folder.filePath(QStringLiteral("cookies.txt"))));
            ASSERT_TRUE(second.load(folder.filePath(QStringLiteral("cookies.txt"))));
        }
        CookieJar& jar = reloaded ? second : first;
        for (int host = 0; host < 3100; ++host) {
            if (host == 2000)
                jar.noteRequest("used.example");
            jar.addLine(QStringLiteral("h%1.example\tFALSE\t/\tFALSE\t4102444800\tc\tv").arg(host).toUtf8());
        }
        jar.trim();
        const QList<QByteArray> held = jar.lines();
        EXPECT_LE(held.size(), CookieJar::kMaxCookies);
        EXPECT_TRUE(held.contains(login));
        EXPECT_TRUE(held.contains(used));
        EXPECT_FALSE(held.contains("h0.example\tFALSE\t/\tFALSE\t4102444800\tc\tv"));
        EXPECT_TRUE(held.contains("h3099.example\tFALSE\t/\tFALSE\t4102444800\tc\tv"));
    }
}

TEST(CookieStoreTest, AStoreThatCannotBeReadIsNeverReplaced)
{
    const QString path = CookieStore::storePath();
    const QByteArray loginLine = "login.example\tFALSE\t/\tFALSE\t4102444800\tlogin\tkeep-me\n";
    struct Case {
        const char* name;
        QByteArray content;
        bool closed; // readable by its owner only, and read as another user
    };
    const Case cases[] = {
        { "larger than what is read", loginLine + QByteArray("# padding\n").repeated(int(CookieJar::kMaxFileBytes / 10) + 1), false },
        { "closed to the reader", loginLine, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(c.content), c.content.size());
        file.close();
        const QByteArray digest = QCryptographicHash::hash(c.content, QCryptographicHash::Sha256);

        bool read = true;
        if (c.closed) {
            if (::geteuid() != 0) {
                std::cout << "[  SKIPPED ] a store closed to its reader needs root to read it as another user\n";
                continue;
            }
            // The folders of the test's home can be passed, the file itself not read, by user 42001.
            QStringList folders;
            for (QString folder = QFileInfo(path).absolutePath(); folder.startsWith(Paths::home());
                 folder = QFileInfo(folder).absolutePath())
                folders.append(folder);
            for (const QString& folder : folders)
                ::chmod(QFile::encodeName(folder).constData(), 0711);
            ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0600), 0);
            ASSERT_EQ(::seteuid(42001), 0);
            read = CookieStore::reload();
            ASSERT_EQ(::seteuid(0), 0);
            for (const QString& folder : folders)
                ::chmod(QFile::encodeName(folder).constData(), 0700);
        } else {
            read = CookieStore::reload();
        }
        EXPECT_FALSE(read);
        CookieStore::setCookie(cookie(QStringLiteral("other.example"), false, QStringLiteral("/"), QStringLiteral("new")));
        EXPECT_FALSE(CookieStore::save());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256), digest);
        file.close();
        ASSERT_TRUE(QFile::remove(path));
        ASSERT_TRUE(CookieStore::reload()); // no store: a fresh one may be written again
        CookieStore::deleteAllCookies();
    }
}

TEST(CookieStoreTest, AStoreThatIsNotARegularFileIsSaidNeverWaitedOnAndLeftAsItIs)
{
    const QString path = CookieStore::storePath();
    const QByteArray encoded = QFile::encodeName(path);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
    const struct {
        const char* kind;
        std::function<bool()> make;
    } cases[] = {
        { "a FIFO (named pipe)", [&] { return ::mkfifo(encoded.constData(), 0600) == 0; } },
        { "a character device", [&] { return QFile::link("/dev/zero", path); } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        ASSERT_TRUE(c.make());
        bool read = true;
        testing::internal::CaptureStderr();
        EXPECT_TRUE(crawlmere::test::endsWithoutWaitingOn(path, [&] { read = CookieStore::reload(); }));
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(read);
        EXPECT_NE(said.find(QStringLiteral("the cookie store %1 cannot be read (it is %2, not a regular file): it is left "
                                           "as it is, and this run's cookies are not saved")
                                .arg(path, QLatin1String(c.kind))
                                .toStdString()),
            std::string::npos)
            << said;
        CookieStore::setCookie(cookie(QStringLiteral("other.example"), false, QStringLiteral("/"), QStringLiteral("new")));
        EXPECT_FALSE(CookieStore::save());
        struct stat status { };
        ASSERT_EQ(::stat(encoded.constData(), &status), 0);
        EXPECT_FALSE(S_ISREG(status.st_mode));
        ASSERT_TRUE(QFile::remove(path));
        ASSERT_TRUE(CookieStore::reload());
        CookieStore::deleteAllCookies();
    }
}
