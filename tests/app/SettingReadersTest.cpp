// Every switch of the crawl-settings table, stored in each form a settings file or the defaults
// store may hold it, reads the same through the settings pane, the scan, the request diagnosis,
// the application store and a headless scan of a settings file.
#include "app/DiagnosticContent.h"
#include "app/HeadlessScan.h"
#include "engine/CrawlSettingKeys.h"

#include "engine/CrawlSettingTable.h"
#include "engine/CrwlUrl.h"
#include "engine/SettingsValue.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "settings/ConfigManager.h"
#include "settings/SettingsBinding.h"
#include "views/SettingsOptionsTab.h"

#include <QCheckBox>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace crawlmere;

namespace {

struct StoredForm {
    const char* name;
    QVariant value;
    bool on;
};

const StoredForm kForms[] = {
    { "YES", QVariant(true), true },
    { "NO", QVariant(false), false },
    { "\"YES\"", QVariant(QStringLiteral("YES")), true },
    { "\"NO\"", QVariant(QStringLiteral("NO")), false },
    { "1", QVariant(qint64(1)), true },
    { "0", QVariant(qint64(0)), false },
    { "\"Y\"", QVariant(QStringLiteral("Y")), true },
    { "\"f\"", QVariant(QStringLiteral("f")), false },
};

/// The pane's checkbox of `key` as it shows a site holding `value` (inverted where the control
/// asks the opposite), or nullopt when the pane has no control for it.
std::optional<bool> paneReading(views::SettingsOptionsTab& pane, const QString& key, const QVariant& value)
{
    const auto& rows = settings::settingsBindingTable();
    const auto row
        = std::find_if(rows.cbegin(), rows.cend(), [&](const auto& candidate) { return candidate.key == key; });
    if (row == rows.cend())
        return std::nullopt;
    pane.showSettings({ { key, value } });
    const bool checked = pane.findChild<QCheckBox*>(key)->isChecked();
    return row->kind == settings::BindingKind::InvertedCheck ? !checked : checked;
}

} // namespace

TEST(SettingReaders, EverySwitchStoredInEveryFormReadsAlikeEverywhere)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    platform::UserDefaults store(folder.filePath(QStringLiteral("defaults.plist")));
    settings::ConfigManager manager(store);
    views::SettingsOptionsTab pane(manager, QStringLiteral(CRAWLMERE_FIXTURES "/settings"), nullptr);
    const QString settingsFile = folder.filePath(QStringLiteral("site.lcsettings"));
    app::HeadlessOptions headless;
    headless.target = settingsFile;
    headless.targetKind = app::TargetKind::SettingsFile;

    int switches = 0;
    for (const engine::CrawlSettingKey settingKey : engine::allCrawlSettingKeys) {
        if (engine::crawlSetting(settingKey).type != QMetaType::Bool)
            continue;
        ++switches;
        const QString key = settingKey;
        for (const StoredForm& form : kForms) {
            SCOPED_TRACE(key.toStdString() + " stored as " + form.name);
            const QVariantMap site { { crawlKey::startingUrl, QStringLiteral("http://127.0.0.1/") },
                { key, form.value } };
            const auto scan = std::make_shared<CrawlSettings>(CrwlUrl::scanSettingsFor(site, store));
            EXPECT_EQ(engine::settingBool(scan, settingKey), form.on) << "the scan";
            EXPECT_EQ(engine::effectiveSettingValue(key, form.value).toBool(), form.on) << "the table";
            if (const auto shown = paneReading(pane, key, form.value)) {
                EXPECT_EQ(*shown, form.on) << "the settings pane";
            }

            store.setObject(form.value, key);
            EXPECT_EQ(store.boolForKey(key), form.on) << "the application store";
            store.removeObjectForKey(key);

            ASSERT_TRUE(platform::PropertyList::writeXmlFile(settingsFile, site).ok());
            QString error;
            const auto target = app::HeadlessScan::settingsForTarget(headless, &error);
            ASSERT_TRUE(target) << error.toStdString();
            const auto headlessScan = std::make_shared<CrawlSettings>(CrwlUrl::scanSettingsFor(*target, store));
            EXPECT_EQ(engine::settingBool(headlessScan, settingKey), form.on) << "a headless scan";

            app::DiagnosticContent diagnosis;
            diagnosis.setCrawlsettings(scan);
            if (key == crawlKey::runJS) {
                EXPECT_EQ(diagnosis.shown().javaScript, form.on) << "the request diagnosis";
            }
            if (key == crawlKey::WebtallyAttemptAuthentication) {
                EXPECT_EQ(!diagnosis.shown().authenticationInfo.isEmpty(), form.on) << "the request diagnosis";
            }
        }
    }
    EXPECT_GT(switches, 40);
}
