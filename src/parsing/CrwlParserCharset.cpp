// Probes of raw page bytes: the declared charset and its encoding, and the refresh meta tag.
#include "parsing/CrwlParser.h"

#include "parsing/TagSyntax.h"
#include "parsing/detail/CharTables.h"
#include "parsing/detail/Matchers.h"

namespace detail = crawlmere::parsing::detail;
namespace Encoding = crawlmere::platform::Encoding;
using crawlmere::platform::TextEncoding;

namespace {

bool isCharsetTrimByte(char c)
{
    return c == ' ' || c == '=' || c == '"' || c == '\'' || c == '/' || c == '\t' || c == '\r' || c == '\n';
}

// "<" [white space] then "script", with the letters n and o tolerated before it so that
// "<noscript" counts too; the closing form needs "/" before the name.
struct ScriptSkipMatcher {
    bool closing = false;
    int state = 0; // 0 idle, 1 after "<", 2 after "/", 3 + n after n letters of "script"

    bool feed(uint8_t c)
    {
        static constexpr std::string_view kName = "script";
        if (c == '<') {
            state = 1;
            return false;
        }
        const uint8_t lower = detail::toLowerAscii(c);
        if (state == 1 || state == 2) {
            if (state == 1 && closing && c == '/') {
                state = 2;
                return false;
            }
            if (detail::isWhite(c) && state == 1)
                return false;
            if (lower == 'n' || lower == 'o')
                return false;
            if (state == 1 && closing) {
                state = 0;
                return false;
            }
            state = lower == 's' ? 4 : 0;
            return false;
        }
        if (state >= 3) {
            const size_t matched = static_cast<size_t>(state - 3);
            if (lower == static_cast<uint8_t>(kName[matched])) {
                if (matched + 1 == kName.size()) {
                    state = 0;
                    return true;
                }
                ++state;
                return false;
            }
            state = 0;
        }
        return false;
    }
};

} // namespace

std::optional<QString> CrwlParser::extractCharsetFromHTML(std::string_view page)
{
    if (page.empty())
        return std::nullopt;
    size_t end = page.find("body");
    if (end == std::string_view::npos)
        end = page.find("BODY");
    const std::string_view head = page.substr(0, end == std::string_view::npos ? page.size() : end);
    size_t found = head.find("charset");
    if (found == std::string_view::npos)
        found = head.find("CHARSET");
    if (found == std::string_view::npos)
        return std::nullopt;
    const size_t start = found + 7;
    const size_t close = head.find('>', start);
    if (close == std::string_view::npos)
        return std::nullopt;
    std::string_view value = head.substr(start, close - start);
    while (!value.empty() && isCharsetTrimByte(value.front()))
        value.remove_prefix(1);
    while (!value.empty() && isCharsetTrimByte(value.back()))
        value.remove_suffix(1);
    auto text = TextEncoding::decode(value, Encoding::ASCII);
    if (!text)
        return std::nullopt;
    return text;
}

CrwlParser::EncodingId CrwlParser::encodingForCharset(QStringView charset)
{
    // The page's own declaration is read as its Content-Type header's charset is.
    return TextEncoding::encodingForDeclaredCharset(charset);
}

bool CrwlParser::metaRefreshURLat(size_t position, std::string_view page)
{
    size_t from = 0;
    while (true) {
        const size_t open = page.find("<!--", from);
        if (open == std::string_view::npos || open >= position)
            return false;
        const size_t close = page.find("-->", open + 4);
        if (close == std::string_view::npos)
            return false;
        if (close > position)
            return true;
        from = close + 3;
    }
}

std::optional<QString> CrwlParser::pageIsMetaRefresh(std::string_view page)
{
    ScriptSkipMatcher scriptStart;
    ScriptSkipMatcher scriptEnd { true };
    detail::TagMatcher meta { "meta" };
    detail::TagMatcher body { "body" };
    detail::WordMatcher httpEquiv { "http-equiv" };
    detail::WordMatcher refresh { "refresh" };
    detail::AttrMatcher content { "content" };

    bool inScript = false;
    bool inMeta = false;
    bool sawEquiv = false;
    bool sawRefresh = false;
    enum class Value { None, Quoted, Unquoted } value = Value::None;
    uint8_t terminator = 0;
    std::string collected;
    bool valueDone = false;

    for (size_t i = 0; i < page.size(); ++i) {
        const uint8_t c = static_cast<uint8_t>(page[i]);
        const uint8_t previous = i ? static_cast<uint8_t>(page[i - 1]) : 0;
        if (inScript) {
            if (scriptEnd.feed(c))
                inScript = false;
            continue;
        }
        if (scriptStart.feed(c)) {
            inScript = true;
            inMeta = sawEquiv = sawRefresh = false;
            value = Value::None;
            collected.clear();
            continue;
        }
        if (value != Value::None) {
            const bool ends = value == Value::Quoted ? c == terminator : detail::isWhite(c);
            if (!ends && c != '>') {
                if (collected.size() < crawlmere::parsing::kValueLimit)
                    collected.push_back(static_cast<char>(c));
                continue;
            }
            value = Value::None;
            valueDone = true;
        }
        if (c == '>') {
            if (valueDone && !collected.empty()) {
                auto text = TextEncoding::decode(collected, Encoding::ASCII);
                if (!text)
                    text = TextEncoding::decode(collected, Encoding::UTF8);
                if (text && !text->isEmpty())
                    return text;
            }
            inMeta = sawEquiv = sawRefresh = valueDone = false;
            collected.clear();
            httpEquiv.reset();
            refresh.reset();
            content.reset();
        }
        if (body.feed(c))
            return std::nullopt;
        if (meta.feed(c)) {
            inMeta = true;
            continue;
        }
        if (!inMeta)
            continue;
        if (!sawEquiv) {
            sawEquiv = httpEquiv.feed(c);
            continue;
        }
        if (!sawRefresh) {
            if (refresh.feed(c) && !metaRefreshURLat(i, page))
                sawRefresh = true;
            continue;
        }
        if (valueDone)
            continue;
        switch (content.feed(c, previous)) {
        case detail::AttrEvent::None:
            break;
        case detail::AttrEvent::OpenQuoted:
            value = Value::Quoted;
            terminator = c;
            break;
        case detail::AttrEvent::OpenUnquoted:
            value = Value::Unquoted;
            collected.push_back(static_cast<char>(c));
            break;
        }
    }
    return std::nullopt;
}
