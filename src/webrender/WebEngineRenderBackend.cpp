// A page renderer's page on the browser engine.
#include "webrender/WebEngineRenderBackend.h"

#include "platform/CookieStore.h"
#include "platform/Log.h"
#include "platform/UrlRequest.h"
#include "webrender/PageRelease.h"

#include <QGuiApplication>
#include <QNetworkCookie>
#include <QWebEngineCookieStore>
#include <QWebEngineHttpRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>

#include <array>

using crawlmere::platform::CookieStore;
using crawlmere::platform::HttpCookie;
using crawlmere::platform::logLine;
using crawlmere::platform::UrlRequest;

namespace crawlmere::webrender {

namespace {

/// Header fields the browser engine sets itself.
bool browserSetsField(const QByteArray& name)
{
    static const std::array<QByteArray, 6> fields { "host", "content-length", "user-agent", "accept-encoding",
        "connection", "cookie" };
    const QByteArray lower = name.toLower();
    for (const QByteArray& field : fields) {
        if (lower == field)
            return true;
    }
    return false;
}

} // namespace

/// Puts the crawl's Referer on the replayed request: the browser engine drops a Referer given
/// among a load's own header fields, and sends the page's first request without one.
class WebEngineRenderBackend::RefererSetter final : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    /// The next page request of the profile (its one page's load) gets `referer`.
    void expect(const QByteArray& referer) { value = referer; }

    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        if (value.isEmpty() || info.resourceType() != QWebEngineUrlRequestInfo::ResourceTypeMainFrame)
            return;
        info.setHttpHeader("Referer", value);
        value.clear(); // the replayed request only, not where the page goes next
    }

private:
    QByteArray value;
};

WebEngineRenderBackend::WebEngineRenderBackend()
{
    // A profile without a storage name is off the record: nothing of it reaches the disk.
    profile = new QWebEngineProfile();
    profile->setHttpCacheType(QWebEngineProfile::NoCache);
    profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    refererSetter = new RefererSetter(profile);
    profile->setUrlRequestInterceptor(refererSetter);
    webPage = new QWebEnginePage(profile);
    // A hidden page has its timers held back; the page's scripts run as in a shown one.
    webPage->setVisible(true);

    const std::weak_ptr<bool> token = alive;
    QObject::connect(webPage, &QWebEnginePage::loadStarted, webPage, [this, token] {
        if (!token.expired())
            loading = true;
    });
    QObject::connect(webPage, &QWebEnginePage::loadFinished, webPage, [this, token](bool ok) {
        if (token.expired())
            return;
        loading = false;
        if (ok) {
            if (events.finished)
                events.finished();
        } else if (events.failed) {
            events.failed(QStringLiteral("the page did not load"));
        }
    });
    QObject::connect(webPage, &QWebEnginePage::renderProcessTerminated, webPage,
        [this, token](QWebEnginePage::RenderProcessTerminationStatus, int) {
            if (token.expired())
                return;
            loading = false;
            if (events.crashed)
                events.crashed();
        });
}

WebEngineRenderBackend::~WebEngineRenderBackend() { stop(); }

std::unique_ptr<PageRenderBackend> WebEngineRenderBackend::make()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        logLine(0, QStringLiteral("pages cannot be rendered without a GUI application"));
        return nullptr;
    }
    return std::make_unique<WebEngineRenderBackend>();
}

void WebEngineRenderBackend::setEvents(Events value) { events = std::move(value); }

void WebEngineRenderBackend::seedCookies()
{
    QWebEngineCookieStore* store = profile->cookieStore();
    for (const HttpCookie& cookie : CookieStore::allCookies()) {
        QNetworkCookie copy(cookie.name.toUtf8(), cookie.value.toUtf8());
        copy.setPath(cookie.path.isEmpty() ? QStringLiteral("/") : cookie.path);
        copy.setSecure(cookie.secure);
        copy.setHttpOnly(cookie.httpOnly);
        if (cookie.expires > 0)
            copy.setExpirationDate(QDateTime::fromSecsSinceEpoch(cookie.expires));
        // A host cookie has no domain of its own: the origin names its host.
        if (cookie.includeSubdomains)
            copy.setDomain(QLatin1Char('.') + cookie.domain);
        const QUrl origin((cookie.secure ? QStringLiteral("https://") : QStringLiteral("http://")) + cookie.domain
            + QLatin1Char('/'));
        store->setCookie(copy, origin);
    }
}

void WebEngineRenderBackend::load(const UrlRequest& request)
{
    if (!webPage)
        return;
    QByteArray userAgent = request.headers.value("User-Agent");
    if (userAgent.isEmpty())
        userAgent = request.userAgent.toUtf8();
    if (!userAgent.isEmpty())
        profile->setHttpUserAgent(QString::fromUtf8(userAgent));
    if (request.httpShouldHandleCookies)
        seedCookies();

    QWebEngineHttpRequest replay(QUrl(request.url, QUrl::StrictMode));
    if (!replay.url().isValid())
        replay.setUrl(QUrl(request.url));
    if (request.httpMethod == "POST") {
        replay.setMethod(QWebEngineHttpRequest::Post);
        replay.setPostData(request.httpBody);
    } else if (request.httpMethod != "GET") {
        logLine(1,
            QStringLiteral("%1: rendered with GET instead of %2")
                .arg(request.url, QString::fromLatin1(request.httpMethod)));
    }
    for (const auto& field : request.headers.fields()) {
        if (field.first.compare("referer", Qt::CaseInsensitive) == 0)
            refererSetter->expect(field.second);
        else if (!browserSetsField(field.first))
            replay.setHeader(field.first, field.second);
    }
    loading = true;
    webPage->load(replay);
}

void WebEngineRenderBackend::evaluate(const QString& script, EvaluationDone done)
{
    if (!webPage)
        return;
    const std::weak_ptr<bool> token = alive;
    webPage->runJavaScript(script, [token, done = std::move(done)](const QVariant& result) {
        if (token.expired())
            return;
        if (!result.isValid())
            done(std::nullopt, QStringLiteral("the script gave no result"));
        else
            done(result.toString(), QString());
    });
}

void WebEngineRenderBackend::stopLoading()
{
    if (webPage)
        webPage->triggerAction(QWebEnginePage::Stop);
}

void WebEngineRenderBackend::stop()
{
    if (!webPage)
        return;
    alive.reset();
    events = {};
    webPage->disconnect();
    webPage->triggerAction(QWebEnginePage::Stop);
    // The page goes after the current event (it may be reporting right now), and its profile
    // after it, also when the program ends before the next event. Deleting the profile drops
    // its cookies and storage, and nothing else.
    releasePage(webPage, profile);
    webPage = nullptr;
    profile = nullptr;
    refererSetter = nullptr;
}

} // namespace crawlmere::webrender
