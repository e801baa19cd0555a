#include "platform/detail/SerialQueue.h"

#include "platform/Dispatch.h"

#include <QRunnable>
#include <QThreadPool>

#include <atomic>

namespace crawlmere::platform::detail {

namespace {
    thread_local const SerialQueue* t_currentQueue = nullptr;
    /// Main-thread queues whose drain is queued or running.
    std::atomic<int> g_mainThreadDrains { 0 };
}

/// One turn of a main-thread queue on the event loop. A turn the loop drops unrun (the
/// application ending) drops the waiting tasks instead: they hold their sessions, which hold
/// the queue, and would otherwise keep each other alive.
struct SerialQueue::MainThreadTurn {
    explicit MainThreadTurn(std::shared_ptr<SerialQueue> q)
        : queue(std::move(q))
    {
        ++g_mainThreadDrains;
    }
    MainThreadTurn(const MainThreadTurn&) = delete;
    MainThreadTurn& operator=(const MainThreadTurn&) = delete;
    ~MainThreadTurn()
    {
        if (!ran)
            queue->discard();
        --g_mainThreadDrains;
    }
    void run()
    {
        ran = true;
        queue->drain();
    }

    std::shared_ptr<SerialQueue> queue;
    bool ran = false;
};

bool SerialQueue::mainThreadQueuesIdle() { return g_mainThreadDrains.load() == 0; }

QThreadPool* sessionCallbackPool()
{
    // Callbacks may block on the main thread (the hand-overs of a finished fetch), so allow
    // many workers; idle ones expire.
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;
        p->setMaxThreadCount(64);
        p->setExpiryTimeout(10000);
        return p;
    }();
    return pool;
}

std::shared_ptr<SerialQueue> SerialQueue::create(QThreadPool* pool)
{
    return std::shared_ptr<SerialQueue>(new SerialQueue(pool));
}

std::shared_ptr<SerialQueue> SerialQueue::createOnMainThread()
{
    return std::shared_ptr<SerialQueue>(new SerialQueue(nullptr));
}

void SerialQueue::enqueue(std::function<void()> task)
{
    bool startDrain = false;
    {
        std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
        if (!m_draining) {
            m_draining = true;
            startDrain = true;
        }
    }
    if (startDrain) {
        std::shared_ptr<SerialQueue> self = shared_from_this();
        if (m_pool)
            m_pool->start(QRunnable::create([self] { self->drain(); }));
        else {
            auto turn = std::make_shared<MainThreadTurn>(std::move(self));
            Dispatch::toMain([turn] { turn->run(); });
        }
    }
}

void SerialQueue::discard()
{
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(m_mutex);
        dropped.swap(m_tasks);
        m_draining = false;
    }
}

bool SerialQueue::isCurrent() const { return t_currentQueue == this; }

void SerialQueue::drain()
{
    const SerialQueue* previous = t_currentQueue;
    t_currentQueue = this;
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard lock(m_mutex);
            if (m_tasks.empty()) {
                m_draining = false;
                break;
            }
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        task();
    }
    t_currentQueue = previous;
}

} // namespace crawlmere::platform::detail
