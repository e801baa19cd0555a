// An outline as the reports' data sources and exports see it: a table whose rows are the items
// expanded into view, with expansion and selection. The Qt outline adapts it; exports and tests
// use the headless one.
#pragma once

#include "engine/TableView.h"
#include "engine/qfDataSource.h"

#include <QList>
#include <QSet>

/// Rows are counted over the items shown: a top-level item, then, when it is expanded, its
/// children. Items are shared row objects; the view compares them by address, so the source must
/// keep them alive while they are shown. Main thread only.
class OutlineView : public TableView {
public:
    using Item = qfDataSource::Item;

    /// What the outline asks of its data source. A null item is the root.
    class Source {
    public:
        virtual ~Source() = default;
        virtual qsizetype outlineNumberOfChildren(OutlineView& view, const Item& item) = 0;
        /// Null for an index out of range.
        virtual Item outlineChild(OutlineView& view, qsizetype index, const Item& item) = 0;
        virtual bool outlineIsItemExpandable(OutlineView& view, const Item& item) = 0;
    };

    /// The number of rows shown.
    virtual qsizetype numberOfRows() = 0;
    /// itemAtRow: null outside the rows.
    virtual Item itemAtRow(qsizetype row) = 0;
    /// The item a row is shown under (parentForItem:, by row since one page can stand under several
    /// words); null for a top-level row or a row outside.
    virtual Item parentAtRow(qsizetype row) = 0;
    virtual bool isItemExpandable(const Item& item) = 0;
    /// expandItem: / collapseItem: — only a shown, expandable item changes.
    virtual void expandItem(const Item& item) = 0;
    virtual void collapseItem(const Item& item) = 0;
    /// The selected rows, ascending.
    virtual QList<qsizetype> selectedRowIndexes() = 0;
    virtual void deselectAll() = 0;
    /// The identifier of the column that holds the tree's indent.
    virtual QString outlineColumnIdentifier() const = 0;
};

/// An outline without a display: rows rebuilt from its source at every reload, expansion and
/// collapse; the expanded items are kept across reloads while they are still shown.
class HeadlessOutlineView final : public OutlineView {
public:
    HeadlessOutlineView(QList<TableColumn> columns, QString outlineColumn)
        : m_columns(std::move(columns))
        , m_outlineColumn(std::move(outlineColumn))
    {
    }

    /// Not owned; null shows no rows.
    void setSource(Source* source)
    {
        m_source = source;
        reloadData();
    }
    QList<TableColumn> tableColumns() const override { return m_columns; }
    QList<SortDescriptor> sortDescriptors() const override { return m_sortDescriptors; }
    void setSortDescriptors(QList<SortDescriptor> descriptors) override { m_sortDescriptors = std::move(descriptors); }
    void setColumnHidden(qsizetype column, bool hidden) override
    {
        if (column >= 0 && column < m_columns.size())
            m_columns[column].hidden = hidden;
    }
    QString outlineColumnIdentifier() const override { return m_outlineColumn; }

    void reloadData() override
    {
        ++m_reloadCount;
        rebuild();
    }
    int reloadCount() const { return m_reloadCount; }

    qsizetype numberOfRows() override { return m_rows.size(); }
    Item itemAtRow(qsizetype row) override { return row >= 0 && row < m_rows.size() ? m_rows.at(row).item : nullptr; }
    Item parentAtRow(qsizetype row) override
    {
        return row >= 0 && row < m_rows.size() ? m_rows.at(row).parent : nullptr;
    }
    bool isItemExpandable(const Item& item) override
    {
        return m_source && item && m_source->outlineIsItemExpandable(*this, item);
    }
    bool isItemExpanded(const Item& item) const { return m_expanded.contains(item.get()); }
    void expandItem(const Item& item) override
    {
        if (!isItemExpandable(item) || !isShown(item))
            return;
        m_expanded.insert(item.get());
        rebuild();
    }
    void collapseItem(const Item& item) override
    {
        if (m_expanded.remove(item.get()))
            rebuild();
    }

    QList<qsizetype> selectedRowIndexes() override { return m_selection; }
    void deselectAll() override { m_selection.clear(); }
    /// Selects `rows` (those outside the rows are dropped), ascending.
    void selectRowIndexes(QList<qsizetype> rows)
    {
        m_selection.clear();
        for (qsizetype row : rows)
            if (row >= 0 && row < m_rows.size() && !m_selection.contains(row))
                m_selection.append(row);
        std::sort(m_selection.begin(), m_selection.end());
    }

private:
    struct Row {
        Item item;
        Item parent;
    };

    bool isShown(const Item& item) const
    {
        return std::any_of(m_rows.begin(), m_rows.end(), [&](const Row& row) { return row.item == item; });
    }

    void rebuild()
    {
        m_rows.clear();
        QSet<const CrwlDataObject*> stillExpanded;
        const qsizetype top = m_source ? m_source->outlineNumberOfChildren(*this, nullptr) : 0;
        for (qsizetype i = 0; i < top; ++i) {
            Item item = m_source->outlineChild(*this, i, nullptr);
            if (!item)
                continue;
            m_rows.append({ item, nullptr });
            if (!m_expanded.contains(item.get()))
                continue;
            stillExpanded.insert(item.get());
            const qsizetype children = m_source->outlineNumberOfChildren(*this, item);
            for (qsizetype c = 0; c < children; ++c)
                if (Item child = m_source->outlineChild(*this, c, item))
                    m_rows.append({ child, item });
        }
        m_expanded = stillExpanded;
        m_selection.removeIf([this](qsizetype row) { return row >= m_rows.size(); });
    }

    QList<TableColumn> m_columns;
    QString m_outlineColumn;
    QList<SortDescriptor> m_sortDescriptors;
    Source* m_source = nullptr;
    QList<Row> m_rows;
    QSet<const CrwlDataObject*> m_expanded;
    QList<qsizetype> m_selection;
    int m_reloadCount = 0;
};
