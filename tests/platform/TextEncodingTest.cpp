#include "platform/TextEncoding.h"

#include <gtest/gtest.h>

using crawlmere::platform::EncodingId;
using crawlmere::platform::TextEncoding;
namespace Encoding = crawlmere::platform::Encoding;

namespace {

std::optional<QString> decode(std::string_view bytes, EncodingId id) { return TextEncoding::decode(bytes, id); }

} // namespace

TEST(TextEncoding, Utf8IsStrict)
{
    EXPECT_EQ(decode("caf\xC3\xA9", Encoding::UTF8), QString::fromUtf8("caf\xC3\xA9"));
    EXPECT_FALSE(decode("caf\xC3", Encoding::UTF8)) << "truncated sequence at the end";
    EXPECT_FALSE(decode("caf\xE9 au lait", Encoding::UTF8)) << "Latin-1 byte";
    EXPECT_FALSE(decode("\xC0\xAF", Encoding::UTF8)) << "overlong form";
    EXPECT_FALSE(decode("\xED\xA0\x80", Encoding::UTF8)) << "encoded surrogate";
    EXPECT_FALSE(decode("\xF4\x90\x80\x80", Encoding::UTF8)) << "above U+10FFFF";
    // A byte-order mark is dropped; an empty run is an empty, non-null string.
    EXPECT_EQ(decode("\xEF\xBB\xBFok", Encoding::UTF8), QStringLiteral("ok"));
    const auto empty = decode("", Encoding::UTF8);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->isEmpty());
    EXPECT_FALSE(empty->isNull());
}

TEST(TextEncoding, AsciiAndLatin1)
{
    EXPECT_EQ(decode("plain", Encoding::ASCII), QStringLiteral("plain"));
    EXPECT_FALSE(decode("na\xEFve", Encoding::ASCII));
    // Latin-1 maps every byte.
    const auto latin = decode("na\xEFve\x80\xFF", Encoding::ISOLatin1);
    ASSERT_TRUE(latin);
    EXPECT_EQ(latin->size(), 7);
    EXPECT_EQ(latin->at(2).unicode(), 0xEF);
    EXPECT_EQ(latin->at(6).unicode(), 0xFF);
}

TEST(TextEncoding, ShiftJisDecodesAndFailsOnInvalidBytes)
{
    // "日本" in Shift_JIS.
    EXPECT_EQ(decode("\x93\xFA\x96\x7B", Encoding::ShiftJIS), QString::fromUtf8("\xE6\x97\xA5\xE6\x9C\xAC"));
    EXPECT_FALSE(decode("\x82", Encoding::ShiftJIS)) << "lead byte without its trail byte";
    EXPECT_FALSE(decode("\x82\x20", Encoding::ShiftJIS)) << "invalid trail byte";
    EXPECT_FALSE(decode("ok\xFF\xFF", Encoding::ShiftJIS)) << "bytes outside the encoding";
}

TEST(TextEncoding, HzGb2312AndOtherConverters)
{
    // "~{<:~}" is U+5DF1 in HZ.
    EXPECT_EQ(decode("a~{<:~}b", Encoding::HZGB2312), QString::fromUtf8("a\xE5\xB7\xB1" "b"));
    EXPECT_FALSE(decode("~{\x01\x01~}", Encoding::HZGB2312));
    EXPECT_EQ(decode("\x80", Encoding::WindowsCP1252), QString::fromUtf8("\xE2\x82\xAC"));
    EXPECT_EQ(decode("\xA4\xA2", Encoding::JapaneseEUC), QString::fromUtf8("\xE3\x81\x82"));
    EXPECT_FALSE(decode("\xA4", Encoding::JapaneseEUC));
    EXPECT_EQ(decode("\xB0\xA1", Encoding::DOSChineseSimplified), QString::fromUtf8("\xE5\x95\x8A"));
    EXPECT_EQ(decode("\xB0\xA1", Encoding::GB2312_80), QString::fromUtf8("\xE5\x95\x8A"));
    // GB 18030 reaches past GBK with four-byte sequences: U+20AC, U+10000.
    EXPECT_EQ(decode("\xB0\xA1\xA2\xE3\x90\x30\x81\x30", Encoding::GB18030), QString::fromUtf8("\xE5\x95\x8A\xE2\x82\xAC\xF0\x90\x80\x80"));
    EXPECT_EQ(decode("\xA4\x40", Encoding::Big5), QString::fromUtf8("\xE4\xB8\x80"));
    EXPECT_EQ(decode("\xC1", Encoding::KOI8R), QString::fromUtf8("\xD0\xB0"));
    EXPECT_EQ(decode("\xB0\xA1", Encoding::KoreanEUC), QString::fromUtf8("\xEA\xB0\x80"));
    EXPECT_EQ(decode("\xA1", Encoding::ISOLatinThai), QString::fromUtf8("\xE0\xB8\x81"));
    EXPECT_EQ(decode("\x80", Encoding::MacOSRoman), QString::fromUtf8("\xC3\x84"));
    EXPECT_EQ(decode("\x1B$B$\"\x1B(B", Encoding::ISO2022JP), QString::fromUtf8("\xE3\x81\x82"));
    EXPECT_FALSE(decode("\xA1", Encoding::ISOLatinArabic)) << "unassigned in ISO 8859-6";
}

TEST(TextEncoding, Utf16AndUtf32)
{
    EXPECT_EQ(decode(std::string_view("\xFE\xFF\x00\x41", 4), Encoding::Unicode), QStringLiteral("A"));
    EXPECT_EQ(decode(std::string_view("\xFF\xFE\x41\x00", 4), Encoding::Unicode), QStringLiteral("A"));
    EXPECT_EQ(decode(std::string_view("\x00\x41", 2), Encoding::Unicode), QStringLiteral("A")) << "big-endian without a mark";
    EXPECT_EQ(decode(std::string_view("\x41\x00", 2), Encoding::UTF16LittleEndian), QStringLiteral("A"));
    EXPECT_FALSE(decode(std::string_view("\x00\x41\x00", 3), Encoding::UTF16BigEndian)) << "odd length";
    EXPECT_FALSE(decode(std::string_view("\xD8\x00\x00\x41", 4), Encoding::UTF16BigEndian)) << "unpaired high surrogate";
    EXPECT_FALSE(decode(std::string_view("\xDC\x00", 2), Encoding::UTF16BigEndian)) << "lone low surrogate";
    EXPECT_EQ(decode(std::string_view("\xD8\x3D\xDE\x00", 4), Encoding::UTF16BigEndian), QString::fromUtf8("\xF0\x9F\x98\x80"));
    EXPECT_EQ(decode(std::string_view("\x00\x01\xF6\x00", 4), Encoding::UTF32BigEndian), QString::fromUtf8("\xF0\x9F\x98\x80"));
    EXPECT_EQ(decode(std::string_view("\x41\x00\x00\x00", 4), Encoding::UTF32LittleEndian), QStringLiteral("A"));
    EXPECT_FALSE(decode(std::string_view("\x00\x11\x00\x00", 4), Encoding::UTF32BigEndian));
    EXPECT_FALSE(decode(std::string_view("\x00\x00\x41", 3), Encoding::UTF32));
}

TEST(TextEncoding, UnknownAndUnsupportedEncodingsFail)
{
    EXPECT_FALSE(decode("abc", Encoding::None));
    EXPECT_FALSE(decode("abc", 12345));
    EXPECT_FALSE(decode("abc", Encoding::NextStep));
    EXPECT_FALSE(TextEncoding::isSupported(Encoding::Symbol));
    EXPECT_TRUE(TextEncoding::isSupported(Encoding::HZGB2312));
    EXPECT_FALSE(TextEncoding::encode(u"abc", Encoding::None));
}

TEST(TextEncoding, NonLossyAsciiRoundTrip)
{
    const QString text = QString::fromUtf8("a\\b \xC3\xA9 \xE6\x97\xA5");
    const auto bytes = TextEncoding::encode(text, Encoding::NonLossyASCII);
    ASSERT_TRUE(bytes);
    for (char c : *bytes)
        EXPECT_LT(static_cast<unsigned char>(c), 0x80);
    EXPECT_EQ(TextEncoding::decode(*bytes, Encoding::NonLossyASCII), text);
    EXPECT_FALSE(decode("\xE9", Encoding::NonLossyASCII));
}

TEST(TextEncoding, EncodeIsStrict)
{
    EXPECT_EQ(TextEncoding::encode(QString::fromUtf8("\xE6\x97\xA5"), Encoding::ShiftJIS), QByteArray("\x93\xFA"));
    EXPECT_EQ(TextEncoding::encode(QString::fromUtf8("caf\xC3\xA9"), Encoding::ISOLatin1), QByteArray("caf\xE9"));
    EXPECT_FALSE(TextEncoding::encode(QString::fromUtf8("caf\xC3\xA9"), Encoding::ASCII));
    EXPECT_FALSE(TextEncoding::encode(QString::fromUtf8("\xE6\x97\xA5"), Encoding::ISOLatin1));
    EXPECT_FALSE(TextEncoding::encode(QString::fromUtf8("\xE2\x82\xAC"), Encoding::KOI8R));
    const QChar lone[] = { QChar(0xD800) };
    EXPECT_FALSE(TextEncoding::encode(QStringView(lone, 1), Encoding::UTF8));
    EXPECT_EQ(TextEncoding::encode(u"A", Encoding::Unicode), QByteArray("\xFE\xFF\x00\x41", 4));
}

TEST(TextEncoding, LabelsReadAsBrowsersReadThem)
{
    const struct {
        const char16_t* label;
        EncodingId expected;
    } rows[] = {
        { u"UTF-8", Encoding::UTF8 },
        { u" \tUtf8\n", Encoding::UTF8 },
        { u" shift_jis ", Encoding::ShiftJIS },
        { u"windows-31j", Encoding::ShiftJIS },
        { u"Windows-1252", Encoding::WindowsCP1252 },
        { u"iso-8859-1", Encoding::WindowsCP1252 },
        { u"latin1", Encoding::WindowsCP1252 },
        { u"ascii", Encoding::WindowsCP1252 },
        { u"US-ASCII", Encoding::WindowsCP1252 },
        { u"ISO-8859-15", Encoding::ISOLatin9 },
        { u"iso-8859-9", Encoding::WindowsCP1254 },
        { u"iso-8859-13", Encoding::ISOLatin7 },
        { u"iso-8859-16", Encoding::ISOLatin10 },
        { u"windows-1255", Encoding::WindowsHebrew },
        { u"windows-1256", Encoding::WindowsArabic },
        { u"koi8-u", Encoding::KOI8U },
        { u"gb2312", Encoding::GBK },
        { u"utf-16", Encoding::UTF16LittleEndian },
        { u"HZ-GB-2312", Encoding::None },
        { u"x-user-defined", Encoding::None },
        { u"\u00A0utf-8", Encoding::None },
        { u"\u0130so-8859-1", Encoding::None },
        { u"utf-8;", Encoding::None },
        { u"", Encoding::None },
        { u"no-such-charset", Encoding::None },
    };
    for (const auto& row : rows)
        EXPECT_EQ(TextEncoding::encodingForLabel(row.label), row.expected) << QString::fromUtf16(row.label).toStdString();
    EXPECT_EQ(TextEncoding::ianaName(Encoding::ShiftJIS), QStringLiteral("Shift_JIS"));
    EXPECT_TRUE(TextEncoding::ianaName(Encoding::None).isEmpty());
    // Every supported identifier's name maps back to it, ISO Latin 1's and ASCII's excepted: those
    // labels name windows-1252.
    for (EncodingId id : { Encoding::UTF8, Encoding::WindowsCP1252, Encoding::ShiftJIS, Encoding::JapaneseEUC,
             Encoding::WindowsCP1251, Encoding::ISOLatinGreek, Encoding::Big5, Encoding::KoreanEUC, Encoding::GBK,
             Encoding::GB18030, Encoding::ISOLatin9, Encoding::ISOLatin10, Encoding::KOI8U, Encoding::WindowsArabic })
        EXPECT_EQ(TextEncoding::encodingForLabel(TextEncoding::ianaName(id)), id) << id;
}

TEST(TextEncoding, DeclaredCharsetsEndAtTheirTagAndAreReadAsAscii)
{
    EXPECT_EQ(TextEncoding::encodingForDeclaredCharset(u"windows-1251\" />"), Encoding::WindowsCP1251);
    EXPECT_EQ(TextEncoding::encodingForDeclaredCharset(u"'koi8-u'"), Encoding::KOI8U);
    EXPECT_EQ(TextEncoding::encodingForDeclaredCharset(u"iso-8859-1; format=flowed"), Encoding::WindowsCP1252);
    EXPECT_EQ(TextEncoding::encodingForDeclaredCharset(u"UTF-16LE"), Encoding::UTF8) << "read as ASCII to be found";
    EXPECT_EQ(TextEncoding::encodingForDeclaredCharset(u"hz-gb-2312"), Encoding::None);
    EXPECT_EQ(TextEncoding::encodingForDeclaredCharset(u""), Encoding::None);
}

TEST(TextEncoding, SingleByteTablesAsBrowsersReadThem)
{
    EXPECT_EQ(decode("Prix 5\xA4 \xA6", Encoding::ISOLatin9), QString::fromUtf8("Prix 5\u20AC \u0160"));
    EXPECT_EQ(decode("\x93\x80\x81\x9D", Encoding::WindowsCP1252), QString::fromUtf8("\u201C\u20AC\u0081\u009D"));
    EXPECT_EQ(decode("\xAA\xDE", Encoding::ISOLatin10), QString::fromUtf8("\u0218\u021A"));
    EXPECT_EQ(decode("\xA6\xAE\xBE", Encoding::KOI8U), QString::fromUtf8("\u0456\u045E\u040E"));
    // Every byte reads as a character and writes back as itself.
    std::string every;
    for (int byte = 0; byte < 256; ++byte)
        every.push_back(static_cast<char>(byte));
    for (EncodingId id : { Encoding::WindowsCP1252, Encoding::ISOLatin10, Encoding::KOI8U }) {
        const auto text = decode(every, id);
        ASSERT_TRUE(text) << id;
        EXPECT_EQ(TextEncoding::encode(*text, id), QByteArray::fromStdString(every)) << id;
    }
    EXPECT_FALSE(TextEncoding::encode(u"\u0410", Encoding::WindowsCP1252));
}
