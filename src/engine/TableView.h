// A result table as the engine and the data sources see it: columns, sort descriptors and a
// reload hook. The Qt views adapt this; exports and tests use it without a display.
#pragma once

#include <QList>
#include <QString>

/// One column: the identifier is the column key that rows answer through `getFieldByName`.
struct TableColumn {
    QString identifier;
    QString title;
    bool hidden = false;
};

/// One sort key of a table, as the table's header clicks set it.
struct SortDescriptor {
    QString key;
    bool ascending = true;
};

class TableView {
public:
    virtual ~TableView() = default;
    /// Every column in display order, hidden ones included.
    virtual QList<TableColumn> tableColumns() const = 0;
    virtual QList<SortDescriptor> sortDescriptors() const { return {}; }
    /// Replaces the sort descriptors (an empty list clears them); a table that does not sort
    /// ignores it. Rows are not reordered here.
    virtual void setSortDescriptors(QList<SortDescriptor> /*descriptors*/) { }
    /// Tells the table that its rows changed.
    virtual void reloadData() { }
    /// Hides or shows the `column`-th column of `tableColumns()`; out of range does nothing, and
    /// so does a table whose columns are fixed.
    virtual void setColumnHidden(qsizetype /*column*/, bool /*hidden*/) { }
    /// Moves the `from`-th column of `tableColumns()` to position `to`, the columns between
    /// shifting by one; out of range does nothing, and so does a table whose columns are fixed.
    virtual void moveColumn(qsizetype /*from*/, qsizetype /*to*/) { }
};

/// A table with no display: a plain column list and sort descriptors, for exports and tests.
class HeadlessTableView : public TableView {
public:
    HeadlessTableView() = default;
    explicit HeadlessTableView(QList<TableColumn> columns)
        : m_columns(std::move(columns))
    {
    }
    QList<TableColumn> tableColumns() const override { return m_columns; }
    QList<SortDescriptor> sortDescriptors() const override { return m_sortDescriptors; }
    void reloadData() override { ++m_reloadCount; }
    void setColumnHidden(qsizetype column, bool hidden) override
    {
        if (column >= 0 && column < m_columns.size())
            m_columns[column].hidden = hidden;
    }
    void moveColumn(qsizetype from, qsizetype to) override
    {
        if (from >= 0 && from < m_columns.size() && to >= 0 && to < m_columns.size())
            m_columns.move(from, to);
    }

    void setColumns(QList<TableColumn> columns) { m_columns = std::move(columns); }
    void setSortDescriptors(QList<SortDescriptor> descriptors) override { m_sortDescriptors = std::move(descriptors); }
    int reloadCount() const { return m_reloadCount; }

private:
    QList<TableColumn> m_columns;
    QList<SortDescriptor> m_sortDescriptors;
    int m_reloadCount = 0;
};
