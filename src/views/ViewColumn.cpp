// The column tables of the link views.
#include "views/ViewColumn.h"

namespace crawlmere::views {

QList<TableColumn> ViewColumns::tableColumns() const
{
    QList<TableColumn> table;
    table.reserve(m_columns.size());
    for (const ViewColumn& column : m_columns)
        table.append({ column.identifier, column.title, !column.shownByDefault });
    return table;
}

const ViewColumn* ViewColumns::find(const QString& identifier) const
{
    for (const ViewColumn& column : m_columns) {
        if (column.identifier == identifier)
            return &column;
    }
    return nullptr;
}

QString ViewColumns::sortKeyFor(const QString& descriptorKey) const
{
    if (const ViewColumn* column = find(descriptorKey))
        return column->sortKey;
    return descriptorKey;
}

} // namespace crawlmere::views
