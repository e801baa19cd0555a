// Locale-free ASCII character classes for the byte scanner, as 256-entry tables.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace crawlmere::parsing::detail {

enum CharClass : uint8_t {
    kWhite = 1, ///< 0x09-0x0D and 0x20 only: 0x85 and 0xA0 are parts of UTF-8 characters.
    kDigit = 2,
    kHexDigit = 4,
    kAlpha = 8,
    kPrintable = 16, ///< 0x21-0x7E
};

inline constexpr std::array<uint8_t, 256> kCharClass = [] {
    std::array<uint8_t, 256> table {};
    for (int c = 0x09; c <= 0x0D; ++c)
        table[c] |= kWhite;
    table[0x20] |= kWhite;
    for (int c = '0'; c <= '9'; ++c)
        table[c] |= kDigit | kHexDigit;
    for (int c = 'a'; c <= 'f'; ++c)
        table[c] |= kHexDigit;
    for (int c = 'A'; c <= 'F'; ++c)
        table[c] |= kHexDigit;
    for (int c = 'a'; c <= 'z'; ++c)
        table[c] |= kAlpha;
    for (int c = 'A'; c <= 'Z'; ++c)
        table[c] |= kAlpha;
    for (int c = 0x21; c <= 0x7E; ++c)
        table[c] |= kPrintable;
    return table;
}();

inline constexpr std::array<uint8_t, 256> kLower = [] {
    std::array<uint8_t, 256> table {};
    for (int c = 0; c < 256; ++c)
        table[c] = static_cast<uint8_t>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    return table;
}();

constexpr uint8_t byteOf(char c) { return static_cast<uint8_t>(c); }
constexpr bool isWhite(uint8_t c) { return kCharClass[c] & kWhite; }
constexpr bool isDigit(uint8_t c) { return kCharClass[c] & kDigit; }
constexpr bool isHexDigit(uint8_t c) { return kCharClass[c] & kHexDigit; }
constexpr bool isPrintableAscii(uint8_t c) { return kCharClass[c] & kPrintable; }
constexpr uint8_t toLowerAscii(uint8_t c) { return kLower[c]; }

/// Position of `needle` (lower-case ASCII) in `haystack` at or after `from`, compared without regard
/// to ASCII case; npos when absent.
constexpr size_t findIgnoringCase(std::string_view haystack, std::string_view needle, size_t from = 0)
{
    if (needle.empty())
        return from <= haystack.size() ? from : std::string_view::npos;
    if (haystack.size() < needle.size())
        return std::string_view::npos;
    for (size_t i = from; i + needle.size() <= haystack.size(); ++i) {
        size_t k = 0;
        while (k < needle.size() && toLowerAscii(byteOf(haystack[i + k])) == byteOf(needle[k]))
            ++k;
        if (k == needle.size())
            return i;
    }
    return std::string_view::npos;
}

} // namespace crawlmere::parsing::detail
