// What the files of link extraction share: the run over one page (`Z12Ara::LinkExtraction`), the
// settings it reads once per page, and the link-text markers and insecure-record kinds.
#pragma once

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
#include "engine/SettingsValue.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/Strings.h"
#include "platform/TextEncoding.h"
#include "platform/Url.h"
#include "platform/UserDefaults.h"

#include <algorithm>
#include <array>
#include <unordered_set>

using crawlmere::engine::boolValue;
using crawlmere::engine::integerValue;
using crawlmere::platform::logLine;
using crawlmere::platform::Url;
namespace strings = crawlmere::platform::strings;

namespace crawlmere::engine::detail {

inline const QString kLinkedFileMarker = QStringLiteral("[linked file]");
inline const QString kAltMarker = QStringLiteral("[alt]:");
inline const QString kFormActionMarker = QStringLiteral("[form action]");
/// The link texts of the files a page loads besides images and linked files: frames, media,
/// embedded objects and the addresses of its inline styles.
inline const std::array<QString, 4> kLoadedFileMarkers { QStringLiteral("[iFrame]"), QStringLiteral("[audio/video]"),
    QStringLiteral("[embed]"), QStringLiteral("[inline style url]") };

inline const QString kTooHighWarning = QStringLiteral(
    "The link url is a relative link with too many '../' which take the url above the root domain. It may work in a "
    "browser but is technically incorrect.");

/// The insecure-record types.
inline constexpr qint32 kInsecureLink = 0;
inline constexpr qint32 kInsecureResource = 1;
inline constexpr qint32 kInsecureRedirect = 2;
inline constexpr qint32 kInsecureCanonical = 3;

/// The crawl settings extraction reads, taken from one snapshot per page.
struct ExtractionSettings {
    explicit ExtractionSettings(const QVariantMap& map)
    {
        using crawlmere::engine::CrawlSettingKey;
        const auto flag = [&](CrawlSettingKey key) { return boolValue(map.value(key)); };
        const auto number = [&](CrawlSettingKey key) { return integerValue(map.value(key)); };
        // Limits outside their range read as the settings pane shows them.
        const auto limit = [&](CrawlSettingKey key) {
            return integerValue(crawlmere::engine::effectiveSettingValue(key, map.value(key)));
        };
        plainTextMode = number(crawlKey::plainTextMode);
        shouldParsePDFs = flag(crawlKey::shouldParsePDFs);
        shouldParseCSS = flag(crawlKey::shouldParseCSS);
        shouldParseDOCXs = flag(crawlKey::shouldParseDOCXs);
        shouldParseRTFs = flag(crawlKey::shouldParseRTFs);
        runJS = flag(crawlKey::runJS);
        shouldTrimHash = flag(crawlKey::shouldTrimHash);
        levelsLimit = limit(crawlKey::levelsLimit);
        linksLimit = limit(crawlKey::linksLimit);
        httpIsExternal = flag(crawlKey::httpIsExternal);
        blacklistByRobotsTxt = flag(crawlKey::blacklistByRobotsTxt);
        sitemapOnly = flag(crawlKey::sitemapOnly);
        hashIsBad = flag(crawlKey::hashIsBad);
        limitOccurrences = flag(crawlKey::limitOccurrences);
        occurrencesLimit = limit(crawlKey::occurrencesLimit);
        checkSpelling = flag(crawlKey::checkSpelling);
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
const ExtractionSnapshot& extractionSnapshot(const std::shared_ptr<CrawlSettings>& crawlSettings);

bool schemeIs(const Url& url, QStringView scheme);

/// Percent-escapes the characters a URL cannot hold, writing each as the escapes of its bytes
/// in `encoding` (UTF-8 when the text cannot be written in it). "%" and "#" stay.
QString percentEscaped(const QString& text, crawlmere::platform::EncodingId encoding);

} // namespace crawlmere::engine::detail

/// One run of `extractLinks` over one page: the settings and defaults it reads, read once, and
/// the steps, with the hub's fields at hand.
struct Z12Ara::LinkExtraction {
    LinkExtraction(Z12Ara& owner, const UrlPtr& fetched)
        : hub(owner)
        , page(fetched)
        , snapshotSettings(crawlmere::engine::detail::extractionSnapshot(owner.crawlSettings).map)
        , s(crawlmere::engine::detail::extractionSnapshot(owner.crawlSettings).settings)
    {
        verbosity = static_cast<int>(owner.defaults->value(defaultsKey::verbosity));
        linkedFilesAreInternal = owner.defaults->value(defaultsKey::linkedFilesAreInternal);
        formActions = owner.defaults->value(defaultsKey::formActions);
        childDistance = page->getDistanceFromHome() + 1;
    }

    void run();
    /// The scan `makeParser` would make for an HTML page; empty for other pages.
    PageReading prepareReading() const;
    /// Parser kind and file type of the page, as `makeParser` chooses them.
    std::optional<LinkExtractionParsers::DocumentKind> documentKind() const;
    int parserFileType() const;
    /// The encoding the page is read in before any charset it declares.
    EncodingId pageEncoding() const;

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
    /// False for a link that makes nothing (in-page, or empty and recorded as an error record).
    bool keepLink(const LinkExtractionParser& parser, const QString& link);
    /// The link resolved against the base (a local page's root-relative link against the
    /// scanned folder); nullopt when no URL can be made.
    std::optional<Url> resolveLink(const QString& link);
    void recordUnresolvable(
        const LinkExtractionParser& parser, const QString& link, const QString& text, const QString& rel);
    void recordKnownLink(const LinkExtractionParser& parser, const UrlPtr& known, const Url& url, const QString& text,
        const QString& rel, bool internal);
    void recordNewLink(const LinkExtractionParser& parser, const QString& link, const Url& url, const QString& text,
        const QString& rel, bool internal);
    /// The first status a new record of `url` gets without a request (a local file out of
    /// reach, "Do not check", robots.txt, ftp, a form action), counted; also marks a record
    /// robots.txt disallows. True when a rule applied, even one that set no status.
    bool giveFirstStatus(CrwlUrl& record, const Url& url, const QString& text);
    void warnRelExternal(CrwlUrl& target);
    /// A page that is only a redirect: its final address gets a record (found or made) and the
    /// redirect is filed as a way in to it. False when the final address is the page's own.
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
    /// The page is one of an https scan and was itself requested over https: only such a page
    /// has mixed content.
    bool pageIsSecure() const;
    /// Mixed content of the files the page loads over http that are not links of the scan.
    void listHttpLinkedFiles(const LinkExtractionParser& parser);
    bool logs(int level) const { return verbosity >= level; }

    Z12Ara& hub;
    const UrlPtr& page;
    QVariantMap snapshotSettings;
    crawlmere::engine::detail::ExtractionSettings s;
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
