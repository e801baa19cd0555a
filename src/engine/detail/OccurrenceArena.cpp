// Chunks of link occurrences sharing one block of counts, and their order.
#include "engine/detail/OccurrenceArena.h"

#include "engine/CrwlLinkInstance.h"

#include <cstdint>
#include <new>
#include <optional>
#include <vector>

namespace crawlmere::engine::detail {

namespace {

struct Chunk {
  Chunk() = default;
  Chunk(const Chunk &) = delete;
  Chunk &operator=(const Chunk &) = delete;
  ~Chunk() {
    for (int i = made - 1; i >= 0; --i)
      at(i)->~CrwlLinkInstance();
  }

  unsigned char *slot(int i) {
    return storage + std::size_t(i) * sizeof(CrwlLinkInstance);
  }
  CrwlLinkInstance *at(int i) {
    return std::launder(reinterpret_cast<CrwlLinkInstance *>(slot(i)));
  }

  alignas(CrwlLinkInstance) unsigned char storage[OccurrenceArena::kChunkSlots *
                                                  sizeof(CrwlLinkInstance)];
  int made = 0;
};

} // namespace

struct OccurrenceArena::Storage {
  /// The occurrence made `place`-th.
  CrwlLinkInstance *at(std::size_t place) const {
    return chunks[place / kChunkSlots]->at(int(place % kChunkSlots));
  }

  std::vector<std::unique_ptr<Chunk>> chunks;
  std::size_t made = 0;
  // The places of the occurrences in the list, once one was taken out; until
  // then the list is every occurrence made, in order.
  std::optional<std::vector<std::uint32_t>> order;
};

OccurrenceArena::OccurrenceArena() = default;
OccurrenceArena::~OccurrenceArena() = default;
OccurrenceArena::OccurrenceArena(OccurrenceArena &&) noexcept = default;
OccurrenceArena &
OccurrenceArena::operator=(OccurrenceArena &&) noexcept = default;

OccurrenceArena::Ptr OccurrenceArena::make() {
  if (!storage)
    storage = std::make_shared<Storage>();
  if (storage->chunks.empty() || storage->chunks.back()->made == kChunkSlots)
    storage->chunks.push_back(std::make_unique<Chunk>());
  Chunk &chunk = *storage->chunks.back();
  auto *const occurrence = new (chunk.slot(chunk.made)) CrwlLinkInstance();
  ++chunk.made;
  if (storage->order)
    storage->order->push_back(std::uint32_t(storage->made));
  ++storage->made;
  // Shares the storage's counts: every occurrence of the arena lives while any
  // is held.
  return Ptr(storage, occurrence);
}

void OccurrenceArena::clear() { storage.reset(); }

std::size_t OccurrenceArena::size() const {
  if (!storage)
    return 0;
  return storage->order ? storage->order->size() : storage->made;
}

OccurrenceArena::Ptr OccurrenceArena::operator[](std::size_t index) const {
  const std::size_t place = storage->order ? (*storage->order)[index] : index;
  return Ptr(storage, storage->at(place));
}

void OccurrenceArena::takeOutIf(
    const std::function<bool(const CrwlLinkInstance *)> &test) {
  if (!storage)
    return;
  if (!storage->order) {
    std::vector<std::uint32_t> order;
    order.reserve(storage->made);
    for (std::size_t place = 0; place < storage->made; ++place)
      order.push_back(std::uint32_t(place));
    storage->order = std::move(order);
  }
  std::erase_if(*storage->order,
                [&](std::uint32_t place) { return test(storage->at(place)); });
}

} // namespace crawlmere::engine::detail
