// Opens warning inspector windows for the warnings table and keeps them alive.
#include "views/WarningInspectorWindows.h"

#include "engine/CrawlSettingKeys.h"
#include "engine/CrawlSettingTable.h"
#include "platform/UserDefaults.h"
#include "reports/WarningsManager.h"
#include "views/CrwlWarningInspectorWindowController.h"

namespace crawlmere::views {

WarningInspectorWindows::WarningInspectorWindows(reports::WarningsManager& warnings,
    platform::UserDefaults& userDefaults, std::shared_ptr<platform::UrlOpener> opener)
    : manager(warnings)
    , defaults(userDefaults)
    , urlOpener(std::move(opener))
{
}

void WarningInspectorWindows::openWarningInspector(std::shared_ptr<reports::WarningRecord> warning)
{
    auto window = std::make_shared<CrwlWarningInspectorWindowController>(urlOpener);
    window->setWarning(std::move(warning));
    manager.addToRetainArray(window);
    window->show();
    window->raise();
    window->activateWindow();
    window->windowDidLoad(
        engine::effectiveSettingValue(crawlKey::userAgentString, defaults.objectForKey(crawlKey::userAgentString))
            .toString());
}

} // namespace crawlmere::views
