// The Sitemap tab's widgets over the display-free sitemap manager: its pop-ups and check boxes,
// the sitemap table with editable change frequency and priority, the counts and the window of
// excluded pages.
#pragma once

#include <QWidget>

#include <functional>
#include <memory>

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

/// Shows a `SitemapManager` (which must outlive the tab) and installs itself as its observer.
/// Widgets carry the outlet names: `sitemapChangeFrequency`, `sitemapPriority`,
/// `includelastmodinsitemap`, `includepdfsinsitemap`, `sitemapTableView`, `tfPagesIncluded`,
/// `filterSitemapInfoText`, `filterSitemapInfoButton`, and `excludedTableView` in the window
/// `excludedPagesWindow`. Main thread only.
class SitemapTab final : public QWidget {
    Q_OBJECT
public:
    explicit SitemapTab(sitemap::SitemapManager& manager, QWidget* parent = nullptr);
    ~SitemapTab() override;

    /// Where a double-clicked page goes (the page inspector); unset: nowhere.
    void setInspectorOpener(std::function<void(const std::shared_ptr<CrwlUrl>&)> opener);
    /// The "Sitemap Preferences…" button (`sitemapPrefsButton`) opens the preferences' sitemap
    /// tab through `opener` (`selectPrefsSitemapTabView:`); hidden while unset.
    void setPreferencesOpener(std::function<void()> opener);
    /// reloadAllData: the rows, the count and the exclusion text afresh (after the manager's
    /// candidates changed).
    void reloadAllData();
    /// clear: the manager cleared before a new scan, and the table's sort order reset.
    void clear();
    /// showExcludedPages: reloads the excluded table and brings its window to the front.
    void showExcludedPages();

    crawlmereTableView* sitemapTableView() const { return m_table; }
    crawlmereTableView* excludedTableView() const { return m_excludedTable; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void applyColumns();
    /// The Last modified box (and column) show whether the XML sitemap gets `lastmod`.
    void followLastModifiedSetting();

    sitemap::SitemapManager& m_manager;
    std::function<void(const std::shared_ptr<CrwlUrl>&)> m_opener;
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
