// Regular-file checks with stat and fstat, an open that never waits for a FIFO's writer.
#include "platform/RegularFile.h"

#include "platform/AtomicFile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace crawlmere::platform {

namespace {

RegularFile::Failure failure(RegularFile::Problem problem, qint64 maxBytes = 0)
{
    return { problem, RegularFile::describe(problem, maxBytes) };
}

std::optional<RegularFile::Failure> kindOf(const struct stat& info)
{
    if (S_ISDIR(info.st_mode))
        return failure(RegularFile::Problem::Folder);
    if (!S_ISREG(info.st_mode))
        return failure(RegularFile::Problem::NotRegular);
    return std::nullopt;
}

RegularFile::Failure failureForErrno(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return failure(RegularFile::Problem::Missing);
    case EACCES:
    case EPERM:
        return failure(RegularFile::Problem::NoPermission);
    default:
        return failure(RegularFile::Problem::ReadFailed);
    }
}

} // namespace

QString RegularFile::describe(Problem problem, qint64 maxBytes)
{
    switch (problem) {
    case Problem::Missing:
        return QStringLiteral("The file doesn't exist.");
    case Problem::Folder:
        return QStringLiteral("The file is a folder.");
    case Problem::NotRegular:
        return QStringLiteral("The file is not a regular file (a device, a FIFO or a socket); it is not read.");
    case Problem::NoPermission:
        return QStringLiteral("The file couldn't be read: permission denied.");
    case Problem::TooLarge:
        return maxBytes > 0 ? QStringLiteral("The file is larger than %1 bytes; it is not read.").arg(maxBytes)
                            : QStringLiteral("The file is larger than the size limit; it is not read.");
    case Problem::ReadFailed:
        return QStringLiteral("The file couldn't be read.");
    }
    return QStringLiteral("The file couldn't be read.");
}

std::optional<RegularFile::Failure> RegularFile::check(const QString& path)
{
    struct stat info { };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return failureForErrno(errno);
    return kindOf(info);
}

Expected<std::unique_ptr<QFile>, RegularFile::Failure> RegularFile::open(const QString& path)
{
    if (auto problem = check(path))
        return Unexpected(*problem);
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (descriptor < 0)
        return Unexpected(failureForErrno(errno));
    struct stat info { };
    if (::fstat(descriptor, &info) != 0) {
        ::close(descriptor);
        return Unexpected(failure(Problem::ReadFailed));
    }
    if (auto problem = kindOf(info)) {
        ::close(descriptor);
        return Unexpected(*problem);
    }
    auto file = std::make_unique<QFile>();
    if (!file->open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(descriptor);
        return Unexpected(failure(Problem::ReadFailed));
    }
    return file;
}

Expected<QByteArray, RegularFile::Failure> RegularFile::read(const QString& path, qint64 maxBytes)
{
    auto opened = open(path);
    if (!opened.ok())
        return Unexpected(opened.error());
    QFile& file = *opened.value();
    if (file.size() > maxBytes)
        return Unexpected(failure(Problem::TooLarge, maxBytes));
    QByteArray bytes = readAtMost(file, maxBytes);
    if (file.error() != QFileDevice::NoError)
        return Unexpected(failure(Problem::ReadFailed));
    if (bytes.size() > maxBytes)
        return Unexpected(failure(Problem::TooLarge, maxBytes));
    return bytes;
}

} // namespace crawlmere::platform
