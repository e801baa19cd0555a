// Large anonymous memory regions taken straight from the system, for allocators that keep their
// own blocks: aligned to a power of two, given back whole, optionally backed by huge pages.
#pragma once

#include <cstddef>

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

/// Marks `bytes` at `address` as not to be touched (true) or usable again (false) for
/// AddressSanitizer; nothing in other builds.
void poisonMemory(const void* address, std::size_t bytes, bool poisoned);

} // namespace crawlmere::platform
