// One column of a link view as its data source declares it: identifier, header title, sort key,
// comparison and whether it is shown before the user chooses.
#pragma once

#include "engine/TableView.h"

#include <QList>
#include <QString>

namespace crawlmere::views {

/// How a column's sort values are ordered: `Default` compares numbers by value and texts
/// literally with case; `CaseInsensitive` compares texts ignoring case.
enum class ViewComparison { Default, CaseInsensitive };

/// A column of a link view. An empty `sortKey` makes the column unsortable (a header click
/// leaves the rows as they are). The sort key names a row getter (`getLinkurl` for "linkurl").
struct ViewColumn {
    QString identifier;
    QString title;
    QString sortKey;
    ViewComparison comparison = ViewComparison::Default;
    bool shownByDefault = true;
};

/// The columns of one view, in their first order.
class ViewColumns {
public:
    explicit ViewColumns(QList<ViewColumn> columns)
        : m_columns(std::move(columns))
    {
    }
    const QList<ViewColumn>& columns() const { return m_columns; }
    /// The table columns a view starts with: hidden unless shown by default.
    QList<TableColumn> tableColumns() const;
    /// The column of an identifier; null when none has it.
    const ViewColumn* find(const QString& identifier) const;
    /// The sort key of the column a descriptor names (descriptors carry column identifiers); a
    /// descriptor that already names a sort key, or names no column, keeps its key.
    QString sortKeyFor(const QString& descriptorKey) const;

private:
    QList<ViewColumn> m_columns;
};

} // namespace crawlmere::views
