// The pages of the last scan that may go into a sitemap: the sitemap collection with its
// exclusions, the sitemap rules, the values and edits of the sitemap tables, and the savers of
// the XML sitemap. No widget: the views attach through the observer and the table seams.
#pragma once

#include "engine/CrwlURLDelegate.h"
#include "engine/ShellServices.h"
#include "engine/qfDataSource.h"

#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>

class CrwlLinkInstance;
class CrwlUrl;

namespace crawlmere::platform {
class HeldFolder;
class SavePanel;
class UserDefaults;
struct FtpUploadRequest;
} // namespace crawlmere::platform

namespace crawlmere::sitemap {

struct SitemapXmlOptions;

/// One item of a pop-up: its title (the value used) and its tag.
struct SitemapPopUpItem {
    QString title;
    int tag = 0;
};

/// What the sitemap tab shows besides the tables; each is optional.
struct SitemapManagerObserver {
    /// The number of pages in the sitemap collection, after every query of it (`tfPagesIncluded`).
    std::function<void(qsizetype)> pagesIncluded;
    /// The exclusion text, after every rebuild of the collection (`filterSitemapInfoText`; its
    /// button shows only with a non-empty text).
    std::function<void(const QString&)> infoText;
    /// The Priority or Last modified column came or went: ask `sitemapColumns()` again.
    std::function<void()> columnsChanged;
    /// Open the page inspector on a page (`showInspector:`).
    std::function<void(const std::shared_ptr<CrwlUrl>&)> showInspector;
    /// A short sound for an export with nothing to write.
    std::function<void()> beep;
    /// Opens the upload sheet after an export that asks for it (`beginFTPDialog:`).
    std::function<void()> beginFTPDialog;
    /// The upload started (true: the sheet shows it is busy) or ended (false: end the sheet).
    std::function<void(bool)> ftpBusy;
    /// A modal alert with one "OK" button: message, informative text and what it tells.
    std::function<void(const QString&, const QString&, ShellAlertStyle)> alert;
    /// The graph window's progress line, 0.0 to 1.0 (`dotpbtfc`), redrawn at each call.
    std::function<void(double)> dotProgress;
    /// Centres the graph window and brings it to the front (`vizWindow`).
    std::function<void()> showVizWindow;
    /// Orders the graph window out once a graph text is built.
    std::function<void()> hideVizWindow;
    /// Puts a text on the general pasteboard (`toClip:`).
    std::function<void(const QString&)> toClip;
    /// Opens an address in the default browser.
    std::function<void(const QString&)> openURL;
};

/// The Sitemap tab's data source. Candidates are the scan's internal pages (`setCollection`);
/// the sitemap collection is built from them on demand and cached until they change. The
/// sitemap table and the excluded-pages table are told apart by `setTables`; any table other
/// than the excluded one reads as the sitemap table, so exports can pass a headless table.
///
/// Lifetimes: the defaults store outlives the manager; tables, save panel and observer
/// callbacks are borrowed and must be unset (or outlive it). Main thread only.
class SitemapManager final : public qfDataSource {
public:
    /// Posted (object: the manager) after a table edit has handed its rule to the store.
    static inline const QString CrwlSitemapRulesDidChange = QStringLiteral("CrwlSitemapRulesDidChange");
    static inline const QString kPriorityNone = QStringLiteral("None");

    explicit SitemapManager(platform::UserDefaults& defaults);
    ~SitemapManager() override;

    // ----- wiring -----
    void setObserver(SitemapManagerObserver observer) { m_observer = std::move(observer); }
    /// The observer in place, for windows that add their own hooks beside the tab's.
    SitemapManagerObserver& observer() { return m_observer; }
    /// The tables whose values and edits this manager answers (null: none).
    void setTables(TableView* sitemapTable, TableView* excludedTable);
    /// Receives the rule of a table edit (`ConfigManager::addThisSitemapRule`).
    void setRuleStore(std::function<void(const QVariantMap&)> store) { m_ruleStore = std::move(store); }
    void setSavePanel(platform::SavePanel* panel) { m_savePanel = panel; }

    // ----- intake -----
    /// A copy of the selected site's settings: `sitemapRules`, `startingUrl` and the upload keys.
    void setCrawlSettings(const QVariantMap& settings) { m_crawlSettings = settings; }
    const QVariantMap& crawlSettings() const { return m_crawlSettings; }
    /// The candidates (not copied beyond the list); the cache goes; change frequencies are set.
    void setCollection(const CrwlUrlList& pages);
    /// One more candidate; the cache, the row list and both excluded lists go.
    void add(Item item) override;
    void addPDF(const std::shared_ptr<CrwlUrl>& page);
    /// Only the count is used, to size the writer's image table.
    void setImagesCollection(const CrwlUrlList& images) { m_imageCount = qsizetype(images.size()); }
    /// clear: no candidates, caches and lists dropped, info text emptied, sort descriptors of the
    /// sitemap table reset by the caller's view, table reloaded.
    void clear() override;

    // ----- pop-ups and check boxes (the model's state; the widgets show it) -----
    static QList<SitemapPopUpItem> changeFrequencyItems();
    static QList<SitemapPopUpItem> priorityItems();
    /// Selects a change-frequency item by index (out of range: nothing); runs
    /// `updateChangeFrequencies`.
    void selectChangeFrequency(qsizetype index);
    const SitemapPopUpItem& selectedChangeFrequency() const { return m_changeFrequency; }
    /// Selects a priority item by index; "None" removes the Priority column.
    void selectPriority(qsizetype index);
    QString priorityTitle() const { return m_priorityTitle; }
    /// The `includelastmodinsitemap` check box: adds or removes the Last modified column.
    void setIncludeLastModified(bool on);
    bool includeLastModified() const { return m_includeLastModified; }
    /// Whether the XML sitemap gets `lastmod` entries: the defaults `includeLastModInXML` or
    /// `includeLastmod`. The check box shows this.
    bool writesLastModified() const;
    /// The check box changed by hand: the XML sitemap follows it (`includeLastModInXML` := `on`,
    /// and `includeLastmod` switched off with it), and so does the Last modified column.
    void setWritesLastModified(bool on);
    /// `includepdfsinsitemap`: drops the cache and reloads.
    void handlePdfSwitch();
    /// Whether good internal PDFs go into the sitemap: the default `includePdfsInSitemap`,
    /// which the scan reads too. The check box shows this.
    bool includesPdfs() const;
    /// The check box changed by hand: stores `includePdfsInSitemap` and reloads.
    void setIncludesPdfs(bool on);

    // ----- queries -----
    /// The pages that go into the sitemap: candidates that are good links (200-399 or -15) and
    /// not PDFs while `includesPdfs` is off,
    /// minus those whose canonical points elsewhere (`sitemapObservesCanonicalElsewhere`) or
    /// that carry robots noindex (`sitemapObservesRobotsMetaNoindex`); sorted by the sitemap
    /// table's descriptors. A page may be in both excluded lists. Tells the observer the count.
    const CrwlUrlList& getSitemapCollection();
    CrwlUrlList getSitemapCollectionIncludingCanonicals() const;
    void clearSitemapCollection();
    qsizetype getSitemapCollectionCount() { return qsizetype(getSitemapCollection().size()); }
    qsizetype getExcludedFromSitemapBecauseCanonical();
    qsizetype getExcludedFromSitemapBecauseNoIndex();
    double getSitemapWithoutTitle() const;
    double getSitemapWithoutDescription() const;
    bool isInSEOManagersCollection(const std::shared_ptr<CrwlUrl>& page) const;
    /// The exclusion text of the last build: "%i excluded due to canonical", ", ",
    /// "%i excluded due to robots noindex", each part only when its list is not empty.
    const QString& infoText() const { return m_infoText; }
    /// The last matching rule of `sitemapRules` (match YES: equal; NO: contains, any case; an
    /// empty `contains` never matches), or nullopt.
    std::optional<QVariantMap> ruleThatApplies(const QString& url) const;
    bool shouldLogModifiedDate() const;
    /// The candidate at `row` among those whose second visibility flag is set; null past the end.
    Item getItemAtRowIndex(quint64 row);

    // ----- tables -----
    /// The sitemap table's columns: URL, Title, Change frequency, then Priority and Last
    /// modified while their controls ask for them.
    QList<TableColumn> sitemapColumns() const;
    static QList<TableColumn> excludedColumns();
    qsizetype numberOfRowsInTableView(TableView& table) override;
    QVariant tableViewObjectValue(TableView& table, const TableColumn& column, qsizetype row) override;
    /// An edit of `changefrequency` or `priority` on the sitemap table: one rule (the one that
    /// applies to the page's `finalURLString`, or a new exact one) goes to the rule store, then
    /// `CrwlSitemapRulesDidChange` is posted once. Other columns and tables: nothing.
    void tableViewSetObjectValue(TableView& table, const TableColumn& column, qsizetype row, const QVariant& value);
    bool isColumnEditable(TableView& table, const TableColumn& column) const;
    /// Sorts the cached collection (priority sorts by distance); reloads the table.
    void tableViewSortDescriptorsDidChange(TableView& table) override;
    /// `doubleClick:`: the page at `row` of the sitemap collection goes to the inspector opener.
    void doubleClick(qsizetype row);
    /// The page of a row of the excluded table (canonical list, then noindex list); null past it.
    std::shared_ptr<CrwlUrl> excludedPageAtRow(qsizetype row);
    /// The address the sitemap lists the page at `row` of the sitemap collection under
    /// (`SitemapXmlWriter::pageAddress`); null past its end.
    QString sitemapUrlAtRow(qsizetype row);
    /// The same for a row of the excluded table.
    QString excludedUrlAtRow(qsizetype row);
    /// copyURL: the page of a sitemap row to the pasteboard (`toClip`); no row: nothing.
    void copyURL(qsizetype row);
    /// visitURL: the page of a sitemap row opened in the browser (`openURL`); no row: nothing.
    void visitURL(qsizetype row);
    /// copyExcludedPageUrl: as `copyURL`, for a row of the excluded table.
    void copyExcludedPageUrl(qsizetype row);
    /// visitExcludedPageUrl: as `visitURL`, for a row of the excluded table.
    void visitExcludedPageUrl(qsizetype row);

    // ----- the highlight pop-up of the SEO tables -----
    /// The tag of the pop-up's item that lists the images without alt text.
    static constexpr int kImagesWithoutAltTag = 12;
    /// The selected item's tag of the `highlightSelector` pop-up (0 after `clear`).
    void setHighlightTag(int tag) { m_highlightTag = tag; }
    int highlightTag() const { return m_highlightTag; }
    /// shouldDisplayImageBasedOnFilterButton: true, except under tag 12, where only an image
    /// occurrence whose link text is shorter than 10 characters shows.
    bool shouldDisplayImageBasedOnFilterButton(const CrwlLinkInstance& image) const;

    /// updateChangeFrequencies: each candidate gets its rule's `update` when that is a sitemap
    /// frequency (a rule's "None" has none of its own), else the selected change-frequency title.
    void updateChangeFrequencies();

    // ----- XML sitemap -----
    /// One document per file (`getXMLSitemap_imageSitemap:`).
    QStringList getXMLSitemap(bool imageSitemap = false);
    QStringList getXMLImageSitemap() { return getXMLSitemap(/*imageSitemap=*/true); }
    /// exportXML: by `sitemapOptions` (0, 1: save panel; 2: the application-support folder),
    /// saved on the main queue; options above 0 then open the upload sheet. Empty: a beep.
    void exportXML();
    /// exportImageXML: the image sitemap through the save panel, at once; empty: a beep.
    void exportImageXML();
    /// Writes the sitemap to `path` (several files: a folder named after it holding the index
    /// under the file name and NAME-1.xml …). False when a file could not be written.
    bool exportXMLSitemapAndSaveTo(const QString& path);
    /// Saves ready `documents` for `path` as `exportXMLSitemapAndSaveTo` does; `location` gets the
    /// path written last (null when the folder could not be made). False when a file could not
    /// be written (`lastSaveFailure` says which and why).
    bool saveXMLDocumentsTo(const QStringList& documents, const QString& path, QString* location = nullptr);
    /// The first file of the last XML sitemap save that could not be written, and why.
    struct SaveFailure {
        QString path;
        QString reason;
    };
    /// Empty after a save that wrote every file.
    const std::optional<SaveFailure>& lastSaveFailure() const { return m_lastSaveFailure; }
    /// Writes into the application support's "temp" folder under `name` ("" by
    /// `sitemapFilenameOptions`), then `transferFiles`. False when a file could not be written.
    bool exportXMLSitemapAndFTP(const QString& name);
    int xmlfilecount() const { return m_xmlfilecount; }

    // ----- FTP upload -----
    /// The files of the last export, absolute: the index then each numbered file beside it
    /// that exists, else the single file. Without an export: "sitemap.xml" in no folder, which
    /// fails to read like a missing file.
    QStringList ftpUploadFiles() const;
    /// The upload of `ftpUploadFiles()` with the site's `ftp…` settings; `ftpUsesTLS` requires
    /// TLS, and the `TLSArg` default adds "--ssl"/"--ftp-ssl" (try), "--ssl-reqd"/"--ftp-ssl-reqd"
    /// (require) or "-k"/"--insecure" (no peer checks); other words are logged and ignored.
    /// nullopt (logged) when `ftpserver` is empty.
    std::optional<platform::FtpUploadRequest> ftpUploadRequest() const;
    /// transferFiles: uploads on a worker thread; `ftpBusy` true then false and the result
    /// alert on the main thread. An empty server stops with only a log line; a call while an
    /// upload runs does nothing. Main thread.
    void transferFiles();
    bool ftpInProgress() const { return m_ftpInProgress; }

    // ----- CSV, HTML and Graphviz exports (each saved through the save panel on the main queue) -----
    /// The sitemap table as CSV: the titles of `sitemapColumns()`, then one line per page of the
    /// sitemap collection whose visible flag is set; quotes by `csvQuoteEscapeOption`, line
    /// breaks kept, the priority written raw.
    QString sitemapCsvText();
    /// The flat HTML list: pages by click distance from 0 up, in collection order; pages with a
    /// negative distance last. Titles and URLs are HTML-escaped.
    QString sitemapHtmlText();
    /// The indented HTML list: sorted by `finalURLString` without regard to case (stable),
    /// indented by directory depth. An empty collection gives an empty body.
    QString sitemapHierarchicalHtmlText();
    /// exportSitemapAsCSV: beeps when the table has no rows.
    void exportSitemapAsCSV();
    /// Beeps when the collection is empty; else the indented list when `htmlExportOptions` is 1,
    /// the flat list otherwise.
    void exportSitemapAsHTMLMenuItem();
    void exportSitemapAsHTML();
    void exportSitemapAsHeirarcicalHTML();
    /// The Graphviz digraph of links between the pages of the set chosen by
    /// `observeCanonicalRuleForDotSitemap`, lines ended by "\r"; nullopt when the set is empty.
    /// A link to a redirect is an edge to the page of the set the redirect ends at (its way in).
    /// Names are quoted with `"` and `\` escaped; parents past distance 6 carry no colour.
    std::optional<QString> getDotAsStringForExportng(bool exporting = true);
    /// Beeps when the collection is empty; else resets the progress line and shows the graph window.
    void exportAsDotMenuItem();
    /// The graph text through a save panel of type "dot".
    void exportAsDot();
    /// `url` without its scheme, host and port when it parses and has a path beyond the root.
    static QString stripHost(const QString& url);
    const QString& sitemapLocation() const { return m_sitemapLocation; }

private:
    CrwlUrl* pageAt(qsizetype row);
    bool isExcludedTable(const TableView& table) const { return &table == m_excludedTable; }
    void alterTableColumns();
    SitemapXmlOptions xmlOptions(bool imageSitemap) const;
    /// Writes `documents` for the chosen `location`: one file there, or NAME-i.xml files in
    /// `folder` (held: written through its descriptor) with the index at `location`. Returns
    /// whether every file was written.
    bool writeDocuments(const QStringList& documents, const QString& location, const QString& folder,
        const platform::HeldFolder* held = nullptr);
    /// Saves `documents` for a file chosen at `chosen`: one file there, or a folder named after
    /// it holding the index under its name. `location` gets the path written last (null when the
    /// folder could not be made). Returns whether every file was written.
    bool saveAt(const QStringList& documents, const QString& chosen, int folderLogLevel, QString& location);
    /// Keeps the first failure of a save (logged as `what`) for `lastSaveFailure`.
    void noteSaveFailure(const QString& what, const QString& path, const QString& reason);
    /// Shows `lastSaveFailure` through the save panel.
    void showSaveFailure() const;
    /// A report's text saved through the panel (type `fileType`) in a block on the main queue,
    /// written atomically as UTF-8, with the success or failure logged.
    void saveReportOnMain(QString text, const QString& fileType);
    /// The Priority cell of `page`: the applying rule's priority, else the depth priority; empty
    /// under "None".
    QString priorityText(CrwlUrl& page);
    /// "sitemap.xml", or "sitemap.txt" when `sitemapFilenameOptions` is 0.
    QString defaultSitemapFileName() const;

    platform::UserDefaults& m_defaults;
    SitemapManagerObserver m_observer;
    std::function<void(const QVariantMap&)> m_ruleStore;
    platform::SavePanel* m_savePanel = nullptr;
    TableView* m_sitemapTable = nullptr;
    TableView* m_excludedTable = nullptr;

    QVariantMap m_crawlSettings;
    std::optional<CrwlUrlList> m_sitemapCollection;
    CrwlUrlList m_excludedBecauseCanonical;
    CrwlUrlList m_excludedBecauseNoIndex;
    std::optional<QList<Item>> m_sortedAndVisibleArray;
    CrwlUrlList m_pdfCollection;
    qsizetype m_imageCount = 0;
    QString m_infoText;

    int m_highlightTag = 0;
    SitemapPopUpItem m_changeFrequency;
    QString m_priorityTitle;
    bool m_includeLastModified = false;

    bool m_ftpInProgress = false;
    int m_xmlfilecount = 0;
    std::optional<SaveFailure> m_lastSaveFailure;
    QString m_sitemapLocation;
    /// Queued saves check it: a manager gone before its save runs writes nothing.
    std::shared_ptr<char> m_alive = std::make_shared<char>();
};

} // namespace crawlmere::sitemap
