// The "Columns" pop-up logic of the by-link table: its choice kept under "ByLinkColumns".
#pragma once

#include "views/qfColumnManager.h"

/// Mandatory columns (no item): "URL", "Status", "Statut", "Appears on", "Apparaît sur".
/// The choice is stored as {title: shown} under `ByLinkColumns` after every toggle and applied by
/// `setUpColumns`. Main thread only.
class ByLinkColumnManager : public qfColumnManager {
public:
    static inline const QString defaultsKey = QStringLiteral("ByLinkColumns");

    using qfColumnManager::qfColumnManager;

    void honourOldDefaults() override;
    bool shouldAllowSelectionOfColumnNamed(const QString& title) const override;
    void saveDefaults() override;
};
