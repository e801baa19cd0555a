// Walking a path from "/" by descriptors, and writing only through the folder reached.
#include "platform/HeldFolder.h"

#include <QDir>
#include <QFile>
#include <QList>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace crawlmere::platform {

namespace {

/// More links than this on one path: the walk stops, as the kernel's does.
constexpr int kMostLinks = 40;
/// Tries at one name that keeps changing while it is looked at.
constexpr int kMostTries = 64;

QString errnoText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

WriteError systemError(int error) { return { WriteError::Kind::System, errnoText(error) }; }

WriteError refusal(const QString& reason) { return { WriteError::Kind::Refused, reason }; }

QByteArray joined(const QByteArray& folder, const QByteArray& name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

QByteArray parentOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

/// A sticky folder every user may write to (the temporary folder, a shared folder).
bool isSharedFolder(const struct stat& folder)
{
    return S_ISDIR(folder.st_mode) && (folder.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH);
}

/// The kernel's rule for links and files in a shared folder: only this user's own entries or
/// the folder owner's are used there.
bool mayUse(const struct stat& folder, const struct stat& entry)
{
    return !isSharedFolder(folder) || entry.st_uid == ::geteuid() || entry.st_uid == folder.st_uid;
}

void addToRoute(QByteArray& route, const struct stat& status)
{
    route.append(reinterpret_cast<const char*>(&status.st_dev), sizeof status.st_dev);
    route.append(reinterpret_cast<const char*>(&status.st_ino), sizeof status.st_ino);
}

const WriteError kKeepsChanging { WriteError::Kind::Changed,
    QStringLiteral("it kept changing while it was looked at; nothing was written there") };

} // namespace

/// One walk: the folder reached so far and the names still to go (the next one last).
struct FolderWalk {
    HeldFolder current;
    std::vector<QByteArray> pending;
    QByteArray route;
    int links = 0;

    /// Queues `names` (a path or a link's target) to be walked next; an absolute one starts
    /// again at "/". A trailing "/" or "/." leaves a "." to say the path names a folder.
    Expected<void, WriteError> push(const QByteArray& names)
    {
        const QList<QByteArray> parts = names.split('/');
        if (parts.size() > 1 && (parts.last().isEmpty() || parts.last() == "."))
            pending.push_back(".");
        for (auto name = parts.crbegin(); name != parts.crend(); ++name) {
            if (!name->isEmpty() && *name != ".")
                pending.push_back(*name);
        }
        if (names.startsWith('/'))
            return open("/");
        return {};
    }

    Expected<void, WriteError> start(const QString& path)
    {
        QByteArray encoded = QFile::encodeName(path);
        if (encoded.isEmpty())
            return Unexpected(systemError(ENOENT));
        if (!encoded.startsWith('/'))
            encoded = joined(QFile::encodeName(QDir::currentPath()), encoded);
        return push(encoded);
    }

    /// Holds `fd` as the folder reached, at `where`.
    Expected<void, WriteError> hold(int fd, const QByteArray& where)
    {
        struct stat status { };
        if (fd < 0)
            return Unexpected(systemError(errno));
        if (::fstat(fd, &status) != 0 || !S_ISDIR(status.st_mode)) {
            const int error = errno;
            ::close(fd);
            return Unexpected(systemError(S_ISDIR(status.st_mode) ? error : ENOTDIR));
        }
        current = HeldFolder();
        current.m_fd = fd;
        current.m_status = status;
        current.m_path = QFile::decodeName(where);
        addToRoute(route, status);
        return {};
    }

    Expected<void, WriteError> open(const char* root) { return hold(::open(root, O_RDONLY | O_DIRECTORY | O_CLOEXEC), root); }

    /// The parent of the folder reached, whatever text led to it.
    Expected<void, WriteError> up()
    {
        return hold(::openat(current.m_fd, "..", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC),
            parentOf(QFile::encodeName(current.m_path)));
    }

    QByteArray here() const { return QFile::encodeName(current.m_path); }

    /// Follows the link `name` (`status` its lstat) when the rule allows: its target is queued.
    Expected<void, WriteError> follow(const QByteArray& name, const struct stat& status, bool* changed)
    {
        *changed = false;
        if (!mayUse(current.m_status, status)) {
            return Unexpected(refusal(QStringLiteral("it is reached through %1, a link another user made in the shared "
                                                     "folder %2, and such a link is not followed; nothing was written there")
                                          .arg(QFile::decodeName(joined(here(), name)), current.m_path)));
        }
        std::array<char, PATH_MAX> target { };
        const ssize_t length = ::readlinkat(current.m_fd, name.constData(), target.data(), target.size());
        struct stat again { };
        // The link read must be the one checked: a link's text never changes, its name may.
        if (length < 0 || ::fstatat(current.m_fd, name.constData(), &again, AT_SYMLINK_NOFOLLOW) != 0
            || again.st_ino != status.st_ino || again.st_dev != status.st_dev || again.st_uid != status.st_uid
            || !S_ISLNK(again.st_mode)) {
            *changed = true;
            return {};
        }
        if (++links > kMostLinks || length == 0 || size_t(length) >= target.size())
            return Unexpected(systemError(ELOOP));
        addToRoute(route, status);
        return push(QByteArray(target.data(), qsizetype(length)));
    }

    /// Goes into the folder `name` of the one reached (or queues a link's target when
    /// `followLinks`), making it when missing and asked to.
    Expected<void, WriteError> enter(const QByteArray& name, MissingFolders missing, mode_t mode, bool followLinks)
    {
        bool made = false;
        for (int attempt = 0; attempt < kMostTries; ++attempt) {
            struct stat status { };
            if (::fstatat(current.m_fd, name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno != ENOENT || missing == MissingFolders::Refuse)
                    return Unexpected(systemError(errno));
                if (::mkdirat(current.m_fd, name.constData(), mode) == 0)
                    made = true;
                else if (errno != EEXIST)
                    return Unexpected(systemError(errno));
                continue;
            }
            if (S_ISLNK(status.st_mode)) {
                if (!followLinks) {
                    return Unexpected(refusal(QStringLiteral("%1 is a link, not a folder; nothing was written there")
                                                  .arg(QFile::decodeName(joined(here(), name)))));
                }
                bool changed = false;
                if (auto followed = follow(name, status, &changed); !followed || !changed)
                    return followed;
                continue;
            }
            if (!S_ISDIR(status.st_mode))
                return Unexpected(systemError(ENOTDIR));
            const int fd = ::openat(current.m_fd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd < 0) {
                // Swapped for a link or removed since it was looked at: looked at again.
                if (errno == ELOOP || errno == ENOTDIR || errno == ENOENT)
                    continue;
                return Unexpected(systemError(errno));
            }
            struct stat opened { };
            if (::fstat(fd, &opened) != 0 || !S_ISDIR(opened.st_mode)) {
                ::close(fd);
                continue;
            }
            // A private folder this walk made gets its mode exactly, whatever the umask took off;
            // one it did not make (or another user's, made in its place) is left as it is.
            if (made && (mode & 077) == 0 && opened.st_uid == ::geteuid() && (opened.st_mode & 07777) != mode
                && ::fchmod(fd, mode) != 0) {
                const int error = errno;
                ::close(fd);
                return Unexpected(systemError(error));
            }
            if (!mayUse(current.m_status, opened)) {
                ::close(fd);
                return Unexpected(refusal(
                    QStringLiteral("it is another user's folder in the shared folder %1; nothing was written there")
                        .arg(current.m_path)));
            }
            return hold(fd, joined(here(), name));
        }
        return Unexpected(kKeepsChanging);
    }

    /// Walks every name still queued as a folder.
    Expected<void, WriteError> walkFolders(MissingFolders missing, mode_t mode)
    {
        while (!pending.empty()) {
            const QByteArray name = pending.back();
            pending.pop_back();
            MissingFolders here = missing;
            if (missing == MissingFolders::MakeLast) {
                // The last name of the path, before any "." a trailing "/" left.
                const bool last
                    = std::all_of(pending.begin(), pending.end(), [](const QByteArray& next) { return next == "."; });
                here = last ? MissingFolders::Make : MissingFolders::Refuse;
            }
            const auto step = name == "." ? Expected<void, WriteError>() : name == ".." ? up() : enter(name, here, mode, true);
            if (!step)
                return step;
        }
        return {};
    }
};

HeldFolder::~HeldFolder()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

HeldFolder::HeldFolder(HeldFolder&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1))
    , m_path(std::move(other.m_path))
    , m_status(other.m_status)
{
}

HeldFolder& HeldFolder::operator=(HeldFolder&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
        m_status = other.m_status;
    }
    return *this;
}

bool HeldFolder::isSameFolder(const HeldFolder& other) const
{
    return isValid() && other.isValid() && m_status.st_dev == other.m_status.st_dev
        && m_status.st_ino == other.m_status.st_ino;
}

Expected<HeldFolder, WriteError> HeldFolder::reach(const QString& path, MissingFolders missing, mode_t mode)
{
    FolderWalk walk;
    if (auto started = walk.start(path); !started)
        return Unexpected(started.error());
    if (auto walked = walk.walkFolders(missing, mode); !walked)
        return Unexpected(walked.error());
    return std::move(walk.current);
}

Expected<HeldFolder, WriteError> HeldFolder::child(const QString& name, MissingFolders missing, mode_t mode) const
{
    const QByteArray encoded = QFile::encodeName(name);
    if (!isValid() || encoded.isEmpty() || encoded == "." || encoded == ".." || encoded.contains('/'))
        return Unexpected(systemError(EINVAL));
    FolderWalk walk;
    if (auto held = walk.hold(::fcntl(m_fd, F_DUPFD_CLOEXEC, 0), QFile::encodeName(m_path)); !held)
        return Unexpected(held.error());
    if (auto entered = walk.enter(encoded, missing, mode, false); !entered)
        return Unexpected(entered.error());
    return std::move(walk.current);
}

namespace {

bool writeAll(int fd, const QByteArray& data)
{
    const char* bytes = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, bytes, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        left -= written;
    }
    return true;
}

} // namespace

bool HeldFolder::createNew(const QByteArray& name, const QByteArray& data, mode_t mode) const
{
    // An unnamed file in the folder, named only once it is complete: no temporary name to remove.
    const int fd = ::openat(m_fd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (fd >= 0) {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
        const bool made = writeAll(fd, data)
            && ::linkat(AT_FDCWD, self.constData(), m_fd, name.constData(), AT_SYMLINK_FOLLOW) == 0;
        const int error = errno;
        ::close(fd);
        errno = error;
        return made;
    }
    // File systems without unnamed files: a temporary name, linked, then dropped.
    for (int attempt = 0; attempt < kMostTries; ++attempt) {
        const QByteArray temporary = ".partial-" + QByteArray::number(::getpid()) + '-' + QByteArray::number(attempt);
        const int partial
            = ::openat(m_fd, temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (partial < 0 && errno == EEXIST)
            continue;
        if (partial < 0)
            return false;
        const bool made = writeAll(partial, data) && ::linkat(m_fd, temporary.constData(), m_fd, name.constData(), 0) == 0;
        const int error = errno;
        ::close(partial);
        ::unlinkat(m_fd, temporary.constData(), 0);
        errno = error;
        return made;
    }
    errno = EEXIST;
    return false;
}

QString kindOfEntry(const struct stat& status)
{
    const char* kind = "something other than a file";
    if (S_ISREG(status.st_mode))
        kind = "a regular file";
    else if (S_ISDIR(status.st_mode))
        kind = "a folder";
    else if (S_ISCHR(status.st_mode))
        kind = "a character device";
    else if (S_ISBLK(status.st_mode))
        kind = "a block device";
    else if (S_ISFIFO(status.st_mode))
        kind = "a FIFO (named pipe)";
    else if (S_ISSOCK(status.st_mode))
        kind = "a socket";
    else if (S_ISLNK(status.st_mode))
        kind = "a link";
    return QLatin1String(kind);
}

QString notARegularFileReason(const struct stat& status)
{
    if (S_ISREG(status.st_mode))
        return {};
    return QStringLiteral("it is %1, not a regular file; nothing was written there").arg(kindOfEntry(status));
}

/// Why the existing entry `status` in `folder` may not be replaced: it is not a regular file, or
/// it is another user's file in a shared folder. Null when it may be.
QString refusalOfExistingFile(const HeldFolder& folder, const struct stat& status)
{
    if (QString reason = notARegularFileReason(status); !reason.isNull())
        return reason;
    if (!mayUse(folder.status(), status))
        return QStringLiteral("it is another user's file in the shared folder %1; nothing was written there")
            .arg(folder.path());
    return {};
}

Expected<FileSpot, WriteError> reachFileSpot(const QString& path)
{
    FolderWalk walk;
    if (auto started = walk.start(path); !started)
        return Unexpected(started.error());
    for (int attempt = 0; attempt < kMostTries * 4;) {
        if (walk.pending.empty())
            return Unexpected(refusal(notARegularFileReason(walk.current.status())));
        const QByteArray name = walk.pending.back();
        walk.pending.pop_back();
        const bool last = walk.pending.empty();
        if (name == "." || name == ".." || !last) {
            const auto step = name == "." ? Expected<void, WriteError>()
                : name == ".."            ? walk.up()
                                          : walk.enter(name, MissingFolders::Refuse, 0, true);
            if (!step)
                return Unexpected(step.error());
            if (name == "." && last)
                return Unexpected(refusal(notARegularFileReason(walk.current.status())));
            continue;
        }
        struct stat status { };
        if (::fstatat(walk.current.descriptor(), name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT)
                return Unexpected(systemError(errno));
            return FileSpot { std::move(walk.current), name, std::nullopt, walk.route };
        }
        if (S_ISLNK(status.st_mode)) {
            bool changed = false;
            if (auto followed = walk.follow(name, status, &changed); !followed)
                return Unexpected(followed.error());
            if (changed) {
                ++attempt;
                walk.pending.push_back(name);
            }
            continue;
        }
        if (const QString reason = refusalOfExistingFile(walk.current, status); !reason.isNull())
            return Unexpected(refusal(reason));
        return FileSpot { std::move(walk.current), name, status, walk.route };
    }
    return Unexpected(kKeepsChanging);
}

Expected<FileSpot, WriteError> reachFileSpotIn(const HeldFolder& folder, const QString& name)
{
    const QByteArray encoded = QFile::encodeName(name);
    if (!folder.isValid() || encoded.isEmpty() || encoded == "." || encoded == ".." || encoded.contains('/'))
        return Unexpected(systemError(EINVAL));
    FolderWalk walk;
    if (auto held = walk.hold(::fcntl(folder.descriptor(), F_DUPFD_CLOEXEC, 0), QFile::encodeName(folder.path()));
        !held)
        return Unexpected(held.error());
    struct stat status { };
    if (::fstatat(walk.current.descriptor(), encoded.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT)
            return Unexpected(systemError(errno));
        return FileSpot { std::move(walk.current), encoded, std::nullopt, walk.route };
    }
    if (const QString reason = refusalOfExistingFile(walk.current, status); !reason.isNull())
        return Unexpected(refusal(reason));
    return FileSpot { std::move(walk.current), encoded, status, walk.route };
}

} // namespace crawlmere::platform
