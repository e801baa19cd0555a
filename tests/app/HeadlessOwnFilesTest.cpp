// The headless program never writes where the user did not choose: over its target, its own
// stores or archive, into a folder a settings file names; and a site it cannot store is refused.
#include "HeadlessScanTestSupport.h"

#include "platform/Paths.h"
#include "platform/PropertyList.h"
#include "settings/SiteValueCheck.h"
#include "support/FileBytes.h"

#include <QDirIterator>

using namespace crawlmere::test::headless;
using crawlmere::platform::Paths;
using crawlmere::platform::PropertyList;
using crawlmere::test::bytesOf;

namespace {

/// A value nested `depth` lists deep: a settings file holds it, the site list one level deeper
/// cannot.
QVariant nested(int depth)
{
    QVariant value = QStringLiteral("deep");
    for (int i = 0; i < depth; ++i)
        value = QVariantList { value };
    return value;
}

class HeadlessOwnFilesTest : public HeadlessScanTest {
protected:
    void serveSite(httplib::Server& site) override
    {
        buildSite(site);
        site.Get("/counted.html", [this](const httplib::Request&, httplib::Response& response) {
            ++counted;
            response.set_content(page(QStringLiteral("Counted"), QString()).toStdString(), "text/html");
        });
    }
    QString writeSettings(const QString& name, const QVariant& root) const
    {
        const QString path = folder.filePath(name);
        EXPECT_TRUE(PropertyList::writeXmlFile(path, root).ok());
        return path;
    }
    std::atomic<int> counted { 0 };
};

} // namespace

TEST_F(HeadlessOwnFilesTest, RefusedCommandsLeaveTheStoreTheTargetAndTheSettingsFileByteForByte)
{
    const QString siteFile = writeSettings(QStringLiteral("own.lcsettings"),
        QVariantMap { { "id", "20260301-090000-1" }, { "name", "own" }, { crawlKey::startingUrl, url("/counted.html") } });
    ASSERT_EQ(run({ siteFile }, /*withCsv=*/false), kExitFinished) << qPrintable(err.text());
    const QString urlList = folder.filePath(QStringLiteral("urls.txt"));
    {
        QFile list(urlList);
        ASSERT_TRUE(list.open(QIODevice::WriteOnly));
        list.write(url("/counted.html").toUtf8() + '\n');
    }
    const QString store = Paths::configFolder() + QStringLiteral("/defaults.plist");
    const QString archive = Paths::applicationSupportFolder() + QStringLiteral("/archive/copies");
    // Too deep for the site list by one level, not for the file: the site cannot be stored.
    const QVariantMap deepSite { { "id", "20260301-090000-2" }, { crawlKey::startingUrl, url("/counted.html") },
        { "extra", nested(510) } };
    const QString deepFile = writeSettings(QStringLiteral("deep.lcsettings"), deepSite);
    const QString deepList = writeSettings(QStringLiteral("deep.lcsbatch"), QVariantList { deepSite });
    ASSERT_TRUE(crawlmere::settings::SiteValueCheck::readSettingsFile(deepFile, QMetaType::QVariantMap).ok());
    ASSERT_TRUE(crawlmere::settings::SiteValueCheck::readSettingsFile(deepList, QMetaType::QVariantList).ok());

    const QList<QByteArray> before { bytesOf(store), bytesOf(siteFile), bytesOf(urlList) };
    const int scansBefore = counted.load();
    const struct {
        QStringList arguments;
        int status;
        const char* said; // on the console; the import says its own refusal on standard error
    } cases[] = {
        { { "--csv", siteFile, siteFile }, kExitUsage, "names the target itself" },
        { { "--sitemap", urlList, urlList }, kExitUsage, "names the target itself" },
        { { "--csv", store, siteFile }, kExitUsage, "is a file of Crawlmere's own" },
        { { "--csv", store + ".lock", url("/counted.html") }, kExitUsage, "is a file of Crawlmere's own" },
        { { "--set", "archiveSaveLocation=" + archive, siteFile }, kExitUsage, "inside Crawlmere's own folders" },
        { { deepFile }, kExitFailed, "" },
        { { deepList }, kExitFailed, "" },
    };
    for (const auto& c : cases) {
        const qsizetype said = err.text().size();
        EXPECT_EQ(run(c.arguments, /*withCsv=*/false), c.status) << qPrintable(c.arguments.join(u' '));
        EXPECT_TRUE(err.text().mid(said).contains(QLatin1String(c.said))) << qPrintable(err.text().mid(said));
        EXPECT_EQ((QList<QByteArray> { bytesOf(store), bytesOf(siteFile), bytesOf(urlList) }), before)
            << qPrintable(c.arguments.join(u' '));
    }
    // No scan started for any of them.
    EXPECT_EQ(counted.load(), scansBefore);
}

TEST_F(HeadlessOwnFilesTest, AFolderNamedByASettingsFileGetsNothingAndTheSiteKeepsItsOtherValues)
{
    const QString named = folder.filePath(QStringLiteral("named-by-the-file"));
    ASSERT_TRUE(QDir().mkpath(named));
    const QString siteFile = writeSettings(QStringLiteral("archiving.lcsettings"),
        QVariantMap { { "id", "20260301-100000-1" }, { "name", "archiving" }, { crawlKey::startingUrl, url("/counted.html") },
            { crawlKey::shouldArchive, true }, { crawlKey::archiveSaveLocation, named },
            { crawlKey::sessidParam, "PHPSESSID" } });
    ASSERT_EQ(run({ siteFile }), kExitFinished) << qPrintable(err.text());
    EXPECT_TRUE(QDir(named).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
    EXPECT_EQ(summaryValue(out.text(), QStringLiteral("Archive")), "not exported (no archiveSaveLocation set)");

    crawlmere::settings::ConfigManager sites(crawlmere::platform::UserDefaults::standard());
    sites.applicationHasFinishedLaunching();
    const auto stored = sites.settingsForID(QStringLiteral("20260301-100000-1"));
    ASSERT_TRUE(stored.has_value());
    EXPECT_FALSE(stored->contains(crawlKey::archiveSaveLocation));
    EXPECT_EQ(stored->value(crawlKey::shouldArchive).toBool(), true);
    EXPECT_EQ(stored->value(crawlKey::sessidParam).toString(), "PHPSESSID");
}

namespace {

/// A site of many small pages, so that exporting its archive takes a while.
class ManyPagesTest : public HeadlessScanTest {
protected:
    static constexpr int kPages = 1000;
    void serveSite(httplib::Server& site) override
    {
        site.Get("/", [](const httplib::Request&, httplib::Response& response) {
            std::string body = "<html><head><title>many</title></head><body>";
            for (int i = 1; i <= kPages; ++i)
                body += "<a href=\"/p/" + std::to_string(i) + ".html\">" + std::to_string(i) + "</a>\n";
            response.set_content(body + "</body></html>", "text/html");
        });
        site.Get(R"(/p/(\d+)\.html)", [](const httplib::Request& request, httplib::Response& response) {
            response.set_content("<html><head><title>p" + std::string(request.matches[1])
                    + "</title></head><body><a href=\"/\">home</a></body></html>",
                "text/html");
        });
    }
};

} // namespace

TEST_F(ManyPagesTest, OneCtrlCDuringTheArchiveExportCancelsItAndTheFinishedScansExportsAreStillWritten)
{
    const QString exports = folder.filePath(QStringLiteral("exports"));
    ASSERT_TRUE(QDir().mkpath(exports));
    const QString sitemap = folder.filePath(QStringLiteral("many.xml"));
    const QString siteFile = folder.filePath(QStringLiteral("many.lcsettings"));
    ASSERT_TRUE(PropertyList::writeXmlFile(siteFile,
        QVariantMap { { "id", "20260301-130000-1" }, { "name", "A new website" }, { crawlKey::startingUrl, url("/") } })
                    .ok());
    // A Ctrl-C that came too late (after the program) must not end this test's process.
    struct sigaction ignored { };
    ignored.sa_handler = [](int) { };
    struct sigaction previous { };
    ASSERT_EQ(::sigaction(SIGINT, &ignored, &previous), 0);
    // Ctrl-C once the export has written its first file.
    std::atomic<bool> done { false };
    std::thread presser([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (!done && std::chrono::steady_clock::now() < deadline) {
            QDirIterator files(exports, QDir::Files, QDirIterator::Subdirectories);
            if (files.hasNext()) {
                std::raise(SIGINT);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    const int status = run({ QStringLiteral("--set"), QStringLiteral("shouldArchive=YES"), QStringLiteral("--set"),
        QStringLiteral("archiveSaveLocation=") + exports, QStringLiteral("--set"), QStringLiteral("checkImages=NO"),
        QStringLiteral("--sitemap"), sitemap, siteFile });
    done = true;
    presser.join();
    ::sigaction(SIGINT, &previous, nullptr);
    EXPECT_EQ(status, kExitInterrupted) << qPrintable(err.text());
    const QString summary = out.text();
    EXPECT_TRUE(summary.startsWith(QStringLiteral("Scan finished: "))) << qPrintable(summary);
    EXPECT_EQ(summaryValue(summary, QStringLiteral("Archive")), "export cancelled") << qPrintable(summary);
    EXPECT_EQ(readCsv(csvPath()).rowCount, kPages + 1);
    QFile written(sitemap);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll().count("<loc>"), kPages + 1);
    // The settings file's site got the finish of its scan.
    crawlmere::settings::ConfigManager sites(crawlmere::platform::UserDefaults::standard());
    sites.applicationHasFinishedLaunching();
    const auto stored = sites.settingsForID(QStringLiteral("20260301-130000-1"));
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->value(QStringLiteral("name")).toString(), "many");
    EXPECT_TRUE(stored->value(QStringLiteral("status")).toString().startsWith("Last checked: "));
}
