// The Rules tab of the settings pane: the crawl rules table, its buttons and the content box.
#pragma once

#include <QList>
#include <QWidget>

class QCheckBox;
class QPushButton;
class QTableWidget;

namespace crawlmere::settings {
class ConfigManager;
}

namespace crawlmere::views {

class RulesSheet;

/// Lists the ConfigManager's crawl rules and adds, edits and deletes them through a rules
/// sheet. The box beside the buttons is bound to the application default that applies the
/// follow rules to page content too. Main thread.
class CrawlRulesTab final : public QWidget {
    Q_OBJECT
public:
    /// `manager` must outlive the tab.
    CrawlRulesTab(settings::ConfigManager& manager, QWidget* parent);
    ~CrawlRulesTab() override;

    /// Takes `sheet` (owned elsewhere, outliving the tab) as the sheet rules are written in;
    /// set once, before any rule is added or edited.
    void setRulesSheet(RulesSheet* sheet);
    RulesSheet* rulesSheet() const { return m_rulesSheet; }
    /// Fills the table from the manager's rules and the box from its default.
    void reloadRules();

public Q_SLOTS:
    /// showBlacklistRulesWindow: opens the rules sheet for a new rule.
    void showBlacklistRulesWindow();
    /// editBlacklistRule: opens the rules sheet on the selected rule.
    void editBlacklistRule();
    void deleteBlacklistRule();

Q_SIGNALS:
    /// The content box was ticked or cleared by the user, after its default was stored.
    void checkContentToggled();

private:
    /// The selected rule's row, or -1 (the current row alone chooses nothing).
    int selectedRuleRow() const;
    void offerRuleActions();

    settings::ConfigManager& m_manager;
    QTableWidget* m_rulesTable = nullptr;
    /// Edit… and Delete.
    QList<QPushButton*> m_ruleActions;
    QCheckBox* m_checkContent = nullptr;
    RulesSheet* m_rulesSheet = nullptr;
    int m_editedRow = -1;
};

} // namespace crawlmere::views
