// A text a record keeps for the whole scan (a title, a description, its packed headings) in
// fewer bytes: most pages' texts are nearly all ASCII, which UTF-8 holds in one byte a character.
#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <utility>

namespace crawlmere::engine::detail {

/// A text held as UTF-8, or as UTF-16 where that is smaller or UTF-8 cannot give the same text
/// back (a lone surrogate, a leading byte-order mark). `toString` answers exactly the text given,
/// a null text as null and an empty one as empty. The value is one pointer: a null text holds
/// no block, any other one block of a 4-byte header and the text's bytes.
///
/// A text of more than `kMaxBytes` bytes in its form is cut to fit (a page's texts come from a
/// body of at most 64 MiB, far below it).
///
/// Threads: a value; readers may run on any thread while nobody assigns.
class CompactText {
public:
    static constexpr std::uint32_t kMaxBytes = (std::uint32_t(1) << 31) - 1;

    CompactText() = default;
    explicit CompactText(QStringView text, bool isNull = false);
    /// Keeps a null string as null.
    static CompactText of(const QString& text) { return CompactText(text, text.isNull()); }
    CompactText(const CompactText& other);
    CompactText(CompactText&& other) noexcept
        : m_block(std::exchange(other.m_block, nullptr))
    {
    }
    CompactText& operator=(CompactText other) noexcept
    {
        std::swap(m_block, other.m_block);
        return *this;
    }
    ~CompactText();

    bool isNull() const { return m_block == nullptr; }
    bool isEmpty() const { return bytes() == 0; }
    /// The text as given.
    QString toString() const;
    /// The length of the text in UTF-16 units, as `toString().size()`.
    qsizetype size() const;

private:
    // The header: the number of bytes of text, with kUtf16 set for text held as UTF-16.
    static constexpr std::uint32_t kUtf16 = std::uint32_t(1) << 31;
    static constexpr std::size_t kHeaderBytes = sizeof(std::uint32_t);
    std::uint32_t header() const;
    std::uint32_t bytes() const { return m_block ? header() & ~kUtf16 : 0; }
    const char* text() const { return m_block + kHeaderBytes; }
    /// A new block of `bytes` bytes of text behind `header`.
    static char* makeBlock(std::uint32_t header, const void* text, std::size_t bytes);

    char* m_block = nullptr;
};

} // namespace crawlmere::engine::detail
