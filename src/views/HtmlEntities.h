// The entity decoding the link highlighter applies to the URLs it finds in a page.
#pragma once

#include <QString>

namespace crawlmere::views {

/// Two passes over a URL taken from a page's markup. Display-free; any thread.
class HtmlEntities {
public:
    /// Without "&": `text` unchanged. Otherwise "&quot;", "&amp;", "&apos;", "&lt;", "&gt;",
    /// "&nbsp;" and "&pound;" are replaced in that order, each once over the whole text and
    /// without regard to case (so "&amp;amp;" gives "&amp;"); then, only when "&#" is still
    /// present, the whole result goes through `unescapeReferences`.
    static QString unescapeEntities(const QString& text);
    /// Walks `text` from its end to its start, pairing each "&" with the first ";" after it
    /// (and before the "&" taken last). A reference of 4 to 10 characters ("&" and ";"
    /// included) is replaced when it is "&#" with decimal digits, or "&#x" / "&#X" with
    /// hexadecimal digits, of a value from 1 to 65534 (one UTF-16 code unit, which may be a
    /// lone surrogate), or one of the 253 names of HTML 4.01 plus "apos", matched with case.
    /// Anything else stays as written.
    static QString unescapeReferences(const QString& text);
    /// The code unit a name of the HTML 4.01 table stands for (case-sensitive), or 0.
    static char16_t namedCharacter(QStringView name);
};

} // namespace crawlmere::views
