// Writing a file the user keeps in one step: the old file stays whole until the new one is
// complete; reading one with a cap on its size.
#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

namespace crawlmere::platform {

/// Writes `bytes` to `path` atomically (a temporary file beside it, renamed over it once
/// written). On failure answers false, leaves any old file as it was and, when `error` is
/// given, sets the reason. Any thread.
bool saveBytesAtomically(const QString& path, const QByteArray& bytes, QString* error = nullptr);

/// `text` as UTF-8 (characters UTF-8 cannot hold, lone surrogates, become U+FFFD), written as
/// `saveBytesAtomically` does.
bool saveTextAtomically(const QString& path, const QString& text, QString* error = nullptr);

/// Reads `device` from its position to its end, but at most `cap` + 1 bytes, so a caller can
/// tell a file over the cap (grown since its size was checked, too) by the answer's size.
/// Memory grows with what is read: a small file never reserves the cap, as
/// `QIODevice::read(cap)` does. Stops at the first read error (check the device's error).
QByteArray readAtMost(QIODevice& device, qint64 cap);

} // namespace crawlmere::platform
