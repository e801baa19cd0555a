// Writing a file the user keeps in one step.
#include "platform/TextFile.h"

#include <QIODevice>
#include <QSaveFile>

#include <algorithm>

namespace crawlmere::platform {

bool saveBytesAtomically(const QString& path, const QByteArray& bytes, QString* error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
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
