// The link rewriting of an exported page: one pass over its text that finds each attribute value
// where a link can stand, and replaces those that name a link of the page.
#pragma once

#include <QString>
#include <QStringView>

#include <functional>

namespace crawlmere::archive::detail {

/// What one link of a page becomes: `value` is the link as the page's scan reads it (character
/// references decoded, line breaks removed, trimmed); the answer is the new link as it should
/// read once decoded, or null to leave it as it is. Asked once per place.
using LinkReplacement = std::function<QString(const QString& value)>;

/// The page `text` with its links replaced, in one pass over the text (linear in its length).
///
/// A link is replaced only where it stands as a whole: the value of an attribute that holds
/// addresses (href, src, action, poster, …), one candidate of a srcset, the address of a meta
/// refresh's content, or a "url(" argument of a style attribute. A "src" value on the page's own
/// scheme ("//host/x") that is not replaced is given "https:"; a base element is taken out whole,
/// whatever the case and spacing of its tag. Nothing else of the page changes:
/// text, comments, scripts and style elements, tag names, other attributes and the "/>" of a
/// self-closing tag stay byte for byte. A value is read as a browser reads it (character
/// references such as "&#038;", "&AMP;" or "&eacute;" decoded) and the new one is written so that
/// it reads back as the replacement: "&" and the value's own quote are written as references, and
/// an unquoted value that needs quotes gets them.
QString rewritePageLinks(const QString& text, const LinkReplacement& replacementFor);

/// An attribute value as the page's scan reads a link from it: character references decoded, CR
/// and LF removed, white space trimmed.
QString decodedLinkValue(QStringView raw);

/// An address as a style sheet's "url(" argument holds it, quoted or not: the characters that
/// would end the argument percent-encoded, which leaves the address it names as it is.
QString cssArgumentText(const QString& address);

} // namespace crawlmere::archive::detail
