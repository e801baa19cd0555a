#include "platform/PropertyList.h"

#include "platform/AtomicFile.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QStringList>
#include <QTimeZone>
#include <QUrl>

#include <plist/plist.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace crawlmere::platform {

namespace {

    struct NodeDeleter {
        void operator()(plist_t node) const
        {
            if (node)
                plist_free(node);
        }
    };
    using NodePtr = std::unique_ptr<void, NodeDeleter>;

    struct MallocDeleter {
        void operator()(void* pointer) const { std::free(pointer); }
    };

    // Seconds from the Unix epoch to the property-list reference date 2001-01-01T00:00:00Z.
    constexpr qint64 referenceDateOffsetMs = qint64(978307200) * 1000;

    const QByteArray binaryMagic = QByteArrayLiteral("bplist00");

    QString childPath(const QString& parent, const QString& child)
    {
        return parent.isEmpty() ? child : parent + QLatin1Char('/') + child;
    }

    QString describe(const QString& where) { return where.isEmpty() ? QStringLiteral("the root value") : where; }

    // ---------------------------------------------------------------------------------------------
    // QVariant -> libplist

    struct Encoder {
        QString error;
        qint64 payloadBytes = 0;

        plist_t fail(const QString& message)
        {
            if (error.isEmpty())
                error = message;
            return nullptr;
        }

        bool account(qint64 bytes, const QString& where)
        {
            payloadBytes += bytes;
            if (payloadBytes > PropertyList::maximumSize) {
                fail(QStringLiteral("the value is larger than %1 bytes (at %2)")
                         .arg(PropertyList::maximumSize)
                         .arg(describe(where)));
                return false;
            }
            return true;
        }

        plist_t string(const QString& text, const QString& where)
        {
            if (text.contains(QChar(0)))
                return fail(QStringLiteral("a string containing U+0000 has no property-list form (at %1)")
                                .arg(describe(where)));
            const QByteArray utf8 = text.toUtf8();
            if (!account(utf8.size(), where))
                return nullptr;
            return plist_new_string(utf8.constData());
        }

        plist_t unsignedInteger(quint64 value)
        {
            if (value <= quint64(std::numeric_limits<qint64>::max()))
                return plist_new_uint(value);
            // libplist's constructor marks every integer as signed, which would write this value as a
            // negative number. Its XML reader marks large positive literals as unsigned, so build the
            // node through it.
            const QByteArray xml = QByteArrayLiteral("<plist version=\"1.0\"><integer>") + QByteArray::number(value)
                + QByteArrayLiteral("</integer></plist>");
            plist_t node = nullptr;
            plist_from_xml(xml.constData(), uint32_t(xml.size()), &node);
            if (!node)
                return fail(QStringLiteral("cannot encode the integer %1").arg(value));
            return node;
        }

        plist_t date(const QDateTime& dateTime, const QString& where)
        {
            if (!dateTime.isValid())
                return fail(QStringLiteral("an invalid date has no property-list form (at %1)").arg(describe(where)));
            const qint64 ms = dateTime.toMSecsSinceEpoch() - referenceDateOffsetMs;
            const qint64 seconds = ms / 1000; // truncates toward zero; the fraction keeps the sign
            const qint64 micros = (ms % 1000) * 1000;
            if (seconds < std::numeric_limits<int32_t>::min() || seconds > std::numeric_limits<int32_t>::max())
                return fail(QStringLiteral("the date %1 is outside the property-list range (at %2)")
                                .arg(dateTime.toUTC().toString(Qt::ISODate), describe(where)));
            return plist_new_date(int32_t(seconds), int32_t(micros));
        }

        plist_t array(const QVariantList& items, int depth, const QString& where)
        {
            NodePtr node(plist_new_array());
            for (qsizetype i = 0; i < items.size(); ++i) {
                plist_t child = encode(items.at(i), depth + 1, childPath(where, QString::number(i)));
                if (!child)
                    return nullptr;
                plist_array_append_item(node.get(), child);
            }
            return node.release();
        }

        template <typename Map> plist_t dictionary(const Map& map, int depth, const QString& where)
        {
            NodePtr node(plist_new_dict());
            for (auto it = map.cbegin(); it != map.cend(); ++it) {
                const QString key = it.key();
                const QString path = childPath(where, key);
                if (key.contains(QChar(0)))
                    return fail(QStringLiteral("a dictionary key containing U+0000 has no property-list form (at %1)")
                                    .arg(describe(where)));
                const QByteArray utf8Key = key.toUtf8();
                if (!account(utf8Key.size(), path))
                    return nullptr;
                plist_t child = encode(it.value(), depth + 1, path);
                if (!child)
                    return nullptr;
                plist_dict_set_item(node.get(), utf8Key.constData(), child);
            }
            return node.release();
        }

        plist_t encode(const QVariant& value, int depth, const QString& where)
        {
            if (depth > PropertyList::maximumDepth)
                return fail(QStringLiteral("the value is nested deeper than %1 levels (at %2)")
                                .arg(PropertyList::maximumDepth)
                                .arg(describe(where)));
            switch (value.typeId()) {
            case QMetaType::QVariantMap:
                return dictionary(value.toMap(), depth, where);
            case QMetaType::QVariantHash: {
                // Sorted like a QVariantMap so that the output does not depend on hashing.
                const QVariantHash hash = value.toHash();
                QVariantMap sorted;
                for (auto it = hash.cbegin(); it != hash.cend(); ++it)
                    sorted.insert(it.key(), it.value());
                return dictionary(sorted, depth, where);
            }
            case QMetaType::QVariantList:
                return array(value.toList(), depth, where);
            case QMetaType::QStringList: {
                QVariantList items;
                for (const QString& text : value.toStringList())
                    items.append(text);
                return array(items, depth, where);
            }
            case QMetaType::QString:
                return string(value.toString(), where);
            case QMetaType::QUrl:
                return string(value.toUrl().toString(QUrl::FullyEncoded), where);
            case QMetaType::QByteArray: {
                const QByteArray bytes = value.toByteArray();
                if (!account(bytes.size(), where))
                    return nullptr;
                return plist_new_data(bytes.constData(), uint64_t(bytes.size()));
            }
            case QMetaType::Bool:
                return plist_new_bool(value.toBool() ? 1 : 0);
            case QMetaType::Int:
            case QMetaType::Long:
            case QMetaType::LongLong:
            case QMetaType::Short:
            case QMetaType::Char:
            case QMetaType::SChar:
                return plist_new_uint(uint64_t(value.toLongLong()));
            case QMetaType::UInt:
            case QMetaType::ULong:
            case QMetaType::ULongLong:
            case QMetaType::UShort:
            case QMetaType::UChar:
                return unsignedInteger(value.toULongLong());
            case QMetaType::Double:
            case QMetaType::Float: {
                const double real = value.toDouble();
                if (!std::isfinite(real))
                    return fail(
                        QStringLiteral("a non-finite real has no property-list form (at %1)").arg(describe(where)));
                return plist_new_real(real);
            }
            case QMetaType::QDateTime:
                return date(value.toDateTime(), where);
            case QMetaType::QDate:
                return date(value.toDate().startOfDay(QTimeZone::utc()), where);
            default:
                break;
            }
            if (!value.isValid())
                return fail(QStringLiteral("an empty value has no property-list form (at %1)").arg(describe(where)));
            return fail(QStringLiteral("a value of type %1 has no property-list form (at %2)")
                            .arg(QString::fromLatin1(value.metaType().name()), describe(where)));
        }
    };

    Expected<NodePtr> encode(const QVariant& value)
    {
        Encoder encoder;
        NodePtr node(encoder.encode(value, 0, QString()));
        if (!node)
            return Unexpected(encoder.error.isEmpty() ? QStringLiteral("cannot encode the value") : encoder.error);
        return node;
    }

    // ---------------------------------------------------------------------------------------------
    // libplist -> QVariant

    // libplist 2.2 keeps whether an integer is signed but has no getter for it; its XML writer
    // shows it, so values with the top bit set are told apart through a one-node XML rendering.
    bool isNegativeInteger(plist_t node)
    {
        NodePtr copy(plist_copy(node));
        if (!copy)
            return false;
        char* xml = nullptr;
        uint32_t length = 0;
        plist_to_xml(copy.get(), &xml, &length);
        if (!xml)
            return false;
        std::unique_ptr<char, MallocDeleter> owner(xml);
        return QByteArray::fromRawData(xml, qsizetype(length)).contains("<integer>-");
    }

    // For a date less than a second from the reference date, the getter cannot say on which side
    // it lies (and libplist's comparison helper uses the same getter). The binary form stores the
    // value as a big-endian double right after the header: read its sign bit there.
    bool isWithinSecondBeforeReference(plist_t node)
    {
        NodePtr copy(plist_copy(node));
        if (!copy)
            return false;
        char* bytes = nullptr;
        uint32_t length = 0;
        plist_to_bin(copy.get(), &bytes, &length);
        if (!bytes)
            return false;
        std::unique_ptr<char, MallocDeleter> owner(bytes);
        constexpr uint32_t objectOffset = 8; // after "bplist00"
        if (length < objectOffset + 9 || static_cast<unsigned char>(bytes[objectOffset]) != 0x33)
            return false;
        return (static_cast<unsigned char>(bytes[objectOffset + 1]) & 0x80) != 0;
    }

    QDateTime readDate(plist_t node)
    {
        int32_t seconds = 0;
        int32_t micros = 0;
        plist_get_date_val(node, &seconds, &micros);
        // The getter returns the fraction without its sign; the sign is the date's.
        const bool negative = seconds < 0 || (seconds == 0 && micros != 0 && isWithinSecondBeforeReference(node));
        const qint64 magnitudeMicros = std::llabs(qint64(seconds)) * 1000000 + std::llabs(qint64(micros));
        // The stored value is a double, so the fraction may come back a microsecond short: round.
        const qint64 magnitudeMs = (magnitudeMicros + 500) / 1000;
        const qint64 ms = negative ? -magnitudeMs : magnitudeMs;
        return QDateTime::fromMSecsSinceEpoch(ms + referenceDateOffsetMs, Qt::UTC);
    }

    Expected<QVariant> decode(plist_t node, int depth)
    {
        if (depth > PropertyList::maximumDepth)
            return Unexpected(
                QStringLiteral("the property list is nested deeper than %1 levels").arg(PropertyList::maximumDepth));
        switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            uint8_t flag = 0;
            plist_get_bool_val(node, &flag);
            return QVariant(flag != 0);
        }
        case PLIST_UINT:
        case PLIST_UID: {
            uint64_t raw = 0;
            if (plist_get_node_type(node) == PLIST_UID)
                plist_get_uid_val(node, &raw);
            else
                plist_get_uint_val(node, &raw);
            if (raw > uint64_t(std::numeric_limits<qint64>::max()) && !isNegativeInteger(node))
                return QVariant(quint64(raw));
            return QVariant(qint64(raw));
        }
        case PLIST_REAL: {
            double real = 0;
            plist_get_real_val(node, &real);
            return QVariant(real);
        }
        case PLIST_STRING:
        case PLIST_KEY: {
            uint64_t length = 0;
            const char* text = plist_get_string_ptr(node, &length);
            return QVariant(text ? QString::fromUtf8(text, qsizetype(length)) : QString(QLatin1String("")));
        }
        case PLIST_DATA: {
            uint64_t length = 0;
            const char* bytes = plist_get_data_ptr(node, &length);
            return QVariant(bytes ? QByteArray(bytes, qsizetype(length)) : QByteArray(""));
        }
        case PLIST_DATE:
            return QVariant(readDate(node));
        case PLIST_ARRAY: {
            QVariantList items;
            const uint32_t count = plist_array_get_size(node);
            items.reserve(count);
            for (uint32_t i = 0; i < count; ++i) {
                plist_t child = plist_array_get_item(node, i);
                if (!child)
                    return Unexpected(QStringLiteral("the property list has a missing array element"));
                auto item = decode(child, depth + 1);
                if (!item)
                    return item;
                items.append(std::move(item).value());
            }
            return QVariant(items);
        }
        case PLIST_DICT: {
            QVariantMap map;
            plist_dict_iter iterator = nullptr;
            plist_dict_new_iter(node, &iterator);
            std::unique_ptr<void, MallocDeleter> iteratorOwner(iterator);
            for (;;) {
                char* rawKey = nullptr;
                plist_t child = nullptr;
                plist_dict_next_item(node, iterator, &rawKey, &child);
                std::unique_ptr<char, MallocDeleter> keyOwner(rawKey);
                if (!child)
                    break;
                auto item = decode(child, depth + 1);
                if (!item)
                    return item;
                map.insert(rawKey ? QString::fromUtf8(rawKey) : QString(), std::move(item).value());
            }
            return QVariant(map);
        }
        case PLIST_NONE:
            break;
        }
        return Unexpected(QStringLiteral("the property list holds a value of an unknown type"));
    }

    // ---------------------------------------------------------------------------------------------
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

    // What an object of a binary list becomes once read: its values (containers, keys and
    // scalars) and the bytes of its texts and data. Sums stop at `saturated`, past every limit.
    struct Expansion {
        static constexpr quint64 saturated = quint64(1) << 62;
        static quint64 sum(quint64 a, quint64 b)
        {
            return std::min(std::min(a, saturated) + std::min(b, saturated), saturated);
        }
        quint64 values = 0;
        quint64 bytes = 0;
        void add(const Expansion& other)
        {
            values = sum(values, other.values);
            bytes = sum(bytes, other.bytes);
        }
    };

    // Walks the object graph of a binary list (without decoding values) to check that the offsets
    // and references stay inside the file, that no container contains itself, that nesting
    // stays within the limit, and that what the list expands to when read (each reference to a
    // shared object a copy) stays within the limits. Returns an error text, or a null string
    // when the structure is sound.
    QString checkBinaryStructure(const QByteArray& bytes)
    {
        const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
        const quint64 size = quint64(bytes.size());
        const QString truncated = QStringLiteral("the binary property list is truncated or corrupt");
        constexpr quint64 trailerSize = 32;
        if (size < quint64(binaryMagic.size()) + trailerSize + 1)
            return truncated;
        auto readBigEndian = [&](quint64 at, unsigned width) {
            quint64 value = 0;
            for (unsigned i = 0; i < width; ++i)
                value = (value << 8) | data[at + i];
            return value;
        };
        const quint64 trailer = size - trailerSize;
        const unsigned offsetSize = data[trailer + 6];
        const unsigned refSize = data[trailer + 7];
        const quint64 objectCount = readBigEndian(trailer + 8, 8);
        const quint64 topObject = readBigEndian(trailer + 16, 8);
        const quint64 tableOffset = readBigEndian(trailer + 24, 8);
        if (offsetSize < 1 || offsetSize > 8 || refSize < 1 || refSize > 8 || objectCount == 0
            || topObject >= objectCount || tableOffset < quint64(binaryMagic.size()) || tableOffset >= trailer
            || objectCount > (trailer - tableOffset) / offsetSize)
            return truncated;

        auto offsetOf = [&](quint64 object) { return readBigEndian(tableOffset + object * offsetSize, offsetSize); };

        // An object's length field: the low nibble of its marker, or an integer object after it
        // when the nibble is 0xF. Gives the count and where the object's content starts.
        struct Header {
            unsigned type = 0;
            quint64 count = 0;
            quint64 position = 0;
            bool valid = false;
        };
        auto headerOf = [&](quint64 object) {
            Header header;
            const quint64 offset = offsetOf(object);
            if (offset < quint64(binaryMagic.size()) || offset >= tableOffset)
                return header;
            const unsigned marker = data[offset];
            header.type = marker >> 4;
            header.count = marker & 0xF;
            header.position = offset + 1;
            if (header.count == 0xF && header.type != 0x0 && header.type != 0x1 && header.type != 0x2
                && header.type != 0x3) {
                const quint64 at = header.position;
                if (at >= tableOffset || (data[at] >> 4) != 0x1)
                    return header;
                const unsigned width = 1u << (data[at] & 0xF);
                if (width > 8 || at + 1 + width > tableOffset)
                    return header;
                header.count = readBigEndian(at + 1, width);
                header.position = at + 1 + width;
            }
            header.valid = true;
            return header;
        };

        // libplist aborts on a dictionary key that is not a string or holds a NUL character, so
        // keys are checked here; each key object once. Answers the key's length in bytes.
        constexpr quint64 unsoundKey = std::numeric_limits<quint64>::max();
        std::vector<bool> keyChecked(objectCount, false);
        auto keyBytes = [&](quint64 key) -> quint64 {
            if (key >= objectCount)
                return unsoundKey;
            const Header header = headerOf(key);
            if (!header.valid || (header.type != 0x5 && header.type != 0x6))
                return unsoundKey;
            const quint64 unit = header.type == 0x5 ? 1 : 2;
            if (header.count > (tableOffset - header.position) / unit)
                return unsoundKey;
            if (keyChecked[key])
                return header.count * unit;
            for (quint64 i = 0; i < header.count; ++i) {
                const quint64 at = header.position + i * unit;
                if (data[at] == 0 && (unit == 1 || data[at + 1] == 0))
                    return unsoundKey;
            }
            keyChecked[key] = true;
            return header.count * unit;
        };

        // Where an object's references start and how many there are (zero for a scalar), and
        // what the object itself adds to the tree read from it: one value (and one per key of a
        // dictionary), and the bytes of its text or data (and of its keys).
        struct Refs {
            quint64 position = 0;
            quint64 count = 0;
            bool valid = false;
            bool container = false;
            Expansion own;
        };
        auto referencesOf = [&](quint64 object) {
            Refs refs;
            const Header header = headerOf(object);
            if (!header.valid)
                return refs;
            refs.own.values = 1;
            refs.container = header.type == 0xA || header.type == 0xC || header.type == 0xD;
            if (!refs.container) {
                // Data, ASCII text, UTF-16 text: the length counts bytes, bytes, code units.
                if (header.type == 0x4 || header.type == 0x5)
                    refs.own.bytes = Expansion::sum(header.count, 0);
                else if (header.type == 0x6)
                    refs.own.bytes = Expansion::sum(header.count, header.count);
                refs.valid = true;
                return refs;
            }
            quint64 position = header.position;
            const quint64 count = header.count;
            // A dictionary lists its keys, then its values; keys are strings, so only values nest.
            if (header.type == 0xD) {
                if (count > (tableOffset - position) / refSize / 2)
                    return refs;
                for (quint64 i = 0; i < count; ++i) {
                    const quint64 keyLength = keyBytes(readBigEndian(position + i * refSize, refSize));
                    if (keyLength == unsoundKey)
                        return refs;
                    refs.own.bytes = Expansion::sum(refs.own.bytes, keyLength);
                }
                refs.own.values += count;
                position += count * refSize;
            }
            if (count > (tableOffset - position) / refSize)
                return refs;
            refs.position = position;
            refs.count = count;
            refs.valid = true;
            return refs;
        };

        // Iterative depth-first walk; `height` memoises finished objects so shared subtrees are
        // walked once. An object's height is 1 + the number of nested containers on its longest
        // path (so 1 for a scalar, 2 for a container of scalars); 0 marks an unvisited object.
        // `expansion` memoises what each finished object becomes once read, every reference to
        // a shared object counted as the copy it is read into.
        constexpr quint16 unvisited = 0;
        constexpr quint16 inProgress = 0xFFFF;
        std::vector<quint16> height(objectCount, unvisited);
        std::vector<Expansion> expansion(objectCount);
        struct Frame {
            quint64 object;
            Refs refs;
            quint64 next;
            quint16 tallestChild;
            Expansion total;
        };
        std::vector<Frame> stack;
        auto enter = [&](quint64 object) -> QString {
            const Refs refs = referencesOf(object);
            if (!refs.valid)
                return truncated;
            if (refs.count == 0) {
                height[object] = refs.container ? 2 : 1;
                expansion[object] = refs.own;
                return {};
            }
            if (int(stack.size()) >= PropertyList::maximumDepth)
                return QStringLiteral("the property list is nested deeper than %1 levels")
                    .arg(PropertyList::maximumDepth);
            height[object] = inProgress;
            stack.push_back({ object, refs, 0, 1, refs.own });
            return {};
        };
        QString error = enter(topObject);
        while (error.isNull() && !stack.empty()) {
            Frame& frame = stack.back();
            if (frame.next == frame.refs.count) {
                const quint16 own = quint16(frame.tallestChild + 1);
                height[frame.object] = own;
                expansion[frame.object] = frame.total;
                const Expansion total = frame.total;
                stack.pop_back();
                if (!stack.empty()) {
                    if (own > stack.back().tallestChild)
                        stack.back().tallestChild = own;
                    stack.back().total.add(total);
                }
                continue;
            }
            const quint64 child = readBigEndian(frame.refs.position + frame.next * refSize, refSize);
            ++frame.next;
            if (child >= objectCount)
                return truncated;
            if (height[child] == inProgress)
                return QStringLiteral("the binary property list is corrupt (a container contains itself)");
            if (height[child] == unvisited) {
                error = enter(child);
                if (!error.isNull() || stack.back().object == child)
                    continue;
            }
            if (int(stack.size()) + height[child] > PropertyList::maximumDepth + 1)
                return QStringLiteral("the property list is nested deeper than %1 levels")
                    .arg(PropertyList::maximumDepth);
            if (height[child] > frame.tallestChild)
                frame.tallestChild = height[child];
            frame.total.add(expansion[child]);
        }
        if (!error.isNull())
            return error;
        // Read, each reference to a shared object becomes a copy of it: a few hundred bytes can
        // stand for more values than memory holds.
        const Expansion& whole = expansion[topObject];
        if (whole.values > quint64(PropertyList::maximumValues))
            return QStringLiteral("the property list expands to more than %1 values").arg(PropertyList::maximumValues);
        if (whole.bytes > quint64(PropertyList::maximumSize))
            return QStringLiteral("the property list expands to more than %1 bytes").arg(PropertyList::maximumSize);
        return error;
    }

/// XML markup that opens a property list: after an optional byte-order mark and white space
/// comes "<", and a "<plist" element follows somewhere. Other bytes are no property list at
/// all, rather than a truncated one.
bool looksLikeXmlPropertyList(const QByteArray& bytes)
{
    qsizetype at = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (at < bytes.size() && (bytes[at] == ' ' || bytes[at] == '\t' || bytes[at] == '\n' || bytes[at] == '\r'))
        ++at;
    return at < bytes.size() && bytes[at] == '<' && bytes.indexOf("<plist", at) >= 0;
}

} // namespace

bool PropertyList::isBinary(const QByteArray& bytes) { return bytes.startsWith(binaryMagic); }

Expected<QVariant> PropertyList::read(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return Unexpected(QStringLiteral("the property list is empty"));
    if (bytes.size() > maximumSize)
        return Unexpected(QStringLiteral("the property list is larger than %1 bytes").arg(maximumSize));
    NodePtr root;
    if (isBinary(bytes)) {
        const QString structureError = checkBinaryStructure(bytes);
        if (!structureError.isNull())
            return Unexpected(structureError);
        plist_t node = nullptr;
        plist_from_bin(bytes.constData(), uint32_t(bytes.size()), &node);
        root.reset(node);
        if (!root)
            return Unexpected(QStringLiteral("the binary property list is truncated or corrupt"));
    } else {
        if (xmlNestedTooDeep(bytes))
            return Unexpected(QStringLiteral("the property list is nested deeper than %1 levels").arg(maximumDepth));
        plist_t node = nullptr;
        if (!looksLikeXmlPropertyList(bytes))
            return Unexpected(QStringLiteral("the data is not a property list"));
        // libplist accepts a document cut off after its root value; a whole one is closed.
        if (!bytes.contains("</plist>"))
            return Unexpected(QStringLiteral("the XML property list is truncated (no closing </plist>)"));
        plist_from_xml(bytes.constData(), uint32_t(bytes.size()), &node);
        root.reset(node);
        if (!root)
            return Unexpected(QStringLiteral("the XML property list is truncated or corrupt"));
    }
    return decode(root.get(), 0);
}

Expected<QVariant> PropertyList::readFile(const QString& path)
{
    QFile file(path);
    if (!file.exists())
        return Unexpected(QStringLiteral("%1: no such file").arg(path));
    if (!file.open(QIODevice::ReadOnly))
        return Unexpected(QStringLiteral("%1: %2").arg(path, file.errorString()));
    if (file.size() > maximumSize)
        return Unexpected(QStringLiteral("%1: larger than %2 bytes").arg(path).arg(maximumSize));
    // Read one byte past the cap so that a file growing while it is read is still refused.
    const QByteArray bytes = readAtMost(file, maximumSize);
    if (file.error() != QFileDevice::NoError)
        return Unexpected(QStringLiteral("%1: %2").arg(path, file.errorString()));
    auto result = read(bytes);
    if (!result)
        return Unexpected(QStringLiteral("%1: %2").arg(path, result.error()));
    return result;
}

Expected<QByteArray> PropertyList::serialize(const QVariant& value, PropertyListFormat format)
{
    auto node = encode(value);
    if (!node)
        return Unexpected(node.error());
    char* output = nullptr;
    uint32_t length = 0;
    switch (format) {
    case PropertyListFormat::Xml:
        plist_to_xml(node->get(), &output, &length);
        break;
    case PropertyListFormat::Binary:
        plist_to_bin(node->get(), &output, &length);
        break;
    }
    if (!output)
        return Unexpected(QStringLiteral("the property list could not be written"));
    std::unique_ptr<char, MallocDeleter> owner(output);
    return QByteArray(output, qsizetype(length));
}

Expected<QByteArray> PropertyList::toXml(const QVariant& value) { return serialize(value, PropertyListFormat::Xml); }

Expected<QByteArray> PropertyList::toBinary(const QVariant& value)
{
    return serialize(value, PropertyListFormat::Binary);
}

Expected<void> PropertyList::writeFile(const QString& path, const QVariant& value, PropertyListFormat format)
{
    auto bytes = serialize(value, format);
    if (!bytes)
        return Unexpected(bytes.error());
    if (QString reason; !saveBytesAtomically(path, *bytes, &reason))
        return Unexpected(QStringLiteral("%1: %2").arg(path, reason));
    return {};
}

Expected<QVariant> PropertyList::normalized(const QVariant& value)
{
    auto node = encode(value);
    if (!node)
        return Unexpected(node.error());
    return decode(node->get(), 0);
}

} // namespace crawlmere::platform
