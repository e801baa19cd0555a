// The general export of one result view: its snapshot taken on the main thread (a large table a
// slice at a time), the save panel, then the file built and written on a worker.
#pragma once

#include "views/TableExportJob.h"

#include <QObject>
#include <QPointer>

#include <chrono>
#include <functional>
#include <memory>

class QTreeView;
class ShellPrompts;
class TableExportSlicer;
class qfDataSource;

namespace crawlmere::platform {
class SavePanel;
}

namespace crawlmere::views {
class ResultTreeView;
}

namespace crawlmere::app {

class StatusLineField;

/// Outlines, and tables whose data source is one of the sliced sources, are read by a
/// `TableExportSlicer`, so the event loop keeps running while a large view is read (an outline's
/// shown rows are pinned in one go first, without their texts); other tables (the report tables)
/// are read in one go. The status line's progress line moves through both halves: the
/// reading (0 to 0.5) and the writing (0.5 to 1), then goes back to 0. One export is read at a
/// time: another asked for meanwhile beeps and is dropped.
///
/// Lifetimes: the prompts, the save panel and the status line may go first (then nothing is
/// asked, shown or beeped); a view must outlive the reading of its export. Main thread only.
class ResultViewExporter final : public QObject {
    Q_OBJECT
public:
    /// The longest stretch one slice of reading keeps the main thread.
    static constexpr std::chrono::milliseconds kSlice { 8 };

    ResultViewExporter(std::shared_ptr<ShellPrompts> prompts, std::shared_ptr<platform::SavePanel> savePanel,
        StatusLineField* status, QObject* parent = nullptr);
    ~ResultViewExporter() override;

    /// Tables of these data sources are read in slices (they answer cells by item).
    void setSlicedSources(QList<const qfDataSource*> sources) { m_sliced = std::move(sources); }

    /// Exports `view` as `format`. An empty view beeps. `handedOn` runs on the main thread once
    /// the export is written, refused, cancelled in the save panel or found empty; possibly
    /// before this returns. `done` (may be empty) gets the job's outcome. A job that ends after
    /// this exporter has gone calls neither.
    void exportView(QTreeView* view, TableExportJob::Format format, std::function<void()> handedOn,
        std::function<void(const TableExportJob::Result&)> done = {});

    /// A sliced reading is under way.
    bool isReading() const;

    /// A result table's or outline's shown columns and rows (an outline's expanded rows only),
    /// read in one go.
    static TableExportSnapshot snapshotOf(views::ResultTreeView& view);

private:
    /// `kind`: what the save panel is asked for (`SavePanelRequest::kind`).
    void write(TableExportSnapshot snapshot, TableExportJob::Format format, const QString& kind,
        const std::function<void()>& handedOn, std::function<void(const TableExportJob::Result&)> done);
    void showProgress(float proportion);
    void beep();

    std::shared_ptr<ShellPrompts> m_prompts;
    std::shared_ptr<platform::SavePanel> m_savePanel;
    QPointer<StatusLineField> m_status;
    QList<const qfDataSource*> m_sliced;
    QPointer<TableExportSlicer> m_slicer;
};

} // namespace crawlmere::app
