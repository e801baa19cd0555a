// The by-link table's column manager.
#include "views/ByLinkColumnManager.h"

void ByLinkColumnManager::honourOldDefaults() { applyStoredChoice(defaultsKey); }

bool ByLinkColumnManager::shouldAllowSelectionOfColumnNamed(const QString& title) const
{
    static const QStringList mandatory { QStringLiteral("URL"), QStringLiteral("Status"), QStringLiteral("Statut"),
        QStringLiteral("Appears on"), QStringLiteral("Apparaît sur") };
    return !mandatory.contains(title);
}

void ByLinkColumnManager::saveDefaults() { storeChoice(defaultsKey); }
