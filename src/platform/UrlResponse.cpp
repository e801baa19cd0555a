#include "platform/UrlResponse.h"

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

QString UrlResponse::localizedStringForStatusCode(int statusCode)
{
    switch (statusCode) {
    case 100: return QStringLiteral("Continue");
    case 101: return QStringLiteral("Switching Protocols");
    case 102: return QStringLiteral("Processing");
    case 103: return QStringLiteral("Early Hints");
    case 200: return QStringLiteral("OK");
    case 201: return QStringLiteral("Created");
    case 202: return QStringLiteral("Accepted");
    case 203: return QStringLiteral("Non-Authoritative Information");
    case 204: return QStringLiteral("No Content");
    case 205: return QStringLiteral("Reset Content");
    case 206: return QStringLiteral("Partial Content");
    case 207: return QStringLiteral("Multi-Status");
    case 208: return QStringLiteral("Already Reported");
    case 226: return QStringLiteral("IM Used");
    case 300: return QStringLiteral("Multiple Choices");
    case 301: return QStringLiteral("Moved Permanently");
    case 302: return QStringLiteral("Found");
    case 303: return QStringLiteral("See Other");
    case 304: return QStringLiteral("Not Modified");
    case 305: return QStringLiteral("Use Proxy");
    case 307: return QStringLiteral("Temporary Redirect");
    case 308: return QStringLiteral("Permanent Redirect");
    case 400: return QStringLiteral("Bad Request");
    case 401: return QStringLiteral("Unauthorized");
    case 402: return QStringLiteral("Payment Required");
    case 403: return QStringLiteral("Forbidden");
    case 404: return QStringLiteral("Not Found");
    case 405: return QStringLiteral("Method Not Allowed");
    case 406: return QStringLiteral("Not Acceptable");
    case 407: return QStringLiteral("Proxy Authentication Required");
    case 408: return QStringLiteral("Request Timeout");
    case 409: return QStringLiteral("Conflict");
    case 410: return QStringLiteral("Gone");
    case 411: return QStringLiteral("Length Required");
    case 412: return QStringLiteral("Precondition Failed");
    case 413: return QStringLiteral("Content Too Large");
    case 414: return QStringLiteral("URI Too Long");
    case 415: return QStringLiteral("Unsupported Media Type");
    case 416: return QStringLiteral("Range Not Satisfiable");
    case 417: return QStringLiteral("Expectation Failed");
    case 418: return QStringLiteral("I'm a teapot");
    case 421: return QStringLiteral("Misdirected Request");
    case 422: return QStringLiteral("Unprocessable Content");
    case 423: return QStringLiteral("Locked");
    case 424: return QStringLiteral("Failed Dependency");
    case 425: return QStringLiteral("Too Early");
    case 426: return QStringLiteral("Upgrade Required");
    case 428: return QStringLiteral("Precondition Required");
    case 429: return QStringLiteral("Too Many Requests");
    case 431: return QStringLiteral("Request Header Fields Too Large");
    case 451: return QStringLiteral("Unavailable For Legal Reasons");
    case 500: return QStringLiteral("Internal Server Error");
    case 501: return QStringLiteral("Not Implemented");
    case 502: return QStringLiteral("Bad Gateway");
    case 503: return QStringLiteral("Service Unavailable");
    case 504: return QStringLiteral("Gateway Timeout");
    case 505: return QStringLiteral("HTTP Version Not Supported");
    case 506: return QStringLiteral("Variant Also Negotiates");
    case 507: return QStringLiteral("Insufficient Storage");
    case 508: return QStringLiteral("Loop Detected");
    case 510: return QStringLiteral("Not Extended");
    case 511: return QStringLiteral("Network Authentication Required");
    default: break;
    }
    if (statusCode >= 100 && statusCode < 200)
        return QStringLiteral("Informational");
    if (statusCode >= 200 && statusCode < 300)
        return QStringLiteral("Success");
    if (statusCode >= 300 && statusCode < 400)
        return QStringLiteral("Redirection");
    if (statusCode >= 400 && statusCode < 500)
        return QStringLiteral("Client Error");
    if (statusCode >= 500 && statusCode < 600)
        return QStringLiteral("Server Error");
    return QStringLiteral("Unknown");
}

} // namespace crawlmere::platform
