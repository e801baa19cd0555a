// The XML encoding of property lists: a walk of the text as libplist reads it, and the values it gives.
#pragma once

#include "platform/Expected.h"
#include "platform/detail/PlistNode.h"

#include <QByteArray>
#include <QVariant>

#include <functional>

namespace crawlmere::platform::detail {

/// How deep libplist's reading of the text would nest dictionaries and arrays, counted no
/// further than `stopAbove` + 1. Markup libplist skips (processing instructions, comments, the
/// document type, quoted attribute text, CDATA) is skipped, and the count ends where libplist's
/// reading gives up.
int xmlNestingDepth(const QByteArray& bytes, int stopAbove);

/// Reads an XML property list as libplist reads it, in time that grows with the text: the
/// structure by a walk of its own, each value element's text by libplist (`decodeValue` turns
/// each of those nodes into a value). Text nested deeper than `PropertyList::maximumDepth`, text
/// that is no property list, and a truncated or corrupt list give an error.
Expected<QVariant> readXmlPropertyList(
    const QByteArray& bytes, const std::function<Expected<QVariant>(plist_t value)>& decodeValue);

} // namespace crawlmere::platform::detail
