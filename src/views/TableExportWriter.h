// The CSV and HTML texts of an exported table or outline, built from a snapshot on any thread.
#pragma once

#include "views/ExportProgress.h"

#include <QString>

struct TableExportSnapshot;

/// Pure text builders over a `TableExportSnapshot`; safe on any thread (they read only the
/// snapshot). Progress goes to the given report, at most once per whole percent, then 0.
class TableExportWriter {
public:
    /// The header line (titles as they are, in double quotes), then one line per row: each
    /// value in double quotes with its quotes replaced by `csvQuoteEscapeOption` (0 backslash and
    /// quote, 2 two quotes, any other value one single quote) and line breaks by spaces; an
    /// outline's child row gets "\t" at the start of its outline-column field.
    static QString csvText(
        const TableExportSnapshot& snapshot, qint64 csvQuoteEscapeOption, const ExportProgress::Report& progress = {});

    /// The HTML table: column identifiers as classes, "alt" on every second data row, a label as
    /// a background style, a value holding "http://" or "https://" as a link whose text is
    /// shortened. Every text and attribute value is HTML-escaped (& < > ") and the link's
    /// address is quoted, so no cell text can add markup.
    static QString htmlTable(const TableExportSnapshot& snapshot, const ExportProgress::Report& progress = {});

    /// The whole page around an HTML table: title, charset, style block, the table.
    static QString htmlPage(const QString& table);

    /// A text of more than 50 UTF-16 units becomes its first 23, "..." and its last 27; a
    /// shorter one is returned as it is.
    static QString truncateURLByAddingElipsisInMiddle(const QString& text);

    /// `text` with & < > " written as character references.
    static QString htmlEscaped(const QString& text);
};
