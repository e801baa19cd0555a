// The help buttons of the settings pane.
#include "app/HelpButtons.h"

#include "app/Manual.h"
#include "app/ManualTopics.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QFormLayout>
#include <QToolButton>

namespace crawlmere::app {

namespace {

/// The layout, `top` or one nested in it, that holds `widget` as an item of its own.
QLayout* layoutHolding(QLayout* top, const QWidget* widget)
{
    if (!top)
        return nullptr;
    for (int i = 0; i < top->count(); ++i) {
        QLayoutItem* item = top->itemAt(i);
        if (item->widget() == widget)
            return top;
        if (QLayout* found = layoutHolding(item->layout(), widget))
            return found;
    }
    return nullptr;
}

/// The line a control shares with its accessory, named after the control. It grows in height
/// only as the control does: a line taller than its field would leave the field in its middle
/// and a form's label at its top.
QWidget* lineFor(const QWidget* control, QWidget* parent)
{
    auto* holder = new QWidget(parent);
    holder->setObjectName(control->objectName() + QStringLiteral("Line"));
    QSizePolicy policy = holder->sizePolicy();
    policy.setVerticalPolicy(control->sizePolicy().verticalPolicy());
    holder->setSizePolicy(policy);
    auto* line = new QHBoxLayout(holder);
    line->setContentsMargins(0, 0, 0, 0);
    return holder;
}

} // namespace

bool placeBeside(QWidget* control, QWidget* accessory)
{
    QWidget* parent = control ? control->parentWidget() : nullptr;
    QLayout* layout = parent ? layoutHolding(parent->layout(), control) : nullptr;
    if (!layout)
        return false;
    if (auto* box = qobject_cast<QBoxLayout*>(layout)) {
        const int index = box->indexOf(control);
        if (index < 0)
            return false;
        const bool across = box->direction() == QBoxLayout::LeftToRight || box->direction() == QBoxLayout::RightToLeft;
        if (across) {
            box->insertWidget(index + 1, accessory);
            return true;
        }
        // In a column the two share a line of their own, where the control stood.
        const Qt::Alignment alignment = box->itemAt(index)->alignment();
        QWidget* holder = lineFor(control, parent);
        auto* line = static_cast<QHBoxLayout*>(holder->layout());
        box->removeWidget(control);
        if (alignment & (Qt::AlignRight | Qt::AlignHCenter))
            line->addStretch(1);
        line->addWidget(control, alignment & Qt::AlignHorizontal_Mask ? 0 : 1);
        line->addWidget(accessory);
        box->insertWidget(index, holder);
        holder->setHidden(control->isHidden());
        return true;
    }
    auto* form = qobject_cast<QFormLayout*>(layout);
    if (!form)
        return false;
    int row = -1;
    QFormLayout::ItemRole role = QFormLayout::FieldRole;
    form->getWidgetPosition(control, &row, &role);
    if (row < 0)
        return false;
    QWidget* holder = lineFor(control, parent);
    auto* line = static_cast<QHBoxLayout*>(holder->layout());
    form->removeWidget(control);
    line->addWidget(control, qobject_cast<QCheckBox*>(control) ? 0 : 1);
    line->addWidget(accessory);
    line->addStretch(qobject_cast<QCheckBox*>(control) ? 1 : 0);
    form->setWidget(row, role, holder);
    holder->setHidden(control->isHidden());
    return true;
}

QToolButton* installHelpButton(QWidget* control, const QString& action, Manual& manual)
{
    if (!control || control->isHidden())
        return nullptr;
    auto* button = new QToolButton;
    button->setObjectName(QStringLiteral("helpButton"));
    button->setText(QStringLiteral("?"));
    button->setToolTip(QObject::tr("Help"));
    button->setProperty("helpTopic", action);
    button->setAutoRaise(true);
    if (!placeBeside(control, button)) {
        delete button;
        return nullptr;
    }
    QObject::connect(
        button, &QToolButton::clicked, button, [&manual, action, button] { manual.topic(action, button); });
    return button;
}

QList<QToolButton*> installHelpButtons(QWidget* pane, Manual& manual)
{
    QList<QToolButton*> made;
    if (!pane)
        return made;
    for (const SettingsHelpAnchor& anchor : settingsHelpAnchors()) {
        QWidget* control = pane->findChild<QWidget*>(anchor.controlName);
        if (QToolButton* button = installHelpButton(control, QLatin1String(anchor.action), manual))
            made.append(button);
    }
    return made;
}

} // namespace crawlmere::app
