// Atomic writes: the new text in full, or a refusal with its reason.
#include "platform/AtomicFile.h"

#include "platform/PropertyList.h"
#include "support/FileBytes.h"
#include "support/FileSizeLimit.h"
#include "support/SharedFolder.h"
#include "support/WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <functional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

using crawlmere::test::bytesOf;

TEST(AtomicFile, WritesUtf8InFullOrSaysWhyNot)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("a.txt"));
    ASSERT_TRUE(crawlmere::platform::saveTextAtomically(path, QStringLiteral("old")));
    ASSERT_TRUE(crawlmere::platform::saveTextAtomically(path, QStringLiteral("é\n")));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("\xc3\xa9\n"));
    file.close();

    // A missing folder, and a folder in the way of the file: refused with a reason.
    for (const QString& target : { folder.filePath(QStringLiteral("missing/a.txt")), folder.path() }) {
        QString error;
        EXPECT_FALSE(crawlmere::platform::saveTextAtomically(target, QStringLiteral("new"), &error))
            << target.toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_TRUE(QFileInfo(folder.path()).isDir());
}

TEST(AtomicFile, StreamsPiecesInOrderOrKeepsTheOldFileAndSaysWhy)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("s.txt"));
    const struct {
        int givesUpAfter; // pieces written before the writer answers false; 4: it finishes
        QString target;
        const char* reason; // part of the error; null: written
    } cases[] = {
        { 4, path, nullptr },
        { 2, path, "stopped before the file was complete" },
        { 4, folder.filePath(QStringLiteral("missing/s.txt")), "" },
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(crawlmere::platform::saveBytesAtomically(path, "old"));
        QString error;
        const auto writer = [&c](const crawlmere::platform::PieceWriter& write) {
            for (int i = 0; i < c.givesUpAfter; ++i) {
                if (!write(QByteArray(1 + i, char('a' + i))))
                    return false;
            }
            return c.givesUpAfter == 4;
        };
        EXPECT_EQ(crawlmere::platform::saveStreamAtomically(c.target, writer, &error), c.reason == nullptr);
        EXPECT_TRUE(c.reason ? !error.isEmpty() && error.contains(QLatin1String(c.reason)) : error.isEmpty())
            << qPrintable(error);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), c.reason ? QByteArray("old") : QByteArray("abbcccdddd")) << c.givesUpAfter;
        EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList { QStringLiteral("s.txt") });
    }
}

TEST(AtomicFile, ReadsAtMostOneBytePastTheCapAndReservesOnlyWhatItReads)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("b.bin"));
    constexpr qint64 cap = qint64(64) << 20;
    struct Case {
        qint64 fileBytes, capBytes, from, expected;
    };
    for (const Case& c : { Case { 0, cap, 0, 0 }, Case { 10, cap, 0, 10 }, Case { 10, cap, 4, 6 },
             Case { 3 << 20, cap, 0, 3 << 20 }, Case { 100, 100, 0, 100 }, Case { 105, 100, 0, 101 } }) {
        ASSERT_TRUE(crawlmere::platform::saveBytesAtomically(path, QByteArray(c.fileBytes, 'x')));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        file.seek(c.from);
        const QByteArray bytes = crawlmere::platform::readAtMost(file, c.capBytes);
        EXPECT_EQ(bytes.size(), c.expected) << c.fileBytes << " bytes, cap " << c.capBytes;
        // A small file under a large cap holds memory for what it read, not for the cap.
        EXPECT_LE(bytes.capacity(), 3 * c.expected + (qint64(2) << 20));
    }
}

namespace {

/// The type and device number of what is at `path` (links followed), or zeros.
std::pair<mode_t, dev_t> kindAt(const QString& path)
{
    struct stat status { };
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return { 0, 0 };
    return { status.st_mode & S_IFMT, status.st_rdev };
}

/// Every way of saving refuses `target`, says it is `kind`, and leaves it and its folder as they were.
void expectRefusedAndUntouched(const QString& target, const char* kind)
{
    using namespace crawlmere::platform;
    const auto before = kindAt(target);
    const QDir folder = QFileInfo(target).dir();
    const QStringList entries = folder.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    const std::function<bool(QString*)> saves[] = {
        [&](QString* error) { return saveBytesAtomically(target, "new", error); },
        [&](QString* error) {
            return saveStreamAtomically(
                target, [](const PieceWriter& write) { return write("new"); }, error);
        },
        [&](QString* error) {
            const auto written = PropertyList::writeXmlFile(target, QVariantMap { { "k", 1 } });
            *error = written ? QString() : written.error();
            return bool(written);
        },
        [&](QString* error) {
            AtomicFile file(target);
            const bool saved = file.open() && file.write("new") && file.commit();
            *error = file.error();
            return saved;
        },
    };
    for (const auto& save : saves) {
        QString error;
        EXPECT_FALSE(save(&error)) << qPrintable(target);
        EXPECT_TRUE(error.contains(QLatin1String(kind)) && error.contains(QLatin1String("not a regular file")))
            << qPrintable(error);
        EXPECT_EQ(kindAt(target), before) << qPrintable(target);
        EXPECT_EQ(folder.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot), entries);
    }
    EXPECT_EQ(crawlmere::platform::reasonNotToSaveAt(target).isNull(), false);
}

} // namespace

TEST(AtomicFile, NeverReplacesAFolderAFifoASocketOrWhatALinkNames)
{
    QTemporaryDir folder;
    const QString fifo = folder.filePath(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString socketPath = folder.filePath(QStringLiteral("sock"));
    const int descriptor = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(socketPath).constData(), sizeof(address.sun_path) - 1);
    ASSERT_EQ(::bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(descriptor);
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("sub")));
    const QString linkToFifo = folder.filePath(QStringLiteral("to-pipe"));
    ASSERT_TRUE(QFile::link(fifo, linkToFifo));

    const struct {
        QString target;
        const char* kind;
    } cases[] = {
        { folder.filePath(QStringLiteral("sub")), "a folder" },
        { fifo, "a FIFO" },
        { socketPath, "a socket" },
        { linkToFifo, "a FIFO" },
    };
    for (const auto& c : cases)
        expectRefusedAndUntouched(c.target, c.kind);
    EXPECT_TRUE(QFileInfo(linkToFifo).isSymLink());
}

TEST(AtomicFile, NeverReplacesACharacterDevice)
{
    QTemporaryDir folder;
    const QString device = folder.filePath(QStringLiteral("null"));
    if (::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0666, makedev(1, 3)) != 0)
        GTEST_SKIP() << "mknod is not allowed here (" << std::strerror(errno) << "); the device case is not run";
    expectRefusedAndUntouched(device, "a character device");
    EXPECT_EQ(kindAt(device), std::make_pair(mode_t(S_IFCHR), dev_t(makedev(1, 3))));
}

TEST(AtomicFile, APipeReachedThroughTheProcesssOwnDescriptorLinksIsRefusedBeforeAnyWrite)
{
    // "/dev/stdout" with standard output a pipe: the link leads to "pipe:[…]", which no walk of
    // folders reaches, yet the system opens it.
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const QString viaDescriptor = QStringLiteral("/proc/self/fd/%1").arg(ends[1]);
    EXPECT_TRUE(crawlmere::platform::reasonNotToSaveAt(viaDescriptor).contains(QLatin1String("a FIFO")))
        << qPrintable(crawlmere::platform::reasonNotToSaveAt(viaDescriptor));
    ::close(ends[0]);
    ::close(ends[1]);
}

TEST(AtomicFile, WritesThroughALinkToARegularFileAndKeepsTheLink)
{
    QTemporaryDir folder;
    const QString target = folder.filePath(QStringLiteral("real.txt"));
    const QString link = folder.filePath(QStringLiteral("link.txt"));
    ASSERT_TRUE(crawlmere::platform::saveBytesAtomically(target, "old"));
    ASSERT_TRUE(QFile::link(target, link));
    QString error;
    ASSERT_TRUE(crawlmere::platform::saveBytesAtomically(link, "new", &error)) << qPrintable(error);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("new"));
}

TEST(AtomicFile, AWriteOverTheSizeLimitSaysFileTooLargeAndKeepsTheOldFile)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("big.bin"));
    ASSERT_TRUE(crawlmere::platform::saveBytesAtomically(path, "old"));
    // Written in one piece, in many, and through the device.
    const std::function<bool(QString*)> saves[] = {
        [&](QString* error) { return crawlmere::platform::saveBytesAtomically(path, QByteArray(1 << 16, 'y'), error); },
        [&](QString* error) {
            const auto writer = [](const crawlmere::platform::PieceWriter& write) {
                for (int i = 0; i < 64; ++i) {
                    if (!write(QByteArray(1024, 'x')))
                        return false;
                }
                return true;
            };
            return crawlmere::platform::saveStreamAtomically(path, writer, error);
        },
        [&](QString* error) {
            crawlmere::platform::AtomicFile file(path);
            bool saved = file.open();
            for (int i = 0; saved && i < 4096; ++i)
                saved = file.device().write("0123456789abcdef") == 16;
            saved = file.commit() && saved;
            *error = file.error();
            return saved;
        },
    };
    for (const auto& save : saves) {
        bool saved = true;
        QString error;
        ASSERT_TRUE(crawlmere::test::withFileSizeLimit(4096, [&] { saved = save(&error); }));
        EXPECT_FALSE(saved);
        EXPECT_EQ(error, QString::fromLocal8Bit(std::strerror(EFBIG)));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), QByteArray("old"));
    }
}

TEST(AtomicFile, FollowsALinkInASharedFolderOnlyWhereTheKernelsProtectedLinksRuleWould)
{
    using crawlmere::test::SharedFolder;
    if (const QString why = SharedFolder::whyNotRunnable(); !why.isNull())
        GTEST_SKIP() << qPrintable(why);
    const SharedFolder folder;
    ASSERT_TRUE(folder.isValid());
    const QString secret = folder.privateFolder(QStringLiteral("secret.txt"));
    ASSERT_TRUE(crawlmere::platform::saveBytesAtomically(secret, "root's own"));
    // Links of the second user: to root's file, to a file not there yet, to root's folder.
    ASSERT_TRUE(folder.plantLink(secret, QStringLiteral("report.csv")));
    ASSERT_TRUE(folder.plantLink(folder.privateFolder(QStringLiteral("new.csv")), QStringLiteral("new.csv")));
    ASSERT_TRUE(folder.plantLink(folder.privateFolder(), QStringLiteral("site")));
    ASSERT_TRUE(QDir(folder.privateFolder()).mkdir(QStringLiteral("sub")));
    ASSERT_TRUE(folder.plantLink(folder.privateFolder(QStringLiteral("sub")), QStringLiteral("up")));
    // A link of this user's own in the shared folder, and the second user's link in a folder
    // every user may write to that is not sticky: both followed, as the kernel follows them.
    const QString mine = folder.privateFolder(QStringLiteral("mine.txt"));
    ASSERT_TRUE(QFile::link(mine, folder.shared(QStringLiteral("mine.csv"))));
    ASSERT_TRUE(QDir(folder.shared()).mkdir(QStringLiteral("open")));
    ASSERT_EQ(::chmod(QFile::encodeName(folder.shared(QStringLiteral("open"))).constData(), 0777), 0);
    const QString open = folder.privateFolder(QStringLiteral("open.txt"));
    ASSERT_TRUE(folder.plantLink(open, QStringLiteral("open/report.csv")));

    const struct {
        QString target;
        QString written; ///< where the bytes land; null when refused
    } cases[] = {
        { folder.shared(QStringLiteral("report.csv")), {} },
        { folder.shared(QStringLiteral("new.csv")), {} },
        { folder.shared(QStringLiteral("site/sitemap.xml")), {} },
        { folder.shared(QStringLiteral("./site/../site/sitemap.xml")), {} },
        // The kernel takes ".." from where the link leads (root's own secret.txt), not from the text.
        { folder.shared(QStringLiteral("up/../secret.txt")), {} },
        { folder.shared(QStringLiteral("mine.csv")), mine },
        { folder.shared(QStringLiteral("open/report.csv")), open },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(qPrintable(c.target));
        QString error;
        const bool saved = crawlmere::platform::saveBytesAtomically(c.target, "new", &error);
        EXPECT_EQ(saved, !c.written.isNull()) << qPrintable(error);
        if (!c.written.isNull()) {
            EXPECT_EQ(bytesOf(c.written), QByteArray("new"));
            continue;
        }
        EXPECT_TRUE(error.contains(QStringLiteral("a link another user made in the shared folder"))) << qPrintable(error);
        EXPECT_EQ(crawlmere::platform::reasonNotToSaveAt(c.target), error);
    }
    // Nothing of root's was written or made through the second user's links.
    EXPECT_EQ(bytesOf(secret), QByteArray("root's own"));
    EXPECT_EQ(QDir(folder.privateFolder()).entryList(QDir::Files | QDir::NoDotAndDotDot),
        (QStringList { "mine.txt", "open.txt", "secret.txt" }));

    // A file the second user planted open to all where root may write: root's file replaces it
    // with root's own mode, not the planted one.
    const QString planted = folder.shared(QStringLiteral("open/planted.csv"));
    ASSERT_TRUE(SharedFolder::runAsOtherUser({ "sh", "-c", "umask 0; echo theirs > " + planted }));
    const mode_t mask = ::umask(022);
    EXPECT_TRUE(crawlmere::platform::saveBytesAtomically(planted, "new"));
    ::umask(mask);
    struct stat status { };
    ASSERT_EQ(::stat(QFile::encodeName(planted).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, mode_t(0644));
    EXPECT_EQ(status.st_uid, ::geteuid());
}

TEST(AtomicFile, ASecondUserSwappingTheirFolderForALinkNeverRedirectsASave)
{
    using crawlmere::test::SharedFolder;
    if (const QString why = SharedFolder::whyNotRunnable(); !why.isNull())
        GTEST_SKIP() << qPrintable(why);
    const SharedFolder folder;
    ASSERT_TRUE(folder.isValid());
    const QString theirs = folder.shared(QStringLiteral("theirs"));
    ASSERT_TRUE(SharedFolder::runAsOtherUser({ QStringLiteral("mkdir"), theirs }));
    QProcess swapper;
    ASSERT_TRUE(SharedFolder::startSwapping(swapper, theirs, folder.privateFolder())) << qPrintable(swapper.errorString());
    // The saves race the swapper from its first swap on.
    ASSERT_TRUE(crawlmere::test::waitUntil([&] { return QFileInfo::exists(theirs + QStringLiteral(".real")); }))
        << "the swapper never swapped: " << swapper.state() << ' ' << swapper.readAllStandardError().constData();
    int saved = 0;
    QMap<QString, int> refusals; // each reason a save gave, and how often
    for (int i = 0; i < 1000; ++i) {
        QString error;
        if (crawlmere::platform::saveBytesAtomically(theirs + QStringLiteral("/report.csv"), "root's", &error))
            ++saved;
        else
            ++refusals[error];
    }
    swapper.kill();
    swapper.waitForFinished();
    QStringList tally;
    for (auto reason = refusals.cbegin(); reason != refusals.cend(); ++reason)
        tally << QStringLiteral("%1 × %2").arg(reason.value()).arg(reason.key());
    // Another user's folder in the shared folder is never written into, and nothing reaches
    // root's folder through the link swapped in for it.
    EXPECT_EQ(saved, 0) << qPrintable(tally.join('\n'));
    EXPECT_TRUE(QDir(folder.privateFolder()).isEmpty())
        << qPrintable(QDir(folder.privateFolder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).join(' '));
}

TEST(AtomicFile, AFolderToSaveIntoIsMadeOrThisUsersAndNeverReachedThroughAnotherUsersLink)
{
    using crawlmere::test::SharedFolder;
    if (const QString why = SharedFolder::whyNotRunnable(); !why.isNull())
        GTEST_SKIP() << qPrintable(why);
    const SharedFolder folder;
    ASSERT_TRUE(folder.isValid());
    ASSERT_TRUE(folder.plantLink(folder.privateFolder(), QStringLiteral("site")));
    ASSERT_TRUE(SharedFolder::runAsOtherUser({ QStringLiteral("mkdir"), folder.shared(QStringLiteral("theirs")) }));

    const struct {
        const char* name;
        const char* refusal; ///< null: made
    } cases[] = {
        { "site", "a link another user made in the shared folder" },
        { "theirs", "another user's folder in the shared folder" },
        { "mine", nullptr },
        { "mine", nullptr }, // found there the second time
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString reason = crawlmere::platform::makeFolderForSaving(folder.shared(QLatin1String(c.name)));
        if (!c.refusal) {
            EXPECT_TRUE(reason.isNull()) << qPrintable(reason);
            EXPECT_TRUE(QFileInfo(folder.shared(QLatin1String(c.name))).isDir());
            continue;
        }
        EXPECT_TRUE(reason.contains(QLatin1String(c.refusal))) << qPrintable(reason);
    }
    EXPECT_TRUE(QDir(folder.privateFolder()).isEmpty());
}

TEST(AtomicFile, AFileForTheOwnerAloneIsWrittenWithMode0600EvenOverAReadableOne)
{
    QTemporaryDir folder;
    const mode_t mask = ::umask(022);
    const QString readable = folder.filePath(QStringLiteral("readable.txt"));
    const QString replaced = folder.filePath(QStringLiteral("replaced.txt"));
    const QString fresh = folder.filePath(QStringLiteral("fresh.txt"));
    ASSERT_TRUE(crawlmere::platform::saveBytesAtomically(readable, "a"));
    ASSERT_TRUE(crawlmere::platform::saveBytesAtomically(replaced, "a"));
    ASSERT_TRUE(
        crawlmere::platform::saveBytesAtomically(replaced, "b", nullptr, crawlmere::platform::FileAccess::OwnerOnly));
    ASSERT_TRUE(
        crawlmere::platform::saveBytesAtomically(fresh, "b", nullptr, crawlmere::platform::FileAccess::OwnerOnly));
    ::umask(mask);
    const auto modeOf = [](const QString& path) {
        struct stat status { };
        return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : mode_t(07777);
    };
    EXPECT_EQ(modeOf(readable), mode_t(0644));
    EXPECT_EQ(modeOf(replaced), mode_t(0600));
    EXPECT_EQ(modeOf(fresh), mode_t(0600));
    EXPECT_EQ(bytesOf(replaced), QByteArray("b"));
}

TEST(AtomicFile, ASaveWhoseFolderTurnsIntoALinkWhileItIsWrittenIsDropped)
{
    QTemporaryDir folder;
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("sub")));
    const QString target = folder.filePath(QStringLiteral("sub/file.txt"));
    QString error;
    const bool saved = crawlmere::platform::saveStreamAtomically(
        target,
        [&](const crawlmere::platform::PieceWriter& write) {
            // The folder goes elsewhere and a link takes its place, between the opening and the end.
            return write("new") && QDir(folder.path()).rename(QStringLiteral("sub"), QStringLiteral("elsewhere"))
                && QFile::link(folder.filePath(QStringLiteral("elsewhere")), folder.filePath(QStringLiteral("sub")));
        },
        &error);
    EXPECT_FALSE(saved);
    EXPECT_EQ(error, QStringLiteral("a link on the way to it was changed while it was written; nothing was written there"));
    EXPECT_TRUE(QDir(folder.filePath(QStringLiteral("elsewhere"))).isEmpty());
}

TEST(AtomicFile, RefusalsAreToldByKindAndAPathWithATrailingSlashNamesTheSameFolder)
{
    using crawlmere::platform::HeldFolder;
    using crawlmere::platform::MissingFolders;
    using Kind = crawlmere::platform::WriteError::Kind;
    QTemporaryDir folder;
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder.filePath(QStringLiteral("fifo"))).constData(), 0600), 0);
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("sub")));
    ASSERT_TRUE(QFile::link(folder.filePath(QStringLiteral("sub")), folder.filePath(QStringLiteral("link"))));

    const struct {
        const char* path;
        Kind kind;
    } spots[] = {
        { "fifo", Kind::Refused },
        { "sub", Kind::Refused },
        { "sub/", Kind::Refused },
        { "missing/file.txt", Kind::System },
        { "fifo/file.txt", Kind::System },
    };
    for (const auto& spot : spots) {
        SCOPED_TRACE(spot.path);
        const auto reached = crawlmere::platform::reachFileSpot(folder.filePath(QLatin1String(spot.path)));
        ASSERT_FALSE(reached.ok());
        EXPECT_EQ(reached.error().kind, spot.kind) << qPrintable(reached.error().reason);
        // Only the write path's own refusals are said before the writing.
        EXPECT_EQ(crawlmere::platform::reasonNotToSaveAt(folder.filePath(QLatin1String(spot.path))).isNull(),
            spot.kind == Kind::System);
    }
    EXPECT_EQ(HeldFolder::reach(folder.path())->child(QStringLiteral("link")).error().kind, Kind::Refused);

    // The last folder of a path is made with or without a trailing "/"; those before it never.
    const struct {
        const char* path;
        bool made;
    } folders[] = { { "new", true }, { "slash/", true }, { "dot/.", true }, { "sub/deeper//", true },
        { "absent/last", false }, { "absent2/last/", false } };
    for (const auto& made : folders) {
        SCOPED_TRACE(made.path);
        const QString path = folder.filePath(QLatin1String(made.path));
        const auto reached = HeldFolder::reach(path, MissingFolders::MakeLast);
        EXPECT_EQ(reached.ok(), made.made);
        EXPECT_EQ(QFileInfo(path).isDir(), made.made);
        if (!made.made) {
            EXPECT_EQ(reached.error().kind, Kind::System);
        }
    }
}

TEST(AtomicFile, AFileThatKeepsWhatHasItsNameTakesTheFirstFreeName)
{
    using crawlmere::platform::AtomicFile;
    QTemporaryDir folder;
    const auto held = crawlmere::platform::HeldFolder::reach(folder.path());
    ASSERT_TRUE(held.ok());
    ASSERT_TRUE(crawlmere::platform::saveBytesAtomically(folder.filePath(QStringLiteral("build.zip")), "old"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder.filePath(QStringLiteral("build (2).zip"))).constData(), 0600), 0);

    AtomicFile file(*held, QStringLiteral("build.zip"), crawlmere::platform::FileAccess::Usual,
        crawlmere::platform::ExistingEntry::Keep);
    ASSERT_TRUE(file.open());
    ASSERT_TRUE(file.write("partial"));
    // A new opening starts from an empty file.
    ASSERT_TRUE(file.open());
    ASSERT_TRUE(file.write("new"));
    ASSERT_TRUE(file.sync());
    EXPECT_FALSE(file.commit());
    EXPECT_TRUE(file.nameTaken());
    EXPECT_FALSE(file.commitAs(QStringLiteral("build (2).zip")));
    EXPECT_TRUE(file.nameTaken());
    EXPECT_TRUE(file.commitAs(QStringLiteral("build (3).zip")));
    EXPECT_EQ(bytesOf(folder.filePath(QStringLiteral("build.zip"))), QByteArray("old"));
    EXPECT_EQ(bytesOf(folder.filePath(QStringLiteral("build (3).zip"))), QByteArray("new"));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
        (QStringList { "build (2).zip", "build (3).zip", "build.zip" }));
}
