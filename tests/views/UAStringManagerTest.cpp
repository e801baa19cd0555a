// The user-agent presets in the settings pane: a choice replaces the field and is an edit.
#include "views/UAStringManager.h"
#include "engine/CrawlSettingKeys.h"

#include "platform/UserDefaults.h"
#include "settings/ConfigManager.h"
#include "views/SettingsPane.h"

#include <QLineEdit>
#include <QMenu>
#include <QTemporaryDir>
#include <QToolButton>
#include <gtest/gtest.h>

using crawlmere::platform::UserDefaults;
using crawlmere::settings::ConfigManager;
using crawlmere::views::SettingsPane;
using crawlmere::views::UAStringManager;

TEST(UAStringManagerTest, AChosenPresetReplacesTheWholeFieldAndMarksTheSiteChanged)
{
    QTemporaryDir folder;
    UserDefaults defaults(folder.filePath(QStringLiteral("defaults.plist")));
    ConfigManager manager(defaults);
    manager.applicationHasFinishedLaunching();
    SettingsPane pane(manager);
    manager.setDirty(false);

    auto* button = pane.findChild<QToolButton*>(QStringLiteral("dButton"));
    ASSERT_NE(button, nullptr);
    const auto items = button->menu()->actions();
    ASSERT_EQ(items.size(), 13);
    EXPECT_EQ(items.first()->text(), QStringLiteral("IE 11 (Windows)"));
    EXPECT_EQ(items.last()->text(), QStringLiteral("Crawlmere"));

    auto* field = static_cast<QLineEdit*>(pane.control(crawlKey::userAgentString));
    field->setText(QStringLiteral("something typed before"));
    items.at(10)->trigger();
    EXPECT_EQ(field->text(),
        QStringLiteral("Mozilla/5.0 (compatible; Googlebot/2.1; +") + UAStringManager::kCrawlerInfoUrl
            + QStringLiteral(")"));
    EXPECT_TRUE(manager.isDirty());
    QVariantMap site;
    pane.copyInterfaceToSettings(site);
    EXPECT_EQ(site.value(crawlKey::userAgentString).toString(), field->text());
}
