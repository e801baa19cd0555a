// What the request diagnosis window holds and the texts it shows, apart from any widget.
#pragma once

#include "engine/CrawlSettings.h"

#include <QString>
#include <QTime>

#include <functional>
#include <mutex>

namespace crawlmere::app {

/// The texts of one starting request and the lines shown from them. Every member is safe from
/// any thread (one lock guards the texts).
class DiagnosticContent {
public:
    /// Everything the window shows, as text.
    struct Shown {
        /// What the scan had switched on of rendering and authentication; empty when off.
        QString jsInfo;
        QString authenticationInfo;
        bool javaScript = false;
        /// The page source; null when none was set.
        QString source;
        QString startingUrl;
        QString windowTitle;
        QString request;
        QString response;
        QString title;
        QString warnings;
        QString trace;
        /// Why the window is empty while no scan has fetched a starting page (before the first
        /// scan, after a clear); empty once there is something to show.
        QString notice;
    };

    /// `clock` gives the time of each trace line (the current time when empty).
    explicit DiagnosticContent(std::function<QTime()> clock = {});

    /// Drops the trace, the source, the request, the response and the title; the warnings and
    /// the settings stay until replaced.
    void clear();
    void setCrawlsettings(const SharedCrawlSettings& settings);
    void setWarnings(const QString& warnings);
    void setHTMLString(const QString& html);
    void setRequest(const QString& request);
    void setTitle(const QString& title);
    /// Appends `text` to the response as it is, with nothing between.
    void addToResponse(const QString& text);
    /// A trace line: "HH:mm:ss.SSS text", hours of the 24-hour clock (00 to 23); lines after the
    /// first start on a new line. At most `kMaxTraceLength` characters are kept: a trace beyond
    /// that drops its oldest lines.
    void addToTrace(const QString& text);

    QString response() const;
    QString trace() const;
    Shown shown() const;

    /// "HH:mm:ss.SSS" of `time` on the 24-hour clock, so a trace spanning noon or midnight
    /// still reads in order.
    static QString traceTime(const QTime& time);

    static constexpr qsizetype kMaxTraceLength = 1024 * 1024;

private:
    std::function<QTime()> clock;
    mutable std::mutex mutex;
    SharedCrawlSettings settings;
    QString html;
    QString request;
    QString responseText;
    QString pageTitle;
    QString warningsText;
    QString traceText;
};

} // namespace crawlmere::app
