// Numeric text-encoding identifiers shared by the crawl and the parsers, their charset names, and
// strict decoding and encoding of byte runs in them.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>
#include <string_view>

namespace crawlmere::platform {

/// A text-encoding identifier as stored in crawl settings (`detectedEncoding`) and passed to the
/// parsers (`useEncoding`). 0 means "none". The numbers are stable: they are written to settings.
using EncodingId = std::uint64_t;

/// The identifiers the crawl and the parsers use. Values below 0x80000000 are the built-in set;
/// the others are an extended family (0x80000000 plus a family code).
namespace Encoding {
inline constexpr EncodingId None = 0;
inline constexpr EncodingId ASCII = 1;
inline constexpr EncodingId NextStep = 2;
inline constexpr EncodingId JapaneseEUC = 3;
inline constexpr EncodingId UTF8 = 4;
inline constexpr EncodingId ISOLatin1 = 5;
inline constexpr EncodingId Symbol = 6;
inline constexpr EncodingId NonLossyASCII = 7;
inline constexpr EncodingId ShiftJIS = 8;
inline constexpr EncodingId ISOLatin2 = 9;
inline constexpr EncodingId Unicode = 10; ///< UTF-16; a byte-order mark decides, big-endian without one.
inline constexpr EncodingId WindowsCP1251 = 11;
inline constexpr EncodingId WindowsCP1252 = 12;
inline constexpr EncodingId WindowsCP1253 = 13;
inline constexpr EncodingId WindowsCP1254 = 14;
inline constexpr EncodingId WindowsCP1250 = 15;
inline constexpr EncodingId ISO2022JP = 21;
inline constexpr EncodingId MacOSRoman = 30;
inline constexpr EncodingId UTF16BigEndian = 0x90000100;
inline constexpr EncodingId UTF16LittleEndian = 0x94000100;
inline constexpr EncodingId UTF32 = 0x8C000100; ///< A byte-order mark decides, big-endian without one.
inline constexpr EncodingId UTF32BigEndian = 0x98000100;
inline constexpr EncodingId UTF32LittleEndian = 0x9C000100;
// Extended family.
inline constexpr EncodingId ISOLatin3 = 0x80000203;
inline constexpr EncodingId ISOLatin4 = 0x80000204;
inline constexpr EncodingId ISOLatinCyrillic = 0x80000205; ///< ISO 8859-5
inline constexpr EncodingId ISOLatinArabic = 0x80000206; ///< ISO 8859-6
inline constexpr EncodingId ISOLatinGreek = 0x80000207; ///< ISO 8859-7
inline constexpr EncodingId ISOLatinHebrew = 0x80000208; ///< ISO 8859-8
inline constexpr EncodingId ISOLatinThai = 0x8000020B; ///< TIS-620 / ISO 8859-11
inline constexpr EncodingId ISOLatin6 = 0x8000020A; ///< ISO 8859-10
inline constexpr EncodingId ISOLatin7 = 0x8000020D; ///< ISO 8859-13
inline constexpr EncodingId ISOLatin8 = 0x8000020E; ///< ISO 8859-14
inline constexpr EncodingId ISOLatin9 = 0x8000020F; ///< ISO 8859-15
inline constexpr EncodingId ISOLatin10 = 0x80000210; ///< ISO 8859-16
inline constexpr EncodingId MacCyrillic = 0x80000007;
inline constexpr EncodingId WindowsHebrew = 0x80000505; ///< windows-1255
inline constexpr EncodingId WindowsArabic = 0x80000506; ///< windows-1256
inline constexpr EncodingId WindowsBalticRim = 0x80000507; ///< windows-1257
inline constexpr EncodingId WindowsVietnamese = 0x80000508; ///< windows-1258
inline constexpr EncodingId DOSRussian = 0x80000413; ///< code page 866
inline constexpr EncodingId DOSThai = 0x8000041D; ///< code page 874
inline constexpr EncodingId DOSChineseSimplified = 0x80000421; ///< code page 936
inline constexpr EncodingId GB2312_80 = 0x80000630;
inline constexpr EncodingId GBK = 0x80000631;
inline constexpr EncodingId GB18030 = 0x80000632;
inline constexpr EncodingId KOI8R = 0x80000A02;
inline constexpr EncodingId KOI8U = 0x80000A08; ///< as browsers read it: 0xAE and 0xBE are the Belarusian short U
inline constexpr EncodingId Big5 = 0x80000A03;
inline constexpr EncodingId HZGB2312 = 0x80000A05;
inline constexpr EncodingId KoreanEUC = 0x80000940;
} // namespace Encoding

/// Strict conversion between bytes and text. Every function is safe to call from any thread.
class TextEncoding {
public:
    /// The bytes decoded in `encoding`, or nullopt when the encoding is unknown or unsupported, or
    /// when any byte sequence is invalid in it (a truncated multi-byte character at the end included).
    /// Nothing is ever replaced by U+FFFD: callers fall back to another encoding on failure.
    /// Empty bytes decode to an empty (non-null) string in every supported encoding.
    /// A leading byte-order mark is dropped for UTF-8, UTF-16 and UTF-32.
    static std::optional<QString> decode(std::string_view bytes, EncodingId encoding);
    static std::optional<QString> decode(const QByteArray& bytes, EncodingId encoding)
    {
        return decode(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), encoding);
    }

    /// The text encoded in `encoding`, or nullopt when the encoding is unsupported or a character
    /// cannot be represented in it.
    static std::optional<QByteArray> encode(QStringView text, EncodingId encoding);

    /// True when `decode` and `encode` can work in `encoding`. NEXTSTEP and Symbol are not supported.
    static bool isSupported(EncodingId encoding);

    /// The encoding a charset label names, read as browsers read labels: ASCII white space around
    /// it is trimmed, letters compare without regard to ASCII case, and every label of the web's
    /// encoding table names the encoding that table gives it. So "latin1", "iso-8859-1", "ascii" and
    /// "us-ascii" name windows-1252, "iso-8859-9" windows-1254, "tis-620" windows-874, "gb2312" GBK
    /// and "windows-31j" Shift_JIS. 0 for a label not in the table, for the labels that stand for
    /// no readable encoding ("hz-gb-2312", "iso-2022-kr", "replacement") and for "x-user-defined".
    static EncodingId encodingForLabel(QStringView label);

    /// The encoding a page's charset declaration names: the charset parameter of its Content-Type
    /// header or the value its own markup declares, both read here so that the two agree. The label
    /// ends at the first quote, ";", "/", ">" or white space (`charset=utf-8" />`) and is read by
    /// `encodingForLabel`. A page is read as ASCII bytes to find its declaration, so a label of an
    /// encoding that does not write ASCII as ASCII (UTF-16) names UTF-8, as browsers read it. 0 for
    /// none, an unknown label and an encoding this program cannot decode.
    static EncodingId encodingForDeclaredCharset(QStringView declaration);

    /// True when `encoding` writes every ASCII character as its ASCII byte.
    static bool writesAsciiAsAscii(EncodingId encoding);

    /// The preferred IANA name of an identifier ("UTF-8", "Shift_JIS"), or an empty string for 0 and
    /// for identifiers without one.
    static QString ianaName(EncodingId encoding);
};

} // namespace crawlmere::platform
