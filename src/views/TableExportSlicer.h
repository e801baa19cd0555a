// A result table's export snapshot taken on the main thread a slice at a time, so that the
// event loop keeps running while a large table is read.
#pragma once

#include "engine/qfDataSource.h"
#include "views/TableExportSnapshot.h"

#include <QObject>
#include <QPointer>

#include <chrono>
#include <functional>

namespace crawlmere::views {
class ResultTreeView;
}

/// The rows are pinned when the slicer is made: a table's visible rows are copied from its data
/// source (an implicitly shared list, so the items stay alive), an outline's shown rows are given
/// by item; every later slice reads the pinned items (a table through
/// `tableViewObjectValueForItem` and `tableViewLabelColorForItem`). So a sort, refilter or live
/// refresh of the view between slices changes neither the rows nor their order; a cell shows its
/// item's value at the moment its slice runs.
///
/// Lifetimes: whatever the readers use (for a table its data source and the table) must outlive
/// the slicer. The slicer deletes itself after `done` has run. Main thread only.
class TableExportSlicer final : public QObject {
    Q_OBJECT
public:
    /// Rows read per check of the clock.
    static constexpr qsizetype kRowsPerCheck = 256;

    using Done = std::function<void(TableExportSnapshot)>;
    using Progress = std::function<void(float proportion)>;

    /// The exported text of one cell of a pinned row.
    using CellReader = std::function<QString(const TableColumn& column, const qfDataSource::Item& item)>;
    /// The label of the pinned row at `row`.
    using LabelReader = std::function<std::optional<CrwlLabelColour>(qsizetype row, const qfDataSource::Item& item)>;
    /// Rows pinned by the caller.
    struct PinnedRows {
        QList<qfDataSource::Item> items;
        /// Outlines: one flag per row; empty for a table.
        QList<bool> expandable;
    };

    /// Pins the shown columns and visible rows of `table`. Nothing is read yet.
    TableExportSlicer(qfDataSource& source, TableView& table, QObject* parent = nullptr);
    /// `frame` holds the exported columns (and the outline flag) and no rows; `shown` are the
    /// columns `cell` is asked for, in the same order. Nothing is read yet.
    TableExportSlicer(TableExportSnapshot frame, QList<TableColumn> shown, PinnedRows rows, CellReader cell,
        LabelReader label, QObject* parent = nullptr);
    ~TableExportSlicer() override;

    /// The outline's shown columns and shown rows (children only below expanded rows, with the
    /// labels its delegate gives), read through its outline data source. Null for a view that is
    /// not an outline. The view must outlive the slicer.
    static TableExportSlicer* forOutline(crawlmere::views::ResultTreeView& view, QObject* parent = nullptr);

    /// Reads every row left now and answers the snapshot; the slicer is then spent (the caller
    /// deletes it). For a snapshot wanted at once.
    TableExportSnapshot readAll();

    /// Reads rows for at most `slice` now; when rows are left, the next slice runs from the event
    /// loop. `progress` gets the proportion read after each slice (0 to 1); `done` gets the whole
    /// snapshot once the last row is read, possibly before this returns (a small table). `done`
    /// never runs when the slicer is deleted first.
    void start(std::chrono::milliseconds slice, Progress progress, Done done);

    qsizetype rowCount() const { return m_items.size(); }

private:
    /// Reads rows until `slice` has passed or none is left; answers whether it finished.
    bool readSlice();
    /// Reads the pinned rows up to, not including, `end`.
    void readRows(qsizetype end);
    void scheduleNext();

    QList<TableColumn> m_shown;
    QList<qfDataSource::Item> m_items;
    QList<bool> m_expandable;
    TableExportSnapshot m_snapshot;
    CellReader m_cell;
    LabelReader m_label;
    qsizetype m_next = 0;
    std::chrono::milliseconds m_slice { 8 };
    Progress m_progress;
    Done m_done;
};
