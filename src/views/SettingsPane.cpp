// The settings pane: the tab widget with its three tabs, and the calls handed on to them.
#include "views/SettingsPane.h"

#include "views/CrawlRulesTab.h"
#include "views/RulesSheet.h"
#include "views/SettingsOptionsTab.h"
#include "views/SitemapRulesTab.h"

#include <QTabWidget>
#include <QVBoxLayout>

namespace crawlmere::views {

SettingsPane::SettingsPane(settings::ConfigManager& manager, QWidget* parent, const QString& dictionaryFolder)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("settingsPane"));
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("configTabView"));
    m_optionsTab = new SettingsOptionsTab(manager, dictionaryFolder, m_tabs);
    m_tabs->addTab(m_optionsTab, tr("Settings"));
    m_rulesTab = new CrawlRulesTab(manager, m_tabs);
    // The box changes the scope the rules read with, so the tables are filled again.
    connect(m_rulesTab, &CrawlRulesTab::checkContentToggled, this, &SettingsPane::reloadRuleTables);
    m_tabs->addTab(m_rulesTab, tr("Rules"));
    m_sitemapTab = new SitemapRulesTab(manager, m_tabs);
    m_tabs->addTab(m_sitemapTab, tr("Sitemap rules"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_tabs);
    // The sheet belongs to the pane, as the window it opens over.
    m_rulesTab->setRulesSheet(new RulesSheet(this));
}

SettingsPane::~SettingsPane() = default;

void SettingsPane::showSettings(const QVariantMap& site) { m_optionsTab->showSettings(site); }

void SettingsPane::copyInterfaceToSettings(QVariantMap& site) { m_optionsTab->copyInterfaceToSettings(site); }

void SettingsPane::followApplicationSettings(const QVariantMap& site) { m_optionsTab->followApplicationSettings(site); }

void SettingsPane::setCheckbox(const QString& key, bool on) { m_optionsTab->setCheckbox(key, on); }

QString SettingsPane::urlFieldText() const { return m_optionsTab->urlFieldText(); }

void SettingsPane::setUrlFieldText(const QString& text) { m_optionsTab->setUrlFieldText(text); }

void SettingsPane::setStatusText(const QString& text) { m_optionsTab->setStatusText(text); }

void SettingsPane::reloadRuleTables()
{
    m_rulesTab->reloadRules();
    m_sitemapTab->reloadRules();
}

void SettingsPane::selectOptionsTab() { m_tabs->setCurrentWidget(m_optionsTab); }

QWidget* SettingsPane::control(const QString& key) const { return m_optionsTab->control(key); }

RulesSheet* SettingsPane::rulesSheet() const { return m_rulesTab->rulesSheet(); }

void SettingsPane::showBlacklistRulesWindow() { m_rulesTab->showBlacklistRulesWindow(); }

void SettingsPane::editBlacklistRule() { m_rulesTab->editBlacklistRule(); }

void SettingsPane::deleteBlacklistRule() { m_rulesTab->deleteBlacklistRule(); }

} // namespace crawlmere::views
