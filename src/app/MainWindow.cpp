// The main window.
#include "app/MainWindow.h"

#include "app/EditMenuRoute.h"

#include "app/MainTabView.h"
#include "app/MainToolBar.h"
#include "app/StatusLineField.h"
#include "app/ToolbarConfiguration.h"
#include "platform/UserDefaults.h"
#include "views/crawlmereTableView.h"
#include "views/qfOutlineView.h"
#include "views/ResultTreeView.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTextDocument>
#include <QTextEdit>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace crawlmere::app {

namespace {

constexpr QSize kFirstSize(1100, 720);
constexpr QSize kMinimumSize(640, 420);

struct ResultTab {
    const char* page;
    const char* view;
    const char* label;
    const char* identifier;
};

constexpr ResultTab kResultTabs[] = {
    { "byLinkTabViewItem", "byLinkView", QT_TRANSLATE_NOOP("MainWindow", "By link"), "1" },
    { "byPageTabViewItem", "byPageOutlineView", QT_TRANSLATE_NOOP("MainWindow", "By page"), "2" },
    { "byStatusTabViewItem", "byStatusOutlineView", QT_TRANSLATE_NOOP("MainWindow", "By status"), "3" },
    { "flatTabViewItem", "flatView", QT_TRANSLATE_NOOP("MainWindow", "Flat view"), "4" },
};

struct ButtonSpec {
    const char* name;
    QStyle::StandardPixmap icon;
};

constexpr ButtonSpec kButtons[] = {
    { "badLinksButton", QStyle::SP_MessageBoxWarning },
    { "expandButton", QStyle::SP_ArrowDown },
    { "collapseButton", QStyle::SP_ArrowUp },
    { "htmlButton", QStyle::SP_FileDialogContentsView },
    { "csvButton", QStyle::SP_DialogSaveButton },
    { "prefsButton", QStyle::SP_FileDialogDetailedView },
};

struct LinkKind {
    const char* title;
    int tag;
};

// The link-kind pop-up; the tags are those the by-link view's filter knows.
constexpr LinkKind kLinkKinds[] = {
    { QT_TRANSLATE_NOOP("MainWindow", "All links"), 0 },
    { QT_TRANSLATE_NOOP("MainWindow", "Internal"), 2 },
    { QT_TRANSLATE_NOOP("MainWindow", "External"), 4 },
    { QT_TRANSLATE_NOOP("MainWindow", "Images"), 3 },
    { QT_TRANSLATE_NOOP("MainWindow", "Redirected"), 5 },
    { QT_TRANSLATE_NOOP("MainWindow", "http:"), 6 },
    { QT_TRANSLATE_NOOP("MainWindow", "PDF"), 7 },
    { QT_TRANSLATE_NOOP("MainWindow", "Video"), 10 },
    { QT_TRANSLATE_NOOP("MainWindow", "Audio"), 11 },
    { QT_TRANSLATE_NOOP("MainWindow", "With warnings"), 12 },
    { QT_TRANSLATE_NOOP("MainWindow", "Anchor warnings"), 13 },
};

} // namespace

MainWindow::MainWindow(platform::UserDefaults& defaults, const QString& quitTitle, const QString& aboutTitle,
    const QString& sitesTabLabel, QWidget* parent)
    : QMainWindow(parent)
    , m_defaults(defaults)
{
    setObjectName(QStringLiteral("window"));
    setWindowTitle(QStringLiteral("Crawlmere"));
    setMinimumSize(kMinimumSize);
    buildButtons();
    m_toolbar = new MainToolBar(ToolbarConfiguration::kToolbarIdentifier, m_buttons, this);
    addToolBar(Qt::TopToolBarArea, m_toolbar);
    buildTabs(sitesTabLabel);
    buildScanControls();
    buildMenus(quitTitle, aboutTitle);
}

MainWindow::~MainWindow() = default;

void MainWindow::buildButtons()
{
    for (const ButtonSpec& spec : kButtons) {
        auto* button = new QToolButton;
        button->setObjectName(QLatin1String(spec.name));
        button->setIcon(style()->standardIcon(spec.icon));
        button->setEnabled(false);
        m_buttons << button;
    }
}

QToolButton* MainWindow::button(const QString& name) const
{
    for (QToolButton* candidate : m_buttons) {
        if (candidate->objectName() == name)
            return candidate;
    }
    return nullptr;
}

void MainWindow::connectButton(const QString& name, std::function<void()> handler)
{
    QToolButton* target = button(name);
    if (!target || !handler)
        return;
    connect(target, &QToolButton::clicked, this, [handler = std::move(handler)] { handler(); });
    target->setEnabled(true);
    m_toolbar->setButtonEnabled(target, true);
}

QTreeView* MainWindow::makeResultView(const QString& objectName, QWidget* parent)
{
    // The page and status views are outlines; the by-link and flat views are tables.
    const bool outline = objectName.endsWith(QLatin1String("OutlineView"));
    QTreeView* view = outline ? static_cast<QTreeView*>(new qfOutlineView(parent))
                              : static_cast<QTreeView*>(new crawlmereTableView(parent));
    view->setObjectName(objectName);
    view->setUniformRowHeights(true);
    view->setSortingEnabled(true);
    view->setAlternatingRowColors(true);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->header()->setSectionsMovable(true);
    return view;
}

void MainWindow::buildTabs(const QString& sitesTabLabel)
{
    m_tabs = new MainTabView(this);

    auto* sites = new QWidget;
    sites->setObjectName(QStringLiteral("sitesTabViewItem"));
    m_sitesLayout = new QVBoxLayout(sites);
    m_sitesLayout->setContentsMargins(0, 0, 0, 0);
    m_sitesContainer = sites;
    m_tabs->addTabViewItem(sites, sitesTabLabel, QStringLiteral("0"));

    for (const ResultTab& tab : kResultTabs) {
        auto* page = new QWidget;
        page->setObjectName(QLatin1String(tab.page));
        auto* layout = new QVBoxLayout(page);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(makeResultView(QLatin1String(tab.view), page));
        m_tabs->addTabViewItem(page, tr(tab.label), QLatin1String(tab.identifier));
    }
}

void MainWindow::buildScanControls()
{
    auto* central = new QWidget;
    central->setObjectName(QStringLiteral("mainContentView"));
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(4, 4, 4, 2);
    layout->setSpacing(4);

    auto* filters = new QHBoxLayout;
    filters->addStretch(1);
    m_linksFilter = new QComboBox;
    m_linksFilter->setObjectName(QStringLiteral("filterButton"));
    for (const LinkKind& kind : kLinkKinds)
        m_linksFilter->addItem(tr(kind.title), kind.tag);
    filters->addWidget(m_linksFilter);
    m_searchField = new QLineEdit;
    m_searchField->setObjectName(QStringLiteral("searchField"));
    m_searchField->setPlaceholderText(tr("Search"));
    m_searchField->setClearButtonEnabled(true);
    m_searchField->setMaximumWidth(260);
    filters->addWidget(m_searchField);
    layout->addLayout(filters);

    layout->addWidget(m_tabs, 1);

    auto* scanRow = new QHBoxLayout;
    m_status = new StatusLineField;
    scanRow->addWidget(m_status, 1);
    m_progressIndicator = new QProgressBar;
    m_progressIndicator->setObjectName(QStringLiteral("progressIndicator"));
    m_progressIndicator->setRange(0, 0);
    m_progressIndicator->setTextVisible(false);
    m_progressIndicator->setMaximumWidth(120);
    m_progressIndicator->hide();
    scanRow->addWidget(m_progressIndicator);
    m_goButton = new QPushButton(QStringLiteral("Go"));
    m_goButton->setObjectName(QStringLiteral("goButton"));
    m_goButton->setDefault(true);
    m_goButton->setMinimumWidth(96);
    scanRow->addWidget(m_goButton);
    layout->addLayout(scanRow);
    setCentralWidget(central);
}

QAction* MainWindow::menuItem(const QString& name) const { return findChild<QAction*>(name); }

MainWindow::MenuPlace MainWindow::placeAfterMenuItem(const QString& name) const
{
    QAction* after = menuItem(name);
    auto* menu = after ? qobject_cast<QMenu*>(after->parent()) : nullptr;
    if (!menu)
        return {};
    const QList<QAction*> actions = menu->actions();
    const qsizetype next = actions.indexOf(after) + 1;
    return { menu, next < actions.size() ? actions.at(next) : nullptr };
}

QTreeView* MainWindow::resultView(const QString& name) const { return m_tabs->findChild<QTreeView*>(name); }

void MainWindow::addViewButton(const QString& viewName, QWidget* button)
{
    QTreeView* view = resultView(viewName);
    auto* page = view ? view->parentWidget() : nullptr;
    auto* pageLayout = page ? qobject_cast<QVBoxLayout*>(page->layout()) : nullptr;
    if (!pageLayout)
        return;
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(button);
    pageLayout->insertLayout(0, row);
}

void MainWindow::setSitesPane(QWidget* pane)
{
    if (m_sitesPane == pane)
        return;
    delete m_sitesPane.data();
    m_sitesPane = pane;
    if (pane)
        m_sitesLayout->addWidget(pane);
}

namespace {

/// What the window needs to know of the focused widget to route an Edit item.
EditFocus editFocus(QWidget* focus)
{
    EditFocus out;
    if (!focus)
        return out;
    const QClipboard* clipboard = QGuiApplication::clipboard();
    out.clipboardHasText = clipboard && !clipboard->text().isEmpty();
    if (auto* line = qobject_cast<QLineEdit*>(focus)) {
        out.kind = EditFocus::Kind::Text;
        out.editable = !line->isReadOnly();
        out.secret = line->echoMode() != QLineEdit::Normal;
        out.hasSelection = line->hasSelectedText();
        out.hasText = !line->text().isEmpty();
        out.undoAvailable = line->isUndoAvailable();
        out.redoAvailable = line->isRedoAvailable();
        return out;
    }
    auto* text = qobject_cast<QTextEdit*>(focus);
    auto* plain = qobject_cast<QPlainTextEdit*>(focus);
    if (text || plain) {
        QTextDocument* document = text ? text->document() : plain->document();
        out.kind = EditFocus::Kind::Text;
        out.editable = text ? !text->isReadOnly() : !plain->isReadOnly();
        out.hasSelection = text ? text->textCursor().hasSelection() : plain->textCursor().hasSelection();
        out.hasText = !document->isEmpty();
        out.undoAvailable = document->isUndoAvailable();
        out.redoAvailable = document->isRedoAvailable();
        return out;
    }
    if (auto* view = qobject_cast<QAbstractItemView*>(focus)) {
        out.kind = EditFocus::Kind::ItemView;
        out.hasSelection = view->selectionModel() && view->selectionModel()->hasSelection();
        out.rows = view->model() ? view->model()->rowCount(view->rootIndex()) : 0;
        out.multipleSelection = view->selectionMode() == QAbstractItemView::MultiSelection
            || view->selectionMode() == QAbstractItemView::ExtendedSelection
            || view->selectionMode() == QAbstractItemView::ContiguousSelection;
        return out;
    }
    out.kind = EditFocus::Kind::Other;
    return out;
}

/// A text widget's own operation for `command`.
void editText(QWidget* focus, EditCommand command)
{
    if (auto* line = qobject_cast<QLineEdit*>(focus)) {
        switch (command) {
        case EditCommand::Undo:
            return line->undo();
        case EditCommand::Redo:
            return line->redo();
        case EditCommand::Cut:
            return line->cut();
        case EditCommand::Copy:
            return line->copy();
        case EditCommand::Paste:
            return line->paste();
        case EditCommand::Delete:
            return line->del();
        case EditCommand::SelectAll:
            return line->selectAll();
        }
        return;
    }
    auto edit = [command](auto* field) {
        switch (command) {
        case EditCommand::Undo:
            return field->undo();
        case EditCommand::Redo:
            return field->redo();
        case EditCommand::Cut:
            return field->cut();
        case EditCommand::Copy:
            return field->copy();
        case EditCommand::Paste:
            return field->paste();
        case EditCommand::Delete:
            return field->textCursor().removeSelectedText();
        case EditCommand::SelectAll:
            return field->selectAll();
        }
    };
    if (auto* text = qobject_cast<QTextEdit*>(focus))
        edit(text);
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(focus))
        edit(plain);
}

/// Copy in a list or table: a result view copies as its own Copy does; any other view puts its
/// selected rows on the clipboard, the cells of a row apart by tabs.
void copyRows(QAbstractItemView* view)
{
    if (auto* results = dynamic_cast<views::ResultTreeView*>(view)) {
        results->copy();
        return;
    }
    const QAbstractItemModel* model = view->model();
    if (!model || !view->selectionModel())
        return;
    QModelIndexList rows = view->selectionModel()->selectedRows();
    if (rows.isEmpty())
        rows = view->selectionModel()->selectedIndexes();
    std::ranges::sort(rows, [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    const auto* tree = qobject_cast<const QTreeView*>(view);
    QStringList lines;
    int lastRow = -1;
    for (const QModelIndex& index : std::as_const(rows)) {
        if (index.row() == lastRow)
            continue;
        lastRow = index.row();
        QStringList cells;
        for (int column = 0; column < model->columnCount(index.parent()); ++column) {
            if (tree && tree->isColumnHidden(column))
                continue;
            cells << model->index(index.row(), column, index.parent()).data(Qt::DisplayRole).toString();
        }
        lines << cells.join(u'\t');
    }
    if (!lines.isEmpty())
        QGuiApplication::clipboard()->setText(lines.join(u'\n'));
}

} // namespace

QAction* MainWindow::addEditAction(QMenu* menu, const QString& title, EditCommand command, QKeySequence key)
{
    QAction* action = menu->addAction(title);
    if (!key.isEmpty())
        action->setShortcut(key);
    // The focused widget does the work through its own operation; a widget that has none is left
    // alone. A key is never sent on: a synthesized key press is matched against the shortcuts
    // first, which would bring it straight back to this item.
    connect(action, &QAction::triggered, this, [command] {
        QWidget* focus = QApplication::focusWidget();
        switch (editStep(command, editFocus(focus))) {
        case EditStep::Nothing:
            return;
        case EditStep::Text:
            return editText(focus, command);
        case EditStep::CopyRows:
            return copyRows(qobject_cast<QAbstractItemView*>(focus));
        case EditStep::SelectAllRows:
            return qobject_cast<QAbstractItemView*>(focus)->selectAll();
        }
    });
    m_editItems.append({ command, action });
    return action;
}

void MainWindow::updateEditItems()
{
    const EditFocus focus = editFocus(QApplication::focusWidget());
    for (const auto& [command, action] : std::as_const(m_editItems))
        action->setEnabled(editStep(command, focus) != EditStep::Nothing);
}

void MainWindow::buildMenus(const QString& quitTitle, const QString& aboutTitle)
{
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->setObjectName(QStringLiteral("fileMenu"));
    QAction* quit = file->addAction(quitTitle);
    quit->setObjectName(QStringLiteral("quitMenuItem"));
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, this, [] {
        QApplication::closeAllWindows();
        QCoreApplication::quit();
    });

    file->insertSeparator(quit);
    for (const auto& [name, title] : { std::pair { "exportAsHTMLMenuItem", QT_TR_NOOP("Export as HTML…") },
             std::pair { "exportAsCSVMenuItem", QT_TR_NOOP("Export as CSV…") },
             std::pair { "exportXMLMenuItem", QT_TR_NOOP("Export XML Sitemap…") },
             std::pair { "exportSitemapAsCSVMenuItem", QT_TR_NOOP("Export Sitemap as CSV…") },
             std::pair { "exportSitemapAsHTMLMenuItem", QT_TR_NOOP("Export Sitemap as HTML…") },
             std::pair { "exportAsDotMenuItem", QT_TR_NOOP("Export Sitemap as Graphviz…") },
             std::pair { "beginFTPDialogMenuItem", QT_TR_NOOP("Upload Sitemap by FTP…") },
             std::pair { "exportImageXMLMenuItem", QT_TR_NOOP("Export Image Sitemap…") },
             std::pair { "exportInsecureAsCSVMenuItem", QT_TR_NOOP("Export Insecure Content as CSV…") },
             std::pair { "exportInsecureAsHTMLMenuItem", QT_TR_NOOP("Export Insecure Content as HTML…") } }) {
        QAction* item = new QAction(tr(title), file);
        item->setObjectName(QLatin1String(name));
        item->setEnabled(false);
        file->insertAction(quit, item);
    }
    file->insertSeparator(quit);

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    edit->setObjectName(QStringLiteral("editMenu"));
    addEditAction(edit, tr("Undo"), EditCommand::Undo, QKeySequence::Undo)->setObjectName(QStringLiteral("undoMenuItem"));
    addEditAction(edit, tr("Redo"), EditCommand::Redo, QKeySequence::Redo)->setObjectName(QStringLiteral("redoMenuItem"));
    edit->addSeparator();
    addEditAction(edit, tr("Cut"), EditCommand::Cut, QKeySequence::Cut)->setObjectName(QStringLiteral("cutMenuItem"));
    addEditAction(edit, tr("Copy"), EditCommand::Copy, QKeySequence::Copy)->setObjectName(QStringLiteral("copyMenuItem"));
    addEditAction(edit, tr("Paste"), EditCommand::Paste, QKeySequence::Paste)
        ->setObjectName(QStringLiteral("pasteMenuItem"));
    // Without a key of its own: Delete stays with the focused widget (a list asks before it removes).
    addEditAction(edit, tr("Delete"), EditCommand::Delete, {})->setObjectName(QStringLiteral("deleteMenuItem"));
    addEditAction(edit, tr("Select All"), EditCommand::SelectAll, QKeySequence::SelectAll)
        ->setObjectName(QStringLiteral("selectAllMenuItem"));
    connect(edit, &QMenu::aboutToShow, this, &MainWindow::updateEditItems);
    // Closed, every item is enabled so that its key always reaches it: an item disabled for
    // the widget focused when the menu last opened would leave the key to another widget,
    // which may do something else with it. The item itself acts only where it can.
    connect(edit, &QMenu::aboutToHide, this, [this] {
        for (const auto& item : std::as_const(m_editItems))
            item.second->setEnabled(true);
    });

    QMenu* view = menuBar()->addMenu(tr("&View"));
    view->setObjectName(QStringLiteral("viewMenu"));
    QAction* showToolbar = m_toolbar->toggleViewAction();
    showToolbar->setText(tr("Show Toolbar"));
    view->addAction(showToolbar);
    m_customiseToolbar = view->addAction(tr("Customise Toolbar…"));
    m_customiseToolbar->setObjectName(QStringLiteral("customiseToolbarMenuItem"));

    QMenu* scan = menuBar()->addMenu(tr("&Scan"));
    scan->setObjectName(QStringLiteral("scanMenu"));
    for (const auto& [name, title] :
        { std::pair { "stopMenuItem", QT_TR_NOOP("Stop") }, std::pair { "continueMenuItem", QT_TR_NOOP("Continue") },
            std::pair { "clearMenuItem", QT_TR_NOOP("Clear") },
            std::pair { "badLinksMenuItem", QT_TR_NOOP("Bad links only") } }) {
        QAction* item = scan->addAction(tr(title));
        item->setObjectName(QLatin1String(name));
        item->setEnabled(false);
    }
    menuItem(QStringLiteral("badLinksMenuItem"))->setCheckable(true);
    scan->insertSeparator(menuItem(QStringLiteral("badLinksMenuItem")));

    QMenu* window = menuBar()->addMenu(tr("&Window"));
    window->setObjectName(QStringLiteral("windowMenu"));
    QAction* minimise = window->addAction(tr("Minimise"));
    minimise->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    connect(minimise, &QAction::triggered, this, &QWidget::showMinimized);
    QAction* insecure = window->addAction(tr("Insecure Content"));
    insecure->setObjectName(QStringLiteral("showInsecureListMenuItem"));
    insecure->setEnabled(false);

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("helpMenu"));
    QAction* about = help->addAction(aboutTitle);
    about->setObjectName(QStringLiteral("aboutMenuItem"));
    about->setMenuRole(QAction::AboutRole);
    connect(about, &QAction::triggered, this, [this, aboutTitle] {
        QMessageBox::about(this, aboutTitle,
            tr("<p><b>Crawlmere</b> %1</p><p>A website checker.</p>").arg(QCoreApplication::applicationVersion()));
    });
}

void MainWindow::restoreFrame()
{
    const QByteArray frame = m_defaults.objectForKey(kFrameKey).toByteArray();
    if (!frame.isEmpty() && restoreGeometry(frame))
        return;
    resize(kFirstSize);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        resize(kFirstSize.boundedTo(available.size()));
        move(available.center() - rect().center());
    }
}

void MainWindow::saveFrame() { m_defaults.setObject(saveGeometry(), kFrameKey); }

void MainWindow::closeEvent(QCloseEvent* event)
{
    saveFrame();
    QMainWindow::closeEvent(event);
}

} // namespace crawlmere::app
