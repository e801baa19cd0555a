// A serial queue: tasks run one at a time, in order, on workers of a thread pool or on the
// main thread's event loop.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class QThreadPool;

namespace crawlmere::platform::detail {

/// The pool that runs the callbacks of URL sessions. Apart from the global pool, so that
/// callbacks that wait for the main thread never starve other background work. Never destroyed.
QThreadPool* sessionCallbackPool();

/// Runs tasks in the order they were queued, never two at once, on workers of a pool or on the
/// main thread. Safe to use from any thread; a task may queue further tasks.
class SerialQueue : public std::enable_shared_from_this<SerialQueue> {
public:
    /// Tasks run on workers of `pool`.
    static std::shared_ptr<SerialQueue> create(QThreadPool* pool);
    /// Tasks run on the main thread's event loop (they must not block); tasks queued while
    /// others wait run in the same turn. Needs a QCoreApplication; tasks queued after it is
    /// gone never run.
    static std::shared_ptr<SerialQueue> createOnMainThread();

    void enqueue(std::function<void()> task);
    /// Whether no main-thread queue has tasks waiting for their turn on the event loop. A task
    /// holds its session, which holds its queue, so waiting tasks must run before the end.
    static bool mainThreadQueuesIdle();
    /// True while called from a task of this queue.
    bool isCurrent() const;

private:
    explicit SerialQueue(QThreadPool* pool)
        : m_pool(pool)
    {
    }
    struct MainThreadTurn;
    void drain();
    /// Drops the waiting tasks unrun (a main-thread turn the event loop dropped).
    void discard();

    /// None: the main thread.
    QThreadPool* m_pool;
    mutable std::mutex m_mutex;
    std::deque<std::function<void()>> m_tasks;
    bool m_draining = false;
};

} // namespace crawlmere::platform::detail
