// Grants to local files and folders, remembered in the defaults under "Access:" and the path.
#pragma once

#include <QString>
#include <QUrl>

namespace crawlmere::platform {

class UserDefaults;

/// This system runs unconfined, so a grant is only a note: the key "Access:" followed by the
/// exact file-system path, holding that path. Reopening a grant gives its file URL back;
/// starting and stopping access do nothing. Main thread only; `defaults` must outlive it.
class FolderAccess {
public:
    enum class Outcome {
        NoUrl, ///< the URL was empty or not a local file
        Reopened, ///< a stored grant was found; `reopened` holds its URL
        Vanished, ///< a grant is stored but its file or folder is gone
        Granted, ///< no grant was stored; one is stored now
        Failed, ///< no grant was stored and none could be made (the path is not there)
    };

    explicit FolderAccess(UserDefaults& defaults);

    /// "Access:" and `path`, exactly as given.
    static QString keyFor(const QString& path);
    /// Looks up `url`'s own path (never a folder above it) and reopens or stores its grant.
    Outcome grant(const QUrl& url, QUrl* reopened = nullptr);
    /// Start and stop accessing a granted URL: nothing to do unconfined.
    static void startAccessing(const QUrl&) { }
    static void stopAccessing(const QUrl&) { }

private:
    UserDefaults& m_defaults;
};

} // namespace crawlmere::platform
