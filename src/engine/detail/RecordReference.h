// The one weak reference to a record that the link occurrences naming it (as their page or
// their target) share, named by a 4-byte handle: a scan holds millions of occurrences, and two
// weak pointers of their own took half of each.
#pragma once

#include <QtGlobal>

#include <cstddef>
#include <memory>

class CrwlUrl;

namespace crawlmere::engine::detail {

/// Counted weak references to records, each named by a `Handle` (0 names none). A record has at
/// most one at a time, made when an occurrence first names the record (as its page or target)
/// and kept by the record (one count) and by each occurrence naming it (one count each); the
/// last count given up frees it and its handle is given out again. A reference's record never
/// changes while it is held.
///
/// The references live in one table for the whole process, in chunks that are never moved or
/// freed, so a handle is read without a lock.
///
/// Threads: `acquire` on the main thread (where occurrences are linked); `release` and `lock`
/// on any thread.
class RecordReference {
public:
    using Handle = quint32;

    /// The handle of `record`'s reference (made when it has none), counted once more for the
    /// caller; 0 for a null record.
    static Handle acquire(const std::shared_ptr<CrwlUrl>& record);
    /// Gives up one count of the reference `handle` names (0 is ignored).
    static void release(Handle handle) noexcept;
    /// The record `handle` names; null for 0 or once the record is gone.
    static std::shared_ptr<CrwlUrl> lock(Handle handle);
    /// How many references are held now.
    static std::size_t inUse();

    RecordReference() = delete;
};

} // namespace crawlmere::engine::detail
