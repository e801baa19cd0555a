// The application's one cookie store, shared by every URL session that handles cookies and
// kept between runs in the application-support folder.
#pragma once

#include <QList>
#include <QString>

namespace crawlmere::platform {

/// One cookie as the store keeps it.
struct HttpCookie {
    /// The host, or the domain when `includeSubdomains` is set.
    QString domain;
    bool includeSubdomains = false;
    QString path = QStringLiteral("/");
    bool secure = false;
    /// Seconds since 1970; 0 for a session cookie, which is not written to the file.
    qint64 expires = 0;
    QString name;
    QString value;
    bool httpOnly = false;
};

/// The shared store. Every call may run on any thread except the network thread's callbacks;
/// it waits briefly for the network thread, which owns the store.
class CookieStore {
public:
    /// The file the store is kept in: "cookies.txt" in the application-support folder.
    static QString storePath();

    static QList<HttpCookie> allCookies();
    /// Adds or replaces a cookie (same domain, path and name) as a login window places it:
    /// cookies the crawled sites set never push it out of the store.
    static void setCookie(const HttpCookie& cookie);
    /// Removes the cookie of the same domain (and subdomain switch), path and name, if held.
    static void deleteCookie(const HttpCookie& cookie);
    static void deleteAllCookies();
    /// Writes the cookies with an expiry to `storePath()` now (atomically). The store also
    /// writes itself shortly after a response sets cookies, and at shutdown. It keeps at most
    /// 180 cookies a host and a few thousand in all (the least recently used go first), so
    /// that the file always reads back. A file that was there but could not be read (too large, no
    /// access) is never replaced: false, nothing written.
    static bool save();
    /// Forgets every cookie in memory and reads `storePath()` again, as a new run would.
    static bool reload();
};

} // namespace crawlmere::platform
