// The flat result tab's data source: one row per link occurrence of the scan, filtered by the
// by-link view's flags, the link text and bad-links-only, with a flat CSV writer.
#pragma once

#include "engine/qfDataSource.h"
#include "views/ResultViewDelegate.h"
#include "views/TableExportWriter.h"
#include "views/ViewColumn.h"
#include "views/detail/IdentifierCells.h"
#include "views/detail/LinkViewFilter.h"
#include "views/detail/OccurrenceCell.h"

#include <cstdint>
#include <functional>
#include <optional>

class CrwlLinkInstance;
class CrwlUrl;

namespace crawlmere::views {

class LinkViewOpener;
enum class FlatViewCell : std::uint8_t;

/// Rows are the occurrences (`CrwlLinkInstance`) of `collection` whose visible flag the last
/// `filter()` set, in collection order; sorting reorders the collection itself. The collection
/// is the hub's occurrence list, shared with the by-status view (an implicitly shared `QList`).
///
/// Lifetimes: the table, the opener and the pasteboard are not owned and must outlive this
/// object or be unset first. Main thread only (debug builds assert it at every entry): an export
/// reads its cells here and builds its file from that snapshot elsewhere.
class CrwlFlatViewDataSource : public qfDataSource, public ResultViewDelegate, public detail::LinkViewInputs {
public:
    CrwlFlatViewDataSource();
    ~CrwlFlatViewDataSource() override;

    /// The flat table's columns.
    static const ViewColumns& columns();

    /// The `tableView` widget: the table this data source reloads and sorts.
    void setTableView(TableView* table) { tableView = table; }
    TableView* getTableView() const { return tableView; }

    /// Base clear, the table's sort descriptors cleared, the table reloaded, the bad collection
    /// dropped.
    void clear() override;
    /// Sets every occurrence's visible flag by `shouldBeVisible` and makes the rows the visible
    /// occurrences in collection order; the first pass after `clear` also gathers the bad
    /// collection. Does not reload.
    void filter();
    void reloadData();
    /// Hidden with bad-links-only on and a target that is not a bad link; else shown when the
    /// link text holds the search text (with case); else the target's visible flag.
    bool shouldBeVisible(const CrwlLinkInstance& occurrence) const;
    /// Rows a filter pass gives each thread at least: a shorter collection is filtered on the
    /// calling thread alone.
    static constexpr qsizetype kRowsPerPart = 32'768;
    /// The occurrences of bad targets, gathered once per scan (kept when statuses change later).
    const QList<Item>& getBadCollection();

    /// The text of a column for an occurrence (the column table's identifiers; any other asks
    /// the target's `getFieldByName`). Never null.
    static QString getColumnValue(const QString& identifier, const CrwlLinkInstance& occurrence);

    /// Writes the visible columns of the table, for every occurrence of the collection (or of
    /// the bad collection), visible or not, to `path` atomically as UTF-8, a run of rows at a time.
    /// An empty source writes nothing and answers true; a failed write is logged and answers
    /// false.
    bool exportLinksAsFlatCSVAndSaveTo(const QString& path, bool badLinks);
    /// The text `exportLinksAsFlatCSVAndSaveTo` writes.
    QString flatCSV(bool badLinks);
    /// Makes that text a run of whole rows at a time and hands each run to `take`, stopping
    /// when it answers false; answers whether every run was taken. An empty source hands on
    /// nothing.
    bool writeFlatCSV(bool badLinks, const TableExportWriter::SliceSink& take);

    // Actions on the selected rows, given top to bottom; an empty selection does nothing.
    /// With a selected row, the link inspector on its target.
    void doubleClick(const QList<Item>& selected);
    void locateInFlatView(const QList<Item>& selected);
    void highlightInFlatView(const QList<Item>& selected);
    void copyUrlFromFlatView(const QList<Item>& selected);
    void copyAppearsOnFromFlatView(const QList<Item>& selected);
    void copyRedirFromFlatView(const QList<Item>& selected);
    /// Logs "flatViewDS:" and the collection's size.
    void reportStatus() const;

    // qfDataSource
    void tableViewSortDescriptorsDidChange(TableView& table) override;
    QVariant tableViewObjectValue(TableView& table, const TableColumn& column, qsizetype row) override;
    int tableViewLabelColorForRow(TableView& table, qsizetype row) override;
    QVariant tableViewObjectValueForItem(TableView& table, const TableColumn& column, const Item& item) override;
    qsizetype numberOfRowsInTableView(TableView& table) override;
    int tableViewLabelColorForItem(TableView& table, const Item& item) override;
    // ResultViewDelegate
    std::optional<CrwlLabelColour> tableViewLabelColorForRow(ResultTreeView& view, const QModelIndex& row) override;

private:
    /// Whether an occurrence with this (locked) target and bad-collection verdict is shown.
    static bool visibleInPass(const CrwlLinkInstance& occurrence, const CrwlUrl* target, bool bad,
        const detail::LinkViewFilter::Pass& pass, detail::LinkTextHits& linkTextHits);
    void toClip(const QString& text);
    static std::shared_ptr<CrwlLinkInstance> firstOccurrence(const QList<Item>& selected);

    TableView* tableView = nullptr;
    std::optional<QList<Item>> badCollection;
    // What an occurrence row shows for a column identifier.
    detail::IdentifierCells<detail::LinkViewCell<FlatViewCell>> flatCells;
};

} // namespace crawlmere::views
