// What the link inspector's redirect table shows for one link target, without any widget.
#include "views/LinkInspectorContent.h"

#include "engine/CrwlUrl.h"
#include "engine/PunycodeAdditions.h"

#include <QVariantMap>

namespace crawlmere::views {

QString LinkInspectorContent::reasonText(qint64 reason)
{
    switch (reason) {
    case 0:
        return QStringLiteral("http");
    case 1:
        return QStringLiteral("html meta refresh");
    case 2:
        return QStringLiteral("response header field");
    }
    return {};
}

QList<QStringList> LinkInspectorContent::redirectRows(const CrwlUrl& target)
{
    QList<QStringList> rows;
    if (target.getRedirectCount() <= 0)
        return rows;
    const QVariantList hops = target.redirectArray();
    for (qsizetype r = 0; r <= hops.size(); ++r) {
        const QString url = r == 0
            ? target.getAbsoluteStringDecoded()
            : PunycodeAdditions::decodedURLString(hops[r - 1].toMap().value(QStringLiteral("url")).toString());
        if (r < hops.size()) {
            const QVariantMap hop = hops[r].toMap();
            rows.append({ url, target.descriptionForStatusCode(hop.value(QStringLiteral("status")).toLongLong()),
                reasonText(hop.value(QStringLiteral("reason")).toLongLong()) });
        } else {
            rows.append({ url, target.descriptionForStatusCode(target.finalStatus()), QString() });
        }
    }
    return rows;
}

QString LinkInspectorContent::redirectTableText(const QList<QStringList>& rows)
{
    QStringList lines;
    for (const QStringList& row : rows)
        lines.append(row.join(QLatin1Char('\t')));
    return lines.join(QLatin1Char('\n'));
}

} // namespace crawlmere::views
