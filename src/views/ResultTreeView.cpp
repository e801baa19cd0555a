// The shared base of the result table and outline views.
#include "views/ResultTreeView.h"

#include "platform/NotificationCenter.h"
#include "views/ColumnFitting.h"
#include "views/CutCells.h"
#include "views/OutlineDataSource.h"
#include "views/ResultItemModel.h"
#include "views/ResultViewDelegate.h"
#include "views/ShapeAdditions.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSet>
#include <QSignalBlocker>

#include <algorithm>
#include <functional>
#include <utility>

namespace crawlmere::views {

ResultTreeView::ResultTreeView(QWidget* parent)
    : QTreeView(parent)
    , m_model(new ResultItemModel(*this, this))
{
    setModel(m_model);
    setUniformRowHeights(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setAllColumnsShowFocus(true);
    header()->setSectionsClickable(true);
    header()->setSectionsMovable(true);
    header()->setSortIndicatorShown(false);
    connect(header(), &QHeaderView::sectionClicked, this, &ResultTreeView::headerClicked);
    // Columns are fitted to their rows until the user sizes them: a section resized while the
    // header is pressed is the user's.
    header()->viewport()->installEventFilter(this);
    connect(header(), &QHeaderView::sectionResized, this, [this](int logical) {
        if (m_headerPressed && !m_fitting)
            m_userSizedColumns.insert(logical);
    });
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Two long addresses differ in their middle or end: they lose their middle, and a cut cell
    // reads whole in its tool tip.
    cutCellsInTheMiddle(*this);
    // The rows' items are read as the selection changes: by the time the view reloads, its data
    // source may show other items at those rows.
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!m_restoring)
            rememberSelection();
    });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (!m_restoring)
            m_currentItem = itemAt(current);
    });
}

ResultTreeView::~ResultTreeView() = default;

void ResultTreeView::setTableColumns(const QList<TableColumn>& columns)
{
    m_sortDescriptors.clear();
    m_userSizedColumns.clear();
    header()->setSortIndicatorShown(false);
    m_model->setColumns(columns);
    for (qsizetype logical = 0; logical < columns.size(); ++logical) {
        header()->moveSection(header()->visualIndex(static_cast<int>(logical)), static_cast<int>(logical));
        QTreeView::setColumnHidden(static_cast<int>(logical), columns.at(logical).hidden);
    }
}

void ResultTreeView::clearSortDescriptors()
{
    m_sortDescriptors.clear();
    header()->setSortIndicatorShown(false);
}

void ResultTreeView::setDataSource(qfDataSource* source) { m_model->setDataSource(source); }

void ResultTreeView::setOutlineDataSource(OutlineDataSource* source) { m_model->setOutlineDataSource(source); }

qfDataSource::Item ResultTreeView::itemAt(const QModelIndex& index) const { return m_model->itemForIndex(index); }

namespace {

// The rows from the top level down to `index`: comparing these orders rows as an outline shows
// them, expanded or not.
QList<int> rowPath(QModelIndex index)
{
    QList<int> path;
    for (; index.isValid(); index = index.parent())
        path.prepend(index.row());
    return path;
}

} // namespace

QList<qfDataSource::Item> ResultTreeView::selectedItems() const
{
    QModelIndexList rows = selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
        [](const QModelIndex& left, const QModelIndex& right) { return rowPath(left) < rowPath(right); });
    QList<qfDataSource::Item> items;
    items.reserve(rows.size());
    for (const QModelIndex& row : rows) {
        if (qfDataSource::Item item = itemAt(row))
            items.append(std::move(item));
    }
    return items;
}

QList<TableColumn> ResultTreeView::tableColumns() const
{
    const QList<TableColumn>& logicalColumns = m_model->columns();
    QList<TableColumn> columns;
    columns.reserve(logicalColumns.size());
    for (int visual = 0; visual < header()->count(); ++visual) {
        const int logical = header()->logicalIndex(visual);
        if (logical < 0 || logical >= logicalColumns.size())
            continue;
        TableColumn column = logicalColumns.at(logical);
        column.hidden = header()->isSectionHidden(logical);
        columns.append(std::move(column));
    }
    return columns;
}

void ResultTreeView::reloadData()
{
    reloadRows();
    postReloadNotification();
}

void ResultTreeView::reloadData(QObject* /*sender*/) { reloadRows(); }

void ResultTreeView::rememberSelection()
{
    m_selectedItems.clear();
    // Range by range: a whole table selected is one range, not a list of its rows.
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row) {
            if (qfDataSource::Item item = itemAt(m_model->index(row, 0, range.parent())))
                m_selectedItems.insert(item.get(), std::move(item));
        }
    }
}

void ResultTreeView::commitData(QWidget* editor)
{
    m_committing = true;
    QTreeView::commitData(editor);
    m_committing = false;
    // The editor is closed next (`closeEditor`); should it not be, the reload still comes.
    if (m_reloadAfterEditing) {
        QMetaObject::invokeMethod(this, [this] {
            if (std::exchange(m_reloadAfterEditing, false))
                reloadRows();
        }, Qt::QueuedConnection);
    }
}

void ResultTreeView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    QTreeView::closeEditor(editor, hint);
    if (std::exchange(m_reloadAfterEditing, false))
        reloadRows();
}

void ResultTreeView::reloadRows()
{
    // A reset now would close the editor under the view's feet.
    if (m_committing) {
        m_reloadAfterEditing = true;
        return;
    }
    // Selection, current row and open rows follow their items; items no longer shown drop out.
    const QHash<const void*, qfDataSource::Item> selected = std::exchange(m_selectedItems, {});
    const qfDataSource::Item current = std::exchange(m_currentItem, nullptr);
    const QSet<const void*> expanded = m_model->outlineDataSource() ? expandedItems() : QSet<const void*>();
    m_restoring = true;
    m_model->reload();
    QItemSelection selection;
    QModelIndex currentRow;
    const auto wanted = [&](const QModelIndex& index, const void* item) {
        if (selected.contains(item))
            selection.select(index, index);
        if (current && item == current.get())
            currentRow = index;
    };
    if (!m_model->outlineDataSource()) {
        // Runs of selected rows become one range each; the walk ends once every item is found.
        qfDataSource* source = m_model->dataSource();
        const int rows = m_model->rowCount();
        qsizetype toFind = selected.size() + (current ? 1 : 0);
        int runStart = -1;
        for (int row = 0; source && row < rows && (toFind > 0 || runStart >= 0); ++row) {
            const void* item = source->getItemAtRowIndex(quint64(row)).get();
            const bool chosen = item && selected.contains(item);
            if (chosen && runStart < 0)
                runStart = row;
            if (!chosen && runStart >= 0) {
                selection.select(m_model->index(runStart, 0), m_model->index(row - 1, 0));
                runStart = -1;
            }
            toFind -= chosen;
            if (current && item == current.get()) {
                currentRow = m_model->index(row, 0);
                --toFind;
            }
        }
        if (runStart >= 0)
            selection.select(m_model->index(runStart, 0), m_model->index(rows - 1, 0));
    } else if (!expanded.isEmpty() || !selected.isEmpty() || current) {
        const QSignalBlocker quiet(this);
        const std::function<void(const QModelIndex&)> restore = [&](const QModelIndex& parent) {
            const int rows = m_model->rowCount(parent);
            for (int row = 0; row < rows; ++row) {
                const QModelIndex index = m_model->index(row, 0, parent);
                const qfDataSource::Item item = itemAt(index);
                wanted(index, item.get());
                if (expanded.contains(item.get())) {
                    setExpanded(index, true);
                    restore(index);
                }
            }
        };
        restore(QModelIndex());
    }
    if (currentRow.isValid())
        selectionModel()->setCurrentIndex(currentRow, QItemSelectionModel::NoUpdate);
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_restoring = false;
    rememberSelection();
    m_currentItem = itemAt(currentIndex());
    spanTitledRows();
    fitColumnsToContent();
}

void ResultTreeView::spanTitledRows()
{
    OutlineDataSource* outline = m_model->outlineDataSource();
    if (!outline || !outline->outlineViewHasRowTitles())
        return;
    const int rows = m_model->rowCount();
    for (int row = 0; row < rows; ++row) {
        if (m_model->index(row, 0).data(ResultItemModel::RowTitleRole).isValid())
            setFirstColumnSpanned(row, QModelIndex(), true);
    }
}

void ResultTreeView::fitColumnsToContent()
{
    // Every change of the rows (new ones, a filter, a sort) and of the view's width sizes the
    // columns afresh, so a status or address that comes into view reads whole, or where the
    // width does not hold them all, every column shows and the addresses get the most of it; an
    // empty view keeps the widths it had.
    if (m_model->rowCount() == 0)
        return;
    const QScopedValueRollback fitting(m_fitting, true);
    // A hidden view's width is not the one it will show at: its columns take what they need (a
    // window can be sized to them) and share the width once the view shows.
    if (!isVisible()) {
        m_fittedWidth = -1;
        fitColumnsToRows(*this, *header(), kSampledRows, kMaxFittedWidth, Widths::Set, -1, m_userSizedColumns);
        return;
    }
    m_fittedWidth = viewport()->width();
    fitColumnsToView(*this, *header(), kSampledRows, kMaxFittedWidth, m_userSizedColumns);
}

void ResultTreeView::resizeEvent(QResizeEvent* event)
{
    QTreeView::resizeEvent(event);
    if (isVisible() && viewport()->width() != m_fittedWidth)
        fitColumnsToContent();
}

void ResultTreeView::showEvent(QShowEvent* event)
{
    QTreeView::showEvent(event);
    if (viewport()->width() != m_fittedWidth)
        fitColumnsToContent();
}

bool ResultTreeView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == header()->viewport()) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            m_headerPressed = true;
            break;
        case QEvent::MouseButtonRelease:
            // A double-click on a section's edge resizes it after its second release.
            QMetaObject::invokeMethod(this, [this] { m_headerPressed = false; }, Qt::QueuedConnection);
            break;
        default:
            break;
        }
    }
    return QTreeView::eventFilter(watched, event);
}

void ResultTreeView::scrollToColumn(int logical)
{
    if (logical < 0 || logical >= header()->count() || header()->isSectionHidden(logical))
        return;
    updateGeometries();
    const int left = header()->sectionViewportPosition(logical);
    const int right = left + header()->sectionSize(logical);
    QScrollBar* bar = horizontalScrollBar();
    if (right > viewport()->width())
        bar->setValue(bar->value() + std::min(right - viewport()->width(), left));
    else if (left < 0)
        bar->setValue(bar->value() + left);
}

QSet<const void*> ResultTreeView::expandedItems() const
{
    // Expanded rows keep the items they were made for (see ResultItemModel::itemForIndex).
    QSet<const void*> items;
    const std::function<void(const QModelIndex&)> collect = [&](const QModelIndex& parent) {
        const int count = m_model->rowCount(parent);
        for (int row = 0; row < count; ++row) {
            const QModelIndex index = m_model->index(row, 0, parent);
            if (isExpanded(index)) {
                items.insert(itemAt(index).get());
                collect(index);
            }
        }
    };
    collect(QModelIndex());
    return items;
}

void ResultTreeView::setColumnHidden(qsizetype column, bool hidden)
{
    if (column < 0 || column >= header()->count())
        return;
    const int logical = header()->logicalIndex(static_cast<int>(column));
    const bool shown = !hidden && header()->isSectionHidden(logical);
    QTreeView::setColumnHidden(logical, hidden);
    if (!shown || !isVisible())
        return;
    // A column the user adds is as wide as its rows need and scrolled into view.
    const QScopedValueRollback fitting(m_fitting, true);
    fitColumnsToRows(*this, *header(), kSampledRows, kMaxFittedWidth, Widths::Set, logical);
    scrollToColumn(logical);
}

void ResultTreeView::moveColumn(qsizetype from, qsizetype to)
{
    if (from < 0 || from >= header()->count() || to < 0 || to >= header()->count())
        return;
    header()->moveSection(static_cast<int>(from), static_cast<int>(to));
}

void ResultTreeView::postReloadNotification()
{
    QTreeView* view = this;
    platform::NotificationCenter::defaultCenter().post(
        reloadNotificationName(), std::shared_ptr<void>(std::shared_ptr<void>(), view));
}

QRectF ResultTreeView::labelRectForRow(const QRect& rowRect)
{
    return QRectF(rowRect.x() + 1, rowRect.y() + 1, rowRect.width() - 2, rowRect.height() - 1);
}

QPainterPath ResultTreeView::labelPathForRow(const QRect& rowRect)
{
    return ShapeAdditions::bezierPathWithRoundRectInRect(labelRectForRow(rowRect), 10.0f);
}

void ResultTreeView::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (m_delegate && !selectionModel()->isRowSelected(index.row(), index.parent())) {
        const auto colour = m_delegate->tableViewLabelColorForRow(const_cast<ResultTreeView&>(*this), index);
        if (colour) {
            const int offset = header()->offset();
            const QRect rowRect(-offset, option.rect.y(), std::max(viewport()->width() + offset, header()->length()),
                option.rect.height());
            painter->save();
            painter->setRenderHint(QPainter::Antialiasing);
            painter->fillPath(
                labelPathForRow(rowRect), QColor::fromRgbF(colour->red, colour->green, colour->blue, colour->alpha));
            painter->restore();
            // An alternate row's background would cover the label.
            QStyleOptionViewItem labelled = option;
            labelled.palette.setColor(QPalette::AlternateBase, Qt::transparent);
            QTreeView::drawRow(painter, labelled, index);
            drawRowTitle(painter, option, index);
            return;
        }
    }
    QTreeView::drawRow(painter, option, index);
    drawRowTitle(painter, option, index);
}

void ResultTreeView::drawRowTitle(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (!isFirstColumnSpanned(index.row(), index.parent()))
        return;
    const QString title = index.data(ResultItemModel::RowTitleRole).toString();
    if (title.isEmpty())
        return;
    // Across the row from where the first shown column's text starts, past the branch marks.
    int first = -1;
    for (int visual = 0; visual < header()->count() && first < 0; ++visual) {
        if (!header()->isSectionHidden(header()->logicalIndex(visual)))
            first = header()->logicalIndex(visual);
    }
    int depth = 0;
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
        ++depth;
    const int left = columnViewportPosition(first) + indentation() * (depth + (rootIsDecorated() ? 1 : 0)) + 4;
    const QRect text(left, option.rect.y(), std::max(0, viewport()->width() - left - 4), option.rect.height());
    const bool selected = selectionModel()->isRowSelected(index.row(), index.parent());
    painter->save();
    painter->setFont(option.font);
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(
        text, Qt::AlignLeft | Qt::AlignVCenter, option.fontMetrics.elidedText(title, Qt::ElideRight, text.width()));
    painter->restore();
}

QMenu* ResultTreeView::menuForEvent(const QPoint& viewportPoint)
{
    if (selectionModel()->selectedRows().size() > 1)
        return m_tertiaryMenu;
    const QModelIndex row = indexAt(viewportPoint).siblingAtColumn(0);
    if (!row.isValid()) {
        selectionModel()->clear();
        return m_menu;
    }
    selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    return menuForRow(row);
}

void ResultTreeView::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* chosen = menuForEvent(event->pos());
    if (chosen)
        chosen->popup(event->globalPos());
    event->accept();
}

void ResultTreeView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton && selectionModel()->selectedRows().size() > 1) {
        m_keptSelectionOnPress = true;
        event->accept();
        return;
    }
    m_keptSelectionOnPress = false;
    QTreeView::mousePressEvent(event);
}

void ResultTreeView::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_keptSelectionOnPress && event->button() == Qt::RightButton) {
        m_keptSelectionOnPress = false;
        event->accept();
        return;
    }
    QTreeView::mouseReleaseEvent(event);
}

void ResultTreeView::keyPressEvent(QKeyEvent* event)
{
    if (event == QKeySequence::Copy) {
        copy();
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void ResultTreeView::headerClicked(int logicalIndex)
{
    const QList<TableColumn>& columns = m_model->columns();
    if (logicalIndex < 0 || logicalIndex >= columns.size())
        return;
    const TableColumn& column = columns.at(logicalIndex);
    if (!m_sortDescriptors.isEmpty() && m_sortDescriptors.first().key == column.identifier) {
        m_sortDescriptors.first().ascending = !m_sortDescriptors.first().ascending;
    } else {
        m_sortDescriptors.removeIf(
            [&](const SortDescriptor& descriptor) { return descriptor.key == column.identifier; });
        m_sortDescriptors.prepend({ column.identifier, true });
    }
    header()->setSortIndicatorShown(true);
    header()->setSortIndicator(
        logicalIndex, m_sortDescriptors.first().ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    sortDescriptorsDidChange(column);
}

void ResultTreeView::setSortDescriptors(QList<SortDescriptor> descriptors)
{
    m_sortDescriptors = std::move(descriptors);
    const QList<TableColumn>& columns = m_model->columns();
    qsizetype logical = -1;
    for (qsizetype i = 0; !m_sortDescriptors.isEmpty() && i < columns.size() && logical < 0; ++i) {
        if (columns.at(i).identifier == m_sortDescriptors.first().key)
            logical = i;
    }
    header()->setSortIndicatorShown(logical >= 0);
    if (logical >= 0)
        header()->setSortIndicator(
            static_cast<int>(logical), m_sortDescriptors.first().ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void ResultTreeView::sortDescriptorsDidChange(const TableColumn& column)
{
    if (OutlineDataSource* outline = m_model->outlineDataSource()) {
        const QModelIndex current = currentIndex().siblingAtColumn(0);
        const qfDataSource::Item remembered
            = current.isValid() && selectionModel()->isRowSelected(current.row(), current.parent()) ? itemAt(current)
                                                                                                    : nullptr;
        outline->outlineViewDidClickTableColumn(*this, column);
        if (!remembered)
            return;
        // The reload kept the selection by item; the remembered row becomes the only one.
        for (const QModelIndex& row : selectionModel()->selectedRows()) {
            if (itemAt(row) == remembered) {
                selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
                scrollTo(row);
                return;
            }
        }
    } else if (qfDataSource* source = m_model->dataSource()) {
        source->tableViewSortDescriptorsDidChange(*this);
    }
}

} // namespace crawlmere::views
