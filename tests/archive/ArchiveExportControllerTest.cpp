// The window's logic of an archive export: exporting at once or asking, the answer to the folder
// panel, the sheet of a background export, and cancelling it.
#include "archive/ArchiveExportController.h"
#include "engine/CrawlSettingKeys.h"

#include "archive/ArchiveWriter.h"
#include "engine/CrwlUrl.h"
#include "engine/EngineDefaults.h"
#include "engine/Z12Ara.h"
#include "platform/Dispatch.h"
#include "platform/UserDefaults.h"
#include "support/RecordingShellServices.h"

#include <QDir>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <memory>

using crawlmere::archive::ArchiveExport;
using crawlmere::archive::ArchiveExportController;
using crawlmere::archive::ArchiveExportSheet;
using crawlmere::archive::ArchiveWriter;
using crawlmere::platform::UserDefaults;
using Step = ArchiveExportController::Step;

namespace {

class ArchiveExportControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        crawlmere::engine::registerEngineDefaults(defaults);
        writer = std::make_shared<ArchiveWriter>(defaults, dir.filePath("archive"));
        hub = std::make_shared<Z12Ara>(defaults);
        hub->setArchiveSink(writer);
        settings = std::make_shared<CrawlSettings>(CrwlUrl::defaultCrawlSettings());
        settings->insert(crawlKey::startingUrl, "http://h.test/");
        hub->setCrawlSettings(settings);
    }
    void TearDown() override { hub->setArchiveSink(nullptr); }
    void archiveResources(int count)
    {
        for (int i = 0; i < count; ++i) {
            auto record = CrwlUrl::make(nullptr, settings);
            record->setLinkURL(QStringLiteral("http://h.test/r%1.png").arg(i));
            record->setIsHTML(false);
            record->setData("bytes");
            writer->archivePage(*record);
        }
        ASSERT_TRUE(writer->saveArchive());
    }

    QTemporaryDir dir;
    UserDefaults defaults { QTemporaryDir().filePath("defaults.plist") };
    std::shared_ptr<ArchiveWriter> writer;
    std::shared_ptr<Z12Ara> hub;
    std::shared_ptr<CrawlSettings> settings;
    std::shared_ptr<RecordingSiteStore> store = std::make_shared<RecordingSiteStore>();
    ArchiveExportController controller { defaults, ArchiveExportController::siteStoreWriter(store) };
};

TEST_F(ArchiveExportControllerTest, ASiteWithAFolderExportsAtOnceOthersAskAndTheAnswerIsKept)
{
    defaults.setArgumentValue("exportEntireSite_Process", false);
    settings->insert(crawlKey::archiveSaveLocation, dir.filePath("out"));
    auto decision = controller.saveArchive(*hub);
    EXPECT_EQ(decision.step, Step::Export);
    EXPECT_EQ(decision.request.savePath, dir.filePath("out"));
    EXPECT_FALSE(decision.request.process);
    EXPECT_EQ(decision.request.archiveLocation, dir.filePath("archive"));
    defaults.setArgumentValue("exportEntireSite_Process", QVariant());

    settings->insert(crawlKey::archiveSaveLocation, "");
    decision = controller.saveArchive(*hub);
    ASSERT_EQ(decision.step, Step::AskForFolder);
    EXPECT_EQ(decision.scannedSiteId, hub->getDataBelongsToID());
    decision.scannedSiteId = "site-7"; // as a scan of that site leaves it
    EXPECT_EQ(decision.question.title, "Archive pages");
    EXPECT_EQ(decision.question.prompt, "Export Archive");
    EXPECT_EQ(decision.question.message, "Choose a location for the archive");
    EXPECT_TRUE(decision.question.process); // registered YES
    EXPECT_FALSE(decision.question.dontAskAgain);

    EXPECT_EQ(controller.folderChosen(decision, QString(), true, true), std::nullopt);
    EXPECT_TRUE(store->archiveSaveLocations.isEmpty());
    const auto preserve = controller.folderChosen(decision, dir.filePath("chosen"), /*process=*/false, /*dontAskAgain=*/false);
    ASSERT_TRUE(preserve);
    EXPECT_FALSE(preserve->process);
    EXPECT_FALSE(defaults.boolForKey("exportEntireSite_Process"));
    EXPECT_TRUE(defaults.boolForKey("exportEntireSite_Preserve"));
    EXPECT_TRUE(store->archiveSaveLocations.isEmpty());
    const auto process = controller.folderChosen(decision, dir.filePath("chosen"), /*process=*/true, /*dontAskAgain=*/true);
    ASSERT_TRUE(process);
    EXPECT_TRUE(process->process);
    EXPECT_EQ(process->savePath, dir.filePath("chosen"));
    ASSERT_EQ(store->archiveSaveLocations.size(), 1);
    EXPECT_EQ(store->archiveSaveLocations.front().first, "site-7"); // the scanned site
    EXPECT_EQ(store->archiveSaveLocations.front().second, dir.filePath("chosen"));
}

TEST_F(ArchiveExportControllerTest, TheRechecksOfAScanExportToItsChosenFolderAndTheNextScanAsksThere)
{
    const auto scan = [this] {
        hub->clear();
        auto record = CrwlUrl::make(hub, settings);
        record->setLinkURL(QStringLiteral("http://h.test/"));
        hub->add(record);
    };
    scan();
    auto first = controller.saveArchive(*hub);
    ASSERT_EQ(first.step, Step::AskForFolder);
    EXPECT_TRUE(first.question.folder.isEmpty());
    ASSERT_TRUE(controller.folderChosen(first, dir.filePath("chosen"), /*process=*/true, /*dontAskAgain=*/false));

    // Recheck and Recheck page finish the same scan again: its folder, without asking.
    for (int recheck = 0; recheck < 2; ++recheck) {
        const auto again = controller.saveArchive(*hub);
        EXPECT_EQ(again.step, Step::Export);
        EXPECT_EQ(again.request.savePath, dir.filePath("chosen"));
    }
    EXPECT_TRUE(store->archiveSaveLocations.isEmpty()) << "the site keeps asking in later scans";

    // A new scan asks again, at the folder chosen last.
    scan();
    const auto next = controller.saveArchive(*hub);
    ASSERT_EQ(next.step, Step::AskForFolder);
    EXPECT_EQ(next.question.folder, dir.filePath("chosen"));
}

TEST_F(ArchiveExportControllerTest, TheSheetFollowsTheBackgroundExportAndClosesAtItsEnd)
{
    archiveResources(4);
    std::vector<ArchiveExportSheet> sheets;
    std::optional<ArchiveExport::Result> result;
    controller.sheetChanged = [&](const ArchiveExportSheet& sheet) { sheets.push_back(sheet); };
    controller.finished = [&](const ArchiveExport::Result& r) { result = r; };
    ASSERT_TRUE(controller.start(ArchiveExportController::requestFor(*hub, defaults, dir.filePath("out"), false)));
    EXPECT_TRUE(controller.sheet().visible);
    EXPECT_FALSE(controller.start(ArchiveExportController::requestFor(*hub, defaults, dir.filePath("out"), false)));
    ASSERT_TRUE(controller.waitForExport(std::chrono::seconds(30)));
    crawlmere::platform::Dispatch::runUntil([&] { return result.has_value(); }, std::chrono::seconds(5));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->outcome, ArchiveExport::Outcome::Finished);
    EXPECT_EQ(result->filesWritten, 4);
    EXPECT_FALSE(controller.sheet().visible);
    const bool sawPass = std::any_of(sheets.cbegin(), sheets.cend(), [](const ArchiveExportSheet& s) {
        return s.visible && s.info == "Exporting pages and resources" && s.maximum == 4;
    });
    EXPECT_TRUE(sawPass);
}

TEST_F(ArchiveExportControllerTest, CancelClosesTheSheetAtOnceAndTheExportStopsBeforeItsNextItem)
{
    archiveResources(50);
    std::optional<ArchiveExport::Result> result;
    controller.finished = [&](const ArchiveExport::Result& r) { result = r; };
    auto request = ArchiveExportController::requestFor(*hub, defaults, dir.filePath("out"), true);
    // Every worker is held until the cancel has been given, so the export's first item comes
    // after it however busy the machine is. The holders outlive the test if they must.
    struct Gate {
        QSemaphore entered;
        QSemaphore held;
    };
    const auto gate = std::make_shared<Gate>();
    QThreadPool& workers = *QThreadPool::globalInstance();
    const int workerCount = workers.maxThreadCount();
    for (int i = 0; i < workerCount; ++i) {
        workers.start([gate] {
            gate->entered.release();
            gate->held.acquire();
        });
    }
    const bool allHeld = gate->entered.tryAcquire(workerCount, 30'000);
    const bool started = controller.start(std::move(request));
    controller.cancel();
    gate->held.release(workerCount);
    ASSERT_TRUE(allHeld) << "the workers stayed busy";
    ASSERT_TRUE(started);
    EXPECT_FALSE(controller.sheet().visible);
    ASSERT_TRUE(controller.waitForExport(std::chrono::seconds(30)));
    crawlmere::platform::Dispatch::runUntil([&] { return result.has_value(); }, std::chrono::seconds(5));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->outcome, ArchiveExport::Outcome::Cancelled);
    EXPECT_EQ(result->filesWritten, 0);
    EXPECT_FALSE(controller.sheet().visible);
}

} // namespace

TEST(ArchiveExportSummary, NamesAndReasonsWithPercentSequencesStandAsTheyAre)
{
    // Each text goes in once: "%2e" in a folder, an address or a reason is never read as a
    // placeholder of the summary.
    ArchiveExport::Result result;
    result.outputFolder = QStringLiteral("/tmp/evil5%2e%2e/h%2fx%1");
    result.filesWritten = 10;
    result.itemsSkipped = 2;
    result.skipped.append(
        { QStringLiteral("no data %2"), 2, { QStringLiteral("http://h/%2e%2e"), QStringLiteral("http://h/%1") } });
    result.filesNotWritten = 1;
    result.firstWriteFailure = QStringLiteral("/tmp/a%3b: disk full %1");
    EXPECT_EQ(ArchiveExportController::finishedText(result),
        QStringLiteral("Archive exported to /tmp/evil5%2e%2e/h%2fx%1 (10 files, 2 skipped (2 because no data %2: "
                       "http://h/%2e%2e, http://h/%1), 1 could not be written (/tmp/a%3b: disk full %1))"));
}
