// Modal questions and the beep of the windowed program: message boxes over the main window.
#pragma once

#include "engine/ShellServices.h"

#include <QPointer>

#include <functional>

class QWidget;

namespace crawlmere::app {

/// Shows each alert as a modal `QMessageBox` with its buttons in the given order (the first is
/// the default) and answers the index of the one pressed; an alert without buttons gets "OK".
/// Escape and closing the box answer the alert's `cancelButton` (the only button of a one-button
/// alert); an alert without one stays open until a button is pressed. An alert with a help
/// topic gets a "?" button (`helpButton`) that shows the topic beside it through the help
/// handler and leaves the box open. `beep` is `QApplication::beep`. Needs a QApplication. Main
/// thread only.
class WindowPrompts final : public ShellPrompts {
public:
    /// `parent` (may be null, may go away) is the window the boxes are shown over.
    explicit WindowPrompts(QWidget* parent = nullptr);
    int runModalAlert(const ShellAlert& alert) override;
    void beep() override;

    /// Shows the help topic `topic` ("noresults:") for the "?" button `button`; without a
    /// handler alerts get no help button.
    using HelpHandler = std::function<void(const QString& topic, QWidget* button)>;
    void setHelpHandler(HelpHandler handler) { m_help = std::move(handler); }

    /// objectName of a box while it is shown.
    static inline const QString kAlertName = QStringLiteral("alert");

private:
    QPointer<QWidget> m_parent;
    HelpHandler m_help;
};

} // namespace crawlmere::app
