// Style-sheet link extraction: url() values and @import strings, with CSS quoting and escapes.
#include "parsing/CrwlCSSParser.h"

#include "parsing/detail/DocumentText.h"
#include "parsing/detail/ParserDefaults.h"
#include "platform/Strings.h"

#include <optional>
#include <type_traits>

namespace detail = crawlmere::parsing::detail;
using crawlmere::platform::strings::trimmingQuotesAndSpaces;
namespace Encoding = crawlmere::platform::Encoding;

namespace {

bool isCssWhitespace(QChar c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f'; }
bool isNewline(QChar c) { return c == u'\n' || c == u'\r' || c == u'\f'; }

int hexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

qsizetype skipWhitespace(QStringView text, qsizetype at)
{
    while (at < text.size() && isCssWhitespace(text.at(at)))
        ++at;
    return at;
}

// Decodes the escape whose backslash is at `at` into `out`; answers the position behind it. A
// backslash before a line break continues the line; one at the very end stands for itself.
qsizetype decodeEscape(QStringView text, qsizetype at, QString& out)
{
    qsizetype next = at + 1;
    if (next >= text.size()) {
        out.append(u'\\');
        return next;
    }
    const QChar c = text.at(next);
    if (isNewline(c)) {
        if (c == u'\r' && next + 1 < text.size() && text.at(next + 1) == u'\n')
            ++next;
        return next + 1;
    }
    if (hexDigitValue(c) < 0) {
        out.append(c);
        return next + 1;
    }
    char32_t codePoint = 0;
    int digits = 0;
    while (next < text.size() && digits < 6 && hexDigitValue(text.at(next)) >= 0) {
        codePoint = codePoint * 16 + static_cast<char32_t>(hexDigitValue(text.at(next)));
        ++next;
        ++digits;
    }
    // One white-space character (CR LF counting as one) ends a hexadecimal escape.
    if (next < text.size() && isCssWhitespace(text.at(next))) {
        if (text.at(next) == u'\r' && next + 1 < text.size() && text.at(next + 1) == u'\n')
            ++next;
        ++next;
    }
    if (codePoint == 0 || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        codePoint = 0xFFFD;
    out.append(QString::fromUcs4(&codePoint, 1));
    return next;
}

// The string whose opening quote is at `at`, escapes decoded, and the position behind its
// closing quote; nullopt when a line break or the end of the text comes first.
std::optional<std::pair<QString, qsizetype>> readString(QStringView text, qsizetype at)
{
    const QChar quote = text.at(at);
    QString value;
    qsizetype i = at + 1;
    while (i < text.size()) {
        const QChar c = text.at(i);
        if (c == quote)
            return std::make_pair(value, i + 1);
        if (isNewline(c))
            return std::nullopt;
        if (c == u'\\') {
            i = decodeEscape(text, i, value);
            continue;
        }
        value.append(c);
        ++i;
    }
    return std::nullopt;
}

bool isKept(const QString& value)
{
    return !value.isEmpty() && !value.contains(QLatin1StringView(".htc")) && !value.startsWith(u'#')
        && !value.startsWith(QLatin1StringView("%23"));
}

// The next place of a needle (a case-insensitive word, or a character) in the text at or after
// `from`, for positions that only grow: the text is searched again only once `from` has passed
// the place found before, so a search never reads the same stretch twice.
template <typename Needle> class NextPlace {
public:
    NextPlace(QStringView text, Needle needle)
        : m_text(text)
        , m_needle(needle)
    {
    }
    qsizetype at(qsizetype from)
    {
        if (m_found != -1 && m_found < from) {
            if constexpr (std::is_same_v<Needle, QChar>)
                m_found = m_text.indexOf(m_needle, from);
            else
                m_found = m_text.indexOf(m_needle, from, Qt::CaseInsensitive);
        }
        return m_found;
    }

private:
    QStringView m_text; // the caller's text, alive while this searches
    Needle m_needle;
    qsizetype m_found = -2; // -2: not searched yet; -1: none left
};

} // namespace

std::unique_ptr<CrwlCSSParser> CrwlCSSParser::initWithData(const QByteArray& data)
{
    if (data.isNull()) {
        detail::parserLog(1, QStringLiteral("CSS data is invalid"));
        return nullptr;
    }
    std::unique_ptr<CrwlCSSParser> parser(new CrwlCSSParser());
    parser->setPageData(data);
    parser->linkCollection.reserve(10);

    const std::optional<QString> styleSheet = detail::decodeWithFallbacks(
        data, { Encoding::UTF8, Encoding::ISOLatin1, Encoding::ISOLatin2, Encoding::ASCII });
    if (!styleSheet) {
        detail::documentParserError("CrwlCSSParser", QStringLiteral("the style sheet cannot be decoded"));
        return parser;
    }
    bool capReached = false;
    parser->linkCollection = linksInStyleSheet(removeComments(*styleSheet), detail::kMaxDocumentLinks, &capReached);
    if (capReached) {
        detail::documentParserError(
            "CrwlCSSParser", QStringLiteral("more than %1 links; the rest are ignored").arg(detail::kMaxDocumentLinks));
    }
    return parser;
}

QString CrwlCSSParser::removeComments(const QString& styleSheet)
{
    QString result;
    qsizetype from = 0;
    for (;;) {
        const qsizetype opening = styleSheet.indexOf(QLatin1StringView("/*"), from);
        if (opening < 0)
            break;
        const qsizetype closing = styleSheet.indexOf(QLatin1StringView("*/"), opening + 2);
        if (closing < 0)
            break; // an unclosed comment and what follows it stay
        result.append(QStringView(styleSheet).sliced(from, opening - from));
        from = closing + 2;
    }
    if (from == 0)
        return styleSheet;
    result.append(QStringView(styleSheet).sliced(from));
    return result;
}

QStringList CrwlCSSParser::linksInStyleSheet(QStringView text, qsizetype maxLinks, bool* capReached)
{
    static constexpr QLatin1StringView kUrl("url(");
    static constexpr QLatin1StringView kImport("@import");
    QStringList references;
    if (capReached)
        *capReached = false;
    auto add = [&](const QString& reference) {
        const QString value = trimmingQuotesAndSpaces(reference);
        if (!isKept(value))
            return true;
        if (references.size() >= maxLinks) {
            if (capReached)
                *capReached = true;
            return false;
        }
        references.append(value);
        return true;
    };
    // `from` only grows, and each search below starts at or after it and reads a stretch of
    // text at most once: the sheet is read in time that grows with its length. (A string that
    // runs on unclosed is read once: the next value's opening quote would have closed it.)
    NextPlace nextUrl(text, kUrl);
    NextPlace nextImport(text, kImport);
    NextPlace nextClosing(text, QChar(u')'));
    qsizetype from = 0;
    while (from < text.size()) {
        const qsizetype url = nextUrl.at(from);
        const qsizetype import = nextImport.at(from);
        if (url < 0 && import < 0)
            break;

        if (import >= 0 && (url < 0 || import < url)) {
            // @import "file.css" or 'file.css'; the url() form is read as any url().
            const qsizetype at = skipWhitespace(text, import + kImport.size());
            from = at;
            if (at < text.size() && (text.at(at) == u'"' || text.at(at) == u'\'')) {
                if (const auto string = readString(text, at)) {
                    if (!add(string->first))
                        break;
                    from = string->second;
                }
            }
            continue;
        }

        const qsizetype at = skipWhitespace(text, url + kUrl.size());
        if (at >= text.size())
            break;
        if (text.at(at) == u'"' || text.at(at) == u'\'') {
            const auto string = readString(text, at);
            if (!string) {
                from = at + 1;
                continue;
            }
            if (!add(string->first))
                break;
            const qsizetype closing = nextClosing.at(string->second);
            from = closing < 0 ? string->second : closing + 1;
            continue;
        }

        // Unquoted: up to the first ")" that no backslash escapes.
        QString value;
        qsizetype i = at;
        bool closed = false;
        while (i < text.size()) {
            const QChar c = text.at(i);
            if (c == u')') {
                closed = true;
                break;
            }
            if (c == u'\\') {
                i = decodeEscape(text, i, value);
                continue;
            }
            value.append(c);
            ++i;
        }
        if (!closed)
            break; // no closing parenthesis: no further value
        qsizetype end = value.size();
        while (end > 0 && isCssWhitespace(value.at(end - 1)))
            --end;
        value.truncate(end);
        if (!add(value))
            break;
        from = i + 1;
    }
    return references;
}

std::optional<QString> CrwlCSSParser::getNextHref()
{
    if (posInLinkArray < 0 || posInLinkArray >= linkCollection.size())
        return std::nullopt;
    return linkCollection.at(posInLinkArray++);
}

QString CrwlCSSParser::getLinkText() const { return QStringLiteral("[url in css]"); }
