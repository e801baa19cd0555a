// The link inspector's on-page table: a plain table widget that a column manager can drive.
#pragma once

#include "engine/TableView.h"

#include <QTableWidget>

namespace crawlmere::views {

/// Columns come from `setTableColumns` (identifier and header title); a header click flips the
/// sort direction of that column (first click: ascending) and reports it with
/// `sortDescriptorsChanged`. The rows are whatever the owner puts in (then `fitColumns`). Long
/// texts lose their middle and read whole in a tool tip; the columns share the table's width,
/// the addresses getting the most. Main thread only.
class LinkInspectorOnPageTable final : public QTableWidget, public TableView {
    Q_OBJECT
public:
    explicit LinkInspectorOnPageTable(QWidget* parent = nullptr);

    void setTableColumns(const QList<TableColumn>& columns);

    QList<TableColumn> tableColumns() const override;
    QList<SortDescriptor> sortDescriptors() const override { return descriptors; }
    void setSortDescriptors(QList<SortDescriptor> value) override;
    /// Shows or hides the column and shares the width out again.
    void setColumnHidden(qsizetype column, bool hidden) override;
    /// Shares the table's width out among the shown columns by what their first rows hold.
    void fitColumns();

Q_SIGNALS:
    /// A header click set new sort descriptors.
    void sortDescriptorsChanged();

private:
    QList<TableColumn> columns;
    QList<SortDescriptor> descriptors;
};

} // namespace crawlmere::views
