// Fragment and query trimming, the trailing-slash rule and session-id removal for lookup keys.
#include "engine/LookupKeys.h"

#include <optional>
#include <utility>

namespace crawlmere::engine {

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

QString withLowerCaseSchemeAndHost(const QString& url)
{
    // The scheme: a letter, then letters, digits, "+", "-", "." up to ":".
    qsizetype at = 0;
    const qsizetype size = url.size();
    while (at < size) {
        const QChar c = url[at];
        if (c == u':')
            break;
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != u'+' && c != u'-' && c != u'.')
            return url;
        ++at;
    }
    if (at == 0 || at >= size || !url[0].isLetter())
        return url;
    const qsizetype schemeEnd = at;
    qsizetype hostStart = -1;
    qsizetype hostEnd = -1;
    if (at + 2 < size && url[at + 1] == u'/' && url[at + 2] == u'/') {
        const qsizetype authorityStart = at + 3;
        qsizetype authorityEnd = authorityStart;
        while (authorityEnd < size && url[authorityEnd] != u'/' && url[authorityEnd] != u'?'
            && url[authorityEnd] != u'#')
            ++authorityEnd;
        // The user part ends at the last "@"; the port starts at a ":" after the host (an
        // IPv6 host keeps its own ":" inside brackets).
        hostStart = authorityStart;
        for (qsizetype i = authorityStart; i < authorityEnd; ++i) {
            if (url[i] == u'@')
                hostStart = i + 1;
        }
        hostEnd = hostStart;
        bool bracket = false;
        while (hostEnd < authorityEnd && (bracket || url[hostEnd] != u':')) {
            if (url[hostEnd] == u'[')
                bracket = true;
            else if (url[hostEnd] == u']')
                bracket = false;
            ++hostEnd;
        }
    }
    const auto hasUpper = [&](qsizetype from, qsizetype to) {
        for (qsizetype i = from; i < to; ++i) {
            if (url[i].isUpper())
                return true;
        }
        return false;
    };
    if (!hasUpper(0, schemeEnd) && (hostStart < 0 || !hasUpper(hostStart, hostEnd)))
        return url;
    QString folded = url;
    for (qsizetype i = 0; i < schemeEnd; ++i)
        folded[i] = folded[i].toLower();
    if (hostStart >= 0)
        folded.replace(hostStart, hostEnd - hostStart, url.mid(hostStart, hostEnd - hostStart).toLower());
    return folded;
}

QString withStoredSpelling(const QString& url)
{
    QString spelt = withLowerCaseSchemeAndHost(url);
    const qsizetype separator = spelt.indexOf(u"://");
    if (separator <= 0)
        return spelt;
    const QStringView scheme = QStringView(spelt).left(separator);
    if (scheme != u"http" && scheme != u"https" && scheme != u"ftp")
        return spelt;
    // Read through a view: indexing the string itself would copy it (a record keeps the answer
    // as its URL or key for the whole scan, and it should share the text it was given).
    const QStringView read(spelt);
    const qsizetype authorityStart = separator + 3;
    qsizetype authorityEnd = authorityStart;
    while (authorityEnd < read.size() && read[authorityEnd] != u'/' && read[authorityEnd] != u'?'
        && read[authorityEnd] != u'#')
        ++authorityEnd;
    // No host: nothing to root a path at.
    if (authorityEnd == authorityStart || (authorityEnd < read.size() && read[authorityEnd] == u'/'))
        return spelt;
    spelt.insert(authorityEnd, u'/');
    return spelt;
}

namespace {

/// Where the authority of `url` starts and ends (the "//" after a scheme); nullopt without one.
std::optional<std::pair<qsizetype, qsizetype>> authorityOf(QStringView url)
{
    const qsizetype separator = url.indexOf(u"://");
    if (separator <= 0)
        return std::nullopt;
    for (const QChar c : url.left(separator)) {
        if (c == u'/' || c == u'?' || c == u'#')
            return std::nullopt;
    }
    const qsizetype start = separator + 3;
    qsizetype end = start;
    while (end < url.size() && url[end] != u'/' && url[end] != u'?' && url[end] != u'#')
        ++end;
    return std::make_pair(start, end);
}

} // namespace

QString withoutUserInfo(const QString& url)
{
    if (!url.contains(u'@'))
        return url;
    const auto authority = authorityOf(url);
    if (!authority)
        return url;
    const qsizetype at = QStringView(url).left(authority->second).lastIndexOf(u'@');
    if (at < authority->first)
        return url;
    return QString(url).remove(authority->first, at + 1 - authority->first);
}

QString prepareUrlForLookup(const QString& url, bool shouldIgnoreSlash)
{
    QString spelt = withStoredSpelling(url);
    if (spelt.contains(u'@') && (spelt.startsWith(u"http://") || spelt.startsWith(u"https://")))
        spelt = withoutUserInfo(spelt);
    if (!spelt.isEmpty() && shouldIgnoreSlash && spelt.endsWith(u'/'))
        return spelt.left(spelt.size() - 1);
    return spelt;
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

} // namespace crawlmere::engine
