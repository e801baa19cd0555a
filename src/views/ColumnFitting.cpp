// Column widths from the header texts and the first rows.
#include "views/ColumnFitting.h"

#include <QAbstractItemView>
#include <QHeaderView>
#include <QLayout>
#include <QModelIndexList>
#include <QResizeEvent>
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

namespace {

// The rows to measure: the first `rows` of the model and, in a tree view, those in view.
QModelIndexList sampleOf(const QAbstractItemView& view, int rows)
{
    QModelIndexList sample = sampleRows(*view.model(), rows);
    if (const auto* tree = qobject_cast<const QTreeView*>(&view)) {
        // What the user looks at counts as much as the first rows.
        const QSet<QModelIndex> first(sample.cbegin(), sample.cend());
        for (const QModelIndex& row : rowsInView(*tree, rows)) {
            if (!first.contains(row))
                sample.append(row);
        }
    }
    return sample;
}

// The logical index of the last shown column; -1 when none shows.
int lastShownColumn(const QHeaderView& header)
{
    for (int visual = header.count() - 1; visual >= 0; --visual) {
        if (!header.isSectionHidden(header.logicalIndex(visual)))
            return header.logicalIndex(visual);
    }
    return -1;
}

// What the column of logical index `column` needs for its header and the sampled rows, and
// whether it lists addresses.
ColumnRoom measure(const QAbstractItemView& view, const QHeaderView& header, const QModelIndexList& sample, int column)
{
    const auto* tree = qobject_cast<const QTreeView*>(&view);
    ColumnRoom room;
    room.least = header.sectionSizeHint(column);
    int width = room.least;
    int texts = 0;
    int addresses = 0;
    // The first shown column of a tree also holds the branch marks and the indentation.
    const bool treeColumn = tree && header.visualIndex(column) == 0;
    for (const QModelIndex& row : sample) {
        const QModelIndex cell = row.siblingAtColumn(column);
        int cellWidth = view.sizeHintForIndex(cell).width() + kCellPadding;
        if (treeColumn)
            cellWidth += tree->indentation() * (depthOf(cell) + (tree->rootIsDecorated() ? 1 : 0));
        width = std::max(width, cellWidth);
        const QString text = cell.data().toString();
        if (!text.isEmpty())
            room.cells = std::max(room.cells, cellWidth);
        texts += !text.isEmpty();
        addresses += text.contains(QLatin1String("://"));
    }
    room.wanted = width;
    room.address = addresses * 2 > texts;
    room.sparse = texts * 4 < sample.size();
    return room;
}

} // namespace

int fitColumnsToRows(QAbstractItemView& view, QHeaderView& header, int rows, int maxWidth, Widths widths,
    int onlyColumn, const QSet<int>& leaveAlone)
{
    if (!view.model())
        return 0;
    const QModelIndexList sample = sampleOf(view, rows);
    const int lastShown = lastShownColumn(header);
    for (int column = 0; column < header.count(); ++column) {
        if (header.isSectionHidden(column) || (onlyColumn >= 0 && column != onlyColumn)
            || leaveAlone.contains(column) || (column == lastShown && header.stretchLastSection()))
            continue;
        const int width = std::min(measure(view, header, sample, column).wanted, maxWidth);
        if (widths == Widths::Set ? width != header.sectionSize(column) : width > header.sectionSize(column))
            header.resizeSection(column, width);
    }
    return int(sample.size());
}

QList<int> shareWidth(int available, const QList<ColumnRoom>& columns)
{
    // The sparse columns read their headers while the others share the width; what is left over
    // then is theirs.
    if (std::any_of(columns.cbegin(), columns.cend(), [](const ColumnRoom& c) { return c.sparse; })) {
        QList<ColumnRoom> others = columns;
        for (ColumnRoom& column : others) {
            if (column.sparse)
                column = { std::min(column.least, column.wanted), std::min(column.least, column.wanted) };
        }
        QList<int> widths = shareWidth(available, others);
        int left = available;
        for (const int width : widths)
            left -= width;
        for (qsizetype i = 0; i < columns.size() && left > 0; ++i) {
            if (columns[i].sparse && widths[i] < columns[i].wanted) {
                const int more = std::min(left, columns[i].wanted - widths[i]);
                widths[i] += more;
                left -= more;
            }
        }
        return widths;
    }
    QList<int> widths;
    int wanted = 0;
    for (const ColumnRoom& column : columns) {
        wanted += column.wanted;
        widths.append(column.wanted);
    }
    if (wanted <= available || columns.isEmpty())
        return widths;
    // Each column's floor: its header; an address also as much as it needs up to a share of the
    // width that keeps it legible among many columns; a column of short texts also as much as it
    // needs up to an even share, unless those floors do not fit.
    const auto addressCount = std::count_if(columns.cbegin(), columns.cend(), [](const ColumnRoom& c) { return c.address; });
    const int addressShare = available / int(addressCount + 2);
    const int even = available / int(columns.size());
    QList<int> floors;
    int least = 0;
    for (const ColumnRoom& column : columns) {
        const int header = std::min(column.least, column.wanted);
        floors.append(std::max(header, std::min(column.wanted, column.address ? addressShare : even)));
        least += floors.last();
    }
    if (least > available) {
        least = 0;
        for (qsizetype i = 0; i < columns.size(); ++i) {
            if (!columns[i].address)
                floors[i] = std::min(columns[i].least, columns[i].wanted);
            least += floors[i];
        }
    }
    if (least > available) {
        least = 0;
        for (qsizetype i = 0; i < columns.size(); ++i) {
            if (!columns[i].address && columns[i].cells > 0)
                floors[i] = std::min(floors[i], columns[i].cells);
            least += floors[i];
        }
    }
    // The width each column has at the level `level`: `level` pixels a part, between its floor
    // and what it wants.
    const auto widthAt = [&](qsizetype i, int level) {
        return std::clamp((columns[i].address ? 2 : 1) * level, floors[i], std::max(floors[i], columns[i].wanted));
    };
    const auto totalAt = [&](int level) {
        int total = 0;
        for (qsizetype i = 0; i < columns.size(); ++i)
            total += widthAt(i, level);
        return total;
    };
    // The highest level that fits: at 0 every column has its floor; the pixels a level more would
    // overfill go one by one to the columns still short, addresses first.
    int level = 0;
    if (least < available) {
        int high = 0;
        for (const ColumnRoom& column : columns)
            high = std::max(high, column.wanted);
        while (level < high) {
            const int middle = level + (high - level + 1) / 2;
            if (totalAt(middle) <= available)
                level = middle;
            else
                high = middle - 1;
        }
    }
    int left = available - totalAt(level);
    for (qsizetype i = 0; i < columns.size(); ++i)
        widths[i] = widthAt(i, level);
    for (bool given = true; left > 0 && given;) {
        given = false;
        for (const bool addresses : { true, false }) {
            for (qsizetype i = 0; i < columns.size() && left > 0; ++i) {
                if (columns[i].address == addresses && widths[i] < columns[i].wanted) {
                    ++widths[i];
                    --left;
                    given = true;
                }
            }
        }
    }
    return widths;
}

int fitColumnsToView(QAbstractItemView& view, QHeaderView& header, int rows, int maxWidth, const QSet<int>& leaveAlone)
{
    if (!view.model())
        return 0;
    const QModelIndexList sample = sampleOf(view, rows);
    const int lastShown = lastShownColumn(header);
    const bool stretched = header.stretchLastSection();
    QList<int> shown;
    QList<ColumnRoom> needs;
    QList<ColumnRoom> bounded;
    int available = view.viewport()->width();
    for (int visual = 0; visual < header.count(); ++visual) {
        const int column = header.logicalIndex(visual);
        if (header.isSectionHidden(column))
            continue;
        if (leaveAlone.contains(column) && !(column == lastShown && stretched)) {
            available -= header.sectionSize(column);
            continue;
        }
        shown.append(column);
        needs.append(measure(view, header, sample, column));
        ColumnRoom room = needs.last();
        room.wanted = std::min(room.wanted, std::max(maxWidth, room.least));
        bounded.append(room);
    }
    available = std::max(0, available);
    QList<int> widths = shareWidth(available, bounded);
    // Room the bounded widths leave goes to the addresses cut by the bound (the stretched last
    // column takes what is left by stretching).
    int left = available;
    for (int width : widths)
        left -= width;
    if (left > 0) {
        QList<ColumnRoom> more;
        for (qsizetype i = 0; i < shown.size(); ++i) {
            const bool cut = needs[i].address && !(shown[i] == lastShown && stretched);
            more.append({ 0, cut ? needs[i].wanted - widths[i] : 0, true });
        }
        const QList<int> extra = shareWidth(left, more);
        for (qsizetype i = 0; i < shown.size(); ++i)
            widths[i] += extra[i];
    }
    for (qsizetype i = 0; i < shown.size(); ++i) {
        // The header stretches its last column from the width it is given to what the others leave.
        if (widths[i] != header.sectionSize(shown[i]))
            header.resizeSection(shown[i], widths[i]);
    }
    return int(sample.size());
}

namespace {

// Refits a view's columns when its viewport's width changes.
class WidthWatcher : public QObject {
public:
    WidthWatcher(QAbstractItemView& view, QHeaderView& header, int rows, int maxWidth)
        : QObject(&view)
        , m_view(view)
        , m_header(header)
        , m_rows(rows)
        , m_maxWidth(maxWidth)
    {
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Resize && watched == m_view.viewport()) {
            const auto* resize = static_cast<QResizeEvent*>(event);
            if (resize->size().width() != resize->oldSize().width())
                fitColumnsToView(m_view, m_header, m_rows, m_maxWidth);
        }
        return false;
    }

private:
    QAbstractItemView& m_view;
    QHeaderView& m_header;
    int m_rows;
    int m_maxWidth;
};

} // namespace

void keepColumnsWithinView(QAbstractItemView& view, QHeaderView& header, int rows, int maxWidth)
{
    view.viewport()->installEventFilter(new WidthWatcher(view, header, rows, maxWidth));
    fitColumnsToView(view, header, rows, maxWidth);
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
