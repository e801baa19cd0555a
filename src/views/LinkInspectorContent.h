// What the link inspector's redirect table shows for one link target, without any widget.
#pragma once

#include <QList>
#include <QStringList>

class CrwlUrl;

namespace crawlmere::views {

/// The redirect table of the link inspector, taken from the record's redirect chain. Any
/// thread that may read the record; the record is not changed.
class LinkInspectorContent {
public:
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
