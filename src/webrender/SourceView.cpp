// A browser view that renders a page source handed to it, on a private off-the-record profile.
#include "webrender/SourceView.h"

#include <QBuffer>
#include <QRegularExpression>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>

namespace crawlmere::webrender {

namespace {

// A function, not a global: the scheme is registered before `main`, from other files' set-up.
QByteArray scheme() { return QByteArrayLiteral("crawlmere-source"); }

} // namespace

/// Serves the one large source a view shows, under an address that changes with every source.
class SourceSchemeHandler final : public QWebEngineUrlSchemeHandler {
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

    QUrl put(QByteArray html)
    {
        document = std::move(html);
        ++generation;
        return QUrl(QStringLiteral("%1:page-%2").arg(QString::fromLatin1(scheme()), QString::number(generation)));
    }

    void requestStarted(QWebEngineUrlRequestJob* job) override
    {
        if (job->requestUrl().path() != QStringLiteral("page-%1").arg(generation)) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        auto* buffer = new QBuffer(job);
        buffer->setData(document);
        buffer->open(QIODevice::ReadOnly);
        job->reply(QByteArrayLiteral("text/html;charset=UTF-8"), buffer);
    }

private:
    QByteArray document;
    quint64 generation = 0;
};

SourceView::SourceView(QWidget* parent)
    : QWebEngineView(parent)
{
    // A profile without a storage name is off the record.
    profile = new QWebEngineProfile(this);
    profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    handler = new SourceSchemeHandler(this);
    profile->installUrlSchemeHandler(scheme(), handler);
    setPage(new QWebEnginePage(profile, this));
    page()->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
}

SourceView::~SourceView()
{
    // The page goes before its profile.
    delete page();
}

void SourceView::registerScheme()
{
    if (QWebEngineUrlScheme::schemeByName(scheme()).name() == scheme())
        return;
    QWebEngineUrlScheme sources(scheme());
    sources.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    QWebEngineUrlScheme::registerScheme(sources);
}

void SourceView::showSource(const QString& html, const QUrl& baseUrl, bool javaScript)
{
    page()->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, javaScript);
    const QByteArray bytes = html.toUtf8();
    if (bytes.size() <= kDirectLimit) {
        page()->setContent(bytes, QStringLiteral("text/html;charset=UTF-8"), baseUrl);
        return;
    }
    page()->load(handler->put(withBase(html, baseUrl).toUtf8()));
}

QString SourceView::withBase(const QString& html, const QUrl& baseUrl)
{
    if (baseUrl.isEmpty() || html.contains(QLatin1String("<base"), Qt::CaseInsensitive))
        return html;
    const QString tag = QStringLiteral("<base href=\"%1\">").arg(baseUrl.toString(QUrl::FullyEncoded).toHtmlEscaped());
    static const QRegularExpression head(QStringLiteral("<head(\\s[^>]*)?>"), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = head.match(html);
    if (!match.hasMatch())
        return tag + html;
    return html.left(match.capturedEnd()) + tag + html.mid(match.capturedEnd());
}

} // namespace crawlmere::webrender
