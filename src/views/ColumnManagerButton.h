// The "Columns" tool button of a result table: shows a column manager's items as a menu of
// check-marked actions.
#pragma once

#include "views/qfColumnManager.h"

#include <QToolButton>

#include <memory>

class QMenu;

namespace crawlmere::views {

/// The button pops up a menu whose first entry is the inert title "Columns", followed by one
/// checkable action per item of the manager; choosing one calls the manager's `sendAction`. The
/// menu follows every change of the items (setUpColumns, toggles, mirrored toggles). The window
/// gives the button its object name as `objectName`. Main thread only.
class ColumnManagerButton : public QToolButton {
    Q_OBJECT
public:
    /// Shares `manager` (an export sheet's manager may keep it as its mirror).
    explicit ColumnManagerButton(std::shared_ptr<qfColumnManager> manager, QWidget* parent = nullptr);
    ~ColumnManagerButton() override;

    qfColumnManager& manager() const { return *m_manager; }
    const std::shared_ptr<qfColumnManager>& sharedManager() const { return m_manager; }
    /// The pop-up menu (owned by the button).
    QMenu* columnsMenu() const { return m_menu; }

private:
    void itemsChanged();

    std::shared_ptr<qfColumnManager> m_manager;
    QMenu* m_menu;
};

} // namespace crawlmere::views
