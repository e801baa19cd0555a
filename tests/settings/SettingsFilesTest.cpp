// Settings files: a site and the whole list written as property lists and imported again,
// files made elsewhere (XML and binary, older keys), and broken files that change nothing.
#include "settings/ConfigManager.h"

#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "support/Fixtures.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <QTimeZone>
#include <gtest/gtest.h>

using crawlmere::platform::PropertyList;
using crawlmere::platform::UserDefaults;
using crawlmere::settings::ConfigManager;
using crawlmere::settings::ConfigView;
using crawlmere::test::fixturePath;

namespace {

/// A pane whose controls are a dictionary: edits made there reach the site only when copied.
class DictionaryPane final : public ConfigView {
public:
    void showSettings(const QVariantMap& site) override { controls = site; }
    void copyInterfaceToSettings(QVariantMap& site) override
    {
        for (auto it = controls.cbegin(); it != controls.cend(); ++it)
            site.insert(it.key(), it.value());
    }
    QVariantMap controls;
};

class SettingsFilesTest : public testing::Test {
protected:
    QTemporaryDir m_dir;
    UserDefaults m_defaults { m_dir.filePath(QStringLiteral("defaults.plist")) };
    ConfigManager m_manager { m_defaults };

    void SetUp() override { m_manager.applicationHasFinishedLaunching(); }
    QString path(const QString& name) const { return m_dir.filePath(name); }
};

} // namespace

TEST_F(SettingsFilesTest, EveryValueTypeSurvivesExportAndImportElsewhere)
{
    QVariantMap site = m_manager.getBlankSettings();
    site.insert("dateStamp", QDateTime(QDate(2025, 6, 7), QTime(8, 9, 10), Qt::UTC));
    site.insert("runJS", true);
    site.insert("numberOfThreads", qint64(7));
    site.insert("delay", 1.25);
    site.insert("futureOption", QVariantList { QVariantList { 1, "two" }, QVariantMap { { "deep", false } } });
    m_manager.importLcsettings(site);
    ASSERT_TRUE(m_manager.exportSelectedSettings(path("one.lcsettings")));
    ASSERT_TRUE(m_manager.exportAllSettings(path("all.lcsbatch")));

    QTemporaryDir elsewhere;
    UserDefaults otherDefaults(elsewhere.filePath("defaults.plist"));
    ConfigManager other(otherDefaults);
    other.applicationHasFinishedLaunching();
    ASSERT_TRUE(other.openLcsettingsFile(path("one.lcsettings")));
    const QVariantMap imported = other.getCurrentSettingsForExport();
    EXPECT_EQ(PropertyList::normalized(imported).value(), PropertyList::normalized(site).value());
    // The whole list is written in the order of the list in memory.
    QVariantList list;
    for (const QVariantMap& entry : m_manager.websites())
        list.append(entry);
    EXPECT_EQ(PropertyList::readFile(path("all.lcsbatch")).value(), PropertyList::normalized(list).value());
}

TEST_F(SettingsFilesTest, FilesMadeElsewhereInXmlAndBinaryKeepTheirOlderKeys)
{
    for (const QString name : { "legacy.lcsettings", "legacy-binary.lcsettings" }) {
        QTemporaryDir home;
        UserDefaults defaults(home.filePath("defaults.plist"));
        ConfigManager manager(defaults);
        manager.applicationHasFinishedLaunching();
        ASSERT_TRUE(manager.openLcsettingsFile(fixturePath("settings/" + name))) << qPrintable(name);
        EXPECT_EQ(manager.getIDForCurrentSite(), "20240102-0304051");
        EXPECT_EQ(manager.ruleList(0), (QStringList { "logout", "print", "feed" }));
        EXPECT_EQ(manager.ruleList(1), QStringList { "tracker" });
        EXPECT_EQ(manager.ruleList(3), (QStringList { "/docs/", "/blog/" }));
        const QVariantMap site = manager.getCurrentSettingsForExport();
        EXPECT_EQ(site.value("dateStamp").toDateTime(), QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5), Qt::UTC));
        EXPECT_EQ(site.value("futureOption").toMap().value("nested").toList().at(1).toList().at(0), "a");
        EXPECT_TRUE(site.value("runJS").toBool());
        EXPECT_EQ(manager.sitemapRules().size(), 1);

        // A second import of the same file only selects the site.
        manager.newConfig();
        ASSERT_TRUE(manager.openLcsettingsFile(fixturePath("settings/" + name)));
        EXPECT_EQ(manager.websites().size(), 3);
        EXPECT_EQ(manager.getIDForCurrentSite(), "20240102-0304051");
    }
}

TEST_F(SettingsFilesTest, ASiteWithoutIdIsAlwaysAddedAsNew)
{
    ASSERT_TRUE(m_manager.openLcsettingsFile(fixturePath("settings/no-id.lcsettings")));
    ASSERT_TRUE(m_manager.openLcsettingsFile(fixturePath("settings/no-id.lcsettings")));
    EXPECT_EQ(m_manager.websites().size(), 3);
    EXPECT_FALSE(m_manager.getIDForCurrentSite().isEmpty());
}

TEST_F(SettingsFilesTest, BrokenFilesAreLoggedAndChangeNothing)
{
    m_defaults.synchronize();
    const QByteArray before = PropertyList::toXml(m_defaults.persistentDomain()).value();
    for (const QString name : { "empty.lcsettings", "truncated.lcsettings", "array-root.lcsettings",
             "empty-dict.lcsettings", "missing.lcsettings" })
        EXPECT_FALSE(m_manager.openLcsettingsFile(fixturePath("settings/" + name))) << qPrintable(name);
    EXPECT_EQ(m_manager.openLcsbatchFile(fixturePath("settings/legacy.lcsettings")), 0);
    EXPECT_EQ(m_manager.openLcsbatchFile(fixturePath("settings/empty.lcsettings")), 0);
    EXPECT_EQ(m_manager.websites().size(), 1);
    EXPECT_EQ(PropertyList::toXml(m_defaults.persistentDomain()).value(), before);
}

TEST_F(SettingsFilesTest, ARepeatedIdInOneBatchIsAddedOnce)
{
    EXPECT_EQ(m_manager.openLcsbatchFile(fixturePath("settings/repeated-id.lcsbatch")), 2);
    QStringList names;
    for (const QVariantMap& site : m_manager.websites())
        names << site.value("name").toString();
    EXPECT_TRUE(names.contains("First"));
    EXPECT_FALSE(names.contains("First again"));
    EXPECT_TRUE(names.contains("Second"));
    // Written at once: a store started on the same file has them.
    m_defaults.synchronize();
    UserDefaults reread(m_defaults.filePath());
    EXPECT_EQ(reread.arrayForKey("websites").size(), 3);
}

TEST_F(SettingsFilesTest, ImportsKeepPaneEditsNotYetCopied)
{
    DictionaryPane pane;
    m_manager.setView(&pane);
    m_manager.implementCurrentSettings();
    const QString edited = m_manager.getIDForCurrentSite();
    pane.controls.insert("checkImages", false);
    m_manager.handleControl("checkImages");
    ASSERT_TRUE(m_manager.openLcsettingsFile(fixturePath("settings/legacy.lcsettings")));
    EXPECT_FALSE(m_manager.settingsForID(edited)->value("checkImages").toBool());

    m_manager.tableViewSelectionDidChange(1);
    const QString again = m_manager.getIDForCurrentSite();
    pane.controls.insert("timeout", 99);
    m_manager.handleControl("timeout");
    EXPECT_EQ(m_manager.openLcsbatchFile(fixturePath("settings/repeated-id.lcsbatch")), 2);
    EXPECT_EQ(m_manager.settingsForID(again)->value("timeout").toInt(), 99);
    m_manager.setView(nullptr);
}

TEST_F(SettingsFilesTest, ExportingRightAfterATickWritesTheValueBeforeIt)
{
    DictionaryPane pane;
    m_manager.setView(&pane);
    m_manager.implementCurrentSettings();
    const bool before = pane.controls.value("checkImages").toBool();
    pane.controls.insert("checkImages", !before);
    m_manager.handleControl("checkImages");
    ASSERT_TRUE(m_manager.exportSelectedSettings(path("tick.lcsettings")));
    EXPECT_EQ(PropertyList::readFile(path("tick.lcsettings")).value().toMap().value("checkImages").toBool(), before);
    m_manager.setView(nullptr);
}
