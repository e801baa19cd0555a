// The short scan summary and the free space of the root file system.
#include "app/ScanSummary.h"

#include "engine/EngineSEOService.h"
#include "engine/Z12Ara.h"

#include <QCoreApplication>
#include <QStorageInfo>

namespace crawlmere::app {

QString ScanSummary::shortSummary(const Z12Ara& hub)
{
    QString summary = QStringLiteral("%1 page(s) scanned\n").arg(hub.internalPagesCollection().size());
    if (const auto& seo = hub.getEngineSEODataSource())
        summary += seo->getShortSummary();
    summary += QStringLiteral("%1 %2, %3 %4\n")
                   .arg(QString::number(hub.linksCollection().size()),
                       QCoreApplication::translate("AppDelegate", "links checked"), QString::number(hub.badLinkCount()),
                       QCoreApplication::translate("AppDelegate", "bad"));
    return summary;
}

quint64 ScanSummary::freeDiskSpace()
{
    const QStorageInfo root(QStringLiteral("/"));
    return root.isValid() ? quint64(std::max<qint64>(root.bytesAvailable(), 0)) : 0;
}

} // namespace crawlmere::app
