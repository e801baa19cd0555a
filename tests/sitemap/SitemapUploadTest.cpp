// Uploading an exported sitemap to a loopback FTP server: files, folder, credentials,
// schemes and TLS, with the alert the user sees.
#include "engine/CrawlSettingKeys.h"
#include "sitemap/SitemapManager.h"

#include "platform/FtpUpload.h"
#include "platform/UserDefaults.h"
#include "sitemap/SitemapTestSupport.h"
#include "support/FileBytes.h"
#include "support/FtpTestServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using crawlmere::platform::FtpUpload;
using crawlmere::platform::FtpUploadRequest;
using crawlmere::platform::UserDefaults;
using crawlmere::sitemap::SitemapManager;
using crawlmere::test::bytesOf;
using crawlmere::test::FtpTestServer;
using crawlmere::test::sitemapPage;

namespace {

class SitemapUploadTest : public testing::Test {
protected:
    QTemporaryDir folder;
    UserDefaults defaults { folder.filePath(QStringLiteral("defaults.plist")) };
    SitemapManager manager { defaults };
    QStringList alerts;
    int busy = 0;

    void SetUp() override
    {
        crawlmere::sitemap::SitemapManagerObserver observer;
        observer.alert = [this](const QString& message, const QString& informative, ShellAlertStyle) {
            alerts << message + u'|' + informative;
        };
        observer.ftpBusy = [this](bool on) { busy += on ? 1 : -1; };
        manager.setObserver(observer);
    }
    /// The site's upload settings for `server`.
    void settings(const FtpTestServer& server, const QString& host = QStringLiteral("ftp://127.0.0.1"),
        const QString& password = QStringLiteral("secret"), bool tls = false, const QString& directory = {})
    {
        manager.setCrawlSettings({ { crawlKey::ftpserver, host }, { crawlKey::ftpport, QString::number(server.port()) },
            { crawlKey::ftpdirectory, directory }, { crawlKey::ftpusername, "user" },
            { crawlKey::ftppassword, password }, { crawlKey::ftpUsesTLS, tls },
            { crawlKey::startingUrl, "http://127.0.0.1/" } });
    }
    /// Exports `count` pages for upload and waits for the upload's alert.
    QString exportAndUpload(qsizetype count = 2)
    {
        CrwlUrlList pages;
        for (qsizetype i = 0; i < count; ++i)
            pages.push_back(sitemapPage(QStringLiteral("http://127.0.0.1/p%1").arg(i)));
        manager.setCollection(pages);
        manager.exportXMLSitemapAndFTP(QStringLiteral("sitemap.xml"));
        return waitForAlert();
    }
    QString waitForAlert()
    {
        const QDeadlineTimer deadline(60000);
        while (alerts.isEmpty() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        EXPECT_EQ(busy, 0);
        return alerts.isEmpty() ? QStringLiteral("(no alert)") : alerts.takeFirst();
    }
};

TEST_F(SitemapUploadTest, SplitExportArrivesByteForByteAndADeletedFileIsSkipped)
{
    FtpTestServer server;
    ASSERT_NE(server.port(), 0);
    settings(server);
    EXPECT_EQ(exportAndUpload(50001), "ftp successful|ftp of {sitemap.xml,sitemap-1.xml,sitemap-2.xml} sucessful\n");
    const QDir sent = QFileInfo(manager.sitemapLocation()).dir();
    for (const char* name : { "sitemap.xml", "sitemap-1.xml", "sitemap-2.xml" })
        EXPECT_EQ(bytesOf(QDir(server.root()).filePath(name)), bytesOf(sent.filePath(name))) << name;

    FtpTestServer second;
    settings(second, QStringLiteral("127.0.0.1"), QStringLiteral("secret"), false, QStringLiteral("/dir/"));
    QDir(second.root()).mkdir(QStringLiteral("dir"));
    ASSERT_TRUE(QFile::remove(sent.filePath(QStringLiteral("sitemap-1.xml"))));
    manager.transferFiles();
    EXPECT_EQ(waitForAlert(), "ftp successful|ftp of {sitemap.xml,sitemap-2.xml} sucessful\n");
    EXPECT_EQ(QDir(second.root() + QStringLiteral("/dir")).entryList(QDir::Files),
        QStringList({ "sitemap-2.xml", "sitemap.xml" }));
}

TEST_F(SitemapUploadTest, FailuresShowTheUnsuccessfulAlertWithCurlsCode)
{
    FtpTestServer server;
    ASSERT_NE(server.port(), 0);
    // No export yet: nothing is read from the working directory.
    settings(server);
    manager.transferFiles();
    EXPECT_EQ(waitForAlert(), "ftp unsuccessful|ftp error: exit code: 26\n");

    // Refused login, a scheme other than FTP, TLS required by a plain server.
    const struct {
        QString host;
        QString password;
        bool tls;
        int code;
    } cases[] = {
        { "ftp://127.0.0.1", "wrong", false, 67 },
        { "http://127.0.0.1", "secret", false, 1 },
        { "127.0.0.1", "secret", true, 64 },
    };
    for (const auto& c : cases) {
        settings(server, c.host, c.password, c.tls);
        EXPECT_EQ(exportAndUpload(), QStringLiteral("ftp unsuccessful|ftp error: exit code: %1\n").arg(c.code))
            << c.host.toStdString();
    }
    // The TLS attempt stopped before the password; only the refused login sent one.
    EXPECT_EQ(server.commandLog().count(QStringLiteral("PASS")), 1);
    EXPECT_TRUE(QDir(server.root()).isEmpty());

    // An empty server stops before anything starts.
    manager.setCrawlSettings({});
    manager.transferFiles();
    EXPECT_FALSE(manager.ftpInProgress());
    EXPECT_EQ(busy, 0);
}

TEST_F(SitemapUploadTest, TlsServerTakesTheUploadOnlyWithPeerChecksSkipped)
{
    FtpTestServer server(FtpTestServer::Security::Tls);
    ASSERT_NE(server.port(), 0);
    settings(server, QStringLiteral("127.0.0.1"), QStringLiteral("secret"), /*tls=*/true);
    // The certificate is self-signed: refused before the password goes out.
    EXPECT_EQ(exportAndUpload(), "ftp unsuccessful|ftp error: exit code: 60\n");
    EXPECT_EQ(server.commandLog().count(QStringLiteral("PASS")), 0);

    defaults.setObject(QStringLiteral("-k"), QStringLiteral("TLSArg"));
    EXPECT_EQ(exportAndUpload(), "ftp successful|ftp of sitemap.xml sucessful\n");
    EXPECT_EQ(bytesOf(QDir(server.root()).filePath(QStringLiteral("sitemap.xml"))), bytesOf(manager.sitemapLocation()));
}

TEST(FtpUploadUrl, PortAndTrimmedDirectory)
{
    FtpUploadRequest request;
    request.server = QStringLiteral("ftp://127.0.0.1");
    request.port = QStringLiteral("2121");
    request.directory = QStringLiteral("/dir/");
    EXPECT_EQ(FtpUpload::destinationUrl(request), "ftp://127.0.0.1:2121/dir/");
    request.port.clear();
    request.directory = QStringLiteral("/");
    EXPECT_EQ(FtpUpload::destinationUrl(request), "ftp://127.0.0.1/");
}

} // namespace
