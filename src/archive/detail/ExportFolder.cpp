// The output folder of an archive export, written only inside and never over a file.
#include "archive/detail/ExportFolder.h"

#include "archive/detail/ExclusiveFile.h"
#include "platform/Log.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace crawlmere::archive::detail {

using platform::logLine;

namespace {
constexpr int kMaxFolderSuffix = 1000;

/// `path` made absolute against the current folder, without trailing slashes and with every
/// "." and ".." kept for the walk.
QString absoluteAsWritten(const QString& path)
{
    QString absolute = QDir::isAbsolutePath(path) ? path : QDir::currentPath() + u'/' + path;
    while (absolute.size() > 1 && absolute.endsWith(u'/'))
        absolute.chop(1);
    return absolute;
}
}

ExportFolder::ExportFolder(QString path)
    : wantedPath(std::move(path))
{
}

bool ExportFolder::isUsableComponent(const QString& component)
{
    if (component.isEmpty() || component == u"." || component == u".." || component.contains(u'/'))
        return false;
    for (const QChar c : component) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return false;
    }
    return component.toUtf8().size() <= kMaxComponentBytes;
}

std::optional<QStringList> ExportFolder::cleanComponents(const QString& relative)
{
    QStringList components;
    for (const QString& component : relative.split(u'/', Qt::SkipEmptyParts)) {
        if (!isUsableComponent(component))
            return std::nullopt;
        components.append(component);
    }
    if (components.isEmpty())
        return std::nullopt;
    return components;
}

bool ExportFolder::ensureRoot()
{
    if (!madePath.isNull())
        return true;
    // Said once: every later file would fail the same way.
    if (!rootFailure.isNull())
        return false;
    // Split as written: a ".." is left for the walk, which takes it from the folder actually
    // reached (after a link), where cleaning the text would take it from the name before it.
    const QString wanted = absoluteAsWritten(wantedPath);
    const qsizetype slash = wanted.lastIndexOf(u'/');
    const QString parentPath = slash == 0 ? QStringLiteral("/") : wanted.left(slash);
    const QString folderName = wanted.mid(slash + 1);
    // Messages name the paths as the user reads them; the walk keeps them as written.
    const QString shown = QDir::cleanPath(wanted);
    const QString shownParent = QDir::cleanPath(parentPath);
    if (!isUsableComponent(folderName)) {
        logLine(0, QStringLiteral("problem - unable to create directory at: %1").arg(shown));
        rootFailure = QStringLiteral("unable to create the folder %1").arg(QDir::toNativeSeparators(shown));
        return false;
    }
    const auto parent = platform::HeldFolder::reach(parentPath, platform::MissingFolders::Make);
    if (!parent) {
        logLine(0, QStringLiteral("problem - unable to create directory at: %1 (%2)").arg(shownParent, parent.error()));
        rootFailure = QStringLiteral("unable to create the folder %1").arg(QDir::toNativeSeparators(shownParent));
        return false;
    }
    for (int suffix = 1; suffix <= kMaxFolderSuffix; ++suffix) {
        const QString candidate = suffix == 1 ? folderName : QStringLiteral("%1-%2").arg(folderName).arg(suffix);
        if (::mkdirat(parent->descriptor(), QFile::encodeName(candidate).constData(), 0777) != 0) {
            if (errno == EEXIST)
                continue;
            break;
        }
        // The folder just made, opened without following a link and checked to be this user's:
        // another program swapping it meanwhile makes the export fail, not go elsewhere.
        auto made = parent->child(candidate);
        if (!made || made->status().st_uid != ::geteuid()) {
            logLine(0, QStringLiteral("problem - unable to create directory at: %1 (%2)")
                           .arg(childPath(shownParent, candidate), made ? QStringLiteral("not this user's") : made.error()));
            break;
        }
        root = std::move(made).value();
        // Where the folder really is: the walk's path, with its links resolved.
        madePath = childPath(parent->path(), candidate);
        return true;
    }
    logLine(0, QStringLiteral("problem - unable to create directory at: %1").arg(shown));
    rootFailure = QStringLiteral("unable to create the folder %1").arg(QDir::toNativeSeparators(shown));
    return false;
}

bool ExportFolder::write(const QStringList& components, const QByteArray& data)
{
    if (components.isEmpty() || !ensureRoot())
        return false;
    QString folder = madePath;
    platform::HeldFolder below;
    for (qsizetype i = 0; i + 1 < components.size(); ++i) {
        if (!isUsableComponent(components.at(i)))
            return false;
        folder = childPath(folder, components.at(i));
        auto next = (i == 0 ? root : below).child(components.at(i), platform::MissingFolders::Make);
        if (!next) {
            logLine(0, QStringLiteral("error creating data folder: %1 is not a folder (%2)").arg(folder, next.error()));
            return false;
        }
        below = std::move(next).value();
    }
    const QString& name = components.last();
    if (!isUsableComponent(name))
        return false;
    const QString path = childPath(folder, name);
    const platform::HeldFolder& into = components.size() == 1 ? root : below;
    if (!ExclusiveFile::createIn(into, name, data)) {
        logLine(0, QStringLiteral("unable to write data to %1").arg(path));
        return false;
    }
    ++written;
    return true;
}

} // namespace crawlmere::archive::detail
