// A scan of the occurrence site (tests/fixtures/occurrence-site) compared byte for byte with
// golden files: the records' CSV, the CSV and HTML of each of the four link views, and the XML
// sitemap. However the records and link occurrences are held, what the scan shows stays the same.
#include "app/HeadlessScan.h"
#include "app/QuietHeadlessRun.h"

#include "support/Fixtures.h"
#include "support/LoopbackServer.h"
#include "support/LoopbackSite.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace crawlmere::app;

namespace {

/// The record columns whose values do not depend on the time or the machine.
const QString kRecordColumns = QStringLiteral(
    "url,linkurldecoded,actualurl,actualurldecoded,finalstringdecoded,status,redir,metadescription,titlelength,"
    "descriptionlength,filesize,linkcount,wordcount,possibleduplicates,onpagecount,changefrequency,robots,"
    "canonical,imageweight,imageqty,distance,internallinkcount,externallinkcount,numberofredirectstohere,"
    "linkpagetitle,h1,h2,onpageurl");

class HeadlessOccurrenceGolden : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        crawlmere::test::serveLoopbackSite(server.server(), QStringLiteral("occurrence-site"));
        ASSERT_TRUE(server.start());
    }

    /// One scan of the site from "/" with `exports` (one fetch at a time, so the order of
    /// discovery is fixed), answering the exit status.
    int scan(const QStringList& exports)
    {
        return crawlmere::test::runHeadlessQuietly(QStringList { QStringLiteral("--headless"), QStringLiteral("--set"),
                                                       QStringLiteral("numberOfThreads=1"), QStringLiteral("--set"),
                                                       QStringLiteral("timeout=10"), QStringLiteral("--default"),
                                                       QStringLiteral("csvQuoteEscapeOption=2") }
            + exports + QStringList { server.url() });
    }

    /// Compares the written file `name` (the server's address written as "127.0.0.1:PORT") with
    /// its golden file. With CRAWLMERE_UPDATE_GOLDEN set, the golden file is rewritten instead.
    void expectGolden(const QString& name)
    {
        QFile written(folder.filePath(name));
        ASSERT_TRUE(written.open(QIODevice::ReadOnly)) << qPrintable(name);
        const QByteArray text = written.readAll().replace(
            QStringLiteral("127.0.0.1:%1").arg(server.port()).toUtf8(), QByteArrayLiteral("127.0.0.1:PORT"));
        const QString fixture = QStringLiteral("occurrence-site/golden/") + name;
        if (qEnvironmentVariableIsSet("CRAWLMERE_UPDATE_GOLDEN")) {
            QFile golden(crawlmere::test::fixturePath(fixture));
            ASSERT_TRUE(golden.open(QIODevice::WriteOnly));
            golden.write(text);
            return;
        }
        EXPECT_EQ(text.toStdString(), crawlmere::test::readFixture(fixture).toStdString()) << qPrintable(name);
    }

    QTemporaryDir folder;
    crawlmere::test::LoopbackServer server;
};

} // namespace

TEST_F(HeadlessOccurrenceGolden, RecordsAndSitemapAreAsBefore)
{
    ASSERT_EQ(scan({ QStringLiteral("--columns"), kRecordColumns, QStringLiteral("--csv"), folder.filePath("records.csv"),
                  QStringLiteral("--sitemap"), folder.filePath("sitemap.xml") }),
        kExitFinished);
    expectGolden(QStringLiteral("records.csv"));
    expectGolden(QStringLiteral("sitemap.xml"));
}

TEST_F(HeadlessOccurrenceGolden, EachLinkViewExportsAsBefore)
{
    for (const int view : { 1, 2, 3, 4 }) {
        const QString name = QStringLiteral("view%1").arg(view);
        ASSERT_EQ(scan({ QStringLiteral("--view"), QString::number(view), QStringLiteral("--csv"),
                      folder.filePath(name + QStringLiteral(".csv")), QStringLiteral("--html"),
                      folder.filePath(name + QStringLiteral(".html")) }),
            kExitFinished)
            << view;
        expectGolden(name + QStringLiteral(".csv"));
        expectGolden(name + QStringLiteral(".html"));
    }
}

// With page titles shown, the row of a way in through a redirect names the redirect where the
// title of the page holding a link would stand (a redirect holds no page), in the flat and the
// by-status view and in both their exports.
TEST_F(HeadlessOccurrenceGolden, ARedirectRowNamesTheRedirectWherePageTitlesAreShown)
{
    for (const int view : { 3, 4 }) {
        const QString name = QStringLiteral("titles%1").arg(view);
        ASSERT_EQ(scan({ QStringLiteral("--default"), QStringLiteral("displayPageTitle=1"), QStringLiteral("--view"),
                      QString::number(view), QStringLiteral("--csv"), folder.filePath(name + QStringLiteral(".csv")),
                      QStringLiteral("--html"), folder.filePath(name + QStringLiteral(".html")) }),
            kExitFinished)
            << view;
        for (const QString& file : { name + QStringLiteral(".csv"), name + QStringLiteral(".html") }) {
            QFile written(folder.filePath(file));
            ASSERT_TRUE(written.open(QIODevice::ReadOnly)) << qPrintable(file);
            const QString text = QString::fromUtf8(written.readAll());
            // One row per line in the CSV; one per table row in the HTML.
            const QStringList rows = text.split(file.endsWith(u".csv") ? QStringLiteral("\n") : QStringLiteral("<tr"));
            const QStringList redirectRows = rows.filter(QStringLiteral("[redirect]"));
            ASSERT_EQ(redirectRows.size(), 1) << qPrintable(file);
            EXPECT_TRUE(redirectRows.front().contains(QStringLiteral("%1/old-news").arg(server.url().chopped(1))))
                << qPrintable(file) << ": " << qPrintable(redirectRows.front());
        }
    }
}
