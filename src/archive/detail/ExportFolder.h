// The output folder of an archive export: made on the first write under a name no earlier export
// holds, and written only inside, never over an existing file.
#pragma once

#include "platform/HeldFolder.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace crawlmere::archive::detail {

/// Paths come from crawled URLs (percent-decoded, queries included) and from a settings file's
/// `defaultLocalFileName`, so each one is checked here before anything is written: empty
/// components are dropped; a component that is "." or "..", holds a NUL or control character,
/// or is longer than 255 UTF-8 bytes makes the path unusable. Folders on the way must be real
/// folders inside this one (a symbolic link is not followed), and a file is only ever created
/// new. The folder is reached and made through `platform::HeldFolder` (the one way to write) and
/// held by descriptor from then on: every file below it is written through that descriptor, so
/// a folder moved or swapped for a link during the export never sends a file elsewhere. Used by
/// one export thread.
class ExportFolder {
public:
    static constexpr qsizetype kMaxComponentBytes = 255;

    /// `path`: the folder to make ("savePath/name"); "-2", "-3", … are added when it exists.
    explicit ExportFolder(QString path);

    /// The components of a relative path when every one is usable; nullopt otherwise.
    static std::optional<QStringList> cleanComponents(const QString& relative);
    /// One component as usable, or null.
    static bool isUsableComponent(const QString& component);
    /// Why `cleanComponents` refuses `relative`, as a skip reason: a name longer than a file
    /// system takes, a control character, or a path that would leave the folder.
    static QString unusableReason(const QString& relative);

    /// What became of one file.
    enum class Outcome {
        Written,
        /// Left out by a rule: an unusable name, a file or link where a folder on the way
        /// belongs, or a file of that name there already (never written over).
        Skipped,
        /// The system refused it (a full disk, no permission, a read-only file system), or the
        /// output folder itself could not be made (see `failure`).
        NotWritten,
    };

    /// Writes `data` to the relative path (components from `cleanComponents`); a file skipped or
    /// not written gets a log line.
    Outcome write(const QStringList& components, const QByteArray& data);

    /// Why the last file skipped was left out ("a file of that name is there already").
    const QString& skipReason() const { return lastSkipReason; }

    /// The folder as made; null until the first write.
    const QString& made() const { return madePath; }
    qint64 filesWritten() const { return written; }
    /// Files the system refused, and the first one's path and reason ("PATH: REASON"); null
    /// while none was refused.
    qint64 filesNotWritten() const { return notWritten; }
    const QString& firstWriteFailure() const { return writeFailure; }
    /// Why the folder could not be made; null while it could (or was not tried).
    const QString& failure() const { return rootFailure; }

private:
    bool ensureRoot();
    /// Counts and logs a file or folder the system refused, and why.
    Outcome refused(const QString& path, const QString& reason);
    Outcome skippedFor(const QString& reason);

    QString wantedPath;
    QString madePath;
    platform::HeldFolder root;
    QString rootFailure;
    qint64 written = 0;
    qint64 notWritten = 0;
    QString writeFailure;
    QString lastSkipReason;
};

} // namespace crawlmere::archive::detail
