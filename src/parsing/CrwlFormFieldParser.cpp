// The login-form reader: loading the page, its encoding, and the single byte pass that finds
// the form's action and the input fields.
#include "parsing/CrwlFormFieldParser.h"

#include "parsing/CrwlParser.h"
#include "parsing/detail/HtmlPageLoad.h"
#include "parsing/detail/ParserDefaults.h"
#include "platform/Strings.h"

#include <array>
#include <cstdint>
#include <string>

using crawlmere::parsing::detail::parserLog;
namespace Encoding = crawlmere::platform::Encoding;

namespace {

constexpr bool isSpace(std::uint8_t byte) { return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r'; }
constexpr bool isAsciiWhitespace(std::uint8_t byte) { return (byte >= 0x09 && byte <= 0x0D) || byte == ' '; }
constexpr std::uint8_t asciiLower(std::uint8_t byte) { return (byte >= 'A' && byte <= 'Z') ? byte + 32 : byte; }

/// Follows one word through the byte stream, letter by letter without regard to case.
class WordMatcher {
public:
    explicit constexpr WordMatcher(std::string_view lowerWord)
        : word(lowerWord)
    {
    }
    /// True on the byte that completes the word.
    bool feed(std::uint8_t byte)
    {
        const std::uint8_t lower = asciiLower(byte);
        if (lower == std::uint8_t(word[matched])) {
            if (++matched == word.size()) {
                matched = 0;
                return true;
            }
            return false;
        }
        // None of the words looked for repeats its first letter, so a restart only needs to
        // look at this byte.
        matched = lower == std::uint8_t(word[0]) ? 1 : 0;
        return false;
    }
    void reset() { matched = 0; }

private:
    std::string_view word;
    size_t matched = 0;
};

/// An attribute word followed by "=" and a value: quoted (ends at the same quote) or unquoted
/// (ends at white space); any value also ends at ">". The word is found anywhere, also inside
/// other attributes' values.
class AttributeMatcher {
public:
    enum class Gap {
        /// Only white space between the word and "=".
        Whitespace,
        /// Anything up to the next "=" (a ">" first gives up).
        Anything,
    };

    AttributeMatcher(std::string_view lowerWord, Gap gapRule)
        : wordMatcher(lowerWord)
        , gap(gapRule)
    {
        buffer.reserve(64);
    }

    /// True on the byte that ends a value; the value is then in `value()`/`wasCut()` until the
    /// next `feed`.
    bool feed(std::uint8_t byte)
    {
        switch (phase) {
        case Phase::Word:
            if (wordMatcher.feed(byte))
                phase = Phase::BeforeEquals;
            return false;
        case Phase::BeforeEquals:
            if (byte == '=') {
                phase = Phase::AfterEquals;
                return false;
            }
            if (gap == Gap::Anything ? byte != '>' : isSpace(byte))
                return false;
            reset();
            return feed(byte);
        case Phase::AfterEquals:
            if (isSpace(byte))
                return false;
            buffer.clear();
            cut = false;
            if (byte == '>')
                return finish();
            if (byte == '"' || byte == '\'') {
                quote = char(byte);
                phase = Phase::Quoted;
                return false;
            }
            phase = Phase::Unquoted;
            append(byte);
            return false;
        case Phase::Quoted:
            if (byte == std::uint8_t(quote) || byte == '>')
                return finish();
            append(byte);
            return false;
        case Phase::Unquoted:
            if (isAsciiWhitespace(byte) || byte == '>')
                return finish();
            append(byte);
            return false;
        }
        return false;
    }

    void reset()
    {
        phase = Phase::Word;
        wordMatcher.reset();
    }
    std::string_view value() const { return buffer; }
    bool wasCut() const { return cut; }

private:
    enum class Phase { Word, BeforeEquals, AfterEquals, Quoted, Unquoted };

    void append(std::uint8_t byte)
    {
        if (qsizetype(buffer.size()) < CrwlFormFieldParser::kMaxValueBytes)
            buffer.push_back(char(byte));
        else
            cut = true;
    }
    bool finish()
    {
        reset();
        return true;
    }

    WordMatcher wordMatcher;
    Gap gap;
    Phase phase = Phase::Word;
    char quote = '"';
    std::string buffer;
    bool cut = false;
};


} // namespace

CrwlFormFieldParser::CrwlFormFieldParser(QByteArray pageData, EncodingId encoding)
    : data(std::move(pageData))
    , l(data.size())
    , useEncoding(encoding == 0 ? Encoding::UTF8 : encoding)
{
    collection.reserve(100);
    const std::string_view bytes(data.constData(), size_t(data.size()));
    if (const std::optional<QString> charset = CrwlParser::extractCharsetFromHTML(bytes)) {
        if (const EncodingId declared = CrwlParser::encodingForCharset(*charset); declared != 0)
            useEncoding = declared;
    }
}

std::unique_ptr<CrwlFormFieldParser> CrwlFormFieldParser::initWithData(QByteArray pageData, EncodingId encoding)
{
    if (pageData.isEmpty()) {
        parserLog(2, QStringLiteral("parser initiated with nil or no data"));
        return nullptr;
    }
    std::unique_ptr<CrwlFormFieldParser> parser(new CrwlFormFieldParser(std::move(pageData), encoding));
    parser->bigKahunaPass();
    return parser;
}

std::unique_ptr<CrwlFormFieldParser> CrwlFormFieldParser::initWithUrl(const QString& url)
{
    // The encoding the server names, else UTF-8; a charset the page declares wins over both.
    auto page = crawlmere::parsing::detail::loadHtmlPage(url, kLoadTimeoutSeconds);
    if (!page)
        return nullptr;
    return initWithData(std::move(page->body), page->encoding);
}

QString CrwlFormFieldParser::decodeValue(std::string_view bytes, bool wasCut) const
{
    return CrwlParser::unescapedStringFromBuffer(bytes, useEncoding, /*returnsAreSeparators=*/false, wasCut);
}

void CrwlFormFieldParser::underlineData()
{
    if (collection.size() < kMaxFields)
        collection.append(currentDictionary);
    currentDictionary = QVariantMap();
}

void CrwlFormFieldParser::bigKahunaPass()
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.constData());
    const qsizetype length = data.size();

    // Comments.
    bool inComment = false;
    // "<" [white space] "form" white space: a form start tag, up to the next "<".
    enum class FormPhase { Idle, BeforeWord, Word, AfterWord };
    FormPhase formPhase = FormPhase::Idle;
    size_t formMatched = 0;
    bool inForm = false;
    // "<input": an input tag, up to its ">".
    int inputMatched = -1;
    bool inInput = false;
    bool hidden = false;
    static constexpr std::string_view formWord = "form";
    static constexpr std::string_view inputWord = "input";

    AttributeMatcher action("action", AttributeMatcher::Gap::Anything);
    AttributeMatcher name("name", AttributeMatcher::Gap::Whitespace);
    AttributeMatcher value("value", AttributeMatcher::Gap::Whitespace);
    WordMatcher hiddenWord("hidden");

    for (qsizetype counter = 0; counter < length; ++counter) {
        const std::uint8_t aBuffer = bytes[counter];

        if (inComment) {
            if (aBuffer == '>' && counter >= 2 && bytes[counter - 1] == '-' && bytes[counter - 2] == '-')
                inComment = false;
            continue;
        }
        if (aBuffer == '-' && counter >= 3 && bytes[counter - 1] == '-' && bytes[counter - 2] == '!'
            && bytes[counter - 3] == '<') {
            // Nothing inside a comment is collected or committed; a tag the comment cut short
            // is dropped.
            inComment = true;
            inForm = inInput = hidden = false;
            formPhase = FormPhase::Idle;
            inputMatched = -1;
            action.reset();
            name.reset();
            value.reset();
            hiddenWord.reset();
            currentDictionary = QVariantMap();
            continue;
        }

        if (inForm) {
            if (aBuffer == '<') {
                inForm = false;
                action.reset();
            } else if (action.feed(aBuffer)) {
                const QString text = decodeValue(action.value(), action.wasCut());
                if (!text.isEmpty())
                    formAction = text;
            }
        }

        if (inInput) {
            if (hiddenWord.feed(aBuffer))
                hidden = true;
            if (name.feed(aBuffer))
                addNameToCollection(decodeValue(name.value(), name.wasCut()));
            if (value.feed(aBuffer))
                addValueToCollection(decodeValue(value.value(), value.wasCut()));
            if (aBuffer == '>') {
                if (hidden)
                    addHiddenToCollection();
                underlineData();
                inInput = false;
                hidden = false;
            }
            continue;
        }

        // Tag starts.
        if (aBuffer == '<') {
            formPhase = FormPhase::BeforeWord;
            formMatched = 0;
            inputMatched = 0;
            continue;
        }
        if (inputMatched >= 0) {
            if (asciiLower(aBuffer) == std::uint8_t(inputWord[size_t(inputMatched)])) {
                if (size_t(++inputMatched) == inputWord.size()) {
                    inputMatched = -1;
                    formPhase = FormPhase::Idle;
                    inInput = true;
                    hidden = false;
                    name.reset();
                    value.reset();
                    hiddenWord.reset();
                    currentDictionary = QVariantMap();
                    continue;
                }
            } else {
                inputMatched = -1;
            }
        }
        switch (formPhase) {
        case FormPhase::Idle:
            break;
        case FormPhase::BeforeWord:
            if (isSpace(aBuffer))
                break;
            formPhase = FormPhase::Word;
            [[fallthrough]];
        case FormPhase::Word:
            if (asciiLower(aBuffer) == std::uint8_t(formWord[formMatched])) {
                if (++formMatched == formWord.size())
                    formPhase = FormPhase::AfterWord;
            } else {
                formPhase = FormPhase::Idle;
            }
            break;
        case FormPhase::AfterWord:
            formPhase = FormPhase::Idle;
            if (isSpace(aBuffer)) {
                inForm = true;
                action.reset();
            }
            break;
        }
    }
}
