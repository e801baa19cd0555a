// The SEO metadata table's column manager.
#include "views/MetaDataColumnManager.h"

void MetaDataColumnManager::honourOldDefaults() { applyStoredChoice(defaultsKey); }

bool MetaDataColumnManager::shouldAllowSelectionOfColumnNamed(const QString& title) const
{
    static const QStringList mandatory { QStringLiteral("URL") };
    return !mandatory.contains(title);
}

void MetaDataColumnManager::saveDefaults() { storeChoice(defaultsKey); }
