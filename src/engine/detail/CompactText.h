// A text a record keeps for the whole scan (a title, a description, its packed headings) in
// fewer bytes: most pages' texts are nearly all ASCII, which UTF-8 holds in one byte a character.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace crawlmere::engine::detail {

/// A text held as UTF-8, or as UTF-16 where that is smaller or UTF-8 cannot give the same text
/// back (a lone surrogate, a leading byte-order mark). `toString` answers exactly the text given,
/// a null text as null and an empty one as empty.
///
/// Threads: a value; readers may run on any thread while nobody assigns.
class CompactText {
public:
    CompactText() = default;
    explicit CompactText(QStringView text, bool isNull = false);
    /// Keeps a null string as null.
    static CompactText of(const QString& text) { return CompactText(text, text.isNull()); }

    bool isNull() const { return m_bytes.isNull(); }
    bool isEmpty() const { return m_bytes.size() <= 1; }
    /// The text as given.
    QString toString() const;
    /// The length of the text in UTF-16 units, as `toString().size()`.
    qsizetype size() const;

private:
    // Null for a null text; else a first byte saying the form (kUtf8, kUtf16), then the text.
    QByteArray m_bytes;
};

} // namespace crawlmere::engine::detail
