// The result table view.
#include "views/crawlmereTableView.h"

#include "views/ResultViewDelegate.h"

crawlmereTableView::crawlmereTableView(QWidget* parent)
    : ResultTreeView(parent)
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
}

void crawlmereTableView::copy()
{
    if (crawlmere::views::ResultViewDelegate* delegate = viewDelegate())
        delegate->copyURL(*this);
}

QMenu* crawlmereTableView::menuForRow(const QModelIndex& /*row*/) { return menu(); }
