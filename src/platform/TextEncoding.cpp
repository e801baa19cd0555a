// Strict decoding and encoding: UTF-8, Latin-1, ASCII, UTF-16 and UTF-32 by hand or with Qt's
// built-in codecs, every other encoding through QStringDecoder's ICU-backed converters.
#include "platform/TextEncoding.h"

#include "platform/Strings.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <array>

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
    Converter, // QStringDecoder / QStringEncoder by name
    Unsupported,
};

struct EncodingInfo {
    EncodingId id;
    Kind kind;
    const char* ianaName; // preferred name, also the converter's name for Kind::Converter
};

constexpr std::array<EncodingInfo, 39> kEncodings { {
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
    { Encoding::WindowsCP1252, Kind::Converter, "windows-1252" },
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
    { Encoding::DOSThai, Kind::Converter, "windows-874" },
    { Encoding::DOSChineseSimplified, Kind::Converter, "GBK" },
    // Pages that declare GB 2312-80 are written in its EUC form.
    { Encoding::GB2312_80, Kind::Converter, "GB2312" },
    { Encoding::GBK, Kind::Converter, "GBK" },
    { Encoding::GB18030, Kind::Converter, "GB18030" },
    { Encoding::KOI8R, Kind::Converter, "KOI8-R" },
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

std::optional<QByteArray> encodeWith(QStringEncoder& encoder, QStringView text)
{
    if (!encoder.isValid())
        return std::nullopt;
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    return bytes;
}

struct Alias {
    const char* name; // lower case
    EncodingId id;
};

constexpr std::array<Alias, 72> kAliases { {
    { "utf-8", Encoding::UTF8 },
    { "utf8", Encoding::UTF8 },
    { "unicode-1-1-utf-8", Encoding::UTF8 },
    { "us-ascii", Encoding::ASCII },
    { "ascii", Encoding::ASCII },
    { "ansi_x3.4-1968", Encoding::ASCII },
    { "iso-8859-1", Encoding::ISOLatin1 },
    { "iso8859-1", Encoding::ISOLatin1 },
    { "iso_8859-1", Encoding::ISOLatin1 },
    { "latin1", Encoding::ISOLatin1 },
    { "l1", Encoding::ISOLatin1 },
    { "iso-8859-2", Encoding::ISOLatin2 },
    { "iso_8859-2", Encoding::ISOLatin2 },
    { "latin2", Encoding::ISOLatin2 },
    { "iso-8859-3", Encoding::ISOLatin3 },
    { "iso-8859-4", Encoding::ISOLatin4 },
    { "iso-8859-5", Encoding::ISOLatinCyrillic },
    { "iso-8859-6", Encoding::ISOLatinArabic },
    { "iso-8859-7", Encoding::ISOLatinGreek },
    { "iso-8859-8", Encoding::ISOLatinHebrew },
    { "tis-620", Encoding::ISOLatinThai },
    { "iso-8859-11", Encoding::ISOLatinThai },
    { "windows-874", Encoding::DOSThai },
    { "cp874", Encoding::DOSThai },
    { "windows-1250", Encoding::WindowsCP1250 },
    { "cp1250", Encoding::WindowsCP1250 },
    { "windows-1251", Encoding::WindowsCP1251 },
    { "cp1251", Encoding::WindowsCP1251 },
    { "windows-1252", Encoding::WindowsCP1252 },
    { "cp1252", Encoding::WindowsCP1252 },
    { "windows-1253", Encoding::WindowsCP1253 },
    { "cp1253", Encoding::WindowsCP1253 },
    { "windows-1254", Encoding::WindowsCP1254 },
    { "cp1254", Encoding::WindowsCP1254 },
    { "shift_jis", Encoding::ShiftJIS },
    { "shift-jis", Encoding::ShiftJIS },
    { "sjis", Encoding::ShiftJIS },
    { "x-sjis", Encoding::ShiftJIS },
    { "ms_kanji", Encoding::ShiftJIS },
    { "csshiftjis", Encoding::ShiftJIS },
    { "euc-jp", Encoding::JapaneseEUC },
    { "x-euc-jp", Encoding::JapaneseEUC },
    { "cseucpkdfmtjapanese", Encoding::JapaneseEUC },
    { "iso-2022-jp", Encoding::ISO2022JP },
    { "csiso2022jp", Encoding::ISO2022JP },
    { "macintosh", Encoding::MacOSRoman },
    { "mac", Encoding::MacOSRoman },
    { "x-mac-roman", Encoding::MacOSRoman },
    { "csmacintosh", Encoding::MacOSRoman },
    { "utf-16", Encoding::Unicode },
    { "utf-16be", Encoding::UTF16BigEndian },
    { "utf-16le", Encoding::UTF16LittleEndian },
    { "utf-32", Encoding::UTF32 },
    { "utf-32be", Encoding::UTF32BigEndian },
    { "utf-32le", Encoding::UTF32LittleEndian },
    { "hz-gb-2312", Encoding::HZGB2312 },
    { "gb_2312-80", Encoding::GB2312_80 },
    { "gb2312", Encoding::DOSChineseSimplified },
    { "csgb2312", Encoding::DOSChineseSimplified },
    { "cp936", Encoding::DOSChineseSimplified },
    { "windows-936", Encoding::DOSChineseSimplified },
    { "gbk", Encoding::GBK },
    { "x-gbk", Encoding::GBK },
    { "gb18030", Encoding::GB18030 },
    { "big5", Encoding::Big5 },
    { "csbig5", Encoding::Big5 },
    { "x-x-big5", Encoding::Big5 },
    { "koi8-r", Encoding::KOI8R },
    { "cskoi8r", Encoding::KOI8R },
    { "euc-kr", Encoding::KoreanEUC },
    { "cseuckr", Encoding::KoreanEUC },
    { "x-nonlossyascii", Encoding::NonLossyASCII },
} };

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

EncodingId TextEncoding::encodingForIanaName(QStringView name)
{
    const QString folded = name.trimmed().toString().toLower();
    for (const Alias& alias : kAliases)
        if (folded == QLatin1StringView(alias.name))
            return alias.id;
    return Encoding::None;
}

QString TextEncoding::ianaName(EncodingId encoding)
{
    const EncodingInfo* info = infoFor(encoding);
    return info ? QString::fromLatin1(info->ianaName) : QString();
}

} // namespace crawlmere::platform
