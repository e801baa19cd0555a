// The main window's scan control, result tabs and general exports wired to its widgets.
#include "app/ResultsController.h"

#include "app/LinkExportSheetOpener.h"
#include "app/MainTabView.h"
#include "app/MainToolBar.h"
#include "app/MainWindow.h"
#include "app/PrintToFile.h"
#include "app/ResultViewExporter.h"
#include "app/SEOResults.h"
#include "app/SitemapReportActions.h"
#include "app/StatusLineField.h"
#include "archive/ArchiveExportController.h"
#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "engine/ShellServices.h"
#include "engine/Z12Ara.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/SavePanel.h"
#include "platform/AtomicFile.h"
#include "platform/Url.h"
#include "platform/UrlOpener.h"
#include "platform/UserDefaults.h"
#include "reports/CrwlInsecureDataSource.h"
#include "reports/SEOManager.h"
#include "settings/ConfigManager.h"
#include "sitemap/SitemapManager.h"
#include "views/ByLinkColumnManager.h"
#include "views/ByPageColumnManager.h"
#include "views/ByStatusColumnManager.h"
#include "views/ColumnManagerButton.h"
#include "views/CrwlByLinkDataSource.h"
#include "views/CrwlByPageDataSource.h"
#include "views/CrwlByStatusDataSource.h"
#include "views/CrwlFlatViewDataSource.h"
#include "views/FlatViewColumnManager.h"
#include "views/InsecureContentWindow.h"
#include "views/InspectorWindows.h"
#include "views/LinkViewMenus.h"
#include "views/Pasteboard.h"
#include "views/ResultItemModel.h"
#include "views/ResultTabs.h"
#include "views/ResultViewDelegate.h"
#include "views/ResultViewPrinter.h"
#include "views/SEOTab.h"
#include "views/ScanControl.h"
#include "views/SitemapTab.h"
#include "views/TableExportSlicer.h"
#include "views/TableExportSnapshot.h"
#include "views/crawlmereTableView.h"
#include "views/qfOutlineView.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QPrintDialog>
#include <QPrinter>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>

#include <algorithm>

namespace crawlmere::app {

using platform::logLine;
using views::CrwlByPageDataSource;
using views::CrwlByStatusDataSource;
using views::CrwlFlatViewDataSource;
using views::LinkViewMenus;
using views::ResultTabs;
using views::ResultTreeView;

namespace {

const QString kByLinkView = QStringLiteral("byLinkView");

// The widths the by-page, by-status and flat views' columns start with, so that addresses and
// status texts read whole (the header's default cuts a URL after its host's first digits);
// columns not named keep the default.
void setStartingWidths(ResultTreeView& view)
{
    static const QHash<QString, int> widths = {
        { QStringLiteral("linkurldecoded"), 300 },
        { QStringLiteral("onpageurl"), 260 },
        { QStringLiteral("status"), 160 },
        { QStringLiteral("linkText"), 160 },
        { QStringLiteral("linktext"), 160 },
        { QStringLiteral("redir"), 240 },
    };
    const QList<TableColumn> columns = view.tableColumns();
    for (qsizetype column = 0; column < columns.size(); ++column) {
        if (const int width = widths.value(columns.at(column).identifier))
            view.setColumnWidth(int(column), width);
    }
}

/// The by-link table's delegate: row labels and Copy come from the data source.
class ByLinkViewDelegate final : public views::ResultViewDelegate {
public:
    ByLinkViewDelegate(CrwlByLinkDataSource& source, std::function<QList<qsizetype>()> selectedRows)
        : m_source(source)
        , m_selectedRows(std::move(selectedRows))
    {
    }
    std::optional<CrwlLabelColour> tableViewLabelColorForRow(ResultTreeView&, const QModelIndex& row) override
    {
        return m_source.labelColourForRow(row.row());
    }
    void copyURL(crawlmereTableView&) override { m_source.copyURL(m_selectedRows()); }

private:
    CrwlByLinkDataSource& m_source;
    std::function<QList<qsizetype>()> m_selectedRows;
};

/// The settings of the site the results belong to (the last scan's), whichever site is selected
/// now: its stored settings (with the sitemap rules edited since), else those the scan ran with.
QVariantMap scannedSiteSettings(const Z12Ara& hub, settings::ConfigManager& configManager)
{
    const QString siteID = hub.getDataBelongsToID();
    if (!siteID.isEmpty()) {
        if (siteID == configManager.getIDForCurrentSite())
            return configManager.currentSettings();
        if (auto site = configManager.settingsForID(siteID))
            return *site;
    }
    if (const auto& scanned = hub.getCrawlSettings())
        return scanned->snapshot();
    return configManager.currentSettings();
}

} // namespace

ResultsController::ResultsController(MainWindow& window, std::shared_ptr<Z12Ara> hub,
    settings::ConfigManager& configManager, std::shared_ptr<ShellPrompts> prompts,
    std::shared_ptr<platform::UrlOpener> urlOpener, std::shared_ptr<platform::SavePanel> savePanel,
    platform::UserDefaults& defaults)
    : QObject(&window)
    , m_window(window)
    , m_hub(std::move(hub))
    , m_configManager(configManager)
    , m_prompts(std::move(prompts))
    , m_urlOpener(std::move(urlOpener))
    , m_savePanel(std::move(savePanel))
    , m_defaults(defaults)
    , m_byLink(std::make_unique<CrwlByLinkDataSource>())
    , m_byPage(std::make_unique<CrwlByPageDataSource>())
    , m_byStatus(std::make_unique<CrwlByStatusDataSource>())
    , m_flat(std::make_unique<CrwlFlatViewDataSource>())
    , m_sitemap(std::make_unique<sitemap::SitemapManager>(defaults))
    , m_insecure(std::make_unique<reports::CrwlInsecureDataSource>())
    , m_seo(std::make_unique<SEOResults>(m_hub, defaults, m_urlOpener, m_savePanel.get()))
{
    buildByLinkView();

    ResultTabs::Services tabServices;
    tabServices.selectedTab = [this] { return m_window.mainTabView()->selectedIdentifier(); };
    tabServices.finishedOrPaused = [this] { return m_hub->crawlFinished() || m_hub->stopPressed(); };
    tabServices.setSearchControlsShown = [this](bool shown) {
        m_window.searchField()->setVisible(shown);
        m_window.linksFilter()->setVisible(shown);
    };
    tabServices.populateReports = [this] { populateReports(); };
    tabServices.populateSEOView = [this] { m_seo->populateIfNotPopulated(); };
    m_tabs = std::make_unique<ResultTabs>(m_defaults, std::move(tabServices));
    joinLinkViews();
    buildSitemapTab();
    m_seo->setVisibilityObserver([this] { m_tabs->setAllTabsToNeedFiltering(true); });
    m_tabs->setReportDataSource(7, &m_seo->manager());
    m_seo->setOpener(m_inspectors.get());

    ScanControl::Services services;
    services.currentSettings = [this] { return m_configManager.settingsForScan(); };
    services.clearOtherDataSources = [this] {
        if (m_byLinkView)
            m_byLinkView->clearSortDescriptors();
        m_byPage->clear();
        m_byStatus->clear();
        m_flat->clear();
        m_occurrences.clear();
        if (m_sitemapTab)
            m_sitemapTab->clear();
        m_insecure->clear();
        m_seo->clear();
    };
    services.forcePopulateAllDataSources = [this] { m_tabs->forcePopulateAllDataSources(); };
    services.resetSearch = [this] { m_window.searchField()->clear(); };
    services.selectedTab = [this] { return m_window.mainTabView()->selectedIdentifier(); };
    services.selectTab = [this](const QString& tab) { m_window.mainTabView()->selectTabViewItemWithIdentifier(tab); };
    services.setStatusForCurrentSite = [this](const QString& text) { m_configManager.setStatusForCurrentSite(text); };
    services.setNameIfStillDefault = [this](const QString& name) { m_configManager.setNameIfStillDefault(name); };
    services.filterLinkViews = [this] { m_tabs->setAllTabsToNeedFilteringAndFilterAppropriateDataSource(); };
    services.displayChanged = [this] { displayChanged(); };
    services.visitSupport = [this] {
        if (m_visitSupport)
            m_visitSupport();
    };
    services.supportAvailable = [this] { return m_supportAvailable && m_supportAvailable(); };
    m_scanControl = std::make_unique<ScanControl>(m_hub, *m_byLink, m_prompts, std::move(services));

    m_configManager.setScanningPredicate([this] { return isScanning(); });
    m_configManager.setClearAllDataSources([this] { m_scanControl->clearAllDataSources(); });
    connectControls();
    displayChanged();
    m_exporter = new ResultViewExporter(m_prompts, m_savePanel, m_window.statusField(), this);
    m_exporter->setSlicedSources({ m_byLink.get(), m_flat.get() });
    new LinkExportSheetOpener(*this, m_window, m_prompts, m_defaults);
}

std::shared_ptr<qfColumnManager> ResultsController::byLinkColumnManager() const { return m_byLinkColumns; }
std::shared_ptr<qfColumnManager> ResultsController::flatViewColumnManager() const { return m_flatColumns; }

ResultsController::~ResultsController()
{
    m_configManager.setScanningPredicate({});
    m_configManager.setClearAllDataSources({});
    if (m_byLinkView) {
        m_byLinkView->setViewDelegate(nullptr);
        m_byLinkView->setDataSource(nullptr);
    }
    // Views that outlive this object must not call back into its data sources.
    for (const QPointer<ResultTreeView>& view : std::as_const(m_otherLinkViews)) {
        if (view) {
            view->setViewDelegate(nullptr);
            view->setDataSource(nullptr);
            view->setOutlineDataSource(nullptr);
        }
    }
    delete m_insecureWindow;
    delete m_sitemapTab;
}

void ResultsController::buildByLinkView()
{
    m_byLinkView = qobject_cast<ResultTreeView*>(m_window.resultView(kByLinkView));
    Q_ASSERT(m_byLinkView);
    m_byLinkView->setTableColumns(CrwlByLinkDataSource::defaultColumns());
    // URL, status, redirect target; "Appears on" takes the rest.
    const int widths[] = { 380, 170, 240 };
    for (int column = 0; column < 3; ++column)
        m_byLinkView->setColumnWidth(column, widths[column]);
    m_byLinkView->setDataSource(m_byLink.get());
    m_byLink->setTableView(m_byLinkView);
    m_byLink->setCollectionOwner(m_hub.get());

    CrwlByLinkDataSource::Hooks hooks;
    hooks.toClip = [](const QString& text) { views::Pasteboard::general().setString(text); };
    hooks.openUrl = [this](const platform::Url& url) { m_urlOpener->openURL(QUrl(url.toString())); };
    m_inspectors = std::make_unique<views::InspectorWindows>(*m_byLink, m_urlOpener);
    hooks.inspect = [this](const std::shared_ptr<CrwlUrl>& record) { m_inspectors->inspect(record); };
    hooks.scrollRowToVisible
        = [this](qsizetype row) { m_byLinkView->scrollTo(m_byLinkView->model()->index(static_cast<int>(row), 0)); };
    m_byLink->setHooks(std::move(hooks));

    m_byLinkDelegate = std::make_unique<ByLinkViewDelegate>(*m_byLink, [this] { return selectedByLinkRows(); });
    m_byLinkView->setViewDelegate(m_byLinkDelegate.get());

    m_byLinkColumns = std::make_shared<ByLinkColumnManager>(&m_defaults);
    m_byLinkColumns->setTableView(m_byLinkView);
    keepColumnOrder(*m_byLinkView, m_byLinkColumns);
    auto* columns = new views::ColumnManagerButton(m_byLinkColumns);
    columns->setObjectName(QStringLiteral("byLinkColumnManagerButton"));
    m_window.addViewButton(kByLinkView, columns);

    // One row: copy, visit, inspect; several rows: copy. The application delegate adds the
    // recheck and mark-fixed items to both.
    auto* menu = new QMenu(m_byLinkView);
    auto* several = new QMenu(m_byLinkView);
    for (QMenu* target : { menu, several }) {
        target->addAction(tr("Copy URL"), this, [this] { m_byLink->copyURL(selectedByLinkRows()); });
        if (target == menu) {
            target->addAction(tr("Visit"), this, [this] { m_byLink->visitPageInOutlineView(selectedByLinkRows()); });
            QAction* inspect = target->addAction(
                tr("Inspect"), this, [this] { m_byLink->inspect(m_byLink->getSelectedItem(selectedByLinkRows())); });
            inspect->setObjectName(QStringLiteral("inspectMenuItem"));
        }
    }
    m_byLinkView->setMenu(menu);
    m_byLinkView->setTertiaryMenu(several);
    connect(
        m_byLinkView, &QAbstractItemView::doubleClicked, this, [this] { m_byLink->doubleClick(selectedByLinkRows()); });
}

void ResultsController::joinLinkViews()
{
    m_tabs->setLinkView(1,
        ResultTabs::linkViewOf(
            *m_byLink,
            [this] {
                m_byLink->clear();
                m_byLink->setCollection(m_hub->linksCollection());
            },
            [this] { return !m_hub->linksCollection().isEmpty(); }));

    auto* byPageView = qobject_cast<qfOutlineView*>(m_window.resultView(QStringLiteral("byPageOutlineView")));
    auto* byStatusView = qobject_cast<qfOutlineView*>(m_window.resultView(QStringLiteral("byStatusOutlineView")));
    auto* flatView = qobject_cast<crawlmereTableView*>(m_window.resultView(QStringLiteral("flatView")));
    Q_ASSERT(byPageView && byStatusView && flatView);
    LinkViewMenus::attachByPage(*byPageView, *m_byPage);
    LinkViewMenus::attachByStatus(*byStatusView, *m_byStatus);
    LinkViewMenus::attachFlat(*flatView, *m_flat);
    for (ResultTreeView* view : { static_cast<ResultTreeView*>(byPageView), static_cast<ResultTreeView*>(byStatusView),
             static_cast<ResultTreeView*>(flatView) })
        setStartingWidths(*view);
    m_byPage->setOpener(m_inspectors.get());
    m_byStatus->setOpener(m_inspectors.get());
    m_flat->setOpener(m_inspectors.get());
    m_otherLinkViews = { byPageView, byStatusView, flatView };

    m_byPageColumns = std::make_shared<ByPageColumnManager>(&m_defaults);
    m_byPageColumns->setTableView(byPageView);
    m_byStatusColumns = std::make_shared<ByStatusColumnManager>(&m_defaults);
    m_byStatusColumns->setTableView(byStatusView);
    m_flatColumns = std::make_shared<FlatViewColumnManager>(&m_defaults);
    m_flatColumns->setTableView(flatView);
    const std::pair<QTreeView*, std::shared_ptr<qfColumnManager>> buttons[] = {
        { byPageView, m_byPageColumns },
        { byStatusView, m_byStatusColumns },
        { flatView, m_flatColumns },
    };
    for (const auto& [view, manager] : buttons) {
        keepColumnOrder(*view, manager);
        auto* columns = new views::ColumnManagerButton(manager);
        columns->setObjectName(view->objectName().remove(QStringLiteral("OutlineView")).remove(QStringLiteral("View"))
            + QStringLiteral("ColumnManagerButton"));
        m_window.addViewButton(view->objectName(), columns);
    }

    const auto hasOccurrences = [this] { return !m_hub->instanceCollection().empty(); };
    ResultTabs::LinkView byPage = ResultTabs::linkViewOf(
        *m_byPage,
        [this] {
            m_byPage->clear();
            m_byPage->setInternalPageArray(m_hub->internalPagesCollection());
        },
        [this] { return !m_hub->internalPagesCollection().empty(); });
    byPage.filterReloads = true;
    m_tabs->setLinkView(2, std::move(byPage));
    m_tabs->setLinkView(3,
        ResultTabs::linkViewOf(
            *m_byStatus,
            [this] {
                m_byStatus->clear();
                m_byStatus->setCollection(sharedOccurrences());
            },
            hasOccurrences));
    m_tabs->setLinkView(4,
        ResultTabs::linkViewOf(
            *m_flat,
            [this] {
                m_flat->clear();
                m_flat->setCollection(sharedOccurrences());
            },
            hasOccurrences));
}

QList<qfDataSource::Item> ResultsController::sharedOccurrences()
{
    // The hub's list grows at its end while a scan runs: when the kept list is still its
    // beginning, only the new occurrences are added; otherwise (a new scan, an occurrence
    // taken out before the kept end) it is made again. The list is shared, not copied.
    const auto& occurrences = m_hub->instanceCollection();
    const qsizetype kept = m_occurrences.size();
    const bool beginning = kept <= qsizetype(occurrences.size())
        && (kept == 0
            || (m_occurrences.constFirst() == occurrences.front()
                && m_occurrences.constLast() == occurrences[size_t(kept - 1)]));
    if (!beginning)
        m_occurrences.clear();
    if (m_occurrences.size() < qsizetype(occurrences.size())) {
        // Room for all at once only when starting afresh: reserving the exact size for each
        // added slice would move the whole list every time.
        if (m_occurrences.isEmpty())
            m_occurrences.reserve(qsizetype(occurrences.size()));
        for (auto it = occurrences.begin() + m_occurrences.size(); it != occurrences.end(); ++it)
            m_occurrences.append(qfDataSource::Item(*it));
    }
    return m_occurrences;
}

void ResultsController::keepOccurrencesInStep()
{
    // A slice at a time while no view holds the list (adding to a held list would copy it), so
    // the finish, which hands the list to the flat and by-status views, does not make it whole.
    constexpr qsizetype kSlice = 20'000;
    const qsizetype behind = qsizetype(m_hub->instanceCollection().size()) - m_occurrences.size();
    if (behind >= kSlice && (m_occurrences.isEmpty() || m_occurrences.isDetached()))
        sharedOccurrences();
}

void ResultsController::expandFrontOutline(bool expand)
{
    const QString tab = m_window.mainTabView()->selectedIdentifier();
    if (tab == QLatin1String("2"))
        expand ? m_byPage->expandAllButton() : m_byPage->collapseAllButton();
    else if (tab == QLatin1String("3"))
        expand ? m_byStatus->expandAllButton() : m_byStatus->collapseAllButton();
}

void ResultsController::buildSitemapTab()
{
    // An edit of the sitemap table is a rule of the site the results belong to, whichever is selected.
    m_sitemap->setRuleStore([this](const QVariantMap& rule) {
        m_configManager.addThisSitemapRule(m_hub->getDataBelongsToID(), rule);
    });
    m_sitemap->setSavePanel(m_savePanel.get());
    m_sitemapTab = new views::SitemapTab(*m_sitemap);
    m_sitemapTab->setObjectName(QStringLiteral("sitemapTabViewItem"));
    m_sitemapTab->setInspectorOpener([this](const std::shared_ptr<CrwlUrl>& page) { m_inspectors->inspectPage(page); });
    m_sitemapTab->setUrlOpener([this](const QString& url) {
        if (m_urlOpener)
            m_urlOpener->openURL(QUrl(url));
    });
    // The SEO tables' highlight pop-up also tells the sitemap manager which images show.
    if (auto* highlight = m_seo->tab()->findChild<QComboBox*>(QStringLiteral("highlightSelector"))) {
        connect(highlight, &QComboBox::currentIndexChanged, this,
            [this, highlight] { m_sitemap->setHighlightTag(highlight->currentData().toInt()); });
    }
    m_window.mainTabView()->addTabViewItem(m_sitemapTab, tr("Sitemap"), QStringLiteral("5"));
    m_tabs->setReportDataSource(5, m_sitemap.get());
    // The upload sheet shows and stores the upload settings of the site the sitemap was made from,
    // whichever site is selected since.
    m_sitemapActions = std::make_unique<SitemapReportActions>(
        m_window, *m_sitemap, [this] { return scannedSiteSettings(*m_hub, m_configManager); },
        [this](const QVariantMap& values) { m_configManager.setSettingsValues(m_hub->getDataBelongsToID(), values); },
        m_prompts);
}

void ResultsController::populateReports()
{
    // A copy: the site's settings may change while the sitemap is shown.
    m_sitemap->setCrawlSettings(scannedSiteSettings(*m_hub, m_configManager));
    m_sitemap->setCollection(m_hub->internalPagesCollection());
    m_sitemap->setImagesCollection(m_hub->imageCollection());
    if (m_sitemapTab)
        m_sitemapTab->reloadAllData();
    m_insecure->clear();
    m_insecure->setCollection(m_hub->insecureList());
}

views::InsecureContentWindow* ResultsController::insecureWindow() const { return m_insecureWindow; }

void ResultsController::showInsecureList()
{
    m_insecure->populateIfNotPopulated(m_hub->insecureList(), m_tabs->viewsRequireRefresh());
    if (!m_insecureWindow)
        m_insecureWindow = new views::InsecureContentWindow(*m_insecure, &m_window);
    m_insecureWindow->showWindow();
}

QString ResultsController::askForFile(const QString& fileType) const
{
    platform::SavePanelRequest request;
    request.allowedFileTypes = { fileType };
    request.kind = QStringLiteral("insecure-content");
    const std::optional<QString> path = m_savePanel ? m_savePanel->runModal(request) : std::nullopt;
    return path.value_or(QString());
}

void ResultsController::exportInsecureAsCSVMenuItem() { exportInsecure(TableExportJob::Format::Csv); }
void ResultsController::exportInsecureAsHTMLMenuItem() { exportInsecure(TableExportJob::Format::Html); }

void ResultsController::exportInsecure(TableExportJob::Format format)
{
    if (m_insecure->getCount() == 0)
        return;
    const auto ask = [this](const QString& type) { return askForFile(type); };
    const auto beep = [this] {
        if (m_prompts)
            m_prompts->beep();
    };
    const auto failed = [this](const QString& path, const QString& reason) {
        if (m_savePanel)
            m_savePanel->showSaveFailure(path, reason);
    };
    if (format == TableExportJob::Format::Csv)
        m_insecure->exportInsecureAsFlatCSV(ask, beep, failed);
    else
        m_insecure->exportInsecureAsFlatHTML(ask, beep, failed);
}

void ResultsController::sitemapRulesDidChange()
{
    m_sitemap->setCrawlSettings(scannedSiteSettings(*m_hub, m_configManager));
    m_sitemap->updateChangeFrequencies();
}

QList<qsizetype> ResultsController::selectedByLinkRows() const
{
    QList<qsizetype> rows;
    for (const QModelIndex& index : m_byLinkView->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void ResultsController::connectControls()
{
    QPushButton* go = m_window.goButton();
    connect(go, &QPushButton::clicked, this, [this, go] {
        if (go->text() == ScanControl::kGo && m_archiveExport && m_archiveExport->isRunning()) {
            logLine(1, QStringLiteral("go: the archive export is still running"));
            if (m_prompts)
                m_prompts->beep();
            return;
        }
        m_scanControl->go(go->text());
    });
    const auto item = [this](const char* name) { return m_window.menuItem(QLatin1String(name)); };
    connect(item("stopMenuItem"), &QAction::triggered, this, [this] { m_scanControl->stop(); });
    connect(item("continueMenuItem"), &QAction::triggered, this, [this] { m_scanControl->continueCrawl(); });
    connect(item("clearMenuItem"), &QAction::triggered, this, [this] { m_scanControl->clear(); });
    QAction* badLinks = item("badLinksMenuItem");
    badLinks->setEnabled(true);
    connect(badLinks, &QAction::triggered, this, [this] { m_scanControl->showHideGoodLinksMenuItem(); });
    connect(item("exportXMLMenuItem"), &QAction::triggered, this, [this] { exportXMLMenuItem(); });
    item("showInsecureListMenuItem")->setEnabled(true);
    // The items that would do nothing without results are enabled as the File menu opens and
    // as the tab changes (their keys work without the menu).
    if (auto* file = m_window.menuBar()->findChild<QMenu*>(QStringLiteral("fileMenu")))
        connect(file, &QMenu::aboutToShow, this, &ResultsController::updateExportMenuItems);
    connect(item("showInsecureListMenuItem"), &QAction::triggered, this, [this] { showInsecureList(); });
    connect(item("exportInsecureAsCSVMenuItem"), &QAction::triggered, this, [this] { exportInsecureAsCSVMenuItem(); });
    connect(
        item("exportInsecureAsHTMLMenuItem"), &QAction::triggered, this, [this] { exportInsecureAsHTMLMenuItem(); });
    connect(item("exportAsHTMLMenuItem"), &QAction::triggered, this, [this] { exportAsHTMLMenuItem(); });
    connect(item("exportAsCSVMenuItem"), &QAction::triggered, this, [this] { exportAsCSVMenuItem(); });
    connect(item("exportImageXMLMenuItem"), &QAction::triggered, this, [this] { exportImageXML(); });

    addFileMenuItems();

    if (QToolButton* button = m_window.button(QStringLiteral("badLinksButton")))
        button->setCheckable(true);
    m_window.connectButton(QStringLiteral("badLinksButton"), [this] { m_scanControl->showHideGoodLinksMenuItem(); });
    m_window.connectButton(QStringLiteral("csvButton"), [this] { exportAsCSVMenuItem(); });
    m_window.connectButton(QStringLiteral("htmlButton"), [this] { exportAsHTMLMenuItem(); });

    m_window.connectButton(QStringLiteral("expandButton"), [this] { expandFrontOutline(true); });
    m_window.connectButton(QStringLiteral("collapseButton"), [this] { expandFrontOutline(false); });

    connect(m_window.searchField(), &QLineEdit::textChanged, this, [this](const QString& text) {
        m_byLink->setSearchText(text);
        m_byPage->setSearchText(text);
        m_byStatus->setSearchText(text);
        m_flat->setSearchText(text);
        m_scanControl->filter();
    });
    QComboBox* kinds = m_window.linksFilter();
    connect(kinds, &QComboBox::currentIndexChanged, this, [this, kinds] {
        const int tag = kinds->currentData().toInt();
        m_byLink->setLinksFilterTag(tag);
        m_byPage->setFilterTag(tag);
        m_byStatus->setFilterTag(tag);
        m_scanControl->filter();
    });
    connect(m_window.mainTabView(), &MainTabView::didSelectTabViewItem, this, [this](const QString& identifier) {
        if (m_followingTabs)
            m_tabs->tabViewDidSelectTabViewItem(identifier);
        updateExportMenuItems();
    });
}

void ResultsController::addFileMenuItems()
{
    QAction* after = m_window.menuItem(QStringLiteral("exportInsecureAsHTMLMenuItem"));
    auto* file = after ? qobject_cast<QMenu*>(after->parent()) : nullptr;
    if (!file)
        return;
    const QList<QAction*> actions = file->actions();
    const qsizetype next = actions.indexOf(after) + 1;
    QAction* before = next < actions.size() ? actions.at(next) : nullptr;
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

void ResultsController::updateExportMenuItems()
{
    const bool sitemap = !m_hub->internalPagesCollection().empty() && m_sitemap->getSitemapCollectionCount() > 0;
    const bool insecure = m_insecure->getCount() > 0;
    const std::pair<const char*, bool> items[] = {
        { "exportAsHTMLMenuItem", tabHasRows(exportedTab(TableExportJob::Format::Html)) },
        { "exportAsCSVMenuItem", tabHasRows(exportedTab(TableExportJob::Format::Csv)) },
        { "exportXMLMenuItem", sitemap },
        { "exportSitemapAsCSVMenuItem", sitemap },
        { "exportSitemapAsHTMLMenuItem", sitemap },
        { "exportAsDotMenuItem", sitemap },
        { "exportImageXMLMenuItem", sitemap || !getCheckImages() },
        { "exportInsecureAsCSVMenuItem", insecure },
        { "exportInsecureAsHTMLMenuItem", insecure },
        { "printMenuItem", frontPrintableView() != nullptr },
    };
    for (const auto& [name, enabled] : items) {
        if (QAction* item = m_window.menuItem(QLatin1String(name)))
            item->setEnabled(enabled);
    }
}

void ResultsController::displayChanged()
{
    const ScanControl::Display& display = m_scanControl->display();
    QPushButton* go = m_window.goButton();
    go->setText(display.goTitle);
    go->setEnabled(display.goEnabled);
    m_window.progressIndicator()->setVisible(display.indicatorShown && display.indicatorAnimating);
    DisplayControls& controls = m_displayControls;
    if (!controls.found) {
        controls.found = true;
        controls.stop = m_window.menuItem(QStringLiteral("stopMenuItem"));
        controls.continueScan = m_window.menuItem(QStringLiteral("continueMenuItem"));
        controls.clear = m_window.menuItem(QStringLiteral("clearMenuItem"));
        controls.badLinks = m_window.menuItem(QStringLiteral("badLinksMenuItem"));
        controls.archiveProcess = m_window.findChild<QAbstractButton*>(QStringLiteral("exportEntireSite_Process"));
        controls.archivePreserve = m_window.findChild<QAbstractButton*>(QStringLiteral("exportEntireSite_Preserve"));
        controls.badLinksButton = m_window.button(QStringLiteral("badLinksButton"));
    }
    if (controls.stop)
        controls.stop->setEnabled(display.stopEnabled);
    if (controls.continueScan)
        controls.continueScan->setEnabled(display.continueEnabled);
    if (controls.clear)
        controls.clear->setEnabled(display.clearEnabled);
    m_window.statusField()->setText(display.statusText);
    m_window.statusField()->setProportion(display.proportion);
    if (controls.archiveProcess)
        controls.archiveProcess->setChecked(display.archiveProcess);
    if (controls.archivePreserve)
        controls.archivePreserve->setChecked(!display.archiveProcess);
    if (controls.badLinksButton)
        controls.badLinksButton->setChecked(display.badLinksOnly);
    if (controls.badLinks)
        controls.badLinks->setChecked(display.badLinksOnly);
    updateExportMenuItems();
    keepOccurrencesInStep();
}

void ResultsController::keepColumnOrder(QTreeView& view, const std::shared_ptr<qfColumnManager>& manager)
{
    // A column dragged to another place is kept with the rest of the view's column choice.
    connect(view.header(), &QHeaderView::sectionMoved, this, [weak = std::weak_ptr<qfColumnManager>(manager)] {
        if (const auto columns = weak.lock())
            columns->columnsMoved();
    });
}

void ResultsController::setUpColumns()
{
    m_flatColumns->setUpColumns();
    m_byLinkColumns->setUpColumns();
    m_byPageColumns->setUpColumns();
    m_byStatusColumns->setUpColumns();
}

void ResultsController::startFollowingTabs()
{
    m_followingTabs = true;
    m_tabs->tabViewDidSelectTabViewItem(m_window.mainTabView()->selectedIdentifier());
}

void ResultsController::crawlWillContinue() { m_scanControl->crawlWillContinue(); }
void ResultsController::crawlDidStop() { m_scanControl->crawlDidStop(); }
void ResultsController::crawlDidFinish() { m_scanControl->crawlDidFinish(); }
void ResultsController::updateStatus(const CrwlUrl* changed) { m_scanControl->updateStatus(changed); }

bool ResultsController::isScanning() const { return m_window.goButton()->text() == ScanControl::kPause; }

// ===== Exports ===================================================================================

void ResultsController::post(const QString& name) { platform::NotificationCenter::defaultCenter().post(name); }

void ResultsController::exportAsHTMLMenuItem()
{
    exportTab(exportedTab(TableExportJob::Format::Html), TableExportJob::Format::Html);
}

void ResultsController::exportAsCSVMenuItem()
{
    logLine(0, QStringLiteral("exportAsCSVMenuItem: "));
    exportTab(exportedTab(TableExportJob::Format::Csv), TableExportJob::Format::Csv);
}

int ResultsController::exportedTab(TableExportJob::Format format) const
{
    const int front = m_window.mainTabView()->selectedIdentifier().toInt();
    if (format == TableExportJob::Format::Html && front != 0)
        return front;
    const QVariant last = m_defaults.objectForKey(ResultTabs::kLastTabSelectedKey);
    return last.isValid() ? static_cast<int>(platform::UserDefaults::integerValue(last)) : 1;
}

bool ResultsController::tabHasRows(int tab) const
{
    if (tab >= 1 && tab <= 4)
        return !m_hub->linksCollection().isEmpty();
    if (tab == 5)
        return m_sitemapTab && m_sitemapTab->sitemapTableView()->model()
            && m_sitemapTab->sitemapTableView()->model()->rowCount() > 0;
    return false;
}

void ResultsController::exportTab(int tab, TableExportJob::Format format)
{
    static const char* const kViews[]
        = { nullptr, "byLinkView", "byPageOutlineView", "byStatusOutlineView", "flatView" };
    switch (tab) {
    case 1:
    case 2:
    case 3:
    case 4:
        // Posted once the export has been written or given up, on the main thread.
        m_exporter->exportView(m_window.resultView(QLatin1String(kViews[tab])), format,
            [this] { post(exportTriggeredByPreviewerDidFinish); });
        return;
    case 5:
        // The sitemap table's rows as shown; no notification.
        if (m_sitemapTab)
            exportView(m_sitemapTab->sitemapTableView(), format);
        return;
    case 7:
        // The SEO manager's own exports; no notification.
        format == TableExportJob::Format::Csv ? m_seo->exportSEOAsCSV() : m_seo->exportSEOAsHTML();
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
    post(exportTriggeredByPreviewerDidFinish);
}

void ResultsController::exportView(QTreeView* view, TableExportJob::Format format)
{
    m_exporter->exportView(view, format, {});
}

TableExportSnapshot ResultsController::snapshotOf(ResultTreeView& view)
{
    views::ResultItemModel& model = view.itemModel();
    if (!model.outlineDataSource()) {
        if (qfDataSource* source = model.dataSource())
            return TableExportSnapshot::fromTable(*source, view);
        return {};
    }
    // An outline: the rows as shown, children only below expanded rows.
    const std::unique_ptr<TableExportSlicer> slicer(TableExportSlicer::forOutline(view));
    return slicer->readAll();
}

void ResultsController::exportXMLMenuItem() { m_sitemap->exportXML(); }

void ResultsController::exportSEOShortSummaryAsCSVMenuItem()
{
    const QString path = askForFile(QStringLiteral("csv"));
    if (path.isEmpty())
        return;
    const QString location = QUrl::fromLocalFile(path).toString();
    if (QString error; platform::saveTextAtomically(path, m_hub->SEOShortSummaryAsCSV(), &error)) {
        logLine(2, QStringLiteral("Successful saving data to %1\n").arg(location));
    } else {
        logLine(1, QStringLiteral("Unsuccessful exporting SEO Summary to %1\n").arg(location));
        if (m_savePanel)
            m_savePanel->showSaveFailure(path, error);
    }
}

void ResultsController::printFrontView()
{
    if (!frontPrintableView()) {
        if (m_prompts)
            m_prompts->beep();
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, &m_window);
    checkPrintTargetOnAccept(dialog, printRefused());
    if (dialog.exec() == QDialog::Accepted)
        printFrontView(printer);
}

std::function<void(const QString& path, const QString& reason)> ResultsController::printRefused() const
{
    return [panel = m_savePanel](const QString& path, const QString& reason) {
        if (panel)
            panel->showSaveFailure(path, reason);
    };
}

bool ResultsController::printFrontView(QPrinter& printer)
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

QTreeView* ResultsController::frontPrintableView() const
{
    static const char* const kViews[]
        = { nullptr, "byLinkView", "byPageOutlineView", "byStatusOutlineView", "flatView" };
    const int tab = m_window.mainTabView()->selectedIdentifier().toInt();
    if (tab >= 1 && tab <= 4)
        return m_window.resultView(QLatin1String(kViews[tab]));
    if (tab == 5 && m_sitemapTab)
        return m_sitemapTab->sitemapTableView();
    return nullptr;
}

bool ResultsController::getCheckImages()
{
    if (m_configManager.currentSettings().value(QStringLiteral("checkImages")).toBool())
        return true;
    return m_defaults.boolForKey(QStringLiteral("enableImageSitemap"))
        || m_defaults.boolForKey(QStringLiteral("includeimagesinsitemap"));
}

void ResultsController::exportImageXML()
{
    if (getCheckImages()) {
        m_sitemap->exportImageXML();
        return;
    }
    if (m_prompts)
        m_prompts->runModalAlert({ tr("Image sitemap not enabled"),
            tr("Before you can generate an image sitemap, the scan must be run with either 'Enable image xml "
               "sitemap' or 'Include images in sitemap' checked (Preferences > Sitemap) or 'Check images' in "
               "this site's configuration"),
            { tr("OK") } });
}

} // namespace crawlmere::app
