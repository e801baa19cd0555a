// The site configuration store without a display: sites, selection, persistence, the request
// rate, starting URLs, rule lists, folders and the scan's write-backs.
#include "settings/ConfigManager.h"
#include "engine/CrawlSettingKeys.h"

#include "engine/RecordingShellServices.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string_view>

using crawlmere::platform::UserDefaults;
using crawlmere::settings::ConfigManager;

namespace {

class ConfigManagerTest : public testing::Test {
protected:
    QTemporaryDir m_dir;
    QString defaultsPath() const { return m_dir.filePath(QStringLiteral("defaults.plist")); }
    std::unique_ptr<UserDefaults> m_defaults = std::make_unique<UserDefaults>(defaultsPath());
    std::shared_ptr<RecordingPrompts> m_prompts = std::make_shared<RecordingPrompts>();

    std::unique_ptr<ConfigManager> started(UserDefaults& defaults)
    {
        auto manager = std::make_unique<ConfigManager>(defaults);
        manager->setPrompts(m_prompts);
        manager->applicationHasFinishedLaunching();
        return manager;
    }
    /// A new site named `name` with `url`, shown and saved.
    static void addSite(ConfigManager& manager, const QString& name, const QString& url)
    {
        manager.newConfigWithURL(url);
        manager.userFinishedEditingWebsiteName(name);
    }
    static QStringList rowNames(const ConfigManager& manager)
    {
        QStringList names;
        for (const auto& row : manager.rows())
            names << row.name;
        return names;
    }
    static int rowOf(const ConfigManager& manager, const QString& name)
    {
        return static_cast<int>(rowNames(manager).indexOf(name));
    }
};

} // namespace

TEST_F(ConfigManagerTest, AnEmptyStoreStartsWithOneBlankSiteSelected)
{
    auto manager = started(*m_defaults);
    ASSERT_EQ(manager->websites().size(), 1);
    const QVariantMap site = manager->getCurrentSettingsForExport();
    EXPECT_EQ(site.value("name").toString(), "A new website");
    EXPECT_EQ(site.value(crawlKey::startingUrl).toString(), "https://");
    EXPECT_TRUE(site.value("sitemapRules").toList().isEmpty());
    EXPECT_EQ(m_defaults->stringForKey("id"), manager->getIDForCurrentSite());
    EXPECT_EQ(rowNames(*manager), (QStringList { "All sites", "A new website" }));
    EXPECT_FALSE(m_defaults->boolForKey("htmlValidationEnabled"));

    // A second start-up changes nothing.
    manager->userFinishedEditingWebsiteName("Renamed");
    m_defaults->setBool(true, "htmlValidationEnabled");
    manager->applicationHasFinishedLaunching();
    EXPECT_EQ(manager->websites().size(), 1);
    EXPECT_EQ(manager->getNameForCurrentSite(), "Renamed");
    EXPECT_TRUE(m_defaults->boolForKey("htmlValidationEnabled"));
}

TEST_F(ConfigManagerTest, CreateDuplicateResetAndDeleteTheLastSite)
{
    auto manager = started(*m_defaults);
    addSite(*manager, "Alpha", "https://alpha.example/");
    EXPECT_EQ(manager->websites().size(), 2);
    manager->addBlacklistRule(0, false, "logout");
    manager->synchronise();
    const QString alpha = manager->getIDForCurrentSite();

    manager->duplicateSelectedConfig(rowOf(*manager, "Alpha"));
    const QVariantMap copy = manager->getCurrentSettingsForExport();
    EXPECT_EQ(copy.value("name").toString(), "Alpha");
    EXPECT_EQ(copy.value(crawlKey::ignoreArray).toList(), QVariantList { "logout" });
    EXPECT_NE(copy.value("id").toString(), alpha);
    EXPECT_EQ(manager->websites().size(), 3);

    manager->returnToDefaultSettings();
    const QVariantMap reset = manager->getCurrentSettingsForExport();
    EXPECT_EQ(reset.value("name").toString(), "A new website");
    EXPECT_EQ(reset.value(crawlKey::startingUrl).toString(), "https://alpha.example/");
    EXPECT_EQ(reset.value("id"), copy.value("id"));
    EXPECT_TRUE(reset.value(crawlKey::ignoreArray).toList().isEmpty());
    // The reset is stored at once, as an edit is, and the site list shows the reset name.
    const auto storedCopy = [&] {
        for (const QVariant& site : m_defaults->objectForKey("websites").toList()) {
            if (site.toMap().value("id") == copy.value("id"))
                return site.toMap();
        }
        return QVariantMap();
    };
    EXPECT_EQ(storedCopy().value("name").toString(), "A new website");
    EXPECT_TRUE(storedCopy().value(crawlKey::ignoreArray).toList().isEmpty());
    EXPECT_EQ(rowNames(*manager).count("Alpha"), 1);

    // Deleting while scanning only beeps; answering "Cancel" keeps the site.
    bool scanning = true;
    manager->setScanningPredicate([&scanning] { return scanning; });
    manager->deleteURL();
    EXPECT_EQ(m_prompts->beeps, 1);
    EXPECT_TRUE(m_prompts->alerts.isEmpty());
    scanning = false;
    m_prompts->answers = { 1 };
    manager->deleteURL();
    EXPECT_EQ(m_prompts->alerts.first().messageText, "Delete Configuration");
    EXPECT_EQ(manager->websites().size(), 3);

    while (manager->websites().size() > 1)
        manager->deleteURL();
    const QString lastID = manager->getIDForCurrentSite();
    manager->deleteURL();
    ASSERT_EQ(manager->websites().size(), 1);
    EXPECT_NE(manager->getIDForCurrentSite(), lastID);
    EXPECT_EQ(manager->getNameForCurrentSite(), "A new website");
    EXPECT_EQ(manager->selectedRow(), 1);
}

TEST_F(ConfigManagerTest, AThousandIdentifiersInOneSecondAreDistinct)
{
    ConfigManager manager(*m_defaults);
    QSet<QString> ids;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 1000; ++i)
        ids.insert(manager.newFilename());
    EXPECT_EQ(ids.size(), 1000);
    const QString first = ConfigManager(*m_defaults).newFilename();
    EXPECT_TRUE(first.endsWith(u'1'));
    EXPECT_EQ(first.indexOf(u'-'), 8);
    EXPECT_TRUE(QDateTime::fromString(first.left(15), "yyyyMMdd-HHmmss").isValid()) << qPrintable(first);
}

TEST_F(ConfigManagerTest, ANewIdIsNeverOneTheListHoldsAlready)
{
    // Another process made sites in this second and the next two, each with the ids a fresh
    // counter would give first.
    const QDateTime now = QDateTime::currentDateTime();
    QVariantList sites;
    QSet<QString> taken;
    for (int second = 0; second < 3; ++second) {
        for (int counter = 1; counter <= 3; ++counter) {
            const QString id = now.addSecs(second).toString("yyyyMMdd-HHmmss") + QString::number(counter);
            taken.insert(id);
            sites.append(QVariantMap {
                { "id", id }, { "name", "Site " + id }, { crawlKey::startingUrl, "https://a.example/" } });
        }
    }
    m_defaults->setObject(sites, "websites");
    m_defaults->synchronize();

    auto manager = started(*m_defaults);
    const QString fresh = manager->newFilename();
    EXPECT_FALSE(taken.contains(fresh)) << qPrintable(fresh);
    // A settings file without an id joins under an id of its own.
    const QString before = manager->getIDForCurrentSite();
    ASSERT_TRUE(manager->importLcsettings(
        QVariantMap { { "name", "No id" }, { crawlKey::startingUrl, "https://b.example/" } }));
    const QString imported = manager->getIDForCurrentSite();
    EXPECT_FALSE(taken.contains(imported)) << qPrintable(imported);
    EXPECT_NE(imported, before);
    QSet<QString> ids;
    for (const QVariantMap& site : manager->websites())
        ids.insert(site.value("id").toString());
    EXPECT_EQ(ids.size(), manager->websites().size()) << "two sites share an id";
}

TEST_F(ConfigManagerTest, ANewStoreOnTheSameFileKeepsSitesSelectionFoldersAndSort)
{
    QString selected;
    {
        auto manager = started(*m_defaults);
        addSite(*manager, "beta", "https://beta.example/");
        addSite(*manager, "Alpha", "https://alpha.example/");
        ASSERT_TRUE(manager->createNewFolderAndMoveSelected(manager->selectedRow(), "Clients"));
        manager->setSortingByURL();
        selected = manager->getIDForCurrentSite();
        manager->applicationWillTerminate();
    }
    m_defaults = std::make_unique<UserDefaults>(defaultsPath());
    auto manager = started(*m_defaults);
    EXPECT_EQ(manager->websites().size(), 3);
    EXPECT_EQ(manager->getIDForCurrentSite(), selected);
    EXPECT_EQ(manager->getCurrentSettingsForExport().value("folder").toString(), "Clients");
    EXPECT_EQ(manager->folderList(), QStringList { "Clients" });
    EXPECT_EQ(manager->sortKey(), crawlKey::startingUrl);
    EXPECT_EQ(rowNames(*manager), (QStringList { "Clients", "Alpha" }));
}

TEST_F(ConfigManagerTest, RequestRateRecalculation)
{
    struct Case {
        bool limit;
        int rpm, threads;
        double delay;
        int shownRpm, shownThreads;
    };
    const Case cases[] = {
        { false, 500, 7, 0.0, 2000, 7 },
        { true, 120, 12, 1.5, 120, 3 }, // 10 per thread: 8 threads give 4.0 s, 3 give 1.5 s
        { true, 5, 1, 6.0, 10, 1 }, // a rate under 10 becomes 10
        { true, 600, 20, 2.0, 600, 20 }, // 30 a minute each: fast enough, the threads stay
        { true, 60, 20, 3.0, 60, 3 }, // 20 s, 18 threads 20 s, 12 threads 12 s, 8 threads 8.57 s, 3 threads 3 s
        { true, 10, 12, 20.0, 10, 3 }, // 10 div 12 is 0 (infinite) until 3 threads
        { true, 3000, 0, 0.02, 3000, 0 }, // no threads count as one
    };
    for (const Case& c : cases) {
        const auto rate = ConfigManager::recalcDelay(c.limit, c.rpm, c.threads);
        EXPECT_NEAR(rate.delay, c.delay, 1e-6) << c.rpm << "/" << c.threads;
        EXPECT_EQ(rate.maxRPM, c.shownRpm);
        EXPECT_EQ(rate.maxRPMEnabled, c.limit);
        EXPECT_EQ(rate.threads, c.shownThreads);
    }
}

TEST_F(ConfigManagerTest, StartingUrlsByTheLocalPathRule)
{
    const QString home = qEnvironmentVariable("CRAWLMERE_HOME");
    const std::pair<QString, QString> cases[] = {
        { "/var/www/a.html", "file:///var/www/a.html" },
        { "~/a.html", "file://" + home + "/a.html" },
        { "  /srv/a&amp;b.html\n", "file:///srv/a&b.html" },
        { "example.com/x", "http://example.com/x" },
        { "https://example.com/", "https://example.com/" },
        { "ftp://example.com/", "ftp://example.com/" },
    };
    for (const auto& [given, expected] : cases)
        EXPECT_EQ(ConfigManager::validateStartingUrl(given), expected) << qPrintable(given);
    EXPECT_TRUE(ConfigManager::validateStartingUrl(QString()).isNull());
    EXPECT_TRUE(ConfigManager::validateStartingUrl("").isNull());
}

TEST_F(ConfigManagerTest, LegacyRuleStringsAreReadWhenTheArrayIsAbsent)
{
    auto manager = started(*m_defaults);
    QVariantMap site = manager->getBlankSettings();
    site.insert("ignorelist", " logout,print ,,feed ");
    site.insert("followWhitelist", "/docs/,/blog/");
    site.insert("checkBlacklist", "ignored-when-array");
    site.insert(crawlKey::checkBlacklistArray, QVariantList { "tracker" });
    manager->importLcsettings(site);
    EXPECT_EQ(manager->ruleList(0), (QStringList { "logout", "print", "feed" }));
    EXPECT_EQ(manager->ruleList(1), QStringList { "tracker" });
    EXPECT_EQ(manager->ruleList(3), (QStringList { "/docs/", "/blog/" }));
    EXPECT_EQ(manager->blacklistRuleCount(), 6);
    EXPECT_EQ(manager->blacklistRuleAtIndex(3), (std::pair<int, QString> { 1, "tracker" }));

    manager->addBlacklistRule(3, true, "private");
    manager->editBlacklistRule(3, 0, false, "tracker"); // moves from Do not check to the end of Ignore
    manager->synchronise();
    const QVariantMap saved = *manager->settingsForID(site.value("id").toString());
    EXPECT_EQ(saved.value(crawlKey::ignoreArray).toList(), (QVariantList { "logout", "print", "feed", "tracker" }));
    EXPECT_EQ(saved.value(crawlKey::followWhitelistArray).toList(), (QVariantList { "/docs/", "/blog/", "!private" }));
    EXPECT_EQ(saved.value("followWhitelist").toString(), "/docs/,/blog/");

    int posted = 0;
    auto& center = crawlmere::platform::NotificationCenter::defaultCenter();
    center.addObserver(
        this, ConfigManager::CrwlSitemapRulesDidChange, [&posted](const auto&) { ++posted; }, manager.get());
    manager->addSitemapRule();
    manager->addThisSitemapRule({ { "contains", "edit_me" }, { "priority", "0.9" } });
    manager->userFinishedEditingSitemapRule(0, "match");
    manager->saveAndCloseRules();
    center.removeObserver(this);
    EXPECT_EQ(posted, 1);
    ASSERT_EQ(manager->sitemapRules().size(), 1);
    EXPECT_EQ(manager->sitemapRules().first().toMap().value("priority").toString(), "0.9");
    EXPECT_TRUE(manager->sitemapRules().first().toMap().value("match").toBool());

    // A priority a sitemap cannot carry is refused as it is typed, with a beep.
    const int beeps = m_prompts->beeps;
    for (const char* typed : { "1.5", "high", "-1" }) {
        manager->userFinishedEditingSitemapRule(0, "priority", typed);
        EXPECT_EQ(manager->sitemapRules().first().toMap().value("priority").toString(), "0.9") << typed;
    }
    EXPECT_EQ(m_prompts->beeps, beeps + 3);
    manager->userFinishedEditingSitemapRule(0, "priority", " 0.25");
    EXPECT_EQ(manager->sitemapRules().first().toMap().value("priority").toString(), "0.25");
}

TEST_F(ConfigManagerTest, SitesWithOnlyTheOlderRuleTextsGetTheirListsWhenLoadedOrImported)
{
    // Every older text beside its list key; "Do not check" holds a list already, which wins.
    QVariantMap older { { "name", "older" }, { crawlKey::startingUrl, "https://older.example/" } };
    const QString texts[] = { " private, missing ", "tracker", "/cart/ ,, /basket/", "/docs/" };
    for (int tag = 0; tag < 4; ++tag)
        older.insert(ConfigManager::legacyRuleKeys().at(tag), texts[tag]);
    older.insert(crawlKey::checkBlacklistArray, QVariantList { "kept" });
    const QVariantList expected[] = { { "private", "missing" }, { "kept" }, { "/cart/", "/basket/" }, { "/docs/" } };

    const auto check = [&](const QVariantMap& site, const char* route) {
        for (int tag = 0; tag < 4; ++tag) {
            EXPECT_EQ(site.value(ConfigManager::ruleListKeys().at(tag)).toList(), expected[tag]) << route << tag;
            EXPECT_EQ(site.value(ConfigManager::legacyRuleKeys().at(tag)).toString(), texts[tag]) << route << tag;
        }
    };
    const struct {
        const char* route;
        std::function<void(ConfigManager&, QVariantMap&)> bring;
    } routes[] = {
        { "stored", nullptr },
        { "lcsettings", [](ConfigManager& manager, QVariantMap& site) { manager.importLcsettings(site); } },
        { "lcsbatch", [](ConfigManager& manager, QVariantMap& site) { manager.importLcsBatch({ site }); } },
    };
    int n = 0;
    for (const auto& route : routes) {
        QTemporaryDir home;
        UserDefaults defaults(home.filePath("defaults.plist"));
        QVariantMap site = older;
        site.insert("id", QStringLiteral("20200101-0000%1").arg(++n));
        if (!route.bring) {
            defaults.setObject(QVariantList { site }, "websites");
            defaults.setObject(site.value("id"), "id");
        }
        auto manager = started(defaults);
        if (route.bring)
            route.bring(*manager, site);
        check(*manager->settingsForID(site.value("id").toString()), route.route);
        if (std::string_view(route.route) != "lcsbatch") // the shown site, as a scan takes it
            check(manager->settingsForScan(), route.route);
    }
}

TEST_F(ConfigManagerTest, MovingASiteToAFolderMovesTheShownSiteAndIsSaved)
{
    auto manager = started(*m_defaults);
    addSite(*manager, "Alpha", "https://alpha.example/");
    const QString alpha = manager->getIDForCurrentSite();
    manager->moveSelectedToFolder(manager->selectedRow(), "Clients");
    manager->synchronise(); // the next push must not move it back
    EXPECT_EQ(manager->settingsForID(alpha)->value("folder").toString(), "Clients");
    m_defaults->synchronize();
    UserDefaults again(defaultsPath());
    bool found = false;
    for (const QVariant& site : again.arrayForKey("websites"))
        found |= site.toMap().value("id") == alpha && site.toMap().value("folder") == "Clients";
    EXPECT_TRUE(found);
}

TEST_F(ConfigManagerTest, FolderRenameAndDeleteCarryTheShownSite)
{
    auto manager = started(*m_defaults);
    addSite(*manager, "Alpha", "https://alpha.example/");
    ASSERT_TRUE(manager->createNewFolderAndMoveSelected(manager->selectedRow(), "Old"));
    manager->renameFolder("Old", "New");
    manager->synchronise();
    EXPECT_EQ(manager->getCurrentSettingsForExport().value("folder").toString(), "New");
    EXPECT_EQ(manager->folderList(), QStringList { "New" });
    // The two rows above the named folders are no folders to delete: nothing is asked.
    m_prompts->alerts.clear();
    manager->deleteSelectedFolder(0);
    manager->deleteSelectedFolder(1);
    EXPECT_TRUE(m_prompts->alerts.isEmpty());
    manager->deleteSelectedFolder(2);
    ASSERT_EQ(m_prompts->alerts.size(), 1);
    EXPECT_EQ(m_prompts->alerts.first().informativeText, "Do you want to delete the folder 'New'?");
    manager->synchronise();
    EXPECT_FALSE(manager->getCurrentSettingsForExport().contains("folder"));
    EXPECT_FALSE(manager->settingsForID(manager->getIDForCurrentSite())->contains("folder"));
    EXPECT_TRUE(manager->folderList().isEmpty());
}

TEST_F(ConfigManagerTest, AnEditedFolderNameRenamesOnlyANamedFolderToANewName)
{
    auto manager = started(*m_defaults);
    addSite(*manager, "Alpha", "https://alpha.example/");
    ASSERT_TRUE(manager->createNewFolderAndMoveSelected(manager->selectedRow(), "Old"));
    manager->createNewFolder("Other");
    const struct {
        int row;
        const char* name;
        bool renamed;
        QStringList folders;
        bool told; // a name that is taken says so
    } cases[] = {
        { 0, "Clients", false, { "Old", "Other" }, false }, // "All sites"
        { 1, "Clients", false, { "Old", "Other" }, false }, // "Default folder"
        { 4, "Clients", false, { "Old", "Other" }, false }, // past the last row
        { 2, "  ", false, { "Old", "Other" }, false },
        { 2, "Old", false, { "Old", "Other" }, false },
        { 2, "Other", false, { "Old", "Other" }, true },
        { 2, "All sites", false, { "Old", "Other" }, true },
        { 2, "Default folder", false, { "Old", "Other" }, true },
        { 2, " Clients ", true, { "Clients", "Other" }, false },
    };
    for (const auto& c : cases) {
        m_prompts->alerts.clear();
        EXPECT_EQ(manager->userFinishedEditingFolderName(c.row, QString::fromUtf8(c.name)), c.renamed) << c.name;
        EXPECT_EQ(manager->folderList(), c.folders) << c.name;
        ASSERT_EQ(m_prompts->alerts.size(), c.told ? 1 : 0) << c.name;
        if (c.told) {
            EXPECT_EQ(m_prompts->alerts.first().messageText, "Folder exists");
            EXPECT_EQ(m_prompts->alerts.first().informativeText,
                QStringLiteral("There is already a folder named '%1'.").arg(QString::fromUtf8(c.name)));
        }
    }
    manager->synchronise();
    EXPECT_EQ(manager->settingsForID(manager->getIDForCurrentSite())->value("folder").toString(), "Clients");
}

TEST_F(ConfigManagerTest, ANewFolderCannotTakeTheLabelOfAFixedRow)
{
    auto manager = started(*m_defaults);
    addSite(*manager, "Alpha", "https://alpha.example/");
    const QString alpha = manager->getIDForCurrentSite();
    for (const char* name : { "All sites", "Default folder" }) {
        m_prompts->alerts.clear();
        EXPECT_FALSE(manager->createNewFolderAndMoveSelected(manager->selectedRow(), name)) << name;
        manager->createNewFolder(name);
        ASSERT_EQ(m_prompts->alerts.size(), 2) << name;
        for (const ShellAlert& alert : m_prompts->alerts)
            EXPECT_EQ(alert.messageText + ": " + alert.informativeText,
                QStringLiteral("Folder exists: There is already a folder named '%1'.").arg(name));
        EXPECT_TRUE(manager->folderList().isEmpty()) << name;
        manager->synchronise();
        EXPECT_FALSE(manager->settingsForID(alpha)->contains("folder")) << name;
    }

    // A site stored with such a folder before belongs to the default folder, not to none.
    QVariantList sites = m_defaults->arrayForKey("websites");
    for (QVariant& site : sites) {
        QVariantMap map = site.toMap();
        if (map.value("id") == alpha)
            map.insert("folder", "All sites");
        site = map;
    }
    m_defaults->setObject(sites, "websites");
    m_defaults->synchronize();
    UserDefaults again(defaultsPath());
    auto restarted = started(again);
    restarted->hideFolderView(1);
    EXPECT_EQ(rowNames(*restarted), (QStringList { "Default folder", "A new website", "Alpha" }));
}

TEST_F(ConfigManagerTest, AnEmptyFolderShowsAPlaceholderThatGoesWhenUntouched)
{
    auto manager = started(*m_defaults);
    addSite(*manager, "Alpha", "https://alpha.example/");
    manager->createNewFolder("Empty");
    manager->hideFolderView(2);
    EXPECT_EQ(rowNames(*manager), (QStringList { "Empty", "A new website" }));
    EXPECT_EQ(manager->websites().size(), 3);
    manager->hideFolderView(1);
    EXPECT_EQ(manager->websites().size(), 2);
    EXPECT_EQ(rowNames(*manager), (QStringList { "Default folder", "A new website", "Alpha" }));
}

TEST_F(ConfigManagerTest, SearchAndSortRows)
{
    auto manager = started(*m_defaults);
    addSite(*manager, "beta", "https://b.example/");
    addSite(*manager, "Alpha", "https://z.example/");
    manager->setSortingByName();
    EXPECT_EQ(rowNames(*manager), (QStringList { "All sites", "A new website", "Alpha", "beta" }));
    manager->setSortingByURL();
    EXPECT_EQ(rowNames(*manager), (QStringList { "All sites", "A new website", "beta", "Alpha" }));
    manager->filter("Z.EXAMPLE");
    EXPECT_EQ(rowNames(*manager), (QStringList { "All sites", "Alpha" }));
    manager->filter("nothing");
    EXPECT_EQ(rowNames(*manager), QStringList { "All sites" });
}

TEST_F(ConfigManagerTest, AScanWritesBackToTheSiteItWasGivenEvenWhenAnotherIsSelected)
{
    auto manager = started(*m_defaults);
    addSite(*manager, "A new website", "https://scanned.example/");
    const QString scanned = manager->getIDForCurrentSite();
    manager->settingsForScan();
    addSite(*manager, "Other", "https://other.example/");
    manager->setNewStartingurl("https://scanned.example/home/");
    manager->setStatusForCurrentSite("12 URLs checked");
    manager->setTimeStampForCurrentSite();
    EXPECT_TRUE(manager->setNameIfStillDefault("Scanned"));
    manager->synchronise();

    const QVariantMap site = *manager->settingsForID(scanned);
    EXPECT_EQ(site.value(crawlKey::startingUrl).toString(), "https://scanned.example/home/");
    EXPECT_EQ(site.value("status").toString(), "12 URLs checked");
    EXPECT_EQ(site.value("name").toString(), "Scanned");
    EXPECT_TRUE(site.value("dateStamp").toDateTime().isValid());
    const QVariantMap other = manager->getCurrentSettingsForExport();
    EXPECT_EQ(other.value(crawlKey::startingUrl).toString(), "https://other.example/");
    EXPECT_FALSE(other.contains("dateStamp"));
    EXPECT_FALSE(other.contains("status"));
}

TEST_F(ConfigManagerTest, SortingByDateListsTheLastScanFirst)
{
    auto manager = started(*m_defaults);
    QDateTime now = QDateTime::currentDateTimeUtc();
    manager->setClock([&now] { return now; });
    addSite(*manager, "Older", "https://older.example/");
    manager->settingsForScan();
    manager->setTimeStampForCurrentSite();
    now = now.addSecs(60);
    addSite(*manager, "Newer", "https://newer.example/");
    manager->setSortingByDate();
    manager->settingsForScan();
    manager->setTimeStampForCurrentSite();
    EXPECT_EQ(rowNames(*manager).mid(1, 2), (QStringList { "Newer", "Older" }));
}

TEST_F(ConfigManagerTest, ThePreferencesWarningNeedsAnIgnoreOptionAndTheSecondColumn)
{
    ConfigManager manager(*m_defaults);
    EXPECT_TRUE(manager.textContentOptionsWarning(1).isNull());
    m_defaults->setBool(true, "parserContentIgnoreNav");
    EXPECT_TRUE(manager.textContentOptionsWarning(0).isNull());
    EXPECT_EQ(manager.textContentOptionsWarning(1),
        "Some text content 'ignore' options are enabled in Preferences > Text content");
}
