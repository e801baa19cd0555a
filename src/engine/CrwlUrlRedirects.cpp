// The redirect chain of a URL record: hops with target, status and reason, the redirect target,
// and the colour class and bad-link verdict that depend on status and chain.
#include "engine/CrwlUrl.h"

#include "engine/CrwlStatusCodes.h"
#include "engine/PunycodeAdditions.h"
#include "engine/detail/DefaultsValue.h"
#include "engine/detail/LookupKeys.h"
#include "engine/detail/SettingsValue.h"

using crawlmere::engine::detail::defaultsBool;
using crawlmere::engine::detail::integerValue;
using crawlmere::engine::detail::settingBool;

// ===== Redirect chain =========================================================================

QVariantMap CrwlUrl::makeRedirectHop(const QString& url, qint64 status, qint32 reason)
{
    return QVariantMap {
        { QStringLiteral("url"), url },
        { QStringLiteral("status"), status },
        { QStringLiteral("reason"), reason },
    };
}

void CrwlUrl::addRedir(const QString& target, qint64 newStatus, qint32 reason)
{
    const QString trimmed = crawlmere::engine::detail::withLowerCaseSchemeAndHost(
        trimHash(target, settingBool(crawlSettings, QStringLiteral("trimQuery"))));
    if (trimmed.isEmpty())
        return;
    {
        const std::lock_guard lock(redirLock);
        redir = trimmed;
        if (redirectArrayList.size() < maxRedirectHops)
            redirectArrayList.append(makeRedirectHop(trimmed, newStatus, reason));
        publishRedirectHopCount();
    }
    setStatus(newStatus);
}

void CrwlUrl::addRedirsFromArray(const QVariantList& hops)
{
    const std::lock_guard lock(redirLock);
    for (const QVariant& hop : hops) {
        if (redirectArrayList.size() >= maxRedirectHops)
            break;
        redirectArrayList.append(hop);
    }
    publishRedirectHopCount();
}

void CrwlUrl::clearRedir()
{
    const std::lock_guard lock(redirLock);
    redirectArrayList.clear();
    redir = QString();
    publishRedirectHopCount();
}

QVariantList CrwlUrl::redirectArray() const
{
    const std::lock_guard lock(redirLock);
    return redirectArrayList;
}

void CrwlUrl::setRedirTable(const QVariantList& hops)
{
    if (hops.isEmpty())
        return;
    const std::lock_guard lock(redirLock);
    redirectArrayList = hops.mid(0, maxRedirectHops);
    redir = hops.constLast().toMap().value(QStringLiteral("url")).toString();
    publishRedirectHopCount();
}

bool CrwlUrl::lastRedirectWasMeta() const
{
    const std::lock_guard lock(redirLock);
    if (redirectArrayList.isEmpty())
        return false;
    const qint64 reason = integerValue(redirectArrayList.constLast().toMap().value(QStringLiteral("reason")));
    return reason == 1 || reason == 2;
}

QString CrwlUrl::getRedir() const
{
    // Without hops there is no target either (every change sets both, or the hops alone).
    if (redirectHopCount.load(std::memory_order_acquire) == 0)
        return QStringLiteral("");
    const std::lock_guard lock(redirLock);
    return redir.isNull() ? QStringLiteral("") : redir;
}

QString CrwlUrl::getRedirDecoded() const
{
    const QString target = getRedir();
    return target.isEmpty() ? QStringLiteral("") : PunycodeAdditions::decodedURLString(target);
}

qint64 CrwlUrl::getRedirectCount() const { return redirectHopCount.load(std::memory_order_acquire); }

void CrwlUrl::publishRedirectHopCount()
{
    redirectHopCount.store(qint32(redirectArrayList.size()), std::memory_order_release);
}

// ===== Judgements =============================================================================

int CrwlUrl::colourForCrwlUrl() const
{
    const qint64 code = getStatus();
    const bool dontReportRedirects = defaultsBool(defaults, QStringLiteral("dontReportRedirects"), false);
    const bool redirected = !getRedir().isEmpty();

    if ((code >= 400 && code <= 499) || linksAnchorDoesntAppearOnTargetPage)
        return 3;
    if (code == CrwlStatus::unauthorized || code == CrwlStatus::unknownError || code == CrwlStatus::completedWithError)
        return 4;
    if (code == 999)
        return 2;
    if (code > 499)
        return 4;
    if (code == 0 || code == CrwlStatus::possibleSoft404 || code == CrwlStatus::fileDoesNotExist)
        return 4;
    if (defaultsBool(defaults, QStringLiteral("shouldFlagBlacklisted"), false) && isBlacklistedFlag)
        return 3;
    if (code == CrwlStatus::redirectionToNowhere || code == CrwlStatus::refreshHeader
        || code == CrwlStatus::blockedByFirewallService || code == CrwlStatus::blockedByEdgeService
        || code == CrwlStatus::blockedByNetworkSite)
        return 2;
    if (code >= 200 || code == CrwlStatus::disallowedByRobotsTxt || code == CrwlStatus::notChecked) {
        // Without the redirect head line (argument NO) the warnings list is empty exactly when
        // the record has no warning.
        if (!defaultsBool(defaults, QStringLiteral("dontReportWarnings"), true) && (!warnings.isEmpty() || recursion))
            return 2;
        if (defaultsBool(defaults, QStringLiteral("displayLabelsForRedirects"), true) && !dontReportRedirects)
            return redirected ? 2 : 0;
        return 0;
    }
    if (code == CrwlStatus::missingLinkUrl || code == CrwlStatus::unableToMakeValidUrl
        || code == CrwlStatus::missingImageSrc)
        return 3;
    if (code == CrwlStatus::fileIsDirectory)
        return 0;
    if (dontReportRedirects)
        return 0;
    return redirected ? 2 : 0;
}

bool CrwlUrl::shouldBeMemberOfDubiusCollection() const { return colourForCrwlUrl() == 2; }

bool CrwlUrl::shouldBeMemberOfBadCollection() const
{
    const qint64 code = getStatus();
    if ((code >= 200 && code <= 299) || code == 999)
        return false;
    if (linksAnchorDoesntAppearOnTargetPage)
        return true;
    if (code == CrwlStatus::unauthorized || code == CrwlStatus::unknownError || code == CrwlStatus::completedWithError
        || code == CrwlStatus::possibleSoft404)
        return true;
    if (code == CrwlStatus::redirectionToNowhere || code == CrwlStatus::refreshHeader
        || code == CrwlStatus::blockedByFirewallService || code == CrwlStatus::blockedByEdgeService
        || code == CrwlStatus::blockedByNetworkSite)
        return false;
    if (defaultsBool(defaults, QStringLiteral("shouldFlagBlacklisted"), false) && isBlacklistedFlag)
        return true;
    if (code == CrwlStatus::fileDoesNotExist)
        return true;
    if (code == CrwlStatus::fileIsDirectory || code == CrwlStatus::disallowedByRobotsTxt
        || code == CrwlStatus::notChecked)
        return false;
    return code >= 400 || code == 0;
}
