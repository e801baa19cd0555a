// Responsiveness of the main window during a scan: the window scans a site on a display, with a
// result view (by link unless told otherwise) shown and refreshed live, while a 50 ms timer
// measures how late the event loop runs it. Run by `BENCH_WINDOW=1 bash bench/crawl_bench.sh`
// (under xvfb-run there).
//
//   window_scan_bench URL [THREADS [HOLD_MS [TAB [KEY=YES|NO ...]]]]
//
// HOLD_MS keeps the window open that long after the scan (to look at it); TAB is the identifier
// of the result tab shown (1 by link, 2 by page, 3 by status, 4 flat view); each KEY=YES or
// KEY=NO sets a switch of the site's settings (shouldParseCSS=YES).
// Prints the pages, the scan's time and the timer's lateness; exits 1 when a tick was more than
// 100 ms late, 2 on a usage or start error.
#include "app/MainInterface.h"
#include "app/MainTabView.h"
#include "app/MainWindow.h"
#include "engine/RecordingShellServices.h"
#include "engine/Z12Ara.h"
#include "platform/LargeMemory.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "settings/ConfigManager.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

int main(int argc, char** argv)
{
    // The heap as the program sets it up.
    crawlmere::platform::tuneHeapForScans();
    QApplication application(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() < 2) {
        std::fprintf(stderr, "usage: window_scan_bench URL [THREADS [HOLD_MS [TAB [KEY=YES|NO ...]]]]\n");
        return 2;
    }
    const int threads = arguments.size() > 2 ? arguments.at(2).toInt() : 12;
    const int holdMs = arguments.size() > 3 ? arguments.at(3).toInt() : 0;
    const QString tab = arguments.size() > 4 ? arguments.at(4) : QStringLiteral("1");

    // The site, with the bench's threads and no delay, opened as a settings file is.
    QTemporaryDir folder;
    const QString settingsFile = folder.filePath(QStringLiteral("bench.lcsettings"));
    QVariantMap site { { "id", "20260101-000000-1" }, { "name", "window bench" }, { "startingUrl", arguments.at(1) },
        { "numberOfThreads", threads }, { "delay", 0 } };
    for (const QString& setting : arguments.mid(5)) {
        const QString value = setting.section(QLatin1Char('='), 1);
        if (value != QLatin1String("YES") && value != QLatin1String("NO")) {
            std::fprintf(stderr, "window_scan_bench: %s is not KEY=YES or KEY=NO\n", qPrintable(setting));
            return 2;
        }
        site.insert(setting.section(QLatin1Char('='), 0, 0), value == QLatin1String("YES"));
    }
    if (!crawlmere::platform::PropertyList::writeXmlFile(settingsFile, site).ok()) {
        std::fprintf(stderr, "window_scan_bench: cannot write %s\n", qPrintable(settingsFile));
        return 2;
    }

    crawlmere::app::MainInterface shell(
        crawlmere::platform::UserDefaults::standard(), std::make_shared<RecordingPrompts>());
    shell.launch();
    if (!shell.configManager()->openLcsettingsFile(settingsFile)) {
        std::fprintf(stderr, "window_scan_bench: the site could not be opened\n");
        return 2;
    }
    crawlmere::app::MainWindow& window = shell.window();
    window.mainTabView()->selectTabViewItemWithIdentifier(tab);

    constexpr qint64 kIntervalMs = 50;
    QElapsedTimer scanClock;
    QElapsedTimer tickClock;
    qint64 worstLateMs = 0;
    qint64 ticks = 0;
    qint64 lateTicks = 0;
    qint64 scanMs = 0;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const qint64 late = tickClock.restart() - kIntervalMs;
        worstLateMs = std::max(worstLateMs, late);
        ++ticks;
        if (late > 100) {
            ++lateTicks;
            std::fprintf(stderr, "window_scan_bench: a tick %lld ms late at %.1f s of the scan, %lld URLs checked\n",
                static_cast<long long>(late), scanClock.elapsed() / 1000.0,
                static_cast<long long>(shell.hub()->checkedLinkCount()));
        }
        if (window.goButton()->text() == QLatin1String("Go") && timer.isActive()) {
            timer.stop();
            scanMs = scanClock.elapsed();
            QTimer::singleShot(holdMs, [] { QApplication::quit(); });
        }
    });

    QTimer::singleShot(200, [&] {
        scanClock.start();
        window.goButton()->click();
        tickClock.start();
        timer.start(kIntervalMs);
    });
    QApplication::exec();
    shell.terminate();

    const Z12Ara& hub = *shell.hub();
    std::printf("window scan: %lld URLs checked, %lld pages, %.1f s\n", static_cast<long long>(hub.checkedLinkCount()),
        static_cast<long long>(hub.pageCount()), scanMs / 1000.0);
    std::printf("50 ms timer: %lld ticks, worst %lld ms late, %lld ticks over 100 ms late\n",
        static_cast<long long>(ticks), static_cast<long long>(worstLateMs), static_cast<long long>(lateTicks));
    return worstLateMs > 100 ? 1 : 0;
}
