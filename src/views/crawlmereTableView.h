// The table view of every flat result list: row labels, reload notification, context menus by
// selection and Copy passed to the data source.
#pragma once

#include "views/ResultTreeView.h"

/// A `ResultTreeView` without tree decoration. Its delegate answers `copyURL`. Main thread only.
class crawlmereTableView : public crawlmere::views::ResultTreeView {
    Q_OBJECT
public:
    /// Posted by `reloadData()` with the view as object.
    static inline const QString didReloadDataNotification = QStringLiteral("qfTableViewDidReloadData");

    explicit crawlmereTableView(QWidget* parent = nullptr);

public Q_SLOTS:
    /// copy: sends `copyURL` to the delegate with this view.
    void copy() override;

protected:
    QString reloadNotificationName() const override { return didReloadDataNotification; }
    /// One row: the ordinary menu.
    QMenu* menuForRow(const QModelIndex& row) override;
};
