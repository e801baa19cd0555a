// The spelling recount on one worker thread whose queue it shares with the main thread under a lock.
#include "reports/ThreadedSpellingCountUpdator.h"

#include "engine/CrwlUrl.h"
#include "parsing/CrwlParser.h"
#include "platform/Dispatch.h"
#include "platform/TextEncoding.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace crawlmere::reports {

namespace {

/// One queued page with what the worker may read of it, copied on the main thread.
struct Entry {
    std::shared_ptr<CrwlUrl> page;
    QByteArray body;
    QString url;
};

} // namespace

struct ThreadedSpellingCountUpdator::State {
    Services services;
    mutable std::mutex lock;
    std::condition_variable wake; ///< work, a handled end of run, or quitting
    std::condition_variable exited;
    std::map<QString, Entry> collection;
    std::vector<std::shared_ptr<CrwlUrl>> retired; ///< counted pages, released on the main thread
    bool running = false;
    bool startRequested = false;
    bool threadStarted = false;
    bool threadExited = false;
    bool delivered = false;
    bool quit = false;
    bool closed = false; ///< main thread only: the updator is gone, callbacks are off
    qint64 queuedInRun = 0;
    qint64 doneInRun = 0;
    std::chrono::steady_clock::time_point lastProgress;
};

namespace {

using State = ThreadedSpellingCountUpdator::State;

void recount(const Entry& entry, platform::SpellChecker* checker)
{
    if (entry.page->getSpellingCount() <= 0)
        return;
    std::unique_ptr<CrwlParser> parser;
    if (!entry.body.isEmpty()) {
        CrwlParser::Options options;
        options.useEncoding = platform::Encoding::UTF8;
        options.fileType = CrwlParser::HTML;
        options.allowNoLinks = true; // a page of text alone still has its words
        parser = CrwlParser::initWithData(entry.body, options);
    } else {
        parser = CrwlParser::initWithUrl(entry.url, /*allowNoLinks=*/true);
    }
    qint64 count = 0;
    if (parser) {
        if (checker)
            parser->setSpellChecker(checker);
        count = static_cast<qint32>(parser->getSpellingCount());
    }
    entry.page->setSpellingCount(count);
}

/// Main thread: drops the counted pages the worker handed back.
void releaseRetired(const std::shared_ptr<State>& state)
{
    std::vector<std::shared_ptr<CrwlUrl>> pages;
    {
        std::lock_guard guard(state->lock);
        pages.swap(state->retired);
    }
}

/// Worker, lock held: posts the progress line when the last update is old enough.
void postProgress(const std::shared_ptr<State>& state)
{
    const auto now = std::chrono::steady_clock::now();
    if (now - state->lastProgress < std::chrono::milliseconds(ThreadedSpellingCountUpdator::kProgressIntervalMs))
        return;
    state->lastProgress = now;
    const float proportion = state->queuedInRun > 0
        ? static_cast<float>(static_cast<double>(state->doneInRun) / static_cast<double>(state->queuedInRun))
        : 0.0F;
    platform::Dispatch::toMain([state, proportion] {
        releaseRetired(state);
        if (!state->closed && state->services.setProportion)
            state->services.setProportion(proportion);
    });
}

/// Worker, lock held on entry and exit: counts until the queue is empty (then `running` is
/// cleared in the same step) or the updator quits.
void runOnce(const std::shared_ptr<State>& state, std::unique_lock<std::mutex>& lock)
{
    while (!state->quit) {
        if (state->collection.empty()) {
            state->running = false;
            state->queuedInRun = 0;
            state->doneInRun = 0;
            return;
        }
        std::vector<QString> keys;
        keys.reserve(state->collection.size());
        for (const auto& [key, entry] : state->collection)
            keys.push_back(key);
        for (const QString& key : keys) {
            if (state->quit)
                return;
            const auto it = state->collection.find(key);
            if (it == state->collection.end())
                continue;
            const Entry entry = it->second;
            lock.unlock();
            recount(entry, state->services.spellChecker);
            lock.lock();
            state->collection.erase(key);
            state->retired.push_back(entry.page);
            ++state->doneInRun;
            postProgress(state);
        }
    }
}

void workerMain(const std::shared_ptr<State>& state)
{
    std::unique_lock lock(state->lock);
    for (;;) {
        state->wake.wait(lock, [&] { return state->startRequested || state->quit; });
        if (state->quit)
            break;
        state->startRequested = false;
        runOnce(state, lock);
        if (state->quit)
            break;
        // The end of the run goes to the main thread without the lock: `addPages` takes it there.
        state->delivered = false;
        lock.unlock();
        platform::Dispatch::toMain([state] {
            releaseRetired(state);
            if (!state->closed) {
                if (state->services.setProportion)
                    state->services.setProportion(0.0F);
                if (state->services.runnerDidFinish)
                    state->services.runnerDidFinish();
            }
            std::lock_guard guard(state->lock);
            state->delivered = true;
            state->wake.notify_all();
        });
        lock.lock();
        state->wake.wait(lock, [&] { return state->delivered || state->quit; });
        if (state->quit)
            break;
    }
    state->threadExited = true;
    state->exited.notify_all();
}

} // namespace

ThreadedSpellingCountUpdator::ThreadedSpellingCountUpdator(Services services)
    : m_state(std::make_shared<State>())
{
    m_state->services = std::move(services);
}

ThreadedSpellingCountUpdator::~ThreadedSpellingCountUpdator()
{
    std::map<QString, Entry> dropped;
    std::vector<std::shared_ptr<CrwlUrl>> retired;
    std::unique_lock lock(m_state->lock);
    m_state->quit = true;
    m_state->closed = true;
    dropped.swap(m_state->collection);
    retired.swap(m_state->retired);
    m_state->wake.notify_all();
    if (m_state->threadStarted)
        m_state->exited.wait_for(lock, std::chrono::milliseconds(kStopWaitMs), [&] { return m_state->threadExited; });
}

void ThreadedSpellingCountUpdator::addPages(const QList<std::shared_ptr<CrwlUrl>>& pages)
{
    // Body and URL are read here, on the main thread, before the lock: the worker reads only the copies.
    std::vector<Entry> entries;
    entries.reserve(static_cast<size_t>(pages.size()));
    for (const auto& page : pages) {
        if (page)
            entries.push_back(Entry { page, page->getData(), page->absoluteString() });
    }
    bool startThread = false;
    {
        std::lock_guard guard(m_state->lock);
        for (auto& entry : entries) {
            const QString key = entry.url;
            if (m_state->collection.emplace(key, std::move(entry)).second)
                ++m_state->queuedInRun;
        }
        if (!m_state->running) {
            m_state->running = true;
            m_state->startRequested = true;
            m_state->wake.notify_all();
            startThread = !m_state->threadStarted;
            m_state->threadStarted = true;
        }
    }
    if (startThread)
        std::thread(workerMain, m_state).detach();
}

bool ThreadedSpellingCountUpdator::running() const
{
    std::lock_guard guard(m_state->lock);
    return m_state->running;
}

qsizetype ThreadedSpellingCountUpdator::queuedCount() const
{
    std::lock_guard guard(m_state->lock);
    return static_cast<qsizetype>(m_state->collection.size());
}

} // namespace crawlmere::reports
