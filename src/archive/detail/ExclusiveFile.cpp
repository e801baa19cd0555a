// Files created under a name nobody else holds, appearing only once complete.
#include "archive/detail/ExclusiveFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <unistd.h>

namespace crawlmere::archive::detail {

QString ExclusiveFile::create(
    const QString& folder, const QByteArray& data, int attempts, const std::function<QString(int)>& nameFor)
{
    QTemporaryFile temporary(QDir(folder).filePath(QStringLiteral(".partial-XXXXXX")));
    if (!temporary.open())
        return QString();
    // Readable as any file the user saves: the temporary file starts owner-only.
    temporary.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    if (temporary.write(data) != data.size() || !temporary.flush())
        return QString();
    const QByteArray from = QFile::encodeName(temporary.fileName());
    for (int attempt = 0; attempt < attempts; ++attempt) {
        const QString name = nameFor(attempt);
        if (name.isEmpty())
            return QString();
        const QByteArray to = QFile::encodeName(childPath(folder, name));
        if (::link(from.constData(), to.constData()) == 0)
            return name; // the temporary name goes with `temporary`
        if (errno != EEXIST)
            return QString();
    }
    return QString();
}

bool ExclusiveFile::createAt(const QString& path, const QByteArray& data)
{
    const QString folder = QFileInfo(path).path();
    const QString name = QFileInfo(path).fileName();
    return !create(folder, data, 1, [&](int) { return name; }).isNull();
}

} // namespace crawlmere::archive::detail
