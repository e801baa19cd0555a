// The CSV and HTML texts of an exported table or outline.
#include "views/TableExportWriter.h"

#include "engine/ExportText.h"
#include "engine/TableView.h"
#include "engine/qfDataSource.h"
#include "platform/Strings.h"
#include "views/TableExportSnapshot.h"

#include <algorithm>
#include <limits>

namespace {

using crawlmere::platform::strings::htmlEscaped;


bool isChildCell(
    const TableExportSnapshot& snapshot, const TableExportSnapshot::Row& row, const TableExportSnapshot::Column& column)
{
    return snapshot.outline && !row.expandable && column.outlineColumn;
}

int colourByte(double component) { return static_cast<int>(component * 255.0); }

/// The text of an export as it is made: the writer appends to `text`, and every full slice is
/// handed to the sink and dropped. A slice never ends on a high surrogate while text follows, so
/// `QStringView::toUtf8` of each slice gives the bytes `QString::toUtf8` gives for the whole
/// (a lone surrogate included, which a stateful encoder would write differently).
class Slices {
public:
    Slices(const TableExportWriter::SliceSink* sink, qsizetype sliceLength)
        : m_sink(sink)
        , m_sliceLength(std::max<qsizetype>(sliceLength, 1))
    {
    }

    /// The whole text in `text`, never handed on.
    static Slices whole() { return Slices(nullptr, std::numeric_limits<qsizetype>::max()); }

    QString text;

    /// Hands on every full slice of `text`; false once the sink refused one.
    bool handOnFull()
    {
        qsizetype start = 0;
        bool accepted = true;
        while (accepted && text.size() - start >= m_sliceLength) {
            qsizetype end = start + m_sliceLength;
            if (text.at(end - 1).isHighSurrogate()) {
                if (end == text.size())
                    break;
                ++end;
            }
            accepted = (*m_sink)(QStringView(text).sliced(start, end - start));
            start = end;
        }
        text.remove(0, start);
        return accepted;
    }

    /// Hands on the rest of `text`; false when the sink refused it.
    bool finish() { return text.isEmpty() || (*m_sink)(text); }

private:
    const TableExportWriter::SliceSink* m_sink;
    qsizetype m_sliceLength;
};

/// The CSV text into `out`, handing on full slices after each row; false once a slice was refused.
bool writeCsvInto(Slices& out, const TableExportSnapshot& snapshot, qint64 csvQuoteEscapeOption,
    const ExportProgress::Report& progress)
{
    QList<TableColumn> header;
    for (const auto& column : snapshot.columns)
        header.append({ column.identifier, column.title, /*hidden=*/false });
    out.text += qfDataSource::csvHeaderLine(header);

    ExportProgress counter(progress, snapshot.rows.size());
    bool accepted = true;
    for (qsizetype r = 0; accepted && r < snapshot.rows.size(); ++r) {
        const auto& row = snapshot.rows.at(r);
        for (qsizetype c = 0; c < snapshot.columns.size(); ++c) {
            if (c > 0)
                out.text += QLatin1Char(',');
            out.text += QLatin1Char('"');
            if (isChildCell(snapshot, row, snapshot.columns.at(c)))
                out.text += QLatin1Char('\t');
            out.text += qfDataSource::csvEscapedValue(row.texts.value(c), csvQuoteEscapeOption);
            out.text += QLatin1Char('"');
        }
        out.text += QLatin1Char('\n');
        counter.rowDone(r);
        accepted = out.handOnFull();
    }
    counter.finish();
    return accepted;
}

/// The HTML table into `out`, handing on full slices after each row; false once a slice was refused.
bool writeHtmlTableInto(Slices& out, const TableExportSnapshot& snapshot, const ExportProgress::Report& progress)
{
    QString& html = out.text;
    html += QStringLiteral("<table><tr>");
    for (const auto& column : snapshot.columns)
        html += QStringLiteral("<th class = %1>%2</th>").arg(htmlEscaped(column.identifier), htmlEscaped(column.title));
    html += QStringLiteral("</tr>");

    ExportProgress counter(progress, snapshot.rows.size());
    bool accepted = true;
    for (qsizetype r = 0; accepted && r < snapshot.rows.size(); ++r) {
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
                            .arg(htmlEscaped(value),
                                htmlEscaped(crawlmere::engine::truncateURLByAddingElipsisInMiddle(value)));
            } else {
                html += htmlEscaped(value);
            }
            html += QStringLiteral("</td>");
        }
        html += QStringLiteral("</tr>");
        counter.rowDone(r);
        accepted = out.handOnFull();
    }
    html += QStringLiteral("</table><br />");
    counter.finish();
    return accepted;
}

QString htmlPageHead()
{
    return crawlmere::engine::htmlExportHead()
        + QStringLiteral("<style> table{padding:2px;margin:2px;border:none; font-family:\"Open Sans\",Verdana,"
                         "Arial,Helvetica,sans-serif;text-align:left} th{background:#eee;} "
                         "td{height:1em;white-space:nowrap;overflow:hidden;} td.alt{background:#f0f0ff;} "
                         "p{font-family:arial,sans-serif;}</style>");
}

QString htmlPageFoot() { return crawlmere::engine::htmlExportFoot(); }

} // namespace

bool TableExportWriter::writeCsv(const TableExportSnapshot& snapshot, qint64 csvQuoteEscapeOption,
    const SliceSink& sink, const ExportProgress::Report& progress, qsizetype sliceLength)
{
    Slices out(&sink, sliceLength);
    return writeCsvInto(out, snapshot, csvQuoteEscapeOption, progress) && out.finish();
}

bool TableExportWriter::writeHtmlPage(const TableExportSnapshot& snapshot, const SliceSink& sink,
    const ExportProgress::Report& progress, qsizetype sliceLength)
{
    Slices out(&sink, sliceLength);
    out.text = htmlPageHead();
    if (!writeHtmlTableInto(out, snapshot, progress))
        return false;
    out.text += htmlPageFoot();
    return out.finish();
}

QString TableExportWriter::csvText(
    const TableExportSnapshot& snapshot, qint64 csvQuoteEscapeOption, const ExportProgress::Report& progress)
{
    Slices out = Slices::whole();
    writeCsvInto(out, snapshot, csvQuoteEscapeOption, progress);
    return std::move(out.text);
}

QString TableExportWriter::htmlTable(const TableExportSnapshot& snapshot, const ExportProgress::Report& progress)
{
    Slices out = Slices::whole();
    writeHtmlTableInto(out, snapshot, progress);
    return std::move(out.text);
}

QString TableExportWriter::htmlPage(const QString& table) { return htmlPageHead() + table + htmlPageFoot(); }

QString TableExportWriter::htmlEscaped(const QString& text) { return crawlmere::platform::strings::htmlEscaped(text); }
