// The warning record: its type, its key and its column values.
#include "reports/WarningRecord.h"

namespace crawlmere::reports {

WarningRecord::WarningRecord(QString pageUrl, std::shared_ptr<CrwlUrl> page, QString text)
    : url(std::move(pageUrl))
    , lcurl(std::move(page))
    , warning(std::move(text))
    , type(typeOfWarning(warning))
{
}

int WarningRecord::typeOfWarning(const QString& text)
{
    if (text.startsWith(QLatin1String("The server")))
        return 3;
    if (text.startsWith(QLatin1String("The page")))
        return 1;
    return 2;
}

QString WarningRecord::warningKey(const QString& text)
{
    const qsizetype at = text.indexOf(QLatin1String(" at line "));
    return at < 0 ? text : text.left(at);
}

QString WarningRecord::getFieldByName(const QString& key) const
{
    if (key == QLatin1String("url"))
        return url;
    if (key == QLatin1String("warning"))
        return warning;
    if (key == QLatin1String("type"))
        return QString::number(type);
    return QString();
}

QVariant WarningRecord::getSortValue(const QString& key) const
{
    if (key == QLatin1String("type"))
        return type;
    return getFieldByName(key);
}

} // namespace crawlmere::reports
