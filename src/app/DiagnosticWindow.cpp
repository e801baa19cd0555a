// The request diagnosis window: what the starting request of a scan sent and received.
#include "app/DiagnosticWindow.h"

#include "platform/Dispatch.h"
#include "platform/UserDefaults.h"
#include "settings/WebRenderLoader.h"
#include "settings/WebRenderModule.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTabWidget>
#include <QVBoxLayout>

namespace crawlmere::app {

namespace {

/// Runs `work` now on the main thread, or later there when called elsewhere (while `window`
/// still exists).
template <typename Work>
bool passedToMain(DiagnosticWindow* window, Work work)
{
    if (platform::Dispatch::isMainThread())
        return false;
    platform::Dispatch::toMain([target = QPointer<DiagnosticWindow>(window), work] {
        if (target)
            work(*target);
    });
    return true;
}

} // namespace

DiagnosticWindow::DiagnosticWindow(std::function<QTime()> clock, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , kept(std::move(clock))
{
    setObjectName(QStringLiteral("diagWindow"));
    auto* form = m_form = new QFormLayout;
    m_startingUrl = addLine("tfStartingUrl");
    m_title = addLine("tfTitle");
    m_jsInfo = addLine("tfJSInfo");
    m_authenticationInfo = addLine("tfAuthenticationInfo");
    m_cookieInfo = addLine("tfCookieInfo");
    m_notice = new QLabel(this);
    m_notice->setObjectName(QStringLiteral("diagnosisNotice"));
    m_notice->setWordWrap(true);
    form->addRow(m_notice);
    form->addRow(tr("Starting URL"), m_startingUrl);
    form->addRow(tr("Title"), m_title);
    form->addRow(tr("JavaScript"), m_jsInfo);
    form->addRow(tr("Authentication"), m_authenticationInfo);
    form->addRow(tr("Cookies"), m_cookieInfo);

    auto* tabs = m_tabs = new QTabWidget(this);
    // The browser view is made at the first show: the engine starts only when it is needed.
    m_rendered = new QWidget(tabs);
    new QVBoxLayout(m_rendered);
    m_rendered->layout()->setContentsMargins(0, 0, 0, 0);
    m_trace = addText("tvTrace");
    m_request = addText("tvRequest");
    m_response = addText("tvResponse");
    m_source = addText("tvSource");
    m_warnings = addText("tvWarnings");
    tabs->addTab(m_trace, tr("Trace"));
    tabs->addTab(m_request, tr("Request"));
    tabs->addTab(m_response, tr("Response"));
    tabs->addTab(m_source, tr("Source"));
    tabs->addTab(m_rendered, tr("Rendered"));
    tabs->addTab(m_warnings, tr("Warnings"));

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(tabs, 1);
    resize(900, 700);
    setWindowTitle(kept.shown().windowTitle);
}

DiagnosticWindow::~DiagnosticWindow() = default;

QLineEdit* DiagnosticWindow::addLine(const char* name)
{
    auto* line = new QLineEdit(this);
    line->setObjectName(QString::fromLatin1(name));
    line->setReadOnly(true);
    return line;
}

QPlainTextEdit* DiagnosticWindow::addText(const char* name)
{
    auto* text = new QPlainTextEdit(this);
    text->setObjectName(QString::fromLatin1(name));
    text->setReadOnly(true);
    return text;
}

void DiagnosticWindow::clear()
{
    if (passedToMain(this, [](DiagnosticWindow& window) { window.clear(); }))
        return;
    kept.clear();
    m_jsInfo->clear();
    m_cookieInfo->clear();
    updateDiagnosticIfVisible();
}

void DiagnosticWindow::setCrawlsettings(const SharedCrawlSettings& settings) { kept.setCrawlsettings(settings); }

void DiagnosticWindow::setWarnings(const QString& warnings) { kept.setWarnings(warnings); }

void DiagnosticWindow::setHTMLString(const QString& html) { kept.setHTMLString(html); }

void DiagnosticWindow::setRequest(const QString& request) { kept.setRequest(request); }

void DiagnosticWindow::setTitle(const QString& title) { kept.setTitle(title); }

void DiagnosticWindow::addToResponse(const QString& text)
{
    kept.addToResponse(text);
    if (passedToMain(this, [](DiagnosticWindow& window) { window.m_response->setPlainText(window.kept.response()); }))
        return;
    m_response->setPlainText(kept.response());
}

void DiagnosticWindow::addToTrace(const QString& text)
{
    // The trace view shows the trace at the next `showDiagnostic`.
    kept.addToTrace(text);
}

void DiagnosticWindow::updateDiagnosticIfVisible()
{
    if (passedToMain(this, [](DiagnosticWindow& window) { window.updateDiagnosticIfVisible(); }))
        return;
    if (isVisible())
        showDiagnostic();
}

void DiagnosticWindow::showDiagnostic()
{
    if (passedToMain(this, [](DiagnosticWindow& window) { window.showDiagnostic(); }))
        return;
    show();
    raise();
    activateWindow();
    settings::WebRenderModule* module = settings::WebRenderLoader::module();
    if (!m_webView && module) {
        m_webView = module->makeSourceView(m_rendered);
        m_webView->setObjectName(QStringLiteral("webView"));
        m_rendered->layout()->addWidget(m_webView);
    }
    const DiagnosticContent::Shown shown = kept.shown();
    // Rendering and authentication are said only when the scan had them on, and the warnings
    // only when pages are validated: nothing else fills them.
    m_jsInfo->setText(shown.jsInfo);
    m_form->setRowVisible(m_jsInfo, !shown.jsInfo.isEmpty());
    m_authenticationInfo->setText(shown.authenticationInfo);
    m_form->setRowVisible(m_authenticationInfo, !shown.authenticationInfo.isEmpty());
    m_tabs->setTabVisible(m_tabs->indexOf(m_warnings),
        platform::UserDefaults::standard().value(defaultsKey::htmlValidationEnabled));
    if (!shown.source.isNull()) {
        m_source->setPlainText(shown.source);
        if (m_webView)
            module->showSource(m_webView, shown.source, QUrl(shown.startingUrl), shown.javaScript);
    } else {
        m_source->clear();
        if (m_webView)
            module->showSource(m_webView, QStringLiteral("<html></html>"), QUrl(), shown.javaScript);
    }
    m_request->setPlainText(shown.request);
    m_response->setPlainText(shown.response);
    m_title->setText(shown.title);
    m_warnings->setPlainText(shown.warnings);
    m_startingUrl->setText(shown.startingUrl);
    setWindowTitle(shown.windowTitle);
    m_trace->setPlainText(shown.trace);
    m_notice->setText(shown.notice);
    m_form->setRowVisible(m_notice, !shown.notice.isEmpty());
}

} // namespace crawlmere::app
