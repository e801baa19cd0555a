// The outline view of every tree-shaped result list: a result table whose rows expand, posting
// its reload notification after reloads, expansions and collapses.
#pragma once

#include "views/ResultTreeView.h"

/// A `ResultTreeView` over an `OutlineDataSource`. Its delegate answers `copyURLInOutlineView`.
/// Every expansion or collapse (by code or by the user) posts the reload notification once.
/// Main thread only.
class qfOutlineView : public crawlmere::views::ResultTreeView {
    Q_OBJECT
public:
    /// Posted by `reloadData()`, `expandItem` and `collapseItem` with the view as object.
    static inline const QString didReloadDataNotification = QStringLiteral("qfOutlineViewDidReloadData");

    explicit qfOutlineView(QWidget* parent = nullptr);

    /// The context menu for a clicked row that cannot expand. Not owned.
    void setSecondaryMenu(QMenu* menu) { m_secondaryMenu = menu; }
    QMenu* secondaryMenu() const { return m_secondaryMenu; }

    /// expandItem:expandChildren: — an invalid index stands for every top-level row. Posts once.
    void expandItem(const QModelIndex& item, bool expandChildren = false);
    /// collapseItem:collapseChildren: — an invalid index stands for every top-level row. Posts
    /// once.
    void collapseItem(const QModelIndex& item, bool collapseChildren = false);

public Q_SLOTS:
    /// copy: sends `copyURLInOutlineView` to the delegate with this view.
    void copy() override;

protected:
    QString reloadNotificationName() const override { return didReloadDataNotification; }
    /// One row: the ordinary menu when it can expand, else the secondary menu.
    QMenu* menuForRow(const QModelIndex& row) override;

private:
    void expandedOrCollapsed();
    void applyToItem(const QModelIndex& item, bool expand, bool recursive);
    // Expands or collapses one row (every top-level row for an invalid index), then posts once.
    void applyAndPost(const QModelIndex& item, bool expand, bool recursive);

    QPointer<QMenu> m_secondaryMenu;
    bool m_batching = false;
};
