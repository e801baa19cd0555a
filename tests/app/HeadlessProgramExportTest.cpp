// The built program's exports where they cannot go (a device, a FIFO, a folder, another user's
// link, a full disk) and its runtime folder.
#include "HeadlessProgramTestSupport.h"

using namespace crawlmere::test::program;

TEST(HeadlessProgram, AnExportOverADeviceAFifoOrAFolderIsRefusedAndLeftAlone)
{
    if (!QFileInfo::exists(programPath()))
        GTEST_SKIP() << "the crawlmere program is not built beside the tests";
    const QString page
        = QFileInfo(QStringLiteral(CRAWLMERE_FIXTURES "/../../examples/sample-site/index.html")).absoluteFilePath();
    QTemporaryDir home;
    const struct {
        const char* name;
        const char* kind;
        std::function<int(const QByteArray&)> make;
    } targets[] = {
        { "device", "a character device",
            [](const QByteArray& path) { return ::mknod(path.constData(), S_IFCHR | 0666, makedev(1, 3)); } },
        { "fifo", "a FIFO (named pipe)", [](const QByteArray& path) { return ::mkfifo(path.constData(), 0600); } },
        { "folder", "a folder", [](const QByteArray& path) { return ::mkdir(path.constData(), 0700); } },
    };
    const QStringList exports[] = { { "--csv" }, { "--view", "1", "--html" }, { "--sitemap" } };
    for (const auto& target : targets) {
        const QString path = home.filePath(QString::fromLatin1(target.name));
        if (target.make(QFile::encodeName(path)) != 0) {
            std::cout << "[  SKIPPED ] " << target.name << ": cannot be made here (" << std::strerror(errno) << ")\n";
            continue;
        }
        struct stat before { };
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &before), 0);
        for (const QStringList& option : exports) {
            const ProgramRun run
                = runProgram(QStringList { QStringLiteral("--headless") } + option + QStringList { path, page },
                    QString(), home.path());
            EXPECT_EQ(run.status, 1) << target.name << " " << qPrintable(option.join(' '));
            EXPECT_TRUE(run.err.contains(
                QStringLiteral("cannot write %1: it is %2, not a regular file").arg(path, QLatin1String(target.kind))))
                << qPrintable(run.err);
            struct stat after { };
            ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &after), 0);
            EXPECT_EQ(after.st_mode, before.st_mode);
            EXPECT_EQ(after.st_rdev, before.st_rdev);
            EXPECT_EQ(after.st_ino, before.st_ino);
        }
    }
}

TEST(HeadlessProgram, AnExportThroughAnotherUsersLinkInASharedFolderIsRefusedAndLeftAlone)
{
    using crawlmere::test::SharedFolder;
    if (!QFileInfo::exists(programPath()))
        GTEST_SKIP() << "the crawlmere program is not built beside the tests";
    if (const QString why = SharedFolder::whyNotRunnable(); !why.isNull())
        GTEST_SKIP() << qPrintable(why);
    const QString page
        = QFileInfo(QStringLiteral(CRAWLMERE_FIXTURES "/../../examples/sample-site/index.html")).absoluteFilePath();
    QTemporaryDir home;
    const SharedFolder folder;
    ASSERT_TRUE(folder.isValid());
    const QString secret = folder.privateFolder(QStringLiteral("secret.txt"));
    ASSERT_TRUE(crawlmere::platform::saveBytesAtomically(secret, "root's own"));
    const struct {
        QStringList options;
        const char* link;
        QString target; ///< root's file, or a file in root's folder that is not there
        const char* below = ""; ///< what the export names after the link
    } cases[] = {
        { { "--csv" }, "report.csv", secret },
        { { "--sitemap" }, "sitemap.xml", secret },
        { { "--view", "1", "--html" }, "x.html", folder.privateFolder(QStringLiteral("x.html")) },
        { { "--csv" }, "new.csv", folder.privateFolder(QStringLiteral("new.csv")) },
        // The kernel takes ".." from where the link leads: root's secret.txt, not the shared folder's.
        { { "--csv" }, "up", folder.privateFolder(QStringLiteral("sub")), "/../secret.txt" },
        { { "--sitemap" }, "up2", folder.privateFolder(QStringLiteral("sub")), "/../secret.txt" },
        { { "--view", "1", "--html" }, "up3", folder.privateFolder(QStringLiteral("sub")), "/../secret.txt" },
    };
    ASSERT_TRUE(QDir(folder.privateFolder()).mkdir(QStringLiteral("sub")));
    for (const auto& c : cases) {
        const QString link = folder.shared(QLatin1String(c.link));
        const QString target = link + QLatin1String(c.below);
        SCOPED_TRACE(qPrintable(c.options.join(' ') + u' ' + target));
        ASSERT_TRUE(folder.plantLink(c.target, QLatin1String(c.link)));
        const ProgramRun run = runProgram(
            QStringList { QStringLiteral("--headless") } + c.options + QStringList { target, page }, QString(), home.path());
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.err.contains(QStringLiteral("cannot write %1: it is reached through %2, a link another user "
                                                    "made in the shared folder %3")
                                         .arg(target, link, folder.shared())))
            << qPrintable(run.err);
        EXPECT_TRUE(QFileInfo(link).isSymLink());
    }
    QFile kept(secret);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("root's own"));
    EXPECT_EQ(QDir(folder.privateFolder()).entryList(QDir::Files), QStringList { "secret.txt" });
}

TEST(HeadlessProgram, AnExportOnAFullDiskSaysSoAndKeepsTheOldFile)
{
    if (!QFileInfo::exists(programPath()))
        GTEST_SKIP() << "the crawlmere program is not built beside the tests";
    const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
    if (::geteuid() != 0 || unshare.isEmpty())
        GTEST_SKIP() << "a full disk is made as root, in a mount namespace of its own (unshare)";
    const QString page
        = QFileInfo(QStringLiteral(CRAWLMERE_FIXTURES "/../../examples/sample-site/index.html")).absoluteFilePath();
    for (const QString& option : { QStringLiteral("--csv"), QStringLiteral("--sitemap") }) {
        SCOPED_TRACE(qPrintable(option));
        QTemporaryDir home;
        const QString disk = home.filePath(QStringLiteral("disk"));
        ASSERT_TRUE(QDir().mkpath(disk));
        // A 16 KB file system filled up, with an earlier export on it; gone with the namespace.
        const QString script
            = QStringLiteral("mount -t tmpfs -o size=16k tmpfs \"$1\" || exit 77; echo old > \"$1/out\"; "
                             "dd if=/dev/zero of=\"$1/fill\" bs=1k 2>/dev/null; "
                             "\"$2\" --headless \"$4\" \"$1/out\" \"$3\"; status=$?; "
                             "cat \"$1/out\"; exit $status");
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("CRAWLMERE_HOME"), home.path());
        process.setProcessEnvironment(environment);
        process.start(unshare,
            { QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"), script, QStringLiteral("sh"), disk,
                programPath(), page, option });
        const ProgramRun run = finishedRun(process);
        if (run.status == 77 || run.err.contains(QStringLiteral("unshare failed")))
            GTEST_SKIP() << "mounting is not allowed here: " << qPrintable(run.err);
        EXPECT_TRUE(run.err.contains(
            QStringLiteral("cannot write %1/out: %2").arg(disk, QString::fromLocal8Bit(std::strerror(ENOSPC)))))
            << qPrintable(run.err);
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.out.endsWith(QStringLiteral("\nold\n"))) << qPrintable(run.out);
    }
}

TEST(HeadlessProgram, WithoutARuntimeFolderOnlyAPrivateOneIsUsedAndNothingPlantedIsChanged)
{
    if (!QFileInfo::exists(programPath()))
        GTEST_SKIP() << "the crawlmere program is not built beside the tests";
    if (::geteuid() != 0)
        GTEST_SKIP() << "planting another user's entries in a shared folder needs root";
    const passwd* user = ::getpwuid(::geteuid());
    ASSERT_NE(user, nullptr);
    const QString own = QStringLiteral("runtime-") + QString::fromLocal8Bit(user->pw_name);
    enum class Planted { Nothing, LinkToAFolder, OthersFolder, OwnOpenFolder };
    for (const Planted planted : { Planted::Nothing, Planted::LinkToAFolder, Planted::OthersFolder, Planted::OwnOpenFolder }) {
        SCOPED_TRACE(int(planted));
        QTemporaryDir base;
        // A sticky folder everyone can write to, as the temporary folder is.
        const QString shared = base.filePath(QStringLiteral("tmp"));
        ASSERT_EQ(::mkdir(QFile::encodeName(shared).constData(), 0755), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
        const QByteArray target = QFile::encodeName(base.filePath(QStringLiteral("system")));
        ASSERT_EQ(::mkdir(target.constData(), 0755), 0);
        const QByteArray named = QFile::encodeName(shared + QLatin1Char('/') + own);
        switch (planted) {
        case Planted::Nothing:
            break;
        case Planted::LinkToAFolder:
            ASSERT_EQ(::symlink(target.constData(), named.constData()), 0);
            ASSERT_EQ(::lchown(named.constData(), 42001, 42001), 0);
            break;
        case Planted::OthersFolder:
        case Planted::OwnOpenFolder:
            ASSERT_EQ(::mkdir(named.constData(), 0755), 0);
            ASSERT_EQ(::chmod(named.constData(), 0755), 0);
            if (planted == Planted::OthersFolder) {
                ASSERT_EQ(::chown(named.constData(), 42001, 42001), 0);
            }
            break;
        }
        struct stat plantedBefore { };
        ::lstat(named.constData(), &plantedBefore);

        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("CRAWLMERE_HOME"), base.filePath(QStringLiteral("home")));
        environment.insert(QStringLiteral("TMPDIR"), shared);
        for (const char* name : { "XDG_RUNTIME_DIR", "DISPLAY", "WAYLAND_DISPLAY" })
            environment.remove(QString::fromLatin1(name));
        process.setProcessEnvironment(environment);
        process.start(programPath(), { QStringLiteral("--version") });
        const ProgramRun run = finishedRun(process);
        EXPECT_EQ(run.status, 0) << qPrintable(run.err);

        struct stat status { };
        ASSERT_EQ(::lstat(target.constData(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0755u);
        // Whatever was planted is as it was; the program made a folder of its own, 0700.
        QStringList made;
        for (const QString& name : QDir(shared).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
            const QByteArray path = QFile::encodeName(shared + QLatin1Char('/') + name);
            ASSERT_EQ(::lstat(path.constData(), &status), 0);
            if (planted != Planted::Nothing && path == named) {
                EXPECT_EQ(status.st_mode, plantedBefore.st_mode);
                EXPECT_EQ(status.st_uid, plantedBefore.st_uid);
                continue;
            }
            made.append(name);
            EXPECT_TRUE(S_ISDIR(status.st_mode)) << qPrintable(name);
            EXPECT_EQ(status.st_mode & 07777, 0700u) << qPrintable(name);
            EXPECT_EQ(status.st_uid, ::geteuid()) << qPrintable(name);
        }
        // The usual name is kept for the next start; a fresh folder went when the program ended.
        EXPECT_EQ(made, planted == Planted::Nothing ? QStringList { own } : QStringList()) << qPrintable(made.join(u' '));
    }
}
