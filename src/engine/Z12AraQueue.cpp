// The crawl coordinator's heartbeat: the pump that keeps the configured number of fetches in
// flight with the site's delay and request rate, the freeing of slots, and the finish with its
// watchdog for fetches that never report back.
#include "engine/Z12Ara.h"

#include "engine/ArchiveSink.h"
#include "engine/CrawlSettingTable.h"

#include "engine/CrwlStatusCodes.h"
#include "engine/CrwlUrl.h"
#include "engine/FetchTransport.h"
#include "engine/HubClock.h"
#include "engine/ShellServices.h"
#include "engine/detail/CrwlUrlFetch.h"
#include "engine/detail/RedirectOnly.h"
#include "engine/SettingsValue.h"
#include "platform/Log.h"

#include <algorithm>
#include <cmath>

using crawlmere::engine::kLowestRequestsPerMinute;
using crawlmere::engine::settingBool;
using crawlmere::engine::settingDouble;
using crawlmere::engine::settingInteger;
using crawlmere::engine::settingTimeoutSeconds;
using crawlmere::platform::logLine;

namespace {

/// The span over which the request rate is counted.
constexpr qint64 kRateWindowMs = 60 * 1000;

/// The longest wait between two looks at the fetches still under way, so a fetch started after
/// a look is given up close to its own deadline even under a long time-out.
constexpr std::chrono::milliseconds kLongestOverdueCheckWait { 60 * 1000 };

/// Seconds as the clock's milliseconds; the caller has read them within their setting's range.
std::chrono::milliseconds millisecondsFromSeconds(double seconds)
{
    if (!(seconds > 0.000001))
        return std::chrono::milliseconds(0);
    return std::chrono::milliseconds(static_cast<qint64>(seconds * 1000.0));
}

} // namespace

void Z12Ara::addToCheckQueue(const UrlPtr& record)
{
    if (!record)
        return;
    checkQueue.addObject(record);
    crawlFinishedFlag = false;
}

bool Z12Ara::isQueuedOrInProgress(const CrwlUrl& record) const
{
    const auto same = [&record](const UrlPtr& other) { return other.get() == &record; };
    return checkQueue.isWaiting(record) || hostLookups.holds(record)
        || std::any_of(inProgressArray.begin(), inProgressArray.end(), same)
        || std::any_of(refreshWaits.begin(), refreshWaits.end(), same);
}

HostLookupStage::Hooks Z12Ara::hostLookupHooks()
{
    HostLookupStage::Hooks hooks;
    hooks.failed = [](const UrlPtr& record, const crawlmere::platform::UrlError& error) {
        CrwlUrlFetch::endWithoutRequest(record, error);
    };
    hooks.answered = [this] { getNextUrlToCrawl(nullptr); };
    return hooks;
}

Z12Ara::UrlPtr Z12Ara::nextRecordToFetch(const HostLookupStage::Services& services)
{
    if (UrlPtr ready = hostLookups.takeReady())
        return ready;
    while (UrlPtr next = checkQueue.popObject()) {
        crawlmere::platform::UrlError failure;
        switch (hostLookups.admit(next, services, failure)) {
        case HostLookupStage::Admission::Fetch:
            return next;
        case HostLookupStage::Admission::Held:
            break;
        case HostLookupStage::Admission::Failed:
            CrwlUrlFetch::endWithoutRequest(next, failure);
            break;
        }
    }
    return nullptr;
}

double Z12Ara::requestTimeoutSeconds() const
{
    return settingTimeoutSeconds(crawlSettings);
}

bool Z12Ara::getNextUrlToCrawl(const UrlPtr& /*record*/)
{
    logLine(3, QStringLiteral("getNextUrlToCrawl:"));
    if (stopPressedFlag.load()) {
        logLine(1, QStringLiteral("returning because of stopPressed"));
        return false;
    }
    // A thread count outside the slider's range reads as its nearest end, as the slider shows it.
    const qint64 threads = crawlmere::engine::settingIntegerInRange(crawlSettings, crawlKey::numberOfThreads);
    const qint64 maxInFlight = threads;
    // A limited rate paces the requests by itself (below). The delay the settings pane derives
    // from that rate says the same pacing another way: added to it, a scan given the rate alone
    // and one whose rate was set in the window would be paced apart.
    const auto delay = requestsPerMinute() > 0
        ? std::chrono::milliseconds(0)
        : millisecondsFromSeconds(crawlmere::engine::settingDoubleInRange(crawlSettings, crawlKey::delay));
    logLine(2,
        QStringLiteral("getNextUrlToCrawl: numberOfThreadsDetached is %1, max should be %2")
            .arg(numberOfThreadsDetached)
            .arg(threads));
    logLine(3, QStringLiteral("checkQueue has %1").arg(checkQueue.count()));

    if (checkQueue.count() == 0 && !hostLookups.hasReady()) {
        isFinished();
        return false;
    }
    if (numberOfThreadsDetached >= maxInFlight)
        return false;

    const QDateTime now = clock->now();
    qint64 slotsLeft = requestSlotsLeftThisMinute(now);
    if (slotsLeft == 0) {
        schedulePumpWhenRateAllows(now);
        return false;
    }

    HostLookupStage::Services services;
    services.transport = transport;
    services.clock = clock;
    services.timeout = std::chrono::milliseconds(static_cast<qint64>(requestTimeoutSeconds() * 1000.0));
    bool started = false;
    while (!stopPressedFlag.load()) {
        UrlPtr next = nextRecordToFetch(services);
        if (!next) {
            if (!started)
                isFinished();
            return started;
        }
        ++numberOfThreadsDetached;
        inProgressArray.append(next);
        auto wait = delay;
        if (slotsLeft > 0) {
            // A limited rate is kept evenly: each request starts a whole interval after the one
            // before it, however many slots are free, never as a burst and then a pause.
            QDateTime at = now.addMSecs(delay.count());
            if (!recentStarts.empty())
                at = std::max(at, recentStarts.back().addMSecs(requestIntervalMs()));
            recentStarts.push_back(at);
            wait = std::chrono::milliseconds(now.msecsTo(at));
            --slotsLeft;
        }
        startFetch(next, wait);
        started = true;
        if (numberOfThreadsDetached >= maxInFlight)
            return true;
        if (slotsLeft == 0) {
            schedulePumpWhenRateAllows(now);
            return true;
        }
    }
    return started;
}

void Z12Ara::startFetch(const UrlPtr& record, std::chrono::milliseconds delay)
{
    // The time-out clock of a record starts when its request is sent; a stale time from an
    // earlier send must not count against a record that waits for its delay.
    record->setTimestamp(QDateTime());
    if (delay.count() > 0) {
        afterInThisRun(delay, [record](Z12Ara& hub) {
            // A pause or a new scan since the start was scheduled takes the record out of flight.
            if (hub.stopPressedFlag.load() || !hub.inProgressArray.contains(record))
                return;
            hub.startFetch(record, std::chrono::milliseconds(0));
        });
        return;
    }
    const QDateTime sent = clock->now();
    if (requestsPerMinute() > 0) {
        // A limited rate counts from when the last request really went: one that left late (a
        // busy main thread) keeps the next a whole interval after it, however the starts were
        // booked.
        if (lastRequestSent.isValid()) {
            const qint64 early = sent.msecsTo(lastRequestSent.addMSecs(requestIntervalMs()));
            if (early > 0) {
                startFetch(record, std::chrono::milliseconds(early));
                return;
            }
        }
        lastRequestSent = sent;
        if (!recentStarts.empty() && recentStarts.back() < sent)
            recentStarts.back() = sent;
    }
    record->setTimestamp(sent);
    armGiveUpTimer();
    if (transport)
        transport->startFetch(record);
    else
        logLine(1, QStringLiteral("no fetch transport: %1 is not requested").arg(record->absoluteString()));
}

void Z12Ara::afterInThisRun(std::chrono::milliseconds delay, std::function<void(Z12Ara&)> work)
{
    clock->after(delay, [weakHub = weak_from_this(), generation = runGeneration, work = std::move(work)] {
        const auto hub = weakHub.lock();
        if (hub && hub->runGeneration == generation)
            work(*hub);
    });
}

void Z12Ara::cancelFetch(const UrlPtr& record)
{
    if (transport && record)
        transport->cancelFetch(record);
}

bool Z12Ara::removeFromInProgress(const UrlPtr& record) { return record && inProgressArray.removeOne(record); }

void Z12Ara::threadHasFinished(const UrlPtr& record)
{
    if (stopPressedFlag.load()) {
        logLine(1, QStringLiteral("threadHasFinished after stopPressed!!"));
        return;
    }
    // Only a record still in flight frees a slot: a late report of a fetch that was given up,
    // or cancelled by a pause, must not free the slot of another.
    if (removeFromInProgress(record))
        numberOfThreadsDetached = std::max<qint64>(numberOfThreadsDetached - 1, 0);
    getNextUrlToCrawl(record);
    updateStatusField();
    if (record && record->isStartingPoint() && diagnostic)
        diagnostic->updateDiagnosticIfVisible();
}

void Z12Ara::refreshAfter(const UrlPtr& record, std::chrono::seconds delay)
{
    if (stopPressedFlag.load() || !record || !removeFromInProgress(record))
        return; // a late report: the pause queued the record again, or it was given up
    numberOfThreadsDetached = std::max<qint64>(numberOfThreadsDetached - 1, 0);
    refreshWaits.append(record);
    afterInThisRun(delay, [record](Z12Ara& hub) {
        if (!hub.refreshWaits.removeOne(record))
            return;
        if (record->getStatus() == CrwlStatus::refreshHeader) {
            record->setStatus(CrwlStatus::notYetChecked);
            hub.addToCheckQueue(record);
        }
        hub.getNextUrlToCrawl(nullptr);
    });
    getNextUrlToCrawl(record);
    updateStatusField();
}

double Z12Ara::secondsInFlight(const CrwlUrl& record, const QDateTime& now) const
{
    const QDateTime& sent = record.getTimestamp();
    if (!sent.isValid())
        return 0.0;
    return static_cast<double>(sent.msecsTo(now)) / 1000.0;
}

bool Z12Ara::isFinished()
{
    if (crawlFinishedFlag)
        return true;
    logLine(2,
        QStringLiteral("isFinished - checkQueue:%1, inProgress:%2")
            .arg(checkQueue.count())
            .arg(inProgressArray.size()));
    if (checkQueue.count() > 0 || hostLookups.hasReady())
        return false;
    // Records whose host is still being looked up, or whose host's robots.txt is still being
    // read, come back when the answer arrives.
    // So do records waiting for a Refresh header's delay.
    const bool lookupsPending
        = hostLookups.waitingCount() > 0 || recordsWaitingForRobots() > 0 || !refreshWaits.isEmpty();
    if (inProgressArray.isEmpty()) {
        if (lookupsPending)
            return false;
        finish();
        return true;
    }

    const double timeout = requestTimeoutSeconds();
    qint64 givenUp = 0;
    const qint64 stillWaiting = giveUpOverdueFetches(clock->now(), givenUp);
    if (stillWaiting > 0) {
        if (!poppedCrawlmereTimeout) {
            poppedCrawlmereTimeout = true;
            // At least a second between runs, so a time-out of 0 cannot spin the main thread.
            const auto wait = std::clamp(
                millisecondsFromSeconds(timeout), std::chrono::milliseconds(1000), kLongestOverdueCheckWait);
            afterInThisRun(wait, [](Z12Ara& hub) {
                // Re-armed by the next run while fetches still wait, so a fetch that never
                // reports back is always given up in the end.
                hub.poppedCrawlmereTimeout = false;
                hub.isFinished();
            });
        }
        return false;
    }
    if (lookupsPending)
        return false;
    finish();
    return true;
}

qint64 Z12Ara::giveUpOverdueFetches(const QDateTime& now, qint64& givenUpCount)
{
    const double limit = requestTimeoutSeconds() + kGiveUpGraceSeconds;
    qint64 stillWaiting = 0;
    QList<UrlPtr> givenUp;
    for (const UrlPtr& record : std::as_const(inProgressArray)) {
        const double seconds = secondsInFlight(*record, now);
        if (seconds > limit) {
            logLine(0,
                QStringLiteral("isFinished: %1 has taken %2 so timing out.")
                    .arg(record->absoluteString(), QString::number(seconds, 'f', 2)));
            givenUp.append(record);
        } else {
            ++stillWaiting;
        }
    }
    for (const UrlPtr& record : std::as_const(givenUp)) {
        // The transfer is cancelled so it never reports back, and its slot is freed.
        inProgressArray.removeOne(record);
        numberOfThreadsDetached = std::max<qint64>(numberOfThreadsDetached - 1, 0);
        cancelFetch(record);
        record->setStatus(CrwlStatus::unknownError);
        incNumberDone(record);
    }
    givenUpCount += givenUp.size();
    return stillWaiting;
}

void Z12Ara::armGiveUpTimer()
{
    if (giveUpTimerArmed || inProgressArray.isEmpty())
        return;
    const QDateTime now = clock->now();
    const qint64 limitMs = static_cast<qint64>((requestTimeoutSeconds() + kGiveUpGraceSeconds) * 1000.0);
    // The earliest deadline of a fetch under way; one still waiting for its delay has none yet
    // and is looked at again a whole limit later.
    qint64 wait = limitMs;
    for (const UrlPtr& record : std::as_const(inProgressArray)) {
        const QDateTime& sent = record->getTimestamp();
        if (sent.isValid())
            wait = std::min(wait, now.msecsTo(sent) + limitMs);
    }
    // Just past the deadline, since a fetch is given up only once it is over it.
    wait = std::max<qint64>(wait + 1, 1);
    giveUpTimerArmed = true;
    afterInThisRun(std::chrono::milliseconds(wait), [](Z12Ara& hub) {
        hub.giveUpTimerArmed = false;
        qint64 givenUp = 0;
        hub.giveUpOverdueFetches(hub.clock->now(), givenUp);
        if (givenUp > 0)
            hub.getNextUrlToCrawl(nullptr);
        hub.armGiveUpTimer();
    });
}

void Z12Ara::finish()
{
    if (configManager)
        configManager->setTimeStampForCurrentSite();
    crawlFinishedFlag = true;
    logLine(1, QStringLiteral("isFinished - sending notification"));
    post(CrwlCrawlDidFinish);
    if (settingBool(crawlSettings, crawlKey::shouldArchive))
        afterInThisRun(std::chrono::milliseconds(0), [](Z12Ara& hub) { hub.saveArchive(); });
}

void Z12Ara::saveArchive()
{
    if (archiveSink && !archiveSink->saveArchive())
        logLine(1, QStringLiteral("unable to write the archive index"));
    post(CrwlDidSaveArchiveIndex);
}

QString Z12Ara::archiveLocation() const { return archiveSink ? archiveSink->archiveLocation() : QString(); }

void Z12Ara::archivePage(const UrlPtr& record)
{
    if (!archiveSink || !record)
        return;
    // A redirect's body belongs to its final address, which is archived as a page of its own.
    if (crawlmere::engine::detail::isOnlyARedirect(*record))
        archiveSink->archiveRedirect(*record);
    else
        archiveSink->archivePage(*record);
}

qint64 Z12Ara::requestsPerMinute() const
{
    if (!settingBool(crawlSettings, crawlKey::limitRPM))
        return 0;
    return crawlmere::engine::settingIntegerInRange(crawlSettings, crawlKey::maxRPM);
}

qint64 Z12Ara::requestIntervalMs() const
{
    const qint64 perMinute = requestsPerMinute();
    return perMinute > 0 ? (kRateWindowMs + perMinute - 1) / perMinute : 0;
}

qint64 Z12Ara::requestSlotsLeftThisMinute(const QDateTime& now)
{
    const qint64 perMinute = requestsPerMinute();
    if (perMinute == 0)
        return -1;
    const QDateTime windowStart = now.addMSecs(-kRateWindowMs);
    std::erase_if(recentStarts, [&](const QDateTime& start) { return start <= windowStart; });
    const qint64 used = static_cast<qint64>(recentStarts.size());
    return std::max<qint64>(perMinute - used, 0);
}

void Z12Ara::schedulePumpWhenRateAllows(const QDateTime& now)
{
    if (ratePumpScheduled || recentStarts.empty())
        return;
    const QDateTime oldest = *std::min_element(recentStarts.begin(), recentStarts.end());
    const qint64 wait = std::max<qint64>(now.msecsTo(oldest.addMSecs(kRateWindowMs)) + 1, 1);
    ratePumpScheduled = true;
    logLine(2, QStringLiteral("request rate reached; next request in %1 ms").arg(wait));
    afterInThisRun(std::chrono::milliseconds(wait), [](Z12Ara& hub) {
        hub.ratePumpScheduled = false;
        hub.getNextUrlToCrawl(nullptr);
    });
}

void Z12Ara::updateStatusField() const
{
    logLine(4,
        QStringLiteral("%1:%2 %3:%4 %5:%6 %7:%8")
            .arg(QStringLiteral("coll"), QString::number(collection.size()), QStringLiteral("queue"),
                QString::number(checkQueue.count()), QStringLiteral("threads"),
                QString::number(numberOfThreadsDetached), QStringLiteral("bad"), QString::number(badCollectionCount)));
}
