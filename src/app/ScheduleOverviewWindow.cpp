// The schedule overview: a read-only table of the scheduled scans (the user's crawlmere timers).
#include "app/ScheduleOverviewWindow.h"

#include "platform/Schedules.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace crawlmere::app {

using platform::Schedules;

ScheduleOverviewWindow::ScheduleOverviewWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("scheduleToolWindow"));
    setWindowTitle(tr("Scheduled Scans"));
    m_source = new QLabel(this);
    m_source->setObjectName(QStringLiteral("scheduleToolSourceLine"));
    m_source->setWordWrap(true);
    m_source->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_table = new QTableWidget(0, 4, this);
    m_table->setObjectName(QStringLiteral("scheduleToolTableView"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    const std::pair<const char*, QString> columns[] = { { "Site", tr("Site") }, { "Time", tr("Time") },
        { "DayofMonth", tr("Day of Month") }, { "DayofWeek", tr("Day of Week") } };
    for (int column = 0; column < 4; ++column) {
        auto* header = new QTableWidgetItem(columns[column].second);
        header->setData(Qt::UserRole, QString::fromLatin1(columns[column].first));
        m_table->setHorizontalHeaderItem(column, header);
    }
    m_table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);

    auto* refresh = new QPushButton(tr("Refresh"), this);
    refresh->setObjectName(QStringLiteral("refreshScheduleToolButton"));
    connect(refresh, &QPushButton::clicked, this, &ScheduleOverviewWindow::refreshScheduleToolTableView);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_source);
    layout->addWidget(m_table, 1);
    layout->addWidget(refresh, 0, Qt::AlignRight);
    resize(640, 300);
}

void ScheduleOverviewWindow::showScheduleToolMenuItem()
{
    show();
    raise();
    activateWindow();
    refreshScheduleToolTableView();
}

void ScheduleOverviewWindow::refreshScheduleToolTableView()
{
    const QString folder = Schedules::unitFolder();
    m_source->setText(tr("Listed from the systemd user timers in %1 whose names contain \"crawlmere\" "
                         "(read only: each timer's service opens a site's settings file).")
                          .arg(folder));
    const QList<platform::ScheduledScan> scans = Schedules::read(folder);
    m_table->setRowCount(int(scans.size()));
    for (int row = 0; row < scans.size(); ++row) {
        const platform::ScheduledScan& scan = scans.at(row);
        const QString cells[] = { scan.site, scan.time, scan.dayOfMonth, scan.dayOfWeek };
        for (int column = 0; column < 4; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            item->setToolTip(column == 0 ? scan.unitName : QString());
            m_table->setItem(row, column, item);
        }
    }
}

} // namespace crawlmere::app
