// The table of crawl settings and the reads of a value as the scan uses it.
#include "engine/CrawlSettingTable.h"

#include "engine/SettingsValue.h"
#include "platform/LanguageNames.h"

#include <QHash>

#include <cmath>
#include <limits>

namespace crawlmere::engine {

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
    const auto yesNo = [](bool value) { return QVariant(value); };
    const auto whole = [](qint64 value) { return QVariant(value); };
    const QVariant none;
    const QVariant noText = QStringLiteral("");
    constexpr auto B = QMetaType::Bool;
    constexpr auto I = QMetaType::LongLong;
    constexpr auto D = QMetaType::Double;
    constexpr auto S = QMetaType::QString;
    constexpr auto L = QMetaType::QVariantList;
    // clang-format off
    QList<CrawlSetting> table {
        // What is read and how.
        { "startingPointWasXML", B, yesNo(false), {}, R::Scan, "CrwlUrlPolicy" },
        { "linkedFiles", B, yesNo(false), {}, R::Scan, "CrwlParser, Z12Ara" },
        { "searchMetaDataForURLs", B, yesNo(false), {}, R::Scan, "CrwlParser" },
        { "checkSpelling", B, yesNo(false), {}, R::Scan, "Z12AraExtraction" },
        { "language", S, preferredLanguageDisplayName(), {}, R::Window, "SpellingLanguages" },
        { "singlePage", B, yesNo(false), {}, R::Scan, "Z12AraDecisions" },
        { "shouldParseCSS", B, yesNo(false), {}, R::Scan, "CrwlUrlPolicy, Z12AraExtraction" },
        { "shouldParsePDFs", B, yesNo(false), {}, R::Scan, "CrwlUrlPolicy, Z12AraExtraction" },
        { "shouldParseDOCXs", B, yesNo(false), {}, R::Scan, "CrwlUrlPolicy, Z12AraExtraction" },
        { "plainTextMode", I, whole(0), {}, R::Scan, "Z12AraExtraction" },
        { "wixSite", B, yesNo(false), {}, R::NoScan, "set by Z12AraProbes, read by none" },
        { "runJS", B, yesNo(false), {}, R::Scan, "CrwlUrlRequest, Z12AraExtraction" },
        { "shouldTrimHash", B, yesNo(true), {}, R::Scan, "CrwlUrlPolicy, Z12AraDecisions, CrwlParser" },
        { "limitLevels", B, yesNo(false), {}, R::NoScan, "kept in older files" },
        { "hashIsBad", B, yesNo(false), {}, R::Scan, "Z12AraExtraction" },
        { "shouldArchive", B, yesNo(false), {}, R::Scan, "Z12AraQueue, CrwlUrlResponse" },
        { "tolerateUpADirectory", B, yesNo(false), {}, R::Scan, "Z12AraDecisions" },
        { "sitemapOnly", B, yesNo(false), {}, R::Scan, "Z12AraExtraction" },
        { "lookForLazyLoadImageURLs", B, yesNo(false), {}, R::Scan, "CrwlParser" },
        { "trimWhitespace", B, yesNo(true), {}, R::ApplicationDefaults, "CrwlParserIteration" },
        // Pace and limits.
        { "numberOfThreads", I, whole(12),
            SettingRange { double(kFewestThreads), double(kMostThreads), "fetches at a time" },
            R::Scan, "Z12AraQueue" },
        { "delay", D, 0.0, SettingRange { 0.0, kLongestDelaySeconds, "seconds" }, R::Scan, "Z12AraQueue" },
        { "timeout", D, 30.0,
            SettingRange { kShortestTimeoutSeconds, kLongestTimeoutSeconds, "seconds",
                /*belowReadsAsDefault=*/true },
            R::Scan, "CrwlUrlRequest, Z12Ara" },
        { "maxRPM", I, whole(1000),
            SettingRange { double(kLowestRequestsPerMinute), double(kHighestRequestsPerMinute),
                "requests per minute" },
            R::Scan, "Z12AraQueue" },
        { "limitRPM", B, yesNo(false), {}, R::Scan, "Z12AraQueue" },
        { "linksLimit", I, whole(2000000), SettingRange { 1, kLargestLimit, "links", /*belowReadsAsDefault=*/true }, R::Scan,
            "Z12AraCollections, Z12AraExtraction" },
        { "levelsLimit", I, whole(100), SettingRange { 1, kLargestLimit, "levels", /*belowReadsAsDefault=*/true }, R::Scan,
            "Z12AraExtraction" },
        { "occurrencesLimit", I, whole(100), SettingRange { 1, kLargestLimit, "occurrences", /*belowReadsAsDefault=*/true },
            R::Scan, "Z12AraExtraction" },
        { "limitOccurrences", B, yesNo(false), {}, R::Scan, "Z12AraExtraction" },
        // The requests.
        { "customHeaderAcceptLanguage", S, QStringLiteral("*"), {}, R::Scan, "CrwlUrlRequest" },
        { "defaultLocalFileName", S, QStringLiteral("index.html"), {}, R::ApplicationDefaults,
            "CrwlUrlRequest, ArchiveExportController" },
        { "caseSensitiveFileURLs", B, yesNo(true), {}, R::NoScan, "kept in older files" },
        { "userAgentString", S,
            QStringLiteral("Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 (KHTML, like Gecko) "
                           "Version/17.3 Safari/605.1.15"),
            {}, R::Scan, "CrwlUrlRequest, Z12AraProbes" },
        // What is followed.
        { "checkImages", B, yesNo(true), {}, R::Scan, "CrwlParser, Z12Ara" },
        { "blacklistByRobotsTxt", B, yesNo(false), {}, R::Scan, "Z12AraExtraction" },
        { "internalOnly", B, yesNo(false), {}, R::Scan, "Z12AraDecisions" },
        { "dontFollowNofollowLinks", B, yesNo(false), {}, R::Scan, "Z12AraDecisions" },
        { "followSubdomains", B, yesNo(false), {}, R::Scan, "Z12AraDecisions" },
        { "crawlUpwards", B, yesNo(false), {}, R::Scan, "Z12AraDecisions" },
        { "trimQuery", B, yesNo(false), {}, R::Scan, "Z12AraDecisions, CrwlUrlRedirects" },
        { "wordpressUrls", B, yesNo(false), {}, R::Scan, "Z12AraProbes, Z12AraCollections" },
        { "shouldIgnoreSlash", B, yesNo(true), {}, R::Scan, "CrwlUrlPolicy, Z12AraDecisions" },
        // The sitemap upload.
        { "ftpserver", S, noText, {}, R::NoScan, "SitemapManagerUpload" },
        { "ftpport", S, noText, {}, R::NoScan, "SitemapManagerUpload" },
        { "ftpdirectory", S, noText, {}, R::NoScan, "SitemapManagerUpload" },
        { "ftpusername", S, noText, {}, R::NoScan, "SitemapManagerUpload" },
        { "ftppassword", S, noText, {}, R::NoScan, "SitemapManagerUpload" },
        { "ftpUsesTLS", B, yesNo(false), {}, R::NoScan, "SitemapManagerUpload" },
        { "archiveSaveLocation", S, noText, {}, R::Window, "ArchiveExportController" },
        { "runAllToCompletion", B, yesNo(false), {}, R::ApplicationDefaults, "CrwlUrlResponse" },
        { "notifyAllResourcesRegardlessOfFileType", B, yesNo(false), {}, R::Scan, "CrwlUrlResponse" },
        { "shouldLoadImages", B, yesNo(false), {}, R::Scan, "CrwlUrlPolicy" },
        { "shouldCheckForSoft404", B, yesNo(false), {}, R::ApplicationDefaults, "CrwlUrlResponse, Z12AraServices" },
        { "ignoreSessid", B, yesNo(false), {}, R::Scan, "Z12AraDecisions" },
        { "sessidParam", S, QStringLiteral("sid"), {}, R::Scan, "Z12AraDecisions" },
        // Read by the scan without a default: absent, they read as NO or no text.
        { "loadImages", B, none, {}, R::Scan, "CrwlUrlPolicy" },
        { "ignoreScheme", B, none, {}, R::Scan, "Z12AraDecisions" },
        { "httpIsExternal", B, none, {}, R::Scan, "Z12AraExtraction" },
        { "dontReportRedirects", B, none, {}, R::Scan, "CrwlUrlRedirects, CrwlUrlStatus" },
        { "securityToken", B, none, {}, R::Scan, "CrwlUrlRequest" },
        { "shouldLoadJS", B, none, {}, R::Scan, "CrwlUrlResponse" },
        { "shouldParseRTFs", B, none, {}, R::Scan, "CrwlUrlResponse, Z12AraExtraction" },
        { "WebtallyAttemptAuthentication", B, none, {}, R::Scan, "CrwlUrlResponse, CrwlUrlPolicy" },
        { "isSearch", B, none, {}, R::Scan, "CrwlParser" },
    };
    // clang-format on
    for (const char* key : { "authenticationusername", "authenticationpassword", "authenticationusernamefieldname",
             "authenticationpasswordfieldname", "customHeaderKey1", "customHeaderValue1", "customHeaderKey2",
             "customHeaderValue2", "customHeaderKey3", "customHeaderValue3", "customPostKey1", "customPostValue1",
             "customPostKey2", "customPostValue2" })
        table.append({ QString::fromLatin1(key), S, none, {}, R::Scan, "CrwlUrlRequest" });
    // The crawl rule lists: texts to match.
    for (const char* key : { "ignoreArray", "checkBlacklistArray", "followBlacklistArray", "followWhitelistArray" })
        table.append({ QString::fromLatin1(key), L, none, {}, R::Scan, "Z12Ara" });
    // Settings the application offers for every site (the preferences of new sites, and the
    // nofollow choice older stores hold).
    for (CrawlSetting& setting : table) {
        for (const char* key : { "dontFollowNofollowLinks", "linksLimit", "levelsLimit", "occurrencesLimit",
                 "numberOfThreads", "timeout", "userAgentString" })
            if (setting.key == QLatin1StringView(key))
                setting.applicationWide = true;
    }
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

QVariant effectiveSettingValue(const QString& key, const QVariant& stored)
{
    const CrawlSetting* setting = findCrawlSetting(key);
    if (!setting)
        return stored;
    const QVariant value = stored.isValid() ? stored : setting->defaultValue;
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

qint64 settingIntegerInRange(const std::shared_ptr<CrawlSettings>& settings, const QString& key)
{
    return integerValue(effectiveSettingValue(key, settings ? settings->value(key) : QVariant()));
}

double settingDoubleInRange(const std::shared_ptr<CrawlSettings>& settings, const QString& key)
{
    return doubleValue(effectiveSettingValue(key, settings ? settings->value(key) : QVariant()));
}

} // namespace crawlmere::engine
