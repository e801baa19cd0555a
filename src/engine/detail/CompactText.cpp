// Keeping a text in UTF-8 or UTF-16, whichever holds it exactly in fewer bytes.
#include "engine/detail/CompactText.h"

#include <QByteArray>

#include <algorithm>
#include <cstring>

namespace crawlmere::engine::detail {

namespace {

/// UTF-8 gives `text` back unchanged: no lone surrogate, and no byte-order mark in front, which
/// a decoder may take for a mark rather than text.
bool utf8KeepsExactly(QStringView text)
{
    return text.isValidUtf16() && !(text.size() > 0 && text.front() == QChar(0xFEFF));
}

/// The number of whole UTF-8 characters in the first `bytes` of `utf8`: a cut never splits one.
std::size_t wholeUtf8Bytes(const char* utf8, std::size_t bytes)
{
    while (bytes > 0 && (static_cast<unsigned char>(utf8[bytes]) & 0xC0) == 0x80)
        --bytes;
    return bytes;
}

} // namespace

CompactText::CompactText(QStringView text, bool isNull)
{
    if (isNull)
        return;
    if (utf8KeepsExactly(text)) {
        const QByteArray utf8 = text.toUtf8();
        if (utf8.size() <= 2 * text.size()) {
            std::size_t bytes = std::size_t(utf8.size());
            if (bytes > kMaxBytes)
                bytes = wholeUtf8Bytes(utf8.constData(), kMaxBytes);
            m_block = makeBlock(std::uint32_t(bytes), utf8.constData(), bytes);
            return;
        }
    }
    std::size_t units = std::size_t(text.size());
    units = std::min<std::size_t>(units, kMaxBytes / sizeof(char16_t));
    const std::size_t bytes = units * sizeof(char16_t);
    m_block = makeBlock(std::uint32_t(bytes) | kUtf16, text.utf16(), bytes);
}

CompactText::CompactText(const CompactText& other)
{
    if (other.m_block)
        m_block = makeBlock(other.header(), other.text(), other.bytes());
}

CompactText::~CompactText() { delete[] m_block; }

char* CompactText::makeBlock(std::uint32_t header, const void* text, std::size_t bytes)
{
    char* block = new char[kHeaderBytes + bytes];
    std::memcpy(block, &header, kHeaderBytes);
    if (bytes)
        std::memcpy(block + kHeaderBytes, text, bytes);
    return block;
}

std::uint32_t CompactText::header() const
{
    std::uint32_t value;
    std::memcpy(&value, m_block, kHeaderBytes);
    return value;
}

QString CompactText::toString() const
{
    if (!m_block)
        return QString();
    const std::uint32_t count = bytes();
    if (count == 0)
        return QStringLiteral("");
    if (!(header() & kUtf16))
        return QString::fromUtf8(text(), qsizetype(count));
    QString result(qsizetype(count / sizeof(char16_t)), Qt::Uninitialized);
    std::memcpy(result.data(), text(), std::size_t(result.size()) * sizeof(char16_t));
    return result;
}

qsizetype CompactText::size() const
{
    const std::uint32_t count = bytes();
    if (count == 0)
        return 0;
    if (header() & kUtf16)
        return qsizetype(count / sizeof(char16_t));
    // Every byte that starts a character is one unit; one of four bytes is two (a pair).
    qsizetype units = 0;
    const char* utf8 = text();
    for (std::uint32_t i = 0; i < count; ++i) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        units += (byte & 0xC0) != 0x80 ? 1 : 0;
        units += byte >= 0xF0 ? 1 : 0;
    }
    return units;
}

} // namespace crawlmere::engine::detail
