// The "Columns" pop-up logic of the by-status outline: its choice kept under "ByStatusColumns".
#pragma once

#include "views/qfColumnManager.h"

/// Mandatory columns (no item): "URL", "Status", "Appears on".
/// The choice is stored as {title: shown} under `ByStatusColumns` after every toggle and applied by
/// `setUpColumns`. Main thread only.
class ByStatusColumnManager : public qfColumnManager {
public:
    static inline const QString defaultsKey = QStringLiteral("ByStatusColumns");

    using qfColumnManager::qfColumnManager;

    void honourOldDefaults() override;
    bool shouldAllowSelectionOfColumnNamed(const QString& title) const override;
    void saveDefaults() override;
};
