// Waiting in a test until the work queued on the main queue so far has run.
#pragma once

#include "platform/Dispatch.h"

#include <chrono>
#include <memory>

namespace crawlmere::test {

/// Runs the main queue until everything queued on it before this call (with `Dispatch::toMain`,
/// a queued call or a zero-time single shot) has run: a mark queued behind it has run. Answers
/// whether it did within `timeout`. Main thread.
inline bool runQueuedWork(std::chrono::milliseconds timeout = std::chrono::seconds(10))
{
    const auto ran = std::make_shared<bool>(false);
    platform::Dispatch::toMain([ran] { *ran = true; });
    return platform::Dispatch::runUntil([&] { return *ran; }, timeout);
}

} // namespace crawlmere::test
