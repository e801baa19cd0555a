// The settings pane of the site list: the selected site's bound controls, its crawl rules and
// its sitemap rules.
#pragma once

#include <QString>
#include <QVariantMap>
#include <QWidget>

class QTabWidget;

namespace crawlmere::settings {
class ConfigManager;
}

namespace crawlmere::views {

class CrawlRulesTab;
class RulesSheet;
class SettingsOptionsTab;
class SitemapRulesTab;

/// The settings pane: a tab widget holding the Settings tab (the bound controls), the Rules tab
/// (the crawl rules) and the Sitemap rules tab, each its own class; the pane hands its calls on
/// to the tab they concern. Main thread.
class SettingsPane final : public QWidget {
    Q_OBJECT
public:
    /// `manager` must outlive the pane. `dictionaryFolder` holds the hunspell dictionaries whose
    /// languages the language pop-up offers.
    explicit SettingsPane(
        settings::ConfigManager& manager, QWidget* parent = nullptr, const QString& dictionaryFolder = QString());
    ~SettingsPane() override;

    void showSettings(const QVariantMap& site);
    void copyInterfaceToSettings(QVariantMap& site);
    void followApplicationSettings(const QVariantMap& site);
    void setCheckbox(const QString& key, bool on);
    QString urlFieldText() const;
    void setUrlFieldText(const QString& text);
    void setStatusText(const QString& text);
    void reloadRuleTables();
    void selectOptionsTab();
    /// The control bound to `key` (nullptr for none).
    QWidget* control(const QString& key) const;
    RulesSheet* rulesSheet() const;

public Q_SLOTS:
    /// showBlacklistRulesWindow: opens the rules sheet for a new rule.
    void showBlacklistRulesWindow();
    /// editBlacklistRule: opens the rules sheet on the selected rule.
    void editBlacklistRule();
    void deleteBlacklistRule();

private:
    QTabWidget* m_tabs = nullptr;
    // The tabs, owned by m_tabs.
    SettingsOptionsTab* m_optionsTab = nullptr;
    CrawlRulesTab* m_rulesTab = nullptr;
    SitemapRulesTab* m_sitemapTab = nullptr;
};

} // namespace crawlmere::views
