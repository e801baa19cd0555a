// Typed reads of settings values: booleans, integers, reals and texts coerced as the crawl reads
// them, and absent keys or dictionaries reading as off.
#include "engine/SettingsValue.h"
#include "engine/CrawlSettingKeys.h"
#include "engine/CrawlSettingTable.h"

#include <QSet>
#include <QStringList>

#include <gtest/gtest.h>

#include <limits>

using namespace crawlmere::engine;

TEST(SettingsValue, BooleansFromEveryStoredForm)
{
    EXPECT_TRUE(boolValue(true));
    EXPECT_FALSE(boolValue(false));
    EXPECT_TRUE(boolValue(qint64(2)));
    EXPECT_TRUE(boolValue(-1));
    EXPECT_FALSE(boolValue(qint64(0)));
    EXPECT_TRUE(boolValue(0.25));
    EXPECT_FALSE(boolValue(0.0));
    EXPECT_TRUE(boolValue(quint64(1) << 40));

    // Texts: the first meaningful character decides.
    for (const char* yes : { "YES", "yes", "true", "T", "y", "1", "  7", "-2", "+3", "007", "Yellow" })
        EXPECT_TRUE(boolValue(QString::fromLatin1(yes))) << yes;
    for (const char* no : { "NO", "no", "false", "0", "", "   ", "0.5", "x", "-0", "00" })
        EXPECT_FALSE(boolValue(QString::fromLatin1(no))) << no;

    EXPECT_FALSE(boolValue(QVariant()));
    EXPECT_FALSE(boolValue(QVariantList { true }));
    EXPECT_FALSE(boolValue(QVariantMap { { QStringLiteral("a"), true } }));
    EXPECT_FALSE(boolValue(QByteArray("1")));
}

TEST(SettingsValue, IntegersFromEveryStoredForm)
{
    EXPECT_EQ(integerValue(qint64(12)), 12);
    EXPECT_EQ(integerValue(7), 7);
    EXPECT_EQ(integerValue(true), 1);
    EXPECT_EQ(integerValue(2.9), 2);
    EXPECT_EQ(integerValue(-2.9), -2);
    EXPECT_EQ(integerValue(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(integerValue(1e30), std::numeric_limits<qint64>::max());
    EXPECT_EQ(integerValue(-1e30), std::numeric_limits<qint64>::min());
    EXPECT_EQ(integerValue(std::numeric_limits<quint64>::max()), std::numeric_limits<qint64>::max());
    EXPECT_EQ(integerValue(QStringLiteral("12abc")), 12);
    EXPECT_EQ(integerValue(QStringLiteral("  -3")), -3);
    EXPECT_EQ(integerValue(QStringLiteral("+4")), 4);
    EXPECT_EQ(integerValue(QStringLiteral("3.9")), 3);
    EXPECT_EQ(integerValue(QStringLiteral("abc")), 0);
    EXPECT_EQ(integerValue(QStringLiteral("")), 0);
    EXPECT_EQ(integerValue(QStringLiteral("99999999999999999999")), std::numeric_limits<qint64>::max());
    EXPECT_EQ(integerValue(QStringLiteral("-9223372036854775808")), std::numeric_limits<qint64>::min());
    EXPECT_EQ(integerValue(QStringLiteral("-99999999999999999999")), std::numeric_limits<qint64>::min());
    EXPECT_EQ(integerValue(QStringLiteral("9223372036854775807")), std::numeric_limits<qint64>::max());
    EXPECT_EQ(integerValue(QVariant()), 0);
    EXPECT_EQ(integerValue(QVariantList { 3 }), 0);
}

TEST(SettingsValue, RealsFromEveryStoredForm)
{
    EXPECT_DOUBLE_EQ(doubleValue(30.0), 30.0);
    EXPECT_DOUBLE_EQ(doubleValue(qint64(3)), 3.0);
    EXPECT_DOUBLE_EQ(doubleValue(true), 1.0);
    EXPECT_DOUBLE_EQ(doubleValue(QStringLiteral("2.5s")), 2.5);
    EXPECT_DOUBLE_EQ(doubleValue(QStringLiteral(" 1e3")), 1000.0);
    EXPECT_DOUBLE_EQ(doubleValue(QStringLiteral("-0.25")), -0.25);
    EXPECT_DOUBLE_EQ(doubleValue(QStringLiteral(".5")), 0.5);
    EXPECT_DOUBLE_EQ(doubleValue(QStringLiteral("2.5e")), 2.5);
    EXPECT_DOUBLE_EQ(doubleValue(QStringLiteral("1-2")), 1.0);
    EXPECT_DOUBLE_EQ(doubleValue(QStringLiteral("abc")), 0.0);
    EXPECT_DOUBLE_EQ(doubleValue(QVariant()), 0.0);
}

TEST(SettingsValue, Texts)
{
    EXPECT_EQ(stringValue(QStringLiteral("sid")), QStringLiteral("sid"));
    EXPECT_EQ(stringValue(qint64(8080)), QStringLiteral("8080"));
    EXPECT_EQ(stringValue(0.1), QStringLiteral("0.1"));
    EXPECT_EQ(stringValue(true), QStringLiteral("1"));
    EXPECT_TRUE(stringValue(QVariant()).isNull());
    EXPECT_TRUE(stringValue(QVariantList { QStringLiteral("a") }).isNull());
}

TEST(SettingsValue, SharedDictionaryReads)
{
    const auto settings = std::make_shared<CrawlSettings>(QVariantMap {
        { crawlKey::runJS, QStringLiteral("YES") },
        { crawlKey::numberOfThreads, QStringLiteral("4") },
        { crawlKey::delay, qint64(2) },
        { crawlKey::sessidParam, QStringLiteral("sid") },
    });
    EXPECT_TRUE(settingBool(settings, key::runJS));
    EXPECT_FALSE(settingBool(settings, key::checkSpelling));
    EXPECT_EQ(settingInteger(settings, key::numberOfThreads), 4);
    EXPECT_DOUBLE_EQ(settingDouble(settings, key::delay), 2.0);
    EXPECT_EQ(settingString(settings, key::sessidParam), QStringLiteral("sid"));
    EXPECT_TRUE(settingString(settings, key::customPostKey1).isNull());
    EXPECT_EQ(settings->size(), 4); // reading never inserts

    const std::shared_ptr<CrawlSettings> none;
    EXPECT_FALSE(settingBool(none, key::runJS));
    EXPECT_EQ(settingInteger(none, key::numberOfThreads), 0);
    EXPECT_DOUBLE_EQ(settingDouble(none, key::delay), 0.0);
    EXPECT_TRUE(settingString(none, key::sessidParam).isNull());
}

namespace {

QVariant defaultAgent() { return crawlmere::engine::crawlSetting(crawlKey::userAgentString).defaultValue; }

} // namespace

// A number typed (`--set`, `--default`) or imported (a settings file) reads as a stored one does.
TEST(SettingsValue, ATypedNumberReadsAsAStoredOne)
{
    const struct {
        const char* text;
        QVariant model;
        QVariant read; // invalid: refused
    } cases[] = {
        { "2s", 0.0, 2.0 }, { " 4 ", qint64(0), qint64(4) }, { "-1", qint64(0), qint64(-1) }, { ".5", 0.0, 0.5 },
        { "12 threads", qint64(0), qint64(12) }, { "lots", qint64(0), QVariant() }, { "soon", 0.0, QVariant() },
        { "", 0.0, QVariant() }, { "nan", 0.0, QVariant() }, { "inf", 0.0, QVariant() }, { ".", 0.0, QVariant() },
    };
    for (const auto& c : cases) {
        const auto typed = valueFromText(QString::fromLatin1(c.text), c.model);
        EXPECT_EQ(typed.value_or(QVariant()), c.read) << c.text;
    }
}

TEST(CrawlSettingTable, AStoredValueReadsAsTheScanUsesItWithinItsRange)
{
    using crawlmere::engine::effectiveSettingValue;
    const struct {
        QString key;
        QVariant stored;
        QVariant used;
    } cases[] = {
        { crawlKey::levelsLimit, qint64(0), qint64(100) }, // not a limit a site can mean: the default
        { crawlKey::levelsLimit, qint64(-3), qint64(100) },
        { crawlKey::levelsLimit, qint64(7), qint64(7) },
        { crawlKey::linksLimit, QString("lots"), qint64(2000000) },
        { crawlKey::numberOfThreads, qint64(0), qint64(1) }, // the slider's nearest end
        { crawlKey::numberOfThreads, qint64(50), qint64(20) },
        { crawlKey::maxRPM, qint64(3), qint64(10) },
        { crawlKey::timeout, 0.0, 30.0 },
        { crawlKey::timeout, 1e300, 3600.0 },
        { crawlKey::delay, -1.0, 0.0 },
        { crawlKey::checkImages, QString("Yellow"), true },
        { crawlKey::checkImages, QVariant(), true }, // absent: the default
        { crawlKey::httpIsExternal, QVariant(), false }, // no default: NO
        { crawlKey::timeout, QString("2s"), 2.0 },
        // A blank header text is none: the default goes out, never an empty header.
        { crawlKey::userAgentString, QString("   "), defaultAgent() },
        { crawlKey::customHeaderAcceptLanguage, QString(" \t "), QString("*") },
        { crawlKey::userAgentString, QString(" Agent/1 "), QString(" Agent/1 ") },
        { "noSuchSetting", QString("kept"), QString("kept") },
    };
    for (const auto& c : cases)
        EXPECT_EQ(effectiveSettingValue(c.key, c.stored), c.used) << qPrintable(c.key);
}

TEST(CrawlSettingTable, EveryDeclaredKeyHasItsRowAndEveryRowADeclaredKey)
{
    // The code names settings only through the declared keys: a key without a row would read as
    // off, a row without a key could not be read.
    QStringList declared;
    for (const CrawlSettingKey key : allCrawlSettingKeys) {
        declared.append(QString(key));
        const CrawlSetting* row = findCrawlSetting(key);
        ASSERT_NE(row, nullptr) << key.name();
        EXPECT_EQ(&crawlSetting(key), row);
    }
    QStringList rows;
    for (const CrawlSetting& setting : crawlSettingTable())
        rows.append(setting.key);
    EXPECT_EQ(rows, declared);
    EXPECT_EQ(QSet<QString>(rows.cbegin(), rows.cend()).size(), rows.size()) << "a key declared twice";
}

TEST(CrawlSettingTable, EveryPaneControlHasItsLabelAndEveryNumberControlItsRange)
{
    for (const CrawlSetting& setting : crawlSettingTable()) {
        SCOPED_TRACE(setting.key.toStdString());
        const SettingControl control = setting.pane.control;
        EXPECT_EQ(control != SettingControl::None, setting.pane.label != nullptr);
        const bool number = control == SettingControl::Limit || control == SettingControl::RequestRate
            || control == SettingControl::Seconds || control == SettingControl::Threads;
        if (number) {
            EXPECT_TRUE(setting.range.has_value());
        }
        if (setting.range) {
            EXPECT_LE(setting.range->lowest, setting.range->highest);
            EXPECT_LE(effectiveSettingValue(setting.key, setting.defaultValue).toDouble(), setting.range->highest);
            EXPECT_GE(effectiveSettingValue(setting.key, setting.defaultValue).toDouble(), setting.range->lowest);
        }
    }
}
