// Building and sending a URL record's request: headers, proxy-crawl address, login form body,
// the rendering decision, and the link rechecks a user starts from the views.
#include "engine/CrwlUrl.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlStatusCodes.h"
#include "engine/FetchPageReader.h"
#include "engine/PageRenderer.h"
#include "engine/PunycodeAdditions.h"
#include "engine/detail/CrwlUrlCaches.h"
#include "engine/detail/CrwlUrlFetch.h"
#include "engine/SettingsValue.h"
#include "platform/Log.h"
#include "platform/Strings.h"
#include "platform/UrlSession.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <atomic>
#include <mutex>
#include <utility>

using crawlmere::engine::customHeaders;
using crawlmere::engine::customPostFields;
using crawlmere::engine::settingBool;
using crawlmere::engine::settingString;
using crawlmere::engine::settingTimeoutSeconds;
using crawlmere::platform::logLine;
using crawlmere::platform::Url;
using crawlmere::platform::UrlRequest;
using crawlmere::platform::UrlSession;
namespace strings = crawlmere::platform::strings;

namespace {

/// Where requests go when the proxy-crawl service is on and the `proxyCrawlEndpoint` default
/// names no other address.
const QString kProxyCrawlEndpoint = QStringLiteral("https://fetch-api.crawlmere.invalid/");

std::mutex rendererLock;

CrwlUrl::RendererStarter& rendererStarter()
{
    static CrwlUrl::RendererStarter starter;
    return starter;
}

std::atomic<qint64> bodyCap { UrlRequest::kDefaultMaxBodyBytes };

/// `application/x-www-form-urlencoded` of a name or value: UTF-8, space as "+", everything but
/// letters, digits and "*-._" escaped, so "+", "=", "&" and "%" arrive as written.
QByteArray formEncoded(const QString& text)
{
    QByteArray encoded = text.toUtf8().toPercentEncoding("*", "~");
    encoded.replace("%20", "+");
    return encoded;
}

void appendPair(QByteArray& body, const QString& name, const QString& value)
{
    if (!body.isEmpty())
        body.append('&');
    body.append(formEncoded(name));
    body.append('=');
    body.append(formEncoded(value));
}

} // namespace

void CrwlUrl::setRendererStarter(RendererStarter starter)
{
    std::lock_guard guard(rendererLock);
    rendererStarter() = std::move(starter);
}

bool CrwlUrlFetch::hasRendererStarter()
{
    {
        std::lock_guard guard(rendererLock);
        if (!rendererStarter())
            return false;
    }
    return PageRenderer::isAvailable();
}

void CrwlUrlFetch::startRenderer(const std::shared_ptr<CrwlUrl>& record)
{
    CrwlUrl::RendererStarter starter;
    {
        std::lock_guard guard(rendererLock);
        starter = rendererStarter();
    }
    // Only a fetch still under way is rendered: a pause or a new send since the response
    // unlinked it.
    if (const auto& request = record->getRunJS(); request && starter && record->fetchContext)
        record->cachesRef().WTG = starter(*request, record);
}

qint64 CrwlUrl::maxBodyBytes() { return bodyCap.load(); }

void CrwlUrl::setMaxBodyBytes(qint64 bytes) { bodyCap.store(bytes > 0 ? bytes : UrlRequest::kDefaultMaxBodyBytes); }

// ===== The request =============================================================================

QByteArray CrwlUrlFetch::loginBody(const CrwlUrl& record, const std::optional<LoginFormFields>& form)
{
    const auto& settings = record.crawlSettings;
    QByteArray body;
    const QString userName = settingString(settings, crawlKey::authenticationusername);
    const QString passwordField = settingString(settings, crawlKey::authenticationpasswordfieldname);
    const QString password = settingString(settings, crawlKey::authenticationpassword);
    if (!userName.isEmpty()) {
        appendPair(body, settingString(settings, crawlKey::authenticationusernamefieldname), userName);
        appendPair(body, passwordField, password);
    } else if (!passwordField.isEmpty() && !password.isEmpty()) {
        appendPair(body, passwordField, password);
    }
    // Custom fields go with the login pair, and alone when there is none (a POST that only
    // carries its custom fields).
    for (const auto& [keyOfName, keyOfValue] : customPostFields) {
        const QString key = settingString(settings, keyOfName);
        if (!key.isEmpty())
            appendPair(body, key, settingString(settings, keyOfValue));
    }
    if (form) {
        // Hidden fields with a name and a value; a later field of the same name wins, in the
        // order the names first appear.
        QStringList names;
        QHash<QString, QString> values;
        for (const QVariantMap& field : form->fields) {
            if (!field.value(QStringLiteral("hidden")).toBool())
                continue;
            const QString name = field.value(QStringLiteral("name")).toString();
            const QString value = field.value(QStringLiteral("value")).toString();
            if (name.isEmpty() || value.isEmpty())
                continue;
            if (!values.contains(name))
                names.append(name);
            values.insert(name, value);
        }
        for (const QString& name : names)
            appendPair(body, name, values.value(name));
    }
    return body;
}

UrlRequest CrwlUrl::makeServerRequest() const
{
    // The URL as requested: the redirect target when there is one, encoded.
    QString urlString = getLinkUrlForTesting();
    if (!Url::fromString(urlString)) {
        logLine(1, QStringLiteral("sendAsyncServerRequest: unable to make URL from %1").arg(urlString));
        const QString encoded = PunycodeAdditions::encodedURLString(urlString);
        if (Url::fromString(encoded)) {
            logLine(1, QStringLiteral("succeeded after encoding"));
            urlString = encoded;
        } else {
            // The request goes out without a usable URL and ends in the completion with the
            // session's "bad URL" error.
            logLine(1, QStringLiteral("still unable to make URL from encoded version: %1").arg(encoded));
        }
    }
    const QString pageUrlString = urlString;

    const double timeout = settingTimeoutSeconds(crawlSettings);

    QString requestUrl = urlString;
    if (requestGoesThroughProxyCrawl()) {
        const QString proxyToken = userDefaults()->value(defaultsKey::proxyCrawlToken);
        QString endpoint = userDefaults()->value(defaultsKey::proxyCrawlEndpoint);
        if (endpoint.isEmpty())
            endpoint = kProxyCrawlEndpoint;
        // Both values percent-encoded, so the target's own query survives as one parameter.
        requestUrl = endpoint + (endpoint.contains(u'?') ? u'&' : u'?') + QStringLiteral("token=")
            + QString::fromLatin1(QUrl::toPercentEncoding(proxyToken)) + QStringLiteral("&url=")
            + QString::fromLatin1(QUrl::toPercentEncoding(urlString));
    }

    if (isFileURLFlag || requestUrl.startsWith(QLatin1StringView("file:"), Qt::CaseInsensitive)) {
        if (const auto fileUrl = Url::fromString(requestUrl); fileUrl && fileUrl->isFileUrl()) {
            if (QFileInfo(fileUrl->toLocalFile()).isDir()) {
                const QString name = strings::trimmingWhitespaceAndNewlines(
                    userDefaults()->stringForKey(crawlKey::defaultLocalFileName));
                if (!name.isEmpty()) {
                    if (!requestUrl.endsWith(u'/'))
                        requestUrl.append(u'/');
                    requestUrl.append(QString::fromLatin1(QUrl::toPercentEncoding(name, "/")));
                }
            }
        }
    }

    UrlRequest request(requestUrl, timeout);
    request.httpShouldHandleCookies = true;
    request.maxBodyBytes = maxBodyBytes();
    const QString userAgent = settingString(crawlSettings, crawlKey::userAgentString);
    request.userAgent = userAgent;

    request.setValue("text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8", "Accept");
    request.setValue("max-age=0", "Cache-Control");
    if (!userAgent.isEmpty())
        request.setValue(userAgent.toUtf8(), "User-Agent");
    // No Host header: the transfer derives it from the URL (with the port when there is one).
    const auto inbound = lastInboundInstance();
    const auto referringPage = inbound ? inbound->parent() : nullptr;
    const QString referer = referringPage ? referringPage->getLinkUrlForTesting() : QString();
    if (!referer.isEmpty())
        request.setValue(referer.toUtf8(), "Referer");
    else if (!isStartingPointFlag)
        logLine(1,
            QStringLiteral("unable to set referer for %1, we have %2 instances")
                .arg(linkURL, QString::number(inboundInstanceArray.size())));
    request.setValue(crawlmere::engine::settingAcceptLanguage(crawlSettings).toUtf8(), "Accept-Language");
    // Accept-Encoding names what the transfer decodes (gzip, deflate, br); it sets it itself.
    request.setValue(
        userDefaults()->value(defaultsKey::connectionKeepAlive) ? "keep-alive" : "close", "Connection");
    for (const auto& [keyOfName, keyOfValue] : customHeaders) {
        const QString name = settingString(crawlSettings, keyOfName);
        if (!name.isEmpty())
            request.setValue(settingString(crawlSettings, keyOfValue).toUtf8(), name.toUtf8());
    }

    if (requestMethod() == 2) {
        std::optional<LoginFormFields> form;
        if (settingBool(crawlSettings, crawlKey::securityToken)) {
            if (const auto reader = FetchPageReader::installed())
                form = reader->readLoginForm(request.url);
            if (form && !form->action.isNull()) {
                const QString action = PunycodeAdditions::qfStringByRemovingPercentEncoding(form->action);
                if (const auto target = makeNSURLFromString(action, request.url))
                    request.url = target->absoluteString();
            }
        }
        // The login page itself, not the form's action.
        request.setValue(pageUrlString.toUtf8(), "Referer");
        request.httpMethod = "POST";
        request.httpBody = CrwlUrlFetch::loginBody(*this, form);
        request.setValue("application/x-www-form-urlencoded", "Content-Type");
    } else {
        request.httpMethod = "GET";
    }
    return request;
}

bool CrwlUrl::requestGoesThroughProxyCrawl() const
{
    return !isFileURLFlag && userDefaults()->value(defaultsKey::useProxyCrawl)
        && !userDefaults()->value(defaultsKey::proxyCrawlToken).isEmpty();
}

bool CrwlUrl::sendAsyncServerRequest()
{
    UrlRequest request = makeServerRequest();
    methodOfLastRequest = request.httpMethod == "POST" ? 2 : 1;

    auto context = std::make_shared<CrwlUrlFetchContext>();
    context->record = weak_from_this();
    // A new send replaces the fetch under way, which then never reports back.
    if (fetchContext)
        CrwlUrlFetch::unlink(*this, *fetchContext);
    // Network fetches hand their callbacks to the main thread without holding a worker; a
    // file is read on a worker, whose callbacks wait for the main thread instead.
    const bool network = request.scheme() != QLatin1String("file");
    context->session = UrlSession::create(CrwlUrlFetch::makeDelegate(context),
        network ? crawlmere::platform::UrlSessionCallbacks::OnMainThread
                : crawlmere::platform::UrlSessionCallbacks::OnWorker);
    fetchContext = context;

    // A render of the last send hands nothing into this one.
    clearWTG();
    if (shouldRunJS() && CrwlUrlFetch::hasRendererStarter())
        setRunJS(std::make_shared<UrlRequest>(request));
    else
        setRunJS(nullptr);
    // The new fetch's body replaces the last one's.
    bodies.reset();
    setStatus(CrwlStatus::requestSent);
    ++tryCount;
    setSentRequest();
    const QString headerText = request.headers.toString();
    const QString url = request.url;
    context->session->start(std::move(request));

    if (isStartingPointFlag) {
        if (const auto recordOwner = owner.lock()) {
            recordOwner->addRequestFieldsToDiagnostic(headerText);
            recordOwner->addStringToDiagnosticTrace(QStringLiteral("request for %1 created and sent").arg(url));
        }
    }
    return true;
}

bool CrwlUrl::shouldRunJS() const
{
    // Hosts whose pages show their content only once rendered: the `renderedHostNames` default
    // (a microblogging, a photo-sharing and a video-sharing service unless changed).
    if (userDefaults()->boolForKey(crawlKey::shouldCheckForSoft404)) {
        for (const QString& host : userDefaults()->value(defaultsKey::renderedHostNames)) {
            if (!host.isEmpty() && linkURL.contains(host, Qt::CaseInsensitive))
                return true;
        }
    }
    if (!settingBool(crawlSettings, crawlKey::runJS) || !isInternalFlag)
        return false;
    return !(
        isXML() || isImageFlag || isVideoFlag || isAudioFlag || isJS() || isCSS() || isPDF() || isDOCX() || isRTF());
}

// ===== Rechecks ===============================================================================

void CrwlUrl::recheckLink() { recheckLink(shared_from_this()); }

void CrwlUrl::recheckLink(const std::shared_ptr<CrwlUrl>& record)
{
    if (!record)
        return;
    const auto recordOwner = owner.lock();
    // A record still waiting or being fetched is checked anyway; queued twice it would be
    // fetched twice and one of the fetches would never be taken off the in-progress list.
    if (recordOwner && recordOwner->isQueuedOrInProgress(*record)) {
        if (recordOwner->inProgressCount() == 0)
            recordOwner->getNextUrlToCrawl(record);
        return;
    }
    if (recordOwner)
        recordOwner->decNumberDone(record);
    record->setStatus(CrwlStatus::notYetChecked);
    record->clearRedir();
    if (!recordOwner)
        return;
    recordOwner->addToCheckQueue(record);
    if (recordOwner->inProgressCount() == 0)
        recordOwner->getNextUrlToCrawl(record);
}

CrwlUrl::InstanceList CrwlUrl::takeOutboundInstances()
{
    invalidateLinkedImagesArray();
    invalidateLinkedVideoArray();
    invalidateLinkedAudioArray();
    return outboundInstanceArray.take();
}

void CrwlUrl::removeInboundInstance(const std::shared_ptr<CrwlLinkInstance>& instance)
{
    inboundInstanceArray.erase(instance.get());
}
