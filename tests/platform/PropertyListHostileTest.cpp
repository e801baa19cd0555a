// Property lists built to defeat the limits: nesting hidden where libplist does not look, values
// that write out larger than a list is read with, and dictionaries of many keys.
#include "platform/PropertyList.h"
#include "platform/detail/XmlPropertyList.h"

#include "support/Fixtures.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using crawlmere::platform::PropertyList;
using crawlmere::platform::PropertyListFormat;
using crawlmere::platform::detail::xmlNestingDepth;

namespace {

// `levels` arrays opened by `open`, each followed by `hidden`, where libplist sees no end tag.
QByteArray nestedBehind(int levels, const QByteArray& open, const QByteArray& hidden)
{
    QByteArray xml = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    for (int i = 0; i < levels; ++i)
        xml += open + hidden;
    return xml + "</plist>";
}

} // namespace

TEST(PropertyListHostile, NestingIsCountedAsLibplistReadsTheText)
{
    const struct {
        const char* name;
        QByteArray open;
        QByteArray hidden;
    } cases[] = {
        { "instruction", "<array>", "<?x > </array> ?>" },
        { "instruction with a quoted end", "<array>", "<?x \"?>\" </array> ?>" },
        { "comment", "<array>", "<!-- </array> -->" },
        { "document type", "<array>", "<!DOCTYPE x [ <!ENTITY e \"]>\"> </array> ]>" },
        { "document type without subset", "<array>", "<!DOCTYPE x \">\" \"</array>\" >" },
        { "quoted attribute", "<array a=\"></array>\">", "" },
        { "string", "<array>", "<string><!-- </array> --><![CDATA[</array>]]></string>" },
    };
    for (const auto& c : cases) {
        // What libplist builds: each array inside the one before.
        const QByteArray xml = nestedBehind(600, c.open, c.hidden);
        EXPECT_EQ(xmlNestingDepth(xml, 10000), 600) << c.name;
        const auto read = PropertyList::read(xml);
        ASSERT_FALSE(read.ok()) << c.name;
        EXPECT_EQ(read.error(), QStringLiteral("the property list is nested deeper than 512 levels")) << c.name;
    }
    // An empty root still takes what follows it; a closed one ends the list.
    EXPECT_EQ(xmlNestingDepth("<plist><array/><array><array></array><array><array>", 100), 4);
    EXPECT_EQ(xmlNestingDepth("<plist><array></array><array><array>", 100), 1);
    // A NUL byte ends a tag's name, as in libplist's comparison.
    EXPECT_EQ(xmlNestingDepth(QByteArray("<plist><array\0x><array\0y>", 25), 100), 2);
}

TEST(PropertyListHostile, NestingHiddenInInstructionsIsRefusedBeforeLibplistBuildsIt)
{
    // 500 arrays, then their end tags inside an instruction, 600 times over (4.5 MB): 300,000 levels
    // that libplist would build, and free by recursion past the end of the stack.
    QByteArray block = QByteArray("<array>").repeated(500) + "<?x > " + QByteArray("</array>").repeated(500) + " ?>";
    const QByteArray xml = "<plist version=\"1.0\">" + block.repeated(600) + "</plist>";
    ASSERT_GT(xml.size(), 4500000);
    const auto read = PropertyList::read(xml);
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(read.error(), QStringLiteral("the property list is nested deeper than 512 levels"));
}

TEST(PropertyListHostile, WhatWouldBeReadBackLargerThanTheReadLimitIsNotWritten)
{
    // One shared 250-character string a million times: 250 MB of text, written as more than the
    // 256 MiB a property list is read with.
    const QString text(250, u'x');
    QVariantList items;
    items.reserve(1000000);
    for (int i = 0; i < 1000000; ++i)
        items.append(text);
    const QVariantMap value { { QStringLiteral("unknown"), items } };
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("store.plist"));
    ASSERT_TRUE(PropertyList::writeXmlFile(path, QVariantMap { { QStringLiteral("kept"), true } }).ok());
    const auto written = PropertyList::writeXmlFile(path, value);
    ASSERT_FALSE(written.ok());
    EXPECT_EQ(written.error(),
        QStringLiteral(
            "the property list would be larger than 268435456 bytes, the most a property list is read with"));
    // The file before stays.
    const auto kept = PropertyList::readFile(path);
    ASSERT_TRUE(kept.ok());
    EXPECT_EQ(kept->toMap().value(QStringLiteral("kept")), true);
}

TEST(PropertyListHostile, ADictionaryOfManyKeysIsWrittenAndReadBackWhole)
{
    // Keys of two-character blocks that add the same to libplist's key hash, so that its table
    // holds them all in one bucket: built, or read back, by looking each key up, the dictionary
    // takes minutes under the sanitizers.
    QVariantMap keys;
    for (int i = 0; i < 50000; ++i) {
        QString key;
        for (int bit = 0; bit < 16; ++bit)
            key += (i >> bit) & 1 ? QStringLiteral("a!") : QStringLiteral("`B");
        keys.insert(key, i);
    }
    QElapsedTimer clock;
    clock.start();
    for (const auto format : { PropertyListFormat::Xml, PropertyListFormat::Binary }) {
        const auto bytes = PropertyList::serialize(QVariantMap { { QStringLiteral("unknown"), keys } }, format);
        ASSERT_TRUE(bytes.ok()) << bytes.error().toStdString();
        const auto back = PropertyList::read(*bytes);
        ASSERT_TRUE(back.ok()) << back.error().toStdString();
        EXPECT_EQ(back->toMap().value(QStringLiteral("unknown")).toMap(), keys);
    }
    EXPECT_LT(clock.elapsed(), 30000);
}
