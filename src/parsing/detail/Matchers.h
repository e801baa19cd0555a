// Small byte-at-a-time state machines for tags, words and attributes. Every matcher of a scanner
// phase sees every byte; none of them allocates or looks outside the byte it is given.
#pragma once

#include "parsing/detail/CharTables.h"

#include <cstdint>
#include <string_view>

namespace crawlmere::parsing::detail {

/// Recognises "<" [white space] [prefix [white space]] name, letters compared without case.
struct TagMatcher {
    enum class End : uint8_t {
        OnLastLetter, ///< complete on the name's last letter ("<bodyx" counts as "<body")
        NeedsDelimiter, ///< the byte after the name must be white space or ">"
        NotFollowedByE, ///< the byte after the name must not be "e" or "E" ("</head" but not "</header")
    };

    std::string_view name; ///< lower case
    char prefix = 0; ///< 0, '/' (closing tag) or '!' (declaration)
    bool spaceAfterLt = true;
    bool spaceAfterPrefix = false;
    End end = End::OnLastLetter;
    int state = 0; // 0 idle, 1 after "<", 2 after the prefix, 3 + n after n letters of the name

    void reset() { state = 0; }

    /// Feeds one byte; true when the tag is recognised at this byte.
    constexpr bool feed(uint8_t c)
    {
        const int matched = state - 3;
        if (matched >= 0 && static_cast<size_t>(matched) == name.size()) {
            // Waiting for the byte after the name.
            state = c == '<' ? 1 : 0;
            if (end == End::NeedsDelimiter)
                return isWhite(c) || c == '>';
            return toLowerAscii(c) != 'e';
        }
        if (c == '<') {
            state = 1;
            return false;
        }
        switch (state) {
        case 0:
            return false;
        case 1:
            if (isWhite(c) && spaceAfterLt)
                return false;
            if (prefix) {
                state = c == static_cast<uint8_t>(prefix) ? 2 : 0;
                return false;
            }
            return letter(c, 0);
        case 2:
            if (isWhite(c) && spaceAfterPrefix)
                return false;
            return letter(c, 0);
        default:
            return letter(c, static_cast<size_t>(matched));
        }
    }

private:
    constexpr bool letter(uint8_t c, size_t index)
    {
        if (toLowerAscii(c) != static_cast<uint8_t>(name[index])) {
            state = 0;
            return false;
        }
        state = static_cast<int>(3 + index + 1);
        if (index + 1 == name.size() && end == End::OnLastLetter) {
            state = 0;
            return true;
        }
        return false;
    }
};

/// Finds a word anywhere in the bytes fed to it (no self-overlapping prefixes in the words used).
struct WordMatcher {
    std::string_view word; ///< lower case unless `caseSensitive`
    bool caseSensitive = false;
    size_t state = 0;

    void reset() { state = 0; }

    constexpr bool feed(uint8_t c)
    {
        const uint8_t b = caseSensitive ? c : toLowerAscii(c);
        if (b == static_cast<uint8_t>(word[state])) {
            if (++state == word.size()) {
                state = 0;
                return true;
            }
            return false;
        }
        state = b == static_cast<uint8_t>(word[0]) ? 1 : 0;
        if (state == word.size()) {
            state = 0;
            return true;
        }
        return false;
    }
};

/// What an attribute matcher saw at a byte.
enum class AttrEvent : uint8_t {
    None,
    OpenQuoted, ///< the byte is the opening quote of the value
    OpenUnquoted, ///< the byte is the first byte of an unquoted value
};

/// name [white space] "=" [white space] value-start. The name compares without case (or exactly
/// when `caseSensitive`); with `needsSpaceBefore` its first letter must follow a white-space byte.
struct AttrMatcher {
    std::string_view name; ///< lower case unless `caseSensitive`
    bool needsSpaceBefore = false;
    bool caseSensitive = false;
    size_t state = 0; // 0..n letters matched, n + 1 waiting for "=", n + 2 waiting for the value

    void reset() { state = 0; }
    bool inProgress() const { return state != 0; }

    constexpr AttrEvent feed(uint8_t c, uint8_t previous)
    {
        const size_t n = name.size();
        if (state == n + 1) {
            if (isWhite(c))
                return AttrEvent::None;
            if (c == '=') {
                state = n + 2;
                return AttrEvent::None;
            }
            state = 0;
        } else if (state == n + 2) {
            if (isWhite(c))
                return AttrEvent::None;
            state = 0;
            if (c == '"' || c == '\'')
                return AttrEvent::OpenQuoted;
            if (c == '>')
                return AttrEvent::None;
            return AttrEvent::OpenUnquoted;
        }
        const uint8_t b = caseSensitive ? c : toLowerAscii(c);
        if (state > 0 && b == static_cast<uint8_t>(name[state])) {
            if (++state == n)
                state = n + 1;
            return AttrEvent::None;
        }
        state = 0;
        if (b == static_cast<uint8_t>(name[0]) && (!needsSpaceBefore || isWhite(previous)))
            state = n == 1 ? 2 : 1;
        return AttrEvent::None;
    }
};

} // namespace crawlmere::parsing::detail
