// The link inspector's on-page table: a plain table widget that a column manager can drive.
#include "views/LinkInspectorOnPageTable.h"

#include "views/ColumnFitting.h"
#include "views/CutCells.h"

#include <QHeaderView>

namespace crawlmere::views {

namespace {

constexpr int kFittedRows = 50;
constexpr int kMaxColumnWidth = 4000;

} // namespace

LinkInspectorOnPageTable::LinkInspectorOnPageTable(QWidget* parent)
    : QTableWidget(parent)
{
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    verticalHeader()->hide();
    horizontalHeader()->setStretchLastSection(true);
    cutCellsInTheMiddle(*this);
    keepColumnsWithinView(*this, *horizontalHeader(), kFittedRows, kMaxColumnWidth);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
        if (column < 0 || column >= columns.size())
            return;
        const QString key = columns[column].identifier;
        const bool ascending = descriptors.isEmpty() || descriptors.front().key != key || !descriptors.front().ascending;
        setSortDescriptors({ { key, ascending } });
        Q_EMIT sortDescriptorsChanged();
    });
}

void LinkInspectorOnPageTable::setTableColumns(const QList<TableColumn>& value)
{
    columns = value;
    setColumnCount(int(columns.size()));
    QStringList titles;
    for (const TableColumn& column : columns)
        titles.append(column.title);
    setHorizontalHeaderLabels(titles);
    // A header narrower than its title (a column of "YES" and "NO") reads whole in its tool tip.
    for (int column = 0; column < columnCount(); ++column)
        horizontalHeaderItem(column)->setToolTip(titles.value(column));
    for (qsizetype column = 0; column < columns.size(); ++column)
        QTableWidget::setColumnHidden(int(column), columns[column].hidden);
}

QList<TableColumn> LinkInspectorOnPageTable::tableColumns() const
{
    QList<TableColumn> shown = columns;
    for (qsizetype column = 0; column < shown.size(); ++column)
        shown[column].hidden = isColumnHidden(int(column));
    return shown;
}

void LinkInspectorOnPageTable::setSortDescriptors(QList<SortDescriptor> value)
{
    descriptors = std::move(value);
    const qsizetype column = descriptors.isEmpty() ? -1
        : std::find_if(columns.cbegin(), columns.cend(), [&](const TableColumn& c) { return c.identifier == descriptors.front().key; })
            - columns.cbegin();
    horizontalHeader()->setSortIndicatorShown(column >= 0 && column < columns.size());
    if (column >= 0 && column < columns.size())
        horizontalHeader()->setSortIndicator(int(column), descriptors.front().ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void LinkInspectorOnPageTable::setColumnHidden(qsizetype column, bool hidden)
{
    if (column < 0 || column >= columns.size())
        return;
    QTableWidget::setColumnHidden(int(column), hidden);
    fitColumns();
}

void LinkInspectorOnPageTable::fitColumns() { fitColumnsToView(*this, *horizontalHeader(), kFittedRows, kMaxColumnWidth); }

} // namespace crawlmere::views
