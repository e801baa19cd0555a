// Writing a file the user keeps in one step, through a held folder (HeldFolder, the one way to write): the old file
// stays whole until the new one is complete; reading one with a cap on its size.
#pragma once

#include "platform/Expected.h"
#include "platform/HeldFolder.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>
#include <memory>

class QIODevice;

namespace crawlmere::platform {


/// Why nothing may be saved at `path`, or a null string when it may (or when only the writing
/// can tell: a folder on the way missing, no permission). Walked as `reachFileSpot` walks it:
/// something there that is not a regular file (a device, a FIFO, a socket, a folder) is never
/// replaced, another user's file or folder in a shared folder is never used, and nothing is
/// reached through a link the kernel's protected-links rule would not follow. A link to a
/// regular file is written through (the link stays, the file it names gets the new contents).
QString reasonNotToSaveAt(const QString& path);

/// Makes the folder `path` (its parent must exist) for files to be saved into, or finds it
/// there: a null string when it may be written into, else why not. Walked as `HeldFolder`
/// walks: never reached through a link the protected-links rule refuses, and in a sticky
/// folder every user may write to it must belong to this user.
QString makeFolderForSaving(const QString& path);

/// The line that says a save failed, for the window's alert and the headless program alike:
/// "cannot write <path>: <reason>".
QString saveFailureText(const QString& path, const QString& reason);

/// Who may read a saved file.
enum class FileAccess {
    /// The mode of the file it replaces, or the user's umask when it is new.
    Usual,
    /// The user alone (0600): the file holds a password.
    OwnerOnly,
};

/// What committing a file held by its folder does with an entry that already has its name.
enum class ExistingEntry {
    /// A regular file there is replaced; anything else is refused.
    Replace,
    /// Nothing there is looked at or replaced: the file takes the name only while it is free
    /// (a download set down beside what has its name).
    Keep,
};

/// Every save of a whole file goes through this (see HeldFolder.h): the target's folder is
/// reached by `reachFileSpot` and held by descriptor; a temporary file is made in it with
/// `openat` and renamed over the target with `renameat` once complete, so an interrupted save
/// leaves the old file whole and a link swapped in on the way cannot move the write. A save
/// whose path no longer leads the same way at the end (a folder on the way moved, a link put
/// in its place) is dropped.
/// - A target that is not a regular file is refused (`reasonNotToSaveAt`) and left as it was.
/// - A file in one of the application's private folders (`Paths::isPrivate`) or saved with
///   `FileAccess::OwnerOnly` gets mode 0600; any other keeps the mode of the user's own file it
///   replaces, or gets the user's umask when it is new or replaces another user's file.
/// - A failure's reason is the system's ("No space left on device", "File too large") or the
///   write path's own refusal, told apart by `errorKind()`.
/// Write with `write()` or through `device()` (a sequential device gathering writes into large
/// pieces) between a successful `open()` and `commit()`; dropping the object without
/// committing discards the new bytes.
class AtomicFile {
public:
    explicit AtomicFile(const QString& path, FileAccess access = FileAccess::Usual);
    /// The file `name` in a folder held (`reachFileSpotIn`): written there whatever its path
    /// leads to meanwhile. `folder` must outlive this object. With `ExistingEntry::Keep` the
    /// temporary file is made whatever has the name, and `commit` puts it there only while
    /// nothing has it.
    AtomicFile(const HeldFolder& folder, const QString& name, FileAccess access = FileAccess::Usual,
        ExistingEntry existing = ExistingEntry::Replace);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    /// Opens a new, empty temporary file for writing (dropping what an earlier `open` wrote);
    /// false (with `error()`) when that cannot be done.
    bool open();
    /// A write-only, sequential device writing to the file (it cannot seek).
    QIODevice& device();
    /// Writes all of `bytes`; false (with `error()`) when the device refused any.
    bool write(QByteArrayView bytes);
    /// Puts the new file in place; false (with `error()`) when anything written was refused or
    /// the file could not be completed. The old file is then left as it was.
    bool commit();
    /// Checks, putting nothing in place, what `commit` will need: the file complete and
    /// durable, the path leading as it did, and what has the name replaceable (not marked
    /// immutable or append-only). False (with `error()`, the new bytes dropped) when the commit
    /// would fail; a set of files checks each before the first takes its name. A commit can
    /// still fail when something changes in between.
    bool prepareCommit();
    /// With `ExistingEntry::Keep`: commits under `name` in the same folder instead.
    bool commitAs(const QString& name);
    /// With `ExistingEntry::Keep`: the last commit found the name taken. The new bytes are kept
    /// for `commitAs` another name.
    bool nameTaken() const { return m_nameTaken; }
    /// Makes what was written durable now (`fdatasync`), so that the commit need not wait for
    /// the disk: a large file written on a worker, committed on the main thread. False (with
    /// `error()`, the new bytes dropped) when it could not.
    bool sync();
    /// Drops what was written: the old file stays as it was.
    void cancel();
    /// Why the last step failed (without the path).
    QString error() const { return m_error; }
    /// Whether that was the system's reason or the write path's own refusal.
    WriteError::Kind errorKind() const { return m_errorKind; }

private:
    class Pieces;
    bool fail(const QString& reason, WriteError::Kind kind = WriteError::Kind::System);
    bool fail(const WriteError& error) { return fail(error.reason, error.kind); }
    /// Where the file goes now.
    Expected<FileSpot, WriteError> reach() const;
    /// The folder the temporary file is in.
    int folderDescriptor() const;

    QString m_path;
    /// The folder held and the name in it, for a file saved below a folder already reached.
    const HeldFolder* m_held = nullptr;
    QString m_name;
    FileAccess m_access;
    ExistingEntry m_existing = ExistingEntry::Replace;
    /// Where the file goes, as walked when it was opened.
    std::unique_ptr<FileSpot> m_spot;
    /// The temporary file in the held folder, and its name there.
    int m_fd = -1;
    QByteArray m_temporary;
    std::unique_ptr<Pieces> m_pieces;
    QString m_error;
    WriteError::Kind m_errorKind = WriteError::Kind::System;
    bool m_refused = false;
    bool m_nameTaken = false;
};

/// Writes `bytes` to `path` atomically (a temporary file beside it, renamed over it once
/// written). On failure answers false, leaves any old file as it was and, when `error` is
/// given, sets the reason. Any thread.
bool saveBytesAtomically(
    const QString& path, const QByteArray& bytes, QString* error = nullptr, FileAccess access = FileAccess::Usual);

/// `saveTextAtomically` of the file `name` in the folder held (every file written below a
/// folder once reached goes through its descriptor).
bool saveTextIn(const HeldFolder& folder, const QString& name, const QString& text, QString* error = nullptr);

/// Writes one piece of a file; answers false when the device did not take all of it.
using PieceWriter = std::function<bool(QByteArrayView piece)>;

/// Writes `path` atomically from pieces: `writer` runs once, on the calling thread, and hands the
/// file's bytes to the `PieceWriter` it is given, in order, as they are made. The file is committed
/// only when `writer` answers true and every piece was written whole; otherwise any old file stays
/// as it was, the new bytes are discarded and `error` (when given) gets the reason: the device's
/// (a full disk, a missing folder) or, when `writer` gave up on its own, that the writing stopped
/// before the end. A writer should stop once a piece was refused. Any thread.
bool saveStreamAtomically(const QString& path, const std::function<bool(const PieceWriter& write)>& writer,
    QString* error = nullptr, FileAccess access = FileAccess::Usual);

/// `text` as UTF-8 (characters UTF-8 cannot hold, lone surrogates, become "?"), written as
/// `saveBytesAtomically` does.
bool saveTextAtomically(const QString& path, const QString& text, QString* error = nullptr);

/// Reads `device` from its position to its end, but at most `cap` + 1 bytes, so a caller can
/// tell a file over the cap (grown since its size was checked, too) by the answer's size.
/// Memory grows with what is read: a small file never reserves the cap, as
/// `QIODevice::read(cap)` does. Stops at the first read error (check the device's error).
QByteArray readAtMost(QIODevice& device, qint64 cap);

} // namespace crawlmere::platform
