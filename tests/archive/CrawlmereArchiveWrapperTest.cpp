// The archive reader over index files written here: date lookups, trailing-slash retries, file
// names that leave the folder, a corrupt index, text decoding and resource maps.
#include "archive/CrawlmereArchiveWrapper.h"

#include "platform/PropertyList.h"
#include "support/LoopbackServer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <atomic>

using crawlmere::archive::CrawlmereArchiveWrapper;
using crawlmere::platform::PropertyList;

namespace {

const QDateTime kDay1 = QDateTime(QDate(2026, 1, 1), QTime(10, 0), Qt::UTC);
const QDateTime kDay2 = kDay1.addDays(1);

QVariantMap version(const char* file, const QDateTime& date, qint64 type, qint64 status = 200)
{
    return { { "filename", QString::fromUtf8(file) }, { "date", date }, { "type", type }, { "status", status } };
}

class CrawlmereArchiveWrapperTest : public ::testing::Test {
protected:
    void write(const QString& name, const QByteArray& bytes) const
    {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    std::unique_ptr<CrawlmereArchiveWrapper> open(const QVariantMap& index)
    {
        EXPECT_TRUE(PropertyList::writeXmlFile(dir.filePath("index.plist"), index).ok());
        return CrawlmereArchiveWrapper::initWithArchiveLocation(dir.path(), QStringLiteral("site-1"));
    }
    QTemporaryDir dir;
};

TEST_F(CrawlmereArchiveWrapperTest, VersionsByDateTypeAndPreviousVersion)
{
    write("a1", "first");
    write("a2", "second");
    auto archive = open({ { "http://h.test/a", QVariantList { version("a1", kDay1, 1), version("a2", kDay2, 2, 404) } } });
    ASSERT_TRUE(archive);
    EXPECT_EQ(archive->idOfCurrentSite(), "site-1");
    EXPECT_EQ(archive->numberOfVersionsForURL("http://h.test/a"), 2);
    EXPECT_EQ(archive->typeForURL("http://h.test/a"), 1); // the oldest version's
    EXPECT_EQ(archive->statusOfMostRecentVersionForURL("http://h.test/a"), 404);
    EXPECT_EQ(archive->filenameRepresentationOfMostRecentVersionForUrl("http://h.test/a", kDay1.addSecs(-1)), QString());
    EXPECT_EQ(archive->filenameRepresentationOfMostRecentVersionForUrl("http://h.test/a", kDay1), "a1");
    EXPECT_EQ(archive->filenameRepresentationOfMostRecentVersionForUrl("http://h.test/a", kDay2), "a2");
    EXPECT_EQ(archive->stringRepresentationOfMostRecentVersionForURL("http://h.test/a"), "second");
    EXPECT_EQ(archive->stringRepresentationOfPreviousVersionOfVersionWithFilename("a2", "http://h.test/a"), "first");
    EXPECT_EQ(archive->dataRepresentationOfPreviousVersionOfVersionWithFilename("a1", "http://h.test/a"), std::nullopt);
    EXPECT_EQ(archive->URLForVersionWithFilename("a2"), "http://h.test/a");
    EXPECT_EQ(archive->dateOfNthVersion(1, "http://h.test/a"), kDay2);
    EXPECT_EQ(archive->dateOfNthVersion(2, "http://h.test/a"), std::nullopt);
    EXPECT_EQ(archive->dateOfNthVersion(-1, "http://h.test/a"), std::nullopt);
    EXPECT_EQ(archive->typeForURL("http://h.test/none"), 0);
}

TEST_F(CrawlmereArchiveWrapperTest, TrailingSlashIsToggledUnlessTheLastComponentHoldsADot)
{
    auto archive = open({ { "http://h.test/dir/", QVariantList { version("d", kDay1, 1) } },
        { "http://h.test/page", QVariantList { version("p", kDay1, 1) } },
        { "http://h.test/x.html/", QVariantList { version("x", kDay1, 1) } } });
    EXPECT_EQ(archive->filenameRepresentationOfMostRecentVersionForUrl("http://h.test/dir", kDay2), "d");
    EXPECT_EQ(archive->filenameRepresentationOfMostRecentVersionForUrl("http://h.test/page/", kDay2), "p");
    EXPECT_EQ(archive->filenameRepresentationOfMostRecentVersionForUrl("http://h.test/x.html", kDay2), QString());
    EXPECT_EQ(archive->filenameRepresentationOfMostRecentVersionForUrl("", kDay2), QString());
}

TEST_F(CrawlmereArchiveWrapperTest, FileNamesThatLeaveTheFolderReadAsMissing)
{
    QTemporaryDir outside;
    QFile secret(outside.filePath("secret"));
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
    secret.write("secret");
    secret.close();
    const QString climbing = QStringLiteral("../") + QFileInfo(outside.path()).fileName() + QStringLiteral("/secret");
    auto archive = open({ { "http://h.test/a", QVariantList { version("..", kDay1, 1) } },
        { "http://h.test/b", QVariantList { QVariantMap { { "filename", climbing }, { "date", kDay1 } } } },
        { "http://h.test/c", QVariantList { version(".", kDay1, 1) } },
        { "http://h.test/d", QVariantList { QVariantMap { { "date", kDay1 } } } } });
    for (const char* url : { "http://h.test/a", "http://h.test/b", "http://h.test/c", "http://h.test/d" }) {
        EXPECT_EQ(archive->dataRepresentationOfMostRecentVersionForURL(url), std::nullopt) << url;
        EXPECT_EQ(archive->stringRepresentationOfMostRecentVersionForURL(url), std::nullopt) << url;
    }
    EXPECT_EQ(archive->dataRepresentationOfVersionWithFilename(climbing, {}), std::nullopt);
    EXPECT_EQ(archive->dataRepresentationOfVersionWithFilename("/etc/passwd", {}), std::nullopt);
}

TEST_F(CrawlmereArchiveWrapperTest, ACorruptIndexEmptiesEveryLookup)
{
    write("a1", "first");
    for (const QByteArray& index : { QByteArray("<?xml version=\"1.0\"?><plist><dict><key>x"),
             QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>x</string></array></plist>") }) {
        write("index.plist", index);
        auto archive = CrawlmereArchiveWrapper::initWithArchiveLocation(dir.path(), QString());
        ASSERT_TRUE(archive);
        EXPECT_TRUE(archive->allURLs().isEmpty());
        EXPECT_EQ(archive->idOfCurrentSite(), QString());
        EXPECT_EQ(archive->URLForVersionWithFilename("a1"), QString());
    }
    QFile blocker(dir.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_EQ(CrawlmereArchiveWrapper::initWithArchiveLocation(dir.filePath("file/sub"), QString()), nullptr);
}

TEST_F(CrawlmereArchiveWrapperTest, StyleSheetArgumentsAndTextDecoding)
{
    using W = CrawlmereArchiveWrapper;
    const QString sheet = QStringLiteral("a{background:URL( 'img/a.png' )} b{x:url(b.png");
    const auto [start, length] = W::firstURLOccurrenceInStyleSheetSource(sheet, 0);
    EXPECT_EQ(sheet.mid(start, length), " 'img/a.png' ");
    EXPECT_EQ(W::firstURLOccurrenceInStyleSheetSource(sheet, start + 5).first, -1); // no ")"
    EXPECT_EQ(W::firstURLOccurrenceInStyleSheetSource(QStringLiteral("a url("), 0).first, -1);
    EXPECT_EQ(W::dataToString(QByteArray("caf\xe9")), QStringLiteral("caf\u00e9")); // ISO Latin 1
    EXPECT_EQ(W::dataToString(QByteArray("caf\xc3\xa9")), QStringLiteral("caf\u00e9"));
}

TEST_F(CrawlmereArchiveWrapperTest, ResourceMapOfAPageTakesItsSheetsImagesAndResources)
{
    write("page", "<html><head><link rel=stylesheet href=\"/s.css\"></head><body><a href=\"other\">o</a>"
                  "<img src=\"logo.png\"></body></html>");
    write("sheet.css", "body{background:url(\"/bg.png\")} p{background:url(missing.png)}");
    auto archive = open({ { "http://h.test/page", QVariantList { version("page", kDay1, 1) } },
        { "http://h.test/s.css", QVariantList { version("sheet.css", kDay1, 2) } },
        { "http://h.test/bg.png", QVariantList { version("bg", kDay1.addSecs(200), 2) } },
        { "http://h.test/logo.png", QVariantList { version("logo", kDay1, 2) } },
        { "http://h.test/other", QVariantList { version("other", kDay1, 1) } } });
    const QVariantMap map = archive->indexOfFilesForVersion(version("page", kDay1, 1), "http://h.test/page");
    EXPECT_EQ(map.keys(),
        QStringList({ "http://h.test/bg.png", "http://h.test/logo.png", "http://h.test/page", "http://h.test/s.css" }));
}

TEST_F(CrawlmereArchiveWrapperTest, WriterAppendsVersionsAndSavesTheIndex)
{
    auto archive = open({});
    archive->addNewVersionForURL("http://h.test/s.css?v=2", QByteArray("body{}"), 0);
    archive->addNewVersionForURL("http://h.test/s.css?v=2", std::nullopt, 4);
    ASSERT_EQ(archive->numberOfVersionsForURL("http://h.test/s.css?v=2"), 2);
    const QString name = archive->filenameRepresentationOfMostRecentVersionForUrl("http://h.test/s.css?v=2");
    EXPECT_TRUE(name.startsWith("s") && name.endsWith(".css")) << name.toStdString();
    EXPECT_EQ(archive->dataRepresentationOfMostRecentVersionForURL("http://h.test/s.css?v=2"), "body{}");
    ASSERT_TRUE(archive->writeChangesToIndexIfNecessary());

    QTemporaryDir copyDir;
    auto copy = CrawlmereArchiveWrapper::initWithArchiveLocation(copyDir.path(), QString());
    copy->addNewVersionForURL("http://h.test/s.css?v=2", *archive, 4, QVariantList { QStringLiteral("changed") });
    EXPECT_EQ(copy->dataRepresentationOfMostRecentVersionForURL("http://h.test/s.css?v=2"), "body{}");
    EXPECT_EQ(copy->typeForURL("http://h.test/s.css?v=2"), 1);
    ASSERT_TRUE(copy->writeChangesToIndexIfNecessary());
    auto reopened = CrawlmereArchiveWrapper::initWithArchiveLocation(copyDir.path(), QString());
    EXPECT_EQ(reopened->allURLs(), QStringList { "http://h.test/s.css?v=2" });
    EXPECT_EQ(reopened->deleteArchive(), std::nullopt);
    EXPECT_FALSE(QDir(copyDir.path()).exists());
}

} // namespace

namespace {

TEST_F(CrawlmereArchiveWrapperTest, StyleSheetResourcesAreFetchedAndTheSheetRewritten)
{
    crawlmere::test::LoopbackServer server;
    std::atomic<int> revision { 1 };
    server.server().Get("/img/a.png", [&](const httplib::Request&, httplib::Response& response) {
        response.set_content("png revision " + std::to_string(revision.load()), "image/png");
    });
    ASSERT_TRUE(server.start());
    auto archive = open({});
    const QString sheet = server.url("/css/s.css");
    archive->addNewVersionForURL(sheet, QByteArray("a{background:url( '../img/a.png' )} b{x:url(/none.png)}"), 0);
    archive->processCSSFileWithURL(sheet);
    const QString image = server.url("/img/a.png");
    ASSERT_EQ(archive->numberOfVersionsForURL(image), 1);
    EXPECT_EQ(archive->indexDictionaryRepresentationOfNthVersion(0, image)->value("reason").toLongLong(), 0);
    const QString imageFile = archive->filenameRepresentationOfMostRecentVersionForUrl(image);
    const QString rewritten = QString::fromUtf8(
        archive->dataRepresentationOfVersionWithFilename("R" + archive->filenameRepresentationOfMostRecentVersionForUrl(sheet), {})
            .value_or("(missing)"));
    EXPECT_EQ(rewritten, "a{background:url('" + imageFile + "')} b{x:url(/none.png)}");

    archive->processCSSFileWithURL(sheet); // same bytes: no new version
    EXPECT_EQ(archive->numberOfVersionsForURL(image), 1);
    revision = 2;
    archive->processCSSFileWithURL(sheet);
    ASSERT_EQ(archive->numberOfVersionsForURL(image), 2);
    EXPECT_EQ(archive->indexDictionaryRepresentationOfNthVersion(1, image)->value("reason").toLongLong(), 4);
    EXPECT_EQ(archive->dataRepresentationOfMostRecentVersionForURL(image), "png revision 2");
}

} // namespace
