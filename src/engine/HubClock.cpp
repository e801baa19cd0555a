// The real clock of the crawl coordinator: system time and the main queue's delayed blocks.
#include "engine/HubClock.h"

#include "platform/Dispatch.h"

HubClock::~HubClock() = default;

// In UTC: the local form asks the time zone database on every call, and every user compares or
// converts the time explicitly.
QDateTime DispatchClock::now() const { return QDateTime::currentDateTimeUtc(); }

void DispatchClock::after(std::chrono::milliseconds delay, std::function<void()> work)
{
    if (delay.count() <= 0)
        crawlmere::platform::Dispatch::toMain(std::move(work));
    else
        crawlmere::platform::Dispatch::toMainAfter(delay, std::move(work));
}
