#include "app/ApplicationDefaults.h"
#include "app/AppDelegate.h"
#include "app/HeadlessScan.h"
#include "engine/CrawlSettingTable.h"
#include "engine/EngineDefaults.h"
#include "platform/UserDefaults.h"
#include "reports/ReportsDefaults.h"
#include "support/TsvTable.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

using crawlmere::platform::UserDefaults;
namespace app = crawlmere::app;

namespace {

class ApplicationDefaultsTest : public ::testing::Test {
protected:
    QString storePath() const { return folder.filePath(QStringLiteral("defaults.plist")); }
    QTemporaryDir folder;
};

QMetaType::Type metaTypeOf(const QString& type)
{
    if (type == QLatin1String("integer"))
        return QMetaType::LongLong;
    if (type == QLatin1String("boolean"))
        return QMetaType::Bool;
    return QMetaType::QString;
}

QVariant valueOf(const QString& type, const QString& text)
{
    if (type == QLatin1String("integer"))
        return text.toLongLong();
    if (type == QLatin1String("boolean"))
        return text == QLatin1String("YES");
    return text;
}

} // namespace

TEST_F(ApplicationDefaultsTest, AnEmptyStoreReadsEveryRegisteredValueWithItsType)
{
    UserDefaults store(storePath());
    app::registerApplicationDefaults(store);
    const auto rows = crawlmere::test::readTsvTable(QStringLiteral("app/registered-defaults.tsv"));
    ASSERT_EQ(rows.size(), 74u);
    EXPECT_EQ(app::registeredDefaultsTable().size(), 74u);
    for (const auto& row : rows) {
        const QString key = row.cell(0);
        const QVariant value = store.objectForKey(key);
        ASSERT_TRUE(value.isValid()) << "line " << row.line << ": " << qPrintable(key);
        EXPECT_EQ(value.typeId(), metaTypeOf(row.cell(1))) << qPrintable(key);
        if (row.cell(2) != QLatin1String("(text)")) {
            EXPECT_EQ(value, valueOf(row.cell(1), row.cell(2))) << qPrintable(key);
        }
    }

    const QStringList terms = store.stringForKey(QStringLiteral("soft404Terms")).split(QLatin1Char('\n'));
    ASSERT_EQ(terms.size(), 13) << "twelve terms, each ended by a line feed";
    EXPECT_EQ(terms.first(), QStringLiteral("website-unavailable"));
    EXPECT_EQ(terms.at(8), QStringLiteral("This account doesn\u2019t exist"));
    EXPECT_EQ(terms.at(11), QStringLiteral("The requested URL was not found on this server"));
    EXPECT_TRUE(terms.last().isEmpty());

    const QString sitemap = store.stringForKey(QStringLiteral("XMLSitemapTemplate"));
    EXPECT_TRUE(sitemap.startsWith(QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<urlset ")));
    EXPECT_TRUE(sitemap.contains(QStringLiteral("xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\"")));
    EXPECT_TRUE(sitemap.contains(QStringLiteral("-->\n\n\n</urlset>")));
    // The comment names the program, and no address that stands in for one.
    EXPECT_TRUE(sitemap.contains(QStringLiteral("\n<!-- Sitemap made with Crawlmere -->\n"))) << qPrintable(sitemap);
    EXPECT_FALSE(sitemap.contains(QStringLiteral(".example"))) << qPrintable(sitemap);
    EXPECT_TRUE(store.stringForKey(QStringLiteral("CustomReportHTMLStyles")).endsWith(QStringLiteral("</style>\n\n")));
    EXPECT_TRUE(store.stringForKey(QStringLiteral("CustomReportHTMLHeader")).contains(QStringLiteral("#b6b6d2")));
}

TEST_F(ApplicationDefaultsTest, StoredValuesWinOverRegisteredOnes)
{
    {
        UserDefaults user(storePath());
        user.setInteger(9, QStringLiteral("redirectChain"));
        user.setBool(false, QStringLiteral("SEOEnabled"));
        user.setObject(QStringLiteral("75"), QStringLiteral("metaTitleMax"));
        ASSERT_TRUE(user.synchronize());
    }
    UserDefaults store(storePath());
    app::registerApplicationDefaults(store);
    EXPECT_EQ(store.integerForKey(QStringLiteral("redirectChain")), 9);
    EXPECT_FALSE(store.boolForKey(QStringLiteral("SEOEnabled")));
    EXPECT_EQ(store.stringForKey(QStringLiteral("metaTitleMax")), QStringLiteral("75"));
    EXPECT_EQ(store.integerForKey(QStringLiteral("headingLevelMax")), 7);
}

TEST_F(ApplicationDefaultsTest, KeysSharedWithTheEngineAndTheReportsCarryTheSameValueAndType)
{
    const QVariantMap application = app::applicationDefaults();
    const auto sharedKeys = [&application](const QVariantMap& library) {
        int shared = 0;
        for (auto it = library.cbegin(); it != library.cend(); ++it) {
            if (!application.contains(it.key()))
                continue;
            ++shared;
            EXPECT_EQ(application.value(it.key()).typeId(), it.value().typeId()) << qPrintable(it.key());
            EXPECT_EQ(application.value(it.key()), it.value()) << qPrintable(it.key());
        }
        return shared;
    };
    EXPECT_EQ(sharedKeys(crawlmere::engine::engineDefaults()), 12);
    EXPECT_EQ(sharedKeys(crawlmere::reports::reportsDefaults()), 8);

    // A crawl setting the scan reads from the store is registered with the table's default.
    for (const crawlmere::engine::CrawlSetting& setting : crawlmere::engine::crawlSettingTable()) {
        if (setting.reader == crawlmere::engine::SettingReader::ApplicationDefaults && application.contains(setting.key)) {
            EXPECT_EQ(application.value(setting.key), setting.defaultValue) << qPrintable(setting.key);
        }
    }

    // Keys only the engine has stay registered.
    UserDefaults store(storePath());
    app::registerApplicationDefaults(store);
    EXPECT_TRUE(store.objectForKey(QStringLiteral("useProxyCrawl")).isValid());
    EXPECT_TRUE(store.objectForKey(QStringLiteral("siteBuilderGeneratorPattern")).isValid());
}

TEST_F(ApplicationDefaultsTest, EachDefaultIsRegisteredByItsOwnerOnly)
{
    const QVariantMap engine = crawlmere::engine::engineDefaults();
    const QVariantMap reports = crawlmere::reports::reportsDefaults();
    int owned = 0;
    for (const app::RegisteredDefault& row : app::registeredDefaultsTable()) {
        SCOPED_TRACE(row.key.toStdString());
        const bool library = engine.contains(row.key) || reports.contains(row.key);
        EXPECT_EQ(row.registeredByLibrary, library) << "the engine or the reports own it";
        owned += library ? 1 : 0;
    }
    EXPECT_EQ(owned, 20);
}

TEST_F(ApplicationDefaultsTest, EveryLaunchStoresBadLinksOnlyAndValidationOff)
{
    {
        UserDefaults user(storePath());
        user.setBool(true, app::kBadLinksOnlyKey);
        user.setBool(true, app::kHtmlValidationEnabledKey);
        ASSERT_TRUE(user.synchronize());
    }
    {
        UserDefaults store(storePath());
        app::prepareDefaultsForLaunch(store);
        EXPECT_FALSE(store.boolForKey(app::kBadLinksOnlyKey));
        EXPECT_FALSE(store.boolForKey(app::kHtmlValidationEnabledKey));
        EXPECT_EQ(store.registeredDefaults().value(app::kHtmlValidationEnabledKey), QVariant(true));
    }
    // Kept in the file, not only for the run.
    UserDefaults reread(storePath());
    EXPECT_EQ(reread.persistentDomain().value(app::kBadLinksOnlyKey), QVariant(false));
    EXPECT_EQ(reread.persistentDomain().value(app::kHtmlValidationEnabledKey), QVariant(false));
}

TEST_F(ApplicationDefaultsTest, TheWindowedStartUpTurnsValidationAndBadLinksOnlyOff)
{
    UserDefaults store(storePath());
    store.setBool(true, app::kBadLinksOnlyKey);
    store.setBool(true, app::kHtmlValidationEnabledKey);
    app::AppDelegate delegate(store);
    delegate.awakeFromNib();
    delegate.applicationDidFinishLaunching();
    EXPECT_TRUE(delegate.loaded());
    EXPECT_FALSE(store.boolForKey(app::kBadLinksOnlyKey));
    EXPECT_FALSE(store.boolForKey(app::kHtmlValidationEnabledKey));
    EXPECT_EQ(store.integerForKey(QStringLiteral("warningsMaximumCount")), 65535);
}

TEST_F(ApplicationDefaultsTest, AHeadlessRunTurnsValidationAndBadLinksOnlyOff)
{
    auto& standard = UserDefaults::standard();
    standard.setBool(true, app::kBadLinksOnlyKey);
    standard.setBool(true, app::kHtmlValidationEnabledKey);
    app::HeadlessConsole console;
    console.out = std::tmpfile();
    console.err = std::tmpfile();
    ASSERT_TRUE(console.out && console.err);
    console.watchInterrupt = false;
    const QString page = QStringLiteral(CRAWLMERE_FIXTURES "/../../examples/sample-site/index.html");
    const int status = app::runHeadlessCommand({ page }, console, /*displayAvailable=*/false);
    std::fclose(console.out);
    std::fclose(console.err);
    EXPECT_EQ(status, app::kExitFinished);
    EXPECT_FALSE(standard.boolForKey(app::kBadLinksOnlyKey));
    EXPECT_FALSE(standard.boolForKey(app::kHtmlValidationEnabledKey));
    EXPECT_EQ(standard.integerForKey(QStringLiteral("redirectChain")), 3);
}
