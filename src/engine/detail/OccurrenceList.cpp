// A record's list of link occurrences by their places in the scan's arena.
#include "engine/detail/OccurrenceList.h"

#include <algorithm>
#include <utility>

namespace crawlmere::engine::detail {

OccurrenceList& OccurrenceList::operator=(const OccurrenceList& other)
{
    if (this != &other) {
        items = other.items;
        runFirst = other.runFirst;
        runLength = other.runLength;
        arena = other.arena;
        loose = other.loose ? std::make_unique<std::vector<Ptr>>(*other.loose) : nullptr;
    }
    return *this;
}

OccurrenceList& OccurrenceList::operator=(OccurrenceList&& other) noexcept
{
    if (this != &other) {
        items = std::move(other.items);
        runFirst = std::exchange(other.runFirst, 0);
        runLength = std::exchange(other.runLength, 0);
        arena = std::move(other.arena);
        loose = std::move(other.loose);
        other.clear();
    }
    return *this;
}

void OccurrenceList::spillRun(size_type more)
{
    if (runLength == 0)
        return;
    items.reserve(runLength + more);
    for (std::uint32_t i = 0; i < runLength; ++i)
        items.push_back(runFirst + i);
    runFirst = 0;
    runLength = 0;
}

CrwlLinkInstance* OccurrenceList::pointerAt(std::uint32_t entry) const
{
    if (entry == kNull)
        return nullptr;
    return isLoose(entry) ? (*loose)[entry & ~kLoose].get() : arena->at(entry);
}

OccurrenceList::Ptr OccurrenceList::shareAt(size_type index) const
{
    const std::uint32_t entry = entryAt(index);
    if (entry == kNull)
        return nullptr;
    if (isLoose(entry))
        return (*loose)[entry & ~kLoose];
    // Shares the arena's counts: what the arena keeps alive, the answer keeps alive.
    return Ptr(arena, arena->at(entry));
}

void OccurrenceList::push_back(const Ptr& occurrence)
{
    if (!occurrence) {
        spillRun(1);
        items.push_back(kNull);
        return;
    }
    if (!arena) {
        if (const auto* storage = OccurrenceArena::Storage::of(occurrence))
            arena = std::shared_ptr<const OccurrenceArena::Storage>(occurrence, storage);
    }
    if (arena && !arena.owner_before(occurrence) && !occurrence.owner_before(arena)) {
        const std::uint32_t place = arena->placeOf(occurrence.get());
        if (items.empty() && (runLength == 0 || runFirst + runLength == place)) {
            if (runLength == 0)
                runFirst = place;
            ++runLength;
            return;
        }
        // Room to grow by a quarter, as the records' lists do.
        spillRun(runLength / 4 + 1);
        items.push_back(place);
        return;
    }
    spillRun(runLength / 4 + 1);
    if (!loose)
        loose = std::make_unique<std::vector<Ptr>>();
    loose->push_back(occurrence);
    items.push_back(kLoose | std::uint32_t(loose->size() - 1));
}

void OccurrenceList::clear()
{
    items = {};
    runFirst = 0;
    runLength = 0;
    arena.reset();
    loose.reset();
}

std::vector<OccurrenceList::Ptr> OccurrenceList::take()
{
    std::vector<Ptr> taken = toVector();
    clear();
    return taken;
}

bool operator==(const OccurrenceList& list, const std::vector<OccurrenceList::Ptr>& other)
{
    return std::equal(list.begin(), list.end(), other.begin(), other.end());
}

} // namespace crawlmere::engine::detail
