// The insecure-content outline as an item model: the internal id of a second URL's index is its
// item's row plus one; an item's index has id 0.
#include "views/InsecureOutlineModel.h"

#include "reports/CrwlInsecureDataSource.h"

using crawlmere::reports::CrwlInsecureDataSource;

namespace crawlmere::views {

namespace {

CrwlInsecureDataSource::Node nodeOf(const QModelIndex& index)
{
    if (!index.isValid())
        return {};
    if (index.internalId() == 0)
        return { index.row(), -1 };
    return { qsizetype(index.internalId() - 1), index.row() };
}

} // namespace

const QStringList& InsecureOutlineModel::columnIdentifiers()
{
    static const QStringList identifiers { QStringLiteral("linkurl"), QStringLiteral("comment") };
    return identifiers;
}

InsecureOutlineModel::InsecureOutlineModel(const CrwlInsecureDataSource& source, QObject* parent)
    : QAbstractItemModel(parent)
    , m_source(source)
{
}

void InsecureOutlineModel::reload()
{
    beginResetModel();
    endResetModel();
}

QModelIndex InsecureOutlineModel::index(int row, int column, const QModelIndex& parent) const
{
    if (!hasIndex(row, column, parent))
        return {};
    if (!parent.isValid())
        return createIndex(row, column, quintptr(0));
    return createIndex(row, column, quintptr(parent.row()) + 1);
}

QModelIndex InsecureOutlineModel::parent(const QModelIndex& child) const
{
    if (!child.isValid() || child.internalId() == 0)
        return {};
    return createIndex(int(child.internalId() - 1), 0, quintptr(0));
}

int InsecureOutlineModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return 0;
    return int(m_source.numberOfChildren(nodeOf(parent)));
}

int InsecureOutlineModel::columnCount(const QModelIndex&) const { return int(columnIdentifiers().size()); }

QVariant InsecureOutlineModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    return m_source.objectValue(columnIdentifiers().at(index.column()), nodeOf(index));
}

QVariant InsecureOutlineModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount())
        return {};
    return section == 0 ? tr("URL") : tr("Comment");
}

Qt::ItemFlags InsecureOutlineModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags itemFlags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.internalId() != 0)
        itemFlags |= Qt::ItemNeverHasChildren;
    return itemFlags;
}

} // namespace crawlmere::views
