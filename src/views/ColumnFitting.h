// Column widths of a table or outline from what it shows, so that headers and typical cells
// read whole when a view first fills.
#pragma once

class QAbstractItemView;
class QHeaderView;

namespace crawlmere::views {

/// Widens the shown columns of `view` (whose horizontal header is `header`) to the width their
/// header text needs and the widest cell among the first `rows` rows (in an outline, the first
/// rows with their children, expanded or not), at most `maxWidth` pixels. With `Widths::Grow` a
/// column never narrows; with `Widths::Set` it takes that width even when it was wider. The
/// header's stretched last column is left to the header. `onlyColumn` (a logical index) limits
/// the fitting to that column. Answers the number of rows sampled. Main thread.
enum class Widths { Grow, Set };
int fitColumnsToRows(
    QAbstractItemView& view, QHeaderView& header, int rows, int maxWidth, Widths widths, int onlyColumn = -1);

} // namespace crawlmere::views
