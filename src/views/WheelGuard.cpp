// The wheel guard of scrolled panes.
#include "views/WheelGuard.h"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QEvent>
#include <QScrollBar>
#include <QWidget>

namespace crawlmere::views {

namespace {

constexpr const char* kGuarded = "crawlmereWheelGuarded";

// Scroll bars are sliders too, but they should keep scrolling what they belong to.
bool takesTheWheel(const QWidget* widget)
{
    return (qobject_cast<const QAbstractSlider*>(widget) && !qobject_cast<const QScrollBar*>(widget))
        || qobject_cast<const QAbstractSpinBox*>(widget) || qobject_cast<const QComboBox*>(widget);
}

} // namespace

void WheelGuard::guard(QWidget* pane)
{
    if (!pane)
        return;
    auto* filter = pane->findChild<WheelGuard*>(QString(), Qt::FindDirectChildrenOnly);
    if (!filter)
        filter = new WheelGuard(pane);
    for (QWidget* control : pane->findChildren<QWidget*>()) {
        if (!takesTheWheel(control) || control->property(kGuarded).toBool())
            continue;
        control->setProperty(kGuarded, true);
        control->setFocusPolicy(Qt::StrongFocus);
        control->installEventFilter(filter);
    }
}

bool WheelGuard::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Wheel)
        return false;
    const auto* control = qobject_cast<QWidget*>(watched);
    if (!control || control->hasFocus())
        return false;
    // Ignored and filtered out: the application hands the wheel to the control's parents.
    event->ignore();
    return true;
}

} // namespace crawlmere::views
