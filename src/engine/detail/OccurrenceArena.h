// Link occurrences made side by side in chunks that share one set of counts, for the millions a
// large scan makes.
#pragma once

#include <memory>

class CrwlLinkInstance;

namespace crawlmere::engine::detail {

/// Makes link occurrences in chunks of `kChunkSlots`: the occurrences of a chunk lie together
/// and share the chunk's one block of shared counts, so an occurrence costs its own bytes and
/// no allocation or count of its own. Each occurrence is handed out as a `std::shared_ptr` that
/// keeps its whole chunk alive; the chunk, and every occurrence in it, goes when the last of
/// them is let go (an occurrence let go early keeps its place until then).
///
/// Threads: `make` and `clear` on one thread at a time (the hub's main thread); the chunks may
/// be let go on any.
class OccurrenceArena {
public:
    static constexpr int kChunkSlots = 64;

    OccurrenceArena();
    ~OccurrenceArena();
    OccurrenceArena(OccurrenceArena&&) noexcept;
    OccurrenceArena& operator=(OccurrenceArena&&) noexcept;

    /// A new occurrence as `CrwlLinkInstance()` makes it.
    std::shared_ptr<CrwlLinkInstance> make();
    /// Lets go of the chunk being filled; the next occurrence starts a new one.
    void clear();

private:
    struct Chunk;
    std::shared_ptr<Chunk> current;
};

} // namespace crawlmere::engine::detail
