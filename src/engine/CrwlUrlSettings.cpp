// The crawl-settings dictionary: every key a scan reads with its default or its type, and the
// completion of a scan's shared dictionary with the defaults it lacks.
#include "engine/CrwlUrl.h"

#include "platform/UserDefaults.h"

#include <QLocale>

namespace {

/// The display name of the user's preferred language, as the spelling language's default.
QString preferredLanguageDisplayName()
{
    const QLocale system = QLocale::system();
    const QStringList preferred = system.uiLanguages();
    const QLocale language = preferred.isEmpty() ? system : QLocale(preferred.first());
    if (language.language() == QLocale::C || language.language() == QLocale::AnyLanguage)
        return QLocale::languageToString(QLocale::English);
    QString name = language.nativeLanguageName();
    if (name.isEmpty())
        name = QLocale::languageToString(language.language());
    return name;
}

QVariantMap makeDefaultCrawlSettings()
{
    // One entry per setting, grouped as the settings pane shows them. (Older files carry
    // "startingPointWasXML" twice; a dictionary keeps it once.)
    QVariantMap d;
    d.insert(QStringLiteral("startingPointWasXML"), false);
    d.insert(QStringLiteral("linkedFiles"), false);
    d.insert(QStringLiteral("searchMetaDataForURLs"), false);
    d.insert(QStringLiteral("checkSpelling"), false);
    d.insert(QStringLiteral("language"), preferredLanguageDisplayName());
    d.insert(QStringLiteral("singlePage"), false);
    d.insert(QStringLiteral("shouldParseCSS"), false);
    d.insert(QStringLiteral("shouldParsePDFs"), false);
    d.insert(QStringLiteral("shouldParseDOCXs"), false);
    d.insert(QStringLiteral("plainTextMode"), qint64(0));
    d.insert(QStringLiteral("wixSite"), false);
    d.insert(QStringLiteral("runJS"), false);
    d.insert(QStringLiteral("shouldTrimHash"), true);
    d.insert(QStringLiteral("limitLevels"), false);
    d.insert(QStringLiteral("hashIsBad"), false);
    d.insert(QStringLiteral("shouldArchive"), false);
    d.insert(QStringLiteral("tolerateUpADirectory"), false);
    d.insert(QStringLiteral("sitemapOnly"), false);
    d.insert(QStringLiteral("lookForLazyLoadImageURLs"), false);
    d.insert(QStringLiteral("trimWhitespace"), true);
    d.insert(QStringLiteral("numberOfThreads"), qint64(12));
    d.insert(QStringLiteral("delay"), 0.0);
    d.insert(QStringLiteral("timeout"), 30.0);
    d.insert(QStringLiteral("maxRPM"), qint64(1000));
    d.insert(QStringLiteral("limitRPM"), false);
    d.insert(QStringLiteral("linksLimit"), qint64(2000000));
    d.insert(QStringLiteral("levelsLimit"), qint64(100));
    d.insert(QStringLiteral("occurrencesLimit"), qint64(100));
    d.insert(QStringLiteral("limitOccurrences"), false);
    d.insert(QStringLiteral("customHeaderAcceptLanguage"), QStringLiteral("*"));
    d.insert(QStringLiteral("defaultLocalFileName"), QStringLiteral("index.html"));
    d.insert(QStringLiteral("caseSensitiveFileURLs"), true);
    d.insert(QStringLiteral("userAgentString"),
        QStringLiteral("Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 (KHTML, like Gecko) "
                       "Version/17.3 Safari/605.1.15"));
    d.insert(QStringLiteral("checkImages"), true);
    d.insert(QStringLiteral("blacklistByRobotsTxt"), false);
    d.insert(QStringLiteral("internalOnly"), false);
    d.insert(QStringLiteral("dontFollowNofollowLinks"), false);
    d.insert(QStringLiteral("followSubdomains"), false);
    d.insert(QStringLiteral("crawlUpwards"), false);
    d.insert(QStringLiteral("trimQuery"), false);
    d.insert(QStringLiteral("wordpressUrls"), false);
    d.insert(QStringLiteral("shouldIgnoreSlash"), true);
    d.insert(QStringLiteral("ftpserver"), QStringLiteral(""));
    d.insert(QStringLiteral("ftpport"), QStringLiteral(""));
    d.insert(QStringLiteral("ftpdirectory"), QStringLiteral(""));
    d.insert(QStringLiteral("ftpusername"), QStringLiteral(""));
    d.insert(QStringLiteral("ftppassword"), QStringLiteral(""));
    d.insert(QStringLiteral("ftpUsesTLS"), false);
    d.insert(QStringLiteral("archiveSaveLocation"), QStringLiteral(""));
    d.insert(QStringLiteral("runAllToCompletion"), false);
    d.insert(QStringLiteral("notifyAllResourcesRegardlessOfFileType"), false);
    d.insert(QStringLiteral("shouldLoadImages"), false);
    d.insert(QStringLiteral("shouldCheckForSoft404"), false);
    d.insert(QStringLiteral("ignoreSessid"), false);
    d.insert(QStringLiteral("sessidParam"), QStringLiteral("sid"));
    return d;
}

/// The crawl settings a scan reads that have no default (absent, they read as NO, 0 or no
/// text), each with a value of the type it takes; the rest are the defaults' keys.
QVariantMap makeCrawlSettingModels()
{
    QVariantMap m = makeDefaultCrawlSettings();
    for (const char* key : { "loadImages", "ignoreScheme", "httpIsExternal", "dontReportRedirects", "securityToken",
             "shouldLoadJS", "shouldParseRTFs", "WebtallyAttemptAuthentication", "isSearch" })
        m.insert(QLatin1String(key), false);
    for (const char* key : { "authenticationusername", "authenticationpassword", "authenticationusernamefieldname",
             "authenticationpasswordfieldname", "customHeaderKey1", "customHeaderValue1", "customHeaderKey2",
             "customHeaderValue2", "customHeaderKey3", "customHeaderValue3", "customPostKey1", "customPostValue1",
             "customPostKey2", "customPostValue2" })
        m.insert(QLatin1String(key), QString());
    // The crawl rule lists: texts to match.
    for (const char* key : { "ignoreArray", "checkBlacklistArray", "followBlacklistArray", "followWhitelistArray" })
        m.insert(QLatin1String(key), QVariantList());
    return m;
}

/// Built once: a record is made for every link of a scan, and each completes the dictionary.
const QVariantMap& cachedDefaultCrawlSettings()
{
    static const QVariantMap defaults = makeDefaultCrawlSettings();
    return defaults;
}

} // namespace

QVariantMap CrwlUrl::defaultCrawlSettings()
{
    // Implicitly shared: the caller's first change makes its own copy.
    return cachedDefaultCrawlSettings();
}

QVariantMap CrwlUrl::crawlSettingModels()
{
    static const QVariantMap models = makeCrawlSettingModels();
    return models;
}

QVariantMap CrwlUrl::applicationCrawlSettings(const crawlmere::platform::UserDefaults& defaults)
{
    QVariantMap settings;
    const QString nofollow = QStringLiteral("dontFollowNofollowLinks");
    if (defaults.objectForKey(nofollow).isValid())
        settings.insert(nofollow, defaults.boolForKey(nofollow));
    return settings;
}

void CrwlUrl::setCrawlDefaultValues()
{
    if (!crawlSettings)
        return;
    crawlSettings->insertMissing(cachedDefaultCrawlSettings());
}
