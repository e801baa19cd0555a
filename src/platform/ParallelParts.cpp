// Splitting one pass over many items between the machine's cores.
#include "platform/ParallelParts.h"

#include <sched.h>

#include <algorithm>
#include <thread>
#include <vector>

namespace crawlmere::platform {

namespace {

constexpr int kMostParts = 8;

// The cores this process may run on (its affinity mask), else the machine's.
int usableCores()
{
    cpu_set_t mask;
    CPU_ZERO(&mask);
    if (sched_getaffinity(0, sizeof(mask), &mask) == 0 && CPU_COUNT(&mask) > 0)
        return CPU_COUNT(&mask);
    return int(std::max(1u, std::thread::hardware_concurrency()));
}

} // namespace

int partsFor(qsizetype count, qsizetype minPerPart)
{
    static const int cores = usableCores();
    const qsizetype bySize = minPerPart > 0 ? count / minPerPart : count;
    return int(std::clamp<qsizetype>(bySize, 1, std::min(cores, kMostParts)));
}

PartRange partRange(qsizetype count, int parts, int part)
{
    if (parts <= 1)
        return { 0, count };
    // count * part / parts without overflow for any qsizetype count.
    const auto boundary = [count, parts](int at) { return count / parts * at + count % parts * at / parts; };
    return { boundary(part), boundary(part + 1) };
}

void runInParts(qsizetype count, int parts, const std::function<void(int part, qsizetype begin, qsizetype end)>& work)
{
    if (parts <= 1) {
        work(0, 0, count);
        return;
    }
    std::vector<std::jthread> helpers;
    helpers.reserve(size_t(parts - 1));
    for (int part = 1; part < parts; ++part) {
        const PartRange range = partRange(count, parts, part);
        helpers.emplace_back([&work, part, range] { work(part, range.begin, range.end); });
    }
    const PartRange first = partRange(count, parts, 0);
    work(0, first.begin, first.end);
    // The helpers are joined as they go.
}

} // namespace crawlmere::platform
