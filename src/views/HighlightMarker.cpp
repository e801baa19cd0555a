// Marks every link tag of a page whose URL is a given link, and points the page back at its
// site with a base element: the byte work of the link highlighter, without fetching or files.
#include "views/HighlightMarker.h"

#include "engine/CrwlUrl.h"
#include "parsing/TagSyntax.h"
#include "platform/Log.h"
#include "platform/Url.h"
#include "views/HtmlEntities.h"

#include <QStringDecoder>
#include <QStringList>
#include <QUrl>

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

namespace crawlmere::views {

namespace {

using parsing::TagSyntax;

/// `name` is `expected`, compared without ASCII case.
bool isName(std::string_view name, std::string_view expected)
{
    return name.size() == expected.size() && parsing::markup::startsWithName(name, expected);
}

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

/// One start tag of a page: its name, and the byte that ends it (its ">", or the "<" or end of
/// the data that cut it off).
struct StartTag {
    std::string_view name;
    size_t nameEnd = 0;
    size_t end = 0;
};

/// The next start tag at or behind `at`, read as the page scan reads tags: comments,
/// declarations, end tags and the text of scripts, styles, textareas, titles and xmp elements are
/// passed over. `at` moves behind the tag and the text it opens.
std::optional<StartTag> nextStartTag(std::string_view page, size_t& at)
{
    while (at < page.size()) {
        const size_t lt = page.find('<', at);
        if (lt == std::string_view::npos || lt + 1 >= page.size())
            break;
        const char next = page[lt + 1];
        at = lt + 1;
        if (page.substr(lt + 1, 3) == "!--") {
            at = parsing::commentEnd(page, lt + 2);
            continue;
        }
        if (TagSyntax::startsDeclaration(uint8_t(next))) {
            const size_t gt = page.find('>', lt + 2);
            at = gt == std::string_view::npos ? page.size() : gt + 1;
            continue;
        }
        if (!isAsciiLetter(next) && next != '/')
            continue; // "a < b" is text
        size_t i = lt + 1;
        const bool closing = next == '/';
        if (closing)
            for (++i; i < page.size() && parsing::isMarkupWhite(uint8_t(page[i])); ++i) {
            }
        const size_t nameStart = i;
        while (i < page.size() && !parsing::isMarkupWhite(uint8_t(page[i])) && page[i] != '/' && page[i] != '>' && page[i] != '<')
            ++i;
        const StartTag tag { page.substr(nameStart, i - nameStart), i, TagSyntax::tagEnd(page, i) };
        const bool endsAtGt = tag.end < page.size() && page[tag.end] == '>';
        at = endsAtGt ? tag.end + 1 : tag.end; // a "<" that cut the tag off is read again
        if (closing)
            continue;
        const bool selfClosing = endsAtGt && tag.end > tag.nameEnd && page[tag.end - 1] == '/';
        if (isName(tag.name, "script") && !selfClosing) {
            at = parsing::scriptTextEnd(page, at);
        } else if (isName(tag.name, "style") && !selfClosing) {
            const size_t end = parsing::styleTextEnd(page, at);
            at = end < page.size() && page[end] == '/' ? end + 1 : end;
        } else if (parsing::holdsRawText(tag.name) && endsAtGt) {
            at = parsing::rawTextEnd(page, at, tag.name);
        }
        return tag;
    }
    at = page.size();
    return std::nullopt;
}

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
    counter = 0;
}

std::optional<QString> HighlightMarker::getNextHref(bool trim)
{
    if (data.isEmpty()) {
        platform::logLine(1, QStringLiteral("getNextHref returning nil (no data)"));
        return std::nullopt;
    }
    const std::string_view page(data.data(), size_t(data.size()));
    size_t at = size_t(counter);
    while (const auto tag = nextStartTag(page, at)) {
        const bool takesHref = isName(tag->name, "a") || isName(tag->name, "area");
        if (!takesHref && !isName(tag->name, "frame") && !isName(tag->name, "iframe"))
            continue;
        std::optional<std::string_view> found;
        TagSyntax::forEachValue(page, tag->nameEnd, tag->end, [&](std::string_view name, size_t from, size_t to, bool, bool) {
            if (!found && isName(name, takesHref ? "href" : "src"))
                found = page.substr(from, std::min(to - from, parsing::kUrlLimit));
        });
        if (!found)
            continue;
        counter = qint64(at);
        styleAt = qint64(tag->nameEnd);
        QByteArray value;
        value.reserve(qsizetype(found->size()));
        for (const char byte : *found)
            if (static_cast<unsigned char>(byte) >= 32)
                value.append(byte);
        if (trim) {
            trimThisCharacter(value, '\'');
            trimThisCharacter(value, '"');
            trimThisCharacter(value, ' ');
        }
        return urlStringFromBuffer(value);
    }
    counter = qint64(page.size());
    return std::nullopt;
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
        if (matches)
            insertedAt.push_back(styleAt);
    }

    reset({});
    // Behind the first head tag, else the first html tag; with neither, at the end of the page.
    const std::string_view bytes(page.constData(), size_t(page.size()));
    qint64 elementAt = page.size();
    for (const std::string_view name : { "head", "html" }) {
        size_t at = 0;
        auto tag = nextStartTag(bytes, at);
        while (tag && !isName(tag->name, name))
            tag = nextStartTag(bytes, at);
        if (!tag)
            continue;
        if (tag->end >= bytes.size()) {
            platform::logLine(1, QStringLiteral("highlight failing because can't find next > after head"));
            return std::nullopt;
        }
        elementAt = qint64(bytes[tag->end] == '>' ? tag->end + 1 : tag->end);
        break;
    }
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
