// Stable sorting of row lists by ranked values.
#include "views/detail/RankSort.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "views/detail/LinkViewFilter.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <numeric>

namespace crawlmere::views::detail {

namespace {

template <typename Key> std::vector<qsizetype> orderByKeys(const std::vector<Key>& keys, bool ascending)
{
    std::vector<qsizetype> order(keys.size());
    std::iota(order.begin(), order.end(), qsizetype(0));
    if (ascending)
        std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) { return keys[a] < keys[b]; });
    else
        std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) { return keys[b] < keys[a]; });
    return order;
}

// Each row's text replaced by the rank of that text among the distinct texts; texts that the
// comparison finds equal share a rank.
std::vector<int> textRanks(
    qsizetype count, const std::function<QVariant(qsizetype)>& valueAt, ViewComparison comparison)
{
    std::vector<int> ids(static_cast<size_t>(count));
    QList<QString> texts;
    texts.reserve(count);
    if (count <= 64) {
        // A short list is ranked as it stands; finding repeated texts would cost more.
        for (qsizetype i = 0; i < count; ++i) {
            texts.append(valueAt(i).toString());
            ids[static_cast<size_t>(i)] = static_cast<int>(i);
        }
    } else {
        QHash<QString, int> idOfText;
        for (qsizetype i = 0; i < count; ++i) {
            const QString text = valueAt(i).toString();
            auto it = idOfText.constFind(text);
            if (it == idOfText.cend()) {
                it = idOfText.insert(text, static_cast<int>(texts.size()));
                texts.append(text);
            }
            ids[static_cast<size_t>(i)] = it.value();
        }
    }
    const Qt::CaseSensitivity sensitivity
        = comparison == ViewComparison::CaseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive;
    std::vector<int> byText(static_cast<size_t>(texts.size()));
    std::iota(byText.begin(), byText.end(), 0);
    const auto compare
        = [&](int a, int b) { return qfDataSource::compareSortTexts(texts.at(a), texts.at(b), sensitivity); };
    std::sort(byText.begin(), byText.end(), [&](int a, int b) { return compare(a, b) < 0; });
    std::vector<int> rankOfId(byText.size());
    int rank = 0;
    for (size_t i = 0; i < byText.size(); ++i) {
        if (i > 0 && compare(byText[i - 1], byText[i]) != 0)
            ++rank;
        rankOfId[static_cast<size_t>(byText[i])] = rank;
    }
    for (int& id : ids)
        id = rankOfId[static_cast<size_t>(id)];
    return ids;
}

// Each row's key: its number when every value is one, else the rank of its text (kept as int,
// half the memory the sort walks).
struct RowKeys {
    bool numeric = true;
    std::vector<double> numbers;
    std::vector<int> ranks;
};

RowKeys rowKeysOf(qsizetype count, const std::function<QVariant(qsizetype)>& valueAt, ViewComparison comparison,
    const std::function<const void*(qsizetype)>& sharedBy)
{
    // Rows that share an object share a slot, whose value is read from its first row.
    std::vector<int> slotOfRow;
    std::vector<qsizetype> firstRowOfSlot;
    if (sharedBy) {
        slotOfRow.resize(size_t(count));
        QHash<const void*, int> slotOfObject;
        for (qsizetype i = 0; i < count; ++i) {
            const void* object = sharedBy(i);
            int slot = object ? slotOfObject.value(object, -1) : -1;
            if (slot < 0) {
                slot = int(firstRowOfSlot.size());
                firstRowOfSlot.push_back(i);
                if (object)
                    slotOfObject.insert(object, slot);
            }
            slotOfRow[size_t(i)] = slot;
        }
    }
    const qsizetype slots = sharedBy ? qsizetype(firstRowOfSlot.size()) : count;
    const std::function<QVariant(qsizetype)> slotValue = sharedBy
        ? std::function<QVariant(qsizetype)>([&](qsizetype s) { return valueAt(firstRowOfSlot[size_t(s)]); })
        : valueAt;
    const auto rowKeys = [&](auto slotKeys) {
        if (!sharedBy)
            return slotKeys;
        decltype(slotKeys) keys;
        keys.resize(size_t(count));
        for (qsizetype i = 0; i < count; ++i)
            keys[size_t(i)] = slotKeys[size_t(slotOfRow[size_t(i)])];
        return keys;
    };

    RowKeys result;
    std::vector<double> numbers;
    numbers.reserve(size_t(slots));
    for (qsizetype i = 0; i < slots && result.numeric; ++i) {
        const QVariant value = slotValue(i);
        if (qfDataSource::isNumericSortValue(value))
            numbers.push_back(value.toDouble());
        else
            result.numeric = false;
    }
    if (result.numeric) {
        result.numbers = rowKeys(std::move(numbers));
    } else {
        numbers = {};
        result.ranks = rowKeys(textRanks(slots, slotValue, comparison));
    }
    return result;
}

} // namespace

std::vector<qsizetype> stableSortOrder(qsizetype count, const std::function<QVariant(qsizetype)>& valueAt,
    ViewComparison comparison, bool ascending, const std::function<const void*(qsizetype)>& sharedBy)
{
    const RowKeys keys = rowKeysOf(count, valueAt, comparison, sharedBy);
    return keys.numeric ? orderByKeys(keys.numbers, ascending) : orderByKeys(keys.ranks, ascending);
}

std::vector<double> sortKeys(qsizetype count, const std::function<QVariant(qsizetype)>& valueAt,
    ViewComparison comparison, const std::function<const void*(qsizetype)>& sharedBy)
{
    RowKeys keys = rowKeysOf(count, valueAt, comparison, sharedBy);
    if (keys.numeric)
        return std::move(keys.numbers);
    return std::vector<double>(keys.ranks.begin(), keys.ranks.end());
}

std::vector<double> occurrenceSortKeys(
    const std::vector<const CrwlDataObject*>& rows, const QString& key, ViewComparison comparison)
{
    const QString getter = key.toLower();
    std::function<const void*(qsizetype)> sharedBy;
    if (rows.size() > 64 && isTargetSortKey(getter)) {
        sharedBy = [&](qsizetype i) -> const void* {
            const auto* occurrence = asOccurrence(rows[size_t(i)]);
            return occurrence ? occurrence->target().get() : nullptr;
        };
    }
    // The link text is read straight from the occurrence: the most common sort of link rows.
    const bool linkText = getter == QLatin1String("linktext");
    return sortKeys(
        qsizetype(rows.size()),
        [&](qsizetype i) {
            const CrwlDataObject* row = rows[size_t(i)];
            if (!row)
                return QVariant();
            if (const auto* occurrence = linkText ? asOccurrence(row) : nullptr)
                return QVariant(occurrence->getLinkText());
            return row->getSortValue(getter);
        },
        comparison, sharedBy);
}

void stableSortOccurrences(
    QList<qfDataSource::Item>& items, const QString& key, ViewComparison comparison, bool ascending)
{
    // Lower case once: the row getters look keys up in lower case.
    const QString getter = key.toLower();
    std::function<const void*(const qfDataSource::Item&)> sharedBy;
    if (items.size() > 64 && isTargetSortKey(getter)) {
        sharedBy = [](const qfDataSource::Item& item) -> const void* {
            const auto* occurrence = asOccurrence(item.get());
            return occurrence ? occurrence->target().get() : nullptr;
        };
    }
    stableSortItems(
        items, [&](const qfDataSource::Item& item) { return item ? item->getSortValue(getter) : QVariant(); },
        comparison, ascending, sharedBy);
}

bool isTargetSortKey(const QString& lowerCaseKey)
{
    static const QSet<QString> keys = { QStringLiteral("status"), QStringLiteral("statusdescription"),
        QStringLiteral("linkurl"), QStringLiteral("absolutestringdecoded"), QStringLiteral("redir"),
        QStringLiteral("redirdecoded"), QStringLiteral("redirectcount"), QStringLiteral("targetsize"),
        QStringLiteral("targetinternal"), QStringLiteral("internal") };
    return keys.contains(lowerCaseKey);
}

} // namespace crawlmere::views::detail
