// Byte and text routines of the page scanner: decoding byte runs, character references, srcset and
// style url() values, and the look-aheads the scanner makes at a "<".
#include "parsing/CrwlParser.h"

#include "parsing/detail/CaptureBuffer.h"
#include "parsing/detail/CharTables.h"
#include "parsing/detail/DocumentText.h"
#include "parsing/detail/EntityTable.h"
#include "parsing/detail/TextScan.h"
#include "platform/Strings.h"

#include <string>

namespace detail = crawlmere::parsing::detail;
using crawlmere::platform::strings::trimmingQuotesAndSpaces;
namespace Encoding = crawlmere::platform::Encoding;
using crawlmere::platform::TextEncoding;

namespace {

// Shortest and longest reference worth looking at, "&" and ";" included.
constexpr qsizetype kMinReferenceLength = 4;
constexpr qsizetype kMaxReferenceLength = static_cast<qsizetype>(detail::kMaxEntityNameLength) + 2;

bool isMultiByte(crawlmere::platform::EncodingId encoding)
{
    return encoding != Encoding::ISOLatin1 && encoding != Encoding::ASCII;
}

// Strict decoding; when the run was cut at a buffer limit, up to three trailing bytes (a split
// character) may be dropped before the encoding counts as failed.
std::optional<QString> decodeRun(std::string_view bytes, crawlmere::platform::EncodingId encoding, bool wasCut)
{
    if (auto text = TextEncoding::decode(bytes, encoding))
        return text;
    if (!wasCut || !isMultiByte(encoding))
        return std::nullopt;
    for (size_t drop = 1; drop <= 3 && drop < bytes.size(); ++drop)
        if (auto text = TextEncoding::decode(bytes.substr(0, bytes.size() - drop), encoding))
            return text;
    return std::nullopt;
}

// The value of a numeric reference's digits ("65", "x41"), or -1 when they are not all digits of
// their base or the number is out of range.
long numericReference(QStringView digits)
{
    int base = 10;
    if (!digits.isEmpty() && (digits.front() == u'x' || digits.front() == u'X')) {
        base = 16;
        digits = digits.mid(1);
    }
    if (digits.isEmpty())
        return -1;
    long value = 0;
    for (QChar ch : digits) {
        const char16_t u = ch.unicode();
        if (u >= 0x80)
            return -1;
        const uint8_t b = static_cast<uint8_t>(u);
        int digit;
        if (detail::isDigit(b))
            digit = b - '0';
        else if (base == 16 && detail::isHexDigit(b))
            digit = detail::toLowerAscii(b) - 'a' + 10;
        else
            return -1;
        value = value * base + digit;
        if (value > 0x10FFFF)
            value = 0x110000; // keeps reading digits, never overflows
    }
    return value;
}

// Writes one code point of the entity table (all valid, none a surrogate) as one or two units;
// returns the number written.
qsizetype writeCodePoint(char32_t codePoint, char16_t* out)
{
    if (QChar::requiresSurrogates(codePoint)) {
        out[0] = QChar::highSurrogate(codePoint);
        out[1] = QChar::lowSurrogate(codePoint);
        return 2;
    }
    out[0] = static_cast<char16_t>(codePoint);
    return 1;
}

// Most units one reference decodes to: two code points, each at most a surrogate pair. A reference
// is at least four units long, so its text never outgrows it.
constexpr qsizetype kMaxReferenceUnits = 4;
static_assert(kMaxReferenceUnits <= kMinReferenceLength);

// Writes the text of one reference ("&...;" without "&" and ";") to `out` and returns the number of
// units; 0 when it stays as written.
qsizetype decodeReference(QStringView inner, char16_t (&out)[kMaxReferenceUnits])
{
    if (inner.startsWith(u'#')) {
        const long value = numericReference(inner.mid(1));
        if (value < 1 || value > 65534 || (value >= 0xD800 && value <= 0xDFFF))
            return 0;
        out[0] = static_cast<char16_t>(value);
        return 1;
    }
    char name[detail::kMaxEntityNameLength];
    if (inner.size() > static_cast<qsizetype>(sizeof(name)))
        return 0;
    for (qsizetype i = 0; i < inner.size(); ++i) {
        const char16_t u = inner.at(i).unicode();
        if (u >= 0x80)
            return 0;
        name[i] = static_cast<char>(u);
    }
    const detail::NamedEntity* entity
        = detail::findNamedEntity(std::string_view(name, static_cast<size_t>(inner.size())));
    if (!entity)
        return 0;
    qsizetype units = writeCodePoint(entity->first, out);
    if (entity->second)
        units += writeCodePoint(entity->second, out + units);
    return units;
}

// Decodes the character references of `text` in place (see gtm_stringByUnescapingFromHTML): each "&"
// reaches up to the first ";" before the next "&"; the candidates never overlap, so one forward pass
// gives what a walk from the last "&" to the first gives, and a decoded "&amp;" never joins the text
// behind it. A reference's text is never longer than the reference, so the text only shrinks.
void unescapeInPlace(QString& text)
{
    const qsizetype n = text.size();
    qsizetype amp = text.indexOf(u'&');
    if (amp < 0)
        return;
    char16_t* chars = reinterpret_cast<char16_t*>(text.data());
    qsizetype kept = amp; // text before this offset is final
    qsizetype copied = amp; // source text before this offset has been moved to `kept`
    const auto nextAmpersand = [&](qsizetype from) -> qsizetype {
        const qsizetype found = QStringView(chars + from, n - from).indexOf(u'&');
        return found < 0 ? -1 : from + found;
    };
    while (amp >= 0) {
        qsizetype j = amp + 1;
        while (j < n && j - amp < kMaxReferenceLength && chars[j] != u';' && chars[j] != u'&')
            ++j;
        const qsizetype length = j - amp + 1;
        std::char_traits<char16_t>::move(chars + kept, chars + copied, static_cast<size_t>(amp - copied));
        kept += amp - copied;
        copied = amp;
        char16_t decoded[kMaxReferenceUnits];
        qsizetype units = 0;
        if (j < n && chars[j] == u';' && length >= kMinReferenceLength && length <= kMaxReferenceLength)
            units = decodeReference(QStringView(chars + amp + 1, length - 2), decoded);
        if (units > 0) {
            std::char_traits<char16_t>::copy(chars + kept, decoded, static_cast<size_t>(units));
            kept += units;
            copied = j + 1;
            amp = copied < n ? nextAmpersand(copied) : -1;
        } else {
            amp = amp + 1 < n ? nextAmpersand(amp + 1) : -1;
        }
    }
    std::char_traits<char16_t>::move(chars + kept, chars + copied, static_cast<size_t>(n - copied));
    kept += n - copied;
    text.truncate(kept);
}

// Encodings in which every byte below 0x80 is the ASCII character.
bool isAsciiCompatible(crawlmere::platform::EncodingId encoding)
{
    switch (encoding) {
    case Encoding::None:
    case Encoding::ASCII:
    case Encoding::UTF8:
    case Encoding::ISOLatin1:
    case Encoding::ISOLatin2:
    case Encoding::WindowsCP1250:
    case Encoding::WindowsCP1251:
    case Encoding::WindowsCP1252:
    case Encoding::WindowsCP1253:
    case Encoding::WindowsCP1254:
    case Encoding::WindowsHebrew:
    case Encoding::WindowsArabic:
    case Encoding::WindowsBalticRim:
    case Encoding::ISOLatin7:
    case Encoding::ISOLatin9:
    case Encoding::ISOLatin10:
    case Encoding::KOI8R:
    case Encoding::KOI8U:
    case Encoding::MacOSRoman:
        return true;
    default:
        return false;
    }
}

bool isAllAscii(std::string_view run)
{
    uint8_t any = 0;
    for (const char c : run)
        any |= static_cast<uint8_t>(c);
    return any < 0x80;
}

// `run` without ASCII white space at its ends.
std::string_view withoutWhiteEnds(std::string_view run)
{
    size_t begin = 0;
    size_t end = run.size();
    while (begin < end && detail::isWhite(detail::byteOf(run[begin])))
        ++begin;
    while (end > begin && detail::isWhite(detail::byteOf(run[end - 1])))
        --end;
    return run.substr(begin, end - begin);
}

// `run` without ASCII white space at its ends, widened; "" when nothing is left.
QString trimmedLatin1(std::string_view run)
{
    const std::string_view trimmed = withoutWhiteEnds(run);
    if (trimmed.empty())
        return QStringLiteral("");
    return QString::fromLatin1(trimmed.data(), static_cast<qsizetype>(trimmed.size()));
}

/// The one folding rule for line breaks: with separators CR, LF and tab become spaces and a run of
/// spaces folds into one; without, CR and LF are removed. Reads the characters `from` to `to` of
/// `charAt` and writes them to `out` from `kept` on (`out` may be what `charAt` reads: the writing
/// never runs ahead of the reading); a space just before `kept` counts as the start of a run.
/// Returns the length written.
template <typename CharAt>
qsizetype foldLineBreaks(
    const CharAt& charAt, qsizetype from, qsizetype to, QChar* out, qsizetype kept, bool returnsAreSeparators)
{
    bool lastWasSpace = kept > 0 && out[kept - 1] == u' ';
    for (qsizetype i = from; i < to; ++i) {
        char16_t c = charAt(i);
        if (c == u'\r' || c == u'\n') {
            if (!returnsAreSeparators)
                continue;
            c = u' ';
        } else if (c == u'\t' && returnsAreSeparators) {
            c = u' ';
        }
        if (returnsAreSeparators && c == u' ') {
            if (lastWasSpace)
                continue;
            lastWasSpace = true;
        } else {
            lastWasSpace = false;
        }
        out[kept++] = QChar(c);
    }
    return kept;
}

// What decoding, folding and trimming make of ASCII bytes without "&", in one pass over them.
// Trimming first gives the same text: folding neither makes nor removes white space at the ends.
QString asciiValue(std::string_view run, bool returnsAreSeparators)
{
    const std::string_view trimmed = withoutWhiteEnds(run);
    if (trimmed.empty())
        return QStringLiteral("");
    const auto length = static_cast<qsizetype>(trimmed.size());
    QString text(length, Qt::Uninitialized);
    const auto byteAt = [&trimmed](qsizetype i) { return char16_t(static_cast<uint8_t>(trimmed[size_t(i)])); };
    text.truncate(foldLineBreaks(byteAt, 0, length, text.data(), 0, returnsAreSeparators));
    return text;
}

} // namespace

void CrwlParser::foldSeparators(QString& text, bool returnsAreSeparators)
{
    // One pass: with separators CR, LF and tab become spaces and runs of spaces fold into one;
    // without, CR and LF are removed.
    const qsizetype length = text.size();
    const qsizetype first = detail::firstFoldPosition(QStringView(text).utf16(), length, returnsAreSeparators);
    if (first == length)
        return; // nothing to change: the text stays shared and unwritten
    QChar* chars = text.data();
    const auto charAt = [chars](qsizetype i) { return chars[i].unicode(); };
    text.truncate(foldLineBreaks(charAt, first, length, chars, first, returnsAreSeparators));
}

std::optional<QString> CrwlParser::decodeWithFallbacks(std::string_view run, EncodingId encoding, bool wasCut)
{
    if (isAsciiCompatible(encoding) && isAllAscii(run))
        return QString::fromLatin1(run.data(), static_cast<qsizetype>(run.size())); // the same in all of them
    std::optional<QString> decoded;
    if (encoding != Encoding::None)
        decoded = decodeRun(run, encoding, wasCut);
    for (EncodingId fallback : { Encoding::UTF8, Encoding::WindowsCP1252, Encoding::Unicode, Encoding::ASCII }) {
        if (decoded)
            break;
        decoded = decodeRun(run, fallback, wasCut);
    }
    return decoded;
}

QString CrwlParser::pageTextFromFoldedBuffer(std::string_view run, EncodingId encoding)
{
    // The bytes hold no CR, LF or tab and no two spaces in a row, and no space at either end: only
    // what character references decode to can need folding.
    if (run.empty())
        return QStringLiteral("");
    std::optional<QString> decoded = decodeWithFallbacks(run, encoding, /*wasCut=*/false);
    if (!decoded)
        return QStringLiteral("");
    QString text = std::move(*decoded);
    if (text.contains(u'&')) {
        unescapeInPlace(text);
        foldSeparators(text, /*returnsAreSeparators=*/true);
    }
    text = std::move(text).trimmed();
    return text.isNull() ? QStringLiteral("") : text;
}

QString CrwlParser::unescapedStringFromBuffer(
    std::string_view run, EncodingId encoding, bool returnsAreSeparators, bool wasCut)
{
    if (run.empty())
        return QStringLiteral("");
    if (isAsciiCompatible(encoding)) {
        if (detail::isPlainAscii(run.data(), run.size(), returnsAreSeparators))
            return trimmedLatin1(run); // the common value: nothing to decode or fold
        if (isAllAscii(run) && run.find('&') == std::string_view::npos)
            return asciiValue(run, returnsAreSeparators);
    }
    std::optional<QString> decoded = decodeWithFallbacks(run, encoding, wasCut);
    if (!decoded)
        return QStringLiteral("");
    QString text = std::move(*decoded);
    if (text.contains(u'&'))
        unescapeInPlace(text);
    foldSeparators(text, returnsAreSeparators);
    text = std::move(text).trimmed();
    return text.isNull() ? QStringLiteral("") : text;
}

QString CrwlParser::stringFromBuffer(const detail::CaptureBuffer& buffer, bool returnsAreSeparators) const
{
    return unescapedStringFromBuffer(buffer.view(), useEncoding, returnsAreSeparators, buffer.wasCut());
}

QString CrwlParser::unescapeEntities(const QString& text)
{
    if (!text.contains(u'&'))
        return text;
    return gtm_stringByUnescapingFromHTML(text);
}

QString CrwlParser::gtm_stringByUnescapingFromHTML(const QString& text)
{
    if (!text.contains(u'&'))
        return text;
    QString out = text;
    unescapeInPlace(out);
    return out;
}

void CrwlParser::trimThisCharacter(char character, std::string& buffer)
{
    size_t end = buffer.size();
    while (end > 0 && buffer[end - 1] == character)
        --end;
    size_t start = 0;
    while (start < end && buffer[start] == character)
        ++start;
    buffer = buffer.substr(start, end - start);
}

void CrwlParser::trimThisCharacter(char character, QString& text)
{
    const QChar ch = QLatin1Char(character);
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1) == ch)
        --end;
    qsizetype start = 0;
    while (start < end && text.at(start) == ch)
        ++start;
    text = text.mid(start, end - start);
}

QStringList CrwlParser::splitSrcsFromSrcset(const QString& srcset)
{
    QStringList urls;
    if (srcset.contains(QLatin1StringView("data:image")))
        return urls;
    const QStringList pieces = srcset.split(u',');
    for (const QString& piece : pieces) {
        const QString trimmed = piece.trimmed();
        qsizetype end = 0;
        while (end < trimmed.size() && !trimmed.at(end).isSpace())
            ++end;
        const QString url = trimmed.left(end);
        if (!url.isEmpty() && !urls.contains(url))
            urls.append(url);
    }
    return urls;
}

std::pair<qsizetype, qsizetype> CrwlParser::firstURLOccurrenceInStyleSheetSource(const QString& text, qsizetype from)
{
    constexpr std::pair<qsizetype, qsizetype> notFound { -1, 0 };
    if (from < 0 || from >= text.size())
        return notFound;
    const qsizetype found = text.indexOf(QLatin1StringView("url("), from, Qt::CaseInsensitive);
    if (found < 0)
        return notFound;
    const qsizetype start = found + 4;
    if (start >= text.size())
        return notFound;
    const qsizetype close = text.indexOf(u')', start);
    if (close < 0)
        return notFound;
    return { start, close - start };
}

std::optional<QStringList> CrwlParser::extractURLsFromInlineStyles(const QString& style)
{
    QStringList urls;
    qsizetype from = 0;
    while (true) {
        const auto [start, length] = firstURLOccurrenceInStyleSheetSource(style, from);
        if (start < 0 || start >= style.size() - 5)
            break;
        const QString value = trimmingQuotesAndSpaces(QStringView(style).sliced(start, length));
        if (!value.isEmpty() && !value.contains(QLatin1StringView("data:")) && !value.contains(QLatin1StringView(".htc"))
            && !value.startsWith(u'#') && !value.startsWith(QLatin1StringView("%23")))
            urls.append(value);
        // Go on behind the ")" so that a short value cannot hide the next "url(".
        from = start + length + 1;
    }
    if (urls.isEmpty())
        return std::nullopt;
    return urls;
}

bool CrwlParser::openingBracketBeginsAComment() const
{
    return counter >= 0 && counter + 3 <= l && bytes.substr(static_cast<size_t>(counter), 3) == "!--";
}

bool CrwlParser::currentTagContainsCanonical() const
{
    if (counter >= l)
        return false;
    const std::string_view rest = bytes.substr(static_cast<size_t>(counter));
    const size_t close = rest.find('>');
    return detail::findIgnoringCase(rest.substr(0, close), "canonical") != std::string_view::npos;
}

QString CrwlParser::getTextContent() const
{
    return textContent.isNull() ? QStringLiteral("") : textContent;
}
