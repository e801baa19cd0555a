// The browser profile of the login windows: kept on disk between runs, its cookies mirrored
// into the shared cookie store so that direct requests and rendered pages carry the login.
#pragma once

#include "platform/CookieStore.h"

#include <QNetworkCookie>
#include <QUrl>

class QWebEngineProfile;

namespace crawlmere::webrender {

class LoginProfile {
public:
    /// The one login profile, made on first use under "webengine" in the application-support
    /// folder, lives until the application object goes. Every cookie it holds, now or later,
    /// is set in `CookieStore`; every cookie it drops is deleted there. Nothing else clears
    /// it. Needs a GUI application. Main thread only.
    static QWebEngineProfile* profile();

    /// The store's form of a browser cookie: a domain with a leading "." covers subdomains; a
    /// cookie without a domain takes the host of `origin`.
    static platform::HttpCookie storeCookie(const QNetworkCookie& cookie, const QUrl& origin = QUrl());
};

} // namespace crawlmere::webrender
