// The XML encoding of property lists: the checks made before libplist parses the text, and the parse.
#pragma once

#include "platform/Expected.h"
#include "platform/detail/PlistNode.h"

#include <QByteArray>

namespace crawlmere::platform::detail {

/// The deepest nesting of dictionaries and arrays that libplist's reading of the text builds,
/// counted no further than `stopAbove` + 1. Markup libplist skips (processing instructions,
/// comments, the document type, quoted attribute text, CDATA) is skipped, and the count ends
/// where libplist's reading gives up.
int xmlNestingDepth(const QByteArray& bytes, int stopAbove);

/// Parses an XML property list into a libplist tree. Text nested deeper than
/// `PropertyList::maximumDepth`, text that is no property list, and a truncated or corrupt
/// list give an error instead of a tree.
Expected<NodePtr> readXmlPropertyList(const QByteArray& bytes);

} // namespace crawlmere::platform::detail
