// The result outline view.
#include "views/qfOutlineView.h"

#include "views/ResultItemModel.h"
#include "views/ResultViewDelegate.h"

qfOutlineView::qfOutlineView(QWidget* parent)
    : ResultTreeView(parent)
{
    connect(this, &QTreeView::expanded, this, &qfOutlineView::expandedOrCollapsed);
    connect(this, &QTreeView::collapsed, this, &qfOutlineView::expandedOrCollapsed);
}

void qfOutlineView::expandedOrCollapsed()
{
    if (!m_batching)
        postReloadNotification();
}

void qfOutlineView::applyToItem(const QModelIndex& item, bool expand, bool recursive)
{
    if (recursive && expand) {
        expandRecursively(item);
        return;
    }
    if (recursive) {
        // Only rows that are open have open rows below them.
        const int children = itemModel().rowCount(item);
        for (int row = 0; row < children; ++row) {
            const QModelIndex child = itemModel().index(row, 0, item);
            // A row without children has nothing to close (Qt marks such rows open too when it
            // opens a branch recursively; closing each would cost a pass over all rows).
            if (itemModel().hasChildren(child) && isExpanded(child))
                applyToItem(child, /*expand=*/false, /*recursive=*/true);
        }
    }
    if (expand)
        QTreeView::expand(item);
    else
        QTreeView::collapse(item);
}

void qfOutlineView::expandItem(const QModelIndex& item, bool expandChildren)
{
    applyAndPost(item, /*expand=*/true, expandChildren);
}

void qfOutlineView::collapseItem(const QModelIndex& item, bool collapseChildren)
{
    applyAndPost(item, /*expand=*/false, collapseChildren);
}

void qfOutlineView::applyAndPost(const QModelIndex& item, bool expand, bool recursive)
{
    m_batching = true;
    if (item.isValid()) {
        applyToItem(item, expand, recursive);
    } else if (recursive) {
        // Every row: one layout pass that opens only the rows that have children.
        if (expand)
            QTreeView::expandAll();
        else
            QTreeView::collapseAll();
    } else {
        const int rows = itemModel().rowCount();
        for (int row = 0; row < rows; ++row)
            applyToItem(itemModel().index(row, 0), expand, recursive);
    }
    m_batching = false;
    postReloadNotification();
}

void qfOutlineView::copy()
{
    if (crawlmere::views::ResultViewDelegate* delegate = viewDelegate())
        delegate->copyURLInOutlineView(*this);
}

QMenu* qfOutlineView::menuForRow(const QModelIndex& row)
{
    return itemModel().isItemExpandable(row) ? menu() : secondaryMenu();
}
