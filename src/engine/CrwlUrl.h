// The record of one URL met during a scan: its link URL, status, redirect chain, link
// occurrences, page facts and fetch state, and the scan's shared crawl settings.
#pragma once

#include "engine/CrawlSettings.h"
#include "engine/CrwlDataObject.h"
#include "engine/CrwlURLDelegate.h"
#include "engine/detail/CompactText.h"
#include "engine/detail/OccurrenceList.h"
#include "engine/detail/PackedMetaElements.h"
#include "platform/Url.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class CrwlLinkInstance;
class PageRenderer;
struct CrwlUrlCaches;
struct CrwlUrlFetchContext;

namespace crawlmere::engine::detail {
class RecordReference;
} // namespace crawlmere::engine::detail

namespace crawlmere::platform {
struct UrlRequest;
class UrlSession;
class UserDefaults;
} // namespace crawlmere::platform

/// One URL of a scan. Records are shared (`std::shared_ptr`): the hub's lookup table, queue and
/// collections hold them. A record holds its owner weakly and the scan's settings dictionary by
/// shared pointer; make records with `CrwlUrl::make` (or `std::make_shared`) so that
/// `setLinkURL` can file them with the owner.
///
/// Threads: records are made and changed on the main thread; the fetch runs some operations on
/// its session queue (marked there).
class CrwlUrl : public CrwlDataObject, public std::enable_shared_from_this<CrwlUrl> {
public:
    using InstanceList = std::vector<std::shared_ptr<CrwlLinkInstance>>;
    /// The inbound and outbound lists: read as `InstanceList`s, held one pointer an entry.
    using OccurrenceList = crawlmere::engine::detail::OccurrenceList;
    using Settings = SharedCrawlSettings;

    // ===== Construction and crawl settings ==================================================

    /// init: a record with no owner and no settings dictionary; every settings read gives NO,
    /// 0 or a null string.
    CrwlUrl();
    /// initWithOwner:crawlSettings: keeps the owner (weakly) and the dictionary (shared, not
    /// copied), then completes the dictionary with the defaults it lacks.
    CrwlUrl(const std::shared_ptr<CrwlURLDelegate>& owner, Settings crawlSettings);
    ~CrwlUrl() override;

    /// A record as `std::make_shared<CrwlUrl>(owner, crawlSettings)` makes it, with the record and
    /// its shared counts in one block of the records' pool (a scan makes many, side by side).
    static std::shared_ptr<CrwlUrl> make(const std::shared_ptr<CrwlURLDelegate>& owner, Settings crawlSettings);

    /// A new dictionary with every crawl setting and its default (54 keys).
    static QVariantMap defaultCrawlSettings();
    /// Every crawl setting a scan reads, each with a value of the type it takes: the defaults,
    /// and the keys without one (switches NO, texts empty, the four rule lists empty lists).
    static QVariantMap crawlSettingModels();
    /// The application's values of the settings it offers for every site (`applicationWide` in
    /// the crawl-settings table), as its store `defaults` holds them (any layer: `--default`, the
    /// user's store, the registered defaults); a key the store lacks is absent.
    static QVariantMap applicationCrawlSettings(const crawlmere::platform::UserDefaults& defaults);
    /// What a scan of `site` reads: the site's own values, then for every key it lacks the
    /// application's value (`applicationCrawlSettings`), then the table's default. The window's
    /// scan, the settings pane and a headless scan all take their values from here.
    static QVariantMap scanSettingsFor(const QVariantMap& site, const crawlmere::platform::UserDefaults& defaults);
    /// The same completion of a scan's shared dictionary in place; stored values stay.
    static void completeScanSettings(CrawlSettings& settings, const crawlmere::platform::UserDefaults& defaults);
    /// Stores each default that the record's dictionary lacks; never replaces a stored value
    /// (a stored null QVariant counts as stored). Nothing happens without a dictionary.
    void setCrawlDefaultValues();

    /// The shared dictionary itself (null for a record made without one).
    const Settings& getCrawlSettings() const { return crawlSettings; }
    /// The owner, or null when it is gone or there never was one.
    std::shared_ptr<CrwlURLDelegate> getOwner() const { return owner.lock(); }

    // ===== Link URL and its forms ===========================================================

    /// Stores the link URL: percent escapes decoded (those that change a URL's meaning, such as
    /// %2F, %3F, %23, %26, %2B, %3D and %25, are kept), fragment and query trimmed by the
    /// settings (`trimHash`; not for a record already marked as a file URL), then filed with
    /// the owner (`addToLookup`) unless empty. A "file://" URL marks the record as a file URL.
    void setLinkURL(const QString& url);
    /// What `setLinkURL(url)` would store: the spelling to compare a URL met elsewhere (a link
    /// on a page) with this record's, scheme and host in lower case included.
    QString storedSpellingOf(const QString& url) const;
    /// The decoding `setLinkURL` applies to a URL holding "%": `decodedURLString` with the
    /// escapes of "/", "?", "#", "&", "+", "=" and "%" kept as written. Anything that looks a
    /// record up by a decoded URL must decode it with this, or the keys do not meet.
    static QString decodedLinkURLString(const QString& url);

    /// The link URL as stored.
    const QString& getLinkURL() const { return linkURL; }
    const QString& absoluteString() const { return linkURL; }
    const QString& getAbsoluteString() const { return linkURL; }
    /// The link URL in readable form (`decodedURLString`).
    QString getAbsoluteStringDecoded() const;
    /// Where the record's body came from: the target of the last redirect that was followed,
    /// else the link URL. A hop only recorded (`markLastRedirOnlyRecorded`) is not followed.
    QString finalURLString() const;
    QString finalURLStringDecoded() const;
    /// The link URL without its fragment, encoded.
    QString getLinkurl() const;
    /// The URL string that is requested: the redirect target when there is one, fragment cut,
    /// "{width}" placeholders replaced by "250", encoded. File URLs: the encoded link URL.
    QString getLinkUrlForTesting() const;
    /// The URL object of the record (cached until the next `setLinkURL`); nullopt when none can
    /// be made. [any thread]
    std::optional<crawlmere::platform::Url> getNSURL() const;
    /// The host of `getNSURL`; null when none.
    QString getHost() const;

    // ===== Plain fields ======================================================================

    void setStatus(qint64 value) { status.store(value, std::memory_order_relaxed); }
    void setIsHTML(bool value) { isHTMLFlag = value; }
    void setIsVideo(bool value) { isVideoFlag = value; }
    void setIsAudio(bool value) { isAudioFlag = value; }
    void setError(const QString& value) { error = value; }
    void setHasMixedContent(bool value) { hasMixedContent = value; }
    void setHeadContainsNoFollow(bool value) { headContainsNoFollowFlag = value; }
    void setHeadContainsNoIndex(bool value) { headContainsNoIndexFlag = value; }
    void setIsStartingPoint(bool value) { isStartingPointFlag = value; }
    void setIsInternal(bool value) { isInternalFlag = value; }
    void setIsDisallowed(bool value) { isDisallowedFlag = value; }
    void setIsInBadCollection(bool value) { isInBadCollectionFlag = value; }
    /// Counted among the URLs checked (the hub records it with `incNumberDone`).
    void setIsCountedAsChecked(bool value) { isCountedAsCheckedFlag = value; }
    bool isCountedAsChecked() const { return isCountedAsCheckedFlag; }
    void setInboundInstanceArray(const InstanceList& value);
    void setOutboundInstanceArray(const InstanceList& value);
    /// Records of one scan share the text of a type met just before (most have one of a few).
    void setMimeType(const QString& value);
    void setLoadTimeInterval(double seconds) { loadTimeInterval = seconds; }
    void setResponseTimeInterval(double seconds) { responseTimeInterval = seconds; }
    void setRunJS(std::shared_ptr<crawlmere::platform::UrlRequest> request);
    /// Safe from any thread: the spelling recount stores counts while the main thread reads them.
    void setSpellingCount(qint64 value) { spelling.store(value, std::memory_order_relaxed); }
    /// Stores the send time (`sentRequest`).
    void setTimestamp(const QDateTime& value) { sentRequest = value; }
    void setTypeAttribute(const QString& value);
    void setPriority(std::optional<double> value);
    void setJsonld(const QVariantList& value);
    void setKeywordStuffed(bool value) { isKeywordStuffedFlag = value; }
    void setLinksAnchorDoesntAppearOnTargetPage(bool value) { linksAnchorDoesntAppearOnTargetPage = value; }
    void setSearchTerms(const QStringList& value);
    void setLinkJuice(float value) { linkjuice = value; }
    void setSpellingReviewed(bool value) { spellingReviewed = value; }
    /// The links of the record's body have been read (by the hub's link extraction); a later
    /// fetch of the record does not read them again, only `readLinksAgain` does.
    void setLinksRead(bool value) { linksRead = value; }

    /// The body; a null array when none is kept.
    const QByteArray& getData() const { return bodies ? bodies->data : noBytes(); }
    /// The network's bytes of a rendered page; a null array when none are kept.
    const QByteArray& getSourceData() const { return bodies ? bodies->sourceData : noBytes(); }
    /// The text encoding the charset parameter of the body's Content-Type header named; 0 when it
    /// named none (or none the program reads), and when no body is kept.
    quint32 declaredTextEncoding() const { return bodies ? bodies->declaredEncoding : 0; }
    const QString& getChangefrequency() const;
    bool headContainsNoFollow() const { return headContainsNoFollowFlag; }
    bool headContainsNoIndex() const { return headContainsNoIndexFlag; }
    bool isImage() const { return isImageFlag; }
    bool isVideo() const { return isVideoFlag; }
    bool isAudio() const { return isAudioFlag; }
    bool isStartingPoint() const { return isStartingPointFlag; }
    bool isInternal() const { return isInternalFlag; }
    bool isInBadCollection() const { return isInBadCollectionFlag; }
    bool isBlacklisted() const { return isBlacklistedFlag; }
    bool isDisallowed() const { return isDisallowedFlag; }
    bool isFileURL() const { return isFileURLFlag; }
    /// Whether `target` is a local file that `from` must not lead the checker to open. Only a
    /// local page leads to local files; a page fetched over the network never does (links to
    /// files are recorded as not checked, refreshes to them are not followed), just as the
    /// transfer refuses an HTTP redirect to a `file:` URL.
    static bool isLocalFileBeyondReach(const CrwlUrl& from, const crawlmere::platform::Url& target)
    {
        return target.isFileUrl() && !from.isFileURL();
    }
    /// The warning of a record or page that `isLocalFileBeyondReach` kept from a local file.
    static QString localFileBeyondReachWarning()
    {
        return QStringLiteral("A local file linked from a web page is not opened");
    }
    bool isKeywordStuffed() const { return isKeywordStuffedFlag; }
    qint64 getWordcount() const { return wordCount; }
    bool getHasMixedContent() const { return hasMixedContent; }
    double getLoadTime() const { return loadTimeInterval; }
    bool getRecursion() const { return recursion; }
    qint64 getDistanceFromHome() const { return distanceFromHome; }
    /// The send time; invalid when not sent.
    const QDateTime& getTimestamp() const { return sentRequest; }
    std::optional<double> getPriority() const;
    /// The meta elements as `setMetaData` was given them.
    QVariantList getMetaData() const;
    const QVariantList& getJsonld() const;
    /// The headings as `setHeadings` was given them.
    QStringList getHeadings() const;
    bool getLinksAnchorDoesntAppearOnTargetPage() const { return linksAnchorDoesntAppearOnTargetPage; }
    /// The redirect chain (a copy, taken under the chain's lock).
    QVariantList redirectArray() const;
    const OccurrenceList& getInboundInstances() const { return inboundInstanceArray; }
    const OccurrenceList& getOutboundInstances() const { return outboundInstanceArray; }
    float getLinkJuice() const { return linkjuice; }
    bool getSpellingReviewed() const { return spellingReviewed; }
    bool getLinksRead() const { return linksRead; }
    /// `distanceFromHome` as a number.
    QVariant getDistance() const { return QVariant::fromValue(distanceFromHome); }
    /// `status` as a number.
    QVariant getSortableStatus() const { return QVariant::fromValue(status.load(std::memory_order_relaxed)); }
    /// The MIME type; "" when none.
    QString mimeType() const;
    /// The canonical URL; "" when none.
    QString getCanonical() const;
    /// The last-modified date as "yyyy-MM-dd"; "" when none.
    QString getLastmodified() const;

    // ===== Setters with a rule ==============================================================

    /// Stores a copy of the body.
    void setData(const QByteArray& value);
    /// Ignore a null string.
    void setCanonical(const QString& value);
    void setChangeFrequency(const QString& value);
    void setLinkPageTitle(const QString& value);
    /// Keeps the smallest positive distance: stores `value` unless the current distance is at
    /// least 1 and smaller.
    void setDistanceFromHome(qint64 value);
    /// Marks the record blacklisted; with the default `shouldFlagBlacklisted` on, also adds the
    /// warning "The link url is blacklisted by a blacklist / whitelist rule".
    void setIsBlacklisted(bool value);
    /// Reads a Last-Modified header value (HTTP date forms, ISO 8601) and keeps its local
    /// calendar date as "yyyy-MM-dd"; unreadable text stores nothing (`getLastmodified` "").
    void setTargetLastModified(const QString& headerValue);
    /// Size in bytes: keeps the bytes and whole kilobytes (bytes / 1024).
    void setFileSize(qint64 bytes);
    /// Transferred size: keeps whole kilobytes (bytes / 1024).
    void setFileSizeCompressed(qint64 bytes);
    void setWordCount(qint64 value) { wordCount = value; }
    /// Stores the current time as the send time.
    void setSentRequest();
    /// Seconds since the send time; 0 when not sent.
    double getTimeSinceSent() const;

    // ===== Warnings =========================================================================

    /// Appends a warning and hands it, with the record, to the owner's warnings collection.
    void addWarning(const QString& warning);
    /// `addWarning` for each, in order.
    void addWarnings(const QStringList& warnings);

    // ===== Status and classification ========================================================

    /// The status: an HTTP code or an internal negative code (-1 not yet checked).
    qint64 getStatus() const { return status.load(std::memory_order_relaxed); }
    /// The status after all redirects; the same as `getStatus`.
    qint64 finalStatus() const { return getStatus(); }
    /// The status of the first response: without redirects the status itself, else the first
    /// hop's "status" (-1 when that hop has none).
    qint64 initialStatus() const;
    /// The text of a status code. Internal codes -21..-1 give their fixed text (-1 the empty
    /// string; -14 the record's error text, or "Completed with error" without one); every other
    /// code gives "%ld %@" with its reason phrase ("404 not found", "0 unknown", "-22 unknown";
    /// see platform::UrlResponse::localizedStringForStatusCode).
    QString descriptionForStatusCode(qint64 code) const;
    /// The status text views and exports show. Without redirects, or with the crawl setting
    /// `dontReportRedirects` on, the status's text. Otherwise by the default
    /// `byStatusWhichStatus` (2 when not set): 2 "final < initial", 1 the final text, 0 the
    /// initial text, any other value "". A link whose #fragment the target page lacks
    /// (`linksAnchorDoesntAppearOnTargetPage`) has ", no such #fragment on the page" after it.
    QString getStatusDescription() const;
    /// Status -15 or 200..399.
    bool isGoodLink() const;
    /// Status 300 or more.
    bool isErrorPage() const;

    /// NO when the link's type attribute names an image, feed, JSON, manifest or font type
    /// ("image/", "application/rss", "application/json", "wlwmanifest", "font/"; case as
    /// written); otherwise the HTML flag (YES on a new record).
    bool isHTML() const;
    /// The link URL begins with "http://" (any case).
    bool isHttp() const;
    /// The MIME type holds "application/pdf", or the path extension holds "pdf" (any case).
    bool isPDF() const;
    /// The path extension holds "docx" (any case); the MIME type is not consulted.
    bool isDOCX() const;
    /// The MIME type names XML, the path extension is exactly "xml"/"XML", or the link URL
    /// holds ".xml?" in any case.
    bool isXML() const;
    /// MIME "text/rtf", extension exactly "rtf"/"RTF", or ".rtf?" in the URL (any case).
    bool isRTF() const;
    /// Extension exactly "txt"/"TXT", or ".txt?" in the URL (any case).
    bool isTXT() const;
    /// Extension exactly "csv"/"CSV", or ".csv?" in the URL (any case).
    bool isCSV() const;
    /// MIME "text/css", an extension holding "css", or ".css?" in the URL (any case).
    bool isCSS() const;
    /// MIME "text/javascript", an extension holding "js" (so ".json" too), or ".js?" in the
    /// URL (any case).
    bool isJS() const;
    /// At least one occurrence points here and every one of them is nofollow.
    bool isNofollow() const;
    /// Further from the starting URL than the default `minDeepContent` (6 when not set).
    bool isDeepContent() const;
    /// The link URL holds "../".
    bool directoryTooHigh() const;
    /// Path components of the link URL less one, at least 0: "http://h.com/a/b" is 2, a bare
    /// host (with or without "/") is 0, as is a URL that cannot be made.
    qint64 getDirectoryDepth() const;

    // ===== Redirect chain ===================================================================
    // A hop is a dictionary {"url": text, "status": integer, "reason": integer}, reason 0 an
    // HTTP redirect, 1 a meta refresh, 2 a Refresh header; oldest first. The chain and the
    // redirect target are guarded by their own lock, so a fetch may add hops on its session
    // queue while the main thread reads them.

    /// Most hops a chain keeps; further hops still move the redirect target and the status.
    /// (The fetch ends a chain at 13 hops with status -9.)
    static constexpr qsizetype maxRedirectHops = 100;

    /// A hop dictionary.
    static QVariantMap makeRedirectHop(const QString& url, qint64 status, qint32 reason);
    /// addRedir:withStatus:reason: trims the target (`trimHash` with the crawl setting
    /// `trimQuery`); an empty result changes nothing. Otherwise the target becomes the redirect
    /// target, a hop is appended and the status becomes `status`. [any thread]
    void addRedir(const QString& target, qint64 status, qint32 reason);
    /// Appends the hops unchanged; the redirect target and the status stay.
    void addRedirsFromArray(const QVariantList& hops);
    /// Drops the chain and the redirect target.
    void clearRedir();
    QVariantList getRedirTable() const { return redirectArray(); }
    /// A non-empty chain replaces the chain, and its last hop's "url" becomes the redirect
    /// target; an empty one changes nothing.
    void setRedirTable(const QVariantList& hops);
    /// The last hop came from a meta refresh or a Refresh header.
    bool lastRedirectWasMeta() const;
    /// The target of the last hop; "" when none. [any thread]
    QString getRedir() const;
    QString getRedirDecoded() const;
    /// The number of hops.
    qint64 getRedirectCount() const;
    /// The last hop was recorded but not followed (a Refresh header whose delay is not waited
    /// for): the body is the record's own, from where the hops before it led. A later hop, or
    /// a new chain, is followed again. [any thread]
    void markLastRedirOnlyRecorded();
    /// The number of hops followed: the hops without one only recorded.
    qint64 followedRedirectCount() const;

    // ===== Link occurrences =================================================================
    // The record owns its occurrence lists; occurrences point back to their pages weakly.

    /// Appends an occurrence that points to this URL.
    void addInboundInstance(const std::shared_ptr<CrwlLinkInstance>& instance);
    /// Appends an occurrence on this page; drops the image, video and audio lists and the
    /// cached link count, and counts the target as internal or external.
    void addOutboundInstance(const std::shared_ptr<CrwlLinkInstance>& instance);
    /// Gives back the outbound list's spare room, once a page's links have all been read.
    void fitOutboundInstances() { outboundInstanceArray.shrink_to_fit(); }
    qsizetype occurrencesCount() const { return qsizetype(inboundInstanceArray.size()); }
    qsizetype outboundLinkCount() const { return qsizetype(outboundInstanceArray.size()); }
    /// The last inbound occurrence; null when none.
    std::shared_ptr<CrwlLinkInstance> lastInboundInstance() const;
    /// The Referer a request for this record carries: the requested address of the page its last
    /// inbound occurrence is on, without a user name or password. Null when there is no such
    /// page or it is not a web page (http, https): as in a browser, a local file or a list
    /// tells no server where it lies.
    QString refererValue() const;
    /// Every way in to this record: its inbound occurrences in the order found, then the
    /// "[redirect]" occurrences of the redirects that lead here (the owner's
    /// `getRedirectArrivalsTo`). What the inspectors list as where a URL is reached from.
    InstanceList getWaysIn() const;
    /// How many ways in `getWaysIn` lists, without making the list.
    qsizetype waysInCount() const;
    /// The link text of the first inbound occurrence; "" when none.
    QString getLinkText() const;
    /// The outbound occurrences whose target is an image (video, audio), in page order; built
    /// on first use and kept until the next outbound occurrence or invalidation.
    const InstanceList& linkedImagesArray() const;
    const InstanceList& linkedVideoArray() const;
    const InstanceList& linkedAudioArray() const;
    void invalidateLinkedImagesArray();
    void invalidateLinkedVideoArray();
    void invalidateLinkedAudioArray();
    /// Stores the image flag, then has every page linking here drop its image list.
    void setIsImage(bool value);
    /// Keeps `object` alive as long as the record (inspector windows).
    void addToRetainArray(std::shared_ptr<void> object);
    /// The views' search: the link URL or the redirect target holds `text` (any case), or the
    /// text's leading integer is not 0 and equals the status.
    bool contains(const QString& text) const;

    // ===== Judgements =======================================================================

    /// The label colour class: 0 none, 2 warning, 3 error, 4 server or transport error (1 is
    /// never answered). Reads the defaults `shouldFlagBlacklisted` (NO), `dontReportWarnings`
    /// (YES), `displayLabelsForRedirects` (YES) and `dontReportRedirects` (NO); the values in
    /// brackets apply when a key is not set.
    int colourForCrwlUrl() const;
    /// Colour class 2.
    bool shouldBeMemberOfDubiusCollection() const;
    /// Counts among the bad links (the hub records the answer with `setIsInBadCollection`).
    bool shouldBeMemberOfBadCollection() const;

    // ===== Column keys and page facts =======================================================

    /// getFieldByName: the text of the column `key` (lower-cased first): "url", "status",
    /// "filesize", "linkcount", "onpageurl", "distancefromhome" … in their fixed formats; any
    /// other key gives "".
    QString getFieldByName(const QString& key) const override;
    /// Whether `key` (any case) is a column `getFieldByName` answers.
    static bool namesField(const QString& key);
    /// What the getter "get" + key (first letter upper case) answers: numbers as numbers
    /// ("linkcount" → getLinkcount), the send time as a date, texts as text. A key whose exact
    /// getter is missing is matched without regard to case ("distancefromhome" →
    /// getDistanceFromHome); a key without any getter sorts by its column text.
    QVariant getSortValue(const QString& key) const override;

    /// The title; "" when none.
    QString getLinkpagetitle() const;
    /// The title, meta description and H1s a row of this record shows: its own, or for a record
    /// that is only a redirect those of its final address's record (all three, or none when that
    /// record is not known). Main thread.
    QString getPageTitleShown() const;
    QString getMetadescriptionShown() const;
    QString getH1sShown() const;
    /// The meta description; "" when none.
    QString getMetadescription() const;
    /// Lengths in characters (UTF-16 units).
    qint64 getTitlelength() const;
    qint64 getDescriptionlength() const;
    double getResponsetime() const { return responseTimeInterval; }
    /// Outbound occurrences whose target is not an image, video or audio file and whose link
    /// text is not "[linked file]"; cached until the next outbound occurrence.
    qint64 getLinkcount() const;
    qint64 getOnpagecount() const { return occurrencesCount(); }
    qint64 getImageqty() const;
    /// Sum of the linked images' `getFilesizeinkbytes`.
    double getImageweight() const;
    bool getInternal() const { return isInternalFlag; }
    qint64 getInternallinkcount() const { return internalLinkCount; }
    qint64 getExternallinkcount() const { return externalLinkCount; }
    /// The owner's count of redirects leading here; 0 without an owner.
    qint64 getNumberofredirectstohere() const;
    /// The number of the owner's duplicates of this page.
    qint64 getPossibleduplicates() const;
    /// "nofollow,noindex", "nofollow", "noindex" or "" by the head's robots element.
    QString getRobots() const;
    const QStringList& getSearchTerms() const;
    /// getSpellingCount: (its argument is ignored) and getSpellingcount.
    qint64 getSpellingCount() const { return spelling.load(std::memory_order_relaxed); }
    qint64 getSpellingcount() const { return spelling.load(std::memory_order_relaxed); }
    qint64 getFilesizeinbytes() const { return fileSizeBytes; }
    qint64 getFilesizecompressed() const { return fileSizeCompressed; }
    /// Kilobytes, uncompressed when known (1 or more), else transferred; nullopt when neither.
    std::optional<qint64> getFilesizeinkbytes() const;
    /// Kilobytes for sorting and the link rows' target size.
    qint64 getFilesize() const;
    /// The "filesize" column: "" unless the link is good; "12kb", or "?3kb" from the
    /// transferred size when the uncompressed size is unknown.
    QString getFileSize() const;
    /// "%ikb" of the transferred size.
    QString getFileSizeCompressed() const;
    /// Kilobytes as "512b", "12kb", "3Mb" or "2Gb" (whole numbers, truncated).
    static QString formatBytes(double kilobytes);
    /// The send time in UTC, medium date and time, then " UTC"; "" when not sent.
    QString getHumanReadableTimestamp() const;
    void addLinkJuice(float value) { linkjuice += value; }

    /// setMetaData: stores the page's meta elements (attribute dictionaries) and takes the meta
    /// description from them: the last element named "description" (any case) with a
    /// "content" wins, and each one after the first adds the more-than-one warning.
    void setMetaData(const QVariantList& elements);
    /// The "content" of the first meta element whose `attribute` is exactly `value`; "".
    QString metaContent(const QString& attribute, const QString& value) const;
    QString getOglatitude() const { return metaContent(QStringLiteral("property"), QStringLiteral("og:latitude")); }
    QString getOglongitude() const { return metaContent(QStringLiteral("property"), QStringLiteral("og:longitude")); }
    QString getOglocality() const { return metaContent(QStringLiteral("property"), QStringLiteral("og:locality")); }
    QString getOgtitle() const { return metaContent(QStringLiteral("property"), QStringLiteral("og:title")); }
    QString getOgdescription() const
    {
        return metaContent(QStringLiteral("property"), QStringLiteral("og:description"));
    }
    QString getOgurl() const { return metaContent(QStringLiteral("property"), QStringLiteral("og:url")); }
    QString getOgimage() const { return metaContent(QStringLiteral("property"), QStringLiteral("og:image")); }
    QString getOgtype() const { return metaContent(QStringLiteral("property"), QStringLiteral("og:type")); }
    QString getOgsite_name() const { return metaContent(QStringLiteral("property"), QStringLiteral("og:site_name")); }
    QString getTwittertitle() const { return metaContent(QStringLiteral("name"), QStringLiteral("twitter:title")); }
    QString getTwitterdescription() const
    {
        return metaContent(QStringLiteral("name"), QStringLiteral("twitter:description"));
    }
    QString getTwitterurl() const { return metaContent(QStringLiteral("name"), QStringLiteral("twitter:url")); }
    QString getTwitterimage() const { return metaContent(QStringLiteral("name"), QStringLiteral("twitter:image")); }
    QString getTwittercard() const { return metaContent(QStringLiteral("name"), QStringLiteral("twitter:card")); }
    QString getItempropname() const { return metaContent(QStringLiteral("itemprop"), QStringLiteral("name")); }
    QString getItempropimage() const { return metaContent(QStringLiteral("itemprop"), QStringLiteral("image")); }
    QString getItempropdescription() const
    {
        return metaContent(QStringLiteral("itemprop"), QStringLiteral("description"));
    }

    /// Stores the headings (level = leading tabs + 1) and counts the h1 texts again.
    void setHeadings(const QStringList& value);
    /// A non-empty text not starting with a tab.
    static bool thisIsAnH1(const QString& heading);
    /// At least 2 (3, 4) characters starting with exactly one (two, three) tabs.
    static bool thisIsAnH2(const QString& heading);
    static bool thisIsAnH3(const QString& heading);
    static bool thisIsAnH4(const QString& heading);
    /// The texts of one level joined with ", " (h2 to h4 trimmed of their tabs); "".
    QString getH1s() const;
    QString getH2s() const;
    QString getH3s() const;
    QString getH4s() const;
    /// The number of h1 texts, counted by `setHeadings`.
    qint64 h1Count() const;

    /// The "@type" values of the page's JSON-LD, each once, in the order first met (depth
    /// first), joined with ", "; "" when none.
    QString getJsonldTypes() const;

    /// The link URL's fragment (text after the first "#", when "#" is not the last
    /// character); "" while the crawl setting `shouldTrimHash` is on.
    QString getAnchorFragment() const;
    /// Stores the page's ids and anchor names. When the link URL has a fragment that none of
    /// them equals, marks the record, adds the missing-anchor warning and tells the owner
    /// `incBadLinkCount`.
    void setNamesOnThisPage(const QStringList& names);
    const QStringList& getNamesOnThisPage() const { return namesOnThisPage; }

    /// Replaces the warnings; the owner is not told.
    void setWarnings(const QStringList& value) { warnings = value; }
    /// The warnings as added.
    const QStringList& getWarnings() const { return warnings; }
    /// The warnings, cleaned of column numbers, after (with `includeRedirects` and the default
    /// `dontReportRedirects` off) one line on the redirect chain.
    QStringList getWarningsAsArrayIncludingRedirects(bool includeRedirects) const;
    QStringList getWarningsAsArray() const { return getWarningsAsArrayIncludingRedirects(true); }
    /// `getWarningsAsArray` joined with "\n"; "" when none.
    QString getWarningsAsString() const;
    /// The warning without the "/column" of its "at line N/C." places.
    static QString cleanedWarningString(const QString& warning);
    /// A stored warning is the missing-anchor warning.
    bool getWarningsArrayIncludesAnchors() const;

    /// The owner's duplicates of this page, cached until asked with `refresh` or until the
    /// owner's groups change (`duplicateGroupsGeneration`).
    CrwlUrlList getUrlsWithDuplicatesRefresh(bool refresh) const;
    /// The owner's pages with this page's title (meta description), sorted by title
    /// (description) without regard to case; cached as the duplicates are.
    CrwlUrlList getUrlsWithDuplicateTitlesRefresh(bool refresh) const;
    CrwlUrlList getUrlsWithDuplicateDescriptionsRefresh(bool refresh) const;

    // ===== Crawl-policy predicates and lookup keys ==========================================

    bool shouldParsePDFs() const;
    bool shouldParseDOCXs() const;
    bool shouldParseRTFs() const;
    bool shouldParseCSS() const;
    /// Image bodies are downloaded (and their real size recorded): the settings' `loadImages`,
    /// or `shouldLoadImages` when they hold no `loadImages`.
    bool shouldLoadImages() const;
    /// Found through an XML sitemap scan: NO for an XML record, else `startingPointWasXML`.
    bool isSonOfXML() const;

    /// 2 (POST) for the starting point when a login form is configured or a custom POST field
    /// is given, else 1 (GET); never 0 (HEAD).
    qint32 requestMethod() const;
    /// 0 "HEAD", 1 "GET", 2 "POST", anything else "unknown".
    static QString methodName(qint32 method);

    /// The extension begins, in any case, with one of the listed extensions. The image test
    /// first cuts the text at "?".
    static bool extensionIsImageExtension(const QString& extension);
    static bool extensionIsAudioExtension(const QString& extension);
    static bool extensionIsVideoExtension(const QString& extension);
    static bool extensionIsOtherNonHTMLExtension(const QString& extension);

    /// The URL without its fragment (hash-bang and "#/" addresses and "&#" character references
    /// kept; see engine::forceTrimHash).
    static QString forceTrimHash(const QString& url);
    /// The form a link URL or redirect target is stored in: fragment cut while `shouldTrimHash`
    /// is on, and the query too when `trimQuery` is YES and the record is internal.
    QString trimHash(const QString& url, bool trimQuery) const;

    /// The key the owner files a URL under: one trailing "/" less while `shouldIgnoreSlash` is on.
    QString prepareUrlForLookup(const QString& url) const;
    /// The URL names this record: its key equals the record's key, or (with `checkRedir`) the
    /// key of the redirect target. "///" in `url` counts as "//", and a match through it marks
    /// the record as recursive.
    bool isEqualToUrl(const QString& url, bool checkRedir = true);
    /// YES without a canonical URL, else `isEqualToUrl` of it.
    bool canonicalMatchesUrl();

    /// The link URL (or its encoded form) satisfies a rule term. With two or more terms that
    /// are all negative ("!…"), every term must hold for both forms.
    bool linkContainsOneOfTheseTerms(const QStringList& terms) const;
    /// The terms found in the page body (read as UTF-8; undecodable bytes do not stop the
    /// search). Regex mode uses the first term only and answers its matches. Empty when none.
    QStringList dataContainsOneOfTheseTerms(
        const QStringList& terms, bool isRegex = false, bool caseInSensitive = true, bool literal = true) const;

    // ===== Fetch: request, response and completion ==========================================
    // A record fetches itself over a URL session of its own (CrwlUrlRequest.cpp,
    // CrwlUrlResponse.cpp, CrwlUrlCompletion.cpp). The callbacks of an http(s) session run on
    // the main thread; those of a file session on a worker, which hands each decision to the
    // main thread (`Dispatch::mainSync`). Whatever reads or writes the owner's state or the
    // record's own fields runs on the main thread; only the status (atomic), the redirect chain
    // (its own lock), the settings (their own lock) and the owner's [any thread] services are
    // used off it, by the completion's page reading on a worker, which the main thread never
    // waits for. A fetch hands its record to the owner three times, in one main-thread step:
    // `incNumberDone`, `extractLinks` (a body fetched without error, not an image) and
    // `threadHasFinished`; a started fetch always ends in `threadHasFinished` unless the owner
    // gave it up (status -17), paused, or unlinked it with `invalidateAndUnlinkSession`.

    /// Starts the client-side rendering of a record from its kept request; answers the renderer
    /// (kept in `WTG`) or null. Installed by the renderer; without one, nothing is rendered.
    using RendererStarter = std::function<std::shared_ptr<PageRenderer>(
        const crawlmere::platform::UrlRequest& request, const std::shared_ptr<CrwlUrl>& record)>;
    static void setRendererStarter(RendererStarter starter);

    /// The most body bytes a fetch keeps (64 MiB unless changed); a longer body ends the fetch
    /// with its status kept and no link extraction. Process-wide.
    static qint64 maxBodyBytes();
    static void setMaxBodyBytes(qint64 bytes);

    /// sendAsyncServerRequest: builds the request and starts it on a new session, which
    /// replaces (and cancels) the previous one; status -2, `tryCount` + 1. Always YES. Main
    /// thread.
    bool sendAsyncServerRequest();
    /// The request `sendAsyncServerRequest` sends: URL, time-out, headers, method and login
    /// body. With the `securityToken` setting it loads the login page synchronously. Main thread.
    crawlmere::platform::UrlRequest makeServerRequest() const;
    /// Whether the request goes to the proxy-crawl service instead of the record's own URL
    /// (the `useProxyCrawl` default with a `proxyCrawlToken`, for anything but a local file).
    bool requestGoesThroughProxyCrawl() const;
    /// Whether the record is loaded through the renderer.
    bool shouldRunJS() const;
    /// recheckLink: `recheckLink(self)`.
    void recheckLink();
    /// recheckLink: takes `record` back out of the owner's counts, returns it to -1 without
    /// redirects and queues it; pumps when nothing is in flight. A record the owner still has
    /// queued or in flight is not queued again (the queue is pumped all the same). Main thread.
    void recheckLink(const std::shared_ptr<CrwlUrl>& record);
    /// Empties the outbound list and answers what it held.
    InstanceList takeOutboundInstances();
    /// Takes one occurrence out of the inbound list.
    void removeInboundInstance(const std::shared_ptr<CrwlLinkInstance>& instance);

    /// loadShouldContinue: whether the body of the current response is downloaded. Main thread.
    bool loadShouldContinue() const;
    /// credentialsFromSettings: the Basic credential of the settings
    /// (`WebtallyAttemptAuthentication`, `authenticationusername`, `authenticationpassword`).
    /// [any thread]
    std::optional<std::pair<QString, QString>> credentialsFromSettings() const;
    /// Append to the body (`data`) or to `sourceData`. Main thread.
    bool addNewDataToData(const QByteArray& bytes);
    bool addNewDataToSourceData(const QByteArray& bytes);
    /// makeNSURLFromString:relativeToStrUrl: the link resolved against the base, trying the
    /// encoded forms of both when the plain ones fail. [any thread]
    static std::optional<crawlmere::platform::Url> makeNSURLFromString(const QString& link, const QString& base);

    /// pageRendererDidReturnHTML: the rendered page is in `data`; finish the record (counted,
    /// links extracted, slot freed). A render that yielded nothing (`data` empty) ends the
    /// record as given up (-17), counted and its slot freed. Nothing happens after a pause or
    /// once the record was given up. Main thread.
    void pageRendererDidReturnHTML();
    /// The record's renderer, or null.
    const std::shared_ptr<PageRenderer>& getWTG() const;
    /// The request kept for rendering, or null.
    const std::shared_ptr<crawlmere::platform::UrlRequest>& getRunJS() const;
    /// clearWTG: tears the renderer down (it hands nothing over afterwards) and drops it with
    /// the kept request; a record without a renderer keeps its request. Main thread.
    void clearWTG();
    /// archivePageIfAppropriate: internal records are archived when `shouldArchive` is on.
    void archivePageIfAppropriate();
    /// How the last fetch read the body: to its end, or not (over the size cap, or cut off by
    /// an error such as a dropped connection), in which case the record holds at most a part of
    /// it. Set on the main thread before the archive hook runs.
    enum class BodyRead : quint8 { Whole, OverCap, CutOff };
    BodyRead bodyRead() const { return bodyReadState; }
    void setBodyRead(BodyRead value) { bodyReadState = value; }
    /// invalidateAndUnlinkSession: cancels the fetch under way, if any, and tears down the
    /// renderer (`clearWTG`); neither reports back. Main thread.
    void invalidateAndUnlinkSession();
    /// A fetch is under way (a session is linked). Main thread.
    bool hasCurrentSession() const;
    /// The integer before the first ";" of a meta refresh content; 0 without ";".
    static qint64 pullOutSecondsFromMetaRefreshURL(const QString& content);
    /// The text after the first "URL=" (any case) from the first ";" on, trimmed of quotes,
    /// apostrophes and white space; nullopt without "URL=".
    static std::optional<QString> pullOutURLFromMetaRefreshURL(const QString& content);
    /// Drops the body.
    void clearData();
    /// Drops the body and the source it was made from, and their memory. Main thread.
    void dropBodies() { bodies.reset(); }
    qint64 getTryCount() const { return tryCount; }
    /// 1 GET, 2 POST; 0 before the first send.
    qint32 getMethodOfLastRequest() const { return methodOfLastRequest; }
    bool getContentLengthUnavailable() const { return contentlengthunavailable; }

private:
    friend struct CrwlUrlFetch;
    friend class crawlmere::engine::detail::RecordReference;
    void initialise();
    /// The status text by the redirect preferences, before the missing-fragment note.
    QString statusDescriptionWithoutFragment() const;
    /// Drops the three duplicate lists when the owner's groups changed since they were built.
    void dropStaleDuplicateLists(const CrwlURLDelegate* recordOwner) const;
    const InstanceList& linkedInstances(std::optional<InstanceList>& cache, bool (CrwlUrl::*test)() const) const;
    /// The caches, made when missing.
    CrwlUrlCaches& cachesRef() const;
    /// Stores the chain's length for the lock-free readers; called under `redirLock`.
    void publishRedirectHopCount();
    /// The bytes a fetch keeps: the body and, for a rendered page, the network's bytes. Most
    /// records keep none once their page is read, so the two live in a block of their own,
    /// made by the first bytes and dropped once both are null again.
    struct Bodies {
        QByteArray data;
        QByteArray sourceData;
        quint32 declaredEncoding = 0; // of `data` as fetched, from its Content-Type header
    };
    static const QByteArray& noBytes()
    {
        static const QByteArray none;
        return none;
    }
    /// The body block, made when missing. Main thread.
    Bodies& bodiesRef();
    /// Drops the body block when neither array holds anything (both null). Main thread.
    void dropNullBodies();
    /// The application's settings store, which every record reads.
    static crawlmere::platform::UserDefaults* userDefaults();
    /// The redirect chain: its hops and the redirect target. Most records are not redirected,
    /// so the two live in a block of their own, made by the first hop or target.
    struct RedirectChain {
        QString target;
        QVariantList hops;
        bool lastHopOnlyRecorded = false;
    };
    /// The chain's block, made when missing; under `redirLock`.
    RedirectChain& chainRef();
    /// The uncompressed size in whole kilobytes.
    qint64 fileSizeKilobytes() const { return fileSizeBytes / 1024; }

    // Fields, ordered so that no room is lost between them (a scan holds many records). The
    // ones a result view's cell reads (URL, status, redirect) come first, next to the shared
    // block's counts that taking the record from a weak reference touches anyway.
    QString linkURL;
    std::atomic<qint64> status { -1 };
    // The link URL reads as it is stored (its decoded form is itself); set with the URL, and
    // kept beside it for the views, which show the decoded form in every URL cell.
    bool linkURLDecodesToItself = true;
    bool isInternalFlag = true;
    bool isStartingPointFlag = false;
    bool isFileURLFlag = false;
    BodyRead bodyReadState = BodyRead::Whole;
    // The number of hops in the chain, written under `redirLock` once the chain has changed: a
    // record without redirects (most) answers its redirect cells without taking the lock.
    std::atomic<qint32> redirectHopCount { 0 };
    mutable QBasicMutex redirLock; // guards chain
    std::unique_ptr<RedirectChain> chain;
    std::weak_ptr<CrwlURLDelegate> owner;
    Settings crawlSettings;
    mutable QBasicMutex nsurlLock; // guards nsurl
    // The URL object `getNSURL` made last; null until then (and after `setLinkURL`).
    mutable std::unique_ptr<crawlmere::platform::Url> nsurl;
    OccurrenceList inboundInstanceArray;
    OccurrenceList outboundInstanceArray;
    QStringList warnings;
    QStringList namesOnThisPage;
    // The page's texts, in UTF-8 where that is smaller (see detail::CompactText).
    crawlmere::engine::detail::CompactText linkPageTitle;
    // Caches (filled by const getters) and rarely used fields (the render's request among
    // them), on the main thread; made on first use.
    mutable std::unique_ptr<CrwlUrlCaches> caches;
    crawlmere::engine::detail::CompactText headings; // packed one after another (detail::packed)
    // The meta elements; a list that cannot be packed is kept in the caches instead.
    crawlmere::engine::detail::PackedMetaElements metaElements;
    crawlmere::engine::detail::CompactText metaDescription;
    qint32 internalLinkCount = 0;
    qint32 externalLinkCount = 0;
    std::atomic<qint64> spelling { 0 };
    qint64 fileSizeBytes = 0;
    qint64 fileSizeCompressed = 0;
    qint64 wordCount = 0;
    // The link count `getLinkcount` worked out; -1 until then and after a new outbound link.
    mutable qint32 linkCountCache = -1;
    // The number of h1 texts of `headings`, counted by `setHeadings`.
    qint32 h1Total = 0;
    std::unique_ptr<Bodies> bodies;
    QString error;
    QString canonical;
    QString mimeTypeText;
    QDate targetLastModified; // local calendar date
    qint64 distanceFromHome = 0;
    qint64 tryCount = 0;
    QDateTime sentRequest;
    double responseTimeInterval = 0.0;
    double loadTimeInterval = 0.0;
    qint32 methodOfLastRequest = 0;
    float linkjuice = 0.0f;
    // The sitemap's change frequency: every page of a sitemap gets one, most the same text
    // (shared, not copied).
    QString changeFrequency;
    // The fetch under way: its callbacks' shared state, with the session (main thread only).
    std::shared_ptr<CrwlUrlFetchContext> fetchContext;
    // The weak reference the occurrences naming this record share; made by the first (main
    // thread), one count of it held by the record.
    quint32 sharedReference = 0; // a RecordReference::Handle
    bool contentlengthunavailable = false;
    bool hasMixedContent = false;
    bool headContainsNoIndexFlag = false;
    bool headContainsNoFollowFlag = false;
    bool isKeywordStuffedFlag = false;
    bool isHTMLFlag = true;
    bool isImageFlag = false;
    bool isVideoFlag = false;
    bool isAudioFlag = false;
    bool isInBadCollectionFlag = false;
    bool isCountedAsCheckedFlag = false;
    bool isBlacklistedFlag = false;
    bool isDisallowedFlag = false;
    bool linksAnchorDoesntAppearOnTargetPage = false;
    bool recursion = false;
    bool linksRead = false;
    bool spellingReviewed = false;
};
