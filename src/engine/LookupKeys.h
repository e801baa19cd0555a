// The string operations behind the lookup keys of URL records: fragment and query trimming,
// the trailing-slash rule and session-id removal. The record and the hub both form their keys
// with these, so that the same URL always meets the same key.
#pragma once

#include <QString>

namespace crawlmere::engine {

/// Cuts the fragment off a URL string.
/// - no "#": unchanged;
/// - the first "#" followed by "!" or "/" (hash-bang and hash-path addresses): unchanged;
/// - the first "#" at the very start: "";
/// - a "#" right after "&" belongs to a character reference ("&#38;") and is passed over for
///   the next "#"; when none follows, unchanged;
/// - otherwise the text before that "#".
QString forceTrimHash(const QString& url);

/// What a record stores for a link URL or a redirect target:
/// - fewer than 2 characters, or holding "#!" anywhere: unchanged;
/// - `shouldTrimHash` off: unchanged (the query is not cut either);
/// - the fragment cut by `forceTrimHash`;
/// - with `trimQuery` and an internal URL, cut before the first "?".
QString trimHashQuery(const QString& url, bool shouldTrimHash, bool trimQuery, bool isInternal);

/// The URL string with its scheme and host in lower case (they are case-insensitive: "HTTP://H.COM/A"
/// names the page "http://h.com/A"); user, port, path, query and fragment as written. A string
/// without a scheme is returned as it is.
QString withLowerCaseSchemeAndHost(const QString& url);

/// The spelling a record keeps of a URL string: `withLowerCaseSchemeAndHost`, and a web address
/// (http, https, ftp) whose host is followed by nothing, a query or a fragment gets the path "/"
/// ("http://h.com", "http://h.com?q" and "http://h.com/" all name the page "http://h.com/", and
/// read alike whichever spelling is met first). Anything else as `withLowerCaseSchemeAndHost`.
QString withStoredSpelling(const QString& url);

/// The URL string without the user part of its authority: "http://u:pw@h.com/a" gives
/// "http://h.com/a" (the last "@" before the path ends the user part). A string without "//"
/// after its scheme, or without "@" in its authority, comes back as it is.
QString withoutUserInfo(const QString& url);

/// The key a URL string is filed under: its stored spelling (`withStoredSpelling`), without the
/// user part of a web address (http, https: "http://u@h.com/a" names the page
/// "http://h.com/a"; an FTP user picks an account and so keeps it), then one trailing "/"
/// dropped when `shouldIgnoreSlash` is on; nothing else (no decoding).
QString prepareUrlForLookup(const QString& url, bool shouldIgnoreSlash);

/// Removes the query parameter `name` ("sid" → "sid=…") from a URL string. An empty name
/// gives the URL unchanged. The name matches as a prefix of the parameter's name, as the
/// duplicate search expects. When the parameter comes first of several the result keeps
/// "?&" ("p?sid=1&a=2" → "p?&a=2"); when it is the last one the trailing "?"/"&" go.
QString removeSessionId(const QString& name, const QString& url);

} // namespace crawlmere::engine
