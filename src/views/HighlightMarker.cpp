// Marks every link tag of a page whose URL is a given link, and points the page back at its
// site with a base element: the byte work of the link highlighter, without fetching or files.
#include "views/HighlightMarker.h"

#include "engine/CrwlUrl.h"
#include "platform/Log.h"
#include "platform/Url.h"
#include "views/HtmlEntities.h"

#include <QStringDecoder>
#include <QStringList>
#include <QUrl>

#include <algorithm>
#include <utility>
#include <vector>

namespace crawlmere::views {

namespace {

constexpr qsizetype kMaxValueBytes = 998;

unsigned char lower(unsigned char byte) { return byte >= 'A' && byte <= 'Z' ? byte + ('a' - 'A') : byte; }

bool isTagNameEnd(unsigned char byte) { return byte == '\t' || byte == '\n' || byte == '\r' || byte == ' ' || byte == '>'; }

bool isBlank(unsigned char byte) { return byte == '\t' || byte == '\n' || byte == '\r' || byte == ' '; }

/// Every leading and trailing copy of `c` removed.
void trimThisCharacter(QByteArray& value, char c)
{
    qsizetype start = 0;
    qsizetype end = value.size();
    while (start < end && value[start] == c)
        ++start;
    while (end > start && value[end - 1] == c)
        --end;
    value = value.mid(start, end - start);
}

/// `text` as ASCII bytes, any other character as "?".
QByteArray asciiLossy(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar c : text)
        bytes.append(c.unicode() < 128 ? char(c.unicode()) : '?');
    return bytes;
}

/// The found bytes as text: UTF-8 when they are valid UTF-8, else Latin 1; entities decoded.
QString urlStringFromBuffer(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    return HtmlEntities::unescapeEntities(text);
}

/// The page URL as a base element may hold it: a double quote, controls and non-ASCII
/// characters percent-encoded (a URL that parsed holds none of them).
QString baseHrefText(const QString& url)
{
    QString text;
    for (const QChar c : url) {
        if (c.unicode() > 32 && c.unicode() < 127 && c != u'"')
            text.append(c);
        else
            text.append(QString::fromLatin1(QUrl::toPercentEncoding(QString(c))));
    }
    return text;
}

} // namespace

QString HighlightMarker::defaultStyle()
{
    // The yellow of the system palette (1.0, 1.0, 0.0), each component times 245.
    return QStringLiteral(" style = \"background:rgb(%1,%2,%3);\"").arg(245).arg(245).arg(0);
}

bool HighlightMarker::compareIgnoringTrailingSlash(const QString& a, const QString& b)
{
    if (qAbs(a.size() - b.size()) > 1)
        return false;
    if (a.compare(b, Qt::CaseInsensitive) == 0)
        return true;
    if (a.endsWith(u'/') && QStringView(a).chopped(1).compare(b, Qt::CaseInsensitive) == 0)
        return true;
    return b.endsWith(u'/') && QStringView(b).chopped(1).compare(a, Qt::CaseInsensitive) == 0;
}

void HighlightMarker::reset(QByteArrayView page)
{
    data = page;
    l = page.size();
    counter = 0;
    aBuffer = 0;
    lastTagPassed = 0;
    insideQuotes = insideSingleQuotes = isScriptOrComment = false;
}

bool HighlightMarker::getNextByte()
{
    if (counter >= l)
        return false;
    aBuffer = static_cast<unsigned char>(data[counter]);
    ++counter;
    return true;
}

bool HighlightMarker::moveIntoNextTag()
{
    for (;;) {
        if (aBuffer == '<') {
            if (!getNextByte())
                return false;
            if (aBuffer != '!') {
                lastTagPassed = counter;
                return true;
            }
            if (!getNextByte())
                return false;
            if (aBuffer == '-') {
                // A comment: it ends at the first ">" after a "-".
                isScriptOrComment = true;
                unsigned char previous = aBuffer;
                for (;;) {
                    if (!getNextByte())
                        return false;
                    if (aBuffer == '>' && previous == '-')
                        break;
                    previous = aBuffer;
                }
                isScriptOrComment = false;
            }
        }
        if (!getNextByte())
            return false;
    }
}

bool HighlightMarker::tagNameIs(const char* name, bool needsEnd)
{
    while (aBuffer == ' ')
        if (!getNextByte())
            return false;
    for (const char* c = name; *c; ++c) {
        if (c != name && !getNextByte())
            return false;
        if (lower(aBuffer) != static_cast<unsigned char>(*c))
            return false;
    }
    return !needsEnd || (getNextByte() && isTagNameEnd(aBuffer));
}

bool HighlightMarker::isThisAnATag()
{
    if (!tagNameIs("a", false) || !getNextByte())
        return false;
    if (isBlank(aBuffer))
        return true;
    return lower(aBuffer) == 'r' && getNextByte() && lower(aBuffer) == 'e' && getNextByte() && lower(aBuffer) == 'a';
}

bool HighlightMarker::isThisEndScriptTag()
{
    while (aBuffer == ' ')
        if (!getNextByte())
            return false;
    if (aBuffer != '/' || !getNextByte())
        return false;
    return tagNameIs("script", false) && getNextByte();
}

bool HighlightMarker::moveToStartOfUrl()
{
    insideQuotes = insideSingleQuotes = false;
    unsigned char previous = aBuffer;
    bool examineCurrent = false;
    for (;;) {
        if (!examineCurrent && !getNextByte())
            return false;
        examineCurrent = false;
        const unsigned char byte = aBuffer;
        if (byte == '>')
            return false;
        const unsigned char before = std::exchange(previous, byte);
        if ((lower(byte) != 'h' && lower(byte) != 'z') || before > 32)
            continue;
        bool named = true;
        for (const char c : { 'r', 'e', 'f' }) {
            if (!getNextByte())
                return false;
            if (lower(aBuffer) != static_cast<unsigned char>(c)) {
                named = false;
                break;
            }
            previous = aBuffer;
        }
        if (!named) {
            // The byte that broke the name may be ">" or start another attribute.
            examineCurrent = true;
            continue;
        }
        if (!getNextByte())
            return false;
        if (lower(aBuffer) == 'l') {
            previous = aBuffer;
            continue;
        }
        break;
    }
    while (aBuffer == '\n' || aBuffer == '\r' || aBuffer == ' ' || aBuffer == '=')
        if (!getNextByte())
            return false;
    for (;;) {
        if (aBuffer == '"') {
            if (insideQuotes)
                return true;
            insideQuotes = true;
        } else if (aBuffer == '\'') {
            if (insideSingleQuotes)
                return true;
            insideSingleQuotes = true;
        } else {
            return true;
        }
        if (!getNextByte())
            return false;
    }
}

bool HighlightMarker::moveToStartOfSrc()
{
    insideQuotes = insideSingleQuotes = false;
    static constexpr char kSrc[] = "src";
    int matched = 0;
    while (matched < 3) {
        if (!getNextByte() || aBuffer == '>')
            return false;
        if (lower(aBuffer) == static_cast<unsigned char>(kSrc[matched]))
            ++matched;
        else
            matched = lower(aBuffer) == 's' ? 1 : 0;
    }
    do {
        if (!getNextByte() || aBuffer == '>')
            return false;
    } while (aBuffer != '=');
    do {
        if (!getNextByte() || aBuffer == '>')
            return false;
    } while (aBuffer == ' ');
    if (aBuffer == '"' || aBuffer == '\'') {
        (aBuffer == '"' ? insideQuotes : insideSingleQuotes) = true;
        return getNextByte();
    }
    return true;
}

std::optional<QString> HighlightMarker::getNextHref(bool trim)
{
    if (l == 0) {
        platform::logLine(1, QStringLiteral("getNextHref returning nil (no data)"));
        return std::nullopt;
    }
    for (;;) {
        if (counter >= l || !moveIntoNextTag())
            return std::nullopt;
        if (isThisAnATag()) {
            // Right after "a" (the blank that ended it was read) or after "area".
            styleAt = isBlank(aBuffer) ? counter - 1 : counter;
            if (moveToStartOfUrl())
                break;
        } else if (isThisAScriptTag()) {
            isScriptOrComment = true;
            do {
                if (!moveIntoNextTag())
                    return std::nullopt;
            } while (!isThisEndScriptTag());
            isScriptOrComment = false;
        } else if (isThisAFrameTag()) {
            styleAt = counter - 1;
            if (moveToStartOfSrc())
                break;
        }
    }
    QByteArray value;
    for (;;) {
        const unsigned char byte = aBuffer;
        const bool closes = insideSingleQuotes ? byte == '\'' : insideQuotes ? byte == '"' : byte == ' ';
        if (closes || byte == '>' || value.size() >= kMaxValueBytes)
            break;
        if (byte >= 32)
            value.append(char(byte));
        if (!getNextByte())
            break;
    }
    while (aBuffer != '>' && getNextByte()) {
    }
    if (trim) {
        trimThisCharacter(value, '\'');
        trimThisCharacter(value, '"');
        trimThisCharacter(value, ' ');
    }
    return urlStringFromBuffer(value);
}

QStringList HighlightMarker::foundUrls(const QByteArray& page, bool trim)
{
    reset(page);
    QStringList urls;
    while (const auto url = getNextHref(trim))
        urls.append(*url);
    reset({});
    return urls;
}

std::optional<QByteArray> HighlightMarker::mark(const QByteArray& page, const Request& request)
{
    platform::logLine(1,
        QStringLiteral("highlighting badLink: %1 style: %2 basehref: %3").arg(request.linkUrl, request.style, request.pageUrl));
    QString baseForm = request.pageUrl;
    if (!platform::Url::fromString(baseForm))
        baseForm = QString::fromLatin1(QUrl::toPercentEncoding(request.pageUrl, "!$&'()*+,;=:@/"));
    reset(page);
    const QByteArray style = asciiLossy(request.style);
    // Where each style text goes, in the page as fetched.
    std::vector<qint64> insertedAt;
    while (const auto found = getNextHref(request.trim)) {
        // Resolved as the crawl resolved links: the encoded forms are tried when the plain fail.
        const auto resolved = CrwlUrl::makeNSURLFromString(*found, baseForm);
        if (!resolved) {
            platform::logLine(1, QStringLiteral("unable to make url from: %1 relative to %2").arg(*found, baseForm));
            continue;
        }
        const QString candidate = request.storedForm ? request.storedForm(resolved->absoluteString()) : resolved->absoluteString();
        const bool matches = request.ignoringQS ? request.linkUrl.contains(candidate)
                                                : compareIgnoringTrailingSlash(candidate, request.linkUrl);
        if (!matches)
            continue;
        counter = lastTagPassed;
        insertedAt.push_back(styleAt);
    }

    reset(page);
    bool tagFound = false;
    while (!tagFound && moveIntoNextTag())
        tagFound = isThisAHeadTag();
    if (!tagFound) {
        reset(page);
        while (!tagFound && moveIntoNextTag())
            tagFound = isThisAHtmlTag();
    }
    // With neither tag the scan has reached the end of the page, where the element goes.
    while (tagFound && aBuffer != '>') {
        if (!getNextByte()) {
            platform::logLine(1, QStringLiteral("highlight failing because can't find next > after head"));
            reset({});
            return std::nullopt;
        }
    }
    const qint64 elementAt = counter;
    reset({});
    const QByteArray element = "\n<base href = \"" + asciiLossy(baseHrefText(baseForm)) + "\">\n";

    // The copy is made once, at its final size: the page's runs with the style texts between
    // them, the base element after those that go at or before its place.
    std::stable_sort(insertedAt.begin(), insertedAt.end());
    QByteArray marked;
    marked.reserve(page.size() + style.size() * qsizetype(insertedAt.size()) + element.size());
    qint64 from = 0;
    bool elementPlaced = false;
    const auto copyUpTo = [&](qint64 at) {
        marked.append(page.constData() + from, qsizetype(at - from));
        from = at;
    };
    for (const qint64 at : insertedAt) {
        if (!elementPlaced && at > elementAt) {
            copyUpTo(elementAt);
            marked.append(element);
            elementPlaced = true;
        }
        copyUpTo(at);
        marked.append(style);
    }
    if (!elementPlaced) {
        copyUpTo(elementAt);
        marked.append(element);
    }
    copyUpTo(page.size());
    return marked;
}

} // namespace crawlmere::views
