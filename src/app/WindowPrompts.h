// Modal questions and the beep of the windowed program: message boxes over the main window.
#pragma once

#include "engine/ShellServices.h"

#include <QPointer>

class QWidget;

namespace crawlmere::app {

/// Shows each alert as a modal `QMessageBox` with its buttons in the given order (the first is
/// the default) and answers the index of the one pressed; an alert without buttons gets "OK".
/// Closing the box without a button answers the last button when there are several (the
/// usual cancel place), else 0. `beep` is `QApplication::beep`. Needs a QApplication. Main
/// thread only.
class WindowPrompts final : public ShellPrompts {
public:
    /// `parent` (may be null, may go away) is the window the boxes are shown over.
    explicit WindowPrompts(QWidget* parent = nullptr);
    int runModalAlert(const ShellAlert& alert) override;
    void beep() override;

    /// objectName of a box while it is shown.
    static inline const QString kAlertName = QStringLiteral("alert");

private:
    QPointer<QWidget> m_parent;
};

} // namespace crawlmere::app
