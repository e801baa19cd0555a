// The hub's follow, scope and duplicate decisions: which fetched pages are followed, which hosts
// and files are internal, which links are dropped or not fetchable, which pages join the SEO and
// sitemap collection, the directory scope of listed URLs, and the duplicate lookup.
#include "engine/Z12Ara.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlTermsMatcher.h"
#include "engine/CrwlUrl.h"
#include "engine/EngineSEOService.h"
#include "engine/OutputFilterManager.h"
#include "engine/PunycodeAdditions.h"
#include "engine/LookupKeys.h"
#include "engine/detail/RedirectOnly.h"
#include "engine/SettingsValue.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/Strings.h"
#include "platform/Url.h"
#include "platform/UserDefaults.h"

#include <array>

using crawlmere::engine::detail::HashedString;
using crawlmere::engine::settingBool;
using crawlmere::engine::settingString;
using crawlmere::platform::logLine;
using crawlmere::platform::Url;
namespace Dispatch = crawlmere::platform::Dispatch;
namespace lookupKeys = crawlmere::engine;
namespace strings = crawlmere::platform::strings;

namespace {

/// The host or entry without a leading "www.", taken off only when at least 5 characters long.
QStringView withoutWww(QStringView name)
{
    if (name.size() >= 5 && strings::hasPrefixCaseInsensitive(name, u"www."))
        return name.mid(4);
    return name;
}

/// `longer` is `shorter` with one or more labels in front: it ends, ignoring case, in "."
/// followed by `shorter`.
bool endsWithLabelsOf(QStringView longer, QStringView shorter)
{
    if (shorter.isEmpty() || longer.size() <= shorter.size())
        return false;
    return longer[longer.size() - shorter.size() - 1] == u'.' && strings::hasSuffixCaseInsensitive(longer, shorter);
}

/// Subdomain or parent domain of each other: one ends in "." followed by the other, as given
/// or with a leading "www." set aside ("shop.example.com" under "www.example.com").
bool subdomainMatch(QStringView host, QStringView entry)
{
    if (endsWithLabelsOf(host, entry) || endsWithLabelsOf(entry, host))
        return true;
    const QStringView h = withoutWww(host);
    const QStringView e = withoutWww(entry);
    return endsWithLabelsOf(h, e) || endsWithLabelsOf(e, h);
}

/// The texts whose presence, anywhere and in any case, makes an href with a ":" unfetchable.
constexpr std::array<QStringView, 15> kUnfetchableTexts
    = { u"mailto:", u"javascript:", u"tel:", u"callto:", u"sms:", u"skype:", u"whatsapp:", u"data:", u"intent:",
          u"/wp-json", u"itms:", u"itms-apps", u"spotify:", u"blob:", u"webcal:" };

/// Whether `text` holds "///".
bool hasTripleSlash(QStringView text)
{
    for (qsizetype at = text.indexOf(u'/'); at >= 0 && at + 2 < text.size(); at = text.indexOf(u'/', at + 1)) {
        if (text[at + 1] == u'/' && text[at + 2] == u'/')
            return true;
    }
    return false;
}

/// Appends `key` unless empty or already present; with "%" in it, its decoded form (as records
/// store their link URLs) follows. Answers true when `found` answers true for a key appended.
bool appendCandidate(
    QStringList& candidates, const QString& key, const std::function<bool(const QString&)>& found)
{
    if (key.isEmpty())
        return false;
    if (!candidates.contains(key)) {
        candidates.append(key);
        if (found && found(key))
            return true;
    }
    if (key.contains(u'%')) {
        const QString decoded = CrwlUrl::decodedLinkURLString(key);
        if (!decoded.isEmpty() && !candidates.contains(decoded)) {
            candidates.append(decoded);
            if (found && found(decoded))
                return true;
        }
    }
    return false;
}

} // namespace

// ===== Follow decision ========================================================================

bool Z12Ara::weShouldCrawlThisURL(const UrlPtr& page, bool readAgain)
{
    if (!page)
        return false;
    if (isStartingPage(*page))
        return true;

    // A page is read once (`readLinksAgain` reads it again).
    if (!readAgain && page->getLinksRead()) {
        logLine(3, QStringLiteral("%1 has been read already").arg(page->finalURLString()));
        return false;
    }
    // Another record with the same final address has been read. What the sitemap collects
    // plays no part: a redirect filed there under its target must not keep the target unread.
    // A redirect carries its final address's body, read under that address's own record: it
    // goes on to be filed as a way to that page, whether or not the page was read first.
    if (!readAgain && !crawlmere::engine::detail::isOnlyARedirect(*page)
        && settingBool(crawlSettings, crawlKey::shouldTrimHash) && anotherRecordWasReadAt(*page)) {
        logLine(3, QStringLiteral("%1 has been read under another record").arg(page->finalURLString()));
        return false;
    }
    if (!page->isInternal())
        return false;

    if (settingBool(crawlSettings, crawlKey::singlePage)) {
        const bool parsedType = (page->isCSS() && page->shouldParseCSS()) || (page->isPDF() && page->shouldParsePDFs())
            || (page->isDOCX() && page->shouldParseDOCXs()) || (page->isRTF() && page->shouldParseRTFs());
        if (!parsedType)
            return false;
    }

    // The lists decide the mark first and the output filter may lift it; the page's mark is
    // changed once, so a page the filter lets through never collects the blacklisted warning.
    bool blacklisted = page->isBlacklisted();
    if (page->linkContainsOneOfTheseTerms(followBlacklistArray))
        blacklisted = true;
    if (!defaults->value(defaultsKey::blacklistShouldCheckContent)) {
        if (!followWhitelistArray.isEmpty() && !page->linkContainsOneOfTheseTerms(followWhitelistArray))
            blacklisted = true;
    } else {
        if (!page->dataContainsOneOfTheseTerms(followBlacklistArray).isEmpty())
            blacklisted = true;
        if (!followWhitelistArray.isEmpty() && page->dataContainsOneOfTheseTerms(followWhitelistArray).isEmpty()
            && !page->linkContainsOneOfTheseTerms(followWhitelistArray))
            blacklisted = true;
    }
    if (blacklisted && outputFilterManager && outputFilterManager->shouldWeScrapeThisUrlBasedOnCurrentRules(*page)) {
        logLine(3, QStringLiteral("output filter lifts the blacklisting of %1").arg(page->getLinkURL()));
        blacklisted = false;
    }
    if (blacklisted != page->isBlacklisted())
        page->setIsBlacklisted(blacklisted);
    if (blacklisted) {
        logLine(3, QStringLiteral("%1 is blacklisted").arg(page->getLinkURL()));
        return false;
    }

    if (settingBool(crawlSettings, crawlKey::dontFollowNofollowLinks) && !nofollowRulesAllowUs(*page)) {
        logLine(3, QStringLiteral("all instances of this link are marked rel=nofollow"));
        return false;
    }

    // A redirect is not read for its type: it leads to its target, whose own record decides.
    if (!page->isHTML() && !crawlmere::engine::detail::isOnlyARedirect(*page)) {
        const bool parsedType = (page->isPDF() && page->shouldParsePDFs()) || (page->isCSS() && page->shouldParseCSS())
            || (page->isDOCX() && page->shouldParseDOCXs()) || (page->isRTF() && page->shouldParseRTFs())
            || page->isXML();
        if (!parsedType)
            return false;
    }
    if (!page->isXML() && page->isSonOfXML())
        return false;
    return true;
}

bool Z12Ara::isStartingPage(const CrwlUrl& record) const
{
    return record.isStartingPoint() || startingPage.load() == &record;
}

bool Z12Ara::anotherRecordWasReadAt(const CrwlUrl& page) const
{
    const UrlPtr other
        = weHaveThisOneAlready(CrwlUrl::forceTrimHash(page.finalURLString()), &page, page.isInternal());
    return other && other->getLinksRead() && !crawlmere::engine::detail::isOnlyARedirect(*other);
}

bool Z12Ara::nofollowRulesAllowUs(const CrwlUrl& page) const
{
    const auto followedLink = [](const CrwlUrl& record) {
        for (const auto& instance : record.getInboundInstances()) {
            if (instance && !instance->getNofollow())
                return true;
        }
        return false;
    };
    if (followedLink(page))
        return true;
    // A page reached through a redirect is reached by the links to the redirect (or is the
    // starting point's final address).
    const auto redirecting = redirLookupDictionary.constFind(page.prepareUrlForLookup(page.absoluteString()));
    if (redirecting == redirLookupDictionary.cend())
        return false;
    for (const UrlPtr& record : redirecting.value()) {
        if (record && record.get() != &page && (record->isStartingPoint() || followedLink(*record)))
            return true;
    }
    return false;
}

// ===== Internal hosts and files ===============================================================

bool Z12Ara::compareHost(const QString& host, const QStringList& domainList) const
{
    if (host.isEmpty())
        return false;
    if (domainList.isEmpty())
        return true;
    // The usual case, a link to the site's own host as written, without the encoding or the
    // settings the other rules need.
    for (const QString& entry : domainList) {
        if (host.compare(entry, Qt::CaseInsensitive) == 0)
            return true;
    }
    const QString idnaHost = PunycodeAdditions::IDNAEncodedString(host);
    const bool followSubdomains = settingBool(crawlSettings, crawlKey::followSubdomains);
    for (const QString& entry : domainList) {
        if (host.compare(entry, Qt::CaseInsensitive) == 0 || idnaHost.compare(entry, Qt::CaseInsensitive) == 0)
            return true;
        if (!followSubdomains || host.size() == entry.size())
            continue;
        // Every entry is compared with the host as given: a "www." set aside for one entry
        // does not carry over to the next.
        if (subdomainMatch(host, entry) || (idnaHost != host && subdomainMatch(idnaHost, entry)))
            return true;
    }
    return false;
}

bool Z12Ara::fileUrlIsInternal(const Url& url, const QStringList& prefixes)
{
    if (!url.isFileUrl())
        return false;
    for (const QString& prefix : prefixes) {
        if (strings::hasPrefixCaseInsensitive(url.absoluteString(), prefix))
            return true;
    }
    return false;
}

bool Z12Ara::redirectUrlIsExternal(const Url& url) const
{
    if (!url.isValid())
        return false;
    if (Dispatch::isMainThread())
        return !compareHost(url.host(), domains);
    return !compareHost(url.host(), getDomains());
}

bool Z12Ara::isLinkHttpOnHttpsSite(const QString& link, const QString& page)
{
    if (page.startsWith(u"https://") && link.startsWith(u"http://")) {
        httpLinkFoundOnHttpsSite = true;
        return true;
    }
    return false;
}

void Z12Ara::addToDomainsList(const QString& host)
{
    if (host.isEmpty())
        return;
    if (!Dispatch::isMainThread()) {
        Dispatch::mainSync([this, host] { addToDomainsList(host); });
        return;
    }
    if (domains.contains(host))
        return;
    if (domains.size() >= kMaxDomains) {
        logLine(2, QStringLiteral("internal domains list is full, not adding %1").arg(host));
        return;
    }
    logLine(3, QStringLiteral("adding %1 to internal domains").arg(host));
    std::unique_lock lock(domainsLock);
    domains.append(host);
}

bool Z12Ara::isNeverRequested(const QString& url) const
{
    // The lists are made at Go and only read while the scan runs.
    if (!Z12Ara::stringContainsOneOfTheseTerms(url, checkBlacklistArray).isEmpty())
        return true;
    return robotsVerdict(url) == RobotsVerdict::Disallowed
        && settingBool(crawlSettings, crawlKey::blacklistByRobotsTxt);
}

void Z12Ara::resetDomain(const CrwlUrl& record)
{
    const QString text = record.finalURLString();
    auto url = Url::fromString(text);
    if (!url)
        url = Url::fromString(PunycodeAdditions::encodedURLString(text));
    if (url)
        addToDomainsList(url->host());
}

// ===== Dropped, collected and unfetchable links ===============================================

bool Z12Ara::shouldBeIgnored(const QString& link, bool internal, const QString& rel) const
{
    if (!internal && settingBool(crawlSettings, crawlKey::internalOnly))
        return true;
    if (strings::containsCaseInsensitive(rel, u"dns-prefetch") || strings::containsCaseInsensitive(rel, u"preconnect"))
        return true;
    if (!ignoreArray.isEmpty())
        return !CrwlTermsMatcher::stringContainsOneOfTheseTerms(link, ignoreArray).isEmpty();
    return false;
}

bool Z12Ara::shouldBeInSitemapCollection(const CrwlUrl& page) const
{
    if (page.isImage())
        return false;
    if (!page.isGoodLink())
        return false;
    if (!page.isHTML() && !(page.isPDF() && defaults->value(defaultsKey::includePdfsInSitemap)))
        return false;
    if (!page.isInternal())
        return false;
    // A redirect carries its final address's body, which that address's own record is
    // collected with: collected itself it would stand in that record's place.
    if (crawlmere::engine::detail::isOnlyARedirect(page))
        return false;
    if (defaults->value(defaultsKey::observeRobotsTxt)
        && robotsVerdict(page.absoluteString()) == RobotsVerdict::Disallowed)
        return false;
    return true;
}

bool Z12Ara::isMailtoEtc(const QString& href) const
{
    if (href.startsWith(u"{{") || href.startsWith(u"%7B%7B") || href.contains(u"[object Object]")
        || href.startsWith(u".modal-dialog"))
        return true;
    if (!href.contains(u':'))
        return false;
    for (const QStringView text : kUnfetchableTexts) {
        if (strings::containsCaseInsensitive(href, text))
            return true;
    }
    return false;
}

bool Z12Ara::containsColon(const QString& text) { return text.contains(u':'); }

// ===== Up-a-directory repair and directory scope ==============================================

Url Z12Ara::dealWithUpADirectory(const Url& url) const
{
    const QString& text = url.absoluteString();
    // Only a "/../" of the path is a step up; one inside the query or fragment is data.
    qsizetype pathEnd = text.size();
    for (const QChar stop : { u'?', u'#' }) {
        const qsizetype at = text.indexOf(stop);
        if (at >= 0 && at < pathEnd)
            pathEnd = at;
    }
    const qsizetype up = QStringView(text).left(pathEnd).indexOf(u"/../");
    if (up < 0)
        return url;

    const auto base = Url::fromString(text.left(up + 1));
    if (!base)
        return url;
    const auto resolved = Url::resolved(text.mid(up + 1), *base);
    if (!resolved)
        return url;

    if (resolved->absoluteString().contains(u"/../") && settingBool(crawlSettings, crawlKey::tolerateUpADirectory)) {
        QString repaired = resolved->absoluteString();
        repaired.remove(QStringLiteral("../"));
        // A record without owner converts the text as the crawl's records do and files nothing.
        CrwlUrl converter;
        converter.setLinkURL(repaired);
        if (auto converted = converter.getNSURL())
            return *converted;
        return url;
    }
    return *resolved;
}

std::optional<QString> Z12Ara::getpathFromUrl(const Url& url, bool add)
{
    const QString text = url.absoluteString();
    const QString host = url.host();

    // The path starts after the authority (host and port); without a host at index 7.
    qsizetype pathStart = 7;
    if (!host.isEmpty()) {
        const qsizetype slashes = text.indexOf(u"//");
        pathStart = slashes < 0 ? text.size() : slashes + 2 + url.authority().size();
    }
    QString rest = text.mid(pathStart);
    if (rest.size() < 2)
        return std::nullopt;

    const QString last = strings::lastPathComponent(rest);
    if (last.contains(u'.') && last == rest.mid(1))
        return rest;

    const qsizetype query = rest.indexOf(u'?');
    if (query >= 0)
        rest.truncate(query);
    const QString component = strings::lastPathComponent(rest);
    if (component.contains(u'.')) {
        const qsizetype at = rest.lastIndexOf(component);
        if (at >= 0)
            rest.truncate(at);
    } else if (!rest.endsWith(u'/')) {
        rest = strings::deletingLastPathComponent(rest);
    }
    if (rest.endsWith(u'/'))
        rest.chop(1);

    if (rest.isEmpty() || settingBool(crawlSettings, crawlKey::crawlUpwards))
        return rest;

    const QString directory = PunycodeAdditions::qfStringByRemovingPercentEncoding(rest);
    if (add) {
        QString term;
        const auto port = url.port();
        if (!host.isEmpty() && port && *port != 0)
            term = QStringLiteral("!%1:%2%3").arg(host, QString::number(*port), directory);
        else if (!host.isEmpty())
            term = QStringLiteral("!%1%2").arg(host, directory);
        else
            term = QStringLiteral("!%1").arg(directory);
        if (followBlacklistArray.contains(term)) {
            // A list names many URLs of one directory; one term is enough.
        } else if (followBlacklistArray.size() >= kMaxFollowBlacklistTerms) {
            logLine(1, QStringLiteral("too many directory limits, not adding %1").arg(term));
        } else {
            logLine(3, QStringLiteral("limiting crawl to directory: %1").arg(term));
            followBlacklistArray.append(term);
        }
    }
    return directory;
}

// ===== Duplicate lookup =======================================================================

Z12Ara::LookupRules Z12Ara::lookupRules() const
{
    const std::lock_guard lock(lookupRulesLock);
    // The generation is read before the values, so a write in between is seen next time.
    const quint64 generation = crawlSettings ? crawlSettings->generation() : 0;
    if (crawlSettings && lookupRulesSettings == crawlSettings && lookupRulesGeneration == generation)
        return lookupRulesCache;
    LookupRules rules;
    rules.shouldTrimHash = settingBool(crawlSettings, crawlKey::shouldTrimHash);
    rules.trimQuery = settingBool(crawlSettings, crawlKey::trimQuery);
    rules.shouldIgnoreSlash = settingBool(crawlSettings, crawlKey::shouldIgnoreSlash);
    rules.ignoreScheme = settingBool(crawlSettings, crawlKey::ignoreScheme);
    rules.ignoreSessid = settingBool(crawlSettings, crawlKey::ignoreSessid);
    rules.sessidParam = settingString(crawlSettings, crawlKey::sessidParam);
    lookupRulesSettings = crawlSettings;
    lookupRulesGeneration = generation;
    lookupRulesCache = rules;
    return rules;
}

QStringList Z12Ara::lookupCandidates(
    const QString& url, bool internal, const std::function<bool(const QString&)>& found) const
{
    const LookupRules rules = lookupRules();
    const bool shouldTrimHash = rules.shouldTrimHash;
    const bool trimQuery = rules.trimQuery;
    const bool shouldIgnoreSlash = rules.shouldIgnoreSlash;

    // The lookup's own form: "///" folded, fragment and query cut by the lookup's rules.
    // (Searched for one character first: most URLs hold neither "///" nor "#".)
    QString folded = url;
    if (folded.size() > 5 && hasTripleSlash(folded) && !folded.startsWith(u"file")) {
        const qsizetype at = folded.indexOf(u"///");
        folded.replace(at, 3, QStringLiteral("//"));
    }
    if (shouldTrimHash) {
        const qsizetype hash = folded.indexOf(u'#');
        if (hash >= 0 && !folded.contains(u"#!") && !folded.contains(u"#/"))
            folded.truncate(hash);
    }
    if (internal && trimQuery) {
        const qsizetype query = folded.indexOf(u'?');
        if (query >= 0)
            folded.truncate(query);
    }
    if (folded.isEmpty())
        return {};

    const bool ignoreScheme = rules.ignoreScheme;
    const bool ignoreSessid = rules.ignoreSessid;
    const QString& sessidParam = rules.sessidParam;

    QStringList candidates;
    // Each form is offered as it is made; true once `found` has taken one.
    const auto addForms = [&](const QString& key) {
        if (appendCandidate(candidates, key, found))
            return true;
        QString swapped;
        if (ignoreScheme && key.size() >= 8) {
            if (key.startsWith(u"http://"))
                swapped = QStringLiteral("https://") + key.mid(7);
            else if (key.startsWith(u"https://"))
                swapped = QStringLiteral("http://") + key.mid(8);
            if (appendCandidate(candidates, swapped, found))
                return true;
        }
        if (!ignoreSessid || sessidParam.isEmpty())
            return false;
        for (const QString& form : { swapped, key }) {
            if (form.isEmpty() || !form.contains(sessidParam))
                continue;
            const QString without = removeSessionId(sessidParam, form);
            if (without.size() >= form.size())
                continue;
            if (appendCandidate(candidates, lookupKeys::prepareUrlForLookup(without, shouldIgnoreSlash), found))
                return true;
            // The parameter was the first of several: "p?&a=2" is filed as "p?a=2".
            const qsizetype gap = without.indexOf(u"?&");
            if (gap >= 0
                && appendCandidate(candidates,
                    lookupKeys::prepareUrlForLookup(QString(without).remove(gap + 1, 1), shouldIgnoreSlash), found))
                return true;
        }
        return false;
    };
    if (addForms(lookupKeys::prepareUrlForLookup(folded, shouldIgnoreSlash)))
        return candidates;

    // The form a record of this very string is filed under (as setLinkURL and addToLookup
    // make it). It differs from the lookup's form for "///", for a "&#" character reference
    // and for a query while `shouldTrimHash` is off; without it such URLs would never be
    // found and would be checked once per occurrence.
    addForms(lookupKeys::prepareUrlForLookup(
        lookupKeys::trimHashQuery(url, shouldTrimHash, trimQuery, internal), shouldIgnoreSlash));
    return candidates;
}

Z12Ara::UrlPtr Z12Ara::doWeHaveThisURL(
    const QString& url, const LookupTable& dictionary, bool internal) const
{
    if (url.isEmpty() || dictionary.isEmpty())
        return nullptr;
    // Most links name a page met before under the first form, so the later forms are made
    // only when the earlier ones are not filed.
    UrlPtr record;
    lookupCandidates(url, internal, [&](const QString& key) {
        const auto it = dictionary.constFind(HashedString(key));
        if (it == dictionary.cend() || !it.value())
            return false;
        record = it.value();
        return true;
    });
    return record;
}

Z12Ara::UrlPtr Z12Ara::weHaveThisOneAlready(const QString& url, const CrwlUrl* ignore, bool internal) const
{
    if (url.isEmpty() || lookupDictionary.isEmpty())
        return nullptr;
    UrlPtr found = doWeHaveThisURL(url, lookupDictionary, internal);
    if (found && found.get() == ignore)
        return nullptr;
    return found;
}

Z12Ara::UrlPtr Z12Ara::currentRecordOf(const UrlPtr& record) const
{
    return record ? weHaveThisOneAlready(record->absoluteString(), nullptr, record->isInternal()) : nullptr;
}

QString Z12Ara::removeSessionId(const QString& name, const QString& url)
{
    return lookupKeys::removeSessionId(name, url);
}

Z12Ara::UrlPtr Z12Ara::lcurlForUrl(const QString& key) const { return lookupDictionary.value(HashedString(key)); }

qint8 Z12Ara::firstCharOf(const QString& text)
{
    return text.isEmpty() ? 0 : static_cast<qint8>(text.front().unicode());
}

qint8 Z12Ara::lastCharOf(const QString& text) { return text.isEmpty() ? 0 : static_cast<qint8>(text.back().unicode()); }

// ===== Scope state set without go =============================================================

void Z12Ara::setDomains(const QStringList& value)
{
    std::unique_lock lock(domainsLock);
    domains = value;
}
