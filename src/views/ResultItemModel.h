// The Qt item model of a result view: a thin adapter over a table's columns and its data source.
#pragma once

#include "engine/TableView.h"
#include "engine/qfDataSource.h"

#include <QAbstractItemModel>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace crawlmere::views {

class OutlineDataSource;

/// Rows come from a `qfDataSource` (a flat list: its visible rows) or, when one is set, from an
/// `OutlineDataSource` (a tree, children asked lazily). Columns are the table's columns in their
/// original (logical) order; hiding and moving them is the view's business. Values are what the
/// data source answers for the `TableView` given at construction, so every cell shows the text an
/// export writes.
///
/// Lifetimes: the table and the data sources must outlive the model or be unset first. Any change
/// of the rows must be followed by `reload()` (a model reset) before the view paints again.
/// Main thread only.
class ResultItemModel : public QAbstractItemModel {
    Q_OBJECT
public:
    /// The role of a row's title (`OutlineDataSource::outlineViewRowTitleOfItem`), asked of any
    /// cell of the row; an invalid value for rows without one.
    static constexpr int RowTitleRole = Qt::UserRole + 1;

    explicit ResultItemModel(TableView& table, QObject* parent = nullptr);
    ~ResultItemModel() override;

    /// The flat rows; null shows none. Resets the model.
    void setDataSource(qfDataSource* source);
    qfDataSource* dataSource() const { return m_dataSource; }
    /// The tree; null goes back to the flat rows. Resets the model.
    void setOutlineDataSource(OutlineDataSource* source);
    OutlineDataSource* outlineDataSource() const { return m_outline; }

    /// The columns in logical order (their hidden flags are kept but not applied). Resets.
    void setColumns(QList<TableColumn> columns);
    const QList<TableColumn>& columns() const { return m_columns; }

    /// Rows changed: drops everything cached and resets the model.
    void reload();

    /// Edits of flat rows: `editable` names the columns that take them, `commit` hands a new
    /// value to the data source (the model then reloads). Unset: nothing is editable.
    struct CellEditing {
        std::function<bool(const TableColumn&)> editable;
        std::function<void(const TableColumn&, int row, const QVariant& value)> commit;
    };
    void setCellEditing(CellEditing editing) { m_editing = std::move(editing); }

    /// The row object of an index (any column), null for an invalid index or a gone row. An
    /// outline row whose children were asked for (an expanded row) answers the item it showed
    /// until the next reload, even after its data source changed.
    qfDataSource::Item itemForIndex(const QModelIndex& index) const;
    /// Whether the row can expand: only outline rows whose data source says so.
    bool isItemExpandable(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

private:
    struct NodeChunks;
    // An outline row that has been asked for its children; indexes below it point to it.
    // One cache line: a cell reads its parent's child count and list from the line's start.
    // Nodes sit in blocks of `kNodesPerChunk` siblings, so those a view reads lie close together.
    struct alignas(64) Node {
        // The number of children (-1: not asked yet), and the data source's run of them when it
        // keeps one (null otherwise), read in place while `childOwner` keeps it alive; asked once
        // until the next reset (the data source's rows do not change before it).
        int childCount = -1;
        // The row under the parent; -1 for a node not made yet.
        int row = -1;
        const qfDataSource::Item* childRows = nullptr;
        Node* parent = nullptr;
        // The children asked for, by row in blocks made on demand.
        std::unique_ptr<NodeChunks> children;
        qfDataSource::Item item;
        std::shared_ptr<const void> childOwner;
    };
    static constexpr int kNodesPerChunk = 64;
    struct NodeChunks {
        std::vector<std::unique_ptr<Node[]>> chunks;
    };
    void resetRoot();
    Node* parentNodeOf(const QModelIndex& index) const;
    Node* nodeFor(const QModelIndex& index) const;
    // The node of `index` when one has been made; null otherwise (nothing is made).
    const Node* madeNode(const QModelIndex& index) const;
    qfDataSource::Item itemAt(Node* parent, int row) const;
    // The node's child count, asked of the outline once.
    int outlineChildCount(Node* node) const;
    // The row's item in its parent's kept run of children; null when there is none.
    const qfDataSource::Item* keptChild(Node* parent, int row) const;

    TableView& m_table;
    qfDataSource* m_dataSource = nullptr;
    OutlineDataSource* m_outline = nullptr;
    QList<TableColumn> m_columns;
    CellEditing m_editing;
    mutable Node m_root;
};

} // namespace crawlmere::views
