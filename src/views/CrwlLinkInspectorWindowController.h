// The link inspector: one link target's facts, the pages it is on, its redirect chain and its
// warnings, in one window.
#pragma once

#include "views/LinkInspectorContent.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class CrwlLinkInstance;
class CrwlUrl;
class LinkInspectorColumnManager;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTableWidget;

namespace crawlmere::platform {
class UrlOpener;
}

namespace crawlmere::views {

class LinkInspectorOnPageTable;
class Pasteboard;

/// A window on one link target. Its widgets are made only by `windowDidLoad`, so a controller
/// used without a window (the views' highlight and locate of one occurrence) makes none and
/// observes nothing.
///
/// Loading fills the facts (`inspectorLinkURL`, `inspectorStatus`, `inspectorRedir`,
/// `inspectorPageTitle`, `inspectorTargetPageInboundCount`, `inspectorTargetMimeType`,
/// `inspectorTimeStamp`, `inspectorResponseTime`), the `redirectButton` ("0" and disabled
/// without redirects), the `redirectTable`, the `warningsTextView` and the on-page table
/// (`inspectorOnPage`), shows the notices and page parts the target calls for, removes the tab
/// "target" unless the target is internal HTML and the tab "warnings" while the default
/// `htmlValidationEnabled` is off, and starts observing "CrwlUrlStatusUpdated": every such
/// notification (whatever record it is about) refreshes the status, redirect and response time
/// and stops the recheck indicator once the target is no longer waiting for its check. Closing the window or destroying
/// the controller stops the observation.
///
/// The actions on a chosen occurrence do nothing while none is chosen (`lastClickedOnPage` -1).
/// Only the on-page table's selection chooses one.
///
/// The inspector stays with the scan that is current: each action and each notification first
/// asks the target's hub for its record of the URL (`Z12Ara::currentRecordOf`). A new scan's
/// record is taken over and the window filled from it, and every fact follows that record as the
/// scan goes on (its occurrences too, at each status notification, a scan's end or stop, and
/// "CrwlListenerShouldUpdateData"); while the current scan has none (after a clear), the
/// `inspectorScanGoneNotice` says so and the actions are disabled and do nothing. A target with
/// no hub stays as it is. Main thread only.
class CrwlLinkInspectorWindowController final : public QWidget {
    Q_OBJECT
public:
    using OccurrenceHandler = std::function<void(const std::shared_ptr<CrwlLinkInstance>&)>;
    using RecordHandler = std::function<void(const std::shared_ptr<CrwlUrl>&)>;

    /// `pasteboard` takes copied text (null: the general pasteboard); `opener` opens pages in
    /// the browser and the highlighter's copies (null: nothing is opened).
    explicit CrwlLinkInspectorWindowController(Pasteboard* pasteboard = nullptr,
        std::shared_ptr<platform::UrlOpener> opener = nullptr, QWidget* parent = nullptr);
    ~CrwlLinkInspectorWindowController() override;

    static QString InspectorWindowTitle() { return QStringLiteral("Link Inspector"); }

    /// The inspected target; set before `windowDidLoad`. Kept alive by the controller.
    void setLcurl(std::shared_ptr<CrwlUrl> target) { lcurl = std::move(target); }
    const std::shared_ptr<CrwlUrl>& getLcurl() const { return lcurl; }

    /// Who shows the page inspector (`inspectPage`), the route to an occurrence (`locate`) and
    /// marks a target fixed (`markAsFixedMenuItem`). Unset: those actions do nothing.
    void setInspectPageHandler(RecordHandler handler) { inspectPageHandler = std::move(handler); }
    void setLocateHandler(OccurrenceHandler handler) { locateHandler = std::move(handler); }
    void setMarkFixedHandler(RecordHandler handler) { markFixedHandler = std::move(handler); }
    /// Who shows the redirect a "[redirect]" way in stands for (given the redirecting record)
    /// when it is highlighted: it is no link on a page to mark. Unset: that is only logged.
    void setShowRedirectHandler(RecordHandler handler) { showRedirectHandler = std::move(handler); }

    /// Builds the widgets (once) and fills them from the target. Without a target, or one with
    /// no URL: logged, nothing else.
    void windowDidLoad();
    /// Stored, and selected at once when the window is loaded.
    void selectTabAtIndex(int index);

    /// Makes the on-page list every way in to the target (`CrwlUrl::getWaysIn`), in order, and
    /// answers it.
    const LinkInspectorContent::OnPageList& getOnPageInstanceArrayNoUnique();
    /// The on-page list, built (`LinkInspectorContent::onPageList`) when empty.
    const LinkInspectorContent::OnPageList& getUniquedOnPageInstanceArray();
    void setLastClickedOnPage(qint64 index) { lastClickedOnPage = index; }
    qint64 getLastClickedOnPage() const { return lastClickedOnPage; }
    /// The chosen occurrence; null (logged) when none is chosen or the index is past the list.
    std::shared_ptr<CrwlLinkInstance> getSelectedInstance() const;

    // Actions on the chosen occurrence.
    void visitOnPage();
    void copyOnPage();
    void locate();
    /// Has a `CrwlHighlighter` show the link marked on the chosen occurrence's page; a way in
    /// through a redirect goes to the show-redirect handler with the redirecting record.
    void highlight();
    // Actions on the target.
    void visitLink();
    void inspectPage();
    /// Has the target fetched again and starts `inspectorRecheckingIndicator` while it waits.
    void recheck();
    void markAsFixedMenuItem();
    void selectRedirectTab();
    /// Puts the redirect table on the pasteboard, tab-separated; beeps when it has no rows.
    /// Answers whether anything was copied.
    bool copyRedirTableToClipboard();
    /// The status refresh of every "CrwlUrlStatusUpdated".
    void shouldUpdateStatus();
    /// A page's links were read again: the occurrence count and the on-page list are taken
    /// from the target again, in the table's sort order.
    void occurrencesChanged();
    /// Whether the actions are offered: false once the current scan holds no record of the
    /// target's URL.
    bool offersActions() const { return !scanGone; }

    QTableWidget* redirectTable() const { return m_redirectTable; }
    QPushButton* redirectButton() const { return m_redirectButton; }
    LinkInspectorOnPageTable* onPageTable() const { return m_onPage; }
    QTabWidget* tabView() const { return m_tabs; }
    QProgressBar* recheckingIndicator() const { return m_indicator; }

Q_SIGNALS:
    /// The window was closed by the user or `close()`.
    void windowClosed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildWidgets();
    /// Reads the on-page list and its rows' texts from the target.
    void readOnPage();
    void reloadOnPage();
    void sortOnPage();
    void removeTab(const QString& identifier);
    void openInBrowser(const QString& url) const;
    void stopObserving();
    /// Takes the current scan's record of the target's URL (filling the window again when it is
    /// another record); false, the actions disabled, when the current scan has none.
    bool followCurrentScan();
    /// Every fact, the redirect table, the warnings and the notices from the target; answers
    /// what the window shows of it. `update`, as the window follows the scan: the redirect is
    /// shown as the record holds it, and a response time not yet known keeps the one shown.
    LinkInspectorContent::Visibility fillFacts(bool update);
    void offerActions(bool offered);

    Pasteboard* pasteboard = nullptr;
    std::shared_ptr<platform::UrlOpener> urlOpener;
    std::shared_ptr<CrwlUrl> lcurl;
    RecordHandler inspectPageHandler;
    OccurrenceHandler locateHandler;
    RecordHandler markFixedHandler;
    RecordHandler showRedirectHandler;
    qint64 lastClickedOnPage = -1;
    int tabToSelectOnLoad = 0;
    LinkInspectorContent::OnPageList uniquedOnPageInstanceArray;
    /// The rows of the on-page table in its order, with the texts they were read with; the
    /// occurrences of `uniquedOnPageInstanceArray` in the same order.
    LinkInspectorContent::OnPageRows onPageRows;
    bool observing = false;
    bool scanGone = false;
    /// How many ways in to the target the on-page list was built from.
    qsizetype shownOccurrences = 0;

    QTabWidget* m_tabs = nullptr;
    LinkInspectorOnPageTable* m_onPage = nullptr;
    QTableWidget* m_redirectTable = nullptr;
    QPushButton* m_redirectButton = nullptr;
    QPushButton* m_inspectTarget = nullptr;
    QProgressBar* m_indicator = nullptr;
    QPlainTextEdit* m_warnings = nullptr;
    QLabel* m_externalNotice = nullptr;
    QLabel* m_scanGoneNotice = nullptr;
    QLabel* m_badNotice = nullptr;
    QLabel* m_pageTitleLabel = nullptr;
    std::shared_ptr<LinkInspectorColumnManager> columnManager;
};

} // namespace crawlmere::views
