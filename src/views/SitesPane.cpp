// The sites pane: the site list, its search field, folder panel and menus, and the settings pane.
#include "views/SitesPane.h"

#include "engine/CrawlSettingKeys.h"
#include "platform/UserDefaults.h"
#include "settings/ConfigManager.h"
#include "views/SettingsPane.h"
#include "views/detail/ButtonRow.h"

#include <QAbstractItemDelegate>
#include <QAction>
#include <QActionGroup>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFont>
#include <QFontMetrics>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace crawlmere::views {

using settings::ConfigManager;

namespace {

/// Neither side of the split gets narrower than this.
constexpr int kMinimumPaneWidth = 150;
/// The starting URL column keeps at least this much of a list (or half of a narrow one): room for
/// the scheme, the host and the end of the address around the ellipsis.
constexpr int kMinimumUrlWidth = 140;

/// The tool tip of a site's row: its whole name and starting URL.
QString siteToolTip(const QString& name, const QString& url) { return name + QLatin1Char('\n') + url; }

} // namespace

SitesPane::SitesPane(ConfigManager& manager, QWidget* parent, const QString& dictionaryFolder)
    : QWidget(parent)
    , m_manager(manager)
{
    setObjectName(QStringLiteral("sitesPane"));
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("splitView"));
    m_splitter->setChildrenCollapsible(false);

    auto* left = new QWidget(m_splitter);
    left->setObjectName(QStringLiteral("splitViewSubViewLeft"));
    left->setMinimumWidth(kMinimumPaneWidth);
    m_search = new QLineEdit(left);
    m_search->setObjectName(QStringLiteral("searchField"));
    m_search->setPlaceholderText(tr("Search"));
    m_search->setClearButtonEnabled(true);
    connect(m_search, &QLineEdit::textChanged, this, [this](const QString& text) { m_manager.filter(text); });

    m_list = new QTreeWidget(left);
    m_list->setObjectName(QStringLiteral("websitesTableView"));
    m_list->setColumnCount(2);
    m_list->setHeaderHidden(true);
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    // Both columns are sized by `fitSiteColumns` as the list's width changes.
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionResizeMode(QHeaderView::Fixed);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Names that begin alike differ at their ends: a cut name keeps both.
    m_list->setTextElideMode(Qt::ElideMiddle);
    m_list->viewport()->installEventFilter(this);
    connect(m_list, &QTreeWidget::customContextMenuRequested, this, &SitesPane::showSiteMenu);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (m_reloading)
            return;
        const auto selected = m_list->selectedItems();
        m_manager.tableViewSelectionDidChange(selected.isEmpty() ? -1 : m_list->indexOfTopLevelItem(selected.first()));
    });
    connect(m_list, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
        if (m_reloading || column != 0 || m_list->indexOfTopLevelItem(item) != m_manager.selectedRow())
            return;
        m_typedName = item->text(0);
    });
    // The new name rebuilds the list, which must wait until the view has closed the editor that
    // typed it: the view's own connection to the delegate comes first, so it has by now.
    connect(m_list->itemDelegate(), &QAbstractItemDelegate::closeEditor, this, [this] {
        if (auto name = std::exchange(m_typedName, std::nullopt))
            m_manager.userFinishedEditingWebsiteName(*name);
    });

    m_folderPanel = buildFolderPanel();
    m_folderPanel->setParent(left);
    m_folderPanel->hide();

    auto* add = new QPushButton(QStringLiteral("+"), left);
    add->setObjectName(QStringLiteral("newConfigButton"));
    connect(add, &QPushButton::clicked, this, &SitesPane::newConfig);
    auto* remove = new QPushButton(QStringLiteral("-"), left);
    remove->setObjectName(QStringLiteral("deleteConfigButton"));
    connect(remove, &QPushButton::clicked, this, &SitesPane::deleteURL);
    auto* folders = new QPushButton(tr("Folders"), left);
    folders->setObjectName(QStringLiteral("toggleFolderViewButton"));
    connect(folders, &QPushButton::clicked, this, &SitesPane::toggleFolderView);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(m_search);
    leftLayout->addWidget(m_list);
    leftLayout->addWidget(m_folderPanel);
    leftLayout->addLayout(detail::buttonRow({ add, remove }, { folders }));

    m_settings = new SettingsPane(manager, m_splitter, dictionaryFolder);
    m_settings->setMinimumWidth(kMinimumPaneWidth);
    m_splitter->addWidget(left);
    m_splitter->addWidget(m_settings);
    m_splitter->setStretchFactor(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_splitter);

    m_folderMenu = new QMenu(tr("Move to Folder"), this);
    m_folderMenu->setObjectName(QStringLiteral("folderMenu"));
    m_sortMenu = new QMenu(tr("Sort Sites"), this);
    m_sortMenu->setObjectName(QStringLiteral("websitesSortMenu"));
    m_sortMenu->menuAction()->setObjectName(QStringLiteral("websitesSortMenuItem"));
    m_sortGroup = new QActionGroup(this);
    const std::pair<const char*, QString> sorts[] = { { "websitesSortByNameMenuItem", tr("By Name") },
        { "websitesSortByStartingUrlMenuItem", tr("By Starting URL") },
        { "websitesSortByDateMenuItem", tr("By Date") } };
    for (const auto& [name, title] : sorts) {
        QAction* action = m_sortMenu->addAction(title);
        action->setObjectName(QLatin1String(name));
        action->setCheckable(true);
        m_sortGroup->addAction(action);
    }
    const auto actions = m_sortMenu->actions();
    connect(actions.at(0), &QAction::triggered, this, [this] { m_manager.setSortingByName(); });
    connect(actions.at(1), &QAction::triggered, this, [this] { m_manager.setSortingByURL(); });
    connect(actions.at(2), &QAction::triggered, this, [this] { m_manager.setSortingByDate(); });

    m_manager.setView(this);
}

SitesPane::~SitesPane() { m_manager.setView(nullptr); }

QWidget* SitesPane::buildFolderPanel()
{
    auto* panel = new QWidget;
    panel->setObjectName(QStringLiteral("folderNSView"));
    m_folders = new QListWidget(panel);
    m_folders->setObjectName(QStringLiteral("folderTableView"));
    // A click opens a folder and closes the panel; F2 (on the folder the arrows reach, the open
    // one first) or the context menu renames a named one.
    m_folders->setEditTriggers(QAbstractItemView::EditKeyPressed);
    m_folders->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_folders, &QListWidget::customContextMenuRequested, this, &SitesPane::showFolderMenu);
    connect(m_folders, &QListWidget::itemClicked, this, [this] { folderChosen(); });
    connect(m_folders, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        if (m_reloading)
            return;
        // A refused name goes back to the folder's own (after this edit has finished).
        if (!m_manager.userFinishedEditingFolderName(m_folders->row(item), item->text()))
            QMetaObject::invokeMethod(this, &SitesPane::reloadFolderTable, Qt::QueuedConnection);
    });
    auto* create = new QPushButton(tr("New Folder..."), panel);
    create->setObjectName(QStringLiteral("createNewFolderButton"));
    connect(create, &QPushButton::clicked, this, &SitesPane::createNewFolder);
    auto* remove = new QPushButton(tr("Delete Folder"), panel);
    remove->setObjectName(QStringLiteral("deleteFolderButton"));
    connect(remove, &QPushButton::clicked, this, [this] { m_manager.deleteSelectedFolder(m_folders->currentRow()); });
    // "All sites" and "Default folder" (the first two rows) cannot be deleted.
    remove->setEnabled(false);
    connect(m_folders, &QListWidget::currentRowChanged, remove, [remove](int row) { remove->setEnabled(row >= 2); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(create);
    buttons->addWidget(remove);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_folders);
    layout->addLayout(buttons);
    return panel;
}

// ----- ConfigView ----------------------------------------------------------------------------

void SitesPane::showSettings(const QVariantMap& site) { m_settings->showSettings(site); }
void SitesPane::copyInterfaceToSettings(QVariantMap& site) { m_settings->copyInterfaceToSettings(site); }
void SitesPane::followApplicationSettings(const QVariantMap& site) { m_settings->followApplicationSettings(site); }

void SitesPane::setMainWindowTitle(const QString& title)
{
    QWidget* top = window();
    top->setWindowTitle(title);
}

void SitesPane::bringWindowToFront()
{
    window()->raise();
    window()->activateWindow();
}

QString SitesPane::urlFieldText() const { return m_settings->urlFieldText(); }
void SitesPane::setUrlFieldText(const QString& text) { m_settings->setUrlFieldText(text); }
void SitesPane::setStatusText(const QString& text) { m_settings->setStatusText(text); }
void SitesPane::setCheckbox(const QString& key, bool on) { m_settings->setCheckbox(key, on); }
void SitesPane::reloadRuleTables() { m_settings->reloadRuleTables(); }
void SitesPane::selectOptionsTab() { m_settings->selectOptionsTab(); }

void SitesPane::reloadSiteList()
{
    m_reloading = true;
    m_list->clear();
    const qint64 iconSize = m_manager.defaults().objectForKey(defaultsKey::sitesTableIconSize).isValid()
        ? m_manager.defaults().value(defaultsKey::sitesTableIconSize)
        : 1;
    const int height = iconSize == 0 ? 40 : iconSize == 2 ? 128 : 50;
    // Thumbnails are drawn in their display proportions, inside the row.
    m_list->setIconSize(iconSize == 0 ? QSize() : QSize((height - 8) * 196 / 128, height - 8));
    const auto& rows = m_manager.rows();
    for (const auto& row : rows) {
        auto* item = new QTreeWidgetItem(m_list);
        if (row.isHeader()) {
            item->setText(0, row.name.isEmpty() ? tr("Default folder") : row.name);
            QFont bold = item->font(0);
            bold.setBold(true);
            item->setFont(0, bold);
            item->setFirstColumnSpanned(true);
            item->setSizeHint(0, QSize(0, 45));
        } else {
            item->setText(0, row.name);
            item->setText(1, row.startingUrl);
            item->setToolTip(0, siteToolTip(row.name, row.startingUrl));
            item->setToolTip(1, item->toolTip(0));
            if (iconSize > 0 && !row.image.isNull())
                item->setIcon(0, QIcon(QPixmap::fromImage(row.image)));
            item->setFlags(item->flags() | Qt::ItemIsEditable);
            item->setSizeHint(0, QSize(0, height));
        }
    }
    m_reloading = false;
    fitSiteColumns();
}

void SitesPane::fitSiteColumns()
{
    const int available = m_list->viewport()->width();
    int needed = 0;
    int urlNeeded = 0;
    const QFontMetrics metrics(m_list->font());
    const int margins = 2 * (m_list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_list) + 1) + 8;
    for (int row = 0; row < m_list->topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = m_list->topLevelItem(row);
        // Folder headers span both columns and need no room of their own.
        if (item->isFirstColumnSpanned())
            continue;
        const int icon = item->icon(0).isNull() ? 0 : m_list->iconSize().width() + 4;
        needed = std::max(needed, metrics.horizontalAdvance(item->text(0)) + icon + margins);
        urlNeeded = std::max(urlNeeded, metrics.horizontalAdvance(item->text(1)) + margins);
    }
    const int urlKept = std::min({ urlNeeded, kMinimumUrlWidth, available / 2 });
    const int name = std::max(0, std::min(needed, available - urlKept));
    m_list->header()->resizeSection(0, name);
    m_list->header()->resizeSection(1, std::max(0, available - name));
}

void SitesPane::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // Shown the first time: the site list takes a third of the width, room for a name and the
    // start of its URL; later the user's division stays.
    if (!m_splitPlaced && isVisible() && width() > 3 * kMinimumPaneWidth) {
        m_splitPlaced = true;
        m_splitter->setSizes({ width() / 3, width() - width() / 3 });
    }
}

bool SitesPane::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_list->viewport() && event->type() == QEvent::Resize)
        fitSiteColumns();
    return QWidget::eventFilter(watched, event);
}

void SitesPane::reloadSiteRow(int row)
{
    if (auto* item = m_list->topLevelItem(row)) {
        m_reloading = true;
        item->setText(1, m_manager.rows().value(row).startingUrl);
        item->setToolTip(0, siteToolTip(item->text(0), item->text(1)));
        item->setToolTip(1, item->toolTip(0));
        m_reloading = false;
    }
}

void SitesPane::selectSiteRow(int row)
{
    m_reloading = true;
    m_list->clearSelection();
    if (auto* item = m_list->topLevelItem(row)) {
        m_list->setCurrentItem(item);
        item->setSelected(true);
    }
    m_reloading = false;
}

void SitesPane::reloadFolderTable()
{
    m_reloading = true;
    m_folders->clear();
    const QStringList rows = m_manager.getFolderDataSourceArray();
    for (int i = 0; i < rows.size(); ++i) {
        auto* item = new QListWidgetItem(rows.at(i).isEmpty() ? tr("Default folder") : rows.at(i), m_folders);
        if (i >= 2)
            item->setFlags(item->flags() | Qt::ItemIsEditable);
        item->setSizeHint(QSize(0, 50));
    }
    m_reloading = false;
}

void SitesPane::populateFolderMenus(const QStringList& folders)
{
    m_folderMenu->clear();
    for (const QString& folder : folders) {
        m_folderMenu->addAction(folder, this, [this, folder] { m_manager.moveSelectedToFolder(m_clickedRow, folder); });
    }
    m_folderMenu->addSeparator();
    m_folderMenu->addAction(tr("Create New Folder..."), this, &SitesPane::createNewFolderAndMoveSelected);
}

void SitesPane::markSelectedSort(const QString& key)
{
    const auto actions = m_sortMenu->actions();
    const int index = key == u"name" ? 0 : key == crawlKey::startingUrl ? 1 : key == u"dateStamp" ? 2 : -1;
    m_sortGroup->setExclusive(false);
    for (int i = 0; i < actions.size(); ++i)
        actions.at(i)->setChecked(i == index);
    m_sortGroup->setExclusive(true);
}

// ----- actions -------------------------------------------------------------------------------

void SitesPane::newConfig() { m_manager.newConfig(); }

void SitesPane::duplicateSelectedConfig()
{
    m_manager.duplicateSelectedConfig(m_clickedRow >= 0 ? m_clickedRow : m_manager.selectedRow());
    m_clickedRow = -1;
}

void SitesPane::deleteURL() { m_manager.deleteURL(); }
void SitesPane::returnToDefaultSettings() { m_manager.returnToDefaultSettings(); }

void SitesPane::exportSelectedSettings()
{
    if (m_savePanel)
        m_savePanel(QStringLiteral("lcsettings"), [this](const QString& path) {
            QString failure;
            m_manager.exportSelectedSettings(path, &failure);
            return failure;
        });
}

void SitesPane::exportAllSettings()
{
    if (m_savePanel)
        m_savePanel(QStringLiteral("lcsbatch"), [this](const QString& path) {
            QString failure;
            m_manager.exportAllSettings(path, &failure);
            return failure;
        });
}

void SitesPane::visitSelected()
{
    const QString url = m_manager.visitSelected(m_clickedRow >= 0 ? m_clickedRow : m_manager.selectedRow());
    if (!url.isEmpty())
        QDesktopServices::openUrl(QUrl(url));
}

void SitesPane::showSiteMenu(const QPoint& position)
{
    const QTreeWidgetItem* item = m_list->itemAt(position);
    const int row = item ? m_list->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item)) : -1;
    QMenu menu(this);
    // The folder's header row and the empty space below the sites offer only the order.
    if (row <= 0) {
        menu.addMenu(m_sortMenu);
        menu.exec(m_list->viewport()->mapToGlobal(position));
        return;
    }
    m_clickedRow = row;
    menu.addAction(tr("Duplicate"), this, &SitesPane::duplicateSelectedConfig);
    menu.addAction(tr("Visit"), this, &SitesPane::visitSelected);
    menu.addMenu(m_folderMenu);
    menu.addSeparator();
    menu.addAction(tr("Export Settings…"), this, &SitesPane::exportSelectedSettings)
        ->setObjectName(QStringLiteral("exportSelectedSettingsMenuItem"));
    menu.addAction(tr("Export All Settings…"), this, &SitesPane::exportAllSettings)
        ->setObjectName(QStringLiteral("exportAllSettingsMenuItem"));
    menu.addSeparator();
    menu.addMenu(m_sortMenu);
    menu.exec(m_list->viewport()->mapToGlobal(position));
}

void SitesPane::showFolderMenu(const QPoint& position)
{
    QListWidgetItem* item = m_folders->itemAt(position);
    const int row = item ? m_folders->row(item) : -1;
    // "All sites" and "Default folder" are no folders of their own: nothing to rename or delete.
    if (row < 2)
        return;
    QMenu menu(this);
    menu.addAction(tr("Rename"), this, [this, item] { m_folders->editItem(item); })
        ->setObjectName(QStringLiteral("renameFolderMenuItem"));
    menu.addAction(tr("Delete"), this, [this, row] { m_manager.deleteSelectedFolder(row); })
        ->setObjectName(QStringLiteral("deleteFolderMenuItem"));
    menu.exec(m_folders->viewport()->mapToGlobal(position));
}

void SitesPane::askFolderName(std::function<void(const QString&)> done)
{
    auto* sheet = new QDialog(this);
    sheet->setObjectName(QStringLiteral("newFolderDialog"));
    sheet->setWindowTitle(tr("New Folder"));
    sheet->setWindowModality(Qt::WindowModal);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    auto* name = new QLineEdit(sheet);
    name->setObjectName(QStringLiteral("newFolderName"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, sheet);
    connect(buttons, &QDialogButtonBox::accepted, sheet, [sheet] { sheet->done(1); });
    connect(buttons, &QDialogButtonBox::rejected, sheet, [sheet] { sheet->done(0); });
    auto* layout = new QVBoxLayout(sheet);
    layout->addWidget(new QLabel(tr("Folder name:"), sheet));
    layout->addWidget(name);
    layout->addWidget(buttons);
    connect(sheet, &QDialog::finished, this, [name, done = std::move(done)](int code) {
        if (code == 1)
            done(name->text().trimmed());
    });
    sheet->open();
}

void SitesPane::createNewFolderAndMoveSelected()
{
    const int row = m_clickedRow;
    if (!m_manager.settingsForDataSourceRow(row))
        return;
    m_manager.synchronise();
    askFolderName([this, row](const QString& name) { m_manager.createNewFolderAndMoveSelected(row, name); });
}

void SitesPane::createNewFolder()
{
    askFolderName([this](const QString& name) { m_manager.createNewFolder(name); });
}

void SitesPane::toggleFolderView()
{
    if (m_folderPanel->isHidden()) {
        reloadFolderTable();
        m_reloading = true;
        m_folders->setCurrentRow(m_manager.folderTableViewSelect());
        m_reloading = false;
        m_folderPanel->show();
        m_list->hide();
        // The keys go to the folders: the arrows move without opening one, F2 renames.
        m_folders->setFocus();
    } else {
        folderChosen();
    }
}

void SitesPane::folderChosen()
{
    m_folderPanel->hide();
    m_list->show();
    m_manager.hideFolderView(m_folders->currentRow());
}

} // namespace crawlmere::views
