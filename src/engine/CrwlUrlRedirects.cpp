// The redirect chain of a URL record: hops with target, status and reason, the redirect target,
// and the colour class and bad-link verdict that depend on status and chain.
#include "engine/CrwlUrl.h"

#include "engine/CrwlStatusCodes.h"
#include "engine/PunycodeAdditions.h"
#include "engine/detail/DefaultsValue.h"
#include "engine/LookupKeys.h"
#include "engine/SettingsValue.h"

using crawlmere::engine::detail::defaultsBool;
using crawlmere::engine::integerValue;
using crawlmere::engine::settingBool;

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
    const QString trimmed = crawlmere::engine::withStoredSpelling(
        trimHash(target, settingBool(crawlSettings, crawlKey::trimQuery)));
    if (trimmed.isEmpty())
        return;
    {
        const std::lock_guard lock(redirLock);
        RedirectChain& kept = chainRef();
        kept.target = trimmed;
        kept.lastHopOnlyRecorded = false;
        if (kept.hops.size() < maxRedirectHops)
            kept.hops.append(makeRedirectHop(trimmed, newStatus, reason));
        publishRedirectHopCount();
    }
    setStatus(newStatus);
}

void CrwlUrl::addRedirsFromArray(const QVariantList& hops)
{
    if (hops.isEmpty())
        return;
    const std::lock_guard lock(redirLock);
    RedirectChain& kept = chainRef();
    for (const QVariant& hop : hops) {
        if (kept.hops.size() >= maxRedirectHops)
            break;
        kept.hops.append(hop);
    }
    publishRedirectHopCount();
}

void CrwlUrl::clearRedir()
{
    const std::lock_guard lock(redirLock);
    chain.reset();
    publishRedirectHopCount();
}

QVariantList CrwlUrl::redirectArray() const
{
    const std::lock_guard lock(redirLock);
    return chain ? chain->hops : QVariantList();
}

void CrwlUrl::setRedirTable(const QVariantList& hops)
{
    if (hops.isEmpty())
        return;
    const std::lock_guard lock(redirLock);
    RedirectChain& kept = chainRef();
    kept.hops = hops.mid(0, maxRedirectHops);
    kept.target = hops.constLast().toMap().value(QStringLiteral("url")).toString();
    publishRedirectHopCount();
}

bool CrwlUrl::lastRedirectWasMeta() const
{
    const std::lock_guard lock(redirLock);
    if (!chain || chain->hops.isEmpty())
        return false;
    const qint64 reason = integerValue(chain->hops.constLast().toMap().value(QStringLiteral("reason")));
    return reason == 1 || reason == 2;
}

QString CrwlUrl::getRedir() const
{
    // Without hops there is no target either (every change sets both, or the hops alone).
    if (redirectHopCount.load(std::memory_order_acquire) == 0)
        return QStringLiteral("");
    const std::lock_guard lock(redirLock);
    return !chain || chain->target.isNull() ? QStringLiteral("") : chain->target;
}

QString CrwlUrl::getRedirDecoded() const
{
    const QString target = getRedir();
    return target.isEmpty() ? QStringLiteral("") : PunycodeAdditions::decodedURLString(target);
}

qint64 CrwlUrl::getRedirectCount() const { return redirectHopCount.load(std::memory_order_acquire); }

void CrwlUrl::markLastRedirOnlyRecorded()
{
    const std::lock_guard lock(redirLock);
    if (chain && !chain->hops.isEmpty())
        chain->lastHopOnlyRecorded = true;
}

qint64 CrwlUrl::followedRedirectCount() const
{
    const qint64 hops = getRedirectCount();
    if (hops == 0)
        return 0;
    const std::lock_guard lock(redirLock);
    return chain && chain->lastHopOnlyRecorded ? hops - 1 : hops;
}

void CrwlUrl::publishRedirectHopCount()
{
    redirectHopCount.store(chain ? qint32(chain->hops.size()) : 0, std::memory_order_release);
}

CrwlUrl::RedirectChain& CrwlUrl::chainRef()
{
    if (!chain)
        chain = std::make_unique<RedirectChain>();
    return *chain;
}

// ===== Judgements =============================================================================

int CrwlUrl::colourForCrwlUrl() const
{
    const qint64 code = getStatus();
    const bool dontReportRedirects = defaultsBool(userDefaults(), crawlKey::dontReportRedirects);
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
    if (defaultsBool(userDefaults(), defaultsKey::shouldFlagBlacklisted, false) && isBlacklistedFlag)
        return 3;
    if (code == CrwlStatus::redirectionToNowhere || code == CrwlStatus::refreshHeader
        || code == CrwlStatus::blockedByFirewallService || code == CrwlStatus::blockedByEdgeService
        || code == CrwlStatus::blockedByNetworkSite)
        return 2;
    if (code >= 200 || code == CrwlStatus::disallowedByRobotsTxt || code == CrwlStatus::notChecked) {
        // Without the redirect head line (argument NO) the warnings list is empty exactly when
        // the record has no warning.
        if (!defaultsBool(userDefaults(), defaultsKey::dontReportWarnings, true) && (!warnings.isEmpty() || recursion))
            return 2;
        if (defaultsBool(userDefaults(), defaultsKey::displayLabelsForRedirects, true) && !dontReportRedirects)
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
    if (defaultsBool(userDefaults(), defaultsKey::shouldFlagBlacklisted, false) && isBlacklistedFlag)
        return true;
    if (code == CrwlStatus::fileDoesNotExist)
        return true;
    if (code == CrwlStatus::fileIsDirectory || code == CrwlStatus::disallowedByRobotsTxt
        || code == CrwlStatus::notChecked)
        return false;
    return code >= 400 || code == 0;
}
