// Shell services that keep what the crawl coordinator hands them, for runs without an interface.
#include "engine/RecordingShellServices.h"

int RecordingPrompts::runModalAlert(const ShellAlert& alert)
{
    alerts.append(alert);
    return answers.isEmpty() ? 0 : answers.takeFirst();
}

void RecordingDiagnostic::clear()
{
    std::lock_guard lock(m_mutex);
    State kept;
    kept.settings = m_state.settings;
    kept.warnings = m_state.warnings;
    kept.clears = m_state.clears + 1;
    kept.redraws = m_state.redraws;
    m_state = kept;
}

void RecordingDiagnostic::setCrawlsettings(const SharedCrawlSettings& settings)
{
    std::lock_guard lock(m_mutex);
    m_state.settings = settings;
}

void RecordingDiagnostic::setWarnings(const QString& warnings)
{
    std::lock_guard lock(m_mutex);
    m_state.warnings = warnings;
}

void RecordingDiagnostic::setHTMLString(const QString& html)
{
    std::lock_guard lock(m_mutex);
    m_state.html = html;
}

void RecordingDiagnostic::setRequest(const QString& request)
{
    std::lock_guard lock(m_mutex);
    m_state.request = request;
}

void RecordingDiagnostic::setTitle(const QString& title)
{
    std::lock_guard lock(m_mutex);
    m_state.title = title;
}

void RecordingDiagnostic::addToResponse(const QString& text)
{
    std::lock_guard lock(m_mutex);
    m_state.response += text;
}

void RecordingDiagnostic::addToTrace(const QString& text)
{
    std::lock_guard lock(m_mutex);
    m_state.trace.append(text);
}

void RecordingDiagnostic::updateDiagnosticIfVisible()
{
    std::lock_guard lock(m_mutex);
    ++m_state.redraws;
}

RecordingDiagnostic::State RecordingDiagnostic::state() const
{
    std::lock_guard lock(m_mutex);
    return m_state;
}
