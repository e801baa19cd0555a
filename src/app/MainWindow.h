// The main window: the toolbar, the tab view with the sites pane and the result views, and the
// standard menus.
#pragma once

#include <QKeySequence>
#include <QList>
#include <QMainWindow>
#include <QPointer>

#include <functional>

class QAction;
class QComboBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTreeView;
class QToolButton;
class QVBoxLayout;

namespace crawlmere::platform {
class UserDefaults;
}

namespace crawlmere::app {

enum class EditCommand;
class MainTabView;
class MainToolBar;
class StatusLineField;

/// Built in code as the interface file would be: every control carries its name as its
/// objectName. Tabs: "0" the sites and settings pane (`sitesTabViewItem`, filled through
/// `setSitesPane`), "1" by link (`byLinkView`), "2" by page (`byPageOutlineView`), "3" by status
/// (`byStatusOutlineView`), "4" flat (`flatView`). The six toolbar buttons (`badLinksButton`,
/// `csvButton`, `htmlButton`, `prefsButton`, `expandButton`, `collapseButton`) start disabled:
/// each is enabled when its action is connected (`connectButton`). The frame is kept in the
/// defaults under `kFrameKey`. Above the tabs: the search field (`searchField`) and the link-kind
/// pop-up (`filterButton`, each item's tag as its data); below them the status line (`status`),
/// the progress indicator (`progressIndicator`) and the Go button (`goButton`). The Scan menu
/// holds `stopMenuItem`, `continueMenuItem`, `clearMenuItem` and `badLinksMenuItem`; the File
/// menu the exports. Menu items start disabled until their owner enables them. Main thread only.
class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    static inline const QString kFrameKey = QStringLiteral("mainWindowFrame");

    /// `quitTitle` and `aboutTitle` are the menu titles the application delegate answers.
    MainWindow(platform::UserDefaults& defaults, const QString& quitTitle, const QString& aboutTitle,
        const QString& sitesTabLabel, QWidget* parent = nullptr);
    ~MainWindow() override;

    MainTabView* mainTabView() const { return m_tabs; }
    MainToolBar* mainToolBar() const { return m_toolbar; }
    /// The button whose object name is `name`, or null.
    QToolButton* button(const QString& name) const;
    /// Connects a toolbar button's press to `handler` and enables it.
    void connectButton(const QString& name, std::function<void()> handler);

    /// The sites and settings pane goes into tab "0" (a previous pane is deleted). The window
    /// takes `pane` over.
    void setSitesPane(QWidget* pane);
    QWidget* sitesPane() const { return m_sitesPane; }

    /// The one place result views are made: a `qfOutlineView` when `objectName` names an outline
    /// view ("…OutlineView"), else a `crawlmereTableView`, with uniform row heights, sortable
    /// headers and multiple selection.
    static QTreeView* makeResultView(const QString& objectName, QWidget* parent = nullptr);

    /// The window's frame from the defaults, or the first size centred on the screen.
    void restoreFrame();
    /// Keeps the window's frame in the defaults.
    void saveFrame();

    /// The menu action of "Customise Toolbar…", for the delegate to connect.
    QAction* customiseToolbarAction() const { return m_customiseToolbar; }
    /// A menu item by its object name, or null.
    QAction* menuItem(const QString& name) const;
    /// Where items go right after the menu item `name`: its menu, and the item they go before
    /// (null: the menu's end). No menu when there is no such item in a menu.
    struct MenuPlace {
        QMenu* menu = nullptr;
        QAction* before = nullptr;
    };
    MenuPlace placeAfterMenuItem(const QString& name) const;

    QLineEdit* searchField() const { return m_searchField; }
    QComboBox* linksFilter() const { return m_linksFilter; }
    StatusLineField* statusField() const { return m_status; }
    QProgressBar* progressIndicator() const { return m_progressIndicator; }
    QPushButton* goButton() const { return m_goButton; }
    /// The result view of tab "1" to "4" by its object name, or null.
    QTreeView* resultView(const QString& name) const;
    /// A tool bar row above the view of `viewName`, for the view's own buttons (Columns).
    void addViewButton(const QString& viewName, QWidget* button);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildButtons();
    void buildTabs(const QString& sitesTabLabel);
    void buildScanControls();
    void buildMenus(const QString& quitTitle, const QString& aboutTitle);
    QAction* addEditAction(QMenu* menu, const QString& title, EditCommand command, QKeySequence key);
    /// As the Edit menu opens: each item enabled only when the focused widget can do it.
    void updateEditItems();

    platform::UserDefaults& m_defaults;
    MainTabView* m_tabs = nullptr;
    MainToolBar* m_toolbar = nullptr;
    QWidget* m_sitesContainer = nullptr;
    QVBoxLayout* m_sitesLayout = nullptr;
    QPointer<QWidget> m_sitesPane;
    QList<QToolButton*> m_buttons;
    QAction* m_customiseToolbar = nullptr;
    QList<std::pair<EditCommand, QAction*>> m_editItems;
    QLineEdit* m_searchField = nullptr;
    QComboBox* m_linksFilter = nullptr;
    StatusLineField* m_status = nullptr;
    QProgressBar* m_progressIndicator = nullptr;
    QPushButton* m_goButton = nullptr;
};

} // namespace crawlmere::app
