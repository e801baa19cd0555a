// The syntax of a page's markup as a browser's tokenizer reads it: where a quoted attribute value
// begins and ends, which ">" ends a tag, and where the text of a comment or of an element whose
// content is not markup ends. Shared by the page scan and by every other reader of a page's
// links, so that all of them find the same links.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace crawlmere::parsing {

/// The longest value a scan keeps of a name, a rel, a title and most other attributes, in bytes;
/// a longer one keeps its first bytes.
inline constexpr size_t kValueLimit = 998;
/// The longest address a scan keeps of an href or src value, in bytes.
inline constexpr size_t kUrlLimit = 4998;

/// 0x09-0x0D and 0x20: 0x85 and 0xA0 are parts of UTF-8 characters.
constexpr bool isMarkupWhite(uint8_t c) { return c == ' ' || (c >= 0x09 && c <= 0x0D); }

namespace markup {

constexpr uint8_t lower(char c) { return c >= 'A' && c <= 'Z' ? uint8_t(c + ('a' - 'A')) : uint8_t(c); }

/// `text` begins with `name`, compared without ASCII case.
constexpr bool startsWithName(std::string_view text, std::string_view name)
{
    if (text.size() < name.size())
        return false;
    for (size_t i = 0; i < name.size(); ++i)
        if (lower(text[i]) != lower(name[i]))
            return false;
    return true;
}

} // namespace markup

/// Elements whose content is text to a browser, not markup: nothing inside one opens a tag or a
/// comment, up to the element's end tag (`rawTextEnd`). Scripts and styles have rules of their own.
constexpr bool holdsRawText(std::string_view name)
{
    for (const std::string_view element : { "textarea", "title", "xmp" })
        if (name.size() == element.size() && markup::startsWithName(name, element))
            return true;
    return false;
}

/// Where the content of a `name` element (`holdsRawText`) that begins at `from` ends: the "<" of
/// the first "</name" followed by white space, "/", ">" or the end of the page, else the page's end.
constexpr size_t rawTextEnd(std::string_view page, size_t from, std::string_view name)
{
    for (size_t at = page.find("</", from); at != std::string_view::npos; at = page.find("</", at + 1)) {
        const size_t behind = at + 2 + name.size();
        if (!markup::startsWithName(page.substr(at + 2), name))
            continue;
        if (behind >= page.size() || isMarkupWhite(uint8_t(page[behind])) || page[behind] == '/' || page[behind] == '>')
            return at;
    }
    return page.size();
}

/// The "<" of the first "<" [white space] "/" [white space] `name` at or behind `from`, else the
/// page's end: where a script or a style element ends. A "<!--" inside one is its text.
constexpr size_t looseEndTagAt(std::string_view page, size_t from, std::string_view name)
{
    for (size_t lt = page.find('<', from); lt != std::string_view::npos; lt = page.find('<', lt + 1)) {
        size_t i = lt + 1;
        while (i < page.size() && isMarkupWhite(uint8_t(page[i])))
            ++i;
        if (i >= page.size() || page[i] != '/')
            continue;
        ++i;
        while (i < page.size() && isMarkupWhite(uint8_t(page[i])))
            ++i;
        if (markup::startsWithName(page.substr(i), name))
            return lt;
    }
    return page.size();
}

/// Where a script's text that begins at `from` ends: the "<" of its end tag, else the page's end.
constexpr size_t scriptTextEnd(std::string_view page, size_t from) { return looseEndTagAt(page, from, "script"); }

/// Where a style element's text that begins at `from` ends: the "<" of its end tag, or the "/" of
/// the first "/>" before it, else the page's end.
constexpr size_t styleTextEnd(std::string_view page, size_t from)
{
    const size_t endTag = looseEndTagAt(page, from, "style");
    const size_t slash = page.substr(0, endTag).find("/>", from);
    return slash == std::string_view::npos ? endTag : slash;
}

/// Where a comment whose "<!" stands just before `from` ends: behind the first "-->" or "--!>"
/// ("<!-->" and "<!--->" end where they begin), else the page's end.
constexpr size_t commentEnd(std::string_view page, size_t from)
{
    for (size_t at = page.find("--", from); at != std::string_view::npos; at = page.find("--", at + 1)) {
        if (at + 2 < page.size() && page[at + 2] == '>')
            return at + 3;
        if (at + 3 < page.size() && page[at + 2] == '!' && page[at + 3] == '>')
            return at + 4;
    }
    return page.size();
}

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
        const bool white = isMarkupWhite(c);
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

    /// The byte that ends the tag whose name ends at `from`: its ">", a "<" or ">" behind a quote
    /// that never closes, or the page's end. Quoted values are passed over whole.
    static size_t tagEnd(std::string_view page, size_t from)
    {
        TagSyntax syntax;
        for (size_t i = from; i < page.size(); ++i) {
            if (const uint8_t quote = syntax.openQuote()) {
                const size_t close = page.find(char(quote), i);
                if (close == std::string_view::npos) {
                    syntax.endAtNextBracket();
                    const size_t bracket = page.find_first_of("<>", i);
                    return bracket == std::string_view::npos ? page.size() : bracket;
                }
                i = close;
            }
            if (syntax.feed(uint8_t(page[i])))
                return i;
        }
        return page.size();
    }

    /// Each attribute with a value of the tag whose name ends at `nameEnd` and that ends at `end`
    /// (`tagEnd`), in order: `take(name, valueStart, valueEnd, quoted, closed)`. A value is quoted
    /// or ends at white space; one still open at the end of the tag is dropped when a "<" or the
    /// end of the data cut it off, and kept when a ">" did (a quoted one as not closed).
    template <class Take>
    static void forEachValue(std::string_view page, size_t nameEnd, size_t end, Take&& take)
    {
        TagSyntax syntax;
        size_t nameStart = nameEnd;
        std::string_view name;
        size_t valueStart = 0;
        for (size_t i = nameEnd; i < end; ++i) {
            const State before = syntax.state;
            if (syntax.inQuotedValue()) {
                const size_t close = page.substr(0, end).find(char(syntax.openQuote()), i);
                if (close == std::string_view::npos)
                    break; // a quote given up at the end of the tag
                i = close;
            }
            syntax.feed(uint8_t(page[i]));
            const State after = syntax.state;
            if (after == State::Name && before != State::Name)
                nameStart = i;
            else if (before == State::Name && after != State::Name)
                name = page.substr(nameStart, i - nameStart);
            if (before == State::BeforeValue && after != State::BeforeValue)
                valueStart = after == State::Unquoted ? i : i + 1;
            else if ((before == State::DoubleQuoted || before == State::SingleQuoted) && after == State::AfterQuoted)
                take(name, valueStart, i, /*quoted=*/true, /*closed=*/true);
            else if (before == State::Unquoted && after != State::Unquoted)
                take(name, valueStart, i, /*quoted=*/false, /*closed=*/true);
        }
        if (end >= page.size() || page[end] != '>')
            return;
        if (syntax.inQuotedValue())
            take(name, valueStart, end, /*quoted=*/true, /*closed=*/false);
        else if (syntax.state == State::Unquoted)
            take(name, valueStart, end, /*quoted=*/false, /*closed=*/true);
    }
};

} // namespace crawlmere::parsing
