// Opens warning inspector windows for the warnings table and keeps them alive.
#pragma once

#include "reports/WarningInspectorOpener.h"

#include <memory>

namespace crawlmere::platform {
class UrlOpener;
class UserDefaults;
} // namespace crawlmere::platform

namespace crawlmere::reports {
class WarningsManager;
}

namespace crawlmere::views {

/// Each call opens a new `CrwlWarningInspectorWindowController` on the record, keeps it in the
/// warnings manager's retain array, shows it and loads it (the fetch sends the `userAgentString`
/// default). The windows are top-level windows owned by the retain array alone. `manager` and
/// `defaults` must outlive this object. Main thread only.
class WarningInspectorWindows final : public reports::WarningInspectorOpener {
public:
    WarningInspectorWindows(reports::WarningsManager& manager, platform::UserDefaults& defaults,
        std::shared_ptr<platform::UrlOpener> opener);

    void openWarningInspector(std::shared_ptr<reports::WarningRecord> warning) override;

private:
    reports::WarningsManager& manager;
    platform::UserDefaults& defaults;
    std::shared_ptr<platform::UrlOpener> urlOpener;
};

} // namespace crawlmere::views
