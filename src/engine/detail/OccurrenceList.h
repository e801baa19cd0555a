// The lists of link occurrences that URL records keep: four bytes an entry, read as shared
// pointers.
#pragma once

#include "engine/detail/OccurrenceArena.h"
#include "engine/detail/OccurrenceReader.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

class CrwlLinkInstance;

namespace crawlmere::engine::detail {

/// A list of link occurrences in the order added, read as `std::shared_ptr`s, that keeps what it
/// holds alive as a list of shared pointers would, at four bytes an entry: the occurrences made
/// in the same `OccurrenceArena` as the first arena occurrence added (all of a scan's, which
/// lie in the hub's arena) are kept by their place there, through one shared reference to that
/// arena's storage; any other (an occurrence made on its own) is kept in a side list as well.
/// Null entries stay null. The arena's storage is let go when the list is emptied, so an
/// occurrence taken out of a list that still holds others of its arena lives on with them.
///
/// A list of occurrences made one after another in the arena (the links of one page, as the
/// hub reads them) is held as its first place and its length, with no entry of its own for
/// each, until something else is added or taken out.
///
/// Threads: as a standard container; reading hands out shared pointers (one count taken on the
/// owner's counts each). Occurrences of an arena are added on the thread that makes them.
class OccurrenceList {
public:
    using Ptr = std::shared_ptr<CrwlLinkInstance>;
    using value_type = Ptr;
    using size_type = std::size_t;
    using const_iterator = OccurrenceReader<OccurrenceList>;
    using iterator = const_iterator;

    OccurrenceList() = default;
    OccurrenceList(const OccurrenceList& other) { *this = other; }
    OccurrenceList& operator=(const OccurrenceList& other);
    OccurrenceList(OccurrenceList&& other) noexcept { *this = std::move(other); }
    OccurrenceList& operator=(OccurrenceList&& other) noexcept;

    size_type size() const { return runLength + items.size(); }
    bool empty() const { return size() == 0; }
    const_iterator begin() const { return { this, 0 }; }
    const_iterator end() const { return { this, size() }; }
    Ptr front() const { return shareAt(0); }
    Ptr back() const { return shareAt(size() - 1); }
    Ptr operator[](size_type index) const { return shareAt(index); }
    Ptr shareAt(size_type index) const;

    /// The entries as a list of shared pointers.
    std::vector<Ptr> toVector() const { return std::vector<Ptr>(begin(), end()); }
    operator std::vector<Ptr>() const { return toVector(); }

    void push_back(const Ptr& occurrence);
    /// Takes out every entry of `occurrence`.
    void erase(const CrwlLinkInstance* occurrence)
    {
        eraseIf([occurrence](const CrwlLinkInstance* entry) { return entry == occurrence; });
    }
    /// Takes out every entry for which `test(const CrwlLinkInstance*)` says YES.
    template <typename Test> void eraseIf(Test test)
    {
        spillRun(0);
        std::vector<Ptr> keptLoose;
        std::size_t kept = 0;
        for (std::uint32_t entry : items) {
            if (test(pointerAt(entry)))
                continue;
            if (isLoose(entry)) {
                keptLoose.push_back((*loose)[entry & ~kLoose]);
                entry = kLoose | std::uint32_t(keptLoose.size() - 1);
            }
            items[kept++] = entry;
        }
        items.resize(kept);
        loose = keptLoose.empty() ? nullptr : std::make_unique<std::vector<Ptr>>(std::move(keptLoose));
        if (items.empty())
            clear();
    }
    void clear();
    /// Empties the list and answers what it held.
    std::vector<Ptr> take();
    /// Room for `count` entries (none is needed while the list is one run).
    void reserve(size_type count)
    {
        if (runLength == 0)
            items.reserve(count);
    }
    size_type capacity() const { return runLength ? runLength : items.capacity(); }
    void shrink_to_fit() { items.shrink_to_fit(); }

    friend bool operator==(const OccurrenceList& list, const std::vector<Ptr>& other);

private:
    // An entry is a place in the arena, a side-list index with `kLoose` set, or `kNull`.
    static constexpr std::uint32_t kLoose = OccurrenceArena::kMaxPlaces;
    static constexpr std::uint32_t kNull = ~std::uint32_t(0);
    static bool isLoose(std::uint32_t entry) { return entry != kNull && (entry & kLoose); }
    CrwlLinkInstance* pointerAt(std::uint32_t entry) const;
    std::uint32_t entryAt(size_type index) const { return runLength ? runFirst + std::uint32_t(index) : items[index]; }
    /// Writes the run out as entries, with room for `more` further ones.
    void spillRun(size_type more);

    // The entries: either one run of places (`runLength` of them from `runFirst`, `items`
    // empty) or `items` (`runLength` 0).
    std::vector<std::uint32_t> items;
    std::uint32_t runFirst = 0;
    std::uint32_t runLength = 0;
    // Shares the counts of the arena's occurrences.
    std::shared_ptr<const OccurrenceArena::Storage> arena;
    std::unique_ptr<std::vector<Ptr>> loose;
};

} // namespace crawlmere::engine::detail
