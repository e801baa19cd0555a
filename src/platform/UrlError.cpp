#include "platform/UrlError.h"

namespace crawlmere::platform {

UrlError UrlError::make(UrlErrorCode code, int underlyingCode) { return { code, describe(code), underlyingCode }; }

QString UrlError::describe(UrlErrorCode code)
{
    switch (code) {
    case UrlErrorCode::Cancelled:
        return QStringLiteral("cancelled");
    case UrlErrorCode::TimedOut:
        return QStringLiteral("The request timed out.");
    case UrlErrorCode::CannotFindHost:
        return QStringLiteral("A server with the specified hostname could not be found.");
    case UrlErrorCode::CannotConnectToHost:
        return QStringLiteral("Could not connect to the server.");
    case UrlErrorCode::NetworkConnectionLost:
        return QStringLiteral("The network connection was lost.");
    case UrlErrorCode::BadServerResponse:
        return QStringLiteral("The server sent a response that could not be read.");
    case UrlErrorCode::CannotDecodeContent:
        return QStringLiteral("The response body could not be decoded.");
    case UrlErrorCode::SecureConnectionFailed:
        return QStringLiteral("A secure connection to the server could not be made.");
    case UrlErrorCode::BadUrl:
        return QStringLiteral("The URL is not valid.");
    case UrlErrorCode::UnsupportedUrl:
        return QStringLiteral("The URL's scheme is not supported.");
    case UrlErrorCode::TooManyRedirects:
        return QStringLiteral("Too many redirects.");
    case UrlErrorCode::BodyTooLarge:
        return QStringLiteral("The response is larger than the size limit.");
    case UrlErrorCode::HeaderTooLarge:
        return QStringLiteral("The response headers are larger than the size limit.");
    case UrlErrorCode::AuthenticationRequired:
        return QStringLiteral("The server asked for a user name and password.");
    case UrlErrorCode::FileDoesNotExist:
        return QStringLiteral("The file doesn't exist.");
    case UrlErrorCode::FileIsDirectory:
        return QStringLiteral("The file is a folder.");
    case UrlErrorCode::FileIsNotRegular:
        return QStringLiteral("The file is not a regular file (a device, a FIFO or a socket); it is not read.");
    case UrlErrorCode::NoPermissionsToReadFile:
        return QStringLiteral("The file couldn't be read.");
    case UrlErrorCode::Unknown:
        return QStringLiteral("An unknown error occurred.");
    }
    return QStringLiteral("An unknown error occurred.");
}

} // namespace crawlmere::platform
