// The lists of link occurrences that URL records and the hub keep: one pointer an entry, read as
// shared pointers.
#pragma once

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <memory>
#include <vector>

class CrwlLinkInstance;

namespace crawlmere::engine::detail {

/// A list of link occurrences in the order added, read as `std::shared_ptr`s, that keeps what it
/// holds alive as a list of shared pointers would, at one plain pointer an entry: the occurrences
/// that share their owner with the first one added (all of a scan's, which lie in the hub's
/// `OccurrenceArena`) are kept through one shared reference to that owner; any other (an
/// occurrence made on its own) is kept in a side list as well. Null entries stay null. The
/// owner is let go when the list is emptied, so an occurrence taken out of a list that still
/// holds others of its owner lives on with them.
///
/// Threads: as a standard container; reading hands out shared pointers (one count taken on the
/// owner's counts each).
template <typename Items> class BasicOccurrenceList {
public:
    using Ptr = std::shared_ptr<CrwlLinkInstance>;
    using value_type = Ptr;
    using size_type = std::size_t;

    /// Reads an entry as a shared pointer (a value, not a reference).
    class const_iterator {
    public:
        using iterator_category = std::input_iterator_tag;
        using value_type = Ptr;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = Ptr;

        const_iterator() = default;
        Ptr operator*() const { return list->share(*at); }
        const_iterator& operator++()
        {
            ++at;
            return *this;
        }
        const_iterator operator++(int)
        {
            const_iterator before = *this;
            ++at;
            return before;
        }
        const_iterator operator+(difference_type count) const { return { list, at + count }; }
        difference_type operator-(const const_iterator& other) const { return at - other.at; }
        bool operator==(const const_iterator& other) const { return at == other.at; }

    private:
        friend class BasicOccurrenceList;
        const_iterator(const BasicOccurrenceList* owningList, typename Items::const_iterator position)
            : list(owningList)
            , at(position)
        {
        }
        const BasicOccurrenceList* list = nullptr;
        typename Items::const_iterator at {};
    };
    using iterator = const_iterator;

    BasicOccurrenceList() = default;
    BasicOccurrenceList(const BasicOccurrenceList& other) { *this = other; }
    BasicOccurrenceList& operator=(const BasicOccurrenceList& other)
    {
        if (this != &other) {
            items = other.items;
            owner = other.owner;
            loose = other.loose ? std::make_unique<std::vector<Ptr>>(*other.loose) : nullptr;
        }
        return *this;
    }
    BasicOccurrenceList(BasicOccurrenceList&&) noexcept = default;
    BasicOccurrenceList& operator=(BasicOccurrenceList&&) noexcept = default;

    size_type size() const { return items.size(); }
    bool empty() const { return items.empty(); }
    const_iterator begin() const { return { this, items.begin() }; }
    const_iterator end() const { return { this, items.end() }; }
    Ptr front() const { return share(items.front()); }
    Ptr back() const { return share(items.back()); }
    Ptr operator[](size_type index) const { return share(items[index]); }
    /// The entries without a count taken: valid while the list holds them.
    const Items& pointers() const { return items; }

    /// The entries as a list of shared pointers.
    std::vector<Ptr> toVector() const { return std::vector<Ptr>(begin(), end()); }
    operator std::vector<Ptr>() const { return toVector(); }

    void push_back(const Ptr& occurrence)
    {
        if (occurrence && !sharesOwner(occurrence)) {
            if (!owner) {
                owner = occurrence;
            } else {
                if (!loose)
                    loose = std::make_unique<std::vector<Ptr>>();
                loose->push_back(occurrence);
            }
        }
        items.push_back(occurrence.get());
    }
    /// Takes out every entry of `occurrence`.
    void erase(const CrwlLinkInstance* occurrence)
    {
        eraseIf([occurrence](const CrwlLinkInstance* entry) { return entry == occurrence; });
    }
    /// Takes out every entry for which `test(const CrwlLinkInstance*)` says YES.
    template <typename Test> void eraseIf(Test test)
    {
        items.erase(std::remove_if(items.begin(), items.end(), test), items.end());
        if (loose) {
            std::erase_if(*loose, [&test](const Ptr& kept) { return test(kept.get()); });
            if (loose->empty())
                loose.reset();
        }
        if (items.empty())
            clear();
    }
    void clear()
    {
        items = Items();
        owner.reset();
        loose.reset();
    }
    /// Empties the list and answers what it held.
    std::vector<Ptr> take()
    {
        std::vector<Ptr> taken = toVector();
        clear();
        return taken;
    }
    void reserve(size_type count) { items.reserve(count); }
    size_type capacity() const { return items.capacity(); }
    void shrink_to_fit() { items.shrink_to_fit(); }

    friend bool operator==(const BasicOccurrenceList& list, const std::vector<Ptr>& other)
    {
        return std::equal(list.begin(), list.end(), other.begin(), other.end());
    }

private:
    bool sharesOwner(const Ptr& occurrence) const
    {
        return owner && !owner.owner_before(occurrence) && !occurrence.owner_before(owner);
    }
    Ptr share(CrwlLinkInstance* occurrence) const
    {
        if (!occurrence)
            return nullptr;
        if (loose) {
            for (const Ptr& kept : *loose) {
                if (kept.get() == occurrence)
                    return kept;
            }
        }
        // Shares the owner's counts: what the owner keeps alive, the answer keeps alive.
        return Ptr(owner, occurrence);
    }

    Items items;
    std::shared_ptr<void> owner;
    std::unique_ptr<std::vector<Ptr>> loose;
};

/// A URL record's inbound or outbound occurrences.
using OccurrenceList = BasicOccurrenceList<std::vector<CrwlLinkInstance*>>;

} // namespace crawlmere::engine::detail
