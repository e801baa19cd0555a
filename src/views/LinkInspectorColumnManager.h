// The "Columns" pop-up logic of the link inspector's appears-on table: its choice kept under "LinkInspectorColumns".
#pragma once

#include "views/qfColumnManager.h"

/// Mandatory columns (no item): "Link text", "Appears on".
/// The choice is stored as {title: shown} under `LinkInspectorColumns` after every toggle and applied by
/// `setUpColumns`. Main thread only.
class LinkInspectorColumnManager : public qfColumnManager {
public:
    static inline const QString defaultsKey = QStringLiteral("LinkInspectorColumns");

    using qfColumnManager::qfColumnManager;

    void honourOldDefaults() override;
    bool shouldAllowSelectionOfColumnNamed(const QString& title) const override;
    void saveDefaults() override;
};
