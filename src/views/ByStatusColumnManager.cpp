// The by-status outline's column manager.
#include "views/ByStatusColumnManager.h"

#include "platform/Log.h"

#include <QJsonDocument>
#include <QJsonObject>

void ByStatusColumnManager::honourOldDefaults() { applyStoredChoice(defaultsKey); }

bool ByStatusColumnManager::shouldAllowSelectionOfColumnNamed(const QString& title) const
{
    static const QStringList mandatory { QStringLiteral("URL"), QStringLiteral("Status"),
        QStringLiteral("Appears on") };
    return !mandatory.contains(title);
}

void ByStatusColumnManager::saveDefaults()
{
    crawlmere::platform::logLine(0,
        QStringLiteral("BSCM saving defaults - %1")
            .arg(QString::fromUtf8(
                QJsonDocument(QJsonObject::fromVariantMap(currentChoice())).toJson(QJsonDocument::Compact))));
    storeChoice(defaultsKey);
}
