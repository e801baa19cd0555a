// The console window: the program's own standard error, captured, filtered and shown read-only.
#pragma once

#include "app/ConsoleCapture.h"

#include <QWidget>

class QLineEdit;
class QPlainTextEdit;

namespace crawlmere::app {

/// A top-level window with the read-only text view `consoleOutputView` (the palette's text
/// colour, at most `kMaximumLines` lines kept) and a find bar that Ctrl+F opens. `start`
/// captures standard error; the log mirror comes from `CRAWLMERE_LOG_FILE` (unset: nothing on
/// disk). Only the windowed program starts it; the headless one keeps its standard error.
/// Main thread only; `stop` (or the destructor) must run before the program ends so that late
/// lines reach the terminal.
class Console : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMaximumLines = 200000;
    explicit Console(QWidget* parent = nullptr);
    ~Console() override;

    /// Starts the capture, then logs "also sending output to: <path>" when a mirror is set.
    /// False when the capture could not start (standard error is then left alone).
    bool start();
    void stop();
    ConsoleCapture& capture() { return m_capture; }
    QPlainTextEdit* outputView() const { return m_output; }

    /// Selects the next match of `text` after the cursor, wrapping around; false when none.
    bool findNext(const QString& text);

private:
    void appendText(const QString& text);

    ConsoleCapture m_capture;
    QPlainTextEdit* m_output = nullptr;
    QWidget* m_findBar = nullptr;
    QLineEdit* m_findField = nullptr;
};

} // namespace crawlmere::app
