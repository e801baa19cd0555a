#include "platform/UrlResponse.h"

#include <algorithm>
#include <array>

namespace crawlmere::platform {

void UrlResponse::setContentType(const QByteArray& contentType)
{
    const QList<QByteArray> parts = contentType.split(';');
    mimeType = QString::fromLatin1(parts.value(0).trimmed()).toLower();
    textEncodingName.clear();
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QByteArray parameter = parts[i].trimmed();
        const qsizetype equals = parameter.indexOf('=');
        if (equals < 0 || !HttpHeaders::namesEqual(parameter.left(equals).trimmed(), "charset"))
            continue;
        QByteArray value = parameter.mid(equals + 1).trimmed();
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        textEncodingName = QString::fromLatin1(value.trimmed()).toLower();
        break;
    }
}

namespace {

struct Phrase {
    qint64 code;
    const char* text;
};

// Sorted by code, for the binary search below.
constexpr std::array<Phrase, 63> phrases = { {
    { 100, "continue" },
    { 101, "switching protocols" },
    { 102, "processing" },
    { 103, "early hints" },
    { 200, "ok" },
    { 201, "created" },
    { 202, "accepted" },
    { 203, "non-authoritative information" },
    { 204, "no content" },
    { 205, "reset content" },
    { 206, "partial content" },
    { 207, "multi-status" },
    { 208, "already reported" },
    { 226, "IM used" },
    { 300, "multiple choices" },
    { 301, "moved permanently" },
    { 302, "found" },
    { 303, "see other" },
    { 304, "not modified" },
    { 305, "use proxy" },
    { 306, "switch proxy" },
    { 307, "temporary redirect" },
    { 308, "permanent redirect" },
    { 400, "bad request" },
    { 401, "unauthorized" },
    { 402, "payment required" },
    { 403, "forbidden" },
    { 404, "not found" },
    { 405, "method not allowed" },
    { 406, "not acceptable" },
    { 407, "proxy authentication required" },
    { 408, "request timeout" },
    { 409, "conflict" },
    { 410, "gone" },
    { 411, "length required" },
    { 412, "precondition failed" },
    { 413, "content too large" },
    { 414, "URI too long" },
    { 415, "unsupported media type" },
    { 416, "range not satisfiable" },
    { 417, "expectation failed" },
    { 418, "I'm a teapot" },
    { 421, "misdirected request" },
    { 422, "unprocessable content" },
    { 423, "locked" },
    { 424, "failed dependency" },
    { 425, "too early" },
    { 426, "upgrade required" },
    { 428, "precondition required" },
    { 429, "too many requests" },
    { 431, "request header fields too large" },
    { 451, "unavailable for legal reasons" },
    { 500, "internal server error" },
    { 501, "not implemented" },
    { 502, "bad gateway" },
    { 503, "service unavailable" },
    { 504, "gateway timeout" },
    { 505, "HTTP version not supported" },
    { 506, "variant also negotiates" },
    { 507, "insufficient storage" },
    { 508, "loop detected" },
    { 510, "not extended" },
    { 511, "network authentication required" },
} };

static_assert(
    std::is_sorted(phrases.begin(), phrases.end(), [](const Phrase& a, const Phrase& b) { return a.code < b.code; }));

} // namespace

QString UrlResponse::localizedStringForStatusCode(qint64 code)
{
    const auto it
        = std::lower_bound(phrases.begin(), phrases.end(), code, [](const Phrase& p, qint64 c) { return p.code < c; });
    if (it != phrases.end() && it->code == code)
        return QString::fromLatin1(it->text);
    if (code >= 100 && code < 200)
        return QStringLiteral("informational");
    if (code >= 200 && code < 300)
        return QStringLiteral("success");
    if (code >= 300 && code < 400)
        return QStringLiteral("redirected");
    if (code >= 400 && code < 500)
        return QStringLiteral("client error");
    if (code >= 500 && code < 600)
        return QStringLiteral("server error");
    return QStringLiteral("unknown");
}

} // namespace crawlmere::platform
