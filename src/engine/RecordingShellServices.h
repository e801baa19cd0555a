// Shell services for running the crawl coordinator without an interface: prompts that answer
// from a prepared list, a site store and a diagnosis sink that keep what they are given.
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
    int runModalAlert(const ShellAlert& alert) override;
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
    void clear() override;
    void setCrawlsettings(const SharedCrawlSettings& settings) override;
    void setWarnings(const QString& warnings) override;
    void setHTMLString(const QString& html) override;
    void setRequest(const QString& request) override;
    void setTitle(const QString& title) override;
    void addToResponse(const QString& text) override;
    void addToTrace(const QString& text) override;
    void updateDiagnosticIfVisible() override;

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
    State state() const;

private:
    mutable std::mutex m_mutex;
    State m_state;
};
