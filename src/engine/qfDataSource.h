// Shared base of everything that feeds a result table: the collection, the cached visible rows,
// sorting through the rows' getters, the retain array and the two CSV writers.
#pragma once

#include "engine/CrwlDataObject.h"
#include "engine/TableView.h"

#include <QDateTime>
#include <QIODevice>
#include <QList>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

/// Items are shared rows (`CrwlUrl`, `CrwlLinkInstance` …). Every change of the collection or of
/// an item's visibility must be followed by `invalidateSortedAndFilteredArray()` before the next
/// row lookup. Main thread only.
class qfDataSource {
public:
    using Item = std::shared_ptr<CrwlDataObject>;

    qfDataSource() = default;
    virtual ~qfDataSource();
    qfDataSource(const qfDataSource&) = delete;
    qfDataSource& operator=(const qfDataSource&) = delete;

    /// A new empty collection; the cache is dropped.
    virtual void clear();
    void setCollection(QList<Item> items);
    /// Appends an item; the cache is dropped.
    virtual void add(Item item);
    /// Keeps `object` alive as long as this data source (inspector windows, removed records).
    void addToRetainArray(std::shared_ptr<void> object);
    /// Drops the entry holding `object`, if any (a closed window releasing itself).
    void removeFromRetainArray(const void* object);
    qsizetype retainCount() const { return retainArray.size(); }

    /// Every item, visible or not.
    qsizetype getCount() const { return collection.size(); }
    const QList<Item>& getCollection() const { return collection; }
    /// The visible items in collection order, rebuilt when it was dropped. The row lookups go
    /// through it; a data source whose rows are another list overrides it.
    virtual const QList<Item>& getSortedAndFilteredArray();
    void invalidateSortedAndFilteredArray() { sortedAndFilteredArray.reset(); }
    /// The visible item at `row`, or null beyond the last row.
    Item getItemAtRowIndex(quint64 row);

    /// Sorts the collection in place by the table's sort descriptors (`sortCollection`), drops
    /// the cache and reloads the table. Subclasses that refilter after a sort override it.
    virtual void tableViewSortDescriptorsDidChange(TableView& table);
    /// Sorts the collection in place, stable, by `descriptors` (each key asked of every item
    /// once through `getSortValue`; missing items first). No descriptors: nothing moves. The
    /// cache is dropped.
    void sortCollection(const QList<SortDescriptor>& descriptors);
    /// Sorts `items` in place as `sortCollection` sorts the collection.
    static void sortItems(QList<Item>& items, const QList<SortDescriptor>& descriptors);
    /// Sort values compared as numbers: whole numbers of every width, floating point numbers and
    /// Booleans.
    static bool isNumericSortValue(const QVariant& value);
    /// Orders two sort values' texts (below 0, 0 or above 0): literally and with case, as every
    /// value that is neither a number nor a date compares, unless `sensitivity` ignores case.
    static int compareSortTexts(
        const QString& a, const QString& b, Qt::CaseSensitivity sensitivity = Qt::CaseSensitive);
    /// The number of visible rows; data sources with rows of their own override it.
    virtual qsizetype numberOfRowsInTableView(TableView& table);
    /// Label colour class of a row: 0 none. Subclasses that colour rows override it.
    virtual int tableViewLabelColorForRow(TableView& table, qsizetype row);
    bool tableViewShouldSelectTableColumn(TableView&, const TableColumn&) const { return false; }
    bool outlineViewIsItemExpandable(const Item&) const { return false; }
    /// The value a table shows at a column and row; the base answers the item's field of the
    /// column's identifier, or an invalid value for a missing row.
    virtual QVariant tableViewObjectValue(TableView& table, const TableColumn& column, qsizetype row);
    /// The value `tableViewObjectValue` answers for the row that shows `item`, without looking the
    /// row up (an export that pinned its rows reads them so). The base answers the item's field
    /// of the column's identifier; a null item an invalid value.
    virtual QVariant tableViewObjectValueForItem(TableView& table, const TableColumn& column, const Item& item);
    /// The label colour class `tableViewLabelColorForRow` answers for the row showing `item`.
    virtual int tableViewLabelColorForItem(TableView& table, const Item& item);

    /// The rows as shown: the visible columns' header titles, then each visible row's values,
    /// every field in double quotes and written as it is (no escaping).
    QString getDataAsCSVUsingTableView(TableView& table);
    /// Every item of the collection (visible or not) with the table's visible columns. Double
    /// quotes inside values follow the `csvQuoteEscapeOption` default (0 backslash-quote,
    /// 2 doubled quote, anything else or unset a single quote); "\n" and "\r" become spaces.
    QString getCollectionAsCSVUsingTableViewHeaders(TableView& table);
    /// The same text written to `device` as UTF-8 one row at a time, so a large collection is
    /// never held as one text. NO when a write fails (the device tells why).
    bool writeCollectionAsCSVUsingTableViewHeaders(TableView& table, QIODevice& device);

    /// The header line both writers start with.
    static QString csvHeaderLine(const QList<TableColumn>& visibleColumns);
    /// A value escaped as the collection writer does, for `option`.
    static QString csvEscapedValue(QString value, qint64 option);
    /// Only the double quotes of `value` replaced as `option` says; line breaks stay.
    static QString csvQuoteEscaped(QString value, qint64 option);
    /// The `csvQuoteEscapeOption` default, 1 when it is not set.
    static qint64 csvQuoteEscapeOption();

protected:
    QList<Item> collection;

private:
    /// Walks the collection's CSV text piece by piece (header first, then a line per item);
    /// stops and answers NO when `sink` does.
    bool forEachCollectionCSVLine(TableView& table, const std::function<bool(const QString&)>& sink);

protected:
    std::optional<QList<Item>> sortedAndFilteredArray;
    QList<std::shared_ptr<void>> retainArray;
};
