// The main window.
#include "app/MainWindow.h"

#include "app/MainTabView.h"
#include "app/MainToolBar.h"
#include "app/StatusLineField.h"
#include "app/ToolbarConfiguration.h"
#include "platform/UserDefaults.h"
#include "views/crawlmereTableView.h"
#include "views/qfOutlineView.h"

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

QAction* MainWindow::addEditAction(QMenu* menu, const QString& title, QKeySequence::StandardKey key, const char* slot)
{
    QAction* action = menu->addAction(title);
    action->setShortcut(key);
    // The focused widget does the work: a text field by its slot of the same name, any other
    // widget (a table's Copy) by the key it would have been pressed with.
    connect(action, &QAction::triggered, this, [slot, key] {
        QWidget* focus = QApplication::focusWidget();
        if (!focus)
            return;
        if (focus->metaObject()->indexOfMethod(QMetaObject::normalizedSignature(slot).constData()) >= 0) {
            QMetaObject::invokeMethod(focus, QByteArray(slot).chopped(2).constData());
            return;
        }
        const QKeySequence sequence(key);
        if (sequence.isEmpty())
            return;
        const QKeyCombination combination = sequence[0];
        QKeyEvent press(QEvent::KeyPress, combination.key(), combination.keyboardModifiers());
        QApplication::sendEvent(focus, &press);
    });
    m_editItems.append({ key, action });
    return action;
}

void MainWindow::updateEditItems()
{
    QWidget* focus = QApplication::focusWidget();
    auto* line = qobject_cast<QLineEdit*>(focus);
    auto* text = qobject_cast<QTextEdit*>(focus);
    auto* plain = qobject_cast<QPlainTextEdit*>(focus);
    auto* view = qobject_cast<QAbstractItemView*>(focus);
    QTextDocument* document = text ? text->document() : plain ? plain->document() : nullptr;
    const bool editable = line ? !line->isReadOnly() : text ? !text->isReadOnly() : plain && !plain->isReadOnly();
    const bool secret = line && line->echoMode() != QLineEdit::Normal;
    const bool selection = line ? line->hasSelectedText()
        : text                  ? text->textCursor().hasSelection()
        : plain                 ? plain->textCursor().hasSelection()
                                : false;
    const QClipboard* clipboard = QGuiApplication::clipboard();
    for (const auto& [key, action] : std::as_const(m_editItems)) {
        bool enabled = false;
        switch (key) {
        case QKeySequence::Undo:
            enabled = editable && (line ? line->isUndoAvailable() : document && document->isUndoAvailable());
            break;
        case QKeySequence::Redo:
            enabled = editable && (line ? line->isRedoAvailable() : document && document->isRedoAvailable());
            break;
        case QKeySequence::Cut:
            enabled = editable && selection && !secret;
            break;
        case QKeySequence::Copy:
            enabled = view ? view->selectionModel() && view->selectionModel()->hasSelection() : selection && !secret;
            break;
        case QKeySequence::Paste:
            enabled = editable && clipboard && !clipboard->text().isEmpty();
            break;
        case QKeySequence::SelectAll:
            enabled = line ? !line->text().isEmpty()
                : document ? !document->isEmpty()
                : view     ? view->model() && view->model()->rowCount() > 0
                    && view->selectionMode() != QAbstractItemView::NoSelection
                    && view->selectionMode() != QAbstractItemView::SingleSelection
                       : false;
            break;
        default:
            enabled = true;
            break;
        }
        action->setEnabled(enabled);
    }
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
    addEditAction(edit, tr("Undo"), QKeySequence::Undo, "undo()");
    addEditAction(edit, tr("Redo"), QKeySequence::Redo, "redo()");
    edit->addSeparator();
    addEditAction(edit, tr("Cut"), QKeySequence::Cut, "cut()");
    addEditAction(edit, tr("Copy"), QKeySequence::Copy, "copy()");
    addEditAction(edit, tr("Paste"), QKeySequence::Paste, "paste()");
    addEditAction(edit, tr("Select All"), QKeySequence::SelectAll, "selectAll()");
    connect(edit, &QMenu::aboutToShow, this, &MainWindow::updateEditItems);

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
