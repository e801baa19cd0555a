// Local files that are not what they seem: devices, FIFOs, folders and files over the cap are
// refused without being read (a FIFO would block the open, a device would never end).
#include "platform/RegularFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using crawlmere::platform::RegularFile;
using Problem = RegularFile::Problem;

namespace {

struct Case {
    const char* name;
    QString path;
    std::optional<Problem> problem; // nullopt: read whole
};

} // namespace

TEST(RegularFile, OnlyRegularFilesUnderTheCapAreRead)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString small = folder.filePath("small.html");
    const QString large = folder.filePath("large.html");
    const QString fifo = folder.filePath("pipe");
    const QString link = folder.filePath("to-zero");
    {
        QFile file(small);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("<html>1234567890</html>");
    }
    {
        QFile file(large);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(1000)); // sparse: never written, but 1000 bytes long
    }
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), link));

    const Case cases[] = {
        { "a small regular file", small, std::nullopt },
        { "a file over the cap", large, Problem::TooLarge },
        { "a FIFO without a writer", fifo, Problem::NotRegular },
        { "a character device", QStringLiteral("/dev/zero"), Problem::NotRegular },
        { "a link to a device", link, Problem::NotRegular },
        { "a folder", folder.path(), Problem::Folder },
        { "nothing", folder.filePath("none"), Problem::Missing },
    };
    for (const Case& c : cases) {
        const auto read = RegularFile::read(c.path, 100);
        if (!c.problem) {
            ASSERT_TRUE(read.ok()) << c.name;
            EXPECT_EQ(read.value(), QByteArray("<html>1234567890</html>")) << c.name;
            EXPECT_FALSE(RegularFile::check(c.path)) << c.name;
            continue;
        }
        ASSERT_FALSE(read.ok()) << c.name;
        EXPECT_EQ(read.error().problem, *c.problem) << c.name;
        EXPECT_FALSE(read.error().reason.isEmpty()) << c.name;
    }
    EXPECT_TRUE(RegularFile::read(large, 1000).ok()) << "exactly the cap is read";
    EXPECT_EQ(RegularFile::read(large, 100).error().reason,
        QStringLiteral("The file is larger than 100 bytes; it is not read."));
    EXPECT_TRUE(RegularFile::read(fifo, 100).error().reason.contains(QStringLiteral("not a regular file")));
}
