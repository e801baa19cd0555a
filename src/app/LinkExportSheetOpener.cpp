// The export sheet wired to the main window.
#include "app/LinkExportSheetOpener.h"

#include "app/MainTabView.h"
#include "app/MainWindow.h"
#include "app/ResultsController.h"
#include "views/CrwlByLinkDataSource.h"
#include "views/CrwlByPageDataSource.h"
#include "views/CrwlByStatusDataSource.h"
#include "views/CrwlFlatViewDataSource.h"
#include "views/LinkExportSheet.h"
#include "views/ResultItemModel.h"
#include "views/ResultTreeView.h"
#include "views/ScanControl.h"
#include "views/qfOutlineView.h"

#include <QAction>
#include <QBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>

namespace crawlmere::app {

namespace {

const char* const kViewNames[] = { nullptr, "byLinkView", "byPageOutlineView", "byStatusOutlineView", "flatView" };

/// The index of the row below `index` as the outline shows it (children of expanded rows first).
QModelIndex nextShownRow(const views::ResultTreeView& outline, const QModelIndex& index)
{
    const QAbstractItemModel* model = outline.model();
    if (outline.isExpanded(index) && model->rowCount(index) > 0)
        return model->index(0, 0, index);
    for (QModelIndex current = index; current.isValid(); current = current.parent()) {
        const QModelIndex sibling = current.sibling(current.row() + 1, 0);
        if (sibling.isValid())
            return sibling;
    }
    return {};
}

} // namespace

LinkExportSheetOpener::LinkExportSheetOpener(ResultsController& results, MainWindow& window,
    std::shared_ptr<ShellPrompts> prompts, platform::UserDefaults& defaults)
    : QObject(&results)
    , m_results(results)
    , m_window(window)
{
    m_previewer = std::make_unique<views::LinkExportPreviewer>(static_cast<MainWindowViews&>(*this), std::move(prompts), &defaults);
    m_sheet = new views::LinkExportSheet(*m_previewer, &window);
    addMenuItems();
    addControl();
}

LinkExportSheetOpener::~LinkExportSheetOpener()
{
    // The sheet shows the previewer: it goes first.
    delete m_sheet;
}

views::LinkExportSheet* LinkExportSheetOpener::sheet() const { return m_sheet; }

void LinkExportSheetOpener::addMenuItems()
{
    const auto [menu, before] = m_window.placeAfterMenuItem(QStringLiteral("exportAsCSVMenuItem"));
    if (!menu)
        return;
    for (const auto& [name, title, tag] : { std::tuple { "exportPreviewAsHTMLMenuItem", tr("Export with Preview as HTML…"), 0 },
             std::tuple { "exportPreviewAsCSVMenuItem", tr("Export with Preview as CSV…"), 2 } }) {
        auto* item = new QAction(title, menu);
        item->setObjectName(QLatin1String(name));
        item->setData(tag);
        menu->insertAction(before, item);
        connect(item, &QAction::triggered, this, [this, tag] { m_previewer->showPreview(tag, /*fromMenuItem=*/true); });
    }
}

void LinkExportSheetOpener::addControl()
{
    auto* button = new QToolButton;
    button->setObjectName(QStringLiteral("exportPreviewButton"));
    button->setText(tr("Export…"));
    button->setProperty("tag", kControlTag);
    connect(button, &QToolButton::clicked, this,
        [this] { m_previewer->showPreview(kControlTag, /*fromMenuItem=*/false); });
    // Beside the search field, in its row above the tabs.
    QWidget* search = m_window.searchField();
    auto* column = search->parentWidget() ? qobject_cast<QBoxLayout*>(search->parentWidget()->layout()) : nullptr;
    for (int item = 0; column && item < column->count(); ++item) {
        auto* row = qobject_cast<QBoxLayout*>(column->itemAt(item)->layout());
        if (row && row->indexOf(search) >= 0) {
            row->addWidget(button);
            return;
        }
    }
    button->setParent(search->parentWidget());
}

views::ResultTreeView* LinkExportSheetOpener::view(int tag) const
{
    if (tag < 1 || tag > 4)
        return nullptr;
    return qobject_cast<views::ResultTreeView*>(m_window.resultView(QLatin1String(kViewNames[tag])));
}

QString LinkExportSheetOpener::selectedTabIdentifier() const { return m_window.mainTabView()->selectedIdentifier(); }

void LinkExportSheetOpener::selectTabViewItemWithIdentifier(const QString& identifier)
{
    m_window.mainTabView()->selectTabViewItemWithIdentifier(identifier);
}

bool LinkExportSheetOpener::mainBadLinksState() const
{
    const QToolButton* button = m_window.button(QStringLiteral("badLinksButton"));
    return button && button->isChecked();
}

void LinkExportSheetOpener::setMainBadLinksState(bool on)
{
    // The scan control flips badLinksOnly, refilters every link view and sets the button.
    if (mainBadLinksState() != on)
        m_results.scanControl().showHideGoodLinksMenuItem();
}

TableView* LinkExportSheetOpener::linkView(int tag) const { return view(tag); }

const void* LinkExportSheetOpener::notificationObject(int tag) const
{
    const QTreeView* tree = view(tag);
    return tree;
}

int LinkExportSheetOpener::columnWidth(int tag, qsizetype column) const
{
    const views::ResultTreeView* tree = view(tag);
    if (!tree || column < 0 || column >= tree->header()->count())
        return 0;
    const int logical = tree->header()->logicalIndex(static_cast<int>(column));
    // A hidden column keeps the width it had when it was shown.
    return tree->header()->isSectionHidden(logical) ? tree->header()->defaultSectionSize() : tree->columnWidth(logical);
}

qfDataSource* LinkExportSheetOpener::tableDataSource(int tag) const
{
    if (tag == 1)
        return &m_results.byLinkDataSource();
    if (tag == 4)
        return &m_results.flatViewDataSource();
    return nullptr;
}

views::OutlineDataSource* LinkExportSheetOpener::outlineDataSource(int tag) const
{
    if (tag == 2)
        return &m_results.byPageDataSource();
    if (tag == 3)
        return &m_results.byStatusDataSource();
    return nullptr;
}

qsizetype LinkExportSheetOpener::outlineNumberOfRows(int tag) const
{
    const views::ResultTreeView* outline = view(tag);
    if (!outline || !outline->model())
        return 0;
    qsizetype rows = 0;
    for (QModelIndex index = outline->model()->index(0, 0); index.isValid(); index = nextShownRow(*outline, index))
        ++rows;
    return rows;
}

qfDataSource::Item LinkExportSheetOpener::outlineItemAtRow(int tag, qsizetype row) const
{
    const views::ResultTreeView* outline = view(tag);
    if (!outline || !outline->model() || row < 0)
        return nullptr;
    QModelIndex index = outline->model()->index(0, 0);
    for (qsizetype at = 0; at < row && index.isValid(); ++at)
        index = nextShownRow(*outline, index);
    return outline->itemAt(index);
}

QString LinkExportSheetOpener::outlineColumnIdentifier(int tag) const
{
    const views::ResultTreeView* outline = view(tag);
    if (!outline)
        return QString();
    const QList<TableColumn>& columns = outline->itemModel().columns();
    const int position = std::max(0, outline->treePosition());
    return position < columns.size() ? columns.at(position).identifier : QString();
}

void LinkExportSheetOpener::expandOutlines(bool expand)
{
    for (const int tag : { 2, 3 }) {
        auto* outline = qobject_cast<qfOutlineView*>(view(tag));
        if (!outline)
            continue;
        if (expand)
            outline->expandItem(QModelIndex(), /*expandChildren=*/true);
        else
            outline->collapseItem(QModelIndex(), /*collapseChildren=*/true);
    }
}

std::shared_ptr<qfColumnManager> LinkExportSheetOpener::columnManager(int tag) const
{
    if (tag == 1)
        return m_results.byLinkColumnManager();
    if (tag == 4)
        return m_results.flatViewColumnManager();
    return nullptr;
}

void LinkExportSheetOpener::exportAsHTMLMenuItem() { m_results.exportAsHTMLMenuItem(); }
void LinkExportSheetOpener::exportAsCSVMenuItem() { m_results.exportAsCSVMenuItem(); }

} // namespace crawlmere::app
