// Strict decoding and encoding: UTF-8, Latin-1, ASCII, UTF-16, UTF-32 and the single-byte
// encodings browsers read differently from ICU by hand or with Qt's built-in codecs, every other
// encoding through QStringDecoder's ICU-backed converters; and the web's table of charset labels.
#include "platform/TextEncoding.h"

#include "platform/Strings.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <array>
#include <iterator>

namespace crawlmere::platform {

namespace {

enum class Kind {
    Ascii,
    Latin1,
    Utf8,
    Utf16Bom, // byte-order mark decides, big-endian without one
    Utf16BE,
    Utf16LE,
    Utf32Bom,
    Utf32BE,
    Utf32LE,
    NonLossyAscii,
    Table, // single byte: below 0x80 ASCII, above a table of 128 characters
    Converter, // QStringDecoder / QStringEncoder by name
    Unsupported,
};

using ByteTable = std::array<char16_t, 128>; // the characters of bytes 0x80 to 0xFF

// windows-1252 as browsers read it: the five bytes the code page leaves out are the C1 controls,
// so every byte reads as a character.
constexpr ByteTable kWindows1252 { {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF,
    0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7,
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF,
    0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7,
    0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF,
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7,
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF,
    0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7,
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF,
} };

// ISO 8859-16, which ICU's data leaves out.
constexpr ByteTable kIsoLatin10 { {
    0x0080, 0x0081, 0x0082, 0x0083, 0x0084, 0x0085, 0x0086, 0x0087,
    0x0088, 0x0089, 0x008A, 0x008B, 0x008C, 0x008D, 0x008E, 0x008F,
    0x0090, 0x0091, 0x0092, 0x0093, 0x0094, 0x0095, 0x0096, 0x0097,
    0x0098, 0x0099, 0x009A, 0x009B, 0x009C, 0x009D, 0x009E, 0x009F,
    0x00A0, 0x0104, 0x0105, 0x0141, 0x20AC, 0x201E, 0x0160, 0x00A7,
    0x0161, 0x00A9, 0x0218, 0x00AB, 0x0179, 0x00AD, 0x017A, 0x017B,
    0x00B0, 0x00B1, 0x010C, 0x0142, 0x017D, 0x201D, 0x00B6, 0x00B7,
    0x017E, 0x010D, 0x0219, 0x00BB, 0x0152, 0x0153, 0x0178, 0x017C,
    0x00C0, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0106, 0x00C6, 0x00C7,
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF,
    0x0110, 0x0143, 0x00D2, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x015A,
    0x0170, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x0118, 0x021A, 0x00DF,
    0x00E0, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x0107, 0x00E6, 0x00E7,
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF,
    0x0111, 0x0144, 0x00F2, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x015B,
    0x0171, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x0119, 0x021B, 0x00FF,
} };

// KOI8-U as browsers read it (0xAE and 0xBE are the Belarusian short U, not box drawings).
constexpr ByteTable kKoi8U { {
    0x2500, 0x2502, 0x250C, 0x2510, 0x2514, 0x2518, 0x251C, 0x2524,
    0x252C, 0x2534, 0x253C, 0x2580, 0x2584, 0x2588, 0x258C, 0x2590,
    0x2591, 0x2592, 0x2593, 0x2320, 0x25A0, 0x2219, 0x221A, 0x2248,
    0x2264, 0x2265, 0x00A0, 0x2321, 0x00B0, 0x00B2, 0x00B7, 0x00F7,
    0x2550, 0x2551, 0x2552, 0x0451, 0x0454, 0x2554, 0x0456, 0x0457,
    0x2557, 0x2558, 0x2559, 0x255A, 0x255B, 0x0491, 0x045E, 0x255E,
    0x255F, 0x2560, 0x2561, 0x0401, 0x0404, 0x2563, 0x0406, 0x0407,
    0x2566, 0x2567, 0x2568, 0x2569, 0x256A, 0x0490, 0x040E, 0x00A9,
    0x044E, 0x0430, 0x0431, 0x0446, 0x0434, 0x0435, 0x0444, 0x0433,
    0x0445, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E,
    0x043F, 0x044F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0436, 0x0432,
    0x044C, 0x044B, 0x0437, 0x0448, 0x044D, 0x0449, 0x0447, 0x044A,
    0x042E, 0x0410, 0x0411, 0x0426, 0x0414, 0x0415, 0x0424, 0x0413,
    0x0425, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E,
    0x041F, 0x042F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0416, 0x0412,
    0x042C, 0x042B, 0x0417, 0x0428, 0x042D, 0x0429, 0x0427, 0x042A,
} };

struct EncodingInfo {
    EncodingId id;
    Kind kind;
    const char* ianaName; // preferred name, also the converter's name for Kind::Converter
    const ByteTable* table = nullptr; // for Kind::Table
};

constexpr std::array<EncodingInfo, 51> kEncodings { {
    { Encoding::ASCII, Kind::Ascii, "US-ASCII" },
    { Encoding::NextStep, Kind::Unsupported, "" },
    { Encoding::JapaneseEUC, Kind::Converter, "EUC-JP" },
    { Encoding::UTF8, Kind::Utf8, "UTF-8" },
    { Encoding::ISOLatin1, Kind::Latin1, "ISO-8859-1" },
    { Encoding::Symbol, Kind::Unsupported, "" },
    { Encoding::NonLossyASCII, Kind::NonLossyAscii, "" },
    { Encoding::ShiftJIS, Kind::Converter, "Shift_JIS" },
    { Encoding::ISOLatin2, Kind::Converter, "ISO-8859-2" },
    { Encoding::Unicode, Kind::Utf16Bom, "UTF-16" },
    { Encoding::WindowsCP1251, Kind::Converter, "windows-1251" },
    { Encoding::WindowsCP1252, Kind::Table, "windows-1252", &kWindows1252 },
    { Encoding::WindowsCP1253, Kind::Converter, "windows-1253" },
    { Encoding::WindowsCP1254, Kind::Converter, "windows-1254" },
    { Encoding::WindowsCP1250, Kind::Converter, "windows-1250" },
    { Encoding::ISO2022JP, Kind::Converter, "ISO-2022-JP" },
    { Encoding::MacOSRoman, Kind::Converter, "macintosh" },
    { Encoding::UTF16BigEndian, Kind::Utf16BE, "UTF-16BE" },
    { Encoding::UTF16LittleEndian, Kind::Utf16LE, "UTF-16LE" },
    { Encoding::UTF32, Kind::Utf32Bom, "UTF-32" },
    { Encoding::UTF32BigEndian, Kind::Utf32BE, "UTF-32BE" },
    { Encoding::UTF32LittleEndian, Kind::Utf32LE, "UTF-32LE" },
    { Encoding::ISOLatin3, Kind::Converter, "ISO-8859-3" },
    { Encoding::ISOLatin4, Kind::Converter, "ISO-8859-4" },
    { Encoding::ISOLatinCyrillic, Kind::Converter, "ISO-8859-5" },
    { Encoding::ISOLatinArabic, Kind::Converter, "ISO-8859-6" },
    { Encoding::ISOLatinGreek, Kind::Converter, "ISO-8859-7" },
    { Encoding::ISOLatinHebrew, Kind::Converter, "ISO-8859-8" },
    { Encoding::ISOLatinThai, Kind::Converter, "TIS-620" },
    { Encoding::ISOLatin6, Kind::Converter, "ISO-8859-10" },
    { Encoding::ISOLatin7, Kind::Converter, "ISO-8859-13" },
    { Encoding::ISOLatin8, Kind::Converter, "ISO-8859-14" },
    { Encoding::ISOLatin9, Kind::Converter, "ISO-8859-15" },
    { Encoding::ISOLatin10, Kind::Table, "ISO-8859-16", &kIsoLatin10 },
    { Encoding::MacCyrillic, Kind::Converter, "x-mac-cyrillic" },
    { Encoding::WindowsHebrew, Kind::Converter, "windows-1255" },
    { Encoding::WindowsArabic, Kind::Converter, "windows-1256" },
    { Encoding::WindowsBalticRim, Kind::Converter, "windows-1257" },
    { Encoding::WindowsVietnamese, Kind::Converter, "windows-1258" },
    { Encoding::DOSRussian, Kind::Converter, "IBM866" },
    { Encoding::DOSThai, Kind::Converter, "windows-874" },
    { Encoding::DOSChineseSimplified, Kind::Converter, "GBK" },
    // Pages that declare GB 2312-80 are written in its EUC form.
    { Encoding::GB2312_80, Kind::Converter, "GB2312" },
    { Encoding::GBK, Kind::Converter, "GBK" },
    { Encoding::GB18030, Kind::Converter, "GB18030" },
    { Encoding::KOI8R, Kind::Converter, "KOI8-R" },
    { Encoding::KOI8U, Kind::Table, "KOI8-U", &kKoi8U },
    { Encoding::Big5, Kind::Converter, "Big5" },
    { Encoding::HZGB2312, Kind::Converter, "HZ-GB-2312" },
    { Encoding::KoreanEUC, Kind::Converter, "EUC-KR" },
    { 0, Kind::Unsupported, "" },
} };

const EncodingInfo* infoFor(EncodingId id)
{
    if (id == Encoding::None)
        return nullptr;
    for (const EncodingInfo& info : kEncodings)
        if (info.id == id)
            return &info;
    return nullptr;
}

QString emptyText() { return QStringLiteral(""); }

std::optional<QString> decodeAscii(std::string_view bytes)
{
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return std::nullopt;
    QString text = QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return text.isNull() ? emptyText() : text;
}

std::optional<QString> decodeLatin1(std::string_view bytes)
{
    QString text = QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return text.isNull() ? emptyText() : text;
}

std::optional<QString> decodeWith(QStringDecoder& decoder, std::string_view bytes)
{
    if (!decoder.isValid())
        return std::nullopt;
    QString text = decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (decoder.hasError())
        return std::nullopt;
    return text.isNull() ? emptyText() : text;
}

std::optional<QString> decodeUtf8(std::string_view bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    return decodeWith(decoder, bytes);
}

unsigned readUnit(std::string_view bytes, size_t at, size_t width, bool bigEndian)
{
    unsigned value = 0;
    for (size_t i = 0; i < width; ++i) {
        const unsigned byte = static_cast<unsigned char>(bytes[at + (bigEndian ? i : width - 1 - i)]);
        value = (value << 8) | byte;
    }
    return value;
}

// UTF-16 with unpaired surrogates rejected. `bigEndian` is the order without a byte-order mark;
// `honourBom` lets a leading mark choose (and drops it).
std::optional<QString> decodeUtf16(std::string_view bytes, bool bigEndian, bool honourBom)
{
    if (bytes.size() % 2 != 0)
        return std::nullopt;
    size_t at = 0;
    if (bytes.size() >= 2) {
        const unsigned b0 = static_cast<unsigned char>(bytes[0]);
        const unsigned b1 = static_cast<unsigned char>(bytes[1]);
        if (honourBom && b0 == 0xFE && b1 == 0xFF) {
            bigEndian = true;
            at = 2;
        } else if (honourBom && b0 == 0xFF && b1 == 0xFE) {
            bigEndian = false;
            at = 2;
        } else if (readUnit(bytes, 0, 2, bigEndian) == 0xFEFF) {
            at = 2;
        }
    }
    QString text = emptyText();
    text.reserve(static_cast<qsizetype>((bytes.size() - at) / 2));
    while (at < bytes.size()) {
        const unsigned unit = readUnit(bytes, at, 2, bigEndian);
        at += 2;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (at >= bytes.size())
                return std::nullopt;
            const unsigned low = readUnit(bytes, at, 2, bigEndian);
            if (low < 0xDC00 || low > 0xDFFF)
                return std::nullopt;
            at += 2;
            text.append(QChar(static_cast<char16_t>(unit)));
            text.append(QChar(static_cast<char16_t>(low)));
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            return std::nullopt;
        } else {
            text.append(QChar(static_cast<char16_t>(unit)));
        }
    }
    return text;
}

std::optional<QString> decodeUtf32(std::string_view bytes, bool bigEndian, bool honourBom)
{
    if (bytes.size() % 4 != 0)
        return std::nullopt;
    size_t at = 0;
    if (bytes.size() >= 4) {
        if (honourBom && readUnit(bytes, 0, 4, true) == 0xFEFF) {
            bigEndian = true;
            at = 4;
        } else if (honourBom && readUnit(bytes, 0, 4, false) == 0xFEFF) {
            bigEndian = false;
            at = 4;
        } else if (readUnit(bytes, 0, 4, bigEndian) == 0xFEFF) {
            at = 4;
        }
    }
    QString text = emptyText();
    text.reserve(static_cast<qsizetype>((bytes.size() - at) / 4));
    for (; at < bytes.size(); at += 4) {
        const char32_t cp = readUnit(bytes, at, 4, bigEndian);
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return std::nullopt;
        text.append(QString::fromUcs4(&cp, 1));
    }
    return text;
}

// ASCII in which "\uXXXX" stands for a UTF-16 code unit, "\ooo" (three octal digits) for a Latin-1
// character and "\\" for a backslash. Any other byte above 0x7F fails.
std::optional<QString> decodeNonLossyAscii(std::string_view bytes)
{
    QString text = emptyText();
    for (size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x80)
            return std::nullopt;
        if (c != '\\') {
            text.append(QLatin1Char(static_cast<char>(c)));
            continue;
        }
        if (i + 1 < bytes.size() && bytes[i + 1] == '\\') {
            text.append(QLatin1Char('\\'));
            ++i;
        } else if (i + 5 < bytes.size() && bytes[i + 1] == 'u') {
            int unit = 0;
            for (size_t k = 2; k < 6; ++k) {
                const int digit = strings::hexDigitValue(static_cast<unsigned char>(bytes[i + k]));
                if (digit < 0)
                    return std::nullopt;
                unit = unit * 16 + digit;
            }
            text.append(QChar(static_cast<char16_t>(unit)));
            i += 5;
        } else if (i + 3 < bytes.size() && bytes[i + 1] >= '0' && bytes[i + 1] <= '3' && bytes[i + 2] >= '0'
            && bytes[i + 2] <= '7' && bytes[i + 3] >= '0' && bytes[i + 3] <= '7') {
            const int value = (bytes[i + 1] - '0') * 64 + (bytes[i + 2] - '0') * 8 + (bytes[i + 3] - '0');
            text.append(QChar(static_cast<char16_t>(value)));
            i += 3;
        } else {
            text.append(QLatin1Char('\\'));
        }
    }
    if (!text.isValidUtf16())
        return std::nullopt;
    return text;
}

QByteArray encodeNonLossyAscii(QStringView text)
{
    QByteArray out;
    for (QChar ch : text) {
        const char16_t unit = ch.unicode();
        if (unit == '\\') {
            out.append("\\\\");
        } else if (unit < 0x80) {
            out.append(static_cast<char>(unit));
        } else if (unit < 0x100) {
            out.append('\\').append(QByteArray::number(unit, 8).rightJustified(3, '0'));
        } else {
            out.append("\\u").append(QByteArray::number(unit, 16).rightJustified(4, '0'));
        }
    }
    return out;
}

QString decodeTable(std::string_view bytes, const ByteTable& table)
{
    QString text(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    QChar* out = text.data();
    for (char c : bytes) {
        const unsigned char byte = static_cast<unsigned char>(c);
        *out++ = QChar(byte < 0x80 ? char16_t(byte) : table[byte - 0x80]);
    }
    return text;
}

std::optional<QByteArray> encodeTable(QStringView text, const ByteTable& table)
{
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char* out = bytes.data();
    for (QChar ch : text) {
        const char16_t unit = ch.unicode();
        if (unit < 0x80) {
            *out++ = static_cast<char>(unit);
            continue;
        }
        const auto found = std::find(table.begin(), table.end(), unit);
        if (found == table.end())
            return std::nullopt;
        *out++ = static_cast<char>(0x80 + (found - table.begin()));
    }
    return bytes;
}

std::optional<QByteArray> encodeWith(QStringEncoder& encoder, QStringView text)
{
    if (!encoder.isValid())
        return std::nullopt;
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    return bytes;
}

struct Label {
    const char* name; // lower case
    EncodingId id;
};

// The web's table of encoding labels, sorted by name for the binary search below. The labels of
// its replacement encoding and "x-user-defined" are left out: they name nothing to read.
constexpr Label kLabels[] = {
    { "866", Encoding::DOSRussian },
    { "ansi_x3.4-1968", Encoding::WindowsCP1252 },
    { "arabic", Encoding::ISOLatinArabic },
    { "ascii", Encoding::WindowsCP1252 },
    { "asmo-708", Encoding::ISOLatinArabic },
    { "big5", Encoding::Big5 },
    { "big5-hkscs", Encoding::Big5 },
    { "chinese", Encoding::GBK },
    { "cn-big5", Encoding::Big5 },
    { "cp1250", Encoding::WindowsCP1250 },
    { "cp1251", Encoding::WindowsCP1251 },
    { "cp1252", Encoding::WindowsCP1252 },
    { "cp1253", Encoding::WindowsCP1253 },
    { "cp1254", Encoding::WindowsCP1254 },
    { "cp1255", Encoding::WindowsHebrew },
    { "cp1256", Encoding::WindowsArabic },
    { "cp1257", Encoding::WindowsBalticRim },
    { "cp1258", Encoding::WindowsVietnamese },
    { "cp819", Encoding::WindowsCP1252 },
    { "cp866", Encoding::DOSRussian },
    { "csbig5", Encoding::Big5 },
    { "cseuckr", Encoding::KoreanEUC },
    { "cseucpkdfmtjapanese", Encoding::JapaneseEUC },
    { "csgb2312", Encoding::GBK },
    { "csibm866", Encoding::DOSRussian },
    { "csiso2022jp", Encoding::ISO2022JP },
    { "csiso58gb231280", Encoding::GBK },
    { "csiso88596e", Encoding::ISOLatinArabic },
    { "csiso88596i", Encoding::ISOLatinArabic },
    { "csiso88598e", Encoding::ISOLatinHebrew },
    { "csiso88598i", Encoding::ISOLatinHebrew },
    { "csisolatin1", Encoding::WindowsCP1252 },
    { "csisolatin2", Encoding::ISOLatin2 },
    { "csisolatin3", Encoding::ISOLatin3 },
    { "csisolatin4", Encoding::ISOLatin4 },
    { "csisolatin5", Encoding::WindowsCP1254 },
    { "csisolatin6", Encoding::ISOLatin6 },
    { "csisolatin9", Encoding::ISOLatin9 },
    { "csisolatinarabic", Encoding::ISOLatinArabic },
    { "csisolatincyrillic", Encoding::ISOLatinCyrillic },
    { "csisolatingreek", Encoding::ISOLatinGreek },
    { "csisolatinhebrew", Encoding::ISOLatinHebrew },
    { "cskoi8r", Encoding::KOI8R },
    { "csksc56011987", Encoding::KoreanEUC },
    { "csmacintosh", Encoding::MacOSRoman },
    { "csshiftjis", Encoding::ShiftJIS },
    { "csunicode", Encoding::UTF16LittleEndian },
    { "cyrillic", Encoding::ISOLatinCyrillic },
    { "dos-874", Encoding::DOSThai },
    { "ecma-114", Encoding::ISOLatinArabic },
    { "ecma-118", Encoding::ISOLatinGreek },
    { "elot_928", Encoding::ISOLatinGreek },
    { "euc-jp", Encoding::JapaneseEUC },
    { "euc-kr", Encoding::KoreanEUC },
    { "gb18030", Encoding::GB18030 },
    { "gb2312", Encoding::GBK },
    { "gb_2312", Encoding::GBK },
    { "gb_2312-80", Encoding::GBK },
    { "gbk", Encoding::GBK },
    { "greek", Encoding::ISOLatinGreek },
    { "greek8", Encoding::ISOLatinGreek },
    { "hebrew", Encoding::ISOLatinHebrew },
    { "ibm819", Encoding::WindowsCP1252 },
    { "ibm866", Encoding::DOSRussian },
    { "iso-10646-ucs-2", Encoding::UTF16LittleEndian },
    { "iso-2022-jp", Encoding::ISO2022JP },
    { "iso-8859-1", Encoding::WindowsCP1252 },
    { "iso-8859-10", Encoding::ISOLatin6 },
    { "iso-8859-11", Encoding::DOSThai },
    { "iso-8859-13", Encoding::ISOLatin7 },
    { "iso-8859-14", Encoding::ISOLatin8 },
    { "iso-8859-15", Encoding::ISOLatin9 },
    { "iso-8859-16", Encoding::ISOLatin10 },
    { "iso-8859-2", Encoding::ISOLatin2 },
    { "iso-8859-3", Encoding::ISOLatin3 },
    { "iso-8859-4", Encoding::ISOLatin4 },
    { "iso-8859-5", Encoding::ISOLatinCyrillic },
    { "iso-8859-6", Encoding::ISOLatinArabic },
    { "iso-8859-6-e", Encoding::ISOLatinArabic },
    { "iso-8859-6-i", Encoding::ISOLatinArabic },
    { "iso-8859-7", Encoding::ISOLatinGreek },
    { "iso-8859-8", Encoding::ISOLatinHebrew },
    { "iso-8859-8-e", Encoding::ISOLatinHebrew },
    { "iso-8859-8-i", Encoding::ISOLatinHebrew },
    { "iso-8859-9", Encoding::WindowsCP1254 },
    { "iso-ir-100", Encoding::WindowsCP1252 },
    { "iso-ir-101", Encoding::ISOLatin2 },
    { "iso-ir-109", Encoding::ISOLatin3 },
    { "iso-ir-110", Encoding::ISOLatin4 },
    { "iso-ir-126", Encoding::ISOLatinGreek },
    { "iso-ir-127", Encoding::ISOLatinArabic },
    { "iso-ir-138", Encoding::ISOLatinHebrew },
    { "iso-ir-144", Encoding::ISOLatinCyrillic },
    { "iso-ir-148", Encoding::WindowsCP1254 },
    { "iso-ir-149", Encoding::KoreanEUC },
    { "iso-ir-157", Encoding::ISOLatin6 },
    { "iso-ir-58", Encoding::GBK },
    { "iso8859-1", Encoding::WindowsCP1252 },
    { "iso8859-10", Encoding::ISOLatin6 },
    { "iso8859-11", Encoding::DOSThai },
    { "iso8859-13", Encoding::ISOLatin7 },
    { "iso8859-14", Encoding::ISOLatin8 },
    { "iso8859-15", Encoding::ISOLatin9 },
    { "iso8859-2", Encoding::ISOLatin2 },
    { "iso8859-3", Encoding::ISOLatin3 },
    { "iso8859-4", Encoding::ISOLatin4 },
    { "iso8859-5", Encoding::ISOLatinCyrillic },
    { "iso8859-6", Encoding::ISOLatinArabic },
    { "iso8859-7", Encoding::ISOLatinGreek },
    { "iso8859-8", Encoding::ISOLatinHebrew },
    { "iso8859-9", Encoding::WindowsCP1254 },
    { "iso88591", Encoding::WindowsCP1252 },
    { "iso885910", Encoding::ISOLatin6 },
    { "iso885911", Encoding::DOSThai },
    { "iso885913", Encoding::ISOLatin7 },
    { "iso885914", Encoding::ISOLatin8 },
    { "iso885915", Encoding::ISOLatin9 },
    { "iso88592", Encoding::ISOLatin2 },
    { "iso88593", Encoding::ISOLatin3 },
    { "iso88594", Encoding::ISOLatin4 },
    { "iso88595", Encoding::ISOLatinCyrillic },
    { "iso88596", Encoding::ISOLatinArabic },
    { "iso88597", Encoding::ISOLatinGreek },
    { "iso88598", Encoding::ISOLatinHebrew },
    { "iso88599", Encoding::WindowsCP1254 },
    { "iso_8859-1", Encoding::WindowsCP1252 },
    { "iso_8859-15", Encoding::ISOLatin9 },
    { "iso_8859-1:1987", Encoding::WindowsCP1252 },
    { "iso_8859-2", Encoding::ISOLatin2 },
    { "iso_8859-2:1987", Encoding::ISOLatin2 },
    { "iso_8859-3", Encoding::ISOLatin3 },
    { "iso_8859-3:1988", Encoding::ISOLatin3 },
    { "iso_8859-4", Encoding::ISOLatin4 },
    { "iso_8859-4:1988", Encoding::ISOLatin4 },
    { "iso_8859-5", Encoding::ISOLatinCyrillic },
    { "iso_8859-5:1988", Encoding::ISOLatinCyrillic },
    { "iso_8859-6", Encoding::ISOLatinArabic },
    { "iso_8859-6:1987", Encoding::ISOLatinArabic },
    { "iso_8859-7", Encoding::ISOLatinGreek },
    { "iso_8859-7:1987", Encoding::ISOLatinGreek },
    { "iso_8859-8", Encoding::ISOLatinHebrew },
    { "iso_8859-8:1988", Encoding::ISOLatinHebrew },
    { "iso_8859-9", Encoding::WindowsCP1254 },
    { "iso_8859-9:1989", Encoding::WindowsCP1254 },
    { "koi", Encoding::KOI8R },
    { "koi8", Encoding::KOI8R },
    { "koi8-r", Encoding::KOI8R },
    { "koi8-ru", Encoding::KOI8U },
    { "koi8-u", Encoding::KOI8U },
    { "koi8_r", Encoding::KOI8R },
    { "korean", Encoding::KoreanEUC },
    { "ks_c_5601-1987", Encoding::KoreanEUC },
    { "ks_c_5601-1989", Encoding::KoreanEUC },
    { "ksc5601", Encoding::KoreanEUC },
    { "ksc_5601", Encoding::KoreanEUC },
    { "l1", Encoding::WindowsCP1252 },
    { "l2", Encoding::ISOLatin2 },
    { "l3", Encoding::ISOLatin3 },
    { "l4", Encoding::ISOLatin4 },
    { "l5", Encoding::WindowsCP1254 },
    { "l6", Encoding::ISOLatin6 },
    { "l9", Encoding::ISOLatin9 },
    { "latin1", Encoding::WindowsCP1252 },
    { "latin2", Encoding::ISOLatin2 },
    { "latin3", Encoding::ISOLatin3 },
    { "latin4", Encoding::ISOLatin4 },
    { "latin5", Encoding::WindowsCP1254 },
    { "latin6", Encoding::ISOLatin6 },
    { "logical", Encoding::ISOLatinHebrew },
    { "mac", Encoding::MacOSRoman },
    { "macintosh", Encoding::MacOSRoman },
    { "ms932", Encoding::ShiftJIS },
    { "ms_kanji", Encoding::ShiftJIS },
    { "shift-jis", Encoding::ShiftJIS },
    { "shift_jis", Encoding::ShiftJIS },
    { "sjis", Encoding::ShiftJIS },
    { "sun_eu_greek", Encoding::ISOLatinGreek },
    { "tis-620", Encoding::DOSThai },
    { "ucs-2", Encoding::UTF16LittleEndian },
    { "unicode", Encoding::UTF16LittleEndian },
    { "unicode-1-1-utf-8", Encoding::UTF8 },
    { "unicode11utf8", Encoding::UTF8 },
    { "unicode20utf8", Encoding::UTF8 },
    { "unicodefeff", Encoding::UTF16LittleEndian },
    { "unicodefffe", Encoding::UTF16BigEndian },
    { "us-ascii", Encoding::WindowsCP1252 },
    { "utf-16", Encoding::UTF16LittleEndian },
    { "utf-16be", Encoding::UTF16BigEndian },
    { "utf-16le", Encoding::UTF16LittleEndian },
    { "utf-8", Encoding::UTF8 },
    { "utf8", Encoding::UTF8 },
    { "visual", Encoding::ISOLatinHebrew },
    { "windows-1250", Encoding::WindowsCP1250 },
    { "windows-1251", Encoding::WindowsCP1251 },
    { "windows-1252", Encoding::WindowsCP1252 },
    { "windows-1253", Encoding::WindowsCP1253 },
    { "windows-1254", Encoding::WindowsCP1254 },
    { "windows-1255", Encoding::WindowsHebrew },
    { "windows-1256", Encoding::WindowsArabic },
    { "windows-1257", Encoding::WindowsBalticRim },
    { "windows-1258", Encoding::WindowsVietnamese },
    { "windows-31j", Encoding::ShiftJIS },
    { "windows-874", Encoding::DOSThai },
    { "windows-949", Encoding::KoreanEUC },
    { "x-cp1250", Encoding::WindowsCP1250 },
    { "x-cp1251", Encoding::WindowsCP1251 },
    { "x-cp1252", Encoding::WindowsCP1252 },
    { "x-cp1253", Encoding::WindowsCP1253 },
    { "x-cp1254", Encoding::WindowsCP1254 },
    { "x-cp1255", Encoding::WindowsHebrew },
    { "x-cp1256", Encoding::WindowsArabic },
    { "x-cp1257", Encoding::WindowsBalticRim },
    { "x-cp1258", Encoding::WindowsVietnamese },
    { "x-euc-jp", Encoding::JapaneseEUC },
    { "x-gbk", Encoding::GBK },
    { "x-mac-cyrillic", Encoding::MacCyrillic },
    { "x-mac-roman", Encoding::MacOSRoman },
    { "x-mac-ukrainian", Encoding::MacCyrillic },
    { "x-sjis", Encoding::ShiftJIS },
    { "x-unicode20utf8", Encoding::UTF8 },
    { "x-x-big5", Encoding::Big5 },
};

constexpr bool labelsSorted()
{
    for (size_t i = 1; i < std::size(kLabels); ++i)
        if (!(std::string_view(kLabels[i - 1].name) < std::string_view(kLabels[i].name)))
            return false;
    return true;
}
static_assert(labelsSorted(), "the label table is searched by halves");

constexpr bool isAsciiWhite(char16_t c) { return c == 0x09 || c == 0x0A || c == 0x0C || c == 0x0D || c == 0x20; }

// Where a declared label ends: the quote, separator or white space that follows it in a header or a tag.
constexpr bool endsLabel(char16_t c)
{
    return c == u'"' || c == u'\'' || c == u';' || c == u'/' || c == u'>' || c == u',' || isAsciiWhite(c) || c == 0x0B;
}

} // namespace

std::optional<QString> TextEncoding::decode(std::string_view bytes, EncodingId encoding)
{
    const EncodingInfo* info = infoFor(encoding);
    if (!info)
        return std::nullopt;
    switch (info->kind) {
    case Kind::Ascii:
        return decodeAscii(bytes);
    case Kind::Latin1:
        return decodeLatin1(bytes);
    case Kind::Utf8:
        return decodeUtf8(bytes);
    case Kind::Utf16Bom:
        return decodeUtf16(bytes, /*bigEndian=*/true, /*honourBom=*/true);
    case Kind::Utf16BE:
        return decodeUtf16(bytes, /*bigEndian=*/true, /*honourBom=*/false);
    case Kind::Utf16LE:
        return decodeUtf16(bytes, /*bigEndian=*/false, /*honourBom=*/false);
    case Kind::Utf32Bom:
        return decodeUtf32(bytes, /*bigEndian=*/true, /*honourBom=*/true);
    case Kind::Utf32BE:
        return decodeUtf32(bytes, /*bigEndian=*/true, /*honourBom=*/false);
    case Kind::Utf32LE:
        return decodeUtf32(bytes, /*bigEndian=*/false, /*honourBom=*/false);
    case Kind::NonLossyAscii:
        return decodeNonLossyAscii(bytes);
    case Kind::Table:
        return decodeTable(bytes, *info->table);
    case Kind::Converter: {
        QStringDecoder decoder(info->ianaName, QStringDecoder::Flag::Stateless);
        return decodeWith(decoder, bytes);
    }
    case Kind::Unsupported:
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<QByteArray> TextEncoding::encode(QStringView text, EncodingId encoding)
{
    const EncodingInfo* info = infoFor(encoding);
    if (!info)
        return std::nullopt;
    const bool validText = text.isValidUtf16();
    switch (info->kind) {
    case Kind::Ascii:
    case Kind::Latin1: {
        const char16_t limit = info->kind == Kind::Ascii ? 0x80 : 0x100;
        for (QChar ch : text)
            if (ch.unicode() >= limit)
                return std::nullopt;
        return text.toLatin1();
    }
    case Kind::Utf8:
        return validText ? std::optional<QByteArray>(text.toUtf8()) : std::nullopt;
    case Kind::NonLossyAscii:
        return encodeNonLossyAscii(text);
    case Kind::Table:
        return encodeTable(text, *info->table);
    case Kind::Utf16Bom:
    case Kind::Utf16BE:
    case Kind::Utf16LE:
    case Kind::Utf32Bom:
    case Kind::Utf32BE:
    case Kind::Utf32LE: {
        if (!validText)
            return std::nullopt;
        const bool bom = info->kind == Kind::Utf16Bom || info->kind == Kind::Utf32Bom;
        QStringEncoder::Encoding which = QStringEncoder::Utf16BE;
        if (info->kind == Kind::Utf16LE)
            which = QStringEncoder::Utf16LE;
        else if (info->kind == Kind::Utf32Bom || info->kind == Kind::Utf32BE)
            which = QStringEncoder::Utf32BE;
        else if (info->kind == Kind::Utf32LE)
            which = QStringEncoder::Utf32LE;
        QStringEncoder encoder(which, bom ? QStringEncoder::Flag::WriteBom : QStringEncoder::Flag::Default);
        return encodeWith(encoder, text);
    }
    case Kind::Converter: {
        if (!validText)
            return std::nullopt;
        QStringEncoder encoder(info->ianaName, QStringEncoder::Flag::Stateless);
        return encodeWith(encoder, text);
    }
    case Kind::Unsupported:
        return std::nullopt;
    }
    return std::nullopt;
}

bool TextEncoding::isSupported(EncodingId encoding)
{
    const EncodingInfo* info = infoFor(encoding);
    return info && info->kind != Kind::Unsupported;
}

EncodingId TextEncoding::encodingForLabel(QStringView label)
{
    qsizetype start = 0;
    qsizetype end = label.size();
    while (start < end && isAsciiWhite(label[start].unicode()))
        ++start;
    while (end > start && isAsciiWhite(label[end - 1].unicode()))
        --end;
    constexpr qsizetype kLongestLabel = 20;
    if (end - start > kLongestLabel || start == end)
        return Encoding::None;
    char folded[kLongestLabel];
    for (qsizetype i = start; i < end; ++i) {
        const char16_t c = label[i].unicode();
        if (c >= 0x80)
            return Encoding::None;
        folded[i - start] = static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    }
    const std::string_view name(folded, static_cast<size_t>(end - start));
    const auto found = std::lower_bound(std::begin(kLabels), std::end(kLabels), name,
        [](const Label& entry, std::string_view wanted) { return std::string_view(entry.name) < wanted; });
    return found != std::end(kLabels) && name == found->name ? found->id : Encoding::None;
}

EncodingId TextEncoding::encodingForDeclaredCharset(QStringView declaration)
{
    qsizetype start = 0;
    while (start < declaration.size() && isAsciiWhite(declaration[start].unicode()))
        ++start;
    if (start < declaration.size() && (declaration[start] == u'"' || declaration[start] == u'\''))
        ++start;
    qsizetype end = start;
    while (end < declaration.size() && !endsLabel(declaration[end].unicode()))
        ++end;
    const EncodingId encoding = encodingForLabel(declaration.mid(start, end - start));
    if (encoding == Encoding::None || !isSupported(encoding))
        return Encoding::None;
    return writesAsciiAsAscii(encoding) ? encoding : Encoding::UTF8;
}

bool TextEncoding::writesAsciiAsAscii(EncodingId encoding)
{
    // The characters markup and style sheets are read by.
    static constexpr QStringView probe = u"<meta charset=\"x\"><a href='y'>@charset;";
    const auto bytes = encode(probe, encoding);
    return bytes && *bytes == probe.toLatin1();
}

QString TextEncoding::ianaName(EncodingId encoding)
{
    const EncodingInfo* info = infoFor(encoding);
    return info ? QString::fromLatin1(info->ianaName) : QString();
}

} // namespace crawlmere::platform
