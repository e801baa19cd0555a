#include "app/AppDelegate.h"
#include "app/MainInterface.h"
#include "app/MainTabView.h"
#include "app/MainToolBar.h"
#include "app/MainWindow.h"
#include "app/ResultsController.h"
#include "app/SEOResults.h"
#include "app/ToolbarConfiguration.h"
#include "app/ToolbarCustomiseDialog.h"
#include "engine/CrwlUrl.h"
#include "engine/Z12Ara.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "views/CrwlByLinkDataSource.h"
#include "views/CrwlByPageDataSource.h"
#include "views/CrwlByStatusDataSource.h"
#include "views/CrwlFlatViewDataSource.h"
#include "views/InspectorWindows.h"

#include <QCoreApplication>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeView>

#include <gtest/gtest.h>

using crawlmere::platform::UserDefaults;
namespace app = crawlmere::app;
namespace views = crawlmere::views;

namespace {

class MainInterfaceTest : public ::testing::Test {
protected:
    QString storePath() const { return folder.filePath(QStringLiteral("defaults.plist")); }
    QTemporaryDir folder;
};

const QStringList kDefaultItems { QStringLiteral("FlexibleSpace"), QStringLiteral("badLinksItemIdentifier"),
    QStringLiteral("Space"), QStringLiteral("exportCSVItemIdentifier") };

} // namespace

TEST_F(MainInterfaceTest, TheWindowHasItsTabsByIdentifierAndNothingThatIsPruned)
{
    UserDefaults store(storePath());
    app::MainInterface shell(store);
    shell.launch();
    app::MainTabView* tabs = shell.window().mainTabView();
    EXPECT_EQ(tabs->objectName(), QStringLiteral("mainTabView"));
    EXPECT_EQ(tabs->identifiers(), (QStringList { "0", "1", "2", "3", "4", "5" }));
    EXPECT_EQ(tabs->selectedIdentifier(), QStringLiteral("0"));
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("Sites and settings"));

    const QList<std::pair<QString, QString>> views { { "1", "byLinkView" }, { "2", "byPageOutlineView" },
        { "3", "byStatusOutlineView" }, { "4", "flatView" } };
    for (const auto& [identifier, name] : views) {
        QWidget* page = tabs->tabViewItemWithIdentifier(identifier);
        ASSERT_NE(page, nullptr) << qPrintable(identifier);
        auto* view = page->findChild<QTreeView*>(name);
        ASSERT_NE(view, nullptr) << qPrintable(name);
        EXPECT_TRUE(view->uniformRowHeights());
    }
    for (const char* pruned : { "seoTabViewItem", "spellingTabViewItem", "warningsTabViewItem", "summaryTabViewItem",
             "searchResultsTabViewItem", "exportSEOSummaryMenu", "exportSEOMenu", "exportSpellingMenu",
             "exportWarningsMenu", "exportReportMenuItem", "scheduletoolsMenuItem", "dataManagerMenuItem",
             "toolsMenuItem", "renderStartingUrlButton" })
        EXPECT_EQ(shell.window().findChild<QObject*>(QLatin1String(pruned)), nullptr) << pruned;

    auto* pane = new QWidget;
    pane->setObjectName(QStringLiteral("sitesPane"));
    shell.window().setSitesPane(pane);
    EXPECT_EQ(tabs->tabViewItemWithIdentifier(QStringLiteral("0"))->findChild<QWidget*>("sitesPane"), pane);
    shell.terminate();
}

TEST_F(MainInterfaceTest, TheLinkViewsOpenTheInspectorsOfTheWindow)
{
    UserDefaults store(storePath());
    app::MainInterface shell(store);
    shell.launch();
    app::ResultsController& results = shell.results();
    views::InspectorWindows* opener = &results.inspectors();
    EXPECT_EQ(results.byPageDataSource().getOpener(), opener);
    EXPECT_EQ(results.byStatusDataSource().getOpener(), opener);
    EXPECT_EQ(results.flatViewDataSource().getOpener(), opener);
    EXPECT_EQ(results.seoResults().opener(), opener);
    auto record = std::make_shared<CrwlUrl>();
    record->setLinkURL(QStringLiteral("https://site.test/page"));
    results.byLinkDataSource().inspect(record);
    ASSERT_NE(opener->lastLinkInspector(), nullptr);
    EXPECT_EQ(opener->lastLinkInspector()->getLcurl(), record);
    shell.delegate().inspectPage(record);
    ASSERT_NE(opener->lastPageInspector(), nullptr);
    EXPECT_TRUE(opener->lastPageInspector()->isVisible());
    shell.terminate();
}

TEST_F(MainInterfaceTest, ARemovalAnnouncesTheNewTabOnceAndOnlyAfterTheTabIsGone)
{
    app::MainTabView tabs;
    for (const char* identifier : { "0", "1", "2" })
        tabs.addTabViewItem(new QWidget, QLatin1String(identifier), QLatin1String(identifier));
    tabs.selectTabViewItemWithIdentifier(QStringLiteral("1"));
    QStringList announced;
    QList<int> countsSeen;
    QObject::connect(&tabs, &app::MainTabView::didSelectTabViewItem, [&](const QString& identifier) {
        announced << identifier;
        countsSeen << tabs.count();
    });
    QWidget* removed = tabs.tabViewItemWithIdentifier(QStringLiteral("1"));
    ASSERT_TRUE(tabs.removeTabViewItem(removed));
    EXPECT_EQ(announced.size(), 1);
    EXPECT_EQ(countsSeen, QList<int> { 2 });
    EXPECT_EQ(announced.value(0), tabs.selectedIdentifier());
    EXPECT_EQ(tabs.identifiers(), (QStringList { "0", "2" }));
    EXPECT_EQ(removed->parent(), nullptr);
    delete removed;

    // Taking out a tab that is not selected changes nothing that was selected.
    tabs.selectTabViewItemWithIdentifier(QStringLiteral("0"));
    announced.clear();
    QWidget* other = tabs.tabViewItemWithIdentifier(QStringLiteral("2"));
    ASSERT_TRUE(tabs.removeTabViewItem(other));
    delete other;
    EXPECT_TRUE(announced.isEmpty());
    EXPECT_FALSE(tabs.removeTabViewItem(nullptr));
    EXPECT_FALSE(tabs.selectTabViewItemWithIdentifier(QStringLiteral("7")));
}

TEST_F(MainInterfaceTest, TheToolbarStartsWithItsDefaultSetAndKeepsTheUsersArrangement)
{
    EXPECT_EQ(app::AppDelegate::toolbarDefaultItemIdentifiers(QStringLiteral("CrawlmereMainToolBar")), kDefaultItems);
    EXPECT_EQ(app::AppDelegate::toolbarAllowedItemIdentifiers(QStringLiteral("CrawlmereMainToolBar")).size(), 8);
    EXPECT_TRUE(app::AppDelegate::toolbarAllowedItemIdentifiers(QStringLiteral("OtherToolBar")).isEmpty());
    EXPECT_TRUE(app::AppDelegate::toolbarDefaultItemIdentifiers(QStringLiteral("OtherToolBar")).isEmpty());
    EXPECT_FALSE(app::ToolbarConfiguration::itemForItemIdentifier(QStringLiteral("searchItemIdentifier")));
    EXPECT_FALSE(app::ToolbarConfiguration::itemForItemIdentifier(QStringLiteral("FlexibleSpace")));

    const QStringList chosen { QStringLiteral("prefsItemIdentifier"), QStringLiteral("Space"),
        QStringLiteral("Space"), QStringLiteral("expandItemIdentifier") };
    {
        UserDefaults store(storePath());
        app::MainInterface shell(store);
        shell.launch();
        app::MainToolBar* toolbar = shell.window().mainToolBar();
        EXPECT_EQ(toolbar->objectName(), QStringLiteral("CrawlmereMainToolBar"));
        EXPECT_EQ(toolbar->itemIdentifiers(), kDefaultItems);
        EXPECT_EQ(toolbar->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        QToolButton* csv = shell.window().button(QStringLiteral("csvButton"));
        ASSERT_NE(csv, nullptr);
        EXPECT_EQ(csv->text(), QStringLiteral("Export CSV..."));
        EXPECT_TRUE(csv->isVisibleTo(&shell.window()));
        EXPECT_FALSE(shell.window().button(QStringLiteral("prefsButton"))->isVisibleTo(&shell.window()));

        // Unknown items and a second copy of an item are dropped; spaces may repeat.
        shell.delegate().applyToolbarItemIdentifiers(
            chosen + QStringList { QStringLiteral("prefsItemIdentifier"), QStringLiteral("nothing") });
        EXPECT_EQ(toolbar->itemIdentifiers(), chosen);
        QCoreApplication::processEvents(); // the toolbar lays its items out
        EXPECT_TRUE(shell.window().button(QStringLiteral("prefsButton"))->isVisibleTo(&shell.window()));
        EXPECT_FALSE(csv->isVisibleTo(&shell.window()));
        shell.terminate();
    }
    UserDefaults reread(storePath());
    app::MainInterface again(reread);
    again.launch();
    EXPECT_EQ(again.window().mainToolBar()->itemIdentifiers(), chosen);
    again.terminate();
}

TEST_F(MainInterfaceTest, TheCustomiseDialogAddsRemovesAndMovesItems)
{
    app::ToolbarCustomiseDialog dialog(QStringLiteral("CrawlmereMainToolBar"), kDefaultItems);
    EXPECT_EQ(dialog.palette()->count(), 8);
    EXPECT_EQ(dialog.itemIdentifiers(), kDefaultItems);

    dialog.arrangement()->setCurrentRow(3);
    dialog.palette()->setCurrentRow(7); // prefs
    dialog.addSelected();
    dialog.addSelected(); // only once
    dialog.palette()->setCurrentRow(2); // a space, as often as asked
    dialog.addSelected();
    EXPECT_EQ(dialog.itemIdentifiers(),
        (QStringList { "FlexibleSpace", "badLinksItemIdentifier", "Space", "exportCSVItemIdentifier",
            "prefsItemIdentifier", "Space" }));

    dialog.arrangement()->setCurrentRow(1);
    dialog.removeSelected();
    dialog.arrangement()->setCurrentRow(0);
    dialog.moveSelected(1);
    dialog.moveSelected(-5); // nowhere to go
    EXPECT_EQ(dialog.itemIdentifiers(),
        (QStringList { "Space", "FlexibleSpace", "exportCSVItemIdentifier", "prefsItemIdentifier", "Space" }));
    dialog.useDefaultSet();
    EXPECT_EQ(dialog.itemIdentifiers(), kDefaultItems);
}

namespace {

/// Counts what reaches the six observers.
class CountingDelegate final : public app::AppDelegate {
public:
    using AppDelegate::AppDelegate;
    QStringList seen;

protected:
    void crawlDidFinish(const crawlmere::platform::Notification& n) override { seen << n.name; }
    void crawlDidStop(const crawlmere::platform::Notification& n) override { seen << n.name; }
    void crawlWillContinue(const crawlmere::platform::Notification& n) override { seen << n.name; }
    void CrwlUrlStatusUpdated(const crawlmere::platform::Notification& n) override { seen << n.name; }
    void saveArchive(const crawlmere::platform::Notification& n) override { seen << n.name; }
    void updateChangeFrequencies(const crawlmere::platform::Notification& n) override { seen << n.name; }
};

} // namespace

TEST_F(MainInterfaceTest, StartUpObservesTheSixNotificationsFromAnySender)
{
    UserDefaults store(storePath());
    auto& center = crawlmere::platform::NotificationCenter::defaultCenter();
    const QStringList names = app::AppDelegate::observedNotificationNames();
    ASSERT_EQ(names.size(), 6);
    {
        CountingDelegate delegate(store);
        for (const QString& name : names)
            center.post(name);
        EXPECT_TRUE(delegate.seen.isEmpty()) << "nothing is observed before start-up";
        delegate.applicationDidFinishLaunching();
        int sender = 0;
        for (const QString& name : names)
            center.post(name, std::shared_ptr<void>(&sender, [](void*) { }));
        center.post(Z12Ara::CrwlListenerShouldUpdateData);
        EXPECT_EQ(delegate.seen, names);
    }
    // A delegate that has gone observes nothing any more.
    for (const QString& name : names)
        center.post(name);
}

TEST_F(MainInterfaceTest, TheWindowFrameIsKeptInTheDefaults)
{
    {
        UserDefaults store(storePath());
        app::MainInterface shell(store);
        shell.launch();
        shell.window().setGeometry(40, 50, 900, 600);
        shell.terminate();
        EXPECT_TRUE(store.objectForKey(app::MainWindow::kFrameKey).isValid());
    }
    UserDefaults reread(storePath());
    app::MainInterface again(reread);
    again.launch();
    EXPECT_EQ(again.window().size(), QSize(900, 600));
    again.terminate();
}

TEST(LaunchMode, TheWindowOpensOnADisplayWithAnEmptyCommandLineOnly)
{
    using app::LaunchMode;
    EXPECT_EQ(app::launchModeFor({}, /*displayAvailable=*/true), LaunchMode::Window);
    EXPECT_EQ(app::launchModeFor({}, /*displayAvailable=*/false), LaunchMode::CommandLine);
    EXPECT_EQ(app::launchModeFor({ QStringLiteral("--headless") }, true), LaunchMode::CommandLine);
    EXPECT_EQ(app::launchModeFor({ QStringLiteral("https://example.com/") }, true), LaunchMode::CommandLine);
    EXPECT_EQ(app::launchModeFor({ QStringLiteral("--version") }, true), LaunchMode::CommandLine);
    // A document opens the window on a display, and only there; with an option it is a scan.
    QTemporaryDir folder;
    const QString document = folder.filePath(QStringLiteral("a site é.lcsettings"));
    QFile(document).open(QIODevice::WriteOnly);
    EXPECT_EQ(app::launchModeFor({ document }, true), LaunchMode::Window);
    EXPECT_EQ(app::launchModeFor({ document }, false), LaunchMode::CommandLine);
    EXPECT_EQ(app::launchModeFor({ QStringLiteral("--headless"), document }, true), LaunchMode::CommandLine);
    EXPECT_EQ(app::launchModeFor({ document + QStringLiteral(".missing") }, true), LaunchMode::CommandLine);
    EXPECT_EQ(app::documentsOnCommandLine({ document, QStringLiteral("file:///tmp/x.html") }),
        (QStringList { document, QStringLiteral("file:///tmp/x.html") }));
}

TEST(LaunchMode, ADisplayThatDoesNotAnswerOpensNoWindow)
{
    const QByteArray saved = qgetenv("DISPLAY");
    qputenv("DISPLAY", ":1987");
    EXPECT_TRUE(app::displayNamed());
    EXPECT_FALSE(app::displayAvailable());
    EXPECT_EQ(app::launchModeOfProgram({}), app::LaunchMode::CommandLine);
    if (saved.isNull())
        qunsetenv("DISPLAY");
    else
        qputenv("DISPLAY", saved);
}
