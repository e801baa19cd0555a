// Grants to local files and folders kept in the defaults.
#include "platform/FolderAccess.h"

#include "platform/UserDefaults.h"

#include <QFileInfo>

namespace crawlmere::platform {

FolderAccess::FolderAccess(UserDefaults& defaults)
    : m_defaults(defaults)
{
}

QString FolderAccess::keyFor(const QString& path) { return QStringLiteral("Access:") + path; }

FolderAccess::Outcome FolderAccess::grant(const QUrl& url, QUrl* reopened)
{
    if (url.isEmpty() || !url.isLocalFile())
        return Outcome::NoUrl;
    const QString path = url.toLocalFile();
    const QString key = keyFor(path);
    const QString stored = m_defaults.stringForKey(key);
    if (!stored.isEmpty()) {
        if (!QFileInfo::exists(stored))
            return Outcome::Vanished;
        if (reopened)
            *reopened = QUrl::fromLocalFile(stored);
        return Outcome::Reopened;
    }
    if (!QFileInfo::exists(path))
        return Outcome::Failed;
    m_defaults.setObject(path, key);
    return Outcome::Granted;
}

} // namespace crawlmere::platform
