// The crawl coordinator's counters, its lookup tables of known URLs, and the two ways records
// and link occurrences enter its collections.
#include "engine/Z12Ara.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrawlSettingTable.h"
#include "engine/CrwlStatusCodes.h"
#include "engine/CrwlUrl.h"
#include "engine/EngineSEOService.h"
#include "engine/PunycodeAdditions.h"
#include "engine/detail/RedirectOnly.h"
#include "engine/SettingsValue.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <algorithm>

using crawlmere::engine::detail::HashedString;
using crawlmere::engine::settingInteger;
using crawlmere::platform::logLine;
using crawlmere::platform::Url;

// ===== Counters =============================================================================

void Z12Ara::incNumberDone(const UrlPtr& record)
{
    if (stopPressedFlag.load()) {
        logLine(1, QStringLiteral("incNumberDone after stopPressed!!"));
        return;
    }
    if (!record)
        return;
    // A record a rule keeps from being requested ("Not checked") is done but not checked; a
    // record is counted once however often it is reported.
    if (record->getStatus() != CrwlStatus::notChecked && !record->isCountedAsChecked()) {
        record->setIsCountedAsChecked(true);
        ++numberDone;
    }
    if (pagesFetchedAgain.contains(record.get())) {
        // Once the fetch's own steps are over: by then its answer was read or it never will be.
        crawlmere::platform::Dispatch::toMain([hub = weak_from_this(), record] {
            if (const auto alive = hub.lock())
                alive->pageFetchedAgainEnded(record);
        });
    }
    if (record->shouldBeMemberOfBadCollection())
        incBadLinkCount(record);
    listInsecureRedirects(*record);
    // A PDF is checked but its links are not read unless the scan parses PDFs: the sitemap
    // takes it once its status is known.
    if (record->isPDF() && engineSEODataSource && shouldBeInSitemapCollection(*record))
        engineSEODataSource->add(record);
    crawlmere::platform::NotificationCenter::defaultCenter().post(CrwlUrlStatusUpdated, record);
}

void Z12Ara::incBadLinkCount(const UrlPtr& record)
{
    if (!record || record->isInBadCollection())
        return;
    record->setIsInBadCollection(true);
    ++badCollectionCount;
}

void Z12Ara::decNumberDone(const UrlPtr& record)
{
    if (!record)
        return;
    if (record->isCountedAsChecked()) {
        record->setIsCountedAsChecked(false);
        const qint64 collected = collection.size();
        numberDone = std::max<qint64>(std::min(numberDone, collected) - 1, 0);
    }
    if (record->isInBadCollection()) {
        record->setIsInBadCollection(false);
        badCollectionCount = std::max<qint64>(badCollectionCount - 1, 0);
    }
    crawlmere::platform::NotificationCenter::defaultCenter().post(CrwlUrlStatusUpdated, record);
}

void Z12Ara::markThisUrlAsFixed(const UrlPtr& record)
{
    if (!record)
        return;
    if (record->isInBadCollection())
        badCollectionCount = std::max<qint64>(badCollectionCount - 1, 0);
    record->setStatus(CrwlStatus::userMarkedFixed);
    record->clearRedir();
    record->setIsInBadCollection(false);
    crawlmere::platform::NotificationCenter::defaultCenter().post(CrwlUrlStatusUpdated, record);
}

qint64 Z12Ara::countBadCollection()
{
    badCollectionCount = 0;
    badInstanceTally = 0;
    for (const Item& item : std::as_const(collection)) {
        const auto record = std::dynamic_pointer_cast<CrwlUrl>(item);
        if (!record)
            continue;
        if (record->isInBadCollection()) {
            ++badCollectionCount;
            badInstanceTally += static_cast<qint64>(record->getInboundInstances().size());
        }
    }
    return badCollectionCount;
}

void Z12Ara::statusHasChangedFordO(const UrlPtr& record)
{
    if (record)
        record->setIsInBadCollection(record->shouldBeMemberOfBadCollection());
}

// ===== Lookup ===============================================================================

void Z12Ara::addToLookup(const UrlPtr& record, const QString& key)
{
    if (!record || key.isEmpty())
        return;
    const QString prepared = record->prepareUrlForLookup(key);
    if (prepared.isEmpty())
        return;
    if (lookupDictionary.isEmpty())
        lookupDictionary.reserve(kLookupCapacity);
    lookupDictionary.insert(HashedString(prepared), record);
}

void Z12Ara::removeFromLookup(const UrlPtr& record)
{
    if (!record)
        return;
    // The same prepared key that `addToLookup` filed the record under; an entry that another
    // record has taken over since stays.
    const QString prepared = record->prepareUrlForLookup(record->absoluteString());
    const auto it = lookupDictionary.constFind(HashedString(prepared));
    if (it != lookupDictionary.cend() && it.value() == record)
        lookupDictionary.erase(it);
}

void Z12Ara::addToRedirLookup(const UrlPtr& record, const QString& key)
{
    if (!record || key.isEmpty())
        return;
    if (redirLookupDictionary.isEmpty())
        redirLookupDictionary.reserve(50);
    QList<UrlPtr>& redirecting = redirLookupDictionary[key];
    if (!redirecting.contains(record)) // a rechecked record is counted once
        redirecting.append(record);
}

const QList<Z12Ara::UrlPtr>* Z12Ara::redirectsFiledUnder(const CrwlUrl& record) const
{
    const QString key = record.prepareUrlForLookup(record.absoluteString());
    auto it = redirLookupDictionary.constFind(key);
    if (it == redirLookupDictionary.cend() && !key.isEmpty() && !defaults->boolForKey(crawlKey::wordpressUrls)
        && key.endsWith(u'/'))
        it = redirLookupDictionary.constFind(key.chopped(1));
    return it == redirLookupDictionary.cend() ? nullptr : &it.value();
}

qint64 Z12Ara::getNumberOfRedirectsTo(const CrwlUrl& record) const
{
    const QList<UrlPtr>* redirecting = redirectsFiledUnder(record);
    return redirecting ? redirecting->size() : 0;
}

CrwlUrlList Z12Ara::getRedirectsTo(const CrwlUrl& record) const
{
    const QList<UrlPtr>* redirecting = redirectsFiledUnder(record);
    if (!redirecting)
        return {};
    CrwlUrlList redirects;
    for (const UrlPtr& redirect : *redirecting) {
        if (redirect && redirect.get() != &record)
            redirects.push_back(redirect);
    }
    // The order the answers came in differs from run to run; the addresses' does not.
    std::ranges::stable_sort(redirects, {}, [](const UrlPtr& redirect) { return redirect->absoluteString(); });
    return redirects;
}

Z12Ara::UrlPtr Z12Ara::getFinalRecordOf(const CrwlUrl& record) const
{
    if (!crawlmere::engine::detail::isOnlyARedirect(record))
        return nullptr;
    if (const InstancePtr arrival = redirectArrivals.value(&record))
        return arrival->target();
    const QString target = record.finalURLString();
    std::optional<Url> url = Url::fromString(target);
    if (!url)
        url = Url::fromString(PunycodeAdditions::encodedURLString(target));
    const bool internal = url && compareHost(url->host(), domains);
    return weHaveThisOneAlready(target, &record, internal);
}

std::vector<Z12Ara::InstancePtr> Z12Ara::getRedirectArrivalsTo(const CrwlUrl& record) const
{
    std::vector<InstancePtr> arrivals;
    for (const UrlPtr& redirect : getRedirectsTo(record)) {
        if (InstancePtr arrival = redirectArrivals.value(redirect.get()); arrival && arrival->target().get() == &record)
            arrivals.push_back(std::move(arrival));
    }
    return arrivals;
}

bool Z12Ara::isRedirectArrival(const CrwlLinkInstance& occurrence)
{
    if (!occurrence.linkTextEquals(kRedirectArrivalText))
        return false;
    const auto redirect = occurrence.parent();
    return redirect && redirect->getRedirectCount() > 0;
}

void Z12Ara::lowerDistanceFromHome(const UrlPtr& record, qint64 distance)
{
    if (!record || record->getDistanceFromHome() <= distance)
        return;
    const qint64 levelsLimit = crawlmere::engine::settingIntegerInRange(crawlSettings, crawlKey::levelsLimit);
    std::vector<std::pair<UrlPtr, qint64>> reached { { record, distance } };
    while (!reached.empty()) {
        auto [next, shorter] = std::move(reached.back());
        reached.pop_back();
        if (next->getDistanceFromHome() <= shorter)
            continue;
        next->setDistanceFromHome(shorter);
        if (shorter < levelsLimit && linksLeftOutForDepth.erase(next.get()))
            fetchAgainForItsLinks(next);
        for (const InstancePtr& occurrence : next->getOutboundInstances()) {
            if (UrlPtr target = occurrence ? occurrence->target() : nullptr;
                target && target->getDistanceFromHome() > shorter + 1)
                reached.emplace_back(std::move(target), shorter + 1);
        }
        if (const InstancePtr arrival = redirectArrivals.value(next.get())) {
            if (UrlPtr final = arrival->target(); final && final->getDistanceFromHome() > shorter)
                reached.emplace_back(std::move(final), shorter);
        }
    }
}

void Z12Ara::fetchAgainForItsLinks(const UrlPtr& page)
{
    // Its body was dropped once it was read; it is fetched again, counted anew, and read as a
    // page read again (it is in the SEO collection and has its warnings already).
    logLine(2,
        QStringLiteral("%1 is %2 from home now: it is fetched again for its links")
            .arg(page->absoluteString(), QString::number(page->getDistanceFromHome())));
    readAgainWhenFetched.insert(page.get());
    if (isQueuedOrInProgress(*page))
        return;
    decNumberDone(page);
    page->setStatus(CrwlStatus::notYetChecked);
    page->clearRedir();
    addToCheckQueue(page);
    if (inProgressCount() == 0)
        getNextUrlToCrawl(page);
}

void Z12Ara::recordRedirectArrival(const UrlPtr& redirect, const UrlPtr& final)
{
    if (!redirect || !final || redirect == final)
        return;
    // A Refresh header or a meta refresh is filed here; a server redirect was filed as it came.
    addToRedirLookup(redirect, final->prepareUrlForLookup(final->absoluteString()));
    InstancePtr& arrival = redirectArrivals[redirect.get()];
    if (arrival && arrival->target() == final)
        return;
    if (arrival) {
        const CrwlLinkInstance* former = arrival.get();
        occurrenceArena.takeOutIf([former](const CrwlLinkInstance* occurrence) { return occurrence == former; });
    }
    arrival = occurrenceArena.make();
    arrival->setParent(redirect);
    arrival->setTarget(final);
    arrival->setTexts(linkTextPool.intern(kRedirectArrivalText, QString(), QString(), QString()));
}

// ===== Collections ==========================================================================

void Z12Ara::add(Item item) { add(std::dynamic_pointer_cast<CrwlUrl>(item)); }

void Z12Ara::add(const UrlPtr& record)
{
    if (!record) {
        logLine(1, QStringLiteral("*** attempt to add null link ***"));
        return;
    }
    // A limit of 0 or less is not a limit a site can mean: it reads as the default, as the
    // settings pane shows it.
    if (collection.size() < crawlmere::engine::settingIntegerInRange(crawlSettings, crawlKey::linksLimit))
        collection.append(record);
}

Z12Ara::InstancePtr Z12Ara::addInstanceWithParent(const UrlPtr& parent, const UrlPtr& target, const QString& linkText,
    const QString& rel, const QString& targetattr, const QString& hreflang, std::optional<qint64> lineNumber)
{
    auto instance = occurrenceArena.make();
    instance->setParent(parent);
    instance->setTarget(target);
    // Empty attributes are not stored; the texts are shared with every occurrence that has the
    // same ones.
    const auto orNull = [](const QString& text) { return text.isEmpty() ? QString() : text; };
    instance->setTexts(linkTextPool.intern(linkText, orNull(rel), orNull(targetattr), orNull(hreflang)));
    if (lineNumber)
        instance->setLineNumber(lineNumber);
    if (target)
        target->addInboundInstance(instance);
    if (parent)
        parent->addOutboundInstance(instance);
    return instance;
}

void Z12Ara::removeThisCrwlUrlFromCollection(const UrlPtr& record)
{
    if (collection.isEmpty() || !record)
        return;
    const qsizetype before = collection.size();
    collection.removeOne(std::static_pointer_cast<CrwlDataObject>(record));
    if (collection.size() == before)
        logLine(1, QStringLiteral("*** unable to  remove CrwlUrl %1 from collection").arg(record->absoluteString()));
    invalidateSortedAndFilteredArray();
    removeFromLookup(record);
    linksLeftOutForDepth.erase(record.get());
    readAgainWhenFetched.erase(record.get());
    formActionsOnly.erase(record.get());
    addToRetainArray(record);
}

void Z12Ara::removeThisCrwlLinkInstanceFromCollection(const InstancePtr& instance)
{
    if (occurrenceArena.empty() || !instance)
        return;
    occurrenceArena.takeOutIf([&instance](const CrwlLinkInstance* occurrence) { return occurrence == instance.get(); });
    addToRetainArray(instance);
}

void Z12Ara::sendWarningToWarningsManager(const QString& warning, const UrlPtr& record)
{
    if (!record)
        return;
    if (!crawlmere::platform::Dispatch::isMainThread()) {
        // Records add warnings on their fetch's queue too (the soft-404 test); the array is
        // the main thread's.
        std::weak_ptr<Z12Ara> weakHub = weak_from_this();
        crawlmere::platform::Dispatch::toMain([weakHub, warning, record] {
            if (const auto hub = weakHub.lock())
                hub->sendWarningToWarningsManager(warning, record);
        });
        return;
    }
    if (warningsArray.isEmpty())
        warningsArray.reserve(100);
    warningsArray.append({ record->absoluteString(), record, warning });
}
