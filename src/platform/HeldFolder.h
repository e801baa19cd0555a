// The one way this program writes a file or makes a folder: every writer (exports, sitemaps and
// their folder, the archive export and each file under it, settings, print to file, the defaults,
// cookies, thumbnails) reaches its folder here, holds it by descriptor and writes through it.
// A path is never checked in one place and written in another, and never cleaned as text.
#pragma once

#include "platform/Expected.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <sys/stat.h>
#include <sys/types.h>

namespace crawlmere::platform {

/// Why a walk, or a write through the folder it reached, failed. A caller tells a refusal by its
/// `kind`, never by the words of its `reason`, which are for people.
struct WriteError {
    enum class Kind {
        /// The system's reason ("No such file or directory", "Permission denied", "No space left
        /// on device"): the writing itself reports it.
        System,
        /// Something there is never written over or reached through: an entry that is not a
        /// regular file, another user's file, folder or link in a shared folder, a link where a
        /// folder must be. The reason ends "nothing was written there".
        Refused,
        /// The place kept changing while it was looked at, or a link on the way changed while
        /// the file was written.
        Changed,
    };
    Kind kind = Kind::System;
    QString reason;

    /// The write path's own refusal (`Refused` or `Changed`), not the system's reason.
    bool isRefusal() const { return kind != Kind::System; }
    /// The reason, for messages.
    operator const QString&() const { return reason; }
};

/// What a walk does with a folder on the way that is not there.
enum class MissingFolders {
    Refuse, ///< the walk fails (the system's reason, "No such file or directory")
    Make, ///< made with `mkdirat` and checked with `fstat` once open
    MakeLast, ///< only the last folder of the path is made (a trailing "/" aside); those before it must be there
};

/// A folder held open by its descriptor, reached by walking a path from "/" one name at a time:
/// - each folder is opened with `openat(O_NOFOLLOW | O_DIRECTORY)` in the one before it;
/// - a link is followed only where the kernel's protected-links rule would follow it: one that
///   lies in a sticky folder every user may write to is followed only when it belongs to this
///   user or to that folder's owner;
/// - ".." goes to the parent of the folder actually reached (after any link), never to the text
///   before it;
/// - a folder in such a shared folder must belong to this user or the shared folder's owner.
/// Everything written below the folder goes through the descriptor, so a folder swapped for a
/// link after the walk cannot move a write. Move-only; closes its descriptor when it goes.
class HeldFolder {
public:
    HeldFolder() = default;
    ~HeldFolder();
    HeldFolder(HeldFolder&& other) noexcept;
    HeldFolder& operator=(HeldFolder&& other) noexcept;
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;

    /// Walks to the folder `path` (relative to the current folder when not absolute), making
    /// missing folders with `mode` (less the umask) when asked. A private `mode` (nothing for the
    /// group and others) is set exactly on each folder the walk made, through its descriptor, so
    /// that no umask locks its owner out; a folder the walk did not make keeps its mode. The
    /// failure's reason is for `saveFailureText`.
    static Expected<HeldFolder, WriteError> reach(
        const QString& path, MissingFolders missing = MissingFolders::Refuse, mode_t mode = 0777);

    /// The folder `name` inside this one, made with `mode` (as `reach` makes them) when missing
    /// and asked to: never a link, never "." or "..", and held to the same rule on another
    /// user's folder.
    Expected<HeldFolder, WriteError> child(
        const QString& name, MissingFolders missing = MissingFolders::Refuse, mode_t mode = 0777) const;

    /// Creates the file `name` in this folder holding `data`, only when no entry has that name
    /// (a link planted there is neither followed nor replaced). It appears whole or not at all.
    /// False with errno set when it could not (EEXIST: the name is taken).
    bool createNew(const QByteArray& name, const QByteArray& data, mode_t mode) const;

    bool isValid() const { return m_fd >= 0; }
    int descriptor() const { return m_fd; }
    /// The path walked, with links resolved as the walk went (for messages).
    const QString& path() const { return m_path; }
    const struct stat& status() const { return m_status; }
    /// The same folder (device and inode) as `other`.
    bool isSameFolder(const HeldFolder& other) const;

private:
    friend struct FolderWalk;
    int m_fd = -1;
    QString m_path;
    struct stat m_status { };
};

/// Where a file is to be written: its folder held, the name in that folder (a link in the
/// last place already followed, as the kernel would), and what is there now.
struct FileSpot {
    HeldFolder folder;
    QByteArray name;
    /// The regular file there now; nullopt when there is none.
    std::optional<struct stat> existing;
    /// Every folder and link the walk went through, in order: two walks took the same way
    /// when their routes are equal.
    QByteArray route;
};

/// Walks to where the file `path` goes (see `HeldFolder`); folders on the way must exist. Refused
/// (`WriteError::Kind::Refused`) when the last place holds something that is not a regular file
/// (a folder, a device, a FIFO, a socket), another user's file in a shared folder, or is reached
/// through a link the protected-links rule would not follow.
Expected<FileSpot, WriteError> reachFileSpot(const QString& path);

/// Where the file `name` of the folder held goes: in that folder itself (a link there is not
/// followed but refused, like anything that is not a regular file). Refused as `reachFileSpot`
/// refuses.
Expected<FileSpot, WriteError> reachFileSpotIn(const HeldFolder& folder, const QString& name);

/// The kind of entry `status` describes, for messages: "a folder", "a FIFO (named pipe)", "a
/// character device", "a block device", "a socket", "a link", "a regular file".
QString kindOfEntry(const struct stat& status);

/// Why something of the kind `status` says is never written over ("it is a FIFO (named pipe),
/// not a regular file; …"), or a null string for a regular file.
QString notARegularFileReason(const struct stat& status);

} // namespace crawlmere::platform
