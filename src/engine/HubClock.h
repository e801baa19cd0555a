// The time source and delayed main-thread calls of the crawl coordinator, so that its pump and
// watchdog run on real time in the application and on a virtual clock in tests.
#pragma once

#include <QDateTime>

#include <chrono>
#include <functional>

/// Now, and work run on the main thread later. Main thread only.
class HubClock {
public:
    virtual ~HubClock();

    /// The current time.
    virtual QDateTime now() const = 0;
    /// Runs `work` on the main thread once `delay` has passed (a delay of 0 runs it after the
    /// current event).
    virtual void after(std::chrono::milliseconds delay, std::function<void()> work) = 0;

protected:
    HubClock() = default;
};

/// The real clock: the system time and the main queue's delayed blocks.
class DispatchClock final : public HubClock {
public:
    QDateTime now() const override;
    void after(std::chrono::milliseconds delay, std::function<void()> work) override;
};
