#include "app/ScheduleOverviewWindow.h"

#include "app/MainInterface.h"
#include "app/MainWindow.h"
#include "platform/Schedules.h"
#include "platform/UserDefaults.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenuBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace crawlmere;

TEST(ScheduleOverviewWindow, TheWindowMenuOpensItAndEachShowReadsTheTimersAgain)
{
    QTemporaryDir folder;
    platform::UserDefaults store(folder.filePath(QStringLiteral("defaults.plist")));
    app::MainInterface shell(store);
    auto* menuBar = shell.window().menuBar();
    ASSERT_NE(menuBar->findChild<QAction*>(QStringLiteral("showDiagnosticMenuItem")), nullptr);
    auto* open = menuBar->findChild<QAction*>(QStringLiteral("showScheduleToolMenuItem"));
    ASSERT_NE(open, nullptr);

    const QString units = platform::Schedules::unitFolder();
    QDir(units).removeRecursively();
    open->trigger();
    app::ScheduleOverviewWindow* window = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        window = window ? window : qobject_cast<app::ScheduleOverviewWindow*>(widget);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    QTableWidget* table = window->tableView();
    EXPECT_EQ(table->rowCount(), 0);
    EXPECT_EQ(table->horizontalHeaderItem(2)->data(Qt::UserRole).toString(), "DayofMonth");

    ASSERT_TRUE(QDir().mkpath(units));
    QFile timer(units + QStringLiteral("/crawlmere-site.timer"));
    ASSERT_TRUE(timer.open(QIODevice::WriteOnly));
    timer.write("[Timer]\nOnCalendar=Fri *-*-* 6:00\n");
    timer.close();
    window->findChild<QPushButton*>(QStringLiteral("refreshScheduleToolButton"))->click();
    ASSERT_EQ(table->rowCount(), 1);
    EXPECT_EQ(table->item(0, 0)->text(), "Site settings not found");
    EXPECT_EQ(table->item(0, 1)->text(), "06:00");
    EXPECT_EQ(table->item(0, 3)->text(), "Friday");
    QDir(units).removeRecursively();
}
