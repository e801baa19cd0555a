#include "engine/detail/Punycode.h"

#include <cstdint>
#include <limits>

namespace crawlmere::engine::detail {

namespace {

constexpr uint32_t base = 36;
constexpr uint32_t tMin = 1;
constexpr uint32_t tMax = 26;
constexpr uint32_t skew = 38;
constexpr uint32_t damp = 700;
constexpr uint32_t initialBias = 72;
constexpr uint32_t initialN = 128;
constexpr char16_t delimiter = u'-';
constexpr uint32_t maxInt = std::numeric_limits<uint32_t>::max();

char16_t encodeDigit(uint32_t d)
{
    // 0..25 -> "a".."z", 26..35 -> "0".."9"
    return static_cast<char16_t>(d < 26 ? u'a' + d : u'0' + (d - 26));
}

// The value of a digit in either letter case, or base when the character is no digit.
uint32_t decodeDigit(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0' + 26;
    if (c >= u'A' && c <= u'Z')
        return c - u'A';
    if (c >= u'a' && c <= u'z')
        return c - u'a';
    return base;
}

uint32_t adapt(uint32_t delta, uint32_t numPoints, bool firstTime)
{
    delta = firstTime ? delta / damp : delta / 2;
    delta += delta / numPoints;
    uint32_t k = 0;
    while (delta > ((base - tMin) * tMax) / 2) {
        delta /= base - tMin;
        k += base;
    }
    return k + (base - tMin + 1) * delta / (delta + skew);
}

uint32_t threshold(uint32_t k, uint32_t bias)
{
    if (k <= bias)
        return tMin;
    if (k >= bias + tMax)
        return tMax;
    return k - bias;
}

} // namespace

std::optional<QString> punycodeEncode(std::u32string_view input)
{
    QString output;
    output.reserve(static_cast<qsizetype>(input.size()) * 2);
    for (char32_t c : input) {
        if (c < 0x80)
            output.append(QChar(static_cast<char16_t>(c)));
    }
    const auto basicCount = static_cast<uint32_t>(output.size());
    uint32_t handled = basicCount;
    if (basicCount > 0)
        output.append(delimiter);

    uint32_t n = initialN;
    uint32_t delta = 0;
    uint32_t bias = initialBias;
    const auto length = static_cast<uint32_t>(input.size());
    if (input.size() > maxInt)
        return std::nullopt;
    while (handled < length) {
        uint32_t m = maxInt;
        for (char32_t c : input) {
            if (c >= n && c < m)
                m = c;
        }
        if (m - n > (maxInt - delta) / (handled + 1))
            return std::nullopt;
        delta += (m - n) * (handled + 1);
        n = m;
        for (char32_t c : input) {
            if (c < n) {
                if (++delta == 0)
                    return std::nullopt;
            }
            if (c == n) {
                uint32_t q = delta;
                for (uint32_t k = base;; k += base) {
                    const uint32_t t = threshold(k, bias);
                    if (q < t)
                        break;
                    output.append(encodeDigit(t + (q - t) % (base - t)));
                    q = (q - t) / (base - t);
                }
                output.append(encodeDigit(q));
                bias = adapt(delta, handled + 1, handled == basicCount);
                delta = 0;
                ++handled;
            }
        }
        ++delta;
        ++n;
        if (n == 0)
            return std::nullopt;
    }
    return output;
}

std::optional<std::u32string> punycodeDecode(QStringView input)
{
    std::u32string output;
    qsizetype basicEnd = input.lastIndexOf(delimiter);
    if (basicEnd < 0)
        basicEnd = 0; // a "-" only at position 0 is no delimiter either: it is read as a digit
    for (qsizetype j = 0; j < basicEnd; ++j) {
        const char16_t c = input[j].unicode();
        if (c >= 0x80)
            return std::nullopt;
        output.push_back(c);
    }

    uint32_t n = initialN;
    uint32_t i = 0;
    uint32_t bias = initialBias;
    for (qsizetype in = basicEnd > 0 ? basicEnd + 1 : 0; in < input.size();) {
        const uint32_t oldi = i;
        uint32_t w = 1;
        for (uint32_t k = base;; k += base) {
            if (in >= input.size())
                return std::nullopt;
            const uint32_t digit = decodeDigit(input[in++].unicode());
            if (digit >= base)
                return std::nullopt;
            if (digit > (maxInt - i) / w)
                return std::nullopt;
            i += digit * w;
            const uint32_t t = threshold(k, bias);
            if (digit < t)
                break;
            if (w > maxInt / (base - t))
                return std::nullopt;
            w *= base - t;
        }
        const auto count = static_cast<uint32_t>(output.size() + 1);
        bias = adapt(i - oldi, count, oldi == 0);
        if (i / count > maxInt - n)
            return std::nullopt;
        n += i / count;
        i %= count;
        if (n > 0x10FFFF || (n >= 0xD800 && n <= 0xDFFF))
            return std::nullopt;
        output.insert(output.begin() + i, static_cast<char32_t>(n));
        ++i;
    }
    return output;
}

} // namespace crawlmere::engine::detail
