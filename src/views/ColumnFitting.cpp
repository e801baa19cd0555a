// Column widths from the header texts and the first rows.
#include "views/ColumnFitting.h"

#include <QAbstractItemView>
#include <QHeaderView>
#include <QModelIndexList>
#include <QTreeView>

#include <algorithm>

namespace crawlmere::views {

namespace {

// Room beside the text that the delegate's size hint leaves out (the grid, the focus frame).
constexpr int kCellPadding = 12;

// The first `limit` rows in the order an outline lists them with every row open.
QModelIndexList sampleRows(const QAbstractItemModel& model, int limit)
{
    QModelIndexList rows;
    const int top = model.rowCount();
    for (int row = 0; row < top && rows.size() < limit; ++row) {
        const QModelIndex parent = model.index(row, 0);
        rows.append(parent);
        const int children = model.hasChildren(parent) ? model.rowCount(parent) : 0;
        for (int child = 0; child < children && rows.size() < limit; ++child)
            rows.append(model.index(child, 0, parent));
    }
    return rows;
}

int depthOf(QModelIndex index)
{
    int depth = 0;
    for (index = index.parent(); index.isValid(); index = index.parent())
        ++depth;
    return depth;
}

} // namespace

int fitColumnsToRows(
    QAbstractItemView& view, QHeaderView& header, int rows, int maxWidth, Widths widths, int onlyColumn)
{
    const QAbstractItemModel* model = view.model();
    if (!model)
        return 0;
    const QModelIndexList sample = sampleRows(*model, rows);
    const auto* tree = qobject_cast<const QTreeView*>(&view);
    int lastShown = -1;
    for (int visual = header.count() - 1; visual >= 0 && lastShown < 0; --visual) {
        if (!header.isSectionHidden(header.logicalIndex(visual)))
            lastShown = header.logicalIndex(visual);
    }
    for (int column = 0; column < header.count(); ++column) {
        if (header.isSectionHidden(column) || (onlyColumn >= 0 && column != onlyColumn)
            || (column == lastShown && header.stretchLastSection()))
            continue;
        int width = header.sectionSizeHint(column);
        // The first shown column of a tree also holds the branch marks and the indentation.
        const bool treeColumn = tree && header.visualIndex(column) == 0;
        for (const QModelIndex& row : sample) {
            const QModelIndex cell = row.siblingAtColumn(column);
            int cellWidth = view.sizeHintForIndex(cell).width() + kCellPadding;
            if (treeColumn)
                cellWidth += tree->indentation() * (depthOf(cell) + (tree->rootIsDecorated() ? 1 : 0));
            width = std::max(width, cellWidth);
        }
        width = std::min(width, maxWidth);
        if (widths == Widths::Set ? width != header.sectionSize(column) : width > header.sectionSize(column))
            header.resizeSection(column, width);
    }
    return int(sample.size());
}

} // namespace crawlmere::views
