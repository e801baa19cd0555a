// Why a URL task ended without a complete response: a code to branch on and a text to show.
#pragma once

#include <QString>

namespace crawlmere::platform {

enum class UrlErrorCode {
    /// The task was cancelled: by `cancel()`, by a callback's decision, or by invalidation.
    Cancelled,
    /// No byte arrived for the request's idle time-out (or a synchronous load ran out of time).
    TimedOut,
    CannotFindHost,
    CannotConnectToHost,
    /// The connection closed early: before any response, or before the body was complete.
    NetworkConnectionLost,
    /// The server answered with something that is not HTTP.
    BadServerResponse,
    CannotDecodeContent,
    SecureConnectionFailed,
    /// The URL is empty or malformed.
    BadUrl,
    /// A scheme other than http, https and file (or a redirect from the network to a file).
    UnsupportedUrl,
    /// The request's redirect cap was reached.
    TooManyRedirects,
    /// The request's body cap was reached; the bytes up to the cap were delivered.
    BodyTooLarge,
    /// The request's header-block cap was reached.
    HeaderTooLarge,
    /// A Basic authentication challenge (401) that the delegate answered with no credential.
    AuthenticationRequired,
    /// A `file:` URL whose file does not exist.
    FileDoesNotExist,
    /// A `file:` URL that names a folder.
    FileIsDirectory,
    /// A `file:` URL that names a device, a FIFO or a socket: it is never opened.
    FileIsNotRegular,
    /// A `file:` URL whose file exists but cannot be read.
    NoPermissionsToReadFile,
    Unknown,
};

struct UrlError {
    UrlErrorCode code = UrlErrorCode::Unknown;
    /// A sentence for the user, such as "The request timed out."
    QString localizedDescription;
    /// The transfer library's own error number when it reported the failure, else 0.
    int underlyingCode = 0;

    /// An error with the standard text of `code`.
    static UrlError make(UrlErrorCode code, int underlyingCode = 0);
    /// The standard text of a code.
    static QString describe(UrlErrorCode code);
    bool isCancelled() const { return code == UrlErrorCode::Cancelled; }
};

} // namespace crawlmere::platform
