// Opening an address or a file in the user's own application (the browser, a viewer), behind an
// interface so that code which opens things can be tested without launching anything.
#pragma once

#include <QUrl>

namespace crawlmere::platform {

/// Opens URLs outside the program. Main thread only.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    /// Hands `url` (http(s), mailto or a file URL) to the application the user has for it.
    /// Returns false when nothing could be asked to open it (an invalid URL, no handler); the
    /// outcome of the opening itself is not known.
    virtual bool openURL(const QUrl& url) = 0;
};

} // namespace crawlmere::platform
