// Keeps the mouse wheel for a scrolled pane: value controls inside it change by the wheel only
// while they have the keyboard focus.
#pragma once

#include <QObject>

class QWidget;

namespace crawlmere::views {

/// An event filter for sliders, spin boxes and pop-ups inside a scrolled pane. Such a control
/// takes the focus by a click or the Tab key only (Qt::StrongFocus), and a wheel event over it
/// while it lacks the focus is passed on to its parents, so the pane scrolls instead of the
/// control passing under the pointer changing its value. A focused control keeps the wheel.
/// Main thread only.
class WheelGuard final : public QObject {
    Q_OBJECT
public:
    /// Guards every slider, spin box and pop-up below `pane` (made so far) with one filter owned
    /// by `pane`. Calling it again later guards controls added since; none is guarded twice.
    static void guard(QWidget* pane);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using QObject::QObject;
};

} // namespace crawlmere::views
