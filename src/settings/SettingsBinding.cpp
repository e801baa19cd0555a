// The order of the settings pane; each control's kind comes from the crawl-settings table.
#include "settings/SettingsBinding.h"

#include "engine/CrawlSettingTable.h"

#include <optional>

namespace crawlmere::settings {

namespace {

BindingKind kindOf(engine::SettingControl control)
{
    using C = engine::SettingControl;
    switch (control) {
    case C::StartingUrl:
        return BindingKind::StartingUrl;
    case C::Check:
        return BindingKind::Check;
    case C::InvertedCheck:
        return BindingKind::InvertedCheck;
    case C::Text:
        return BindingKind::Text;
    case C::Limit:
        return BindingKind::Limit;
    case C::RequestRate:
        return BindingKind::NonZeroInteger;
    case C::Seconds:
        return BindingKind::Seconds;
    case C::Threads:
        return BindingKind::Threads;
    case C::Language:
        return BindingKind::Language;
    case C::None:
        break;
    }
    Q_ASSERT_X(false, "settingsBindingTable", "a key of the pane without a control in the table");
    return BindingKind::Status;
}

} // namespace

const QList<BindingRow>& settingsBindingTable()
{
    static const QList<BindingRow> table = [] {
        namespace key = engine::key;
        // Null stands for the site's status line, which is no crawl setting.
        const std::optional<engine::CrawlSettingKey> order[] = { key::startingUrl, key::singlePage, key::checkImages,
            key::linkedFiles, key::searchMetaDataForURLs, key::lookForLazyLoadImageURLs, key::loadImages,
            key::internalOnly, key::userAgentString, key::customHeaderAcceptLanguage, key::blacklistByRobotsTxt,
            key::dontFollowNofollowLinks, key::followSubdomains, key::crawlUpwards, key::tolerateUpADirectory,
            key::linksLimit, key::levelsLimit, key::occurrencesLimit, key::limitOccurrences, key::trimQuery,
            key::shouldTrimHash, key::wordpressUrls, key::shouldIgnoreSlash, key::numberOfThreads, key::timeout,
            key::maxRPM, key::limitRPM, key::language, key::checkSpelling, key::runJS, key::hashIsBad,
            key::shouldArchive, key::shouldParsePDFs, key::shouldParseDOCXs, std::nullopt, key::ignoreSessid,
            key::sessidParam, key::ignoreScheme, key::httpIsExternal };
        QList<BindingRow> rows;
        for (const auto& key : order) {
            if (key)
                rows.append({ QString(*key), kindOf(engine::crawlSetting(*key).pane.control) });
            else
                rows.append({ QStringLiteral("status"), BindingKind::Status });
        }
        return rows;
    }();
    return table;
}

} // namespace crawlmere::settings
