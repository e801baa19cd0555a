// Fixed-size blocks carved out of large slabs.
#include "engine/detail/BlockPool.h"

#include "platform/LargeMemory.h"

#include <QtGlobal>

#include <algorithm>
#include <cstdint>

namespace crawlmere::engine::detail {

using crawlmere::platform::poisonMemory;

// The head of a slab, at its start; blocks follow from `kHeaderBytes`.
struct BlockPool::Slab {
    Slab* previous = nullptr;
    Slab* next = nullptr;
    // Freed blocks, each holding the address of the next at its start.
    void* freeBlocks = nullptr;
    // Blocks handed out and not given back.
    std::size_t inUse = 0;
    // Blocks ever carved from the slab; those past it were never used.
    std::size_t carved = 0;
};

namespace {

constexpr std::size_t kHeaderBytes = 64;

std::size_t roundedBlockSize(std::size_t size) { return (std::max(size, sizeof(void*)) + 7) & ~std::size_t(7); }

char* blockAt(void* slab, std::size_t index, std::size_t blockSize)
{
    return static_cast<char*>(slab) + kHeaderBytes + index * blockSize;
}

} // namespace

BlockPool::BlockPool(std::size_t blockSize, std::size_t hugePageSlabs)
    : m_blockSize(roundedBlockSize(blockSize))
    , m_blocksPerSlab((kSlabBytes - kHeaderBytes) / m_blockSize)
    , m_hugePageSlabs(hugePageSlabs)
{
    Q_ASSERT_X(m_blocksPerSlab > 0, "BlockPool", "a block larger than a slab");
}

BlockPool::~BlockPool()
{
    for (Slab** list : { &m_withRoom, &m_full }) {
        while (Slab* slab = *list) {
            unlink(*list, slab);
            platform::unmapLargeRegion(slab, kSlabBytes);
        }
    }
}

void BlockPool::unlink(Slab*& head, Slab* slab)
{
    if (slab->previous)
        slab->previous->next = slab->next;
    else
        head = slab->next;
    if (slab->next)
        slab->next->previous = slab->previous;
    slab->previous = slab->next = nullptr;
}

void BlockPool::pushFront(Slab*& head, Slab* slab)
{
    slab->previous = nullptr;
    slab->next = head;
    if (head)
        head->previous = slab;
    head = slab;
}

BlockPool::Slab*& BlockPool::listOf(const Slab* slab)
{
    return slab->freeBlocks || slab->carved < m_blocksPerSlab ? m_withRoom : m_full;
}

BlockPool::Slab* BlockPool::newSlab()
{
    void* region = platform::mapLargeRegion(kSlabBytes, kSlabBytes, /*hugePages=*/m_slabs >= m_hugePageSlabs);
    if (!region)
        return nullptr;
    auto* slab = new (region) Slab();
    // Blocks not carved yet are as out of bounds as freed ones.
    poisonMemory(blockAt(slab, 0, m_blockSize), m_blocksPerSlab * m_blockSize, true);
    ++m_slabs;
    pushFront(m_withRoom, slab);
    return slab;
}

void* BlockPool::allocate()
{
    const std::lock_guard guard(m_lock);
    Slab* slab = m_withRoom ? m_withRoom : newSlab();
    if (!slab)
        return nullptr;
    char* block = nullptr;
    if (slab->freeBlocks) {
        block = static_cast<char*>(slab->freeBlocks);
        poisonMemory(block, m_blockSize, false);
        slab->freeBlocks = *reinterpret_cast<void**>(block);
    } else {
        block = blockAt(slab, slab->carved++, m_blockSize);
        poisonMemory(block, m_blockSize, false);
    }
    ++slab->inUse;
    ++m_inUse;
    if (&listOf(slab) == &m_full) {
        unlink(m_withRoom, slab);
        pushFront(m_full, slab);
    }
    return block;
}

void BlockPool::deallocate(void* block)
{
    if (!block)
        return;
    auto* slab = reinterpret_cast<Slab*>(reinterpret_cast<std::uintptr_t>(block) & ~(std::uintptr_t(kSlabBytes) - 1));
    const std::lock_guard guard(m_lock);
    Q_ASSERT_X(slab->inUse > 0, "BlockPool::deallocate", "a block freed twice or not from this pool");
    Slab*& before = listOf(slab);
    *static_cast<void**>(block) = slab->freeBlocks;
    slab->freeBlocks = block;
    poisonMemory(block, m_blockSize, true);
    --slab->inUse;
    --m_inUse;
    // A slab that was full has room again; freed holes are filled before new slabs are carved.
    if (&before == &m_full) {
        unlink(m_full, slab);
        pushFront(m_withRoom, slab);
    }
    // An empty slab goes back to the system unless it is the only one with room, which stays
    // for the next block (a scan that ends and starts again does not map it anew).
    if (slab->inUse == 0 && (m_withRoom != slab || slab->next)) {
        unlink(m_withRoom, slab);
        slab->~Slab();
        platform::unmapLargeRegion(slab, kSlabBytes);
        --m_slabs;
    }
}

std::size_t BlockPool::slabCount() const
{
    const std::lock_guard guard(m_lock);
    return m_slabs;
}

std::size_t BlockPool::blocksInUse() const
{
    const std::lock_guard guard(m_lock);
    return m_inUse;
}

} // namespace crawlmere::engine::detail
