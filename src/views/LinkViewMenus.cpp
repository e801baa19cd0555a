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
#include <initializer_list>

namespace crawlmere::views {

namespace {

using Rows = QList<qfDataSource::Item>;
using Act = std::function<void(const Rows&)>;

enum class Needs { Nothing, Opener };

/// One item of a context menu: its object name, its title and what it does with the view's
/// selected rows (top to bottom). An item without a name is a separator.
struct MenuItem {
    const char* name = nullptr;
    QString title;
    Act act;
    Needs needs = Needs::Nothing;
};

const MenuItem kSeparator {};

/// A menu of `items`, a child of `view`. Items that need an opener follow whether the data
/// source has one (`hasOpener`) each time the menu opens.
QMenu* buildMenu(ResultTreeView& view, const char* name, const std::function<bool()>& hasOpener,
    std::initializer_list<MenuItem> items)
{
    auto* menu = new QMenu(&view);
    menu->setObjectName(QString::fromLatin1(name));
    QList<QAction*> needOpener;
    for (const MenuItem& item : items) {
        if (!item.name) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(item.title);
        action->setObjectName(QString::fromLatin1(item.name));
        QObject::connect(action, &QAction::triggered, &view, [&view, act = item.act] { act(view.selectedItems()); });
        if (item.needs == Needs::Opener)
            needOpener << action;
    }
    if (!needOpener.isEmpty()) {
        const auto update = [hasOpener, needOpener] {
            for (QAction* action : needOpener)
                action->setEnabled(hasOpener());
        };
        update();
        QObject::connect(menu, &QMenu::aboutToShow, menu, update);
    }
    return menu;
}

/// `member` of `source` on the selected rows.
template <typename Source> Act on(Source& source, void (Source::*member)(const Rows&))
{
    return [&source, member](const Rows& selected) { (source.*member)(selected); };
}

template <typename Source> std::function<bool()> openerOf(Source& source)
{
    return [&source] { return source.getOpener() != nullptr; };
}

/// The view's own Copy (the URLs of the selected rows, one a line).
Act copyOf(ResultTreeView& view)
{
    return [&view](const Rows&) { view.copy(); };
}

/// The menu for a selection of several rows: Copy only.
QMenu* selectionMenu(ResultTreeView& view, const char* name)
{
    return buildMenu(view, name, {}, { { "copyURL", QStringLiteral("Copy URLs"), copyOf(view) } });
}

MenuItem expandAll(qfOutlineView& view)
{
    return { "expandAll", QStringLiteral("Expand all"),
        [&view](const Rows&) { view.expandItem(QModelIndex(), /*expandChildren=*/true); } };
}

MenuItem collapseAll(qfOutlineView& view)
{
    return { "collapseAll", QStringLiteral("Collapse all"),
        [&view](const Rows&) { view.collapseItem(QModelIndex(), /*collapseChildren=*/true); } };
}

/// What the menu of single occurrences does in a data source that lists them.
template <typename Source> struct OccurrenceActions {
    void (Source::*inspect)(const Rows&);
    void (Source::*highlight)(const Rows&);
    void (Source::*locate)(const Rows&);
    void (Source::*copyUrl)(const Rows&);
    void (Source::*copyAppearsOn)(const Rows&);
    void (Source::*copyRedir)(const Rows&);
};

template <typename Source>
QMenu* occurrenceMenu(ResultTreeView& view, const char* name, Source& source, const OccurrenceActions<Source>& act)
{
    return buildMenu(view, name, openerOf(source),
        { { "inspectLink", QStringLiteral("Inspect link"), on(source, act.inspect), Needs::Opener },
            { "highlightLink", QStringLiteral("Highlight link"), on(source, act.highlight), Needs::Opener },
            { "locate", QStringLiteral("Locate"), on(source, act.locate), Needs::Opener },
            { "copyURL", QStringLiteral("Copy URL"), on(source, act.copyUrl) },
            { "copyAppearsOn", QStringLiteral("Copy appears on"), on(source, act.copyAppearsOn) },
            { "copyRedir", QStringLiteral("Copy redirected to"), on(source, act.copyRedir) } });
}

/// Columns, rows as a tree, delegate, widget, expander and double-click of an outline's source.
template <typename Source> void wireOutline(qfOutlineView& view, Source& source)
{
    view.setTableColumns(Source::columns().tableColumns());
    view.setOutlineDataSource(&source);
    view.setViewDelegate(&source);
    source.setOutlineView(&view);
    source.setOutlineExpander([&view](bool expand) {
        if (expand)
            view.expandItem(QModelIndex(), /*expandChildren=*/true);
        else
            view.collapseItem(QModelIndex(), /*collapseChildren=*/true);
    });
    QObject::connect(&view, &QAbstractItemView::doubleClicked, &view,
        [&view, &source] { source.doubleClickInOutlineView(view.selectedItems()); });
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
    using Source = CrwlByPageDataSource;
    wireOutline(view, source);
    const Act visitPage = [&source](const Rows& selected) { visit(source.visitPageInOutlineView(selected)); };
    const MenuItem locate { "locate", QStringLiteral("Locate"), on(source, &Source::locateInOutlineView),
        Needs::Opener };

    view.setMenu(buildMenu(view, "byPagePageMenu", openerOf(source),
        { { "inspectPage", QStringLiteral("Inspect page"), on(source, &Source::doubleClickInOutlineView),
              Needs::Opener },
            locate, { "visitPage", QStringLiteral("Visit page"), visitPage },
            { "copyURL", QStringLiteral("Copy URL"), copyOf(view) }, kSeparator, expandAll(view), collapseAll(view) }));
    view.setSecondaryMenu(buildMenu(view, "byPageLinkMenu", openerOf(source),
        { { "inspectLink", QStringLiteral("Inspect link"), on(source, &Source::doubleClickInOutlineView),
              Needs::Opener },
            { "highlightLink", QStringLiteral("Highlight link"), on(source, &Source::highlightLinkInOutlineView),
                Needs::Opener },
            locate, { "visitPage", QStringLiteral("Visit page"), visitPage },
            { "copyURL", QStringLiteral("Copy URL"), copyOf(view) } }));
    view.setTertiaryMenu(selectionMenu(view, "byPageSelectionMenu"));
}

void LinkViewMenus::attachByStatus(qfOutlineView& view, CrwlByStatusDataSource& source)
{
    using Source = CrwlByStatusDataSource;
    wireOutline(view, source);
    view.setMenu(buildMenu(view, "byStatusStatusMenu", {}, { expandAll(view), collapseAll(view) }));
    view.setSecondaryMenu(occurrenceMenu(view, "byStatusLinkMenu", source,
        OccurrenceActions<Source> { &Source::doubleClickInOutlineView, &Source::highlightInOutlineView,
            &Source::locateInOutlineView, &Source::copyUrlFromByStatusView, &Source::copyAppearsOnFromByStatusView,
            &Source::copyRedirFromByStatusView }));
    view.setTertiaryMenu(selectionMenu(view, "byStatusSelectionMenu"));
}

void LinkViewMenus::attachFlat(crawlmereTableView& view, CrwlFlatViewDataSource& source)
{
    using Source = CrwlFlatViewDataSource;
    view.setTableColumns(Source::columns().tableColumns());
    view.setDataSource(&source);
    view.setViewDelegate(&source);
    source.setTableView(&view);
    QObject::connect(&view, &QAbstractItemView::doubleClicked, &view,
        [&view, &source] { source.doubleClick(view.selectedItems()); });
    view.setMenu(occurrenceMenu(view, "flatMenu", source,
        OccurrenceActions<Source> { &Source::doubleClick, &Source::highlightInFlatView, &Source::locateInFlatView,
            &Source::copyUrlFromFlatView, &Source::copyAppearsOnFromFlatView, &Source::copyRedirFromFlatView }));
    view.setTertiaryMenu(selectionMenu(view, "flatSelectionMenu"));
}

} // namespace crawlmere::views
