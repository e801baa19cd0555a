// A record's list of link occurrences by their places in the scan's arena.
#include "engine/detail/OccurrenceList.h"

#include <algorithm>

namespace crawlmere::engine::detail {

OccurrenceList& OccurrenceList::operator=(const OccurrenceList& other)
{
    if (this != &other) {
        items = other.items;
        arena = other.arena;
        loose = other.loose ? std::make_unique<std::vector<Ptr>>(*other.loose) : nullptr;
    }
    return *this;
}

CrwlLinkInstance* OccurrenceList::pointerAt(std::uint32_t entry) const
{
    if (entry == kNull)
        return nullptr;
    return isLoose(entry) ? (*loose)[entry & ~kLoose].get() : arena->at(entry);
}

OccurrenceList::Ptr OccurrenceList::shareAt(size_type index) const
{
    const std::uint32_t entry = items[index];
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
        items.push_back(kNull);
        return;
    }
    if (!arena) {
        if (const auto* storage = OccurrenceArena::Storage::of(occurrence))
            arena = std::shared_ptr<const OccurrenceArena::Storage>(occurrence, storage);
    }
    if (arena && !arena.owner_before(occurrence) && !occurrence.owner_before(arena)) {
        items.push_back(arena->placeOf(occurrence.get()));
        return;
    }
    if (!loose)
        loose = std::make_unique<std::vector<Ptr>>();
    loose->push_back(occurrence);
    items.push_back(kLoose | std::uint32_t(loose->size() - 1));
}

void OccurrenceList::clear()
{
    items = {};
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
