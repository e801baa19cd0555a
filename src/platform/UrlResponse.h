// The head of a response as a value: status, reason, header fields, final URL, MIME type,
// text encoding and expected length.
#pragma once

#include "platform/HttpHeaders.h"

#include <QString>

namespace crawlmere::platform {

/// A response head. For a `file:` URL `isHttp` is false, `statusCode` is 0 and the headers are
/// empty; the MIME type then comes from the file name's extension.
struct UrlResponse {
    /// The URL this response answers (the URL of the hop, not the first request's).
    QString url;
    bool isHttp = true;
    int statusCode = 0;
    /// The server's reason phrase, or the standard one for the code when the server sent none
    /// (HTTP/2 never does).
    QString reasonPhrase;
    /// 10, 11, 20 or 30 for HTTP/1.0, 1.1, 2 and 3; 0 for files.
    int httpVersion = 0;
    /// Every field of the final header block, in order; duplicate names kept.
    HttpHeaders allHeaderFields;
    /// From `Content-Type` up to ";", trimmed and lower-cased; empty when absent.
    QString mimeType;
    /// The `charset` parameter of `Content-Type`, unquoted and lower-cased; empty when absent.
    QString textEncodingName;
    /// `Content-Length` (of the encoded body) or the file size; -1 when unknown.
    qint64 expectedContentLength = -1;

    /// Fills `mimeType` and `textEncodingName` from a `Content-Type` value.
    void setContentType(const QByteArray& contentType);

    /// The reason phrase of an HTTP status code, lower case apart from acronyms ("not found",
    /// "moved permanently", "HTTP version not supported"), as the status texts show it.
    /// Registered codes have their standard phrase (200 gives "ok"); an unregistered code from
    /// 100 to 599 gives the name of its class: "informational", "success", "redirected",
    /// "client error" or "server error". Anything outside 100..599 (0, 999, negative codes)
    /// gives "unknown". Never empty.
    static QString localizedStringForStatusCode(qint64 code);
};

} // namespace crawlmere::platform
