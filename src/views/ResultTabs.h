// The result tabs without widgets: which data source is in front, what selecting a tab fills and
// refilters, the remembered last tab, and the refill of every view when a scan pauses or ends.
#pragma once

#include "engine/qfDataSource.h"
#include "platform/DefaultsKeys.h"

#include <QString>

#include <array>
#include <functional>
#include <type_traits>

namespace crawlmere::platform {
class UserDefaults;
}

namespace crawlmere::views {

/// Tab identifiers: "0" sites and settings, "1" by link, "2" by page, "3" by status, "4" flat,
/// "5" sitemap, "6" spelling, "7" SEO, "10" warnings. Each link view (tabs 1 to 4) is registered
/// with `setLinkView`; a tab without one is skipped by every rule. Main thread only; the data
/// sources behind the hooks must outlive their registration.
class ResultTabs {
public:
    static inline const QString kLastTabSelectedKey = defaultsKey::lastTabSelected;

    /// One link view as the tabs drive it.
    struct LinkView {
        /// The front data source of its tab when it is a table data source (by status is not).
        qfDataSource* dataSource = nullptr;
        /// How many rows the view was given (pages, occurrences); a view is registered with it.
        std::function<qsizetype()> count;
        std::function<bool()> needsFiltering;
        std::function<void(bool)> setNeedsFiltering;
        /// The view's filter pass (its rows from the current filters; no reload).
        std::function<void()> filter;
        /// The filter pass reloads the view itself (by page, whose reload rebuilds its rows):
        /// no second reload after it.
        bool filterReloads = false;
        std::function<void()> reloadData;
        /// Empties the view and gives it the hub's collection again.
        std::function<void()> forcePopulate;
        /// Whether the hub's collection behind this view holds anything.
        std::function<bool()> hubHasRows;
    };

    /// A link view over any data source with `needsFiltering`, `setNeedsFiltering`, `filter` and
    /// `reloadData` (the four link data sources share these).
    template <class Source>
    static LinkView linkViewOf(Source& source, std::function<void()> forcePopulate, std::function<bool()> hubHasRows)
    {
        LinkView view;
        if constexpr (std::is_base_of_v<qfDataSource, Source>)
            view.dataSource = &source;
        view.count = [&source] { return source.getCount(); };
        view.needsFiltering = [&source] { return source.needsFiltering(); };
        view.setNeedsFiltering = [&source](bool value) { source.setNeedsFiltering(value); };
        view.filter = [&source] { source.filter(); };
        view.reloadData = [&source] { source.reloadData(); };
        view.forcePopulate = std::move(forcePopulate);
        view.hubHasRows = std::move(hubHasRows);
        return view;
    }

    /// What the tabs need of the window and the hub; unset hooks are skipped.
    struct Services {
        /// The selected tab's identifier.
        std::function<QString()> selectedTab;
        /// The hub's scan has finished or is paused (`crawlFinished` or `stopPressed`).
        std::function<bool()> finishedOrPaused;
        /// Shows or hides the search field and the link-kind pop-up.
        std::function<void(bool)> setSearchControlsShown;
        /// Refills the views that are not link views (sitemap, insecure list) at a pause or end.
        std::function<void()> populateReports;
        /// Fills the SEO view when it is empty (tab "7" once a scan has finished or paused).
        std::function<void()> populateSEOView;
    };

    /// `defaults` keeps `lastTabSelected`; it must outlive this object.
    ResultTabs(platform::UserDefaults& defaults, Services services);

    /// Registers the link view of `tab` (1 to 4); another number is ignored.
    void setLinkView(int tab, LinkView view);
    /// Registers the report manager of `tab` (5 to 7) as its front data source; another number
    /// is ignored; null unregisters.
    void setReportDataSource(int tab, qfDataSource* source);

    /// The data source of the tab `identifier` (values 1 to 7), else null. Only registered views
    /// answer; the report tabs answer null until their managers are registered.
    qfDataSource* determineFrontDataSource(const QString& identifier) const;

    /// tabView:didSelectTabViewItem: the population, search controls and remembered tab of the
    /// tab's row, then `filterAppropriateTableView` with the selected tab.
    void tabViewDidSelectTabViewItem(const QString& identifier);
    /// The by-link view whatever the tab, then the tab's own link view (tabs 2 to 4), each only
    /// when it holds rows and needs filtering: filter, flag cleared, reload.
    void filterAppropriateTableView(const QString& identifier);
    void setAllTabsToNeedFiltering(bool value);
    /// Marks every link view and refilters what is in front.
    void setAllTabsToNeedFilteringAndFilterAppropriateDataSource();
    /// At a pause or end: by link, flat, by status and by page refilled from the hub, all marked
    /// for filtering and the front refiltered, then the report views.
    void forcePopulateAllDataSources();

    /// Forces the next conditional population of a view that already holds rows.
    void setViewsRequireRefresh(bool value) { m_viewsRequireRefresh = value; }
    bool viewsRequireRefresh() const { return m_viewsRequireRefresh; }

private:
    /// Fills the view when it is empty while the hub's collection is not, or when views must be
    /// refreshed.
    void populateIfNotPopulated(int tab);
    bool finishedOrPaused() const;
    LinkView* linkView(int tab);

    platform::UserDefaults& m_defaults;
    Services m_services;
    std::array<LinkView, 5> m_linkViews {};
    std::array<qfDataSource*, 3> m_reports {};
    bool m_viewsRequireRefresh = false;
};

} // namespace crawlmere::views
