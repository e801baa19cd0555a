// The logic of a table's "Columns" pop-up: which columns the user may show or hide, the menu of
// them with their check marks, and where the choice is kept between runs.
#pragma once

#include "engine/TableView.h"

#include <QList>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <optional>
#include <utility>

namespace crawlmere::platform {
class UserDefaults;
}

/// A column manager works on a `TableView`: a column's visibility is the column's own hidden
/// flag and the items only reflect it. The menu is item 0 "Columns" (a title that matches no
/// column) followed by `items()`, one per optional column in column order. Subclasses choose the
/// mandatory columns and the stored form. `ColumnManagerButton` shows it as a tool button.
///
/// Lifetimes: the table and the defaults store must outlive the manager. Main thread only.
class qfColumnManager {
public:
    struct MenuItem {
        QString title;
        bool on = false;
        friend bool operator==(const MenuItem&, const MenuItem&) = default;
    };
    /// The title of the menu's first item.
    static inline const QString titleItem = QStringLiteral("Columns");

    /// `defaults` null means the standard store.
    explicit qfColumnManager(crawlmere::platform::UserDefaults* defaults = nullptr);
    virtual ~qfColumnManager();
    qfColumnManager(const qfColumnManager&) = delete;
    qfColumnManager& operator=(const qfColumnManager&) = delete;

    void setTableView(TableView* table) { m_table = table; }
    TableView* tableView() const { return m_table; }

    /// Applies the stored choice (`honourOldDefaults`), then rebuilds the items from the columns:
    /// one per distinct identifier (its first column) whose title is allowed. Any number of times.
    void setUpColumns();
    /// The items after "Columns", in column order.
    const QList<MenuItem>& items() const { return m_items; }
    /// Called after every change of the items (for the button that shows them).
    void setItemsChanged(std::function<void()> callback) { m_itemsChanged = std::move(callback); }

    /// sendAction:to: — the user chose the item titled `title`: it flips, its column is shown or
    /// hidden accordingly and the choice is saved (`saveDefaults`). A title with no item changes
    /// nothing. Answers true.
    virtual bool sendAction(const QString& title);
    /// Unhides the first column titled `title` (exact, case-sensitive); none: nothing.
    void showColumnWithTitle(const QString& title);
    /// Hides the first column titled `title`; none: nothing.
    void hideColumnWithTitle(const QString& title);
    /// The position in `tableColumns()` of the first column titled `title`, if any.
    std::optional<qsizetype> columnWithTitle(const QString& title) const;
    /// False only when a column titled `title` exists and is hidden.
    bool columnWithTitleIsVisible(const QString& title) const;
    /// mirror: repeats here a toggle made in another manager: the item titled `title` flips and
    /// its column follows; with no such item (logged) a column of that title is hidden.
    void mirror(const QString& title);
    /// The user moved a column (dragged its header): the choice, column order included, is
    /// saved (`saveDefaults`). Ignored while the stored choice is being applied.
    void columnsMoved();

    /// Applies the stored or older choice; the base does nothing.
    virtual void honourOldDefaults() { }
    /// False for a column that may not be hidden (it gets no item); the base allows all.
    virtual bool shouldAllowSelectionOfColumnNamed(const QString& title) const;
    /// Writes the current choice under the manager's key; the base keeps nothing.
    virtual void saveDefaults() { }

protected:
    crawlmere::platform::UserDefaults& defaults() const { return *m_defaults; }
    /// {title: shown} of every allowed column, in column order.
    QVariantMap currentChoice() const;
    /// The key the column order of the choice under `key` is kept under.
    static QString orderKey(const QString& key) { return key + QStringLiteral("Order"); }
    /// Shows or hides each column named in the dictionary under `key`, then puts the columns
    /// in the order kept under `orderKey(key)` (column identifiers; columns it does not name
    /// follow, in their own order); nothing of what is absent.
    void applyStoredChoice(const QString& key);
    /// Stores `currentChoice()` under `key` and the columns' identifiers in display order under
    /// `orderKey(key)`, replacing what was there.
    void storeChoice(const QString& key);
    /// For each (older key, title) in order whose key the store holds: shows or hides the column
    /// by the key's boolean, then removes the key.
    void migrateOlderKeys(const QList<std::pair<QString, QString>>& olderKeys);

private:
    void setColumnVisible(const QString& title, bool visible);
    void applyStoredOrder(const QString& key);
    void flip(const QString& title);
    void notifyItemsChanged();

    crawlmere::platform::UserDefaults* m_defaults;
    TableView* m_table = nullptr;
    QList<MenuItem> m_items;
    bool m_applyingStoredChoice = false;
    std::function<void()> m_itemsChanged;
};
