// The by-link result table without its widgets.
#include "views/CrwlByLinkDataSource.h"

#include "engine/CrwlStatusCodes.h"
#include "engine/CrwlUrl.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"

#include <algorithm>

using crawlmere::platform::logLine;
using crawlmere::platform::UserDefaults;

CrwlByLinkDataSource::CrwlByLinkDataSource() = default;
CrwlByLinkDataSource::~CrwlByLinkDataSource() = default;

const QList<CrwlByLinkDataSource::Column>& CrwlByLinkDataSource::columnTable()
{
    static const QList<Column> columns = {
        { QStringLiteral("linkurl"), QStringLiteral("URL"), QStringLiteral("linkurl") },
        { QStringLiteral("status"), QStringLiteral("Status"), QStringLiteral("status") },
        { QStringLiteral("redir"), QStringLiteral("Redirected to"), QStringLiteral("redir") },
        { QStringLiteral("onpageurl"), QStringLiteral("Appears on"), QStringLiteral("onpageurl") },
    };
    return columns;
}

QList<TableColumn> CrwlByLinkDataSource::defaultColumns()
{
    QList<TableColumn> columns;
    for (const Column& column : columnTable())
        columns.append({ column.identifier, column.title, /*hidden=*/false });
    return columns;
}

QString CrwlByLinkDataSource::sortKeyForIdentifier(const QString& identifier)
{
    for (const Column& column : columnTable()) {
        if (column.identifier == identifier)
            return column.sortKey;
    }
    return identifier;
}

void CrwlByLinkDataSource::clear()
{
    qfDataSource::clear();
    reloadData();
}

void CrwlByLinkDataSource::reloadData()
{
    if (tableView)
        tableView->reloadData();
}

bool CrwlByLinkDataSource::passesLinksFilter(const CrwlUrl& record) const
{
    switch (m_linksFilterTag) {
    case Internal:
        return record.isInternal();
    case Images:
        return record.isImage();
    case External:
        return !record.isInternal();
    case Redirected:
        return !record.getRedir().isEmpty();
    case Http:
        return record.isHttp();
    case Pdf:
        return record.isPDF();
    case Video:
        return record.isVideo();
    case Audio:
        return record.isAudio();
    case WithWarnings:
        return !record.getWarningsAsArrayIncludingRedirects(/*includeRedirects=*/false).isEmpty();
    case AnchorWarnings:
        return record.getWarningsArrayIncludesAnchors();
    default:
        return true; // a tag without a meaning restricts nothing
    }
}

void CrwlByLinkDataSource::filter()
{
    logLine(3, QStringLiteral("filtering by link"));
    const bool badLinksOnly = UserDefaults::standard().value(defaultsKey::badLinksOnly);
    QList<Item> rows;
    rows.reserve(collection.size());
    for (const Item& item : std::as_const(collection)) {
        auto* record = dynamic_cast<CrwlUrl*>(item.get());
        if (!record)
            continue;
        bool visible = m_searchText.isEmpty() || record->contains(m_searchText);
        if (visible && !passesLinksFilter(*record))
            visible = false;
        record->setVisible(visible);
        if (visible && (!badLinksOnly || record->isInBadCollection()))
            rows.append(item);
    }
    sortedAndFilteredArray = std::move(rows);
}

std::optional<qsizetype> CrwlByLinkDataSource::reloadDataAndScrollToURL(const CrwlUrl* record)
{
    reloadData();
    if (!record)
        return std::nullopt;
    const QList<Item>& rows = getSortedAndFilteredArray();
    const auto found
        = std::find_if(rows.cbegin(), rows.cend(), [record](const Item& item) { return item.get() == record; });
    if (found == rows.cend())
        return std::nullopt;
    const qsizetype row = found - rows.cbegin();
    if (m_hooks.scrollRowToVisible)
        m_hooks.scrollRowToVisible(row);
    return row;
}

int CrwlByLinkDataSource::countVisible(const QList<Item>& array) const
{
    const bool isCollection = array.constData() == collection.constData() && array.size() == collection.size();
    int count = 0;
    for (const Item& item : std::as_const(collection)) {
        if (!item || !item->getVisible())
            continue;
        const auto* record = dynamic_cast<const CrwlUrl*>(item.get());
        if (isCollection || (record && record->isInBadCollection()))
            ++count;
    }
    return count;
}

std::shared_ptr<CrwlUrl> CrwlByLinkDataSource::recordAtRow(qsizetype row)
{
    if (row < 0)
        return nullptr;
    return std::dynamic_pointer_cast<CrwlUrl>(getItemAtRowIndex(static_cast<quint64>(row)));
}

QList<std::shared_ptr<CrwlUrl>> CrwlByLinkDataSource::getSelectedFromFlatView(QList<qsizetype> selectedRows)
{
    std::sort(selectedRows.begin(), selectedRows.end());
    QList<std::shared_ptr<CrwlUrl>> records;
    records.reserve(selectedRows.size());
    for (const qsizetype row : std::as_const(selectedRows)) {
        if (auto record = recordAtRow(row))
            records.append(std::move(record));
    }
    return records;
}

std::shared_ptr<CrwlUrl> CrwlByLinkDataSource::getSelectedItem(const QList<qsizetype>& selectedRows)
{
    const auto records = getSelectedFromFlatView(selectedRows);
    return records.isEmpty() ? nullptr : records.first();
}

QString CrwlByLinkDataSource::copyText(const QList<qsizetype>& selectedRows)
{
    const auto records = getSelectedFromFlatView(selectedRows);
    if (records.isEmpty())
        return QString();
    if (selectedRows.size() == 1)
        return records.first()->absoluteString();
    QString text;
    for (const auto& record : records)
        text += record->absoluteString() + QLatin1Char('\n');
    return text;
}

void CrwlByLinkDataSource::copyURL(const QList<qsizetype>& selectedRows)
{
    const QString text = copyText(selectedRows);
    if (!text.isNull() && m_hooks.toClip)
        m_hooks.toClip(text);
}

void CrwlByLinkDataSource::visitPageInOutlineView(const QList<qsizetype>& selectedRows)
{
    const auto record = getSelectedItem(selectedRows);
    if (!record || !m_hooks.openUrl)
        return;
    if (const auto url = record->getNSURL())
        m_hooks.openUrl(*url);
}

void CrwlByLinkDataSource::doubleClick(const QList<qsizetype>& selectedRows)
{
    if (auto record = getSelectedItem(selectedRows))
        inspect(record);
}

void CrwlByLinkDataSource::inspect(const std::shared_ptr<CrwlUrl>& record)
{
    if (record && m_hooks.inspect)
        m_hooks.inspect(record);
}

QList<std::shared_ptr<CrwlUrl>> CrwlByLinkDataSource::markAsFixedMenuItem(const QList<qsizetype>& selectedRows)
{
    return getSelectedFromFlatView(selectedRows);
}

void CrwlByLinkDataSource::markThisUrlAsFixed(CrwlUrl& record) { record.setStatus(CrwlStatus::userMarkedFixed); }

std::optional<CrwlLabelColour> CrwlByLinkDataSource::labelColourForRow(qsizetype row)
{
    const auto record = recordAtRow(row);
    return record ? CrwlLabelColour::forRow(record.get()) : std::nullopt;
}

int CrwlByLinkDataSource::tableViewLabelColorForRow(TableView& table, qsizetype row)
{
    Q_ASSERT(crawlmere::platform::Dispatch::isMainThread());
    return row < 0 ? 0 : tableViewLabelColorForItem(table, getItemAtRowIndex(static_cast<quint64>(row)));
}

int CrwlByLinkDataSource::tableViewLabelColorForItem(TableView& /*table*/, const Item& item)
{
    Q_ASSERT(crawlmere::platform::Dispatch::isMainThread());
    // The label decides, so that displayLabels is honoured; classes 3 and 4 share one label.
    const auto* record = dynamic_cast<const CrwlUrl*>(item.get());
    const auto colour = record ? CrwlLabelColour::forRow(record) : std::nullopt;
    if (!colour)
        return 0;
    return *colour == CrwlLabelColour::error() ? 3 : 2;
}

QString CrwlByLinkDataSource::cellText(const CrwlUrl& record, const QString& identifier)
{
    if (identifier == QLatin1String("status"))
        return record.getStatusDescription();
    if (identifier == QLatin1String("linkurl") || identifier == QLatin1String("absoluteStringDecoded"))
        return record.getAbsoluteStringDecoded();
    if (identifier == QLatin1String("redir"))
        return record.getRedir();
    if (identifier == QLatin1String("onpageurl"))
        return record.getFieldByName(identifier);
    return QStringLiteral("");
}

QVariant CrwlByLinkDataSource::tableViewObjectValueForItem(
    TableView& /*table*/, const TableColumn& column, const Item& item)
{
    Q_ASSERT(crawlmere::platform::Dispatch::isMainThread());
    const auto* record = dynamic_cast<const CrwlUrl*>(item.get());
    return record ? cellText(*record, column.identifier) : QStringLiteral("");
}

QVariant CrwlByLinkDataSource::tableViewObjectValue(TableView& /*table*/, const TableColumn& column, qsizetype row)
{
    Q_ASSERT(crawlmere::platform::Dispatch::isMainThread());
    const auto record = recordAtRow(row);
    if (!record) {
        logLine(1, QStringLiteral("by link: no item at row %1").arg(row));
        return QStringLiteral("");
    }
    return cellText(*record, column.identifier);
}

void CrwlByLinkDataSource::tableViewSortDescriptorsDidChange(TableView& table)
{
    QList<SortDescriptor> descriptors = table.sortDescriptors();
    for (SortDescriptor& descriptor : descriptors)
        descriptor.key = sortKeyForIdentifier(descriptor.key);
    if (collectionOwner) {
        collectionOwner->sortCollection(descriptors);
        setCollection(collectionOwner->getCollection());
    } else {
        sortCollection(descriptors);
    }
    // Refiltered at once: the rows keep the bad-links-only restriction after a sort.
    filter();
    table.reloadData();
}

qsizetype CrwlByLinkDataSource::numberOfRowsInTableView(TableView& table)
{
    Q_ASSERT(crawlmere::platform::Dispatch::isMainThread());
    return qfDataSource::numberOfRowsInTableView(table);
}
