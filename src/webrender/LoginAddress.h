// The address a login window loads for what the user typed: a scheme added where missing,
// local paths as file URLs.
#pragma once

#include <QString>
#include <QUrl>

namespace crawlmere::webrender {

/// The two login windows; they differ in their request time-out and their JavaScript switch.
enum class LoginWindowKind {
    Current, ///< 60-second time-out
    Legacy, ///< 30-second time-out; its JavaScript switch resets the page's settings first
};

class LoginAddress {
public:
    /// The text to load, first rule that applies: under 7 characters "http://" in front; with
    /// "://" as it is; under 9 characters "http://" in front; a local path (`Paths::isLocalPath`,
    /// "~/" expanded) "file://" and the path with its XML entities decoded and every space as
    /// "%20"; otherwise "http://" in front. Both kinds of window use the same rules.
    static QString normalised(const QString& typed, LoginWindowKind kind);
    /// The URL of `normalised`, made from its encoded form when the plain text gives none;
    /// an invalid URL when neither does.
    static QUrl url(const QString& typed, LoginWindowKind kind);
    /// The request time-out of the window, in seconds.
    static int timeoutSeconds(LoginWindowKind kind);
};

} // namespace crawlmere::webrender
