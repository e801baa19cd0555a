// The warning inspector: one warning's page, its text, and the page source around its position.
#pragma once

#include <QWidget>

#include <memory>

class QLineEdit;
class QPlainTextEdit;

namespace crawlmere::platform {
class UrlOpener;
}

namespace crawlmere::reports {
class WarningContext;
class WarningRecord;
} // namespace crawlmere::reports

namespace crawlmere::views {

/// A window on one warning record: `urlField` (the page), `descriptionField` (the text cleaned of
/// its position), `contextField` (the source around the position, fetched again when the window
/// loads, or "No context available"). Main thread only; the fetch answers on the main thread and
/// its answer is dropped once the window is closed or gone.
class CrwlWarningInspectorWindowController final : public QWidget {
    Q_OBJECT
public:
    /// `opener` opens the page for `visitUrl` (may be null: then nothing opens).
    explicit CrwlWarningInspectorWindowController(std::shared_ptr<platform::UrlOpener> opener,
        QWidget* parent = nullptr);
    ~CrwlWarningInspectorWindowController() override;

    static QString InspectorWindowTitle() { return QStringLiteral("Warning Inspector"); }

    /// setWarning: the record shown; set before `windowDidLoad`.
    void setWarning(std::shared_ptr<reports::WarningRecord> record) { warningRecord = std::move(record); }
    const std::shared_ptr<reports::WarningRecord>& warning() const { return warningRecord; }

    /// windowDidLoad: fills the fields and starts the fetch with `userAgent` as "User-Agent".
    /// Without a warning text nothing is fetched. Call once.
    void windowDidLoad(const QString& userAgent);
    /// notifynocontext: the context reads "No context available".
    void notifynocontext();
    /// visitUrl: opens the record's "url" in the user's browser, when it has one.
    void visitUrl();

    QLineEdit* urlField() const { return m_urlField; }
    QLineEdit* descriptionField() const { return m_descriptionField; }
    QPlainTextEdit* contextField() const { return m_contextField; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void showContext(const QString& text);

    std::shared_ptr<platform::UrlOpener> urlOpener;
    std::shared_ptr<reports::WarningRecord> warningRecord;
    std::shared_ptr<reports::WarningContext> fetch;
    QLineEdit* m_urlField = nullptr;
    QLineEdit* m_descriptionField = nullptr;
    QPlainTextEdit* m_contextField = nullptr;
    bool closed = false;
};

} // namespace crawlmere::views
