// The keys of the application's own stored defaults (what Preferences and the windows keep, not a
// site's crawl settings) with the type each is read as: one constant per key, so that a misspelt
// key does not compile and a switch is never read as a number.
#pragma once

#include <QLatin1StringView>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

namespace crawlmere::platform {

/// Every application default read or written by a fixed name, with its type: `bool` a switch,
/// `qint64` a whole number, `double` a real, `QString` a text, `QStringList` a list of texts,
/// `QVariantList` a list of anything, `QVariant` a value read as it is stored. A crawl setting
/// that is also registered here (`runAllToCompletion`, ...) keeps its key in
/// `engine/CrawlSettingKeys.h`; keys made at run time (a column choice, a folder's access) are
/// not listed.
#define CRAWLMERE_DEFAULTS_KEYS(X)                                                                                     \
    X(bool, alertOnFinish)                                                                                             \
    X(bool, automaticUpdateCheck)                                                                                      \
    X(bool, badLinksOnly)                                                                                              \
    X(bool, blacklistShouldCheckContent)                                                                               \
    X(bool, connectionKeepAlive)                                                                                       \
    X(bool, countKeywords)                                                                                             \
    X(bool, displayLabels)                                                                                             \
    X(bool, displayLabelsForRedirects)                                                                                 \
    X(bool, displayPageTitle)                                                                                          \
    X(bool, dockProgCheckbox)                                                                                          \
    X(bool, dontReportWarnings)                                                                                        \
    X(bool, enableImageSitemap)                                                                                        \
    X(bool, exportEntireSite_Preserve)                                                                                 \
    X(bool, exportEntireSite_Process)                                                                                  \
    X(bool, flattenByWordOutline)                                                                                      \
    X(bool, formActions)                                                                                               \
    X(bool, htmlValidationEnabled)                                                                                     \
    X(bool, includeaudioinsitemap)                                                                                     \
    X(bool, includeimagesinsitemap)                                                                                    \
    X(bool, includeLastmod)                                                                                            \
    X(bool, includeLastModInXML)                                                                                       \
    X(bool, includePdfsInSitemap)                                                                                      \
    X(bool, includevideoinsitemap)                                                                                     \
    X(bool, inspectBadLinksOnFinish)                                                                                   \
    X(bool, linkedFilesAreInternal)                                                                                    \
    X(bool, mipFilter)                                                                                                 \
    X(bool, NSAppSleepDisabled)                                                                                        \
    X(bool, observeCanonicalRuleForDotSitemap)                                                                         \
    X(bool, observeRobotsTxt)                                                                                          \
    X(bool, parserContentConsolidateWhitespace)                                                                        \
    X(bool, parserContentIgnoreHeader)                                                                                 \
    X(bool, parserContentIgnoreNav)                                                                                    \
    X(bool, parserContentIncludeAltText)                                                                               \
    X(bool, parserContentOnlyParas)                                                                                    \
    X(bool, precomposedStringWithCompatibilityMapping)                                                                 \
    X(bool, preventSplitXML)                                                                                           \
    X(bool, removeWhenSpellingReviewed)                                                                                \
    X(bool, renderStartingURL)                                                                                         \
    X(bool, SEOEnabled)                                                                                                \
    X(bool, shouldFlagBlacklisted)                                                                                     \
    X(bool, sitemapObservesCanonicalElsewhere)                                                                         \
    X(bool, sitemapObservesRobotsMetaNoindex)                                                                          \
    X(bool, skipArchiveBasedOnBlackAndWhitelists)                                                                      \
    X(bool, uniqueaudioinsitemap)                                                                                      \
    X(bool, uniqueimagesinsitemap)                                                                                     \
    X(bool, uniquevideoinsitemap)                                                                                      \
    X(bool, useProxyCrawl)                                                                                             \
    X(bool, vizClean)                                                                                                  \
    X(bool, vizColour)                                                                                                 \
    X(bool, vizLimit)                                                                                                  \
    X(qint64, byStatusWhichStatus)                                                                                     \
    X(qint64, csvQuoteEscapeOption)                                                                                    \
    X(qint64, headingLevelMax)                                                                                         \
    X(qint64, htmlExportOptions)                                                                                       \
    X(qint64, maxThinContent)                                                                                          \
    X(qint64, metaDescriptionMax)                                                                                      \
    X(qint64, metaDescriptionMin)                                                                                      \
    X(qint64, metaTitleMax)                                                                                            \
    X(qint64, minDeepContent)                                                                                          \
    X(qint64, mipContainsAndOr)                                                                                        \
    X(qint64, mipContainsMethod)                                                                                       \
    X(qint64, mipContainsOrNot)                                                                                        \
    X(qint64, mipContainsScope)                                                                                        \
    X(qint64, perWarningMaximumCount)                                                                                  \
    X(qint64, redirectChain)                                                                                           \
    X(qint64, sitemapFilenameOptions)                                                                                  \
    X(qint64, sitemapOptions)                                                                                          \
    X(qint64, sitemapPriority)                                                                                         \
    X(qint64, sitesTableIconSize)                                                                                      \
    X(qint64, smartFolderSelected)                                                                                     \
    X(qint64, soft404Scope)                                                                                            \
    X(qint64, tooManyLinks)                                                                                            \
    X(qint64, verbosity)                                                                                               \
    X(qint64, vizLevels)                                                                                               \
    X(qint64, warningsMaximumCount)                                                                                    \
    X(double, jsRenderingTime)                                                                                         \
    X(QString, authenticationArticleURL)                                                                               \
    X(QString, CustomReportHTMLHeader)                                                                                 \
    X(QString, CustomReportHTMLStyles)                                                                                 \
    X(QString, helpPageAddress)                                                                                        \
    X(QString, homePageAddress)                                                                                        \
    X(QString, id)                                                                                                     \
    X(QString, maxKeywordDensity)                                                                                      \
    X(QString, mipContains)                                                                                            \
    X(QString, proxyCrawlEndpoint)                                                                                     \
    X(QString, proxyCrawlToken)                                                                                        \
    X(QString, siteBuilderGeneratorPattern)                                                                            \
    X(QString, sitemapSaveDirectory)                                                                                   \
    X(QString, sitemapSaveFilename)                                                                                    \
    X(QString, soft404Terms)                                                                                           \
    X(QString, supportFormURL)                                                                                         \
    X(QString, supportPageAddress)                                                                                     \
    X(QString, TLSArg)                                                                                                 \
    X(QString, updateHomePageURL)                                                                                      \
    X(QString, updatePropertyListURL)                                                                                  \
    X(QString, updateVersionTextURL)                                                                                   \
    X(QString, websitesSortKey)                                                                                        \
    X(QString, XMLSitemapTemplate)                                                                                     \
    X(QStringList, renderedHostNames)                                                                                  \
    X(QVariantList, CrwlFolderSorting)                                                                                 \
    X(QVariantList, mipFilterRules)                                                                                    \
    X(QVariantList, superWhitelistArray)                                                                               \
    X(QVariantList, websites)                                                                                          \
    X(QVariant, lastTabSelected)

/// Which declared default a key names: one value per row of the list above.
enum class DefaultsKeyId : unsigned char {
#define CRAWLMERE_DEFAULTS_KEY_ID(type, name) name,
    CRAWLMERE_DEFAULTS_KEYS(CRAWLMERE_DEFAULTS_KEY_ID)
#undef CRAWLMERE_DEFAULTS_KEY_ID
};

/// The names of the declared defaults, in the order of `DefaultsKeyId`.
inline constexpr const char* defaultsKeyNames[] = {
#define CRAWLMERE_DEFAULTS_KEY_NAME(type, name) #name,
    CRAWLMERE_DEFAULTS_KEYS(CRAWLMERE_DEFAULTS_KEY_NAME)
#undef CRAWLMERE_DEFAULTS_KEY_NAME
};

/// The key of an application default read as a `T`. It is made only from a declared name
/// (`DefaultsKeyId`), so only the constants of `defaultsKey` exist; `UserDefaults::value` reads
/// it as its type. It converts to the stored key text for the untyped calls.
template <typename T>
class DefaultsKey {
public:
    using Value = T;
    constexpr explicit DefaultsKey(DefaultsKeyId id)
        : m_id(id)
    {
    }
    constexpr DefaultsKeyId id() const { return m_id; }
    constexpr const char* name() const { return defaultsKeyNames[static_cast<unsigned>(m_id)]; }
    QLatin1StringView view() const { return QLatin1StringView(name()); }
    operator QString() const { return QString::fromLatin1(name()); }

private:
    DefaultsKeyId m_id;
};

namespace defaultsKey {
#define CRAWLMERE_DECLARE_DEFAULTS_KEY(type, name) inline constexpr DefaultsKey<type> name { DefaultsKeyId::name };
CRAWLMERE_DEFAULTS_KEYS(CRAWLMERE_DECLARE_DEFAULTS_KEY)
#undef CRAWLMERE_DECLARE_DEFAULTS_KEY
} // namespace defaultsKey

} // namespace crawlmere::platform

/// The keys, short: `defaultsKey::badLinksOnly`.
namespace defaultsKey = crawlmere::platform::defaultsKey;
