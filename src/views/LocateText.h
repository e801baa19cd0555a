// The locate window's text: how to reach a link occurrence by clicking from the starting page.
#pragma once

#include <QString>

#include <memory>

class CrwlLinkInstance;

namespace crawlmere::views {

/// Builds the HTML shown by the locate window. Every value taken from crawled pages (URLs,
/// titles, link and alt texts) is escaped, so the text shown is the value itself and never
/// markup. Any thread that owns the records for the call's duration.
class LocateText {
public:
    /// The style, the heading, the click steps from the starting page down to the occurrence's
    /// page, the occurrence line and the counts of its other occurrences. Empty when the
    /// occurrence has no parent or no target. The route follows each page's first inbound
    /// occurrence, or for a page reached only through a redirect the first redirect that leads
    /// to it (a step that names the redirect), back to the starting page; a page met a second
    /// time ends it with one line saying so. An occurrence that stands for a way in through a
    /// redirect has the redirect for its occurrence line. `dark` picks the white-text style.
    static QString locate(const CrwlLinkInstance& occurrence, bool dark);
};

} // namespace crawlmere::views
