// The XML encoding of property lists: the checks made before libplist parses the text, and the parse.
#pragma once

#include "platform/Expected.h"
#include "platform/detail/PlistNode.h"

#include <QByteArray>

namespace crawlmere::platform::detail {

/// Parses an XML property list into a libplist tree. Text nested deeper than
/// `PropertyList::maximumDepth`, text that is no property list, and a truncated or corrupt
/// list give an error instead of a tree.
Expected<NodePtr> readXmlPropertyList(const QByteArray& bytes);

} // namespace crawlmere::platform::detail
