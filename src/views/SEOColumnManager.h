// The "Columns" pop-up logic of the SEO page table: older per-column keys migrated once.
#pragma once

#include "views/qfColumnManager.h"

/// Mandatory columns (no item): "URL". Keeps nothing between
/// runs itself: `setUpColumns` applies each older per-column key still in the store and then
/// removes it, so the migration happens once. Main thread only.
class SEOColumnManager : public qfColumnManager {
public:
    using qfColumnManager::qfColumnManager;

    /// The older keys with the titles of their columns, in the order they are applied.
    static QList<std::pair<QString, QString>> olderKeys();

    void honourOldDefaults() override;
    bool shouldAllowSelectionOfColumnNamed(const QString& title) const override;
};
