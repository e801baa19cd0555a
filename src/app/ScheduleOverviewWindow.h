// The schedule overview: a read-only table of the scheduled scans (the user's crawlmere timers).
#pragma once

#include <QWidget>

class QLabel;
class QTableWidget;

namespace crawlmere::app {

/// One table, `scheduleToolTableView`, with the columns "Site", "Time", "DayofMonth" and
/// "DayofWeek" (their identifiers, kept as each header item's user data), a line above it that
/// says which folder is read, and a Refresh button. The timers are read again at every show
/// and refresh. Main thread only.
class ScheduleOverviewWindow final : public QWidget {
    Q_OBJECT
public:
    explicit ScheduleOverviewWindow(QWidget* parent = nullptr);

    /// showScheduleToolMenuItem: brings the window to the front and reloads the table.
    void showScheduleToolMenuItem();
    /// refreshScheduleToolTableView: reloads the table.
    void refreshScheduleToolTableView();

    QTableWidget* tableView() const { return m_table; }

private:
    QLabel* m_source = nullptr;
    QTableWidget* m_table = nullptr;
};

} // namespace crawlmere::app
