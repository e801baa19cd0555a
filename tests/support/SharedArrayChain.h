// A binary property list that is small on disk and huge once read: a chain of arrays, each
// holding the next one twice through the format's shared references.
#pragma once

#include <QByteArray>

namespace crawlmere::test {

/// `arrays` arrays (at most 250), the first the root, each holding the next one twice, the last
/// holding an ASCII string of `leafChars` letters twice (at most 65535). Read as a tree it holds
/// 2^(arrays+1) - 1 values; 40 arrays and a string of 178 letters make 506 bytes.
inline QByteArray sharedArrayChain(int arrays, int leafChars)
{
    QByteArray objects;
    QByteArray table;
    const auto offset = [&] {
        const quint32 at = quint32(8 + objects.size());
        for (int shift = 24; shift >= 0; shift -= 8)
            table.append(char((at >> shift) & 0xFF));
    };
    for (int i = 0; i < arrays; ++i) {
        offset();
        objects.append('\xA2').append(char(i + 1)).append(char(i + 1));
    }
    offset();
    objects.append('\x5F').append('\x11').append(char(leafChars >> 8)).append(char(leafChars & 0xFF));
    objects.append(QByteArray(leafChars, 'x'));
    const quint32 tableOffset = quint32(8 + objects.size());
    QByteArray trailer(32, '\0');
    trailer[6] = 4; // offset size
    trailer[7] = 1; // reference size
    trailer[15] = char(arrays + 1); // objects
    for (int i = 0; i < 4; ++i)
        trailer[28 + i] = char((tableOffset >> (24 - 8 * i)) & 0xFF);
    return QByteArray("bplist00") + objects + table + trailer;
}

} // namespace crawlmere::test
