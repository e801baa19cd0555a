#include "app/LinkExportSheetOpener.h"

#include "app/FileDialogSavePanel.h"
#include "app/MainInterface.h"
#include "app/MainTabView.h"
#include "app/MainWindow.h"
#include "app/ResultsController.h"
#include "app/SavePanelAnswer.h"
#include "platform/Dispatch.h"
#include "platform/UserDefaults.h"
#include "settings/ConfigManager.h"
#include "support/LoopbackServer.h"
#include "support/RecordingShellServices.h"
#include "views/ColumnManagerButton.h"
#include "views/ExportColumnManager.h"
#include "views/LinkExportSheet.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace app = crawlmere::app;
using crawlmere::platform::Dispatch::runUntil;
using namespace std::chrono_literals;

using crawlmere::test::answerSavePanelWith;

namespace {

/// A home page linking to `pages` pages (each `delay` slow, linking home) and a missing page.
class Site {
public:
    Site(int pages, std::chrono::milliseconds delay)
    {
        server.server().Get("/", [pages](const httplib::Request&, httplib::Response& response) {
            std::string body = "<html><head><title>Home</title></head><body><a href=\"/gone\">gone</a>\n";
            for (int page = 1; page <= pages; ++page)
                body += "<a href=\"/p/" + std::to_string(page) + "\">page \"" + std::to_string(page) + "\"</a>\n";
            response.set_content(body + "</body></html>", "text/html");
        });
        server.server().Get(R"(/p/(\d+))", [delay](const httplib::Request& request, httplib::Response& response) {
            std::this_thread::sleep_for(delay);
            response.set_content("<html><head><title>Page " + request.matches[1].str()
                    + "</title></head><body><a href=\"/\">home</a></body></html>",
                "text/html");
        });
        started = server.start();
    }
    crawlmere::test::LoopbackServer server;
    bool started = false;
};

QByteArray contentsOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class LinkExportSheetTest : public ::testing::Test {
protected:
    void start(int pages, std::chrono::milliseconds delay)
    {
        site = std::make_unique<Site>(pages, delay);
        ASSERT_TRUE(site->started);
        shell = std::make_unique<app::MainInterface>(crawlmere::platform::UserDefaults::standard(), prompts);
        shell->launch();
        opener = shell->results().findChild<app::LinkExportSheetOpener*>();
        ASSERT_NE(opener, nullptr);
        shell->configManager()->newConfigWithURL(site->server.url(QStringLiteral("/")));
        // The by-link view refreshes live while it is shown.
        shell->window().mainTabView()->selectTabViewItemWithIdentifier(QStringLiteral("1"));
        shell->window().goButton()->click();
    }
    void TearDown() override
    {
        if (shell)
            shell->terminate();
        shell.reset();
    }
    bool scanning() const { return shell->window().goButton()->text() != QLatin1String("Go"); }
    crawlmere::views::LinkExportSheet& sheet() const { return *opener->sheet(); }
    /// Opens the sheet from the File menu and waits until it shows.
    void openSheet(const char* item)
    {
        shell->window().menuItem(QLatin1String(item))->trigger();
        ASSERT_TRUE(runUntil([&] { return sheet().isVisible(); }, 5000ms));
    }
    /// Presses OK and answers the save panel with `path`; waits for the file.
    void exportTo(const QString& path)
    {
        answerSavePanelWith(path);
        sheet().okButton()->click();
        ASSERT_TRUE(runUntil([&] { return QFile::exists(path); }, 30000ms)) << qPrintable(path);
        EXPECT_FALSE(sheet().isVisible());
    }

    std::shared_ptr<RecordingPrompts> prompts = std::make_shared<RecordingPrompts>();
    std::unique_ptr<Site> site;
    std::unique_ptr<app::MainInterface> shell;
    app::LinkExportSheetOpener* opener = nullptr;
};

TEST_F(LinkExportSheetTest, TheSheetsFilesEqualTheExportMenusAndLackAColumnHiddenInTheSheet)
{
    start(12, 0ms);
    ASSERT_TRUE(runUntil([&] { return !scanning(); }, 30000ms));
    shell->window().mainTabView()->selectTabViewItemWithIdentifier(QStringLiteral("2"));

    openSheet("exportPreviewAsCSVMenuItem");
    EXPECT_EQ(shell->window().mainTabView()->selectedIdentifier(), QStringLiteral("4"));
    EXPECT_EQ(sheet().formatSelector()->checkedId(), 2);
    EXPECT_EQ(sheet().tableSelector()->checkedId(), 4);
    EXPECT_FALSE(sheet().expandRows()->isEnabled());
    EXPECT_EQ(sheet().previewTable()->model()->rowCount(), 3);

    // Hide the first optional column in the sheet: the flat view follows.
    ExportColumnManager& columns = *opener->previewer().exportColumnManager();
    ASSERT_FALSE(columns.items().isEmpty());
    const QString hidden = columns.items().first().title;
    ASSERT_TRUE(columns.items().first().on);
    columns.sendAction(hidden);
    QTreeView* flat = shell->window().resultView(QStringLiteral("flatView"));
    auto* flatTable = dynamic_cast<TableView*>(flat);
    const auto hiddenInMain = [&] {
        for (const TableColumn& column : flatTable->tableColumns())
            if (column.title == hidden)
                return column.hidden;
        return false;
    };
    ASSERT_TRUE(runUntil(hiddenInMain, 2000ms));

    QTemporaryDir folder;
    const QString sheetCsv = folder.filePath(QStringLiteral("sheet.csv"));
    exportTo(sheetCsv);
    openSheet("exportPreviewAsHTMLMenuItem");
    EXPECT_EQ(sheet().formatSelector()->checkedId(), 0);
    const QString sheetHtml = folder.filePath(QStringLiteral("sheet.html"));
    exportTo(sheetHtml);

    const QString menuCsv = folder.filePath(QStringLiteral("menu.csv"));
    const QString menuHtml = folder.filePath(QStringLiteral("menu.html"));
    answerSavePanelWith(menuCsv);
    shell->window().menuItem(QStringLiteral("exportAsCSVMenuItem"))->trigger();
    ASSERT_TRUE(runUntil([&] { return QFile::exists(menuCsv); }, 30000ms));
    answerSavePanelWith(menuHtml);
    shell->window().menuItem(QStringLiteral("exportAsHTMLMenuItem"))->trigger();
    ASSERT_TRUE(runUntil([&] { return QFile::exists(menuHtml); }, 30000ms));

    const QByteArray csv = contentsOf(sheetCsv);
    EXPECT_EQ(csv, contentsOf(menuCsv));
    EXPECT_EQ(contentsOf(sheetHtml), contentsOf(menuHtml));
    // A header and one line per link on a page (13 on the home page, one on each other page).
    EXPECT_EQ(csv.count('\n'), 1 + 13 + 12);
    EXPECT_FALSE(csv.left(csv.indexOf('\n')).contains(hidden.toUtf8())) << csv.left(200).constData();
    EXPECT_TRUE(contentsOf(sheetHtml).contains("<table"));
    columns.sendAction(hidden);
    ASSERT_TRUE(runUntil([&] { return !hiddenInMain(); }, 2000ms));

    // By page with every row expanded: the outline as shown, children marked, as the menu writes it.
    openSheet("exportPreviewAsCSVMenuItem");
    sheet().tableSelector()->button(2)->click();
    EXPECT_FALSE(sheet().columnManagerButton()->isEnabled());
    sheet().expandRows()->click();
    const QString pagesCsv = folder.filePath(QStringLiteral("pages.csv"));
    exportTo(pagesCsv);
    const QString menuPagesCsv = folder.filePath(QStringLiteral("menu-pages.csv"));
    answerSavePanelWith(menuPagesCsv);
    shell->window().menuItem(QStringLiteral("exportAsCSVMenuItem"))->trigger();
    ASSERT_TRUE(runUntil([&] { return QFile::exists(menuPagesCsv); }, 30000ms));
    const QByteArray pages = contentsOf(pagesCsv);
    EXPECT_EQ(pages, contentsOf(menuPagesCsv));
    EXPECT_TRUE(pages.contains("\"\t")) << pages.left(300).constData();
    EXPECT_GT(pages.count('\n'), 1 + 13);
}

TEST_F(LinkExportSheetTest, TheSheetExportsTheByLinkViewWhileAScanRefreshesIt)
{
    start(100, 300ms);
    ASSERT_TRUE(runUntil([&] {
        return shell->window().resultView(QStringLiteral("byLinkView"))->model()->rowCount() > 5;
    }, 30000ms));
    ASSERT_TRUE(scanning());
    openSheet("exportPreviewAsCSVMenuItem");
    sheet().tableSelector()->button(1)->click();
    EXPECT_EQ(shell->window().mainTabView()->selectedIdentifier(), QStringLiteral("1"));
    EXPECT_TRUE(sheet().expandRows()->isEnabled());

    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("bylink.csv"));
    exportTo(path);
    EXPECT_TRUE(scanning()) << "the scan ended before the export; the test proves nothing";
    const QByteArray csv = contentsOf(path);
    EXPECT_GT(csv.count('\n'), 5);
    EXPECT_TRUE(csv.contains("/p/"));
    ASSERT_TRUE(runUntil([&] { return !scanning(); }, 60000ms));
}

} // namespace
