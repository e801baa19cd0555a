// The spelling results' by-word outline on screen: the widget's rows as the display-free outline
// the spelling manager drives, and the manager as the widget's tree of rows.
#pragma once

#include "engine/OutlineView.h"
#include "views/OutlineDataSource.h"

#include <QHash>
#include <QModelIndex>
#include <QPointer>

#include <optional>

class qfOutlineView;

namespace crawlmere::reports {
class WbtlySpellingManager;
}

namespace crawlmere::views {

/// Rows are the outline widget's visible rows, top to bottom (a word, then its pages while it is
/// open); expanding, collapsing and selecting act on the widget. The row list is worked out once
/// and kept until the widget's rows change. The widget must outlive the adapter; the manager is
/// set once it exists (`setManager`), since it is made with this adapter. Main thread only.
class SpellingOutlineAdapter final : public OutlineView, public OutlineDataSource {
public:
    using Item = qfDataSource::Item;

    explicit SpellingOutlineAdapter(qfOutlineView& view, QString outlineColumn);
    ~SpellingOutlineAdapter() override;

    /// The manager whose words and pages the widget shows; makes this adapter the widget's source.
    void setManager(reports::WbtlySpellingManager* manager);

    // OutlineView
    QList<TableColumn> tableColumns() const override;
    void reloadData() override;
    qsizetype numberOfRows() override { return rows().size(); }
    Item itemAtRow(qsizetype row) override;
    Item parentAtRow(qsizetype row) override;
    bool isItemExpandable(const Item& item) override;
    void expandItem(const Item& item) override;
    void collapseItem(const Item& item) override;
    QList<qsizetype> selectedRowIndexes() override;
    void deselectAll() override;
    QString outlineColumnIdentifier() const override { return m_outlineColumn; }

    // OutlineDataSource
    qsizetype outlineViewNumberOfChildrenOfItem(TableView& view, const Item& item) override;
    Item outlineViewChildOfItem(TableView& view, qsizetype index, const Item& item) override;
    bool outlineViewIsItemExpandable(TableView& view, const Item& item) override;
    QVariant outlineViewObjectValue(TableView& view, const TableColumn& column, const Item& item) override;

private:
    const QList<QModelIndex>& rows();
    QModelIndex topLevelIndexOf(const Item& item);

    qfOutlineView& m_view;
    QString m_outlineColumn;
    reports::WbtlySpellingManager* m_manager = nullptr;
    std::optional<QList<QModelIndex>> m_rows;
    QList<QMetaObject::Connection> m_connections;
};

} // namespace crawlmere::views
