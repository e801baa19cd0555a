// The resident memory of a process with every process it started, and a watchdog that acts
// when that passes a cap: a program that drives a browser engine bounds itself and the engine's
// processes so.
#pragma once

#include <QtGlobal>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <sys/types.h>

namespace crawlmere::platform {

class ProcessTreeMemory {
public:
    ProcessTreeMemory() = delete;

    /// `root` and every process below it, as /proc shows them now.
    static std::vector<pid_t> tree(pid_t root);
    /// The resident bytes of `root` and every process below it.
    static qint64 residentBytes(pid_t root);
    /// Kills (SIGKILL) every process below `root`, not `root` itself.
    static void killDescendants(pid_t root);
};

/// Looks at the resident memory of this process and every process below it every `interval`
/// on a thread of its own (so a busy event loop does not delay it); once it passes `cap` bytes,
/// calls `exceeded` with the bytes seen, on that thread, and stops looking.
class MemoryWatchdog {
public:
    MemoryWatchdog(qint64 cap, std::chrono::milliseconds interval, std::function<void(qint64 bytes)> exceeded);
    ~MemoryWatchdog();
    MemoryWatchdog(const MemoryWatchdog&) = delete;
    MemoryWatchdog& operator=(const MemoryWatchdog&) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace crawlmere::platform
