// The shared logic of the column managers.
#include "views/qfColumnManager.h"

#include "platform/Log.h"
#include "platform/StoredValue.h"
#include "platform/UserDefaults.h"

#include <QScopedValueRollback>
#include <QSet>

using crawlmere::platform::logLine;
using crawlmere::platform::UserDefaults;

qfColumnManager::qfColumnManager(UserDefaults* store)
    : m_defaults(store ? store : &UserDefaults::standard())
{
}

qfColumnManager::~qfColumnManager() = default;

bool qfColumnManager::shouldAllowSelectionOfColumnNamed(const QString& /*title*/) const { return true; }

void qfColumnManager::setUpColumns()
{
    honourOldDefaults();
    m_items.clear();
    if (m_table) {
        QSet<QString> seen;
        for (const TableColumn& column : m_table->tableColumns()) {
            if (seen.contains(column.identifier))
                continue;
            seen.insert(column.identifier);
            if (shouldAllowSelectionOfColumnNamed(column.title))
                m_items.append({ column.title, !column.hidden });
        }
    }
    notifyItemsChanged();
}

bool qfColumnManager::sendAction(const QString& title)
{
    const bool known
        = std::any_of(m_items.cbegin(), m_items.cend(), [&](const MenuItem& item) { return item.title == title; });
    if (!known)
        return true;
    flip(title);
    saveDefaults();
    return true;
}

void qfColumnManager::mirror(const QString& title)
{
    const bool known
        = std::any_of(m_items.cbegin(), m_items.cend(), [&](const MenuItem& item) { return item.title == title; });
    if (known) {
        flip(title);
    } else {
        logLine(1, QStringLiteral("mirroring but selectedItem is nil"));
        hideColumnWithTitle(title);
    }
    saveDefaults();
}

void qfColumnManager::columnsMoved()
{
    if (!m_applyingStoredChoice)
        saveDefaults();
}

void qfColumnManager::flip(const QString& title)
{
    for (MenuItem& item : m_items) {
        if (item.title != title)
            continue;
        item.on = !item.on;
        setColumnVisible(title, item.on);
        break;
    }
    notifyItemsChanged();
}

void qfColumnManager::setColumnVisible(const QString& title, bool visible)
{
    if (visible)
        showColumnWithTitle(title);
    else
        hideColumnWithTitle(title);
}

std::optional<qsizetype> qfColumnManager::columnWithTitle(const QString& title) const
{
    if (!m_table)
        return std::nullopt;
    const QList<TableColumn> columns = m_table->tableColumns();
    for (qsizetype position = 0; position < columns.size(); ++position) {
        if (columns.at(position).title == title)
            return position;
    }
    return std::nullopt;
}

bool qfColumnManager::columnWithTitleIsVisible(const QString& title) const
{
    const std::optional<qsizetype> position = columnWithTitle(title);
    return !position || !m_table->tableColumns().at(*position).hidden;
}

void qfColumnManager::showColumnWithTitle(const QString& title)
{
    if (const std::optional<qsizetype> position = columnWithTitle(title)) {
        logLine(0, QStringLiteral("adding col %1").arg(title));
        m_table->setColumnHidden(*position, /*hidden=*/false);
    }
}

void qfColumnManager::hideColumnWithTitle(const QString& title)
{
    if (const std::optional<qsizetype> position = columnWithTitle(title))
        m_table->setColumnHidden(*position, /*hidden=*/true);
}

QVariantMap qfColumnManager::currentChoice() const
{
    QVariantMap choice;
    if (!m_table)
        return choice;
    for (const TableColumn& column : m_table->tableColumns()) {
        if (shouldAllowSelectionOfColumnNamed(column.title))
            choice.insert(column.title, !column.hidden);
    }
    return choice;
}

void qfColumnManager::applyStoredChoice(const QString& key)
{
    const QScopedValueRollback applying(m_applyingStoredChoice, true);
    if (defaults().objectForKey(key).isValid()) {
        const QVariantMap stored = defaults().dictionaryForKey(key);
        for (auto entry = stored.cbegin(); entry != stored.cend(); ++entry)
            setColumnVisible(entry.key(), crawlmere::platform::boolValue(entry.value()));
    }
    applyStoredOrder(orderKey(key));
}

void qfColumnManager::applyStoredOrder(const QString& key)
{
    if (!m_table || !defaults().objectForKey(key).isValid())
        return;
    qsizetype next = 0;
    for (const QString& identifier : defaults().stringArrayForKey(key)) {
        const QList<TableColumn> columns = m_table->tableColumns();
        for (qsizetype position = next; position < columns.size(); ++position) {
            if (columns.at(position).identifier != identifier)
                continue;
            if (position != next)
                m_table->moveColumn(position, next);
            ++next;
            break;
        }
    }
}

void qfColumnManager::storeChoice(const QString& key)
{
    defaults().setObject(currentChoice(), key);
    if (!m_table)
        return;
    QStringList order;
    for (const TableColumn& column : m_table->tableColumns())
        order.append(column.identifier);
    defaults().setObject(order, orderKey(key));
}

void qfColumnManager::migrateOlderKeys(const QList<std::pair<QString, QString>>& olderKeys)
{
    for (const auto& [key, title] : olderKeys) {
        if (!defaults().objectForKey(key).isValid())
            continue;
        setColumnVisible(title, defaults().boolForKey(key));
        defaults().removeObjectForKey(key);
    }
}

void qfColumnManager::notifyItemsChanged()
{
    if (m_itemsChanged)
        m_itemsChanged();
}
