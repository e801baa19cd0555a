// The insecure-content list of an https scan: the http links and resources of each page, and
// the redirects that lead from https to http.
#include "engine/detail/LinkExtraction.h"

using namespace crawlmere::engine::detail;

void Z12Ara::LinkExtraction::listInsecure(const CrwlUrl& target, const Url& url, const QString& text, bool internal)
{
    const QString& urlString = url.absoluteString();
    const auto loaded = [&] {
        return target.isImage() || text.contains(kAltMarker) || text == kLinkedFileMarker
            || text.contains(kFormActionMarker)
            || std::ranges::find(kLoadedFileMarkers, text) != kLoadedFileMarkers.end();
    };
    const bool isLoaded = loaded();
    if (pageIsSecure() && schemeIs(url, u"http") && isLoaded) {
        page->setHasMixedContent(true);
        appendInsecure(kInsecureResource, page->absoluteString(), urlString);
    }
    // What the page loads is listed as mixed content above; this list is of the pages it links to.
    if (internal && s.httpIsExternal && hub.isLinkHttpOnHttpsSite(urlString, page->absoluteString()) && !isLoaded)
        appendInsecure(kInsecureLink, page->absoluteString(), urlString);
}

void Z12Ara::LinkExtraction::listHttpLinkedFiles(const LinkExtractionParser& parser)
{
    if (!pageIsSecure() || !base || page->isErrorPage())
        return;
    for (const QString& link : parser.getHttpLinkedFiles()) {
        const auto url = hub.makeNSURLFromString(link, *base);
        if (!url || !schemeIs(*url, u"http"))
            continue;
        page->setHasMixedContent(true);
        appendInsecure(kInsecureResource, page->absoluteString(), url->absoluteString());
    }
}

bool Z12Ara::LinkExtraction::pageIsSecure() const
{
    // An https scan reads the site's http pages too; what they load over http is no mixed
    // content, the page itself being plain.
    return hub.scanningHttpsSite && page->absoluteString().startsWith(u"https://", Qt::CaseInsensitive);
}

void Z12Ara::LinkExtraction::appendInsecure(qint32 type, const QString& pageString, const QString& offending)
{
    qsizetype& index = insecureIndex[static_cast<size_t>(type)];
    if (index < 0 || index >= hub.insecureRecords.size() || hub.insecureRecords.at(index).type != type) {
        hub.insecureRecords.append({ type, pageString, {} });
        index = hub.insecureRecords.size() - 1;
    }
    // A page that loads one URL twice is listed with it once.
    if (!hub.insecureRecords[index].array.contains(offending))
        hub.insecureRecords[index].array.append(offending);
}

void Z12Ara::listInsecureRedirects(const CrwlUrl& record)
{
    if (!scanningHttpsSite || !record.isInternal() || record.getRedirectCount() == 0)
        return;
    const QString redirecting = record.absoluteString();
    QString from = redirecting;
    for (const QVariant& hop : record.redirectArray()) {
        const QString to = hop.toMap().value(QStringLiteral("url")).toString();
        const std::optional<Url> target = Url::fromString(PunycodeAdditions::encodedURLString(to));
        if (from.startsWith(u"https://") && target && schemeIs(*target, u"http") && compareHost(target->host(), domains)) {
            const auto item = std::ranges::find_if(insecureRecords, [&](const InsecureContentRecord& listed) {
                return listed.type == kInsecureRedirect && listed.url == redirecting;
            });
            if (item == insecureRecords.end())
                insecureRecords.append({ kInsecureRedirect, redirecting, { to } });
            else if (!item->array.contains(to))
                item->array.append(to);
        }
        from = to;
    }
}
