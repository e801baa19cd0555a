#include "app/HeadlessOptions.h"
#include "engine/CrawlSettingKeys.h"

#include "engine/CrawlSettingTable.h"
#include "engine/CrwlUrl.h"
#include "platform/Paths.h"
#include "settings/ConfigManager.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>
#include <map>

using namespace crawlmere::app;
using crawlmere::engine::CrawlSetting;
using crawlmere::engine::crawlSettingTable;
using crawlmere::engine::SettingReader;

namespace {

HeadlessParse parse(const QStringList& arguments, const QString& folder = QDir::currentPath())
{
    const QVariantMap registered { { "byStatusWhichStatus", qint64(2) }, { crawlKey::shouldCheckForSoft404, false } };
    return parseHeadlessArguments(arguments, CrwlUrl::crawlSettingModels(), registered, folder);
}

} // namespace

TEST(HeadlessOptions, SetValuesAreTypedByTheSettingsDefaults)
{
    const auto result = parse({ "--headless", "--set", "numberOfThreads=4", "--set=delay=0.5", "--set", "checkImages=NO",
        "--set", "sessidParam=PHPSESSID", "--set", "timeout=7", "http://127.0.0.1:9/" });
    ASSERT_TRUE(result.options) << result.error.toStdString();
    const QVariantMap& settings = result.options->crawlSettings;
    EXPECT_EQ(settings.value(crawlKey::numberOfThreads), QVariant(qint64(4)));
    EXPECT_EQ(settings.value(crawlKey::delay), QVariant(0.5));
    EXPECT_EQ(settings.value(crawlKey::checkImages), QVariant(false));
    EXPECT_EQ(settings.value(crawlKey::sessidParam), QVariant(QString("PHPSESSID")));
    EXPECT_EQ(settings.value(crawlKey::timeout), QVariant(7.0)); // a real default reads "7" as 7.0
    EXPECT_TRUE(result.options->headless);
    EXPECT_EQ(result.options->targetKind, TargetKind::WebAddress);
    EXPECT_EQ(result.options->startingUrl, "http://127.0.0.1:9/");
    EXPECT_EQ(result.options->columns, HeadlessOptions::defaultColumns());
}

TEST(HeadlessOptions, UsageErrorsNameTheProblem)
{
    EXPECT_EQ(parse({ "--set", "noSuchKey=1", "http://h/" }).error, "unknown crawl setting: noSuchKey");
    EXPECT_EQ(parse({ "--set", "ftpserver=ftp.example.test", "http://h/" }).error,
        "--set ftpserver: not a crawl setting: a site keeps this value, but no scan reads it");
    EXPECT_TRUE(parse({ "--set", "numberOfThreads=many", "http://h/" }).error.contains(crawlKey::numberOfThreads));
    EXPECT_TRUE(parse({ "--set", "checkImages=perhaps", "http://h/" }).error.contains("YES or NO"));
    EXPECT_FALSE(parse({ "--set", "=3", "http://h/" }).error.isEmpty());
    EXPECT_EQ(parse({ "--frobnicate", "http://h/" }).error, "unknown option: --frobnicate");
    EXPECT_EQ(parse({}).error, "no target given");
    EXPECT_EQ(parse({ "http://a/", "http://b/" }).error, "only one target can be scanned at a time");
    EXPECT_EQ(parse({ "--columns", ",", "http://h/" }).error, "--columns needs at least one column key");
    EXPECT_EQ(parse({ "--columns", "url,nonsense", "http://h/" }).error,
        "unknown column key: nonsense (crawlmere --columns help lists them)");
    EXPECT_FALSE(parse({ "--columns", "url,nonsense", "http://h/" }).targetUnusable);
    EXPECT_EQ(parse({ "/no/such/file.html" }).error, "no such file: /no/such/file.html");
    EXPECT_EQ(parse({ "--view", "9", "http://h/" }).error,
        "--view 9: no such link view (1 by link, 2 by page, 3 by status, 4 flat)");
    EXPECT_EQ(parse({ "--view", "0", "http://h/" }).error.left(9), "--view 0:");
    EXPECT_EQ(parse({ "--view", "3", "http://h/" }).options->view, 3);
    EXPECT_TRUE(parse({ "--view", "1", "--columns", "url", "http://h/" }).error.startsWith("--columns cannot be used"));
    EXPECT_EQ(parse({ "--html", "a.html", "http://h/" }).error, "--html needs --view");
    const auto view = parse({ "--view=1", "--html", "a.html", "http://h/" }, "/tmp");
    ASSERT_TRUE(view.options);
    EXPECT_EQ(view.options->view, 1);
    EXPECT_EQ(view.options->htmlFile, "/tmp/a.html");
    EXPECT_TRUE(parse({ "--help" }).showHelp);
    EXPECT_TRUE(parse({ "--version" }).showVersion);
}

TEST(HeadlessOptions, OutputOptionsNamingOneFileAreRefused)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    ASSERT_TRUE(QDir(folder.path()).mkdir("sub"));
    ASSERT_TRUE(QFile::link(folder.filePath("sub"), folder.filePath("linked")));
    const struct {
        QStringList outputs;
        const char* refusal; // empty: taken
    } cases[] = {
        { { "--csv", "a.csv", "--sitemap", "a.csv" }, "--csv and --sitemap name the same file" },
        { { "--csv", "a.csv", "--sitemap", "./a.csv" }, "--csv and --sitemap name the same file" },
        { { "--csv=sub/../a.csv", "--html", "a.csv", "--view", "1" }, "--csv and --html name the same file" },
        { { "--view", "2", "--html", "sub/x", "--sitemap", "linked/x" }, "--html and --sitemap name the same file" },
        { { "--csv", "a.csv", "--sitemap", "a.xml" }, "" },
        { { "--csv", "sub/a.csv", "--sitemap", "a.csv" }, "" },
    };
    for (const auto& c : cases) {
        const auto result = parse(c.outputs + QStringList { "http://h/" }, folder.path());
        EXPECT_EQ(result.options.has_value(), *c.refusal == 0) << qPrintable(c.outputs.join(' '));
        EXPECT_EQ(result.error.left(int(std::strlen(c.refusal))), QLatin1String(c.refusal))
            << qPrintable(c.outputs.join(u' '));
    }
}

TEST(HeadlessOptions, OutputsOverTheTargetOrTheProgramsOwnFilesAreRefused)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    for (const char* name : { "site.lcsettings", "urls.txt", "page.html" }) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(QFile::link(folder.path(), folder.filePath("here")));
    const QString store = crawlmere::platform::Paths::configFolder() + "/defaults.plist";
    const QString archive = crawlmere::platform::Paths::applicationSupportFolder() + "/archive";
    const QString saveLocation = QLatin1String(crawlKey::archiveSaveLocation.name());
    const struct {
        QStringList arguments;
        const char* refusal; // empty: taken
    } cases[] = {
        { { "--csv", "site.lcsettings", "site.lcsettings" }, "--csv" },
        { { "--sitemap", "here/urls.txt", "urls.txt" }, "--sitemap" },
        { { "--view", "1", "--html", "./page.html", "page.html" }, "--html" },
        { { "--csv", store, "http://h/" }, "--csv" },
        { { "--sitemap", store + ".lock", "site.lcsettings" }, "--sitemap" },
        { { "--csv", archive + "/some-site/index.plist", "http://h/" }, "--csv" },
        { { "--set", saveLocation + "=" + archive + "/copies", "http://h/" }, crawlKey::archiveSaveLocation.name() },
        { { "--csv", "out.csv", "--sitemap", "out.xml", "site.lcsettings" }, "" },
        { { "--set", saveLocation + "=" + folder.filePath("copies"), "site.lcsettings" }, "" },
    };
    for (const auto& c : cases) {
        const auto result = parse(c.arguments, folder.path());
        EXPECT_EQ(result.options.has_value(), *c.refusal == 0) << qPrintable(c.arguments.join(' '));
        EXPECT_FALSE(result.targetUnusable); // a usage error: exit status 2
        EXPECT_EQ(result.error.left(int(std::strlen(c.refusal))), QLatin1String(c.refusal)) << qPrintable(result.error);
    }
}

TEST(HeadlessOptions, DefaultsAreTypedByTheRegisteredValueOrByTheirForm)
{
    const auto result = parse({ "--default", "byStatusWhichStatus=0", "--default", "shouldCheckForSoft404=YES",
        "--default", "csvQuoteEscapeOption=2", "--default", "soft404Terms=not found", "--default",
        "proxyCrawlToken=0.25", "--default", "badLinksOnly=no", "http://h/" });
    ASSERT_TRUE(result.options) << result.error.toStdString();
    const QVariantMap& defaults = result.options->defaults;
    EXPECT_EQ(defaults.value("byStatusWhichStatus"), QVariant(qint64(0)));
    EXPECT_EQ(defaults.value(crawlKey::shouldCheckForSoft404), QVariant(true));
    EXPECT_EQ(defaults.value("csvQuoteEscapeOption"), QVariant(qint64(2)));
    EXPECT_EQ(defaults.value("soft404Terms"), QVariant(QString("not found")));
    EXPECT_EQ(defaults.value("proxyCrawlToken"), QVariant(0.25));
    EXPECT_EQ(defaults.value("badLinksOnly"), QVariant(false));
    EXPECT_FALSE(parse({ "--default", "byStatusWhichStatus=final", "http://h/" }).error.isEmpty());
}

TEST(HeadlessOptions, DefaultRefusesTheSiteListsKeysUnknownKeysAndValuesOutsideAControlsRange)
{
    for (const QString& key : crawlmere::settings::ConfigManager::storeKeys()) {
        const auto result = parse({ "--default", key + "=1", "site.lcsettings" });
        EXPECT_FALSE(result.options) << qPrintable(key);
        EXPECT_EQ(result.error,
            QStringLiteral("--default %1: the site list keeps this value; it is not an application default that "
                           "can be set")
                .arg(key));
    }
    const struct {
        const char* assignment;
        const char* error; // empty: taken
    } cases[] = {
        { "bogusDefault=1", "unknown application default: bogusDefault" },
        { "csvQuoteEscapeOption=7", "--default csvQuoteEscapeOption: expected one of 0, 1, 2, got \"7\"" },
        { "csvQuoteEscapeOption=0", "" },
        { "redirectChain=0", "--default redirectChain: expected a whole number from 1 to 20, got \"0\"" },
        { "redirectChain=20", "" },
        { "displayLabels=maybe", "--default displayLabels: expected YES or NO, got \"maybe\"" },
        { "trimWhitespace=YES", "" },
        { "timeout=0", "--default timeout: expected a number from 1 to 3600, got \"0\"" },
    };
    for (const auto& c : cases) {
        const auto result = parse({ "--default", c.assignment, "http://h/" });
        EXPECT_EQ(result.error, QLatin1String(c.error)) << c.assignment;
        EXPECT_EQ(result.options.has_value(), *c.error == 0) << c.assignment;
    }
}

TEST(HeadlessOptions, ColumnsHelpListsEveryColumnKey)
{
    const auto result = parse({ "--columns", "help" });
    EXPECT_TRUE(result.showColumnKeys);
    EXPECT_TRUE(result.error.isEmpty());
    const QStringList keys = columnKeysText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_GT(keys.size(), 50);
    for (const QString& key : keys)
        EXPECT_TRUE(CrwlUrl::namesField(key)) << qPrintable(key);
    for (const char* key : { "spellingcount", "h1", "metadescription", "ogtitle", "responsetime", "wordcount" })
        EXPECT_TRUE(keys.contains(QLatin1String(key))) << key;
}

TEST(HeadlessOptions, LocalTargetsBecomeFileUrlsAndSettingsFilesAreRecognised)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QFile page(folder.filePath("my page.html"));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write("<a href=x>x</a>");
    page.close();
    QFile settings(folder.filePath("site.lcsettings"));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.close();

    const auto relative = parse({ "my page.html", "--csv", "out/links.csv", "--columns", "URL, status" }, folder.path());
    ASSERT_TRUE(relative.options) << relative.error.toStdString();
    EXPECT_EQ(relative.options->targetKind, TargetKind::LocalFile);
    EXPECT_TRUE(relative.options->startingUrl.startsWith("file:///"));
    EXPECT_TRUE(relative.options->startingUrl.endsWith("/my%20page.html"));
    EXPECT_EQ(relative.options->csvFile, folder.filePath("out/links.csv"));
    EXPECT_EQ(relative.options->columns, QStringList({ "url", "status" }));

    const auto site = parse({ folder.filePath("site.lcsettings") });
    ASSERT_TRUE(site.options);
    EXPECT_EQ(site.options->targetKind, TargetKind::SettingsFile);
    EXPECT_TRUE(site.options->startingUrl.isEmpty());

    // A bare host name that is not a file is a web address; the hub adds the scheme.
    const auto host = parse({ "example.invalid" }, folder.path());
    ASSERT_TRUE(host.options);
    EXPECT_EQ(host.options->targetKind, TargetKind::WebAddress);

    // A missing file of the program's own kinds, or in a folder that is there, is not found.
    ASSERT_TRUE(QDir(folder.path()).mkdir("sub"));
    const struct {
        const char* target;
        bool notFound;
    } missing[] = {
        { "nothere.lcsettings", true },
        { "nothere.LcsBatch", true },
        { "sub/missing.html", true },
        { "/no/such/file.html", true },
        { "example.invalid/page.html", false },
        { "example.invalid/site.lcsettings", true },
        { "sub/nosub/x.html", true }, // the first segment is a folder that is there
        { "sub dir/x.html", true }, // no host name holds a space
        { "example.invalid/a b.html", true },
        { "NOTHERE.LCSETTINGS", true },
    };
    for (const auto& c : missing) {
        const auto result = parse({ c.target }, folder.path());
        EXPECT_EQ(result.targetUnusable, c.notFound) << c.target;
        EXPECT_EQ(result.options.has_value(), !c.notFound) << c.target;
        if (c.notFound) {
            EXPECT_EQ(result.error, QStringLiteral("no such file: %1").arg(c.target)) << c.target;
        }
    }

    // The settings file's extension compares exactly, as in the window: capitals are refused
    // with the reason rather than scanned as a page.
    QFile capitals(folder.filePath("SITE.LCSETTINGS"));
    ASSERT_TRUE(capitals.open(QIODevice::WriteOnly));
    capitals.close();
    const auto upper = parse({ "SITE.LCSETTINGS" }, folder.path());
    EXPECT_TRUE(upper.targetUnusable);
    EXPECT_FALSE(upper.options);
    EXPECT_EQ(upper.error,
        "SITE.LCSETTINGS is not opened: settings files end in \".lcsettings\" and site lists in \".lcsbatch\", "
        "written in lower case");
}

TEST(HeadlessOptions, TimeOutsAndDelaysOutsideTheirRangeAreRefusedWithTheRange)
{
    const struct {
        const char* set;
        const char* refusal; // null: accepted
    } cases[] = {
        { "delay=inf", "--set delay: expected a number from 0 to 60 (seconds), got \"inf\"" },
        { "delay=1e300", "--set delay: expected a number from 0 to 60 (seconds), got \"1e300\"" },
        { "delay=-1", "--set delay: expected a number from 0 to 60 (seconds), got \"-1\"" },
        { "delay=nan", "--set delay: expected a number from 0 to 60 (seconds), got \"nan\"" },
        { "timeout=inf", "--set timeout: expected a number from 1 to 3600 (seconds), got \"inf\"" },
        { "timeout=0.5", "--set timeout: expected a number from 1 to 3600 (seconds), got \"0.5\"" },
        { "timeout=3601", "--set timeout: expected a number from 1 to 3600 (seconds), got \"3601\"" },
        { "timeout=soon", "--set timeout: expected a number from 1 to 3600 (seconds), got \"soon\"" },
        { "delay=0", nullptr },
        { "delay=60", nullptr },
        { "timeout=1", nullptr },
        { "timeout=3600", nullptr },
        { "timeout=2s", nullptr }, // read as a stored "2s" is: 2 seconds
    };
    for (const auto& c : cases) {
        const auto result = parse({ "--set", c.set, "http://h/" });
        EXPECT_EQ(result.error.toStdString(), c.refusal ? c.refusal : "") << c.set;
        EXPECT_EQ(result.options.has_value(), c.refusal == nullptr) << c.set;
    }
    const auto twoSeconds = parse({ "--set", "timeout=2s", "http://h/" });
    ASSERT_TRUE(twoSeconds.options);
    EXPECT_EQ(twoSeconds.options->crawlSettings.value(crawlKey::timeout), 2.0);
}

namespace {

/// A value of each type of setting, what it is stored as, and a value that does not fit it.
const std::map<int, std::tuple<QString, QVariant, QString>>& valuesByType()
{
    static const std::map<int, std::tuple<QString, QVariant, QString>> values {
        { QMetaType::Bool, { "YES", true, "maybe" } },
        { QMetaType::LongLong, { "12", qint64(12), "lots" } },
        { QMetaType::Double, { "2", 2.0, "soon" } },
        { QMetaType::QString, { "a text", QString("a text"), QString() } },
        { QMetaType::QVariantList, { " private, missing ", QVariantList { "private", "missing" }, QString() } },
    };
    return values;
}

} // namespace

TEST(HeadlessOptions, EveryCrawlSettingTheScanReadsCanBeSetWithAValueOfItsType)
{
    int read = 0;
    for (const CrawlSetting& setting : crawlSettingTable()) {
        if (setting.reader != SettingReader::Scan)
            continue;
        ++read;
        const QString& key = setting.key;
        const auto& [text, stored, wrong] = valuesByType().at(setting.type);
        const auto result = parse({ "--set", key + '=' + text, "http://h/" });
        ASSERT_TRUE(result.options) << qPrintable(key) << ": " << qPrintable(result.error);
        EXPECT_EQ(result.options->crawlSettings.value(key), stored) << qPrintable(key);
        if (!wrong.isNull()) {
            EXPECT_TRUE(
                parse({ "--set", key + '=' + wrong, "http://h/" }).error.startsWith("--set " + key + ": expected"))
                << qPrintable(key);
        }
    }
    EXPECT_GE(read, 50);
    EXPECT_EQ(parse({ "--set", "startingUrl=http://other/", "http://h/" }).error,
        "--set startingUrl: the starting URL is the TARGET");
}

TEST(HeadlessOptions, EveryCrawlSettingSetAcceptsIsReadByTheScanOrRefused)
{
    // Each setting goes where its reader reads it, or is refused when no scan reads it.
    for (const CrawlSetting& setting : crawlSettingTable()) {
        const QString& key = setting.key;
        const auto result = parse({ "--set", key + '=' + std::get<0>(valuesByType().at(setting.type)), "http://h/" });
        switch (setting.reader) {
        case SettingReader::Scan:
        case SettingReader::Window:
            ASSERT_TRUE(result.options) << qPrintable(key) << ": " << qPrintable(result.error);
            EXPECT_TRUE(result.options->crawlSettings.contains(key)) << qPrintable(key);
            break;
        case SettingReader::ApplicationDefaults:
            ASSERT_TRUE(result.options) << qPrintable(key) << ": " << qPrintable(result.error);
            EXPECT_TRUE(result.options->defaults.contains(key)) << qPrintable(key);
            EXPECT_FALSE(result.options->crawlSettings.contains(key)) << qPrintable(key);
            break;
        case SettingReader::NoScan:
            EXPECT_EQ(
                result.error, "--set " + key + ": not a crawl setting: a site keeps this value, but no scan reads it");
            break;
        case SettingReader::Target:
            EXPECT_EQ(result.error, "--set " + key + ": the starting URL is the TARGET");
            break;
        }
    }
    for (const auto key : { crawlKey::caseSensitiveFileURLs, crawlKey::limitLevels, crawlKey::wixSite })
        EXPECT_EQ(parse({ "--set", QString(key) + "=YES", "http://h/" }).error,
            "--set " + QString(key) + ": not a crawl setting: a site keeps this value, but no scan reads it");
    const auto images = parse({ "--set", "loadImages=YES", "--set", "runAllToCompletion=YES", "http://h/" });
    ASSERT_TRUE(images.options) << qPrintable(images.error);
    EXPECT_EQ(images.options->crawlSettings.value(crawlKey::loadImages), QVariant(true));
    EXPECT_EQ(images.options->defaults.value(crawlKey::runAllToCompletion), QVariant(true));
    EXPECT_FALSE(images.options->crawlSettings.contains(crawlKey::runAllToCompletion));
}

TEST(HeadlessOptions, ThreadsRequestRatesAndLimitsOutsideTheirRangeAreRefusedWithTheRange)
{
    for (const char* set : { "levelsLimit=0", "linksLimit=-1", "occurrencesLimit=0" }) {
        const QString key = QString::fromLatin1(set).section(u'=', 0, 0);
        EXPECT_EQ(parse({ "--set", set, "http://h/" }).error,
            QStringLiteral("--set %1: expected a whole number from 1 to 2147483647 (%2), got \"%3\"")
                .arg(key, key.chopped(QStringLiteral("Limit").size()), QString::fromLatin1(set).section(u'=', 1)))
            << set;
    }
    for (const char* set : { "numberOfThreads=0", "numberOfThreads=21", "maxRPM=9", "maxRPM=60001" }) {
        const QString key = QString::fromLatin1(set).section(u'=', 0, 0);
        EXPECT_EQ(parse({ "--set", set, "http://h/" }).error,
            QStringLiteral("--set %1: expected a whole number from %2 (%3), got \"%4\"")
                .arg(key, key == crawlKey::maxRPM ? "10 to 60000" : "1 to 20",
                    key == crawlKey::maxRPM ? "requests per minute" : "fetches at a time",
                    QString::fromLatin1(set).section(u'=', 1)));
    }
    for (const char* set : { "numberOfThreads=1", "numberOfThreads=20", "maxRPM=10", "maxRPM=60000" })
        EXPECT_TRUE(parse({ "--set", set, "http://h/" }).options) << set;
}

TEST(HeadlessOptions, ASiteListFileIsImportedAndTakesNoScanOptions)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QFile list(folder.filePath("sites.lcsbatch"));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.close();

    const auto sites = parse({ "--headless", "sites.lcsbatch" }, folder.path());
    ASSERT_TRUE(sites.options) << qPrintable(sites.error);
    EXPECT_EQ(sites.options->targetKind, TargetKind::SiteListFile);
    EXPECT_EQ(sites.options->target, folder.filePath("sites.lcsbatch"));
    for (const QStringList& option : { QStringList { "--csv", "x.csv" }, QStringList { "--set", "timeout=5" },
             QStringList { "--sitemap", "s.xml" }, QStringList { "--view", "1" } })
        EXPECT_EQ(parse(option + QStringList { "sites.lcsbatch" }, folder.path()).error,
            "a .lcsbatch file is imported into the site list, not scanned: --set, --csv, --view and --sitemap "
            "cannot be used with it")
            << qPrintable(option.join(' '));
}
