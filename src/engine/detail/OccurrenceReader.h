// Reading a list of link occurrences in order, each as a shared pointer: the iterator the hub's
// occurrence arena and the records' occurrence lists share.
#pragma once

#include <cstddef>
#include <iterator>
#include <memory>

class CrwlLinkInstance;

namespace crawlmere::engine::detail {

/// Reads entry after entry of `List`, which answers `shareAt(index)` with the entry as a shared
/// pointer (a value, not a reference).
template <typename List> class OccurrenceReader {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = std::shared_ptr<CrwlLinkInstance>;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = value_type;

    OccurrenceReader() = default;
    OccurrenceReader(const List* list, std::size_t index)
        : m_list(list)
        , m_index(index)
    {
    }
    value_type operator*() const { return m_list->shareAt(m_index); }
    OccurrenceReader& operator++()
    {
        ++m_index;
        return *this;
    }
    OccurrenceReader operator++(int)
    {
        OccurrenceReader before = *this;
        ++m_index;
        return before;
    }
    OccurrenceReader operator+(difference_type count) const { return { m_list, m_index + std::size_t(count) }; }
    difference_type operator-(const OccurrenceReader& other) const
    {
        return difference_type(m_index) - difference_type(other.m_index);
    }
    bool operator==(const OccurrenceReader& other) const { return m_index == other.m_index; }

private:
    const List* m_list = nullptr;
    std::size_t m_index = 0;
};

} // namespace crawlmere::engine::detail
