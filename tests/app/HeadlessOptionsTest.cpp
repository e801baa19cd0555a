#include "app/HeadlessOptions.h"

#include "engine/CrwlUrl.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace crawlmere::app;

namespace {

HeadlessParse parse(const QStringList& arguments, const QString& folder = QDir::currentPath())
{
    const QVariantMap registered { { "byStatusWhichStatus", qint64(2) }, { "shouldCheckForSoft404", false } };
    return parseHeadlessArguments(arguments, CrwlUrl::defaultCrawlSettings(), registered, folder);
}

} // namespace

TEST(HeadlessOptions, SetValuesAreTypedByTheSettingsDefaults)
{
    const auto result = parse({ "--headless", "--set", "numberOfThreads=4", "--set=delay=0.5", "--set", "checkImages=NO",
        "--set", "sessidParam=PHPSESSID", "--set", "timeout=7", "http://127.0.0.1:9/" });
    ASSERT_TRUE(result.options) << result.error.toStdString();
    const QVariantMap& settings = result.options->crawlSettings;
    EXPECT_EQ(settings.value("numberOfThreads"), QVariant(qint64(4)));
    EXPECT_EQ(settings.value("delay"), QVariant(0.5));
    EXPECT_EQ(settings.value("checkImages"), QVariant(false));
    EXPECT_EQ(settings.value("sessidParam"), QVariant(QString("PHPSESSID")));
    EXPECT_EQ(settings.value("timeout"), QVariant(7.0)); // a real default reads "7" as 7.0
    EXPECT_TRUE(result.options->headless);
    EXPECT_EQ(result.options->targetKind, TargetKind::WebAddress);
    EXPECT_EQ(result.options->startingUrl, "http://127.0.0.1:9/");
    EXPECT_EQ(result.options->columns, HeadlessOptions::defaultColumns());
}

TEST(HeadlessOptions, UsageErrorsNameTheProblem)
{
    EXPECT_EQ(parse({ "--set", "noSuchKey=1", "http://h/" }).error, "unknown crawl setting: noSuchKey");
    EXPECT_TRUE(parse({ "--set", "numberOfThreads=many", "http://h/" }).error.contains("numberOfThreads"));
    EXPECT_TRUE(parse({ "--set", "checkImages=perhaps", "http://h/" }).error.contains("YES or NO"));
    EXPECT_FALSE(parse({ "--set", "=3", "http://h/" }).error.isEmpty());
    EXPECT_EQ(parse({ "--frobnicate", "http://h/" }).error, "unknown option: --frobnicate");
    EXPECT_EQ(parse({}).error, "no target given");
    EXPECT_EQ(parse({ "http://a/", "http://b/" }).error, "only one target can be scanned at a time");
    EXPECT_EQ(parse({ "--columns", ",", "http://h/" }).error, "--columns needs at least one column key");
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

TEST(HeadlessOptions, DefaultsAreTypedByTheRegisteredValueOrByTheirForm)
{
    const auto result = parse({ "--default", "byStatusWhichStatus=0", "--default", "shouldCheckForSoft404=YES",
        "--default", "csvQuoteEscapeOption=2", "--default", "soft404Terms=not found", "--default", "ratio=0.25",
        "--default", "flag=no", "http://h/" });
    ASSERT_TRUE(result.options) << result.error.toStdString();
    const QVariantMap& defaults = result.options->defaults;
    EXPECT_EQ(defaults.value("byStatusWhichStatus"), QVariant(qint64(0)));
    EXPECT_EQ(defaults.value("shouldCheckForSoft404"), QVariant(true));
    EXPECT_EQ(defaults.value("csvQuoteEscapeOption"), QVariant(qint64(2)));
    EXPECT_EQ(defaults.value("soft404Terms"), QVariant(QString("not found")));
    EXPECT_EQ(defaults.value("ratio"), QVariant(0.25));
    EXPECT_EQ(defaults.value("flag"), QVariant(false));
    EXPECT_FALSE(parse({ "--default", "byStatusWhichStatus=final", "http://h/" }).error.isEmpty());
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
}
