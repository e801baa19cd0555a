// Takes over a scan's warnings under the caps, filters and hides them, and summarises them.
#include "reports/WarningsManager.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "engine/Z12Ara.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"
#include "reports/WarningInspectorOpener.h"
#include "reports/WarningRecord.h"
#include "reports/detail/ReportText.h"

#include <algorithm>

using crawlmere::platform::logLine;
using crawlmere::platform::UserDefaults;

namespace crawlmere::reports {

namespace {

std::shared_ptr<WarningRecord> asRecord(const qfDataSource::Item& item)
{
    return std::dynamic_pointer_cast<WarningRecord>(item);
}

} // namespace

WarningsManager::WarningsManager()
    : WarningsManager(UserDefaults::standard())
{
}

WarningsManager::WarningsManager(UserDefaults& store)
    : defaults(store)
    , log([](const QString& line) { logLine(0, line); })
{
    warningSummary.reserve(10);
}

WarningsManager::~WarningsManager() = default;

void WarningsManager::add(const QString& warning, const std::shared_ptr<CrwlUrl>& page)
{
    if (warning.isNull() || !page || page->absoluteString().isEmpty()) {
        log(QStringLiteral("attempt to add warning with w=%1 and lcurl=%2")
                .arg(warning, page ? page->absoluteString() : QStringLiteral("(null)")));
        return;
    }
    if (collection.isEmpty())
        collection.reserve(100);
    else if (collection.size() >= defaults.value(defaultsKey::warningsMaximumCount))
        return;
    const QString key = WarningRecord::warningKey(warning);
    auto it = warningSummary.find(key);
    if (it == warningSummary.end()) {
        it = warningSummary.insert(key, 0);
        keysInArrival.append(key);
    }
    const qint64 count = ++it.value();
    const qint64 perKeyCap = defaults.value(defaultsKey::perWarningMaximumCount);
    if (count >= perKeyCap) {
        if (count == perKeyCap) {
            log(QStringLiteral("the warning: '%1' has exceeded %2. No more similar warnings will be logged this scan.")
                    .arg(key, QString::number(perKeyCap)));
        }
        return;
    }
    auto record = std::make_shared<WarningRecord>(page->absoluteString(), page, warning);
    record->setVisible(getVisible(*record));
    collection.append(std::move(record));
    sortedAndFilteredArray.reset();
}

void WarningsManager::setWarningsCollection(const QList<HubWarningRecord>& records, TableView* table)
{
    // Replaces: the shell hands the whole list over at every refresh.
    qfDataSource::clear();
    warningSummary.clear();
    keysInArrival.clear();
    for (const HubWarningRecord& record : records)
        add(record.warning, record.lcurl);
    sortedAndFilteredArray.reset();
    if (table)
        table->reloadData();
}

bool WarningsManager::populateIfNotPopulated(const QList<HubWarningRecord>& hubList, bool viewsRequireRefresh, TableView* table)
{
    if ((!collection.isEmpty() && !viewsRequireRefresh) || hubList.isEmpty())
        return false;
    setWarningsCollection(hubList, table);
    return true;
}

void WarningsManager::clear()
{
    collection = QList<Item>();
    sortedAndFilteredArray.reset();
    warningSummary.clear();
    keysInArrival.clear();
    currentFilterTag = 0;
    limitNotice = false;
}

void WarningsManager::setFilterTag(int tag) { currentFilterTag = tag; }

bool WarningsManager::getVisible(const WarningRecord& record) const
{
    switch (currentFilterTag) {
    case 0:
        return true;
    case 1:
        return record.type == 1;
    case 3:
        return record.type == 3;
    default:
        return record.type == 2;
    }
}

void WarningsManager::filter(TableView& table)
{
    logLine(2, QStringLiteral("warnings filter %1").arg(currentFilterTag));
    for (const Item& item : std::as_const(collection)) {
        if (const auto record = asRecord(item))
            record->setVisible(getVisible(*record));
    }
    sortedAndFilteredArray.reset();
    table.reloadData();
}

qsizetype WarningsManager::numberOfRows(TableView& table)
{
    limitNotice = collection.size() >= defaults.value(defaultsKey::warningsMaximumCount);
    return numberOfRowsInTableView(table);
}

std::shared_ptr<WarningRecord> WarningsManager::recordAtRow(qsizetype row)
{
    return row < 0 ? nullptr : asRecord(getItemAtRowIndex(quint64(row)));
}

QVariant WarningsManager::tableViewObjectValue(TableView&, const TableColumn& column, qsizetype row)
{
    const auto record = recordAtRow(row);
    if (!record)
        return QString();
    if (column.identifier != QLatin1String("warning"))
        return record->getFieldByName(column.identifier);
    const QString cleaned = CrwlUrl::cleanedWarningString(record->warning);
    if (!cleaned.startsWith(QLatin1String("The link url")) || !record->lcurl)
        return cleaned;
    const auto& inbound = record->lcurl->getInboundInstances();
    if (inbound.size() <= 1) {
        const QString onPage = inbound.empty() || !inbound.front() ? record->url : inbound.front()->getOnPageUrl();
        return QStringLiteral("%1 There is one link with this link url, it appears on %2").arg(cleaned, onPage);
    }
    return QStringLiteral("%1 There are %2 instances of the link url over one or more pages.")
        .arg(cleaned, QString::number(qint64(inbound.size())));
}

void WarningsManager::setWarningInspectorOpener(std::shared_ptr<WarningInspectorOpener> opener)
{
    inspectorOpener = std::move(opener);
}

void WarningsManager::doubleClick(qsizetype row)
{
    if (row < 0) {
        logLine(0, QStringLiteral("nothing selected"));
        return;
    }
    const auto record = recordAtRow(row);
    if (record && record->lcurl && inspectorOpener)
        inspectorOpener->openWarningInspector(record);
}

QString WarningsManager::urlOfRow(qsizetype row)
{
    const auto record = recordAtRow(row);
    return record ? record->url : QString();
}

void WarningsManager::removeTemporarily(qsizetype row, TableView& table) { removeKind(row, table, /*untilNextScan=*/false); }

void WarningsManager::removeUntilNextScan(qsizetype row, TableView& table) { removeKind(row, table, /*untilNextScan=*/true); }

void WarningsManager::removeKind(qsizetype row, TableView& table, bool untilNextScan)
{
    const auto selected = recordAtRow(row);
    if (!selected) {
        logLine(0, QStringLiteral("nothing selected"));
        return;
    }
    const QString key = WarningRecord::warningKey(selected->warning);
    const auto keep = [&key](const Item& item) {
        const auto record = asRecord(item);
        return record && !record->warning.contains(key);
    };
    const QList<Item>& source = untilNextScan ? collection : getSortedAndFilteredArray();
    QList<Item> kept;
    std::copy_if(source.begin(), source.end(), std::back_inserter(kept), keep);
    if (untilNextScan) {
        collection = std::move(kept);
        filter(table);
        return;
    }
    sortedAndFilteredArray = std::move(kept);
    table.reloadData();
}

QString WarningsManager::getMostCommonErrors() const
{
    QStringList keys = keysInArrival;
    std::stable_sort(keys.begin(), keys.end(),
        [this](const QString& a, const QString& b) { return warningSummary.value(a) > warningSummary.value(b); });
    return keys.mid(0, 3).join(QStringLiteral(", "));
}

QString WarningsManager::getWarningShortSummary() const
{
    const bool capped = collection.size() >= defaults.value(defaultsKey::warningsMaximumCount);
    return QStringLiteral("<h1>HTML validation and other warnings</h1>\n<p>%1 warning(s)</p>\n%2%3")
        .arg(QString::number(collection.size()),
            capped ? QStringLiteral("<p>The number of warnings has been capped. Some of these may be template issues "
                                    "and therefore appear on every page.</p>\n")
                   : QString(),
            collection.isEmpty() ? QString()
                                 : QStringLiteral("<p>The most common warnings are: %1</p>\n")
                                       .arg(detail::htmlEscaped(getMostCommonErrors())));
}

} // namespace crawlmere::reports
