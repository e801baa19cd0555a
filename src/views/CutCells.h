// Cells too narrow for their text: the text loses its middle and reads whole in a tool tip.
#pragma once

#include <QString>

class QAbstractItemView;
class QLineEdit;
class QModelIndex;
class QPoint;

namespace crawlmere::views {

/// Has `view` show each cell on one line and cut a text too long for it in the middle, so that an address keeps its
/// host and its last segment, and show the whole text of such a cell in a tool tip when the pointer rests on it. A cell
/// that shows its text whole keeps the tool tip its model gives (if any). A view with the plain delegate cuts an
/// address after its host where the cell has room for more than the host (as `cutFieldInTheMiddle` does); one with a
/// delegate of its own cuts as that delegate does. Main thread.
void cutCellsInTheMiddle(QAbstractItemView& view);

/// What the cell `cell` of `view` shows of its text at its present width.
QString shownCellText(const QAbstractItemView& view, const QModelIndex& cell);

/// The whole text of the cell at `viewportPoint` when `view` shows it cut (its text needs more
/// width than the cell has); a null string when the point is on no cell or the text reads whole.
QString cutCellText(const QAbstractItemView& view, const QPoint& viewportPoint);

/// Has the line edit `field` show every text it is given from its start while it does not have
/// the focus (a line edit otherwise scrolls to the end of a text set into it).
void showFieldTextFromStart(QLineEdit& field);

/// `showFieldTextFromStart`, and a text too long for `field` is drawn cut in the middle while
/// the field has no focus, so that an address keeps its scheme and host (whole, where the cut
/// leaves room besides) and its last segment; its tool
/// tip then gives the whole text. `text()` stays whole, and a focused field shows it all for
/// selecting.
void cutFieldInTheMiddle(QLineEdit& field);

/// What `field` shows of its text: cut in the middle where `cutFieldInTheMiddle` cuts it, else
/// the characters in view.
QString shownFieldText(const QLineEdit& field);

} // namespace crawlmere::views
