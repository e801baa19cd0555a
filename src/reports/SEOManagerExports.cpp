// The SEO tables written out: CSV and HTML of the selected tab's table through a save panel, and
// the two CSV texts of the pages passing a filter tag and of the images without alt text.
#include "reports/SEOManager.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/ExportText.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/SavePanel.h"
#include "reports/detail/ReportText.h"

#include <QUrl>

namespace crawlmere::reports {

using platform::logLine;
namespace Dispatch = platform::Dispatch;

namespace {


const QString kStyle = QStringLiteral(
    "<style> table{padding:2px;margin:2px;border:none; font-family:arial,sans-serif;text-align:left;"
    "font-weight:normal} th{background:#eee;font-weight:normal} td{height:1em;white-space:nowrap;overflow:hidden;} "
    "td.alt{background:#f0f0ff;} p{font-family:arial,sans-serif;}</style>");

/// Reports `row / rows` whenever the whole percentage changes (it starts at 0).
class PercentCounter {
public:
    PercentCounter(const SEOManager::Progress& progress, qsizetype rows)
        : m_progress(progress)
        , m_rows(rows)
    {
    }
    void rowDone(qsizetype row)
    {
        const qint64 percent = qint64(row) * 100 / m_rows;
        if (percent == m_last || !m_progress)
            return;
        m_last = percent;
        m_progress(double(row) / double(m_rows));
    }

private:
    const SEOManager::Progress& m_progress;
    qsizetype m_rows;
    qint64 m_last = 0;
};

QString headerLine(const QList<TableColumn>& columns)
{
    QStringList titles;
    for (const TableColumn& column : columns)
        titles.append(QLatin1Char('"') + column.title + QLatin1Char('"'));
    return titles.join(QLatin1Char(',')) + QLatin1Char('\n');
}

} // namespace

QString SEOManager::csvLine(const QStringList& fields, qint64 quoteOption) const
{
    QStringList quoted;
    for (const QString& field : fields)
        quoted.append(QLatin1Char('"') + csvQuoteEscaped(field, quoteOption) + QLatin1Char('"'));
    return quoted.join(QLatin1Char(',')) + QLatin1Char('\n');
}

TableView* SEOManager::exportTable() const
{
    if (m_tab == kImagesTab)
        return m_imagesTable;
    if (m_tab == kMetaDataTab)
        return m_metaData;
    if (m_tab == kHeadingsTab)
        return m_headings;
    return m_pages;
}

SEOManager::Snapshot SEOManager::snapshotOf(TableView& table)
{
    Snapshot snapshot;
    for (const TableColumn& column : table.tableColumns()) {
        if (!column.hidden)
            snapshot.columns.append(column);
    }
    const qsizetype rows = numberOfRowsInTableView(table);
    snapshot.rows.reserve(rows);
    for (qsizetype row = 0; row < rows; ++row) {
        QStringList texts;
        for (const TableColumn& column : std::as_const(snapshot.columns))
            texts.append(tableViewObjectValue(table, column, row).toString());
        snapshot.rows.append(std::move(texts));
    }
    return snapshot;
}

QString SEOManager::csvText(const Snapshot& snapshot, qint64 quoteOption, const Progress& progress)
{
    if (progress)
        progress(0.0);
    QStringList pieces { headerLine(snapshot.columns) };
    PercentCounter counter(progress, snapshot.rows.size());
    for (qsizetype row = 0; row < snapshot.rows.size(); ++row) {
        QString line;
        for (qsizetype c = 0; c < snapshot.columns.size(); ++c) {
            if (c > 0)
                line += QLatin1Char(',');
            line += QLatin1Char('"') + csvQuoteEscaped(snapshot.rows.at(row).value(c), quoteOption) + QLatin1Char('"');
        }
        pieces.append(line + QLatin1Char('\n'));
        counter.rowDone(row);
    }
    return pieces.join(QString());
}

QString SEOManager::htmlText(const Snapshot& snapshot, const Progress& progress)
{
    using detail::htmlEscaped;
    if (progress)
        progress(0.0);
    QStringList pieces { kStyle, QStringLiteral("<table><tr>") };
    for (const TableColumn& column : snapshot.columns)
        pieces.append(QStringLiteral("<th class = %1>%2</th>").arg(htmlEscaped(column.identifier), htmlEscaped(column.title)));
    pieces.append(QStringLiteral("</tr>"));
    PercentCounter counter(progress, snapshot.rows.size());
    for (qsizetype row = 0; row < snapshot.rows.size(); ++row) {
        QString line = QStringLiteral("<tr>");
        for (qsizetype c = 0; c < snapshot.columns.size(); ++c) {
            const QString identifier = htmlEscaped(snapshot.columns.at(c).identifier);
            line += QStringLiteral("<td ");
            line += row % 2 == 0 ? QStringLiteral("class = %1 ").arg(identifier)
                                 : QStringLiteral("class = \"%1 alt\" ").arg(identifier);
            line += QLatin1Char('>');
            const QString value = snapshot.rows.at(row).value(c);
            if (value.contains(QLatin1String("http://")) || value.contains(QLatin1String("https://")))
                line += QStringLiteral("<a href = \"%1\" >%2</a>")
                            .arg(htmlEscaped(value), htmlEscaped(engine::truncateURLByAddingElipsisInMiddle(value)));
            else
                line += htmlEscaped(value);
            line += QStringLiteral("</td>");
        }
        pieces.append(line + QStringLiteral("</tr>"));
        counter.rowDone(row);
    }
    pieces.append(QStringLiteral("</table><br />"));
    return engine::htmlExportHead() + pieces.join(QString()) + engine::htmlExportFoot();
}

void SEOManager::exportSEOAsCSV() { exportSelected(Format::Csv); }
void SEOManager::exportSEOAsHTML() { exportSelected(Format::Html); }

void SEOManager::exportSelected(Format format)
{
    // The tables are read on the main thread only; the text is built on a worker from the copy.
    Snapshot snapshot;
    const auto take = [this, &snapshot] {
        if (TableView* table = exportTable())
            snapshot = snapshotOf(*table);
    };
    if (Dispatch::isMainThread())
        take();
    else
        Dispatch::mainSync(take);

    const qint64 quoteOption = csvQuoteEscapeOption();
    const std::weak_ptr<int> alive = m_alive;
    Dispatch::toGlobal([this, alive, format, quoteOption, snapshot = std::move(snapshot)] {
        const Progress progress = [this, alive](double proportion) {
            Dispatch::toMain([this, alive, proportion] {
                if (!alive.expired() && m_hooks.progress)
                    m_hooks.progress(proportion);
            });
        };
        QString text = format == Format::Csv ? csvText(snapshot, quoteOption, progress) : htmlText(snapshot, progress);
        Dispatch::toMain([this, alive, format, text = std::move(text)] {
            if (alive.expired() || !m_savePanel)
                return;
            platform::SavePanelRequest request;
            request.allowedFileTypes = { format == Format::Csv ? QStringLiteral("csv") : QStringLiteral("html") };
            const std::optional<QString> path = m_savePanel->runModal(request);
            if (!path)
                return;
            const QString location = QUrl::fromLocalFile(*path).toString();
            if (QString error; detail::saveTextAtomically(*path, text, &error)) {
                logLine(2, QStringLiteral("Successful saving data to %1\n").arg(location));
            } else {
                logLine(0, QStringLiteral("Unsuccessful exporting data to %1: %2").arg(location, error));
                m_savePanel->showSaveFailure(*path, error);
            }
        });
    });
}

std::optional<QString> SEOManager::exportSEOAsCSVFilteredFor(qint32 tag)
{
    const QList<TableColumn> columns = m_pages ? m_pages->tableColumns() : pageColumns();
    const qint64 quoteOption = csvQuoteEscapeOption();
    QString text = headerLine(columns);
    bool any = false;
    for (const Item& item : std::as_const(collection)) {
        const auto* page = static_cast<const CrwlUrl*>(item.get());
        if (!page || !shouldDisplayBasedOnFilterButton(*page, tag, m_defaults))
            continue;
        QStringList fields;
        for (const TableColumn& column : columns)
            fields.append(page->getFieldByName(column.identifier));
        text += csvLine(fields, quoteOption);
        any = true;
    }
    if (!any)
        return std::nullopt;
    return text;
}

std::optional<QString> SEOManager::getImagesWithoutAltText(const QVariant&)
{
    const QList<TableColumn> columns = m_imagesTable ? m_imagesTable->tableColumns() : imagesColumns();
    const qint64 quoteOption = csvQuoteEscapeOption();
    QString text = headerLine(columns);
    bool any = false;
    for (const auto& occurrence : m_images) {
        if (!occurrence || occurrence->getLinkText().size() >= kExportLinkTextWithoutAlt)
            continue;
        const std::shared_ptr<CrwlUrl> image = occurrence->target();
        QStringList fields;
        for (const TableColumn& column : columns) {
            if (column.identifier.compare(QLatin1String("linkText"), Qt::CaseInsensitive) == 0)
                fields.append(occurrence->getLinkText());
            else
                fields.append(image ? image->getFieldByName(column.identifier) : QString());
        }
        text += csvLine(fields, quoteOption);
        any = true;
    }
    if (!any)
        return std::nullopt;
    return text;
}

} // namespace crawlmere::reports
