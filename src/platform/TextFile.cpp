// Writing a file the user keeps in one step.
#include "platform/TextFile.h"

#include <QIODevice>
#include <QSaveFile>

#include <algorithm>

namespace crawlmere::platform {

bool saveBytesAtomically(const QString& path, const QByteArray& bytes, QString* error)
{
    return saveStreamAtomically(
        path, [&bytes](const PieceWriter& write) { return write(bytes); }, error);
}

bool saveStreamAtomically(
    const QString& path, const std::function<bool(const PieceWriter& write)>& writer, QString* error)
{
    QSaveFile file(path);
    bool refused = false;
    const PieceWriter write = [&file, &refused](QByteArrayView piece) {
        refused = refused || file.write(piece.data(), piece.size()) != piece.size();
        return !refused;
    };
    QString reason;
    if (!file.open(QIODevice::WriteOnly))
        reason = file.errorString();
    else if (!writer(write) && !refused)
        reason = QStringLiteral("The writing stopped before the file was complete.");
    else if (refused || !file.commit())
        reason = file.errorString();
    else
        return true;
    // An uncommitted QSaveFile removes its temporary file and leaves the old one alone.
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
