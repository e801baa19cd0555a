// The Sitemap tab's widgets over the display-free sitemap manager: its pop-ups and check boxes,
// the sitemap table with editable change frequency and priority, the counts and the window of
// excluded pages.
#pragma once

#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class CrwlUrl;
class QCheckBox;
class QComboBox;
class QDialog;
class QLabel;
class QPushButton;
class crawlmereTableView;

namespace crawlmere::sitemap {
class SitemapManager;
}

namespace crawlmere::views {

class ResultViewDelegate;

/// Shows a `SitemapManager` (which must outlive the tab) and installs itself as its observer.
/// Widgets carry the object names: `sitemapChangeFrequency`, `sitemapPriority`,
/// `includelastmodinsitemap`, `includepdfsinsitemap`, `sitemapTableView`, `tfPagesIncluded`,
/// `filterSitemapInfoText`, `filterSitemapInfoButton`, and `excludedTableView` in the window
/// `excludedPagesWindow`. A right-click on a row of either table offers Copy URL and Visit for
/// its page (items `copyURLMenuItem`, `visitURLMenuItem`, `copyExcludedPageUrlMenuItem`,
/// `visitExcludedPageUrlMenuItem`); Copy in either table copies as that item does. Main thread
/// only.
class SitemapTab final : public QWidget {
    Q_OBJECT
public:
    explicit SitemapTab(sitemap::SitemapManager& manager, QWidget* parent = nullptr);
    ~SitemapTab() override;

    /// Where a double-clicked page goes (the page inspector); unset: nowhere.
    void setInspectorOpener(std::function<void(const std::shared_ptr<CrwlUrl>&)> opener);
    /// Where the Visit items open an address (the default browser); unset: nowhere.
    void setUrlOpener(std::function<void(const QString&)> opener);
    /// The "Sitemap Preferences…" button (`sitemapPrefsButton`) opens the preferences' sitemap
    /// tab through `opener` (`selectPrefsSitemapTabView:`); hidden while unset.
    void setPreferencesOpener(std::function<void()> opener);
    /// reloadAllData: the rows, the count and the exclusion text afresh (after the manager's
    /// candidates changed).
    void reloadAllData();
    /// clear: the manager cleared before a new scan, and the table's sort order reset.
    void clear();
    /// A sitemap default changed elsewhere (the preferences): the check boxes show the stored
    /// values and the pages are sorted out afresh, so the table, the counts and the next export
    /// follow at once.
    void followPreferences();
    /// showExcludedPages: reloads the excluded table and brings its window to the front.
    void showExcludedPages();

    crawlmereTableView* sitemapTableView() const { return m_table; }
    crawlmereTableView* excludedTableView() const { return m_excludedTable; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void applyColumns();
    /// The row menu of `table`: its Copy URL and Visit items act on the first selected row.
    void addRowMenu(crawlmereTableView* table, const char* copyName, const char* visitName,
        std::function<void(qsizetype)> copy, std::function<void(qsizetype)> visit);
    /// The Last modified box (and column) show whether the XML sitemap gets `lastmod`.
    void followLastModifiedSetting();

    sitemap::SitemapManager& m_manager;
    std::function<void(const std::shared_ptr<CrwlUrl>&)> m_opener;
    std::function<void(const QString&)> m_urlOpener;
    /// The tables' Copy commands (unset from the tables before these go).
    std::vector<std::unique_ptr<ResultViewDelegate>> m_copyDelegates;
    QComboBox* m_changeFrequency = nullptr;
    QComboBox* m_priority = nullptr;
    QCheckBox* m_lastModified = nullptr;
    QCheckBox* m_pdfs = nullptr;
    crawlmereTableView* m_table = nullptr;
    QLabel* m_pagesIncluded = nullptr;
    QLabel* m_infoText = nullptr;
    QPushButton* m_infoButton = nullptr;
    QPushButton* m_prefsButton = nullptr;
    std::function<void()> m_prefsOpener;
    QDialog* m_excludedWindow = nullptr;
    crawlmereTableView* m_excludedTable = nullptr;
};

} // namespace crawlmere::views
