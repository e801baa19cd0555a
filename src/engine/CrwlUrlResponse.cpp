// What a URL record does with its session's callbacks up to the end of the body: redirects and
// their chain, authentication challenges, the response head (status, blocking services, type,
// Refresh header, body decision) and the body bytes.
#include "engine/CrwlUrl.h"

#include "engine/CrwlStatusCodes.h"
#include "engine/PunycodeAdditions.h"
#include "engine/SettingsValue.h"
#include "engine/detail/CrwlUrlFetch.h"
#include "engine/detail/SamePage.h"
#include "engine/detail/UrlWhitespace.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/Strings.h"
#include "platform/TextEncoding.h"
#include "platform/UserDefaults.h"

using crawlmere::engine::integerValue;
using crawlmere::engine::settingBool;
using crawlmere::engine::settingString;
using crawlmere::platform::AuthenticationChallenge;
using crawlmere::platform::logLine;
using crawlmere::platform::RedirectDecision;
using crawlmere::platform::ResponseDisposition;
using crawlmere::platform::Url;
using crawlmere::platform::UrlCredential;
using crawlmere::platform::UrlRequest;
using crawlmere::platform::UrlResponse;
using crawlmere::platform::UrlSession;
using crawlmere::platform::UrlSessionDelegate;
using crawlmere::platform::UrlTaskResult;
namespace Dispatch = crawlmere::platform::Dispatch;
namespace strings = crawlmere::platform::strings;

namespace {

/// The text after the first "URL=" (any case) of `text`; nullopt without one.
std::optional<QString> textAfterUrlKey(const QString& text)
{
    const qsizetype at = strings::indexOfCaseInsensitive(text, u"URL=");
    if (at < 0)
        return std::nullopt;
    return text.mid(at + 4);
}

QString trimmedOf(QString text, QStringView characters)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && characters.contains(text[start]))
        ++start;
    while (end > start && characters.contains(text[end - 1]))
        --end;
    return text.mid(start, end - start);
}

bool isStopped(const CrwlUrl& record)
{
    const auto recordOwner = record.getOwner();
    if (recordOwner && recordOwner->stopPressed()) {
        logLine(3, QStringLiteral("%1 called after stop pressed. Doing nothing").arg(record.getLinkURL()));
        return true;
    }
    return false;
}

} // namespace

// ===== The session's callbacks ==================================================================

UrlSessionDelegate CrwlUrlFetch::makeDelegate(const std::shared_ptr<CrwlUrlFetchContext>& context)
{
    // The callbacks hold the fetch weakly: once the record lets go of it (unlinked, or the record
    // itself gone) they do nothing.
    const std::weak_ptr<CrwlUrlFetchContext> weakContext = context;
    const auto live = [weakContext]() -> std::pair<std::shared_ptr<CrwlUrlFetchContext>, std::shared_ptr<CrwlUrl>> {
        auto fetch = weakContext.lock();
        if (!fetch || !fetch->current.load())
            return {};
        auto record = fetch->record.lock();
        if (!record)
            return {};
        return { std::move(fetch), std::move(record) };
    };

    UrlSessionDelegate delegate;
    delegate.willPerformHTTPRedirection
        = [live](UrlSession&, const UrlResponse& response, UrlRequest newRequest) -> RedirectDecision {
        auto [fetch, record] = live();
        if (!fetch) {
            logLine(3, QStringLiteral("redirect callback from an old session"));
            return RedirectDecision::cancel();
        }
        RedirectDecision decision = RedirectDecision::cancel();
        Dispatch::mainSync([&, fetch = fetch.get(), record = record.get()] {
            if (fetch->current.load())
                decision = willPerformHTTPRedirection(*record, *fetch, response, std::move(newRequest));
        });
        return decision;
    };
    delegate.didReceiveChallenge
        = [live](UrlSession&, const AuthenticationChallenge&) -> std::optional<UrlCredential> {
        auto [fetch, record] = live();
        if (!fetch || isStopped(*record))
            return std::nullopt;
        const auto recordOwner = record->getOwner();
        if (record->isStartingPoint() && recordOwner)
            recordOwner->addStringToDiagnosticTrace(
                QStringLiteral("received authentication challenge from %1").arg(record->finalURLString()));
        // Only Basic challenges reach here; certificates are accepted by the session itself.
        if (const auto credential = record->credentialsFromSettings())
            return UrlCredential { credential->first, credential->second };
        logLine(1, QStringLiteral("Unable to create credential object"));
        record->setStatus(CrwlStatus::unauthorized);
        return std::nullopt;
    };
    delegate.didReceiveResponse = [live](UrlSession&, const UrlResponse& response) -> ResponseDisposition {
        auto [fetch, record] = live();
        if (!fetch) {
            logLine(3, QStringLiteral("response callback from an old session"));
            return ResponseDisposition::Cancel;
        }
        ResponseDisposition disposition = ResponseDisposition::Cancel;
        Dispatch::mainSync([&, fetch = fetch.get(), record = record.get()] {
            if (fetch->current.load() && !isStopped(*record))
                disposition = didReceiveResponse(*record, *fetch, response);
        });
        return disposition;
    };
    delegate.didReceiveData = [live](UrlSession&, const QByteArray& bytes) {
        auto [fetch, record] = live();
        if (!fetch || isStopped(*record))
            return;
        // Collected here, on the session queue; the completion hands the body to the record
        // on the main thread.
        (fetch->bodyToSource ? fetch->sourceBody : fetch->body).append(bytes);
    };
    delegate.didCompleteWithError = [live](UrlSession&, const UrlTaskResult& result) {
        auto [fetch, record] = live();
        if (!fetch) {
            logLine(3, QStringLiteral("completion from an old session"));
            return;
        }
        didCompleteWithError(record, fetch, result);
    };
    return delegate;
}

// ===== Redirects ================================================================================

RedirectDecision CrwlUrlFetch::willPerformHTTPRedirection(
    CrwlUrl& record, CrwlUrlFetchContext& context, const UrlResponse& response, UrlRequest newRequest)
{
    const auto recordOwner = record.getOwner();
    if (recordOwner && recordOwner->stopPressed())
        logLine(3, QStringLiteral("%1 redirect called after stop pressed").arg(record.getLinkURL()));
    const bool startingPoint = record.isStartingPoint();

    // A loop through the record's own URL (A -> B -> A) records only every other hop in the
    // chain, so the hops offered count too; otherwise the transfer's own redirect cap ends the
    // loop first with a transport error instead of "Recurring redirect".
    const qint64 hopsOffered = ++context.redirectHops;
    if (record.getRedirectCount() >= CrwlStatus::recurringRedirectHops
        || hopsOffered > CrwlStatus::recurringRedirectHops) {
        // The redirect response becomes the final response; its status stays -9.
        record.setStatus(CrwlStatus::recurringRedirect);
        return RedirectDecision::refuse();
    }

    const QString target = newRequest.url;
    const int code = response.statusCode;
    if (!target.isEmpty() && record.isEqualToUrl(target, /*checkRedir=*/false)) {
        record.setLinkURL(target);
    } else {
        record.addRedir(target, code, 0);
        // Files the record under its target, for the "numberofredirectstohere" column.
        if (recordOwner && !target.isEmpty())
            recordOwner->addToRedirLookup(record.shared_from_this(), record.prepareUrlForLookup(target));
        if (startingPoint && recordOwner)
            recordOwner->addStringToDiagnosticTrace(
                QStringLiteral("received redirect notification - %1 to %2 status %3")
                    .arg(response.url, target,
                        QStringLiteral("%1 %2").arg(
                            QString::number(code), UrlResponse::localizedStringForStatusCode(code))));
    }

    if (recordOwner) {
        if (startingPoint) {
            recordOwner->resetDomain(record);
        } else if (record.isInternal() && !target.isEmpty()) {
            const auto targetUrl = Url::fromString(target);
            if (targetUrl && recordOwner->redirectUrlIsExternal(*targetUrl)) {
                record.setIsInternal(false);
                record.addWarning(QStringLiteral("This link url is internal but redirects to the external url %1")
                                      .arg(PunycodeAdditions::decodedURLString(target)));
            }
        }
        if (startingPoint)
            recordOwner->addResponseFieldsToDiagnostic(
                QStringLiteral("Status code: %1\n\nHeader Fields:\n %2\n\n")
                    .arg(QString::number(code), response.allHeaderFields.toString()));
    }

    // The transfer sets the Host header of the new request from its URL.
    if (target.isEmpty()) {
        record.setStatus(CrwlStatus::redirectionToNowhere);
        if (startingPoint && recordOwner)
            recordOwner->addStringToDiagnosticTrace(QStringLiteral("redirection to nowhere"));
        return RedirectDecision::cancel();
    }
    if (recordOwner && recordOwner->isMailtoEtc(target)) {
        record.setStatus(CrwlStatus::notChecked);
        if (startingPoint)
            recordOwner->addStringToDiagnosticTrace(QStringLiteral("redirection to tel: mailto: etc"));
        return RedirectDecision::cancel();
    }
    if (recordOwner && !startingPoint && recordOwner->isNeverRequested(target)) {
        // The redirect ends here, as a link to its target would never be requested: the
        // redirect response is the record's own, and its target gets its status as a link.
        logLine(2, QStringLiteral("%1 redirects to %2, which is not requested").arg(record.getLinkURL(), target));
        return RedirectDecision::refuse();
    }
    if (const auto& request = record.getRunJS())
        *request = newRequest;
    return RedirectDecision::follow(std::move(newRequest));
}

// ===== The response head ========================================================================

bool CrwlUrlFetch::handleRefreshHeader(CrwlUrl& record, CrwlUrlFetchContext& context, const QString& value, int statusCode)
{
    const auto recordOwner = record.getOwner();
    const qsizetype semicolon = value.indexOf(u';');
    const qint64 delay = semicolon > 0 ? integerValue(value.left(semicolon)) : 0;
    const auto afterKey = textAfterUrlKey(value);
    if (!afterKey)
        return false;
    const QString target = trimmedOf(*afterKey, u"'\"; ");
    if (target.isEmpty())
        return false;
    const auto resolved = CrwlUrl::makeNSURLFromString(target, record.finalURLString());
    if (!resolved)
        return false;
    if (CrwlUrl::isLocalFileBeyondReach(record, *resolved)) {
        record.addWarning(CrwlUrl::localFileBeyondReachWarning());
        return false;
    }
    // A refresh to the page itself, however written ("#top", another letter case, the default
    // port), would only fetch the same page again: the page is its own.
    if (crawlmere::engine::detail::namesSamePage(
            *resolved, { record.getLinkURL(), record.absoluteString(), record.finalURLString() })) {
        logLine(2, QStringLiteral("%1 refreshes to itself, which is not followed").arg(record.getLinkURL()));
        return false;
    }

    record.addRedir(resolved->absoluteString(), statusCode, 2);
    record.setStatus(CrwlStatus::refreshHeader);
    record.clearData();
    context.body.clear();

    if (record.getRedirectCount() >= CrwlStatus::recurringRedirectHops) {
        record.setStatus(CrwlStatus::recurringRedirect);
        if (record.isStartingPoint() && recordOwner)
            recordOwner->addStringToDiagnosticTrace(
                QStringLiteral("%1 Recurring 'Refresh' type redirect, abandoning").arg(record.getLinkURL()));
        return true;
    }
    // A target a link to which would not be requested is not waited for: the record ends as a
    // redirect there, its target filed with the status such a link gets.
    const bool neverRequested
        = !record.isStartingPoint() && recordOwner && recordOwner->isNeverRequested(resolved->absoluteString());
    const bool waited = delay >= 1 && delay <= 29;
    if (waited && !neverRequested) {
        // The completion queues the record again once the delay has passed.
        context.refreshDelay = int(delay);
        if (record.isStartingPoint() && recordOwner)
            recordOwner->addStringToDiagnosticTrace(
                QStringLiteral("sending another request for %1 with delay of %2 seconds after response header Refresh "
                               "redirection")
                    .arg(resolved->absoluteString(), QString::number(delay)));
        return true;
    }
    // Not waited for, the hop is only recorded and the body that follows is the record's own;
    // waited for but never requested, the record is a redirect to it.
    if (!waited)
        record.markLastRedirOnlyRecorded();
    return false;
}

void CrwlUrlFetch::typeFromResponse(CrwlUrl& record, const UrlResponse& response)
{
    const QString contentType = response.allHeaderFields.text("Content-Type");
    if (!contentType.isNull() && response.statusCode < 400) {
        record.setMimeType(contentType.section(u';', 0, 0));
        if (contentType.contains(u"html")) {
            record.setIsHTML(true);
            record.setIsImage(false);
        } else {
            record.setIsHTML(false);
        }
        if (contentType.contains(u"image/"))
            record.setIsImage(true);
        if (contentType.contains(u"video/"))
            record.setIsVideo(true);
        if (contentType.contains(u"audio/"))
            record.setIsAudio(true);
        if (contentType.contains(u"application/")) {
            record.setIsHTML(false);
            record.setIsImage(false);
        }
        return;
    }
    if (contentType.isNull() || response.statusCode >= 400) {
        if (response.expectedContentLength > 4194304)
            logLine(2,
                QStringLiteral("content length of %1 is said to be %2")
                    .arg(record.getLinkURL(), QString::number(response.expectedContentLength)));
    }
    const QString extension = strings::pathExtension(record.getLinkURL());
    if (extension.size() < 2)
        return;
    if (CrwlUrl::extensionIsImageExtension(extension)) {
        record.setIsHTML(false);
        record.setIsImage(true);
        record.setIsVideo(false);
        record.setIsAudio(false);
    } else if (CrwlUrl::extensionIsVideoExtension(extension)) {
        record.setIsHTML(false);
        record.setIsImage(false);
        record.setIsVideo(true);
        record.setIsAudio(false);
    } else if (CrwlUrl::extensionIsAudioExtension(extension)) {
        record.setIsHTML(false);
        record.setIsImage(false);
        record.setIsVideo(false);
        record.setIsAudio(true);
    } else if (strings::hasPrefixCaseInsensitive(extension, u"gpx") || strings::hasPrefixCaseInsensitive(extension, u"dmg")
        || strings::hasPrefixCaseInsensitive(extension, u"pdf")) {
        record.setIsHTML(false);
        record.setIsImage(false);
        record.setIsVideo(false);
        record.setIsAudio(false);
    } else {
        record.setIsHTML(false);
    }
}

ResponseDisposition CrwlUrlFetch::didReceiveResponse(CrwlUrl& record, CrwlUrlFetchContext& context, const UrlResponse& response)
{
    const auto recordOwner = record.getOwner();
    const bool startingPoint = record.isStartingPoint();
    record.setResponseTimeInterval(context.secondsSinceSent());

    if (!response.isHttp) {
        // A local file.
        record.setStatus(CrwlStatus::nonHttpOk);
        record.setIsHTML(response.mimeType.contains(u"html"));
    } else {
        const int s = response.statusCode;
        const auto& headers = response.allHeaderFields;
        if (startingPoint && recordOwner)
            recordOwner->addResponseFieldsToDiagnostic(QStringLiteral("Status code: %1\n\nHeader Fields:\n %2\n\n")
                                                           .arg(QString::number(s), headers.toString()));
        if (headers.contains("Refresh") && handleRefreshHeader(record, context, headers.text("Refresh"), s))
            return ResponseDisposition::Cancel;
        if (startingPoint && recordOwner)
            recordOwner->addStringToDiagnosticTrace(QStringLiteral("received response: %1").arg(s));

        const bool hasLength = headers.contains("Content-Length");
        if (hasLength)
            record.setFileSizeCompressed(qint32(integerValue(headers.text("Content-Length"))));
        record.contentlengthunavailable = !hasLength;

        const qint64 previous = record.getStatus();
        if ((s == 999 || s == 429) && record.getLinkURL().contains(u"linkedin", Qt::CaseInsensitive)) {
            record.setStatus(CrwlStatus::blockedByNetworkSite);
        } else if ((s >= 500 || s == 429 || s == 403)
            && (headers.contains("CF_RAY") || headers.contains("CF-RAY") || headers.text("Server") == u"cloudflare")) {
            record.setStatus(CrwlStatus::blockedByEdgeService);
        } else if (previous != CrwlStatus::unauthorized && previous != CrwlStatus::recurringRedirect) {
            record.setStatus(s);
        }

        if (record.isInternal() && headers.contains("Last-Modified"))
            record.setTargetLastModified(headers.text("Last-Modified"));
        typeFromResponse(record, response);
        context.declaredEncoding = crawlmere::platform::TextEncoding::encodingForDeclaredCharset(response.textEncodingName);

        if (record.getRunJS() && !record.shouldRunJS())
            record.setRunJS(nullptr);
    }

    if (record.getRunJS()) {
        // Rendered pages get their body from the renderer; network bytes are kept apart.
        context.bodyToSource = true;
        const auto self = record.shared_from_this();
        Dispatch::toMain([self] { CrwlUrlFetch::startRenderer(self); });
    }
    if (record.loadShouldContinue())
        return ResponseDisposition::Allow;
    context.bodyDeclined = true;
    return ResponseDisposition::Cancel;
}

// ===== Decisions and helpers ====================================================================

bool CrwlUrl::loadShouldContinue() const
{
    const qint64 code = getStatus();
    if (getRunJS() || code >= 400)
        return false;
    if (userDefaults()->boolForKey(crawlKey::runAllToCompletion))
        return true;
    if (settingBool(crawlSettings, crawlKey::shouldArchive) && isInternalFlag)
        return true;
    // Loaded images show the size of their body, wherever they are.
    if (isImageFlag && shouldLoadImages() && !isSonOfXML())
        return true;
    if (isInternalFlag) {
        if (!isXML() && isSonOfXML())
            return false;
        if (settingBool(crawlSettings, crawlKey::notifyAllResourcesRegardlessOfFileType))
            return true;
        if (isHTML() || isStartingPointFlag)
            return true;
        // Every document type the scan is set to read links from is downloaded.
        if ((isPDF() && shouldParsePDFs()) || (isCSS() && shouldParseCSS()) || (isDOCX() && shouldParseDOCXs())
            || (isRTF() && shouldParseRTFs())
            || (isJS() && settingBool(crawlSettings, crawlKey::shouldLoadJS)))
            return true;
        if (isXML())
            return true;
        logLine(2, QStringLiteral("old-style cancellation - have status but won't collect data for %1").arg(linkURL));
        return false;
    }
    if (userDefaults()->boolForKey(crawlKey::shouldCheckForSoft404)) {
        if (!isHTML() && !mimeTypeText.isEmpty())
            return false;
        return userDefaults()->value(defaultsKey::soft404Scope) > 0;
    }
    return false;
}

std::optional<std::pair<QString, QString>> CrwlUrl::credentialsFromSettings() const
{
    if (!settingBool(crawlSettings, crawlKey::WebtallyAttemptAuthentication))
        return std::nullopt;
    const QString user = settingString(crawlSettings, crawlKey::authenticationusername);
    const QString password = settingString(crawlSettings, crawlKey::authenticationpassword);
    if (user.isEmpty() || password.isEmpty())
        return std::nullopt;
    return std::make_pair(user, password);
}

bool CrwlUrl::addNewDataToData(const QByteArray& bytes)
{
    if (getData().size() + bytes.size() > maxBodyBytes()) {
        logLine(1, QStringLiteral("**** failed to add data for %1").arg(linkURL));
        return false;
    }
    bodiesRef().data.append(bytes);
    return true;
}

bool CrwlUrl::addNewDataToSourceData(const QByteArray& bytes)
{
    if (getSourceData().size() + bytes.size() > maxBodyBytes()) {
        logLine(1, QStringLiteral("**** failed to add data for %1").arg(linkURL));
        return false;
    }
    bodiesRef().sourceData.append(bytes);
    return true;
}

std::optional<Url> CrwlUrl::makeNSURLFromString(const QString& written, const QString& base)
{
    const QString link = crawlmere::engine::detail::withoutTabsOrNewlines(written);
    if (const auto baseUrl = Url::fromString(base)) {
        if (auto resolved = Url::resolved(link, *baseUrl))
            return resolved;
    }
    const auto encodedBase = Url::fromString(PunycodeAdditions::encodedURLString(base));
    if (encodedBase) {
        if (auto resolved = Url::resolved(PunycodeAdditions::encodedURLString(link), *encodedBase))
            return resolved;
    }
    const auto& pathCharacters = PunycodeAdditions::qfURLPathAllowedCharacterSet();
    const QString escapedLink = PunycodeAdditions::qfStringByAddingPercentEncodingWithAllowedCharacters(link, pathCharacters);
    if (encodedBase) {
        if (auto resolved = Url::resolved(escapedLink, *encodedBase))
            return resolved;
    }
    if (const auto escapedBase = Url::fromString(
            PunycodeAdditions::qfStringByAddingPercentEncodingWithAllowedCharacters(base, pathCharacters))) {
        if (auto resolved = Url::resolved(escapedLink, *escapedBase))
            return resolved;
    }
    return std::nullopt;
}
