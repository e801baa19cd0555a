// The keys that close the program's other windows: Close (Ctrl+W) in any window but the main one,
// and Quit (Ctrl+Q) in every one of them as in the main window.
#pragma once

#include <QObject>
#include <QPointer>

class QAction;
class QWidget;

namespace crawlmere::app {

/// Gives each window of the application other than the main window, as it is first shown, a
/// Close action on the platform's Close keys (Ctrl+W; Ctrl+F4 where the platform adds it), active
/// while focus is anywhere in that window. Inspectors, the console, the schedule overview and
/// every other tool window close so; a dialog closes as its Cancel does. Dialogs keep Esc, which
/// Qt gives them already. Popups, tool tips and windows that take no input are left alone.
/// With `quit` (the main window's Quit item, whose keys work only there) each such window also
/// gets a Quit action on the item's keys (Ctrl+Q) that triggers the item, so the program quits
/// from whichever of its windows has the keyboard, a modal one included.
///
/// A child of the main window; it watches the whole application (an event filter on it) while
/// it lives. Main thread only.
class WindowCloseKeys final : public QObject {
    Q_OBJECT
public:
    explicit WindowCloseKeys(QWidget* mainWindow, QAction* quit = nullptr);
    ~WindowCloseKeys() override;

    /// The object names of the Close and Quit actions a window gets.
    static constexpr const char* kActionName = "closeWindowAction";
    static constexpr const char* kQuitActionName = "quitWindowAction";
    /// Whether `window` (a top-level widget) gets the Close action: any window that takes input,
    /// other than `mainWindow`, popups, tool tips and splash screens.
    static bool closesWithKeys(const QWidget& window, const QWidget* mainWindow);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_mainWindow;
    QPointer<QAction> m_quit;
};

} // namespace crawlmere::app
