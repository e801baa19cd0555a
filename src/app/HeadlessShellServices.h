// The shell services of a scan without windows: alerts answered with their default button and
// written to standard error, a site store that only keeps the site's identifier, and a request
// diagnosis that keeps nothing.
#pragma once

#include "engine/ShellServices.h"

#include <QString>

#include <cstdio>

namespace crawlmere::app {

/// Answers every alert with its first button, the default one (the "Ambiguous starting url"
/// question thus takes "is a page"), and writes the alert and the answer taken to `err` as one
/// line. The beep does nothing. Main thread only.
class HeadlessPrompts final : public ShellPrompts {
public:
    explicit HeadlessPrompts(std::FILE* err)
        : m_err(err)
    {
    }
    int runModalAlert(const ShellAlert& alert) override;
    void beep() override { }

    /// How many alerts were answered: a start that failed after an alert has already told why.
    int alertCount() const { return m_alertCount; }

    /// The line written for `alert`: message, informative text (line breaks folded to blanks)
    /// and the answer taken.
    static QString lineForAlert(const ShellAlert& alert);

private:
    std::FILE* m_err;
    int m_alertCount = 0;
};

/// The site store of a scan of a URL or a local file, which belongs to no site: only an
/// identifier is kept, and write-backs of the running scan (a new starting URL, the WordPress-URL
/// switch, the finish time, an archive folder) are not saved anywhere. A settings-file target
/// goes through the site list instead (settings/ConfigManager). Main thread only.
class HeadlessSiteStore final : public ShellSiteStore {
public:
    explicit HeadlessSiteStore(QString siteID)
        : m_siteID(std::move(siteID))
    {
    }
    void setNewStartingurl(const QString& url) override;
    void switchWordpressUrlsOn(bool /*on*/) override { }
    QString getIDForCurrentSite() const override { return m_siteID; }
    void setTimeStampForCurrentSite() override { }
    void setArchiveSaveLocation(const QString& /*siteId*/, const QString& /*path*/) override { }

private:
    QString m_siteID;
};

/// There is no diagnosis window to show: every text handed over is dropped.
class HeadlessDiagnostic final : public Diagnostic {
public:
    void clear() override { }
    void setCrawlsettings(const SharedCrawlSettings& /*settings*/) override { }
    void setWarnings(const QString& /*warnings*/) override { }
    void setHTMLString(const QString& /*html*/) override { }
    void setRequest(const QString& /*request*/) override { }
    void setTitle(const QString& /*title*/) override { }
    void addToResponse(const QString& /*text*/) override { }
    void addToTrace(const QString& /*text*/) override { }
    void updateDiagnosticIfVisible() override { }
};

} // namespace crawlmere::app
