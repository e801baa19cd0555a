// The synchronous page load shared by the parsers that fetch their own page.
#pragma once

#include "platform/TextEncoding.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace crawlmere::parsing::detail {

/// An HTML page loaded for a parser: its bytes and the encoding its response names (UTF-8 when
/// it names none).
struct HtmlPage {
    QByteArray body;
    platform::EncodingId encoding = 0;
};

/// True when the upper-cased path extension of `url` is one of DOC, MOV, WAV, MP3, ZIP, MPG,
/// MP4, PDF: such files are never parsed as pages, and nothing is requested for them.
bool isSkippedPageExtension(const QString& url);

/// Loads `url` synchronously on the caller's thread (no cache, `timeoutSeconds`, the
/// `userAgentString` default as User-Agent, cookies handled). nullopt for a skipped extension
/// (no request made), a URL that cannot be made even percent-escaped ("url is badly formed"),
/// no body, an HTTP response without Content-Type ("can't establish content type for %1") or
/// with one that does not hold "html". A local file (no header block) is typed by its name.
/// Not on the network thread.
std::optional<HtmlPage> loadHtmlPage(const QString& url, double timeoutSeconds);

} // namespace crawlmere::parsing::detail
