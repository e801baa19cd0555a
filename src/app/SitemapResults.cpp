// The Sitemap tab filled from the scanned site, with its upload sheet and XML exports.
#include "app/SitemapResults.h"

#include "engine/CrawlSettingKeys.h"
#include "platform/StoredValue.h"

#include "app/MainTabView.h"
#include "app/MainWindow.h"
#include "app/SEOResults.h"
#include "app/SitemapReportActions.h"
#include "engine/CrwlUrl.h"
#include "engine/ShellServices.h"
#include "engine/Z12Ara.h"
#include "platform/UrlOpener.h"
#include "platform/UserDefaults.h"
#include "settings/ConfigManager.h"
#include "sitemap/SitemapManager.h"
#include "views/InspectorWindows.h"
#include "views/ResultTabs.h"
#include "views/SEOTab.h"
#include "views/SitemapTab.h"
#include "views/crawlmereTableView.h"

#include <QComboBox>

namespace crawlmere::app {

namespace {

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

SitemapResults::SitemapResults(const ResultsServices& services)
    : m_services(services)
    , m_manager(std::make_unique<sitemap::SitemapManager>(services.defaults))
{
}

SitemapResults::~SitemapResults() { deleteTab(); }

void SitemapResults::deleteTab() { delete m_tab; }

void SitemapResults::buildTab(views::ResultTabs& tabs, views::InspectorWindows& inspectors, SEOResults& seo)
{
    // An edit of the sitemap table is a rule of the site the results belong to, whichever is selected.
    m_manager->setRuleStore([this](const QVariantMap& rule) {
        m_services.configManager.addThisSitemapRule(m_services.hub->getDataBelongsToID(), rule);
    });
    m_manager->setSavePanel(m_services.savePanel.get());
    m_tab = new views::SitemapTab(*m_manager);
    m_tab->setObjectName(QStringLiteral("sitemapTabViewItem"));
    m_tab->setInspectorOpener([&inspectors](const std::shared_ptr<CrwlUrl>& page) { inspectors.inspectPage(page); });
    m_tab->setUrlOpener([this](const QString& url) {
        if (m_services.urlOpener)
            m_services.urlOpener->openURL(QUrl(url));
    });
    // The SEO tables' highlight pop-up also tells the sitemap manager which images show.
    if (auto* highlight = seo.tab()->findChild<QComboBox*>(QStringLiteral("highlightSelector"))) {
        connect(highlight, &QComboBox::currentIndexChanged, this,
            [this, highlight] { m_manager->setHighlightTag(highlight->currentData().toInt()); });
    }
    m_services.window.mainTabView()->addTabViewItem(m_tab, tr("Sitemap"), QStringLiteral("5"));
    tabs.setReportDataSource(5, m_manager.get());
    // The upload sheet shows and stores the upload settings of the site the sitemap was made from,
    // whichever site is selected since.
    m_actions = std::make_unique<SitemapReportActions>(
        m_services.window, *m_manager,
        [this] { return scannedSiteSettings(*m_services.hub, m_services.configManager); },
        [this](const QVariantMap& values) {
            m_services.configManager.setSettingsValues(m_services.hub->getDataBelongsToID(), values);
        },
        m_services.prompts);
}

void SitemapResults::populate()
{
    // A copy: the site's settings may change while the sitemap is shown.
    m_manager->setCrawlSettings(scannedSiteSettings(*m_services.hub, m_services.configManager));
    m_manager->setCollection(m_services.hub->internalPagesCollection());
    m_manager->setImagesCollection(m_services.hub->imageCollection());
    if (m_tab)
        m_tab->reloadAllData();
}

void SitemapResults::rulesDidChange()
{
    m_manager->setCrawlSettings(scannedSiteSettings(*m_services.hub, m_services.configManager));
    m_manager->updateChangeFrequencies();
}

void SitemapResults::clear()
{
    if (m_tab)
        m_tab->clear();
}

bool SitemapResults::hasPages() const
{
    return m_services.hub->pageCount() > 0 && m_manager->getSitemapCollectionCount() > 0;
}

QTreeView* SitemapResults::tableView() const { return m_tab ? m_tab->sitemapTableView() : nullptr; }

void SitemapResults::exportXML() { m_manager->exportXML(); }

bool SitemapResults::getCheckImages() const
{
    if (crawlmere::platform::boolValue(m_services.configManager.currentSettings().value(crawlKey::checkImages)))
        return true;
    return m_services.defaults.value(defaultsKey::enableImageSitemap)
        || m_services.defaults.value(defaultsKey::includeimagesinsitemap);
}

void SitemapResults::exportImageXML()
{
    if (getCheckImages()) {
        m_manager->exportImageXML();
        return;
    }
    if (m_services.prompts)
        m_services.prompts->runModalAlert({ tr("Image sitemap not enabled"),
            tr("Before you can generate an image sitemap, the scan must be run with either 'Enable image xml "
               "sitemap' or 'Include images in sitemap' checked (Preferences > Sitemap) or 'Check images' in "
               "this site's configuration"),
            { tr("OK") } });
}

} // namespace crawlmere::app
