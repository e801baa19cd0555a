// Whether an address names a page itself, compared as URLs rather than as text.
#pragma once

#include "platform/Url.h"

#include <QString>

#include <initializer_list>

namespace crawlmere::engine::detail {

/// `url` as a key under which every spelling of one page is equal: the fragment dropped, the
/// scheme and host in lower case, the scheme's default port (http 80, https 443, ftp 21) left
/// out and an empty path read as "/" where there is a host. Everything else stays as written.
inline QString samePageKey(const crawlmere::platform::Url& url)
{
    const QString scheme = url.scheme().toLower();
    if (!url.hasAuthority())
        return scheme + u':' + url.withoutFragment().resourceSpecifier();
    QString key = scheme + QStringLiteral("://");
    if (!url.user().isNull()) {
        key += url.user();
        if (!url.password().isNull())
            key += u':' + url.password();
        key += u'@';
    }
    key += url.hostWithBrackets().toLower();
    const int defaultPort = scheme == u"http" ? 80 : scheme == u"https" ? 443 : scheme == u"ftp" ? 21 : -1;
    if (const auto port = url.port(); port && *port != defaultPort)
        key += u':' + QString::number(*port);
    const QString path = url.path();
    key += path.isEmpty() ? QStringLiteral("/") : path;
    if (url.hasQuery())
        key += u'?' + url.query();
    return key;
}

/// True when `target` names the same page as one of `page` (addresses of one record); an
/// address that is not a URL is compared as text.
inline bool namesSamePage(const crawlmere::platform::Url& target, std::initializer_list<QString> page)
{
    const QString key = samePageKey(target);
    for (const QString& address : page) {
        if (address == target.absoluteString())
            return true;
        if (const auto url = crawlmere::platform::Url::fromString(address); url && samePageKey(*url) == key)
            return true;
    }
    return false;
}

} // namespace crawlmere::engine::detail
