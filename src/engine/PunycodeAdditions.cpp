#include "engine/PunycodeAdditions.h"

#include "engine/detail/Punycode.h"
#include "platform/Strings.h"

#include <atomic>

using crawlmere::platform::Url;

namespace {

std::atomic<bool> compatibilityMapping { false };

URLAllowedCharacters charactersIn(std::string_view chars, bool alphanumerics = true)
{
    URLAllowedCharacters set;
    if (alphanumerics) {
        for (int c = 'a'; c <= 'z'; ++c)
            set.set(c);
        for (int c = 'A'; c <= 'Z'; ++c)
            set.set(c);
        for (int c = '0'; c <= '9'; ++c)
            set.set(c);
    }
    for (char c : chars)
        set.set(static_cast<unsigned char>(c));
    return set;
}

// RFC 3986: unreserved "-._~", sub-delims "!$&'()*+,;=", pchar adds ":" and "@".
const URLAllowedCharacters pathSet = charactersIn("-._~!$&'()*+,;=:@/");
const URLAllowedCharacters userSet = charactersIn("-._~!$&'()*+,;=");
const URLAllowedCharacters fragmentSet = charactersIn("-._~!$&'()*+,;=:@/?");
// What encodedURLString lets through unchanged in the path and in the fragment.
const URLAllowedCharacters encodedPathSet = pathSet | charactersIn("%?#", false);
const URLAllowedCharacters encodedFragmentSet = fragmentSet | charactersIn("%", false);

bool isIgnoredCodePoint(char16_t c)
{
    return c == 0x00AD || c == 0x034F || c == 0x1806 || (c >= 0x180B && c <= 0x180D)
        || (c >= 0x200B && c <= 0x200D) || c == 0x2060 || (c >= 0xFE00 && c <= 0xFE0F) || c == 0xFEFF;
}

bool isHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}

QString precomposedIfAsked(const QString& text)
{
    return compatibilityMapping.load(std::memory_order_relaxed) ? text.normalized(QString::NormalizationForm_KC)
                                                                 : text;
}

// Cuts a host at "." and "@" and hands each label to `convert`; the separators stay.
template <typename Convert>
QString mapLabels(const QString& host, Convert convert)
{
    QString out;
    out.reserve(host.size() + 8);
    qsizetype start = 0;
    for (qsizetype i = 0; i <= host.size(); ++i) {
        if (i < host.size() && host[i] != u'.' && host[i] != u'@')
            continue;
        const QString label = host.mid(start, i - start);
        out.append(convert(label));
        if (i < host.size())
            out.append(host[i]);
        start = i + 1;
    }
    return out;
}

} // namespace

void PunycodeAdditions::setPrecomposedStringWithCompatibilityMapping(bool on)
{
    compatibilityMapping.store(on, std::memory_order_relaxed);
}

bool PunycodeAdditions::precomposedStringWithCompatibilityMapping()
{
    return compatibilityMapping.load(std::memory_order_relaxed);
}

std::optional<QString> PunycodeAdditions::punycodeEncodedString(const QString& text)
{
    const std::u32string points = longCharactersWithCount(stringByDeletingIgnoredCharacters(text));
    return crawlmere::engine::detail::punycodeEncode(points);
}

std::optional<QString> PunycodeAdditions::punycodeDecodedString(const QString& text)
{
    const std::optional<std::u32string> points = crawlmere::engine::detail::punycodeDecode(text);
    if (!points)
        return std::nullopt;
    return QString::fromUcs4(points->data(), static_cast<qsizetype>(points->size()));
}

QString PunycodeAdditions::IDNAEncodedString(const QString& host)
{
    return mapLabels(precomposedIfAsked(host), [](const QString& label) {
        bool plain = true;
        for (QChar c : label) {
            if (c.unicode() == 0 || c.unicode() > 0x7F) {
                plain = false;
                break;
            }
        }
        if (plain)
            return label;
        const std::optional<QString> encoded = punycodeEncodedString(label);
        return encoded ? QStringLiteral("xn--") + *encoded : label;
    });
}

QString PunycodeAdditions::IDNADecodedString(const QString& host)
{
    return mapLabels(host, [](const QString& label) {
        if (!label.startsWith(QLatin1String("xn--"), Qt::CaseInsensitive))
            return label;
        const std::optional<QString> decoded = punycodeDecodedString(label.mid(4));
        // A label that does not decode is kept as it stands: dropping it would name another host.
        if (!decoded || decoded->isEmpty())
            return label;
        return *decoded;
    });
}

URLPartsDictionary PunycodeAdditions::URLParts(const QString& input)
{
    const QString text = precomposedIfAsked(input);
    const qsizetype n = text.size();
    URLPartsDictionary parts;
    parts.scheme = QString::fromLatin1("", 0);
    parts.delim = QString::fromLatin1("", 0);
    parts.host = QString::fromLatin1("", 0);
    parts.path = QString::fromLatin1("", 0);

    // Scheme, delimiter and host part. The first read stops at ":" or "/", and also at "?"
    //    or "#" so a query or fragment never becomes part of a host.
    qsizetype pos = 0;
    while (pos < n && text[pos] != u':' && text[pos] != u'/' && text[pos] != u'?' && text[pos] != u'#')
        ++pos;
    QString hostPart;
    if (pos > 0 && pos < n && text[pos] == u':') {
        parts.scheme = text.left(pos);
        const qsizetype delimStart = pos;
        while (pos < n && (text[pos] == u':' || text[pos] == u'/'))
            ++pos;
        parts.delim = text.mid(delimStart, pos - delimStart);
        const qsizetype hostStart = pos;
        while (pos < n && text[pos] != u'/' && text[pos] != u'?' && text[pos] != u'#')
            ++pos;
        hostPart = text.mid(hostStart, pos - hostStart);
    } else {
        hostPart = text.left(pos);
    }

    // The path (with the query) runs up to "#".
    const qsizetype hash = text.indexOf(u'#', pos);
    const qsizetype pathEnd = hash < 0 ? n : hash;
    if (pathEnd > pos)
        parts.path = text.mid(pos, pathEnd - pos);

    // The fragment stops at the first line break.
    if (hash >= 0) {
        qsizetype end = hash + 1;
        while (end < n && text[end] != u'\n' && text[end] != u'\r')
            ++end;
        parts.fragment = text.mid(hash + 1, end - hash - 1);
    }

    // User and password come before the last "@"; the password is everything after the
    //    first ":" of that part.
    const qsizetype at = hostPart.lastIndexOf(u'@');
    if (at >= 0) {
        const QString userPart = hostPart.left(at);
        const qsizetype colon = userPart.indexOf(u':');
        if (colon >= 0) {
            parts.username = userPart.left(colon);
            parts.password = userPart.mid(colon + 1);
        } else {
            parts.username = userPart;
        }
        parts.host = hostPart.mid(at + 1);
    } else if (!hostPart.isEmpty()) {
        parts.host = hostPart;
    }
    return parts;
}

QString PunycodeAdditions::encodedPath(const QString& path)
{
    return qfStringByAddingPercentEncodingWithAllowedCharacters(stringByReplacingLonePercents(path), encodedPathSet);
}

QString PunycodeAdditions::encodedURLString(const QString& text)
{
    const URLPartsDictionary parts = URLParts(text);
    QString out;
    out.reserve(text.size() + 16);
    out.append(parts.scheme);
    out.append(parts.delim);
    if (parts.username) {
        out.append(qfStringByAddingPercentEncodingWithAllowedCharacters(*parts.username, userSet));
        if (parts.password) {
            out.append(u':');
            out.append(qfStringByAddingPercentEncodingWithAllowedCharacters(*parts.password, userSet));
        }
        out.append(u'@');
    }
    out.append(IDNAEncodedString(parts.host));
    out.append(encodedPath(parts.path));
    if (parts.fragment) {
        out.append(u'#');
        // Lone "%" are repaired here as in the path, or the URL could not be made at all.
        out.append(qfStringByAddingPercentEncodingWithAllowedCharacters(
            stringByReplacingLonePercents(*parts.fragment), encodedFragmentSet));
    }
    return out;
}

bool PunycodeAdditions::decodesToItself(const QString& text)
{
    // One pass over the characters; "xn--" is looked for only where an "x" or "X" stands.
    const qsizetype size = text.size();
    const QChar* chars = text.constData();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = chars[i].unicode();
        if (c <= 0x20 || c >= 0x7F || c == u'%')
            return false;
        if ((c == u'x' || c == u'X') && i + 3 < size
            && QStringView(chars + i, 4).startsWith(QLatin1String("xn--"), Qt::CaseInsensitive))
            return false;
    }
    return true;
}

QString PunycodeAdditions::decodedURLString(const QString& text)
{
    // Printable ASCII without "%" or an "xn--" label decodes to itself: every part is put back
    // as it was cut. Most URLs are such, and the views decode one per cell.
    if (decodesToItself(text))
        return text;

    const URLPartsDictionary parts = URLParts(text);
    QString out;
    out.reserve(text.size());
    out.append(parts.scheme);
    out.append(parts.delim);
    if (parts.username) {
        out.append(qfStringByRemovingPercentEncoding(*parts.username));
        if (parts.password) {
            out.append(u':');
            out.append(qfStringByRemovingPercentEncoding(*parts.password));
        }
        out.append(u'@');
    }
    out.append(IDNADecodedString(parts.host));
    out.append(qfStringByRemovingPercentEncoding(parts.path));
    if (parts.fragment) {
        out.append(u'#');
        out.append(qfStringByRemovingPercentEncoding(*parts.fragment));
    }
    return out;
}

QString PunycodeAdditions::decodedURLString(const Url& url)
{
    return decodedURLString(url.absoluteString());
}

QString PunycodeAdditions::qfStringByRemovingPercentEncoding(const QString& text)
{
    namespace strings = crawlmere::platform::strings;
    if (std::optional<QString> decoded = strings::removingPercentEncoding(text))
        return *decoded;
    if (std::optional<QString> repaired = strings::removingPercentEncoding(stringByReplacingLonePercents(text)))
        return *repaired;
    return text;
}

QString PunycodeAdditions::stringByReplacingLonePercents(const QString& text)
{
    if (!text.contains(u'%'))
        return text;
    QString out;
    out.reserve(text.size() + 8);
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        out.append(c);
        if (c == u'%' && !(i + 2 < n && isHexDigit(text[i + 1]) && isHexDigit(text[i + 2])))
            out.append(QLatin1String("25"));
    }
    return out;
}

QString PunycodeAdditions::qfStringByAddingPercentEncodingWithAllowedCharacters(
    const QString& text, const URLAllowedCharacters& allowed)
{
    bool unchanged = true;
    for (QChar c : text) {
        if (c.unicode() >= 128 || !allowed.test(c.unicode())) {
            unchanged = false;
            break;
        }
    }
    if (unchanged)
        return text;
    static constexpr char hexDigits[] = "0123456789ABCDEF";
    const QByteArray utf8 = text.toUtf8();
    QString out;
    out.reserve(utf8.size() * 3);
    for (const char byte : utf8) {
        const auto b = static_cast<unsigned char>(byte);
        if (b < 128 && allowed.test(b)) {
            out.append(QChar(b));
        } else {
            out.append(u'%');
            out.append(QChar(hexDigits[b >> 4]));
            out.append(QChar(hexDigits[b & 15]));
        }
    }
    return out;
}

const URLAllowedCharacters& PunycodeAdditions::qfURLPathAllowedCharacterSet()
{
    return pathSet;
}

const URLAllowedCharacters& PunycodeAdditions::URLUserAllowedCharacterSet()
{
    return userSet;
}

const URLAllowedCharacters& PunycodeAdditions::URLPasswordAllowedCharacterSet()
{
    return userSet;
}

const URLAllowedCharacters& PunycodeAdditions::URLFragmentAllowedCharacterSet()
{
    return fragmentSet;
}

std::u32string PunycodeAdditions::longCharactersWithCount(const QString& text)
{
    std::u32string out;
    out.reserve(static_cast<size_t>(text.size()));
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(text[i + 1].unicode())) {
            out.push_back(QChar::surrogateToUcs4(c, text[i + 1].unicode()));
            ++i;
        } else {
            out.push_back(QChar::isSurrogate(c) ? char32_t(0xFFFD) : char32_t(c));
        }
    }
    return out;
}

QString PunycodeAdditions::stringByDeletingIgnoredCharacters(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (!isIgnoredCodePoint(c.unicode()))
            out.append(c);
    }
    return out;
}

std::optional<Url> PunycodeAdditions::URLWithUnicodeString(const QString& text)
{
    return Url::fromString(encodedURLString(text));
}
