// The merge of a save, entry by entry for the identified lists (the site list).
#include "platform/detail/DefaultsMerge.h"
#include "platform/StoredValue.h"

#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"

#include <QHash>
#include <QSet>

namespace crawlmere::platform::detail {

namespace {

const QString kIdentity = QStringLiteral("id");

/// What tells an entry of an identified list from the others: its `id`, or for an entry
/// without one (written by an older version), its whole contents. Null for a non-dictionary.
QString identityOf(const QVariant& entry)
{
    if (entry.typeId() != QMetaType::QVariantMap)
        return {};
    const QString identity = crawlmere::platform::stringValue(entry.toMap().value(kIdentity));
    if (!identity.isEmpty())
        return identity;
    const auto contents = PropertyList::toXml(entry);
    return QStringLiteral("\u0001") + QString::fromUtf8(contents ? *contents : QByteArray());
}

/// True for a list of dictionaries of which some carry an `id` (the site list): such a list is
/// merged entry by entry. An absent value or an empty list counts as one.
bool isIdentifiedList(const QVariant& value)
{
    if (!value.isValid())
        return true;
    if (value.typeId() != QMetaType::QVariantList)
        return false;
    const QVariantList entries = value.toList();
    bool identified = entries.isEmpty();
    for (const QVariant& entry : entries) {
        const QString identity = identityOf(entry);
        if (identity.isNull())
            return false;
        identified = identified || !identity.startsWith(QChar(1));
    }
    return identified;
}

/// The identities of a list's entries, in order, and where each first stands.
struct Identities {
    explicit Identities(const QVariantList& entries)
    {
        order.reserve(entries.size());
        for (const QVariant& entry : entries)
            order << identityOf(entry);
        reindex();
    }
    void reindex()
    {
        at.clear();
        for (qsizetype i = order.size() - 1; i >= 0; --i)
            at.insert(order.at(i), i);
    }
    qsizetype indexOf(const QString& identity) const { return at.value(identity, -1); }

    QStringList order;
    QHash<QString, qsizetype> at;
};

/// `stored` with the entries this process added, changed or removed between `base` and
/// `mine` applied, and nothing else: entries another process added stay where they are.
/// An entry this process changed that another process has removed stays removed; one it
/// added that another process added under the same id replaces that entry. A new entry goes
/// before the next entry of this process's list the file holds (last when none). When this
/// process reordered its entries, they take that order in the places they hold.
QVariantList withEntryChanges(QVariantList stored, const QVariantList& base, const QVariantList& mine)
{
    const Identities baseIds(base);
    const Identities mineIds(mine);
    QSet<QString> removed;
    for (const QString& identity : baseIds.order) {
        if (mineIds.indexOf(identity) < 0)
            removed.insert(identity);
    }
    if (!removed.isEmpty())
        stored.removeIf([&removed](const QVariant& entry) { return removed.contains(identityOf(entry)); });
    Identities storedIds(stored);
    QList<qsizetype> added;
    for (qsizetype i = 0; i < mine.size(); ++i) {
        const qsizetype inBase = baseIds.indexOf(mineIds.order.at(i));
        const qsizetype at = storedIds.indexOf(mineIds.order.at(i));
        if (inBase >= 0 ? base.at(inBase) != mine.at(i) && at >= 0 : at >= 0)
            stored[at] = mine.at(i);
        else if (inBase < 0)
            added << i;
    }
    // Last first: a new entry goes before the next entry of this process's list the file
    // holds by then, else last.
    for (auto it = added.crbegin(); it != added.crend(); ++it) {
        qsizetype position = stored.size();
        for (qsizetype after = *it + 1; after < mine.size(); ++after) {
            const qsizetype found = storedIds.order.indexOf(mineIds.order.at(after));
            if (found >= 0) {
                position = found;
                break;
            }
        }
        stored.insert(position, mine.at(*it));
        storedIds.order.insert(position, mineIds.order.at(*it));
    }
    // The order of the entries this process kept from its base, as it has them now and as it had them.
    QStringList mineOrder;
    QStringList baseOrder;
    for (const QString& identity : mineIds.order) {
        if (baseIds.indexOf(identity) >= 0)
            mineOrder << identity;
    }
    const QSet<QString> kept(mineOrder.cbegin(), mineOrder.cend());
    for (const QString& identity : baseIds.order) {
        if (kept.contains(identity))
            baseOrder << identity;
    }
    if (baseOrder == mineOrder)
        return stored;
    storedIds.reindex();
    QList<qsizetype> places;
    for (qsizetype i = 0; i < stored.size(); ++i) {
        if (kept.contains(storedIds.order.at(i)))
            places << i;
    }
    QVariantList ordered;
    for (const QString& identity : std::as_const(mineOrder)) {
        const qsizetype at = storedIds.indexOf(identity);
        if (at >= 0)
            ordered << stored.at(at);
    }
    for (qsizetype i = 0; i < places.size() && i < ordered.size(); ++i)
        stored[places.at(i)] = ordered.at(i);
    return stored;
}

} // namespace

QVariantMap withChanges(QVariantMap stored, const QVariantMap& base, const QVariantMap& mine)
{
    QStringList keys = base.keys() + mine.keys();
    keys.removeDuplicates();
    for (const QString& key : std::as_const(keys)) {
        const QVariant before = base.value(key);
        const QVariant now = mine.value(key);
        if (before == now)
            continue;
        if (!now.isValid()) {
            stored.remove(key);
            continue;
        }
        const QVariant there = stored.value(key);
        if (isIdentifiedList(before) && isIdentifiedList(now) && isIdentifiedList(there))
            stored.insert(key, withEntryChanges(there.toList(), before.toList(), now.toList()));
        else
            stored.insert(key, now);
    }
    return stored;
}

} // namespace crawlmere::platform::detail
