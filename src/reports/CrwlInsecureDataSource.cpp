// The insecure-content outline and its flat exports.
#include "reports/CrwlInsecureDataSource.h"

#include "engine/Z12Ara.h"
#include "engine/qfDataSource.h"
#include "platform/Log.h"
#include "reports/detail/ReportText.h"

using crawlmere::platform::logLine;

namespace crawlmere::reports {

CrwlInsecureDataSource::CrwlInsecureDataSource() = default;
CrwlInsecureDataSource::~CrwlInsecureDataSource() = default;

void CrwlInsecureDataSource::clear() { collection = QList<InsecureContentRecord>(); }

void CrwlInsecureDataSource::setCollection(const QList<InsecureContentRecord>& items) { collection = items; }

bool CrwlInsecureDataSource::populateIfNotPopulated(const QList<InsecureContentRecord>& hubList, bool viewsRequireRefresh)
{
    if (!(collection.isEmpty() && !hubList.isEmpty()) && !viewsRequireRefresh)
        return false;
    clear();
    setCollection(hubList);
    return true;
}

qsizetype CrwlInsecureDataSource::getCount() const { return collection.size(); }

const QList<InsecureContentRecord>& CrwlInsecureDataSource::getCollection() const { return collection; }

qsizetype CrwlInsecureDataSource::numberOfChildren(Node node) const
{
    if (node.isRoot())
        return collection.size();
    if (node.isItem() && node.item < collection.size())
        return collection.at(node.item).array.size();
    return 0;
}

QString CrwlInsecureDataSource::objectValue(const QString& column, Node node) const
{
    if (node.isRoot() || node.item >= collection.size())
        return QString();
    const InsecureContentRecord& item = collection.at(node.item);
    if (node.isItem()) {
        if (column == QLatin1String("linkurl"))
            return item.url;
        if (column == QLatin1String("comment"))
            return commentForKind(item.type);
        return QString();
    }
    if (column == QLatin1String("linkurl") && node.child < item.array.size())
        return item.array.at(node.child);
    return QString();
}

QString CrwlInsecureDataSource::commentForKind(int kind)
{
    switch (kind) {
    case 0:
        return QStringLiteral("This page has link(s) to insecure internal page(s). Expand to see the link url(s).");
    case 1:
        return QStringLiteral("This is a secure page that has mixed content (it has at least one resource with insecure url)");
    case 2:
        return QStringLiteral("This URL redirects to an insecure internal page. Expand to see the redirect url.");
    case 3:
        return QStringLiteral("This page's canonical url is an insecure page.  Expand to see the canonical url.");
    default:
        return QString();
    }
}

QString CrwlInsecureDataSource::exportDescriptionForKind(int kind)
{
    switch (kind) {
    case 0:
        return QStringLiteral(
            "This is a page which has a link to an insecure internal page. The second url is the insecure link url.");
    case 1:
        return QStringLiteral("This is a secure page that has mixed content. The second url is the resource with insecure url.");
    case 2:
        return QStringLiteral("This url redirects to an insecure internal page. The second url is the redirect url.");
    case 3:
        return QStringLiteral("This page's canonical url is an insecure page. The second url is the canonical url.");
    default:
        return QString();
    }
}

std::optional<QString> CrwlInsecureDataSource::getInsecureAsFlatCSV() const
{
    if (collection.isEmpty())
        return std::nullopt;
    const qint64 option = qfDataSource::csvQuoteEscapeOption();
    const auto field = [option](const QString& value) {
        return QLatin1Char('"') + qfDataSource::csvEscapedValue(value, option) + QLatin1Char('"');
    };
    QString csv = QStringLiteral("\"Description\",\"\",\"\"\n");
    for (const InsecureContentRecord& item : collection) {
        const QString description = field(exportDescriptionForKind(item.type));
        const QString page = field(item.url);
        for (const QString& second : item.array)
            csv += description + QLatin1Char(',') + page + QLatin1Char(',') + field(second) + QLatin1Char('\n');
    }
    return csv;
}

QString CrwlInsecureDataSource::getInsecureAsFlatHTML() const
{
    using detail::htmlEscaped;
    const auto link = [](const QString& url) {
        const QString escaped = htmlEscaped(url);
        return QStringLiteral("<a href=\"%1\">%1</a>").arg(escaped);
    };
    QString html = QStringLiteral(
        "<html><head><title>Data Export from Crawlmere</title>"
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\" />"
        "<style>table{padding:2px;margin:2px;border:none; font-family:\"Open Sans\",Arial,Helvetica,sans-serif;"
        "text-align:left;font-size:80%}th{background:#eee;}td{height:1em;white-space:nowrap;overflow:hidden;}"
        "td.alt{background:#f0f0ff;}p{font-family:arial,sans-serif;}</style></head>\n"
        "<body><table>\n"
        "<tr><th>Description</th><th></th><th></th></tr>\n");
    for (const InsecureContentRecord& item : collection) {
        const QString description = htmlEscaped(exportDescriptionForKind(item.type));
        const QString page = link(item.url);
        for (const QString& second : item.array)
            html += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td></tr>\n").arg(description, page, link(second));
    }
    html += QStringLiteral("</table></body></html>\n");
    return html;
}

bool CrwlInsecureDataSource::exportInsecureAsFlatCSV(
    const SavePanel& savePanel, const Beep& beep, const SaveFailed& failed) const
{
    const auto csv = getInsecureAsFlatCSV();
    if (!csv) {
        if (beep)
            beep();
        return false;
    }
    return save(*csv, QStringLiteral("csv"), savePanel, failed);
}

bool CrwlInsecureDataSource::exportInsecureAsFlatHTML(
    const SavePanel& savePanel, const Beep& beep, const SaveFailed& failed) const
{
    if (collection.isEmpty()) {
        if (beep)
            beep();
        return false;
    }
    return save(getInsecureAsFlatHTML(), QStringLiteral("html"), savePanel, failed);
}

bool CrwlInsecureDataSource::save(
    const QString& text, const QString& fileType, const SavePanel& savePanel, const SaveFailed& failed) const
{
    const QString path = savePanel ? savePanel(fileType) : QString();
    if (path.isEmpty())
        return false;
    QString error;
    if (!detail::saveTextAtomically(path, text, &error)) {
        logLine(1, QStringLiteral("Unsuccessful exporting data to %1. %2").arg(path, error));
        if (failed)
            failed(path, error);
        return false;
    }
    return true;
}

} // namespace crawlmere::reports
