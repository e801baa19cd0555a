// Responsiveness of the main window while the export sheet exports a large flat view: 500,000
// link occurrences are put into the flat view, the sheet exports them as CSV and then as HTML,
// and a 10 ms timer measures the longest gap between its ticks from OK until the file is written.
// Run offscreen (QT_QPA_PLATFORM=offscreen) on a release build, with CRAWLMERE_HOME set to an empty
// folder so that the user's own defaults are left alone.
//
//   window_export_bench [OCCURRENCES]
//
// Prints, per format, the time from OK to the written file, the file's size, the worst gap and
// the process's peak resident size; exits 1 when a gap was 100 ms or longer, 2 on a setup error.
#include "app/FileDialogSavePanel.h"
#include "app/LinkExportSheetOpener.h"
#include "app/MainInterface.h"
#include "app/MainTabView.h"
#include "app/MainWindow.h"
#include "app/ResultsController.h"
#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "platform/Dispatch.h"
#include "platform/UserDefaults.h"
#include "support/RecordingShellServices.h"
#include "views/CrwlFlatViewDataSource.h"
#include "views/LinkExportSheet.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

using namespace std::chrono_literals;

namespace {

long peakRssMiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

/// Accepts the next save panel with `path`.
void answerSavePanelWith(const QString& path)
{
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, path] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal->objectName() != crawlmere::app::FileDialogSavePanel::kDialogName)
            return;
        timer->stop();
        timer->deleteLater();
        modal->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
        static_cast<QDialog*>(modal)->accept();
    });
    timer->start();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    const QStringList arguments = QApplication::arguments();
    const int count = arguments.size() > 1 ? arguments.at(1).toInt() : 500'000;
    if (count <= 0)
        return 2;

    // "Continue" in the large-export alerts.
    auto prompts = std::make_shared<RecordingPrompts>();
    prompts->answers = { 1, 1 };
    crawlmere::app::MainInterface shell(crawlmere::platform::UserDefaults::standard(), prompts);
    shell.launch();
    crawlmere::app::MainWindow& window = shell.window();
    auto* opener = shell.results().findChild<crawlmere::app::LinkExportSheetOpener*>();
    if (!opener)
        return 2;

    // 5,000 targets (one in twenty broken) on 1,000 pages.
    std::vector<std::shared_ptr<CrwlUrl>> urls;
    for (int i = 0; i < 5000; ++i) {
        auto url = std::make_shared<CrwlUrl>();
        url->setLinkURL(QStringLiteral("https://bench.test/section-%1/page-%2.html").arg(i % 40).arg(i));
        url->setStatus(i % 20 == 7 ? 404 : 200);
        url->setIsInternal(true);
        url->setVisible(true);
        urls.push_back(std::move(url));
    }
    QList<qfDataSource::Item> occurrences;
    occurrences.reserve(count);
    for (int i = 0; i < count; ++i) {
        auto occurrence = CrwlLinkInstance::make();
        occurrence->setParent(urls[size_t(i % 1000)]);
        occurrence->setTarget(urls[size_t((qint64(i) * 7919) % 5000)]);
        occurrence->setLinkText(QStringLiteral("Link \"%1\" text").arg(i % 3000));
        occurrence->setLineNumber(i % 400 + 1);
        occurrences.append(std::move(occurrence));
    }
    crawlmere::views::CrwlFlatViewDataSource& flat = shell.results().flatViewDataSource();
    window.mainTabView()->selectTabViewItemWithIdentifier(QStringLiteral("4"));
    flat.setCollection(occurrences);
    occurrences.clear();
    flat.filter();
    flat.reloadData();
    std::printf("flat view: %lld rows, peak RSS before the exports %ld MiB\n",
        static_cast<long long>(window.resultView(QStringLiteral("flatView"))->model()->rowCount()), peakRssMiB());

    QTemporaryDir folder;
    int status = 0;
    for (const auto& [item, name] : { std::pair { "exportPreviewAsCSVMenuItem", "export.csv" },
             std::pair { "exportPreviewAsHTMLMenuItem", "export.html" } }) {
        const QString path = folder.filePath(QLatin1String(name));
        window.menuItem(QLatin1String(item))->trigger();
        if (!crawlmere::platform::Dispatch::runUntil([&] { return opener->sheet()->isVisible(); }, 5000ms))
            return 2;
        QElapsedTimer clock;
        QElapsedTimer tick;
        qint64 worstGap = 0;
        QTimer timer;
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, [&] { worstGap = std::max(worstGap, tick.restart()); });
        answerSavePanelWith(path);
        clock.start();
        tick.start();
        timer.start(10);
        opener->sheet()->okButton()->click();
        const bool written
            = crawlmere::platform::Dispatch::runUntil([&] { return QFile(path).size() > 0; }, 120'000ms);
        const qint64 elapsed = clock.elapsed();
        timer.stop();
        worstGap = std::max(worstGap, tick.elapsed());
        std::printf("%s: %s in %.2f s, %lld bytes, worst gap of the 10 ms timer %lld ms, peak RSS %ld MiB\n", name,
            written ? "written" : "NOT written", elapsed / 1000.0, static_cast<long long>(QFile(path).size()),
            static_cast<long long>(worstGap), peakRssMiB());
        if (!written)
            return 2;
        if (worstGap >= 100)
            status = 1;
        crawlmere::platform::Dispatch::runFor(200ms);
    }
    shell.terminate();
    return status;
}
