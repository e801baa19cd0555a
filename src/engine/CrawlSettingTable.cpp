// The table of crawl settings and the reads of a value as the scan uses it.
#include "engine/CrawlSettingTable.h"

#include "engine/SettingsValue.h"
#include "platform/LanguageNames.h"
#include "platform/Schedules.h"

#include <QHash>

#include <cmath>
#include <limits>
#include <string_view>

namespace crawlmere::engine {

// The schedules, below the engine, read a settings file's starting URL by its own name for it.
static_assert(std::string_view(crawlmere::platform::Schedules::kStartingUrlKey) == key::startingUrl.name());

namespace {

/// The spelling language's default: the user's language as the list of spelling languages
/// names it, so that a new site uses the installed dictionary of the user's language.
QString preferredLanguageDisplayName()
{
    return crawlmere::platform::languageDisplayName(crawlmere::platform::localeLanguageIdentifier());
}

/// The largest limit of links, levels or occurrences a site can hold (what an integer field takes).
constexpr double kLargestLimit = std::numeric_limits<int>::max();

QList<CrawlSetting> makeTable()
{
    using R = SettingReader;
    using C = SettingControl;
    const auto yesNo = [](bool value) { return QVariant(value); };
    const auto whole = [](qint64 value) { return QVariant(value); };
    const QVariant none;
    const QVariant noText = QStringLiteral("");
    constexpr auto B = QMetaType::Bool;
    constexpr auto I = QMetaType::LongLong;
    constexpr auto D = QMetaType::Double;
    constexpr auto S = QMetaType::QString;
    constexpr auto L = QMetaType::QVariantList;
    constexpr bool kHidden = true;
    constexpr bool kApplicationWide = true;
    constexpr bool kBelowReadsAsDefault = true;
    // clang-format off
    QList<CrawlSetting> table {
        // The site.
        { key::startingUrl, S, none, {}, R::Target, { C::StartingUrl, "Starting URL:" } },
        // What is read and how.
        { key::startingPointWasXML, B, yesNo(false), {}, R::Scan, {} },
        { key::singlePage, B, yesNo(false), {}, R::Scan, { C::Check, "Check this page only" } },
        { key::checkImages, B, yesNo(true), {}, R::Scan, { C::Check, "Check images", "images:" } },
        { key::linkedFiles, B, yesNo(false), {}, R::Scan, { C::Check, "Check linked files", "linkedfiles:" } },
        { key::searchMetaDataForURLs, B, yesNo(false), {}, R::Scan,
            { C::Check, "Look for URLs in meta data", "searchMetaTags:" } },
        { key::lookForLazyLoadImageURLs, B, yesNo(false), {}, R::Scan,
            { C::Check, "Look for lazy-load images", "lazyLoading:" } },
        { key::loadImages, B, none, {}, R::Scan, { C::Check, "Load images", "loadImages:" } },
        { key::checkSpelling, B, yesNo(false), {}, R::Scan, { C::Check, "Check spelling", "spellcheck:", kHidden } },
        { key::language, S, preferredLanguageDisplayName(), {}, R::Window,
            { C::Language, "Spelling language:", nullptr, kHidden } },
        { key::shouldParseCSS, B, yesNo(false), {}, R::Scan, {} },
        { key::shouldParsePDFs, B, yesNo(false), {}, R::Scan,
            { C::Check, "Read links in PDFs", "linksinpdfs:", kHidden } },
        { key::shouldParseDOCXs, B, yesNo(false), {}, R::Scan,
            { C::Check, "Read links in DOCX files", nullptr, kHidden } },
        { key::shouldParseRTFs, B, none, {}, R::Scan, {} },
        { key::plainTextMode, I, whole(0), {}, R::Scan, {} },
        { key::wixSite, B, yesNo(false), {}, R::NoScan, {} },
        { key::runJS, B, yesNo(false), {}, R::Scan, { C::Check, "Run JavaScript", "renderjs:", kHidden } },
        { key::shouldLoadJS, B, none, {}, R::Scan, {} },
        { key::shouldTrimHash, B, yesNo(true), {}, R::Scan,
            { C::InvertedCheck, "Treat #fragments as separate pages", "anchor:" } },
        { key::limitLevels, B, yesNo(false), {}, R::NoScan, {} },
        { key::hashIsBad, B, yesNo(false), {}, R::Scan, { C::Check, "Report empty and \"#\" links as bad", "missing:" } },
        { key::shouldArchive, B, yesNo(false), {}, R::Scan, { C::Check, "Archive pages", "archive:" } },
        { key::tolerateUpADirectory, B, yesNo(false), {}, R::Scan,
            { C::Check, "Tolerate ../ above the domain", "aboveDomain:" } },
        { key::sitemapOnly, B, yesNo(false), {}, R::Scan, {} },
        { key::trimWhitespace, B, yesNo(true), {}, R::ApplicationDefaults, {} },
        { key::isSearch, B, none, {}, R::Scan, {} },
        // Pace and limits.
        { key::numberOfThreads, I, whole(12),
            SettingRange { double(kFewestThreads), double(kMostThreads), "fetches at a time" },
            R::Scan, { C::Threads, "Threads:", "threads:" }, kApplicationWide },
        { key::delay, D, 0.0, SettingRange { 0.0, kLongestDelaySeconds, "seconds" }, R::Scan, {} },
        { key::timeout, D, 30.0,
            SettingRange { kShortestTimeoutSeconds, kLongestTimeoutSeconds, "seconds", kBelowReadsAsDefault },
            R::Scan, { C::Seconds, "Time-out (s):", "threads:" }, kApplicationWide },
        { key::maxRPM, I, whole(1000),
            SettingRange { double(kLowestRequestsPerMinute), double(kHighestRequestsPerMinute),
                "requests per minute" },
            R::Scan, { C::RequestRate, "Requests per minute:", "threads:" } },
        { key::limitRPM, B, yesNo(false), {}, R::Scan, { C::Check, "Limit the request rate" } },
        { key::linksLimit, I, whole(2000000), SettingRange { 1, kLargestLimit, "links", kBelowReadsAsDefault },
            R::Scan, { C::Limit, "Links limit:", "linkslimit:" }, kApplicationWide },
        { key::levelsLimit, I, whole(100), SettingRange { 1, kLargestLimit, "levels", kBelowReadsAsDefault },
            R::Scan, { C::Limit, "Levels limit:", "levelslimit:" }, kApplicationWide },
        { key::occurrencesLimit, I, whole(100),
            SettingRange { 1, kLargestLimit, "occurrences", kBelowReadsAsDefault },
            R::Scan, { C::Limit, "Occurrences limit:", "occurrenceslimit:" }, kApplicationWide },
        { key::limitOccurrences, B, yesNo(false), {}, R::Scan, { C::Check, "Limit occurrences" } },
        // The requests.
        { key::customHeaderAcceptLanguage, S, QStringLiteral("*"), {}, R::Scan,
            { C::Text, "Accept-Language:", "acceptlanguage:" }, kApplicationWide },
        { key::defaultLocalFileName, S, QStringLiteral("index.html"), {}, R::ApplicationDefaults, {} },
        { key::caseSensitiveFileURLs, B, yesNo(true), {}, R::NoScan, {} },
        { key::userAgentString, S,
            QStringLiteral("Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 (KHTML, like Gecko) "
                           "Version/17.3 Safari/605.1.15"),
            {}, R::Scan, { C::Text, "User agent:", "useragent:" }, kApplicationWide },
        { key::securityToken, B, none, {}, R::Scan, {} },
        { key::WebtallyAttemptAuthentication, B, none, {}, R::Scan, {} },
        // What is followed.
        { key::blacklistByRobotsTxt, B, yesNo(false), {}, R::Scan, { C::Check, "Observe robots.txt", "robots:" } },
        { key::internalOnly, B, yesNo(false), {}, R::Scan, { C::Check, "Check internal links only", "internal:" } },
        { key::dontFollowNofollowLinks, B, yesNo(false), {}, R::Scan,
            { C::Check, "Don't follow nofollow links", "nofollow:" }, kApplicationWide },
        { key::followSubdomains, B, yesNo(false), {}, R::Scan, { C::Check, "Follow subdomains", "subdomain:" } },
        { key::crawlUpwards, B, yesNo(false), {}, R::Scan,
            { C::Check, "Follow links above the starting folder", "allowCrawlingUpwards:" } },
        { key::trimQuery, B, yesNo(false), {}, R::Scan, { C::Check, "Ignore query strings", "querystring:" } },
        { key::wordpressUrls, B, yesNo(false), {}, R::Scan, { C::Check, "WordPress URLs", "wordpressthing:" } },
        { key::shouldIgnoreSlash, B, yesNo(true), {}, R::Scan,
            { C::Check, "Ignore trailing slashes", "trailingSlash:" } },
        { key::ignoreSessid, B, yesNo(false), {}, R::Scan, { C::Check, "Ignore session ids", "sessid:" } },
        { key::sessidParam, S, QStringLiteral("sid"), {}, R::Scan, { C::Text, "Session id parameter:" } },
        { key::ignoreScheme, B, none, {}, R::Scan, { C::Check, "Ignore http/https differences" } },
        { key::httpIsExternal, B, none, {}, R::Scan, { C::Check, "Treat http links as external" } },
        { key::dontReportRedirects, B, yesNo(false), {}, R::ApplicationDefaults, {} },
        // The sitemap upload.
        { key::ftpserver, S, noText, {}, R::NoScan, {} },
        { key::ftpport, S, noText, {}, R::NoScan, {} },
        { key::ftpdirectory, S, noText, {}, R::NoScan, {} },
        { key::ftpusername, S, noText, {}, R::NoScan, {} },
        { key::ftppassword, S, noText, {}, R::NoScan, {} },
        { key::ftpUsesTLS, B, yesNo(false), {}, R::NoScan, {} },
        // What is downloaded and kept.
        { key::archiveSaveLocation, S, noText, {}, R::Window, {} },
        { key::runAllToCompletion, B, yesNo(false), {}, R::ApplicationDefaults, {} },
        { key::notifyAllResourcesRegardlessOfFileType, B, yesNo(false), {}, R::Scan, {} },
        { key::shouldLoadImages, B, yesNo(false), {}, R::Scan, {} },
        { key::shouldCheckForSoft404, B, yesNo(false), {}, R::ApplicationDefaults, {} },
        // Logging in and what each request carries: texts.
        { key::authenticationusername, S, none, {}, R::Scan, {} },
        { key::authenticationpassword, S, none, {}, R::Scan, {} },
        { key::authenticationusernamefieldname, S, none, {}, R::Scan, {} },
        { key::authenticationpasswordfieldname, S, none, {}, R::Scan, {} },
        { key::customHeaderKey1, S, none, {}, R::Scan, {} },
        { key::customHeaderValue1, S, none, {}, R::Scan, {} },
        { key::customHeaderKey2, S, none, {}, R::Scan, {} },
        { key::customHeaderValue2, S, none, {}, R::Scan, {} },
        { key::customHeaderKey3, S, none, {}, R::Scan, {} },
        { key::customHeaderValue3, S, none, {}, R::Scan, {} },
        { key::customPostKey1, S, none, {}, R::Scan, {} },
        { key::customPostValue1, S, none, {}, R::Scan, {} },
        { key::customPostKey2, S, none, {}, R::Scan, {} },
        { key::customPostValue2, S, none, {}, R::Scan, {} },
        // The crawl rule lists: texts to match.
        { key::ignoreArray, L, none, {}, R::Scan, {} },
        { key::checkBlacklistArray, L, none, {}, R::Scan, {} },
        { key::followBlacklistArray, L, none, {}, R::Scan, {} },
        { key::followWhitelistArray, L, none, {}, R::Scan, {} },
    };
    // clang-format on
    return table;
}

} // namespace

const QList<CrawlSetting>& crawlSettingTable()
{
    static const QList<CrawlSetting> table = makeTable();
    return table;
}

const CrawlSetting* findCrawlSetting(const QString& key)
{
    static const QHash<QString, qsizetype> index = [] {
        QHash<QString, qsizetype> rows;
        const QList<CrawlSetting>& table = crawlSettingTable();
        for (qsizetype i = 0; i < table.size(); ++i)
            rows.insert(table.at(i).key, i);
        return rows;
    }();
    const auto row = index.constFind(key);
    return row == index.cend() ? nullptr : &crawlSettingTable().at(*row);
}

const CrawlSetting& crawlSetting(CrawlSettingKey key)
{
    const CrawlSetting* setting = findCrawlSetting(key);
    Q_ASSERT_X(setting, "crawlSetting", key.name());
    return *setting;
}

const SettingRange& crawlSettingRange(CrawlSettingKey key)
{
    const CrawlSetting& setting = crawlSetting(key);
    Q_ASSERT_X(setting.range, "crawlSettingRange", key.name());
    return crawlSettingRange(&setting);
}

const SettingRange& crawlSettingRange(const CrawlSetting* setting)
{
    static const SettingRange widest { -std::numeric_limits<double>::max(), std::numeric_limits<double>::max(), "" };
    return setting && setting->range ? *setting->range : widest;
}

bool readsAsAbsent(const CrawlSetting& setting, const QVariant& stored)
{
    return setting.pane.control == SettingControl::Text && stored.isValid()
        && stringValue(stored).trimmed().isEmpty();
}

QVariant effectiveSettingValue(const QString& key, const QVariant& stored)
{
    const CrawlSetting* setting = findCrawlSetting(key);
    if (!setting)
        return stored;
    const QVariant value = stored.isValid() && !readsAsAbsent(*setting, stored) ? stored : setting->defaultValue;
    switch (setting->type) {
    case QMetaType::Bool:
        return boolValue(value);
    case QMetaType::LongLong:
    case QMetaType::Double: {
        double number = setting->type == QMetaType::Double ? doubleValue(value)
                                                           : double(integerValue(value));
        if (const auto& range = setting->range) {
            if (!(number >= range->lowest))
                number = range->belowReadsAsDefault ? doubleValue(setting->defaultValue) : range->lowest;
            number = std::min(number, range->highest);
        }
        if (setting->type == QMetaType::Double)
            return number;
        return qint64(number);
    }
    case QMetaType::QString:
        return value.isValid() ? QVariant(stringValue(value)) : QVariant(QString());
    default:
        return value;
    }
}

qint64 settingIntegerInRange(const std::shared_ptr<CrawlSettings>& settings, CrawlSettingKey key)
{
    return integerValue(effectiveSettingValue(key, settings ? settings->value(key) : QVariant()));
}

double settingDoubleInRange(const std::shared_ptr<CrawlSettings>& settings, CrawlSettingKey key)
{
    return doubleValue(effectiveSettingValue(key, settings ? settings->value(key) : QVariant()));
}

} // namespace crawlmere::engine
