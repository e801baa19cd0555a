// The item model adapter of the result views.
#include "views/ResultItemModel.h"

#include "views/OutlineDataSource.h"

#include <algorithm>
#include <limits>

namespace crawlmere::views {

namespace {

int clampedCount(qsizetype count)
{
    return static_cast<int>(std::clamp<qsizetype>(count, 0, std::numeric_limits<int>::max()));
}

} // namespace

ResultItemModel::ResultItemModel(TableView& table, QObject* parent)
    : QAbstractItemModel(parent)
    , m_table(table)
{
}

ResultItemModel::~ResultItemModel() = default;

void ResultItemModel::setDataSource(qfDataSource* source)
{
    m_dataSource = source;
    reload();
}

void ResultItemModel::setOutlineDataSource(OutlineDataSource* source)
{
    m_outline = source;
    reload();
}

void ResultItemModel::setColumns(QList<TableColumn> columns)
{
    beginResetModel();
    m_columns = std::move(columns);
    resetRoot();
    endResetModel();
}

void ResultItemModel::reload()
{
    beginResetModel();
    resetRoot();
    endResetModel();
}

ResultItemModel::Node* ResultItemModel::parentNodeOf(const QModelIndex& index) const
{
    return static_cast<Node*>(index.internalPointer());
}

void ResultItemModel::resetRoot()
{
    static_assert(sizeof(Node) == 64, "an outline node is one cache line");
    m_root.children.reset();
    m_root.childCount = -1;
    m_root.childRows = nullptr;
    m_root.childOwner.reset();
}

ResultItemModel::Node* ResultItemModel::nodeFor(const QModelIndex& index) const
{
    if (!index.isValid())
        return &m_root;
    Node* parent = parentNodeOf(index);
    if (!parent->children)
        parent->children = std::make_unique<NodeChunks>();
    auto& chunks = parent->children->chunks;
    const auto chunk = size_t(index.row() / kNodesPerChunk);
    if (chunks.size() <= chunk)
        chunks.resize(chunk + 1);
    if (!chunks[chunk])
        chunks[chunk] = std::make_unique<Node[]>(kNodesPerChunk);
    Node& node = chunks[chunk][size_t(index.row() % kNodesPerChunk)];
    if (node.row < 0) {
        node.parent = parent;
        node.row = index.row();
        node.item = itemAt(parent, index.row());
    }
    return &node;
}

int ResultItemModel::outlineChildCount(Node* node) const
{
    if (node->childCount < 0) {
        if (node != &m_root && !m_outline->outlineViewIsItemExpandable(m_table, node->item)) {
            node->childCount = 0;
        } else {
            node->childCount = clampedCount(m_outline->outlineViewNumberOfChildrenOfItem(m_table, node->item));
            // A run of another length than the count is not read: rows are asked one by one.
            auto rows = m_outline->outlineViewChildRowsOfItem(m_table, node->item);
            if (rows && rows->count == node->childCount) {
                node->childRows = rows->first;
                node->childOwner = std::move(rows->owner);
            }
        }
    }
    return node->childCount;
}

const qfDataSource::Item* ResultItemModel::keptChild(Node* parent, int row) const
{
    outlineChildCount(parent);
    // Without a kept run the row is asked of the data source.
    if (!parent->childRows || row < 0 || row >= parent->childCount)
        return nullptr;
    return parent->childRows + row;
}

qfDataSource::Item ResultItemModel::itemAt(Node* parent, int row) const
{
    if (row < 0)
        return nullptr;
    if (m_outline) {
        if (const qfDataSource::Item* item = keptChild(parent, row))
            return *item;
        return m_outline->outlineViewChildOfItem(m_table, row, parent->item);
    }
    if (m_dataSource && parent == &m_root)
        return m_dataSource->getItemAtRowIndex(static_cast<quint64>(row));
    return nullptr;
}

const ResultItemModel::Node* ResultItemModel::madeNode(const QModelIndex& index) const
{
    const Node* parent = parentNodeOf(index);
    if (!parent || !parent->children || index.row() < 0)
        return nullptr;
    const auto& chunks = parent->children->chunks;
    const auto chunk = size_t(index.row() / kNodesPerChunk);
    if (chunk >= chunks.size() || !chunks[chunk])
        return nullptr;
    const Node& node = chunks[chunk][size_t(index.row() % kNodesPerChunk)];
    return node.row >= 0 ? &node : nullptr;
}

qfDataSource::Item ResultItemModel::itemForIndex(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this)
        return nullptr;
    // A row made into a node keeps the item it was made for until the next reload, even when the
    // data source has already changed its rows.
    if (m_outline) {
        if (const Node* node = madeNode(index))
            return node->item;
    }
    return itemAt(parentNodeOf(index), index.row());
}

bool ResultItemModel::isItemExpandable(const QModelIndex& index) const
{
    if (!m_outline)
        return false;
    if (!index.isValid())
        return true;
    if (index.model() != this)
        return false;
    if (const qfDataSource::Item* item = keptChild(parentNodeOf(index), index.row()))
        return m_outline->outlineViewIsItemExpandable(m_table, *item);
    return m_outline->outlineViewIsItemExpandable(m_table, itemForIndex(index));
}

QModelIndex ResultItemModel::index(int row, int column, const QModelIndex& parent) const
{
    // Only a first-column row has children (rowCount gives 0 for the others).
    if (row < 0 || column < 0 || column >= m_columns.size() || parent.column() > 0)
        return {};
    if (!m_outline)
        return !parent.isValid() && row < rowCount(parent) ? createIndex(row, column, &m_root) : QModelIndex();
    Node* node = nodeFor(parent);
    if (row >= outlineChildCount(node))
        return {};
    return createIndex(row, column, node);
}

QModelIndex ResultItemModel::parent(const QModelIndex& child) const
{
    if (!child.isValid())
        return {};
    Node* parent = parentNodeOf(child);
    if (!parent || parent == &m_root)
        return {};
    return createIndex(parent->row, 0, parent->parent);
}

int ResultItemModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    if (m_outline)
        return outlineChildCount(nodeFor(parent));
    if (parent.isValid() || !m_dataSource)
        return 0;
    return clampedCount(m_dataSource->numberOfRowsInTableView(m_table));
}

int ResultItemModel::columnCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    return clampedCount(m_columns.size());
}

bool ResultItemModel::hasChildren(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return rowCount(parent) > 0;
    if (parent.column() > 0 || !m_outline)
        return false;
    return isItemExpandable(parent) && rowCount(parent) > 0;
}

QVariant ResultItemModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.model() != this)
        return {};
    if (role == RowTitleRole) {
        if (!m_outline)
            return {};
        const QString title = m_outline->outlineViewRowTitleOfItem(m_table, itemForIndex(index));
        return title.isEmpty() ? QVariant() : QVariant(title);
    }
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    const TableColumn& column = m_columns.at(index.column());
    if (role == Qt::EditRole && !(flags(index) & Qt::ItemIsEditable))
        return {};
    if (m_outline) {
        if (const qfDataSource::Item* item = keptChild(parentNodeOf(index), index.row()))
            return m_outline->outlineViewObjectValue(m_table, column, *item);
        return m_outline->outlineViewObjectValue(m_table, column, itemForIndex(index));
    }
    if (!m_dataSource)
        return {};
    return m_dataSource->tableViewObjectValue(m_table, column, index.row());
}

QVariant ResultItemModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= m_columns.size())
        return {};
    return m_columns.at(section).title;
}

Qt::ItemFlags ResultItemModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    // A tree view keeps no state for rows that never have children (expanding all would file
    // every row as open otherwise).
    if (!m_outline || index.column() > 0 || !isItemExpandable(index))
        result |= Qt::ItemNeverHasChildren;
    if (!m_outline && m_editing.editable && m_editing.editable(m_columns.at(index.column())))
        result |= Qt::ItemIsEditable;
    return result;
}

bool ResultItemModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || !(flags(index) & Qt::ItemIsEditable) || !m_editing.commit)
        return false;
    m_editing.commit(m_columns.at(index.column()), index.row(), value);
    Q_EMIT dataChanged(index.siblingAtColumn(0), index.siblingAtColumn(int(m_columns.size()) - 1));
    return true;
}

} // namespace crawlmere::views
