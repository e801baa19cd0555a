// The "?" buttons beside the settings that a help topic explains.
#pragma once

#include <QList>
#include <QString>

class QToolButton;
class QWidget;

namespace crawlmere::app {

class Manual;

/// Puts one "?" button (objectName "helpButton", property "helpTopic" = the topic action)
/// beside each control of `settingsHelpAnchors` found under `pane` by objectName, unless the
/// control is hidden. A press runs the topic on `manual` with the button as the sender.
/// Returns the buttons made. `manual` must outlive the buttons. Main thread only.
QList<QToolButton*> installHelpButtons(QWidget* pane, Manual& manual);

/// One "?" button for the topic `action` beside `control` (as `installHelpButtons` makes them);
/// null, and nothing made, when `control` is null, hidden or held by no layout.
QToolButton* installHelpButton(QWidget* control, const QString& action, Manual& manual);

/// Puts `accessory` right after `control` in the layout that holds it: in a box layout beside
/// it, in a form layout on the same row. Where the two need a line of their own, that line is
/// named after the control ("timeoutLine"). False (and nothing moved) when no layout holds
/// `control`.
bool placeBeside(QWidget* control, QWidget* accessory);

} // namespace crawlmere::app
