// A result table's export snapshot taken a slice at a time on the main thread.
#include "views/TableExportSlicer.h"

#include <QElapsedTimer>
#include <QTimer>

TableExportSlicer::TableExportSlicer(qfDataSource& source, TableView& table, QObject* parent)
    : QObject(parent)
    , m_source(source)
    , m_table(table)
    , m_items(source.getSortedAndFilteredArray())
{
    for (const TableColumn& column : table.tableColumns()) {
        if (column.hidden)
            continue;
        m_shown.append(column);
        m_snapshot.columns.append({ column.identifier, column.title, /*outlineColumn=*/false });
    }
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

bool TableExportSlicer::readSlice()
{
    QElapsedTimer clock;
    clock.start();
    const qsizetype total = m_items.size();
    while (m_next < total) {
        const qsizetype end = std::min(total, m_next + kRowsPerCheck);
        for (; m_next < end; ++m_next) {
            const qfDataSource::Item& item = m_items.at(m_next);
            TableExportSnapshot::Row entry;
            entry.texts.reserve(m_shown.size());
            for (const TableColumn& column : std::as_const(m_shown))
                entry.texts.append(TableExportSnapshot::exportedText(
                    m_source.tableViewObjectValueForItem(m_table, column, item), column.identifier));
            entry.label = CrwlLabelColour::forColourClass(m_source.tableViewLabelColorForItem(m_table, item));
            m_snapshot.rows.append(std::move(entry));
        }
        if (clock.elapsed() >= m_slice.count())
            break;
    }
    if (m_progress && total > 0)
        m_progress(static_cast<float>(m_next) / static_cast<float>(total));
    if (m_next < total)
        return false;
    // The items are no longer needed; the snapshot goes to `done`.
    m_items.clear();
    Done done = std::move(m_done);
    if (done)
        done(std::move(m_snapshot));
    deleteLater();
    return true;
}
