// Link occurrences made side by side in large chunks that share one block of counts, for the
// millions a large scan makes, numbered in the order made and read back in that order.
#pragma once

#include "engine/detail/OccurrenceReader.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

class CrwlLinkInstance;

namespace crawlmere::engine::detail {

/// Makes a scan's link occurrences in chunks of `kChunkSlots`: they lie side by side and share
/// one block of shared counts, so an occurrence costs its own bytes and no allocation or count
/// of its own. Each is handed out as a `std::shared_ptr` that keeps every occurrence the arena
/// made alive: they go together when the arena has let go of them (`clear`, or its end) and the
/// last of them is let go, so an occurrence taken out of its lists keeps its place until then.
///
/// Each occurrence has a place, its number in the order made, so that the lists holding them
/// (`OccurrenceList`) need four bytes an entry: `Storage` is what those lists hold of the
/// arena, and turns a place into the occurrence and back.
///
/// The arena is also the hub's list of a scan's occurrences: read as a list, it answers those
/// made since `clear` in the order made, but for those taken out (`takeOutIf`), without an
/// entry of its own for each while none is taken out.
///
/// Threads: one thread at a time makes occurrences and works the list (the hub's main thread);
/// the occurrences may be let go, and `Storage::at` read, on any.
class OccurrenceArena {
public:
    static constexpr int kChunkSlots = 1024;
    /// Places run below this.
    static constexpr std::uint32_t kMaxPlaces = std::uint32_t(1) << 31;
    using Ptr = std::shared_ptr<CrwlLinkInstance>;
    using const_iterator = OccurrenceReader<OccurrenceArena>;
    using iterator = const_iterator;
    using value_type = Ptr;
    using size_type = std::size_t;

    /// The occurrences an arena made, by place; outlives the arena while any is held.
    class Storage {
    public:
        /// The storage `occurrence` was made in; null for one made alone (or null).
        static const Storage* of(const Ptr& occurrence);
        /// The occurrence at `place` (made here). Any thread.
        CrwlLinkInstance* at(std::uint32_t place) const;
        /// The place of `occurrence`, made here. The making thread only.
        std::uint32_t placeOf(const CrwlLinkInstance* occurrence) const;

    private:
        friend class OccurrenceArena;
        struct Chunks;
        Storage();
        ~Storage();
        std::unique_ptr<Chunks> chunks;
    };

    OccurrenceArena();
    ~OccurrenceArena();
    OccurrenceArena(OccurrenceArena&&) noexcept;
    OccurrenceArena& operator=(OccurrenceArena&&) noexcept;

    /// A new occurrence as `CrwlLinkInstance()` makes it, at the end of the list.
    Ptr make();
    /// Lets go of the occurrences made so far and empties the list; the next one starts a new
    /// set.
    void clear();

    // ===== The list ===========================================================================

    std::size_t size() const;
    bool empty() const { return size() == 0; }
    Ptr operator[](std::size_t index) const { return shareAt(index); }
    Ptr shareAt(std::size_t index) const;
    Ptr front() const { return shareAt(0); }
    const_iterator begin() const { return { this, 0 }; }
    const_iterator end() const { return { this, size() }; }
    /// Takes out of the list every occurrence for which `test` says YES; they live on as long
    /// as before.
    void takeOutIf(const std::function<bool(const CrwlLinkInstance*)>& test);

private:
    struct StorageOwner;
    std::shared_ptr<Storage> storage;
};

} // namespace crawlmere::engine::detail
