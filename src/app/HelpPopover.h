// The help popover: a transient frame beside a help button with the text, a close button and a
// more-help button.
#pragma once

#include "app/HelpPresenter.h"

#include <QFrame>
#include <QRect>

class QPushButton;
class QTextBrowser;

namespace crawlmere::app {

/// A `Qt::Popup` frame (it closes when the user clicks outside it) whose view `hintView` holds
/// `textField` (read-only; it scrolls when the text is taller than the size asked for),
/// `closeButton` and `moreHelpButton`. Deletes itself when closed. Main thread only.
class HelpPopover final : public QFrame {
    Q_OBJECT
public:
    explicit HelpPopover(const HelpDisplay& display, QWidget* parent = nullptr);

    /// Shows the popover at `anchor`'s right-hand edge (screen coordinates), vertically centred
    /// on it, moved to the left-hand edge when it does not fit on the right, and kept inside
    /// the available area of the screen that holds the anchor.
    void showBeside(const QRect& anchor);

    /// convertToScreen: `view`'s rectangle in screen coordinates; a null view gives an empty
    /// rectangle at the origin.
    static QRect convertToScreen(const QWidget* view);
    /// Where a popover of `size` goes beside `anchor` within `screen` (all screen coordinates).
    static QRect placement(const QRect& anchor, const QSize& size, const QRect& screen);

    QTextBrowser* textField() const { return m_textField; }

Q_SIGNALS:
    void moreHelpRequested();

private:
    QTextBrowser* m_textField = nullptr;
    QPushButton* m_moreHelp = nullptr;
};

} // namespace crawlmere::app
