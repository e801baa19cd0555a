// The pieces every HTML export shares: its head and foot, and the shortened text of a long
// address shown as a link.
#pragma once

#include <QString>

namespace crawlmere::engine {

/// An address longer than 50 characters as its first 23, "..." and its last 27 (53 in all);
/// a shorter one as it is. The shown text of a link in the HTML exports.
QString truncateURLByAddingElipsisInMiddle(const QString& text);

/// The opening of an HTML export up to and including `<body>`: a UTF-8 page titled `title`
/// (HTML-escaped here), "Data Export from Crawlmere" unless given.
QString htmlExportHead(const QString& title = QString());
/// The close of an HTML export: `</body></html>`.
QString htmlExportFoot();

} // namespace crawlmere::engine
