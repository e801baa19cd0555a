// Chunks of link occurrences sharing one block of counts.
#include "engine/detail/OccurrenceArena.h"

#include "engine/CrwlLinkInstance.h"

#include <new>

namespace crawlmere::engine::detail {

struct OccurrenceArena::Chunk {
    Chunk() = default;
    Chunk(const Chunk&) = delete;
    Chunk& operator=(const Chunk&) = delete;
    ~Chunk()
    {
        for (int i = made - 1; i >= 0; --i)
            slot(i)->~CrwlLinkInstance();
    }

    CrwlLinkInstance* slot(int i)
    {
        return std::launder(reinterpret_cast<CrwlLinkInstance*>(storage + i * sizeof(CrwlLinkInstance)));
    }

    alignas(CrwlLinkInstance) unsigned char storage[kChunkSlots * sizeof(CrwlLinkInstance)];
    int made = 0;
};

OccurrenceArena::OccurrenceArena() = default;
OccurrenceArena::~OccurrenceArena() = default;
OccurrenceArena::OccurrenceArena(OccurrenceArena&&) noexcept = default;
OccurrenceArena& OccurrenceArena::operator=(OccurrenceArena&&) noexcept = default;

std::shared_ptr<CrwlLinkInstance> OccurrenceArena::make()
{
    if (!current || current->made == kChunkSlots)
        current = std::make_shared<Chunk>();
    auto* const occurrence = new (current->storage + current->made * sizeof(CrwlLinkInstance)) CrwlLinkInstance();
    ++current->made;
    // Shares the chunk's counts: the chunk lives while any of its occurrences is held.
    return std::shared_ptr<CrwlLinkInstance>(current, occurrence);
}

void OccurrenceArena::clear() { current.reset(); }

} // namespace crawlmere::engine::detail
