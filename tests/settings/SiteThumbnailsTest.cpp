// The site store's thumbnails without a browser: when getters start, what a delivered
// thumbnail does to the list, and where thumbnail files of unchecked ids go.
#include "engine/CrawlSettingKeys.h"
#include "settings/ConfigManager.h"

#include "engine/RecordingShellServices.h"
#include "platform/Paths.h"
#include "platform/UserDefaults.h"
#include "settings/ThumbGetter.h"
#include "settings/ThumbGetterFactory.h"

#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using crawlmere::platform::Paths;
using crawlmere::platform::UserDefaults;
using crawlmere::settings::ConfigManager;
using crawlmere::settings::ThumbGetter;
using crawlmere::settings::ThumbGetterFactory;

namespace {

/// A getter that only remembers what it was given; `deliver` writes a red picture and calls back.
class FakeGetter final : public ThumbGetter {
public:
    FakeGetter(QString passed, QString path, ThumbGetterFactory::Callback callback)
        : url(std::move(passed))
        , location(std::move(path))
        , owner(std::move(callback))
    {
    }
    void getImage() override { started = true; }
    QString getPassedUrl() const override { return url; }
    void stopLoading() override { }
    bool isFinished() const override { return finished; }
    void deliver()
    {
        QImage picture(392, 256, QImage::Format_RGB32);
        picture.fill(Qt::red);
        QImageWriter(location, "tiff").write(picture);
        finished = true;
        owner(*this);
    }

    QString url;
    QString location;
    ThumbGetterFactory::Callback owner;
    bool started = false;
    bool finished = false;
};

class FakeFactory final : public ThumbGetterFactory {
public:
    std::unique_ptr<ThumbGetter> makeGetter(const QString& url, const QString& location, Callback owner) override
    {
        auto getter = std::make_unique<FakeGetter>(url, location, std::move(owner));
        made.push_back(getter.get());
        return getter;
    }
    std::vector<FakeGetter*> made;
};

class SiteThumbnailsTest : public testing::Test {
protected:
    void SetUp() override
    {
        QDir(Paths::applicationSupportFolder() + QStringLiteral("/thumbs")).removeRecursively();
        manager.setPrompts(prompts);
        manager.setThumbGetterFactory(factory);
        manager.applicationHasFinishedLaunching();
        manager.newConfigWithURL(QStringLiteral("https://one.example/"));
        manager.newConfigWithURL(QStringLiteral("https://two.example/"));
    }
    int rowOf(const QString& url) const
    {
        const auto& rows = manager.rows();
        for (int i = 0; i < rows.size(); ++i) {
            if (rows.at(i).startingUrl == url)
                return i;
        }
        return -1;
    }

    QTemporaryDir folder;
    UserDefaults defaults { folder.filePath(QStringLiteral("defaults.plist")) };
    ConfigManager manager { defaults };
    std::shared_ptr<FakeFactory> factory = std::make_shared<FakeFactory>();
    std::shared_ptr<RecordingPrompts> prompts = std::make_shared<RecordingPrompts>();
};

} // namespace

TEST_F(SiteThumbnailsTest, GettersStartOnSelectionUrlEditAndLocalFileOnlyWithThumbnailsShown)
{
    // Building the list never fetches.
    manager.rebuildDataSourceAndReloadTableView();
    EXPECT_TRUE(factory->made.empty());

    defaults.setInteger(0, QStringLiteral("sitesTableIconSize"));
    manager.tableViewSelectionDidChange(rowOf(QStringLiteral("https://one.example/")));
    manager.handleControl(crawlKey::startingUrl);
    prompts->answers = { 1 };
    manager.openFileAsStartingUrl(QStringLiteral("file:///tmp/a.html"));
    EXPECT_TRUE(factory->made.empty());

    defaults.setInteger(1, QStringLiteral("sitesTableIconSize"));
    manager.tableViewSelectionDidChange(rowOf(QStringLiteral("https://two.example/")));
    ASSERT_EQ(factory->made.size(), 1U);
    EXPECT_TRUE(factory->made.at(0)->started);
    EXPECT_EQ(factory->made.at(0)->url, QStringLiteral("https://two.example/"));
    EXPECT_EQ(factory->made.at(0)->location, ConfigManager::thumbPathForSiteID(manager.getIDForCurrentSite()));
    // The URL field left as it was asks for the thumbnail still being made: no second getter.
    manager.handleControl(crawlKey::startingUrl);
    prompts->answers = { 1 };
    manager.openFileAsStartingUrl(QStringLiteral("file:///tmp/b.html"));
    ASSERT_EQ(factory->made.size(), 2U);
    EXPECT_EQ(factory->made.at(1)->url, QStringLiteral("file:///tmp/b.html"));
}

TEST_F(SiteThumbnailsTest, ASiteIsMadeOnceAtATimeWhateverTheSelections)
{
    const auto siteAt = [this](const char* url) { return *manager.settingsForID(manager.rows().at(rowOf(QLatin1String(url))).ID); };
    const QVariantMap one = siteAt("https://one.example/");
    QVariantMap moved = one;
    moved.insert(crawlKey::startingUrl, QStringLiteral("https://one.example/moved/"));
    const struct {
        QVariantMap site;
        std::size_t made; ///< getters made so far
        std::size_t kept; ///< getters kept
    } steps[] = {
        { one, 1, 1 },
        { one, 1, 1 }, // selected again while it is made
        { siteAt("https://two.example/"), 2, 2 },
        { moved, 3, 2 }, // a new starting URL: the old getter is dropped
        { moved, 3, 2 },
    };
    for (const auto& step : steps) {
        manager.getThumbForWebsite(step.site, true);
        EXPECT_EQ(factory->made.size(), step.made);
        EXPECT_EQ(manager.thumbGetterCount(), step.kept);
    }
    EXPECT_EQ(factory->made.back()->url, QStringLiteral("https://one.example/moved/"));
    // Once delivered, the site's thumbnail is made again when asked.
    factory->made.back()->deliver();
    manager.getThumbForWebsite(moved, true);
    EXPECT_EQ(factory->made.size(), 4U);
}

TEST_F(SiteThumbnailsTest, ADeliveredThumbnailReplacesThePlaceholderOfItsRow)
{
    const int row = rowOf(QStringLiteral("https://one.example/"));
    const QString siteID = manager.rows().at(row).ID;
    const QImage placeholder = manager.getThumbForWebsite(*manager.settingsForID(siteID), true);
    EXPECT_EQ(placeholder.size(), ConfigManager::kThumbDisplaySize);
    EXPECT_NE(placeholder.pixelColor(98, 64).alpha(), 0);
    EXPECT_TRUE(manager.rows().at(row).image.isNull());

    factory->made.at(0)->deliver();
    const QImage shown = manager.rows().at(row).image;
    ASSERT_EQ(shown.size(), ConfigManager::kThumbDisplaySize);
    EXPECT_EQ(shown.pixelColor(98, 64), QColor(Qt::red));
    EXPECT_TRUE(manager.rows().at(rowOf(QStringLiteral("https://two.example/"))).image.isNull());
    // Rebuilt, the list reads the stored file again.
    manager.rebuildDataSourceAndReloadTableView();
    EXPECT_EQ(manager.rows().at(row).image.pixelColor(10, 10), QColor(Qt::red));
}

TEST_F(SiteThumbnailsTest, OnlyAnIdThatIsOneSafeNameIsUsedAsTheFileName)
{
    const QString thumbs = Paths::applicationSupportFolder() + QStringLiteral("/thumbs");
    for (const QString& id : { QStringLiteral("20261207-120000-1"), QStringLiteral("site with spaces.x") })
        EXPECT_EQ(ConfigManager::thumbFileName(id), id);
    const QString unsafe[] = { QString(), QStringLiteral("."), QStringLiteral(".."), QStringLiteral("../../x"),
        QStringLiteral("a/b"), QStringLiteral("a\\b"), QStringLiteral("a\nb"), QString(QChar(0)) + QStringLiteral("a"),
        QString(256, QLatin1Char('a')), QString(128, QChar(0x00e9)) };
    for (const QString& id : unsafe) {
        const QString name = ConfigManager::thumbFileName(id);
        EXPECT_EQ(name.size(), 64) << id.toStdString();
        EXPECT_EQ(QFileInfo(ConfigManager::thumbPathForSiteID(id)).absolutePath(), thumbs);
    }
    EXPECT_EQ(ConfigManager::thumbFileName(QString(255, QLatin1Char('a'))).size(), 255);
    EXPECT_NE(
        ConfigManager::thumbFileName(QStringLiteral("../a")), ConfigManager::thumbFileName(QStringLiteral("../b")));
}
