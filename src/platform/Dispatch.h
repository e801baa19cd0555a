// The main queue, global queues and delayed blocks, over Qt's event loop and thread pool.
#pragma once

#include <chrono>
#include <functional>

namespace crawlmere::platform::Dispatch {

/// Queues `work` to run on the main thread's event loop. Safe from any thread. Needs a
/// QCoreApplication; work queued after it is gone never runs.
void toMain(std::function<void()> work);

/// Runs `work` on the main thread after `delay`. Safe from any thread.
void toMainAfter(std::chrono::milliseconds delay, std::function<void()> work);

/// Runs `work` on the main thread and waits until it has finished. On the main thread it is a
/// direct call. The caller must not hold anything the main thread may be waiting for.
void mainSync(std::function<void()> work);

/// Runs `work` on a worker of the global thread pool.
void toGlobal(std::function<void()> work);

bool isMainThread();

/// Processes main-thread events until `condition` holds or `timeout` passes; returns whether the
/// condition held. For tests and synchronous waits on the main thread only.
bool runUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

/// Processes main-thread events for `duration`.
void runFor(std::chrono::milliseconds duration);

} // namespace crawlmere::platform::Dispatch
