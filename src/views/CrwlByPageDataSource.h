// The by-page result tab's data source: the scan's internal pages, each with the links on it
// that pass the current filter.
#pragma once

#include "engine/CrwlURLDelegate.h"
#include "engine/qfDataSource.h"
#include "platform/LargeMemory.h"
#include "views/OutlineDataSource.h"
#include "views/ResultViewDelegate.h"
#include "views/ViewColumn.h"
#include "views/detail/IdentifierCells.h"
#include "views/detail/LinkViewFilter.h"
#include "views/detail/OccurrenceCell.h"

#include <QHash>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class CrwlLinkInstance;
class CrwlUrl;

namespace crawlmere::views {

class LinkViewOpener;
enum class ByPageLinkCell : std::uint8_t;

/// Top-level rows are the pages (`CrwlUrl`) with at least one visible link, their children those
/// links (`CrwlLinkInstance`). The rows are a snapshot rebuilt by `filter()`, `reloadData()` and
/// a header click, and sorted then: pages by "linkurl" when a sort descriptor names it, each
/// page's links by the first descriptor among the link keys. The pages are shared with the
/// caller, not copied; the base's collection is not used.
///
/// Lifetimes: the outline, the opener and the pasteboard are not owned and must outlive this
/// object or be unset first. Main thread only.
class CrwlByPageDataSource : public qfDataSource,
                             public OutlineDataSource,
                             public ResultViewDelegate,
                             public detail::LinkViewInputs {
public:
    using Item = qfDataSource::Item;

    CrwlByPageDataSource();
    ~CrwlByPageDataSource() override;

    /// The by-page outline's columns.
    static const ViewColumns& columns();

    /// The `byPageOutlineView` widget.
    void setOutlineView(TableView* outline) { byPageOutlineView = outline; }
    TableView* getOutlineView() const { return byPageOutlineView; }
    /// What expand all / collapse all do to the outline (true: expand); set by the window.
    void setOutlineExpander(std::function<void(bool)> expander) { outlineExpander = std::move(expander); }

    /// Base clear, no pages, the outline's sort descriptors cleared, the outline reloaded.
    void clear() override;
    /// Keeps the pages (shared); the rows are built by the next `filter()` or `reloadData()`.
    void setInternalPageArray(CrwlUrlList pages);
    /// Number of pages given (0 before `setInternalPageArray`).
    qsizetype getCount() const { return internalPageArray ? qsizetype(internalPageArray->size()) : 0; }
    /// Rebuilds the rows and reloads the outline.
    void filter();
    void reloadData();

    /// Visible when nothing filters; hidden with bad-links-only on and a target that is not a bad
    /// link; else the target's visible flag. (The link text plays no part here.)
    bool shouldBeVisible(const CrwlLinkInstance& link) const;
    /// Pages a rebuild gives each thread at least: fewer pages are read on the calling thread
    /// alone.
    static constexpr qsizetype kPagesPerPart = 2'048;
    qsizetype countVisibleItemsforThisPage(const CrwlUrl& page) const;
    /// NO without links; else whether a link's target has its visible flag set (and, with
    /// bad-links-only on, is in the bad collection).
    bool pageHasAtLeastOneVisibleItem(const CrwlUrl& page) const;
    /// Rebuilds the rows; the number of pages listed.
    qsizetype countPagesWithVisibleItems();
    /// The listed page at `index`; null when out of range.
    std::shared_ptr<CrwlUrl> getNthPageWithVisibleItems(qsizetype index) const;
    /// The visible links listed under a page, in display order (empty for a page not listed).
    QList<Item> visibleLinksOfPage(const CrwlUrl& page) const;

    // Actions on the selected rows, given top to bottom.
    /// The selected pages and links.
    QList<Item> getSelectedFromByPageView(const QList<Item>& selected) const;
    /// A page: the page inspector; a link: the link inspector on its target.
    void doubleClickInOutlineView(const QList<Item>& selected);
    void locateInOutlineView(const QList<Item>& selected);
    /// A link row: the highlighter; a page row or none: nothing but a log line.
    void highlightLinkInOutlineView(const QList<Item>& selected);
    /// The address the visit action opens: a page's URL, or the URL of the page holding a link;
    /// empty without a selection.
    QString visitPageInOutlineView(const QList<Item>& selected) const;
    void expandAllButton();
    void collapseAllButton();

    static std::optional<CrwlLabelColour> labelForItem(const Item& item);
    /// The text of a column for a page or link row.
    static QString cellValue(const QString& identifier, const CrwlDataObject* item);

    // OutlineDataSource
    qsizetype outlineViewNumberOfChildrenOfItem(TableView& view, const Item& item) override;
    Item outlineViewChildOfItem(TableView& view, qsizetype index, const Item& item) override;
    std::optional<ChildRows> outlineViewChildRowsOfItem(TableView& view, const Item& item) override;
    bool outlineViewIsItemExpandable(TableView& view, const Item& item) override;
    QVariant outlineViewObjectValue(TableView& view, const TableColumn& column, const Item& item) override;
    /// Rebuilds and sorts the rows by the outline's sort descriptors and reloads.
    void outlineViewDidClickTableColumn(TableView& view, const TableColumn& column) override;
    // ResultViewDelegate
    std::optional<CrwlLabelColour> tableViewLabelColorForRow(ResultTreeView& view, const QModelIndex& row) override;

private:
    // A listed page and where its links lie in `visibleLinks`.
    struct PageRow {
        std::shared_ptr<CrwlUrl> page;
        qsizetype first = 0;
        qsizetype count = 0;
    };
    bool visibleInPass(const CrwlLinkInstance& link, const detail::LinkViewFilter::Pass& pass) const;
    void rebuild(const QList<SortDescriptor>& descriptors);
    /// Lists the pages with a visible link and their links, unsorted.
    void gatherVisibleLinks(const detail::LinkViewFilter::Pass& pass);
    const Item* linksOf(const PageRow& row) const { return visibleLinks->data() + row.first; }
    /// Orders the links under each listed page by the row getter `getter`.
    void sortLinksOfPages(const QString& getter, ViewComparison comparison, bool ascending);
    const PageRow* rowOf(const CrwlDataObject* page) const;

    TableView* byPageOutlineView = nullptr;
    std::function<void(bool)> outlineExpander;
    std::optional<CrwlUrlList> internalPageArray;
    std::vector<PageRow> pagesNeedingAttention;
    // The visible links of the listed pages, page after page. Outline models read their rows in
    // place and share the array, so a rebuild fills a new one while another holder remains.
    using LinkArray = std::vector<Item, platform::LargeArrayAllocator<Item>>;
    std::shared_ptr<LinkArray> visibleLinks;
    QHash<const CrwlDataObject*, qsizetype> rowOfPage;
    // The last page looked up: a view asks about one page several times in a row.
    mutable const CrwlDataObject* lastPage = nullptr;
    mutable const PageRow* lastPageRow = nullptr;
    // What a link row shows for a column identifier.
    detail::IdentifierCells<detail::LinkViewCell<ByPageLinkCell>> linkCells;
};

} // namespace crawlmere::views
