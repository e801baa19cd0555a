// The Sitemap rules tab of the settings pane: the table of per-URL priority and change rules.
#pragma once

#include <QWidget>

class QTableWidget;

namespace crawlmere::settings {
class ConfigManager;
}

namespace crawlmere::views {

/// Lists the ConfigManager's sitemap rules in an editable table; an edited cell goes to the
/// manager, and a value the rule does not take gives way to the rule's. Main thread.
class SitemapRulesTab final : public QWidget {
    Q_OBJECT
public:
    /// `manager` must outlive the tab.
    SitemapRulesTab(settings::ConfigManager& manager, QWidget* parent);
    ~SitemapRulesTab() override;

    /// Fills the table from the manager's rules, without taking the filling for edits.
    void reloadRules();

private:
    void sitemapCellChanged(int row, int column);

    settings::ConfigManager& m_manager;
    QTableWidget* m_sitemapTable = nullptr;
};

} // namespace crawlmere::views
