// Bodies compressed as a server sends them with "Content-Encoding: gzip" or "zstd".
#pragma once

#include <QByteArray>

#include <algorithm>

#include <gtest/gtest.h>
#include <zlib.h>

namespace crawlmere::test {

/// `bytes` in a gzip member, as a server sends a compressed body.
inline QByteArray qCompressGzip(const QByteArray& bytes)
{
    z_stream stream {};
    EXPECT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    QByteArray gzip(static_cast<qsizetype>(deflateBound(&stream, uLong(bytes.size()))), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.constData()));
    stream.avail_in = uInt(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(gzip.data());
    stream.avail_out = uInt(gzip.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    gzip.resize(static_cast<qsizetype>(stream.total_out));
    deflateEnd(&stream);
    return gzip;
}

/// `count` bytes of `byte` in one zstd frame of blocks that each repeat the byte (at most 128 KiB
/// a block): a few bytes a block, whatever the size decoded.
inline QByteArray zstdRepeating(char byte, qint64 count)
{
    QByteArray frame("\x28\xB5\x2F\xFD\x00\x38", 6); // magic; no size given; a window of 128 KiB
    constexpr qint64 kMostPerBlock = 128 * 1024;
    for (qint64 left = count; left > 0; left -= kMostPerBlock) {
        const auto size = static_cast<quint32>(std::min(left, kMostPerBlock));
        const quint32 header = (size << 3) | (1u << 1) | (left <= kMostPerBlock ? 1u : 0u); // repeating; last
        frame += static_cast<char>(header & 0xFF);
        frame += static_cast<char>((header >> 8) & 0xFF);
        frame += static_cast<char>((header >> 16) & 0xFF);
        frame += byte;
    }
    return frame;
}

} // namespace crawlmere::test
