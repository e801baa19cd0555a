// The preferences without a window: the tabs and their defaults, how a value is coerced,
// clamped or refused when stored, and what a new site takes from the store.
#include "views/PreferencesModel.h"
#include "engine/CrawlSettingKeys.h"

#include "app/ApplicationDefaults.h"
#include "engine/CrawlSettingTable.h"
#include "engine/CrwlUrl.h"
#include "platform/UserDefaults.h"
#include "settings/ConfigManager.h"

#include <QSet>

#include <QTemporaryDir>
#include <algorithm>

#include <gtest/gtest.h>

using crawlmere::platform::UserDefaults;
using crawlmere::views::Preference;
using crawlmere::views::PreferenceKind;
using crawlmere::views::PreferencesModel;

namespace {

class PreferencesModelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        store = std::make_unique<UserDefaults>(folder.filePath(QStringLiteral("defaults.plist")));
        crawlmere::app::registerApplicationDefaults(*store);
    }
    static const Preference& preference(const QString& key)
    {
        const Preference* found = PreferencesModel::preference(key);
        EXPECT_NE(found, nullptr) << qPrintable(key);
        return *found;
    }
    QTemporaryDir folder;
    std::unique_ptr<UserDefaults> store;
};

TEST_F(PreferencesModelTest, EveryControlEditsARegisteredDefaultOrANewSiteSettingOnce)
{
    QSet<QString> keys;
    QSet<QString> identifiers;
    const QVariantMap crawlDefaults = CrwlUrl::defaultCrawlSettings();
    // Defaults the engine reads but does not register.
    const QSet<QString> unregistered { QStringLiteral("automaticUpdateCheck"), QStringLiteral("formActions"),
        QStringLiteral("preventSplitXML") };
    for (const auto& page : PreferencesModel::pages()) {
        EXPECT_FALSE(identifiers.contains(page.identifier)) << qPrintable(page.identifier);
        identifiers.insert(page.identifier);
        EXPECT_FALSE(page.preferences.isEmpty()) << qPrintable(page.objectName);
        for (const Preference& item : page.preferences) {
            SCOPED_TRACE(item.key.toStdString());
            EXPECT_FALSE(keys.contains(item.key)) << "one control per default";
            keys.insert(item.key);
            const bool newSite = crawlmere::settings::ConfigManager::newSiteDefaultKeys().contains(item.key);
            EXPECT_TRUE(store->objectForKey(item.key).isValid() || newSite || unregistered.contains(item.key));
            if (newSite) {
                EXPECT_TRUE(crawlDefaults.contains(item.key));
            }
            if (item.kind == PreferenceKind::Choice) {
                EXPECT_GE(item.choices.size(), 2);
            }
            if (item.kind == PreferenceKind::Number || item.kind == PreferenceKind::Seconds) {
                EXPECT_LT(item.minimum, item.maximum);
            }
        }
    }
    // The pruned tabs' identifier ("5", SEO) is not among them; the sitemap tab is "3".
    EXPECT_FALSE(identifiers.contains(QStringLiteral("5")));
    EXPECT_EQ(PreferencesModel::pages().at(3).identifier, PreferencesModel::kSitemapTab);
    EXPECT_EQ(PreferencesModel::preference(QStringLiteral("SEOEnabled")), nullptr);
}

TEST_F(PreferencesModelTest, ValuesAreStoredInTheirKindClampedOrRefused)
{
    PreferencesModel model(*store);
    struct Case {
        QString key;
        QVariant given;
        bool changes;
        QVariant stored; ///< what the store then holds (invalid: nothing stored)
    };
    const Case cases[] = {
        { "displayLabels", true, false, {} }, // the registered value already
        { "displayLabels", QStringLiteral("NO"), true, false },
        { "vizClean", false, true, qint64(0) }, // registered as a number, stays one
        { "verbosity", qint64(3), true, qint64(3) },
        { "verbosity", qint64(9), false, qint64(3) }, // no such choice
        { "vizLevels", qint64(5000), true, qint64(100) }, // clamped to the field's range
        { crawlKey::numberOfThreads, qint64(12), false, {} }, // the crawl default already
        { crawlKey::numberOfThreads, qint64(0), true, qint64(1) },
        { crawlKey::timeout, QStringLiteral("2.5"), true, 2.5 },
        { crawlKey::timeout, std::numeric_limits<double>::infinity(), true, 1.0 },
        { crawlKey::defaultLocalFileName, QStringLiteral("default.htm"), true, QStringLiteral("default.htm") },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key.toStdString() + " " + c.given.toString().toStdString());
        const Preference& item = preference(c.key);
        EXPECT_EQ(model.setValue(item, c.given), c.changes);
        const QVariant stored = store->persistentDomain().value(c.key);
        EXPECT_EQ(stored, c.stored);
        if (c.stored.isValid()) {
            EXPECT_EQ(stored.typeId(), c.stored.typeId());
        }
    }
}

TEST_F(PreferencesModelTest, AStoredCrawlSettingShowsWhatTheScanUses)
{
    PreferencesModel model(*store);
    const QVariantMap defaults = CrwlUrl::defaultCrawlSettings();
    const struct {
        QString key;
        QVariant stored;
        QVariant shown;
    } cases[] = {
        { crawlKey::linksLimit, qint64(0), defaults.value(crawlKey::linksLimit) },
        { crawlKey::levelsLimit, qint64(0), defaults.value(crawlKey::levelsLimit) },
        { crawlKey::occurrencesLimit, qint64(-4), defaults.value(crawlKey::occurrencesLimit) },
        { crawlKey::timeout, 0.0, 30.0 },
        { crawlKey::timeout, -2.5, 30.0 },
        { crawlKey::timeout, 1e300, 3600.0 },
        { crawlKey::numberOfThreads, qint64(99), qint64(20) },
        { crawlKey::userAgentString, QString(), defaults.value(crawlKey::userAgentString) },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key.toStdString() + " stored as " + c.stored.toString().toStdString());
        store->setObject(c.stored, c.key);
        EXPECT_EQ(model.value(preference(c.key)), c.shown);
        EXPECT_EQ(crawlmere::engine::effectiveSettingValue(c.key, c.stored), c.shown) << "the scan";
    }
}

TEST_F(PreferencesModelTest, ANewSiteStartsFromTheNewSiteDefaultsOnly)
{
    PreferencesModel model(*store);
    ASSERT_TRUE(model.setValue(preference(crawlKey::linksLimit), qint64(250)));
    ASSERT_TRUE(model.setValue(preference(crawlKey::timeout), 4.0));
    ASSERT_TRUE(model.setValue(preference(crawlKey::userAgentString), QStringLiteral("Checker/1")));
    ASSERT_TRUE(model.setValue(preference(crawlKey::customHeaderAcceptLanguage), QStringLiteral("de")));
    ASSERT_TRUE(model.setValue(preference(crawlKey::dontFollowNofollowLinks), true));
    // A default of the same name that is no new-site setting changes no site.
    store->setObject(qint64(3), crawlKey::maxRPM);
    crawlmere::settings::ConfigManager sites(*store);
    const QVariantMap blank = sites.getBlankSettings();
    EXPECT_EQ(blank.value(crawlKey::linksLimit), qint64(250));
    EXPECT_EQ(blank.value(crawlKey::timeout), 4.0);
    EXPECT_EQ(blank.value(crawlKey::userAgentString), QStringLiteral("Checker/1"));
    EXPECT_EQ(blank.value(crawlKey::customHeaderAcceptLanguage), QStringLiteral("de"));
    EXPECT_EQ(blank.value(crawlKey::dontFollowNofollowLinks), true);
    EXPECT_EQ(blank.value(crawlKey::levelsLimit), CrwlUrl::defaultCrawlSettings().value(crawlKey::levelsLimit));
    EXPECT_EQ(blank.value(crawlKey::maxRPM), CrwlUrl::defaultCrawlSettings().value(crawlKey::maxRPM));
    EXPECT_EQ(
        model.value(preference(crawlKey::levelsLimit)), CrwlUrl::defaultCrawlSettings().value(crawlKey::levelsLimit));
}

TEST_F(PreferencesModelTest, TheTextContentTabOffersWhatThePageTextReadsAndNoSearchChoice)
{
    // Each option shapes the page text the parser gathers; this build has no page search, so
    // no choice of what a search reads is offered.
    const auto& pages = PreferencesModel::pages();
    const auto page = std::find_if(
        pages.begin(), pages.end(), [](const auto& p) { return p.label == QStringLiteral("Text content"); });
    ASSERT_NE(page, pages.end());
    QStringList keys;
    for (const auto& offered : page->preferences)
        keys << offered.key;
    EXPECT_EQ(keys,
        (QStringList { "parserContentConsolidateWhitespace", "parserContentIncludeAltText", "parserContentIgnoreNav",
            "parserContentIgnoreHeader", "parserContentOnlyParas" }));
    EXPECT_EQ(PreferencesModel::preference(QStringLiteral("searchEntireSource")), nullptr);
}

} // namespace
