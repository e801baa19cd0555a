// Link extraction: one fetched page becomes new work. The page is read with the parser of its
// type, its facts are copied onto its record, and each of its links is resolved, filtered and
// recorded as an occurrence on a known record or as a new record that is queued for checking.
#include "engine/Z12Ara.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrawlSettingTable.h"
#include "engine/CrwlStatusCodes.h"
#include "engine/CrwlUrl.h"
#include "engine/EngineSEOService.h"
#include "engine/LinkExtractionParser.h"
#include "engine/PunycodeAdditions.h"
#include "engine/ShellServices.h"
#include "engine/detail/RedirectOnly.h"
#include "engine/detail/SettingsValue.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/Strings.h"
#include "platform/TextEncoding.h"
#include "platform/Url.h"
#include "platform/UserDefaults.h"

#include <algorithm>
#include <array>
#include <unordered_set>

using crawlmere::engine::detail::boolValue;
using crawlmere::engine::detail::integerValue;
using crawlmere::platform::logLine;
using crawlmere::platform::Url;
namespace strings = crawlmere::platform::strings;

namespace {

const QString kLinkedFileMarker = QStringLiteral("[linked file]");
const QString kAltMarker = QStringLiteral("[alt]:");
const QString kFormActionMarker = QStringLiteral("[form action]");
/// The link texts of the files a page loads besides images and linked files: frames, media,
/// embedded objects and the addresses of its inline styles.
const std::array<QString, 4> kLoadedFileMarkers { QStringLiteral("[iFrame]"), QStringLiteral("[audio/video]"),
    QStringLiteral("[embed]"), QStringLiteral("[inline style url]") };

const QString kTooHighWarning = QStringLiteral(
    "The link url is a relative link with too many '../' which take the url above the root domain. It may work in a "
    "browser but is technically incorrect.");

/// The insecure-record types.
constexpr qint32 kInsecureLink = 0;
constexpr qint32 kInsecureResource = 1;
constexpr qint32 kInsecureCanonical = 3;

/// The crawl settings extraction reads, taken from one snapshot per page.
struct ExtractionSettings {
    explicit ExtractionSettings(const QVariantMap& map)
    {
        const auto flag = [&](const char* key) { return boolValue(map.value(QLatin1StringView(key))); };
        const auto number = [&](const char* key) { return integerValue(map.value(QLatin1StringView(key))); };
        // Limits outside their range read as the settings pane shows them.
        const auto limit = [&](const char* key) {
            const QString name = QString::fromLatin1(key);
            return integerValue(crawlmere::engine::effectiveSettingValue(name, map.value(name)));
        };
        plainTextMode = number("plainTextMode");
        shouldParsePDFs = flag("shouldParsePDFs");
        shouldParseCSS = flag("shouldParseCSS");
        shouldParseDOCXs = flag("shouldParseDOCXs");
        shouldParseRTFs = flag("shouldParseRTFs");
        runJS = flag("runJS");
        shouldTrimHash = flag("shouldTrimHash");
        levelsLimit = limit("levelsLimit");
        linksLimit = limit("linksLimit");
        httpIsExternal = flag("httpIsExternal");
        blacklistByRobotsTxt = flag("blacklistByRobotsTxt");
        sitemapOnly = flag("sitemapOnly");
        hashIsBad = flag("hashIsBad");
        limitOccurrences = flag("limitOccurrences");
        occurrencesLimit = limit("occurrencesLimit");
        checkSpelling = flag("checkSpelling");
    }

    qint64 plainTextMode = 0;
    bool shouldParsePDFs = false;
    bool shouldParseCSS = false;
    bool shouldParseDOCXs = false;
    bool shouldParseRTFs = false;
    bool runJS = false;
    bool shouldTrimHash = false;
    qint64 levelsLimit = 0;
    qint64 linksLimit = 0;
    bool httpIsExternal = false;
    bool blacklistByRobotsTxt = false;
    bool sitemapOnly = false;
    bool hashIsBad = false;
    bool limitOccurrences = false;
    qint64 occurrencesLimit = 0;
    bool checkSpelling = false;
};

/// The settings of an extraction and the dictionary they were read from.
struct ExtractionSnapshot {
    QVariantMap map;
    ExtractionSettings settings { QVariantMap() };
};

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

} // namespace

// ===== The work on one page ====================================================================

/// One run of `extractLinks` over one page: the settings and defaults it reads, read once, and
/// the steps, with the hub's fields at hand.
struct Z12Ara::LinkExtraction {
    LinkExtraction(Z12Ara& owner, const UrlPtr& fetched)
        : hub(owner)
        , page(fetched)
        , snapshotSettings(extractionSnapshot(owner.crawlSettings).map)
        , s(extractionSnapshot(owner.crawlSettings).settings)
    {
        verbosity = static_cast<int>(owner.defaults->integerForKey(QStringLiteral("verbosity")));
        linkedFilesAreInternal = owner.defaults->boolForKey(QStringLiteral("linkedFilesAreInternal"));
        formActions = owner.defaults->boolForKey(QStringLiteral("formActions"));
        childDistance = page->getDistanceFromHome() + 1;
    }

    void run();
    /// The scan `makeParser` would make for an HTML page; empty for other pages.
    PageReading prepareReading() const;
    /// Parser kind and file type of the page, as `makeParser` chooses them.
    std::optional<LinkExtractionParsers::DocumentKind> documentKind() const;
    int parserFileType() const;

    /// A scan made ahead of the run (null: none).
    std::unique_ptr<LinkExtractionParser> prepared;
    /// The page was read before (`readLinksAgain`): it is in the SEO collection with its words
    /// already, and keeps the warnings it has.
    bool again = false;

    // Steps.
    std::optional<Url> pageURL() const;
    std::unique_ptr<LinkExtractionParser> makeParser(int fileType, bool& ended);
    void copyPageFacts(const LinkExtractionParser& parser);
    void recordCanonical(const LinkExtractionParser& parser);
    void readLinks(LinkExtractionParser& parser);
    void readLink(const LinkExtractionParser& parser, QString link);
    bool fileRedirectTarget();
    /// The folder a local scan's root-relative links ("/a.html") resolve in: the scanned
    /// folder (the first internal domain), made once; nullopt when the scan has no domain.
    const std::optional<Url>& localRootFolder();
    void cleanUp();

    // Pieces of a link.
    UrlPtr newRecord(bool internal, const QString& linkURL);
    void addOccurrence(const UrlPtr& target, const LinkExtractionParser& parser, const QString& text,
        const QString& rel, bool withLineNumber);
    void addErrorRecord(const LinkExtractionParser& parser, const QString& link, const QString& text);
    bool collectionIsFull();
    void appendInsecure(qint32 type, const QString& pageString, const QString& offending);
    /// The page's insecure records for a link to `target` (new or known) whose first status no
    /// rule set: mixed content on an https scan, an insecure internal link.
    void listInsecure(const CrwlUrl& target, const Url& url, const QString& text, bool internal);
    /// Mixed content of the files the page loads over http that are not links of the scan.
    void listHttpLinkedFiles(const LinkExtractionParser& parser);
    bool logs(int level) const { return verbosity >= level; }

    Z12Ara& hub;
    const UrlPtr& page;
    QVariantMap snapshotSettings;
    ExtractionSettings s;
    int verbosity = 0;
    bool linkedFilesAreInternal = false;
    bool formActions = false;
    qint64 childDistance = 1;
    bool listMode = false;
    bool collectionFullLogged = false;

    /// The base the links resolve against, and for a local page the folder of root-relative
    /// links.
    std::optional<Url> base;
    bool baseIsFile = false;
    std::optional<Url> rootFolder;
    bool rootFolderMade = false;

    /// The page's insecure records of this run, by type: index into `insecureRecords`.
    std::array<qsizetype, 4> insecureIndex { -1, -1, -1, -1 };
};

void Z12Ara::extractLinks(const UrlPtr& page)
{
    if (!page)
        return;
    LinkExtraction(*this, page).run();
}

void Z12Ara::extractLinksFromReading(const UrlPtr& page, std::unique_ptr<LinkExtractionParser> reading)
{
    if (!page)
        return;
    LinkExtraction extraction(*this, page);
    extraction.prepared = std::move(reading);
    extraction.run();
}

std::vector<Z12Ara::UrlPtr> Z12Ara::readLinksAgain(const UrlPtr& page)
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
    insecureRecords.removeIf([&](const InsecureContentRecord& record) {
        return record.url == page->absoluteString() || record.url == page->finalURLString();
    });

    LinkExtraction extraction(*this, page);
    extraction.again = true;
    extraction.run();

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

std::optional<LinkExtractionParsers::DocumentKind> Z12Ara::LinkExtraction::documentKind() const
{
    if (page->isPDF() && s.shouldParsePDFs)
        return LinkExtractionParsers::DocumentKind::PDF;
    if (page->isCSS() && s.shouldParseCSS)
        return LinkExtractionParsers::DocumentKind::CSS;
    if (page->isDOCX() && s.shouldParseDOCXs)
        return LinkExtractionParsers::DocumentKind::DOCX;
    if (page->isRTF() && s.shouldParseRTFs)
        return LinkExtractionParsers::DocumentKind::RTF;
    return std::nullopt;
}

int Z12Ara::LinkExtraction::parserFileType() const
{
    if (page->isXML())
        return 4;
    return page->isStartingPoint() ? static_cast<int>(s.plainTextMode) : 0;
}

Z12Ara::PageReading Z12Ara::LinkExtraction::prepareReading() const
{
    if (!hub.linkExtractionParsers || documentKind())
        return {};
    return [parsers = hub.linkExtractionParsers, data = page->getData(), encoding = hub.detectedEncoding.load(),
               type = parserFileType(), settings = snapshotSettings] {
        return parsers->makePageParser(data, encoding, type, settings);
    };
}

void Z12Ara::LinkExtraction::run()
{
    // 1. The page's URL.
    const std::optional<Url> url = pageURL();
    if (!url) {
        logLine(1, QStringLiteral("unable to make a URL of %1, its links are not read").arg(page->absoluteString()));
        cleanUp();
        return;
    }

    // 2. Follow decision.
    if (!hub.weShouldCrawlThisURL(page, again)) {
        if (logs(3))
            logLine(3, QStringLiteral("weShouldCrawlThisURL: says NO"));
        cleanUp();
        return;
    }

    // A redirect carries its final address's body; that address's own record reads it, so the
    // page's links, facts and sitemap entry are the same whichever answer arrives first.
    if (!again && crawlmere::engine::detail::isOnlyARedirect(*page) && fileRedirectTarget()) {
        cleanUp();
        return;
    }

    // 3.-5. File type and parser.
    bool ended = false;
    std::unique_ptr<LinkExtractionParser> parser = makeParser(parserFileType(), ended);
    if (!parser) {
        if (!ended)
            cleanUp();
        return;
    }
    page->setLinksRead(true);

    // 6. Page facts.
    if (parser->getLength() > 0)
        copyPageFacts(*parser);

    // 7. SEO and sitemap collection.
    if (!again && hub.engineSEODataSource && hub.shouldBeInSitemapCollection(*page))
        hub.engineSEODataSource->add(page);

    // 8. A sitemap found while crawling a site.
    if (s.plainTextMode == 0 && page->isXML())
        parser->setXMLMode();

    // 9. Base URL.
    base = hub.baseURLFor(*page, *parser);
    baseIsFile = base && base->isFileUrl();

    // 10. Canonical.
    if (!parser->getCanonical().isEmpty())
        recordCanonical(*parser);

    // 11.-14. Links.
    readLinks(*parser);
    page->fitOutboundInstances();
    listHttpLinkedFiles(*parser);

    // 15. Word count and spelling.
    if (!page->isPDF()) {
        page->setWordCount(parser->getWordCount());
        if (s.checkSpelling) {
            page->setSpellingCount(parser->getSpellingCount());
            if (!again && hub.engineSEODataSource)
                hub.engineSEODataSource->addWords(parser->getAllSpelling(), page);
        }
    }

    // 16.
    cleanUp();
}

std::optional<Url> Z12Ara::LinkExtraction::pageURL() const
{
    // The redirect target is where the page's links were written; the record's cached URL may
    // predate the redirect, so a web page's URL is made from its final URL here.
    std::optional<Url> url;
    if (page->isFileURL())
        url = page->getNSURL();
    else
        url = Url::fromString(page->finalURLString());
    if (!url)
        url = page->getNSURL();
    if (!url)
        url = Url::fromString(PunycodeAdditions::encodedURLString(page->absoluteString()));
    return url;
}

std::unique_ptr<LinkExtractionParser> Z12Ara::LinkExtraction::makeParser(int fileType, bool& ended)
{
    if (!hub.linkExtractionParsers) {
        logLine(1, QStringLiteral("no page parsers: the links of %1 are not read").arg(page->absoluteString()));
        return nullptr;
    }
    const LinkExtractionParsers& parsers = *hub.linkExtractionParsers;

    // Other file types, first that applies.
    if (const auto kind = documentKind()) {
        auto parser = parsers.makeDocumentParser(*kind, page->getData());
        if (!parser)
            logLine(0, QStringLiteral("unable to create parser for %1").arg(page->absoluteString()));
        // A document that yields no parser still has its body dropped (clean-up).
        return parser;
    }

    // The page scanner, with the scan's own image and linked-file switches in the settings.
    const EncodingId encoding = hub.detectedEncoding.load();
    // A scan made ahead (off the main thread) read the same bytes with the same inputs.
    auto parser = prepared ? std::move(prepared) : parsers.makePageParser(page->getData(), encoding, fileType, snapshotSettings);
    if (!parser) {
        page->setIsHTML(false);
        if (!hub.shouldCacheData())
            page->setData(QByteArray());
        page->clearWTG();
        ended = true;
        return nullptr;
    }

    page->setHeadContainsNoFollow(parser->getHeadContainsNofollow());
    page->setHeadContainsNoIndex(parser->getHeadContainsNoindex());
    page->setJsonld(parser->getJsonld());

    // Validation warnings: of the page as the server sent it when it was rendered.
    std::unique_ptr<LinkExtractionParser> sourceParser;
    if (s.runJS && !page->getSourceData().isEmpty()
        && hub.defaults->boolForKey(QStringLiteral("htmlValidationEnabled")))
        sourceParser = parsers.makeSourceParser(page->getSourceData(), encoding, fileType);
    QStringList warnings = sourceParser ? sourceParser->getWarnings() : parser->getWarnings();
    if (again)
        warnings.removeIf([&](const QString& warning) { return page->getWarnings().contains(warning); });
    if (!warnings.isEmpty())
        page->addWarnings(warnings);

    if (!s.shouldTrimHash) {
        const QStringList names = parser->getNames();
        if (!names.isEmpty())
            page->setNamesOnThisPage(names);
    }
    if (page->isStartingPoint() && hub.diagnostic)
        hub.diagnostic->setWarnings(page->getWarningsAsString());
    return parser;
}

void Z12Ara::LinkExtraction::copyPageFacts(const LinkExtractionParser& parser)
{
    page->setLinkPageTitle(parser.getTitle());
    if (page->isStartingPoint() && hub.diagnostic)
        hub.diagnostic->setTitle(parser.getTitle());
    page->setHeadings(parser.getHeadings());
    page->setFileSize(parser.getFileSize());
    page->setWordCount(parser.getWordCount());
    page->setMetaData(parser.getMetaData());
    if (page->isHTML() && hub.defaults->boolForKey(QStringLiteral("countKeywords")))
        page->setKeywordStuffed(parser.isKeywordStuffed());
}

// ===== Canonical ================================================================================

void Z12Ara::LinkExtraction::recordCanonical(const LinkExtractionParser& parser)
{
    QString canonical = parser.getCanonical();
    const QString finalString = page->finalURLString();
    std::optional<Url> finalURL = Url::fromString(PunycodeAdditions::encodedURLString(finalString));
    if (!finalURL)
        finalURL = Url::fromString(finalString);
    if (!finalURL)
        return;

    // A canonical that names only a scheme.
    if (canonical == u"http://" || canonical == u"https://") {
        const auto here = Url::resolved(QStringLiteral("./"), *finalURL);
        canonical = here && here->absoluteString().endsWith(u"./") ? QStringLiteral("") : QStringLiteral("./");
    }

    std::optional<Url> resolved;
    // A local page's root-relative canonical names a file of the scanned folder, as its links do.
    if (finalURL->isFileUrl() && canonical.startsWith(u'/') && localRootFolder())
        resolved = hub.makeNSURLFromString(canonical.mid(1), *localRootFolder());
    if (!resolved)
        resolved = Url::resolved(canonical, *finalURL);
    if (!resolved)
        resolved = Url::resolved(PunycodeAdditions::encodedURLString(canonical), *finalURL);
    if (!resolved)
        resolved = Url::resolved(percentEscaped(canonical, hub.detectedEncoding.load()), *finalURL);
    if (!resolved) {
        logLine(2, QStringLiteral("unable to make a URL of the canonical %1 of %2").arg(canonical, finalString));
        return;
    }
    const Url target = hub.dealWithUpADirectory(*resolved);
    const QString& targetString = target.absoluteString();
    page->setCanonical(targetString);

    if (page->getDistanceFromHome() >= s.levelsLimit || hub.collection.size() >= s.linksLimit)
        return;

    bool internal = hub.compareHost(target.host(), hub.domains);
    if (internal && hub.scanningHttpsSite && s.httpIsExternal && schemeIs(target, u"http")) {
        internal = false;
        logLine(1, QStringLiteral("*** adding canonical to insecure list"));
        appendInsecure(kInsecureCanonical, finalString, targetString);
    }

    UrlPtr record = hub.weHaveThisOneAlready(targetString, nullptr, internal);
    if (!record) {
        record = newRecord(internal, targetString);
        const RobotsVerdict robots = hub.robotsVerdict(targetString);
        bool statusSet = false;
        if (CrwlUrl::isLocalFileBeyondReach(*page, target)) {
            record->setStatus(CrwlStatus::notChecked);
            record->addWarning(CrwlUrl::localFileBeyondReachWarning());
            statusSet = true;
        } else if (!Z12Ara::stringContainsOneOfTheseTerms(targetString, hub.checkBlacklistArray).isEmpty()) {
            record->setStatus(CrwlStatus::notChecked);
            record->setIsBlacklisted(true);
            statusSet = true;
        } else if (robots == RobotsVerdict::Disallowed) {
            record->setIsDisallowed(true);
            record->addWarning(
                QStringLiteral("The page has a canonical url %1 which is disallowed by robots.txt").arg(targetString));
            if (s.blacklistByRobotsTxt) {
                record->setStatus(CrwlStatus::disallowedByRobotsTxt);
                record->setIsBlacklisted(true);
                statusSet = true;
            }
        } else if (schemeIs(target, u"ftp") || (!internal && s.sitemapOnly)) {
            record->setStatus(CrwlStatus::notChecked);
            statusSet = true;
        }
        if (robots == RobotsVerdict::AllowedOverDisallow)
            logLine(1, QStringLiteral("Canonical %1 is disallowed by Robots.txt but also allowed").arg(targetString));
        if (statusSet)
            hub.incNumberDone(record);
        if (record->directoryTooHigh())
            record->addWarning(kTooHighWarning);
        hub.add(record);
        if (record->getStatus() == CrwlStatus::notYetChecked)
            hub.addToCheckQueue(record);
    } else {
        hub.lowerDistanceFromHome(record, childDistance);
    }
    if (record != page)
        hub.addInstanceWithParent(
            page, record, QStringLiteral("canonical"), QString(), QString(), QString(), std::nullopt);
}

// ===== Links ====================================================================================

void Z12Ara::LinkExtraction::readLinks(LinkExtractionParser& parser)
{
    std::optional<QString> link = parser.getNextHref();
    if (page->isErrorPage())
        return;

    if (page->getDistanceFromHome() >= s.levelsLimit || hub.collection.size() >= s.linksLimit) {
        if (logs(3))
            logLine(3,
                QStringLiteral("safety valve - getDistanceFromHome:%1, levelsLimit:%2, linksLimit:%3")
                    .arg(page->getDistanceFromHome())
                    .arg(s.levelsLimit)
                    .arg(s.linksLimit));
        if (!(page->isCSS() && s.shouldParseCSS))
            return;
    }

    const QString& pageString = page->absoluteString();
    listMode
        = page->isStartingPoint() && (s.plainTextMode >= 1 || strings::containsCaseInsensitive(pageString, u".xml"));

    for (; link; link = parser.getNextHref())
        readLink(parser, std::move(*link));
}

const std::optional<Url>& Z12Ara::LinkExtraction::localRootFolder()
{
    if (!rootFolderMade) {
        rootFolderMade = true;
        if (!hub.domains.isEmpty()) {
            QString folder = hub.domains.first();
            if (!folder.endsWith(u'/'))
                folder += u'/';
            rootFolder = Url::fromString(folder);
        }
    }
    return rootFolder;
}

void Z12Ara::LinkExtraction::readLink(const LinkExtractionParser& parser, QString link)
{
    // 14.1 "./" is the base itself.
    if (link.size() == 2 && link == u"./")
        link = base ? base->absoluteString() : QString();
    else if (link.size() > 2 && link.startsWith(u"./"))
        link.remove(0, 2);

    // 14.2, 14.3 In-page links.
    const bool emptyOrHash = link.isEmpty() || link == u"#";
    if (emptyOrHash) {
        if (s.hashIsBad)
            addErrorRecord(parser, link, parser.getLinkText());
        return;
    }
    if (link.startsWith(u'#') && ((s.shouldTrimHash && link.size() >= 2) || link == u"#!"))
        return;

    // 14.4 Resolution.
    std::optional<Url> resolved;
    if (baseIsFile && link.startsWith(u'/')) {
        if (const auto& root = localRootFolder())
            resolved = hub.makeNSURLFromString(link.mid(1), *root);
        else
            resolved = hub.makeNSURLFromString(link, *base);
    } else if (base) {
        resolved = hub.makeNSURLFromString(link, *base);
    } else if (auto absolute = Url::fromString(link); absolute && absolute->hasScheme()) {
        resolved = std::move(absolute);
    }

    const QString text = parser.getLinkText();
    const QString rel = parser.getRel();

    // 14.5 No URL.
    if (!resolved) {
        if (collectionIsFull())
            return;
        UrlPtr record = newRecord(/*internal=*/true, link);
        record->setStatus(CrwlStatus::unableToMakeValidUrl);
        addOccurrence(record, parser, text, rel, /*withLineNumber=*/false);
        hub.incNumberDone(record);
        hub.add(record);
        return;
    }

    // 14.7 The URL, internal or not.
    const Url url = hub.dealWithUpADirectory(*resolved);
    const QString& urlString = url.absoluteString();
    bool internal = hub.compareHost(url.host(), hub.domains) || Z12Ara::fileUrlIsInternal(url, hub.domains);
    const bool linkedFile = text == kLinkedFileMarker;
    const bool image = text.contains(kAltMarker);
    if ((linkedFile || image) && linkedFilesAreInternal)
        internal = true;

    // 14.8 Dropped.
    if (hub.shouldBeIgnored(urlString, internal, rel))
        return;

    // 14.9 Known.
    if (const UrlPtr known = hub.weHaveThisOneAlready(urlString, nullptr, internal)) {
        hub.lowerDistanceFromHome(known, childDistance);
        if (!(s.limitOccurrences && known->getOnpagecount() > s.occurrencesLimit))
            addOccurrence(known, parser, text, rel, /*withLineNumber=*/true);
        // Each page that loads or links the insecure URL is listed, not only the first one.
        const bool ruled = known->isBlacklisted() || known->isDisallowed()
            || known->getStatus() == CrwlStatus::notChecked;
        if (!ruled)
            listInsecure(*known, url, text, internal);
        if (internal && CrwlLinkInstance::relContainsExternal(rel))
            known->addWarning(
                QStringLiteral("The link appears internal but has an instance marked rel=external on page: %1 ")
                    .arg(page->absoluteString()));
        return;
    }

    // 14.10, 14.11 New.
    if (listMode) {
        hub.addToDomainsList(url.host());
        hub.getpathFromUrl(url, /*add=*/true);
        if (hub.isMailtoEtc(link))
            return;
        internal = true;
    } else {
        if (hub.isMailtoEtc(link))
            return;
        if (!internal && s.sitemapOnly)
            return;
    }
    if (collectionIsFull())
        return;

    // 14.12 The new record.
    UrlPtr record = newRecord(internal, urlString);
    const QString type = parser.getTypeAttribute();
    if (!type.isEmpty())
        record->setTypeAttribute(type);
    addOccurrence(record, parser, text, rel, /*withLineNumber=*/true);
    if (record->directoryTooHigh()) {
        if (logs(2))
            logLine(2, QStringLiteral("directory too high - %1").arg(urlString));
        record->addWarning(kTooHighWarning);
    }

    // 14.13 Its first status.
    const RobotsVerdict robots = hub.robotsVerdict(urlString);
    if (robots == RobotsVerdict::AllowedOverDisallow) {
        // A longer (or equally long) Allow rule wins: the link is checked as any other.
        if (logs(1))
            logLine(1, QStringLiteral("url %1 is disallowed by robots.txt but also allowed").arg(urlString));
        record->addWarning(QStringLiteral("The link url is disallowed by robots.txt but also allowed"));
    }
    bool ruleApplied = true;
    if (CrwlUrl::isLocalFileBeyondReach(*page, url)) {
        logLine(2, QStringLiteral("%1 is a local file linked from a web page").arg(urlString));
        record->setStatus(CrwlStatus::notChecked);
        record->addWarning(CrwlUrl::localFileBeyondReachWarning());
        hub.incNumberDone(record);
    } else if (!Z12Ara::stringContainsOneOfTheseTerms(urlString, hub.checkBlacklistArray).isEmpty()) {
        record->setStatus(CrwlStatus::notChecked);
        record->setIsBlacklisted(true);
        hub.incNumberDone(record);
    } else if (robots == RobotsVerdict::Disallowed) {
        record->setIsDisallowed(true);
        if (logs(3))
            logLine(3, QStringLiteral("is disallowed by robots.txt"));
        record->addWarning(QStringLiteral("The link url is disallowed by robots.txt"));
        if (s.blacklistByRobotsTxt) {
            record->setStatus(CrwlStatus::disallowedByRobotsTxt);
            record->setIsBlacklisted(true);
            hub.incNumberDone(record);
        }
    } else if (schemeIs(url, u"ftp")) {
        logLine(2, QStringLiteral("%1 is ftp://").arg(urlString));
        record->setStatus(CrwlStatus::notChecked);
        hub.incNumberDone(record);
    } else if (!formActions && text.contains(kFormActionMarker)) {
        logLine(2, QStringLiteral("%1 is not checked because it's a form action").arg(urlString));
        record->setStatus(CrwlStatus::notChecked);
        hub.incNumberDone(record);
    } else {
        ruleApplied = false;
    }

    // 14.14 Insecure content.
    if (!ruleApplied) {
        listInsecure(*record, url, text, internal);
        if (internal && s.httpIsExternal && hub.scanningHttpsSite && schemeIs(url, u"http"))
            record->setIsInternal(false);
    }

    // 14.15
    hub.add(record);
    if (record->getStatus() == CrwlStatus::notYetChecked)
        hub.addToCheckQueue(record);
    if (record->isInternal() && CrwlLinkInstance::relContainsExternal(rel))
        record->addWarning(
            QStringLiteral("The link appears internal but has an instance marked rel=external on page: %1 ")
                .arg(page->absoluteString()));
}

bool Z12Ara::LinkExtraction::fileRedirectTarget()
{
    // The final address is read as a page of its own: under its record when it has one,
    // else under a new record, unless a link to it would not be checked. The redirect is a
    // way in at its own distance, whichever answer came first. False when the page itself is
    // filed as its final address (the page is read as it is).
    const QString target = page->finalURLString();
    std::optional<Url> url = Url::fromString(target);
    if (!url)
        url = Url::fromString(PunycodeAdditions::encodedURLString(target));
    if (!url)
        return true;
    const bool internal = hub.compareHost(url->host(), hub.domains);
    UrlPtr record = hub.weHaveThisOneAlready(target, nullptr, internal);
    if (record == page)
        return false;
    if (!internal || !page->isGoodLink()
        || !Z12Ara::stringContainsOneOfTheseTerms(target, hub.checkBlacklistArray).isEmpty()
        || hub.robotsVerdict(target) == RobotsVerdict::Disallowed)
        return true;
    if (record) {
        hub.lowerDistanceFromHome(record, page->getDistanceFromHome());
    } else {
        if (collectionIsFull())
            return true;
        record = newRecord(/*internal=*/true, target);
        record->setDistanceFromHome(page->getDistanceFromHome());
        if (logs(2))
            logLine(2,
                QStringLiteral("%1 redirects to %2, which is checked as a page of its own")
                    .arg(page->absoluteString(), target));
        hub.add(record);
        hub.addToCheckQueue(record);
    }
    hub.recordRedirectArrival(page, record);
    return true;
}

Z12Ara::UrlPtr Z12Ara::LinkExtraction::newRecord(bool internal, const QString& linkURL)
{
    UrlPtr record = CrwlUrl::make(hub.shared_from_this(), hub.crawlSettings);
    record->setIsInternal(internal);
    record->setLinkURL(linkURL);
    record->setDistanceFromHome(childDistance);
    return record;
}

void Z12Ara::LinkExtraction::addOccurrence(const UrlPtr& target, const LinkExtractionParser& parser,
    const QString& text, const QString& rel, bool withLineNumber)
{
    std::optional<qint64> line;
    if (withLineNumber) {
        if (const auto number = parser.getLineNumber())
            line = *number;
    }
    hub.addInstanceWithParent(page, target, text, rel, parser.getTargetAttr(), parser.getHreflang(), line);
}

void Z12Ara::LinkExtraction::addErrorRecord(
    const LinkExtractionParser& parser, const QString& link, const QString& text)
{
    if (collectionIsFull())
        return;
    const qint64 status = text.contains(kAltMarker) ? CrwlStatus::missingImageSrc : CrwlStatus::missingLinkUrl;
    UrlPtr record = newRecord(/*internal=*/true, link.isEmpty() ? QStringLiteral("empty quotes") : link);
    record->setStatus(status);
    addOccurrence(record, parser, text, parser.getRel(), /*withLineNumber=*/true);
    hub.incNumberDone(record);
    hub.add(record);
}

bool Z12Ara::LinkExtraction::collectionIsFull()
{
    // Records past the cap would never be collected, yet be filed, queued and fetched.
    if (hub.collection.size() < s.linksLimit)
        return false;
    if (!collectionFullLogged) {
        collectionFullLogged = true;
        logLine(1,
            QStringLiteral("links limit of %1 reached, no new links of %2 are recorded")
                .arg(s.linksLimit)
                .arg(page->absoluteString()));
    }
    return true;
}

void Z12Ara::LinkExtraction::listInsecure(const CrwlUrl& target, const Url& url, const QString& text, bool internal)
{
    const QString& urlString = url.absoluteString();
    const auto loaded = [&] {
        return target.isImage() || text.contains(kAltMarker) || text == kLinkedFileMarker
            || text.contains(kFormActionMarker)
            || std::ranges::find(kLoadedFileMarkers, text) != kLoadedFileMarkers.end();
    };
    if (hub.scanningHttpsSite && schemeIs(url, u"http") && loaded()) {
        page->setHasMixedContent(true);
        appendInsecure(kInsecureResource, page->absoluteString(), urlString);
    }
    if (internal && s.httpIsExternal && hub.isLinkHttpOnHttpsSite(urlString, page->absoluteString()))
        appendInsecure(kInsecureLink, page->absoluteString(), urlString);
}

void Z12Ara::LinkExtraction::listHttpLinkedFiles(const LinkExtractionParser& parser)
{
    if (!hub.scanningHttpsSite || !base || page->isErrorPage())
        return;
    for (const QString& link : parser.getHttpLinkedFiles()) {
        const auto url = hub.makeNSURLFromString(link, *base);
        if (!url || !schemeIs(*url, u"http"))
            continue;
        page->setHasMixedContent(true);
        appendInsecure(kInsecureResource, page->absoluteString(), url->absoluteString());
    }
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

void Z12Ara::LinkExtraction::cleanUp()
{
    if (!hub.shouldCacheData())
        page->setData(QByteArray());
    page->clearWTG();
    if (hub.inProgressCount() == 0 && s.runJS)
        hub.isFinished();
}

// ===== URL helpers ==============================================================================

std::optional<Url> Z12Ara::makeNSURLFromString(const QString& link, const Url& base) const
{
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
    const QString baseHref = parser.getBaseHref();
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
