// The archive export where it can go wrong: a hostile archive that tries to write outside, names
// the preferences choose, unwritable and full locations, another user's links and folders, and
// cancelling.
#include "ArchiveExportTestSupport.h"
#include "engine/CrawlSettingKeys.h"
#include "platform/Paths.h"

using namespace crawlmere::test::archiveexport;

namespace {

TEST_F(ArchiveExportTest, AHostileArchiveWritesNothingOutsideAndOverwritesNothing)
{
    auto settings = std::make_shared<CrawlSettings>(QVariantMap { { crawlKey::defaultLocalFileName, "../x" } });
    const QString longName = QString(300, u'n');
    const QStringList urls { "http://h.test/%2e%2e/%2e%2e/evil.html", "http://h.test/..%2f..%2fescape",
        "http://h.test/p?x=/../../x", "http://h.test/" + longName + ".html", "http://h.test/Twin.html",
        "http://h.test/twin.html", "http://h.test/dir/", "http://h.test/a.php?x=1", "http://h.test/a.php.x=1" };
    for (const QString& url : urls)
        archive(url, "<html><a href=\"/dir/\">d</a><img src='//h.test/i.png'></html>", true, settings);
    archive("http://h.test/x:y.html", "<html>x</html>", true, settings);
    archive("http://h.test/links.html", "<html><a href=\"/x:y.html\">x</a></html>", true, settings);
    ASSERT_TRUE(writer->saveArchive());
    QFile victim(sandbox.filePath("victim"));
    ASSERT_TRUE(victim.open(QIODevice::WriteOnly));
    victim.write("keep");
    victim.close();
    const QStringList before = filesBelow(sandbox.path());
    QStringList exports;

    for (const bool process : { true, false }) {
        auto request = requestFor(settings->snapshot(), process);
        request.defaultsLocalFileName = QStringLiteral("../x");
        const auto result = ArchiveExport(request).exportFilesForDate();
        ASSERT_EQ(result.outcome, ArchiveExport::Outcome::Finished);
        ASSERT_FALSE(result.outputFolder.isEmpty());
        EXPECT_GT(result.itemsSkipped, 0);
        exports.append(QDir(sandbox.path()).relativeFilePath(result.outputFolder) + u'/');
        QStringList outside = filesBelow(sandbox.path());
        outside.removeIf([&](const QString& file) {
            return std::any_of(exports.cbegin(), exports.cend(), [&](const QString& folder) { return file.startsWith(folder); });
        });
        EXPECT_EQ(outside, before) << process;
        const QStringList written = filesBelow(result.outputFolder);
        EXPECT_EQ(result.filesWritten, written.size());
        EXPECT_TRUE(written.contains("Twin.html") && written.contains("twin.html")) << written.join(u' ').toStdString();
        EXPECT_TRUE(written.contains("dir/index.html")) << written.join(u' ').toStdString();
        for (const QString& file : written)
            EXPECT_FALSE(file.contains("evil") || file.contains("../")) << file.toStdString();
        if (process) {
            // One of the two URLs that map to a.php.x=1.html is skipped, not written over.
            EXPECT_EQ(written.count("a.php.x=1.html"), 1);
            EXPECT_TRUE(bytesOf(QDir(result.outputFolder).filePath("Twin.html")).contains("src='https://h.test/i.png'"));
            // A name with ":" is not read as a scheme.
            EXPECT_TRUE(bytesOf(QDir(result.outputFolder).filePath("links.html")).contains("href=\"./x:y.html\""));
        }
    }
    EXPECT_EQ(bytesOf(sandbox.filePath("victim")), "keep");
}

TEST_F(ArchiveExportTest, BothModesNameAFoldersPageAsThePreferencesSay)
{
    archive("http://h.test:8080/", "<html><a href=\"/about/\">About</a> <a href=\"/\">Home</a></html>");
    archive("http://h.test:8080/about/", "<html><a href=\"../\">Home</a></html>");
    ASSERT_TRUE(writer->saveArchive());
    for (const bool process : { true, false }) {
        auto request = requestFor({ { crawlKey::defaultLocalFileName, "index.html" } }, process);
        request.defaultsLocalFileName = QStringLiteral(" start.htm\n");
        const auto result = ArchiveExport(request).exportFilesForDate();
        ASSERT_FALSE(result.outputFolder.isEmpty());
        EXPECT_EQ(filesBelow(result.outputFolder), (QStringList { "h.test_8080/about/start.htm", "h.test_8080/start.htm" }))
            << process;
        if (process) {
            const QString home = QString::fromUtf8(bytesOf(result.outputFolder + "/h.test_8080/start.htm"));
            EXPECT_EQ(home, "<html><a href=\"about/start.htm\">About</a> <a href=\"start.htm\">Home</a></html>");
        }
    }
}

TEST_F(ArchiveExportTest, AnUnwritableLocationIsReportedOnceWithItsFullPath)
{
    for (int i = 0; i < 5; ++i)
        archive(QStringLiteral("http://h.test/r%1.png").arg(i), "bytes", /*html=*/false);
    ASSERT_TRUE(writer->saveArchive());
    QFile blocker(sandbox.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    for (const bool process : { true, false }) {
        auto request = requestFor({}, process);
        request.savePath = QDir::current().relativeFilePath(sandbox.filePath("file/inside"));
        ::testing::internal::CaptureStderr();
        const auto result = ArchiveExport(request).exportFilesForDate();
        const QString log = QString::fromStdString(::testing::internal::GetCapturedStderr());
        EXPECT_EQ(log.count("problem - unable to create directory at: " + sandbox.filePath("file/inside")), 1) << log.toStdString();
        EXPECT_EQ(log.count('\n'), 1) << log.toStdString();
        EXPECT_TRUE(result.failure.contains(sandbox.filePath("file/inside"))) << result.failure.toStdString();
        EXPECT_EQ(result.filesWritten, 0);
    }
}

TEST_F(ArchiveExportTest, OnlyTheLastFolderOfTheLocationIsMadeAsForASavedFile)
{
    archive(QStringLiteral("http://h.test/r.png"), "bytes", /*html=*/false);
    ASSERT_TRUE(writer->saveArchive());
    const struct {
        const char* location;
        bool exported;
    } cases[] = {
        { "new", true }, // the folder named is made in one that is there
        { "missing/dir", false }, // a folder on the way is missing: nothing is made
        { "missing/dir/deeper", false },
    };
    for (const auto& c : cases) {
        auto request = requestFor({}, /*process=*/false);
        request.savePath = sandbox.filePath(QLatin1String(c.location));
        ::testing::internal::CaptureStderr();
        const auto result = ArchiveExport(request).exportFilesForDate();
        ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(result.filesWritten, c.exported ? 1 : 0) << c.location;
        if (c.exported) {
            EXPECT_TRUE(result.outputFolder.startsWith(request.savePath + u'/')) << result.outputFolder.toStdString();
            continue;
        }
        EXPECT_EQ(result.failure.toStdString(),
            ("cannot write " + request.savePath + ": No such file or directory").toStdString());
        EXPECT_FALSE(QFileInfo::exists(sandbox.filePath("missing"))) << c.location;
    }
}

TEST_F(ArchiveExportTest, AFileTheDiskRefusesIsToldApartFromOneSkippedByARule)
{
    // Two small files, one of 5,000 bytes, and one whose path would leave the folder.
    archive("http://h.test/a.png", "small a", /*html=*/false);
    archive("http://h.test/big.png", QByteArray(5000, 'b'), /*html=*/false);
    archive("http://h.test/c.png", "small c", /*html=*/false);
    archive("http://h.test/%2e%2e/%2e%2e/out.png", "outside", /*html=*/false);
    ASSERT_TRUE(writer->saveArchive());
    for (const bool process : { true, false }) {
        SCOPED_TRACE(process ? "process" : "preserve");
        // The disk takes no file past 1,000 bytes.
        std::optional<ArchiveExport::Result> result;
        ::testing::internal::CaptureStderr();
        ASSERT_TRUE(crawlmere::test::withFileSizeLimit(
            1000, [&] { result = ArchiveExport(requestFor({}, process)).exportFilesForDate(); }));
        const QString log = QString::fromStdString(::testing::internal::GetCapturedStderr());
        ASSERT_EQ(result->outcome, ArchiveExport::Outcome::Finished);
        EXPECT_TRUE(result->failure.isNull());
        // The export went on past the refused file.
        EXPECT_EQ(filesBelow(result->outputFolder), (QStringList { "a.png", "c.png" }));
        EXPECT_EQ(result->filesWritten, 2);
        EXPECT_EQ(result->itemsSkipped, 1);
        EXPECT_EQ(result->filesNotWritten, 1);
        const QString refused = result->outputFolder + "/big.png: File too large";
        EXPECT_EQ(result->firstWriteFailure, refused);
        EXPECT_TRUE(log.contains("unable to write data to " + refused)) << log.toStdString();
        EXPECT_EQ(crawlmere::archive::ArchiveExportController::finishedText(*result).toStdString(),
            ("Archive exported to " + result->outputFolder
                + " (2 files, 1 skipped (1 because its local path would leave the export folder: "
                  "http://h.test/../../out.png), 1 could not be written ("
                + refused + "))")
                .toStdString());
    }
}

TEST_F(ArchiveExportTest, APreservedNameTooLongIsSaidToBeTooLongAndNoExportGoesIntoTheProgramsFolders)
{
    archive("http://h.test/" + QString(300, u'n') + ".png", "long", /*html=*/false);
    archive("http://h.test/%2e%2e/out.png", "outside", /*html=*/false);
    ASSERT_TRUE(writer->saveArchive());
    const auto preserved = ArchiveExport(requestFor({}, /*process=*/false)).exportFilesForDate();
    QStringList reasons;
    for (const auto& skip : preserved.skipped)
        reasons << skip.reason;
    reasons.sort();
    EXPECT_EQ(reasons, (QStringList { "a name in its local path is longer than 255 bytes",
                           "its local path would leave the export folder" }));

    // The archive and the stores are replaced by later scans: a copy there is refused.
    auto inside = requestFor({}, /*process=*/true);
    inside.savePath = crawlmere::platform::Paths::applicationSupportFolder() + "/archive/copies";
    const auto refused = ArchiveExport(inside).exportFilesForDate();
    EXPECT_TRUE(refused.failure.contains("inside Crawlmere's own folders")) << refused.failure.toStdString();
    EXPECT_EQ(refused.filesWritten, 0);
    EXPECT_FALSE(QFileInfo::exists(inside.savePath));
}

TEST_F(ArchiveExportTest, ADotDotAfterALinkIsTakenFromTheFolderTheLinkLeadsTo)
{
    archive(QStringLiteral("http://h.test/r.png"), "bytes", /*html=*/false);
    ASSERT_TRUE(writer->saveArchive());
    ASSERT_TRUE(QDir(sandbox.path()).mkpath(QStringLiteral("deep/inner")));
    ASSERT_TRUE(QFile::link(sandbox.filePath("deep/inner"), sandbox.filePath("lnk")));
    auto request = requestFor({}, /*process=*/false);
    request.savePath = sandbox.filePath("lnk/../out");
    const auto result = ArchiveExport(request).exportFilesForDate();
    // The kernel reads "lnk/.." as the parent of the link's folder: "deep", not the sandbox.
    EXPECT_TRUE(result.outputFolder.startsWith(sandbox.filePath("deep/out/")))
        << result.outputFolder.toStdString() << " " << result.failure.toStdString();
    EXPECT_EQ(result.filesWritten, 1);
    EXPECT_EQ(filesBelow(sandbox.filePath("deep/out")).size(), 1);
    EXPECT_FALSE(QFileInfo::exists(sandbox.filePath("out")));
}

TEST_F(ArchiveExportTest, AnotherUsersLinkOrFolderNeverTakesTheExportNorDoesASwapDuringIt)
{
    using crawlmere::test::SharedFolder;
    if (const QString why = SharedFolder::whyNotRunnable(); !why.isNull())
        GTEST_SKIP() << qPrintable(why);
    const SharedFolder folder;
    ASSERT_TRUE(folder.isValid());
    ASSERT_TRUE(folder.plantLink(folder.privateFolder(), QStringLiteral("exports")));
    ASSERT_TRUE(SharedFolder::runAsOtherUser({ QStringLiteral("mkdir"), folder.shared(QStringLiteral("theirs")) }));
    for (int i = 0; i < 1000; ++i)
        archive(QStringLiteral("http://h.test/p%1.png").arg(i), "bytes", /*html=*/false);
    ASSERT_TRUE(writer->saveArchive());
    const auto exportTo = [&](const QString& savePath) {
        auto request = requestFor({}, /*process=*/false);
        request.savePath = savePath;
        return ArchiveExport(request).exportFilesForDate();
    };
    // The second user's link, and their folder, in the shared folder: refused, nothing made.
    for (const char* name : { "exports", "theirs" }) {
        const auto refused = exportTo(folder.shared(QLatin1String(name)));
        EXPECT_TRUE(refused.outputFolder.isEmpty()) << name;
        EXPECT_FALSE(refused.failure.isEmpty()) << name;
    }
    EXPECT_TRUE(QDir(folder.shared(QStringLiteral("theirs"))).isEmpty());

    // Their own folder where they may swap what root makes in it for a link to root's folder,
    // all through the export: every file lands in the folder made, moved or not.
    const QString open = folder.shared(QStringLiteral("open"));
    ASSERT_TRUE(QDir().mkdir(open));
    ASSERT_TRUE(QDir().mkdir(open + QStringLiteral("/theirs")));
    ASSERT_EQ(::chown(QFile::encodeName(open + QStringLiteral("/theirs")).constData(), SharedFolder::kOtherUser,
                  SharedFolder::kOtherUser),
        0);
    QProcess swapper;
    ASSERT_TRUE(SharedFolder::startSwapping(swapper, open + QStringLiteral("/theirs/*"), folder.privateFolder()));
    const auto result = exportTo(open + QStringLiteral("/theirs"));
    swapper.kill();
    swapper.waitForFinished();
    EXPECT_EQ(result.filesWritten, 1000);
    EXPECT_EQ(filesBelow(open).size(), 1000);
    EXPECT_TRUE(QDir(folder.privateFolder()).isEmpty()) << filesBelow(folder.privateFolder()).size();
}

TEST_F(ArchiveExportTest, CancelStopsBeforeTheNextItemAndAnEmptyArchiveMakesNoFolder)
{
    for (int i = 0; i < 10; ++i)
        archive(QStringLiteral("http://h.test/r%1.png").arg(i), "bytes", /*html=*/false);
    ASSERT_TRUE(writer->saveArchive());
    crawlmere::archive::ArchiveExportProgress progress;
    std::vector<qint64> values;
    ArchiveExport* running = nullptr;
    progress.valueChanged = [&](qint64 value) {
        values.push_back(value);
        if (value == 3)
            running->cancel();
    };
    ArchiveExport exporter(requestFor({}, /*process=*/false), progress);
    running = &exporter;
    const auto result = exporter.exportFilesForDate();
    EXPECT_EQ(result.outcome, ArchiveExport::Outcome::Cancelled);
    EXPECT_EQ(result.filesWritten, 3);
    EXPECT_EQ(values, (std::vector<qint64> { 1, 2, 3 }));

    writer->clearArchiveFolder();
    ASSERT_TRUE(writer->saveArchive());
    const auto empty = ArchiveExport(requestFor({}, /*process=*/true)).exportFilesForDate();
    EXPECT_EQ(empty.outcome, ArchiveExport::Outcome::Finished);
    EXPECT_TRUE(empty.outputFolder.isEmpty());
    EXPECT_EQ(QDir(sandbox.filePath("save")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1); // the cancelled one
}

} // namespace
