// What the crawl coordinator needs of the application shell: modal prompts and the beep, the
// site store's setters, and the request diagnosis window. The engine declares them; the shell
// implements them, and tests use the recording implementations.
#pragma once

#include "engine/CrawlSettings.h"

#include <QString>
#include <QStringList>

/// What an alert tells: a problem or a question (the default), or news that all went well.
enum class ShellAlertStyle { warning, informational };

/// `ShellAlert::cancelButton` of an alert whose every answer changes something.
inline constexpr int kNoCancelButton = -1;

/// A modal alert: a message, an informative text and its buttons, first button first.
struct ShellAlert {
    QString messageText;
    QString informativeText;
    QStringList buttons;
    /// The help topic of the alert's "?" button ("noresults:"); empty: no help button.
    QString helpTopic = {};
    ShellAlertStyle style = ShellAlertStyle::warning;
    /// The index of the answer that changes nothing, which Escape and closing the box give;
    /// `kNoCancelButton` when every answer changes something, and Escape then does nothing. An
    /// alert with one button (or none: "OK") is cancelled with it.
    int cancelButton = kNoCancelButton;
};

/// Modal questions and the system beep. Main thread only.
class ShellPrompts {
public:
    virtual ~ShellPrompts();

    /// Shows `alert` and waits for an answer: the index of the pressed button (0 for the first).
    /// A shell that cannot ask answers 0.
    virtual int runModalAlert(const ShellAlert& alert) = 0;
    /// NSBeep: the system's alert sound.
    virtual void beep() = 0;

protected:
    ShellPrompts() = default;
};

/// The site configuration store as the crawl writes back to it during a scan. Main thread only.
class ShellSiteStore {
public:
    virtual ~ShellSiteStore();

    /// setNewStartingurl: the selected site's starting URL becomes `url`.
    virtual void setNewStartingurl(const QString& url) = 0;
    /// switchWordpressUrlsOn: sets the selected site's `wordpressUrls`.
    virtual void switchWordpressUrlsOn(bool on) = 0;
    /// getIDForCurrentSite: the selected site's identifier; "" when none is selected.
    virtual QString getIDForCurrentSite() const = 0;
    /// setTimeStampForCurrentSite: records the finish time of the selected site's scan.
    virtual void setTimeStampForCurrentSite() = 0;
    /// setArchiveSaveLocation: the site with identifier `siteId` (the scanned one, which may no
    /// longer be selected) exports its archive to `path` from now on without asking. An unknown
    /// identifier changes nothing.
    virtual void setArchiveSaveLocation(const QString& siteId, const QString& path) = 0;

protected:
    ShellSiteStore() = default;
};

/// The request diagnosis window (`Diagnostic`): what the starting request sent and received.
/// The text setters marked [any thread] keep their text behind a lock of the implementation; the
/// others run on the main thread because they change the window.
class Diagnostic {
public:
    virtual ~Diagnostic();

    /// Forgets the trace, the page source, the request, the response and the title, empties the
    /// JavaScript and cookie lines and redraws when visible. The warnings and the settings stay
    /// until the next scan sets them.
    virtual void clear() = 0;
    /// setCrawlsettings: keeps the scan's settings.
    virtual void setCrawlsettings(const SharedCrawlSettings& settings) = 0;
    /// setWarnings: the starting page's warnings text. [any thread]
    virtual void setWarnings(const QString& warnings) = 0;
    /// setHTMLString: the starting page's HTML. [any thread]
    virtual void setHTMLString(const QString& html) = 0;
    /// setRequest: the starting request's text. [any thread]
    virtual void setRequest(const QString& request) = 0;
    /// setTitle: the starting page's title. [any thread]
    virtual void setTitle(const QString& title) = 0;
    /// addToResponse: appends to the response text and shows it.
    virtual void addToResponse(const QString& text) = 0;
    /// addToTrace: appends a time-stamped line to the trace.
    virtual void addToTrace(const QString& text) = 0;
    /// updateDiagnosticIfVisible: redraws from what it holds when its window is visible.
    virtual void updateDiagnosticIfVisible() = 0;

protected:
    Diagnostic() = default;
};
