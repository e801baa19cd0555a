#include "engine/qfDataSource.h"

#include "platform/Log.h"
#include "platform/StoredValue.h"
#include "platform/UserDefaults.h"

#include <algorithm>
#include <utility>
#include <vector>

using crawlmere::platform::logLine;
using crawlmere::platform::UserDefaults;

namespace {

QList<TableColumn> visibleColumns(const TableView& table)
{
    QList<TableColumn> visible;
    for (const TableColumn& column : table.tableColumns()) {
        if (!column.hidden)
            visible.append(column);
    }
    return visible;
}

// Orders two sort values as the platform's compare: numbers by value, dates by time, anything
// else by its text, literally and with case.
int compareSortValues(const QVariant& a, const QVariant& b)
{
    if (qfDataSource::isNumericSortValue(a) && qfDataSource::isNumericSortValue(b)) {
        const double x = a.toDouble();
        const double y = b.toDouble();
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    if (a.typeId() == QMetaType::QDateTime && b.typeId() == QMetaType::QDateTime) {
        const QDateTime x = a.toDateTime();
        const QDateTime y = b.toDateTime();
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    return qfDataSource::compareSortTexts(a.toString(), b.toString());
}

} // namespace

bool qfDataSource::isNumericSortValue(const QVariant& value)
{
    return value.typeId() == QMetaType::Bool || crawlmere::platform::isWholeNumber(value)
        || crawlmere::platform::isReal(value);
}

int qfDataSource::compareSortTexts(const QString& a, const QString& b, Qt::CaseSensitivity sensitivity)
{
    return QString::compare(a, b, sensitivity);
}

qfDataSource::~qfDataSource() = default;

void qfDataSource::clear()
{
    collection = QList<Item>();
    collection.reserve(100);
    sortedAndFilteredArray.reset();
}

void qfDataSource::setCollection(QList<Item> items)
{
    collection = std::move(items);
    sortedAndFilteredArray.reset();
}

void qfDataSource::add(Item item)
{
    collection.append(std::move(item));
    sortedAndFilteredArray.reset();
}

void qfDataSource::addToRetainArray(std::shared_ptr<void> object) { retainArray.append(std::move(object)); }

void qfDataSource::removeFromRetainArray(const void* object)
{
    retainArray.removeIf([object](const std::shared_ptr<void>& held) { return held.get() == object; });
}

const QList<qfDataSource::Item>& qfDataSource::getSortedAndFilteredArray()
{
    if (!sortedAndFilteredArray) {
        QList<Item> visible;
        visible.reserve(collection.size());
        for (const Item& item : std::as_const(collection)) {
            if (item && item->getVisible())
                visible.append(item);
        }
        // Room was made for every item; a filtered list gives back what it does not use.
        if (visible.size() < visible.capacity() / 2)
            visible.squeeze();
        sortedAndFilteredArray = std::move(visible);
    }
    return *sortedAndFilteredArray;
}

qfDataSource::Item qfDataSource::getItemAtRowIndex(quint64 row)
{
    const QList<Item>& rows = getSortedAndFilteredArray();
    if (row >= static_cast<quint64>(rows.size()))
        return nullptr;
    return rows.at(static_cast<qsizetype>(row));
}

void qfDataSource::tableViewSortDescriptorsDidChange(TableView& table)
{
    sortCollection(table.sortDescriptors());
    table.reloadData();
}

void qfDataSource::sortCollection(const QList<SortDescriptor>& descriptors)
{
    sortedAndFilteredArray.reset();
    sortItems(collection, descriptors);
}

void qfDataSource::sortItems(QList<Item>& items, const QList<SortDescriptor>& descriptors)
{
    if (descriptors.isEmpty())
        return;
    // Each item's keys are read once: a getter per comparison dominates a large sort.
    struct Keyed {
        QList<QVariant> keys;
        Item item;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(static_cast<size_t>(items.size()));
    for (Item& item : items) {
        Keyed entry { {}, std::move(item) };
        if (entry.item) {
            entry.keys.reserve(descriptors.size());
            for (const SortDescriptor& descriptor : descriptors)
                entry.keys.append(entry.item->getSortValue(descriptor.key));
        }
        keyed.push_back(std::move(entry));
    }
    std::stable_sort(keyed.begin(), keyed.end(), [&](const Keyed& left, const Keyed& right) {
        if (!left.item || !right.item)
            return !left.item && right.item; // missing items sort first, as nil does
        for (qsizetype i = 0; i < descriptors.size(); ++i) {
            const int order = compareSortValues(left.keys.at(i), right.keys.at(i));
            if (order != 0)
                return descriptors.at(i).ascending ? order < 0 : order > 0;
        }
        return false;
    });
    for (size_t i = 0; i < keyed.size(); ++i)
        items[static_cast<qsizetype>(i)] = std::move(keyed[i].item);
}

qsizetype qfDataSource::numberOfRowsInTableView(TableView& /*table*/) { return getSortedAndFilteredArray().size(); }

int qfDataSource::tableViewLabelColorForRow(TableView& /*table*/, qsizetype /*row*/) { return 0; }

QVariant qfDataSource::tableViewObjectValue(TableView& table, const TableColumn& column, qsizetype row)
{
    if (row < 0)
        return {};
    return tableViewObjectValueForItem(table, column, getItemAtRowIndex(static_cast<quint64>(row)));
}

QVariant qfDataSource::tableViewObjectValueForItem(TableView& /*table*/, const TableColumn& column, const Item& item)
{
    if (!item)
        return {};
    return item->getFieldByName(column.identifier);
}

int qfDataSource::tableViewLabelColorForItem(TableView& /*table*/, const Item& /*item*/) { return 0; }

QString qfDataSource::csvHeaderLine(const QList<TableColumn>& columns)
{
    QStringList fields;
    fields.reserve(columns.size());
    for (const TableColumn& column : columns)
        fields.append(QLatin1Char('"') + column.title + QLatin1Char('"'));
    return fields.join(QLatin1Char(',')) + QLatin1Char('\n');
}

qint64 qfDataSource::csvQuoteEscapeOption()
{
    const QVariant stored = UserDefaults::standard().objectForKey(defaultsKey::csvQuoteEscapeOption);
    if (!stored.isValid())
        return 1;
    return UserDefaults::standard().value(defaultsKey::csvQuoteEscapeOption);
}

QString qfDataSource::csvQuoteEscaped(QString value, qint64 option)
{
    const QString quote = QStringLiteral("\"");
    if (option == 2)
        value.replace(quote, QStringLiteral("\"\""));
    else if (option == 0)
        value.replace(quote, QStringLiteral("\\\""));
    else
        value.replace(quote, QStringLiteral("'"));
    return value;
}

QString qfDataSource::csvEscapedValue(QString value, qint64 option)
{
    value = csvQuoteEscaped(std::move(value), option);
    value.replace(QLatin1Char('\n'), QLatin1Char(' '));
    value.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return value;
}

QString qfDataSource::getDataAsCSVUsingTableView(TableView& table)
{
    const QList<TableColumn> columns = visibleColumns(table);
    QString csv = csvHeaderLine(columns);
    const qsizetype rows = numberOfRowsInTableView(table);
    for (qsizetype row = 0; row < rows; ++row) {
        if (!getItemAtRowIndex(static_cast<quint64>(row))) {
            logLine(1, QStringLiteral("nil item"));
            continue;
        }
        QStringList fields;
        fields.reserve(columns.size());
        for (const TableColumn& column : columns) {
            const QVariant value = tableViewObjectValue(table, column, row);
            if (!value.isValid())
                logLine(1, QStringLiteral("nil data for field %1").arg(column.identifier));
            fields.append(QLatin1Char('"') + value.toString() + QLatin1Char('"'));
        }
        csv += fields.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return csv;
}

bool qfDataSource::forEachCollectionCSVLine(TableView& table, const std::function<bool(const QString&)>& sink)
{
    const QList<TableColumn> columns = visibleColumns(table);
    const qint64 option = csvQuoteEscapeOption();
    if (!sink(csvHeaderLine(columns)))
        return false;
    QString line;
    for (const Item& item : std::as_const(collection)) {
        if (!item) {
            logLine(1, QStringLiteral("nil item"));
            continue;
        }
        line.clear();
        for (qsizetype i = 0; i < columns.size(); ++i) {
            if (i > 0)
                line += QLatin1Char(',');
            line += QLatin1Char('"') + csvEscapedValue(item->getFieldByName(columns[i].identifier), option)
                + QLatin1Char('"');
        }
        line += QLatin1Char('\n');
        if (!sink(line))
            return false;
    }
    return true;
}

QString qfDataSource::getCollectionAsCSVUsingTableViewHeaders(TableView& table)
{
    QString csv;
    forEachCollectionCSVLine(table, [&csv](const QString& line) {
        csv += line;
        return true;
    });
    return csv;
}

bool qfDataSource::writeCollectionAsCSVUsingTableViewHeaders(TableView& table, QIODevice& device)
{
    return forEachCollectionCSVLine(table, [&device](const QString& line) {
        const QByteArray bytes = line.toUtf8();
        return device.write(bytes) == bytes.size();
    });
}
