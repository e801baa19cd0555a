// Property lists: round trips of every type in both formats, hand-built input, and broken input.
#include "platform/PropertyList.h"

#include "support/Fixtures.h"
#include "support/SharedArrayChain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPoint>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QUrl>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>

using crawlmere::platform::PropertyList;
using crawlmere::platform::PropertyListFormat;
using crawlmere::test::ExactBuffer;

namespace {

// Parses from an exact-size heap copy so that an overrun shows under AddressSanitizer.
auto readExact(const QByteArray& bytes)
{
    ExactBuffer buffer(bytes);
    return PropertyList::read(QByteArray::fromRawData(buffer.data(), qsizetype(buffer.size())));
}

QDateTime utc(int year, int month, int day, int hour, int minute, int second, int ms = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second, ms), QTimeZone::utc());
}

// One value of every type, with the edge cases each type has.
QVariantMap everyType()
{
    QVariantMap nested;
    nested.insert("emptyList", QVariantList());
    nested.insert("emptyMap", QVariantMap());
    nested.insert("emptyString", QString(""));
    nested.insert("emptyData", QByteArray(""));
    nested.insert("deeper", QVariantList { QVariantMap { { "k", QVariantList { qint64(1), QString("two") } } } });

    QVariantMap value;
    value.insert("string", QString::fromUtf8("Grüße, 東京, emoji \xF0\x9F\x98\x80, <tag> & \"quotes\"'"));
    value.insert("whitespace", QString("  leading\ttab\nnewline  "));
    value.insert("zero", qint64(0));
    value.insert("negative", qint64(-42));
    value.insert("int64Min", std::numeric_limits<qint64>::min());
    value.insert("int64Max", std::numeric_limits<qint64>::max());
    value.insert("uint64Max", std::numeric_limits<quint64>::max());
    value.insert("above32Bits", qint64(5000000000));
    value.insert("real", 3.141592653589793);
    value.insert("tinyReal", 1e-300);
    value.insert("negativeReal", -0.1);
    value.insert("true", true);
    value.insert("false", false);
    value.insert("date", utc(2023, 5, 17, 8, 30, 15));
    value.insert("dateBeforeReference", utc(1990, 12, 31, 23, 59, 59));
    value.insert("data", QByteArray("\x00\x01\xFF binary\x00", 12));
    value.insert("nested", nested);
    value.insert(QString::fromUtf8("ключ с пробелом"), QString("unicode key"));
    value.insert("list", QVariantList { qint64(1), QString("a"), true, 2.5, QVariantList {}, QVariantMap {} });
    return value;
}

class PropertyListRoundTrip : public testing::TestWithParam<PropertyListFormat> { };

} // namespace

TEST_P(PropertyListRoundTrip, EveryTypeComesBackEqualAndTyped)
{
    const QVariantMap original = everyType();
    const auto bytes = PropertyList::serialize(original, GetParam());
    ASSERT_TRUE(bytes.ok()) << bytes.error().toStdString();
    EXPECT_EQ(PropertyList::isBinary(*bytes), GetParam() == PropertyListFormat::Binary);

    const auto back = readExact(*bytes);
    ASSERT_TRUE(back.ok()) << back.error().toStdString();
    ASSERT_EQ(back->typeId(), QMetaType::QVariantMap);
    const QVariantMap map = back->toMap();
    EXPECT_EQ(map, original);
    for (auto it = original.cbegin(); it != original.cend(); ++it)
        EXPECT_EQ(map.value(it.key()).typeId(), it.value().typeId()) << it.key().toStdString();
    EXPECT_EQ(map.value("dateBeforeReference").toDateTime().timeSpec(), Qt::UTC);
}

TEST_P(PropertyListRoundTrip, SubSecondDatesKeepWhatTheFormatKeeps)
{
    // Includes dates within a second before the reference date, where the sign of the
    // fraction matters.
    const QVariantList dates { utc(2024, 2, 29, 12, 0, 0, 123), utc(2000, 12, 31, 23, 59, 59, 500),
        utc(1969, 7, 20, 20, 17, 40, 999), utc(2001, 1, 1, 0, 0, 0, 1) };
    const auto bytes = PropertyList::serialize(dates, GetParam());
    ASSERT_TRUE(bytes.ok()) << bytes.error().toStdString();
    const auto back = readExact(*bytes);
    ASSERT_TRUE(back.ok()) << back.error().toStdString();
    const QVariantList read = back->toList();
    ASSERT_EQ(read.size(), dates.size());
    for (qsizetype i = 0; i < dates.size(); ++i) {
        const QDateTime expected = dates.at(i).toDateTime();
        const QDateTime actual = read.at(i).toDateTime();
        if (GetParam() == PropertyListFormat::Binary) {
            EXPECT_EQ(actual, expected) << i;
        } else {
            // XML keeps whole seconds; the fraction is dropped toward the reference date.
            EXPECT_LT(std::llabs(actual.toMSecsSinceEpoch() - expected.toMSecsSinceEpoch()), 1000) << i;
            EXPECT_EQ(actual.time().msec(), 0) << i;
        }
    }
}

TEST_P(PropertyListRoundTrip, ScalarRootsAndWriterOnlyTypes)
{
    for (const QVariant& root : { QVariant(QString("just a string")), QVariant(qint64(-7)), QVariant(true),
             QVariant(QVariantList {}), QVariant(QVariantMap {}) }) {
        const auto bytes = PropertyList::serialize(root, GetParam());
        ASSERT_TRUE(bytes.ok()) << bytes.error().toStdString();
        const auto back = readExact(*bytes);
        ASSERT_TRUE(back.ok()) << back.error().toStdString();
        EXPECT_EQ(*back, root);
    }
    // Types only accepted on writing come back in their property-list form.
    QVariantHash hash { { "b", 2 }, { "a", 1.5f } };
    const QVariantMap input { { "strings", QStringList { "x", "y" } }, { "int", int(-3) }, { "uint", 7u },
        { "hash", hash }, { "day", QDate(2020, 2, 2) }, { "url", QUrl("http://example.com/a b") } };
    const auto bytes = PropertyList::serialize(input, GetParam());
    ASSERT_TRUE(bytes.ok()) << bytes.error().toStdString();
    const auto back = readExact(*bytes);
    ASSERT_TRUE(back.ok());
    const QVariantMap map = back->toMap();
    EXPECT_EQ(map.value("strings"), QVariant(QVariantList { QString("x"), QString("y") }));
    EXPECT_EQ(map.value("int").typeId(), QMetaType::LongLong);
    EXPECT_EQ(map.value("int").toLongLong(), -3);
    EXPECT_EQ(map.value("uint").toLongLong(), 7);
    EXPECT_EQ(map.value("hash"), QVariant(QVariantMap { { "a", 1.5 }, { "b", qint64(2) } }));
    EXPECT_EQ(map.value("day").toDateTime(), utc(2020, 2, 2, 0, 0, 0));
    EXPECT_EQ(map.value("url").toString(), "http://example.com/a%20b");
}

INSTANTIATE_TEST_SUITE_P(Formats, PropertyListRoundTrip,
    testing::Values(PropertyListFormat::Xml, PropertyListFormat::Binary),
    [](const testing::TestParamInfo<PropertyListFormat>& param) {
        return param.param == PropertyListFormat::Xml ? "Xml" : "Binary";
    });

TEST(PropertyList, ReadsHandWrittenXml)
{
    const QByteArray xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>Name</key>
	<string>caf&#233; &amp; bar</string>
	<key>Count</key>
	<integer>-12</integer>
	<key>Huge</key>
	<integer>18446744073709551615</integer>
	<key>Ratio</key>
	<real>0.25</real>
	<key>On</key>
	<true/>
	<key>When</key>
	<date>2010-03-04T05:06:07Z</date>
	<key>Blob</key>
	<data>
	SGVsbG8=
	</data>
	<key>Empty</key>
	<array/>
</dict>
</plist>
)";
    const auto result = readExact(xml);
    ASSERT_TRUE(result.ok()) << result.error().toStdString();
    const QVariantMap map = result->toMap();
    EXPECT_EQ(map.value("Name").toString(), QString::fromUtf8("café & bar"));
    EXPECT_EQ(map.value("Count"), QVariant(qint64(-12)));
    EXPECT_EQ(map.value("Huge"), QVariant(std::numeric_limits<quint64>::max()));
    EXPECT_EQ(map.value("Ratio"), QVariant(0.25));
    EXPECT_EQ(map.value("On"), QVariant(true));
    EXPECT_EQ(map.value("When").toDateTime(), utc(2010, 3, 4, 5, 6, 7));
    EXPECT_EQ(map.value("Blob").toByteArray(), QByteArray("Hello"));
    EXPECT_EQ(map.value("Empty"), QVariant(QVariantList {}));
}

namespace {

// Builds a binary property list byte by byte: objects in order, one-byte offsets and refs.
QByteArray assembleBinary(const QList<QByteArray>& objects, quint8 top = 0)
{
    QByteArray out("bplist00");
    QByteArray table;
    for (const QByteArray& object : objects) {
        table.append(char(out.size()));
        out.append(object);
    }
    const int tableOffset = int(out.size());
    out.append(table);
    QByteArray trailer(32, '\0');
    trailer[6] = 1; // offset size
    trailer[7] = 1; // reference size
    trailer[15] = char(objects.size());
    trailer[23] = char(top);
    trailer[31] = char(tableOffset);
    return out + trailer;
}

QByteArray bigEndianDouble(double value)
{
    quint64 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    QByteArray out;
    for (int shift = 56; shift >= 0; shift -= 8)
        out.append(char((bits >> shift) & 0xFF));
    return out;
}

} // namespace

TEST(PropertyList, ReadsHandAssembledBinary)
{
    // { "a": -1, "b": [ true, 2.5, <date 1.25 s after the reference date> ] }
    const QByteArray bytes = assembleBinary({
        QByteArray("\xD2\x01\x02\x03\x04", 5),
        QByteArray("\x51"
                   "a"),
        QByteArray("\x51"
                   "b"),
        QByteArray("\x13\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 9),
        QByteArray("\xA3\x05\x06\x07", 4),
        QByteArray("\x09"),
        QByteArray("\x23") + bigEndianDouble(2.5),
        QByteArray("\x33") + bigEndianDouble(1.25),
    });
    const auto result = readExact(bytes);
    ASSERT_TRUE(result.ok()) << result.error().toStdString();
    const QVariantMap map = result->toMap();
    EXPECT_EQ(map.value("a"), QVariant(qint64(-1)));
    const QVariantList list = map.value("b").toList();
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list.at(0), QVariant(true));
    EXPECT_EQ(list.at(1), QVariant(2.5));
    EXPECT_EQ(list.at(2).toDateTime(), utc(2001, 1, 1, 0, 0, 1, 250));
}

TEST(PropertyList, BrokenBinaryStructureIsAnError)
{
    // An array that contains itself.
    EXPECT_FALSE(readExact(assembleBinary({ QByteArray("\xA1\x00", 2) })).ok());
    // A reference past the last object.
    EXPECT_FALSE(readExact(assembleBinary({ QByteArray("\xA1\x05", 2), QByteArray("\x09") })).ok());
    // A top object past the last object.
    EXPECT_FALSE(readExact(assembleBinary({ QByteArray("\x09") }, 3)).ok());
    // A count that runs past the object table.
    EXPECT_FALSE(readExact(assembleBinary({ QByteArray("\xAF\x10\x7F\x01", 4), QByteArray("\x09") })).ok());
    // Only the magic.
    EXPECT_FALSE(readExact(QByteArray("bplist00")).ok());
}

TEST(PropertyList, DeepNestingIsRefusedNotOverflowed)
{
    const int deep = 100000;
    QByteArray xml = "<plist version=\"1.0\">";
    for (int i = 0; i < deep; ++i)
        xml += "<array>";
    for (int i = 0; i < deep; ++i)
        xml += "</array>";
    xml += "</plist>";
    const auto fromXml = readExact(xml);
    ASSERT_FALSE(fromXml.ok());
    EXPECT_TRUE(fromXml.error().contains("nested")) << fromXml.error().toStdString();

    // Binary: each array holds the next one.
    QList<QByteArray> objects;
    for (int i = 0; i < 100; ++i)
        objects.append(i + 1 < 100 ? QByteArray("\xA1") + char(i + 1) : QByteArray("\xA0"));
    EXPECT_TRUE(readExact(assembleBinary(objects)).ok()); // 100 levels are fine

    QVariant value = QVariantList {};
    for (int i = 0; i < PropertyList::maximumDepth + 5; ++i)
        value = QVariantList { value };
    const auto tooDeep = PropertyList::toBinary(value);
    ASSERT_FALSE(tooDeep.ok());
    EXPECT_TRUE(tooDeep.error().contains("nested"));

    // Nested exactly to the limit still works both ways, so the checks agree with each other.
    QVariant atLimit = QVariantList {};
    for (int i = 1; i < PropertyList::maximumDepth; ++i)
        atLimit = QVariantList { atLimit };
    for (const auto format : { PropertyListFormat::Xml, PropertyListFormat::Binary }) {
        const auto bytes = PropertyList::serialize(atLimit, format);
        ASSERT_TRUE(bytes.ok()) << bytes.error().toStdString();
        const auto back = readExact(*bytes);
        ASSERT_TRUE(back.ok()) << back.error().toStdString();
        EXPECT_EQ(*back, atLimit);
    }
}

TEST(PropertyList, DeepBinaryBeyondTheLimitIsRefused)
{
    // A chain of arrays longer than the limit, referenced with two-byte references.
    const int count = PropertyList::maximumDepth + 10;
    QByteArray out("bplist00");
    QList<int> offsets;
    for (int i = 0; i < count; ++i) {
        offsets.append(int(out.size()));
        if (i + 1 < count)
            out.append("\xA1").append(char((i + 1) >> 8)).append(char((i + 1) & 0xFF));
        else
            out.append("\xA0");
    }
    const int tableOffset = int(out.size());
    for (int offset : offsets)
        out.append(char(offset >> 8)).append(char(offset & 0xFF));
    QByteArray trailer(32, '\0');
    trailer[6] = 2;
    trailer[7] = 2;
    trailer[14] = char(count >> 8);
    trailer[15] = char(count & 0xFF);
    trailer[30] = char(tableOffset >> 8);
    trailer[31] = char(tableOffset & 0xFF);
    out.append(trailer);
    const auto result = readExact(out);
    ASSERT_FALSE(result.ok());
    EXPECT_TRUE(result.error().contains("nested")) << result.error().toStdString();
}

TEST(PropertyList, SharedReferencesAreCountedAsTheCopiesTheyBecome)
{
    using crawlmere::test::sharedArrayChain;
    ASSERT_EQ(sharedArrayChain(40, 178).size(), 506);
    const struct {
        const char* name;
        QByteArray bytes;
        const char* error; // null: read
    } cases[] = {
        { "40 arrays, 2^41 values in 506 bytes", sharedArrayChain(40, 178),
            "the property list expands to more than 8388608 values" },
        { "23 arrays, twice the values allowed", sharedArrayChain(23, 1),
            "the property list expands to more than 8388608 values" },
        { "13 arrays over a 40,000-letter text", sharedArrayChain(13, 40000),
            "the property list expands to more than 268435456 bytes" },
        { "10 arrays, read whole", sharedArrayChain(10, 3), nullptr },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto result = readExact(c.bytes);
        if (c.error) {
            ASSERT_FALSE(result.ok());
            EXPECT_EQ(result.error(), QString::fromLatin1(c.error));
            continue;
        }
        ASSERT_TRUE(result.ok()) << result.error().toStdString();
        // Every level holds two copies of the one below; the last two hold the text.
        QVariant level = *result;
        for (int depth = 0; depth < 10; ++depth) {
            const QVariantList pair = level.toList();
            ASSERT_EQ(pair.size(), 2);
            EXPECT_EQ(pair.at(0), pair.at(1));
            level = pair.at(0);
        }
        EXPECT_EQ(level, QVariant(QStringLiteral("xxx")));
    }
}

TEST(PropertyList, LongBinaryArraysAndDictionariesReadInOnePass)
{
    // 200,000 items: reading each item by its index from the array's start takes minutes here;
    // one pass takes well under a second, sanitizers included. The bound is for a loaded machine.
    constexpr int items = 200'000;
    QVariantList list;
    QVariantMap map;
    list.reserve(items);
    for (int i = 0; i < items; ++i) {
        list.append(QStringLiteral("https://site.test/page-%1.html").arg(i));
        if (i % 4 == 0)
            map.insert(QStringLiteral("key-%1").arg(i), i);
    }
    for (const QVariant& value : { QVariant(list), QVariant(map) }) {
        const auto bytes = PropertyList::toBinary(value);
        ASSERT_TRUE(bytes.ok()) << bytes.error().toStdString();
        QElapsedTimer timer;
        timer.start();
        const auto read = PropertyList::read(*bytes);
        ASSERT_TRUE(read.ok()) << read.error().toStdString();
        EXPECT_LT(timer.elapsed(), 20'000);
        EXPECT_EQ(*read, value);
    }
}

TEST(PropertyList, ErrorsSayWhetherTheInputIsNoListOrACutOne)
{
    const struct {
        const char* name;
        QByteArray bytes;
        const char* error;
    } cases[] = {
        { "random bytes", QByteArray("\x93\x17\xfe\x00 q\x81 #!", 10), "the data is not a property list" },
        { "plain text", "some notes, not a list", "the data is not a property list" },
        { "other markup", "<html><body>a page</body></html>", "the data is not a property list" },
        { "a cut list", "<?xml version=\"1.0\"?>\n<plist version=\"1.0\"><dict><key>a</key>",
            "the XML property list is truncated (no closing </plist>)" },
        { "a cut list after white space", "\xEF\xBB\xBF  \n<plist version=\"1.0\"><array>",
            "the XML property list is truncated (no closing </plist>)" },
        { "a cut binary list", "bplist00\x01\x02", "the binary property list is truncated or corrupt" },
    };
    for (const auto& c : cases) {
        const auto result = readExact(c.bytes);
        ASSERT_FALSE(result.ok()) << c.name;
        EXPECT_EQ(result.error(), QString::fromLatin1(c.error)) << c.name;
    }
}

TEST(PropertyList, CorruptAndTruncatedInputIsAnError)
{
    EXPECT_FALSE(PropertyList::read(QByteArray()).ok());
    EXPECT_FALSE(readExact("not a property list at all").ok());
    EXPECT_FALSE(readExact("<plist version=\"1.0\"><dict><key>a</key><string>b</dict></plist>").ok());
    EXPECT_FALSE(readExact("<plist version=\"1.0\"><array><integer>1</integer>").ok());

    const QVariantMap value = everyType();
    for (const auto format : { PropertyListFormat::Xml, PropertyListFormat::Binary }) {
        const auto bytes = PropertyList::serialize(value, format);
        ASSERT_TRUE(bytes.ok());
        // Cut in the middle: an error, not a partial value.
        const auto half = readExact(bytes->left(bytes->size() / 2));
        EXPECT_FALSE(half.ok());
        EXPECT_FALSE(half.error().isEmpty());
        // Every prefix: never a crash or an overrun; binary prefixes always fail (the trailer
        // is at the end), XML prefixes fail until the root element is closed.
        const qsizetype rootClosed = bytes->lastIndexOf("</plist>");
        for (qsizetype length = 0; length < bytes->size(); ++length) {
            const auto prefix = readExact(bytes->left(length));
            if (format == PropertyListFormat::Binary || length < rootClosed) {
                EXPECT_FALSE(prefix.ok()) << "length " << length;
            }
        }
    }
}

TEST(PropertyList, FlippedBytesNeverCrash)
{
    std::mt19937 random(20240501);
    const QVariantMap value = everyType();
    for (const auto format : { PropertyListFormat::Xml, PropertyListFormat::Binary }) {
        const auto bytes = PropertyList::serialize(value, format);
        ASSERT_TRUE(bytes.ok());
        int failures = 0;
        for (int round = 0; round < 3000; ++round) {
            QByteArray damaged = *bytes;
            const int flips = 1 + int(random() % 4);
            for (int i = 0; i < flips; ++i)
                damaged[qsizetype(random() % quint32(damaged.size()))] = char(random() & 0xFF);
            const auto result = readExact(damaged);
            if (!result.ok()) {
                ++failures;
                EXPECT_FALSE(result.error().isEmpty());
            }
        }
        EXPECT_GT(failures, 0);
    }
}

TEST(PropertyList, ValuesWithoutAPropertyListFormAreReported)
{
    const auto invalidInMap = PropertyList::toXml(QVariantMap { { "fine", 1 }, { "bad", QVariant() } });
    ASSERT_FALSE(invalidInMap.ok());
    EXPECT_TRUE(invalidInMap.error().contains("bad")) << invalidInMap.error().toStdString();

    const auto nested
        = PropertyList::toBinary(QVariantMap { { "a", QVariantList { 1, QVariant::fromValue(QPoint(1, 2)) } } });
    ASSERT_FALSE(nested.ok());
    EXPECT_TRUE(nested.error().contains("a/1")) << nested.error().toStdString();

    EXPECT_FALSE(PropertyList::toXml(QVariant()).ok());
    EXPECT_FALSE(PropertyList::toXml(QString::fromUtf8("nul\0inside", 10)).ok());
    EXPECT_FALSE(PropertyList::toXml(QVariantMap { { QString::fromUtf8("k\0ey", 4), 1 } }).ok());
    EXPECT_FALSE(PropertyList::toXml(std::numeric_limits<double>::quiet_NaN()).ok());
    EXPECT_FALSE(PropertyList::toXml(std::numeric_limits<double>::infinity()).ok());
    EXPECT_FALSE(PropertyList::toXml(QDateTime()).ok());
    EXPECT_FALSE(PropertyList::toBinary(utc(1900, 1, 1, 0, 0, 0)).ok());
    EXPECT_FALSE(PropertyList::toBinary(utc(2100, 1, 1, 0, 0, 0)).ok());
    EXPECT_TRUE(PropertyList::toBinary(utc(1934, 1, 1, 0, 0, 0)).ok());
    EXPECT_TRUE(PropertyList::toBinary(utc(2068, 12, 31, 0, 0, 0)).ok());
}

TEST(PropertyList, NormalizedMatchesWhatReadingGives)
{
    const QVariantMap input { { "list", QStringList { "a" } }, { "n", 5 }, { "f", 0.5f } };
    const auto normal = PropertyList::normalized(input);
    ASSERT_TRUE(normal.ok());
    const auto viaBinary = PropertyList::read(*PropertyList::toBinary(input));
    ASSERT_TRUE(viaBinary.ok());
    EXPECT_EQ(*normal, *viaBinary);
    EXPECT_EQ(normal->toMap().value("n").typeId(), QMetaType::LongLong);
    EXPECT_FALSE(PropertyList::normalized(QVariantList { QVariant() }).ok());
}

TEST(PropertyList, FilesAreWrittenAtomicallyAndReadBack)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath("list.plist");
    const QVariantMap first { { "version", 1 } };
    ASSERT_TRUE(PropertyList::writeXmlFile(path, first).ok());
    auto back = PropertyList::readFile(path);
    ASSERT_TRUE(back.ok()) << back.error().toStdString();
    EXPECT_EQ(back->toMap().value("version"), QVariant(qint64(1)));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().startsWith("<?xml"));
    file.close();

    // A value that cannot be written leaves the old file as it was.
    const auto refused = PropertyList::writeXmlFile(path, QVariantMap { { "bad", QVariant() } });
    EXPECT_FALSE(refused.ok());
    EXPECT_EQ(PropertyList::readFile(path)->toMap(), back->toMap());

    // The destination is a folder: the write fails with a reason and nothing else changes.
    const QString folderPath = folder.filePath("taken");
    ASSERT_TRUE(QDir().mkpath(folderPath + "/inside"));
    const auto onFolder = PropertyList::writeXmlFile(folderPath, first);
    ASSERT_FALSE(onFolder.ok());
    EXPECT_TRUE(onFolder.error().contains(folderPath));
    EXPECT_TRUE(QFileInfo(folderPath + "/inside").isDir());

    // Binary files are read by the same call.
    const QString binaryPath = folder.filePath("list.bplist");
    ASSERT_TRUE(PropertyList::writeFile(binaryPath, everyType(), PropertyListFormat::Binary).ok());
    const auto binary = PropertyList::readFile(binaryPath);
    ASSERT_TRUE(binary.ok()) << binary.error().toStdString();
    EXPECT_EQ(binary->toMap(), everyType());

    // No temporary files are left behind.
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files).size(), 2);
}

TEST(PropertyList, UnreadableFilesAreErrors)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const auto missing = PropertyList::readFile(folder.filePath("absent.plist"));
    ASSERT_FALSE(missing.ok());
    EXPECT_TRUE(missing.error().contains("absent.plist"));

    const QString emptyPath = folder.filePath("empty.plist");
    QFile empty(emptyPath);
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    EXPECT_FALSE(PropertyList::readFile(emptyPath).ok());

    EXPECT_FALSE(PropertyList::readFile(folder.path()).ok());

    // Past the size cap: refused from the file size, without reading (the file is sparse).
    const QString hugePath = folder.filePath("huge.plist");
    QFile huge(hugePath);
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    ASSERT_TRUE(huge.resize(PropertyList::maximumSize + 1));
    huge.close();
    const auto tooLarge = PropertyList::readFile(hugePath);
    ASSERT_FALSE(tooLarge.ok());
    EXPECT_TRUE(tooLarge.error().contains("larger than")) << tooLarge.error().toStdString();
}
