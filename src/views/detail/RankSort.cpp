// Stable sorting of row lists by ranked values.
#include "views/detail/RankSort.h"

#include <QHash>

#include <algorithm>
#include <numeric>

namespace crawlmere::views::detail {

namespace {

bool isNumber(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Bool:
        return true;
    default:
        return false;
    }
}

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
    QHash<QString, int> idOfText;
    QList<QString> texts;
    for (qsizetype i = 0; i < count; ++i) {
        const QString text = valueAt(i).toString();
        auto it = idOfText.constFind(text);
        if (it == idOfText.cend()) {
            it = idOfText.insert(text, static_cast<int>(texts.size()));
            texts.append(text);
        }
        ids[static_cast<size_t>(i)] = it.value();
    }
    const Qt::CaseSensitivity sensitivity
        = comparison == ViewComparison::CaseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive;
    std::vector<int> byText(static_cast<size_t>(texts.size()));
    std::iota(byText.begin(), byText.end(), 0);
    std::sort(byText.begin(), byText.end(),
        [&](int a, int b) { return QString::compare(texts.at(a), texts.at(b), sensitivity) < 0; });
    std::vector<int> rankOfId(byText.size());
    int rank = 0;
    for (size_t i = 0; i < byText.size(); ++i) {
        if (i > 0 && QString::compare(texts.at(byText[i - 1]), texts.at(byText[i]), sensitivity) != 0)
            ++rank;
        rankOfId[static_cast<size_t>(byText[i])] = rank;
    }
    for (int& id : ids)
        id = rankOfId[static_cast<size_t>(id)];
    return ids;
}

} // namespace

std::vector<qsizetype> stableSortOrder(
    qsizetype count, const std::function<QVariant(qsizetype)>& valueAt, ViewComparison comparison, bool ascending)
{
    std::vector<double> numbers;
    numbers.reserve(static_cast<size_t>(count));
    bool allNumbers = true;
    for (qsizetype i = 0; i < count && allNumbers; ++i) {
        const QVariant value = valueAt(i);
        if (isNumber(value))
            numbers.push_back(value.toDouble());
        else
            allNumbers = false;
    }
    if (allNumbers)
        return orderByKeys(numbers, ascending);
    numbers = {};
    return orderByKeys(textRanks(count, valueAt, comparison), ascending);
}

} // namespace crawlmere::views::detail
