#include "platform/UrlError.h"

#include "platform/RegularFile.h"

namespace crawlmere::platform {

UrlError UrlError::make(UrlErrorCode code, int underlyingCode) { return { code, describe(code), underlyingCode }; }

namespace {

struct NetworkText {
    UrlErrorCode code;
    const char* text;
};

// What a failed transfer says, by its code.
constexpr NetworkText kNetworkTexts[] = {
    { UrlErrorCode::Cancelled, "cancelled" },
    { UrlErrorCode::TimedOut, "The request timed out." },
    { UrlErrorCode::CannotFindHost, "A server with the specified hostname could not be found." },
    { UrlErrorCode::CannotConnectToHost, "Could not connect to the server." },
    { UrlErrorCode::NetworkConnectionLost, "The network connection was lost." },
    { UrlErrorCode::BadServerResponse, "The server sent a response that could not be read." },
    { UrlErrorCode::CannotDecodeContent, "The response body could not be decoded." },
    { UrlErrorCode::SecureConnectionFailed, "A secure connection to the server could not be made." },
    { UrlErrorCode::BadUrl, "The URL is not valid." },
    { UrlErrorCode::UnsupportedUrl, "The URL's scheme is not supported." },
    { UrlErrorCode::TooManyRedirects, "Too many redirects." },
    { UrlErrorCode::BodyTooLarge, "The response is larger than the size limit." },
    { UrlErrorCode::HeaderTooLarge, "The response headers are larger than the size limit." },
    { UrlErrorCode::AuthenticationRequired, "The server asked for a user name and password." },
    { UrlErrorCode::Unknown, "An unknown error occurred." },
};

QString networkText(UrlErrorCode code)
{
    for (const NetworkText& entry : kNetworkTexts) {
        if (entry.code == code)
            return QString::fromUtf8(entry.text);
    }
    return QStringLiteral("An unknown error occurred.");
}

} // namespace

QString UrlError::describe(UrlErrorCode code)
{
    switch (code) {
    // A local file's problems read as the file readers say them.
    case UrlErrorCode::FileDoesNotExist:
        return RegularFile::describe(RegularFile::Problem::Missing);
    case UrlErrorCode::FileIsDirectory:
        return RegularFile::describe(RegularFile::Problem::Folder);
    case UrlErrorCode::FileIsNotRegular:
        return RegularFile::describe(RegularFile::Problem::NotRegular);
    case UrlErrorCode::NoPermissionsToReadFile:
        return RegularFile::describe(RegularFile::Problem::ReadFailed);
    case UrlErrorCode::Cancelled:
    case UrlErrorCode::TimedOut:
    case UrlErrorCode::CannotFindHost:
    case UrlErrorCode::CannotConnectToHost:
    case UrlErrorCode::NetworkConnectionLost:
    case UrlErrorCode::BadServerResponse:
    case UrlErrorCode::CannotDecodeContent:
    case UrlErrorCode::SecureConnectionFailed:
    case UrlErrorCode::BadUrl:
    case UrlErrorCode::UnsupportedUrl:
    case UrlErrorCode::TooManyRedirects:
    case UrlErrorCode::BodyTooLarge:
    case UrlErrorCode::HeaderTooLarge:
    case UrlErrorCode::AuthenticationRequired:
    case UrlErrorCode::Unknown:
        return networkText(code);
    }
    return networkText(code);
}

} // namespace crawlmere::platform
