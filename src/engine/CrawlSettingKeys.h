// The keys of the crawl settings as the code names them: one constant per row of the
// crawl-settings table, so that a misspelt key does not compile.
#pragma once

#include <QLatin1StringView>
#include <QString>

#include <utility>

namespace crawlmere::engine {

/// Every crawl setting of the table, by name (the table holds one row for each; a test says so).
#define CRAWLMERE_CRAWL_SETTING_KEYS(X)                                                                                \
    X(startingUrl)                                                                                                     \
    X(startingPointWasXML)                                                                                             \
    X(singlePage)                                                                                                      \
    X(checkImages)                                                                                                     \
    X(linkedFiles)                                                                                                     \
    X(searchMetaDataForURLs)                                                                                           \
    X(lookForLazyLoadImageURLs)                                                                                        \
    X(loadImages)                                                                                                      \
    X(checkSpelling)                                                                                                   \
    X(language)                                                                                                        \
    X(shouldParseCSS)                                                                                                  \
    X(shouldParsePDFs)                                                                                                 \
    X(shouldParseDOCXs)                                                                                                \
    X(shouldParseRTFs)                                                                                                 \
    X(plainTextMode)                                                                                                   \
    X(wixSite)                                                                                                         \
    X(runJS)                                                                                                           \
    X(shouldLoadJS)                                                                                                    \
    X(shouldTrimHash)                                                                                                  \
    X(limitLevels)                                                                                                     \
    X(hashIsBad)                                                                                                       \
    X(shouldArchive)                                                                                                   \
    X(tolerateUpADirectory)                                                                                            \
    X(sitemapOnly)                                                                                                     \
    X(trimWhitespace)                                                                                                  \
    X(isSearch)                                                                                                        \
    X(numberOfThreads)                                                                                                 \
    X(delay)                                                                                                           \
    X(timeout)                                                                                                         \
    X(maxRPM)                                                                                                          \
    X(limitRPM)                                                                                                        \
    X(linksLimit)                                                                                                      \
    X(levelsLimit)                                                                                                     \
    X(occurrencesLimit)                                                                                                \
    X(limitOccurrences)                                                                                                \
    X(customHeaderAcceptLanguage)                                                                                      \
    X(defaultLocalFileName)                                                                                            \
    X(caseSensitiveFileURLs)                                                                                           \
    X(userAgentString)                                                                                                 \
    X(securityToken)                                                                                                   \
    X(WebtallyAttemptAuthentication)                                                                                   \
    X(blacklistByRobotsTxt)                                                                                            \
    X(internalOnly)                                                                                                    \
    X(dontFollowNofollowLinks)                                                                                         \
    X(followSubdomains)                                                                                                \
    X(crawlUpwards)                                                                                                    \
    X(trimQuery)                                                                                                       \
    X(wordpressUrls)                                                                                                   \
    X(shouldIgnoreSlash)                                                                                               \
    X(ignoreSessid)                                                                                                    \
    X(sessidParam)                                                                                                     \
    X(ignoreScheme)                                                                                                    \
    X(httpIsExternal)                                                                                                  \
    X(dontReportRedirects)                                                                                             \
    X(ftpserver)                                                                                                       \
    X(ftpport)                                                                                                         \
    X(ftpdirectory)                                                                                                    \
    X(ftpusername)                                                                                                     \
    X(ftppassword)                                                                                                     \
    X(ftpUsesTLS)                                                                                                      \
    X(archiveSaveLocation)                                                                                             \
    X(runAllToCompletion)                                                                                              \
    X(notifyAllResourcesRegardlessOfFileType)                                                                          \
    X(shouldLoadImages)                                                                                                \
    X(shouldCheckForSoft404)                                                                                           \
    X(authenticationusername)                                                                                          \
    X(authenticationpassword)                                                                                          \
    X(authenticationusernamefieldname)                                                                                 \
    X(authenticationpasswordfieldname)                                                                                 \
    X(customHeaderKey1)                                                                                                \
    X(customHeaderValue1)                                                                                              \
    X(customHeaderKey2)                                                                                                \
    X(customHeaderValue2)                                                                                              \
    X(customHeaderKey3)                                                                                                \
    X(customHeaderValue3)                                                                                              \
    X(customPostKey1)                                                                                                  \
    X(customPostValue1)                                                                                                \
    X(customPostKey2)                                                                                                  \
    X(customPostValue2)                                                                                                \
    X(ignoreArray)                                                                                                     \
    X(checkBlacklistArray)                                                                                             \
    X(followBlacklistArray)                                                                                            \
    X(followWhitelistArray)

/// Which declared crawl setting a key names: one value per name of the list above.
enum class CrawlSettingId : unsigned char {
#define CRAWLMERE_CRAWL_SETTING_ID(name) name,
    CRAWLMERE_CRAWL_SETTING_KEYS(CRAWLMERE_CRAWL_SETTING_ID)
#undef CRAWLMERE_CRAWL_SETTING_ID
};

/// The names of the declared settings, in the order of `CrawlSettingId`.
inline constexpr const char* crawlSettingNames[] = {
#define CRAWLMERE_CRAWL_SETTING_NAME(name) #name,
    CRAWLMERE_CRAWL_SETTING_KEYS(CRAWLMERE_CRAWL_SETTING_NAME)
#undef CRAWLMERE_CRAWL_SETTING_NAME
};

/// The key of a crawl setting. It is made only from a declared name (`CrawlSettingId`), so only
/// the constants of `engine::key` exist and a misspelt key does not compile; reads through
/// `settingBool` and its kin take nothing else.
class CrawlSettingKey {
public:
    constexpr explicit CrawlSettingKey(CrawlSettingId id)
        : m_id(id)
    {
    }
    constexpr CrawlSettingId id() const { return m_id; }
    constexpr const char* name() const { return crawlSettingNames[static_cast<unsigned>(m_id)]; }
    QLatin1StringView view() const { return QLatin1StringView(name()); }
    operator QString() const { return QString::fromLatin1(name()); }
    friend bool operator==(const QString& text, CrawlSettingKey key) { return text == key.view(); }
    friend constexpr bool operator==(CrawlSettingKey a, CrawlSettingKey b) { return a.m_id == b.m_id; }

private:
    CrawlSettingId m_id;
};

namespace key {
#define CRAWLMERE_DECLARE_CRAWL_SETTING_KEY(name) inline constexpr CrawlSettingKey name { CrawlSettingId::name };
CRAWLMERE_CRAWL_SETTING_KEYS(CRAWLMERE_DECLARE_CRAWL_SETTING_KEY)
#undef CRAWLMERE_DECLARE_CRAWL_SETTING_KEY
} // namespace key

/// Every key above, in the table's order.
inline constexpr CrawlSettingKey allCrawlSettingKeys[] = {
#define CRAWLMERE_LIST_CRAWL_SETTING_KEY(name) key::name,
    CRAWLMERE_CRAWL_SETTING_KEYS(CRAWLMERE_LIST_CRAWL_SETTING_KEY)
#undef CRAWLMERE_LIST_CRAWL_SETTING_KEY
};

/// The settings of the custom fields of a POST and of the custom request headers: the key that
/// holds each field's (header's) name, and the key that holds its value.
inline constexpr std::pair<CrawlSettingKey, CrawlSettingKey> customPostFields[] = {
    { key::customPostKey1, key::customPostValue1 },
    { key::customPostKey2, key::customPostValue2 },
};
inline constexpr std::pair<CrawlSettingKey, CrawlSettingKey> customHeaders[] = {
    { key::customHeaderKey1, key::customHeaderValue1 },
    { key::customHeaderKey2, key::customHeaderValue2 },
    { key::customHeaderKey3, key::customHeaderValue3 },
};

} // namespace crawlmere::engine

/// The keys, short: `crawlKey::runJS`.
namespace crawlKey = crawlmere::engine::key;
