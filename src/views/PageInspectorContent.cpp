// What each field of the page inspector shows for one page record, without any widget.
#include "views/PageInspectorContent.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "engine/qfDataSource.h"
#include "platform/Url.h"

#include <QJsonDocument>

#include <algorithm>

namespace crawlmere::views {

namespace {

/// `value` resolved against `page` as an absolute URL; empty when the value is empty or does
/// not parse (resolving the empty text would answer the page itself).
QString resolvedImage(const QString& value, const std::optional<platform::Url>& page)
{
    if (value.trimmed().isEmpty() || !page)
        return {};
    const auto resolved = platform::Url::resolved(value, *page);
    return resolved ? resolved->toString() : QString();
}

QString firstNonEmpty(const QString& first, const QString& second) { return first.isEmpty() ? second : first; }

} // namespace

PageInspectorContent PageInspectorContent::of(const CrwlUrl& page)
{
    PageInspectorContent content;
    const QString finalUrl = page.finalURLStringDecoded();
    if (!finalUrl.isEmpty())
        content.url = finalUrl;
    content.title = page.getLinkpagetitle();
    content.distance = QString::number(page.getDistanceFromHome());
    content.headings = page.getHeadings().join(QLatin1Char('\n'));
    while (content.headings.startsWith(QLatin1Char('\n')) || content.headings.startsWith(QLatin1Char('\r')))
        content.headings.remove(0, 1);
    while (content.headings.endsWith(QLatin1Char('\n')) || content.headings.endsWith(QLatin1Char('\r')))
        content.headings.chop(1);
    content.description = page.getMetadescription();
    if (page.getLoadTime() > 0)
        content.downloadTime = QString::asprintf("%.4f ", page.getLoadTime()) + QStringLiteral("seconds");
    content.images = page.getFieldByName(QStringLiteral("imageqty"));
    content.imageWeight = page.getFieldByName(QStringLiteral("imageweight"));
    content.wordCount = page.getFieldByName(QStringLiteral("wordcount"));
    content.linkCount = page.getFieldByName(QStringLiteral("linkcount"));
    content.timeStamp = page.getFieldByName(QStringLiteral("timestamp"));
    // The inbound links and the redirects that lead here, as the inbound table lists them.
    content.internalBacklinks = QString::number(page.waysInCount());
    content.responseTime = page.getFieldByName(QStringLiteral("responsetime"));
    content.fileSize = QString::number(page.getFilesizeinbytes()) + QStringLiteral(" bytes");
    content.canonical = page.getCanonical();
    content.modified = page.getLastmodified();
    content.mime = page.mimeType();
    const QString robots = page.getFieldByName(QStringLiteral("robots"));
    content.noindex = robots.contains(QStringLiteral("noindex"));
    content.nofollow = robots.contains(QStringLiteral("nofollow"));

    const auto base = platform::Url::fromString(page.absoluteString());
    content.imageUrl = resolvedImage(page.getFieldByName(QStringLiteral("twitterimage")), base);
    if (content.imageUrl.isEmpty())
        content.imageUrl = resolvedImage(page.getFieldByName(QStringLiteral("ogimage")), base);
    content.cardTitle = firstNonEmpty(
        page.getFieldByName(QStringLiteral("twittertitle")), page.getFieldByName(QStringLiteral("ogtitle")));
    content.cardDescription = firstNonEmpty(page.getFieldByName(QStringLiteral("twitterdescription")),
        page.getFieldByName(QStringLiteral("ogdescription")));
    const QVariantList& jsonld = page.getJsonld();
    if (!jsonld.isEmpty())
        content.jsonld = QString::fromUtf8(QJsonDocument::fromVariant(jsonld).toJson(QJsonDocument::Indented));
    return content;
}

QString PageInspectorContent::metaTagCell(const QVariantMap& tag, const QString& column)
{
    if (column == QLatin1String("name")) {
        for (const char* key : { "name", "property", "itemprop" }) {
            const auto found = tag.constFind(QLatin1String(key));
            if (found != tag.cend())
                return QStringLiteral("%1=\"%2\"").arg(QLatin1String(key), found.value().toString());
        }
        return {};
    }
    return tag.value(column).toString();
}

PageInspectorContent::OccurrenceRows PageInspectorContent::occurrenceRows(
    const std::vector<std::shared_ptr<CrwlLinkInstance>>& occurrences, bool inbound)
{
    OccurrenceRows rows;
    rows.reserve(occurrences.size());
    for (const auto& occurrence : occurrences) {
        if (occurrence)
            rows.push_back(
                { inbound ? occurrence->getOnPageUrl() : occurrence->getLinkUrl(), occurrence->getLinkText() });
        else
            rows.push_back({});
    }
    return rows;
}

QString PageInspectorContent::occurrenceCell(const OccurrenceRow& row, const QString& column)
{
    if (column == QLatin1String("linkurl"))
        return row.url;
    if (column == QLatin1String("linktext"))
        return row.linkText;
    return {};
}

void PageInspectorContent::sortOccurrenceRows(OccurrenceRows& rows, const QList<SortDescriptor>& descriptors)
{
    if (descriptors.isEmpty())
        return;
    std::stable_sort(rows.begin(), rows.end(), [&](const OccurrenceRow& left, const OccurrenceRow& right) {
        for (const SortDescriptor& descriptor : descriptors) {
            const bool text = descriptor.key.compare(QLatin1String("linkText"), Qt::CaseInsensitive) == 0;
            const int order
                = qfDataSource::compareSortTexts(text ? left.linkText : left.url, text ? right.linkText : right.url);
            if (order != 0)
                return descriptor.ascending ? order < 0 : order > 0;
        }
        return false;
    });
}

QStringList PageInspectorContent::trimEachItemInArray(const QStringList& items)
{
    QStringList trimmed;
    for (const QString& item : items) {
        const QString text = item.trimmed();
        if (!text.isEmpty())
            trimmed.append(text);
    }
    return trimmed;
}

} // namespace crawlmere::views
