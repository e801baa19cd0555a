// The table of shared weak references to URL records: making, counting and freeing them.
#include "engine/detail/RecordReference.h"

#include "engine/CrwlUrl.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <new>
#include <vector>

namespace crawlmere::engine::detail {

namespace {

struct Slot {
    std::atomic<qint32> count { 0 };
    std::weak_ptr<CrwlUrl> record;
};

constexpr unsigned kSlotBits = 12;
constexpr RecordReference::Handle kSlotsPerChunk = RecordReference::Handle(1) << kSlotBits;
constexpr std::size_t kChunks = (std::size_t(1) << 32) >> kSlotBits;

// Zero until a chunk is made; static zero storage costs no memory until written.
// Initialised as constants all the same (the constructor is constexpr); a constinit here makes
// the compiler evaluate a million constructors, past clang's step limit.
std::atomic<Slot*> g_chunks[kChunks];

/// What making and freeing references share. Made on first use and never destroyed, so a
/// record freed while the program exits still finds it.
struct Allocation {
    std::mutex lock;
    std::vector<RecordReference::Handle> freed;
    RecordReference::Handle next = 1; // 0 names none
    std::size_t inUse = 0;
};

Allocation& allocation()
{
    static Allocation* const state = new Allocation;
    return *state;
}

Slot& slotOf(RecordReference::Handle handle)
{
    return g_chunks[handle >> kSlotBits].load(std::memory_order_acquire)[handle & (kSlotsPerChunk - 1)];
}

/// A free handle whose slot exists.
RecordReference::Handle newHandle()
{
    Allocation& state = allocation();
    const std::lock_guard guard(state.lock);
    ++state.inUse;
    if (!state.freed.empty()) {
        const RecordReference::Handle handle = state.freed.back();
        state.freed.pop_back();
        return handle;
    }
    if (state.next == 0) { // every handle is held
        --state.inUse;
        throw std::bad_alloc();
    }
    // Room for every handle made to come back, so that freeing one never allocates.
    if (state.freed.capacity() < state.next)
        state.freed.reserve(std::max<std::size_t>(2 * state.freed.capacity(), 1024));
    const RecordReference::Handle handle = state.next++;
    std::atomic<Slot*>& chunk = g_chunks[handle >> kSlotBits];
    if (!chunk.load(std::memory_order_relaxed))
        chunk.store(new Slot[kSlotsPerChunk], std::memory_order_release);
    return handle;
}

} // namespace

RecordReference::Handle RecordReference::acquire(const std::shared_ptr<CrwlUrl>& record)
{
    if (!record)
        return 0;
    if (const Handle kept = record->sharedReference) {
        slotOf(kept).count.fetch_add(1, std::memory_order_relaxed);
        return kept;
    }
    const Handle made = newHandle();
    Slot& slot = slotOf(made);
    slot.record = record;
    // One count for the record, one for the caller.
    slot.count.store(2, std::memory_order_release);
    record->sharedReference = made;
    return made;
}

void RecordReference::release(Handle handle) noexcept
{
    if (handle == 0)
        return;
    Slot& slot = slotOf(handle);
    if (slot.count.fetch_sub(1, std::memory_order_acq_rel) != 1)
        return;
    slot.record.reset();
    Allocation& state = allocation();
    const std::lock_guard guard(state.lock);
    --state.inUse;
    state.freed.push_back(handle); // within the room reserved as it was made
}

std::shared_ptr<CrwlUrl> RecordReference::lock(Handle handle)
{
    return handle == 0 ? nullptr : slotOf(handle).record.lock();
}

std::size_t RecordReference::inUse()
{
    Allocation& state = allocation();
    const std::lock_guard guard(state.lock);
    return state.inUse;
}

} // namespace crawlmere::engine::detail
