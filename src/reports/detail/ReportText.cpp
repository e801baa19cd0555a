// HTML escaping and atomic saving for the report exports.
#include "reports/detail/ReportText.h"

#include <QSaveFile>

namespace crawlmere::reports::detail {

QString htmlEscaped(const QString& text)
{
    // Qt's own escaping covers exactly & < > ".
    return text.toHtmlEscaped();
}

bool saveTextAtomically(const QString& path, const QString& text, QString* error)
{
    QSaveFile file(path);
    const QByteArray bytes = text.toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace crawlmere::reports::detail
