// The SEO tab's data source: one list of pages in the page, metadata and headings tables, the
// image occurrences in the images table, the finding filter, the row actions, the image preview
// fetch and the CSV and HTML exports of the tables. No widget: the views attach through hooks.
#pragma once

#include "engine/CrwlUrl.h"
#include "engine/qfDataSource.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class CrwlLinkInstance;

namespace crawlmere::platform {
class SavePanel;
class UrlOpener;
class UrlSession;
class UserDefaults;
struct UrlRequest;
} // namespace crawlmere::platform

namespace crawlmere::reports {

/// One item of the filter pop-up.
struct SEOFilterItem {
    QString title;
    int tag = 0;
};

/// What the SEO tab's widgets do for the manager; each is optional. All run on the main thread.
struct SEOManagerHooks {
    /// The selected row of a table, or -1 without a selection.
    std::function<qsizetype(TableView&)> selectedRow;
    /// Puts one plain string on the general pasteboard (`toClip:`).
    std::function<void(const QString&)> toClip;
    /// Opens the page inspector on a page (`showInspector:`).
    std::function<void(const std::shared_ptr<CrwlUrl>&)> showInspector;
    /// Selects the tab "1" to "4" of the SEO tab view.
    std::function<void(const QString&)> selectTab;
    /// The export progress line, 0.0 to 1.0 (`pbc`).
    std::function<void(double)> progress;
    /// An image preview starts: clear the view, start the spinner, show the panel.
    std::function<void()> previewStarted;
    /// The preview fetch ended: the body (empty on any failure) to decode, spinner stopped.
    std::function<void(const QByteArray&)> previewFinished;
};

/// Tab identifiers of the SEO tab view: "1" images, "2" pages, "3" metadata, "4" headings.
///
/// The pages are shared `CrwlUrl` records; their visibility is each page's shared visible flag,
/// which `SEOfilter` rewrites while `SEOEnabled` is on (other views filtering on the same flag
/// see that until they filter again). The image list is a list of `CrwlLinkInstance`; the images
/// without alt text (link text of at most 7 characters) are cached in the list's order at the
/// time they are first asked for, and kept until new images are handed in or `clear`.
///
/// The tables are borrowed (`setTables`); any table that is not one of them answers no rows.
/// The defaults store, tables, save panel and opener must outlive the manager or be unset.
/// Main thread only, except the exports, which may be started on any thread: they take their
/// snapshot of the tables on the main thread and build their text off it.
class SEOManager final : public qfDataSource {
public:
    static inline const QString kImagesTab = QStringLiteral("1");
    static inline const QString kPagesTab = QStringLiteral("2");
    static inline const QString kMetaDataTab = QStringLiteral("3");
    static inline const QString kHeadingsTab = QStringLiteral("4");
    /// Filter tags with a role beyond their test.
    static constexpr int kKeywordTag = 10;
    static constexpr int kImagesWithoutAltTag = 12;
    /// The longest link text of an image without alt text: "[alt]:" and one character.
    static constexpr qsizetype kMaxLinkTextWithoutAlt = 7;
    /// The exported list of images without alt text takes link texts shorter than this.
    static constexpr qsizetype kExportLinkTextWithoutAlt = 10;
    static constexpr double kPreviewTimeoutSeconds = 10.0;
    static constexpr qint64 kPreviewMaxBytes = 32 * 1024 * 1024;
    static inline const QString kPreviewUserAgent = QStringLiteral(
        "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 (KHTML, like Gecko) "
        "Version/14.1.2 Safari/605.1.15");
    static inline const QString kValidatorCheckAddress = QStringLiteral("https://validator.w3.org/check");

    explicit SEOManager(platform::UserDefaults& defaults);
    ~SEOManager() override;

    // ----- wiring -----
    void setTables(TableView* pages, TableView* metaData, TableView* headings, TableView* images);
    void setHooks(SEOManagerHooks hooks) { m_hooks = std::move(hooks); }
    void setUrlOpener(std::shared_ptr<platform::UrlOpener> opener) { m_urlOpener = std::move(opener); }
    void setSavePanel(platform::SavePanel* panel) { m_savePanel = panel; }
    /// Told after every filter pass that rewrote the pages' shared visible flags, so views that
    /// filter on them can mark themselves for a new pass.
    void setVisibilityObserver(std::function<void()> observer) { m_visibilityObserver = std::move(observer); }
    /// The idle time-out of the preview fetch; 10 seconds unless a test shortens it.
    void setPreviewTimeout(double seconds) { m_previewTimeout = seconds; }

    static QList<TableColumn> pageColumns();
    static QList<TableColumn> metaDataColumns();
    static QList<TableColumn> headingsColumns();
    static QList<TableColumn> imagesColumns();
    static QList<SEOFilterItem> filterItems();

    // ----- state the widgets show -----
    int selectedTag() const { return m_tag; }
    /// Selects a filter tag without filtering (the pop-up's selected item).
    void selectTag(int tag) { m_tag = tag; }
    const QString& selectedTab() const { return m_tab; }
    void setSelectedTab(const QString& tab) { m_tab = tab; }
    /// The search field: any text switches the images table to the images without alt text;
    /// the text itself filters nothing.
    void setSearchText(const QString& text);
    const QString& statisticsText() const { return m_stats; }
    void setStatisticsText(const QString& text) { m_stats = text; }

    // ----- intake -----
    /// The pages of the three page tables; runs `SEOfilter`.
    void setCollection(const CrwlUrlList& pages);
    /// The image occurrences; drops the list without alt text; runs `SEOfilter`.
    void setImagesCollection(CrwlUrl::InstanceList images);
    /// The image occurrences of `pages`, page by page in page order.
    static CrwlUrl::InstanceList imageOccurrencesOf(const CrwlUrlList& pages);
    /// Hands in `pages` and their image occurrences at once.
    void populate(const CrwlUrlList& pages);
    /// No pages, no images, tag 0, sort descriptors emptied, tables reloaded, no statistics.
    void clear() override;

    // ----- filtering -----
    /// The pop-up's action: `SEOfilter`, then the images tab for tag 12 and the pages tab for
    /// any other, then the tables reloaded.
    void handleSwitch(int tag);
    /// With `SEOEnabled` off nothing at all; else every page's visible flag is set from the
    /// filter test, the row cache dropped and the page and images tables reloaded.
    void SEOfilter();
    bool shouldDisplayBasedOnFilterButton(const CrwlUrl& page) const;
    /// The filter test of `tag` for `page`. Tag 0 passes every page; any other tag refuses a page
    /// that is not HTML before its own test. Thresholds are read from `defaults` at each call,
    /// compared signed; tag 11 takes 250 words when `maxThinContent` is absent.
    static bool shouldDisplayBasedOnFilterButton(const CrwlUrl& page, int tag, const platform::UserDefaults& defaults);
    /// The images without alt text, built from the images list on first use.
    const CrwlUrl::InstanceList& getImagesWithoutAltText();

    // ----- tables -----
    qsizetype numberOfRowsInTableView(TableView& table) override;
    QVariant tableViewObjectValue(TableView& table, const TableColumn& column, qsizetype row) override;
    /// The images table sorts the images list (never the list without alt text); the page tables
    /// sort the pages.
    void tableViewSortDescriptorsDidChange(TableView& table) override;
    void reloadData();
    std::shared_ptr<CrwlLinkInstance> getnthVisibleImage(qsizetype n) const;
    qsizetype countVisibleImages() const { return qsizetype(m_images.size()); }
    /// The image of the images table's selected row; null without one.
    std::shared_ptr<CrwlUrl> getSelectedImage();
    bool isInSEOManagersCollection(const CrwlUrl& page) const;
    bool dataAvailableForSitemap();

    // ----- actions -----
    /// Opens the page inspector for the selected page of the shown page table; nothing on the
    /// images tab, without a selection, or under tag 10 (keyword analysis opens nothing).
    void SEODoubleClick();
    void showInspector(const std::shared_ptr<CrwlUrl>& page);
    void showKeywordAnalysis(const std::shared_ptr<CrwlUrl>&) { }
    /// Fetches the selected image for the preview (see `imagePreviewRequest`); the body goes to
    /// `previewFinished` on the main thread, empty on any failure, also after a time-out.
    void imagesDoubleClick();
    /// The preview request: GET, the fixed User-Agent, a Referer of the page that
    /// holds the image's last inbound occurrence when that page has a URL; the transport sets
    /// Host from the URL (with its port).
    static platform::UrlRequest imagePreviewRequest(const CrwlUrl& image, double timeoutSeconds);
    /// The selected row's URL without its fragment; nothing without a selection.
    void copyURL();
    void visitURL();
    /// The shown page table's selected page (the pages table's on the images tab) in the markup
    /// checker, its URL percent-encoded as the value of "uri".
    void validateURL();
    /// The check address of the markup checker for `pageUrl`.
    static QUrl validatorAddress(const QString& pageUrl);
    void summaryToClip();
    void toClip(const QString& text);

    // ----- exports -----
    /// A table frozen for export: shown columns and each row's cell texts.
    struct Snapshot {
        QList<TableColumn> columns;
        QList<QStringList> rows;
    };
    using Progress = std::function<void(double)>;
    /// The table of the selected tab: images "1", metadata "3", headings "4", else pages.
    TableView* exportTable() const;
    /// The shown columns and rows of `table`. Main thread.
    Snapshot snapshotOf(TableView& table);
    /// Header titles, then a line per row; quotes as `csvQuoteEscapeOption` says, line breaks
    /// kept. Progress at most once per whole percent. Any thread.
    static QString csvText(const Snapshot& snapshot, qint64 quoteOption, const Progress& progress = {});
    /// The whole HTML page; every text and attribute escaped, link addresses quoted. Any thread.
    static QString htmlText(const Snapshot& snapshot, const Progress& progress = {});
    /// CSV (HTML) of the selected tab's table through a save panel of type "csv" ("html"),
    /// written atomically. Safe from any thread; the snapshot is taken on the main thread.
    void exportSEOAsCSV();
    void exportSEOAsHTML();
    /// The pages passing `tag`, all columns of the page table; nullopt when none passes. The
    /// visible flags and the selected tag stay as they were.
    std::optional<QString> exportSEOAsCSVFilteredFor(qint32 tag);
    /// The image occurrences with a link text shorter than 10 characters, all columns of the
    /// images table; a column named "linkText" (any case) takes the raw link text, others the
    /// image's field. Nullopt when none qualifies. The argument is ignored.
    std::optional<QString> getImagesWithoutAltText(const QVariant& sender);

private:
    enum class Format { Csv, Html };
    void exportSelected(Format format);
    /// The page table shown on the selected tab: metadata "3", headings "4", else pages.
    TableView* pageTableOfTab() const;
    bool showsImagesWithoutAlt() const;
    const CrwlUrl::InstanceList& shownImages();
    std::shared_ptr<CrwlUrl> selectedPage(TableView* table);
    std::shared_ptr<CrwlUrl> selectedRowObject();
    static QString imageCellValue(const CrwlLinkInstance& occurrence, const QString& identifier);
    QString csvLine(const QStringList& fields, qint64 quoteOption) const;

    platform::UserDefaults& m_defaults;
    SEOManagerHooks m_hooks;
    std::function<void()> m_visibilityObserver;
    std::shared_ptr<platform::UrlOpener> m_urlOpener;
    platform::SavePanel* m_savePanel = nullptr;
    TableView* m_pages = nullptr;
    TableView* m_metaData = nullptr;
    TableView* m_headings = nullptr;
    TableView* m_imagesTable = nullptr;
    CrwlUrl::InstanceList m_images;
    std::optional<CrwlUrl::InstanceList> m_imagesWithoutAlt;
    int m_tag = 0;
    QString m_tab = kPagesTab;
    QString m_search;
    QString m_stats;
    double m_previewTimeout = kPreviewTimeoutSeconds;
    std::shared_ptr<platform::UrlSession> m_previewSession;
    /// Dropped with the manager, so work queued to the main thread can tell it is gone.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};

} // namespace crawlmere::reports
