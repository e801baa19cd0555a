// The Bootstring algorithm with the Punycode parameters (RFC 3492), on 32-bit code points.
#pragma once

#include <QString>
#include <QStringView>

#include <optional>
#include <string_view>

namespace crawlmere::engine::detail {

/// Encodes code points (no "xn--" prefix): the basic code points (below 128) in their order,
/// a "-" when there was at least one, then the deltas as lower-case digits "a"-"z", "0"-"9".
/// nullopt when an intermediate value overflows 32 bits.
std::optional<QString> punycodeEncode(std::u32string_view input);

/// Decodes a Punycode string. The last "-" is the delimiter (one only at position 0 counts as
/// none); digits are read in either letter case. nullopt for a non-basic character before the
/// delimiter, a character that is not a digit after it, input that ends inside a number, an
/// overflow, or a code point that is not a Unicode scalar value (above U+10FFFF or a surrogate).
std::optional<std::u32string> punycodeDecode(QStringView input);

} // namespace crawlmere::engine::detail
