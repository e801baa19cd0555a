// Stateless URL text operations: Punycode, IDNA host names, splitting a URL string into parts,
// and percent-encoding and decoding of whole URL strings.
#pragma once

#include "platform/Url.h"

#include <QString>
#include <QStringView>

#include <bitset>
#include <optional>
#include <string>

/// The parts of a URL string as `PunycodeAdditions::URLParts` cuts it. The first four are
/// always present (possibly empty); the optional ones only when the string has them.
struct URLPartsDictionary {
    QString scheme; ///< text before the first ":" (without it), or ""
    QString delim; ///< the run of ":" and "/" after the scheme, or ""
    QString host; ///< the host, followed by ":" and the port when one is given
    QString path; ///< from the first "/" or "?" after the host up to "#": path and query
    std::optional<QString> username; ///< only with "@"
    std::optional<QString> password; ///< only with "@" and ":" before it
    std::optional<QString> fragment; ///< after "#", up to the first line break
};

/// ASCII characters that percent-encoding leaves alone; every other character (all non-ASCII
/// included) is written as "%HH" escapes of its UTF-8 bytes.
using URLAllowedCharacters = std::bitset<128>;

/// Punycode, IDNA and percent-encoding operations on URL strings. All functions are pure and
/// may be called from any thread.
class PunycodeAdditions {
public:
    /// Whether `URLParts` and `IDNAEncodedString` first apply Unicode compatibility composition
    /// (NFKC), from the application default `precomposedStringWithCompatibilityMapping`
    /// (registered NO). The application sets it at start-up and when the default changes.
    static void setPrecomposedStringWithCompatibilityMapping(bool on);
    static bool precomposedStringWithCompatibilityMapping();

    /// The Punycode form of the whole string (no "xn--" prefix), after the ignored code points
    /// are deleted; nullopt on overflow.
    static std::optional<QString> punycodeEncodedString(const QString& text);
    /// The decoded string; nullopt for invalid input.
    static std::optional<QString> punycodeDecodedString(const QString& text);

    /// The host with each label that holds a character outside U+0001..U+007F replaced by
    /// "xn--" and the Punycode form of its lower case (host names hold no case, UTS 46), so
    /// "B\u00dcCHER.de" and "b\u00fccher.de" give one host. Labels are cut at "." and "@", which
    /// stay in place; ASCII labels stay as written; no other nameprep step. A label whose
    /// encoding overflows stays as it is.
    static QString IDNAEncodedString(const QString& host);
    /// The host with each label that begins with "xn--" (any case) replaced by the decoding
    /// of the rest. A label that does not decode stays as it stands.
    static QString IDNADecodedString(const QString& host);

    /// Cuts a URL string into its parts (see `URLPartsDictionary`).
    static URLPartsDictionary URLParts(const QString& text);

    /// A path (and query) with lone "%" repaired and every other character outside the
    /// path-allowed set plus "%", "?" and "#" percent-encoded.
    static QString encodedPath(const QString& path);
    /// The whole URL in its encoded form: user and password percent-encoded, host in IDNA
    /// form, path as `encodedPath`, fragment percent-encoded.
    static QString encodedURLString(const QString& text);
    /// The whole URL in its readable form: user, password, path and fragment percent-decoded
    /// (tolerantly), host with its "xn--" labels decoded.
    static QString decodedURLString(const QString& text);
    /// Whether `decodedURLString` gives the text back unchanged: printable ASCII without "%"
    /// and without an "xn--" label (in any case). Thread-safe.
    static bool decodesToItself(const QString& text);
    /// `decodedURLString` of the URL's absolute string.
    static QString decodedURLString(const crawlmere::platform::Url& url);

    /// Percent-decoded; when that fails, decoded after lone "%" are repaired; when that fails
    /// too (bytes that are not UTF-8), the string unchanged.
    static QString qfStringByRemovingPercentEncoding(const QString& text);
    /// Every "%" not followed by two hexadecimal digits becomes "%25".
    static QString stringByReplacingLonePercents(const QString& text);
    /// Percent-encodes every character outside `allowed` (UTF-8 bytes, upper-case hex).
    static QString qfStringByAddingPercentEncodingWithAllowedCharacters(
        const QString& text, const URLAllowedCharacters& allowed);

    /// RFC 3986 sets: path = pchar and "/"; user and password = unreserved and sub-delims;
    /// fragment (and query) = pchar, "/" and "?".
    static const URLAllowedCharacters& qfURLPathAllowedCharacterSet();
    static const URLAllowedCharacters& URLUserAllowedCharacterSet();
    static const URLAllowedCharacters& URLPasswordAllowedCharacterSet();
    static const URLAllowedCharacters& URLFragmentAllowedCharacterSet();

    /// The string's code points (a character above U+FFFF counts as one); the count is the size.
    static std::u32string longCharactersWithCount(const QString& text);
    /// The string without the code points commonly mapped to nothing (RFC 3454 table B.1).
    static QString stringByDeletingIgnoredCharacters(const QString& text);

    /// A URL of the string's `encodedURLString`, or nullopt when that is not a valid URL.
    static std::optional<crawlmere::platform::Url> URLWithUnicodeString(const QString& text);
};
