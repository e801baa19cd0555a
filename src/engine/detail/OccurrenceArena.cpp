// Chunks of link occurrences sharing one block of counts, their places and their order.
#include "engine/detail/OccurrenceArena.h"

#include "engine/CrwlLinkInstance.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <new>
#include <optional>
#include <utility>
#include <vector>

namespace crawlmere::engine::detail {

namespace {

constexpr std::uint32_t kChunkSlots = OccurrenceArena::kChunkSlots;
constexpr std::size_t kChunkBytes = std::size_t(kChunkSlots) * sizeof(CrwlLinkInstance);
// Chunk numbers are looked up in pages of this many, so that a reader never meets a table
// being moved.
constexpr std::uint32_t kPageBits = 10;
constexpr std::uint32_t kPageChunks = std::uint32_t(1) << kPageBits;
constexpr std::size_t kPages = OccurrenceArena::kMaxPlaces / kChunkSlots / kPageChunks;

struct Chunk {
    Chunk() = default;
    Chunk(const Chunk&) = delete;
    Chunk& operator=(const Chunk&) = delete;
    ~Chunk()
    {
        for (int i = made - 1; i >= 0; --i)
            at(std::uint32_t(i))->~CrwlLinkInstance();
    }
    unsigned char* slot(std::uint32_t i) { return storage + std::size_t(i) * sizeof(CrwlLinkInstance); }
    CrwlLinkInstance* at(std::uint32_t i) { return std::launder(reinterpret_cast<CrwlLinkInstance*>(slot(i))); }
    std::uintptr_t start() const { return reinterpret_cast<std::uintptr_t>(storage); }

    alignas(CrwlLinkInstance) unsigned char storage[kChunkBytes];
    int made = 0;
};

} // namespace

struct OccurrenceArena::Storage::Chunks {
    Chunks() = default;
    Chunks(const Chunks&) = delete;
    Chunks& operator=(const Chunks&) = delete;
    ~Chunks()
    {
        for (std::uint32_t number = 0; number < count; ++number)
            delete chunk(number);
        for (auto& page : pages)
            delete[] page.load(std::memory_order_relaxed);
    }

    Chunk* chunk(std::uint32_t number) const
    {
        return pages[number >> kPageBits].load(std::memory_order_acquire)[number & (kPageChunks - 1)].load(
            std::memory_order_acquire);
    }
    /// A new chunk at the end.
    Chunk& add()
    {
        auto& page = pages[count >> kPageBits];
        if (!page.load(std::memory_order_relaxed))
            page.store(new std::atomic<Chunk*>[kPageChunks] {}, std::memory_order_release);
        auto fresh = std::make_unique<Chunk>();
        const auto at = std::upper_bound(byAddress.begin(), byAddress.end(), fresh->start(),
            [](std::uintptr_t address, const std::pair<std::uintptr_t, std::uint32_t>& entry) {
                return address < entry.first;
            });
        byAddress.insert(at, { fresh->start(), count });
        last = fresh.get();
        lastNumber = count;
        page.load(std::memory_order_relaxed)[count & (kPageChunks - 1)].store(fresh.release(), std::memory_order_release);
        ++count;
        return *last;
    }
    std::uint32_t placeOf(const CrwlLinkInstance* occurrence) const
    {
        const auto address = reinterpret_cast<std::uintptr_t>(occurrence);
        // The newest chunk first: lists mostly take occurrences as they are made.
        if (last && address - last->start() < kChunkBytes)
            return lastNumber * kChunkSlots + std::uint32_t((address - last->start()) / sizeof(CrwlLinkInstance));
        const auto after = std::upper_bound(byAddress.begin(), byAddress.end(), address,
            [](std::uintptr_t value, const std::pair<std::uintptr_t, std::uint32_t>& entry) {
                return value < entry.first;
            });
        const auto& [start, number] = *std::prev(after);
        return number * kChunkSlots + std::uint32_t((address - start) / sizeof(CrwlLinkInstance));
    }

    std::array<std::atomic<std::atomic<Chunk*>*>, kPages> pages {};
    std::uint32_t count = 0;
    std::uint32_t made = 0;
    // Each chunk's first address and number, by address.
    std::vector<std::pair<std::uintptr_t, std::uint32_t>> byAddress;
    Chunk* last = nullptr;
    std::uint32_t lastNumber = 0;
    // The places of the occurrences in the list, once one was taken out; until then the list
    // is every occurrence made, in order.
    std::optional<std::vector<std::uint32_t>> order;
};

/// The deleter of an arena's storage, which any occurrence made there names (see
/// `Storage::of`).
struct OccurrenceArena::StorageOwner {
    Storage* storage;
    void operator()(Storage* owned) const { delete owned; }
};

OccurrenceArena::Storage::Storage()
    : chunks(std::make_unique<Chunks>())
{
}

OccurrenceArena::Storage::~Storage() = default;

const OccurrenceArena::Storage* OccurrenceArena::Storage::of(const Ptr& occurrence)
{
    const auto* owner = std::get_deleter<StorageOwner>(occurrence);
    return owner ? owner->storage : nullptr;
}

CrwlLinkInstance* OccurrenceArena::Storage::at(std::uint32_t place) const
{
    return chunks->chunk(place / kChunkSlots)->at(place % kChunkSlots);
}

std::uint32_t OccurrenceArena::Storage::placeOf(const CrwlLinkInstance* occurrence) const
{
    return chunks->placeOf(occurrence);
}

OccurrenceArena::OccurrenceArena() = default;
OccurrenceArena::~OccurrenceArena() = default;
OccurrenceArena::OccurrenceArena(OccurrenceArena&&) noexcept = default;
OccurrenceArena& OccurrenceArena::operator=(OccurrenceArena&&) noexcept = default;

OccurrenceArena::Ptr OccurrenceArena::make()
{
    if (!storage) {
        auto* made = new Storage;
        storage = std::shared_ptr<Storage>(made, StorageOwner { made });
    }
    Storage::Chunks& chunks = *storage->chunks;
    if (chunks.made == kMaxPlaces)
        throw std::bad_alloc();
    Chunk& chunk = chunks.count && chunks.last->made < int(kChunkSlots) ? *chunks.last : chunks.add();
    auto* const occurrence = new (chunk.slot(std::uint32_t(chunk.made))) CrwlLinkInstance();
    ++chunk.made;
    if (chunks.order)
        chunks.order->push_back(chunks.made);
    ++chunks.made;
    // Shares the storage's counts: every occurrence of the arena lives while any is held.
    return Ptr(storage, occurrence);
}

void OccurrenceArena::clear() { storage.reset(); }

std::size_t OccurrenceArena::size() const
{
    if (!storage)
        return 0;
    const Storage::Chunks& chunks = *storage->chunks;
    return chunks.order ? chunks.order->size() : chunks.made;
}

OccurrenceArena::Ptr OccurrenceArena::shareAt(std::size_t index) const
{
    const Storage::Chunks& chunks = *storage->chunks;
    const std::uint32_t place = chunks.order ? (*chunks.order)[index] : std::uint32_t(index);
    return Ptr(storage, storage->at(place));
}

void OccurrenceArena::takeOutIf(const std::function<bool(const CrwlLinkInstance*)>& test)
{
    if (!storage)
        return;
    Storage::Chunks& chunks = *storage->chunks;
    if (!chunks.order) {
        std::vector<std::uint32_t> order;
        order.reserve(chunks.made);
        for (std::uint32_t place = 0; place < chunks.made; ++place)
            order.push_back(place);
        chunks.order = std::move(order);
    }
    std::erase_if(*chunks.order, [&](std::uint32_t place) { return test(storage->at(place)); });
}

} // namespace crawlmere::engine::detail
