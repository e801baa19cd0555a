// Making, counting and freeing the shared weak references to URL records.
#include "engine/detail/RecordReference.h"

#include "engine/CrwlUrl.h"
#include "engine/detail/BlockPool.h"

#include <new>

namespace crawlmere::engine::detail {

namespace {

BlockPool& referencePool() { return blockPoolFor<sizeof(RecordReference)>(); }

} // namespace

RecordReference* RecordReference::acquire(const std::shared_ptr<CrwlUrl>& record)
{
    if (!record)
        return nullptr;
    if (RecordReference* kept = record->sharedReference) {
        kept->m_count.fetch_add(1, std::memory_order_relaxed);
        return kept;
    }
    void* block = referencePool().allocate();
    if (!block)
        throw std::bad_alloc();
    auto* made = new (block) RecordReference(record);
    // One count for the record, one for the caller.
    made->m_count.store(2, std::memory_order_relaxed);
    record->sharedReference = made;
    return made;
}

void RecordReference::release(RecordReference* reference) noexcept
{
    if (!reference || reference->m_count.fetch_sub(1, std::memory_order_acq_rel) != 1)
        return;
    reference->~RecordReference();
    referencePool().deallocate(reference);
}

} // namespace crawlmere::engine::detail
