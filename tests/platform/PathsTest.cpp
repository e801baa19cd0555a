#include "platform/Paths.h"

#include "platform/PropertyList.h"
#include "platform/AtomicFile.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

using crawlmere::platform::Paths;

TEST(Paths, RootsFollowCrawlmereHome)
{
    const QString home = QString::fromLocal8Bit(qgetenv("CRAWLMERE_HOME"));
    ASSERT_FALSE(home.isEmpty());
    EXPECT_EQ(Paths::home(), QDir::cleanPath(home));
    EXPECT_EQ(Paths::configFolder(), QDir::cleanPath(home) + "/.config/Crawlmere");
    EXPECT_EQ(Paths::applicationSupportFolder(), QDir::cleanPath(home) + "/.local/share/Crawlmere");
    const QString archive = Paths::applicationSupportSubfolder("archive");
    EXPECT_TRUE(QDir(archive).exists());
    EXPECT_TRUE(archive.startsWith(QDir::cleanPath(home)));
}

TEST(Paths, LocalPathRule)
{
    EXPECT_TRUE(Paths::isLocalPath("/srv/site/index.html"));
    EXPECT_TRUE(Paths::isLocalPath("~/site/index.html"));
    EXPECT_FALSE(Paths::isLocalPath("http://example.com/"));
    EXPECT_FALSE(Paths::isLocalPath("site/index.html"));
    EXPECT_FALSE(Paths::isLocalPath("~user/index.html"));
    EXPECT_EQ(Paths::expandTilde("~/a/b"), Paths::home() + "/a/b");
    EXPECT_EQ(Paths::expandTilde("/a/b"), "/a/b");
}

TEST(Paths, DownloadsFolderFollowsTheUserDirsFile)
{
    const QString home = Paths::home();
    const QString dirsFile = home + "/.config/user-dirs.dirs";
    ASSERT_TRUE(QDir().mkpath(home + "/.config"));
    QFile::remove(dirsFile);
    EXPECT_EQ(Paths::downloadsFolder(), home + "/Downloads");

    const auto write = [&](const QByteArray& text) {
        QFile file(dirsFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    };
    write("# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOWNLOAD_DIR=\"$HOME/Fetched\"\n");
    EXPECT_EQ(Paths::downloadsFolder(), home + "/Fetched");
    write("XDG_DOWNLOAD_DIR=\"/srv/incoming/\"\n");
    EXPECT_EQ(Paths::downloadsFolder(), "/srv/incoming");
    write("XDG_DOWNLOAD_DIR=\"relative/place\"\n");
    EXPECT_EQ(Paths::downloadsFolder(), home + "/Downloads");
    QFile::remove(dirsFile);
}

namespace {

mode_t modeOf(const QString& path)
{
    struct stat status { };
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : 0;
}

} // namespace

TEST(Paths, ThePrivateFoldersAreTightenedAtStartAndEverySaveThereIs0600)
{
    using crawlmere::platform::saveBytesAtomically;
    const mode_t previousMask = ::umask(022);
    const QString config = Paths::configFolder();
    const QString support = Paths::applicationSupportFolder();
    ASSERT_TRUE(QDir().mkpath(config) && QDir().mkpath(support + "/archive/site"));
    QTemporaryDir outside;
    const QString outsideFile = outside.filePath("kept.txt");
    ASSERT_TRUE(saveBytesAtomically(outsideFile, "x"));
    ASSERT_TRUE(QFile::link(outsideFile, support + "/link"));
    const QString files[] = { config + "/defaults.plist", support + "/cookies.txt", support + "/archive/site/a.html" };
    for (const QString& file : files) {
        ASSERT_TRUE(crawlmere::platform::PropertyList::writeXmlFile(file, QVariantMap()).ok());
        ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0644), 0);
    }
    for (const QString& folder : { config, support, support + "/archive", support + "/archive/site" })
        ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0755), 0);

    EXPECT_EQ(Paths::securePrivateFolders(), 7);
    for (const QString& folder : { config, support, support + "/archive", support + "/archive/site" })
        EXPECT_EQ(modeOf(folder), 0700u) << qPrintable(folder);
    for (const QString& file : files)
        EXPECT_EQ(modeOf(file), 0600u) << qPrintable(file);
    // A link is not followed out of the folder.
    EXPECT_EQ(modeOf(outsideFile), 0644u);
    EXPECT_EQ(Paths::securePrivateFolders(), 0);
    // In a folder already private only its top is looked at again.
    for (const QString& file : { files[1], files[2] })
        ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0644), 0);
    EXPECT_EQ(Paths::securePrivateFolders(), 1);
    EXPECT_EQ(modeOf(files[1]), 0600u);

    // Saves: 0600 inside, whether new or replacing a looser file; the umask (or the old
    // file's mode) outside. A folder made inside is 0700.
    ASSERT_EQ(::chmod(QFile::encodeName(files[0]).constData(), 0644), 0);
    const struct {
        QString path;
        mode_t mode;
    } saves[] = {
        { files[0], 0600 },
        { config + "/new.plist", 0600 },
        { outside.filePath("new.txt"), 0644 },
        { outsideFile, 0644 },
    };
    for (const auto& save : saves) {
        ASSERT_TRUE(saveBytesAtomically(save.path, "y"));
        EXPECT_EQ(modeOf(save.path), save.mode) << qPrintable(save.path);
    }
    crawlmere::platform::UserDefaults defaults(config + "/defaults.plist");
    defaults.setObject(QStringLiteral("secret"), QStringLiteral("uploadPassword"));
    ASSERT_TRUE(defaults.synchronize());
    EXPECT_EQ(modeOf(config + "/defaults.plist"), 0600u);
    EXPECT_EQ(modeOf(config + "/defaults.plist.lock"), 0600u);
    ASSERT_TRUE(Paths::makeFolder(support + "/thumbs/x"));
    EXPECT_EQ(modeOf(support + "/thumbs/x"), 0700u);
    EXPECT_FALSE(Paths::isPrivate(outside.path()));
    ::umask(previousMask);
}

TEST(Paths, AFolderMadeIsTheUsersAloneWhateverTheUmaskAndOneThatWasThereKeepsItsMode)
{
    const QString support = Paths::applicationSupportFolder();
    ASSERT_TRUE(Paths::makeFolder(support));
    const QString kept = support + "/kept";
    ASSERT_TRUE(QDir().mkpath(kept));
    ASSERT_EQ(::chmod(QFile::encodeName(kept).constData(), 0750), 0);
    // A umask that takes the owner's own bits, and one that takes nothing.
    for (const mode_t mask : { mode_t(0277), mode_t(0) }) {
        SCOPED_TRACE(mask);
        const mode_t previousMask = ::umask(mask);
        const QString made = support + QStringLiteral("/made-%1/inner").arg(mask);
        const bool madeOk = Paths::makeFolder(made);
        const bool keptOk = Paths::makeFolder(kept);
        ::umask(previousMask);
        ASSERT_TRUE(madeOk && keptOk);
        EXPECT_EQ(modeOf(made), 0700u);
        EXPECT_EQ(modeOf(QFileInfo(made).path()), 0700u);
        EXPECT_EQ(modeOf(kept), 0750u);
    }
}
