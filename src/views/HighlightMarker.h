// Marks every link tag of a page whose URL is a given link, and points the page back at its
// site with a base element: the byte work of the link highlighter, without fetching or files.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>
#include <optional>

namespace crawlmere::views {

/// One marking pass over a page's bytes. Display-free and self-contained; any thread, one call
/// at a time per object (the scanner state is the object's). Nothing of a page is kept once
/// its call returns.
///
/// The scanner finds the URL of each a and area tag (href) and frame and iframe tag (src) in page
/// order, reading tags and values as the page scan does (`parsing::TagSyntax`): outside comments,
/// scripts, styles and elements whose content is text, a quoted value running to its own closing
/// quote. Each value keeps its first `parsing::kUrlLimit` bytes, as the scan's does, with control
/// bytes left out, decoded as UTF-8 (else Latin 1) and its entities decoded
/// (`HtmlEntities::unescapeEntities`). Each is resolved against the page
/// URL as the crawl resolves links (`CrwlUrl::makeNSURLFromString`); one that does not resolve
/// is skipped.
class HighlightMarker {
public:
    struct Request {
        /// The link as the crawl stored it.
        QString linkUrl;
        /// The text inserted into each matching tag, right after its name ("a", "area", "frame").
        QString style;
        /// The URL of the page: found URLs resolve against it and the base element names it.
        QString pageUrl;
        /// A found URL matches when `linkUrl` contains it, instead of being equal to it (case
        /// and one trailing "/" aside).
        bool ignoringQS = false;
        /// Quotes and spaces are stripped from both ends of each found value.
        bool trim = false;
        /// Brings a resolved found URL into the form the crawl stores links in, so that it can
        /// be compared with `linkUrl`; empty: compared as resolved.
        std::function<QString(const QString&)> storedForm;
    };

    /// The style text of the highlighter: ` style = "background:rgb(245,245,0);"`.
    static QString defaultStyle();

    /// The marked copy of `page`, made once at its final size, or nullopt when a head (or html) tag was found but no ">"
    /// closes it before the end of the page. The base element goes right after the first head
    /// tag's ">", else the first html tag's; with neither, at the end of the page. Its position
    /// counts the style text inserted before it, in the page as fetched.
    /// The base element names the page URL in the form that parsed as the base, with any
    /// double quote or non-ASCII character percent-encoded.
    std::optional<QByteArray> mark(const QByteArray& page, const Request& request);

    /// Equal ignoring case, or equal ignoring case once one trailing "/" is taken off the longer
    /// one; never when the lengths differ by more than one.
    static bool compareIgnoringTrailingSlash(const QString& a, const QString& b);

    /// Every URL the scanner finds in `page`, in page order (for diagnostics and tests).
    QStringList foundUrls(const QByteArray& page, bool trim);

private:
    std::optional<QString> getNextHref(bool trim);
    void reset(QByteArrayView page);

    /// The page of the pass under way: its bytes are the caller's, and the view is dropped when
    /// the pass ends.
    QByteArrayView data;
    /// Where the next tag is looked for.
    qint64 counter = 0;
    /// Where a matching tag takes the style text: right after its name.
    qint64 styleAt = 0;
};

} // namespace crawlmere::views
