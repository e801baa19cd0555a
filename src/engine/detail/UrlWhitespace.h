// The tabs and line breaks a browser's URL parser removes from an address wherever they stand.
#pragma once

#include <QString>

namespace crawlmere::engine::detail {

/// `text` without its tabs, line feeds and carriage returns, as a browser reads an address
/// before resolving it ("c\t.html" names "c.html"); `text` itself when it holds none.
inline QString withoutTabsOrNewlines(const QString& text)
{
    for (const QChar c : text) {
        if (c == u'\t' || c == u'\n' || c == u'\r') {
            QString cleaned = text;
            cleaned.removeIf([](QChar k) { return k == u'\t' || k == u'\n' || k == u'\r'; });
            return cleaned;
        }
    }
    return text;
}

} // namespace crawlmere::engine::detail
