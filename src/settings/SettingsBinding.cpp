// The binding table of the settings pane.
#include "settings/SettingsBinding.h"

namespace crawlmere::settings {

const QList<BindingRow>& settingsBindingTable()
{
    using K = BindingKind;
    static const QList<BindingRow> table {
        { QStringLiteral("startingUrl"), K::StartingUrl },
        { QStringLiteral("singlePage"), K::Check },
        { QStringLiteral("checkImages"), K::Check },
        { QStringLiteral("linkedFiles"), K::Check },
        { QStringLiteral("searchMetaDataForURLs"), K::Check },
        { QStringLiteral("lookForLazyLoadImageURLs"), K::Check },
        { QStringLiteral("loadImages"), K::Check },
        { QStringLiteral("internalOnly"), K::Check },
        { QStringLiteral("userAgentString"), K::TextOrDefault },
        { QStringLiteral("customHeaderAcceptLanguage"), K::TextOrDefault },
        { QStringLiteral("blacklistByRobotsTxt"), K::Check },
        { QStringLiteral("dontFollowNofollowLinks"), K::Check },
        { QStringLiteral("followSubdomains"), K::Check },
        { QStringLiteral("crawlUpwards"), K::Check },
        { QStringLiteral("tolerateUpADirectory"), K::Check },
        { QStringLiteral("linksLimit"), K::Limit },
        { QStringLiteral("levelsLimit"), K::Limit },
        { QStringLiteral("occurrencesLimit"), K::Limit },
        { QStringLiteral("limitOccurrences"), K::CheckOrDefault },
        { QStringLiteral("trimQuery"), K::Check },
        { QStringLiteral("shouldTrimHash"), K::InvertedCheck },
        { QStringLiteral("wordpressUrls"), K::Check },
        { QStringLiteral("shouldIgnoreSlash"), K::Check },
        { QStringLiteral("numberOfThreads"), K::Threads },
        { QStringLiteral("timeout"), K::Seconds },
        { QStringLiteral("maxRPM"), K::NonZeroInteger },
        { QStringLiteral("limitRPM"), K::Check },
        { QStringLiteral("language"), K::Language },
        { QStringLiteral("checkSpelling"), K::Check },
        { QStringLiteral("runJS"), K::Check },
        { QStringLiteral("hashIsBad"), K::Check },
        { QStringLiteral("shouldArchive"), K::Check },
        { QStringLiteral("shouldParsePDFs"), K::Check },
        { QStringLiteral("shouldParseDOCXs"), K::Check },
        { QStringLiteral("status"), K::Status },
        { QStringLiteral("ignoreSessid"), K::Check },
        { QStringLiteral("sessidParam"), K::Text },
        { QStringLiteral("ignoreScheme"), K::Check },
        { QStringLiteral("httpIsExternal"), K::Check },
    };
    return table;
}

} // namespace crawlmere::settings
