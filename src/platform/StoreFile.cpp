// Reading a store without blocking, and the lock beside it.
#include "platform/StoreFile.h"

#include "platform/HeldFolder.h"
#include "platform/AtomicFile.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace crawlmere::platform {

namespace {

QString errnoText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

/// Tries to lock `fd` (flock, exclusive) until `deadline`; tells `waiting` once when another
/// program holds it. False with errno set when the lock was not taken (EWOULDBLOCK: timed out).
bool lockBefore(int fd, const QDeadlineTimer& deadline, const std::function<void()>& waiting)
{
    bool told = false;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK || deadline.hasExpired())
            return false;
        if (!told && waiting) {
            told = true;
            waiting();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min<qint64>(25, deadline.remainingTime() + 1)));
    }
}

/// True for a lock file this process may lock: a regular file of its own user (root takes
/// any), readable and writable by that user.
bool isOwnLockFile(const struct stat& status)
{
    const uid_t user = ::geteuid();
    return S_ISREG(status.st_mode) && (user == 0 || status.st_uid == user)
        && (user == 0 || (status.st_mode & (S_IRUSR | S_IWUSR)) == (S_IRUSR | S_IWUSR));
}

} // namespace

Expected<StoreContents> readStoreFile(const QString& path, qint64 maxBytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT)
            return StoreContents {};
        return Unexpected(QStringLiteral("%1: %2").arg(path, errnoText(errno)));
    }
    QFile file;
    struct stat status { };
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        const int error = errno;
        ::close(fd);
        return Unexpected(S_ISREG(status.st_mode) || status.st_mode == 0
                ? QStringLiteral("%1: %2").arg(path, errnoText(error))
                : QStringLiteral("%1: it is %2, not a regular file").arg(path, kindOfEntry(status)));
    }
    if (status.st_size > maxBytes || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return Unexpected(QStringLiteral("%1: larger than %2 bytes").arg(path, QString::number(maxBytes)));
    }
    StoreContents contents { true, readAtMost(file, maxBytes) };
    if (file.error() != QFileDevice::NoError)
        return Unexpected(QStringLiteral("%1: %2").arg(path, file.errorString()));
    if (contents.bytes.size() > maxBytes)
        return Unexpected(QStringLiteral("%1: larger than %2 bytes").arg(path, QString::number(maxBytes)));
    return contents;
}

QString moveStoreAside(const QString& path, const QString& suffix)
{
    const auto spot = reachFileSpot(path);
    if (!spot || !spot->existing)
        return {};
    const int folder = spot->folder.descriptor();
    for (int n = 1; n < 1000; ++n) {
        const QByteArray aside = spot->name + QFile::encodeName(suffix) + (n == 1 ? QByteArray() : '-' + QByteArray::number(n));
        if (::renameat2(folder, spot->name.constData(), folder, aside.constData(), RENAME_NOREPLACE) == 0)
            return QFileInfo(path).dir().filePath(QFile::decodeName(aside));
        if (errno != EEXIST)
            return {};
    }
    return {};
}

StoreLock::StoreLock(const QString& path, std::chrono::milliseconds wait, const std::function<void()>& waiting)
    : m_path(path)
    , m_name(QFile::encodeName(QFileInfo(path).fileName()))
{
    auto folder = HeldFolder::reach(QFileInfo(path).absolutePath());
    if (!folder || m_name.isEmpty()) {
        m_error = QStringLiteral("%1: %2").arg(path, folder ? errnoText(EISDIR) : folder.error().reason);
        return;
    }
    m_folder = std::move(folder).value();
    const QDeadlineTimer deadline(wait);
    for (int attempt = 0; attempt < 20 && m_fd < 0 && m_error.isNull(); ++attempt) {
        const int fd = ::openat(
            m_folder.descriptor(), m_name.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600);
        const int openError = fd < 0 ? errno : 0;
        struct stat status { };
        if (fd >= 0 && ::fstat(fd, &status) == 0 && isOwnLockFile(status)) {
            if (!lockBefore(fd, deadline, waiting)) {
                const int lockError = errno;
                ::close(fd);
                m_timedOut = lockError == EWOULDBLOCK;
                m_error = m_timedOut ? QStringLiteral("another Crawlmere kept %1 locked").arg(path)
                                     : QStringLiteral("%1: %2").arg(path, errnoText(lockError));
                return;
            }
            // The lock counts only on the file the name still stands for: one replaced
            // while this process waited is locked again.
            struct stat named { };
            if (::fstatat(m_folder.descriptor(), m_name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0
                && named.st_dev == status.st_dev && named.st_ino == status.st_ino) {
                m_fd = fd;
                return;
            }
            ::close(fd);
            continue;
        }
        if (fd >= 0)
            ::close(fd);
        if (openError != 0 && openError != EACCES && openError != EPERM && openError != ELOOP) {
            m_error = QStringLiteral("%1: %2").arg(path, errnoText(openError));
            return;
        }
        replaceForeignFile(deadline, waiting, openError);
    }
    if (m_fd < 0 && m_error.isNull())
        m_error = QStringLiteral("%1: it keeps being replaced").arg(path);
}

StoreLock::~StoreLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // releases the lock
}

void StoreLock::replaceForeignFile(const QDeadlineTimer& deadline, const std::function<void()>& waiting, int openError)
{
    const QString& path = m_path;
    // A descriptor of its own for the folder's lock, so that closing it lets the lock go.
    const int folderFd = ::openat(m_folder.descriptor(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0 || !lockBefore(folderFd, deadline, waiting)) {
        const int error = errno;
        if (folderFd >= 0)
            ::close(folderFd);
        m_timedOut = error == EWOULDBLOCK;
        m_error = m_timedOut ? QStringLiteral("another Crawlmere kept %1 locked").arg(m_folder.path())
                             : QStringLiteral("%1: %2").arg(m_folder.path(), errnoText(error));
        return;
    }
    struct stat status { };
    if (::fstatat(m_folder.descriptor(), m_name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
        // Gone meanwhile (another program replacing it; the next attempt makes it), or
        // never there and not to be made (the folder is not writable).
        if (errno != ENOENT || (openError != 0 && ++m_refusedWhileAbsent >= 3))
            m_error = QStringLiteral("%1: %2").arg(path, errnoText(openError != 0 ? openError : errno));
    } else if (S_ISDIR(status.st_mode)) {
        m_error = QStringLiteral("%1: is a folder").arg(path);
    } else if (!isOwnLockFile(status) && ::unlinkat(m_folder.descriptor(), m_name.constData(), 0) != 0) {
        m_error = QStringLiteral("%1: %2 (it is not this user's own file and cannot be replaced)")
                      .arg(path, errnoText(errno));
    }
    ::close(folderFd);
}


} // namespace crawlmere::platform
