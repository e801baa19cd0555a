// Shell services for tests of the crawl coordinator: prompts that answer from a prepared list,
// a site store and a diagnosis sink that keep what they are given.
#pragma once

#include "engine/ShellServices.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <mutex>
#include <utility>

/// Answers each alert with the next prepared answer (0, the first button, when none is left)
/// and keeps every alert and beep. Main thread only.
class RecordingPrompts final : public ShellPrompts {
public:
    int runModalAlert(const ShellAlert& alert) override
    {
        alerts.append(alert);
        return answers.isEmpty() ? 0 : answers.takeFirst();
    }
    void beep() override { ++beeps; }

    /// Answers for the coming alerts, in order.
    QList<int> answers;
    QList<ShellAlert> alerts;
    int beeps = 0;
};

/// Keeps what the crawl writes back to the selected site. Main thread only.
class RecordingSiteStore final : public ShellSiteStore {
public:
    void setNewStartingurl(const QString& url) override { newStartingUrls.append(url); }
    void switchWordpressUrlsOn(bool on) override { wordpressSwitches.append(on); }
    QString getIDForCurrentSite() const override { return siteID; }
    void setTimeStampForCurrentSite() override { ++timeStamps; }
    void setArchiveSaveLocation(const QString& site, const QString& path) override
    {
        archiveSaveLocations.append({ site, path });
    }

    QString siteID = QStringLiteral("");
    QStringList newStartingUrls;
    QList<bool> wordpressSwitches;
    int timeStamps = 0;
    QList<std::pair<QString, QString>> archiveSaveLocations;
};

/// Keeps every text it is handed; safe from any thread.
class RecordingDiagnostic final : public Diagnostic {
public:
    void clear() override
    {
        std::lock_guard lock(m_mutex);
        State kept;
        kept.settings = m_state.settings;
        kept.warnings = m_state.warnings;
        kept.clears = m_state.clears + 1;
        kept.redraws = m_state.redraws;
        m_state = kept;
    }
    void setCrawlsettings(const SharedCrawlSettings& settings) override
    {
        std::lock_guard lock(m_mutex);
        m_state.settings = settings;
    }
    void setWarnings(const QString& warnings) override
    {
        std::lock_guard lock(m_mutex);
        m_state.warnings = warnings;
    }
    void setHTMLString(const QString& html) override
    {
        std::lock_guard lock(m_mutex);
        m_state.html = html;
    }
    void setRequest(const QString& request) override
    {
        std::lock_guard lock(m_mutex);
        m_state.request = request;
    }
    void setTitle(const QString& title) override
    {
        std::lock_guard lock(m_mutex);
        m_state.title = title;
    }
    void addToResponse(const QString& text) override
    {
        std::lock_guard lock(m_mutex);
        m_state.response += text;
    }
    void addToTrace(const QString& text) override
    {
        std::lock_guard lock(m_mutex);
        m_state.trace.append(text);
    }
    void updateDiagnosticIfVisible() override
    {
        std::lock_guard lock(m_mutex);
        ++m_state.redraws;
    }

    struct State {
        SharedCrawlSettings settings;
        QString warnings;
        QString html;
        QString request;
        QString title;
        QString response;
        QStringList trace;
        int clears = 0;
        int redraws = 0;
    };
    State state() const
    {
        std::lock_guard lock(m_mutex);
        return m_state;
    }

private:
    mutable std::mutex m_mutex;
    State m_state;
};
