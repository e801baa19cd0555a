#include "platform/Url.h"

#include "platform/Strings.h"

#include <QDir>
#include <QFileInfo>
#include <QVarLengthArray>

#include <array>

namespace crawlmere::platform {

namespace {

// Longest string accepted as a URL; longer text is not a link anyone can request.
constexpr qsizetype maxUrlLength = 8 * 1024 * 1024;

enum CharClass : uint8_t {
    Allowed = 1, // may appear anywhere in a URL
    SchemeChar = 2, // letter, digit, "+", "-", "."
    Hex = 4,
    PathAllowed = 8, // RFC 3986 pchar and "/", used for file paths
};

constexpr std::array<uint8_t, 128> makeClasses()
{
    std::array<uint8_t, 128> table {};
    for (int c = 'a'; c <= 'z'; ++c)
        table[c] |= Allowed | SchemeChar | PathAllowed;
    for (int c = 'A'; c <= 'Z'; ++c)
        table[c] |= Allowed | SchemeChar | PathAllowed;
    for (int c = '0'; c <= '9'; ++c)
        table[c] |= Allowed | SchemeChar | Hex | PathAllowed;
    for (int c = 'a'; c <= 'f'; ++c)
        table[c] |= Hex;
    for (int c = 'A'; c <= 'F'; ++c)
        table[c] |= Hex;
    for (char c : std::string_view("+-."))
        table[static_cast<uint8_t>(c)] |= SchemeChar;
    // unreserved, reserved, "%" and "#"; brackets are checked apart.
    for (char c : std::string_view("-_.!~*'();/?:@&=+$,%#"))
        table[static_cast<uint8_t>(c)] |= Allowed;
    for (char c : std::string_view("-_.~!$&'()*+,;=:@/"))
        table[static_cast<uint8_t>(c)] |= PathAllowed;
    return table;
}

constexpr std::array<uint8_t, 128> classes = makeClasses();

inline bool hasClass(char16_t c, uint8_t cls)
{
    return c < 128 && (classes[c] & cls) != 0;
}

// True when the path holds a "." or ".." segment, so dot removal has work to do.
bool hasDotSegment(QStringView path)
{
    const qsizetype n = path.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (path[i] != u'.' || (i > 0 && path[i - 1] != u'/'))
            continue;
        const qsizetype next = (i + 1 < n && path[i + 1] == u'.') ? i + 2 : i + 1;
        if (next == n || path[next] == u'/')
            return true;
    }
    return false;
}

// Removes "." segments and pairs of "segment/..", but keeps a ".." that has nothing left to
// climb over, so a path that goes above the root still shows it ("/../b.html").
QString removeDotSegments(QStringView path)
{
    const bool absolute = path.startsWith(u'/');
    QStringView rest = absolute ? path.mid(1) : path;
    QVarLengthArray<QStringView, 32> out;
    bool trailingSlash = false;
    while (true) {
        const qsizetype slash = rest.indexOf(u'/');
        const QStringView segment = slash < 0 ? rest : rest.left(slash);
        const bool last = slash < 0;
        if (segment == u".") {
            trailingSlash = last;
        } else if (segment == u"..") {
            if (!out.isEmpty() && out.back() != u"..")
                out.pop_back();
            else
                out.push_back(segment);
            trailingSlash = last;
        } else {
            out.push_back(segment);
            trailingSlash = false;
        }
        if (last)
            break;
        rest = rest.mid(slash + 1);
    }
    QString result;
    result.reserve(path.size());
    if (absolute)
        result.append(u'/');
    for (qsizetype i = 0; i < out.size(); ++i) {
        if (i > 0)
            result.append(u'/');
        result.append(out[i]);
    }
    if (trailingSlash && !out.isEmpty())
        result.append(u'/');
    return result;
}

} // namespace

std::optional<Url> Url::fromString(const QString& text)
{
    Url url;
    url.m_string = text;
    if (!url.parse())
        return std::nullopt;
    return url;
}

bool Url::parse()
{
    const qsizetype size = m_string.size();
    if (size == 0 || size > maxUrlLength)
        return false;
    const char16_t* s = reinterpret_cast<const char16_t*>(m_string.constData());
    const auto n = static_cast<int32_t>(size);

    // One pass over the characters: the allowed set, "%HH" escapes, a single "#", and the
    // positions of the first ":" and of the first "/", "?" or "#".
    int32_t firstColon = -1;
    int32_t firstDelimiter = -1; // "/", "?" or "#"
    int32_t hash = -1;
    bool sawBracket = false;
    for (int32_t i = 0; i < n; ++i) {
        const char16_t c = s[i];
        if (c >= 128)
            return false;
        if (!(classes[c] & Allowed)) {
            if (c != u'[' && c != u']')
                return false;
            sawBracket = true; // checked with the host below
            continue;
        }
        if (c == u'%') {
            if (i + 2 >= n || !hasClass(s[i + 1], Hex) || !hasClass(s[i + 2], Hex))
                return false;
            i += 2;
        } else if (c == u'#') {
            if (hash >= 0)
                return false;
            hash = i;
            if (firstDelimiter < 0)
                firstDelimiter = i;
        } else if (c == u'/' || c == u'?') {
            if (firstDelimiter < 0)
                firstDelimiter = i;
        } else if (c == u':' && firstColon < 0 && firstDelimiter < 0) {
            firstColon = i;
        }
    }

    const int32_t end = hash >= 0 ? hash : n;
    if (hash >= 0) {
        m_fragmentStart = hash + 1;
        m_fragmentLength = n - hash - 1;
    }

    int32_t pos = 0;
    if (firstColon > 0 && (s[0] < 128 && ((s[0] | 0x20) >= 'a' && (s[0] | 0x20) <= 'z'))) {
        bool schemeOk = true;
        for (int32_t i = 1; i < firstColon; ++i) {
            if (!hasClass(s[i], SchemeChar)) {
                schemeOk = false;
                break;
            }
        }
        if (schemeOk) {
            m_schemeStart = 0;
            m_schemeLength = firstColon;
            pos = firstColon + 1;
        }
    }

    if (pos + 1 < end && s[pos] == u'/' && s[pos + 1] == u'/') {
        const int32_t start = pos + 2;
        int32_t stop = start;
        while (stop < end && s[stop] != u'/' && s[stop] != u'?')
            ++stop;
        m_authorityStart = start;
        m_authorityLength = stop - start;

        int32_t hostStart = start;
        for (int32_t i = stop - 1; i >= start; --i) {
            if (s[i] == u'@') {
                m_userStart = start;
                m_userLength = i - start;
                for (int32_t j = start; j < i; ++j) {
                    if (s[j] == u':') {
                        m_userLength = j - start;
                        m_passwordStart = j + 1;
                        m_passwordLength = i - j - 1;
                        break;
                    }
                }
                hostStart = i + 1;
                break;
            }
        }

        int32_t hostEnd = stop;
        int32_t portColon = -1;
        if (hostStart < stop && s[hostStart] == u'[') {
            int32_t close = -1;
            for (int32_t i = hostStart + 1; i < stop; ++i) {
                if (s[i] == u']') {
                    close = i;
                    break;
                }
                if (!hasClass(s[i], Hex) && s[i] != u':' && s[i] != u'.')
                    return false;
            }
            if (close < 0 || close == hostStart + 1)
                return false;
            m_ipv6 = true;
            hostEnd = close + 1;
            if (hostEnd < stop) {
                if (s[hostEnd] != u':')
                    return false;
                portColon = hostEnd;
            }
        } else {
            for (int32_t i = hostStart; i < stop; ++i) {
                if (s[i] == u':') {
                    portColon = i;
                    hostEnd = i;
                    break;
                }
            }
        }
        m_hostStart = hostStart;
        m_hostLength = hostEnd - hostStart;

        if (portColon >= 0 && portColon + 1 < stop) {
            int32_t value = 0;
            for (int32_t i = portColon + 1; i < stop; ++i) {
                const char16_t c = s[i];
                if (c < u'0' || c > u'9')
                    return false;
                value = value * 10 + (c - u'0');
                if (value > 65535)
                    return false;
            }
            m_port = value;
            m_portStart = portColon + 1;
            m_portLength = stop - portColon - 1;
        }
        pos = stop;
    }

    // Brackets may only enclose an IPv6 host; anywhere else they make the string invalid.
    if (sawBracket) {
        for (int32_t i = 0; i < n; ++i) {
            if (s[i] != u'[' && s[i] != u']')
                continue;
            if (!m_ipv6 || i >= end || i < m_hostStart || i >= m_hostStart + m_hostLength)
                return false;
        }
    }

    int32_t pathEnd = end;
    for (int32_t i = pos; i < end; ++i) {
        if (s[i] == u'?') {
            pathEnd = i;
            m_queryStart = i + 1;
            m_queryLength = end - i - 1;
            break;
        }
    }
    m_pathStart = pos;
    m_pathLength = pathEnd - pos;
    return true;
}

std::optional<Url> Url::resolved(const QString& relative, const Url& base)
{
    if (!base.isValid())
        return std::nullopt;
    if (relative.isEmpty())
        return base.withoutFragment();
    const std::optional<Url> ref = fromString(relative);
    if (!ref)
        return std::nullopt;
    if (ref->hasScheme())
        return ref;

    const QStringView baseString(base.m_string);
    const QStringView refString(ref->m_string);
    QString result;
    result.reserve(base.m_string.size() + relative.size() + 1);
    // "scheme:" of the base.
    if (base.hasScheme())
        result.append(baseString.left(base.m_schemeLength + 1));

    if (ref->hasAuthority()) {
        result.append(refString);
        Url out;
        out.m_string = std::move(result);
        if (!out.parse())
            return std::nullopt;
        return out;
    }

    if (base.hasAuthority()) {
        result.append(u"//");
        result.append(baseString.mid(base.m_authorityStart, base.m_authorityLength));
    }

    const QStringView refPath = refString.mid(ref->m_pathStart, ref->m_pathLength);
    const QStringView basePath = baseString.mid(base.m_pathStart, base.m_pathLength);
    if (refPath.isEmpty()) {
        result.append(basePath);
        if (ref->hasQuery()) {
            result.append(u'?');
            result.append(refString.mid(ref->m_queryStart, ref->m_queryLength));
        } else if (base.hasQuery()) {
            result.append(u'?');
            result.append(baseString.mid(base.m_queryStart, base.m_queryLength));
        }
    } else {
        QString merged;
        QStringView path;
        if (refPath.startsWith(u'/')) {
            path = refPath;
        } else {
            merged.reserve(basePath.size() + refPath.size() + 1);
            if (base.hasAuthority() && basePath.isEmpty()) {
                merged.append(u'/');
            } else {
                const qsizetype slash = basePath.lastIndexOf(u'/');
                if (slash >= 0)
                    merged.append(basePath.left(slash + 1));
            }
            merged.append(refPath);
            path = merged;
        }
        if (hasDotSegment(path))
            result.append(removeDotSegments(path));
        else
            result.append(path);
        if (ref->hasQuery()) {
            result.append(u'?');
            result.append(refString.mid(ref->m_queryStart, ref->m_queryLength));
        }
    }
    if (ref->hasFragment()) {
        result.append(u'#');
        result.append(refString.mid(ref->m_fragmentStart, ref->m_fragmentLength));
    }

    Url out;
    out.m_string = std::move(result);
    if (!out.parse())
        return std::nullopt;
    return out;
}

std::optional<Url> Url::fromLocalFile(const QString& path)
{
    if (path.isEmpty())
        return std::nullopt;
    QString absolute = QDir::isAbsolutePath(path) ? path : QDir::currentPath() + u'/' + path;
    if (!absolute.endsWith(u'/') && QFileInfo(absolute).isDir())
        absolute.append(u'/');

    static constexpr char hexDigits[] = "0123456789ABCDEF";
    const QByteArray utf8 = absolute.toUtf8();
    QString encoded = QStringLiteral("file://");
    encoded.reserve(encoded.size() + utf8.size() * 3);
    for (const char byte : utf8) {
        const auto b = static_cast<uint8_t>(byte);
        if (b < 128 && (classes[b] & PathAllowed)) {
            encoded.append(QChar(b));
        } else {
            encoded.append(u'%');
            encoded.append(QChar(hexDigits[b >> 4]));
            encoded.append(QChar(hexDigits[b & 15]));
        }
    }
    return fromString(encoded);
}

bool Url::isFileUrl() const
{
    return m_schemeLength == 4
        && QStringView(m_string).left(4).compare(u"file", Qt::CaseInsensitive) == 0;
}

QString Url::toLocalFile() const
{
    if (!isFileUrl())
        return {};
    return decodedPath();
}

QString Url::resourceSpecifier() const
{
    if (!isValid())
        return {};
    return hasScheme() ? m_string.mid(m_schemeLength + 1) : m_string;
}

QString Url::host() const
{
    if (m_hostStart < 0 || m_hostLength == 0)
        return {};
    if (m_ipv6)
        return m_string.mid(m_hostStart + 1, m_hostLength - 2);
    return m_string.mid(m_hostStart, m_hostLength);
}

QString Url::hostWithBrackets() const
{
    if (m_hostStart < 0 || m_hostLength == 0)
        return {};
    return m_string.mid(m_hostStart, m_hostLength);
}

QString Url::path() const
{
    if (!isValid())
        return {};
    return m_pathLength == 0 ? QString::fromLatin1("", 0) : m_string.mid(m_pathStart, m_pathLength);
}

QString Url::decodedPath() const
{
    if (!isValid())
        return {};
    const std::optional<QString> decoded
        = strings::removingPercentEncoding(QStringView(m_string).mid(m_pathStart, m_pathLength));
    if (!decoded)
        return {};
    return decoded->isNull() ? QString::fromLatin1("", 0) : *decoded;
}

QString Url::lastPathComponent() const
{
    const QString decoded = decodedPath();
    return decoded.isNull() ? QString() : strings::lastPathComponent(decoded);
}

QString Url::pathExtension() const
{
    const QString decoded = decodedPath();
    return decoded.isNull() ? QString() : strings::pathExtension(decoded);
}

Url Url::withoutFragment() const
{
    if (m_fragmentStart < 0)
        return *this;
    Url copy = *this;
    copy.m_string.truncate(m_fragmentStart - 1);
    copy.m_fragmentStart = -1;
    copy.m_fragmentLength = 0;
    return copy;
}

} // namespace crawlmere::platform
