// The XML encoding of property lists: the walk that reads the text as libplist's reader does,
// and the values it gives.
#include "platform/detail/XmlPropertyList.h"

#include "platform/PropertyList.h"

#include <QByteArrayView>
#include <QVariantList>
#include <QVariantMap>

#include <algorithm>
#include <cstring>
#include <vector>

namespace crawlmere::platform::detail {

namespace {

// The text read as libplist's XML reader reads it: processing instructions, comments and the
// document type skipped as it skips them (quoted text inside instructions, the document type and
// a tag's attributes included), end tags matched against the open elements, each key kept for
// the value after it, and the reading ended where libplist's ends. The walk hands on the
// structure as events and gathers the value elements (keys included) whole, in order: libplist
// reads their texts, and never sees a container, so no nesting reaches it.
class XmlWalk {
public:
    enum class EventKind { Value, Open, Empty, Close };
    struct Event {
        EventKind kind = EventKind::Value;
        bool dictionary = false; // for Open and Empty
        qint32 value = -1; // the value element's index, for Value
        qint32 key = -1; // the key element's index when the value joins a dictionary
    };

    explicit XmlWalk(const QByteArray& bytes)
        : m_at(bytes.constData())
        , m_end(bytes.constData() + bytes.size())
    {
    }

    /// Walks the text; false when libplist's reading fails on it, or once values are nested
    /// deeper than `stopAbove` containers (`deepest` and `tooDeep` say how deep it went).
    bool walk(int stopAbove)
    {
        // The elements libplist has open, innermost last: a dictionary, an array or a <plist>.
        std::vector<Element> open;
        // The containers values go into, innermost last (true for a dictionary): each open one,
        // and an empty root, which still takes the values that follow it.
        std::vector<bool> parents;
        qint32 key = -1;
        bool content = false;
        bool rootRead = false;
        const auto joins = [&](Event event) {
            // A value in a dictionary needs its key.
            if (parents.back() && key < 0)
                return false;
            event.key = parents.back() ? key : -1;
            events.push_back(event);
            return true;
        };
        while (m_at < m_end) {
            skipSpace();
            if (m_at >= m_end)
                break;
            if (*m_at != '<' || ++m_at >= m_end)
                return false;
            if (*m_at == '?') {
                if (!skipPast("?>", Quotes::Skipped))
                    return false;
                continue;
            }
            if (*m_at == '!') {
                if (!skipDeclaration())
                    return false;
                continue;
            }
            const char* tagStart = m_at - 1;
            const Tag tag = readTag();
            if (!tag.read)
                return false;
            const bool endTag = tag.name.startsWith('/');
            const Element element = elementNamed(endTag ? tag.name.sliced(1) : tag.name);
            if (element == Element::PropertyList) {
                if (!endTag) {
                    if (open.empty() && rootRead)
                        return true; // a second top-level list ends the reading
                    if (tag.empty)
                        return false;
                    open.push_back(element);
                    content = false;
                    continue;
                }
                if (!content || open.empty() || open.back() != element)
                    return false;
                open.pop_back();
                continue;
            }
            if (endTag) {
                // An end tag closes the innermost open element when it names it.
                if (open.empty() || open.back() != element)
                    return false;
                open.pop_back();
                parents.pop_back();
                events.push_back({ EventKind::Close });
                if (parents.empty())
                    return true; // the root is closed
                key = -1;
                continue;
            }
            if (element == Element::Other)
                return false;
            content = true;
            // A value as deep as this is refused when read, as a container that deep would be.
            if (qsizetype(parents.size()) > stopAbove) {
                m_tooDeep = true;
                return false;
            }
            if (element == Element::Value) {
                const qint32 index = qint32(m_valueCount++);
                if (!tag.empty && !skipValueText(tag.rawName))
                    return false;
                valueElements.append(QByteArrayView(tagStart, m_at - tagStart));
                if (tag.name == "key" && key < 0 && !parents.empty() && parents.back()) {
                    key = index;
                    continue;
                }
                if (!rootRead) {
                    events.push_back({ EventKind::Value, false, index, -1 });
                    return true; // a root that is no container is the whole list
                }
                if (!joins({ EventKind::Value, false, index, -1 }))
                    return false;
                key = -1;
                continue;
            }
            const bool dictionary = element == Element::Dictionary;
            if (rootRead && tag.empty) {
                if (!joins({ EventKind::Empty, dictionary }))
                    return false;
            } else {
                if (!rootRead)
                    events.push_back({ EventKind::Open, dictionary });
                else if (!joins({ EventKind::Open, dictionary }))
                    return false;
                rootRead = true;
                parents.push_back(dictionary);
                if (!tag.empty)
                    open.push_back(element);
                m_deepest = std::max(m_deepest, int(parents.size()));
            }
            key = -1;
        }
        // The text ended: every element must be closed, and a root read.
        return open.empty() && rootRead;
    }

    /// What the walk found, in the order of the text.
    std::vector<Event> events;
    /// The value elements, start tag to end tag, in the order of their indexes.
    QByteArray valueElements;
    int deepest() const { return m_deepest; }
    bool tooDeep() const { return m_tooDeep; }
    qsizetype valueCount() const { return m_valueCount; }

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
    int m_deepest = 0;
    bool m_tooDeep = false;
    qsizetype m_valueCount = 0;
};

// The tree the walk's events describe, with the values libplist read for its value elements.
class TreeBuilder {
public:
    explicit TreeBuilder(std::vector<QVariant> values)
        : m_values(std::move(values))
    {
    }

    QVariant build(const std::vector<XmlWalk::Event>& events)
    {
        using Kind = XmlWalk::EventKind;
        for (const XmlWalk::Event& event : events) {
            switch (event.kind) {
            case Kind::Open:
                m_open.push_back({ event.dictionary, {}, {}, event.key });
                break;
            case Kind::Close:
                closeInnermost();
                break;
            case Kind::Empty:
                add(event.dictionary ? QVariant(QVariantMap()) : QVariant(QVariantList()), event.key);
                break;
            case Kind::Value:
                add(m_values[size_t(event.value)], event.key);
                break;
            }
        }
        // An empty root, and what joined it, is closed by the end of the text.
        while (!m_open.empty())
            closeInnermost();
        // A dictionary whose one key is "CF$UID" and holds an integer is libplist's UID.
        if (m_root.typeId() == QMetaType::QVariantMap) {
            const QVariantMap map = m_root.toMap();
            const QVariant uid = map.value(QStringLiteral("CF$UID"));
            if (map.size() == 1 && (uid.typeId() == QMetaType::LongLong || uid.typeId() == QMetaType::ULongLong))
                return uid;
        }
        return m_root;
    }

private:
    struct Container {
        bool dictionary = false;
        QVariantList items;
        QVariantMap entries;
        qint32 key = -1; // where it goes in its parent
    };

    void add(QVariant value, qint32 key)
    {
        if (m_open.empty()) {
            m_root = std::move(value);
            return;
        }
        Container& parent = m_open.back();
        if (parent.dictionary)
            parent.entries.insert(m_values[size_t(key)].toString(), std::move(value));
        else
            parent.items.append(std::move(value));
    }

    void closeInnermost()
    {
        Container closed = std::move(m_open.back());
        m_open.pop_back();
        add(closed.dictionary ? QVariant(std::move(closed.entries)) : QVariant(std::move(closed.items)), closed.key);
    }

    std::vector<QVariant> m_values;
    std::vector<Container> m_open;
    QVariant m_root;
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

int xmlNestingDepth(const QByteArray& bytes, int stopAbove)
{
    XmlWalk walk(bytes);
    walk.walk(stopAbove);
    return walk.deepest() + (walk.tooDeep() ? 1 : 0);
}

Expected<QVariant> readXmlPropertyList(
    const QByteArray& bytes, const std::function<Expected<QVariant>(plist_t value)>& decodeValue)
{
    const QString corrupt = QStringLiteral("the XML property list is truncated or corrupt");
    XmlWalk walk(bytes);
    const bool whole = walk.walk(PropertyList::maximumDepth);
    if (walk.tooDeep() || walk.deepest() > PropertyList::maximumDepth)
        return Unexpected(PropertyList::tooDeepText());
    if (!looksLikeXmlPropertyList(bytes))
        return Unexpected(QStringLiteral("the data is not a property list"));
    // libplist accepts a document cut off after its root value; a whole one is closed.
    if (!bytes.contains("</plist>"))
        return Unexpected(QStringLiteral("the XML property list is truncated (no closing </plist>)"));
    if (!whole)
        return Unexpected(corrupt);
    // The value elements, read by libplist as the items of one array: its reading of each
    // value's text, and nothing it could nest or look up.
    std::vector<QVariant> values;
    values.reserve(size_t(walk.valueCount()));
    if (walk.valueCount() > 0) {
        const QByteArray list = "<plist><array>" + walk.valueElements + "</array></plist>";
        plist_t node = nullptr;
        plist_from_xml(list.constData(), uint32_t(list.size()), &node);
        const NodePtr array(node);
        if (!array || plist_get_node_type(array.get()) != PLIST_ARRAY
            || qsizetype(plist_array_get_size(array.get())) != walk.valueCount())
            return Unexpected(corrupt);
        plist_array_iter iterator = nullptr;
        plist_array_new_iter(array.get(), &iterator);
        const std::unique_ptr<void, MallocDeleter> iteratorOwner(iterator);
        for (qsizetype i = 0; i < walk.valueCount(); ++i) {
            plist_t item = nullptr;
            plist_array_next_item(array.get(), iterator, &item);
            if (!item)
                return Unexpected(corrupt);
            auto value = decodeValue(item);
            if (!value)
                return Unexpected(value.error());
            values.push_back(std::move(value).value());
        }
    }
    return TreeBuilder(std::move(values)).build(walk.events);
}

} // namespace crawlmere::platform::detail
