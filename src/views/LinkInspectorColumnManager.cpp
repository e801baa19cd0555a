// The link inspector's appears-on table's column manager.
#include "views/LinkInspectorColumnManager.h"

void LinkInspectorColumnManager::honourOldDefaults() { applyStoredChoice(defaultsKey); }

bool LinkInspectorColumnManager::shouldAllowSelectionOfColumnNamed(const QString& title) const
{
    static const QStringList mandatory { QStringLiteral("Link text"), QStringLiteral("Appears on") };
    return !mandatory.contains(title);
}

void LinkInspectorColumnManager::saveDefaults() { storeChoice(defaultsKey); }
