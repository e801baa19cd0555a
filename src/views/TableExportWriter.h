// The CSV and HTML texts of an exported table or outline, made from a snapshot on any thread,
// a slice at a time or in one piece.
#pragma once

#include "views/ExportProgress.h"

#include <QString>
#include <QStringView>

#include <functional>

struct TableExportSnapshot;

/// Pure text builders over a `TableExportSnapshot`; safe on any thread (they read only the
/// snapshot). Progress goes to the given report, at most once per whole percent, then 0.
class TableExportWriter {
public:
    /// Receives the next slice of an export; answers false to stop it. The view lasts for the call.
    using SliceSink = std::function<bool(QStringView slice)>;

    /// UTF-16 units per slice (1 MiB) when the caller does not choose.
    static constexpr qsizetype kSliceLength = qsizetype(1) << 19;

    /// The text of `csvText`, handed to `sink` in slices of `sliceLength` units, or one more where
    /// a slice would end between the two halves of a surrogate pair (so each slice converts on its
    /// own, and the slices' UTF-8 joined is the whole text's); the last slice may be shorter.
    /// Answers false, after reporting 0, as soon as `sink` does.
    static bool writeCsv(const TableExportSnapshot& snapshot, qint64 csvQuoteEscapeOption, const SliceSink& sink,
        const ExportProgress::Report& progress = {}, qsizetype sliceLength = kSliceLength);

    /// The text of `htmlPage(htmlTable(snapshot))`, handed on as `writeCsv` hands on its text.
    static bool writeHtmlPage(const TableExportSnapshot& snapshot, const SliceSink& sink,
        const ExportProgress::Report& progress = {}, qsizetype sliceLength = kSliceLength);

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

    /// `text` with & < > " written as character references.
    static QString htmlEscaped(const QString& text);
};
