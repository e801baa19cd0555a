// Reading local files that may name anything: only regular files are opened, never in a way
// that blocks (a FIFO with no writer), and never read past a cap.
#pragma once

#include "platform/Expected.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

class QFile;

namespace crawlmere::platform {

class RegularFile {
public:
    enum class Problem {
        Missing,
        Folder,
        /// A device, a FIFO or a socket: reading it may never end or never begin.
        NotRegular,
        NoPermission,
        TooLarge,
        ReadFailed,
    };
    struct Failure {
        Problem problem;
        /// A sentence on the problem, for messages: "The file is not a regular file (…)."
        QString reason;
    };

    /// The kind of thing at `path` as a failure, or nothing when it is a regular file (links
    /// followed). Does not open it.
    static std::optional<Failure> check(const QString& path);

    /// Opens `path` for reading when it is a regular file. The open never blocks (O_NONBLOCK)
    /// and the kind is checked again on the open descriptor, so a file swapped for a FIFO
    /// after `check` is still refused.
    static Expected<std::unique_ptr<QFile>, Failure> open(const QString& path);

    /// The whole of a regular file of at most `maxBytes` bytes. A larger file (or one that grew
    /// past it while read) is `TooLarge`, after reading at most `maxBytes` + 1 bytes.
    static Expected<QByteArray, Failure> read(const QString& path, qint64 maxBytes);

    /// The sentence of a problem, as `Failure::reason` gives it.
    static QString describe(Problem problem, qint64 maxBytes = 0);
};

} // namespace crawlmere::platform
