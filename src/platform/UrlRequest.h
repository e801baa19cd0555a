// One HTTP or file request as a value: URL, method, headers, body, idle time-out, cookie
// switch, proxy and the caps that bound what a transfer may receive.
#pragma once

#include "platform/HttpHeaders.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace crawlmere::platform {

/// An HTTP proxy that every hop of a request goes through.
struct HttpProxy {
    QString host;
    int port = 8080;
};

/// A request value. Cheap to copy; safe to hand between threads.
///
/// Headers are sent as given, with three exceptions that the transfer sets itself: a literal
/// `Host` and a `Content-Length` are never sent (the transfer derives both from the URL and the
/// body), and `Accept-Encoding` always names the content codings the transfer can decode, so
/// the body that arrives is always decoded.
struct UrlRequest {
    static constexpr double kDefaultTimeoutInterval = 60.0;
    static constexpr qint64 kDefaultMaxBodyBytes = 64 * 1024 * 1024;
    static constexpr qint64 kDefaultMaxHeaderBytes = 64 * 1024;
    static constexpr int kDefaultMaxRedirects = 20;

    UrlRequest() = default;
    explicit UrlRequest(QString requestUrl, double timeout = kDefaultTimeoutInterval)
        : url(std::move(requestUrl))
        , timeoutInterval(timeout)
    {
    }

    /// An absolute "http:", "https:" or "file:" URL, percent-encoded. Anything else ends the
    /// task with a `BadUrl` or `UnsupportedUrl` error.
    QString url;
    /// "GET", "POST", "HEAD", or any other token; the body goes with every method but HEAD.
    QByteArray httpMethod = "GET";
    HttpHeaders headers;
    QByteArray httpBody;
    /// Idle time-out in seconds: the longest wait for a connection and the longest stretch in
    /// which no byte arrives. Not a limit on the whole transfer. Values below 0.001 mean the default.
    double timeoutInterval = kDefaultTimeoutInterval;
    /// When true, cookies of the shared store go with the request and cookies that responses
    /// set are kept there. When false, the store is neither read nor written.
    bool httpShouldHandleCookies = true;
    /// Sent as `User-Agent` unless the headers carry one; nothing is sent when both are empty.
    QString userAgent;
    /// No proxy: the request goes straight to the server (proxy variables of the environment
    /// are not consulted).
    std::optional<HttpProxy> proxy;

    /// Decoded body bytes beyond this end the task with `BodyTooLarge`; the bytes up to the cap
    /// have been delivered.
    qint64 maxBodyBytes = kDefaultMaxBodyBytes;
    /// A response header block (per hop) beyond this ends the task with `HeaderTooLarge`.
    qint64 maxHeaderBytes = kDefaultMaxHeaderBytes;
    /// Redirects followed by one task; the next redirect response ends it with `TooManyRedirects`.
    int maxRedirects = kDefaultMaxRedirects;

    /// Sets a header field, replacing any of the same name.
    void setValue(const QByteArray& value, const QByteArray& headerField) { headers.set(headerField, value); }
    QByteArray valueForHTTPHeaderField(const QByteArray& headerField) const { return headers.value(headerField); }

    /// True for 301, 302, 303, 307 and 308, the statuses whose `Location` is followed.
    static bool isRedirectStatus(int statusCode);

    /// The request a browser sends after a redirect with `statusCode` to `newUrl`: a POST
    /// answered by 301 or 302, and anything but HEAD answered by 303, becomes a GET without body
    /// and without the body's header fields; 307 and 308 keep method and body. Everything else
    /// (headers, cookies switch, proxy, caps) carries over.
    UrlRequest redirected(int statusCode, const QString& newUrl) const;

    /// The lower-cased scheme of `url` ("http", "file", ...), empty when it has none.
    QString scheme() const;
};

} // namespace crawlmere::platform
