// Puts the by-page, by-status and flat data sources into their views: columns, rows, row
// labels, Copy, double-click, expand and collapse, and the context menus of each row kind.
#pragma once

class crawlmereTableView;
class qfOutlineView;
class QAction;
class QMenu;

namespace crawlmere::views {

class CrwlByPageDataSource;
class CrwlByStatusDataSource;
class CrwlFlatViewDataSource;

/// Each `attach` sets the view's columns from the data source's column table, makes the data
/// source the view's rows, delegate and widget, and gives the view its menus (children of the
/// view): the ordinary menu for the rows that expand (pages, statuses; every row of the flat
/// table), the secondary menu for the rows below them, and the tertiary menu (Copy) for a
/// selection of several rows. Inspect, highlight and locate items are enabled only while the
/// data source has an opener. The data source must outlive the view. Main thread only.
class LinkViewMenus {
public:
    static void attachByPage(qfOutlineView& view, CrwlByPageDataSource& source);
    static void attachByStatus(qfOutlineView& view, CrwlByStatusDataSource& source);
    static void attachFlat(crawlmereTableView& view, CrwlFlatViewDataSource& source);

    /// The menu item of `menu` whose object name is `name`; null when none.
    static QAction* action(const QMenu* menu, const char* name);
};

} // namespace crawlmere::views
