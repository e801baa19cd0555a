// The "Columns" pop-up logic of the SEO metadata table: its choice kept under "MetaDataColumns".
#pragma once

#include "views/qfColumnManager.h"

/// Mandatory columns (no item): "URL".
/// The choice is stored as {title: shown} under `MetaDataColumns` after every toggle and applied by
/// `setUpColumns`. Main thread only.
class MetaDataColumnManager : public qfColumnManager {
public:
    static inline const QString defaultsKey = QStringLiteral("MetaDataColumns");

    using qfColumnManager::qfColumnManager;

    void honourOldDefaults() override;
    bool shouldAllowSelectionOfColumnNamed(const QString& title) const override;
    void saveDefaults() override;
};
