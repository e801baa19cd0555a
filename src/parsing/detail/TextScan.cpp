// Bulk passes over page text: SSE2 where the target has it, the same results byte by byte elsewhere.
#include "parsing/detail/TextScan.h"

#include "platform/Sanitizers.h"

#include <QChar>

#include <array>
#include <cstdint>
#include <memory>

#ifdef __SSE2__
#include <emmintrin.h>
#endif


namespace crawlmere::parsing::detail {

namespace {

// CR, LF, tab and space: the bytes that fold into one space.
constexpr std::array<uint8_t, 256> kFoldWhite = [] {
    std::array<uint8_t, 256> table {};
    table['\r'] = table['\n'] = table['\t'] = table[' '] = 1;
    return table;
}();

inline bool changedByFold(const char16_t* text, qsizetype i, bool returnsAreSeparators)
{
    const char16_t u = text[i];
    if (u == u'\r' || u == u'\n')
        return true;
    return returnsAreSeparators && (u == u'\t' || (u == u' ' && i > 0 && text[i - 1] == u' '));
}

inline qint64 whiteSpaceAt(char16_t u)
{
    if (u < 0x80)
        return static_cast<qint64>(u == u' ' || (u >= 0x09 && u <= 0x0D));
    return static_cast<qint64>(QChar::isSpace(static_cast<char32_t>(u)));
}

#ifdef __SSE2__
inline __m128i load8(const char16_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }
inline __m128i all16(int value) { return _mm_set1_epi16(static_cast<short>(value)); }

// Sum of the eight 16-bit lanes of `counts`.
inline qint64 laneSum(__m128i counts)
{
    alignas(16) int32_t sums[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(sums), _mm_madd_epi16(counts, all16(1)));
    return static_cast<qint64>(sums[0]) + sums[1] + sums[2] + sums[3];
}
#endif

// The buffer each thread keeps for its scans.
struct ThreadScratch {
    std::unique_ptr<char[]> bytes;
    size_t capacity = 0;
    bool inUse = false;
};

thread_local ThreadScratch t_scratch;

} // namespace

ScratchBytes::ScratchBytes(size_t size)
{
    const size_t needed = size ? size : 1;
    if (needed <= kKeptBytes && !t_scratch.inUse) {
        if (t_scratch.capacity < needed) {
            // Grows in steps so that a run of growing pages does not reallocate each time.
            size_t capacity = t_scratch.capacity ? t_scratch.capacity : 64 * 1024;
            while (capacity < needed)
                capacity *= 2;
            capacity = capacity < kKeptBytes ? capacity : kKeptBytes;
            t_scratch.bytes.reset(new char[capacity]);
            t_scratch.capacity = capacity;
        }
        t_scratch.inUse = true;
        m_bytes = t_scratch.bytes.get();
#ifdef CRAWLMERE_ASAN
        // The bytes behind this scan's size are out of bounds for it, as in a buffer of its own.
        ASAN_POISON_MEMORY_REGION(m_bytes + needed, t_scratch.capacity - needed);
#endif
        return;
    }
    m_bytes = new char[needed];
    m_owned = true;
}

ScratchBytes::~ScratchBytes()
{
    if (m_owned) {
        delete[] m_bytes;
        return;
    }
#ifdef CRAWLMERE_ASAN
    ASAN_UNPOISON_MEMORY_REGION(m_bytes, t_scratch.capacity);
#endif
    t_scratch.inUse = false;
}

size_t findEitherByte(const char* page, size_t from, size_t to, char a, char b)
{
    size_t i = from;
#ifdef __SSE2__
    const __m128i first = _mm_set1_epi8(a);
    const __m128i second = _mm_set1_epi8(b);
    for (; i + 16 <= to; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(page + i));
        const int hits = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, first), _mm_cmpeq_epi8(bytes, second)));
        if (hits)
            return i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(hits)));
    }
#endif
    for (; i < to; ++i)
        if (page[i] == a || page[i] == b)
            return i;
    return to;
}

size_t countLineStarts(const uint8_t* page, size_t from, size_t to, uint8_t before)
{
    if (from >= to)
        return 0;
    size_t lines = static_cast<size_t>(before == '\n' || (before == '\r' && page[from] != '\n'));
    // Every LF in [from, last) ends a line, and so does every CR there that the byte behind it (at
    // most `last`, so inside the range) does not follow with an LF.
    const size_t last = to - 1;
    const auto crEnds = [page](size_t k) { return static_cast<size_t>(page[k] == '\r' && page[k + 1] != '\n'); };
    size_t i = from;
#ifdef __SSE2__
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i zero = _mm_setzero_si128();
    while (i + 16 <= last) {
        // Byte lanes count LFs for at most 255 blocks, then add up into `lines`.
        __m128i lanes = zero;
        for (int blocks = 0; blocks < 255 && i + 16 <= last; ++blocks, i += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(page + i));
            lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(bytes, lf));
            if (_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, cr)))
                for (size_t k = i; k < i + 16; ++k)
                    lines += crEnds(k);
        }
        const __m128i sums = _mm_sad_epu8(lanes, zero);
        lines += static_cast<size_t>(_mm_cvtsi128_si32(sums)) + static_cast<size_t>(_mm_extract_epi16(sums, 4));
    }
#endif
    for (; i < last; ++i)
        lines += static_cast<size_t>(page[i] == '\n') + crEnds(i);
    return lines;
}

size_t foldWhiteBytes(char* text, size_t size)
{
    // Branch-free: every byte is written (a white byte as a space) and the write position moves on
    // unless the byte continues a run of white space. The position never passes the read position.
    size_t out = 0;
    bool lastWasSpace = true; // drops leading white space
    const auto step = [&](size_t i) {
        const char c = text[i];
        const bool white = kFoldWhite[static_cast<uint8_t>(c)] != 0;
        text[out] = white ? ' ' : c;
        out += static_cast<size_t>(!(white && lastWasSpace));
        lastWasSpace = white;
    };
    size_t i = 0;
#ifdef __SSE2__
    // A block of sixteen bytes in which no white byte follows a white byte only turns its white
    // bytes into spaces and moves down whole; any other block goes byte by byte.
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i space = _mm_set1_epi8(' ');
    for (; i + 16 <= size; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        const __m128i whiteBytes = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, lf)),
            _mm_or_si128(_mm_cmpeq_epi8(bytes, tab), _mm_cmpeq_epi8(bytes, space)));
        const unsigned white = static_cast<unsigned>(_mm_movemask_epi8(whiteBytes));
        const unsigned follows = (white << 1) | static_cast<unsigned>(lastWasSpace);
        if ((white & follows) == 0) {
            const __m128i folded = _mm_or_si128(_mm_andnot_si128(whiteBytes, bytes), _mm_and_si128(whiteBytes, space));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(text + out), folded);
            out += 16;
            lastWasSpace = (white >> 15) != 0;
            continue;
        }
        for (size_t k = i; k < i + 16; ++k)
            step(k);
    }
#endif
    for (; i < size; ++i)
        step(i);
    if (out > 0 && text[out - 1] == ' ')
        --out;
    return out;
}

bool isPlainAscii(const char* run, size_t size, bool returnsAreSeparators)
{
    size_t i = 0;
#ifdef __SSE2__
    const __m128i amp = _mm_set1_epi8('&');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i space = _mm_set1_epi8(' ');
    for (; i + 17 <= size; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(run + i));
        __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(bytes, amp), _mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, lf)));
        if (returnsAreSeparators) {
            const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(run + i + 1));
            hit = _mm_or_si128(hit, _mm_cmpeq_epi8(bytes, tab));
            hit = _mm_or_si128(hit, _mm_and_si128(_mm_cmpeq_epi8(bytes, space), _mm_cmpeq_epi8(next, space)));
        }
        // The high bit of a byte at or above 0x80 counts as a hit as well.
        if (_mm_movemask_epi8(_mm_or_si128(hit, bytes)))
            return false;
    }
#endif
    for (; i < size; ++i) {
        const uint8_t c = static_cast<uint8_t>(run[i]);
        if (c >= 0x80 || c == '&' || c == '\r' || c == '\n')
            return false;
        if (returnsAreSeparators && (c == '\t' || (c == ' ' && i + 1 < size && run[i + 1] == ' ')))
            return false;
    }
    return true;
}

qsizetype firstFoldPosition(const char16_t* text, qsizetype size, bool returnsAreSeparators)
{
    qsizetype i = 0;
#ifdef __SSE2__
    // Eight characters at a time; a block with a candidate is read again one by one.
    const __m128i cr = all16('\r');
    const __m128i lf = all16('\n');
    const __m128i tab = all16('\t');
    const __m128i space = all16(' ');
    for (; i + 9 <= size; i += 8) {
        const __m128i chars = load8(text + i);
        __m128i hit = _mm_or_si128(_mm_cmpeq_epi16(chars, cr), _mm_cmpeq_epi16(chars, lf));
        if (returnsAreSeparators) {
            const __m128i next = load8(text + i + 1);
            hit = _mm_or_si128(hit, _mm_cmpeq_epi16(chars, tab));
            hit = _mm_or_si128(hit, _mm_and_si128(_mm_cmpeq_epi16(chars, space), _mm_cmpeq_epi16(next, space)));
        }
        if (_mm_movemask_epi8(hit))
            break;
    }
#endif
    for (; i < size; ++i)
        if (changedByFold(text, i, returnsAreSeparators))
            return i;
    return size;
}

qint64 countWhiteSpace(const char16_t* text, qsizetype size)
{
    qint64 count = 0;
    qsizetype i = 0;
#ifdef __SSE2__
    // Blocks of eight characters below U+1680 count in 16-bit lanes (flushed before they can
    // overflow): there the white space is 0x09-0x0D, 0x20, 0x85 and 0xA0. A block holding anything
    // higher is counted one by one.
    const __m128i zero = _mm_setzero_si128();
    const __m128i firstHighSpace = all16(0x1680);
    const __m128i space = all16(' ');
    const __m128i nextLine = all16(0x85);
    const __m128i noBreakSpace = all16(0xA0);
    const __m128i belowTab = all16(0x08);
    const __m128i aboveCr = all16(0x0E);
    __m128i lanes = zero;
    int blocks = 0;
    for (; i + 8 <= size; i += 8) {
        const __m128i chars = load8(text + i);
        // Unsigned: a lane at or above U+1680 survives the saturating subtraction.
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_subs_epu16(chars, _mm_sub_epi16(firstHighSpace, all16(1))), zero))
            != 0xFFFF) {
            for (qsizetype k = i; k < i + 8; ++k)
                count += whiteSpaceAt(text[k]);
            continue;
        }
        // Below U+1680 the signed comparisons see the same order as unsigned ones.
        const __m128i controls = _mm_and_si128(_mm_cmpgt_epi16(chars, belowTab), _mm_cmplt_epi16(chars, aboveCr));
        const __m128i others = _mm_or_si128(_mm_cmpeq_epi16(chars, space),
            _mm_or_si128(_mm_cmpeq_epi16(chars, nextLine), _mm_cmpeq_epi16(chars, noBreakSpace)));
        lanes = _mm_sub_epi16(lanes, _mm_or_si128(others, controls));
        if (++blocks == 16384) {
            count += laneSum(lanes);
            lanes = zero;
            blocks = 0;
        }
    }
    count += laneSum(lanes);
#endif
    for (; i < size; ++i)
        count += whiteSpaceAt(text[i]);
    return count;
}

} // namespace crawlmere::parsing::detail
