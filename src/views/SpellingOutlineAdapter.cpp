// The spelling results' by-word outline on screen.
#include "views/SpellingOutlineAdapter.h"

#include "reports/WbtlySpellingManager.h"
#include "views/ResultItemModel.h"
#include "views/qfOutlineView.h"

#include <QItemSelectionModel>

namespace crawlmere::views {

SpellingOutlineAdapter::SpellingOutlineAdapter(qfOutlineView& view, QString outlineColumn)
    : m_view(view)
    , m_outlineColumn(std::move(outlineColumn))
{
    const auto drop = [this] { m_rows.reset(); };
    m_connections << QObject::connect(&m_view, &QTreeView::expanded, drop)
                  << QObject::connect(&m_view, &QTreeView::collapsed, drop)
                  << QObject::connect(&m_view.itemModel(), &QAbstractItemModel::modelReset, drop);
}

SpellingOutlineAdapter::~SpellingOutlineAdapter()
{
    for (const auto& connection : std::as_const(m_connections))
        QObject::disconnect(connection);
    m_view.setOutlineDataSource(nullptr);
}

void SpellingOutlineAdapter::setManager(reports::WbtlySpellingManager* manager)
{
    m_manager = manager;
    m_view.setOutlineDataSource(manager ? this : nullptr);
}

QList<TableColumn> SpellingOutlineAdapter::tableColumns() const { return m_view.tableColumns(); }

void SpellingOutlineAdapter::reloadData()
{
    m_rows.reset();
    m_view.reloadData();
}

const QList<QModelIndex>& SpellingOutlineAdapter::rows()
{
    if (!m_rows) {
        QList<QModelIndex> shown;
        for (QModelIndex index = m_view.itemModel().index(0, 0); index.isValid(); index = m_view.indexBelow(index))
            shown.append(index);
        m_rows = std::move(shown);
    }
    return *m_rows;
}

OutlineView::Item SpellingOutlineAdapter::itemAtRow(qsizetype row)
{
    return row >= 0 && row < rows().size() ? m_view.itemAt(rows().at(row)) : nullptr;
}

OutlineView::Item SpellingOutlineAdapter::parentAtRow(qsizetype row)
{
    return row >= 0 && row < rows().size() ? m_view.itemAt(rows().at(row).parent()) : nullptr;
}

bool SpellingOutlineAdapter::isItemExpandable(const Item& item)
{
    return m_manager && item && m_manager->outlineIsItemExpandable(*this, item);
}

QModelIndex SpellingOutlineAdapter::topLevelIndexOf(const Item& item)
{
    const int count = m_view.itemModel().rowCount();
    for (int row = 0; row < count; ++row) {
        const QModelIndex index = m_view.itemModel().index(row, 0);
        if (m_view.itemAt(index) == item)
            return index;
    }
    return {};
}

void SpellingOutlineAdapter::expandItem(const Item& item)
{
    if (const QModelIndex index = topLevelIndexOf(item); index.isValid() && isItemExpandable(item))
        m_view.expandItem(index);
}

void SpellingOutlineAdapter::collapseItem(const Item& item)
{
    if (const QModelIndex index = topLevelIndexOf(item); index.isValid())
        m_view.collapseItem(index);
}

QList<qsizetype> SpellingOutlineAdapter::selectedRowIndexes()
{
    QList<qsizetype> selected;
    const QModelIndexList chosen = m_view.selectionModel()->selectedRows(0);
    const QList<QModelIndex>& shown = rows();
    for (qsizetype row = 0; row < shown.size(); ++row)
        if (chosen.contains(shown.at(row)))
            selected.append(row);
    return selected;
}

void SpellingOutlineAdapter::deselectAll() { m_view.clearSelection(); }

qsizetype SpellingOutlineAdapter::outlineViewNumberOfChildrenOfItem(TableView&, const Item& item)
{
    return m_manager ? m_manager->outlineNumberOfChildren(*this, item) : 0;
}

OutlineView::Item SpellingOutlineAdapter::outlineViewChildOfItem(TableView&, qsizetype index, const Item& item)
{
    return m_manager ? m_manager->outlineChild(*this, index, item) : nullptr;
}

bool SpellingOutlineAdapter::outlineViewIsItemExpandable(TableView&, const Item& item)
{
    return isItemExpandable(item);
}

QVariant SpellingOutlineAdapter::outlineViewObjectValue(TableView&, const TableColumn& column, const Item& item)
{
    return m_manager ? m_manager->outlineObjectValue(*this, column.identifier, item) : QString();
}

} // namespace crawlmere::views
