// Deleting one cookie from the shared store leaves every other one as it was.
#include "platform/CookieStore.h"

#include <gtest/gtest.h>

using crawlmere::platform::CookieStore;
using crawlmere::platform::HttpCookie;

namespace {

HttpCookie cookie(const QString& domain, bool subdomains, const QString& path, const QString& name)
{
    HttpCookie made;
    made.domain = domain;
    made.includeSubdomains = subdomains;
    made.path = path;
    made.name = name;
    made.value = QStringLiteral("v-") + name;
    made.expires = 4102444800; // 2100
    return made;
}

QStringList held()
{
    QStringList keys;
    for (const HttpCookie& c : CookieStore::allCookies())
        keys.append(QStringLiteral("%1|%2|%3|%4").arg(c.domain, c.includeSubdomains ? u"sub" : u"host", c.path, c.name));
    keys.sort();
    return keys;
}

} // namespace

TEST(CookieStoreTest, DeletingOneCookieKeepsItsNeighbours)
{
    CookieStore::deleteAllCookies();
    const HttpCookie doomed = cookie(QStringLiteral("a.example"), false, QStringLiteral("/"), QStringLiteral("session"));
    // Same name under another path, as a domain cookie, and on another host: all different cookies.
    for (const HttpCookie& c : { doomed, cookie(QStringLiteral("a.example"), false, QStringLiteral("/app"), QStringLiteral("session")),
             cookie(QStringLiteral("a.example"), true, QStringLiteral("/"), QStringLiteral("session")),
             cookie(QStringLiteral("b.example"), false, QStringLiteral("/"), QStringLiteral("session")) })
        CookieStore::setCookie(c);
    ASSERT_EQ(held().size(), 4);

    CookieStore::deleteCookie(doomed);
    EXPECT_EQ(held(),
        (QStringList { QStringLiteral("a.example|host|/app|session"), QStringLiteral("a.example|sub|/|session"),
            QStringLiteral("b.example|host|/|session") }));
    CookieStore::deleteCookie(doomed); // gone already: nothing changes
    EXPECT_EQ(held().size(), 3);
    CookieStore::deleteAllCookies();
}
