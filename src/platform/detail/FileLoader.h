// Serves `file:` URLs in-process: the response head of a local file and its bytes in chunks.
#pragma once

#include "platform/UrlError.h"
#include "platform/UrlResponse.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>
#include <variant>

namespace crawlmere::platform::detail {

struct LocalFile {
    QString path;
    /// Not HTTP: status 0, no header fields, MIME type from the extension, the file size.
    UrlResponse response;
};

/// The file a `file:` URL names, or why it cannot be served: `BadUrl` (not a local file URL),
/// `FileDoesNotExist`, `FileIsDirectory`, `FileIsNotRegular` (a device, a FIFO, a socket: never
/// opened), `NoPermissionsToReadFile`.
std::variant<LocalFile, UrlError> openFileUrl(const QString& url);

/// Reads the file in chunks and hands each to `chunk`. Stops with `Cancelled` as soon as
/// `cancelled` returns true, with `BodyTooLarge` after `maxBytes` bytes (those are delivered),
/// and with `NoPermissionsToReadFile` when reading fails.
std::optional<UrlError> readFile(const LocalFile& file, qint64 maxBytes, const std::function<bool()>& cancelled,
    const std::function<void(const QByteArray&)>& chunk);

} // namespace crawlmere::platform::detail
