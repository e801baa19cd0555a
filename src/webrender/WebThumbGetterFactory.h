// The site store's maker of thumbnail getters on the browser engine.
#pragma once

#include "settings/ThumbGetterFactory.h"

namespace crawlmere::webrender {

/// Makes `WebThumbGetter`s; answers null (logged) when the application is not a GUI
/// application. Install it in the site store at launch, after `installPageRenderer`.
class WebThumbGetterFactory final : public settings::ThumbGetterFactory {
public:
    std::unique_ptr<settings::ThumbGetter> makeGetter(
        const QString& url, const QString& location, Callback owner) override;
};

} // namespace crawlmere::webrender
