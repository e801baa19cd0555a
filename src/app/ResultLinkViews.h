// The four link views of the result tabs (by link, by page, by status, flat): their data
// sources, the by-link view's delegate and menus, the column managers and the inspectors.
#pragma once

#include "app/ResultsServices.h"
#include "app/SharedOccurrenceList.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <memory>

class ByLinkColumnManager;
class ByPageColumnManager;
class ByStatusColumnManager;
class CrwlByLinkDataSource;
class FlatViewColumnManager;
class QTreeView;
class qfColumnManager;

namespace crawlmere::views {
class CrwlByPageDataSource;
class CrwlByStatusDataSource;
class CrwlFlatViewDataSource;
class InspectorWindows;
class ResultTabs;
class ResultTreeView;
class ResultViewDelegate;
} // namespace crawlmere::views

namespace crawlmere::app {

/// Made with the window: the by-link view (tab "1") gets its columns, data source, delegate,
/// menus and column button at once; `joinTabs` does the same for the by-page, by-status and
/// flat views (tabs "2" to "4") and tells the tabs how each is filled from the hub. The by-page
/// view shows the hub's internal pages; the by-status and flat views share one list of the
/// hub's occurrences.
///
/// The services must outlive this object; the views are detached from their data sources when it
/// goes. Main thread only.
class ResultLinkViews final : public QObject {
    Q_OBJECT
public:
    explicit ResultLinkViews(const ResultsServices& services);
    ~ResultLinkViews() override;

    /// Attaches the by-page, by-status and flat views and hands the four views to `tabs`, which
    /// must outlive this object.
    void joinTabs(views::ResultTabs& tabs);
    /// The column managers apply the stored column choices, in the order flat view, by link,
    /// by page, by status.
    void setUpColumns();
    /// The views no longer call back into the data sources (views outlive this object).
    void detachViews();
    /// Before a new scan: the by-link view's sort order, the other three views' rows and the
    /// shared occurrences go.
    void clearForNewScan();
    void setSearchText(const QString& text);
    /// The links filter's kind: the by-link, by-page and by-status views follow it.
    void setFilterTag(int tag);
    /// Expand all (true) or collapse all in the outline of `tab` ("2" or "3"); nothing for
    /// another tab.
    void expandOutline(const QString& tab, bool expand);
    /// Brings the shared occurrences up to the hub a slice at a time during a scan.
    void keepOccurrencesInStep() { m_occurrences.keepInStep(); }

    CrwlByLinkDataSource& byLink() const { return *m_byLink; }
    views::CrwlByPageDataSource& byPage() const { return *m_byPage; }
    views::CrwlByStatusDataSource& byStatus() const { return *m_byStatus; }
    views::CrwlFlatViewDataSource& flat() const { return *m_flat; }
    std::shared_ptr<qfColumnManager> byLinkColumns() const;
    std::shared_ptr<qfColumnManager> flatColumns() const;
    views::InspectorWindows& inspectors() const { return *m_inspectors; }

private:
    void buildByLinkView();
    /// Saves `manager`'s choice whenever the user drags one of `view`'s columns elsewhere.
    void keepColumnOrder(QTreeView& view, const std::shared_ptr<qfColumnManager>& manager);
    QList<qsizetype> selectedByLinkRows() const;

    const ResultsServices m_services;
    // Destroyed in reverse order: each view's helpers go before the data source they serve.
    std::unique_ptr<CrwlByLinkDataSource> m_byLink;
    std::unique_ptr<views::ResultViewDelegate> m_byLinkDelegate;
    std::unique_ptr<views::InspectorWindows> m_inspectors;
    std::shared_ptr<ByLinkColumnManager> m_byLinkColumns;
    QPointer<views::ResultTreeView> m_byLinkView;
    QList<QPointer<views::ResultTreeView>> m_otherLinkViews;
    std::unique_ptr<views::CrwlByPageDataSource> m_byPage;
    std::unique_ptr<views::CrwlByStatusDataSource> m_byStatus;
    std::unique_ptr<views::CrwlFlatViewDataSource> m_flat;
    std::shared_ptr<ByPageColumnManager> m_byPageColumns;
    std::shared_ptr<ByStatusColumnManager> m_byStatusColumns;
    std::shared_ptr<FlatViewColumnManager> m_flatColumns;
    SharedOccurrenceList m_occurrences;
};

} // namespace crawlmere::app
