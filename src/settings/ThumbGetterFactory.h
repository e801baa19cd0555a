// What makes thumbnail getters for the site store; the browser-engine library provides it.
#pragma once

#include <QString>

#include <functional>
#include <memory>

namespace crawlmere::settings {

class ThumbGetter;

/// Makes `ThumbGetter`s. The site store holds one factory, installed by the windowed program;
/// without one no thumbnail is ever fetched. Main thread only.
class ThumbGetterFactory {
public:
    /// Called once with the getter when its snapshot has been written (or writing it failed).
    using Callback = std::function<void(ThumbGetter& getter)>;

    virtual ~ThumbGetterFactory();

    /// A getter for `url` (a starting URL as stored) that writes its snapshot to `location`
    /// and then calls `owner`. Nothing is loaded before `getImage`.
    virtual std::unique_ptr<ThumbGetter> makeGetter(const QString& url, const QString& location, Callback owner) = 0;
};

} // namespace crawlmere::settings
