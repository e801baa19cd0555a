// The sitemap's File menu items in the main window after a scan: the graph window and its
// Graphviz export, the CSV export, and the upload sheet.
#include "app/SitemapReportActions.h"
#include "engine/CrawlSettingKeys.h"

#include "app/MainInterface.h"
#include "app/MainWindow.h"
#include "app/ResultsController.h"
#include "app/SavePanelAnswer.h"
#include "app/StatusLineField.h"
#include "engine/RecordingShellServices.h"
#include "platform/UserDefaults.h"
#include "settings/ConfigManager.h"
#include "support/LoopbackServer.h"
#include "support/WaitUntil.h"
#include "views/SitemapFtpSheet.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace app = crawlmere::app;
using crawlmere::test::answerSavePanelWith;
using crawlmere::test::waitUntil;

namespace {

QByteArray contentsOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(SitemapReportActions, MenuItemsExportTheScannedSitemapAndOpenTheUploadSheet)
{
    // Home links to /a and /b; /a links back home, /b on to /c.
    crawlmere::test::LoopbackServer site;
    const auto page = [](const char* body) {
        return [body](const httplib::Request&, httplib::Response& response) {
            response.set_content(
                std::string("<html><head><title>T</title></head><body>") + body + "</body></html>", "text/html");
        };
    };
    site.server().Get("/", page("<a href=\"/a\">a</a><a href=\"/b\">b</a>"));
    site.server().Get("/a", page("<a href=\"/\">home</a><a href=\"/b\">b</a>"));
    site.server().Get("/b", page("<a href=\"/c\">c</a>"));
    site.server().Get("/c", page("c"));
    ASSERT_TRUE(site.start());
    auto prompts = std::make_shared<RecordingPrompts>();
    app::MainInterface shell(crawlmere::platform::UserDefaults::standard(), prompts);
    shell.launch();
    app::MainWindow& window = shell.window();
    // Before a scan there is no sitemap to export; the upload sheet opens all the same.
    for (const char* name : { "exportSitemapAsCSVMenuItem", "exportSitemapAsHTMLMenuItem", "exportAsDotMenuItem" })
        EXPECT_FALSE(window.menuItem(QLatin1String(name))->isEnabled()) << name;
    EXPECT_TRUE(window.menuItem(QStringLiteral("beginFTPDialogMenuItem"))->isEnabled());

    shell.configManager()->newConfigWithURL(site.url(QStringLiteral("/")));
    window.goButton()->click();
    ASSERT_TRUE(waitUntil([&] { return window.goButton()->text() == QLatin1String("Go"); }));

    auto* viz = window.findChild<app::SitemapVizWindow*>(QStringLiteral("vizWindow"));
    ASSERT_NE(viz, nullptr);
    window.menuItem(QStringLiteral("exportAsDotMenuItem"))->trigger();
    EXPECT_TRUE(viz->isVisible());
    EXPECT_EQ(viz->progressField()->proportion(), 0.0f);
    QTemporaryDir folder;
    const QString dot = folder.filePath(QStringLiteral("site.dot"));
    answerSavePanelWith(dot);
    viz->findChild<QPushButton*>(QStringLiteral("exportAsDotButton"))->click();
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(dot); }));
    EXPECT_FALSE(viz->isVisible());
    EXPECT_EQ(viz->progressField()->proportion(), 1.0f);
    // Registered defaults: three levels, only links that go deeper, coloured.
    QProcess canon;
    canon.start(QStringLiteral("dot"), { QStringLiteral("-Tcanon"), dot });
    ASSERT_TRUE(canon.waitForFinished(30000));
    EXPECT_EQ(canon.exitCode(), 0) << canon.readAllStandardError().toStdString();
    const QByteArray graph = contentsOf(dot);
    EXPECT_EQ(graph.count("->"), 3) << graph.toStdString();
    EXPECT_TRUE(graph.contains("\"/b\" -> \"/c\" [color=orange];\r")) << graph.toStdString();

    const QString csv = folder.filePath(QStringLiteral("sitemap.csv"));
    answerSavePanelWith(csv);
    window.menuItem(QStringLiteral("exportSitemapAsCSVMenuItem"))->trigger();
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(csv); }));
    EXPECT_EQ(contentsOf(csv).count('\n'), 5);

    window.menuItem(QStringLiteral("beginFTPDialogMenuItem"))->trigger();
    QWidget* sheet = window.findChild<QWidget*>(QStringLiteral("ftpDialog"));
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->isVisible());
    sheet->findChild<QPushButton*>(QStringLiteral("ftpCancelButton"))->click();
    EXPECT_FALSE(sheet->isVisible());
    shell.terminate();
}

// The sheet shows the selected site's upload settings when it opens, before any scan and after
// the selection moved to another site.
TEST(SitemapReportActions, TheUploadSheetShowsTheSelectedSitesServer)
{
    auto prompts = std::make_shared<RecordingPrompts>();
    app::MainInterface shell(crawlmere::platform::UserDefaults::standard(), prompts);
    shell.launch();
    crawlmere::settings::ConfigManager& sites = *shell.configManager();
    struct Site {
        const char* url;
        QVariantMap upload;
        QString id;
    };
    Site table[] = {
        { "http://127.0.0.1:9/first/",
            { { crawlKey::ftpserver, "ftp.first.invalid" }, { crawlKey::ftpport, "2121" },
                { crawlKey::ftpusername, "first" }, { crawlKey::ftpdirectory, "www" }, { crawlKey::ftpUsesTLS, true } },
            {} },
        { "http://127.0.0.1:9/second/",
            { { crawlKey::ftpserver, "ftp.second.invalid" }, { crawlKey::ftpusername, "second" } }, {} },
        { "http://127.0.0.1:9/none/", {}, {} },
    };
    for (Site& site : table) {
        sites.newConfigWithURL(QLatin1String(site.url));
        sites.setCurrentSettingsValues(site.upload);
        site.id = sites.getIDForCurrentSite();
    }
    const auto select = [&](const QString& id) {
        for (qsizetype row = 0; row < sites.rows().size(); ++row) {
            if (sites.rows().at(row).ID == id)
                sites.tableViewSelectionDidChange(int(row));
        }
        ASSERT_EQ(sites.getIDForCurrentSite(), id);
    };
    auto* sheet = shell.window().findChild<crawlmere::views::SitemapFtpSheet*>(QStringLiteral("ftpDialog"));
    ASSERT_NE(sheet, nullptr);
    for (const int index : { 0, 1, 2, 0 }) {
        const Site& site = table[index];
        SCOPED_TRACE(site.url);
        select(site.id);
        shell.window().menuItem(QStringLiteral("beginFTPDialogMenuItem"))->trigger();
        ASSERT_TRUE(sheet->isVisible());
        const auto field = [&](const QString& key) { return sheet->findChild<QLineEdit*>(key)->text(); };
        EXPECT_EQ(field(crawlKey::ftpserver), site.upload.value(crawlKey::ftpserver).toString());
        EXPECT_EQ(field(crawlKey::ftpport), site.upload.value(crawlKey::ftpport).toString());
        EXPECT_EQ(field(crawlKey::ftpusername), site.upload.value(crawlKey::ftpusername).toString());
        EXPECT_EQ(field(crawlKey::ftpdirectory), site.upload.value(crawlKey::ftpdirectory).toString());
        EXPECT_EQ(sheet->findChild<QCheckBox*>(crawlKey::ftpUsesTLS)->isChecked(),
            site.upload.value(crawlKey::ftpUsesTLS).toBool());
        sheet->findChild<QPushButton*>(QStringLiteral("ftpCancelButton"))->click();
        EXPECT_FALSE(sheet->isVisible());
    }
    // Cancelled, the sheet wrote nothing into the site shown last.
    EXPECT_EQ(sites.getCurrentSettingsForExport().value(crawlKey::ftpserver), "ftp.first.invalid");
    shell.terminate();
}

} // namespace
