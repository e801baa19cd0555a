// Fixed-size blocks carved out of large slabs, for the many small objects of a scan (URL records
// and link occurrences): no per-block header, blocks made together lie side by side, and a slab
// goes back to the system when its last block is freed.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <new>

namespace crawlmere::engine::detail {

/// A pool of blocks of one size. Blocks come from 2 MiB slabs aligned to their size, so a
/// block's slab is found from its address. Once the pool holds `hugePageSlabs` slabs, new slabs
/// ask for transparent huge pages: a large scan walks its records with fewer address
/// translations, while a small one never pays a 2 MiB page for a few objects.
///
/// Threads: any; one lock guards the pool (blocks are made on the main thread, but the last
/// owner of a record may let it go on a worker).
/// Sanitized builds mark free blocks as not to be touched, so a use after free is still caught.
class BlockPool {
public:
    static constexpr std::size_t kSlabBytes = std::size_t(2) << 20;

    /// Blocks of `blockSize` bytes (rounded up to a multiple of 8), each aligned to 8.
    explicit BlockPool(std::size_t blockSize, std::size_t hugePageSlabs = 16);
    /// Gives every slab back; blocks still in use become invalid.
    ~BlockPool();
    BlockPool(const BlockPool&) = delete;
    BlockPool& operator=(const BlockPool&) = delete;

    /// A block; null when the system has no memory left.
    void* allocate();
    /// Takes back a block of this pool (null is ignored).
    void deallocate(void* block);

    std::size_t blockSize() const { return m_blockSize; }
    /// Blocks in one slab.
    std::size_t blocksPerSlab() const { return m_blocksPerSlab; }
    std::size_t slabCount() const;
    std::size_t blocksInUse() const;

private:
    struct Slab;
    Slab* newSlab();
    static void unlink(Slab*& head, Slab* slab);
    static void pushFront(Slab*& head, Slab* slab);
    Slab*& listOf(const Slab* slab);

    const std::size_t m_blockSize;
    const std::size_t m_blocksPerSlab;
    const std::size_t m_hugePageSlabs;
    mutable std::mutex m_lock;
    // Every slab is on one of two lists: those with a free or never-used block (the first is
    // taken from first), and the full ones.
    Slab* m_withRoom = nullptr;
    Slab* m_full = nullptr;
    std::size_t m_slabs = 0;
    std::size_t m_inUse = 0;
};

/// The pool of blocks of `Size` bytes, made on first use and never destroyed, so a block freed
/// while the program exits still has its pool.
template <std::size_t Size> BlockPool& blockPoolFor()
{
    static BlockPool* const pool = new BlockPool(Size);
    return *pool;
}

/// A standard allocator whose single objects come from the pool of their size (for
/// `std::allocate_shared`: the object and its shared counts in one block); arrays come from
/// `operator new`.
template <typename T> struct PooledAllocator {
    using value_type = T;
    static_assert(alignof(T) <= 8, "pooled blocks are aligned to 8");

    PooledAllocator() noexcept = default;
    template <typename U> PooledAllocator(const PooledAllocator<U>&) noexcept { }

    T* allocate(std::size_t count)
    {
        if (count != 1)
            return std::allocator<T>().allocate(count);
        void* block = blockPoolFor<sizeof(T)>().allocate();
        if (!block)
            throw std::bad_alloc();
        return static_cast<T*>(block);
    }
    void deallocate(T* object, std::size_t count) noexcept
    {
        if (count != 1)
            std::allocator<T>().deallocate(object, count);
        else
            blockPoolFor<sizeof(T)>().deallocate(object);
    }
    template <typename U> bool operator==(const PooledAllocator<U>&) const noexcept { return true; }
};

} // namespace crawlmere::engine::detail
