// The flat table's column manager.
#include "views/FlatViewColumnManager.h"

QList<std::pair<QString, QString>> FlatViewColumnManager::olderKeys()
{
    return {
        { QStringLiteral("CrwlFlatViewColsRedir"), QStringLiteral("Redirected to") },
        { QStringLiteral("CrwlFlatViewColsLinkText"), QStringLiteral("Link text") },
        { QStringLiteral("CrwlFlatViewColsTimeStamp"), QStringLiteral("Time stamp") },
        { QStringLiteral("CrwlFlatViewColsDistance"), QStringLiteral("Depth") },
        { QStringLiteral("CrwlFlatViewColsNofollow"), QStringLiteral("Nofollow") },
    };
}

void FlatViewColumnManager::honourOldDefaults() { migrateOlderKeys(olderKeys()); }

bool FlatViewColumnManager::shouldAllowSelectionOfColumnNamed(const QString& title) const
{
    static const QStringList mandatory { QStringLiteral("URL"), QStringLiteral("Status"), QStringLiteral("Statut"),
        QStringLiteral("Appears on"), QStringLiteral("Apparaît sur") };
    return !mandatory.contains(title);
}
