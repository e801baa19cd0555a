// Large anonymous memory regions taken straight from the system.
#include "platform/LargeMemory.h"

#include "platform/Sanitizers.h"

#include <sys/mman.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <atomic>
#include <cstdint>

namespace crawlmere::platform {

namespace {

std::atomic<std::size_t> mappedBytes { 0 };

} // namespace

void tuneHeapForScans()
{
#if defined(__GLIBC__) && !defined(CRAWLMERE_ASAN)
    // A fixed threshold also fixes the trimming threshold, which the library would raise with it.
    mallopt(M_MMAP_THRESHOLD, int(kOwnMappingBytes));
    mallopt(M_TRIM_THRESHOLD, int(2 * kOwnMappingBytes));
    mallopt(M_ARENA_MAX, kHeapArenas);
#endif
}

void* mapLargeRegion(std::size_t bytes, std::size_t alignment, bool hugePages)
{
    if (bytes == 0 || alignment == 0 || (alignment & (alignment - 1)) != 0)
        return nullptr;
    // Map enough to find an aligned start inside, then give back the ends around it.
    const std::size_t span = bytes + alignment;
    void* mapped = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    const auto first = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t start = (first + alignment - 1) & ~(std::uintptr_t(alignment) - 1);
    if (start > first)
        ::munmap(mapped, start - first);
    const std::uintptr_t end = start + bytes;
    if (first + span > end)
        ::munmap(reinterpret_cast<void*>(end), first + span - end);
    void* region = reinterpret_cast<void*>(start);
#if defined(MADV_HUGEPAGE)
    if (hugePages)
        ::madvise(region, bytes, MADV_HUGEPAGE);
#else
    (void)hugePages;
#endif
#ifdef CRAWLMERE_ASAN
    // Objects living here own heap blocks: without this the leak checker would take those
    // blocks for leaks at exit.
    __lsan_register_root_region(region, bytes);
#endif
    mappedBytes.fetch_add(bytes, std::memory_order_relaxed);
    return region;
}

void unmapLargeRegion(void* region, std::size_t bytes)
{
    if (!region)
        return;
#ifdef CRAWLMERE_ASAN
    __lsan_unregister_root_region(region, bytes);
    // The next mapping at this address starts usable.
    ASAN_UNPOISON_MEMORY_REGION(region, bytes);
#endif
    ::munmap(region, bytes);
    mappedBytes.fetch_sub(bytes, std::memory_order_relaxed);
}

std::size_t largeRegionBytesInUse() { return mappedBytes.load(std::memory_order_relaxed); }

void poisonMemory(const void* address, std::size_t bytes, bool poisoned)
{
#ifdef CRAWLMERE_ASAN
    if (poisoned)
        ASAN_POISON_MEMORY_REGION(address, bytes);
    else
        ASAN_UNPOISON_MEMORY_REGION(address, bytes);
#else
    (void)address;
    (void)bytes;
    (void)poisoned;
#endif
}

} // namespace crawlmere::platform
