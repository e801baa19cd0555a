// The XML sitemap documents of a list of pages: entries, escaping, file splitting, the
// template with its namespaces, and the sitemap index.
#include "sitemap/SitemapXmlWriter.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlStatusCodes.h"
#include "engine/CrwlUrl.h"
#include "engine/LookupKeys.h"
#include "engine/PunycodeAdditions.h"
#include "engine/SitemapPriority.h"
#include "platform/Strings.h"
#include "platform/Url.h"

#include <QSet>

#include <algorithm>
#include <utility>
#include <vector>

namespace crawlmere::sitemap {

namespace {

const QString kCloseTag = QStringLiteral("</urlset>");
const QString kCloseTagSpaced = QStringLiteral("</ urlset>");

/// A URL as a value: blanks as "%20", then escaped.
QString urlValue(QString url)
{
    return SitemapXmlWriter::escapedValue(url.replace(QLatin1Char(' '), QLatin1String("%20")));
}

/// A page's or file's address as a value: without credentials, encoded as it is requested (a
/// record keeps its address decoded for reading), then escaped.
QString locValue(const QString& url)
{
    return urlValue(PunycodeAdditions::encodedURLString(engine::withoutUserInfo(url)));
}

void appendElement(QString& entry, QLatin1StringView indent, QLatin1StringView name, const QString& escaped)
{
    entry += indent;
    entry += QLatin1Char('<');
    entry += name;
    entry += QLatin1Char('>');
    entry += escaped;
    entry += QLatin1String("</");
    entry += name;
    entry += QLatin1String(">\n");
}

/// One page's entry text. Returns false when an image sitemap drops the page.
bool buildEntry(const CrwlUrl& page, const SitemapXmlOptions& options, QSet<QString>& seenImages,
    QSet<QString>& seenVideos, QString& entry)
{
    const QLatin1StringView inner("\t\t");
    entry += QLatin1String("\t<url>\n");
    // A page is listed under its final address: a redirecting URL is never an entry.
    appendElement(entry, inner, QLatin1StringView("loc"), locValue(SitemapXmlWriter::pageAddress(page)));

    if (!options.imageSitemap) {
        if (options.includeLastmod) {
            // The record keeps the Last-Modified header's local calendar date, or "" when the
            // header was missing or unreadable.
            const QString lastmod = page.getLastmodified();
            if (!lastmod.isEmpty())
                appendElement(entry, inner, QLatin1StringView("lastmod"), SitemapXmlWriter::escapedValue(lastmod));
        }
        std::optional<QVariantMap> rule;
        if ((options.writeChangeFrequency || options.writePriority) && options.ruleThatApplies)
            rule = options.ruleThatApplies(page.finalURLString());
        if (options.writeChangeFrequency) {
            const QString value = SitemapXmlWriter::changeFrequencyOf(
                rule ? rule->value(QStringLiteral("update")).toString() : page.getChangefrequency(),
                options.changeFrequency);
            if (!value.isEmpty())
                appendElement(entry, inner, QLatin1StringView("changefreq"), value);
        }
        if (options.writePriority) {
            // A rule's priority outside 0.0-1.0 (an older file's) is never written.
            const QString value = SitemapXmlWriter::priorityOf(rule, page.getDistanceFromHome());
            appendElement(entry, inner, QLatin1StringView("priority"), SitemapXmlWriter::escapedValue(value));
        }
    }

    bool wroteImage = false;
    if (options.includeImages || options.imageSitemap) {
        const bool unique = options.uniqueImages || options.imageSitemap;
        for (const auto& occurrence : page.linkedImagesArray()) {
            if (!SitemapXmlWriter::imageBelongsInSitemap(occurrence->getStatus()))
                continue;
            const QString url = occurrence->absoluteString();
            if (unique) {
                if (seenImages.contains(url))
                    continue;
                seenImages.insert(url);
            }
            wroteImage = true;
            entry += QLatin1String("\t\t<image:image>\n");
            appendElement(entry, inner, QLatin1StringView("image:loc"), locValue(url));
            const QString title = SitemapXmlWriter::imageTitle(occurrence->getLinkText());
            if (!title.isEmpty())
                appendElement(entry, inner, QLatin1StringView("image:title"), SitemapXmlWriter::escapedValue(title));
            entry += QLatin1String("\t\t</image:image>\n");
        }
    }
    if (!options.imageSitemap && options.includeVideo) {
        for (const auto& occurrence : page.linkedVideoArray()) {
            const QString url = occurrence->absoluteString();
            if (options.uniqueVideo) {
                if (seenVideos.contains(url))
                    continue;
                seenVideos.insert(url);
            }
            entry += QLatin1String("\t\t<video:video>\n");
            appendElement(entry, inner, QLatin1StringView("video:content_loc"), locValue(url));
            entry += QLatin1String("\t\t</video:video>\n");
        }
    }
    entry += QLatin1String("\t</url>\n");
    return !options.imageSitemap || wroteImage;
}

} // namespace

QStringList SitemapXmlWriter::documents(const CrwlUrlList& pages, const SitemapXmlOptions& options)
{
    QSet<QString> seenImages;
    seenImages.reserve(options.expectedImages);
    QSet<QString> seenVideos;

    // Entries in the order of their addresses, not the order the pages happened to arrive in, so
    // the same site gives the same files (and the same page is credited with a shared image).
    std::vector<std::pair<QString, const CrwlUrl*>> ordered;
    ordered.reserve(pages.size());
    for (const auto& page : pages) {
        if (page)
            ordered.emplace_back(pageAddress(*page), page.get());
    }
    std::stable_sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) {
        const int folded = a.first.compare(b.first, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a.first < b.first;
    });

    QStringList files;
    QString current;
    qsizetype counted = 0;
    QString entry;
    for (const auto& item : ordered) {
        const CrwlUrl* page = item.second;
        entry.clear();
        if (buildEntry(*page, options, seenImages, seenVideos, entry))
            current += entry;
        const bool full = counted >= options.maxPagesPerFile - 1 || current.size() > options.maxCharactersPerFile;
        if (!options.preventSplit && full) {
            if (!current.isEmpty())
                files.append(current);
            current.clear();
            counted = 0;
        } else {
            ++counted;
        }
    }
    if (!current.isEmpty())
        files.append(current);

    const bool images = options.includeImages || options.imageSitemap;
    for (QString& file : files) {
        QString document = insertEntries(options.templateText, file);
        if (images)
            document = declareNamespace(document, QStringLiteral("image"), kImageNamespace);
        if (options.includeVideo)
            document = declareNamespace(document, QStringLiteral("video"), kVideoNamespace);
        file = std::move(document);
    }
    return files;
}

QString SitemapXmlWriter::builtInTemplate()
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<urlset xmlns=\"%1\">\n"
                          "<!-- created with Crawlmere -->\n\n\n</urlset>")
        .arg(kSitemapNamespace);
}

QString SitemapXmlWriter::insertEntries(const QString& templateText, const QString& entries)
{
    QString document = templateText;
    qsizetype close = document.indexOf(kCloseTag);
    if (close < 0)
        close = document.indexOf(kCloseTagSpaced);
    if (close < 0) {
        document = builtInTemplate();
        close = document.indexOf(kCloseTag);
    }
    // Only a line break in front of the closing tag is stepped over, so that a compact template
    // keeps its start tag whole.
    if (close > 0 && document.at(close - 1) == QLatin1Char('\n'))
        --close;
    document.insert(close, entries);
    return document;
}

QString SitemapXmlWriter::declareNamespace(const QString& document, const QString& prefix, const QString& uri)
{
    const QString attribute = QStringLiteral("xmlns:") + prefix;
    if (document.contains(attribute))
        return document;
    const qsizetype start = document.indexOf(QLatin1String("<urlset"));
    const qsizetype end = start < 0 ? -1 : document.indexOf(QLatin1Char('>'), start);
    if (end < 0)
        return document;
    QString result = document;
    result.insert(end, QStringLiteral("\n\t%1=\"%2\"\n").arg(attribute, uri));
    return result;
}

QString SitemapXmlWriter::sitemapIndex(const QStringList& fileNames, const QString& baseUrl, QDate today)
{
    const QString date = today.toString(QStringLiteral("yyyy-MM-dd"));
    QString index = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<sitemapindex xmlns=\"%1\">\n\n")
                        .arg(kSitemapNamespace);
    for (const QString& name : fileNames) {
        index += QStringLiteral("<sitemap>\n<loc>%1</loc>\n<lastmod>%2</lastmod>\n</sitemap>\n")
                     .arg(urlValue(baseUrl + name), date);
    }
    index += QLatin1String("\n</sitemapindex>");
    return index;
}

QString SitemapXmlWriter::siteRoot(const QString& startingUrl)
{
    const auto url = platform::Url::fromString(startingUrl.trimmed());
    if (!url || url->scheme().isEmpty() || url->host().isEmpty())
        return {};
    QString root = url->scheme() + QStringLiteral("://") + url->hostWithBrackets();
    if (const auto port = url->port())
        root += QLatin1Char(':') + QString::number(*port);
    return root + QLatin1Char('/');
}

QString SitemapXmlWriter::pageAddress(const CrwlUrl& page)
{
    return engine::withoutUserInfo(CrwlUrl::forceTrimHash(page.finalURLString()));
}

QString SitemapXmlWriter::escapedValue(const QString& value) { return platform::strings::xmlEscaped(value); }

QString SitemapXmlWriter::priorityOf(const std::optional<QVariantMap>& rule, qint64 distanceFromHome)
{
    if (rule) {
        if (const auto priority = engine::sitemapPriority(rule->value(QStringLiteral("priority")).toString()))
            return *priority;
    }
    return depthPriority(distanceFromHome);
}

QString SitemapXmlWriter::depthPriority(qint64 distanceFromHome)
{
    switch (distanceFromHome) {
    case 0:
        return QStringLiteral("1.0");
    case 1:
        return QStringLiteral("0.5");
    case 2:
        return QStringLiteral("0.3");
    default:
        return QStringLiteral("0.2");
    }
}

bool SitemapXmlWriter::imageBelongsInSitemap(qint64 status)
{
    // A good answer (2xx, 3xx, a local file), or none asked for: images go unchecked when the
    // scan does not check them.
    return (status >= 200 && status <= 399) || status == CrwlStatus::nonHttpOk || status == CrwlStatus::notYetChecked
        || status == CrwlStatus::notChecked || status == CrwlStatus::userMarkedFixed;
}

QString SitemapXmlWriter::imageTitle(const QString& linkText)
{
    if (linkText.contains(QLatin1String("[meta tag:")))
        return {};
    QString title = linkText;
    title.remove(QLatin1String("[alt]:"));
    title.remove(QLatin1String("[inline style url]"));
    title.remove(QLatin1String("[linked file]"));
    return title.trimmed();
}

bool SitemapXmlWriter::isChangeFrequency(const QString& value)
{
    static const QStringList frequencies { QStringLiteral("always"), QStringLiteral("hourly"),
        QStringLiteral("daily"), QStringLiteral("weekly"), QStringLiteral("monthly"), QStringLiteral("yearly"),
        QStringLiteral("never") };
    return frequencies.contains(value);
}

QString SitemapXmlWriter::changeFrequencyOf(const QString& update, const QString& fallback)
{
    if (isChangeFrequency(update))
        return update;
    return isChangeFrequency(fallback) ? fallback : QString();
}

} // namespace crawlmere::sitemap
