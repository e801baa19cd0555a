#include "platform/UrlRequest.h"

namespace crawlmere::platform {

bool UrlRequest::isRedirectStatus(int statusCode)
{
    return statusCode == 301 || statusCode == 302 || statusCode == 303 || statusCode == 307 || statusCode == 308;
}

UrlRequest UrlRequest::redirected(int statusCode, const QString& newUrl) const
{
    UrlRequest next = *this;
    next.url = newUrl;
    const bool isPost = httpMethod.compare("POST", Qt::CaseInsensitive) == 0;
    const bool isHead = httpMethod.compare("HEAD", Qt::CaseInsensitive) == 0;
    const bool becomesGet = ((statusCode == 301 || statusCode == 302) && isPost) || (statusCode == 303 && !isHead);
    if (becomesGet) {
        next.httpMethod = "GET";
        next.httpBody.clear();
        for (const char* name : { "Content-Type", "Content-Length", "Content-Encoding", "Content-Language",
                 "Content-Location" })
            next.headers.remove(name);
    }
    return next;
}

QString UrlRequest::scheme() const
{
    const qsizetype colon = url.indexOf(QLatin1Char(':'));
    if (colon <= 0)
        return {};
    for (qsizetype i = 0; i < colon; ++i) {
        const QChar c = url[i];
        const bool ok = (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            || (i > 0
                && ((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('+')
                    || c == QLatin1Char('-') || c == QLatin1Char('.')));
        if (!ok)
            return {};
    }
    return url.left(colon).toLower();
}

} // namespace crawlmere::platform
