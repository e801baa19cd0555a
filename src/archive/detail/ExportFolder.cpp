// The output folder of an archive export, written only inside and never over a file.
#include "archive/detail/ExportFolder.h"

#include "archive/detail/ExclusiveFile.h"
#include "platform/Log.h"

#include <QDir>
#include <QFileInfo>

namespace crawlmere::archive::detail {

using platform::logLine;

namespace {
constexpr int kMaxFolderSuffix = 1000;
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
    const QFileInfo wanted(QFileInfo(wantedPath).absoluteFilePath());
    if (!QDir().mkpath(wanted.path())) {
        logLine(0, QStringLiteral("problem - unable to create directory at: %1").arg(wanted.path()));
        rootFailure = QStringLiteral("unable to create the folder %1").arg(QDir::toNativeSeparators(wanted.path()));
        return false;
    }
    for (int suffix = 1; suffix <= kMaxFolderSuffix; ++suffix) {
        const QString candidate = suffix == 1 ? wantedPath : QStringLiteral("%1-%2").arg(wantedPath).arg(suffix);
        if (QDir().mkdir(candidate)) {
            madePath = QFileInfo(candidate).absoluteFilePath();
            return true;
        }
    }
    logLine(0, QStringLiteral("problem - unable to create directory at: %1").arg(wanted.filePath()));
    rootFailure = QStringLiteral("unable to create the folder %1").arg(QDir::toNativeSeparators(wanted.filePath()));
    return false;
}

bool ExportFolder::write(const QStringList& components, const QByteArray& data)
{
    if (components.isEmpty() || !ensureRoot())
        return false;
    QString folder = madePath;
    for (qsizetype i = 0; i + 1 < components.size(); ++i) {
        if (!isUsableComponent(components.at(i)))
            return false;
        folder = childPath(folder, components.at(i));
        const QFileInfo info(folder);
        if (info.isSymLink() || (info.exists() && !info.isDir())) {
            logLine(0, QStringLiteral("error creating data folder: %1 is not a folder").arg(folder));
            return false;
        }
        if (!info.exists() && !QDir().mkdir(folder)) {
            logLine(0, QStringLiteral("error creating data folder: %1").arg(folder));
            return false;
        }
    }
    const QString& name = components.last();
    if (!isUsableComponent(name))
        return false;
    const QString path = childPath(folder, name);
    if (!ExclusiveFile::createAt(path, data)) {
        logLine(0, QStringLiteral("unable to write data to %1").arg(path));
        return false;
    }
    ++written;
    return true;
}

} // namespace crawlmere::archive::detail
