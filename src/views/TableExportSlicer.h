// A result table's export snapshot taken on the main thread a slice at a time, so that the
// event loop keeps running while a large table is read.
#pragma once

#include "engine/qfDataSource.h"
#include "views/TableExportSnapshot.h"

#include <QObject>
#include <QPointer>

#include <chrono>
#include <functional>

/// The rows are pinned when the slicer starts: the data source's visible rows are copied (an
/// implicitly shared list, so the items stay alive), and every later slice reads the pinned items
/// through `tableViewObjectValueForItem` and `tableViewLabelColorForItem`. So a sort, refilter or
/// live refresh of the view between slices changes neither the rows nor their order; a cell shows
/// its item's value at the moment its slice runs.
///
/// Lifetimes: the data source and the table must outlive the slicer. The slicer deletes itself
/// after `done` has run. Main thread only.
class TableExportSlicer final : public QObject {
    Q_OBJECT
public:
    /// Rows read per check of the clock.
    static constexpr qsizetype kRowsPerCheck = 256;

    using Done = std::function<void(TableExportSnapshot)>;
    using Progress = std::function<void(float proportion)>;

    /// Pins the shown columns and rows of `table`. Nothing is read yet.
    TableExportSlicer(qfDataSource& source, TableView& table, QObject* parent = nullptr);
    ~TableExportSlicer() override;

    /// Reads rows for at most `slice` now; when rows are left, the next slice runs from the event
    /// loop. `progress` gets the proportion read after each slice (0 to 1); `done` gets the whole
    /// snapshot once the last row is read, possibly before this returns (a small table). `done`
    /// never runs when the slicer is deleted first.
    void start(std::chrono::milliseconds slice, Progress progress, Done done);

    qsizetype rowCount() const { return m_items.size(); }

private:
    /// Reads rows until `slice` has passed or none is left; answers whether it finished.
    bool readSlice();
    void scheduleNext();

    qfDataSource& m_source;
    TableView& m_table;
    QList<TableColumn> m_shown;
    QList<qfDataSource::Item> m_items;
    TableExportSnapshot m_snapshot;
    qsizetype m_next = 0;
    std::chrono::milliseconds m_slice { 8 };
    Progress m_progress;
    Done m_done;
};
