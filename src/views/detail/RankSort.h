// Stable sorting of large row lists by one key: every row's value is read once, texts are
// ranked once per distinct text, and the rows are then ordered by those numbers.
#pragma once

#include "views/ViewColumn.h"

#include <QList>
#include <QVariant>

#include <functional>
#include <vector>

namespace crawlmere::views::detail {

/// The stable order of `count` rows by `valueAt(i)`: indexes into the rows, first row first.
/// When every value is a number (or a Boolean) they are compared as numbers; otherwise every
/// value is compared as its text, literally (`Default`) or ignoring case. Equal values keep
/// their order, in either direction. `valueAt` is called at most twice per row.
std::vector<qsizetype> stableSortOrder(
    qsizetype count, const std::function<QVariant(qsizetype)>& valueAt, ViewComparison comparison, bool ascending);

/// Reorders `items` stably by the value `valueOf(item)`.
template <typename T, typename ValueOf>
void stableSortItems(QList<T>& items, ValueOf valueOf, ViewComparison comparison, bool ascending)
{
    if (items.size() < 2)
        return;
    const std::vector<qsizetype> order = stableSortOrder(
        items.size(), [&](qsizetype i) { return valueOf(items.at(i)); }, comparison, ascending);
    QList<T> sorted;
    sorted.reserve(items.size());
    for (qsizetype i : order)
        sorted.append(std::move(items[i]));
    items = std::move(sorted);
}

} // namespace crawlmere::views::detail
