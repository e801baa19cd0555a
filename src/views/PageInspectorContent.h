// What each field of the page inspector shows for one page record, without any widget.
#pragma once

#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

class CrwlLinkInstance;
class CrwlUrl;

namespace crawlmere::views {

/// The texts of the page inspector's fields for one page, taken once from the record. Any
/// thread that may read the record; the record is not changed.
struct PageInspectorContent {
    /// The final URL decoded for display; absent when the page has none.
    std::optional<QString> url;
    QString title;
    QString distance;
    /// The headings one per line, trimmed of line breaks at both ends.
    QString headings;
    QString description;
    /// "%.4f seconds" for a load time above 0, else empty.
    QString downloadTime;
    QString images, imageWeight, wordCount, linkCount, timeStamp, internalBacklinks, responseTime;
    /// The uncompressed size as "<n> bytes", 64-bit (sizes past 2 GiB stay positive).
    QString fileSize;
    QString canonical, modified, mime;
    bool noindex = false;
    bool nofollow = false;
    /// The social-card image as an absolute URL: "twitterimage", else "ogimage", each resolved
    /// against the page's URL. Empty when neither gives one (an empty value is no URL).
    QString imageUrl;
    /// "twittertitle", else "ogtitle"; "twitterdescription", else "ogdescription".
    QString cardTitle, cardDescription;
    /// The structured data as indented JSON; absent when the page has none.
    std::optional<QString> jsonld;

    /// Reads every field from `page`.
    static PageInspectorContent of(const CrwlUrl& page);

    /// The meta-tag table's cell: column "name" shows `name="…"`, else `property="…"`, else
    /// `itemprop="…"`, else empty; any other column the tag's value under that key, or empty.
    static QString metaTagCell(const QVariantMap& tag, const QString& column);
    /// An occurrence table's cell: "linkurl" is the holding page (inbound) or the target
    /// (outbound); "linktext" the link text; any other column empty.
    static QString occurrenceCell(const CrwlLinkInstance& occurrence, bool inbound, const QString& column);
    /// Each string trimmed at both ends, in order, with those that become empty dropped.
    static QStringList trimEachItemInArray(const QStringList& items);
};

} // namespace crawlmere::views
