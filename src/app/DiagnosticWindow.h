// The request diagnosis window: what the starting request of a scan sent and received.
#pragma once

#include "app/DiagnosticContent.h"
#include "engine/ShellServices.h"

#include <QWidget>

class QFormLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTabWidget;

namespace crawlmere::app {

/// The hub's `Diagnostic`: keeps the texts (`DiagnosticContent`) and shows them in
/// `tfStartingUrl`, `tfJSInfo`, `tfCookieInfo`, `tfAuthenticationInfo`, `tfTitle`, `tvSource`,
/// `tvWarnings`, `tvRequest`, `tvResponse`, `tvTrace` and the rendered page `webView`. The text
/// setters run on any thread; every other call changes widgets and, made off the main thread,
/// is passed to it. Must be made and destroyed on the main thread; needs a GUI application.
class DiagnosticWindow final : public QWidget, public Diagnostic {
    Q_OBJECT
public:
    /// `clock` gives the time of trace lines (the current time when empty).
    explicit DiagnosticWindow(std::function<QTime()> clock = {}, QWidget* parent = nullptr);
    ~DiagnosticWindow() override;

    void clear() override;
    void setCrawlsettings(const SharedCrawlSettings& settings) override;
    void setWarnings(const QString& warnings) override;
    void setHTMLString(const QString& html) override;
    void setRequest(const QString& request) override;
    void setTitle(const QString& title) override;
    void addToResponse(const QString& text) override;
    void addToTrace(const QString& text) override;
    void updateDiagnosticIfVisible() override;

    /// showDiagnostic: fills every field from what is kept and brings the window to the front.
    void showDiagnostic();

    const DiagnosticContent& content() const { return kept; }
    /// The rendered page's view (a browser-engine module source view); null until the first
    /// `showDiagnostic`, and for good when the module is missing.
    QWidget* webView() const { return m_webView; }

private:
    QLineEdit* addLine(const char* name);
    QPlainTextEdit* addText(const char* name);

    DiagnosticContent kept;
    QLabel* m_notice = nullptr;
    QLineEdit* m_startingUrl = nullptr;
    QFormLayout* m_form = nullptr;
    QTabWidget* m_tabs = nullptr;
    QLineEdit* m_jsInfo = nullptr;
    QLineEdit* m_cookieInfo = nullptr;
    QLineEdit* m_authenticationInfo = nullptr;
    QLineEdit* m_title = nullptr;
    QPlainTextEdit* m_source = nullptr;
    QPlainTextEdit* m_warnings = nullptr;
    QPlainTextEdit* m_request = nullptr;
    QPlainTextEdit* m_response = nullptr;
    QPlainTextEdit* m_trace = nullptr;
    QWidget* m_rendered = nullptr;
    QWidget* m_webView = nullptr;
};

} // namespace crawlmere::app
