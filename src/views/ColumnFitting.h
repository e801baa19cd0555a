// Column widths of a table or outline from what it shows, so that headers and typical cells
// read whole when a view first fills.
#pragma once

#include <QList>
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

/// What one column asks of the width its view shares out among its columns.
struct ColumnRoom {
    int least = 0; ///< the width its header needs to read whole
    int wanted = 0; ///< the width its header and its sampled cells need to read whole
    bool address = false; ///< most of its sampled cells are addresses
    int cells = 0; ///< the width its sampled cells need, its header aside (0: all empty)
    bool sparse = false; ///< fewer than one sampled row in four has a text in it
};

/// Shares `available` pixels out among `columns` (answered in the same order). When all they
/// want fits, each gets what it wants and the rest is left over. Otherwise each column has a
/// floor: its `least` (or what it wants, if less), for an address at least what it wants up to
/// `available` / (number of addresses + 2), for another column at least what it wants up to an
/// even share (`available` / number of columns); the room above the floors is poured in evenly,
/// an address column taking two pixels for every one of another column, none beyond what it
/// wants: a short text reads whole and the addresses get the most. Where the floors do not fit,
/// the columns that are not addresses keep only their `least`. Where even that does not fit, a
/// column that is not an address and whose cells are narrower than its header ("YES" under
/// "noreferrer") keeps only its cells' width (its header reads cut, whole in its tool tip); only
/// then does each column get its floor and the view scroll. A sparse column (a redirect target on
/// one row in many) has its header's width until every other column has what it wants, and only
/// the room left over after that.
QList<int> shareWidth(int available, const QList<ColumnRoom>& columns);

/// Fits the shown columns of `view` (whose horizontal header is `header`) to their header and
/// the sampled rows as `fitColumnsToRows` does with `Widths::Set`, but within the viewport's
/// width: where the columns would need more, that width is shared out (`shareWidth`) among them,
/// the header's stretched last column included (the header stretches it from its share to what
/// the others leave). Room left once each has what it needs up to `maxWidth` goes to the address
/// columns that need more. A column is an address column when most of its sampled non-empty
/// cells hold "://". Columns in `leaveAlone` keep their widths, which the others do without.
/// Answers the number of rows sampled.
int fitColumnsToView(QAbstractItemView& view, QHeaderView& header, int rows, int maxWidth, const QSet<int>& leaveAlone = {});

/// Fits the columns of `view` within its viewport (`fitColumnsToView` over the first `rows` rows,
/// no column beyond `maxWidth`) now and whenever the viewport's width changes. A view that
/// changes its rows calls `fitColumnsToView` itself after the change. Main thread.
void keepColumnsWithinView(QAbstractItemView& view, QHeaderView& header, int rows, int maxWidth);

/// Widens `window` (keeping its height, at least `minimumHeight`) so that every shown column of
/// `view`, which it lays out, reads at the width it has, the last one at the width its header and
/// rows in view need; never beyond the screen's available area. Call after the columns are fitted.
void fitWindowToColumns(QWidget& window, const QTreeView& view, int minimumHeight);

} // namespace crawlmere::views
