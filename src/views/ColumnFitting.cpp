// Column widths from the header texts and the first rows.
#include "views/ColumnFitting.h"

#include <QAbstractItemView>
#include <QHeaderView>
#include <QLayout>
#include <QModelIndexList>
#include <QScrollBar>
#include <QScreen>
#include <QStyle>
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

// The rows a tree view shows in its viewport, top to bottom, at most `limit` of them.
QModelIndexList rowsInView(const QTreeView& tree, int limit)
{
    QModelIndexList rows;
    const int bottom = tree.viewport()->height();
    for (QModelIndex row = tree.indexAt(QPoint(0, 0)); row.isValid() && rows.size() < limit;
         row = tree.indexBelow(row)) {
        if (tree.visualRect(row).top() >= bottom)
            break;
        rows.append(row.siblingAtColumn(0));
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

int fitColumnsToRows(QAbstractItemView& view, QHeaderView& header, int rows, int maxWidth, Widths widths,
    int onlyColumn, const QSet<int>& leaveAlone)
{
    const QAbstractItemModel* model = view.model();
    if (!model)
        return 0;
    QModelIndexList sample = sampleRows(*model, rows);
    const auto* tree = qobject_cast<const QTreeView*>(&view);
    if (tree) {
        // What the user looks at counts as much as the first rows.
        const QSet<QModelIndex> first(sample.cbegin(), sample.cend());
        for (const QModelIndex& row : rowsInView(*tree, rows)) {
            if (!first.contains(row))
                sample.append(row);
        }
    }
    int lastShown = -1;
    for (int visual = header.count() - 1; visual >= 0 && lastShown < 0; --visual) {
        if (!header.isSectionHidden(header.logicalIndex(visual)))
            lastShown = header.logicalIndex(visual);
    }
    for (int column = 0; column < header.count(); ++column) {
        if (header.isSectionHidden(column) || (onlyColumn >= 0 && column != onlyColumn)
            || leaveAlone.contains(column) || (column == lastShown && header.stretchLastSection()))
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

void fitWindowToColumns(QWidget& window, const QTreeView& view, int minimumHeight)
{
    const QHeaderView& header = *view.header();
    int columns = 0;
    int lastShown = -1;
    for (int visual = 0; visual < header.count(); ++visual) {
        const int logical = header.logicalIndex(visual);
        if (header.isSectionHidden(logical))
            continue;
        columns += header.sectionSize(logical);
        lastShown = logical;
    }
    if (lastShown >= 0 && header.stretchLastSection()) {
        const int needed = std::max(header.sectionSizeHint(lastShown), static_cast<const QAbstractItemView&>(view).sizeHintForColumn(lastShown) + kCellPadding);
        columns += needed - header.sectionSize(lastShown);
    }
    // Whatever the window holds beside the view's viewport: frames, margins and room for a
    // vertical scroll bar (laid out first, so a window not shown yet measures the same).
    if (QLayout* layout = window.layout())
        layout->activate();
    const int around = std::max(0, window.width() - view.viewport()->width())
        + (view.verticalScrollBar()->isVisibleTo(&window) ? 0 : view.style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    QSize wanted(std::max(window.width(), columns + around), std::max(window.height(), minimumHeight));
    if (const QScreen* screen = window.screen())
        wanted = wanted.boundedTo(screen->availableGeometry().size() * 9 / 10);
    window.resize(wanted);
}

} // namespace crawlmere::views
