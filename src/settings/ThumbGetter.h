// One request for a site's thumbnail, as the site store sees it: a page loaded off screen whose
// snapshot is written to a file.
#pragma once

#include <QString>

namespace crawlmere::settings {

/// A thumbnail request made by a `ThumbGetterFactory`. It delivers at most once: when the
/// snapshot has been written (or writing it failed) it calls its owner back, on the main
/// thread, and never again; a page that never finishes loading delivers nothing. The owner
/// keeps the getter; destroying it cancels any load in progress without a callback.
class ThumbGetter {
public:
    virtual ~ThumbGetter();

    /// Starts loading. Call once.
    virtual void getImage() = 0;
    /// The URL the getter was given, after its normalisation (what the owner matches rows by).
    virtual QString getPassedUrl() const = 0;
    /// Stops the page's loading; nothing is delivered for a stopped load.
    virtual void stopLoading() = 0;
    /// True once the getter has delivered or given up; it then holds no page.
    virtual bool isFinished() const = 0;
};

} // namespace crawlmere::settings
