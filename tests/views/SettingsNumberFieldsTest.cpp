// The number fields of the settings pane: each takes its range from the crawl-settings table,
// and once edited shows the value the scan will use.
#include "engine/CrawlSettingKeys.h"
#include "views/SettingsOptionsTab.h"

#include "engine/CrawlSettingTable.h"
#include "platform/UserDefaults.h"
#include "settings/ConfigManager.h"
#include "settings/SettingsBinding.h"

#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace crawlmere;

namespace {

class SettingsNumberFieldsTest : public testing::Test {
protected:
    QTemporaryDir m_dir;
    platform::UserDefaults m_defaults { m_dir.filePath(QStringLiteral("defaults.plist")) };
    settings::ConfigManager m_manager { m_defaults };
    views::SettingsOptionsTab m_pane { m_manager, QStringLiteral(CRAWLMERE_FIXTURES "/settings"), nullptr };

    void SetUp() override
    {
        // Typed into as a user types: into the focused field of the active window.
        m_pane.show();
        m_pane.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&m_pane));
    }

    /// Types `text` into the field of `key` as a user does and presses Return; the field's text.
    QString typeInto(const QString& key, const QString& text)
    {
        auto* field = static_cast<QLineEdit*>(m_pane.control(key));
        field->setFocus();
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Delete);
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
        return field->text();
    }
};

} // namespace

TEST_F(SettingsNumberFieldsTest, AnEditedFieldShowsTheValueTheScanWillUse)
{
    const struct {
        crawlmere::engine::CrawlSettingKey key;
        QVariant stored; // the site's own value
        const char* typed;
        const char* shown;
    } cases[] = {
        { crawlKey::levelsLimit, QVariant(), "0", "100" }, // stores nothing: the default
        { crawlKey::levelsLimit, QVariant(), "", "100" },
        { crawlKey::levelsLimit, qint64(7), "0", "7" }, // stores nothing: the site keeps its 7
        { crawlKey::levelsLimit, qint64(7), "12", "12" },
        { crawlKey::linksLimit, QVariant(), "0", "2000000" },
        { crawlKey::occurrencesLimit, QVariant(), "99999999999", "2147483647" },
        { crawlKey::timeout, QVariant(), "0.5", "30" }, // below a second reads as the default
        { crawlKey::timeout, QVariant(), "5000", "3600" },
        { crawlKey::timeout, QVariant(), "2.5", "2.5" },
        { crawlKey::timeout, 12.0, "0", "12" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key.name()) + " typed " + c.typed);
        QVariantMap site { { crawlKey::startingUrl, QStringLiteral("http://127.0.0.1/") } };
        if (c.stored.isValid())
            site.insert(c.key, c.stored);
        m_pane.showSettings(site);
        EXPECT_EQ(typeInto(c.key, QLatin1StringView(c.typed)), QLatin1StringView(c.shown));
        m_pane.copyInterfaceToSettings(site);
        EXPECT_EQ(engine::effectiveSettingValue(c.key, site.value(c.key)).toString(), QLatin1StringView(c.shown))
            << "the scan";
    }
}

TEST_F(SettingsNumberFieldsTest, NoNumberFieldTakesAValueOutsideItsTableRange)
{
    int fields = 0;
    for (const auto& row : settings::settingsBindingTable()) {
        const engine::CrawlSetting* setting = engine::findCrawlSetting(row.key);
        auto* field = qobject_cast<QLineEdit*>(m_pane.control(row.key));
        if (!setting || !setting->range || !field)
            continue;
        ++fields;
        const engine::SettingRange& range = *setting->range;
        for (const double typed : { range.highest + 1, range.highest * 10, range.lowest / 2 }) {
            SCOPED_TRACE(row.key.toStdString() + " typed " + std::to_string(typed));
            QVariantMap site { { crawlKey::startingUrl, QStringLiteral("http://127.0.0.1/") },
                { crawlKey::limitRPM, true } };
            m_pane.showSettings(site);
            const QString shown
                = typeInto(row.key, QString::number(typed, 'f', setting->type == QMetaType::Double ? 1 : 0));
            const double number = shown.toDouble();
            EXPECT_GE(number, range.lowest) << qPrintable(shown);
            EXPECT_LE(number, range.highest) << qPrintable(shown);
            m_pane.copyInterfaceToSettings(site);
            if (site.contains(row.key)) {
                EXPECT_LE(site.value(row.key).toDouble(), range.highest);
            }
        }
    }
    EXPECT_EQ(fields, 5);
}

TEST_F(SettingsNumberFieldsTest, ThePaneBindsEverySettingTheTableGivesAControlOnce)
{
    QStringList bound;
    for (const auto& row : settings::settingsBindingTable())
        bound.append(row.key);
    for (const engine::CrawlSetting& setting : engine::crawlSettingTable()) {
        EXPECT_EQ(bound.count(setting.key), setting.pane.control == engine::SettingControl::None ? 0 : 1)
            << qPrintable(setting.key);
        if (setting.pane.control != engine::SettingControl::None) {
            EXPECT_NE(m_pane.control(setting.key), nullptr) << qPrintable(setting.key);
        }
    }
}
