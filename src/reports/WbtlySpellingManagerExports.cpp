// The spelling results' exports: the by-page table and the by-word outline as CSV and HTML.
#include "reports/WbtlySpellingManager.h"

#include "engine/CrwlUrl.h"
#include "engine/ExportText.h"
#include "platform/Log.h"
#include "platform/SavePanel.h"
#include "platform/UserDefaults.h"
#include "reports/detail/ReportText.h"

#include <QUrl>

using crawlmere::platform::logLine;
using crawlmere::reports::detail::htmlEscaped;

namespace crawlmere::reports {

namespace {

const QString styleBlock
    = QStringLiteral("<style> table{padding:2px;margin:2px;border:none; font-family:arial,sans-serif;text-align:left;"
                     "font-weight:normal;} th{background:#eee;font-weight:normal;} td{height:1em;white-space:nowrap;"
                     "overflow:hidden;} td.alt{background:#f0f0ff;} p{font-family:arial,sans-serif;}</style>");

/// A CSV field: the value in double quotes, its quotes written as `csvQuoteEscapeOption` says so
/// that a quote cannot end the field early; line breaks stay.
QString csvField(const QString& value, qint64 option)
{
    return QLatin1Char('"') + qfDataSource::csvQuoteEscaped(value, option) + QLatin1Char('"');
}

/// A cell's content: a value holding a web address becomes a link with the shortened text.
QString htmlCellValue(const QString& value)
{
    if (value.contains(QLatin1String("http://")) || value.contains(QLatin1String("https://")))
        return QStringLiteral("<a href = \"%1\" >%2</a>")
            .arg(htmlEscaped(value), htmlEscaped(engine::truncateURLByAddingElipsisInMiddle(value)));
    return htmlEscaped(value);
}

QString htmlCellStart(qsizetype row, const QString& identifier)
{
    return row % 2 == 0 ? QStringLiteral("<td class = %1 >").arg(htmlEscaped(identifier))
                        : QStringLiteral("<td class = \"%1 alt\" >").arg(htmlEscaped(identifier));
}

QString htmlHeaderRow(const QList<TableColumn>& columns)
{
    QString html = QStringLiteral("<table><tr>");
    for (const TableColumn& column : columns)
        html += QStringLiteral("<th class = %1>%2</th>").arg(htmlEscaped(column.identifier), htmlEscaped(column.title));
    return html + QStringLiteral("</tr>");
}

QList<TableColumn> visibleColumns(const TableView& table)
{
    QList<TableColumn> shown;
    for (const TableColumn& column : table.tableColumns())
        if (!column.hidden)
            shown.append(column);
    return shown;
}

} // namespace

void WbtlySpellingManager::exportSpellingAsCSVMenuItem()
{
    if (m_selectedTab == QLatin1String("1"))
        exportAsCSVFromOutlineView(m_outline);
    else if (m_selectedTab == QLatin1String("0"))
        exportSpellingAsCSV();
}

void WbtlySpellingManager::exportSpellingAsHTMLMenuItem()
{
    if (m_selectedTab == QLatin1String("1"))
        exportAsHTMLFromOutlineView(m_outline);
    else if (m_selectedTab == QLatin1String("0"))
        exportSpellingAsHTML();
}

QString WbtlySpellingManager::getSpellingAsCSV()
{
    const qint64 option = csvQuoteEscapeOption();
    const QList<TableColumn> columns = m_spellingTableView.tableColumns();
    const QList<Item>& pages = getSpellingCollection();
    QStringList fields;
    for (const TableColumn& column : columns)
        fields.append(csvField(column.title, option));
    QString csv = fields.join(u',') + u'\n';
    for (const Item& page : pages) {
        fields.clear();
        for (const TableColumn& column : columns)
            fields.append(csvField(page->getFieldByName(column.identifier), option));
        csv += fields.join(u',') + u'\n';
    }
    return csv;
}

QString WbtlySpellingManager::getSpellingAsHTML()
{
    const QList<TableColumn> columns = m_spellingTableView.tableColumns();
    const QList<Item>& pages = getSpellingCollection();
    QString table = htmlHeaderRow(columns);
    for (qsizetype row = 0; row < pages.size(); ++row) {
        table += QStringLiteral("<tr>");
        for (const TableColumn& column : columns)
            table += htmlCellStart(row, column.identifier)
                + htmlCellValue(pages.at(row)->getFieldByName(column.identifier)) + QStringLiteral("</td>");
        table += QStringLiteral("</tr>");
    }
    table += QStringLiteral("</table><br />");
    return htmlPage(QStringLiteral("Data Export from Crawlmere"), styleBlock + table);
}

void WbtlySpellingManager::exportSpellingAsCSV()
{
    save(getSpellingAsCSV(), QStringLiteral("csv"), QStringLiteral("Successful saving data to %1"));
}

void WbtlySpellingManager::exportSpellingAsHTML()
{
    save(getSpellingAsHTML(), QStringLiteral("html"), QStringLiteral("Successful saving data to %1"));
}

void WbtlySpellingManager::exportAsCSVFromOutlineView(OutlineView& outline)
{
    if (outline.numberOfRows() == 0) {
        if (m_services.beep)
            m_services.beep();
        return;
    }
    const bool flatten = platform::UserDefaults::standard().value(defaultsKey::flattenByWordOutline);
    save(getDataAsCSVusingOutlineView(outline, flatten), QStringLiteral("csv"),
        QStringLiteral("Successful saving route to %1"));
}

void WbtlySpellingManager::exportAsHTMLFromOutlineView(OutlineView& outline)
{
    if (outline.numberOfRows() == 0) {
        if (m_services.beep)
            m_services.beep();
        return;
    }
    save(htmlPage(QStringLiteral("Data Export from Crawlmere"), styleBlock + getDataAsHTMLusingOutlineView(outline)),
        QStringLiteral("html"), QStringLiteral("Successful saving route to %1"));
}

QString WbtlySpellingManager::getDataAsCSVusingOutlineView(OutlineView& outline, bool flatten)
{
    const qint64 option = csvQuoteEscapeOption();
    const qsizetype rows = outline.numberOfRows();
    const QList<TableColumn> columns = visibleColumns(outline);
    const QString outlineColumn = outline.outlineColumnIdentifier();
    progress(0);
    QStringList fields;
    for (const TableColumn& column : columns)
        fields.append(csvField(column.title, option));
    QString csv = fields.join(u',') + u'\n';
    QString remembered;
    qint64 lastPercent = 0;
    for (qsizetype row = 0; row < rows; ++row) {
        const Item item = outline.itemAtRow(row);
        const bool expandable = outline.isItemExpandable(item);
        fields.clear();
        for (const TableColumn& column : columns) {
            QString value = outlineObjectValue(outline, column.identifier, item);
            const bool isOutlineColumn = column.identifier == outlineColumn;
            if (flatten && isOutlineColumn) {
                if (value.isEmpty())
                    value = remembered;
                else
                    remembered = value;
            }
            if (!flatten && !expandable && isOutlineColumn)
                value.prepend(u'\t');
            fields.append(csvField(value, option));
        }
        csv += fields.join(u',') + u'\n';
        const qint64 percent = row * 100 / rows;
        if (percent != lastPercent) {
            progress(static_cast<float>(row) / static_cast<float>(rows));
            lastPercent = percent;
        }
    }
    progress(0);
    return csv;
}

std::optional<QString> WbtlySpellingManager::getDataAsCSVusingMisspelledWordOutlineViewAndFlattenAccordingToPreference()
{
    if (collection.isEmpty())
        return std::nullopt;
    m_outline.reloadData();
    expandAllButton();
    const bool flatten = platform::UserDefaults::standard().value(defaultsKey::flattenByWordOutline);
    return getDataAsCSVusingOutlineView(m_outline, flatten);
}

QString WbtlySpellingManager::getDataAsHTMLusingOutlineView(OutlineView& outline)
{
    const qsizetype rows = outline.numberOfRows();
    const QList<TableColumn> columns = outline.tableColumns();
    const QString outlineColumn = outline.outlineColumnIdentifier();
    QString html = htmlHeaderRow(columns);
    qint64 lastPercent = 0;
    for (qsizetype row = 0; row < rows; ++row) {
        const Item item = outline.itemAtRow(row);
        const bool expandable = outline.isItemExpandable(item);
        html += QStringLiteral("<tr>");
        for (const TableColumn& column : columns) {
            // Every row's label is clear here, so no cell carries a background style.
            html += htmlCellStart(row, column.identifier);
            if (!expandable && column.identifier == outlineColumn)
                html += QStringLiteral("&nbsp;&nbsp;");
            html += htmlCellValue(outlineObjectValue(outline, column.identifier, item)) + QStringLiteral("</td>");
        }
        html += QStringLiteral("</tr>");
        const qint64 percent = row * 100 / rows;
        if (percent != lastPercent) {
            progress(static_cast<float>(row) / static_cast<float>(rows));
            lastPercent = percent;
        }
    }
    html += QStringLiteral("</table><br />");
    progress(0);
    return html;
}

QString WbtlySpellingManager::htmlPage(const QString& title, const QString& body)
{
    return engine::htmlExportHead(title) + body + engine::htmlExportFoot();
}

void WbtlySpellingManager::progress(float proportion) const
{
    if (m_services.setProportion)
        m_services.setProportion(proportion);
}

void WbtlySpellingManager::save(const QString& text, const QString& fileType, const QString& successFormat) const
{
    if (!m_services.savePanel)
        return;
    platform::SavePanelRequest request;
    request.allowedFileTypes = { fileType };
    const std::optional<QString> path = m_services.savePanel->runModal(request);
    if (!path || path->isEmpty())
        return;
    const QString location = QUrl::fromLocalFile(*path).toString();
    QString error;
    if (detail::saveTextAtomically(*path, text, &error)) {
        logLine(2, successFormat.arg(location));
    } else {
        logLine(0, QStringLiteral("Unsuccessful exporting data to %1: %2").arg(location, error));
        m_services.savePanel->showSaveFailure(*path, error);
    }
}

} // namespace crawlmere::reports
