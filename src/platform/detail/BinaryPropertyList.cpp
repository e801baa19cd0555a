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

        // A table listing more objects than the values allowed is refused before anything is kept
        // per object (no real list comes near it; each object read is a value at least).
        if (objectCount > quint64(PropertyList::maximumValues))
            return QStringLiteral("the property list expands to more than %1 values").arg(PropertyList::maximumValues);

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
                if (count > (tableOffset - position) / refSize / 2)
                    return refs;
                for (quint64 i = 0; i < count; ++i) {
                    const quint64 keyLength = keyBytes(readBigEndian(position + i * refSize, refSize));
                    if (keyLength == unsoundKey)
                        return refs;
                    refs.own.bytes = Expansion::sum(refs.own.bytes, std::min<quint64>(keyLength, Expansion::saturated));
                }
                refs.own.values = Expansion::sum(refs.own.values, std::min<quint64>(count, Expansion::saturated));
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

} // namespace

bool hasBinaryMagic(const QByteArray& bytes) { return bytes.startsWith(binaryMagic); }

Expected<NodePtr> readBinaryPropertyList(const QByteArray& bytes)
{
    const QString structureError = checkBinaryStructure(bytes);
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
