// The CSV and HTML texts of an exported table or outline.
#include "views/TableExportWriter.h"

#include "engine/TableView.h"
#include "engine/qfDataSource.h"
#include "platform/Strings.h"
#include "views/TableExportSnapshot.h"

namespace {

constexpr qsizetype kLongestWholeUrl = 50;
constexpr qsizetype kHeadLength = 23;
constexpr qsizetype kTailLength = 27;

bool isChildCell(
    const TableExportSnapshot& snapshot, const TableExportSnapshot::Row& row, const TableExportSnapshot::Column& column)
{
    return snapshot.outline && !row.expandable && column.outlineColumn;
}

int colourByte(double component) { return static_cast<int>(component * 255.0); }

} // namespace

QString TableExportWriter::csvText(
    const TableExportSnapshot& snapshot, qint64 csvQuoteEscapeOption, const ExportProgress::Report& progress)
{
    QList<TableColumn> header;
    for (const auto& column : snapshot.columns)
        header.append({ column.identifier, column.title, /*hidden=*/false });
    QString csv = qfDataSource::csvHeaderLine(header);

    ExportProgress counter(progress, snapshot.rows.size());
    for (qsizetype r = 0; r < snapshot.rows.size(); ++r) {
        const auto& row = snapshot.rows.at(r);
        for (qsizetype c = 0; c < snapshot.columns.size(); ++c) {
            if (c > 0)
                csv += QLatin1Char(',');
            csv += QLatin1Char('"');
            if (isChildCell(snapshot, row, snapshot.columns.at(c)))
                csv += QLatin1Char('\t');
            csv += qfDataSource::csvEscapedValue(row.texts.value(c), csvQuoteEscapeOption);
            csv += QLatin1Char('"');
        }
        csv += QLatin1Char('\n');
        counter.rowDone(r);
    }
    counter.finish();
    return csv;
}

QString TableExportWriter::htmlTable(const TableExportSnapshot& snapshot, const ExportProgress::Report& progress)
{
    QString html = QStringLiteral("<table><tr>");
    for (const auto& column : snapshot.columns)
        html += QStringLiteral("<th class = %1>%2</th>").arg(htmlEscaped(column.identifier), htmlEscaped(column.title));
    html += QStringLiteral("</tr>");

    ExportProgress counter(progress, snapshot.rows.size());
    for (qsizetype r = 0; r < snapshot.rows.size(); ++r) {
        const auto& row = snapshot.rows.at(r);
        html += QStringLiteral("<tr>");
        for (qsizetype c = 0; c < snapshot.columns.size(); ++c) {
            const auto& column = snapshot.columns.at(c);
            const QString identifier = htmlEscaped(column.identifier);
            html += QStringLiteral("<td ");
            if (r % 2 == 0)
                html += QStringLiteral("class = %1 ").arg(identifier);
            else
                html += QStringLiteral("class = \"%1 alt\" ").arg(identifier);
            if (row.label) {
                html += QStringLiteral("style = \"background:rgb(%1,%2,%3)\"")
                            .arg(colourByte(row.label->red))
                            .arg(colourByte(row.label->green))
                            .arg(colourByte(row.label->blue));
            }
            html += QLatin1Char('>');
            if (isChildCell(snapshot, row, column))
                html += QStringLiteral("&nbsp;&nbsp;");
            const QString value = row.texts.value(c);
            if (value.contains(QLatin1String("http://")) || value.contains(QLatin1String("https://"))) {
                html += QStringLiteral("<a href = \"%1\" >%2</a>")
                            .arg(htmlEscaped(value), htmlEscaped(truncateURLByAddingElipsisInMiddle(value)));
            } else {
                html += htmlEscaped(value);
            }
            html += QStringLiteral("</td>");
        }
        html += QStringLiteral("</tr>");
        counter.rowDone(r);
    }
    html += QStringLiteral("</table><br />");
    counter.finish();
    return html;
}

QString TableExportWriter::htmlPage(const QString& table)
{
    return QStringLiteral("<html><head><title>Data Export from Crawlmere</title><meta http-equiv=\"Content-Type\" "
                          "content=\"text/html; charset=UTF-8\" /></head><body>"
                          "<style> table{padding:2px;margin:2px;border:none; font-family:\"Open Sans\",Verdana,"
                          "Arial,Helvetica,sans-serif;text-align:left} th{background:#eee;} "
                          "td{height:1em;white-space:nowrap;overflow:hidden;} td.alt{background:#f0f0ff;} "
                          "p{font-family:arial,sans-serif;}</style>")
        + table + QStringLiteral("</body></html>");
}

QString TableExportWriter::truncateURLByAddingElipsisInMiddle(const QString& text)
{
    if (text.size() <= kLongestWholeUrl)
        return text;
    return QStringLiteral("%1...%2").arg(text.left(kHeadLength), text.right(kTailLength));
}

QString TableExportWriter::htmlEscaped(const QString& text) { return crawlmere::platform::strings::htmlEscaped(text); }
