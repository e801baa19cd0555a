// Keeping a text in UTF-8 or UTF-16, whichever holds it exactly in fewer bytes.
#include "engine/detail/CompactText.h"

#include <cstring>

namespace crawlmere::engine::detail {

namespace {

constexpr char kUtf8 = 0;
constexpr char kUtf16 = 1;

/// UTF-8 gives `text` back unchanged: no lone surrogate, and no byte-order mark in front, which
/// a decoder may take for a mark rather than text.
bool utf8KeepsExactly(QStringView text)
{
    return text.isValidUtf16() && !(text.size() > 0 && text.front() == QChar(0xFEFF));
}

} // namespace

CompactText::CompactText(QStringView text, bool isNull)
{
    if (isNull)
        return;
    if (utf8KeepsExactly(text)) {
        const QByteArray utf8 = text.toUtf8();
        if (utf8.size() <= 2 * text.size()) {
            m_bytes.reserve(1 + utf8.size());
            m_bytes.append(kUtf8);
            m_bytes.append(utf8);
            m_bytes.squeeze();
            return;
        }
    }
    const auto units = qsizetype(text.size() * sizeof(char16_t));
    m_bytes.resize(1 + units);
    m_bytes[0] = kUtf16;
    if (units)
        std::memcpy(m_bytes.data() + 1, text.utf16(), size_t(units));
}

QString CompactText::toString() const
{
    if (m_bytes.isNull())
        return QString();
    if (m_bytes.size() <= 1)
        return QStringLiteral("");
    const char* text = m_bytes.constData() + 1;
    const qsizetype bytes = m_bytes.size() - 1;
    if (m_bytes.at(0) == kUtf8)
        return QString::fromUtf8(text, bytes);
    QString result(bytes / qsizetype(sizeof(char16_t)), Qt::Uninitialized);
    std::memcpy(result.data(), text, size_t(result.size()) * sizeof(char16_t));
    return result;
}

qsizetype CompactText::size() const
{
    if (m_bytes.size() <= 1)
        return 0;
    const qsizetype bytes = m_bytes.size() - 1;
    if (m_bytes.at(0) != kUtf8)
        return bytes / qsizetype(sizeof(char16_t));
    // Every byte that starts a character is one unit; one of four bytes is two (a pair).
    qsizetype units = 0;
    for (qsizetype i = 1; i <= bytes; ++i) {
        const auto byte = static_cast<unsigned char>(m_bytes.at(i));
        units += (byte & 0xC0) != 0x80 ? 1 : 0;
        units += byte >= 0xF0 ? 1 : 0;
    }
    return units;
}

} // namespace crawlmere::engine::detail
