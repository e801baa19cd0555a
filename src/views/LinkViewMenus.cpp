// The link views' wiring and context menus.
#include "views/LinkViewMenus.h"

#include "views/CrwlByPageDataSource.h"
#include "views/CrwlByStatusDataSource.h"
#include "views/CrwlFlatViewDataSource.h"
#include "views/crawlmereTableView.h"
#include "views/qfOutlineView.h"

#include <QDesktopServices>
#include <QMenu>
#include <QUrl>

#include <functional>

namespace crawlmere::views {

namespace {

QMenu* makeMenu(ResultTreeView& view, const char* name)
{
    auto* menu = new QMenu(&view);
    menu->setObjectName(QString::fromLatin1(name));
    return menu;
}

// An item that acts on the view's selected rows, top to bottom.
QAction* addItem(QMenu* menu, const char* name, const QString& title, ResultTreeView& view,
    std::function<void(const QList<qfDataSource::Item>&)> act)
{
    QAction* item = menu->addAction(title);
    item->setObjectName(QString::fromLatin1(name));
    QObject::connect(item, &QAction::triggered, &view, [&view, act = std::move(act)] { act(view.selectedItems()); });
    return item;
}

// Items that need an opener follow whether the data source has one each time the menu opens.
void enableWithOpener(QMenu* menu, std::function<bool()> hasOpener, QList<QAction*> items)
{
    const auto update = [hasOpener = std::move(hasOpener), items = std::move(items)] {
        for (QAction* item : items)
            item->setEnabled(hasOpener());
    };
    update();
    QObject::connect(menu, &QMenu::aboutToShow, menu, update);
}

void addCopy(QMenu* menu, ResultTreeView& view, const char* name, const QString& title)
{
    QAction* item = menu->addAction(title);
    item->setObjectName(QString::fromLatin1(name));
    QObject::connect(item, &QAction::triggered, &view, [&view] { view.copy(); });
}

void addExpandCollapse(QMenu* menu, qfOutlineView& view)
{
    QAction* expand = menu->addAction(QStringLiteral("Expand all"));
    expand->setObjectName(QStringLiteral("expandAll"));
    QObject::connect(expand, &QAction::triggered, &view, [&view] { view.expandItem(QModelIndex(), true); });
    QAction* collapse = menu->addAction(QStringLiteral("Collapse all"));
    collapse->setObjectName(QStringLiteral("collapseAll"));
    QObject::connect(collapse, &QAction::triggered, &view, [&view] { view.collapseItem(QModelIndex(), true); });
}

std::function<void(bool)> expanderOf(qfOutlineView& view)
{
    return [&view](bool expand) {
        if (expand)
            view.expandItem(QModelIndex(), /*expandChildren=*/true);
        else
            view.collapseItem(QModelIndex(), /*collapseChildren=*/true);
    };
}

void visit(const QString& address)
{
    if (!address.isEmpty())
        QDesktopServices::openUrl(QUrl(address));
}

} // namespace

QAction* LinkViewMenus::action(const QMenu* menu, const char* name)
{
    if (!menu)
        return nullptr;
    for (QAction* item : menu->actions()) {
        if (item->objectName() == QLatin1String(name))
            return item;
    }
    return nullptr;
}

void LinkViewMenus::attachByPage(qfOutlineView& view, CrwlByPageDataSource& source)
{
    view.setTableColumns(CrwlByPageDataSource::columns().tableColumns());
    view.setOutlineDataSource(&source);
    view.setViewDelegate(&source);
    source.setOutlineView(&view);
    source.setOutlineExpander(expanderOf(view));
    QObject::connect(&view, &QAbstractItemView::doubleClicked, &view,
        [&view, &source] { source.doubleClickInOutlineView(view.selectedItems()); });
    const auto hasOpener = [&source] { return source.getOpener() != nullptr; };

    QMenu* pages = makeMenu(view, "byPagePageMenu");
    QAction* inspectPage = addItem(pages, "inspectPage", QStringLiteral("Inspect page"), view,
        [&source](const auto& selected) { source.doubleClickInOutlineView(selected); });
    QAction* locatePage = addItem(pages, "locate", QStringLiteral("Locate"), view,
        [&source](const auto& selected) { source.locateInOutlineView(selected); });
    addItem(pages, "visitPage", QStringLiteral("Visit page"), view,
        [&source](const auto& selected) { visit(source.visitPageInOutlineView(selected)); });
    addCopy(pages, view, "copyURL", QStringLiteral("Copy URL"));
    pages->addSeparator();
    addExpandCollapse(pages, view);
    enableWithOpener(pages, hasOpener, { inspectPage, locatePage });
    view.setMenu(pages);

    QMenu* links = makeMenu(view, "byPageLinkMenu");
    QAction* inspect = addItem(links, "inspectLink", QStringLiteral("Inspect link"), view,
        [&source](const auto& selected) { source.doubleClickInOutlineView(selected); });
    QAction* highlight = addItem(links, "highlightLink", QStringLiteral("Highlight link"), view,
        [&source](const auto& selected) { source.highlightLinkInOutlineView(selected); });
    QAction* locate = addItem(links, "locate", QStringLiteral("Locate"), view,
        [&source](const auto& selected) { source.locateInOutlineView(selected); });
    addItem(links, "visitPage", QStringLiteral("Visit page"), view,
        [&source](const auto& selected) { visit(source.visitPageInOutlineView(selected)); });
    addCopy(links, view, "copyURL", QStringLiteral("Copy URL"));
    enableWithOpener(links, hasOpener, { inspect, highlight, locate });
    view.setSecondaryMenu(links);

    QMenu* several = makeMenu(view, "byPageSelectionMenu");
    addCopy(several, view, "copyURL", QStringLiteral("Copy URLs"));
    view.setTertiaryMenu(several);
}

void LinkViewMenus::attachByStatus(qfOutlineView& view, CrwlByStatusDataSource& source)
{
    view.setTableColumns(CrwlByStatusDataSource::columns().tableColumns());
    view.setOutlineDataSource(&source);
    view.setViewDelegate(&source);
    source.setOutlineView(&view);
    source.setOutlineExpander(expanderOf(view));
    QObject::connect(&view, &QAbstractItemView::doubleClicked, &view,
        [&view, &source] { source.doubleClickInOutlineView(view.selectedItems()); });
    const auto hasOpener = [&source] { return source.getOpener() != nullptr; };

    QMenu* statuses = makeMenu(view, "byStatusStatusMenu");
    addExpandCollapse(statuses, view);
    view.setMenu(statuses);

    QMenu* occurrences = makeMenu(view, "byStatusLinkMenu");
    QAction* inspect = addItem(occurrences, "inspectLink", QStringLiteral("Inspect link"), view,
        [&source](const auto& selected) { source.doubleClickInOutlineView(selected); });
    QAction* highlight = addItem(occurrences, "highlightLink", QStringLiteral("Highlight link"), view,
        [&source](const auto& selected) { source.highlightInOutlineView(selected); });
    QAction* locate = addItem(occurrences, "locate", QStringLiteral("Locate"), view,
        [&source](const auto& selected) { source.locateInOutlineView(selected); });
    addItem(occurrences, "copyURL", QStringLiteral("Copy URL"), view,
        [&source](const auto& selected) { source.copyUrlFromByStatusView(selected); });
    addItem(occurrences, "copyAppearsOn", QStringLiteral("Copy appears on"), view,
        [&source](const auto& selected) { source.copyAppearsOnFromByStatusView(selected); });
    addItem(occurrences, "copyRedir", QStringLiteral("Copy redirected to"), view,
        [&source](const auto& selected) { source.copyRedirFromByStatusView(selected); });
    enableWithOpener(occurrences, hasOpener, { inspect, highlight, locate });
    view.setSecondaryMenu(occurrences);

    QMenu* several = makeMenu(view, "byStatusSelectionMenu");
    addCopy(several, view, "copyURL", QStringLiteral("Copy URLs"));
    view.setTertiaryMenu(several);
}

void LinkViewMenus::attachFlat(crawlmereTableView& view, CrwlFlatViewDataSource& source)
{
    view.setTableColumns(CrwlFlatViewDataSource::columns().tableColumns());
    view.setDataSource(&source);
    view.setViewDelegate(&source);
    source.setTableView(&view);
    QObject::connect(&view, &QAbstractItemView::doubleClicked, &view,
        [&view, &source] { source.doubleClick(view.selectedItems()); });
    const auto hasOpener = [&source] { return source.getOpener() != nullptr; };

    QMenu* rows = makeMenu(view, "flatMenu");
    QAction* inspect = addItem(rows, "inspectLink", QStringLiteral("Inspect link"), view,
        [&source](const auto& selected) { source.doubleClick(selected); });
    QAction* highlight = addItem(rows, "highlightLink", QStringLiteral("Highlight link"), view,
        [&source](const auto& selected) { source.highlightInFlatView(selected); });
    QAction* locate = addItem(rows, "locate", QStringLiteral("Locate"), view,
        [&source](const auto& selected) { source.locateInFlatView(selected); });
    addItem(rows, "copyURL", QStringLiteral("Copy URL"), view,
        [&source](const auto& selected) { source.copyUrlFromFlatView(selected); });
    addItem(rows, "copyAppearsOn", QStringLiteral("Copy appears on"), view,
        [&source](const auto& selected) { source.copyAppearsOnFromFlatView(selected); });
    addItem(rows, "copyRedir", QStringLiteral("Copy redirected to"), view,
        [&source](const auto& selected) { source.copyRedirFromFlatView(selected); });
    enableWithOpener(rows, hasOpener, { inspect, highlight, locate });
    view.setMenu(rows);

    QMenu* several = makeMenu(view, "flatSelectionMenu");
    addCopy(several, view, "copyURL", QStringLiteral("Copy URLs"));
    view.setTertiaryMenu(several);
}

} // namespace crawlmere::views
