// Where the application keeps its files, and the rule that tells a local path from a URL.
#pragma once

#include <QString>

namespace crawlmere::platform {

/// Folders of the application. `CRAWLMERE_HOME`, when set, replaces the home folder for all of
/// them, so tests never touch a real home. Without it the XDG variables are honoured.
class Paths {
public:
    /// The home folder in force: `CRAWLMERE_HOME` or the user's home.
    static QString home();
    /// `~/.config` (or `$XDG_CONFIG_HOME`): the user's configuration folder.
    static QString configHome();
    /// `~/.config/Crawlmere` (or `$XDG_CONFIG_HOME/Crawlmere`): holds `defaults.plist`.
    static QString configFolder();
    /// `~/.local/share/Crawlmere` (or `$XDG_DATA_HOME/Crawlmere`): holds `archive/`, `thumbs/`, `temp/`.
    static QString applicationSupportFolder();
    /// A sub-folder of the application-support folder, created when missing (as `makeFolder`).
    /// Returns an empty string when it cannot be created.
    static QString applicationSupportSubfolder(const QString& name);

    /// True when `path` is the configuration or application-support folder or lies inside one:
    /// the user's alone. A file written there gets mode 0600, a folder made there 0700.
    static bool isPrivate(const QString& path);
    /// True when `path` is one of the program's own files or folders: the configuration or
    /// application-support folder or anything inside one (the defaults store, its lock, the
    /// archive), with "..", links and the folders on the way resolved as the system resolves
    /// them. A path that does not exist yet counts by the folder it would be made in.
    static bool holdsOwnData(const QString& path);
    /// Creates `path` and its missing parents (walked as `HeldFolder::reach` walks). A folder it
    /// makes in a private place is the user's alone (0700, set through the folder's descriptor);
    /// a folder that was there keeps its mode. False when it cannot be created.
    static bool makeFolder(const QString& path);
    /// Makes both private folders the user's alone: created when missing with mode 0700. In one
    /// that was open to others every folder becomes 0700 and every file 0600; in one already
    /// private, only the entries at its top are checked. Modes are only tightened, and only on
    /// this user's own folders and regular files, each through a descriptor opened without
    /// following a link. Called once at start-up; answers how many entries it tightened.
    static qsizetype securePrivateFolders();
    /// The user's download folder: `XDG_DOWNLOAD_DIR` of `user-dirs.dirs` in the configuration
    /// home (a leading "$HOME" expanded to `home()`, relative values ignored), else
    /// `home() + "/Downloads"`. Not created here.
    static QString downloadsFolder();

    /// True for a value that names a local file: an absolute path ("/…") or "~/…".
    static bool isLocalPath(const QString& value);
    /// Expands a leading "~/" to the home folder; other values are returned unchanged.
    static QString expandTilde(const QString& path);
};

} // namespace crawlmere::platform
