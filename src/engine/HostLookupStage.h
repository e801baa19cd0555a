// The name lookups of a scan, outside its fetch slots: a record whose host has not been looked
// up waits here while many lookups run at once, each host once per scan; only a record whose
// host was found goes on to take a slot.
#pragma once

#include "platform/NameResolver.h"
#include "platform/UrlError.h"

#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

class CrwlUrl;
class FetchTransport;
class HubClock;

/// Main thread only. The owner hands each record to `admit` before it takes a fetch slot and
/// takes the records whose host was found from `takeReady`.
class HostLookupStage {
public:
    using UrlPtr = std::shared_ptr<CrwlUrl>;
    using Error = crawlmere::platform::UrlError;

    /// Lookups running at once: as many as the machine's name service runs side by side.
    static constexpr int kLookupsAtOnce = crawlmere::platform::NameResolver::kLookupsAtOnce;

    /// What the stage tells its owner, always from a later event of the main thread, never from
    /// inside one of its own calls.
    struct Hooks {
        /// A held record whose host could not be found (or whose lookup ran past the time-out)
        /// ends with `error`.
        std::function<void(const UrlPtr& record, const Error& error)> failed;
        /// A lookup has answered: records may be ready, or the last held ones ended.
        std::function<void()> answered;
    };

    /// What a lookup needs of the scan at the moment it starts.
    struct Services {
        std::shared_ptr<FetchTransport> transport;
        std::shared_ptr<HubClock> clock;
        /// A lookup running longer fails with `TimedOut`, the way the transfer's connection
        /// time-out ended it.
        std::chrono::milliseconds timeout { 30000 };
    };

    enum class Admission {
        /// No lookup needed, or the host is known: the record may take a slot.
        Fetch,
        /// The record waits for its host's lookup, which starts as soon as fewer than
        /// `kLookupsAtOnce` run.
        Held,
        /// The host could not be found in this scan; the record ends with the error given.
        Failed,
    };

    explicit HostLookupStage(Hooks hooks);
    ~HostLookupStage();
    HostLookupStage(const HostLookupStage&) = delete;
    HostLookupStage& operator=(const HostLookupStage&) = delete;

    /// Where `record` goes before a fetch slot. With `Failed`, `failure` holds the error.
    Admission admit(const UrlPtr& record, const Services& services, Error& failure);
    /// The next record whose host was found, in the order the answers came; none when none.
    UrlPtr takeReady();
    bool hasReady() const;
    /// Records held for a lookup or ready for a slot.
    qint64 waitingCount() const;
    /// Whether `record` is held or ready (a linear search).
    bool holds(const CrwlUrl& record) const;
    /// Hands every held and ready record back, in the order they came, for a pause: lookups
    /// under way go on and their answers stand, but end no record.
    std::vector<UrlPtr> takeAllWaiting();
    /// Forgets every host and record for a new scan; answers still to come are ignored.
    void clear();

private:
    struct State;
    std::shared_ptr<State> d;
};
