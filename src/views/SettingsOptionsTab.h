// The Settings tab of the settings pane: one bound control per key of the binding table.
#pragma once

#include <QHash>
#include <QScrollArea>
#include <QSet>
#include <QString>
#include <QVariantMap>

class QLabel;

namespace crawlmere::settings {
class ConfigManager;
struct BindingRow;
}

namespace crawlmere::views {

/// Builds one control per key of the binding table (objectName = key, the language pop-up
/// "languages") and shows and stores the site through it; edits go to the ConfigManager as
/// control actions. Controls of features this build does not offer (spelling, PDF and DOCX
/// reading, JavaScript) are built hidden and stay bound, so their values survive. The tab
/// scrolls its controls. Main thread.
class SettingsOptionsTab final : public QScrollArea {
    Q_OBJECT
public:
    /// `manager` must outlive the tab. `dictionaryFolder` holds the hunspell dictionaries whose
    /// languages the language pop-up offers; empty, the system's folder.
    SettingsOptionsTab(settings::ConfigManager& manager, const QString& dictionaryFolder, QWidget* parent);
    ~SettingsOptionsTab() override;

    /// Sets every control to what a scan of `site` uses (its own value, else the application's
    /// or the default), without taking the setting for an edit.
    void showSettings(const QVariantMap& site);
    /// Stores into `site` what the controls hold; a control still holding what it showed
    /// stores nothing, and one set back gives the site the value it was shown with. Remembers
    /// what it stored and which text fields were emptied, for the next copy.
    void copyInterfaceToSettings(QVariantMap& site);
    /// Shows again, in each control the user left as it was shown, the value that `site` (the
    /// shown site as last stored) takes from the application when it holds none of its own.
    void followApplicationSettings(const QVariantMap& site);
    /// Ticks or clears the box of `key` (none for a key without a box) without a control action.
    void setCheckbox(const QString& key, bool on);
    /// The starting URL field's text.
    QString urlFieldText() const;
    void setUrlFieldText(const QString& text);
    /// Sets the read-only "Last scan:" field.
    void setStatusText(const QString& text);
    /// The control bound to `key` (nullptr for none).
    QWidget* control(const QString& key) const { return m_controls.value(key); }

private:
    void buildOptions(QWidget* page, const QString& dictionaryFolder);
    void connectControl(const QString& key, QWidget* widget);
    void recalcDelay(bool fromSlider);
    /// After the number field of `key` is edited: shows the value the scan will use, the
    /// field's own when it stores one, else the site's (or the application's or the default).
    void showScanNumber(const QString& key);
    /// After a text field of `key` is left empty: the site holds no value of its own; the field
    /// shows the one its scan uses (the application's or the default).
    void showScanText(const QString& key);
    /// Sets the control of `row` to `value` as the scan reads it.
    void showValue(const settings::BindingRow& row, const QVariant& value);
    /// `site` without the keys whose text fields were emptied since it was shown.
    QVariantMap siteAsEdited(const QVariantMap& site) const;
    /// The rate field is editable exactly while the rate-limit box is ticked.
    void followRateLimit();
    /// What the control of `row` stores, or an invalid value when it stores nothing.
    QVariant storedValue(const settings::BindingRow& row) const;

    settings::ConfigManager& m_manager;
    QHash<QString, QWidget*> m_controls;
    /// What each control stored as the site was shown; a control still storing that is left out
    /// of the copy back.
    QVariantMap m_shownValues;
    /// The site as it was shown, and what copies back have stored since: a control set back to
    /// what it showed gives the site back the value it held then, where a copy had changed it.
    QVariantMap m_shownSite;
    QVariantMap m_copiedValues;
    /// Text fields emptied since the site was shown: the site gives up its own value.
    QSet<QString> m_clearedKeys;
    QLabel* m_imagesDisabledInfo = nullptr;
    QLabel* m_threadsDisplay = nullptr;
    bool m_showing = false;
    bool m_urlEditing = false;
};

} // namespace crawlmere::views
