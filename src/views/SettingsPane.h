// The settings pane of the site list: the selected site's bound controls, its crawl rules and
// its sitemap rules.
#pragma once

#include <QHash>
#include <QString>
#include <QVariantMap>
#include <QWidget>

class QLabel;
class QLineEdit;
class QSlider;
class QTabWidget;
class QTableWidget;
class QComboBox;
class QCheckBox;

namespace crawlmere::settings {
class ConfigManager;
struct BindingRow;
}

namespace crawlmere::views {

class RulesSheet;

/// Builds one control per key of the binding table (objectName = key, the language pop-up
/// "languages") and shows and stores the site through it; edits go to the ConfigManager as
/// control actions. Controls of features this build does not offer (spelling, PDF and DOCX
/// reading, JavaScript) are built hidden and stay bound, so their values survive. Main thread.
class SettingsPane final : public QWidget {
    Q_OBJECT
public:
    /// `manager` must outlive the pane. `dictionaryFolder` holds the hunspell dictionaries whose
    /// languages the language pop-up offers.
    explicit SettingsPane(
        settings::ConfigManager& manager, QWidget* parent = nullptr, const QString& dictionaryFolder = QString());
    ~SettingsPane() override;

    void showSettings(const QVariantMap& site);
    void copyInterfaceToSettings(QVariantMap& site) const;
    void setCheckbox(const QString& key, bool on);
    QString urlFieldText() const;
    void setUrlFieldText(const QString& text);
    void setStatusText(const QString& text);
    void reloadRuleTables();
    void selectOptionsTab();
    /// The control bound to `key` (nullptr for none).
    QWidget* control(const QString& key) const { return m_controls.value(key); }
    RulesSheet* rulesSheet() const { return m_rulesSheet; }

public Q_SLOTS:
    /// showBlacklistRulesWindow: opens the rules sheet for a new rule.
    void showBlacklistRulesWindow();
    /// editBlacklistRule: opens the rules sheet on the selected rule.
    void editBlacklistRule();
    void deleteBlacklistRule();

private:
    void buildOptions(QWidget* page, const QString& dictionaryFolder);
    void buildRules(QWidget* page);
    void buildSitemapRules(QWidget* page);
    void connectControl(const QString& key, QWidget* widget);
    void recalcDelay(bool fromSlider);
    /// The rate field is editable exactly while the rate-limit box is ticked.
    void followRateLimit();
    void sitemapCellChanged(int row, int column);
    /// What the control of `row` stores, or an invalid value when it stores nothing.
    QVariant storedValue(const settings::BindingRow& row) const;

    settings::ConfigManager& m_manager;
    QHash<QString, QWidget*> m_controls;
    /// What each control stored as the site was shown; a control still storing that is left out
    /// of the copy back.
    QVariantMap m_shownValues;
    QTabWidget* m_tabs = nullptr;
    QWidget* m_optionsTab = nullptr;
    QLabel* m_imagesDisabledInfo = nullptr;
    QLabel* m_threadsDisplay = nullptr;
    QTableWidget* m_rulesTable = nullptr;
    QTableWidget* m_sitemapTable = nullptr;
    QCheckBox* m_checkContent = nullptr;
    RulesSheet* m_rulesSheet = nullptr;
    int m_editedRow = -1;
    bool m_showing = false;
    bool m_urlEditing = false;
};

} // namespace crawlmere::views
