#include "platform/detail/FileLoader.h"

#include "platform/RegularFile.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QUrl>

namespace crawlmere::platform::detail {

namespace {
constexpr qint64 kChunkBytes = 64 * 1024;
}

std::variant<LocalFile, UrlError> openFileUrl(const QString& url)
{
    const QUrl parsed(url, QUrl::StrictMode);
    const QString host = parsed.host();
    if (!parsed.isValid() || !parsed.isLocalFile()
        || (!host.isEmpty() && host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0))
        return UrlError::make(UrlErrorCode::BadUrl);
    LocalFile file;
    file.path = parsed.toLocalFile();
    if (file.path.isEmpty())
        return UrlError::make(UrlErrorCode::BadUrl);

    const QFileInfo info(file.path);
    if (!info.exists())
        return UrlError::make(UrlErrorCode::FileDoesNotExist);
    if (info.isDir())
        return UrlError::make(UrlErrorCode::FileIsDirectory);
    // A device or a FIFO may never end (or never begin) its bytes: only regular files are read.
    if (const auto problem = RegularFile::check(file.path);
        problem && problem->problem == RegularFile::Problem::NotRegular)
        return UrlError::make(UrlErrorCode::FileIsNotRegular);
    if (!info.isReadable())
        return UrlError::make(UrlErrorCode::NoPermissionsToReadFile);

    static const QMimeDatabase database;
    file.response.url = url;
    file.response.isHttp = false;
    file.response.statusCode = 0;
    file.response.mimeType = database.mimeTypeForFile(file.path, QMimeDatabase::MatchExtension).name();
    file.response.expectedContentLength = info.size();
    return file;
}

std::optional<UrlError> readFile(const LocalFile& file, qint64 maxBytes, const std::function<bool()>& cancelled,
    const std::function<void(const QByteArray&)>& chunk)
{
    auto opened = RegularFile::open(file.path);
    if (!opened.ok()) {
        switch (opened.error().problem) {
        case RegularFile::Problem::Missing:
            return UrlError::make(UrlErrorCode::FileDoesNotExist);
        case RegularFile::Problem::Folder:
            return UrlError::make(UrlErrorCode::FileIsDirectory);
        case RegularFile::Problem::NotRegular:
            return UrlError::make(UrlErrorCode::FileIsNotRegular);
        case RegularFile::Problem::NoPermission:
        case RegularFile::Problem::TooLarge:
        case RegularFile::Problem::ReadFailed:
            break;
        }
        return UrlError::make(UrlErrorCode::NoPermissionsToReadFile);
    }
    QFile& input = *opened.value();
    qint64 delivered = 0;
    for (;;) {
        if (cancelled())
            return UrlError::make(UrlErrorCode::Cancelled);
        const qint64 room = maxBytes - delivered;
        const QByteArray bytes = input.read(std::min(kChunkBytes, std::max<qint64>(room, 0) + 1));
        if (bytes.isEmpty()) {
            if (input.error() != QFileDevice::NoError)
                return UrlError::make(UrlErrorCode::NoPermissionsToReadFile);
            return std::nullopt;
        }
        if (bytes.size() > room) {
            if (room > 0)
                chunk(bytes.left(room));
            return UrlError::make(UrlErrorCode::BodyTooLarge);
        }
        delivered += bytes.size();
        chunk(bytes);
    }
}

} // namespace crawlmere::platform::detail
