// Files created under a name nobody else holds, appearing only once complete.
#pragma once

#include "platform/HeldFolder.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace crawlmere::archive::detail {

/// `folder` + "/" + `name`, taken literally: a name from a URL may begin with ":", which Qt's
/// path joining would read as a resource path.
inline QString childPath(const QString& folder, const QString& name)
{
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

/// The data goes to a temporary file in the target folder first, which is then linked under its
/// final name; the link fails when that name exists, so an existing file (or a symbolic link
/// planted there) is never replaced or followed, and a reader never sees a partial file. The
/// folder is reached as `platform::HeldFolder` reaches it and written through its descriptor.
/// [any thread]
class ExclusiveFile {
public:
    /// Creates a file in `folder` under the first free name of `nameFor(0)`, `nameFor(1)`, … (at
    /// most `attempts` tries). Returns the name taken; null when none could be created.
    static QString create(
        const QString& folder, const QByteArray& data, int attempts, const std::function<QString(int)>& nameFor);
    /// Creates exactly `path`; NO when it exists or cannot be written.
    static bool createAt(const QString& path, const QByteArray& data);
    /// Creates `name` in the folder held; NO when it exists or cannot be written.
    static bool createIn(const platform::HeldFolder& folder, const QString& name, const QByteArray& data);
};

} // namespace crawlmere::archive::detail
