// The sites pane of the main window's first tab: the site list with its search field, folder
// panel and menus, beside the selected site's settings.
#pragma once

#include "settings/ConfigView.h"

#include <QWidget>

#include <functional>
#include <optional>

class QActionGroup;
class QLineEdit;
class QListWidget;
class QMenu;
class QSplitter;
class QTreeWidget;
class QTreeWidgetItem;

namespace crawlmere::settings {
class ConfigManager;
}

namespace crawlmere::views {

class SettingsPane;

/// Asks the user for a file to save to, limited to `extension` ("lcsettings", "lcsbatch"), and
/// calls `done` with the chosen path on the main thread; a cancelled panel never calls it.
/// `done` answers why the file could not be saved (null when it was), which the panel shows.
using SavePanelRunner
    = std::function<void(const QString& extension, std::function<QString(const QString& path)> done)>;

/// The view of a ConfigManager: attaches itself at construction and detaches when destroyed
/// (the manager must outlive the pane). The main window embeds it, hands in a save panel and
/// forwards its menu actions to the public slots. Main thread only.
class SitesPane final : public QWidget, public settings::ConfigView {
    Q_OBJECT
public:
    explicit SitesPane(
        settings::ConfigManager& manager, QWidget* parent = nullptr, const QString& dictionaryFolder = QString());
    ~SitesPane() override;

    SettingsPane* settingsPane() const { return m_settings; }
    QTreeWidget* siteList() const { return m_list; }
    /// The sort menu (by name, starting URL, date), for the main window's menu bar; the site
    /// list's context menu offers it too.
    QMenu* sortMenu() const { return m_sortMenu; }
    void setSavePanel(SavePanelRunner runner) { m_savePanel = std::move(runner); }

    // ConfigView
    void showSettings(const QVariantMap& site) override;
    void copyInterfaceToSettings(QVariantMap& site) override;
    void followApplicationSettings(const QVariantMap& site) override;
    void setMainWindowTitle(const QString& title) override;
    void bringWindowToFront() override;
    QString urlFieldText() const override;
    void setUrlFieldText(const QString& text) override;
    void setStatusText(const QString& text) override;
    void setCheckbox(const QString& key, bool on) override;
    void reloadSiteList() override;
    void reloadSiteRow(int row) override;
    void selectSiteRow(int row) override;
    void reloadRuleTables() override;
    void reloadFolderTable() override;
    void populateFolderMenus(const QStringList& folders) override;
    void markSelectedSort(const QString& key) override;
    void selectOptionsTab() override;

public Q_SLOTS:
    void newConfig();
    void duplicateSelectedConfig();
    void deleteURL();
    void returnToDefaultSettings();
    void exportSelectedSettings();
    void exportAllSettings();
    void visitSelected();
    void toggleFolderView();

    /// The site list's name column gets the width its longest name needs; the starting URL
    /// takes the rest, and gives up its room first when the list is narrow.
    void fitSiteColumns();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* buildFolderPanel();
    void showSiteMenu(const QPoint& position);
    /// Rename and Delete for the clicked named folder.
    void showFolderMenu(const QPoint& position);
    void createNewFolderAndMoveSelected();
    void createNewFolder();
    /// The new-folder sheet; calls `done` with the name on OK.
    void askFolderName(std::function<void(const QString&)> done);
    void folderChosen();

    settings::ConfigManager& m_manager;
    SettingsPane* m_settings = nullptr;
    QSplitter* m_splitter = nullptr;
    QLineEdit* m_search = nullptr;
    QTreeWidget* m_list = nullptr;
    QWidget* m_folderPanel = nullptr;
    QListWidget* m_folders = nullptr;
    QMenu* m_sortMenu = nullptr;
    QMenu* m_folderMenu = nullptr;
    QActionGroup* m_sortGroup = nullptr;
    SavePanelRunner m_savePanel;
    int m_clickedRow = -1;
    bool m_reloading = false;
    // A name typed into the selected row, handed to the manager once its editor has closed.
    std::optional<QString> m_typedName;
    bool m_splitPlaced = false;
};

} // namespace crawlmere::views
