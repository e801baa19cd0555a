// The one weak reference to a record that the link occurrences naming it (as their page or
// their target) share: a scan holds millions of occurrences, and two weak pointers of their own
// took half of each.
#pragma once

#include <QtGlobal>

#include <atomic>
#include <memory>

class CrwlUrl;

namespace crawlmere::engine::detail {

/// A counted holder of a weak pointer to one record. A record has at most one at a time, made
/// when an occurrence first names the record (as its page or target) and kept by the record
/// (one count) and by each occurrence naming it (one count each); the last count given up frees
/// it. Its weak pointer never changes after it is made.
///
/// Threads: `acquire` on the main thread (where occurrences are linked); `release` and `lock`
/// on any thread.
class RecordReference {
public:
    /// The reference of `record` (made when it has none), counted once more for the caller;
    /// null for a null record.
    static RecordReference* acquire(const std::shared_ptr<CrwlUrl>& record);
    /// Gives up one count of `reference` (null is ignored).
    static void release(RecordReference* reference) noexcept;

    /// The record; null once it is gone.
    std::shared_ptr<CrwlUrl> lock() const { return m_record.lock(); }

    RecordReference(const RecordReference&) = delete;
    RecordReference& operator=(const RecordReference&) = delete;

private:
    explicit RecordReference(const std::shared_ptr<CrwlUrl>& record)
        : m_record(record)
    {
    }
    ~RecordReference() = default;

    std::atomic<qint32> m_count { 1 };
    std::weak_ptr<CrwlUrl> m_record;
};

} // namespace crawlmere::engine::detail
