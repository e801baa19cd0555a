// The archive export's sheet and folder panel over a real controller: the sheet follows the
// controller and its Cancel reaches it; the panel shows the question and gives the answer.
#include "views/ArchiveFolderPanel.h"
#include "views/ArchiveProgressSheet.h"

#include "engine/EngineDefaults.h"
#include "platform/UserDefaults.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using crawlmere::archive::ArchiveExportController;
using crawlmere::archive::ArchiveExportSheet;
using crawlmere::archive::ArchiveFolderQuestion;
using crawlmere::views::ArchiveFolderPanel;
using crawlmere::views::ArchiveProgressSheet;

namespace {

TEST(ArchiveExportWidgets, TheSheetShowsTheControllersProgressAndCancelClosesIt)
{
    crawlmere::platform::UserDefaults defaults(QTemporaryDir().filePath("defaults.plist"));
    crawlmere::engine::registerEngineDefaults(defaults);
    ArchiveExportController controller(defaults, nullptr);
    QWidget window;
    window.show();
    ArchiveProgressSheet sheet(controller, &window);
    EXPECT_EQ(sheet.objectName(), "exportSiteProgress_panel");
    EXPECT_TRUE(sheet.findChild<QLabel*>("exportSiteProgress_infoLabel"));
    EXPECT_TRUE(sheet.findChild<QProgressBar*>("exportSiteProgress_progBar"));

    controller.sheetChanged(ArchiveExportSheet { true, "Processing files", 40, 10 });
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_EQ(sheet.windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet.infoLabel()->text(), "Processing files");
    EXPECT_EQ(sheet.progressBar()->maximum(), 40);
    EXPECT_EQ(sheet.progressBar()->value(), 10);

    controller.sheetChanged(ArchiveExportSheet {});
    EXPECT_FALSE(sheet.isVisible());

    // A real export opens the sheet; its Cancel button reaches the controller, which closes it.
    QTemporaryDir folder;
    crawlmere::archive::ArchiveExportRequest request;
    request.archiveLocation = folder.filePath("archive");
    request.savePath = folder.filePath("save");
    ASSERT_TRUE(controller.start(request));
    EXPECT_TRUE(sheet.isVisible());
    sheet.cancelButton()->click();
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_FALSE(controller.sheet().visible);
    EXPECT_TRUE(controller.waitForExport(std::chrono::seconds(30)));
}

TEST(ArchiveExportWidgets, TheFolderPanelAsksAndAnswers)
{
    ArchiveFolderQuestion question;
    question.process = false;
    ArchiveFolderPanel panel(question);
    EXPECT_EQ(panel.windowTitle(), "Archive pages");
    EXPECT_TRUE(panel.findChild<QWidget*>("archiveAccessoryView"));
    EXPECT_TRUE(panel.preserveButton()->isChecked());
    EXPECT_FALSE(panel.dontAskAgainBox()->isChecked());
    EXPECT_EQ(panel.dontAskAgainBox()->objectName(), "dontDisplayArchiveDialogButton");
    const auto buttons = panel.findChildren<QPushButton*>();
    EXPECT_TRUE(std::any_of(buttons.cbegin(), buttons.cend(), [](QPushButton* b) { return b->text() == "Export Archive"; }));

    EXPECT_EQ(panel.answer(), std::nullopt);
    panel.folderField()->setText("/tmp/exports");
    panel.processButton()->setChecked(true);
    panel.dontAskAgainBox()->setChecked(true);
    const auto answer = panel.answer();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->folder, "/tmp/exports");
    EXPECT_TRUE(answer->process);
    EXPECT_TRUE(answer->dontAskAgain);

    // Asked again, it opens at the folder chosen last.
    question.folder = QStringLiteral("/tmp/exports");
    EXPECT_EQ(ArchiveFolderPanel(question).folderField()->text(), "/tmp/exports");
}

} // namespace
