// The XML sitemap documents of a list of pages: entries, escaping, file splitting, the
// template with its namespaces, and the sitemap index.
#pragma once

#include "engine/CrwlURLDelegate.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <optional>

namespace crawlmere::sitemap {

/// What one build reads besides the pages; the manager fills it from its pop-ups, the user
/// defaults and the rules at the time of the call.
struct SitemapXmlOptions {
    bool imageSitemap = false; ///< an image sitemap: image entries only, pages without one dropped
    bool includeLastmod = false; ///< `includeLastModInXML` or `includeLastmod`
    bool includeImages = false; ///< `includeimagesinsitemap`
    bool uniqueImages = false; ///< `uniqueimagesinsitemap` (always in an image sitemap)
    bool includeVideo = false; ///< `includevideoinsitemap`
    bool uniqueVideo = false; ///< `uniquevideoinsitemap`
    bool preventSplit = false; ///< `preventSplitXML`
    bool writeChangeFrequency = false; ///< the change-frequency pop-up's item has a non-zero tag
    /// The change-frequency pop-up's title: the frequency of a page whose rule has none of its
    /// own ("None", or anything that is not a sitemap frequency).
    QString changeFrequency;
    bool writePriority = true; ///< the priority pop-up's title is not "None"
    QString templateText; ///< `XMLSitemapTemplate`; the built-in one unless it closes a urlset
    qsizetype expectedImages = 0; ///< sizes the seen-image table
    /// The sitemap rule for a URL (looked up by `absoluteString`), or nullopt.
    std::function<std::optional<QVariantMap>(const QString& url)> ruleThatApplies;

    /// A file closes once it holds this many pages (dropped pages count) …
    qsizetype maxPagesPerFile = 50000;
    /// … or once its entries are longer than this many characters.
    qsizetype maxCharactersPerFile = 10000000;
};

/// Builds sitemap documents. Stateless; any thread, as long as the pages are not changed
/// meanwhile (the manager calls it on the main thread).
class SitemapXmlWriter {
public:
    static inline const QString kSitemapNamespace = QStringLiteral("http://www.sitemaps.org/schemas/sitemap/0.9");
    static inline const QString kImageNamespace = QStringLiteral("http://www.google.com/schemas/sitemap-image/1.1");
    static inline const QString kVideoNamespace = QStringLiteral("http://www.google.com/schemas/sitemap-video/1.1");

    /// One complete document per file, in page order; an empty list when no page gave an entry.
    /// Every value is escaped once (`escapedValue`); blanks in URLs become "%20". Image and video
    /// URLs are written once per call when unique (image sitemaps: always), across files.
    static QStringList documents(const CrwlUrlList& pages, const SitemapXmlOptions& options);

    /// The built-in template: declaration, urlset with the 0.9 namespace, a comment and three
    /// line breaks before "</urlset>".
    static QString builtInTemplate();
    /// `entries` put into `templateText` just before its "</urlset>" (or "</ urlset>"), stepping
    /// back over one line break in front of it; a template without either closing tag gives way
    /// to the built-in one.
    static QString insertEntries(const QString& templateText, const QString& entries);
    /// `document` with ` xmlns:prefix="uri"` on its own line added to the urlset start tag,
    /// unless the document already declares "xmlns:prefix". No urlset start tag: unchanged.
    static QString declareNamespace(const QString& document, const QString& prefix, const QString& uri);

    /// The sitemap index listing `fileNames`, each as `baseUrl` + name (the base is the
    /// starting URL's scheme, host and port plus "/"; empty leaves bare names), with `today`.
    static QString sitemapIndex(const QStringList& fileNames, const QString& baseUrl, QDate today);
    /// "scheme://host[:port]/" of `startingUrl`; empty when it has no scheme and host.
    static QString siteRoot(const QString& startingUrl);

    /// The address a sitemap lists a page under: its final address without the fragment and
    /// without a user name or password ("http://u:pw@h.com/a" is listed as "http://h.com/a"), so a
    /// published sitemap never carries credentials.
    static QString pageAddress(const CrwlUrl& page);

    /// `&`, `<`, `>`, `"` and `'` as character references; nothing else changes.
    static QString escapedValue(const QString& value);
    /// The depth priority: "1.0", "0.5", "0.3" for distance 0, 1, 2, else "0.2".
    static QString depthPriority(qint64 distanceFromHome);
    /// The priority an entry carries: its rule's when that is one from 0.0 to 1.0
    /// (`engine::sitemapPriority`), else the depth priority.
    static QString priorityOf(const std::optional<QVariantMap>& rule, qint64 distanceFromHome);
    /// An image of this status goes into a sitemap: a good answer (2xx, 3xx, a local file read)
    /// or none asked for (not checked, or marked fixed by the user); never a broken one.
    static bool imageBelongsInSitemap(qint64 status);
    /// The image title of a link text: the markers "[alt]:", "[inline style url]" and
    /// "[linked file]" removed, then white space trimmed; a text with "[meta tag:" gives "".
    static QString imageTitle(const QString& linkText);
    /// `value` is one of the sitemap frequencies: always, hourly, daily, weekly, monthly, yearly
    /// or never (exactly so, lower case).
    static bool isChangeFrequency(const QString& value);
    /// The frequency a page's entry carries: its rule's `update` when that is a sitemap
    /// frequency, else `fallback` when that is one, else empty (the entry has none).
    static QString changeFrequencyOf(const QString& update, const QString& fallback);
};

} // namespace crawlmere::sitemap
