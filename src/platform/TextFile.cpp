// Writing a file the user keeps in one step.
#include "platform/TextFile.h"

#include "platform/Paths.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QSaveFile>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace crawlmere::platform {

namespace {

/// Where a walk along a path with its links resolved ended.
struct Walk {
    /// Why a link on the way may not be followed; null when none was refused.
    QString refusal;
    /// The path with every link on the way resolved, as far as it exists (the rest as given).
    QByteArray resolved;
};

/// More links than this on one path: the walk stops, and opening the file says why.
constexpr int kMostLinks = 40;

QByteArray parentOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

QByteArray joined(const QByteArray& folder, const QByteArray& name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

/// A sticky folder every user may write to: links there are followed as the kernel's
/// protected-links rule allows.
bool isSharedFolder(const struct stat& folder)
{
    return S_ISDIR(folder.st_mode) && (folder.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH);
}

/// Resolves `path` one name at a time, each link as the kernel would, refusing a link in a
/// shared folder that belongs neither to this user nor to the folder's owner.
Walk walkTo(const QString& path)
{
    std::vector<QByteArray> pending; // the names still to walk, the next one last
    const auto push = [&pending](const QByteArray& names) {
        const QList<QByteArray> parts = names.split('/');
        for (auto name = parts.crbegin(); name != parts.crend(); ++name) {
            if (!name->isEmpty() && *name != ".")
                pending.push_back(*name);
        }
    };
    const auto rest = [&pending](QByteArray resolved) {
        for (auto name = pending.crbegin(); name != pending.crend(); ++name)
            resolved = joined(resolved, *name);
        return resolved;
    };
    push(QFile::encodeName(QFileInfo(path).absoluteFilePath()));
    QByteArray current("/");
    int links = 0;
    while (!pending.empty()) {
        const QByteArray name = pending.back();
        pending.pop_back();
        if (name == "..") {
            current = parentOf(current);
            continue;
        }
        const QByteArray next = joined(current, name);
        struct stat status { };
        if (::lstat(next.constData(), &status) != 0)
            return { {}, rest(next) };
        if (!S_ISLNK(status.st_mode)) {
            current = next;
            continue;
        }
        struct stat folder { };
        if (::stat(current.constData(), &folder) == 0 && isSharedFolder(folder) && status.st_uid != ::geteuid()
            && status.st_uid != folder.st_uid) {
            return { QStringLiteral("it is reached through %1, a link another user made in the shared folder %2, "
                                    "and such a link is not followed; nothing was written there")
                         .arg(QFile::decodeName(next), QFile::decodeName(current)),
                {} };
        }
        std::array<char, PATH_MAX> target { };
        const ssize_t length = ::readlink(next.constData(), target.data(), target.size());
        if (++links > kMostLinks || length <= 0 || size_t(length) >= target.size())
            return { {}, rest(next) };
        if (target[0] == '/')
            current = "/";
        push(QByteArray(target.data(), qsizetype(length)));
    }
    return { {}, current };
}

} // namespace

QString reasonNotToFollowLinksTo(const QString& path)
{
    return path.isEmpty() ? QString() : walkTo(path).refusal;
}

QString makeFolderForSaving(const QString& path)
{
    if (const QString refusal = reasonNotToFollowLinksTo(path); !refusal.isNull())
        return refusal;
    if (::mkdir(QFile::encodeName(path).constData(), 0777) != 0 && errno != EEXIST)
        return QString::fromLocal8Bit(std::strerror(errno));
    // Looked at again once it is there: a link may have been put in its place meanwhile.
    const Walk walk = walkTo(path);
    if (!walk.refusal.isNull())
        return walk.refusal;
    struct stat folder { };
    struct stat parent { };
    if (::stat(walk.resolved.constData(), &folder) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    if (!S_ISDIR(folder.st_mode))
        return QStringLiteral("it is not a folder; nothing was written there");
    if (folder.st_uid != ::geteuid() && ::stat(parentOf(walk.resolved).constData(), &parent) == 0
        && isSharedFolder(parent)) {
        return QStringLiteral("it is another user's folder in the shared folder %1; nothing was written there")
            .arg(QFile::decodeName(parentOf(walk.resolved)));
    }
    return {};
}

QString saveFailureText(const QString& path, const QString& reason)
{
    return QStringLiteral("cannot write %1: %2").arg(path, reason);
}

QString reasonNotToSaveAt(const QString& path)
{
    if (const QString refusal = reasonNotToFollowLinksTo(path); !refusal.isNull())
        return refusal;
    struct stat status { };
    // Anything that cannot be looked at is left to the opening, which says why it fails.
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &status) != 0 || S_ISREG(status.st_mode))
        return {};
    const char* kind = "something other than a file";
    if (S_ISDIR(status.st_mode))
        kind = "a folder";
    else if (S_ISCHR(status.st_mode))
        kind = "a character device";
    else if (S_ISBLK(status.st_mode))
        kind = "a block device";
    else if (S_ISFIFO(status.st_mode))
        kind = "a FIFO (named pipe)";
    else if (S_ISSOCK(status.st_mode))
        kind = "a socket";
    return QStringLiteral("it is %1, not a regular file; nothing was written there").arg(QLatin1String(kind));
}

/// Gathers small writes into pieces of `kPiece` bytes for the file.
class AtomicFile::Pieces final : public QIODevice {
public:
    static constexpr qsizetype kPiece = 256 * 1024;

    explicit Pieces(AtomicFile& file)
        : m_file(file)
    {
        QIODevice::open(QIODevice::WriteOnly);
    }
    bool isSequential() const override { return true; }
    /// Hands what is gathered to the file; false when it refused it.
    bool deliver()
    {
        const bool written = m_gathered.isEmpty() || m_file.write(m_gathered);
        m_gathered.clear();
        return written;
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 length) override
    {
        if (m_file.m_refused)
            return -1;
        m_gathered.append(data, qsizetype(length));
        if (m_gathered.size() >= kPiece && !deliver())
            return -1;
        return length;
    }

private:
    AtomicFile& m_file;
    QByteArray m_gathered;
};

AtomicFile::AtomicFile(const QString& path, FileAccess access)
    : m_path(path)
    , m_access(access)
    , m_file(std::make_unique<QSaveFile>(path))
    , m_pieces(std::make_unique<Pieces>(*this))
{
}

// An uncommitted QSaveFile removes its temporary file and leaves the old one alone.
AtomicFile::~AtomicFile() = default;

bool AtomicFile::fail(const QString& reason)
{
    m_error = reason.isEmpty() ? QStringLiteral("the file could not be written") : reason;
    cancel();
    return false;
}

bool AtomicFile::open()
{
    if (const QString refusal = reasonNotToSaveAt(m_path); !refusal.isNull())
        return fail(refusal);
    // Unbuffered: a write the system refuses fails at once, with its reason.
    if (!m_file->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(m_file->errorString());
    const bool ownerOnly = m_access == FileAccess::OwnerOnly || Paths::isPrivate(m_path);
    if (ownerOnly && ::fchmod(m_file->handle(), S_IRUSR | S_IWUSR) != 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    return true;
}

QIODevice& AtomicFile::device() { return *m_pieces; }

bool AtomicFile::write(QByteArrayView bytes)
{
    if (m_refused)
        return false;
    qint64 written = m_file->write(bytes.data(), bytes.size());
    // A device that took part of a write says why on the next one ("File too large").
    if (written >= 0 && written < bytes.size() && m_file->error() == QFileDevice::NoError) {
        const qint64 more = m_file->write(bytes.data() + written, bytes.size() - written);
        written = more < 0 ? -1 : written + more;
    }
    if (written == bytes.size())
        return true;
    m_refused = true;
    // Closing forgets why a write failed ("Unknown error" after it): the reason is kept now.
    m_error = m_file->error() == QFileDevice::NoError ? QStringLiteral("the device took only part of the data")
                                                      : m_file->errorString();
    return false;
}

bool AtomicFile::commit()
{
    if (!m_file->isOpen() || !m_pieces->deliver() || m_refused)
        return fail(m_error);
    // Something else may have been put there since the file was opened.
    if (const QString refusal = reasonNotToSaveAt(m_path); !refusal.isNull())
        return fail(refusal);
    if (!m_file->commit())
        return fail(m_file->errorString());
    return true;
}

void AtomicFile::cancel()
{
    if (m_file->isOpen())
        m_file->cancelWriting();
}

bool saveBytesAtomically(const QString& path, const QByteArray& bytes, QString* error, FileAccess access)
{
    return saveStreamAtomically(
        path, [&bytes](const PieceWriter& write) { return write(bytes); }, error, access);
}

bool saveStreamAtomically(const QString& path, const std::function<bool(const PieceWriter& write)>& writer,
    QString* error, FileAccess access)
{
    AtomicFile file(path, access);
    bool refused = false;
    const PieceWriter write = [&file, &refused](QByteArrayView piece) {
        refused = refused || !file.write(piece);
        return !refused;
    };
    QString reason;
    if (!file.open()) {
        reason = file.error();
    } else {
        const bool complete = writer(write);
        if (refused)
            reason = file.error();
        else if (!complete)
            reason = QStringLiteral("The writing stopped before the file was complete.");
        else if (!file.commit())
            reason = file.error();
        else
            return true;
    }
    if (error)
        *error = reason;
    return false;
}

bool saveTextAtomically(const QString& path, const QString& text, QString* error)
{
    return saveBytesAtomically(path, text.toUtf8(), error);
}

QByteArray readAtMost(QIODevice& device, qint64 cap)
{
    constexpr qint64 kChunk = 1 << 20;
    QByteArray bytes;
    const qint64 limit = cap + 1;
    while (bytes.size() < limit) {
        const qint64 want = std::min(kChunk, limit - bytes.size());
        const qsizetype before = bytes.size();
        bytes.resize(before + want);
        const qint64 got = device.read(bytes.data() + before, want);
        bytes.resize(before + std::max<qint64>(got, 0));
        if (got <= 0)
            break;
    }
    return bytes;
}

} // namespace crawlmere::platform
