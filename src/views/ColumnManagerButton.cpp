// The tool button that shows a column manager.
#include "views/ColumnManagerButton.h"

#include <QMenu>

namespace crawlmere::views {

ColumnManagerButton::ColumnManagerButton(std::shared_ptr<qfColumnManager> manager, QWidget* parent)
    : QToolButton(parent)
    , m_manager(std::move(manager))
    , m_menu(new QMenu(this))
{
    Q_ASSERT_X(m_manager, "ColumnManagerButton", "a column manager is required");
    setText(qfColumnManager::titleItem);
    setPopupMode(QToolButton::InstantPopup);
    setMenu(m_menu);
    m_manager->setItemsChanged([this] { itemsChanged(); });
    itemsChanged();
}

ColumnManagerButton::~ColumnManagerButton() { m_manager->setItemsChanged(nullptr); }

void ColumnManagerButton::itemsChanged()
{
    const QList<qfColumnManager::MenuItem>& items = m_manager->items();
    QList<QAction*> actions = m_menu->actions();
    bool sameTitles = actions.size() == items.size() + 1;
    for (qsizetype i = 0; sameTitles && i < items.size(); ++i)
        sameTitles = actions.at(i + 1)->text() == items.at(i).title;
    if (sameTitles) {
        // Only check marks changed: keep the actions (one of them may be the one being chosen).
        for (qsizetype i = 0; i < items.size(); ++i)
            actions.at(i + 1)->setChecked(items.at(i).on);
        return;
    }
    m_menu->clear();
    m_menu->addAction(qfColumnManager::titleItem)->setEnabled(false);
    for (const qfColumnManager::MenuItem& item : items) {
        QAction* action = m_menu->addAction(item.title);
        action->setCheckable(true);
        action->setChecked(item.on);
        const QString title = item.title;
        // Qt flips the check mark itself; the manager's answer is what the mark shows.
        connect(action, &QAction::triggered, this, [this, title] { m_manager->sendAction(title); });
    }
}

} // namespace crawlmere::views
