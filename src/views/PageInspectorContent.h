// What each field of the page inspector shows for one page record, without any widget.
#pragma once

#include <QString>
#include <QStringList>
#include <QVariantMap>

#include "engine/TableView.h"

#include <memory>
#include <optional>
#include <vector>

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
    /// One row of an occurrence table with the texts it shows, read once: a row keeps them for
    /// the window's life, after its scan's pages and shared texts are gone.
    struct OccurrenceRow {
        /// The holding page (inbound) or the target (outbound), decoded as shown.
        QString url;
        QString linkText;
    };
    using OccurrenceRows = std::vector<OccurrenceRow>;
    /// The rows of `occurrences`, in their order.
    static OccurrenceRows occurrenceRows(
        const std::vector<std::shared_ptr<CrwlLinkInstance>>& occurrences, bool inbound);
    /// An occurrence table's cell: "linkurl" the row's address; "linktext" its link text; any
    /// other column empty.
    static QString occurrenceCell(const OccurrenceRow& row, const QString& column);
    /// Sorts `rows` in place (stable) by `descriptors`, whose keys name the occurrence getters
    /// the rows were read from: "linkText" the link text, any other key ("onPageUrl",
    /// "linkUrl") the address; texts compare as the result tables compare them.
    static void sortOccurrenceRows(OccurrenceRows& rows, const QList<SortDescriptor>& descriptors);
    /// Each string trimmed at both ends, in order, with those that become empty dropped.
    static QStringList trimEachItemInArray(const QStringList& items);
};

} // namespace crawlmere::views
