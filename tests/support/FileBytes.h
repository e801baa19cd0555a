// A file's bytes as a test compares them.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace crawlmere::test {

/// The whole of the file at `path`; one that cannot be read gives "(missing)", so that it never
/// compares equal to an empty file.
inline QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

} // namespace crawlmere::test
