// Texts kept one after another in a single string, each behind its length: the form in which a
// record keeps the short lists of a page (headings, meta elements) without a block per text.
#pragma once

#include <QString>
#include <QStringView>

namespace crawlmere::engine::detail::packed {

/// Appends `text` to `packed` as two units of length (high half first) and its units. Texts of
/// 2^32 units or more are not supported.
inline void append(QString& packed, QStringView text)
{
    const auto length = quint64(text.size());
    Q_ASSERT_X(length <= 0xFFFF'FFFFu, "packed::append", "text too long to pack");
    packed.append(QChar(char16_t(length >> 16)));
    packed.append(QChar(char16_t(length & 0xFFFF)));
    packed.append(text);
}

/// The text that `append` wrote at `at`; moves `at` past it. `packed` must hold a whole text
/// there.
inline QStringView read(const QString& packed, qsizetype& at)
{
    const qsizetype length = (qsizetype(packed.at(at).unicode()) << 16) | packed.at(at + 1).unicode();
    at += 2;
    const QStringView text = QStringView(packed).mid(at, length);
    at += length;
    return text;
}

} // namespace crawlmere::engine::detail::packed
