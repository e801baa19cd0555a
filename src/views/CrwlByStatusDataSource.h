// The by-status result tab's data source: the link occurrences grouped under the status text of
// the URL they point to.
#pragma once

#include "views/OutlineDataSource.h"
#include "views/ResultViewDelegate.h"
#include "views/StatusGroup.h"
#include "views/ViewColumn.h"
#include "views/detail/IdentifierCells.h"
#include "views/detail/LinkViewFilter.h"
#include "views/detail/OccurrenceCell.h"

#include <cstdint>
#include <functional>
#include <memory>

class CrwlLinkInstance;
class CrwlUrl;

namespace crawlmere::views {

class LinkViewOpener;
enum class ByStatusCell : std::uint8_t;

/// Top-level rows are `StatusGroup`s in first-seen order (or sorted by the status column);
/// their children the visible occurrences with that status. The groups are rebuilt by
/// `filter()` and `changeRedirectDisplayMethod()`, which then apply the outline's current sort
/// again, so the rows always match the header. A group keeps its row object across rebuilds
/// while its text stays, so open and selected groups stay so.
///
/// Lifetimes: the outline, the opener and the pasteboard are not owned and must outlive this
/// object or be unset first; the occurrences are shared with the hub. Main thread only.
class CrwlByStatusDataSource : public OutlineDataSource, public ResultViewDelegate, public detail::LinkViewInputs {
public:
    CrwlByStatusDataSource();
    ~CrwlByStatusDataSource() override;

    /// The by-status outline's columns.
    static const ViewColumns& columns();

    /// The `byStatusOutlineView` widget.
    void setOutlineView(TableView* outline) { byStatusOutlineView = outline; }
    TableView* getOutlineView() const { return byStatusOutlineView; }
    /// What expand all / collapse all do to the outline (true: expand); set by the window.
    void setOutlineExpander(std::function<void(bool)> expander) { outlineExpander = std::move(expander); }

    /// Drops the collection and the groups, clears the outline's sort descriptors, reloads.
    void clear();
    /// Keeps the occurrences (shared, not copied); the groups are built by the next `filter()`.
    void setCollection(QList<qfDataSource::Item> occurrences);
    qsizetype getCount() const { return instanceCollection.size(); }
    /// Regroups, applies the current sort and reloads.
    void filter();
    /// The same, after the setting that picks a redirected URL's status text has changed.
    void changeRedirectDisplayMethod();
    /// Builds the groups from the collection (no sort, no reload).
    void buildFullByStatusDictionary();
    /// Visible when nothing filters; hidden with bad-links-only on and a target that is not a bad
    /// link; else shown when the link text holds the search text (with case); else the target's
    /// visible flag.
    bool shouldBeVisible(const CrwlLinkInstance& occurrence) const;
    /// Occurrences a regrouping gives each thread at least: fewer are grouped on the calling
    /// thread alone.
    static constexpr qsizetype kRowsPerPart = 32'768;
    /// The groups in display order.
    const QList<std::shared_ptr<StatusGroup>>& getStatusRows() const { return fullStatusArray; }
    /// The group of a status text; null when none.
    std::shared_ptr<StatusGroup> groupForStatus(const QString& text) const;
    /// With non-zero options nothing. "statusDescription" orders the groups ignoring case
    /// (reversed for descending); another key sorts every group by it, ignoring case.
    void sortByStatusByColumn(const QString& key, bool ascending, int options);
    void reloadData();

    // Actions on the selected rows, given top to bottom; status rows are passed over.
    QList<std::shared_ptr<CrwlLinkInstance>> getSelectedFromByStatusView(
        const QList<qfDataSource::Item>& selected) const;
    /// The targets of the selected occurrences (marking them is the caller's business).
    QList<std::shared_ptr<CrwlUrl>> markAsFixedMenuItem(const QList<qfDataSource::Item>& selected) const;
    void copyUrlFromByStatusView(const QList<qfDataSource::Item>& selected);
    void copyAppearsOnFromByStatusView(const QList<qfDataSource::Item>& selected);
    void copyRedirFromByStatusView(const QList<qfDataSource::Item>& selected);
    void locateInOutlineView(const QList<qfDataSource::Item>& selected);
    void highlightInOutlineView(const QList<qfDataSource::Item>& selected);
    /// An occurrence row: the link inspector on its target; a status row: nothing.
    void doubleClickInOutlineView(const QList<qfDataSource::Item>& selected);
    void expandAllButton();
    void collapseAllButton();
    /// Keeps an object alive as long as this data source.
    void addToRetainArray(std::shared_ptr<void> object) { retainArray.append(std::move(object)); }

    /// The label of a row: an occurrence by its target, a status row none.
    static std::optional<CrwlLabelColour> labelForItem(const qfDataSource::Item& item);
    /// The text of a column for a row object (status row or occurrence).
    static QString cellValue(const QString& identifier, const CrwlDataObject* item);

    // OutlineDataSource
    qsizetype outlineViewNumberOfChildrenOfItem(TableView& view, const qfDataSource::Item& item) override;
    qfDataSource::Item outlineViewChildOfItem(
        TableView& view, qsizetype index, const qfDataSource::Item& item) override;
    std::optional<ChildRows> outlineViewChildRowsOfItem(TableView& view, const qfDataSource::Item& item) override;
    bool outlineViewIsItemExpandable(TableView& view, const qfDataSource::Item& item) override;
    /// A status row's title is its status text, shown across the row.
    QString outlineViewRowTitleOfItem(TableView& view, const qfDataSource::Item& item) override;
    bool outlineViewHasRowTitles() const override { return true; }
    QVariant outlineViewObjectValue(
        TableView& view, const TableColumn& column, const qfDataSource::Item& item) override;
    /// Sorts by the outline's first sort descriptor and reloads.
    void outlineViewDidClickTableColumn(TableView& view, const TableColumn& column) override;
    // ResultViewDelegate
    std::optional<CrwlLabelColour> tableViewLabelColorForRow(ResultTreeView& view, const QModelIndex& row) override;

private:
    /// Whether an occurrence with this (locked) target is shown in the pass.
    bool visibleInPass(const CrwlLinkInstance& occurrence, const CrwlUrl* target,
        const detail::LinkViewFilter::Pass& pass, detail::LinkTextHits& linkTextHits) const;
    void applySort(const QList<SortDescriptor>& descriptors);
    void toClip(const QString& text);
    std::shared_ptr<CrwlLinkInstance> firstOccurrence(const QList<qfDataSource::Item>& selected) const;

    TableView* byStatusOutlineView = nullptr;
    std::function<void(bool)> outlineExpander;
    QList<qfDataSource::Item> instanceCollection;
    QList<std::shared_ptr<StatusGroup>> fullStatusArray;
    QList<std::shared_ptr<void>> retainArray;
    // What an occurrence row shows for a column identifier.
    detail::IdentifierCells<detail::LinkViewCell<ByStatusCell>> statusCells;
    // The targets the last regrouping met: room made for them at the next one.
    qsizetype targetsLastGrouped = 0;
};

} // namespace crawlmere::views
