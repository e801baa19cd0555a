// The main window's scan control wired to its controls, and the result tabs' helpers joined up.
#include "app/ResultsController.h"

#include "app/InsecureContentResults.h"
#include "app/LinkExportSheetOpener.h"
#include "app/MainTabView.h"
#include "app/MainWindow.h"
#include "app/ResultExports.h"
#include "app/ResultLinkViews.h"
#include "app/ResultViewExporter.h"
#include "app/SEOResults.h"
#include "app/SitemapResults.h"
#include "app/StatusLineField.h"
#include "archive/ArchiveExportController.h"
#include "engine/ShellServices.h"
#include "engine/Z12Ara.h"
#include "platform/Log.h"
#include "reports/SEOManager.h"
#include "settings/ConfigManager.h"
#include "views/CrwlByLinkDataSource.h"
#include "views/CrwlFlatViewDataSource.h"
#include "views/InspectorWindows.h"
#include "views/ResultTabs.h"
#include "views/ScanControl.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

namespace crawlmere::app {

using platform::logLine;
using views::ResultTabs;

ResultsController::ResultsController(MainWindow& window, std::shared_ptr<Z12Ara> hub,
    settings::ConfigManager& configManager, std::shared_ptr<ShellPrompts> prompts,
    std::shared_ptr<platform::UrlOpener> urlOpener, std::shared_ptr<platform::SavePanel> savePanel,
    platform::UserDefaults& defaults)
    : QObject(&window)
    , m_services { window, std::move(hub), configManager, std::move(prompts), std::move(urlOpener),
        std::move(savePanel), defaults }
    , m_linkViews(std::make_unique<ResultLinkViews>(m_services))
    , m_sitemap(std::make_unique<SitemapResults>(m_services))
    , m_insecure(std::make_unique<InsecureContentResults>(m_services))
    , m_seo(std::make_unique<SEOResults>(m_services.hub, defaults, m_services.urlOpener, m_services.savePanel.get()))
{
    ResultTabs::Services tabServices;
    tabServices.selectedTab = [this] { return m_services.window.mainTabView()->selectedIdentifier(); };
    tabServices.finishedOrPaused = [this] { return m_services.hub->crawlFinished() || m_services.hub->stopPressed(); };
    tabServices.setSearchControlsShown = [this](bool shown) {
        m_services.window.searchField()->setVisible(shown);
        m_services.window.linksFilter()->setVisible(shown);
    };
    tabServices.populateReports = [this] { populateReports(); };
    tabServices.populateSEOView = [this] { m_seo->populateIfNotPopulated(); };
    m_tabs = std::make_unique<ResultTabs>(m_services.defaults, std::move(tabServices));
    m_linkViews->joinTabs(*m_tabs);
    m_sitemap->buildTab(*m_tabs, m_linkViews->inspectors(), *m_seo);
    m_seo->setVisibilityObserver([this] { m_tabs->setAllTabsToNeedFiltering(true); });
    m_tabs->setReportDataSource(7, &m_seo->manager());
    m_seo->setOpener(&m_linkViews->inspectors());

    ScanControl::Services services;
    services.currentSettings = [this] { return m_services.configManager.settingsForScan(); };
    services.clearOtherDataSources = [this] {
        m_linkViews->clearForNewScan();
        m_sitemap->clear();
        m_insecure->clear();
        m_seo->clear();
    };
    services.forcePopulateAllDataSources = [this] { m_tabs->forcePopulateAllDataSources(); };
    services.resetSearch = [this] { m_services.window.searchField()->clear(); };
    services.selectedTab = [this] { return m_services.window.mainTabView()->selectedIdentifier(); };
    services.selectTab
        = [this](const QString& tab) { m_services.window.mainTabView()->selectTabViewItemWithIdentifier(tab); };
    services.setStatusForCurrentSite
        = [this](const QString& text) { m_services.configManager.setStatusForCurrentSite(text); };
    services.setNameIfStillDefault
        = [this](const QString& name) { m_services.configManager.setNameIfStillDefault(name); };
    services.filterLinkViews = [this] { m_tabs->setAllTabsToNeedFilteringAndFilterAppropriateDataSource(); };
    services.displayChanged = [this] { displayChanged(); };
    services.countsChanged = [this] { countsChanged(); };
    services.visitSupport = [this] {
        if (m_visitSupport)
            m_visitSupport();
    };
    services.supportAvailable = [this] { return m_supportAvailable && m_supportAvailable(); };
    m_scanControl
        = std::make_unique<ScanControl>(m_services.hub, m_linkViews->byLink(), m_services.prompts, std::move(services));

    m_services.configManager.setScanningPredicate([this] { return isScanning(); });
    m_services.configManager.setClearAllDataSources([this] { m_scanControl->clearAllDataSources(); });
    m_exports = std::make_unique<ResultExports>(m_services, *m_sitemap, *m_insecure, *m_seo,
        QList<const qfDataSource*> { &m_linkViews->byLink(), &m_linkViews->flat() });
    connectControls();
    displayChanged();
    new LinkExportSheetOpener(*this, m_services.window, m_services.prompts, m_services.defaults);
}

ResultsController::~ResultsController()
{
    m_services.configManager.setScanningPredicate({});
    m_services.configManager.setClearAllDataSources({});
    // Views and windows that outlive this object must not call back into its data sources; they
    // let go while everything they may reach is still here.
    m_linkViews->detachViews();
    m_insecure->deleteWindow();
    m_sitemap->deleteTab();
}

CrwlByLinkDataSource& ResultsController::byLinkDataSource() const { return m_linkViews->byLink(); }
views::CrwlByPageDataSource& ResultsController::byPageDataSource() const { return m_linkViews->byPage(); }
views::CrwlByStatusDataSource& ResultsController::byStatusDataSource() const { return m_linkViews->byStatus(); }
views::CrwlFlatViewDataSource& ResultsController::flatViewDataSource() const { return m_linkViews->flat(); }
std::shared_ptr<qfColumnManager> ResultsController::byLinkColumnManager() const { return m_linkViews->byLinkColumns(); }
std::shared_ptr<qfColumnManager> ResultsController::flatViewColumnManager() const { return m_linkViews->flatColumns(); }
views::InspectorWindows& ResultsController::inspectors() const { return m_linkViews->inspectors(); }
sitemap::SitemapManager& ResultsController::sitemapManager() const { return m_sitemap->manager(); }
reports::CrwlInsecureDataSource& ResultsController::insecureDataSource() const { return m_insecure->dataSource(); }
views::InsecureContentWindow* ResultsController::insecureWindow() const { return m_insecure->window(); }

void ResultsController::populateReports()
{
    m_sitemap->populate();
    m_insecure->populate();
}

void ResultsController::sitemapRulesDidChange() { m_sitemap->rulesDidChange(); }

void ResultsController::connectControls()
{
    QPushButton* go = m_services.window.goButton();
    connect(go, &QPushButton::clicked, this, [this, go] {
        if (go->text() == ScanControl::kGo && m_archiveExport && m_archiveExport->isRunning()) {
            logLine(1, QStringLiteral("go: the archive export is still running"));
            if (m_services.prompts)
                m_services.prompts->beep();
            return;
        }
        m_scanControl->go(go->text());
    });
    const auto item = [this](const char* name) { return m_services.window.menuItem(QLatin1String(name)); };
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
    if (auto* file = m_services.window.menuBar()->findChild<QMenu*>(QStringLiteral("fileMenu")))
        connect(file, &QMenu::aboutToShow, this, &ResultsController::updateExportMenuItems);
    connect(item("showInsecureListMenuItem"), &QAction::triggered, this, [this] { showInsecureList(); });
    connect(item("exportInsecureAsCSVMenuItem"), &QAction::triggered, this, [this] { exportInsecureAsCSVMenuItem(); });
    connect(
        item("exportInsecureAsHTMLMenuItem"), &QAction::triggered, this, [this] { exportInsecureAsHTMLMenuItem(); });
    connect(item("exportAsHTMLMenuItem"), &QAction::triggered, this, [this] { exportAsHTMLMenuItem(); });
    connect(item("exportAsCSVMenuItem"), &QAction::triggered, this, [this] { exportAsCSVMenuItem(); });
    connect(item("exportImageXMLMenuItem"), &QAction::triggered, this, [this] { exportImageXML(); });

    m_exports->addFileMenuItems();

    if (QToolButton* button = m_services.window.button(QStringLiteral("badLinksButton")))
        button->setCheckable(true);
    m_services.window.connectButton(
        QStringLiteral("badLinksButton"), [this] { m_scanControl->showHideGoodLinksMenuItem(); });
    m_services.window.connectButton(QStringLiteral("csvButton"), [this] { exportAsCSVMenuItem(); });
    m_services.window.connectButton(QStringLiteral("htmlButton"), [this] { exportAsHTMLMenuItem(); });

    m_services.window.connectButton(QStringLiteral("expandButton"),
        [this] { m_linkViews->expandOutline(m_services.window.mainTabView()->selectedIdentifier(), /*expand=*/true); });
    m_services.window.connectButton(QStringLiteral("collapseButton"), [this] {
        m_linkViews->expandOutline(m_services.window.mainTabView()->selectedIdentifier(), /*expand=*/false);
    });

    connect(m_services.window.searchField(), &QLineEdit::textChanged, this, [this](const QString& text) {
        m_linkViews->setSearchText(text);
        m_scanControl->filter();
    });
    QComboBox* kinds = m_services.window.linksFilter();
    connect(kinds, &QComboBox::currentIndexChanged, this, [this, kinds] {
        m_linkViews->setFilterTag(kinds->currentData().toInt());
        m_scanControl->filter();
    });
    connect(
        m_services.window.mainTabView(), &MainTabView::didSelectTabViewItem, this, [this](const QString& identifier) {
            if (m_followingTabs)
                m_tabs->tabViewDidSelectTabViewItem(identifier);
            updateExportMenuItems();
        });
}

void ResultsController::countsChanged()
{
    // The line always says the counts of the moment; the rest follows a little later.
    const ScanControl::Display& display = m_scanControl->display();
    m_services.window.statusField()->setText(display.statusText);
    m_services.window.statusField()->setProportion(display.proportion);
    if (!m_sinceDisplayShown.isValid() || m_sinceDisplayShown.elapsed() >= kCountsIntervalMs) {
        showDisplayBesideTheStatusLine();
        return;
    }
    if (m_countsPending)
        return;
    m_countsPending = true;
    // The status line said these counts already: what was shown on it since (where an archive
    // export went) stays.
    QTimer::singleShot(kCountsIntervalMs - m_sinceDisplayShown.elapsed(), this, [this] {
        m_countsPending = false;
        showDisplayBesideTheStatusLine();
    });
}

void ResultsController::displayChanged()
{
    const ScanControl::Display& display = m_scanControl->display();
    m_services.window.statusField()->setText(display.statusText);
    m_services.window.statusField()->setProportion(display.proportion);
    showDisplayBesideTheStatusLine();
}

void ResultsController::showDisplayBesideTheStatusLine()
{
    m_sinceDisplayShown.start();
    const ScanControl::Display& display = m_scanControl->display();
    QPushButton* go = m_services.window.goButton();
    go->setText(display.goTitle);
    go->setEnabled(display.goEnabled);
    m_services.window.progressIndicator()->setVisible(display.indicatorShown && display.indicatorAnimating);
    DisplayControls& controls = m_displayControls;
    if (!controls.found) {
        controls.found = true;
        controls.stop = m_services.window.menuItem(QStringLiteral("stopMenuItem"));
        controls.continueScan = m_services.window.menuItem(QStringLiteral("continueMenuItem"));
        controls.clear = m_services.window.menuItem(QStringLiteral("clearMenuItem"));
        controls.badLinks = m_services.window.menuItem(QStringLiteral("badLinksMenuItem"));
        controls.archiveProcess
            = m_services.window.findChild<QAbstractButton*>(QStringLiteral("exportEntireSite_Process"));
        controls.archivePreserve
            = m_services.window.findChild<QAbstractButton*>(QStringLiteral("exportEntireSite_Preserve"));
        controls.badLinksButton = m_services.window.button(QStringLiteral("badLinksButton"));
    }
    if (controls.stop)
        controls.stop->setEnabled(display.stopEnabled);
    if (controls.continueScan)
        controls.continueScan->setEnabled(display.continueEnabled);
    if (controls.clear)
        controls.clear->setEnabled(display.clearEnabled);
    if (controls.archiveProcess)
        controls.archiveProcess->setChecked(display.archiveProcess);
    if (controls.archivePreserve)
        controls.archivePreserve->setChecked(!display.archiveProcess);
    if (controls.badLinksButton)
        controls.badLinksButton->setChecked(display.badLinksOnly);
    if (controls.badLinks)
        controls.badLinks->setChecked(display.badLinksOnly);
    updateExportMenuItems();
    m_linkViews->keepOccurrencesInStep();
}

void ResultsController::setUpColumns() { m_linkViews->setUpColumns(); }

void ResultsController::startFollowingTabs()
{
    m_followingTabs = true;
    m_tabs->tabViewDidSelectTabViewItem(m_services.window.mainTabView()->selectedIdentifier());
}

void ResultsController::crawlWillContinue() { m_scanControl->crawlWillContinue(); }
void ResultsController::crawlDidStop() { m_scanControl->crawlDidStop(); }
void ResultsController::crawlDidFinish() { m_scanControl->crawlDidFinish(); }
void ResultsController::updateStatus(const CrwlUrl* changed) { m_scanControl->updateStatus(changed); }

bool ResultsController::isScanning() const { return m_services.window.goButton()->text() == ScanControl::kPause; }

// ===== Exports ===================================================================================

void ResultsController::updateExportMenuItems() { m_exports->updateExportMenuItems(); }
void ResultsController::exportAsHTMLMenuItem() { m_exports->exportAsHTMLMenuItem(); }
void ResultsController::exportAsCSVMenuItem() { m_exports->exportAsCSVMenuItem(); }
void ResultsController::exportSEOShortSummaryAsCSVMenuItem() { m_exports->exportSEOShortSummaryAsCSVMenuItem(); }
void ResultsController::printFrontView() { m_exports->printFrontView(); }
bool ResultsController::printFrontView(QPrinter& printer) { return m_exports->printFrontView(printer); }
TableExportSnapshot ResultsController::snapshotOf(views::ResultTreeView& view)
{
    return ResultViewExporter::snapshotOf(view);
}
void ResultsController::exportXMLMenuItem() { m_sitemap->exportXML(); }
void ResultsController::exportImageXML() { m_sitemap->exportImageXML(); }
bool ResultsController::getCheckImages() { return m_sitemap->getCheckImages(); }
void ResultsController::showInsecureList() { m_insecure->showWindow(m_tabs->viewsRequireRefresh()); }
void ResultsController::exportInsecureAsCSVMenuItem() { m_insecure->exportAs(TableExportJob::Format::Csv); }
void ResultsController::exportInsecureAsHTMLMenuItem() { m_insecure->exportAs(TableExportJob::Format::Html); }

} // namespace crawlmere::app
