// Binary property lists written value by value: the object encodings, the offset table and the trailer.
#include "platform/detail/BinaryListWriter.h"

#include <bit>
#include <cstring>

namespace crawlmere::platform::detail {

namespace {

// Object kinds, the high nibble of an object's first byte.
constexpr unsigned char kInteger = 0x1;
constexpr unsigned char kReal = 0x2;
constexpr unsigned char kDate = 0x3;
constexpr unsigned char kData = 0x4;
constexpr unsigned char kAscii = 0x5;
constexpr unsigned char kUtf16 = 0x6;
constexpr unsigned char kArray = 0xA;
constexpr unsigned char kDictionary = 0xD;

// The fewest of 1, 2, 4 or 8 bytes that hold `value`.
int bytesFor(quint64 value)
{
    if (value <= 0xFF)
        return 1;
    if (value <= 0xFFFF)
        return 2;
    if (value <= 0xFFFFFFFFu)
        return 4;
    return 8;
}

} // namespace

BinaryListWriter::BinaryListWriter(quint64 objectCount)
    : m_out(QByteArrayLiteral("bplist00"))
    , m_referenceSize(bytesFor(objectCount))
{
    m_offsets.reserve(size_t(objectCount));
}

quint64 BinaryListWriter::begin()
{
    m_offsets.push_back(quint64(m_out.size()));
    return m_offsets.size() - 1;
}

void BinaryListWriter::appendBigEndian(quint64 value, int bytes)
{
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8)
        m_out.append(char((value >> shift) & 0xFF));
}

void BinaryListWriter::appendMarker(unsigned char kind, quint64 count)
{
    if (count < 15) {
        m_out.append(char(kind << 4 | count));
        return;
    }
    // The count follows as an integer object of its own.
    m_out.append(char(kind << 4 | 0xF));
    const int bytes = bytesFor(count);
    m_out.append(char(kInteger << 4 | std::countr_zero(unsigned(bytes))));
    appendBigEndian(count, bytes);
}

void BinaryListWriter::appendReferences(const std::vector<quint64>& references)
{
    for (const quint64 reference : references)
        appendBigEndian(reference, m_referenceSize);
}

quint64 BinaryListWriter::addBool(bool value)
{
    const quint64 index = begin();
    m_out.append(char(value ? 0x09 : 0x08));
    return index;
}

quint64 BinaryListWriter::addSigned(qint64 value)
{
    if (value >= 0)
        return addUnsigned(quint64(value));
    // Negative integers take all eight bytes, in two's complement.
    const quint64 index = begin();
    m_out.append(char(kInteger << 4 | 3));
    appendBigEndian(quint64(value), 8);
    return index;
}

quint64 BinaryListWriter::addUnsigned(quint64 value)
{
    const quint64 index = begin();
    if (value > quint64(std::numeric_limits<qint64>::max())) {
        m_out.append(char(kInteger << 4 | 4));
        appendBigEndian(0, 8);
        appendBigEndian(value, 8);
        return index;
    }
    const int bytes = bytesFor(value);
    m_out.append(char(kInteger << 4 | std::countr_zero(unsigned(bytes))));
    appendBigEndian(value, bytes);
    return index;
}

quint64 BinaryListWriter::addReal(double value)
{
    const quint64 index = begin();
    m_out.append(char(kReal << 4 | 3));
    appendBigEndian(std::bit_cast<quint64>(value), 8);
    return index;
}

quint64 BinaryListWriter::addDate(double seconds)
{
    const quint64 index = begin();
    m_out.append(char(kDate << 4 | 3));
    appendBigEndian(std::bit_cast<quint64>(seconds), 8);
    return index;
}

quint64 BinaryListWriter::addData(const QByteArray& bytes)
{
    const quint64 index = begin();
    appendMarker(kData, quint64(bytes.size()));
    m_out.append(bytes);
    return index;
}

quint64 BinaryListWriter::addString(QStringView text)
{
    const quint64 index = begin();
    const bool ascii = QtPrivate::isAscii(text);
    appendMarker(ascii ? kAscii : kUtf16, quint64(text.size()));
    // Written through one pointer: a string of a property list can be hundreds of megabytes.
    const qsizetype at = m_out.size();
    m_out.resize(at + text.size() * (ascii ? 1 : 2));
    char* out = m_out.data() + at;
    for (const QChar unit : text) {
        const char16_t code = unit.unicode();
        if (!ascii)
            *out++ = char(code >> 8);
        *out++ = char(code & 0xFF);
    }
    return index;
}

quint64 BinaryListWriter::addArray(const std::vector<quint64>& items)
{
    const quint64 index = begin();
    appendMarker(kArray, items.size());
    appendReferences(items);
    return index;
}

quint64 BinaryListWriter::addDictionary(const std::vector<quint64>& keys, const std::vector<quint64>& values)
{
    const quint64 index = begin();
    appendMarker(kDictionary, keys.size());
    appendReferences(keys);
    appendReferences(values);
    return index;
}

QByteArray BinaryListWriter::finish(quint64 root)
{
    const quint64 tableOffset = quint64(m_out.size());
    const int offsetSize = bytesFor(tableOffset);
    for (const quint64 offset : m_offsets)
        appendBigEndian(offset, offsetSize);
    // The trailer: six unused bytes, the two sizes, the object count, the top object and where
    // the offset table starts.
    m_out.append(QByteArray(6, '\0'));
    m_out.append(char(offsetSize));
    m_out.append(char(m_referenceSize));
    appendBigEndian(m_offsets.size(), 8);
    appendBigEndian(root, 8);
    appendBigEndian(tableOffset, 8);
    return std::move(m_out);
}

} // namespace crawlmere::platform::detail
