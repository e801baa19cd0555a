// Link occurrences made side by side in large chunks that share one block of
// counts, for the millions a large scan makes, and read back in the order made.
#pragma once

#include <cstddef>
#include <functional>
#include <iterator>
#include <memory>

class CrwlLinkInstance;

namespace crawlmere::engine::detail {

/// Makes a scan's link occurrences in chunks of `kChunkSlots`: they lie side by
/// side and share one block of shared counts, so an occurrence costs its own
/// bytes and no allocation or count of its own, and the lists that hold them
/// (`OccurrenceList`) need one plain pointer an entry. Each occurrence is
/// handed out as a `std::shared_ptr` that keeps every occurrence the arena made
/// alive: they go together when the arena has let go of them (`clear`, or its
/// end) and the last of them is let go, so an occurrence taken out of its lists
/// keeps its place until then.
///
/// The arena is also the hub's list of a scan's occurrences: read as a list, it
/// answers those made since `clear` in the order made, but for those taken out
/// (`takeOutIf`), without an entry of its own for each while none is taken out.
///
/// Threads: one thread at a time (the hub's main thread); the occurrences may
/// be let go on any.
class OccurrenceArena {
public:
  static constexpr int kChunkSlots = 1024;
  using Ptr = std::shared_ptr<CrwlLinkInstance>;

  /// Reads an occurrence of the list as a shared pointer (a value, not a
  /// reference).
  class const_iterator {
  public:
    using iterator_category = std::input_iterator_tag;
    using value_type = Ptr;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = Ptr;

    const_iterator() = default;
    Ptr operator*() const { return (*arena)[index]; }
    const_iterator &operator++() {
      ++index;
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator before = *this;
      ++index;
      return before;
    }
    const_iterator operator+(difference_type count) const {
      return {arena, index + std::size_t(count)};
    }
    difference_type operator-(const const_iterator &other) const {
      return difference_type(index) - difference_type(other.index);
    }
    bool operator==(const const_iterator &other) const {
      return index == other.index;
    }

  private:
    friend class OccurrenceArena;
    const_iterator(const OccurrenceArena *owner, std::size_t at)
        : arena(owner), index(at) {}
    const OccurrenceArena *arena = nullptr;
    std::size_t index = 0;
  };
  using iterator = const_iterator;
  using value_type = Ptr;
  using size_type = std::size_t;

  OccurrenceArena();
  ~OccurrenceArena();
  OccurrenceArena(OccurrenceArena &&) noexcept;
  OccurrenceArena &operator=(OccurrenceArena &&) noexcept;

  /// A new occurrence as `CrwlLinkInstance()` makes it, at the end of the list.
  Ptr make();
  /// Lets go of the occurrences made so far and empties the list; the next one
  /// starts a new set.
  void clear();

  // ===== The list
  // ==========================================================================

  std::size_t size() const;
  bool empty() const { return size() == 0; }
  Ptr operator[](std::size_t index) const;
  Ptr front() const { return (*this)[0]; }
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size()}; }
  /// Takes out of the list every occurrence for which `test` says YES; they
  /// live on as long as before.
  void takeOutIf(const std::function<bool(const CrwlLinkInstance *)> &test);

private:
  struct Storage;
  std::shared_ptr<Storage> storage;
};

} // namespace crawlmere::engine::detail
