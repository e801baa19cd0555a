// Printing a result table or outline as it shows: its header and rows on as many pages as they
// take, the page width being the one the print system proposes.
#pragma once

#include <QList>
#include <QString>

class QPrinter;
class QTreeView;

namespace crawlmere::views {

/// Prints what a view shows: the visible columns in their order and widths, the header row, then
/// the rows (an outline's open rows only, indented by depth), one view pixel to a point. Rows are
/// laid down the pages first; a table wider than the page goes on across further pages, each
/// break where the print system proposes it. Main thread only.
class ResultViewPrinter {
public:
    /// Which of the two view kinds prints; it sets the verbosity of the page-width log line.
    enum class Kind { Table, Outline };

    /// adjustPageWidthNew:left:right:limit: — the right edge of a page is kept where the print
    /// system proposed it (no column is pulled onto the next page); logs "proposed right:%f,
    /// limit:%f" at verbosity 2 for a table and 1 for an outline. Answers `proposedRight`.
    static double adjustPageWidth(double left, double proposedRight, double limit, Kind kind);

    /// One printed line: its depth below the top level and its cells in the printed columns.
    struct Row {
        int depth = 0;
        QStringList cells;
    };
    /// One printed column: the model column it shows, its header title, its left edge and width
    /// in view pixels.
    struct Column {
        int section = 0;
        QString title;
        int left = 0;
        int width = 0;
    };
    /// The columns and rows `view` shows, as they will be printed.
    static QList<Column> columnsOf(const QTreeView& view);
    static QList<Row> rowsOf(const QTreeView& view);

    /// Prints `view` on `printer` as set up (page size, output file). Answers the number of pages
    /// printed; 0 when the printer cannot be painted on.
    static int print(const QTreeView& view, QPrinter& printer, Kind kind);
};

} // namespace crawlmere::views
