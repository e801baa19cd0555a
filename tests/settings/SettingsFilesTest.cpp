// Settings files: a site and the whole list written as property lists and imported again,
// files made elsewhere (XML and binary, older keys), and broken files that change nothing.
#include "engine/CrawlSettingKeys.h"
#include "settings/ConfigManager.h"

#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "settings/SiteValueCheck.h"
#include "support/Fixtures.h"
#include "support/SharedArrayChain.h"

#include <QDateTime>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTimeZone>
#include <gtest/gtest.h>

#include <optional>

#include <sys/stat.h>

using crawlmere::platform::PropertyList;
using crawlmere::platform::UserDefaults;
using crawlmere::settings::ConfigManager;
using crawlmere::settings::ConfigView;
using crawlmere::settings::SiteValueCheck;
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
    site.insert(crawlKey::runJS, true);
    site.insert(crawlKey::numberOfThreads, qint64(7));
    site.insert(crawlKey::delay, 1.25);
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
        EXPECT_TRUE(site.value(crawlKey::runJS).toBool());
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

TEST_F(SettingsFilesTest, SitesWithoutIdImportedByTwoProgramsOnOneListAreBothKept)
{
    // Another program on the same list, started alongside: its counter starts where this one's did.
    UserDefaults otherDefaults(path("defaults.plist"));
    ConfigManager other(otherDefaults);
    other.applicationHasFinishedLaunching();
    ASSERT_TRUE(m_manager.openLcsettingsFile(fixturePath("settings/no-id.lcsettings")));
    ASSERT_TRUE(other.openLcsettingsFile(fixturePath("settings/no-id.lcsettings")));
    EXPECT_NE(m_manager.getIDForCurrentSite(), other.getIDForCurrentSite());
    QSet<QString> stored;
    for (const QVariant& site :
        PropertyList::readFile(path("defaults.plist")).value().toMap().value("websites").toList())
        stored.insert(site.toMap().value("id").toString());
    EXPECT_TRUE(stored.contains(m_manager.getIDForCurrentSite()));
    EXPECT_TRUE(stored.contains(other.getIDForCurrentSite()));
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
    pane.controls.insert(crawlKey::checkImages, false);
    m_manager.handleControl(crawlKey::checkImages);
    ASSERT_TRUE(m_manager.openLcsettingsFile(fixturePath("settings/legacy.lcsettings")));
    EXPECT_FALSE(m_manager.settingsForID(edited)->value(crawlKey::checkImages).toBool());

    m_manager.tableViewSelectionDidChange(1);
    const QString again = m_manager.getIDForCurrentSite();
    pane.controls.insert(crawlKey::timeout, 99);
    m_manager.handleControl(crawlKey::timeout);
    EXPECT_EQ(m_manager.openLcsbatchFile(fixturePath("settings/repeated-id.lcsbatch")), 2);
    EXPECT_EQ(m_manager.settingsForID(again)->value(crawlKey::timeout).toInt(), 99);
    m_manager.setView(nullptr);
}

TEST_F(SettingsFilesTest, ExportingRightAfterATickWritesTheTickedValue)
{
    DictionaryPane pane;
    m_manager.setView(&pane);
    m_manager.implementCurrentSettings();
    const bool before = pane.controls.value(crawlKey::singlePage).toBool();
    pane.controls.insert(crawlKey::singlePage, !before);
    m_manager.handleControl(crawlKey::singlePage);
    for (const bool all : { false, true }) {
        const QString file = path(all ? "tick.lcsbatch" : "tick.lcsettings");
        ASSERT_TRUE(all ? m_manager.exportAllSettings(file) : m_manager.exportSelectedSettings(file));
        const QVariant root = PropertyList::readFile(file).value();
        const QVariantMap site = all ? root.toList().value(0).toMap() : root.toMap();
        EXPECT_EQ(site.value(crawlKey::singlePage).toBool(), !before) << all;
    }
    m_manager.setView(nullptr);
}

TEST_F(SettingsFilesTest, ValuesOfTheWrongTypeAreLeftOutAndNamedAndNoStartingUrlStoresNothing)
{
    m_defaults.synchronize();
    const QByteArray before = PropertyList::toXml(m_defaults.persistentDomain()).value();
    const QString hostile = path("hostile.lcsettings");
    ASSERT_TRUE(PropertyList::writeXmlFile(hostile,
        QVariantMap { { "id", 12345 }, { "name", QVariantList { "a", "b" } },
            { crawlKey::startingUrl, QVariantMap { { "href", "https://x.example/" } } } })
                    .ok());
    const QString blank = path("blank.lcsettings");
    ASSERT_TRUE(
        PropertyList::writeXmlFile(blank, QVariantMap { { "name", "Blank" }, { crawlKey::startingUrl, "  " } }).ok());
    testing::internal::CaptureStderr();
    EXPECT_FALSE(m_manager.openLcsettingsFile(hostile));
    EXPECT_FALSE(m_manager.openLcsettingsFile(blank));
    const std::string refused = testing::internal::GetCapturedStderr();
    EXPECT_NE(refused.find("\"startingUrl\""), std::string::npos) << refused;
    EXPECT_NE(refused.find("\"name\""), std::string::npos) << refused;
    EXPECT_NE(refused.find("\"id\""), std::string::npos) << refused;
    EXPECT_NE(refused.find("holds no starting URL; nothing was imported"), std::string::npos) << refused;
    EXPECT_EQ(m_manager.websites().size(), 1);
    m_defaults.synchronize();
    EXPECT_EQ(PropertyList::toXml(m_defaults.persistentDomain()).value(), before);

    // A usable site keeps what fits: numbers and texts read either way, unknown keys as they are.
    const QString typed = path("typed.lcsettings");
    ASSERT_TRUE(PropertyList::writeXmlFile(typed,
        QVariantMap { { "id", "20260102-0000001" }, { "name", "Typed" },
            { crawlKey::startingUrl, "https://typed.example/" },
            { crawlKey::numberOfThreads, QVariantMap { { "n", 4 } } }, { crawlKey::runJS, QVariantList { true } },
            { "sitemapRules", "daily" }, { "dateStamp", "yesterday" }, { crawlKey::timeout, "45" },
            { crawlKey::delay, 2 }, { crawlKey::checkImages, false }, { "futureOption", QVariantList { 1, "two" } } })
                    .ok());
    testing::internal::CaptureStderr();
    ASSERT_TRUE(m_manager.openLcsettingsFile(typed));
    const std::string dropped = testing::internal::GetCapturedStderr();
    const QVariantMap stored = *m_manager.settingsForID("20260102-0000001");
    for (const char* key : { crawlKey::numberOfThreads.name(), crawlKey::runJS.name(), "sitemapRules", "dateStamp" }) {
        EXPECT_NE(dropped.find('"' + std::string(key) + '"'), std::string::npos) << key << dropped;
    }
    EXPECT_NE(stored.value(crawlKey::numberOfThreads).typeId(), QMetaType::QVariantMap);
    EXPECT_NE(stored.value(crawlKey::runJS).typeId(), QMetaType::QVariantList);
    EXPECT_NE(stored.value("sitemapRules").typeId(), QMetaType::QString);
    EXPECT_NE(stored.value("dateStamp").typeId(), QMetaType::QString);
    EXPECT_EQ(stored.value(crawlKey::timeout).toString(), "45");
    EXPECT_EQ(stored.value(crawlKey::delay).toInt(), 2);
    EXPECT_FALSE(stored.value(crawlKey::checkImages).toBool());
    EXPECT_EQ(stored.value("futureOption").toList(), (QVariantList { 1, "two" }));
    EXPECT_EQ(dropped.find("\"timeout\""), std::string::npos) << dropped;

    // A list keeps its usable sites only.
    const QString batch = path("mixed.lcsbatch");
    ASSERT_TRUE(PropertyList::writeXmlFile(batch,
        QVariantList { QVariantMap { { "id", "20260102-0000002" }, { "name", "Good" },
                           { crawlKey::startingUrl, "https://g.example/" } },
            QVariantMap { { "id", "20260102-0000003" }, { "name", "No start" }, { crawlKey::startingUrl, 5 } },
            QString("not a site") })
                    .ok());
    testing::internal::CaptureStderr();
    EXPECT_EQ(m_manager.openLcsbatchFile(batch), 1);
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(m_manager.settingsForID("20260102-0000002"));
    EXPECT_FALSE(m_manager.settingsForID("20260102-0000003"));
}

TEST_F(SettingsFilesTest, TextsThatDoNotReadAsTheSettingsTypeAreLeftOutAndNamed)
{
    const struct {
        crawlmere::engine::CrawlSettingKey key;
        const char* text;
        bool kept;
    } cases[] = {
        { crawlKey::numberOfThreads, "lots", false }, { crawlKey::delay, "soon", false },
        // A switch reads every text by the one rule of stored switches ("Y" is YES, "maybe" NO).
        { crawlKey::checkImages, "maybe", true }, { crawlKey::ignoreScheme, "Y", true },
        { crawlKey::numberOfThreads, " 4 ", true }, { crawlKey::checkImages, "YES", true },
        { crawlKey::httpIsExternal, "no", true }, { crawlKey::timeout, "45", true },
        { crawlKey::userAgentString, "lots", true }, // a text setting takes any text
    };
    int n = 0;
    for (const auto& c : cases) {
        const QString id = QStringLiteral("20260103-00000%1").arg(++n);
        const QString file = path(id + ".lcsettings");
        ASSERT_TRUE(PropertyList::writeXmlFile(file,
            QVariantMap { { "id", id }, { "name", "Typed" }, { crawlKey::startingUrl, "https://typed.example/" },
                { c.key, c.text } })
                        .ok());
        testing::internal::CaptureStderr();
        ASSERT_TRUE(m_manager.openLcsettingsFile(file)) << c.key.name();
        const std::string logged = testing::internal::GetCapturedStderr();
        const QVariantMap stored = *m_manager.settingsForID(id);
        EXPECT_EQ(stored.contains(c.key), c.kept) << c.key.name() << " " << c.text;
        EXPECT_EQ(logged.find('"' + std::string(c.key.name()) + "\" is a text of the wrong type") == std::string::npos,
            c.kept)
            << c.key.name() << " " << logged;
    }
}

TEST_F(SettingsFilesTest, CorruptOversizedAndSpecialFilesSayWhyAndAreNotRead)
{
    const QString random = path("random.lcsettings");
    {
        QFile file(random);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("\x07\xf3\x91garbage\x00\x01 bytes", 19));
    }
    const QString oversized = path("huge.lcsettings");
    {
        QFile file(oversized);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(SiteValueCheck::kMaxSettingsFileBytes + 1)); // sparse
    }
    const QString fifo = path("pipe.lcsettings");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // 506 bytes standing for 2^41 values.
    const QString chain = path("chain.lcsettings");
    {
        QFile file(chain);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(crawlmere::test::sharedArrayChain(40, 178));
    }

    const struct {
        QString file;
        const char* said;
    } cases[] = {
        { random, "could not be read: the data is not a property list" },
        { fixturePath("settings/truncated.lcsettings"), "could not be read: the XML property list is truncated" },
        { fixturePath("settings/array-root.lcsettings"), "could not be read: its root is a list, not a dictionary" },
        { fixturePath("settings/empty-dict.lcsettings"), "appears to be empty" },
        { oversized, "could not be read: it is larger than 16 MB; it is not read" },
        { fifo, "could not be read: The file is not a regular file" },
        { chain, "could not be read: the property list expands to more than 8388608 values" },
    };
    for (const auto& c : cases) {
        testing::internal::CaptureStderr();
        EXPECT_FALSE(m_manager.openLcsettingsFile(c.file)) << qPrintable(c.file);
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_NE(log.find(c.said), std::string::npos) << log;
        if (std::string_view(c.said) != "appears to be empty") {
            EXPECT_EQ(log.find("appears to be empty"), std::string::npos) << log;
        }
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(m_manager.openLcsbatchFile(fixturePath("settings/legacy.lcsettings")), 0);
    const std::string batchLog = testing::internal::GetCapturedStderr();
    EXPECT_NE(batchLog.find("its root is a dictionary, not a list"), std::string::npos) << batchLog;
    const QString chainBatch = path("chain.lcsbatch");
    ASSERT_TRUE(QFile::copy(chain, chainBatch));
    testing::internal::CaptureStderr();
    EXPECT_EQ(m_manager.openLcsbatchFile(chainBatch), 0);
    const std::string chainLog = testing::internal::GetCapturedStderr();
    EXPECT_NE(chainLog.find("the property list expands to more than 8388608 values"), std::string::npos) << chainLog;
    EXPECT_EQ(m_manager.websites().size(), 1);
}

TEST_F(SettingsFilesTest, AnExportHoldingAPasswordIsTheUsersAloneAndKeepsThePassword)
{
    const mode_t mask = ::umask(022);
    struct Case {
        std::optional<crawlmere::engine::CrawlSettingKey> key; ///< a password set on the second site; none: none
        bool all; ///< every site, or the selected one
        mode_t mode;
    };
    const Case cases[] = {
        { std::nullopt, false, 0644 },
        { std::nullopt, true, 0644 },
        { crawlKey::ftppassword, false, 0600 },
        { crawlKey::ftppassword, true, 0600 },
        { crawlKey::authenticationpassword, false, 0600 },
        { crawlKey::authenticationpassword, true, 0600 },
    };
    int run = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.key ? c.key->name() : "no password") << (c.all ? ", all" : ", selected"));
        QVariantMap plain = m_manager.getBlankSettings();
        plain.insert("id", QStringLiteral("plain-%1").arg(run));
        m_manager.importLcsettings(plain);
        QVariantMap site = m_manager.getBlankSettings();
        site.insert("id", QStringLiteral("site-%1").arg(run));
        if (c.key)
            site.insert(*c.key, QStringLiteral("s3cret"));
        m_manager.importLcsettings(site);
        const QString file = path(QStringLiteral("export-%1.lcsettings").arg(run++));
        QString failure;
        ASSERT_TRUE(
            c.all ? m_manager.exportAllSettings(file, &failure) : m_manager.exportSelectedSettings(file, &failure))
            << qPrintable(failure);
        struct stat status { };
        ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, c.mode);
        // The password is written, so importing the file gives it back.
        QFile written(file);
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        EXPECT_EQ(written.readAll().contains("s3cret"), c.key.has_value());
    }
    ::umask(mask);

    // A target that is no file: nothing is written, and the reason is given for the alert.
    const QString fifo = path(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QString failure;
    EXPECT_FALSE(m_manager.exportSelectedSettings(fifo, &failure));
    EXPECT_EQ(failure, QStringLiteral("it is a FIFO (named pipe), not a regular file; nothing was written there"));
}

namespace {

class RecordingPrompts final : public ShellPrompts {
public:
    int runModalAlert(const ShellAlert& alert) override
    {
        alerts << alert.messageText + u'|' + alert.informativeText;
        return 0;
    }
    void beep() override { }
    QStringList alerts;
};

} // namespace

TEST_F(SettingsFilesTest, AFolderAFileNamesIsLeftOutOfTheImportedSiteAndEveryOtherValueKept)
{
    const QVariantMap named { { "id", "20260301-110000-1" }, { crawlKey::startingUrl, "https://a.example/" },
        { crawlKey::shouldArchive, true }, { crawlKey::archiveSaveLocation, "/home/someone/.local/share/applications" },
        { crawlKey::sessidParam, "PHPSESSID" }, { "futureOption", "kept" } };
    QVariantMap listed = named;
    listed.insert("id", "20260301-110000-2");
    ASSERT_TRUE(PropertyList::writeXmlFile(path("one.lcsettings"), named).ok());
    ASSERT_TRUE(PropertyList::writeXmlFile(path("all.lcsbatch"), QVariantList { listed }).ok());
    ASSERT_TRUE(m_manager.openLcsettingsFile(path("one.lcsettings")));
    ASSERT_EQ(m_manager.openLcsbatchFile(path("all.lcsbatch")), 1);
    for (const char* id : { "20260301-110000-1", "20260301-110000-2" }) {
        const auto site = m_manager.settingsForID(QLatin1String(id));
        ASSERT_TRUE(site.has_value());
        EXPECT_FALSE(site->contains(crawlKey::archiveSaveLocation)) << id;
        EXPECT_EQ(site->value(crawlKey::shouldArchive).toBool(), true);
        EXPECT_EQ(site->value(crawlKey::sessidParam).toString(), "PHPSESSID");
        EXPECT_EQ(site->value("futureOption").toString(), "kept");
    }
}

TEST_F(SettingsFilesTest, ASiteTheStoreCannotHoldIsRefusedWithAnAlertAndTheSelectionKept)
{
    auto prompts = std::make_shared<RecordingPrompts>();
    m_manager.setPrompts(prompts);
    const QString selected = m_manager.getIDForCurrentSite();
    // One level deeper than a property list may be, once the site is inside the list.
    QVariant deep = QStringLiteral("deep");
    for (int i = 0; i < PropertyList::maximumDepth - 2; ++i)
        deep = QVariantList { deep };
    const QVariantMap site { { "id", "20260301-120000-1" }, { crawlKey::startingUrl, "https://a.example/" },
        { "extra", deep } };
    ASSERT_TRUE(PropertyList::writeXmlFile(path("deep.lcsettings"), site).ok());
    ASSERT_TRUE(PropertyList::writeXmlFile(path("deep.lcsbatch"), QVariantList { site }).ok());
    EXPECT_FALSE(m_manager.openLcsettingsFile(path("deep.lcsettings")));
    EXPECT_EQ(m_manager.openLcsbatchFile(path("deep.lcsbatch")), 0);
    ASSERT_EQ(prompts->alerts.size(), 2);
    for (const QString& alert : prompts->alerts)
        EXPECT_TRUE(alert.startsWith("The sites of the file were not added|")) << qPrintable(alert);
    EXPECT_FALSE(m_manager.settingsForID("20260301-120000-1").has_value());
    EXPECT_EQ(m_manager.getIDForCurrentSite(), selected);
    EXPECT_EQ(m_defaults.stringForKey("id"), selected);
}
