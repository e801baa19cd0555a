#include "platform/CookieStore.h"

#include "platform/Paths.h"
#include "platform/detail/CookieJar.h"
#include "platform/detail/NetworkEngine.h"

namespace crawlmere::platform {

namespace {

    QByteArray field(const QString& text)
    {
        QByteArray bytes = text.toUtf8();
        bytes.replace('\t', ' ');
        bytes.replace('\n', ' ');
        bytes.replace('\r', ' ');
        return bytes;
    }

    QByteArray cookieFileLine(const HttpCookie& cookie)
    {
        QByteArray domain = field(cookie.domain);
        if (cookie.includeSubdomains && !domain.startsWith('.'))
            domain.prepend('.');
        QByteArray line;
        if (cookie.httpOnly)
            line += "#HttpOnly_";
        line += domain + '\t' + (cookie.includeSubdomains ? "TRUE" : "FALSE") + '\t'
            + field(cookie.path.isEmpty() ? QStringLiteral("/") : cookie.path) + '\t' + (cookie.secure ? "TRUE" : "FALSE")
            + '\t' + QByteArray::number(cookie.expires) + '\t' + field(cookie.name) + '\t' + field(cookie.value);
        return line;
    }

    std::optional<HttpCookie> parseLine(QByteArray line)
    {
        HttpCookie cookie;
        if (line.startsWith("#HttpOnly_")) {
            cookie.httpOnly = true;
            line.remove(0, 10);
        }
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != 7)
            return std::nullopt;
        cookie.domain = QString::fromUtf8(fields[0]);
        if (cookie.domain.startsWith(QLatin1Char('.')))
            cookie.domain.remove(0, 1);
        cookie.includeSubdomains = fields[1] == "TRUE";
        cookie.path = QString::fromUtf8(fields[2]);
        cookie.secure = fields[3] == "TRUE";
        cookie.expires = fields[4].toLongLong();
        cookie.name = QString::fromUtf8(fields[5]);
        cookie.value = QString::fromUtf8(fields[6]);
        return cookie;
    }

} // namespace

QString CookieStore::storePath() { return Paths::applicationSupportFolder() + QStringLiteral("/cookies.txt"); }

QList<HttpCookie> CookieStore::allCookies()
{
    QList<HttpCookie> cookies;
    detail::NetworkEngine::instance()->withCookies([&](detail::CookieJar& jar) {
        for (const QByteArray& line : jar.lines()) {
            if (std::optional<HttpCookie> cookie = parseLine(line))
                cookies.append(*cookie);
        }
        return false;
    });
    return cookies;
}

void CookieStore::setCookie(const HttpCookie& cookie)
{
    if (cookie.domain.isEmpty() || cookie.name.isEmpty())
        return;
    const QByteArray line = cookieFileLine(cookie);
    detail::NetworkEngine::instance()->withCookies([&](detail::CookieJar& jar) {
        jar.addLine(line, detail::CookieJar::Placer::LoginWindow);
        return true;
    });
}

void CookieStore::deleteCookie(const HttpCookie& cookie)
{
    const auto sameCookie = [&](const HttpCookie& held) {
        return held.domain.compare(cookie.domain, Qt::CaseInsensitive) == 0
            && held.includeSubdomains == cookie.includeSubdomains && held.name == cookie.name
            && (held.path.isEmpty() ? QStringLiteral("/") : held.path)
            == (cookie.path.isEmpty() ? QStringLiteral("/") : cookie.path);
    };
    detail::NetworkEngine::instance()->withCookies([&](detail::CookieJar& jar) {
        // The jar removes no single cookie: it is filled again without it.
        const QList<QByteArray> lines = jar.lines();
        bool found = false;
        QList<QByteArray> kept;
        for (const QByteArray& line : lines) {
            const std::optional<HttpCookie> held = parseLine(line);
            if (held && sameCookie(*held))
                found = true;
            else
                kept.append(line);
        }
        if (!found)
            return false;
        jar.replaceAll(kept);
        return true;
    });
}

void CookieStore::deleteAllCookies()
{
    detail::NetworkEngine::instance()->withCookies([](detail::CookieJar& jar) {
        jar.clear();
        return true;
    });
}

bool CookieStore::save()
{
    bool saved = false;
    const QString path = storePath();
    detail::NetworkEngine::instance()->withCookies([&](detail::CookieJar& jar) {
        saved = jar.save(path);
        return false;
    });
    return saved;
}

bool CookieStore::reload()
{
    bool loaded = false;
    const QString path = storePath();
    detail::NetworkEngine::instance()->withCookies([&](detail::CookieJar& jar) {
        jar.clear();
        loaded = jar.load(path);
        return false;
    });
    return loaded;
}

} // namespace crawlmere::platform
