// The page inspector: everything the scan learnt about one page, in one window.
#pragma once

#include "engine/TableView.h"
#include "views/PageInspectorContent.h"

#include <QWidget>

#include <memory>
#include <vector>

class CrwlLinkInstance;
class CrwlUrl;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTableWidget;

namespace crawlmere::platform {
class UrlOpener;
class UrlSession;
} // namespace crawlmere::platform

namespace crawlmere::views {

class Pasteboard;

/// A window on one page record: its facts in fields named as the record's facts
/// (`inspectorUrl`, `inspectorTitle`, … `twitterImage`, `jsonldContents`) and four tables
/// (`duplicatesTableView`, `metadataTableView`, `inboundLinksTableView`,
/// `outboundLinksTableView`). The fields are filled once by `windowDidLoad`; later changes of
/// the record do not show. The occurrence tables show rows read when first needed, with their
/// texts, which sort and keep what they show for the window's life (a rescan or a clear lets
/// go of the records); the record's own lists never move. The social-card image loads on a URL session of
/// its own (time-out, size cap) and appears when it arrives; a closed or destroyed window
/// drops the answer. Main thread only.
class CrwlPageInspectorWindowController final : public QWidget {
    Q_OBJECT
public:
    /// `opener` opens pages in the browser (may be null: nothing opens); `pasteboard` takes
    /// copied URLs (null: the general pasteboard).
    explicit CrwlPageInspectorWindowController(std::shared_ptr<platform::UrlOpener> opener,
        Pasteboard* pasteboard = nullptr, QWidget* parent = nullptr);
    ~CrwlPageInspectorWindowController() override;

    static QString InspectorWindowTitle() { return QStringLiteral("Page Inspector"); }
    /// Longest wait for the social-card image, and its largest size.
    static constexpr double kImageTimeoutSeconds = 20.0;
    static constexpr qint64 kImageMaxBytes = 8 * 1024 * 1024;

    /// setLcurl: the inspected page; set before `windowDidLoad`. Kept alive by the window.
    void setLcurl(std::shared_ptr<CrwlUrl> page) { lcurl = std::move(page); }
    const std::shared_ptr<CrwlUrl>& getLcurl() const { return lcurl; }

    /// windowDidLoad: fills every field and table from the page and starts the image load.
    /// Without a page nothing is filled. Call once.
    void windowDidLoad();
    /// visitPage: opens the page's URL in the browser.
    void visitPage();
    /// duplicatesTableVisit: opens the selected duplicate page; nothing without a selection.
    void duplicatesTableVisit();
    /// duplicatesTableCopy: puts the selected duplicate page's URL on the pasteboard.
    void duplicatesTableCopy();

    /// The rows of the inbound (or outbound) table with the texts they show, read from the
    /// page's occurrences when empty (an empty answer keeps nothing) and kept as read.
    const PageInspectorContent::OccurrenceRows& occurrenceRows(bool inbound);
    /// Sorts the inbound (or outbound) rows by `descriptors` (keys such as "linkText",
    /// "onPageUrl") and reloads its table.
    void sortOccurrences(bool inbound, const QList<SortDescriptor>& descriptors);

    QTableWidget* table(const QString& objectName) const;
    /// The image shown, once loaded (a null pixmap when none).
    QLabel* twitterImage() const { return m_twitterImage; }
    /// The image load under way or finished (false when none was started).
    bool imageRequested() const { return imageSession != nullptr; }

Q_SIGNALS:
    /// The image load ended (shown or not).
    void imageLoadFinished(bool shown);
    /// The window was closed by the user or `close()`.
    void windowClosed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void reloadTables();
    void reloadOccurrences(bool inbound);
    void loadImage(const QString& url);
    void showImage(const QByteArray& bytes);
    QString selectedDuplicate() const;

    std::shared_ptr<platform::UrlOpener> urlOpener;
    Pasteboard* pasteboard = nullptr;
    std::shared_ptr<CrwlUrl> lcurl;
    PageInspectorContent::OccurrenceRows inboundRows;
    PageInspectorContent::OccurrenceRows outboundRows;
    std::shared_ptr<platform::UrlSession> imageSession;
    QLabel* m_twitterImage = nullptr;
};

} // namespace crawlmere::views
