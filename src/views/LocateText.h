// The locate window's text: how to reach a link occurrence by clicking from the starting page.
#pragma once

#include <QString>

#include <memory>

class CrwlLinkInstance;
class CrwlUrl;

namespace crawlmere::views {

/// Builds the HTML shown by the locate window. Every value taken from crawled pages (URLs,
/// titles, link and alt texts) is escaped, so the text shown is the value itself and never
/// markup. Any thread that owns the records for the call's duration.
class LocateText {
public:
    /// The style, the heading, the click steps from the starting page down to the occurrence's
    /// page, the occurrence line and the counts of its other occurrences. Empty when the
    /// occurrence has no parent or no target. The route is the shortest from the starting point
    /// to the occurrence's page (a link is a click, a redirect none and a step that names it),
    /// whatever order the ways in were found or read again in. Where no starting point leads to
    /// the page, it follows each page's first way in back as far as it goes; a page met a second
    /// time ends it with one line saying so. An occurrence that stands for a way in through a
    /// redirect has the redirect for its occurrence line. `dark` picks the white-text style.
    static QString locate(const CrwlLinkInstance& occurrence, bool dark);
    /// The way in by which `page` itself is located: the last step of its shortest route (a
    /// link, or the redirect for a page reached through one), else its first way in; null for
    /// a starting point or a page with no way in.
    static std::shared_ptr<CrwlLinkInstance> wayInto(const CrwlUrl& page);
};

} // namespace crawlmere::views
