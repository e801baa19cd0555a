// The by-link result table without its widgets: one row per URL record of the scan, filtered by
// search text, link kind and bad-links-only, with its cells, labels, sorting and row actions.
#pragma once

#include "engine/CrwlLabelColour.h"
#include "engine/qfDataSource.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class CrwlUrl;

namespace crawlmere::platform {
class Url;
}

/// The data source of tab "1". It shows the hub's links collection itself (`setCollection` with
/// `Z12Ara::linksCollection`; the list is shared, not copied). The search field, the link-kind
/// pop-up and the table's selection belong to the window: the window hands their state in
/// (`setSearchText`, `setLinksFilterTag`, the selected rows). Bad-links-only is read from the
/// default `badLinksOnly` at each filter pass.
///
/// Each record's visible flag holds the outcome of this view's last filter pass; the by-page,
/// by-status and flat views read it. A header sort sorts the collection owner's array in place
/// (`setCollectionOwner`) and then refilters, so bad-links-only still holds after a sort.
///
/// Main thread only; the table, the owner and the hooks must outlive their use here.
class CrwlByLinkDataSource : public qfDataSource {
public:
    /// One column of the by-link table: the cell key, the header title and the sort key.
    struct Column {
        QString identifier;
        QString title;
        QString sortKey;
    };

    /// What the row actions hand to the shell. Unset hooks make their action do nothing.
    struct Hooks {
        /// `toClip:`: one plain string for the general clipboard.
        std::function<void(const QString&)> toClip;
        /// Visit: the address to open in the default browser.
        std::function<void(const crawlmere::platform::Url&)> openUrl;
        /// `inspect:`: opens a link inspector on the record (and keeps it in the retain array).
        std::function<void(const std::shared_ptr<CrwlUrl>&)> inspect;
        /// Scrolls the table so that the row is visible.
        std::function<void(qsizetype)> scrollRowToVisible;
    };

    /// Link-kind pop-up tags with a meaning; any other tag restricts nothing.
    enum LinksFilterTag : int {
        Internal = 2,
        Images = 3,
        External = 4,
        Redirected = 5,
        Http = 6,
        Pdf = 7,
        Video = 10,
        Audio = 11,
        WithWarnings = 12,
        AnchorWarnings = 13,
    };

    CrwlByLinkDataSource();
    ~CrwlByLinkDataSource() override;

    /// The columns in their default order; all are shown at first.
    static const QList<Column>& columnTable();
    /// `columnTable` as table columns, none hidden.
    static QList<TableColumn> defaultColumns();
    /// The sort key of a column identifier; the identifier itself when the table lacks it.
    static QString sortKeyForIdentifier(const QString& identifier);

    void setTableView(TableView* table) { tableView = table; }
    TableView* getTableView() const { return tableView; }
    /// The array whose order a header sort changes: the hub, whose links collection this view
    /// shows. Without an owner a sort reorders this view's own list only.
    void setCollectionOwner(qfDataSource* owner) { collectionOwner = owner; }
    void setHooks(Hooks hooks) { m_hooks = std::move(hooks); }

    void setSearchText(const QString& text) { m_searchText = text; }
    const QString& searchText() const { return m_searchText; }
    void setLinksFilterTag(int tag) { m_linksFilterTag = tag; }
    int linksFilterTag() const { return m_linksFilterTag; }

    bool needsFiltering() const { return m_needsFiltering; }
    void setNeedsFiltering(bool value) { m_needsFiltering = value; }

    /// Base `clear`, then the table reloads.
    void clear() override;
    /// The filter pass: every record's visible flag from the search text and link kind, and the
    /// rows from those flags and bad-links-only (a record left out only by bad-links-only keeps
    /// its flag). The table is not reloaded.
    void filter();
    void reloadData();
    /// Reloads the table; when `record` is one of the rows, scrolls to it. Answers its row.
    std::optional<qsizetype> reloadDataAndScrollToURL(const CrwlUrl* record);
    /// The collection's items whose visible flag is set; unless `array` is the collection
    /// itself, only those in the bad collection count.
    int countVisible(const QList<Item>& array) const;

    /// The records of the selected rows in index order; rows without a record are skipped.
    QList<std::shared_ptr<CrwlUrl>> getSelectedFromFlatView(QList<qsizetype> selectedRows);
    /// The first of `getSelectedFromFlatView`, or null.
    std::shared_ptr<CrwlUrl> getSelectedItem(const QList<qsizetype>& selectedRows);

    /// The copy text of a selection: none gives a null string, one record its URL, several
    /// each URL followed by "\n", in index order.
    QString copyText(const QList<qsizetype>& selectedRows);
    /// `copyText` handed to the `toClip` hook; an empty selection does nothing.
    void copyURL(const QList<qsizetype>& selectedRows);
    /// Opens the selected record's address through the `openUrl` hook.
    void visitPageInOutlineView(const QList<qsizetype>& selectedRows);
    /// Double click: inspects the selected record.
    void doubleClick(const QList<qsizetype>& selectedRows);
    /// Opens a link inspector on `record` through the `inspect` hook.
    void inspect(const std::shared_ptr<CrwlUrl>& record);
    /// The selected records; the caller marks them.
    QList<std::shared_ptr<CrwlUrl>> markAsFixedMenuItem(const QList<qsizetype>& selectedRows);
    /// Status "User marked fixed".
    static void markThisUrlAsFixed(CrwlUrl& record);

    /// The label of a row: none while `displayLabels` is off, for a missing row or a
    /// non-URL item.
    std::optional<CrwlLabelColour> labelColourForRow(qsizetype row);
    /// The colour class of the row's label: 0 none, 3 the error label, 2 the warning label.
    int tableViewLabelColorForRow(TableView& table, qsizetype row) override;
    /// The cell text of a column and row; "" for a missing row (logged) or an unknown column.
    QVariant tableViewObjectValue(TableView& table, const TableColumn& column, qsizetype row) override;
    /// The cell text of an item; "" for an item that is no URL record.
    QVariant tableViewObjectValueForItem(TableView& table, const TableColumn& column, const Item& item) override;
    qsizetype numberOfRowsInTableView(TableView& table) override;
    int tableViewLabelColorForItem(TableView& table, const Item& item) override;
    /// The cell text of a record for a column identifier.
    static QString cellText(const CrwlUrl& record, const QString& identifier);

    /// Sorts the owner's array (or this list) by the table's descriptors, takes the owner's
    /// array again, refilters and reloads.
    void tableViewSortDescriptorsDidChange(TableView& table) override;

private:
    bool passesLinksFilter(const CrwlUrl& record) const;
    std::shared_ptr<CrwlUrl> recordAtRow(qsizetype row);

    TableView* tableView = nullptr;
    qfDataSource* collectionOwner = nullptr;
    Hooks m_hooks;
    QString m_searchText;
    int m_linksFilterTag = 0;
    bool m_needsFiltering = false;
};
