// Large anonymous memory regions taken straight from the system, for allocators that keep their
// own blocks: aligned to a power of two, given back whole, optionally backed by huge pages.
#pragma once

#include <cstddef>
#include <memory>
#include <new>

namespace crawlmere::platform {

/// A zero-filled, read-write region of `bytes` starting at a multiple of `alignment`; null when
/// the system refuses. `bytes` and `alignment` must be multiples of the page size, `alignment`
/// a power of two. With `hugePages` the system is asked to back the region with transparent
/// huge pages where it can (a hint; the region works the same without them). The region's
/// contents are searched for pointers by the leak checker of a sanitized build, like the heap.
/// Any thread.
void* mapLargeRegion(std::size_t bytes, std::size_t alignment, bool hugePages);

/// Gives back a region from `mapLargeRegion` with the same `bytes`. Any thread.
void unmapLargeRegion(void* region, std::size_t bytes);

/// Sets the process's heap up for a long scan; call once at start, before other threads run.
/// A scan's workers read pages of any size, each into blocks freed soon after. With the C
/// library's defaults a freed large block raises the size from which blocks are mapped on their
/// own, so later large blocks stay in the heap and the memory of a scan's largest pages is never
/// given back; and each worker may get an arena of its own that keeps what it freed. Here blocks
/// from `kOwnMappingBytes` on always get a mapping of their own, given back when freed, and the
/// threads share a few arenas. Nothing happens in a sanitized build (its allocator is its own)
/// or without the GNU C library.
inline constexpr std::size_t kOwnMappingBytes = std::size_t(128) << 10;
inline constexpr int kHeapArenas = 4;
void tuneHeapForScans();

/// Bytes held in regions from `mapLargeRegion` at this moment, over all threads (for figures).
std::size_t largeRegionBytesInUse();

/// Marks `bytes` at `address` as not to be touched (true) or usable again (false) for
/// AddressSanitizer; nothing in other builds.
void poisonMemory(const void* address, std::size_t bytes, bool poisoned);

/// An allocator for big arrays read at random (the rows of a view over a large scan): arrays of
/// `kHugeArrayBytes` or more get their own region backed by huge pages where the system can, so
/// reading them does not miss the address translation caches at nearly every row; smaller ones
/// come from the heap. At most one huge page per array is partly unused.
inline constexpr std::size_t kHugePageBytes = std::size_t(2) << 20;
inline constexpr std::size_t kHugeArrayBytes = 4 * kHugePageBytes;

template <typename T> struct LargeArrayAllocator {
    using value_type = T;

    LargeArrayAllocator() = default;
    template <typename U> LargeArrayAllocator(const LargeArrayAllocator<U>&) noexcept { }

    T* allocate(std::size_t count)
    {
        const std::size_t bytes = regionBytes(count);
        if (bytes == 0)
            return std::allocator<T>().allocate(count);
        void* region = mapLargeRegion(bytes, kHugePageBytes, /*hugePages=*/true);
        if (!region)
            throw std::bad_alloc();
        return static_cast<T*>(region);
    }
    void deallocate(T* array, std::size_t count) noexcept
    {
        if (const std::size_t bytes = regionBytes(count))
            unmapLargeRegion(array, bytes);
        else
            std::allocator<T>().deallocate(array, count);
    }
    template <typename U> bool operator==(const LargeArrayAllocator<U>&) const noexcept { return true; }

private:
    // The region for `count` elements in whole huge pages; 0 for an array the heap keeps.
    static std::size_t regionBytes(std::size_t count)
    {
        if (count > (std::size_t(-1) - kHugePageBytes) / sizeof(T) || count * sizeof(T) < kHugeArrayBytes)
            return 0;
        return (count * sizeof(T) + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
    }
};

} // namespace crawlmere::platform
