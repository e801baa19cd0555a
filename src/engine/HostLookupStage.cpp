#include "engine/HostLookupStage.h"

#include "engine/CrwlUrl.h"
#include "engine/FetchTransport.h"
#include "engine/HubClock.h"

#include <QDateTime>

#include <algorithm>
#include <deque>
#include <unordered_map>

using crawlmere::platform::UrlErrorCode;

struct HostLookupStage::State : std::enable_shared_from_this<State> {
    enum class Phase {
        Queued,
        Running,
        Found,
        Failed,
    };
    /// A record held for its host, with its place in the order records came.
    struct Held {
        quint64 order = 0;
        UrlPtr record;
    };
    struct Host {
        Phase phase = Phase::Queued;
        std::vector<Held> waiting;
        Error error;
    };

    explicit State(Hooks value)
        : hooks(std::move(value))
    {
    }

    void startLookups();
    void answer(quint64 scan, const QString& host, std::optional<Error> error);
    /// Arms the one timer that fails lookups running past the time-out, for the earliest.
    void armTimeout();
    void timeoutFired(quint64 firedScan);

    Hooks hooks;
    /// The services of the latest admission, for the lookups started when another answers.
    Services services;

    /// Bumped by `clear`, so answers of an earlier scan are ignored.
    quint64 scan = 0;
    quint64 nextOrder = 0;
    std::unordered_map<QString, Host> hosts;
    std::deque<QString> toLookUp;
    int running = 0;
    std::deque<UrlPtr> ready;
    qint64 held = 0;
    /// Lookups in the order they started, with when; answered ones leave from the front.
    std::deque<std::pair<QString, QDateTime>> runningSince;
    bool timeoutArmed = false;
};

void HostLookupStage::State::startLookups()
{
    while (running < kLookupsAtOnce && !toLookUp.empty() && services.transport) {
        const QString host = toLookUp.front();
        toLookUp.pop_front();
        const auto found = hosts.find(host);
        if (found == hosts.end() || found->second.phase != Phase::Queued)
            continue;
        found->second.phase = Phase::Running;
        ++running;
        const std::weak_ptr<State> weak = weak_from_this();
        const quint64 thisScan = scan;
        if (services.clock) {
            runningSince.emplace_back(host, services.clock->now());
            armTimeout();
        }
        services.transport->lookUpHost(host, [weak, thisScan, host](std::optional<Error> error) {
            if (const auto state = weak.lock())
                state->answer(thisScan, host, std::move(error));
        });
    }
}

void HostLookupStage::State::answer(quint64 answeredScan, const QString& host, std::optional<Error> error)
{
    if (answeredScan != scan)
        return;
    const auto found = hosts.find(host);
    if (found == hosts.end() || found->second.phase != Phase::Running)
        return; // already answered, or timed out
    --running;
    Host& entry = found->second;
    std::vector<Held> waiting = std::move(entry.waiting);
    entry.waiting = {};
    held -= static_cast<qint64>(waiting.size());
    if (error) {
        entry.phase = Phase::Failed;
        entry.error = *error;
    } else {
        entry.phase = Phase::Found;
        for (Held& each : waiting)
            ready.push_back(std::move(each.record));
    }
    startLookups();

    // The hooks may pause or clear the scan; each step asks again whether it still stands.
    const auto keep = shared_from_this();
    if (error) {
        for (const Held& each : waiting) {
            if (scan != answeredScan)
                return;
            if (hooks.failed)
                hooks.failed(each.record, *error);
        }
    }
    if (scan == answeredScan && hooks.answered)
        hooks.answered();
}

void HostLookupStage::State::armTimeout()
{
    const auto stillRunning = [this](const QString& host) {
        const auto found = hosts.find(host);
        return found != hosts.end() && found->second.phase == Phase::Running;
    };
    while (!runningSince.empty() && !stillRunning(runningSince.front().first))
        runningSince.pop_front();
    if (timeoutArmed || runningSince.empty() || !services.clock)
        return;
    // Every lookup has the same time-out, so the oldest is the first due.
    const qint64 due = services.clock->now().msecsTo(runningSince.front().second) + services.timeout.count();
    timeoutArmed = true;
    const std::weak_ptr<State> weak = weak_from_this();
    const quint64 thisScan = scan;
    services.clock->after(std::chrono::milliseconds(std::max<qint64>(due, 0)), [weak, thisScan] {
        if (const auto state = weak.lock())
            state->timeoutFired(thisScan);
    });
}

void HostLookupStage::State::timeoutFired(quint64 firedScan)
{
    if (firedScan != scan)
        return;
    timeoutArmed = false;
    const QDateTime now = services.clock->now();
    std::vector<QString> overdue;
    for (const auto& [host, since] : runningSince) {
        if (since.msecsTo(now) < services.timeout.count())
            break;
        overdue.push_back(host);
    }
    // Each answer may run the owner's pump, which may start lookups and arm the timer again.
    for (const QString& host : overdue) {
        if (firedScan != scan)
            return;
        answer(firedScan, host, Error::make(UrlErrorCode::TimedOut));
    }
    if (firedScan == scan)
        armTimeout();
}

HostLookupStage::HostLookupStage(Hooks hooks)
    : d(std::make_shared<State>(std::move(hooks)))
{
}

HostLookupStage::~HostLookupStage() = default;

HostLookupStage::Admission HostLookupStage::admit(const UrlPtr& record, const Services& services, Error& failure)
{
    if (!record || !services.transport)
        return Admission::Fetch;
    QString host = services.transport->hostToLookUp(*record);
    if (host.isEmpty())
        return Admission::Fetch;
    auto [found, added] = d->hosts.try_emplace(std::move(host));
    State::Host& entry = found->second;
    if (added)
        d->toLookUp.push_back(found->first);
    switch (entry.phase) {
    case State::Phase::Found:
        return Admission::Fetch;
    case State::Phase::Failed:
        failure = entry.error;
        return Admission::Failed;
    case State::Phase::Queued:
    case State::Phase::Running:
        break;
    }
    entry.waiting.push_back({ d->nextOrder++, record });
    ++d->held;
    d->services = services;
    d->startLookups();
    return Admission::Held;
}

HostLookupStage::UrlPtr HostLookupStage::takeReady()
{
    if (d->ready.empty())
        return nullptr;
    UrlPtr next = std::move(d->ready.front());
    d->ready.pop_front();
    return next;
}

bool HostLookupStage::hasReady() const { return !d->ready.empty(); }

qint64 HostLookupStage::waitingCount() const { return d->held + static_cast<qint64>(d->ready.size()); }

bool HostLookupStage::holds(const CrwlUrl& record) const
{
    const auto same = [&record](const UrlPtr& other) { return other.get() == &record; };
    if (std::any_of(d->ready.begin(), d->ready.end(), same))
        return true;
    if (d->held == 0)
        return false;
    for (const auto& [host, entry] : d->hosts) {
        if (std::any_of(entry.waiting.begin(), entry.waiting.end(),
                [&](const State::Held& each) { return each.record.get() == &record; }))
            return true;
    }
    return false;
}

std::vector<HostLookupStage::UrlPtr> HostLookupStage::takeAllWaiting()
{
    std::vector<UrlPtr> records(d->ready.begin(), d->ready.end());
    d->ready.clear();
    std::vector<State::Held> held;
    for (auto& [host, entry] : d->hosts) {
        std::move(entry.waiting.begin(), entry.waiting.end(), std::back_inserter(held));
        entry.waiting = {};
    }
    d->held = 0;
    std::sort(held.begin(), held.end(), [](const State::Held& a, const State::Held& b) { return a.order < b.order; });
    for (State::Held& each : held)
        records.push_back(std::move(each.record));
    return records;
}

void HostLookupStage::clear()
{
    ++d->scan;
    d->hosts.clear();
    d->toLookUp.clear();
    d->running = 0;
    d->ready.clear();
    d->held = 0;
    d->nextOrder = 0;
    d->runningSince.clear();
    d->timeoutArmed = false;
}
