// Writing a sitemap file or report atomically as UTF-8.
#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>

#include <optional>

namespace crawlmere::sitemap::detail {

/// Writes `text` as UTF-8 to `path` atomically; the reason on failure, the old file left as it was.
inline std::optional<QString> saveText(const QString& path, const QString& text)
{
    QSaveFile file(path);
    const QByteArray bytes = text.toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return file.errorString();
    return std::nullopt;
}

} // namespace crawlmere::sitemap::detail
