// The sitemap upload sheet: opened by an export, OK uploading to a loopback FTP server while the
// sheet shows it is busy, the result alert after the sheet has gone; Cancel and an empty server.
#include "views/SitemapFtpSheet.h"
#include "engine/CrawlSettingKeys.h"

#include "platform/UserDefaults.h"
#include "sitemap/SitemapManager.h"
#include "sitemap/SitemapTestSupport.h"
#include "support/FtpTestServer.h"
#include "support/RecordingShellServices.h"
#include "support/WaitUntil.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using crawlmere::sitemap::SitemapManager;
using crawlmere::test::FtpTestServer;
using crawlmere::test::sitemapPage;
using crawlmere::views::FtpSheetModel;
using crawlmere::views::SitemapFtpSheet;

namespace {

class SitemapFtpSheetTest : public testing::Test {
protected:
    QTemporaryDir folder;
    crawlmere::platform::UserDefaults defaults { folder.filePath(QStringLiteral("defaults.plist")) };
    SitemapManager manager { defaults };
    std::shared_ptr<RecordingPrompts> prompts = std::make_shared<RecordingPrompts>();
    QList<QVariantMap> stored;
    SitemapFtpSheet sheet { manager, [this](const QVariantMap& values) { stored.append(values); }, prompts,
        nullptr };

    QLineEdit* edit(const QString& name) { return sheet.findChild<QLineEdit*>(name); }
    QPushButton* button(const char* name) { return sheet.findChild<QPushButton*>(QLatin1String(name)); }
    /// Runs the event loop until `done` or a minute has passed.
    static bool waitFor(const std::function<bool()>& done) { return crawlmere::test::waitUntil(done, 60000); }
};

TEST_F(SitemapFtpSheetTest, OkUploadsTheExportWhileBusyThenAlerts)
{
    FtpTestServer server;
    ASSERT_NE(server.port(), 0);
    defaults.setObject(2, QStringLiteral("sitemapOptions"));
    defaults.setObject(1, QStringLiteral("sitemapFilenameOptions"));
    manager.setCrawlSettings(
        { { crawlKey::ftpserver, "127.0.0.1" }, { crawlKey::ftpport, QString::number(server.port()) },
            { crawlKey::ftpusername, "user" }, { crawlKey::startingUrl, "http://127.0.0.1/" } });
    manager.setCollection({ sitemapPage(QStringLiteral("http://127.0.0.1/"), 200, 0) });

    // An export into the application folder opens the sheet with the site's settings.
    manager.exportXML();
    ASSERT_TRUE(waitFor([&] { return sheet.isVisible(); }));
    EXPECT_EQ(sheet.windowModality(), Qt::WindowModal);
    EXPECT_EQ(edit(crawlKey::ftpserver)->text(), "127.0.0.1");
    EXPECT_EQ(edit(crawlKey::ftpusername)->text(), "user");
    EXPECT_TRUE(edit(crawlKey::ftppassword)->text().isEmpty());

    edit(crawlKey::ftppassword)->setText(QStringLiteral("secret"));
    button("ftpOKButton")->click();
    EXPECT_EQ(sheet.model().state(), FtpSheetModel::State::Uploading);
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_FALSE(button("ftpOKButton")->isEnabled());
    EXPECT_TRUE(sheet.findChild<QProgressBar*>(QStringLiteral("ftpProgress"))->isVisibleTo(&sheet));
    sheet.reject(); // Escape while uploading: refused
    EXPECT_TRUE(sheet.isVisible());

    ASSERT_TRUE(waitFor([&] { return !prompts->alerts.isEmpty(); }));
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_EQ(sheet.result(), 1);
    EXPECT_EQ(prompts->alerts.constFirst().messageText, "ftp successful");
    EXPECT_EQ(prompts->alerts.constFirst().informativeText, "ftp of sitemap.xml sucessful\n");
    EXPECT_EQ(prompts->alerts.constFirst().style, ShellAlertStyle::informational);
    QFile sent(QDir(server.root()).filePath(QStringLiteral("sitemap.xml")));
    ASSERT_TRUE(sent.open(QIODevice::ReadOnly));
    EXPECT_TRUE(sent.readAll().contains("<loc>http://127.0.0.1/</loc>"));
    // The typed password reached the site's settings and the manager's copy.
    ASSERT_EQ(stored.size(), 1);
    EXPECT_EQ(stored.constFirst().value(crawlKey::ftppassword), "secret");
    EXPECT_EQ(manager.crawlSettings().value(crawlKey::ftppassword), "secret");
    EXPECT_EQ(manager.crawlSettings().value(crawlKey::startingUrl), "http://127.0.0.1/");
}

TEST_F(SitemapFtpSheetTest, CancelEndsWithZeroAndAnEmptyServerIsNamedWithTheSheetKept)
{
    sheet.model().beginFTPDialog();
    ASSERT_TRUE(sheet.isVisible());
    button("ftpCancelButton")->click();
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_EQ(sheet.result(), 0);
    EXPECT_TRUE(stored.isEmpty());

    // No server (blanks are none): the sheet says so and stays open; nothing is kept or sent.
    sheet.model().beginFTPDialog();
    sheet.findChild<QCheckBox*>(crawlKey::ftpUsesTLS)->setChecked(true);
    edit(crawlKey::ftpserver)->setText(QStringLiteral("  "));
    button("ftpOKButton")->click();
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_EQ(sheet.model().state(), FtpSheetModel::State::Shown);
    auto* message = sheet.findChild<QLabel*>(QStringLiteral("ftpMessage"));
    ASSERT_NE(message, nullptr);
    EXPECT_TRUE(message->isVisibleTo(&sheet));
    EXPECT_EQ(message->text(), FtpSheetModel::missingServerText());
    EXPECT_FALSE(manager.ftpInProgress());
    EXPECT_TRUE(stored.isEmpty());
    EXPECT_NE(manager.crawlSettings().value(crawlKey::ftpUsesTLS), true);
    QCoreApplication::processEvents();
    EXPECT_TRUE(prompts->alerts.isEmpty());
    // Reopened, the sheet starts without the message.
    button("ftpCancelButton")->click();
    sheet.model().beginFTPDialog();
    EXPECT_FALSE(message->isVisibleTo(&sheet));
}

} // namespace
