// The files of the program's stores (the defaults, the cookies): read without ever blocking and
// only when they are regular files, and locked beside them while a save is made. The save itself
// goes through AtomicFile and HeldFolder, the one way this program writes.
#pragma once

#include "platform/Expected.h"
#include "platform/HeldFolder.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>

class QDeadlineTimer;

namespace crawlmere::platform {

/// What a store's file holds.
struct StoreContents {
    /// False when there is no file (a store not saved yet): not a failure.
    bool exists = false;
    QByteArray bytes;
};

/// Reads the store at `path`: opened with O_NONBLOCK (a FIFO there never holds the program up)
/// and checked on its descriptor to be a regular file. The failure says why it cannot be read,
/// after the path: "<path>: it is a FIFO (named pipe), not a regular file" (a folder, a device,
/// a socket alike), "<path>: Permission denied", "<path>: larger than N bytes". Such a store is
/// left where it is; the caller never writes over it.
Expected<StoreContents> readStoreFile(const QString& path, qint64 maxBytes);

/// Moves the regular file at `path`, a store that cannot be parsed, aside in its own folder as
/// `path` + `suffix` (then + "-2", "-3", … while that name is taken; nothing is ever replaced).
/// Answers the new path, or a null string when it could not be moved (or is no longer a
/// regular file: only a broken store is ever moved).
QString moveStoreAside(const QString& path, const QString& suffix);

/// An exclusive lock (flock) on the lock file `path` beside the store it guards, held while it
/// lives. The lock waits at most `wait` for another program's lock, telling `waiting` once when
/// it has to wait, and fails when the wait runs out (`timedOut`). The folder of `path` is reached
/// and held as `HeldFolder` does, and the lock file is made, opened and removed only through it,
/// never following a link; a link, or a file this user does not own (left by a run under another
/// identity), is replaced by the user's own under a lock on the folder, so that programs
/// repairing it at once agree on one file.
class StoreLock {
public:
    StoreLock(const QString& path, std::chrono::milliseconds wait, const std::function<void()>& waiting);
    ~StoreLock();
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

    bool held() const { return m_fd >= 0; }
    bool timedOut() const { return m_timedOut; }
    QString error() const { return m_error; }

private:
    /// Removes a lock file that is a link or not this user's own, holding a lock on the folder
    /// so that another program never removes the file one has just made in its place. Sets
    /// `m_error` when it cannot.
    void replaceForeignFile(const QDeadlineTimer& deadline, const std::function<void()>& waiting, int openError);

    QString m_path;
    /// The folder of the lock file, and the file's name in it.
    HeldFolder m_folder;
    QByteArray m_name;
    int m_fd = -1;
    int m_refusedWhileAbsent = 0;
    bool m_timedOut = false;
    QString m_error;
};

} // namespace crawlmere::platform
