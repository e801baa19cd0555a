#include "platform/detail/PdfStreams.h"

#include <zlib.h>

#include <algorithm>
#include <array>

namespace crawlmere::platform::detail {

namespace {

/// How far before "stream" its dictionary is looked for.
constexpr qsizetype kDictionaryWindow = 4096;

/// The stream's dictionary text: from the "obj" (or, failing that, the start of the window)
/// before `keyword` up to it.
QByteArrayView dictionaryBefore(const QByteArray& pdf, qsizetype keyword)
{
    const qsizetype windowStart = std::max<qsizetype>(0, keyword - kDictionaryWindow);
    const QByteArrayView window(pdf.constData() + windowStart, keyword - windowStart);
    const qsizetype object = window.lastIndexOf(QByteArrayView("obj"));
    return object >= 0 ? window.sliced(object) : window;
}

/// Inflates from `begin` until the stream ends, the data stops making sense, or `budget` bytes
/// came out. Answers the bytes decoded and, in `consumed`, the compressed bytes read.
qint64 inflatedBytes(const QByteArray& pdf, qsizetype begin, qint64 budget, qsizetype& consumed)
{
    z_stream stream {};
    if (inflateInit(&stream) != Z_OK) {
        consumed = 0;
        return 0;
    }
    std::array<Bytef, 64 * 1024> scratch {};
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(pdf.constData() + begin));
    // Fed at most 1 GB at a time; a PDF held in memory is far smaller anyway.
    const qsizetype available = pdf.size() - begin;
    stream.avail_in = static_cast<uInt>(std::min<qsizetype>(available, qsizetype(1) << 30));
    qint64 decoded = 0;
    for (;;) {
        stream.next_out = scratch.data();
        stream.avail_out = static_cast<uInt>(scratch.size());
        const int status = inflate(&stream, Z_NO_FLUSH);
        decoded += static_cast<qint64>(scratch.size() - stream.avail_out);
        if (status != Z_OK || decoded > budget)
            break;
        if (stream.avail_out != 0 && stream.avail_in == 0)
            break; // the data ended before the stream did
    }
    consumed = static_cast<qsizetype>(stream.total_in);
    inflateEnd(&stream);
    return decoded;
}

} // namespace

qint64 decodedStreamBytes(const QByteArray& pdf, qint64 cap)
{
    qint64 total = 0;
    qsizetype from = 0;
    for (;;) {
        const qsizetype keyword = pdf.indexOf("stream", from);
        if (keyword < 0)
            break;
        from = keyword + 6;
        if (keyword > 0 && pdf.at(keyword - 1) == 'd')
            continue; // "endstream"
        qsizetype data = keyword + 6;
        if (data < pdf.size() && pdf.at(data) == '\r')
            ++data;
        if (data < pdf.size() && pdf.at(data) == '\n')
            ++data;
        if (data == keyword + 6)
            continue; // not the keyword: it is followed by its end of line
        const QByteArrayView dictionary = dictionaryBefore(pdf, keyword);
        if (!dictionary.contains(QByteArrayView("/FlateDecode")) || dictionary.contains(QByteArrayView("/Image")))
            continue;
        qsizetype consumed = 0;
        total += inflatedBytes(pdf, data, cap - total, consumed);
        if (total > cap)
            return cap + 1;
        from = data + std::max<qsizetype>(consumed, 0);
    }
    return total;
}

} // namespace crawlmere::platform::detail
