// Binary property lists written value by value, in time that grows with the list only.
#pragma once

#include <QByteArray>
#include <QStringView>

#include <vector>

namespace crawlmere::platform::detail {

/// Writes a "bplist00" list: every value is one object, children before the container that
/// holds them, so a container names its children by the indexes their `add` calls returned.
/// Nothing is looked up or shared: a dictionary's keys are written as given (callers pass them
/// unique), which keeps the work linear in the number of values. `objectCount` is the number of
/// `add` calls to come (it sizes the references); `finish` takes the root's index.
class BinaryListWriter {
public:
    explicit BinaryListWriter(quint64 objectCount);

    quint64 addBool(bool value);
    quint64 addSigned(qint64 value);
    /// Values above INT64_MAX are written as 16-byte integers, as the format marks them unsigned.
    quint64 addUnsigned(quint64 value);
    quint64 addReal(double value);
    /// Seconds since 2001-01-01T00:00:00Z.
    quint64 addDate(double seconds);
    quint64 addData(const QByteArray& bytes);
    /// ASCII text as bytes, any other text as UTF-16 (which must be well formed).
    quint64 addString(QStringView text);
    quint64 addArray(const std::vector<quint64>& items);
    /// `keys[i]` (the index of a string) names `values[i]`.
    quint64 addDictionary(const std::vector<quint64>& keys, const std::vector<quint64>& values);

    /// The list, with `root` as its top object. The writer is spent afterwards.
    QByteArray finish(quint64 root);

private:
    quint64 begin();
    void appendMarker(unsigned char kind, quint64 count);
    void appendBigEndian(quint64 value, int bytes);
    void appendReferences(const std::vector<quint64>& references);

    QByteArray m_out;
    std::vector<quint64> m_offsets;
    int m_referenceSize = 1;
};

} // namespace crawlmere::platform::detail
