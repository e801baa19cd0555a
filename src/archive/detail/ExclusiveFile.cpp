// Files created under a name nobody else holds, appearing only once complete.
#include "archive/detail/ExclusiveFile.h"

#include "platform/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace crawlmere::archive::detail {

namespace {

/// Readable as any file the user saves, except in the application's own folders.
mode_t fileModeIn(const QString& folder) { return platform::Paths::isPrivate(folder) ? 0600 : 0644; }

bool writeAll(int fd, const QByteArray& data)
{
    const char* bytes = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, bytes, static_cast<size_t>(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        left -= written;
    }
    return true;
}

/// Links the file open on `from` (a path naming it) under the first free name.
QString linkUnderFreeName(
    const QByteArray& from, int flags, const QString& folder, int attempts, const std::function<QString(int)>& nameFor)
{
    for (int attempt = 0; attempt < attempts; ++attempt) {
        const QString name = nameFor(attempt);
        if (name.isEmpty())
            return QString();
        const QByteArray to = QFile::encodeName(childPath(folder, name));
        if (::linkat(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), flags) == 0)
            return name;
        if (errno != EEXIST)
            return QString();
    }
    return QString();
}

} // namespace

QString ExclusiveFile::create(
    const QString& folder, const QByteArray& data, int attempts, const std::function<QString(int)>& nameFor)
{
    // An unnamed file in the folder, named only once it is complete: no temporary name to remove.
    const int fd = ::open(QFile::encodeName(folder).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, fileModeIn(folder));
    if (fd >= 0) {
        QString name;
        if (writeAll(fd, data)) {
            const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
            name = linkUnderFreeName(self, AT_SYMLINK_FOLLOW, folder, attempts, nameFor);
        }
        ::close(fd);
        return name;
    }
    // File systems without unnamed files: a temporary name, linked, then dropped.
    QTemporaryFile temporary(childPath(folder, QStringLiteral(".partial-XXXXXX")));
    if (!temporary.open())
        return QString();
    if (!platform::Paths::isPrivate(folder))
        temporary.setPermissions(
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    if (temporary.write(data) != data.size() || !temporary.flush())
        return QString();
    return linkUnderFreeName(QFile::encodeName(temporary.fileName()), 0, folder, attempts, nameFor);
}

bool ExclusiveFile::createAt(const QString& path, const QByteArray& data)
{
    const QString folder = QFileInfo(path).path();
    const QString name = QFileInfo(path).fileName();
    return !create(folder, data, 1, [&](int) { return name; }).isNull();
}

} // namespace crawlmere::archive::detail
