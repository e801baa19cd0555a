// The File menu's exports and printing of the result tabs, and which of the File menu's result
// items are enabled.
#pragma once

#include "app/ResultsServices.h"
#include "views/TableExportJob.h"

#include <QList>
#include <QObject>

#include <functional>
#include <memory>

class QPrinter;
class QTreeView;
class qfDataSource;

namespace crawlmere::app {

class InsecureContentResults;
class ResultViewExporter;
class SEOResults;
class SitemapResults;

/// Export as HTML… exports the selected tab, Export as CSV… the last result tab shown
/// (`lastTabSelected`); the link views ("1" to "4") are read by a `ResultViewExporter`, whose
/// tables of `slicedSources` are read a slice at a time. Print… prints the front table or
/// outline (tabs "1" to "5").
///
/// The services, the sitemap, the insecure-content list and the SEO results must outlive this
/// object. Main thread only.
class ResultExports final : public QObject {
    Q_OBJECT
public:
    ResultExports(const ResultsServices& services, SitemapResults& sitemap, InsecureContentResults& insecure,
        SEOResults& seo, QList<const qfDataSource*> slicedSources);
    ~ResultExports() override;

    /// The File menu's print item and the (hidden) SEO summary item, after the export items.
    void addFileMenuItems();
    /// Enables the File menu's items that have something to do (see
    /// `ResultsController::updateExportMenuItems`).
    void updateExportMenuItems();

    void exportAsHTMLMenuItem();
    void exportAsCSVMenuItem();
    /// The scan's SEO tallies in short through a save panel of type "csv".
    void exportSEOShortSummaryAsCSVMenuItem();
    /// Through the print dialog; a beep when no table is in front.
    void printFrontView();
    /// On `printer` as set up; false when nothing was printed.
    bool printFrontView(QPrinter& printer);

private:
    /// A print target refused: the save panel's alert.
    std::function<void(const QString& path, const QString& reason)> printRefused() const;
    /// The table or outline of the selected tab ("1" to "5"); null for any other tab.
    QTreeView* frontPrintableView() const;
    void exportTab(int tab, TableExportJob::Format format);
    /// The tab Export as HTML… (or CSV…) exports.
    int exportedTab(TableExportJob::Format format) const;
    /// Whether `tab` has rows to export.
    bool tabHasRows(int tab) const;
    void exportView(QTreeView* view, TableExportJob::Format format);
    void post(const QString& name);

    const ResultsServices m_services;
    SitemapResults& m_sitemap;
    InsecureContentResults& m_insecure;
    SEOResults& m_seo;
    ResultViewExporter* m_exporter = nullptr;
};

} // namespace crawlmere::app
