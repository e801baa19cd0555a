// The link inspector: one link target's facts, the pages it is on, its redirect chain and its
// warnings, in one window.
#include "views/CrwlLinkInspectorWindowController.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlStatusCodes.h"
#include "engine/CrwlUrl.h"
#include "engine/Z12Ara.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/Url.h"
#include "platform/UrlOpener.h"
#include "platform/UserDefaults.h"
#include "views/ColumnFitting.h"
#include "views/ColumnManagerButton.h"
#include "views/CrwlHighlighter.h"
#include "views/CutCells.h"
#include "views/LinkInspectorColumnManager.h"
#include "views/LinkInspectorOnPageTable.h"
#include "views/Pasteboard.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace crawlmere::views {

namespace {

// The tables' columns share their width by what the first rows hold; none is wider than this.
constexpr int kFittedRows = 50;

/// Whether `table` holds exactly `rows`, cell by cell.
bool showsRows(const QTableWidget& table, const QList<QStringList>& rows)
{
    if (table.rowCount() != rows.size())
        return false;
    for (int row = 0; row < table.rowCount(); ++row) {
        for (int column = 0; column < rows[row].size(); ++column) {
            const QTableWidgetItem* item = table.item(row, column);
            if (!item || item->text() != rows[row][column])
                return false;
        }
    }
    return true;
}
constexpr int kMaxColumnWidth = 4000;

QLineEdit* addField(QFormLayout* form, QWidget* owner, const char* name, const QString& label)
{
    auto* field = new QLineEdit(owner);
    field->setObjectName(QLatin1String(name));
    field->setReadOnly(true);
    showFieldTextFromStart(*field);
    form->addRow(label, field);
    return field;
}

QPushButton* addButton(QHBoxLayout* row, QWidget* owner, const char* name, const QString& title)
{
    auto* button = new QPushButton(title, owner);
    button->setObjectName(QLatin1String(name));
    row->addWidget(button);
    return button;
}

QString responseTimeText(double seconds)
{
    return seconds > 0 ? QString::asprintf("%.4f sec", seconds) : QString();
}

} // namespace

CrwlLinkInspectorWindowController::CrwlLinkInspectorWindowController(
    Pasteboard* board, std::shared_ptr<platform::UrlOpener> opener, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , pasteboard(board)
    , urlOpener(std::move(opener))
{
    setObjectName(QStringLiteral("CrwlLinkInspectorWindow"));
    setWindowTitle(InspectorWindowTitle());
}

CrwlLinkInspectorWindowController::~CrwlLinkInspectorWindowController() { stopObserving(); }

void CrwlLinkInspectorWindowController::buildWidgets()
{
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("mainTabView"));

    // The link: its facts and the pages it is on.
    auto* linkPage = new QWidget(m_tabs);
    linkPage->setObjectName(QStringLiteral("link"));
    auto* form = new QFormLayout;
    cutFieldInTheMiddle(*addField(form, this, "inspectorLinkURL", tr("URL")));
    auto* statusRow = new QHBoxLayout;
    auto* status = new QLineEdit(this);
    status->setObjectName(QStringLiteral("inspectorStatus"));
    status->setReadOnly(true);
    showFieldTextFromStart(*status);
    m_indicator = new QProgressBar(this);
    m_indicator->setObjectName(QStringLiteral("inspectorRecheckingIndicator"));
    m_indicator->setRange(0, 1);
    m_indicator->setTextVisible(false);
    m_indicator->setMaximumWidth(80);
    m_indicator->hide();
    statusRow->addWidget(status, 1);
    statusRow->addWidget(m_indicator);
    form->addRow(tr("Status"), statusRow);
    cutFieldInTheMiddle(*addField(form, this, "inspectorRedir", tr("Redirects to")));
    m_redirectButton = new QPushButton(this);
    m_redirectButton->setObjectName(QStringLiteral("redirectButton"));
    connect(m_redirectButton, &QPushButton::clicked, this, [this] { selectRedirectTab(); });
    form->addRow(tr("Redirects"), m_redirectButton);
    addField(form, this, "inspectorTargetMimeType", tr("MIME type"));
    addField(form, this, "inspectorTargetPageInboundCount", tr("Occurrences"));
    addField(form, this, "inspectorTimeStamp", tr("Requested"));
    addField(form, this, "inspectorResponseTime", tr("Response time"));
    m_externalNotice = new QLabel(tr("This page is outside the site: only its status was checked."), this);
    m_externalNotice->setObjectName(QStringLiteral("inspectorPagePropertiesExternalWarning"));
    m_externalNotice->setWordWrap(true);
    auto* targetActions = new QHBoxLayout;
    connect(addButton(targetActions, this, "inspectorVisit", tr("Visit")), &QPushButton::clicked, this, [this] { visitLink(); });
    connect(addButton(targetActions, this, "inspectorRecheck", tr("Recheck")), &QPushButton::clicked, this, [this] { recheck(); });
    connect(addButton(targetActions, this, "inspectorMarkFixed", tr("Mark as Fixed")), &QPushButton::clicked, this,
        [this] { markAsFixedMenuItem(); });
    targetActions->addStretch();

    m_onPage = new LinkInspectorOnPageTable(this);
    m_onPage->setObjectName(QStringLiteral("inspectorOnPage"));
    m_onPage->setTableColumns(LinkInspectorContent::onPageColumns());
    // The window opens with the keyboard on the pages the link is on, not in an address field,
    // which would show the end of its address rather than its host.
    m_onPage->setFocus();
    connect(m_onPage, &QTableWidget::itemSelectionChanged, this, [this] {
        const auto rows = m_onPage->selectionModel()->selectedRows();
        lastClickedOnPage = rows.isEmpty() ? -1 : rows.front().row();
    });
    connect(m_onPage, &QTableWidget::cellDoubleClicked, this, [this](int row) {
        lastClickedOnPage = row;
        visitOnPage();
    });
    connect(m_onPage, &LinkInspectorOnPageTable::sortDescriptorsChanged, this, [this] { sortOnPage(); });
    columnManager = std::make_shared<LinkInspectorColumnManager>();
    columnManager->setTableView(m_onPage);
    auto* columnsButton = new ColumnManagerButton(columnManager, this);
    columnsButton->setObjectName(QStringLiteral("columnManager"));
    auto* occurrenceActions = new QHBoxLayout;
    occurrenceActions->addWidget(columnsButton);
    occurrenceActions->addStretch();
    connect(addButton(occurrenceActions, this, "inspectorVisitOnPage", tr("Visit Page")), &QPushButton::clicked, this,
        [this] { visitOnPage(); });
    connect(addButton(occurrenceActions, this, "inspectorCopyOnPage", tr("Copy Page URL")), &QPushButton::clicked, this,
        [this] { copyOnPage(); });
    connect(addButton(occurrenceActions, this, "inspectorLocate", tr("Locate")), &QPushButton::clicked, this, [this] { locate(); });
    connect(addButton(occurrenceActions, this, "inspectorHighlight", tr("Highlight")), &QPushButton::clicked, this,
        [this] { highlight(); });
    auto* linkLayout = new QVBoxLayout(linkPage);
    linkLayout->addLayout(form);
    linkLayout->addWidget(m_externalNotice);
    m_scanGoneNotice = new QLabel(tr("The scan that found this link is gone: its facts stay as they were."), this);
    m_scanGoneNotice->setObjectName(QStringLiteral("inspectorScanGoneNotice"));
    m_scanGoneNotice->setWordWrap(true);
    m_scanGoneNotice->hide();
    linkLayout->addWidget(m_scanGoneNotice);
    linkLayout->addLayout(targetActions);
    linkLayout->addWidget(new QLabel(tr("Appears on"), linkPage));
    linkLayout->addWidget(m_onPage, 1);
    linkLayout->addLayout(occurrenceActions);
    m_tabs->addTab(linkPage, tr("Link"));

    // The target as a page of the site.
    auto* targetPage = new QWidget(m_tabs);
    targetPage->setObjectName(QStringLiteral("target"));
    auto* targetForm = new QFormLayout;
    auto* title = new QLineEdit(this);
    title->setObjectName(QStringLiteral("inspectorPageTitle"));
    title->setReadOnly(true);
    showFieldTextFromStart(*title);
    m_pageTitleLabel = new QLabel(tr("Title"), this);
    m_pageTitleLabel->setObjectName(QStringLiteral("inspectorPageTitleLabel"));
    targetForm->addRow(m_pageTitleLabel, title);
    m_badNotice = new QLabel(tr("This page has a problem: see its status and redirects."), this);
    m_badNotice->setObjectName(QStringLiteral("inspectorPagePropertiesWarning"));
    m_badNotice->setWordWrap(true);
    auto* inspectRow = new QHBoxLayout;
    m_inspectTarget = addButton(inspectRow, this, "inspectorInspectTarget", tr("Inspect Page"));
    connect(m_inspectTarget, &QPushButton::clicked, this, [this] { inspectPage(); });
    inspectRow->addStretch();
    auto* targetLayout = new QVBoxLayout(targetPage);
    targetLayout->addLayout(targetForm);
    targetLayout->addWidget(m_badNotice);
    targetLayout->addLayout(inspectRow);
    targetLayout->addStretch();
    m_tabs->addTab(targetPage, tr("Target"));

    // The redirect chain.
    auto* redirectsPage = new QWidget(m_tabs);
    redirectsPage->setObjectName(QStringLiteral("redirectsTabViewItem"));
    m_redirectTable = new QTableWidget(0, 3, redirectsPage);
    m_redirectTable->setObjectName(QStringLiteral("redirectTable"));
    m_redirectTable->setHorizontalHeaderLabels({ tr("URL"), tr("Status"), tr("Reason") });
    m_redirectTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_redirectTable->verticalHeader()->hide();
    m_redirectTable->horizontalHeader()->setStretchLastSection(true);
    cutCellsInTheMiddle(*m_redirectTable);
    keepColumnsWithinView(*m_redirectTable, *m_redirectTable->horizontalHeader(), kFittedRows, kMaxColumnWidth);
    auto* copy = new QPushButton(tr("Copy"), redirectsPage);
    copy->setObjectName(QStringLiteral("copyRedirTableButton"));
    connect(copy, &QPushButton::clicked, this, [this] { copyRedirTableToClipboard(); });
    auto* redirectsLayout = new QVBoxLayout(redirectsPage);
    redirectsLayout->addWidget(m_redirectTable, 1);
    redirectsLayout->addWidget(copy, 0, Qt::AlignRight);
    m_tabs->addTab(redirectsPage, tr("Redirects"));

    // The HTML-validation warnings.
    auto* warningsPage = new QWidget(m_tabs);
    warningsPage->setObjectName(QStringLiteral("warnings"));
    m_warnings = new QPlainTextEdit(warningsPage);
    m_warnings->setObjectName(QStringLiteral("warningsTextView"));
    m_warnings->setReadOnly(true);
    auto* warningsLayout = new QVBoxLayout(warningsPage);
    warningsLayout->addWidget(m_warnings);
    m_tabs->addTab(warningsPage, tr("Warnings"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    resize(760, 560);
}

void CrwlLinkInspectorWindowController::windowDidLoad()
{
    if (!lcurl || lcurl->getAbsoluteStringDecoded().isEmpty()) {
        platform::logLine(1, lcurl ? QStringLiteral("link url is nil") : QStringLiteral("CrwlLinkInspectorWindowController lcurl is nil"));
        return;
    }
    if (!m_tabs)
        buildWidgets();
    const LinkInspectorContent::Visibility shown = fillFacts(/*update=*/false);

    m_onPage->setSortDescriptors({});
    columnManager->setUpColumns();
    lastClickedOnPage = -1;
    m_tabs->setCurrentIndex(tabToSelectOnLoad);
    if (!shown.targetTab)
        removeTab(QStringLiteral("target"));
    if (!platform::UserDefaults::standard().value(defaultsKey::htmlValidationEnabled))
        removeTab(QStringLiteral("warnings"));

    if (!observing) {
        observing = true;
        platform::NotificationCenter::defaultCenter().addObserver(
            this, Z12Ara::CrwlUrlStatusUpdated, [this](const platform::Notification&) { shouldUpdateStatus(); });
        platform::NotificationCenter::defaultCenter().addObserver(
            this, Z12Ara::CrwlPageLinksUpdated, [this](const platform::Notification&) { occurrencesChanged(); });
        // A scan's end, its stop and a clear (which leaves no record to follow) bring every field
        // up to date as well.
        for (const QString& name : { Z12Ara::CrwlCrawlDidFinish, Z12Ara::CrwlCrawlDidStop, Z12Ara::CrwlListenerShouldUpdateData })
            platform::NotificationCenter::defaultCenter().addObserver(
                this, name, [this](const platform::Notification&) { shouldUpdateStatus(); });
    }
    readOnPage();
    reloadOnPage();
}

void CrwlLinkInspectorWindowController::readOnPage()
{
    uniquedOnPageInstanceArray = LinkInspectorContent::onPageList(*lcurl);
    shownOccurrences = lcurl->waysInCount();
    onPageRows = LinkInspectorContent::onPageRows(uniquedOnPageInstanceArray, shownOccurrences);
}

LinkInspectorContent::Visibility CrwlLinkInspectorWindowController::fillFacts(bool update)
{
    const CrwlUrl& target = *lcurl;
    auto set = [this](const char* name, const QString& text) {
        auto* field = findChild<QLineEdit*>(QLatin1String(name));
        if (field->text() != text)
            field->setText(text);
    };
    set("inspectorLinkURL", target.getAbsoluteStringDecoded());
    set("inspectorStatus", target.getStatusDescription());
    set("inspectorRedir", target.getRedirDecoded());
    set("inspectorPageTitle", target.getPageTitleShown());
    set("inspectorTargetPageInboundCount", QString::number(target.waysInCount()));
    set("inspectorTargetMimeType", target.mimeType());
    set("inspectorTimeStamp", target.getFieldByName(QStringLiteral("timestamp")));
    if (!update || target.getResponsetime() > 0)
        set("inspectorResponseTime", responseTimeText(target.getResponsetime()));
    const qint64 redirects = target.getRedirectCount();
    m_redirectButton->setText(QString::number(redirects > 0 ? redirects : 0));
    m_redirectButton->setEnabled(redirects > 0);
    // Every status update of the scan comes here: the chain is laid out again only when it has
    // changed, so the widths the user gave its columns stay.
    const QList<QStringList> rows = LinkInspectorContent::redirectRows(target);
    if (!showsRows(*m_redirectTable, rows)) {
        m_redirectTable->setRowCount(int(rows.size()));
        for (int row = 0; row < rows.size(); ++row)
            for (int column = 0; column < 3; ++column)
                m_redirectTable->setItem(row, column, new QTableWidgetItem(rows[row][column]));
        fitColumnsToView(*m_redirectTable, *m_redirectTable->horizontalHeader(), kFittedRows, kMaxColumnWidth);
    }
    const QString warnings = target.getWarningsAsString();
    if (m_warnings->toPlainText() != warnings)
        m_warnings->setPlainText(warnings);
    const LinkInspectorContent::Visibility shown = LinkInspectorContent::visibility(target);
    m_externalNotice->setVisible(shown.externalNotice);
    m_badNotice->setVisible(shown.badTargetNotice);
    m_pageTitleLabel->setVisible(shown.pageParts);
    findChild<QLineEdit*>(QStringLiteral("inspectorPageTitle"))->setVisible(shown.pageParts);
    m_inspectTarget->setVisible(shown.pageParts);
    return shown;
}

void CrwlLinkInspectorWindowController::removeTab(const QString& identifier)
{
    auto* page = m_tabs->findChild<QWidget*>(identifier);
    const int index = page ? m_tabs->indexOf(page) : -1;
    if (index < 0) {
        platform::logLine(1, QStringLiteral("No tabviewitem named '%1'").arg(identifier));
        return;
    }
    m_tabs->removeTab(index);
}

void CrwlLinkInspectorWindowController::selectTabAtIndex(int index)
{
    tabToSelectOnLoad = index;
    if (m_tabs)
        m_tabs->setCurrentIndex(index);
}

void CrwlLinkInspectorWindowController::reloadOnPage()
{
    // The rows show the texts they were read with: the scan that made them may be gone.
    const bool displayPageTitle = platform::UserDefaults::standard().value(defaultsKey::displayPageTitle);
    const QList<TableColumn> columns = m_onPage->tableColumns();
    const QSignalBlocker quiet(m_onPage);
    m_onPage->clearSelection();
    m_onPage->setRowCount(int(onPageRows.size()));
    for (int row = 0; row < m_onPage->rowCount(); ++row)
        for (int column = 0; column < columns.size(); ++column)
            m_onPage->setItem(row, column,
                new QTableWidgetItem(LinkInspectorContent::onPageCell(
                    onPageRows[size_t(row)], columns[column].identifier, displayPageTitle)));
    m_onPage->fitColumns();
    lastClickedOnPage = -1;
}

void CrwlLinkInspectorWindowController::sortOnPage()
{
    const QList<SortDescriptor> descriptors = m_onPage->sortDescriptors();
    if (!descriptors.isEmpty()) {
        LinkInspectorContent::sortOnPage(onPageRows, LinkInspectorContent::sortKeyForColumn(descriptors.front().key),
            descriptors.front().ascending,
            platform::UserDefaults::standard().value(defaultsKey::displayPageTitle));
        // The occurrences the actions choose from follow the rows' order.
        uniquedOnPageInstanceArray.clear();
        for (const auto& row : onPageRows)
            uniquedOnPageInstanceArray.push_back(row.occurrence);
    }
    reloadOnPage();
}

const LinkInspectorContent::OnPageList& CrwlLinkInspectorWindowController::getOnPageInstanceArrayNoUnique()
{
    uniquedOnPageInstanceArray = lcurl ? lcurl->getWaysIn() : LinkInspectorContent::OnPageList();
    return uniquedOnPageInstanceArray;
}

const LinkInspectorContent::OnPageList& CrwlLinkInspectorWindowController::getUniquedOnPageInstanceArray()
{
    if (uniquedOnPageInstanceArray.empty() && lcurl)
        uniquedOnPageInstanceArray = LinkInspectorContent::onPageList(*lcurl);
    return uniquedOnPageInstanceArray;
}

std::shared_ptr<CrwlLinkInstance> CrwlLinkInspectorWindowController::getSelectedInstance() const
{
    if (lastClickedOnPage < 0) {
        platform::logLine(1, QStringLiteral("no last clicked page"));
        return nullptr;
    }
    if (lastClickedOnPage >= qint64(uniquedOnPageInstanceArray.size())) {
        platform::logLine(1, QStringLiteral("lastClickedOnPage >= [inboundInstances count]"));
        return nullptr;
    }
    return uniquedOnPageInstanceArray[size_t(lastClickedOnPage)];
}

void CrwlLinkInspectorWindowController::openInBrowser(const QString& url) const
{
    if (!urlOpener || url.isEmpty())
        return;
    const QString text = platform::Url::fromString(url) ? url
                                                        : QString::fromLatin1(QUrl::toPercentEncoding(url, "!$&'()*+,;=:@/"));
    urlOpener->openURL(QUrl(text));
}

bool CrwlLinkInspectorWindowController::followCurrentScan()
{
    if (!lcurl)
        return false;
    const auto hub = std::dynamic_pointer_cast<Z12Ara>(lcurl->getOwner());
    if (!hub)
        return true; // a record of no scan stays as it is
    const auto current = hub->currentRecordOf(lcurl);
    if (current != lcurl && current) {
        platform::logLine(1, QStringLiteral("link inspector follows the new scan's record of %1").arg(current->absoluteString()));
        lcurl = current;
        uniquedOnPageInstanceArray.clear();
        if (m_tabs)
            windowDidLoad();
    }
    offerActions(current != nullptr);
    return current != nullptr;
}

void CrwlLinkInspectorWindowController::offerActions(bool offered)
{
    scanGone = !offered;
    if (!m_tabs)
        return;
    m_scanGoneNotice->setVisible(scanGone);
    static const char* const kActions[] = { "inspectorVisit", "inspectorRecheck", "inspectorMarkFixed",
        "inspectorVisitOnPage", "inspectorCopyOnPage", "inspectorLocate", "inspectorHighlight", "inspectorInspectTarget" };
    for (const char* name : kActions) {
        if (auto* button = findChild<QPushButton*>(QLatin1String(name)))
            button->setEnabled(offered);
    }
}

void CrwlLinkInspectorWindowController::visitOnPage()
{
    if (!followCurrentScan())
        return;
    const auto occurrence = getSelectedInstance();
    if (const auto page = occurrence ? occurrence->parent() : nullptr)
        openInBrowser(page->absoluteString());
}

void CrwlLinkInspectorWindowController::copyOnPage()
{
    if (!followCurrentScan())
        return;
    const auto occurrence = getSelectedInstance();
    if (const auto page = occurrence ? occurrence->parent() : nullptr)
        (pasteboard ? *pasteboard : Pasteboard::general()).setString(page->absoluteString());
}

void CrwlLinkInspectorWindowController::locate()
{
    if (!followCurrentScan())
        return;
    const auto occurrence = getSelectedInstance();
    if (occurrence && occurrence->parent() && locateHandler)
        locateHandler(occurrence);
}

void CrwlLinkInspectorWindowController::highlight()
{
    if (!followCurrentScan())
        return;
    const auto occurrence = getSelectedInstance();
    if (!occurrence) {
        platform::logLine(1, QStringLiteral("unable to find instance"));
        return;
    }
    const auto page = occurrence->parent();
    if (!page || !lcurl) {
        platform::logLine(1, QStringLiteral("unable to find parent of instance"));
        return;
    }
    if (Z12Ara::isRedirectArrival(*occurrence)) {
        platform::logLine(0,
            QStringLiteral("%1 is reached through the redirect %2, not through a link on a page")
                .arg(lcurl->getAbsoluteStringDecoded(), page->getAbsoluteStringDecoded()));
        if (showRedirectHandler)
            showRedirectHandler(page);
        return;
    }
    platform::logLine(1, QStringLiteral("highlighting  %1 in %2").arg(lcurl->absoluteString(), page->absoluteString()));
    CrwlHighlighter::make(lcurl, page->absoluteString(), nullptr, urlOpener)->highlightBadLinksInSelectedPage();
}

void CrwlLinkInspectorWindowController::visitLink()
{
    if (followCurrentScan())
        openInBrowser(lcurl->absoluteString());
}

void CrwlLinkInspectorWindowController::inspectPage()
{
    if (followCurrentScan() && inspectPageHandler)
        inspectPageHandler(lcurl);
}

void CrwlLinkInspectorWindowController::recheck()
{
    if (!followCurrentScan())
        return;
    // Taking the target out of the counts posts a status change while it still has its old
    // status: the indicator starts after that.
    lcurl->recheckLink();
    if (m_indicator && (lcurl->getStatus() == CrwlStatus::notYetChecked || lcurl->getStatus() == CrwlStatus::requestSent)) {
        m_indicator->setRange(0, 0);
        m_indicator->show();
    }
}

void CrwlLinkInspectorWindowController::markAsFixedMenuItem()
{
    if (!followCurrentScan())
        return;
    if (markFixedHandler)
        markFixedHandler(lcurl);
    shouldUpdateStatus();
}

void CrwlLinkInspectorWindowController::selectRedirectTab()
{
    if (auto* page = m_tabs ? m_tabs->findChild<QWidget*>(QStringLiteral("redirectsTabViewItem")) : nullptr)
        m_tabs->setCurrentWidget(page);
}

void CrwlLinkInspectorWindowController::shouldUpdateStatus()
{
    if (!m_tabs || !followCurrentScan())
        return;
    // Every fact follows the record as the scan goes on (a record taken over early in a scan has
    // neither its time stamp nor all of its occurrences yet).
    fillFacts(/*update=*/true);
    // Ways in through a redirect count too: a rescan's redirect is often recorded after the
    // links to its page.
    if (lcurl->waysInCount() != shownOccurrences)
        occurrencesChanged();
    // A recheck first puts the target back in the queue, which is itself a status change: the
    // indicator goes on until the target has an answer.
    const qint64 status = lcurl->getStatus();
    if (status != CrwlStatus::notYetChecked && status != CrwlStatus::requestSent) {
        m_indicator->setRange(0, 1);
        m_indicator->hide();
    }
}

void CrwlLinkInspectorWindowController::occurrencesChanged()
{
    if (!m_tabs || !followCurrentScan())
        return;
    findChild<QLineEdit*>(QStringLiteral("inspectorTargetPageInboundCount"))
        ->setText(QString::number(lcurl->waysInCount()));
    readOnPage();
    lastClickedOnPage = -1;
    sortOnPage();
}

void CrwlLinkInspectorWindowController::stopObserving()
{
    if (observing) {
        observing = false;
        platform::NotificationCenter::defaultCenter().removeObserver(this);
    }
}

void CrwlLinkInspectorWindowController::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted()) {
        stopObserving();
        Q_EMIT windowClosed();
    }
}

bool CrwlLinkInspectorWindowController::copyRedirTableToClipboard()
{
    const QString text = lcurl ? LinkInspectorContent::redirectTableText(LinkInspectorContent::redirectRows(*lcurl)) : QString();
    if (text.isEmpty()) {
        QApplication::beep();
        return false;
    }
    (pasteboard ? *pasteboard : Pasteboard::general()).setString(text);
    return true;
}

} // namespace crawlmere::views
