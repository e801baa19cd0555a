// The run of link extraction over one page: its parser, its facts, and each link resolved,
// filtered and recorded as an occurrence or a new record.
#include "engine/detail/LinkExtraction.h"

#include "engine/detail/UrlWhitespace.h"

using namespace crawlmere::engine::detail;

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
    return hub.isStartingPage(*page) ? static_cast<int>(s.plainTextMode) : 0;
}

Z12Ara::PageReading Z12Ara::LinkExtraction::prepareReading() const
{
    if (!hub.linkExtractionParsers || documentKind())
        return {};
    return [parsers = hub.linkExtractionParsers, data = page->getData(), encoding = pageEncoding(),
               type = parserFileType(),
               settings = snapshotSettings] { return parsers->makePageParser(data, encoding, type, settings); };
}

Z12Ara::EncodingId Z12Ara::LinkExtraction::pageEncoding() const
{
    // The charset the response named, else the starting page's; one the page declares wins.
    const EncodingId declared = page->declaredTextEncoding();
    return declared != 0 ? declared : hub.detectedEncoding.load();
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
    // page's links, facts and sitemap entry are the same whichever answer arrives first. A page
    // read before and only a redirect now is read so too.
    if (crawlmere::engine::detail::isOnlyARedirect(*page) && fileRedirectTarget()) {
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
    const EncodingId encoding = pageEncoding();
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
        && hub.defaults->value(defaultsKey::htmlValidationEnabled))
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
    if (hub.isStartingPage(*page) && hub.diagnostic)
        hub.diagnostic->setWarnings(page->getWarningsAsString());
    return parser;
}

void Z12Ara::LinkExtraction::copyPageFacts(const LinkExtractionParser& parser)
{
    page->setLinkPageTitle(parser.getTitle());
    if (hub.isStartingPage(*page) && hub.diagnostic)
        hub.diagnostic->setTitle(parser.getTitle());
    page->setHeadings(parser.getHeadings());
    page->setFileSize(parser.getFileSize());
    page->setWordCount(parser.getWordCount());
    page->setMetaData(parser.getMetaData());
    if (page->isHTML() && hub.defaults->value(defaultsKey::countKeywords))
        page->setKeywordStuffed(parser.isKeywordStuffed());
}

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
        if (!(page->isCSS() && s.shouldParseCSS)) {
            if (page->getDistanceFromHome() >= s.levelsLimit)
                hub.leftOutForDepth(*page);
            return;
        }
    }

    const QString& pageString = page->absoluteString();
    listMode
        = hub.isStartingPage(*page) && (s.plainTextMode >= 1 || strings::containsCaseInsensitive(pageString, u".xml"));

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
    link = crawlmere::engine::detail::withoutTabsOrNewlines(link);
    if (!keepLink(parser, link))
        return;
    const QString text = parser.getLinkText();
    const QString rel = parser.getRel();

    const std::optional<Url> resolved = resolveLink(link);
    if (!resolved) {
        recordUnresolvable(parser, link, text, rel);
        return;
    }

    // 14.7 The URL, internal or not.
    const Url url = hub.dealWithUpADirectory(*resolved);
    bool internal = hub.compareHost(url.host(), hub.domains) || Z12Ara::fileUrlIsInternal(url, hub.domains);
    if ((text == kLinkedFileMarker || text.contains(kAltMarker)) && linkedFilesAreInternal)
        internal = true;
    // The addresses a starting URL list names are the ones the user asked to check, whatever
    // their host.
    if (listMode)
        internal = true;

    // 14.8 Dropped.
    if (hub.shouldBeIgnored(url.absoluteString(), internal, rel))
        return;

    if (const UrlPtr known = hub.weHaveThisOneAlready(url.absoluteString(), nullptr, internal))
        recordKnownLink(parser, known, url, text, rel, internal);
    else
        recordNewLink(parser, link, url, text, rel, internal);
}

bool Z12Ara::LinkExtraction::keepLink(const LinkExtractionParser& parser, const QString& link)
{
    // "./" and "." name the base's directory, as a browser reads them: they are resolved as any
    // relative link is.

    // 14.2, 14.3 In-page links.
    if (link.isEmpty() || link == u"#") {
        if (s.hashIsBad)
            addErrorRecord(parser, link, parser.getLinkText());
        return false;
    }
    return !(link.startsWith(u'#') && ((s.shouldTrimHash && link.size() >= 2) || link == u"#!"));
}

std::optional<Url> Z12Ara::LinkExtraction::resolveLink(const QString& link)
{
    // 14.4 A local page's root-relative links name files of the scanned folder.
    if (baseIsFile && link.startsWith(u'/')) {
        if (const auto& root = localRootFolder())
            return hub.makeNSURLFromString(link.mid(1), *root);
        return hub.makeNSURLFromString(link, *base);
    }
    if (base)
        return hub.makeNSURLFromString(link, *base);
    if (auto absolute = Url::fromString(link); absolute && absolute->hasScheme())
        return absolute;
    return std::nullopt;
}

void Z12Ara::LinkExtraction::recordUnresolvable(
    const LinkExtractionParser& parser, const QString& link, const QString& text, const QString& rel)
{
    // 14.5 No URL: a record that is never fetched.
    if (collectionIsFull())
        return;
    UrlPtr record = newRecord(/*internal=*/true, link);
    record->setStatus(CrwlStatus::unableToMakeValidUrl);
    addOccurrence(record, parser, text, rel, /*withLineNumber=*/false);
    hub.incNumberDone(record);
    hub.add(record);
}

void Z12Ara::LinkExtraction::recordKnownLink(const LinkExtractionParser& parser, const UrlPtr& known, const Url& url,
    const QString& text, const QString& rel, bool internal)
{
    // 14.9 One more way to a record the scan holds.
    if (!text.contains(kFormActionMarker) && hub.formActionsOnly.erase(known.get())) {
        // Known so far only as a form's action, it was not requested: a link has it checked.
        logLine(2, QStringLiteral("%1 is linked as well as a form action: it is checked").arg(url.absoluteString()));
        hub.decNumberDone(known);
        known->setStatus(CrwlStatus::notYetChecked);
        hub.addToCheckQueue(known);
    }
    hub.lowerDistanceFromHome(known, childDistance);
    if (!(s.limitOccurrences && known->getOnpagecount() > s.occurrencesLimit))
        addOccurrence(known, parser, text, rel, /*withLineNumber=*/true);
    // Each page that loads or links the insecure URL is listed, not only the first one.
    const bool ruled = known->isBlacklisted() || known->isDisallowed() || known->getStatus() == CrwlStatus::notChecked;
    if (!ruled)
        listInsecure(*known, url, text, internal);
    if (internal && CrwlLinkInstance::relContainsExternal(rel))
        warnRelExternal(*known);
}

void Z12Ara::LinkExtraction::recordNewLink(const LinkExtractionParser& parser, const QString& link, const Url& url,
    const QString& text, const QString& rel, bool internal)
{
    // 14.10, 14.11 Links that make no record.
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
    const QString& urlString = url.absoluteString();
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

    // 14.13, 14.14 Its first status, else its insecure content.
    if (!giveFirstStatus(*record, url, text)) {
        listInsecure(*record, url, text, internal);
        if (internal && s.httpIsExternal && hub.scanningHttpsSite && schemeIs(url, u"http"))
            record->setIsInternal(false);
    }

    // 14.15
    hub.add(record);
    if (record->getStatus() == CrwlStatus::notYetChecked)
        hub.addToCheckQueue(record);
    if (record->isInternal() && CrwlLinkInstance::relContainsExternal(rel))
        warnRelExternal(*record);
}

bool Z12Ara::LinkExtraction::giveFirstStatus(CrwlUrl& record, const Url& url, const QString& text)
{
    const QString& urlString = url.absoluteString();
    const RobotsVerdict robots = hub.robotsVerdict(urlString);
    if (robots == RobotsVerdict::AllowedOverDisallow) {
        // A longer (or equally long) Allow rule wins: the link is checked as any other.
        if (logs(1))
            logLine(1, QStringLiteral("url %1 is disallowed by robots.txt but also allowed").arg(urlString));
        record.addWarning(QStringLiteral("The link url is disallowed by robots.txt but also allowed"));
    }
    const auto counted = [&](qint64 status) {
        record.setStatus(status);
        hub.incNumberDone(record.shared_from_this());
        return true;
    };
    if (CrwlUrl::isLocalFileBeyondReach(*page, url)) {
        logLine(2, QStringLiteral("%1 is a local file linked from a web page").arg(urlString));
        record.addWarning(CrwlUrl::localFileBeyondReachWarning());
        return counted(CrwlStatus::notChecked);
    }
    if (!Z12Ara::stringContainsOneOfTheseTerms(urlString, hub.checkBlacklistArray).isEmpty()) {
        record.setIsBlacklisted(true);
        return counted(CrwlStatus::notChecked);
    }
    if (robots == RobotsVerdict::Disallowed) {
        record.setIsDisallowed(true);
        if (logs(3))
            logLine(3, QStringLiteral("is disallowed by robots.txt"));
        record.addWarning(QStringLiteral("The link url is disallowed by robots.txt"));
        if (!s.blacklistByRobotsTxt)
            return true; // checked, with no status yet
        record.setIsBlacklisted(true);
        return counted(CrwlStatus::disallowedByRobotsTxt);
    }
    if (schemeIs(url, u"ftp")) {
        logLine(2, QStringLiteral("%1 is ftp://").arg(urlString));
        return counted(CrwlStatus::notChecked);
    }
    if (!formActions && text.contains(kFormActionMarker)) {
        logLine(2, QStringLiteral("%1 is not checked because it's a form action").arg(urlString));
        hub.formActionsOnly.insert(&record);
        return counted(CrwlStatus::notChecked);
    }
    return false;
}

void Z12Ara::LinkExtraction::warnRelExternal(CrwlUrl& target)
{
    target.addWarning(QStringLiteral("The link appears internal but has an instance marked rel=external on page: %1 ")
                          .arg(page->absoluteString()));
}

bool Z12Ara::LinkExtraction::fileRedirectTarget()
{
    // The final address is read as a page of its own: under its record when it has one, else
    // under a new record that gets its first status as a link to it would. The redirect is a
    // way in at its own distance, whichever answer came first. False when the page itself is
    // filed as its final address (the page is read as it is).
    const QString target = page->finalURLString();
    std::optional<Url> url = Url::fromString(target);
    if (!url)
        url = Url::fromString(PunycodeAdditions::encodedURLString(target));
    if (!url)
        return true;
    const bool start = page->isStartingPoint();
    if (start)
        hub.followStartingRedirect(*url); // the scan goes on as one started at its final address
    const bool internal = hub.compareHost(url->host(), hub.domains);
    UrlPtr record = hub.weHaveThisOneAlready(target, nullptr, internal);
    if (record == page)
        return false;
    if (!internal || !page->isGoodLink())
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
        // The starting point's page is checked as the starting point is, whatever the lists say.
        if (!start)
            giveFirstStatus(*record, *url, QString());
        hub.add(record);
        if (start)
            hub.queueAfterRobotsOf(record); // its host's robots.txt is read before its pages are
        else if (record->getStatus() == CrwlStatus::notYetChecked)
            hub.addToCheckQueue(record);
    }
    if (start)
        hub.startingPage.store(record.get());
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
                .arg(QString::number(s.linksLimit), page->absoluteString()));
    }
    return true;
}

void Z12Ara::LinkExtraction::cleanUp()
{
    if (!hub.shouldCacheData())
        page->setData(QByteArray());
    page->clearWTG();
    if (hub.inProgressCount() == 0 && s.runJS)
        hub.isFinished();
}
