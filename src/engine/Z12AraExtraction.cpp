// Link extraction: one fetched page becomes new work. The page is read with the parser of its
// type, its facts are copied onto its record, and each of its links is resolved, filtered and
// recorded as an occurrence on a known record or as a new record that is queued for checking.
#include "engine/detail/LinkExtraction.h"
#include "engine/detail/UrlWhitespace.h"

using namespace crawlmere::engine::detail;

namespace crawlmere::engine::detail {

/// The snapshot of `crawlSettings`, read again only when another settings object is given or
/// the object was written to since (each thread keeps its own; pages of a scan share one).
const ExtractionSnapshot& extractionSnapshot(const std::shared_ptr<CrawlSettings>& crawlSettings)
{
    struct Kept {
        std::weak_ptr<CrawlSettings> source;
        quint64 generation = 0;
        bool filled = false;
        ExtractionSnapshot snapshot;
    };
    thread_local Kept kept;
    // The generation is read before the values, so a write in between is seen next time.
    const quint64 generation = crawlSettings ? crawlSettings->generation() : 0;
    if (kept.filled && kept.generation == generation && kept.source.lock() == crawlSettings)
        return kept.snapshot;
    kept.snapshot.map = crawlSettings ? crawlSettings->snapshot() : QVariantMap();
    kept.snapshot.settings = ExtractionSettings(kept.snapshot.map);
    kept.source = crawlSettings;
    kept.generation = generation;
    kept.filled = true;
    return kept.snapshot;
}
bool schemeIs(const Url& url, QStringView scheme) { return url.scheme().compare(scheme, Qt::CaseInsensitive) == 0; }
/// Percent-escapes the characters a URL cannot hold, writing each as the escapes of its bytes
/// in `encoding` (UTF-8 when the text cannot be written in it). "%" and "#" stay.
QString percentEscaped(const QString& text, crawlmere::platform::EncodingId encoding)
{
    std::optional<QByteArray> bytes;
    if (encoding != 0)
        bytes = crawlmere::platform::TextEncoding::encode(text, encoding);
    if (!bytes)
        bytes = text.toUtf8();
    static constexpr char kHex[] = "0123456789ABCDEF";
    QString out;
    out.reserve(bytes->size());
    for (const char c : std::as_const(*bytes)) {
        const auto byte = static_cast<unsigned char>(c);
        const bool keep = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9')
            || (byte > 0x20 && byte < 0x7F && QByteArrayView("-._~:/?#[]@!$&'()*+,;=%").contains(char(byte)));
        if (keep) {
            out += QChar(byte);
        } else {
            out += u'%';
            out += QChar(kHex[byte >> 4]);
            out += QChar(kHex[byte & 0xF]);
        }
    }
    return out;
}

} // namespace crawlmere::engine::detail

void Z12Ara::extractLinks(const UrlPtr& page)
{
    if (!page)
        return;
    if (handOverPageFetchedAgain(*page, { /*read=*/true, nullptr }))
        return;
    if (readAgainWhenFetched.erase(page.get())) {
        readLinksAgain(page);
        return;
    }
    LinkExtraction(*this, page).run();
}

void Z12Ara::extractLinksFromReading(const UrlPtr& page, std::unique_ptr<LinkExtractionParser> reading)
{
    if (!page)
        return;
    if (pagesFetchedAgain.contains(page.get())) {
        handOverPageFetchedAgain(*page, { /*read=*/true, std::move(reading) });
        return;
    }
    if (readAgainWhenFetched.contains(page.get())) {
        extractLinks(page);
        return;
    }
    LinkExtraction extraction(*this, page);
    extraction.prepared = std::move(reading);
    extraction.run();
}

std::vector<Z12Ara::UrlPtr> Z12Ara::readLinksAgain(const UrlPtr& page)
{
    return readLinksAgain(page, { /*read=*/true, nullptr });
}

std::vector<Z12Ara::UrlPtr> Z12Ara::readLinksAgain(const UrlPtr& page, PageFetchedAgain fetched)
{
    if (!page)
        return {};
    std::unordered_set<const CrwlLinkInstance*> dropped;
    std::vector<UrlPtr> formerTargets;
    for (const InstancePtr& occurrence : page->takeOutboundInstances()) {
        dropped.insert(occurrence.get());
        if (UrlPtr target = occurrence->target()) {
            target->removeInboundInstance(occurrence);
            formerTargets.push_back(std::move(target));
        }
    }
    // What the page's links gave is read again; where its own fetch was redirected stays.
    insecureRecords.removeIf([&](const InsecureContentRecord& record) {
        return record.type != kInsecureRedirect
            && (record.url == page->absoluteString() || record.url == page->finalURLString());
    });

    // Read as a first reading reads it unless it was read before; what it is now decides
    // whether it stays among the pages read (and in the SEO collection).
    const bool wasRead = page->getLinksRead();
    page->setLinksRead(false);
    if (fetched.read) {
        LinkExtraction extraction(*this, page);
        extraction.again = wasRead;
        extraction.prepared = std::move(fetched.reading);
        extraction.run();
    }
    if (wasRead && !page->getLinksRead() && engineSEODataSource)
        engineSEODataSource->remove(*page);

    dropUnlinkedRecords(std::move(formerTargets), page, dropped);
    if (!dropped.empty())
        occurrenceArena.takeOutIf([&](const CrwlLinkInstance* occurrence) { return dropped.contains(occurrence); });

    // Statuses the reading itself gives, or that no fetch can change.
    const auto fetchable = [](qint64 status) {
        return status != CrwlStatus::unableToMakeValidUrl && status != CrwlStatus::missingLinkUrl
            && status != CrwlStatus::missingImageSrc && status != CrwlStatus::notChecked
            && status != CrwlStatus::disallowedByRobotsTxt && status != CrwlStatus::userMarkedFixed;
    };
    std::vector<UrlPtr> toCheck;
    std::unordered_set<const CrwlUrl*> seen;
    for (const InstancePtr& occurrence : page->getOutboundInstances()) {
        UrlPtr target = occurrence->target();
        if (!target || target == page || !seen.insert(target.get()).second)
            continue;
        const qint64 status = target->getStatus();
        if (status == CrwlStatus::notYetChecked || (fetchable(status) && target->shouldBeMemberOfBadCollection()))
            toCheck.push_back(std::move(target));
    }
    crawlmere::platform::NotificationCenter::defaultCenter().post(CrwlPageLinksUpdated, page);
    return toCheck;
}

void Z12Ara::fetchPageAgain(const UrlPtr& page, PageFetchedAgainHandler fetched)
{
    if (!page || !fetched)
        return;
    std::vector<PageFetchedAgainHandler>& waiting = pagesFetchedAgain[page.get()];
    waiting.push_back(std::move(fetched));
    if (waiting.size() > 1 || isQueuedOrInProgress(*page))
        return; // handed over when the fetch already asked for ends
    decNumberDone(page);
    page->setStatus(CrwlStatus::notYetChecked);
    page->setError(QString());
    page->clearRedir();
    addToCheckQueue(page);
    // Into a free slot at once: pages rechecked together are fetched side by side.
    getNextUrlToCrawl(page);
}

bool Z12Ara::handOverPageFetchedAgain(const CrwlUrl& page, PageFetchedAgain fetched)
{
    auto waiting = pagesFetchedAgain.extract(&page);
    if (waiting.empty())
        return false;
    bool first = true;
    for (const PageFetchedAgainHandler& handler : waiting.mapped()) {
        if (first)
            handler(std::move(fetched));
        else
            handler(std::nullopt);
        first = false;
    }
    return true;
}

void Z12Ara::pageFetchedAgainEnded(const UrlPtr& page)
{
    // Still waiting: a meta refresh or a Refresh header has queued it again.
    if (page && !isQueuedOrInProgress(*page))
        handOverPageFetchedAgain(*page, { /*read=*/false, nullptr });
}

void Z12Ara::readPageAgain(const UrlPtr& page, PageFetchedAgain fetched)
{
    if (!page)
        return;
    const std::vector<UrlPtr> toCheck = readLinksAgain(page, std::move(fetched));
    logLine(1, QStringLiteral("%1 links added to recheckqueue").arg(qint64(toCheck.size())));
    for (const UrlPtr& target : toCheck)
        page->recheckLink(target);
    // A redirect's final address may have been queued as a page of its own.
    if (inProgressCount() == 0)
        getNextUrlToCrawl(page);
}

void Z12Ara::dropUnlinkedRecords(
    std::vector<UrlPtr> candidates, const UrlPtr& keep, std::unordered_set<const CrwlLinkInstance*>& dropped)
{
    std::unordered_set<const CrwlUrl*> gone;
    // A page a redirect still leads to stays, though no link names it.
    const auto reachedThroughRedirect = [&](const CrwlUrl& record) {
        for (const UrlPtr& redirect : getRedirectsTo(record)) {
            const InstancePtr arrival = redirectArrivals.value(redirect.get());
            if (arrival && arrival->target().get() == &record && !gone.contains(redirect.get()))
                return true;
        }
        return false;
    };
    while (!candidates.empty()) {
        const UrlPtr record = std::move(candidates.back());
        candidates.pop_back();
        if (record == keep || record->isStartingPoint() || !record->getInboundInstances().empty()
            || reachedThroughRedirect(*record) || !gone.insert(record.get()).second)
            continue;
        logLine(1, QStringLiteral("%1 is linked from nowhere now and leaves the scan").arg(record->absoluteString()));
        if (const InstancePtr arrival = redirectArrivals.take(record.get()))
            dropped.insert(arrival.get());
        for (const InstancePtr& occurrence : record->takeOutboundInstances()) {
            dropped.insert(occurrence.get());
            if (UrlPtr target = occurrence->target()) {
                target->removeInboundInstance(occurrence);
                candidates.push_back(std::move(target));
            }
        }
        // A record still waiting or being fetched was never counted.
        const qint64 status = record->getStatus();
        if (status != CrwlStatus::notYetChecked && status != CrwlStatus::requestSent)
            decNumberDone(record);
        removeThisCrwlUrlFromCollection(record);
        if (engineSEODataSource)
            engineSEODataSource->remove(*record);
    }
}

Z12Ara::PageReading Z12Ara::preparePageReading(const UrlPtr& page)
{
    if (!page || !page->isInternal() || page->getData().isEmpty())
        return {};
    return LinkExtraction(*this, page).prepareReading();
}

std::optional<Url> Z12Ara::makeNSURLFromString(const QString& written, const Url& base) const
{
    const QString link = crawlmere::engine::detail::withoutTabsOrNewlines(written);
    if (auto resolved = Url::resolved(link, base))
        return resolved;
    logLine(2,
        QStringLiteral("possibl unusual characters in the url or base url, trying IDNA encoding, base is %1")
            .arg(base.absoluteString()));
    const QString encoded
        = link.contains(u":/") ? PunycodeAdditions::encodedURLString(link) : PunycodeAdditions::encodedPath(link);
    return Url::resolved(encoded, base);
}

std::optional<Url> Z12Ara::baseURLFor(const CrwlUrl& page, const LinkExtractionParser& parser) const
{
    const QString baseHref = crawlmere::engine::detail::withoutTabsOrNewlines(parser.getBaseHref());
    std::optional<Url> pageUrl = page.isFileURL() ? page.getNSURL() : Url::fromString(page.finalURLString());
    if (!pageUrl)
        pageUrl = page.getNSURL();

    if (baseHref.isNull()) {
        if (pageUrl && pageUrl->isFileUrl() && !pageUrl->hasFragment()) {
            // A local page's name may hold an escaped "#"; the base ends before it. A decoded
            // name that is no longer a URL (a blank in a folder name) leaves the page's URL.
            QString decoded = PunycodeAdditions::decodedURLString(*pageUrl);
            const qsizetype hash = decoded.indexOf(u'#');
            if (hash >= 0)
                decoded.truncate(hash);
            if (auto url = Url::fromString(decoded))
                return url;
        }
        return pageUrl;
    }

    if (baseHref == u"/") {
        if (!pageUrl) {
            logLine(0, QStringLiteral("unable to make a base URL while parsing page %1").arg(page.absoluteString()));
            return std::nullopt;
        }
        QString root = pageUrl->scheme() + QStringLiteral("://") + pageUrl->hostWithBrackets();
        const auto port = pageUrl->port();
        if (port && *port != 80 && *port != 0)
            root += u':' + QString::number(*port);
        return Url::fromString(root);
    }

    if (!pageUrl)
        return std::nullopt;
    if (auto resolved = Url::resolved(baseHref, *pageUrl))
        return resolved;
    const auto encodedPage = Url::fromString(PunycodeAdditions::encodedURLString(pageUrl->absoluteString()));
    if (!encodedPage)
        return std::nullopt;
    if (auto resolved = Url::resolved(PunycodeAdditions::encodedURLString(baseHref), *encodedPage))
        return resolved;
    return Url::resolved(PunycodeAdditions::qfStringByAddingPercentEncodingWithAllowedCharacters(
                             baseHref, PunycodeAdditions::qfURLPathAllowedCharacterSet()),
        *encodedPage);
}
