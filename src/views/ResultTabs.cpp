// The result tabs' rules without widgets.
#include "views/ResultTabs.h"

#include "platform/Log.h"
#include "platform/UserDefaults.h"

using crawlmere::platform::logLine;

namespace crawlmere::views {

ResultTabs::ResultTabs(platform::UserDefaults& defaults, Services services)
    : m_defaults(defaults)
    , m_services(std::move(services))
{
}

void ResultTabs::setLinkView(int tab, LinkView view)
{
    if (tab >= 1 && tab <= 4)
        m_linkViews[static_cast<size_t>(tab)] = std::move(view);
}

void ResultTabs::setReportDataSource(int tab, qfDataSource* source)
{
    if (tab >= 5 && tab <= 7)
        m_reports[static_cast<size_t>(tab - 5)] = source;
}

ResultTabs::LinkView* ResultTabs::linkView(int tab)
{
    if (tab < 1 || tab > 4 || !m_linkViews[static_cast<size_t>(tab)].count)
        return nullptr;
    return &m_linkViews[static_cast<size_t>(tab)];
}

qfDataSource* ResultTabs::determineFrontDataSource(const QString& identifier) const
{
    const int tab = identifier.toInt();
    if (tab >= 1 && tab <= 4)
        return m_linkViews[static_cast<size_t>(tab)].dataSource;
    if (tab >= 5 && tab <= 7)
        return m_reports[static_cast<size_t>(tab - 5)];
    return nullptr;
}

bool ResultTabs::finishedOrPaused() const { return m_services.finishedOrPaused && m_services.finishedOrPaused(); }

void ResultTabs::populateIfNotPopulated(int tab)
{
    LinkView* view = linkView(tab);
    if (!view || !view->forcePopulate)
        return;
    // The hub's collection stands in for the delegate's own, which nothing fills.
    const bool hubHasRows = view->hubHasRows && view->hubHasRows();
    if ((view->count() == 0 && hubHasRows) || m_viewsRequireRefresh)
        view->forcePopulate();
}

void ResultTabs::tabViewDidSelectTabViewItem(const QString& identifier)
{
    bool ok = false;
    const int tab = identifier.toInt(&ok);
    const auto showSearch = [this](bool shown) {
        if (m_services.setSearchControlsShown)
            m_services.setSearchControlsShown(shown);
    };
    bool remember = true;
    switch (ok ? tab : -1) {
    case 0:
        showSearch(false);
        remember = false;
        break;
    case 1:
        populateIfNotPopulated(1);
        m_viewsRequireRefresh = false;
        showSearch(true);
        break;
    case 2:
    case 3:
    case 4:
        if (finishedOrPaused())
            populateIfNotPopulated(tab);
        showSearch(true);
        break;
    case 7:
        if (finishedOrPaused() && m_services.populateSEOView)
            m_services.populateSEOView();
        showSearch(false);
        break;
    case 5:
    case 10:
        // The sitemap and warnings views fill themselves once their managers join.
        showSearch(false);
        break;
    case 6:
        break;
    default:
        remember = false;
        break;
    }
    if (remember)
        m_defaults.setObject(QString::asprintf("%i", tab), kLastTabSelectedKey);
    filterAppropriateTableView(m_services.selectedTab ? m_services.selectedTab() : identifier);
}

void ResultTabs::filterAppropriateTableView(const QString& identifier)
{
    logLine(3, QStringLiteral("filterAppropriateTableView:"));
    const auto refilter = [](LinkView* view) {
        if (!view || view->count() == 0 || !view->needsFiltering || !view->needsFiltering())
            return;
        view->filter();
        view->setNeedsFiltering(false);
        if (!view->filterReloads)
            view->reloadData();
    };
    refilter(linkView(1));
    const int tab = identifier.toInt();
    if (tab >= 2 && tab <= 4)
        refilter(linkView(tab));
}

void ResultTabs::setAllTabsToNeedFiltering(bool value)
{
    for (int tab = 1; tab <= 4; ++tab) {
        if (LinkView* view = linkView(tab); view && view->setNeedsFiltering)
            view->setNeedsFiltering(value);
    }
}

void ResultTabs::setAllTabsToNeedFilteringAndFilterAppropriateDataSource()
{
    logLine(3, QStringLiteral("setAllTabsToNeedFilteringAndFilterAppropriateDataSource"));
    setAllTabsToNeedFiltering(true);
    filterAppropriateTableView(m_services.selectedTab ? m_services.selectedTab() : QString());
}

void ResultTabs::forcePopulateAllDataSources()
{
    // By link, flat, by status, by page; the insecure list and the sitemap with the reports.
    for (const int tab : { 1, 4, 3, 2 }) {
        if (LinkView* view = linkView(tab); view && view->forcePopulate)
            view->forcePopulate();
    }
    setAllTabsToNeedFilteringAndFilterAppropriateDataSource();
    if (m_services.populateReports)
        m_services.populateReports();
}

} // namespace crawlmere::views
