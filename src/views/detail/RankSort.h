// Stable sorting of large row lists by one key: every row's value is read once, texts are
// ranked once per distinct text, and the rows are then ordered by those numbers.
#pragma once

#include "engine/qfDataSource.h"
#include "views/ViewColumn.h"

#include <QList>
#include <QVariant>

#include <functional>
#include <vector>

namespace crawlmere::views::detail {

/// The stable order of `count` rows by `valueAt(i)`: indexes into the rows, first row first.
/// When every value is a number (or a Boolean) they are compared as numbers; otherwise every
/// value is compared as its text, literally (`Default`) or ignoring case. Equal values keep
/// their order, in either direction.
///
/// `sharedBy`, when given, names for each row an object whose rows all have the same value (an
/// occurrence's target for the target's columns); the value is then read once per object. A
/// null object shares with no other row. `valueAt` is called at most twice per value read.
std::vector<qsizetype> stableSortOrder(qsizetype count, const std::function<QVariant(qsizetype)>& valueAt,
    ViewComparison comparison, bool ascending, const std::function<const void*(qsizetype)>& sharedBy = {});

/// The keys `stableSortOrder` orders by: one per row, equal for rows the comparison finds equal
/// and ordered as their values are (numbers as themselves, texts as the rank of their text).
/// Keys of one call compare with each other only.
std::vector<double> sortKeys(qsizetype count, const std::function<QVariant(qsizetype)>& valueAt,
    ViewComparison comparison, const std::function<const void*(qsizetype)>& sharedBy = {});

/// The occurrence sort keys (lower case) whose value is the target's: rows pointing to one
/// target sort alike.
bool isTargetSortKey(const QString& lowerCaseKey);

/// Reorders `items` stably by the value `valueOf(item)`; `sharedBy(item)` as for `stableSortOrder`.
template <typename T, typename ValueOf>
void stableSortItems(QList<T>& items, ValueOf valueOf, ViewComparison comparison, bool ascending,
    const std::function<const void*(const T&)>& sharedBy = {})
{
    if (items.size() < 2)
        return;
    std::function<const void*(qsizetype)> shared;
    if (sharedBy)
        shared = [&](qsizetype i) { return sharedBy(items.at(i)); };
    const std::vector<qsizetype> order = stableSortOrder(
        items.size(), [&](qsizetype i) { return valueOf(items.at(i)); }, comparison, ascending, shared);
    QList<T> sorted;
    sorted.reserve(items.size());
    if (items.isDetached()) {
        for (qsizetype i : order)
            sorted.append(std::move(items[i]));
    } else {
        // Shared with another holder (a view reading rows from it): copy rather than detach.
        for (qsizetype i : order)
            sorted.append(std::as_const(items).at(i));
    }
    items = std::move(sorted);
}

/// `sortKeys` of rows (link occurrences and any other rows; null rows allowed) by the row getter
/// `key` (any case), reading a target's value once for its occurrences. For ordering many short
/// lists by one key: the values are ranked once for all of them.
std::vector<double> occurrenceSortKeys(
    const std::vector<const CrwlDataObject*>& rows, const QString& key, ViewComparison comparison);

/// Reorders link occurrences (and any other rows) stably by the row getter `key` (any case);
/// occurrences of one target read a target's value once.
void stableSortOccurrences(
    QList<qfDataSource::Item>& items, const QString& key, ViewComparison comparison, bool ascending);

} // namespace crawlmere::views::detail
