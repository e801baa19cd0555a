// The by-status outline's group rows.
#include "views/StatusGroup.h"

namespace crawlmere::views {

QString StatusGroup::getFieldByName(const QString& key) const
{
    return key.compare(QLatin1String("status"), Qt::CaseInsensitive) == 0 ? statusText : QStringLiteral("");
}

} // namespace crawlmere::views
