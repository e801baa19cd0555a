// Fragment and query trimming, the trailing-slash rule and session-id removal for lookup keys.
#include "engine/detail/LookupKeys.h"

namespace crawlmere::engine::detail {

QString forceTrimHash(const QString& url)
{
    qsizetype hash = url.indexOf(u'#');
    if (hash < 0)
        return url;
    if (hash + 1 < url.size() && (url[hash + 1] == u'!' || url[hash + 1] == u'/'))
        return url;
    if (hash == 0)
        return QStringLiteral("");
    while (hash > 0 && url[hash - 1] == u'&') {
        hash = url.indexOf(u'#', hash + 1);
        if (hash < 0)
            return url;
    }
    return url.left(hash);
}

QString trimHashQuery(const QString& url, bool shouldTrimHash, bool trimQuery, bool isInternal)
{
    if (url.size() < 2 || url.contains(u"#!"))
        return url;
    if (!shouldTrimHash)
        return url;
    QString result = url.contains(u'#') ? forceTrimHash(url) : url;
    if (trimQuery && isInternal) {
        const qsizetype query = result.indexOf(u'?');
        if (query >= 0)
            result.truncate(query);
    }
    return result;
}

QString prepareUrlForLookup(const QString& url, bool shouldIgnoreSlash)
{
    if (!url.isEmpty() && shouldIgnoreSlash && url.endsWith(u'/'))
        return url.left(url.size() - 1);
    return url;
}

QString removeSessionId(const QString& name, const QString& url)
{
    if (name.isEmpty())
        return url;
    qsizetype cutStart = url.indexOf(u'?' + name);
    if (cutStart >= 0) {
        cutStart += 1;
    } else {
        cutStart = url.indexOf(u'&' + name);
        if (cutStart < 0)
            return url;
    }
    const qsizetype cutEnd = url.indexOf(u'&', cutStart + 1);
    if (cutEnd >= 0)
        return url.left(cutStart) + url.mid(cutEnd);
    QString head = url.left(cutStart);
    qsizetype begin = 0;
    qsizetype end = head.size();
    while (begin < end && (head[begin] == u'&' || head[begin] == u'?'))
        ++begin;
    while (end > begin && (head[end - 1] == u'&' || head[end - 1] == u'?'))
        --end;
    return head.mid(begin, end - begin);
}

} // namespace crawlmere::engine::detail
