// The XML encoding of property lists: the checks made before libplist parses the text, and the parse.
#include "platform/detail/XmlPropertyList.h"

#include "platform/PropertyList.h"

#include <cstring>

namespace crawlmere::platform::detail {

namespace {

    // Structure checks made before libplist sees the bytes: its parsers, writers and plist_free
    // recurse once per nesting level and overflow the stack on deeply nested input.

    // Nesting depth of <array> and <dict> elements, skipping comments, CDATA and processing
    // instructions. Over-counting is harmless: it can only refuse input past the limit.
    bool xmlNestedTooDeep(const QByteArray& bytes)
    {
        const char* data = bytes.constData();
        const qsizetype size = bytes.size();
        auto startsWith = [&](qsizetype at, const char* literal) {
            for (qsizetype i = 0; literal[i]; ++i) {
                if (at + i >= size || data[at + i] != literal[i])
                    return false;
            }
            return true;
        };
        auto skipPast = [&](qsizetype from, const char* terminator) {
            const qsizetype found = bytes.indexOf(terminator, from);
            return found < 0 ? size : found + qsizetype(std::strlen(terminator));
        };
        int depth = 0;
        qsizetype i = 0;
        while (i < size) {
            const qsizetype open = bytes.indexOf('<', i);
            if (open < 0)
                break;
            if (startsWith(open, "<!--")) {
                i = skipPast(open + 4, "-->");
                continue;
            }
            if (startsWith(open, "<![CDATA[")) {
                i = skipPast(open + 9, "]]>");
                continue;
            }
            const qsizetype close = bytes.indexOf('>', open);
            if (close < 0)
                break;
            const bool closing = startsWith(open, "</");
            const qsizetype nameStart = open + (closing ? 2 : 1);
            const bool container = startsWith(nameStart, "array") || startsWith(nameStart, "dict");
            if (container) {
                if (closing)
                    depth = depth > 0 ? depth - 1 : 0;
                else if (data[close - 1] != '/' && ++depth > PropertyList::maximumDepth)
                    return true;
            }
            i = close + 1;
        }
        return false;
    }

    // XML markup that opens a property list: after an optional byte-order mark and white space
    // comes "<", and a "<plist" element follows somewhere. Other bytes are no property list at
    // all, rather than a truncated one.
    bool looksLikeXmlPropertyList(const QByteArray& bytes)
    {
        qsizetype at = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
        while (at < bytes.size() && (bytes[at] == ' ' || bytes[at] == '\t' || bytes[at] == '\n' || bytes[at] == '\r'))
            ++at;
        return at < bytes.size() && bytes[at] == '<' && bytes.indexOf("<plist", at) >= 0;
    }

} // namespace

Expected<NodePtr> readXmlPropertyList(const QByteArray& bytes)
{
    if (xmlNestedTooDeep(bytes))
        return Unexpected(
            QStringLiteral("the property list is nested deeper than %1 levels").arg(PropertyList::maximumDepth));
    plist_t node = nullptr;
    if (!looksLikeXmlPropertyList(bytes))
        return Unexpected(QStringLiteral("the data is not a property list"));
    // libplist accepts a document cut off after its root value; a whole one is closed.
    if (!bytes.contains("</plist>"))
        return Unexpected(QStringLiteral("the XML property list is truncated (no closing </plist>)"));
    plist_from_xml(bytes.constData(), uint32_t(bytes.size()), &node);
    NodePtr root(node);
    if (!root)
        return Unexpected(QStringLiteral("the XML property list is truncated or corrupt"));
    return root;
}

} // namespace crawlmere::platform::detail
