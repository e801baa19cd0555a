// A result table's export snapshot taken a slice at a time on the main thread.
#include "views/TableExportSlicer.h"

#include "views/OutlineDataSource.h"
#include "views/ResultItemModel.h"
#include "views/ResultTreeView.h"
#include "views/ResultViewDelegate.h"

#include <QElapsedTimer>
#include <QTimer>

TableExportSlicer::TableExportSlicer(qfDataSource& source, TableView& table, QObject* parent)
    : QObject(parent)
    , m_items(source.getSortedAndFilteredArray())
    , m_cell([&source, &table](const TableColumn& column, const qfDataSource::Item& item) {
        return TableExportSnapshot::exportedText(
            source.tableViewObjectValueForItem(table, column, item), column.identifier);
    })
    , m_label([&source, &table](qsizetype, const qfDataSource::Item& item) {
        return CrwlLabelColour::forColourClass(source.tableViewLabelColorForItem(table, item));
    })
{
    for (const TableColumn& column : table.tableColumns()) {
        if (column.hidden)
            continue;
        m_shown.append(column);
        m_snapshot.columns.append({ column.identifier, column.title, /*outlineColumn=*/false });
    }
    m_snapshot.rows.reserve(m_items.size());
}

TableExportSlicer::TableExportSlicer(TableExportSnapshot frame, QList<TableColumn> shown, PinnedRows rows,
    CellReader cell, LabelReader label, QObject* parent)
    : QObject(parent)
    , m_shown(std::move(shown))
    , m_items(std::move(rows.items))
    , m_expandable(std::move(rows.expandable))
    , m_snapshot(std::move(frame))
    , m_cell(std::move(cell))
    , m_label(std::move(label))
{
    m_snapshot.rows.clear();
    m_snapshot.rows.reserve(m_items.size());
}

TableExportSlicer::~TableExportSlicer() = default;

void TableExportSlicer::start(std::chrono::milliseconds slice, Progress progress, Done done)
{
    m_slice = slice;
    m_progress = std::move(progress);
    m_done = std::move(done);
    if (!readSlice())
        scheduleNext();
}

void TableExportSlicer::scheduleNext()
{
    QTimer::singleShot(0, this, [this] {
        if (!readSlice())
            scheduleNext();
    });
}

void TableExportSlicer::readRows(qsizetype end)
{
    for (; m_next < end; ++m_next) {
        const qfDataSource::Item& item = m_items.at(m_next);
        TableExportSnapshot::Row entry;
        entry.texts.reserve(m_shown.size());
        for (const TableColumn& column : std::as_const(m_shown))
            entry.texts.append(m_cell(column, item));
        entry.expandable = m_next < m_expandable.size() && m_expandable.at(m_next);
        if (m_label)
            entry.label = m_label(m_next, item);
        m_snapshot.rows.append(std::move(entry));
    }
}

TableExportSnapshot TableExportSlicer::readAll()
{
    readRows(m_items.size());
    m_items.clear();
    m_expandable.clear();
    return std::move(m_snapshot);
}

TableExportSlicer* TableExportSlicer::forOutline(crawlmere::views::ResultTreeView& view, QObject* parent)
{
    using crawlmere::views::ResultItemModel;
    ResultItemModel& model = view.itemModel();
    crawlmere::views::OutlineDataSource* source = model.outlineDataSource();
    if (!source)
        return nullptr;
    // The shown columns, each by its logical position for the outline-column test.
    TableExportSnapshot frame;
    frame.outline = true;
    QList<TableColumn> shown;
    const QList<TableColumn>& logical = model.columns();
    for (const TableColumn& column : view.tableColumns()) {
        if (column.hidden)
            continue;
        const auto found = std::find_if(logical.cbegin(), logical.cend(),
            [&](const TableColumn& candidate) { return candidate.identifier == column.identifier; });
        const int index = static_cast<int>(found - logical.cbegin());
        shown.append(column);
        frame.columns.append({ column.identifier, column.title,
            index == view.treePosition() || (index == 0 && view.treePosition() < 0) });
    }
    // The rows as shown, children only below expanded rows, with their labels.
    PinnedRows rows;
    QList<std::optional<CrwlLabelColour>> labels;
    const std::function<void(const QModelIndex&)> pin = [&](const QModelIndex& parentIndex) {
        for (int row = 0; row < model.rowCount(parentIndex); ++row) {
            const QModelIndex index = model.index(row, 0, parentIndex);
            rows.items.append(model.itemForIndex(index));
            rows.expandable.append(model.isItemExpandable(index));
            crawlmere::views::ResultViewDelegate* delegate = view.viewDelegate();
            labels.append(delegate ? delegate->tableViewLabelColorForRow(view, index) : std::nullopt);
            if (view.isExpanded(index))
                pin(index);
        }
    };
    pin({});
    TableView& table = view;
    return new TableExportSlicer(
        std::move(frame), std::move(shown), std::move(rows),
        [source, &table](const TableColumn& column, const qfDataSource::Item& item) {
            return source->outlineViewObjectValue(table, column, item).toString();
        },
        [labels = std::move(labels)](qsizetype row, const qfDataSource::Item&) { return labels.value(row); }, parent);
}

bool TableExportSlicer::readSlice()
{
    QElapsedTimer clock;
    clock.start();
    const qsizetype total = m_items.size();
    while (m_next < total) {
        readRows(std::min(total, m_next + kRowsPerCheck));
        if (clock.elapsed() >= m_slice.count())
            break;
    }
    if (m_progress && total > 0)
        m_progress(static_cast<float>(m_next) / static_cast<float>(total));
    if (m_next < total)
        return false;
    // The items are no longer needed; the snapshot goes to `done`.
    m_items.clear();
    m_expandable.clear();
    Done done = std::move(m_done);
    if (done)
        done(std::move(m_snapshot));
    deleteLater();
    return true;
}
