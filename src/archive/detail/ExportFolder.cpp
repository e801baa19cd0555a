// The output folder of an archive export, written only inside and never over a file.
#include "archive/detail/ExportFolder.h"

#include "archive/detail/ExclusiveFile.h"
#include "platform/AtomicFile.h"
#include "platform/Log.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
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

QString ExportFolder::unusableReason(const QString& relative)
{
    for (const QString& component : relative.split(u'/', Qt::SkipEmptyParts)) {
        if (component.toUtf8().size() > kMaxComponentBytes)
            return QStringLiteral("a name in its local path is longer than %1 bytes").arg(kMaxComponentBytes);
        const auto isControl = [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; };
        if (std::any_of(component.begin(), component.end(), isControl))
            return QStringLiteral("its local path holds a control character");
    }
    return QStringLiteral("its local path would leave the export folder");
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
    // What is named is made, in a folder that must be there, as for a saved file: the folder
    // named to hold the export (its last name only) and the export's own folder in it, never a
    // path of folders from a mistyped name.
    const auto parent = platform::HeldFolder::reach(parentPath, platform::MissingFolders::MakeLast);
    if (!parent) {
        logLine(0, QStringLiteral("problem - unable to create directory at: %1 (%2)").arg(shownParent, parent.error()));
        rootFailure = platform::saveFailureText(QDir::toNativeSeparators(shownParent), parent.error().reason);
        return false;
    }
    for (int suffix = 1; suffix <= kMaxFolderSuffix; ++suffix) {
        const QString candidate
            = suffix == 1 ? folderName : QStringLiteral("%1-%2").arg(folderName, QString::number(suffix));
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

ExportFolder::Outcome ExportFolder::refused(const QString& path, const QString& reason)
{
    logLine(0, QStringLiteral("unable to write data to %1: %2").arg(path, reason));
    if (notWritten++ == 0)
        writeFailure = QStringLiteral("%1: %2").arg(path, reason);
    return Outcome::NotWritten;
}

ExportFolder::Outcome ExportFolder::skippedFor(const QString& reason)
{
    lastSkipReason = reason;
    return Outcome::Skipped;
}

ExportFolder::Outcome ExportFolder::write(const QStringList& components, const QByteArray& data)
{
    if (components.isEmpty())
        return skippedFor(QStringLiteral("it has no file name"));
    if (!ensureRoot())
        return Outcome::NotWritten;
    QString folder = madePath;
    platform::HeldFolder below;
    for (qsizetype i = 0; i + 1 < components.size(); ++i) {
        if (!isUsableComponent(components.at(i)))
            return skippedFor(QStringLiteral("its name cannot be a file name"));
        folder = childPath(folder, components.at(i));
        const platform::HeldFolder& parent = i == 0 ? root : below;
        auto next = parent.child(components.at(i), platform::MissingFolders::Make);
        if (!next) {
            // Something other than a folder standing in the way is the rule; a folder that
            // could not be made or entered is the system's refusal.
            const QByteArray encoded = QFile::encodeName(components.at(i));
            struct stat there { };
            if (::fstatat(parent.descriptor(), encoded.constData(), &there, AT_SYMLINK_NOFOLLOW) == 0
                && !S_ISDIR(there.st_mode)) {
                logLine(
                    0, QStringLiteral("error creating data folder: %1 is not a folder (%2)").arg(folder, next.error()));
                return skippedFor(QStringLiteral("a file stands where its folder belongs"));
            }
            return refused(folder, next.error());
        }
        below = std::move(next).value();
    }
    const QString& name = components.last();
    if (!isUsableComponent(name))
        return skippedFor(QStringLiteral("its name cannot be a file name"));
    const QString path = childPath(folder, name);
    const platform::HeldFolder& into = components.size() == 1 ? root : below;
    if (!ExclusiveFile::createIn(into, name, data)) {
        const int error = errno;
        if (error == EEXIST) {
            logLine(0, QStringLiteral("unable to write data to %1: a file of that name is there already").arg(path));
            return skippedFor(QStringLiteral("a file of that name is there already"));
        }
        return refused(path, QString::fromLocal8Bit(std::strerror(error)));
    }
    ++written;
    return Outcome::Written;
}

} // namespace crawlmere::archive::detail
