// Binary property lists: the walk that checks a list's structure before libplist reads it, and the read.
#pragma once

#include "platform/Expected.h"
#include "platform/detail/PlistNode.h"

#include <QByteArray>

namespace crawlmere::platform::detail {

/// True when the bytes start with the binary magic "bplist00".
bool hasBinaryMagic(const QByteArray& bytes);

/// Reads a binary property list into a libplist tree. Offsets or references outside the file,
/// a container that contains itself, nesting past `PropertyList::maximumDepth` and a tree that
/// expands past the value or size limits give an error before libplist sees the bytes.
Expected<NodePtr> readBinaryPropertyList(const QByteArray& bytes);

} // namespace crawlmere::platform::detail
