// Cells too narrow for their text: the text loses its middle and reads whole in a tool tip.
#pragma once

#include <QString>

class QAbstractItemView;
class QLabel;
class QLineEdit;
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

/// Has the line edit `field` show every text it is given from its start while it does not have
/// the focus (a line edit otherwise scrolls to the end of a text set into it).
void showFieldTextFromStart(QLineEdit& field);

/// `showFieldTextFromStart`, and a text too long for `field` is drawn cut in the middle while
/// the field has no focus, so that an address keeps its scheme, host and last segment; its tool
/// tip then gives the whole text. `text()` stays whole, and a focused field shows it all for
/// selecting.
void cutFieldInTheMiddle(QLineEdit& field);

/// Has the label `label` show its text on one line, cut in the middle when too long for it,
/// with the whole text in its tool tip. Its text is set through `setCutLabelText`.
void cutLabelInTheMiddle(QLabel& label);
void setCutLabelText(QLabel& label, const QString& text);

} // namespace crawlmere::views
