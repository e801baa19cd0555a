// Column widths of a table or outline from what it shows, so that headers and typical cells
// read whole when a view first fills.
#pragma once

#include <QSet>

class QAbstractItemView;
class QHeaderView;
class QTreeView;
class QWidget;

namespace crawlmere::views {

/// Widens the shown columns of `view` (whose horizontal header is `header`) to the width their
/// header text needs and the widest cell among the first `rows` rows (in an outline, the first
/// rows with their children, expanded or not) and, in a tree view, the rows scrolled into view,
/// at most `maxWidth` pixels. With `Widths::Grow` a column never narrows; with `Widths::Set` it
/// takes that width even when it was wider. The header's stretched last column is left to the
/// header. `onlyColumn` (a logical index) limits the fitting to that column; the logical indexes
/// in `leaveAlone` keep their widths. Answers the number of rows sampled. Main thread.
enum class Widths { Grow, Set };
int fitColumnsToRows(QAbstractItemView& view, QHeaderView& header, int rows, int maxWidth, Widths widths,
    int onlyColumn = -1, const QSet<int>& leaveAlone = {});

/// Widens `window` (keeping its height, at least `minimumHeight`) so that every shown column of
/// `view`, which it lays out, reads at the width it has, the last one at the width its header and
/// rows in view need; never beyond the screen's available area. Call after the columns are fitted.
void fitWindowToColumns(QWidget& window, const QTreeView& view, int minimumHeight);

} // namespace crawlmere::views
