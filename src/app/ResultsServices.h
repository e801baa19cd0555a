// What the result tabs' helpers are made with: the window, the hub, the site store, the defaults
// and the shell services the main interface hands to the results controller.
#pragma once

#include <memory>

class ShellPrompts;
class Z12Ara;

namespace crawlmere::platform {
class SavePanel;
class UrlOpener;
class UserDefaults;
} // namespace crawlmere::platform

namespace crawlmere::settings {
class ConfigManager;
}

namespace crawlmere::app {

class MainWindow;

/// Every member must outlive the helpers made with it; the prompts, the URL opener and the save
/// panel may be null.
struct ResultsServices {
    MainWindow& window;
    std::shared_ptr<Z12Ara> hub;
    settings::ConfigManager& configManager;
    std::shared_ptr<ShellPrompts> prompts;
    std::shared_ptr<platform::UrlOpener> urlOpener;
    std::shared_ptr<platform::SavePanel> savePanel;
    platform::UserDefaults& defaults;
};

} // namespace crawlmere::app
