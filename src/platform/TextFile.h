// Writing a file the user keeps in one step: the old file stays whole until the new one is
// complete; reading one with a cap on its size.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

class QIODevice;

namespace crawlmere::platform {

/// Writes `bytes` to `path` atomically (a temporary file beside it, renamed over it once
/// written). On failure answers false, leaves any old file as it was and, when `error` is
/// given, sets the reason. Any thread.
bool saveBytesAtomically(const QString& path, const QByteArray& bytes, QString* error = nullptr);

/// Writes one piece of a file; answers false when the device did not take all of it.
using PieceWriter = std::function<bool(QByteArrayView piece)>;

/// Writes `path` atomically from pieces: `writer` runs once, on the calling thread, and hands the
/// file's bytes to the `PieceWriter` it is given, in order, as they are made. The file is committed
/// only when `writer` answers true and every piece was written whole; otherwise any old file stays
/// as it was, the new bytes are discarded and `error` (when given) gets the reason: the device's
/// (a full disk, a missing folder) or, when `writer` gave up on its own, that the writing stopped
/// before the end. A writer should stop once a piece was refused. Any thread.
bool saveStreamAtomically(
    const QString& path, const std::function<bool(const PieceWriter& write)>& writer, QString* error = nullptr);

/// `text` as UTF-8 (characters UTF-8 cannot hold, lone surrogates, become "?"), written as
/// `saveBytesAtomically` does.
bool saveTextAtomically(const QString& path, const QString& text, QString* error = nullptr);

/// Reads `device` from its position to its end, but at most `cap` + 1 bytes, so a caller can
/// tell a file over the cap (grown since its size was checked, too) by the answer's size.
/// Memory grows with what is read: a small file never reserves the cap, as
/// `QIODevice::read(cap)` does. Stops at the first read error (check the device's error).
QByteArray readAtMost(QIODevice& device, qint64 cap);

} // namespace crawlmere::platform
