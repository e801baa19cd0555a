// The browser profile of the login windows and its cookie mirror.
#include "webrender/LoginProfile.h"

#include "platform/Paths.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QPointer>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>

using crawlmere::platform::CookieStore;
using crawlmere::platform::HttpCookie;
using crawlmere::platform::Paths;

namespace crawlmere::webrender {

HttpCookie LoginProfile::storeCookie(const QNetworkCookie& cookie, const QUrl& origin)
{
    HttpCookie copy;
    copy.domain = cookie.domain();
    if (copy.domain.startsWith(u'.')) {
        copy.includeSubdomains = true;
        copy.domain.remove(0, 1);
    } else if (copy.domain.isEmpty()) {
        copy.domain = origin.host();
    }
    copy.path = cookie.path().isEmpty() ? QStringLiteral("/") : cookie.path();
    copy.secure = cookie.isSecure();
    copy.httpOnly = cookie.isHttpOnly();
    copy.expires = cookie.isSessionCookie() ? 0 : cookie.expirationDate().toSecsSinceEpoch();
    copy.name = QString::fromUtf8(cookie.name());
    copy.value = QString::fromUtf8(cookie.value());
    return copy;
}

QWebEngineProfile* LoginProfile::profile()
{
    static QPointer<QWebEngineProfile> login;
    if (login)
        return login;
    const QString folder = Paths::applicationSupportSubfolder(QStringLiteral("webengine"));
    login = new QWebEngineProfile(QStringLiteral("login"), QCoreApplication::instance());
    if (!folder.isEmpty()) {
        login->setPersistentStoragePath(folder + QStringLiteral("/storage"));
        login->setCachePath(folder + QStringLiteral("/cache"));
    }
    // Nothing cached outlives the run. (Switching the cache off on a stored profile can stall
    // its first load; the window's requests ask the server again instead.)
    login->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    QWebEngineCookieStore* cookies = login->cookieStore();
    QObject::connect(cookies, &QWebEngineCookieStore::cookieAdded, login.data(), [](const QNetworkCookie& cookie) {
        CookieStore::setCookie(storeCookie(cookie));
    });
    QObject::connect(cookies, &QWebEngineCookieStore::cookieRemoved, login.data(), [](const QNetworkCookie& cookie) {
        CookieStore::deleteCookie(storeCookie(cookie));
    });
    // Cookies kept from an earlier run reach the store too.
    cookies->loadAllCookies();
    return login;
}

} // namespace crawlmere::webrender
