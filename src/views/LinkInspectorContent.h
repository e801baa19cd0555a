// What the link inspector's redirect table shows for one link target, without any widget.
#pragma once

#include "engine/TableView.h"

#include <QList>
#include <QStringList>

#include <memory>
#include <vector>

class CrwlLinkInstance;
class CrwlUrl;

namespace crawlmere::views {

/// The link inspector's tables and the visibility of its parts, taken from a link target.
/// Any thread that may read the records; the records are not changed.
class LinkInspectorContent {
public:
    using OnPageList = std::vector<std::shared_ptr<CrwlLinkInstance>>;

    /// The columns of the on-page table: "1" ("Appears on"), "linktext", the seven rel flags,
    /// "rel", "targetattr", "hreflang" and "lineNumber".
    static QList<TableColumn> onPageColumns();
    /// The on-page list, from every way in to the target (`CrwlUrl::getWaysIn`: its inbound
    /// occurrences, then one "[redirect]" occurrence per redirect that leads to it). With the
    /// target's crawl setting `shouldTrimHash` on: every one in its order. Off: the first met on
    /// each page, pages told apart by their URL without its fragment, in the order first met.
    static OnPageList onPageList(const CrwlUrl& target);
    /// One row of the on-page table as it was read: the occurrence (for the actions) and every
    /// text the row shows or sorts on, taken when the row was made. The texts stay as they were
    /// for as long as the row is kept, whatever becomes of the scan that made the occurrence
    /// (a rescan or a clear lets go of its pages and of the texts its occurrences share).
    struct OnPageRow {
        std::shared_ptr<CrwlLinkInstance> occurrence;
        QString pageUrl;
        QString pageTitle;
        /// Empty for a row at or past the target's occurrence count when it was read.
        QString linkText;
        QString rel;
        QString targetAttr;
        QString hreflang;
        qint64 lineNumber = 0;
        /// The seven rel flags of the columns, one bit each in column order.
        quint8 relFlags = 0;
    };
    using OnPageRows = std::vector<OnPageRow>;
    /// The rows of `list`, its texts read now; the link text only for rows below
    /// `occurrencesCount`.
    static OnPageRows onPageRows(const OnPageList& list, qsizetype occurrencesCount);
    /// The text of an on-page cell in the column `identifier`: "1" the page's title when
    /// `displayPageTitle` is on, else its decoded URL; a rel flag "YES" or "NO"; "rel",
    /// "targetattr", "hreflang" their text; "lineNumber" the line (0 when unknown); any other
    /// the link text.
    static QString onPageCell(const OnPageRow& row, const QString& identifier, bool displayPageTitle);
    /// The same for the occurrence at `row` of `list`, read now; the link text only for rows
    /// below the target's occurrence count. Past the list: empty.
    static QString onPageCell(const OnPageList& list, qsizetype row, const QString& identifier, bool displayPageTitle,
        qsizetype occurrencesCount);
    /// The sort key of an on-page column ("1" sorts as "appearson", "targetattr" as
    /// "targetAttr"); empty for a column that does not sort.
    static QString sortKeyForColumn(const QString& identifier);
    /// Sorts `rows` in place (stable) on their texts by a descriptor key: "appearson" on the
    /// page title (when `displayPageTitle` is on) or page URL, "linktext", "rel" and "hreflang"
    /// without regard to case, the flags and "targetAttr" as they compare. Other keys leave the
    /// order alone.
    static void sortOnPage(OnPageRows& rows, const QString& key, bool ascending, bool displayPageTitle);

    /// Which parts of the window show for a target.
    struct Visibility {
        bool externalNotice = false;
        bool badTargetNotice = false;
        /// The page title, its label and the inspect-target button.
        bool pageParts = false;
        /// The tab "target" stays (internal HTML targets only).
        bool targetTab = false;
    };
    static Visibility visibility(const CrwlUrl& target);

    /// One row per column identifier "url", "status", "reason", in that order. N hops give
    /// N + 1 rows: row 0 the target's decoded URL, row r the decoded URL of hop r − 1; the
    /// status of hop r, the last row the final status; the reason of hop r as "http",
    /// "html meta refresh" or "response header field" (any other reason, and the last row,
    /// empty). No redirects: no rows.
    static QList<QStringList> redirectRows(const CrwlUrl& target);
    /// The rows joined cell by cell with tabs and row by row with line feeds; empty without rows.
    static QString redirectTableText(const QList<QStringList>& rows);
    /// The text of a hop's reason, empty for an unknown one.
    static QString reasonText(qint64 reason);
};

} // namespace crawlmere::views
