// Opens addresses and files in the user's own applications through the desktop's handlers.
#pragma once

#include "platform/UrlOpener.h"

namespace crawlmere::app {

/// `QDesktopServices::openUrl`: on Linux desktops this goes through `xdg-open` (or a handler
/// the program registered for the URL's scheme). Needs a QGuiApplication. Main thread only.
class DesktopUrlOpener final : public platform::UrlOpener {
public:
    /// False for an invalid or empty URL (nothing is launched) and when no handler took it.
    bool openURL(const QUrl& url) override;
};

} // namespace crawlmere::app
