// String helpers with the desktop platform's semantics: percent-decoding that fails on bad
// input, case-insensitive literal search, trimming, and path functions on whole strings.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace crawlmere::platform::strings {

/// The value of a hexadecimal digit, either case; -1 for any other character.
int hexDigitValue(char16_t c);

/// Replaces every "%HH" with its byte and reads the bytes as UTF-8.
/// Fails (nullopt) when a "%" is not followed by two hex digits or the bytes are not valid
/// UTF-8. A string without "%" comes back unchanged.
std::optional<QString> removingPercentEncoding(QStringView text);

/// Position of `needle` in `haystack` from `from` on, comparing character by character without
/// regard to case; -1 when missing. An empty needle is never found.
qsizetype indexOfCaseInsensitive(QStringView haystack, QStringView needle, qsizetype from = 0);
bool containsCaseInsensitive(QStringView haystack, QStringView needle);
bool hasPrefixCaseInsensitive(QStringView text, QStringView prefix);
bool hasSuffixCaseInsensitive(QStringView text, QStringView suffix);

/// Removes white space and line breaks (ASCII and Unicode separators) at both ends.
QString trimmingWhitespaceAndNewlines(const QString& text);
/// `text` without the double quotes, single quotes and spaces at either end ("url( 'a.png' )"
/// arguments, attribute values written with stray quotes).
QString trimmingQuotesAndSpaces(QStringView text);
/// The longest start of `text` whose UTF-8 form takes at most `maxBytes` bytes, cut between whole
/// characters: a surrogate pair stays whole (a lone surrogate counts as the three bytes of the
/// replacement character UTF-8 writes for it). Reads `text` once; "" when `maxBytes` ≤ 0.
QString leftFittingUtf8Bytes(const QString& text, qsizetype maxBytes);
/// `text` with &, <, > and " as character references, for HTML text and quoted attribute
/// values; a text without them comes back as it is (shared, not copied).
QString htmlEscaped(const QString& text);
/// As `htmlEscaped`, and ' as "&apos;" too, for XML values.
QString xmlEscaped(const QString& text);
/// Decodes the five named XML entities (&amp; &lt; &gt; &quot; &apos;) and numeric character
/// references (&#38; &#x26;); an unknown entity or a reference to no character stays as written.
QString decodingXmlEntities(const QString& text);

// Path functions. They treat the whole string as a path, as the platform does for URL strings:
// runs of "/" collapse to one and a trailing "/" is dropped before the last component is taken,
// so "http://h.com/" has the last component "h.com" and the extension "com", and a query stays
// part of an extension ("a.php?id=1" has the extension "php?id=1").

/// "/a/b/" → ["/", "a", "b", "/"]; "a//b" → ["a", "b"]; "" → [].
QStringList pathComponents(const QString& path);
/// "/tmp/scratch.tiff" → "scratch.tiff"; "/tmp/" → "tmp"; "/" → "/"; "" → "".
QString lastPathComponent(const QString& path);
/// Text after the last "." of the last component; "" when that component has no ".", starts
/// with its only "." or ends in ".".
QString pathExtension(const QString& path);
/// "/tmp/scratch.tiff" → "/tmp"; "/tmp/" → "/"; "/tmp" → "/"; "scratch" → ""; "/" → "/".
QString deletingLastPathComponent(const QString& path);
/// "/tmp/scratch.tiff" → "/tmp/scratch"; "/tmp/" → "/tmp"; ".tiff" → ".tiff".
QString deletingPathExtension(const QString& path);
/// Joins with exactly one "/" between; "" + "a" → "a".
QString appendingPathComponent(const QString& path, const QString& component);

/// range:isWithinCodeOf: whether the range [start, start + length) of `text` lies inside an
/// HTML tag: scanning backwards from `start` (inclusive), the first "<" or ">" met is "<"; or,
/// scanning forwards from `start + length`, the first "<" or ">" met is ">". Reaching an end of
/// the text meets neither. A range outside the text is clamped to it.
bool rangeIsWithinCodeOf(qsizetype start, qsizetype length, QStringView text);

} // namespace crawlmere::platform::strings
