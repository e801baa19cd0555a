// The SEO tab's widgets over the display-free SEO manager: the filter pop-up, the search field,
// the four tables in their own tab view, the statistics, the row buttons and the image preview.
#pragma once

#include <QWidget>

#include <functional>
#include <memory>

class CrwlUrl;
class QByteArray;
class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QProgressBar;
class QTabWidget;
class QTextEdit;
class SEOColumnManager;
class MetaDataColumnManager;
class crawlmereTableView;

namespace crawlmere::platform {
class UserDefaults;
}

namespace crawlmere::reports {
class SEOManager;
}

namespace crawlmere::views {

class Pasteboard;

/// Shows an `SEOManager` (which must outlive the tab) and installs itself as its hooks and
/// tables. Widgets carry the object names: `highlightSelector`, `seoTabView` (tabs "1" images,
/// "2" pages, "3" metadata, "4" headings), `tableView`, `metaDataTableView`, `headingsTableView`,
/// `imagesTableView`, `SEOSearchBox`, `tvSEOStats`, `tfPagesIncludedInSEO`, `pbctf`, and the
/// panel `imagePreview` with `imagePreviewProgressIndicator` and `imagePreviewImageView`.
/// Main thread only.
class SEOTab final : public QWidget {
    Q_OBJECT
public:
    SEOTab(reports::SEOManager& manager, platform::UserDefaults& defaults, Pasteboard& pasteboard,
        QWidget* parent = nullptr);
    ~SEOTab() override;

    /// Where a double-clicked page goes (the page inspector); unset: nowhere.
    void setInspectorOpener(std::function<void(const std::shared_ptr<CrwlUrl>&)> opener);
    /// The column managers apply the stored column choices.
    void setUpColumns();
    /// The rows and the page count afresh after the manager's lists changed.
    void reloadAllData();
    /// The manager cleared before a new scan, with the pop-up and the count.
    void clear();

    crawlmereTableView* table(const QString& tab) const;
    QComboBox* filterPopUp() const { return m_filter; }
    QLabel* previewImageView() const { return m_previewImage; }
    QProgressBar* previewIndicator() const { return m_spinner; }
    QDialog* previewPanel() const { return m_preview; }

Q_SIGNALS:
    /// The preview fetch ended and its outcome is shown (true: an image).
    void previewFinished(bool shown);

private:
    void showPreview(const QByteArray& bytes);

    reports::SEOManager& m_manager;
    std::function<void(const std::shared_ptr<CrwlUrl>&)> m_opener;
    std::shared_ptr<SEOColumnManager> m_pageColumns;
    std::shared_ptr<MetaDataColumnManager> m_metaDataColumns;
    QComboBox* m_filter = nullptr;
    QLineEdit* m_search = nullptr;
    QTabWidget* m_tabs = nullptr;
    crawlmereTableView* m_pages = nullptr;
    crawlmereTableView* m_metaData = nullptr;
    crawlmereTableView* m_headings = nullptr;
    crawlmereTableView* m_images = nullptr;
    QTextEdit* m_stats = nullptr;
    QLabel* m_pageCount = nullptr;
    QProgressBar* m_exportProgress = nullptr;
    QDialog* m_preview = nullptr;
    QProgressBar* m_spinner = nullptr;
    QLabel* m_previewImage = nullptr;
};

} // namespace crawlmere::views
