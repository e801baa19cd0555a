// The application controller's selection actions (recheck, recheck pages, mark fixed) on the front
// result view, their menu items, the locate window and marking a link fixed.
#include "app/AppDelegate.h"

#include "app/MainTabView.h"
#include "app/MainWindow.h"
#include "app/ResultsController.h"
#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "engine/Z12Ara.h"
#include "views/CrwlByLinkDataSource.h"
#include "views/CrwlByPageDataSource.h"
#include "views/CrwlByStatusDataSource.h"
#include "views/CrwlFlatViewDataSource.h"
#include "views/InspectorWindows.h"
#include "views/LocateText.h"
#include "views/ResultTabs.h"
#include "views/ResultTreeView.h"
#include "views/SelectionActions.h"
#include "views/qfOutlineView.h"

#include <QAction>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <algorithm>

namespace crawlmere::app {

using views::SelectionActions;

namespace {

// The views of the link tabs "1" to "4", by tab number.
const char* const kLinkViewNames[] = { nullptr, "byLinkView", "byPageOutlineView", "byStatusOutlineView", "flatView" };

const char* const kRecheckItem = "recheckMenuItem";
const char* const kRecheckPagesItem = "recheckMultipleParentsMenuItem";
const char* const kMarkFixedItem = "markAsFixedMenuItem";

} // namespace

void AppDelegate::locate(const std::shared_ptr<CrwlLinkInstance>& occurrence)
{
    if (!occurrence)
        return;
    if (!m_locateWindow) {
        m_locateWindow = new QWidget(m_window, Qt::Window);
        m_locateWindow->setObjectName(QStringLiteral("locateWindow"));
        m_locateWindow->setWindowTitle(QObject::tr("Locate"));
        m_locateWindow->resize(640, 420);
        m_locateView = new QTextBrowser(m_locateWindow);
        m_locateView->setObjectName(QStringLiteral("locateView"));
        m_locateView->setOpenExternalLinks(true);
        auto* layout = new QVBoxLayout(m_locateWindow);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(m_locateView);
    }
    const bool dark = m_locateView->palette().color(QPalette::Base).lightness() < 128;
    const QString text = views::LocateText::locate(*occurrence, dark);
    if (text.isEmpty())
        return;
    m_locateView->setHtml(text);
    if (QScreen* screen = m_locateWindow->screen()) {
        QRect frame = m_locateWindow->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        m_locateWindow->move(frame.topLeft());
    }
    m_locateWindow->show();
    m_locateWindow->raise();
    m_locateWindow->activateWindow();
}

void AppDelegate::locateItem(const qfDataSource::Item& item)
{
    if (auto occurrence = std::dynamic_pointer_cast<CrwlLinkInstance>(item)) {
        locate(occurrence);
    } else if (auto page = std::dynamic_pointer_cast<CrwlUrl>(item)) {
        // A page is located through the way in that ends its shortest route: a link, or the
        // redirect of a page reached through one.
        if (auto way = views::LocateText::wayInto(*page))
            locate(way);
    }
}

void AppDelegate::markThisUrlAsFixed(const std::shared_ptr<CrwlUrl>& url)
{
    if (!m_hub || !url)
        return;
    m_hub->markThisUrlAsFixed(url);
    if (m_results)
        m_results->resultTabs().setAllTabsToNeedFilteringAndFilterAppropriateDataSource();
}

int AppDelegate::frontLinkTab() const
{
    if (!m_window || !m_results)
        return 0;
    const int tab = m_window->mainTabView()->selectedIdentifier().toInt();
    return tab >= 1 && tab <= 4 ? tab : 0;
}

QList<qfDataSource::Item> AppDelegate::selectedRowsOf(int tab) const
{
    auto* view = qobject_cast<views::ResultTreeView*>(m_window->resultView(QLatin1String(kLinkViewNames[tab])));
    if (!view)
        return {};
    if (tab != 1)
        return view->selectedItems();
    // The by-link table's rows are the data source's visible records, by row number.
    QList<qsizetype> rows;
    for (const QModelIndex& index : view->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    QList<qfDataSource::Item> records;
    for (const std::shared_ptr<CrwlUrl>& record : m_results->byLinkDataSource().getSelectedFromFlatView(rows))
        records.append(record);
    return records;
}

void AppDelegate::recheckMenuItem()
{
    const int tab = frontLinkTab();
    if (!m_hub || tab == 0)
        return;
    SelectionActions::recheckLinks(*m_hub, SelectionActions::targetsOf(selectedRowsOf(tab), tab == 1));
}

void AppDelegate::markAsFixedMenuItem()
{
    const int tab = frontLinkTab();
    if (!m_hub || tab == 0)
        return;
    SelectionActions::markFixed(*m_hub, SelectionActions::targetsOf(selectedRowsOf(tab), tab == 1));
    if (tab == 2)
        m_results->byPageDataSource().reloadData();
    else if (tab == 3)
        m_results->byStatusDataSource().filter();
    m_results->resultTabs().setAllTabsToNeedFilteringAndFilterAppropriateDataSource();
}

void AppDelegate::recheckMultipleParentsMenuItem()
{
    const int tab = frontLinkTab();
    if (tab == 4) {
        recheckParentPageInFlatView();
        return;
    }
    if (!m_hub || (tab != 1 && tab != 3))
        return;
    recheckPagesOf(tab);
}

void AppDelegate::recheckParentPageInFlatView()
{
    if (!m_hub || frontLinkTab() != 4)
        return;
    recheckPagesOf(4);
}

void AppDelegate::recheckPagesOf(int tab)
{
    // The pages' links are read afresh: every view and the status line show them once the last
    // page has loaded. The controller may be gone by then.
    QPointer<ResultsController> results = m_results;
    SelectionActions::recheckPages(m_hub, SelectionActions::parentsOf(selectedRowsOf(tab)), [results] {
        if (!results)
            return;
        results->resultTabs().forcePopulateAllDataSources();
        results->updateStatus(nullptr);
    });
}

void AppDelegate::updateSelectionMenuItems()
{
    if (!m_window)
        return;
    const int tab = frontLinkTab();
    // Each acts on the selected rows: with none it would do nothing.
    QTreeView* view = tab != 0 ? m_window->resultView(QLatin1String(kLinkViewNames[tab])) : nullptr;
    const bool selected = view && view->selectionModel() && view->selectionModel()->hasSelection();
    const bool mayRecheck = selected && m_hub && SelectionActions::mayRecheck(*m_hub);
    m_window->menuItem(QLatin1String(kRecheckItem))->setEnabled(mayRecheck);
    m_window->menuItem(QLatin1String(kRecheckPagesItem))->setEnabled((tab == 1 || tab == 3 || tab == 4) && mayRecheck);
    m_window->menuItem(QLatin1String(kMarkFixedItem))->setEnabled(selected && m_hub);
}

void AppDelegate::installSelectionMenuItems()
{
    if (!m_window || !m_results || m_window->menuItem(QLatin1String(kRecheckItem)))
        return;
    auto* scan = m_window->menuBar()->findChild<QMenu*>(QStringLiteral("scanMenu"));
    if (!scan)
        return;
    const auto make = [&](const char* name, const QString& title, void (AppDelegate::*act)()) {
        auto* item = new QAction(title, scan);
        item->setObjectName(QLatin1String(name));
        QObject::connect(item, &QAction::triggered, scan, [this, act] { (this->*act)(); });
        return item;
    };
    QAction* recheck = make(kRecheckItem, QObject::tr("Recheck"), &AppDelegate::recheckMenuItem);
    QAction* pages = make(kRecheckPagesItem, QObject::tr("Recheck page"), &AppDelegate::recheckMultipleParentsMenuItem);
    QAction* fixed = make(kMarkFixedItem, QObject::tr("Mark as fixed"), &AppDelegate::markAsFixedMenuItem);
    scan->addSeparator();
    scan->addActions({ recheck, pages, fixed });
    QObject::connect(scan, &QMenu::aboutToShow, scan, [this] { updateSelectionMenuItems(); });

    // The same items on the context menus of the rows they act on.
    const auto addTo = [this](QMenu* menu, QList<QAction*> items) {
        if (!menu)
            return;
        menu->addSeparator();
        menu->addActions(items);
        QObject::connect(menu, &QMenu::aboutToShow, menu, [this] { updateSelectionMenuItems(); });
    };
    const auto view = [this](int tab) {
        return qobject_cast<views::ResultTreeView*>(m_window->resultView(QLatin1String(kLinkViewNames[tab])));
    };
    const auto outline = [this](int tab) {
        return qobject_cast<qfOutlineView*>(m_window->resultView(QLatin1String(kLinkViewNames[tab])));
    };
    if (auto* byLink = view(1)) {
        addTo(byLink->menu(), { recheck, pages, fixed });
        addTo(byLink->tertiaryMenu(), { recheck, pages, fixed });
    }
    if (auto* byPage = outline(2)) {
        addTo(byPage->secondaryMenu(), { recheck, fixed });
        addTo(byPage->tertiaryMenu(), { recheck, fixed });
    }
    if (auto* byStatus = outline(3)) {
        addTo(byStatus->secondaryMenu(), { recheck, pages, fixed });
        addTo(byStatus->tertiaryMenu(), { recheck, pages, fixed });
    }
    if (auto* flat = view(4)) {
        addTo(flat->menu(), { recheck, pages, fixed });
        addTo(flat->tertiaryMenu(), { recheck, pages, fixed });
    }
    updateSelectionMenuItems();

    // The views' locate items reach the locate window through their opener: the window's, or
    // one of the delegate's own when the window installed none.
    const auto locator = [this](const qfDataSource::Item& item) { locateItem(item); };
    const auto serve = [&](views::LinkViewOpener* opener, auto& source) {
        if (!opener) {
            if (!m_openers)
                m_openers = std::make_unique<views::InspectorWindows>(*this, m_urlOpener);
            source.setOpener(m_openers.get());
            opener = m_openers.get();
        }
        if (auto* windows = dynamic_cast<views::InspectorWindows*>(opener))
            windows->setLocator(locator);
    };
    serve(m_results->byPageDataSource().getOpener(), m_results->byPageDataSource());
    serve(m_results->byStatusDataSource().getOpener(), m_results->byStatusDataSource());
    serve(m_results->flatViewDataSource().getOpener(), m_results->flatViewDataSource());
}

void AppDelegate::forgetOwnOpener()
{
    const auto forget = [this](auto& source) {
        if (source.getOpener() == m_openers.get())
            source.setOpener(nullptr);
    };
    forget(m_results->byPageDataSource());
    forget(m_results->byStatusDataSource());
    forget(m_results->flatViewDataSource());
}

} // namespace crawlmere::app
