// The reason phrases of HTTP status codes, in the lower-case form the status texts show.
#pragma once

#include <QString>
#include <QtGlobal>

namespace crawlmere::engine::detail {

/// The reason phrase of an HTTP status code, lower case apart from acronyms ("not found",
/// "moved permanently", "HTTP version not supported"). Registered codes have their standard
/// phrase (200 gives "ok"); an unregistered code from 100 to 599 gives the name of its class:
/// "informational", "success", "redirected", "client error" or "server error". Anything outside
/// 100..599 (0, 999, negative codes) gives "unknown". Never empty.
QString reasonPhraseForStatusCode(qint64 code);

} // namespace crawlmere::engine::detail
