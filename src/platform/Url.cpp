#include "platform/Url.h"

#include "platform/Strings.h"

#include <QDir>
#include <QFileInfo>
#include <QVarLengthArray>

#include <array>
#include <optional>

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

/// A component of a URL string: its start (-1 for none) and length.
struct Span {
    int32_t start = -1;
    int32_t length = 0;
};

/// What one pass over a URL's characters finds.
struct CharacterScan {
    int32_t firstColon = -1; // the first ":" before any "/", "?" or "#"
    int32_t firstDelimiter = -1; // the first "/", "?" or "#"
    int32_t hash = -1;
    bool sawBracket = false; // "[" or "]" somewhere: allowed only around an IPv6 host
};

/// Checks every character against the allowed set, every "%" for two hexadecimal digits and
/// that at most one "#" occurs; nullopt when one of them fails.
std::optional<CharacterScan> scanCharacters(const char16_t* s, int32_t n)
{
    CharacterScan scan;
    for (int32_t i = 0; i < n; ++i) {
        const char16_t c = s[i];
        if (c >= 128)
            return std::nullopt;
        if (!(classes[c] & Allowed)) {
            if (c != u'[' && c != u']')
                return std::nullopt;
            scan.sawBracket = true;
            continue;
        }
        if (c == u'%') {
            if (i + 2 >= n || !hasClass(s[i + 1], Hex) || !hasClass(s[i + 2], Hex))
                return std::nullopt;
            i += 2;
        } else if (c == u'#') {
            if (scan.hash >= 0)
                return std::nullopt;
            scan.hash = i;
            if (scan.firstDelimiter < 0)
                scan.firstDelimiter = i;
        } else if (c == u'/' || c == u'?') {
            if (scan.firstDelimiter < 0)
                scan.firstDelimiter = i;
        } else if (c == u':' && scan.firstColon < 0 && scan.firstDelimiter < 0) {
            scan.firstColon = i;
        }
    }
    return scan;
}

/// Whether the text before `colon` is a scheme: a letter, then letters, digits, "+", "-", ".".
bool validScheme(const char16_t* s, int32_t colon)
{
    if (colon <= 0 || s[0] >= 128 || (s[0] | 0x20) < 'a' || (s[0] | 0x20) > 'z')
        return false;
    for (int32_t i = 1; i < colon; ++i) {
        if (!hasClass(s[i], SchemeChar))
            return false;
    }
    return true;
}

/// The parts of an authority, "[user[:password]@]host[:port]".
struct Authority {
    Span user;
    Span password;
    Span host;
    Span port;
    int32_t portValue = -1;
    bool ipv6 = false;
    int32_t end = 0; // where the authority stops: the first "/" or "?", or the end
};

/// The user part ends at the last "@" of the authority; a ":" in it starts the password.
void readUserInfo(const char16_t* s, int32_t start, int32_t stop, Authority& authority)
{
    for (int32_t at = stop - 1; at >= start; --at) {
        if (s[at] != u'@')
            continue;
        authority.user = { start, at - start };
        for (int32_t j = start; j < at; ++j) {
            if (s[j] == u':') {
                authority.user.length = j - start;
                authority.password = { j + 1, at - j - 1 };
                break;
            }
        }
        authority.host.start = at + 1;
        return;
    }
}

/// The host from `authority.host.start` up to `stop`, and where its port's ":" is (-1 for
/// none): a bracketed IPv6 literal (hexadecimal digits, ":" and "."), or a name up to its
/// first ":". False for a bad bracketed host.
bool readHost(const char16_t* s, int32_t stop, Authority& authority, int32_t& portColon)
{
    const int32_t hostStart = authority.host.start;
    int32_t hostEnd = stop;
    portColon = -1;
    if (hostStart < stop && s[hostStart] == u'[') {
        int32_t close = -1;
        for (int32_t i = hostStart + 1; i < stop && close < 0; ++i) {
            if (s[i] == u']')
                close = i;
            else if (!hasClass(s[i], Hex) && s[i] != u':' && s[i] != u'.')
                return false;
        }
        if (close < 0 || close == hostStart + 1)
            return false;
        authority.ipv6 = true;
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
    authority.host.length = hostEnd - hostStart;
    return true;
}

/// The port after `portColon` up to `stop`: all digits, at most 65535. An empty port
/// ("h.com:/") is no port. False for a bad one.
bool readPort(const char16_t* s, int32_t portColon, int32_t stop, Authority& authority)
{
    if (portColon < 0 || portColon + 1 >= stop)
        return true;
    int32_t value = 0;
    for (int32_t i = portColon + 1; i < stop; ++i) {
        const char16_t c = s[i];
        if (c < u'0' || c > u'9')
            return false;
        value = value * 10 + (c - u'0');
        if (value > 65535)
            return false;
    }
    authority.portValue = value;
    authority.port = { portColon + 1, stop - portColon - 1 };
    return true;
}

/// The authority that starts at `start` (after "//") and stops at the first "/" or "?" before
/// `end`; nullopt for a bad bracketed host or port.
std::optional<Authority> readAuthority(const char16_t* s, int32_t start, int32_t end)
{
    Authority authority;
    authority.end = start;
    while (authority.end < end && s[authority.end] != u'/' && s[authority.end] != u'?')
        ++authority.end;
    authority.host.start = start;
    readUserInfo(s, start, authority.end, authority);
    int32_t portColon = -1;
    if (!readHost(s, authority.end, authority, portColon) || !readPort(s, portColon, authority.end, authority))
        return std::nullopt;
    return authority;
}

/// Whether every "[" and "]" of the string lies inside `ipv6Host` (no host: none may occur).
bool bracketsOnlyAroundTheHost(const char16_t* s, int32_t n, Span ipv6Host)
{
    for (int32_t i = 0; i < n; ++i) {
        if ((s[i] == u'[' || s[i] == u']')
            && (ipv6Host.start < 0 || i < ipv6Host.start || i >= ipv6Host.start + ipv6Host.length))
            return false;
    }
    return true;
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
    const std::optional<CharacterScan> scan = scanCharacters(s, n);
    if (!scan)
        return false;

    const int32_t end = scan->hash >= 0 ? scan->hash : n;
    if (scan->hash >= 0) {
        m_fragmentStart = scan->hash + 1;
        m_fragmentLength = n - scan->hash - 1;
    }

    int32_t pos = 0;
    if (validScheme(s, scan->firstColon)) {
        m_schemeStart = 0;
        m_schemeLength = scan->firstColon;
        pos = scan->firstColon + 1;
    }

    if (pos + 1 < end && s[pos] == u'/' && s[pos + 1] == u'/') {
        const std::optional<Authority> authority = readAuthority(s, pos + 2, end);
        if (!authority)
            return false;
        m_authorityStart = pos + 2;
        m_authorityLength = authority->end - m_authorityStart;
        m_userStart = authority->user.start;
        m_userLength = authority->user.length;
        m_passwordStart = authority->password.start;
        m_passwordLength = authority->password.length;
        m_hostStart = authority->host.start;
        m_hostLength = authority->host.length;
        m_portStart = authority->port.start;
        m_portLength = authority->port.length;
        m_port = authority->portValue;
        m_ipv6 = authority->ipv6;
        pos = authority->end;
    }

    // Brackets may only enclose an IPv6 host; anywhere else they make the string invalid.
    if (scan->sawBracket && !bracketsOnlyAroundTheHost(s, n, m_ipv6 ? Span { m_hostStart, m_hostLength } : Span {}))
        return false;

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
