// Writing a file the user keeps in one step.
#include "platform/TextFile.h"

#include "platform/Paths.h"

#include <QFile>
#include <QIODevice>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace crawlmere::platform {

QString reasonNotToSaveAt(const QString& path)
{
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

AtomicFile::AtomicFile(const QString& path)
    : m_path(path)
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
    if (Paths::isPrivate(m_path) && ::fchmod(m_file->handle(), S_IRUSR | S_IWUSR) != 0)
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

bool saveBytesAtomically(const QString& path, const QByteArray& bytes, QString* error)
{
    return saveStreamAtomically(
        path, [&bytes](const PieceWriter& write) { return write(bytes); }, error);
}

bool saveStreamAtomically(
    const QString& path, const std::function<bool(const PieceWriter& write)>& writer, QString* error)
{
    AtomicFile file(path);
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
