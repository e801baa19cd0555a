// The four link views of the result tabs wired to their data sources, menus and column managers.
#include "app/ResultLinkViews.h"

#include "app/MainWindow.h"
#include "engine/CrwlUrl.h"
#include "engine/Z12Ara.h"
#include "platform/Url.h"
#include "platform/UrlOpener.h"
#include "views/ByLinkColumnManager.h"
#include "views/ByPageColumnManager.h"
#include "views/ByStatusColumnManager.h"
#include "views/ColumnManagerButton.h"
#include "views/CrwlByLinkDataSource.h"
#include "views/CrwlByPageDataSource.h"
#include "views/CrwlByStatusDataSource.h"
#include "views/CrwlFlatViewDataSource.h"
#include "views/FlatViewColumnManager.h"
#include "views/InspectorWindows.h"
#include "views/LinkViewMenus.h"
#include "views/Pasteboard.h"
#include "views/ResultTabs.h"
#include "views/ResultTreeView.h"
#include "views/ResultViewDelegate.h"
#include "views/crawlmereTableView.h"
#include "views/qfOutlineView.h"

#include <QAction>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>

#include <algorithm>

namespace crawlmere::app {

using views::CrwlByPageDataSource;
using views::CrwlByStatusDataSource;
using views::CrwlFlatViewDataSource;
using views::LinkViewMenus;
using views::ResultTabs;
using views::ResultTreeView;

namespace {

const QString kByLinkView = QStringLiteral("byLinkView");

// The widths the by-page, by-status and flat views' columns start with, so that addresses and
// status texts read whole (the header's default cuts a URL after its host's first digits);
// columns not named keep the default.
void setStartingWidths(ResultTreeView& view)
{
    static const QHash<QString, int> widths = {
        { QStringLiteral("linkurldecoded"), 300 },
        { QStringLiteral("onpageurl"), 260 },
        { QStringLiteral("status"), 160 },
        { QStringLiteral("linkText"), 160 },
        { QStringLiteral("linktext"), 160 },
        { QStringLiteral("redir"), 240 },
    };
    const QList<TableColumn> columns = view.tableColumns();
    for (qsizetype column = 0; column < columns.size(); ++column) {
        if (const int width = widths.value(columns.at(column).identifier))
            view.setColumnWidth(int(column), width);
    }
}

/// The by-link table's delegate: row labels and Copy come from the data source.
class ByLinkViewDelegate final : public views::ResultViewDelegate {
public:
    ByLinkViewDelegate(CrwlByLinkDataSource& source, std::function<QList<qsizetype>()> selectedRows)
        : m_source(source)
        , m_selectedRows(std::move(selectedRows))
    {
    }
    std::optional<CrwlLabelColour> tableViewLabelColorForRow(ResultTreeView&, const QModelIndex& row) override
    {
        return m_source.labelColourForRow(row.row());
    }
    void copyURL(crawlmereTableView&) override { m_source.copyURL(m_selectedRows()); }

private:
    CrwlByLinkDataSource& m_source;
    std::function<QList<qsizetype>()> m_selectedRows;
};

} // namespace

ResultLinkViews::ResultLinkViews(const ResultsServices& services)
    : m_services(services)
    , m_byLink(std::make_unique<CrwlByLinkDataSource>())
    , m_byPage(std::make_unique<CrwlByPageDataSource>())
    , m_byStatus(std::make_unique<CrwlByStatusDataSource>())
    , m_flat(std::make_unique<CrwlFlatViewDataSource>())
    , m_occurrences(*m_services.hub)
{
    buildByLinkView();
}

ResultLinkViews::~ResultLinkViews() { detachViews(); }

std::shared_ptr<qfColumnManager> ResultLinkViews::byLinkColumns() const { return m_byLinkColumns; }
std::shared_ptr<qfColumnManager> ResultLinkViews::flatColumns() const { return m_flatColumns; }

void ResultLinkViews::detachViews()
{
    if (m_byLinkView) {
        m_byLinkView->setViewDelegate(nullptr);
        m_byLinkView->setDataSource(nullptr);
    }
    for (const QPointer<ResultTreeView>& view : std::as_const(m_otherLinkViews)) {
        if (view) {
            view->setViewDelegate(nullptr);
            view->setDataSource(nullptr);
            view->setOutlineDataSource(nullptr);
        }
    }
}

void ResultLinkViews::buildByLinkView()
{
    m_byLinkView = qobject_cast<ResultTreeView*>(m_services.window.resultView(kByLinkView));
    Q_ASSERT(m_byLinkView);
    m_byLinkView->setTableColumns(CrwlByLinkDataSource::defaultColumns());
    // URL, status, redirect target; "Appears on" takes the rest.
    const int widths[] = { 380, 170, 240 };
    for (int column = 0; column < 3; ++column)
        m_byLinkView->setColumnWidth(column, widths[column]);
    m_byLinkView->setDataSource(m_byLink.get());
    m_byLink->setTableView(m_byLinkView);
    m_byLink->setCollectionOwner(m_services.hub.get());

    CrwlByLinkDataSource::Hooks hooks;
    hooks.toClip = [](const QString& text) { views::Pasteboard::general().setString(text); };
    hooks.openUrl = [this](const platform::Url& url) { m_services.urlOpener->openURL(QUrl(url.toString())); };
    m_inspectors = std::make_unique<views::InspectorWindows>(*m_byLink, m_services.urlOpener);
    hooks.inspect = [this](const std::shared_ptr<CrwlUrl>& record) { m_inspectors->inspect(record); };
    hooks.scrollRowToVisible
        = [this](qsizetype row) { m_byLinkView->scrollTo(m_byLinkView->model()->index(static_cast<int>(row), 0)); };
    m_byLink->setHooks(std::move(hooks));

    m_byLinkDelegate = std::make_unique<ByLinkViewDelegate>(*m_byLink, [this] { return selectedByLinkRows(); });
    m_byLinkView->setViewDelegate(m_byLinkDelegate.get());

    m_byLinkColumns = std::make_shared<ByLinkColumnManager>(&m_services.defaults);
    m_byLinkColumns->setTableView(m_byLinkView);
    keepColumnOrder(*m_byLinkView, m_byLinkColumns);
    auto* columns = new views::ColumnManagerButton(m_byLinkColumns);
    columns->setObjectName(QStringLiteral("byLinkColumnManagerButton"));
    m_services.window.addViewButton(kByLinkView, columns);

    // One row: copy, visit, inspect; several rows: copy. The application delegate adds the
    // recheck and mark-fixed items to both.
    auto* menu = new QMenu(m_byLinkView);
    auto* several = new QMenu(m_byLinkView);
    for (QMenu* target : { menu, several }) {
        target->addAction(tr("Copy URL"), this, [this] { m_byLink->copyURL(selectedByLinkRows()); });
        if (target == menu) {
            target->addAction(tr("Visit"), this, [this] { m_byLink->visitPageInOutlineView(selectedByLinkRows()); });
            QAction* inspect = target->addAction(
                tr("Inspect"), this, [this] { m_byLink->inspect(m_byLink->getSelectedItem(selectedByLinkRows())); });
            inspect->setObjectName(QStringLiteral("inspectMenuItem"));
        }
    }
    m_byLinkView->setMenu(menu);
    m_byLinkView->setTertiaryMenu(several);
    connect(
        m_byLinkView, &QAbstractItemView::doubleClicked, this, [this] { m_byLink->doubleClick(selectedByLinkRows()); });
}

void ResultLinkViews::joinTabs(ResultTabs& tabs)
{
    tabs.setLinkView(1,
        ResultTabs::linkViewOf(
            *m_byLink,
            [this] {
                m_byLink->clear();
                m_byLink->setCollection(m_services.hub->linksCollection());
            },
            [this] { return !m_services.hub->linksCollection().isEmpty(); }));

    auto* byPageView = qobject_cast<qfOutlineView*>(m_services.window.resultView(QStringLiteral("byPageOutlineView")));
    auto* byStatusView
        = qobject_cast<qfOutlineView*>(m_services.window.resultView(QStringLiteral("byStatusOutlineView")));
    auto* flatView = qobject_cast<crawlmereTableView*>(m_services.window.resultView(QStringLiteral("flatView")));
    Q_ASSERT(byPageView && byStatusView && flatView);
    LinkViewMenus::attachByPage(*byPageView, *m_byPage);
    LinkViewMenus::attachByStatus(*byStatusView, *m_byStatus);
    LinkViewMenus::attachFlat(*flatView, *m_flat);
    for (ResultTreeView* view : { static_cast<ResultTreeView*>(byPageView), static_cast<ResultTreeView*>(byStatusView),
             static_cast<ResultTreeView*>(flatView) })
        setStartingWidths(*view);
    m_byPage->setOpener(m_inspectors.get());
    m_byStatus->setOpener(m_inspectors.get());
    m_flat->setOpener(m_inspectors.get());
    m_otherLinkViews = { byPageView, byStatusView, flatView };

    m_byPageColumns = std::make_shared<ByPageColumnManager>(&m_services.defaults);
    m_byPageColumns->setTableView(byPageView);
    m_byStatusColumns = std::make_shared<ByStatusColumnManager>(&m_services.defaults);
    m_byStatusColumns->setTableView(byStatusView);
    m_flatColumns = std::make_shared<FlatViewColumnManager>(&m_services.defaults);
    m_flatColumns->setTableView(flatView);
    const std::pair<QTreeView*, std::shared_ptr<qfColumnManager>> buttons[] = {
        { byPageView, m_byPageColumns },
        { byStatusView, m_byStatusColumns },
        { flatView, m_flatColumns },
    };
    for (const auto& [view, manager] : buttons) {
        keepColumnOrder(*view, manager);
        auto* columns = new views::ColumnManagerButton(manager);
        columns->setObjectName(view->objectName().remove(QStringLiteral("OutlineView")).remove(QStringLiteral("View"))
            + QStringLiteral("ColumnManagerButton"));
        m_services.window.addViewButton(view->objectName(), columns);
    }

    const auto hasOccurrences = [this] { return !m_services.hub->instanceCollection().empty(); };
    ResultTabs::LinkView byPage = ResultTabs::linkViewOf(
        *m_byPage,
        [this] {
            m_byPage->clear();
            m_byPage->setInternalPageArray(m_services.hub->internalPagesCollection());
        },
        [this] { return m_services.hub->pageCount() > 0; });
    byPage.filterReloads = true;
    tabs.setLinkView(2, std::move(byPage));
    tabs.setLinkView(3,
        ResultTabs::linkViewOf(
            *m_byStatus,
            [this] {
                m_byStatus->clear();
                m_byStatus->setCollection(m_occurrences.items());
            },
            hasOccurrences));
    tabs.setLinkView(4,
        ResultTabs::linkViewOf(
            *m_flat,
            [this] {
                m_flat->clear();
                m_flat->setCollection(m_occurrences.items());
            },
            hasOccurrences));
}

void ResultLinkViews::keepColumnOrder(QTreeView& view, const std::shared_ptr<qfColumnManager>& manager)
{
    // A column dragged to another place is kept with the rest of the view's column choice.
    connect(view.header(), &QHeaderView::sectionMoved, this, [weak = std::weak_ptr<qfColumnManager>(manager)] {
        if (const auto columns = weak.lock())
            columns->columnsMoved();
    });
}

void ResultLinkViews::setUpColumns()
{
    m_flatColumns->setUpColumns();
    m_byLinkColumns->setUpColumns();
    m_byPageColumns->setUpColumns();
    m_byStatusColumns->setUpColumns();
}

void ResultLinkViews::clearForNewScan()
{
    if (m_byLinkView)
        m_byLinkView->clearSortDescriptors();
    m_byPage->clear();
    m_byStatus->clear();
    m_flat->clear();
    m_occurrences.clear();
}

void ResultLinkViews::setSearchText(const QString& text)
{
    m_byLink->setSearchText(text);
    m_byPage->setSearchText(text);
    m_byStatus->setSearchText(text);
    m_flat->setSearchText(text);
}

void ResultLinkViews::setFilterTag(int tag)
{
    m_byLink->setLinksFilterTag(tag);
    m_byPage->setFilterTag(tag);
    m_byStatus->setFilterTag(tag);
}

void ResultLinkViews::expandOutline(const QString& tab, bool expand)
{
    if (tab == QLatin1String("2"))
        expand ? m_byPage->expandAllButton() : m_byPage->collapseAllButton();
    else if (tab == QLatin1String("3"))
        expand ? m_byStatus->expandAllButton() : m_byStatus->collapseAllButton();
}

QList<qsizetype> ResultLinkViews::selectedByLinkRows() const
{
    QList<qsizetype> rows;
    for (const QModelIndex& index : m_byLinkView->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

} // namespace crawlmere::app
