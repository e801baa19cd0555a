// The result tabs exported and printed from the File menu, and the menu's result items enabled.
#include "app/ResultExports.h"

#include "app/InsecureContentResults.h"
#include "app/MainTabView.h"
#include "app/MainWindow.h"
#include "app/PrintToFile.h"
#include "app/ResultViewExporter.h"
#include "app/ResultsController.h"
#include "app/SEOResults.h"
#include "app/SitemapResults.h"
#include "engine/ShellServices.h"
#include "engine/Z12Ara.h"
#include "platform/AtomicFile.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/SavePanel.h"
#include "platform/StoredValue.h"
#include "platform/UserDefaults.h"
#include "reports/CrwlInsecureDataSource.h"
#include "views/ResultTabs.h"
#include "views/ResultViewPrinter.h"
#include "views/qfOutlineView.h"

#include <QAbstractButton>
#include <QAction>
#include <QMenu>
#include <QPrintDialog>
#include <QPrinter>
#include <QUrl>

namespace crawlmere::app {

using platform::logLine;
using views::ResultTabs;

namespace {

// The link views' names by their tab ("1" to "4").
const char* const kLinkViews[] = { nullptr, "byLinkView", "byPageOutlineView", "byStatusOutlineView", "flatView" };

} // namespace

ResultExports::ResultExports(const ResultsServices& services, SitemapResults& sitemap, InsecureContentResults& insecure,
    SEOResults& seo, QList<const qfDataSource*> slicedSources)
    : m_services(services)
    , m_sitemap(sitemap)
    , m_insecure(insecure)
    , m_seo(seo)
{
    m_exporter
        = new ResultViewExporter(m_services.prompts, m_services.savePanel, m_services.window.statusField(), this);
    m_exporter->setSlicedSources(std::move(slicedSources));
}

ResultExports::~ResultExports() = default;

void ResultExports::addFileMenuItems()
{
    const auto [file, before] = m_services.window.placeAfterMenuItem(QStringLiteral("exportInsecureAsHTMLMenuItem"));
    if (!file)
        return;
    // The SEO tallies' summary belongs to the SEO features this build leaves out: the item is
    // there but hidden.
    auto* summary = new QAction(tr("Export SEO Summary as CSV…"), file);
    summary->setObjectName(QStringLiteral("exportSEOShortSummaryAsCSVMenuItem"));
    summary->setVisible(false);
    connect(summary, &QAction::triggered, this, [this] { exportSEOShortSummaryAsCSVMenuItem(); });
    file->insertAction(before, summary);
    auto* print = new QAction(tr("Print…"), file);
    print->setObjectName(QStringLiteral("printMenuItem"));
    print->setShortcut(QKeySequence::Print);
    connect(print, &QAction::triggered, this, [this] { printFrontView(); });
    file->insertSeparator(before);
    file->insertAction(before, print);
}

void ResultExports::updateExportMenuItems()
{
    const bool sitemap = m_sitemap.hasPages();
    const bool insecure = m_insecure.dataSource().getCount() > 0;
    const std::pair<const char*, bool> items[] = {
        { "exportAsHTMLMenuItem", tabHasRows(exportedTab(TableExportJob::Format::Html)) },
        { "exportAsCSVMenuItem", tabHasRows(exportedTab(TableExportJob::Format::Csv)) },
        { "exportXMLMenuItem", sitemap },
        { "exportSitemapAsCSVMenuItem", sitemap },
        { "exportSitemapAsHTMLMenuItem", sitemap },
        { "exportAsDotMenuItem", sitemap },
        { "exportImageXMLMenuItem", sitemap || !m_sitemap.getCheckImages() },
        { "exportInsecureAsCSVMenuItem", insecure },
        { "exportInsecureAsHTMLMenuItem", insecure },
        { "printMenuItem", frontPrintableView() != nullptr },
        // The sheet exports one of the link views, which show the same links.
        { "exportPreviewAsHTMLMenuItem", tabHasRows(1) },
        { "exportPreviewAsCSVMenuItem", tabHasRows(1) },
    };
    for (const auto& [name, enabled] : items) {
        if (QAction* item = m_services.window.menuItem(QLatin1String(name)))
            item->setEnabled(enabled);
    }
    if (auto* button = m_services.window.findChild<QAbstractButton*>(QStringLiteral("exportPreviewButton")))
        button->setEnabled(tabHasRows(1));
}

void ResultExports::post(const QString& name) { platform::NotificationCenter::defaultCenter().post(name); }

void ResultExports::exportAsHTMLMenuItem()
{
    exportTab(exportedTab(TableExportJob::Format::Html), TableExportJob::Format::Html);
}

void ResultExports::exportAsCSVMenuItem()
{
    logLine(0, QStringLiteral("exportAsCSVMenuItem: "));
    exportTab(exportedTab(TableExportJob::Format::Csv), TableExportJob::Format::Csv);
}

int ResultExports::exportedTab(TableExportJob::Format format) const
{
    const int front = m_services.window.mainTabView()->selectedIdentifier().toInt();
    if (format == TableExportJob::Format::Html && front != 0)
        return front;
    const QVariant last = m_services.defaults.objectForKey(ResultTabs::kLastTabSelectedKey);
    return last.isValid() ? static_cast<int>(crawlmere::platform::integerValue(last)) : 1;
}

bool ResultExports::tabHasRows(int tab) const
{
    if (tab >= 1 && tab <= 4)
        return !m_services.hub->linksCollection().isEmpty();
    if (tab == 5)
        return m_sitemap.tableView() && m_sitemap.tableView()->model()
            && m_sitemap.tableView()->model()->rowCount() > 0;
    return false;
}

void ResultExports::exportTab(int tab, TableExportJob::Format format)
{
    switch (tab) {
    case 1:
    case 2:
    case 3:
    case 4:
        // Posted once the export has been written or given up, on the main thread.
        m_exporter->exportView(m_services.window.resultView(QLatin1String(kLinkViews[tab])), format,
            [this] { post(ResultsController::exportTriggeredByPreviewerDidFinish); });
        return;
    case 5:
        // The sitemap table's rows as shown; no notification.
        if (QTreeView* table = m_sitemap.tableView())
            exportView(table, format);
        return;
    case 7:
        // The SEO manager's own exports; no notification.
        format == TableExportJob::Format::Csv ? m_seo.exportSEOAsCSV() : m_seo.exportSEOAsHTML();
        return;
    case 6:
        // The spelling manager exports here; only its HTML export posts.
        if (format == TableExportJob::Format::Csv)
            return;
        break;
    case 10:
        // The warnings view is filled and exported here once it is part of the window.
        break;
    default:
        break;
    }
    post(ResultsController::exportTriggeredByPreviewerDidFinish);
}

void ResultExports::exportView(QTreeView* view, TableExportJob::Format format)
{
    m_exporter->exportView(view, format, {});
}

void ResultExports::exportSEOShortSummaryAsCSVMenuItem()
{
    const QString path = m_insecure.askForFile(QStringLiteral("csv"));
    if (path.isEmpty())
        return;
    const QString location = QUrl::fromLocalFile(path).toString();
    if (QString error; platform::saveTextAtomically(path, m_services.hub->SEOShortSummaryAsCSV(), &error)) {
        logLine(2, QStringLiteral("Successful saving data to %1\n").arg(location));
    } else {
        logLine(1, QStringLiteral("Unsuccessful exporting SEO Summary to %1\n").arg(location));
        if (m_services.savePanel)
            m_services.savePanel->showSaveFailure(path, error);
    }
}

void ResultExports::printFrontView()
{
    if (!frontPrintableView()) {
        if (m_services.prompts)
            m_services.prompts->beep();
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, &m_services.window);
    checkPrintTargetOnAccept(dialog, printRefused());
    if (dialog.exec() == QDialog::Accepted)
        printFrontView(printer);
}

std::function<void(const QString& path, const QString& reason)> ResultExports::printRefused() const
{
    return [panel = m_services.savePanel](const QString& path, const QString& reason) {
        if (panel)
            panel->showSaveFailure(path, reason);
    };
}

bool ResultExports::printFrontView(QPrinter& printer)
{
    QTreeView* view = frontPrintableView();
    if (!view)
        return false;
    const bool outline = qobject_cast<qfOutlineView*>(view) != nullptr;
    const auto print = [&] {
        return views::ResultViewPrinter::print(*view, printer,
                   outline ? views::ResultViewPrinter::Kind::Outline : views::ResultViewPrinter::Kind::Table)
            > 0;
    };
    return printThroughCheckedFile(printer, print, printRefused());
}

QTreeView* ResultExports::frontPrintableView() const
{
    const int tab = m_services.window.mainTabView()->selectedIdentifier().toInt();
    if (tab >= 1 && tab <= 4)
        return m_services.window.resultView(QLatin1String(kLinkViews[tab]));
    if (tab == 5)
        return m_sitemap.tableView();
    return nullptr;
}

} // namespace crawlmere::app
