// URL lists and XML sitemaps as a scan's input: the next URL read straight from the page bytes.
#include "parsing/CrwlParser.h"

#include "parsing/CrwlXmlTag.h"
#include "parsing/detail/CharTables.h"
#include "platform/TextEncoding.h"

#include <cstring>

namespace detail = crawlmere::parsing::detail;
namespace Encoding = crawlmere::platform::Encoding;
using crawlmere::platform::TextEncoding;

namespace {

constexpr qint64 kListTokenLimit = 998;
constexpr qint64 kTagLimit = 998;
constexpr qint64 kLocLimit = 1498;

bool isNewline(uint8_t c) { return c == '\n' || c == '\r'; }

/// Where a comma-separated list's rows begin: past a first row of column names ("url",
/// "URL,title"), which names no address and so would only be checked as a file beside the list.
/// A row is taken for names when every byte of it is a letter, a digit, "_", "-", a quote, a
/// blank or a comma (an address, a host or a file name has a ".", "/" or ":" somewhere), and
/// other rows follow it.
qint64 afterHeaderRow(std::string_view bytes)
{
    const auto size = static_cast<qint64>(bytes.size());
    qint64 at = 0;
    while (at < size && !crawlmere::parsing::detail::isPrintableAscii(static_cast<uint8_t>(bytes[size_t(at)])))
        ++at;
    bool named = false;
    qint64 end = at;
    for (; end < size && !isNewline(static_cast<uint8_t>(bytes[size_t(end)])); ++end) {
        const auto c = static_cast<uint8_t>(bytes[size_t(end)]);
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (letter)
            named = true;
        else if (c != '_' && c != '-' && c != '"' && c != '\'' && c != ' ' && c != '\t' && c != ',')
            return 0;
    }
    // A list of one row is a list: names head other rows.
    bool rowsFollow = false;
    for (qint64 k = end; k < size && !rowsFollow; ++k)
        rowsFollow = crawlmere::parsing::detail::isPrintableAscii(static_cast<uint8_t>(bytes[size_t(k)]));
    return named && rowsFollow ? end : 0;
}

} // namespace

std::optional<QString> CrwlParser::getNextHttp()
{
    // A line is one address (a field between commas of a CSV list): its ends trimmed of white
    // space and quotes, blanks inside it percent-encoded, its text read as UTF-8. A line of
    // blank-separated absolute addresses is each of them.
    const uint8_t separator = m_fileType == CommaSeparatedList ? ',' : 0;
    const auto byteAt = [&](qint64 i) { return detail::byteOf(bytes[static_cast<size_t>(i)]); };
    const auto endsToken = [&](uint8_t c) { return isNewline(c) || (separator != 0 && c == separator); };
    const auto isBlank = [](uint8_t c) { return c <= 0x20 || c == 0x7F; };
    if (m_fileType == CommaSeparatedList && counter == 0)
        counter = afterHeaderRow(bytes.substr(0, static_cast<size_t>(l)));
    while (true) {
        while (counter < l && (endsToken(byteAt(counter)) || isBlank(byteAt(counter))))
            ++counter;
        if (counter >= l)
            return std::nullopt;

        // A line whose first visible byte is "#" is a comment.
        if (byteAt(counter) == '#') {
            qint64 k = counter - 1;
            while (k >= 0 && !isNewline(byteAt(k)) && isBlank(byteAt(k)))
                --k;
            if (k < 0 || isNewline(byteAt(k))) {
                while (counter < l && !isNewline(byteAt(counter)))
                    ++counter;
                continue;
            }
        }

        const qint64 start = counter;
        while (counter < l && counter - start < kListTokenLimit && !endsToken(byteAt(counter)))
            ++counter;
        std::string token(bytes.substr(static_cast<size_t>(start), static_cast<size_t>(counter - start)));
        if (counter - start == kListTokenLimit && counter < l && !endsToken(byteAt(counter)))
            ++counter; // the byte at the cut is dropped; the rest is the next token
        const auto trimBlanks = [&] {
            while (!token.empty() && isBlank(detail::byteOf(token.back())))
                token.pop_back();
        };
        trimBlanks();
        if (separator == 0) {
            // Several absolute addresses on one line: the first now, the rest from the next call.
            const size_t blank = token.find_first_of(" \t\v\f");
            bool each = blank != std::string::npos;
            for (size_t at = 0; each && at < token.size();) {
                const size_t next = token.find_first_of(" \t\v\f", at);
                const std::string_view piece(token.data() + at, (next == std::string::npos ? token.size() : next) - at);
                each = piece.empty() || piece.find("://") != std::string_view::npos;
                at = next == std::string::npos ? token.size() : next + 1;
            }
            if (each) {
                counter = start + static_cast<qint64>(blank);
                token.resize(blank);
            }
        }
        for (size_t before = 0; before != token.size();) {
            before = token.size();
            trimThisCharacter('\'', token);
            trimThisCharacter('"', token);
            trimBlanks();
            while (!token.empty() && isBlank(detail::byteOf(token.front())))
                token.erase(0, 1);
        }
        if (token.empty())
            continue;
        const std::optional<QString> text = TextEncoding::decode(token, Encoding::UTF8);
        QString url
            = unescapeEntities(text ? *text : QString::fromLatin1(token.data(), static_cast<qsizetype>(token.size())));
        QString encoded;
        encoded.reserve(url.size());
        for (const QChar c : std::as_const(url)) {
            if (c == u' ')
                encoded += QLatin1StringView("%20");
            else if (c == u'\t')
                encoded += QLatin1StringView("%09");
            else if (c.unicode() >= 0x20 && c.unicode() != 0x7F)
                encoded += c;
        }
        return encoded;
    }
}

std::optional<QString> CrwlParser::getNextXml()
{
    while (true) {
        const std::optional<CrwlXmlTag> tag = getTag(/*insideTag=*/false);
        if (!tag)
            return std::nullopt;
        if (!tag->isClosing() && tag->getData().compare(QLatin1StringView("loc"), Qt::CaseInsensitive) == 0)
            break;
    }
    std::optional<QString> text = getLoc();
    if (!text)
        return std::nullopt;
    text->remove(u'\r');
    text->remove(u'\n');
    getTag(/*insideTag=*/false); // the closing </loc>
    return text;
}

bool CrwlParser::moveIntoNextTag()
{
    while (counter < l) {
        const void* found = std::memchr(bytes.data() + counter, '<', static_cast<size_t>(l - counter));
        if (!found) {
            counter = l;
            return false;
        }
        const qint64 name = static_cast<const char*>(found) - bytes.data() + 1;
        if (name < l && bytes[static_cast<size_t>(name)] == '!') {
            if (name + 1 < l && bytes[static_cast<size_t>(name + 1)] == '-') {
                // A comment: passed over up to its "-->".
                isScriptOrComment = true;
                const size_t end = bytes.find("-->", static_cast<size_t>(name + 1));
                isScriptOrComment = false;
                if (end == std::string_view::npos) {
                    counter = l;
                    return false;
                }
                counter = static_cast<qint64>(end) + 3;
                continue;
            }
            counter = name; // any other "<!" is text
            continue;
        }
        counter = name;
        lastTagPassed = name;
        return true;
    }
    return false;
}

std::optional<CrwlXmlTag> CrwlParser::getTag(bool insideTag)
{
    if (!insideTag && !moveIntoNextTag())
        return std::nullopt;
    const size_t close = bytes.find('>', static_cast<size_t>(counter));
    if (close == std::string_view::npos) {
        counter = l;
        return std::nullopt;
    }
    std::string_view text = bytes.substr(static_cast<size_t>(counter), close - static_cast<size_t>(counter));
    counter = static_cast<qint64>(close) + 1;
    if (static_cast<qint64>(text.size()) > kTagLimit)
        text = text.substr(0, kTagLimit);
    const bool closing = text.find('/') != std::string_view::npos;
    if (!text.empty() && text.front() == '/')
        text.remove_prefix(1);
    if (!text.empty() && text.back() == '/')
        text.remove_suffix(1);
    std::optional<QString> decoded;
    if (useEncoding != Encoding::None)
        decoded = TextEncoding::decode(text, useEncoding);
    if (!decoded)
        decoded = TextEncoding::decode(text, Encoding::UTF8);
    if (!decoded)
        decoded = TextEncoding::decode(text, Encoding::ASCII);
    if (!decoded)
        return std::nullopt;
    return CrwlXmlTag(*decoded, closing);
}

std::optional<QString> CrwlParser::getLoc()
{
    if (counter >= l)
        return std::nullopt;
    const size_t lt = bytes.find('<', static_cast<size_t>(counter));
    if (lt == std::string_view::npos) {
        counter = l;
        return std::nullopt;
    }
    std::string_view text = bytes.substr(static_cast<size_t>(counter), lt - static_cast<size_t>(counter));
    bool verbatim = false;
    // A CDATA section standing alone in the element is its text, taken as written.
    constexpr std::string_view cdataOpen = "<![CDATA[";
    size_t blank = 0;
    while (blank < text.size() && detail::isWhite(detail::byteOf(text[blank])))
        ++blank;
    if (blank == text.size() && bytes.substr(lt, cdataOpen.size()) == cdataOpen) {
        const size_t contentStart = lt + cdataOpen.size();
        const size_t close = bytes.find("]]>", contentStart);
        if (close != std::string_view::npos) {
            text = bytes.substr(contentStart, close - contentStart);
            verbatim = true;
            counter = static_cast<qint64>(close) + 3;
        }
    }
    if (!verbatim)
        counter = static_cast<qint64>(lt);
    if (static_cast<qint64>(text.size()) > kLocLimit) {
        text = text.substr(0, kLocLimit);
        if (!verbatim)
            counter = (text.data() - bytes.data()) + kLocLimit;
    }
    std::optional<QString> decoded;
    for (const auto encoding : { useEncoding, Encoding::UTF8, Encoding::WindowsCP1252 }) {
        if (decoded || encoding == Encoding::None)
            continue;
        decoded = TextEncoding::decode(text, encoding);
    }
    if (!decoded)
        return QStringLiteral("");
    const QString trimmed = decoded->trimmed();
    return verbatim ? trimmed : unescapeEntities(trimmed);
}
