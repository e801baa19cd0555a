// The record of one URL met during a scan: its link URL, status, redirect chain, link
// occurrences, page facts and fetch state, and the scan's shared crawl settings.
#pragma once

#include "engine/CrawlSettings.h"
#include "engine/CrwlDataObject.h"
#include "engine/CrwlURLDelegate.h"
#include "platform/Url.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class CrwlLinkInstance;
class PageRenderer;

namespace crawlmere::platform {
struct UrlRequest;
class UrlSession;
class UserDefaults;
} // namespace crawlmere::platform

/// One URL of a scan. Records are shared (`std::shared_ptr`): the hub's lookup table, queue and
/// collections hold them. A record holds its owner weakly and the scan's settings dictionary by
/// shared pointer; make records with `std::make_shared` (or `CrwlUrl::make`) so that
/// `setLinkURL` can file them with the owner.
///
/// Threads: records are made and changed on the main thread; the fetch runs some operations on
/// its session queue (marked there).
class CrwlUrl : public CrwlDataObject, public std::enable_shared_from_this<CrwlUrl> {
public:
    using InstanceList = std::vector<std::shared_ptr<CrwlLinkInstance>>;
    using Settings = SharedCrawlSettings;

    // ===== Construction and crawl settings ==================================================

    /// init: a record with no owner and no settings dictionary; every settings read gives NO,
    /// 0 or a null string.
    CrwlUrl();
    /// initWithOwner:crawlSettings: keeps the owner (weakly) and the dictionary (shared, not
    /// copied), then completes the dictionary with the defaults it lacks.
    CrwlUrl(const std::shared_ptr<CrwlURLDelegate>& owner, Settings crawlSettings);
    ~CrwlUrl() override;

    /// `std::make_shared<CrwlUrl>(owner, crawlSettings)`.
    static std::shared_ptr<CrwlUrl> make(const std::shared_ptr<CrwlURLDelegate>& owner, Settings crawlSettings);

    /// A new dictionary with every crawl setting and its default (54 keys).
    static QVariantMap defaultCrawlSettings();
    /// Stores each default that the record's dictionary lacks; never replaces a stored value
    /// (a stored null QVariant counts as stored). Nothing happens without a dictionary.
    void setCrawlDefaultValues();

    /// The shared dictionary itself (null for a record made without one).
    const Settings& getCrawlSettings() const { return crawlSettings; }
    /// The owner, or null when it is gone or there never was one.
    std::shared_ptr<CrwlURLDelegate> getOwner() const { return owner.lock(); }
    /// The owner's shared web-content process pool; null without an owner.
    std::shared_ptr<crawlmere::platform::WebProcessPool> sharedWKProcessPool() const;

    // ===== Link URL and its forms ===========================================================

    /// Stores the link URL: percent escapes decoded (those that change a URL's meaning, such as
    /// %2F, %3F, %23, %26, %2B, %3D and %25, are kept), fragment and query trimmed by the
    /// settings (`trimHash`; not for a record already marked as a file URL), then filed with
    /// the owner (`addToLookup`) unless empty. A "file://" URL marks the record as a file URL.
    void setLinkURL(const QString& url);
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
    /// The redirect target when there is one, else the link URL.
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
    void setInboundInstanceArray(InstanceList value) { inboundInstanceArray = std::move(value); }
    void setOutboundInstanceArray(InstanceList value) { outboundInstanceArray = std::move(value); }
    void setMimeType(const QString& value) { mimeTypeText = value; }
    void setLoadTimeInterval(double seconds) { loadTimeInterval = seconds; }
    void setResponseTimeInterval(double seconds) { responseTimeInterval = seconds; }
    void setRunJS(std::shared_ptr<crawlmere::platform::UrlRequest> request) { runJS = std::move(request); }
    void setSpellingCount(qint64 value) { spelling = value; }
    /// Stores the send time (`sentRequest`).
    void setTimestamp(const QDateTime& value) { sentRequest = value; }
    void setTypeAttribute(const QString& value) { typeAttribute = value; }
    void setPriority(std::optional<double> value) { priority = value; }
    void setJsonld(const QVariantList& value) { jsonld = value; }
    void setKeywordStuffed(bool value) { isKeywordStuffedFlag = value; }
    void setLinksAnchorDoesntAppearOnTargetPage(bool value) { linksAnchorDoesntAppearOnTargetPage = value; }
    void setSearchTerms(const QStringList& value) { searchTerms = value; }
    void setLinkJuice(float value) { linkjuice = value; }
    void setSpellingReviewed(bool value) { spellingReviewed = value; }

    const QByteArray& getData() const { return data; }
    const QByteArray& getSourceData() const { return sourceData; }
    const QString& getChangefrequency() const { return changeFrequency; }
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
    bool isKeywordStuffed() const { return isKeywordStuffedFlag; }
    qint64 getWordcount() const { return wordCount; }
    bool getHasMixedContent() const { return hasMixedContent; }
    double getLoadTime() const { return loadTimeInterval; }
    bool getRecursion() const { return recursion; }
    qint64 getDistanceFromHome() const { return distanceFromHome; }
    /// The send time; invalid when not sent.
    const QDateTime& getTimestamp() const { return sentRequest; }
    std::optional<double> getPriority() const { return priority; }
    const QVariantList& getMetaData() const { return metaData; }
    const QVariantList& getJsonld() const { return jsonld; }
    const QStringList& getHeadings() const { return headings; }
    bool getLinksAnchorDoesntAppearOnTargetPage() const { return linksAnchorDoesntAppearOnTargetPage; }
    const QVariantList& redirectArray() const { return redirectArrayList; }
    const InstanceList& getInboundInstances() const { return inboundInstanceArray; }
    const InstanceList& getOutboundInstances() const { return outboundInstanceArray; }
    float getLinkJuice() const { return linkjuice; }
    bool getSpellingReviewed() const { return spellingReviewed; }
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
    /// The MIME type names XML, the path extension is exactly "xml"/"XML", or the link URL
    /// holds ".xml?" in any case.
    bool isXML() const;

    // ===== Crawl-policy predicates and lookup keys ==========================================

    bool shouldParsePDFs() const;
    bool shouldParseDOCXs() const;
    bool shouldParseCSS() const;
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
    /// kept; see detail::forceTrimHash).
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

private:
    void initialise();

    // Fields, in the order the record has always kept them.
    std::weak_ptr<CrwlURLDelegate> owner;
    Settings crawlSettings;
    crawlmere::platform::UserDefaults* defaults = nullptr;
    mutable std::mutex nsurlLock;
    mutable std::optional<crawlmere::platform::Url> nsurl;
    QString linkURL;
    QString redir;
    QVariantList redirectArrayList;
    std::atomic<qint64> status { -1 };
    std::vector<std::shared_ptr<void>> retainArray;
    InstanceList inboundInstanceArray;
    InstanceList outboundInstanceArray;
    QStringList warnings;
    QStringList namesOnThisPage;
    QString linkPageTitle;
    std::optional<InstanceList> linkedImages;
    std::optional<InstanceList> linkedVideo;
    std::optional<InstanceList> linkedAudio;
    QStringList headings;
    QVariantList metaData;
    QVariantList jsonld;
    QString metaDescription;
    std::optional<CrwlUrlList> urlsWithDuplicateTitles;
    std::optional<CrwlUrlList> urlsWithDuplicateDescriptions;
    std::optional<CrwlUrlList> urlsWithDuplicates;
    QStringList searchTerms;
    qint64 internalLinkCount = 0;
    qint64 externalLinkCount = 0;
    qint64 spelling = 0;
    qint64 fileSizeBytes = 0;
    qint64 fileSize = 0;
    qint64 fileSizeCompressed = 0;
    qint64 wordCount = 0;
    std::optional<qint64> hrefCount;
    std::optional<qint64> h1CountCache;
    QByteArray data;
    QByteArray sourceData;
    bool contentlengthunavailable = false;
    bool hasMixedContent = false;
    bool headContainsNoIndexFlag = false;
    bool headContainsNoFollowFlag = false;
    bool isKeywordStuffedFlag = false;
    bool isHTMLFlag = true;
    bool isImageFlag = false;
    bool isVideoFlag = false;
    bool isAudioFlag = false;
    bool isStartingPointFlag = false;
    bool isInternalFlag = true;
    bool isInBadCollectionFlag = false;
    bool isBlacklistedFlag = false;
    bool isDisallowedFlag = false;
    bool linksAnchorDoesntAppearOnTargetPage = false;
    bool recursion = false;
    bool isFileURLFlag = false;
    QString error;
    QString canonical;
    QString mimeTypeText;
    QString typeAttribute;
    QString changeFrequency;
    QString targetLastModified;
    std::optional<double> priority;
    qint64 distanceFromHome = 0;
    qint64 tryCount = 0;
    QDateTime sentRequest;
    double responseTimeInterval = 0.0;
    double loadTimeInterval = 0.0;
    qint32 methodOfLastRequest = 0;
    qint32 retryAfter = 0;
    std::shared_ptr<PageRenderer> WTG;
    std::shared_ptr<crawlmere::platform::UrlRequest> runJS;
    float linkjuice = 0.0f;
    std::shared_ptr<crawlmere::platform::UrlSession> currentSession;
    bool spellingReviewed = false;
};
