// Bulk passes of the page scanner over bytes and text, several at a time: byte searches, line
// counting, white-space folding and counting, the plain-value check, and each thread's scratch bytes.
#pragma once

#include <QtGlobal>

#include <cstddef>
#include <cstdint>

namespace crawlmere::parsing::detail {

/// A byte buffer for one page scan. Each thread keeps one buffer of up to `kKeptBytes` for its
/// scans, so pages of ordinary size reuse memory the kernel has already mapped; a larger page, or a
/// scan while the thread's buffer is in use, gets a buffer of its own that dies with this object.
/// The kept buffers stay resident for the whole scan, one a worker: pages past the bound are rare
/// and pay for a buffer of their own rather than every worker keeping one of their size.
class ScratchBytes {
public:
    static constexpr size_t kKeptBytes = size_t(1) << 20;

    explicit ScratchBytes(size_t size);
    ~ScratchBytes();
    ScratchBytes(const ScratchBytes&) = delete;
    ScratchBytes& operator=(const ScratchBytes&) = delete;

    char* get() const { return m_bytes; }
    char& operator[](size_t index) const { return m_bytes[index]; }

private:
    char* m_bytes = nullptr;
    bool m_owned = false;
};

/// Offset of the first byte equal to `a` or `b` in `page[from, to)`, or `to`.
size_t findEitherByte(const char* page, size_t from, size_t to, char a, char b);

/// Offset of the first "<" or ">" in `page[from, to)`, or `to`.
inline size_t findAngleBracket(const char* page, size_t from, size_t to) { return findEitherByte(page, from, to, '<', '>'); }

/// Lines started by reading `page[from, to)`, given the byte before `from` (0 at the start of the
/// page): reading a byte starts a line when the byte before it is an LF, or a CR and the byte is not
/// an LF. So a CR, an LF and a CR LF pair each end one line.
size_t countLineStarts(const uint8_t* page, size_t from, size_t to, uint8_t before);

/// Folds `text[0, size)` in place: each run of CR, LF, tab and space becomes one space, white space
/// at the start is dropped and one space at the end is removed. Other bytes (0x0B and 0x0C among
/// them) stay as they are. Returns the new size.
size_t foldWhiteBytes(char* text, size_t size);

/// True when `run` is ASCII without "&" and folding changes none of it: no CR or LF, and with
/// `returnsAreSeparators` no tab and no space directly behind a space.
bool isPlainAscii(const char* run, size_t size, bool returnsAreSeparators);

/// The first index of `text[0, size)` that folding changes: with `returnsAreSeparators` a CR, LF or
/// tab, or a space directly behind a space; without it a CR or LF. `size` when there is none.
qsizetype firstFoldPosition(const char16_t* text, qsizetype size, bool returnsAreSeparators);

/// Number of white-space characters (QChar::isSpace, one UTF-16 unit at a time) in `text`.
qint64 countWhiteSpace(const char16_t* text, qsizetype size);

} // namespace crawlmere::parsing::detail
