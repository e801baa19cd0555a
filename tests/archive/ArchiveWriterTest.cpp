// The archive writer: which records are archived, the names of their files, the index and its
// property list, and many pages archived at once.
#include "archive/ArchiveWriter.h"
#include "engine/CrawlSettingKeys.h"

#include "engine/CrwlUrl.h"
#include "engine/EngineDefaults.h"
#include "platform/Paths.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "support/FileBytes.h"
#include "support/WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <atomic>

#include <sys/stat.h>

using crawlmere::archive::ArchiveWriter;
using crawlmere::platform::PropertyList;
using crawlmere::platform::UserDefaults;

namespace {

const QDateTime kAt1504 = QDateTime(QDate(2026, 3, 9), QTime(15, 4, 5, 67));

class ArchiveWriterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        crawlmere::engine::registerEngineDefaults(defaults);
        settings = std::make_shared<CrawlSettings>();
    }
    std::unique_ptr<ArchiveWriter> makeWriter(ArchiveWriter::Clock clock = {})
    {
        return std::make_unique<ArchiveWriter>(defaults, folder(), std::move(clock));
    }
    QString folder() const { return dir.filePath(QStringLiteral("archive")); }
    std::shared_ptr<CrwlUrl> record(const QString& url, const QByteArray& data, bool start = false)
    {
        auto r = CrwlUrl::make(nullptr, settings);
        r->setLinkURL(url);
        r->setData(data);
        r->setIsStartingPoint(start);
        r->setStatus(200);
        return r;
    }
    QByteArray bytesOf(ArchiveWriter& writer, const QString& url) const
    {
        const QVariantList versions = writer.archiveIndex().value(url).toList();
        if (versions.size() != 1)
            return "(no single version)";
        return crawlmere::test::bytesOf(
            QDir(folder()).filePath(versions.first().toMap().value(QStringLiteral("filename")).toString()));
    }

    QTemporaryDir dir;
    UserDefaults defaults { QTemporaryDir().filePath(QStringLiteral("defaults.plist")) };
    std::shared_ptr<CrawlSettings> settings;
};

TEST_F(ArchiveWriterTest, NamesRunThePathTogetherWithTheTwelveHourStamp)
{
    struct Case {
        const char* url;
        const char* name;
    };
    const Case cases[] = {
        { "http://h.test/about", "about20260309030405067" },
        { "http://h.test/a/b/", "ab20260309030405067" },
        { "http://h.test/img/logo.png", "imglogo20260309030405067.png" },
        { "http://h.test/a/b.php?x=1&y=2", "ab20260309030405067.php?x=1&y=2" },
        { "http://h.test/", "h20260309030405067.test" }, // nothing past the host: the text from "h.test/"
        { "https://www.h.test/x.html", "x20260309030405067.html" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(ArchiveWriter::fileNameForURL(QString::fromUtf8(c.url), kAt1504), QString::fromUtf8(c.name)) << c.url;
    EXPECT_EQ(ArchiveWriter::archiveStamp(kAt1504.addSecs(-15 * 3600)), "20260309120405067"); // 00:04 is 12
    // Names the folder cannot take are cut; control characters go.
    const QString longName = ArchiveWriter::fileNameForURL(
        QStringLiteral("http://h.test/") + QString(300, u'é') + QStringLiteral("\x01.html"), kAt1504);
    EXPECT_LE(longName.toUtf8().size(), ArchiveWriter::kMaxFileNameBytes);
    EXPECT_TRUE(longName.endsWith(QStringLiteral("20260309030405067.html")));
    // An address of 60,000 characters of four UTF-8 bytes each: cut between whole characters.
    const QString grins = ArchiveWriter::fileNameForURL(
        QStringLiteral("http://h.test/") + QString::fromUtf8("\xF0\x9F\x98\x80").repeated(30000), kAt1504);
    EXPECT_LE(grins.toUtf8().size(), ArchiveWriter::kMaxFileNameBytes);
    EXPECT_GT(grins.toUtf8().size(), ArchiveWriter::kMaxFileNameBytes - 40);
    EXPECT_EQ(QString::fromUtf8(grins.toUtf8()), grins) << "no half character left";
}

TEST_F(ArchiveWriterTest, BodiesUnderTwoBytesAreNotArchived)
{
    auto writer = makeWriter();
    for (const QByteArray& body : { QByteArray(), QByteArray("a"), QByteArray("ab") })
        writer->archivePage(*record(QStringLiteral("http://h.test/b%1").arg(body.size()), body));
    EXPECT_EQ(writer->archiveIndex().keys(), QStringList { QStringLiteral("http://h.test/b2") });
    EXPECT_EQ(bytesOf(*writer, QStringLiteral("http://h.test/b2")), "ab");
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files).size(), 1);
}

TEST_F(ArchiveWriterTest, RuleListsOfTheSettingsFilterWhileTheDefaultIsOn)
{
    settings->insert(crawlKey::followBlacklistArray, QStringList { QStringLiteral(" private ") });
    settings->insert(crawlKey::followWhitelistArray, QStringList { QStringLiteral("/docs/") });
    const QStringList urls { QStringLiteral("http://h.test/docs/a"), QStringLiteral("http://h.test/docs/private"),
        QStringLiteral("http://h.test/blog/b") };
    for (const bool filter : { true, false }) {
        defaults.setArgumentValue(QStringLiteral("skipArchiveBasedOnBlackAndWhitelists"), filter);
        auto writer = makeWriter();
        writer->clearArchiveFolder();
        for (const QString& url : urls)
            writer->archivePage(*record(url, "<html>"));
        const QStringList expected = filter ? QStringList { urls[0] } : QStringList { urls[2], urls[0], urls[1] };
        EXPECT_EQ(writer->archiveIndex().keys(), expected) << filter;
    }
}

TEST_F(ArchiveWriterTest, SinglePageScansKeepTheStartingPageOnly)
{
    settings->insert(crawlKey::singlePage, true);
    auto writer = makeWriter();
    writer->archivePage(*record(QStringLiteral("http://h.test/"), "start", /*start=*/true));
    writer->archivePage(*record(QStringLiteral("http://h.test/other"), "other"));
    EXPECT_EQ(writer->archiveIndex().keys(), QStringList { QStringLiteral("http://h.test/") });
}

TEST_F(ArchiveWriterTest, TypesAndTheIndexFileWithANewScanEmptyingTheFolder)
{
    auto writer = makeWriter([] { return kAt1504; });
    auto sheet = record(QStringLiteral("http://h.test/site.css"), "body{}");
    sheet->setIsHTML(true); // style sheet wins over the page flag
    writer->archivePage(*sheet);
    writer->archivePage(*record(QStringLiteral("http://h.test/page"), "<html>"));
    auto other = record(QStringLiteral("http://h.test/data.bin"), "xx");
    other->setIsHTML(false);
    writer->archivePage(*other);
    ASSERT_TRUE(writer->saveArchive());

    const auto read = PropertyList::readFile(QDir(folder()).filePath(QStringLiteral("index.plist")));
    ASSERT_TRUE(read.ok());
    const QVariantMap index = read.value().toMap();
    ASSERT_EQ(index.size(), 3);
    const auto type = [&](const char* url) {
        return index.value(QString::fromUtf8(url)).toList().value(0).toMap().value(QStringLiteral("type")).toLongLong();
    };
    EXPECT_EQ(type("http://h.test/site.css"), 2);
    EXPECT_EQ(type("http://h.test/page"), 1);
    EXPECT_EQ(type("http://h.test/data.bin"), 0);
    const QVariantMap page = index.value(QStringLiteral("http://h.test/page")).toList().value(0).toMap();
    EXPECT_EQ(page.value(QStringLiteral("filename")).toString(), "page20260309030405067");
    EXPECT_EQ(page.value(QStringLiteral("status")).toLongLong(), 200);
    EXPECT_EQ(page.value(QStringLiteral("date")).toDateTime(), kAt1504.addMSecs(-67));

    writer->clearArchiveFolder();
    EXPECT_FALSE(QDir(folder()).exists());
    EXPECT_TRUE(writer->archiveIndex().isEmpty());
    ASSERT_TRUE(writer->saveArchive());
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files), QStringList { QStringLiteral("index.plist") });
}

TEST_F(ArchiveWriterTest, ClearingMovesTheFolderAsideAtOnceAndDeletesItOnItsQueue)
{
    // Left by a run that ended before deleting it: gone once a writer is made.
    const QString leftover = dir.filePath(QStringLiteral("archive.cleared-1-2-3"));
    ASSERT_TRUE(QDir().mkpath(leftover + QStringLiteral("/sub")));
    QFile stale(leftover + QStringLiteral("/sub/stale"));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.close();
    auto writer = makeWriter();
    EXPECT_TRUE(crawlmere::test::waitUntil([&] { return !QFileInfo::exists(leftover); }));

    std::vector<std::function<void()>> held;
    writer->setClearingQueue([&](std::function<void()> work) { held.push_back(std::move(work)); });
    for (int i = 0; i < 50; ++i)
        writer->archivePage(*record(QStringLiteral("http://h.test/p%1").arg(i), "<html>"));
    writer->clearArchiveFolder();
    EXPECT_FALSE(QDir(folder()).exists());
    const auto cleared = [&] { return QDir(dir.path()).entryList({ QStringLiteral("archive.cleared-*") }, QDir::Dirs); };
    ASSERT_EQ(cleared().size(), 1);
    // Nothing was deleted on the caller's thread: every file waits for the queue.
    EXPECT_EQ(QDir(dir.filePath(cleared().constFirst())).entryList(QDir::Files).size(), 50);
    ASSERT_EQ(held.size(), 1u);

    // The next scan writes into a folder of its own, untouched by the deletion.
    writer->archivePage(*record(QStringLiteral("http://h.test/new"), "new"));
    held.front()();
    EXPECT_TRUE(cleared().isEmpty());
    EXPECT_EQ(bytesOf(*writer, QStringLiteral("http://h.test/new")), "new");
}

TEST_F(ArchiveWriterTest, AFolderThatCannotBeMadeStillRecordsAndReportsTheFailedIndex)
{
    QFile blocker(folder());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    auto writer = makeWriter();
    writer->archivePage(*record(QStringLiteral("http://h.test/p"), "<html>"));
    EXPECT_EQ(writer->archiveIndex().size(), 1); // names a file that is missing
    EXPECT_FALSE(writer->saveArchive());
}

TEST_F(ArchiveWriterTest, PagesOfOneMillisecondOnManyHostsEachKeepTheirOwnBytes)
{
    auto writer = makeWriter([] { return kAt1504; });
    constexpr int kHosts = 200;
    std::vector<std::shared_ptr<CrwlUrl>> records;
    for (int i = 0; i < kHosts; ++i)
        records.push_back(
            record(QStringLiteral("http://host%1.test/same/page.html").arg(i), QStringLiteral("page of host %1").arg(i).toUtf8()));
    std::atomic<int> done { 0 };
    for (const auto& r : records)
        QThreadPool::globalInstance()->start([&, r] {
            writer->archivePage(*r);
            ++done;
        });
    QThreadPool::globalInstance()->waitForDone();
    ASSERT_EQ(done.load(), kHosts);
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files).size(), kHosts);
    const QVariantMap index = writer->archiveIndex();
    ASSERT_EQ(index.size(), kHosts);
    for (int i = 0; i < kHosts; ++i) {
        const QString url = QStringLiteral("http://host%1.test/same/page.html").arg(i);
        EXPECT_EQ(bytesOf(*writer, url), QStringLiteral("page of host %1").arg(i).toUtf8()) << url.toStdString();
    }
}

} // namespace

TEST_F(ArchiveWriterTest, TheDefaultFolderIsTheUsersAloneAsItsParentIs)
{
    const QString parent = crawlmere::platform::Paths::applicationSupportFolder();
    QDir(parent + QStringLiteral("/archive")).removeRecursively();
    const mode_t oldMask = ::umask(022);
    ArchiveWriter writer(defaults, QString());
    const QString made = writer.archiveLocation();
    ::umask(oldMask);
    ASSERT_EQ(made, parent + QStringLiteral("/archive"));
    for (const QString& folder : { parent, made }) {
        struct stat status { };
        ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &status), 0) << qPrintable(folder);
        EXPECT_EQ(status.st_mode & 07777, 0700u) << qPrintable(folder);
    }
    QDir(made).removeRecursively();
}

TEST_F(ArchiveWriterTest, ARedirectIsListedUnderThePageItLeadsToWhateverItsSpellingOrOrder)
{
    // A chain of three hops to a page archived before it, one after it to a page archived with
    // its host and scheme in other cases, one to nothing archived and one whose address is a
    // page of its own.
    auto writer = makeWriter();
    const auto redirect = [&](const QString& from, const QStringList& hops) {
        auto r = record(from, "<html>moved</html>");
        for (const QString& hop : hops)
            r->addRedir(hop, 301, 0);
        writer->archiveRedirect(*r);
    };
    writer->archivePage(*record("http://h.test/tutorial/whetting.html", "<html>whetting</html>"));
    redirect("http://h.test/tutorial/appetite.html",
        { "http://h.test/tutorial/a2.html", "http://h.test/a3", "http://h.test/tutorial/whetting.html" });
    redirect("http://h.test/old", { "HTTP://H.TEST/new/" });
    redirect("http://h.test/gone", { "http://h.test/nowhere.html" });
    redirect("http://h.test/both.html", { "http://h.test/new" });
    writer->archivePage(*record("http://h.test/new", "<html>new</html>"));
    writer->archivePage(*record("http://h.test/both.html", "<html>both</html>"));
    ASSERT_TRUE(writer->saveArchive());

    const auto saved = PropertyList::readFile(QDir(folder()).filePath(QStringLiteral("index.plist")));
    ASSERT_TRUE(saved.ok());
    const QVariantMap index = saved.value().toMap();
    EXPECT_EQ(index.keys(), (QStringList { "http://h.test/both.html", "http://h.test/new", "http://h.test/tutorial/whetting.html" }));
    const auto from = [&](const char* url) {
        return index.value(QString::fromUtf8(url)).toList().value(0).toMap().value(ArchiveWriter::kRedirectedFromKey).toStringList();
    };
    EXPECT_EQ(from("http://h.test/tutorial/whetting.html"),
        (QStringList { "http://h.test/a3", "http://h.test/tutorial/a2.html", "http://h.test/tutorial/appetite.html" }));
    EXPECT_EQ(from("http://h.test/new"), QStringList { "http://h.test/old" });
    EXPECT_EQ(from("http://h.test/both.html"), QStringList());
    EXPECT_EQ(index.value("http://h.test/new").toList().value(0).toMap().value("filename"),
        writer->archiveIndex().value("http://h.test/new").toList().value(0).toMap().value("filename"));

    // A new scan forgets them.
    writer->clearArchiveFolder();
    writer->archivePage(*record("http://h.test/new", "<html>new</html>"));
    EXPECT_FALSE(writer->archiveIndex().value("http://h.test/new").toList().value(0).toMap().contains(ArchiveWriter::kRedirectedFromKey));
}
