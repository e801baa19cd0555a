// The spelling recount on one worker thread whose queue it shares with the main thread under a lock.
#pragma once

#include "reports/SpellingCountUpdator.h"

#include <functional>
#include <memory>

namespace crawlmere::platform {
class SpellChecker;
}

namespace crawlmere::reports {

/// Counts the misspelled words of queued pages again on one worker thread of its own (made at the
/// first `addPages`). A page is queued once under its absolute URL; its body and URL are copied on
/// the main thread when it is queued, and the worker touches only its spelling count (atomic). A
/// page counted 0 or less is not parsed; one without a body is fetched from its URL; one that
/// cannot be fetched or parsed gets 0. When the queue is empty the run ends: `runnerDidFinish`
/// then runs on the main thread and the worker waits for it. Destroying the updator (main thread)
/// stops a run between pages; it waits at most `kStopWaitMs` for the page in hand and then leaves
/// the worker to end by itself, so quitting never hangs.
class ThreadedSpellingCountUpdator final : public SpellingCountUpdator {
public:
    struct Services {
        /// The checker the worker's parsers use; null is the process's shared one. Not owned; it
        /// must be safe from any thread and outlive the updator's worker.
        platform::SpellChecker* spellChecker = nullptr;
        /// spellingRunnerDidFinish: told on the main thread at the end of each run.
        std::function<void()> runnerDidFinish;
        /// The status field's progress line (pages done ÷ pages queued in this run), on the main
        /// thread, at most 10 times a second, and 0 at the end of a run.
        std::function<void(float)> setProportion;
    };

    static constexpr int kStopWaitMs = 2000;
    /// Shortest time between two progress updates.
    static constexpr int kProgressIntervalMs = 100;

    explicit ThreadedSpellingCountUpdator(Services services);
    ~ThreadedSpellingCountUpdator() override;
    ThreadedSpellingCountUpdator(const ThreadedSpellingCountUpdator&) = delete;
    ThreadedSpellingCountUpdator& operator=(const ThreadedSpellingCountUpdator&) = delete;

    /// addPages: — main thread. Queues each page whose absolute URL is not queued yet; starts a run
    /// when none is at work (`running` is set first, under the lock). No pages still start a run,
    /// which finds nothing and ends at once.
    void addPages(const QList<std::shared_ptr<CrwlUrl>>& pages) override;

    /// Whether a run is at work (any thread).
    bool running() const;
    /// How many pages wait in the queue (any thread).
    qsizetype queuedCount() const;

    struct State;

private:
    std::shared_ptr<State> m_state;
};

} // namespace crawlmere::reports
