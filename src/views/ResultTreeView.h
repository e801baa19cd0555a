// The shared base of the result table and outline views: a QTreeView that is also a `TableView`,
// paints each row's label, posts its reload notification and picks its context menu.
#pragma once

#include "engine/TableView.h"
#include "engine/qfDataSource.h"

#include <QHash>
#include <QMenu>
#include <QPainterPath>
#include <QPointer>
#include <QSet>
#include <QTreeView>

#include <optional>

namespace crawlmere::views {

class OutlineDataSource;
class ResultItemModel;
class ResultViewDelegate;

/// Owns its `ResultItemModel`; the data sources and the delegate are not owned and must outlive
/// the view or be unset first. Rows are of uniform height and selected whole (several with
/// Shift/Ctrl). Column indexes of the `TableView` side are display positions (`tableColumns()`
/// order); `QTreeView`'s own column calls keep Qt's logical indexes. Main thread only.
class ResultTreeView : public QTreeView, public TableView {
    Q_OBJECT
public:
    explicit ResultTreeView(QWidget* parent = nullptr);
    ~ResultTreeView() override;

    /// The columns in their first order, with their hidden flags; resets the rows, the column
    /// order and the sort descriptors.
    void setTableColumns(const QList<TableColumn>& columns);
    /// The flat rows and the data source that sorts on header clicks. Reloads.
    void setDataSource(qfDataSource* source);
    /// Rows as a tree (outlines); null goes back to the flat rows. Reloads.
    void setOutlineDataSource(OutlineDataSource* source);
    void setViewDelegate(ResultViewDelegate* delegate) { m_delegate = delegate; }
    ResultViewDelegate* viewDelegate() const { return m_delegate; }
    ResultItemModel& itemModel() const { return *m_model; }

    /// The row object shown at `index` (any column); null when there is none.
    qfDataSource::Item itemAt(const QModelIndex& index) const;
    /// The selected rows' objects, top to bottom as shown.
    QList<qfDataSource::Item> selectedItems() const;

    /// A name for the view that nothing in the program reads.
    QString getQFIdentifier() const { return m_qfidentifier; }
    void setQFIdentifier(const QString& identifier) { m_qfidentifier = identifier; }

    /// The ordinary context menu (one row or none). Not owned.
    void setMenu(QMenu* menu) { m_menu = menu; }
    QMenu* menu() const { return m_menu; }
    /// The context menu when more than one row is selected. Not owned.
    void setTertiaryMenu(QMenu* menu) { m_tertiaryMenu = menu; }
    QMenu* tertiaryMenu() const { return m_tertiaryMenu; }

    /// menuForEvent: the menu for a right-click at `viewportPoint`. With several rows selected:
    /// the tertiary menu, selection kept. Otherwise the clicked row becomes the only selection
    /// (a click on no row clears the selection and answers the ordinary menu) and the subclass
    /// chooses by that row. May answer null when the menu is not set.
    QMenu* menuForEvent(const QPoint& viewportPoint);

    // TableView
    QList<TableColumn> tableColumns() const override;
    QList<SortDescriptor> sortDescriptors() const override { return m_sortDescriptors; }
    /// Drops the sort descriptors and the header's sort indicator (the rows stay as they are).
    void clearSortDescriptors();
    /// Replaces the sort descriptors and shows the first one's direction on its column's header
    /// (none when the list is empty or names no column). The rows stay as they are.
    void setSortDescriptors(QList<SortDescriptor> descriptors) override;
    /// Rebuilds the rows from the data source and posts the view's reload notification with the
    /// view (its QTreeView address) as object; observers run before this returns. The selection,
    /// the current row and an outline's open rows stay with their items wherever those now are
    /// (a refilter, a sort, new rows); items no longer shown drop out of them.
    void reloadData() override;
    /// The `column`-th column of `tableColumns()`; out of range does nothing.
    void setColumnHidden(qsizetype column, bool hidden) override;
    /// Moves the header's section at visual position `from` to `to`, as a drag does.
    void moveColumn(qsizetype from, qsizetype to) override;

    /// Scrolls the view sideways so that the column of logical index `logical` shows whole
    /// (as much of it as fits, from its left edge).
    void scrollToColumn(int logical);

    /// reloadData: as an action: rebuilds the rows and posts nothing.
    void reloadData(QObject* sender);

    /// The label of a row: the row's rectangle inset to x + 1, y + 1, width − 2, height − 1.
    static QRectF labelRectForRow(const QRect& rowRect);
    /// The label's outline: that rectangle rounded with radius 10 (at most half its height).
    static QPainterPath labelPathForRow(const QRect& rowRect);

public Q_SLOTS:
    /// copy: passes Copy on to the delegate; nothing without one.
    virtual void copy() = 0;

protected:
    /// The name of the notification `reloadData()` posts.
    virtual QString reloadNotificationName() const = 0;
    /// The menu for a right-click on `row`, which is now the only selected row.
    virtual QMenu* menuForRow(const QModelIndex& row) = 0;
    /// A header click changed the sort descriptors: have the rows sorted and reloaded. An
    /// outline's current row, when selected, stays the one selected row and is scrolled into view.
    virtual void sortDescriptorsDidChange(const TableColumn& column);
    void postReloadNotification();

    void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    /// A right-button press over a selection of several rows leaves the selection alone (Qt
    /// would select the pressed row before the context menu opens); its release too.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    /// The viewport's width changed, or the view shows at another width than its columns were
    /// fitted to: the columns share the width afresh.
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    /// An edited value goes to the data source; a reload it causes waits until the editor is
    /// closed, so the view closes the editor it opened (`closeEditor`).
    void commitData(QWidget* editor) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    void headerClicked(int logicalIndex);
    void reloadRows();
    void rememberSelection();
    // Rows with a title (a status group) show it across the row.
    void spanTitledRows();
    void drawRowTitle(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const;
    // Columns as wide as their header, the first rows and the rows in view need, within the
    // viewport's width, except the ones the user has sized.
    void fitColumnsToContent();
    static constexpr int kSampledRows = 50;
    static constexpr int kMaxFittedWidth = 480;
    // The items of an outline's open rows.
    QSet<const void*> expandedItems() const;

    ResultItemModel* m_model;
    ResultViewDelegate* m_delegate = nullptr;
    QPointer<QMenu> m_menu;
    QPointer<QMenu> m_tertiaryMenu;
    QList<SortDescriptor> m_sortDescriptors;
    QString m_qfidentifier;
    // The selected rows' and the current row's items as of the last change by the user, kept
    // alive (so that no other item can take their address) until the next reload.
    QHash<const void*, qfDataSource::Item> m_selectedItems;
    qfDataSource::Item m_currentItem;
    bool m_restoring = false;
    // The columns (logical indexes) the user has resized by dragging or double-clicking their
    // edge: fitting leaves them as they are. A press on the header is in progress.
    QSet<int> m_userSizedColumns;
    bool m_headerPressed = false;
    // The view is fitting its columns (a header click can sort and so refit while pressed).
    bool m_fitting = false;
    // The viewport's width when the columns were last fitted.
    int m_fittedWidth = -1;
    // A right-button press kept a selection of several rows; its release is kept from Qt too.
    bool m_keptSelectionOnPress = false;
    // An edited value is being handed to the data source; a reload asked for meanwhile waits.
    bool m_committing = false;
    bool m_reloadAfterEditing = false;
};

} // namespace crawlmere::views
