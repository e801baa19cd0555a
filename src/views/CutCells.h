// Cells too narrow for their text: the text loses its middle and reads whole in a tool tip.
#pragma once

#include <QString>

class QAbstractItemView;
class QPoint;

namespace crawlmere::views {

/// Has `view` show each cell on one line and cut a text too long for it in the middle, so that an address keeps its host
/// and its last segment, and show the whole text of such a cell in a tool tip when the pointer
/// rests on it. A cell that shows its text whole keeps the tool tip its model gives (if any).
/// Main thread.
void cutCellsInTheMiddle(QAbstractItemView& view);

/// The whole text of the cell at `viewportPoint` when `view` shows it cut (its text needs more
/// width than the cell has); a null string when the point is on no cell or the text reads whole.
QString cutCellText(const QAbstractItemView& view, const QPoint& viewportPoint);

} // namespace crawlmere::views
