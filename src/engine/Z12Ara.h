// The crawl coordinator: owns one scan at a time (its settings, every URL record and link
// occurrence met, the check queue, the fetches in flight, the lookup table, rule and robots
// lists and counters) and answers the URL records of the scan as their owner.
#pragma once

#include "engine/CrawlSettings.h"
#include "engine/CrwlLinkTextPool.h"
#include "engine/CrwlURLDelegate.h"
#include "engine/HostLookupStage.h"
#include "engine/QFQueue.h"
#include "engine/RobotsTxt.h"
#include "engine/detail/HashedString.h"
#include "engine/detail/OccurrenceArena.h"
#include "engine/qfDataSource.h"
#include "platform/TextEncoding.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class CrwlUrl;
class CrwlLinkInstance;
class Diagnostic;
class EngineSEOService;
class FetchTransport;
class HubClock;
class HubPageReader;
class LinkExtractionParser;
class LinkExtractionParsers;
class OutputFilterManager;
class ShellPrompts;
class ShellSiteStore;
class ArchiveSink;

namespace crawlmere::platform {
struct UrlLoadResult;
struct UrlRequest;
class UserDefaults;
class Url;
} // namespace crawlmere::platform

/// An insecure-content record of a page (`insecureList`): `type` 0 an http link to a page of the
/// site on an https page (what the page loads is type 1 only), 1 an http resource of an https
/// page, 2 a redirect to an http page of the site, 3 an http canonical of an https page; `url`
/// the page (for type 2 the redirecting URL); `array` the offending URLs (the redirect targets).
struct InsecureContentRecord {
    qint32 type = 0;
    QString url;
    QStringList array;
};

/// A warning record (`warningsArray`): the record's URL, the record and the warning text.
struct HubWarningRecord {
    QString url;
    std::shared_ptr<CrwlUrl> lcurl;
    QString warning;
};

/// The hub. Exactly one lives for the whole run; make it with `std::make_shared` (records hold
/// their owner weakly), wire its services (`setConfigManager`, `setDiagnostic`, `setPrompts`,
/// `setEngineSEODataSource`, `setTransport`, `setPageReader`), then give it settings
/// (`setCrawlSettings`) and call `go` for each scan.
///
/// Threads: everything runs on the main thread unless a member says [any thread]. Fetch
/// threads reach the hub only through the [any thread] members of `CrwlURLDelegate`.
///
/// Notifications posted on the default center, with the hub as object unless stated:
/// "CrwlCrawlDidFinish", "CrwlCrawlDidStop", "CrwlCrawlWillContinue", "CrwlListenerShouldUpdateData",
/// "CrwlDidSaveArchiveIndex", "CrwlUrlStatusUpdated" with the record as object, and
/// "CrwlPageLinksUpdated" with the page as object when a page's links were read again.
class Z12Ara : public qfDataSource, public CrwlURLDelegate, public std::enable_shared_from_this<Z12Ara> {
public:
    using UrlPtr = std::shared_ptr<CrwlUrl>;
    using InstancePtr = std::shared_ptr<CrwlLinkInstance>;
    using EncodingId = crawlmere::platform::EncodingId;

    static inline const QString CrwlCrawlDidFinish = QStringLiteral("CrwlCrawlDidFinish");
    static inline const QString CrwlCrawlDidStop = QStringLiteral("CrwlCrawlDidStop");
    static inline const QString CrwlCrawlWillContinue = QStringLiteral("CrwlCrawlWillContinue");
    static inline const QString CrwlUrlStatusUpdated = QStringLiteral("CrwlUrlStatusUpdated");
    static inline const QString CrwlPageLinksUpdated = QStringLiteral("CrwlPageLinksUpdated");
    static inline const QString CrwlListenerShouldUpdateData = QStringLiteral("CrwlListenerShouldUpdateData");
    static inline const QString CrwlDidSaveArchiveIndex = QStringLiteral("CrwlDidSaveArchiveIndex");
    /// The link text of the occurrence that stands for the way in through a redirect.
    static inline const QString kRedirectArrivalText = QStringLiteral("[redirect]");

    /// Room made up front in the queue and the lookup table (which grow beyond it as needed).
    static constexpr qsizetype kQueueCapacity = 50000;
    static constexpr qsizetype kLookupCapacity = 16384;
    /// Extra seconds past the settings' `timeout` before a silent fetch is given up (-17).
    static constexpr double kGiveUpGraceSeconds = 3.0;
    /// Time-outs of the two start-of-scan probes.
    static constexpr double kRobotsTimeoutSeconds = 10.0;
    /// Only so much of a robots.txt is read; rules past it are ignored, as large crawlers do.
    static constexpr qint64 kRobotsMaxBytes = 500 * 1024;
    static constexpr double kEncodingProbeTimeoutSeconds = 6.0;

    /// init: `initialise` on the standard store (or `defaults`, which must outlive the hub).
    Z12Ara();
    explicit Z12Ara(crawlmere::platform::UserDefaults& defaults);
    ~Z12Ara() override;
    Z12Ara(const Z12Ara&) = delete;
    Z12Ara& operator=(const Z12Ara&) = delete;

    // ===== Wiring (what the main interface file connects) ====================================

    void setConfigManager(std::shared_ptr<ShellSiteStore> store) { configManager = std::move(store); }
    void setEngineSEODataSource(std::shared_ptr<EngineSEOService> seo) { engineSEODataSource = std::move(seo); }
    void setDiagnostic(std::shared_ptr<Diagnostic> window) { diagnostic = std::move(window); }
    void setPrompts(std::shared_ptr<ShellPrompts> value) { prompts = std::move(value); }
    /// Starts and cancels fetches and makes the probes' loads; the hub starts with a
    /// `CrwlUrlFetchTransport` (each record fetches itself). Without one, nothing is fetched
    /// (each started record waits until the watchdog gives it up).
    void setTransport(std::shared_ptr<FetchTransport> value) { transport = std::move(value); }
    /// The clock of the pump's delays, the request-rate window and the watchdog; the hub starts
    /// with a `DispatchClock`.
    void setClock(std::shared_ptr<HubClock> value);
    /// The parser services of the encoding probe and the soft-404 test. Without one, the probe
    /// trusts the trial decoding alone and the soft-404 test reads pages as UTF-8.
    void setPageReader(std::shared_ptr<const HubPageReader> value) { pageReader = std::move(value); }
    /// The page archive of the scans (null: nothing is archived, no index is written). Set it
    /// before the first scan; fetch threads read it.
    void setArchiveSink(std::shared_ptr<ArchiveSink> value) { archiveSink = std::move(value); }
    const std::shared_ptr<ArchiveSink>& getArchiveSink() const { return archiveSink; }

    crawlmere::platform::UserDefaults& getDefaults() const { return *defaults; }
    const std::shared_ptr<EngineSEOService>& getEngineSEODataSource() const { return engineSEODataSource; }

    // ===== Scan control (Z12Ara.cpp) ========================================================

    /// setCrawlSettings: the scan's dictionary, shared with every record of the scan.
    void setCrawlSettings(SharedCrawlSettings settings) { crawlSettings = std::move(settings); }
    /// go: starts a scan. Returns YES when the starting record was queued and pumped; NO when
    /// the scan could not start (no settings, no usable starting URL, an unreadable local file).
    /// A failed start leaves nothing queued.
    bool go();
    /// clear: resets the hub for a new scan.
    void clear() override;
    /// stop: pauses: fetches in flight are cancelled and appended to the queue again.
    void stop();
    /// continueCrawl: resumes a paused scan.
    void continueCrawl();
    /// The three notifications of the hub's own, each with the hub as object.
    void crawlDidStop();
    void crawlWillContinue();
    void reloadData();

    /// validateStartingUrl: writes the usable form of the settings' `startingUrl` back into
    /// them; NO when there is none or no URL can be made from it.
    bool validateStartingUrl(const SharedCrawlSettings& settings) const;
    /// shouldCacheData: page data stays after extraction while the spelling check is on.
    bool shouldCacheData() const;
    bool isScanning() const override;
    /// Moves on at every `clear` (a new scan, Clear): work that outlives a scan, such as a page
    /// recheck, sees by it that the records it holds are no longer the hub's.
    quint64 scanNumber() const { return clearCount; }
    qint64 inProgressCount() const override { return numberOfThreadsDetached; }
    bool stopPressed() const override { return stopPressedFlag.load(); }
    quint32 getDetectedEncoding() const override { return static_cast<quint32>(detectedEncoding.load()); }
    qint32 getActionWhenFinished() const { return actionWhenFinished; }
    qint32 getPlainTextMode() const { return plainTextMode; }
    /// The starting URL cut after its directory; null when the scan is not limited to one.
    const QString& getStartingDir() const { return startingDir; }
    const QString& getDataBelongsToID() const { return dataBelongsToID; }
    /// The starting record while a scan starts (later a scratch reference of link extraction).
    const UrlPtr& getLcurl() const { return lcurl; }
    /// The starting point redirected to `final`: the scan goes on as one started there. The
    /// final address's host leads the internal domains (the starting host stays one of them),
    /// following is limited to the final address's directory instead of the starting URL's, and
    /// the scan's and the site's starting URL become the final address. Once per scan.
    void followStartingRedirect(const crawlmere::platform::Url& final);
    /// Queues `record`, a page the scan starts from, once the robots.txt of its host and port
    /// has been read: at once when it has been (or the record is no web page), else after
    /// reading it in the background, while the scan waits for it.
    void queueAfterRobotsOf(const UrlPtr& record);
    /// The page the scan starts from: the starting point, or when the starting point is only a
    /// redirect, the record of its final address, which is followed as the starting point is.
    /// [any thread]
    bool isStartingPage(const CrwlUrl& record) const override;

    /// trimEachItemInArray: items trimmed of white space and line breaks, empty ones dropped.
    static QStringList trimEachItemInArray(const QStringList& items);
    static QStringList trimEachItemInArray(const QVariant& items);
    /// stringByDeletingLastPathComponent: up to (not including) the last "/"; the string itself
    /// when it holds no "/" or only a "/" at index 0.
    static QString stringByDeletingLastPathComponent(const QString& text);
    /// uniqueStringUsingDateAndTime: the current local time (or `when`) as "yyyyMMddHHmmss".
    static QString uniqueStringUsingDateAndTime();
    static QString uniqueStringUsingDateAndTime(const QDateTime& when);
    /// The ten built-in "Do not check" terms appended to every scan's list.
    static QStringList builtInCheckBlacklistTerms();

    // ===== Check queue, pump and finish (Z12AraQueue.cpp) ===================================

    /// addToCheckQueue: appends the record and clears `crawlFinished`.
    void addToCheckQueue(const UrlPtr& record) override;
    /// The record waits in the check queue or for a Refresh delay, or its fetch is under way (a
    /// linear search).
    bool isQueuedOrInProgress(const CrwlUrl& record) const override;
    /// getNextUrlToCrawl: starts fetches until `numberOfThreads` are in flight; YES when at
    /// least one started. The argument is not used.
    bool getNextUrlToCrawl(const UrlPtr& record = nullptr) override;
    /// threadHasFinished: frees the record's slot and pumps.
    void threadHasFinished(const UrlPtr& record) override;
    /// Frees the record's slot and pumps; the record waits on the hub's clock, holding the scan
    /// open, and is queued again when `delay` has passed. A pause queues it again at once.
    void refreshAfter(const UrlPtr& record, std::chrono::seconds delay) override;
    /// isFinished: YES when the scan is over; gives up fetches silent past `timeout` + 3 s.
    bool isFinished();
    /// saveArchive: has the archive sink write its index, then posts "CrwlDidSaveArchiveIndex"
    /// (also when the write failed or there is no sink). Queued once after a finish with
    /// `shouldArchive` on.
    void saveArchive();
    /// archiveLocation: the sink's archive folder, created when missing; null without a sink.
    QString archiveLocation() const;
    /// archivePage: hands the record to the archive sink, as a page, or as a redirect when it is
    /// only one. [any thread; several at once]
    void archivePage(const UrlPtr& record) override;
    void updateStatusField() const;

    void incNumberDone(const UrlPtr& record) override;
    void decNumberDone(const UrlPtr& record) override;
    void incBadLinkCount(const UrlPtr& record) override;
    void markThisUrlAsFixed(const UrlPtr& record);
    qint64 countBadCollection();
    void statusHasChangedFordO(const UrlPtr& record) override;

    /// addToLookup:withKey: files the record under its prepared form of `key`.
    void addToLookup(const UrlPtr& record, const QString& key) override;
    /// removeFromLookup: removes the record's entry (under the same prepared key), only when the
    /// entry is this record.
    void removeFromLookup(const UrlPtr& record);
    /// addToRedirLookup:withKey: files the record under the key of a URL it redirects to, once.
    void addToRedirLookup(const UrlPtr& record, const QString& key) override;
    qint64 getNumberOfRedirectsTo(const CrwlUrl& record) const override;
    CrwlUrlList getRedirectsTo(const CrwlUrl& record) const override;
    UrlPtr getFinalRecordOf(const CrwlUrl& record) const override;
    std::vector<InstancePtr> getRedirectArrivalsTo(const CrwlUrl& record) const override;
    /// Whether `occurrence` stands for a way in through a redirect (`recordRedirectArrival`)
    /// rather than for a link on a page.
    static bool isRedirectArrival(const CrwlLinkInstance& occurrence);
    /// A way to reach `record` at `distance` from home: the record and, from it, every page it
    /// links and the page it redirects to take the shorter distance, so a page's distance is
    /// the shortest over every way it is reached, whichever answer came first. A page whose
    /// links were left out for its depth and that is now nearer than `levelsLimit` is fetched
    /// again and its links read at its new distance.
    void lowerDistanceFromHome(const UrlPtr& record, qint64 distance);
    /// The page's links were left out because of its distance from home (a later, shorter way
    /// in has them read).
    void leftOutForDepth(const CrwlUrl& page) { linksLeftOutForDepth.insert(&page); }
    /// Records that `redirect`, which is only a redirect, leads to `final`: it is filed among
    /// the redirects to `final`, and one occurrence with the text "[redirect]" stands for the
    /// way in (the occurrence views list it; it is on neither record's list). A later call for
    /// the same redirect replaces it.
    void recordRedirectArrival(const UrlPtr& redirect, const UrlPtr& final);

    /// add: appends a record to the collection while it holds fewer than `linksLimit`.
    void add(Item item) override;
    void add(const UrlPtr& record);
    /// addInstanceWithParent:target:linkText:rel:targetattr:hreflang:lineNumber:
    InstancePtr addInstanceWithParent(const UrlPtr& parent, const UrlPtr& target, const QString& linkText,
        const QString& rel, const QString& targetattr, const QString& hreflang, std::optional<qint64> lineNumber);
    void removeThisCrwlUrlFromCollection(const UrlPtr& record) override;
    void removeThisCrwlLinkInstanceFromCollection(const InstancePtr& instance) override;
    /// The page's occurrences leave the lists, its insecure records are dropped and its links
    /// are read from its new body (a page read before is not handed to the SEO collection again;
    /// one that is no longer read as a page, a redirect now, leaves it); then
    /// each former target that no occurrence links any more, other than the page itself and
    /// the starting point, leaves the scan with its own links, its counts taken back
    /// (`decNumberDone`), and so on down. Answers the page's targets not yet checked and those
    /// that count as bad and were fetched, each once.
    std::vector<UrlPtr> readLinksAgain(const UrlPtr& page) override;
    /// What the fetch of a page fetched again (`fetchPageAgain`) left to read.
    struct PageFetchedAgain {
        /// The scan reads the answer: a page, or a redirect whose final address is filed. False
        /// when it reads nothing of it (a failure, a status or a type whose body it declines).
        bool read = false;
        /// The page's reading, made off the main thread; null when it is read from its body.
        std::unique_ptr<LinkExtractionParser> reading;
    };
    /// Runs once on the main thread: with what the fetch left, or nullopt when there is nothing
    /// to read for this caller (the scan was cleared first, or another caller waiting for the
    /// same fetch was handed it).
    using PageFetchedAgainHandler = std::function<void(std::optional<PageFetchedAgain>)>;
    /// Fetches `page` again as the scan fetches a page, through the check queue: the scan's
    /// request, its redirects followed and recorded, its status and error anew, counted anew.
    /// When the fetch has ended the page is not read but handed to `fetched`, which reads it
    /// with `readPageAgain` in its own time. A page already queued or being fetched is handed
    /// over when that fetch ends. In a paused scan the fetch waits for the scan to continue.
    /// Main thread.
    void fetchPageAgain(const UrlPtr& page, PageFetchedAgainHandler fetched);
    /// Reads a page fetched again as the scan reads an answer: its links afresh
    /// (`readLinksAgain`), resolved against its final address; for a page that is only a
    /// redirect now, its final address filed as a page of its own; for an answer the scan does
    /// not read, no links (and the page leaves the SEO collection). The page's targets that
    /// `readLinksAgain` answers are then checked. Main thread.
    void readPageAgain(const UrlPtr& page, PageFetchedAgain fetched);
    /// sendWarningToWarningsManager:forUrl: [any thread; hops to the main thread]
    void sendWarningToWarningsManager(const QString& warning, const UrlPtr& record) override;

    // ===== Start-of-scan probes (Z12AraProbes.cpp) ==========================================

    /// parseRobotsTxt: fills the robots lists from the site's robots.txt (10 s).
    void parseRobotsTxt(const UrlPtr& startingRecord);
    /// detectEncoding: the starting page's encoding (6 s); may set `wixSite` and `wordpressUrls`.
    void detectEncoding(const UrlPtr& startingRecord);
    /// The robots.txt rules for this crawler of a robots.txt text, as (disallow, allow) values in
    /// file order, before they are made absolute.
    struct RobotsRules {
        QStringList disallow;
        QStringList allow;
    };
    static RobotsRules parseRobotsRules(const QString& text);
    /// The rules of a robots.txt load from `location`; nullopt (logged) when it gave none: a
    /// transport error, a status above 399, no body or a body that is not UTF-8.
    static std::optional<RobotsRules> robotsRulesFromLoad(
        crawlmere::platform::UrlLoadResult result, const QString& location);
    /// How the site's robots.txt rules an absolute URL (see RobotsTxt): the path and query
    /// are compared from their start, case-sensitively, in one percent-encoded form whichever
    /// form the caller holds; the longest matching rule decides and an Allow wins a tie. A URL
    /// on another host or port than the robots.txt's is never disallowed. Link extraction,
    /// redirect targets, canonicals and the sitemap collection all ask this one question.
    using RobotsVerdict = RobotsTxt::Verdict;
    RobotsVerdict robotsVerdict(QStringView url) const;
    /// The request of a robots.txt load (10 s, the scan's user agent, no cookies, capped).
    crawlmere::platform::UrlRequest robotsRequest(const QString& location) const;
    /// The robots.txt location of a scan: scheme, the domain, ":" and the port when it is not
    /// the scheme's default, "/robots.txt".
    static QString robotsLocation(const QString& domain, bool https, std::optional<int> port);
    /// tryEncodingData:usingStringEncoding:
    static std::optional<QString> tryEncodingData(const QByteArray& data, EncodingId encoding);
    /// stringEncodingForData:convertedString: the first encoding of the trial list that decodes
    /// the data; 0 and `converted` untouched when none does.
    static EncodingId stringEncodingForData(const QByteArray& data, QString* converted);
    /// makeEachItemInArray:absoluteUsing:
    static QStringList makeEachItemInArray(const QStringList& items, const QString& domain);

    // ===== Soft-404 test and hub services (Z12AraServices.cpp) ==============================

    bool shouldPerformSoft404CheckOn(const CrwlUrl& record) const;
    /// [any thread] YES when the page counts as a possible soft 404 (may add a warning to it).
    bool performSoft404CheckOnThisUrl(const UrlPtr& record) override;
    /// The soft-404 terms of the scan. [any thread]
    QStringList getSoft404Array() const;

    void sendHTMLStringToDiagnostic(const QString& html) override;
    void addRequestFieldsToDiagnostic(const QString& fields) override;
    void addResponseFieldsToDiagnostic(const QString& fields) override;
    void addStringToDiagnosticTrace(const QString& line) override;

    bool crawlFinished() const { return crawlFinishedFlag; }
    const QList<Item>& linksCollection() const { return collection; }
    /// Every occurrence of the scan, in the order made (a deque: growing it never copies it).
    const crawlmere::engine::detail::OccurrenceArena& instanceCollection() const { return occurrenceArena; }
    const CrwlUrlList& internalPagesCollection() const;
    qint64 pageCount() const;
    const QList<InsecureContentRecord>& insecureList() const { return insecureRecords; }
    /// On an https scan, lists each hop of `record`'s redirect chain that goes from an https
    /// address to an http address of the site (insecure type 2, under the redirecting URL),
    /// each once however often the record is counted.
    void listInsecureRedirects(const CrwlUrl& record);
    /// The URLs checked: each record with a result counted once, those a rule kept from being
    /// requested ("Not checked") left out.
    qint64 checkedLinkCount() const { return numberDone; }
    qint64 badLinkCount() const { return badCollectionCount; }
    qint64 badInstanceCount() const { return badInstanceTally; }
    /// Records waiting for a fetch: in the check queue, or set aside while their host is looked
    /// up.
    qint64 queueLength() const { return checkQueue.count() + hostLookups.waitingCount() + recordsWaitingForRobots(); }
    /// Records held until the robots.txt of their host has been read.
    qint64 recordsWaitingForRobots() const;
    const QList<HubWarningRecord>& getWarningsArray() const { return warningsArray; }
    const SharedCrawlSettings& getCrawlSettings() const { return crawlSettings; }
    bool getScanningHttpsSite() const { return scanningHttpsSite; }
    QString getWebsiteName() const;
    void applicationWillTerminate() { }

    CrwlUrlGroups getDuplicates() const override;
    CrwlUrlGroups getDuplicateTitles() const override;
    CrwlUrlGroups getDuplicateDescriptions() const override;
    QString SEOShortSummary() const;
    QString SEOShortSummaryAsCSV() const;
    CrwlUrlList imageCollection() const;
    /// Lower-case word → the pages it was found on; null until the register has words.
    const std::map<QString, CrwlUrlList>* getMisspelledWordDictionary() const;
    CrwlUrlList getDuplicatesForCrwlUrl(const CrwlUrl& record) const override;
    quint64 duplicateGroupsGeneration() const override;

    // ----- Reading the scan's state (views, reports, tests) ----------------------------------

    const QFQueue& getCheckQueue() const { return checkQueue; }
    const QList<UrlPtr>& getInProgressArray() const { return inProgressArray; }
    using LookupTable = QHash<crawlmere::engine::detail::HashedString, UrlPtr>;
    const LookupTable& getLookupDictionary() const { return lookupDictionary; }
    const QStringList& getCheckBlacklistArray() const { return checkBlacklistArray; }
    const QStringList& getFollowBlacklistArray() const { return followBlacklistArray; }
    const QStringList& getFollowWhitelistArray() const { return followWhitelistArray; }
    const QStringList& getIgnoreArray() const { return ignoreArray; }
    const QStringList& getRobotsBlacklistArray() const { return robotsBlacklistArray; }
    const QStringList& getRobotsWhitelistArray() const { return robotsWhitelistArray; }
    const std::shared_ptr<OutputFilterManager>& getOutputFilterManager() const { return outputFilterManager; }
    bool getHttpLinkFoundOnHttpsSite() const { return httpLinkFoundOnHttpsSite; }
    /// The internal domains as they are now. [any thread]
    QStringList getDomains() const;
    /// string:containsOneOfTheseTerms: the terms of at least 2 characters that `string`
    /// satisfies, in list order; empty when none (the robots, rule and soft-404 lists).
    static QStringList stringContainsOneOfTheseTerms(QStringView string, const QStringList& terms);

    // --- Follow, scope and duplicate decisions (Z12AraDecisions.cpp)

    // Threads: main thread, except `isMailtoEtc` (reads nothing but its argument),
    // `redirectUrlIsExternal` (reads `domains` under `domainsLock` off the main thread) and
    // `resetDomain` / `addToDomainsList` (called from any thread, they make their change on the
    // main thread through `Dispatch::mainSync`).

    /// Most entries `domains` takes; further hosts are refused (logged).
    static constexpr qsizetype kMaxDomains = 10000;
    /// Most terms the directory scope appends to `followBlacklistArray` during a scan.
    static constexpr qsizetype kMaxFollowBlacklistTerms = 10000;

    /// weShouldCrawlThisURL: whether the links of a fetched page are followed. The starting
    /// point always is. Marks the page blacklisted by the "Do not follow" and "Only follow"
    /// lists, lifts the mark when the output filter passes the page, and refuses duplicates,
    /// external pages, blacklisted pages, pages reached only through nofollow links (with the
    /// default `dontFollowNofollowLinks`), types whose parsing is off and pages of a sitemap scan.
    /// A page read again (`readLinksAgain`) is already recorded and not refused as a duplicate.
    bool weShouldCrawlThisURL(const UrlPtr& page, bool readAgain = false);
    /// nofollowRulesAllowUs: at least one inbound occurrence lacks the nofollow flag.
    bool nofollowRulesAllowUs(const CrwlUrl& page) const;
    /// Another record is filed under the page's final address (fragment cut) and had its links
    /// read as a page (a redirect's record never is).
    bool anotherRecordWasReadAt(const CrwlUrl& page) const;
    /// compareHost:withDomain: the host counts as internal: it equals an entry (or its IDNA form
    /// does), ignoring case; or, with `followSubdomains`, one of host and entry ends, ignoring
    /// case, in "." followed by the other, as given or with a leading "www." set aside (a
    /// subdomain or parent domain at a label boundary). A null or empty host is external; an
    /// empty list makes every host internal. [any thread]
    bool compareHost(const QString& host, const QStringList& domainList) const;
    /// fileUrlIsInternal:withDomain: a file URL whose string begins, ignoring case, with one of
    /// the prefixes. [any thread]
    static bool fileUrlIsInternal(const crawlmere::platform::Url& url, const QStringList& prefixes);
    /// redirectUrlIsExternal: the URL's host is not internal by `domains`; NO for an invalid URL.
    /// [any thread]
    bool redirectUrlIsExternal(const crawlmere::platform::Url& url) const override;
    /// A link to the URL would get its first status without a request: a "Do not check" term
    /// matches it, or robots.txt disallows it with `blacklistByRobotsTxt` on. [any thread]
    bool isNeverRequested(const QString& url) const override;
    /// isLinkHttpOnHttpsSite:onPage: an "http://" link on an "https://" page; sets
    /// `httpLinkFoundOnHttpsSite` when YES.
    bool isLinkHttpOnHttpsSite(const QString& link, const QString& page);
    /// addToDomainsList: appends a host that is not empty and not yet listed (exact text).
    /// [any thread; the change is made on the main thread]
    void addToDomainsList(const QString& host);
    /// resetDomain: adds the host of the record's redirect target (or of its link URL when it
    /// has none) to `domains`. [any thread; the change is made on the main thread]
    void resetDomain(const CrwlUrl& record) override;
    /// shouldBeIgnored:internal:rel: drop the link entirely: external while `internalOnly` is
    /// on, a rel naming "dns-prefetch" or "preconnect", or a match in the "Ignore" list.
    bool shouldBeIgnored(const QString& link, bool internal, const QString& rel) const;
    /// shouldBeInSitemapCollection: a good internal HTML page (or PDF with the default
    /// `includePdfsInSitemap`), not an image, not excluded by robots.txt while the default
    /// `observeRobotsTxt` is on.
    bool shouldBeInSitemapCollection(const CrwlUrl& page) const;
    /// isMailtoEtc: a template placeholder, script object, dialog selector, or (for an href
    /// holding ":") a mail, telephone, script, data or similar link that is not fetched.
    /// [any thread]
    bool isMailtoEtc(const QString& href) const override;
    /// containsColon: the string holds ":".
    static bool containsColon(const QString& text);
    /// dealWithUpADirectory: resolves the first "/../" of the URL's path; with
    /// `tolerateUpADirectory`, steps that climb above the root are deleted. The URL given when
    /// nothing changes or nothing can be made.
    crawlmere::platform::Url dealWithUpADirectory(const crawlmere::platform::Url& url) const;
    /// getpathFromUrl:andAddToFollowBlacklist: the directory of a URL that a starting list
    /// names; with `add` (and `crawlUpwards` off) following is limited to it by a negated
    /// "Do not follow" term. nullopt when the URL has no path to speak of.
    std::optional<QString> getpathFromUrl(const crawlmere::platform::Url& url, bool add);
    /// weHaveThisOneAlready:ignore:internal: the known record of a URL string, unless it is
    /// `ignore`; null when none.
    UrlPtr weHaveThisOneAlready(const QString& url, const CrwlUrl* ignore, bool internal) const;
    /// The record the current scan holds for `record`'s URL: `record` itself while it is one of
    /// the scan's, the scan's own record of the URL when `record` is left from an earlier scan,
    /// null when the scan has none (or `record` is null). Windows kept open across scans
    /// follow their record through it.
    UrlPtr currentRecordOf(const UrlPtr& record) const;
    /// doWeHaveThisURL:inDictionary:internal: looks the URL string up in `dictionary` under every
    /// form a record of it may be filed under (see Z12AraDecisions.cpp); null when none.
    UrlPtr doWeHaveThisURL(const QString& url, const LookupTable& dictionary, bool internal) const;
    /// The keys `doWeHaveThisURL` tries for a URL string, in order; empty when the string is
    /// empty once its fragment or query is cut. With `found`, each key is handed to it as it is
    /// made, and the list ends with the first key it answers true for (the later forms are then
    /// never made).
    QStringList lookupCandidates(
        const QString& url, bool internal, const std::function<bool(const QString&)>& found = {}) const;
    /// The settings the lookup forms follow, read again only when the settings change.
    struct LookupRules {
        bool shouldTrimHash = false;
        bool trimQuery = false;
        bool shouldIgnoreSlash = false;
        bool ignoreScheme = false;
        bool ignoreSessid = false;
        QString sessidParam;
    };
    LookupRules lookupRules() const;
    /// removeSessionId:from: the URL without the session parameter `name`.
    static QString removeSessionId(const QString& name, const QString& url);
    /// lcurlForUrl: the lookup table's record for exactly this key; null when none.
    UrlPtr lcurlForUrl(const QString& key) const;
    /// firstCharOf: / lastCharOf: the first (last) character as a signed 8-bit value; 0 for an
    /// empty string.
    static qint8 firstCharOf(const QString& text);
    static qint8 lastCharOf(const QString& text);

    /// The scope state that `go` builds, for a scan set up without it (a single-page check,
    /// tests). `setDomains` takes `domainsLock`.
    void setDomains(const QStringList& value);
    void setFollowBlacklistArray(const QStringList& value) { followBlacklistArray = value; }
    void setFollowWhitelistArray(const QStringList& value) { followWhitelistArray = value; }
    void setIgnoreArray(const QStringList& value) { ignoreArray = value; }
    /// The robots.txt rules of the site at `authority` ("host" or "host:port", lower case),
    /// as parseRobotsTxt sets them; the display lists follow.
    void setRobotsRules(const QString& authority, const RobotsRules& rules);
    void setOutputFilterManager(std::shared_ptr<OutputFilterManager> value) { outputFilterManager = std::move(value); }

    // --- Link extraction (extractLinks and its URL helpers, in a file of their own)
    // (Z12AraExtraction.cpp). Main thread only.

    /// The parsers pages are read with; without them a fetched page yields no links.
    void setLinkExtractionParsers(std::shared_ptr<const LinkExtractionParsers> value)
    {
        linkExtractionParsers = std::move(value);
    }
    /// extractLinks: turns a fetched page into work: decides whether it is followed, reads it
    /// with the parser of its type, copies the page facts onto it, hands it to the SEO and
    /// sitemap collection, and records each link as an occurrence on a known record or as a new
    /// record (queued unless it gets its status at once). Also collects the page's canonical
    /// and its insecure content (`insecureList`).
    void extractLinks(const UrlPtr& page) override;
    /// The page scan `extractLinks` would start with, for an HTML page (the other document
    /// types, pages of other sites and a hub without parsers are read inside `extractLinks`):
    /// it holds the bytes, the detected encoding, the file type and the settings as they are now.
    PageReading preparePageReading(const UrlPtr& page) override;
    /// `extractLinks`, starting from a prepared scan of the page instead of scanning it again.
    void extractLinksFromReading(const UrlPtr& page, std::unique_ptr<LinkExtractionParser> reading) override;
    /// makeNSURLFromString:relativeToBaseURL: the link resolved against the base; when that
    /// fails, the link encoded first (`encodedURLString` when it holds ":/", else
    /// `encodedPath`) and resolved again. nullopt when neither gives a URL.
    std::optional<crawlmere::platform::Url> makeNSURLFromString(
        const QString& link, const crawlmere::platform::Url& base) const;
    /// baseURLFor:parser: the URL the page's links resolve against: its base href resolved
    /// against the page, else the page's URL (a file URL decoded and cut before "#"). nullopt
    /// when none can be made.
    std::optional<crawlmere::platform::Url> baseURLFor(const CrwlUrl& page, const LinkExtractionParser& parser) const;

private:
    void initialise();
    /// Fetches a page again whose links were left out for its depth, to read them at its
    /// shorter distance now.
    void fetchAgainForItsLinks(const UrlPtr& page);
    /// `readLinksAgain` with what a fetch left to read.
    std::vector<UrlPtr> readLinksAgain(const UrlPtr& page, PageFetchedAgain fetched);
    /// Hands a page fetched again (`fetchPageAgain`) to the first of those who wait for it, and
    /// nullopt to the others; false when none waits.
    bool handOverPageFetchedAgain(const CrwlUrl& page, PageFetchedAgain fetched);
    /// The fetch of a page fetched again has ended without its answer being read.
    void pageFetchedAgainEnded(const UrlPtr& page);
    /// The unlinking of `readLinksAgain`: `candidates` that no occurrence links leave the
    /// scan, and with them their own occurrences, whose targets become candidates in turn.
    /// Their occurrences are added to `dropped`.
    void dropUnlinkedRecords(std::vector<UrlPtr> candidates, const UrlPtr& keep,
        std::unordered_set<const CrwlLinkInstance*>& dropped);
    std::shared_ptr<Z12Ara> self() { return shared_from_this(); }
    void post(const QString& name);

    // go: and its steps (Z12Ara.cpp).
    bool failStart(const QString& logText);
    bool prepareLocalFile(const UrlPtr& startingRecord);
    void buildRuleLists();
    void limitToStartingDirectory(const UrlPtr& startingRecord);
    /// The directory limit of a scan started at `s` (whose URL is `url`): `startingDir` and the
    /// negated "Do not follow" terms (kept in `startingDirTerms`). An address whose last part
    /// may be a page or a directory is asked about when `askAbout` is given (the answer may
    /// change it), else taken as a page.
    void limitToDirectoryOf(
        const QString& s, const std::optional<crawlmere::platform::Url>& url, const UrlPtr& askAbout);
    void collectInternalDomains(const UrlPtr& startingRecord);
    /// The internal domains of a scan started at `s` (whose URL is `url`).
    QStringList internalDomainsOf(const QString& s, const std::optional<crawlmere::platform::Url>& url) const;
    /// The rules of robots.txt for `authority` arrived (a load of this scan, `generation`): they
    /// hold from now on, and the records that waited for them are queued.
    void robotsArrived(quint64 generation, const QString& authority, const QString& location,
        crawlmere::platform::UrlLoadResult result);

    // The probes' synchronous load, through the transport when there is one (Z12AraProbes.cpp).
    crawlmere::platform::UrlLoadResult loadSynchronously(
        const crawlmere::platform::UrlRequest& request, std::chrono::milliseconds timeout);

    // The pump's helpers (Z12AraQueue.cpp).
    void startFetch(const UrlPtr& record, std::chrono::milliseconds delay);
    void cancelFetch(const UrlPtr& record);
    /// The records filed as redirecting to the record's address (also without a trailing "/"
    /// unless `wordpressUrls`); null when none.
    const QList<UrlPtr>* redirectsFiledUnder(const CrwlUrl& record) const;
    bool removeFromInProgress(const UrlPtr& record);
    void finish();
    /// Runs `work` on this hub once `delay` has passed, unless by then the hub is gone or the
    /// run that scheduled it has ended (`runGeneration` moved on: a pause or a new scan).
    void afterInThisRun(std::chrono::milliseconds delay, std::function<void(Z12Ara&)> work);
    /// The `limitRPM` rate (`maxRPM`, at least the lowest rate offered), 0 when not limited.
    qint64 requestsPerMinute() const;
    /// The shortest time between two request starts at that rate, in ms (0 when not limited).
    qint64 requestIntervalMs() const;
    qint64 requestSlotsLeftThisMinute(const QDateTime& now);
    void schedulePumpWhenRateAllows(const QDateTime& now);
    double secondsInFlight(const CrwlUrl& record, const QDateTime& now) const;
    /// The next record to take a fetch slot: one whose host was found first, then the queue's,
    /// each through the lookup stage. Ends the records of hosts that could not be found.
    UrlPtr nextRecordToFetch(const HostLookupStage::Services& services);
    HostLookupStage::Hooks hostLookupHooks();
    /// The settings' `timeout` as requests use it (below 1 s: 30 s), at most a day.
    double requestTimeoutSeconds() const;
    /// Gives up (-17) every fetch in flight past the time-out and grace; answers how many
    /// still wait and adds the number given up to `givenUp`.
    qint64 giveUpOverdueFetches(const QDateTime& now, qint64& givenUp);
    /// Arms the give-up timer for the earliest deadline in flight, unless it is armed.
    void armGiveUpTimer();

    // Fields, in the order the hub has always kept them.
    crawlmere::platform::UserDefaults* defaults = nullptr;
    std::shared_ptr<ShellSiteStore> configManager;
    std::shared_ptr<EngineSEOService> engineSEODataSource;
    std::shared_ptr<Diagnostic> diagnostic;
    UrlPtr lcurl;
    qint32 actionWhenFinished = 0;
    qint32 plainTextMode = 0;
    QString startingDir;
    QString dataBelongsToID;
    mutable std::mutex lookupRulesLock; // guards the three below
    mutable SharedCrawlSettings lookupRulesSettings;
    mutable quint64 lookupRulesGeneration = 0;
    mutable LookupRules lookupRulesCache;
    CrwlLinkTextPool linkTextPool; // the texts of the scan's occurrences, each set once
    // The scan's occurrences, where they lie and in the order made (`instanceCollection`).
    crawlmere::engine::detail::OccurrenceArena occurrenceArena;
    std::atomic<EncodingId> detectedEncoding { 0 };
    SharedCrawlSettings crawlSettings;
    LookupTable lookupDictionary;
    QHash<QString, QList<UrlPtr>> redirLookupDictionary;
    // The "[redirect]" occurrence of each record that is only a redirect, by that record.
    QHash<const CrwlUrl*, InstancePtr> redirectArrivals;
    // Pages read without their links because of their depth, and those of them fetched again
    // to be read at a shorter distance.
    std::unordered_set<const CrwlUrl*> linksLeftOutForDepth;
    std::unordered_set<const CrwlUrl*> readAgainWhenFetched;
    // Pages fetched again for a recheck (`fetchPageAgain`), with those who wait for each.
    std::unordered_map<const CrwlUrl*, std::vector<PageFetchedAgainHandler>> pagesFetchedAgain;
    // Records left unrequested because they are known only as a form's action: an ordinary
    // link to one has it checked.
    std::unordered_set<const CrwlUrl*> formActionsOnly;
    // The record of the starting point's final address when the starting point redirects (read
    // by archive hooks on fetch threads).
    std::atomic<const CrwlUrl*> startingPage { nullptr };
    QList<InsecureContentRecord> insecureRecords; // insecureList
    QStringList checkBlacklistArray;
    QStringList followBlacklistArray;
    QStringList followWhitelistArray;
    QStringList ignoreArray;
    QStringList robotsBlacklistArray;
    QStringList robotsWhitelistArray;
    // The robots.txt rules, compiled once for the lookups of every link, and the host (and
    // port) they belong to.
    RobotsTxt robotsRules;
    QString robotsAuthority;
    // The robots.txt rules of the other hosts (and ports) of the site, the starting point's
    // redirect target, by authority; read from fetch threads under `otherRobotsLock`.
    QHash<QString, RobotsTxt> otherRobotsRules;
    mutable std::shared_mutex otherRobotsLock;
    // Authorities whose robots.txt has been asked for in this scan, and the records waiting for
    // one still being read.
    QSet<QString> robotsAskedFor;
    QHash<QString, QList<UrlPtr>> waitingForRobots;
    // Bumped by `clear`: a robots.txt read for an earlier scan is dropped when it arrives.
    quint64 scanGeneration = 0;
    // The "Do not follow" terms of the directory limit, and whether the starting point's
    // redirect has been followed.
    QStringList startingDirTerms;
    bool startingRedirectFollowed = false;
    /// Read from fetch threads (`redirectUrlIsExternal`): take `domainsLock` shared to read it
    /// off the main thread, and exclusively for every change.
    QStringList domains;
    mutable std::shared_mutex domainsLock;
    /// Read from fetch threads (the soft-404 test): guarded by `soft404Lock`.
    QStringList soft404Array;
    mutable std::mutex soft404Lock;
    QList<HubWarningRecord> warningsArray;
    QFQueue checkQueue { kQueueCapacity };
    QList<UrlPtr> inProgressArray;
    /// Records waiting for the delay of a Refresh header, holding no slot.
    QList<UrlPtr> refreshWaits;
    bool scanningHttpsSite = false;
    bool httpLinkFoundOnHttpsSite = false;
    std::atomic<bool> stopPressedFlag { false }; // stopPressed
    bool crawlFinishedFlag = false; // crawlFinished
    bool poppedCrawlmereTimeout = false;
    qint64 numberOfThreadsDetached = 0;
    qint64 numberDone = 0;
    qint64 badCollectionCount = 0;
    qint64 badInstanceTally = 0; // badInstanceCount
    std::shared_ptr<OutputFilterManager> outputFilterManager;
    QStringList searchTerms;

    // Services of this implementation.
    std::shared_ptr<ShellPrompts> prompts;
    std::shared_ptr<FetchTransport> transport;
    std::shared_ptr<HubClock> clock;
    std::shared_ptr<const HubPageReader> pageReader;
    /// Read by fetch threads; set only while no scan runs.
    std::shared_ptr<ArchiveSink> archiveSink;
    /// Start times of the fetches of the last minute (and those scheduled), oldest first, for
    /// the `limitRPM` window and the spacing of the next start; never longer than `maxRPM`.
    std::deque<QDateTime> recentStarts;
    /// When the last request of a limited rate really went (not when it was booked to).
    QDateTime lastRequestSent;
    bool ratePumpScheduled = false;
    /// The timer that gives up fetches past their time-out, whatever else happens, is armed.
    bool giveUpTimerArmed = false;
    /// Records waiting for their host's name lookup, outside the fetch slots.
    HostLookupStage hostLookups { hostLookupHooks() };
    /// Bumped by `clear` and `stop`, so delayed starts and timers of an earlier scan or run do
    /// nothing.
    quint64 runGeneration = 0;
    quint64 clearCount = 0;

    // Link extraction (Z12AraExtraction.cpp): its parsers, and the per-page work, which reaches
    // the fields above as a nested type.
    std::shared_ptr<const LinkExtractionParsers> linkExtractionParsers;
    struct LinkExtraction;
};
