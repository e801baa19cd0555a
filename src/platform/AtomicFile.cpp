// Writing a file the user keeps in one step.
#include "platform/AtomicFile.h"

#include "platform/HeldFolder.h"
#include "platform/Paths.h"

#include <QFile>
#include <QDir>
#include <QIODevice>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace crawlmere::platform {

namespace {

QString errnoText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

const WriteError kMovedMeanwhile { WriteError::Kind::Changed,
    QStringLiteral("a link on the way to it was changed while it was written; nothing was written there") };

} // namespace

QString makeFolderForSaving(const QString& path)
{
    const auto folder = HeldFolder::reach(path, MissingFolders::MakeLast);
    return folder ? QString() : folder.error().reason;
}

QString saveFailureText(const QString& path, const QString& reason)
{
    return QStringLiteral("cannot write %1: %2").arg(path, reason);
}

QString reasonNotToSaveAt(const QString& path)
{
    if (path.isEmpty())
        return {};
    const auto spot = reachFileSpot(path);
    if (!spot && spot.error().isRefusal())
        return spot.error().reason;
    // A name the walk reads as a new file may lead, as the system follows it, to something
    // that is there: "/dev/stdout" when standard output is a pipe ("pipe:[…]" in
    // /proc/self/fd). It is never replaced, so it is said now rather than after the work.
    struct stat status { };
    if (::stat(QFile::encodeName(path).constData(), &status) == 0 && !S_ISREG(status.st_mode))
        return notARegularFileReason(status);
    // The system's other reasons (a folder missing, no permission) are the writing's to report.
    return {};
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
    /// Forgets what was gathered for an earlier opening.
    void forget() { m_gathered.clear(); }
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
    , m_pieces(std::make_unique<Pieces>(*this))
{
}

AtomicFile::AtomicFile(const HeldFolder& folder, const QString& name, FileAccess access, ExistingEntry existing)
    : m_path(QDir(folder.path()).filePath(name))
    , m_held(&folder)
    , m_name(name)
    , m_access(access)
    , m_existing(existing)
    , m_pieces(std::make_unique<Pieces>(*this))
{
}

AtomicFile::~AtomicFile() { cancel(); }

Expected<FileSpot, WriteError> AtomicFile::reach() const
{
    return m_held ? reachFileSpotIn(*m_held, m_name) : reachFileSpot(m_path);
}

int AtomicFile::folderDescriptor() const { return m_spot ? m_spot->folder.descriptor() : m_held->descriptor(); }

bool AtomicFile::fail(const QString& reason, WriteError::Kind kind)
{
    m_error = reason.isEmpty() ? QStringLiteral("the file could not be written") : reason;
    m_errorKind = kind;
    cancel();
    return false;
}

bool AtomicFile::open()
{
    cancel();
    m_spot.reset();
    m_nameTaken = false;
    if (m_existing == ExistingEntry::Replace) {
        auto spot = reach();
        if (!spot)
            return fail(spot.error());
        m_spot = std::make_unique<FileSpot>(std::move(spot).value());
    } else if (!m_held->isValid()) {
        return fail(errnoText(EBADF));
    }
    const int folder = folderDescriptor();
    const bool ownerOnly = m_access == FileAccess::OwnerOnly || Paths::isPrivate(m_path);
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        const QByteArray name = ".crawlmere-" + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        m_fd = ::openat(folder, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY,
            ownerOnly ? 0600 : 0666);
        if (m_fd >= 0)
            m_temporary = name;
        else if (errno != EEXIST)
            return fail(errnoText(errno));
    }
    if (m_fd < 0)
        return fail(errnoText(EEXIST));
    // The file made here is this process's own: its mode is set exactly. Only a file of this
    // user's own lends its mode to the new one; another user's planted file does not.
    mode_t mode = 0;
    if (ownerOnly)
        mode = S_IRUSR | S_IWUSR;
    else if (m_spot && m_spot->existing && m_spot->existing->st_uid == ::geteuid())
        mode = m_spot->existing->st_mode & 07777;
    if (mode != 0 && ::fchmod(m_fd, mode) != 0)
        return fail(errnoText(errno));
    m_pieces->forget();
    m_refused = false;
    m_error.clear();
    m_errorKind = WriteError::Kind::System;
    return true;
}

QIODevice& AtomicFile::device() { return *m_pieces; }

bool AtomicFile::write(QByteArrayView bytes)
{
    if (m_refused)
        return false;
    if (m_fd < 0) {
        m_refused = true;
        m_error = QStringLiteral("the file is not open");
        return false;
    }
    const char* data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(m_fd, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            m_refused = true;
            // A device that took part of a write says why on the next one ("File too large").
            m_error = written < 0 ? errnoText(errno) : QStringLiteral("the device took only part of the data");
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

bool AtomicFile::sync()
{
    if (m_fd < 0 || !m_pieces->deliver() || m_refused)
        return fail(m_error, m_errorKind);
    if (::fdatasync(m_fd) != 0 && errno != EINVAL)
        return fail(errnoText(errno));
    return true;
}

bool AtomicFile::prepareCommit()
{
    if (!sync())
        return false;
    if (m_existing == ExistingEntry::Keep)
        return true;
    const auto now = reach();
    if (!now)
        return fail(now.error().isRefusal() ? now.error() : kMovedMeanwhile);
    if (now->route != m_spot->route || now->name != m_spot->name)
        return fail(kMovedMeanwhile);
    // A file marked immutable or append-only is never renamed over (EPERM).
    const int target
        = ::openat(folderDescriptor(), m_spot->name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (target >= 0) {
        int flags = 0;
        const bool locked = ::ioctl(target, FS_IOC_GETFLAGS, &flags) == 0 && (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL));
        ::close(target);
        if (locked)
            return fail(errnoText(EPERM) + QStringLiteral(" (the file is marked immutable or append-only)"));
    }
    return true;
}

bool AtomicFile::commit()
{
    if (!sync())
        return false;
    const int folder = folderDescriptor();
    if (m_existing == ExistingEntry::Keep) {
        // Whatever has the name stays; the new file waits for another name.
        if (::renameat2(folder, m_temporary.constData(), folder, QFile::encodeName(m_name).constData(), RENAME_NOREPLACE)
            != 0) {
            if (errno != EEXIST)
                return fail(errnoText(errno));
            m_nameTaken = true;
            m_error = errnoText(EEXIST);
            m_errorKind = WriteError::Kind::System;
            return false;
        }
    } else {
        // The path must still lead the way it led when the file was opened, and hold nothing
        // that is not a regular file; the new file then takes the name in the folder held all
        // along.
        const auto now = reach();
        if (!now)
            return fail(now.error().isRefusal() ? now.error() : kMovedMeanwhile);
        if (now->route != m_spot->route || now->name != m_spot->name)
            return fail(kMovedMeanwhile);
        if (::renameat(folder, m_temporary.constData(), folder, m_spot->name.constData()) != 0)
            return fail(errnoText(errno));
    }
    m_temporary.clear();
    ::close(std::exchange(m_fd, -1));
    return true;
}

bool AtomicFile::commitAs(const QString& name)
{
    Q_ASSERT_X(m_existing == ExistingEntry::Keep, "AtomicFile::commitAs", "only a file that keeps what has its name");
    m_name = name;
    m_nameTaken = false;
    return commit();
}

void AtomicFile::cancel()
{
    if (m_fd >= 0)
        ::close(std::exchange(m_fd, -1));
    if ((m_spot || m_held) && !m_temporary.isEmpty())
        ::unlinkat(folderDescriptor(), m_temporary.constData(), 0);
    m_temporary.clear();
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

bool saveTextIn(const HeldFolder& folder, const QString& name, const QString& text, QString* error)
{
    AtomicFile file(folder, name);
    const bool saved = file.open() && file.write(text.toUtf8()) && file.commit();
    if (!saved && error)
        *error = file.error();
    return saved;
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
