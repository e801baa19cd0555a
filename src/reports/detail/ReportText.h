// Text helpers shared by the report exports: HTML escaping and the atomic UTF-8 save.
#pragma once

#include <QString>

namespace crawlmere::reports::detail {

/// `text` with &, <, > and " replaced by their entities, for HTML text and attribute values.
QString htmlEscaped(const QString& text);

/// Writes `text` as UTF-8 to `path` atomically (the old file stays whole on failure). On failure
/// answers false and, when `error` is given, the reason.
bool saveTextAtomically(const QString& path, const QString& text, QString* error = nullptr);

} // namespace crawlmere::reports::detail
