// A URL object with the classic desktop semantics: strict parsing that can fail, components as
// written, relative resolution that keeps a "/../" climbing above the root, and file URLs.
#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

namespace crawlmere::platform {

/// An immutable URL: the string exactly as written (or as resolution composed it) plus the
/// offsets of its components, so copying is one implicitly shared QString and a few integers.
///
/// Parsing (`fromString`) follows the classic RFC 1738/1808/2396 rules and fails on:
///  - the empty string;
///  - any character outside printable ASCII (space, controls, DEL, non-ASCII letters);
///  - any of `"<>\^`{|}` and a "[" or "]" anywhere but around an IPv6 host;
///  - a "%" not followed by two hexadecimal digits (the caller repairs lone "%" first);
///  - a second "#" (a fragment cannot hold "#");
///  - a port that is not all digits or is above 65535 (an empty port, "h.com:/", is allowed
///    and means no port);
///  - a bracketed host that is not an IPv6 address (hex digits, ":" and ".").
/// Nothing is normalised: no case folding, no decoding, no dot-segment removal; the string
/// comes back from `absoluteString()` exactly as given.
///
/// A string whose text before the first ":" (with no "/", "?" or "#" before it) is a valid
/// scheme (a letter, then letters, digits, "+", "-", ".") has that scheme, so "localhost:8080"
/// has the scheme "localhost". Anything else is a relative reference (no scheme), which parses
/// too. After the scheme, "//" starts an authority: [user[:password]@]host[:port], where the
/// last "@" ends the user part. Without "//" the URL has no authority and its path is the rest
/// (for "mailto:a@b.com" the path is "a@b.com" and the host is missing).
///
/// Absent components come back as null QStrings (`isNull()`), present but empty ones as empty
/// non-null QStrings, as the platform gives nil and "" apart: "http://h.com/?" has an empty
/// query, "http://h.com/" has none. An empty host ("file:///tmp") counts as no host.
class Url {
public:
    /// An invalid URL; `isValid()` is false and every component is null.
    Url() = default;

    /// Parses `text`; nullopt when it is not a valid URL (see the class comment).
    static std::optional<Url> fromString(const QString& text);

    /// Resolves `relative` against `base` (RFC 3986 section 5.2 with one difference): the
    /// dot-segment removal keeps every ".." that would climb above the root, so
    /// "http://h.com/a.html" + "../b.html" gives "http://h.com/../b.html" and
    /// "../../b.html" gives "http://h.com/../../b.html" (the up-a-directory repair deletes them).
    ///  - `relative` with a scheme: taken as it stands, not normalised;
    ///  - "//host/x" (scheme-relative): the base's scheme in front, not normalised;
    ///  - "/x": the base's scheme and authority, dot segments removed;
    ///  - "x", "../x", "./x": merged with the base's directory, dot segments removed;
    ///  - "?q": the base's path with the new query; "#f": the base without its fragment, then "#f";
    ///  - "": the base without its fragment.
    /// Fails when `relative` is not a valid URL string or `base` is invalid.
    static std::optional<Url> resolved(const QString& relative, const Url& base);
    /// Same as the static form with this URL as the base.
    std::optional<Url> resolved(const QString& relative) const { return resolved(relative, *this); }

    /// A "file://" URL for a local path. A relative path is taken from the current directory;
    /// characters outside the path-allowed set (RFC 3986 pchar and "/") are percent-encoded,
    /// "%" included, so the path round-trips through `toLocalFile()`. A path naming an existing
    /// directory gets a trailing "/". Fails only for an empty path.
    static std::optional<Url> fromLocalFile(const QString& path);

    bool isValid() const { return !m_string.isEmpty(); }
    /// True when the URL has a scheme (and so is absolute).
    bool hasScheme() const { return m_schemeLength > 0; }
    /// True when the scheme is "file", in any letter case.
    bool isFileUrl() const;
    /// The percent-decoded path of a file URL; a null QString for other URLs or when the path
    /// does not decode (bad escape or invalid UTF-8).
    QString toLocalFile() const;

    /// The whole string as written or as resolution composed it.
    const QString& absoluteString() const { return m_string; }
    /// Alias of `absoluteString()`.
    const QString& toString() const { return m_string; }

    /// Scheme as written (case kept), without ":"; null when none.
    QString scheme() const { return part(m_schemeStart, m_schemeLength); }
    /// Everything after "scheme:"; the whole string for a relative reference.
    QString resourceSpecifier() const;
    /// True when the URL has "//" and an authority (possibly empty).
    bool hasAuthority() const { return m_authorityStart >= 0; }
    /// The authority as written ("user:pw@[::1]:8080"); null without one.
    QString authority() const { return part(m_authorityStart, m_authorityLength); }
    /// User name as written (still percent-encoded); null without "@".
    QString user() const { return part(m_userStart, m_userLength); }
    /// Password as written; null without ":" in the user part.
    QString password() const { return part(m_passwordStart, m_passwordLength); }
    /// Host as written, case kept, still percent-encoded; an IPv6 host without its brackets
    /// ("::1"), as the platform gives it. Null when the URL has no host or an empty one.
    QString host() const;
    /// The host as it appears in the string, brackets included for IPv6 ("[::1]"); null as `host()`.
    QString hostWithBrackets() const;
    /// True when the host is a bracketed IPv6 literal.
    bool isIpv6Host() const { return m_ipv6; }
    /// The port when the URL carries one ("h.com:8080"); nullopt for none or an empty port.
    std::optional<int> port() const
    {
        return m_port >= 0 ? std::optional<int>(m_port) : std::nullopt;
    }
    /// The port's text as written ("8080", "080"); null when `port()` is nullopt.
    QString portText() const { return part(m_portStart, m_portLength); }
    /// Path as written (percent-encoded, trailing "/" kept, ";params" included); "" when empty.
    QString path() const;
    /// The path percent-decoded; a null QString when it does not decode.
    QString decodedPath() const;
    /// Query without "?"; null without "?", "" for a bare "?".
    QString query() const { return part(m_queryStart, m_queryLength); }
    /// Fragment without "#"; null without "#", "" for a bare "#".
    QString fragment() const { return part(m_fragmentStart, m_fragmentLength); }
    bool hasQuery() const { return m_queryStart >= 0; }
    bool hasFragment() const { return m_fragmentStart >= 0; }

    /// Last component of the decoded path, as the platform's path functions give it
    /// ("/a/b.html" → "b.html", "/a/" → "a", "/" → "/", "" → "").
    QString lastPathComponent() const;
    /// Extension of `lastPathComponent()` ("b.tar.gz" → "gz"; none → "").
    QString pathExtension() const;

    /// This URL with its fragment (and "#") removed; the same URL when it has none.
    Url withoutFragment() const;

    /// Exact comparison of the strings.
    friend bool operator==(const Url& a, const Url& b) { return a.m_string == b.m_string; }

private:
    QString part(int32_t start, int32_t length) const
    {
        return start < 0 ? QString() : m_string.mid(start, length);
    }
    bool parse();

    QString m_string;
    int32_t m_schemeStart = -1;
    int32_t m_schemeLength = 0;
    int32_t m_authorityStart = -1;
    int32_t m_authorityLength = 0;
    int32_t m_userStart = -1;
    int32_t m_userLength = 0;
    int32_t m_passwordStart = -1;
    int32_t m_passwordLength = 0;
    int32_t m_hostStart = -1;
    int32_t m_hostLength = 0;
    int32_t m_portStart = -1;
    int32_t m_portLength = 0;
    int32_t m_port = -1;
    int32_t m_pathStart = 0;
    int32_t m_pathLength = 0;
    int32_t m_queryStart = -1;
    int32_t m_queryLength = 0;
    int32_t m_fragmentStart = -1;
    int32_t m_fragmentLength = 0;
    bool m_ipv6 = false;
};

} // namespace crawlmere::platform
