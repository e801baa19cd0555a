#include "platform/Paths.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

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
