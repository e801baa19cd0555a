// The real clock of the crawl coordinator: system time and the main queue's delayed blocks.
#include "engine/HubClock.h"

#include "platform/Dispatch.h"

HubClock::~HubClock() = default;

QDateTime DispatchClock::now() const { return QDateTime::currentDateTime(); }

void DispatchClock::after(std::chrono::milliseconds delay, std::function<void()> work)
{
    if (delay.count() <= 0)
        crawlmere::platform::Dispatch::toMain(std::move(work));
    else
        crawlmere::platform::Dispatch::toMainAfter(delay, std::move(work));
}
