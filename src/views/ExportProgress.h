// The status line's progress during an export: at most one update per whole percent, then 0.
#pragma once

#include <QtGlobal>

#include <functional>

/// Counts the rows an export has written and reports the proportion done whenever the whole
/// percentage changes, and 0 when the export ends. The report runs on the writer's thread; a
/// writer off the main thread passes a report that hands the value to the main queue.
class ExportProgress {
public:
    using Report = std::function<void(float proportion)>;

    /// `rowCount` rows will be written; a null report makes every call do nothing.
    ExportProgress(Report report, qsizetype rowCount)
        : m_report(std::move(report))
        , m_rowCount(rowCount)
    {
    }

    /// After row `row` (from 0): reports `row / rowCount` when `row * 100 / rowCount` differs from
    /// the last percentage reported (starting at 0). 200 rows give 99 reports.
    void rowDone(qsizetype row);
    /// The end of the export: reports 0.
    void finish();

private:
    Report m_report;
    qsizetype m_rowCount = 0;
    qint64 m_lastPercent = 0;
};
