// The main window's toolbar.
#include "app/MainToolBar.h"

#include "app/ToolbarConfiguration.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QToolButton>
#include <QWidgetAction>

namespace crawlmere::app {

namespace {

constexpr const char* kItemIdentifierProperty = "itemIdentifier";
constexpr int kSpaceWidth = 16;

} // namespace

MainToolBar::MainToolBar(const QString& identifier, const QList<QToolButton*>& buttons, QWidget* parent)
    : QToolBar(parent)
{
    setObjectName(identifier);
    setWindowTitle(tr("Toolbar"));
    setMovable(false);
    setFloatable(false);
    setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    setIconSize(QSize(16, 16));
    for (const QString& item : ToolbarConfiguration::allowedItemIdentifiers(identifier)) {
        const auto spec = ToolbarConfiguration::itemForItemIdentifier(item);
        if (!spec)
            continue;
        for (QToolButton* button : buttons) {
            if (button->objectName() != spec->button)
                continue;
            button->setText(spec->label);
            button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
            button->setAutoRaise(true);
            auto* action = new QWidgetAction(this);
            action->setDefaultWidget(button);
            action->setText(spec->paletteLabel.isEmpty() ? spec->label : spec->paletteLabel);
            action->setProperty(kItemIdentifierProperty, item);
            action->setEnabled(button->isEnabled());
            m_itemActions.insert(item, action);
        }
    }
}

void MainToolBar::setItemIdentifiers(const QStringList& identifiers)
{
    for (QAction* action : actions())
        removeAction(action);
    qDeleteAll(m_spaceActions);
    m_spaceActions.clear();

    for (const QString& identifier : identifiers) {
        if (ToolbarConfiguration::isSpace(identifier)) {
            auto* spacer = new QWidget;
            if (identifier == ToolbarConfiguration::kFlexibleSpace)
                spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
            else
                spacer->setFixedWidth(kSpaceWidth);
            auto* action = new QWidgetAction(this);
            action->setDefaultWidget(spacer);
            action->setProperty(kItemIdentifierProperty, identifier);
            m_spaceActions << action;
            addAction(action);
        } else if (QWidgetAction* action = m_itemActions.value(identifier)) {
            addAction(action);
        }
    }
}

void MainToolBar::setButtonEnabled(const QToolButton* button, bool enabled)
{
    for (QWidgetAction* action : std::as_const(m_itemActions)) {
        if (action->defaultWidget() == button)
            action->setEnabled(enabled);
    }
}

QStringList MainToolBar::itemIdentifiers() const
{
    QStringList result;
    for (const QAction* action : actions())
        result << action->property(kItemIdentifierProperty).toString();
    return result;
}

void MainToolBar::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    menu.addAction(tr("Customise Toolbar…"), this, &MainToolBar::customiseRequested);
    menu.exec(event->globalPos());
}

} // namespace crawlmere::app
