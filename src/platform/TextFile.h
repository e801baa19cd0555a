// Writing a file the user keeps in one step: the old file stays whole until the new one is
// complete.
#pragma once

#include <QByteArray>
#include <QString>

namespace crawlmere::platform {

/// Writes `bytes` to `path` atomically (a temporary file beside it, renamed over it once
/// written). On failure answers false, leaves any old file as it was and, when `error` is
/// given, sets the reason. Any thread.
bool saveBytesAtomically(const QString& path, const QByteArray& bytes, QString* error = nullptr);

/// `text` as UTF-8 (characters UTF-8 cannot hold, lone surrogates, become U+FFFD), written as
/// `saveBytesAtomically` does.
bool saveTextAtomically(const QString& path, const QString& text, QString* error = nullptr);

} // namespace crawlmere::platform
