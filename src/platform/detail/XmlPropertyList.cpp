// The XML encoding of property lists: the checks made before libplist parses the text, and the parse.
#include "platform/detail/XmlPropertyList.h"

#include "platform/PropertyList.h"

#include <QByteArrayView>

#include <algorithm>
#include <cstring>
#include <vector>

namespace crawlmere::platform::detail {

namespace {

    // Structure checks made before libplist sees the bytes: its parsers, writers and plist_free
    // recurse once per nesting level and overflow the stack on deeply nested input.

// The text read as libplist's XML reader reads it, far enough to tell how deep the containers
// it builds are nested. Processing instructions, comments and the document type are skipped
// as libplist skips them (quoted text inside instructions, the document type and a tag's
// attributes included), the text of a value element up to its end tag, and the reading stops
// where libplist's stops. Reading on where libplist would stop can only raise the depth seen,
// never lower it, so only the places where libplist surely gives up end the walk.
class XmlNesting {
public:
    explicit XmlNesting(const QByteArray& bytes)
        : m_at(bytes.constData())
        , m_end(bytes.constData() + bytes.size())
    {
    }

    // The deepest nesting of containers the reading reaches, counted up to `stopAbove` + 1.
    int deepest(int stopAbove)
    {
        // Where new values go: the level of the container they join (the root is level 1),
        // 0 before the root. An empty root still takes the values that follow it.
        int level = 0;
        int deepest = 0;
        // The open elements, innermost last: a dictionary, an array or a <plist>.
        std::vector<Element> open;
        while (m_at < m_end) {
            skipSpace();
            if (m_at >= m_end || *m_at != '<' || ++m_at >= m_end)
                break;
            if (*m_at == '?') {
                if (!skipPast("?>", Quotes::Skipped))
                    break;
                continue;
            }
            if (*m_at == '!') {
                if (!skipDeclaration())
                    break;
                continue;
            }
            const Tag tag = readTag();
            if (!tag.read)
                break;
            const Element element = elementNamed(tag.name.startsWith('/') ? tag.name.sliced(1) : tag.name);
            if (tag.name.startsWith('/')) {
                // An end tag closes the innermost open element when it names it.
                if (open.empty() || open.back() != element)
                    break;
                open.pop_back();
                if (element != Element::PropertyList && --level == 0)
                    break; // the root is closed
                continue;
            }
            switch (element) {
            case Element::PropertyList:
                if ((open.empty() && level > 0) || tag.empty)
                    break; // a second top-level list, or an empty one, ends the reading
                open.push_back(element);
                continue;
            case Element::Dictionary:
            case Element::Array:
                if (tag.empty) {
                    level = std::max(level, 1);
                    continue;
                }
                open.push_back(element);
                deepest = std::max(deepest, ++level);
                if (deepest > stopAbove)
                    return deepest;
                continue;
            case Element::Value:
                // A root that is no container is the whole list.
                if (level > 0 && (tag.empty || skipValueText(tag.rawName)))
                    continue;
                break;
            case Element::Other:
                break;
            }
            break;
        }
        return deepest;
    }

private:
    enum class Quotes { Skipped, AsText };
    enum class Element { PropertyList, Dictionary, Array, Value, Other };
    struct Tag {
        bool read = false;
        bool empty = false;
        // The name as it stands, and as libplist compares it: up to a NUL byte.
        QByteArrayView rawName;
        QByteArrayView name;
    };

    static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    static Element elementNamed(QByteArrayView name)
    {
        if (name == "plist")
            return Element::PropertyList;
        if (name == "dict")
            return Element::Dictionary;
        if (name == "array")
            return Element::Array;
        for (const char* value : { "key", "string", "integer", "real", "true", "false", "data", "date" }) {
            if (name == QByteArrayView(value))
                return Element::Value;
        }
        return Element::Other;
    }

    void skipSpace()
    {
        while (m_at < m_end && isSpace(*m_at))
            ++m_at;
    }
    bool startsWith(QByteArrayView text) const
    {
        return m_end - m_at >= text.size() && QByteArrayView(m_at, text.size()) == text;
    }
    // From an opening double quote to its partner; false when the text ends first.
    bool skipQuoted()
    {
        const char* close = static_cast<const char*>(std::memchr(m_at + 1, '"', size_t(m_end - m_at - 1)));
        m_at = close ? close : m_end;
        return close != nullptr;
    }
    // To the first byte that is one of `stops`, stepping over quoted text when asked.
    bool skipTo(QByteArrayView stops, Quotes quotes)
    {
        for (; m_at < m_end; ++m_at) {
            if (quotes == Quotes::Skipped && *m_at == '"' && !skipQuoted())
                return false;
            if (stops.contains(*m_at))
                return true;
        }
        return false;
    }
    // Just past the next `terminator`, stepping over quoted text when asked.
    bool skipPast(QByteArrayView terminator, Quotes quotes)
    {
        for (; m_end - m_at >= terminator.size(); ++m_at) {
            if (QByteArrayView(m_at, terminator.size()) == terminator) {
                m_at += terminator.size();
                return true;
            }
            if (quotes == Quotes::Skipped && *m_at == '"' && !skipQuoted())
                return false;
        }
        return false;
    }
    // "<!": a comment or the document type (with its internal subset); anything else stops.
    bool skipDeclaration()
    {
        if (startsWith("!--") && m_end - m_at > 3) {
            m_at += 3;
            return skipPast("-->", Quotes::AsText);
        }
        if (!startsWith("!DOCTYPE") || m_end - m_at <= 8)
            return false;
        m_at += 8;
        while (skipTo(" \t\r\n[>", Quotes::Skipped)) {
            if (*m_at == '[')
                return skipPast("]>", Quotes::Skipped);
            if (*m_at == '>') {
                ++m_at;
                return true;
            }
            skipSpace();
        }
        return false;
    }
    // A start or end tag: its name up to white space, "<" or ">", then its attributes to ">".
    Tag readTag()
    {
        Tag tag;
        const char* begin = m_at;
        while (m_at < m_end && !isSpace(*m_at) && *m_at != '<' && *m_at != '>')
            ++m_at;
        if (m_at >= m_end)
            return tag;
        qsizetype length = m_at - begin;
        if (*m_at != '>' && !skipTo("<>", Quotes::Skipped))
            return tag;
        if (*m_at != '>')
            return tag;
        if (*(m_at - 1) == '/') {
            tag.empty = true;
            length = std::min(length, qsizetype(m_at - begin - 1));
        }
        ++m_at;
        tag.read = true;
        tag.rawName = QByteArrayView(begin, length);
        const qsizetype nul = tag.rawName.indexOf('\0');
        tag.name = nul < 0 ? tag.rawName : tag.rawName.first(nul);
        return tag;
    }
    // The text of a value element through its end tag: comments and CDATA sections may
    // interrupt it, any other markup stops the reading.
    bool skipValueText(QByteArrayView name)
    {
        for (;;) {
            const char* open = static_cast<const char*>(std::memchr(m_at, '<', size_t(m_end - m_at)));
            if (!open || open + 1 >= m_end)
                return false;
            m_at = open + 1;
            if (*m_at == '/')
                break;
            if (*m_at != '!' || ++m_at >= m_end - 1)
                return false;
            if (startsWith("--")) {
                m_at += 2;
                if (!skipPast("-->", Quotes::AsText))
                    return false;
            } else if (*m_at == '[' && m_end - m_at > 9 && QByteArrayView(m_at + 1, 6) == "CDATA[") {
                m_at += 7;
                if (!skipPast("]]>", Quotes::AsText))
                    return false;
            } else {
                return false;
            }
        }
        ++m_at;
        // The end tag is compared as C strings are: a NUL byte in both ends the comparison.
        if (m_end - m_at <= name.size())
            return false;
        for (qsizetype i = 0; i < name.size() && (i == 0 || name[i - 1] != '\0'); ++i) {
            if (m_at[i] != name[i])
                return false;
        }
        m_at += name.size();
        skipSpace();
        if (m_at >= m_end || *m_at != '>')
            return false;
        ++m_at;
        return true;
    }

    const char* m_at;
    const char* m_end;
};

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

int xmlNestingDepth(const QByteArray& bytes, int stopAbove) { return XmlNesting(bytes).deepest(stopAbove); }

Expected<NodePtr> readXmlPropertyList(const QByteArray& bytes)
{
    if (xmlNestingDepth(bytes, PropertyList::maximumDepth) > PropertyList::maximumDepth)
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
