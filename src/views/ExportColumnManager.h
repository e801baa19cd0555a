// The export sheet's column manager: each toggle in the preview is repeated on the manager of
// the view being exported.
#pragma once

#include "views/qfColumnManager.h"

#include <memory>

/// With a mirror, a toggle is handed to the mirror on the main thread's next event-loop turn
/// (after the preview's own table has changed), and the mirror's mandatory columns are this
/// manager's too. Without one it behaves as the base. Stores nothing. Main thread only.
class ExportColumnManager : public qfColumnManager {
public:
    using qfColumnManager::qfColumnManager;

    /// setMirror: the exported view's manager, or null. Kept alive by this manager; a mirrored
    /// toggle still pending when the mirror is replaced goes to the manager it was meant for.
    void setMirror(std::shared_ptr<qfColumnManager> mirror) { m_mirror = std::move(mirror); }
    const std::shared_ptr<qfColumnManager>& getMirror() const { return m_mirror; }

    bool sendAction(const QString& title) override;
    bool shouldAllowSelectionOfColumnNamed(const QString& title) const override;

private:
    std::shared_ptr<qfColumnManager> m_mirror;
};
