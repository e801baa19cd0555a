// Ctrl-C (SIGINT) turned into a call on the main thread's event loop.
#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace crawlmere::app {

/// While it lives, SIGINT no longer ends the process: the signal handler only writes a byte to a
/// pipe, and the main thread's event loop calls `onInterrupt` when it reads it. A second SIGINT
/// before the watcher is gone ends the process at once with status 130 (for a finishing step
/// that takes too long). One watcher at a time; the previous handler comes back when it goes.
class InterruptWatcher {
public:
    explicit InterruptWatcher(std::function<void()> onInterrupt);
    ~InterruptWatcher();
    InterruptWatcher(const InterruptWatcher&) = delete;
    InterruptWatcher& operator=(const InterruptWatcher&) = delete;

    /// False when the pipe or the handler could not be set up (Ctrl-C then ends the process as
    /// usual).
    bool isActive() const { return m_active; }
    /// True once SIGINT has come while the watcher lives, whether or not the event loop has
    /// read it yet.
    bool wasInterrupted() const;

private:
    void readPipe();

    std::function<void()> m_onInterrupt;
    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_active = false;
};

} // namespace crawlmere::app
