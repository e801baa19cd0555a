// Binary property lists: the walk that checks a list's structure before libplist reads it, and the read.
#include "platform/detail/BinaryPropertyList.h"

#include "platform/PropertyList.h"

#include <QString>

#include <algorithm>
#include <limits>
#include <vector>

namespace crawlmere::platform::detail {

namespace {

const QByteArray binaryMagic = QByteArrayLiteral("bplist00");

// The structure is checked before libplist sees the bytes: its parser, writers and plist_free
// recurse once per nesting level and overflow the stack on deeply nested input.

// What an object of a binary list becomes once read: its values (containers, keys and
// scalars) and the bytes of its texts and data. Sums stop at `saturated`, past every limit.
struct Expansion {
    static constexpr quint32 saturated = std::numeric_limits<quint32>::max();
    static_assert(PropertyList::maximumValues < saturated && PropertyList::maximumSize < saturated);
    static quint32 sum(quint64 a, quint64 b) { return quint32(std::min<quint64>(a + b, saturated)); }
    quint32 values = 0;
    quint32 bytes = 0;
    void add(const Expansion& other)
    {
        values = sum(values, other.values);
        bytes = sum(bytes, other.bytes);
    }
};

// The walk over the object graph of a binary list (without decoding values): it checks that
// the offsets and references stay inside the file, that no container contains itself, that
// nesting stays within the limit, and that what the list expands to when read (each
// reference to a shared object a copy) stays within the limits.
class BinaryStructure {
public:
    explicit BinaryStructure(const QByteArray& bytes)
        : m_data(reinterpret_cast<const unsigned char*>(bytes.constData()))
        , m_size(quint64(bytes.size()))
    {
    }
    // An error text, or a null string when the structure is sound.
    QString check()
    {
        QString error = readTrailer();
        if (error.isNull())
            error = walk();
        if (error.isNull())
            error = checkExpansion();
        return error;
    }

private:
    static constexpr quint64 trailerSize = 32;
    // A key whose object is not a sound string.
    static constexpr quint64 unsoundKey = std::numeric_limits<quint64>::max();
    // `m_height` of an object not yet met, and of one whose walk has not ended.
    static constexpr quint16 unvisited = 0;
    static constexpr quint16 inProgress = 0xFFFF;

    // An object's length field: the low nibble of its marker, or an integer object after it
    // when the nibble is 0xF. Gives the count and where the object's content starts.
    struct Header {
        unsigned type = 0;
        quint64 count = 0;
        quint64 position = 0;
        bool valid = false;
    };
    // Where an object's references start and how many there are (zero for a scalar), and
    // what the object itself adds to the tree read from it: one value (and one per key of
    // a dictionary), and the bytes of its text or data (and of its keys).
    struct Refs {
        quint64 position = 0;
        quint64 count = 0;
        bool valid = false;
        bool container = false;
        Expansion own;
    };
    // A container whose references the walk is going through.
    struct Frame {
        quint64 object;
        Refs refs;
        quint64 next;
        quint16 tallestChild;
        Expansion total;
    };

    static QString truncated() { return QStringLiteral("the binary property list is truncated or corrupt"); }
    static QString tooDeep() { return PropertyList::tooDeepText(); }
    static QString tooManyValues()
    {
        return QStringLiteral("the property list expands to more than %1 values").arg(PropertyList::maximumValues);
    }

    quint64 readBigEndian(quint64 at, unsigned width) const
    {
        quint64 value = 0;
        for (unsigned i = 0; i < width; ++i)
            value = (value << 8) | m_data[at + i];
        return value;
    }
    quint64 offsetOf(quint64 object) const
    {
        return readBigEndian(m_tableOffset + object * m_offsetSize, m_offsetSize);
    }

    // Reads the trailer and checks that its offset table lies inside the file.
    QString readTrailer()
    {
        if (m_size < quint64(binaryMagic.size()) + trailerSize + 1)
            return truncated();
        const quint64 trailer = m_size - trailerSize;
        m_offsetSize = m_data[trailer + 6];
        m_refSize = m_data[trailer + 7];
        m_objectCount = readBigEndian(trailer + 8, 8);
        m_topObject = readBigEndian(trailer + 16, 8);
        m_tableOffset = readBigEndian(trailer + 24, 8);
        if (m_offsetSize < 1 || m_offsetSize > 8 || m_refSize < 1 || m_refSize > 8 || m_objectCount == 0
            || m_topObject >= m_objectCount || m_tableOffset < quint64(binaryMagic.size()) || m_tableOffset >= trailer
            || m_objectCount > (trailer - m_tableOffset) / m_offsetSize)
            return truncated();
        // A table listing more objects than the values allowed is refused before anything
        // is kept per object (no real list comes near it; each object read is a value at
        // least).
        if (m_objectCount > quint64(PropertyList::maximumValues))
            return tooManyValues();
        m_keyChecked.assign(m_objectCount, false);
        m_height.assign(m_objectCount, unvisited);
        m_expansion.assign(m_objectCount, Expansion {});
        return {};
    }

    Header headerOf(quint64 object) const
    {
        Header header;
        const quint64 offset = offsetOf(object);
        if (offset < quint64(binaryMagic.size()) || offset >= m_tableOffset)
            return header;
        const unsigned marker = m_data[offset];
        header.type = marker >> 4;
        header.count = marker & 0xF;
        header.position = offset + 1;
        if (header.count == 0xF && header.type != 0x0 && header.type != 0x1 && header.type != 0x2
            && header.type != 0x3) {
            const quint64 at = header.position;
            if (at >= m_tableOffset || (m_data[at] >> 4) != 0x1)
                return header;
            const unsigned width = 1u << (m_data[at] & 0xF);
            if (width > 8 || at + 1 + width > m_tableOffset)
                return header;
            header.count = readBigEndian(at + 1, width);
            header.position = at + 1 + width;
        }
        header.valid = true;
        return header;
    }

    // libplist aborts on a dictionary key that is not a string or holds a NUL character,
    // so keys are checked here; each key object once. Answers the key's length in bytes.
    quint64 keyBytes(quint64 key)
    {
        if (key >= m_objectCount)
            return unsoundKey;
        const Header header = headerOf(key);
        if (!header.valid || (header.type != 0x5 && header.type != 0x6))
            return unsoundKey;
        const quint64 unit = header.type == 0x5 ? 1 : 2;
        if (header.count > (m_tableOffset - header.position) / unit)
            return unsoundKey;
        if (m_keyChecked[key])
            return header.count * unit;
        for (quint64 i = 0; i < header.count; ++i) {
            const quint64 at = header.position + i * unit;
            if (m_data[at] == 0 && (unit == 1 || m_data[at + 1] == 0))
                return unsoundKey;
        }
        m_keyChecked[key] = true;
        return header.count * unit;
    }

    Refs referencesOf(quint64 object)
    {
        Refs refs;
        const Header header = headerOf(object);
        if (!header.valid)
            return refs;
        refs.own.values = 1;
        refs.container = header.type == 0xA || header.type == 0xC || header.type == 0xD;
        if (!refs.container) {
            // Data, ASCII text, UTF-16 text: the length counts bytes, bytes, code units.
            const quint64 count = std::min<quint64>(header.count, Expansion::saturated);
            if (header.type == 0x4 || header.type == 0x5)
                refs.own.bytes = Expansion::sum(count, 0);
            else if (header.type == 0x6)
                refs.own.bytes = Expansion::sum(count, count);
            refs.valid = true;
            return refs;
        }
        quint64 position = header.position;
        const quint64 count = header.count;
        // A dictionary lists its keys, then its values; keys are strings, so only values nest.
        if (header.type == 0xD) {
            if (count > (m_tableOffset - position) / m_refSize / 2)
                return refs;
            for (quint64 i = 0; i < count; ++i) {
                const quint64 keyLength = keyBytes(readBigEndian(position + i * m_refSize, m_refSize));
                if (keyLength == unsoundKey)
                    return refs;
                refs.own.bytes = Expansion::sum(refs.own.bytes, std::min<quint64>(keyLength, Expansion::saturated));
            }
            refs.own.values = Expansion::sum(refs.own.values, std::min<quint64>(count, Expansion::saturated));
            position += count * m_refSize;
        }
        if (count > (m_tableOffset - position) / m_refSize)
            return refs;
        refs.position = position;
        refs.count = count;
        refs.valid = true;
        return refs;
    }

    // Starts the walk of an object: a scalar or an empty container is finished at once,
    // any other container goes on the stack.
    QString enter(quint64 object)
    {
        const Refs refs = referencesOf(object);
        if (!refs.valid)
            return truncated();
        if (refs.count == 0) {
            m_height[object] = refs.container ? 2 : 1;
            m_expansion[object] = refs.own;
            return {};
        }
        if (int(m_stack.size()) >= PropertyList::maximumDepth)
            return tooDeep();
        m_height[object] = inProgress;
        m_stack.push_back({ object, refs, 0, 1, refs.own });
        return {};
    }

    // The container on top of the stack has had all its references walked: its height and
    // expansion are final and go to its parent.
    void leave()
    {
        const Frame& frame = m_stack.back();
        const quint16 own = quint16(frame.tallestChild + 1);
        m_height[frame.object] = own;
        m_expansion[frame.object] = frame.total;
        const Expansion total = frame.total;
        m_stack.pop_back();
        if (!m_stack.empty()) {
            if (own > m_stack.back().tallestChild)
                m_stack.back().tallestChild = own;
            m_stack.back().total.add(total);
        }
    }

    // Iterative depth-first walk; `m_height` memoises finished objects so shared subtrees
    // are walked once. An object's height is 1 + the number of nested containers on its
    // longest path (so 1 for a scalar, 2 for a container of scalars). `m_expansion`
    // memoises what each finished object becomes once read, every reference to a shared
    // object counted as the copy it is read into.
    QString walk()
    {
        QString error = enter(m_topObject);
        while (error.isNull() && !m_stack.empty()) {
            Frame& frame = m_stack.back();
            if (frame.next == frame.refs.count) {
                leave();
                continue;
            }
            const quint64 child = readBigEndian(frame.refs.position + frame.next * m_refSize, m_refSize);
            ++frame.next;
            if (child >= m_objectCount)
                return truncated();
            if (m_height[child] == inProgress)
                return QStringLiteral("the binary property list is corrupt (a container contains itself)");
            if (m_height[child] == unvisited) {
                error = enter(child);
                if (!error.isNull() || m_stack.back().object == child)
                    continue;
            }
            if (int(m_stack.size()) + m_height[child] > PropertyList::maximumDepth + 1)
                return tooDeep();
            if (m_height[child] > frame.tallestChild)
                frame.tallestChild = m_height[child];
            frame.total.add(m_expansion[child]);
        }
        return error;
    }

    // Read, each reference to a shared object becomes a copy of it: a few hundred bytes can
    // stand for more values than memory holds.
    QString checkExpansion() const
    {
        const Expansion& whole = m_expansion[m_topObject];
        if (whole.values > quint64(PropertyList::maximumValues))
            return tooManyValues();
        if (whole.bytes > quint64(PropertyList::maximumSize))
            return QStringLiteral("the property list expands to more than %1 bytes").arg(PropertyList::maximumSize);
        return {};
    }

    const unsigned char* m_data;
    quint64 m_size;
    unsigned m_offsetSize = 0;
    unsigned m_refSize = 0;
    quint64 m_objectCount = 0;
    quint64 m_topObject = 0;
    quint64 m_tableOffset = 0;
    std::vector<bool> m_keyChecked;
    std::vector<quint16> m_height;
    std::vector<Expansion> m_expansion;
    std::vector<Frame> m_stack;
};

} // namespace

bool hasBinaryMagic(const QByteArray& bytes) { return bytes.startsWith(binaryMagic); }

Expected<NodePtr> readBinaryPropertyList(const QByteArray& bytes)
{
    const QString structureError = BinaryStructure(bytes).check();
    if (!structureError.isNull())
        return Unexpected(structureError);
    plist_t node = nullptr;
    plist_from_bin(bytes.constData(), uint32_t(bytes.size()), &node);
    NodePtr root(node);
    if (!root)
        return Unexpected(QStringLiteral("the binary property list is truncated or corrupt"));
    return root;
}

} // namespace crawlmere::platform::detail
