// Files created under a name nobody else holds, appearing only once complete.
#include "archive/detail/ExclusiveFile.h"

#include "platform/Paths.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>

namespace crawlmere::archive::detail {

namespace {

/// Readable as any file the user saves, except in the application's own folders.
mode_t fileModeIn(const QString& folder) { return platform::Paths::isPrivate(folder) ? 0600 : 0644; }

} // namespace

QString ExclusiveFile::create(
    const QString& folder, const QByteArray& data, int attempts, const std::function<QString(int)>& nameFor)
{
    const auto held = platform::HeldFolder::reach(folder);
    if (!held)
        return QString();
    for (int attempt = 0; attempt < attempts; ++attempt) {
        const QString name = nameFor(attempt);
        if (name.isEmpty() || name.contains(u'/') || name == u"." || name == u"..")
            return QString();
        if (held->createNew(QFile::encodeName(name), data, fileModeIn(folder)))
            return name;
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

bool ExclusiveFile::createIn(const platform::HeldFolder& folder, const QString& name, const QByteArray& data)
{
    return folder.createNew(QFile::encodeName(name), data, fileModeIn(folder.path()));
}

} // namespace crawlmere::archive::detail
