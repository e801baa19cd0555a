// What the request diagnosis window holds and the texts it shows, apart from any widget.
#include "app/DiagnosticContent.h"

#include "engine/SettingsValue.h"

namespace crawlmere::app {

namespace {

bool settingOn(const SharedCrawlSettings& settings, engine::CrawlSettingKey key)
{
    return engine::settingBool(settings, key);
}

} // namespace

DiagnosticContent::DiagnosticContent(std::function<QTime()> timeSource)
    : clock(timeSource ? std::move(timeSource) : [] { return QTime::currentTime(); })
{
}

void DiagnosticContent::clear()
{
    std::lock_guard lock(mutex);
    traceText.clear();
    html = QString();
    request.clear();
    responseText.clear();
    pageTitle.clear();
}

void DiagnosticContent::setCrawlsettings(const SharedCrawlSettings& scanSettings)
{
    std::lock_guard lock(mutex);
    settings = scanSettings;
}

void DiagnosticContent::setWarnings(const QString& warnings)
{
    std::lock_guard lock(mutex);
    warningsText = warnings;
}

void DiagnosticContent::setHTMLString(const QString& source)
{
    std::lock_guard lock(mutex);
    html = source;
}

void DiagnosticContent::setRequest(const QString& text)
{
    std::lock_guard lock(mutex);
    request = text;
}

void DiagnosticContent::setTitle(const QString& title)
{
    std::lock_guard lock(mutex);
    pageTitle = title;
}

void DiagnosticContent::addToResponse(const QString& text)
{
    std::lock_guard lock(mutex);
    responseText += text;
}

void DiagnosticContent::addToTrace(const QString& text)
{
    const QString stamp = traceTime(clock());
    std::lock_guard lock(mutex);
    if (!traceText.isEmpty())
        traceText += QLatin1Char('\n');
    traceText += stamp + QLatin1Char(' ') + text;
    if (traceText.size() > kMaxTraceLength) {
        const qsizetype cut = traceText.indexOf(QLatin1Char('\n'), traceText.size() - kMaxTraceLength);
        traceText = cut < 0 ? traceText.right(kMaxTraceLength) : traceText.mid(cut + 1);
    }
}

QString DiagnosticContent::response() const
{
    std::lock_guard lock(mutex);
    return responseText;
}

QString DiagnosticContent::trace() const
{
    std::lock_guard lock(mutex);
    return traceText;
}

QString DiagnosticContent::traceTime(const QTime& time)
{
    return QStringLiteral("%1:%2:%3.%4")
        .arg(time.hour(), 2, 10, QLatin1Char('0'))
        .arg(time.minute(), 2, 10, QLatin1Char('0'))
        .arg(time.second(), 2, 10, QLatin1Char('0'))
        .arg(time.msec(), 3, 10, QLatin1Char('0'));
}

DiagnosticContent::Shown DiagnosticContent::shown() const
{
    std::lock_guard lock(mutex);
    Shown shown;
    // The scan's own switch of client-side rendering.
    shown.javaScript = settingOn(settings, crawlKey::runJS);
    // This program has no switch for either: only a scan that has one on (from an imported
    // settings file) says so.
    shown.jsInfo = shown.javaScript ? QStringLiteral("Clientside rendering is switched ON") : QString();
    shown.authenticationInfo = settingOn(settings, crawlKey::WebtallyAttemptAuthentication)
        ? QStringLiteral("Attempt authentication by sending username and password is switched ON")
        : QString();
    shown.source = html;
    shown.startingUrl = settings ? settings->value(crawlKey::startingUrl).toString() : QString();
    shown.windowTitle = shown.startingUrl.isEmpty()
        ? QStringLiteral("Detailed diagnosis of request")
        : QStringLiteral("%1: %2").arg(QStringLiteral("Detailed diagnosis of request for"), shown.startingUrl);
    shown.request = request;
    shown.response = responseText;
    shown.title = pageTitle;
    shown.warnings = warningsText;
    shown.trace = traceText;
    if (html.isNull() && request.isEmpty() && responseText.isEmpty() && traceText.isEmpty())
        shown.notice = QStringLiteral("Nothing to show yet: the diagnosis is made while a scan fetches its starting "
                                      "page. Press Go to scan the site, then open this window again.");
    return shown;
}

} // namespace crawlmere::app
