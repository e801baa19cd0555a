// The "Columns" pop-up logic of the by-page outline: its choice kept under "ByPageColumns".
#pragma once

#include "views/qfColumnManager.h"

/// Every column of the by-page outline has an item.
/// The choice is stored as {title: shown} under `ByPageColumns` after every toggle and applied by
/// `setUpColumns`. Main thread only.
class ByPageColumnManager : public qfColumnManager {
public:
    static inline const QString defaultsKey = QStringLiteral("ByPageColumns");

    using qfColumnManager::qfColumnManager;

    void honourOldDefaults() override;
    void saveDefaults() override;
};
