// What an outline's data source answers besides a table's: children by item and expandability.
#pragma once

#include "engine/TableView.h"
#include "engine/qfDataSource.h"

#include <QList>
#include <QVariant>

#include <memory>
#include <optional>

namespace crawlmere::views {

/// Implemented by the data sources of outline views (pages with their links, statuses with their
/// occurrences). A null item stands for the outline's root. Items must stay alive while the view
/// shows them (the data source keeps them); after any change of children the view must be
/// reloaded. Main thread only.
class OutlineDataSource {
public:
    using Item = qfDataSource::Item;

    virtual ~OutlineDataSource() = default;
    /// outlineView:numberOfChildrenOfItem:
    virtual qsizetype outlineViewNumberOfChildrenOfItem(TableView& view, const Item& item) = 0;
    /// outlineView:child:ofItem: — null for an index out of range.
    virtual Item outlineViewChildOfItem(TableView& view, qsizetype index, const Item& item) = 0;
    /// Rows a data source keeps in one run: `count` items from `first`, readable in place for as
    /// long as `owner` (or a copy of it) lives, even after the data source rebuilds or clears its
    /// rows.
    struct ChildRows {
        const Item* first = nullptr;
        qsizetype count = 0;
        std::shared_ptr<const void> owner;
    };
    /// The children of `item` as the run the data source keeps, from which a view may read rows
    /// until it next reloads; none (the default) when the data source keeps no such run and the
    /// view asks `outlineViewChildOfItem`.
    virtual std::optional<ChildRows> outlineViewChildRowsOfItem(TableView& /*view*/, const Item& /*item*/)
    {
        return std::nullopt;
    }
    /// outlineView:isItemExpandable:
    virtual bool outlineViewIsItemExpandable(TableView& view, const Item& item) = 0;
    /// A title that stands for a whole row (a group's heading), which a view shows across the
    /// row instead of its cells; the cells' values, which exports write, stay as they are. The
    /// default: none (the empty string), the row shows its cells.
    virtual QString outlineViewRowTitleOfItem(TableView& /*view*/, const Item& /*item*/) { return QString(); }
    /// Whether any top-level row may have a title (so that a view need not ask every row).
    virtual bool outlineViewHasRowTitles() const { return false; }
    /// outlineView:objectValueForTableColumn:byItem:
    virtual QVariant outlineViewObjectValue(TableView& view, const TableColumn& column, const Item& item) = 0;
    /// outlineView:didClickTableColumn: — a header click; the view's sort descriptors already
    /// hold the new first key. The default does nothing.
    virtual void outlineViewDidClickTableColumn(TableView& /*view*/, const TableColumn& /*column*/) { }
};

} // namespace crawlmere::views
