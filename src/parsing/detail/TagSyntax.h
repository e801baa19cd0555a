// The syntax of a tag's bytes behind its "<", as a browser's tokenizer reads them: where a quoted
// attribute value begins and ends, and which ">" ends the tag. Shared by the head and body phases.
#pragma once

#include "parsing/detail/CharTables.h"

#include <cstdint>
#include <cstring>
#include <string_view>

namespace crawlmere::parsing::detail {

/// One tag, a byte at a time, from the byte behind its "<". A quoted value runs to its own closing
/// quote: a "<", ">", "<!--" or the other quote inside it is part of the value, so nothing inside
/// one opens a tag, a comment, a script or a style. Outside quoted values the first ">" ends the
/// tag, and a "<" is a byte of the tag like any other. A quote opens a value only where a value can
/// begin (behind "=" and white space); elsewhere (`<a "x">`, `alt=don't`) it is a plain byte.
///
/// A quote that never closes before the end of the data would make the rest of the page one
/// value, where a browser shows nothing more; the caller finds that out (`quoteCloses`) and calls
/// `endAtNextBracket`, after which the value and the tag end at the first "<" or ">", so the rest of
/// the page is still checked. The caller tells the two apart by the byte.
///
/// A declaration or processing instruction ("<!DOCTYPE", "<?php") knows no values: after
/// `readAsDeclaration` its first ">" ends it, as a browser's bogus comment ends.
struct TagSyntax {
    enum class State : uint8_t {
        TagName,
        BeforeName,
        Name,
        AfterName,
        BeforeValue,
        DoubleQuoted,
        SingleQuoted,
        Unquoted,
        AfterQuoted,
        BracketEnds, ///< after `endAtNextBracket`: the next "<" or ">" ends the tag
        Declaration, ///< after `readAsDeclaration`: the next ">" ends it
    };
    State state = State::TagName;

    bool inQuotedValue() const { return state == State::DoubleQuoted || state == State::SingleQuoted; }
    uint8_t openQuote() const { return state == State::DoubleQuoted ? '"' : state == State::SingleQuoted ? '\'' : 0; }
    void endAtNextBracket() { state = State::BracketEnds; }
    void readAsDeclaration() { state = State::Declaration; }
    /// The markup behind a "<" that starts with `c` is a declaration or processing instruction.
    static constexpr bool startsDeclaration(uint8_t c) { return c == '!' || c == '?'; }

    /// Feeds one byte; true when it ends the tag: a ">", or after `endAtNextBracket` a "<" too.
    constexpr bool feed(uint8_t c)
    {
        const bool white = isWhite(c);
        switch (state) {
        case State::TagName:
            if (white || c == '/')
                state = State::BeforeName;
            return c == '>';
        case State::BeforeName:
            if (!white && c != '/' && c != '>')
                state = State::Name;
            return c == '>';
        case State::Name:
            if (white)
                state = State::AfterName;
            else if (c == '/')
                state = State::BeforeName;
            else if (c == '=')
                state = State::BeforeValue;
            return c == '>';
        case State::AfterName:
            if (c == '/')
                state = State::BeforeName;
            else if (c == '=')
                state = State::BeforeValue;
            else if (!white && c != '>')
                state = State::Name;
            return c == '>';
        case State::BeforeValue:
            if (c == '"')
                state = State::DoubleQuoted;
            else if (c == '\'')
                state = State::SingleQuoted;
            else if (!white && c != '>')
                state = State::Unquoted;
            return c == '>';
        case State::DoubleQuoted:
            if (c == '"')
                state = State::AfterQuoted;
            return false;
        case State::SingleQuoted:
            if (c == '\'')
                state = State::AfterQuoted;
            return false;
        case State::Unquoted:
            if (white)
                state = State::BeforeName;
            return c == '>';
        case State::AfterQuoted:
            if (white || c == '/')
                state = State::BeforeName;
            else if (c != '>')
                state = State::Name;
            return c == '>';
        case State::BracketEnds:
            return c == '>' || c == '<';
        case State::Declaration:
            return c == '>';
        }
        return false;
    }

    /// The quote of the value opened at `page[at - 1]` closes before the end of `page`.
    static bool quoteCloses(std::string_view page, size_t at, uint8_t quote)
    {
        return at < page.size() && std::memchr(page.data() + at, quote, page.size() - at) != nullptr;
    }
};

} // namespace crawlmere::parsing::detail
