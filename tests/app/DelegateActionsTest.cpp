#include "app/DelegateActions.h"

#include "app/AppDelegate.h"
#include "app/MainInterface.h"
#include "app/MainWindow.h"
#include "app/ScanSummary.h"
#include "engine/Z12Ara.h"
#include "platform/UrlOpener.h"
#include "platform/UserDefaults.h"
#include "settings/ConfigManager.h"
#include "settings/WebRenderLoader.h"
#include "settings/WebRenderModule.h"
#include "support/LoopbackServer.h"
#include "support/RecordingUrlOpener.h"

#include <QAction>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QToolButton>

#include <gtest/gtest.h>

using crawlmere::app::DelegateActions;
using crawlmere::platform::UserDefaults;

TEST(DelegateActions, WebPageItemsFollowTheirDefaultsAndLoginWindowsOpenOnTheSite)
{
    UserDefaults& defaults = UserDefaults::standard();
    crawlmere::app::MainInterface shell(defaults);
    shell.launch();
    DelegateActions* actions = shell.delegate().actions();
    ASSERT_NE(actions, nullptr);
    EXPECT_EQ(shell.delegate().console(), nullptr) << "only the windowed program captures standard error";
    QMenuBar* bar = shell.window().menuBar();
    QAction* home = bar->findChild<QAction*>("visitHomeMenuItem");
    ASSERT_NE(home, nullptr);
    EXPECT_FALSE(home->isEnabled());
    EXPECT_FALSE(bar->findChild<QAction*>("visitSupportMenuItem")->isEnabled());
    EXPECT_EQ(bar->findChild<QAction*>("visitHelpMenuItem")->text(), "Crawlmere Max Help");
    // An address that could not be opened offers nothing either.
    defaults.setObject(QStringLiteral("support.html"), DelegateActions::kSupportPageKey);
    actions->updateMenuItems();
    EXPECT_FALSE(bar->findChild<QAction*>("visitSupportMenuItem")->isEnabled());
    EXPECT_FALSE(actions->pageAvailable(DelegateActions::kSupportPageKey));
    defaults.removeObjectForKey(DelegateActions::kSupportPageKey);

    crawlmere::platform::RecordingUrlOpener opener;
    DelegateActions own(defaults, opener, &shell.window());
    EXPECT_FALSE(own.visitPage(DelegateActions::kHomePageKey));
    defaults.setObject(QStringLiteral("https://home.test/"), DelegateActions::kHomePageKey);
    actions->updateMenuItems();
    EXPECT_TRUE(home->isEnabled());
    EXPECT_TRUE(own.visitPage(DelegateActions::kHomePageKey));
    defaults.setObject(QStringLiteral("https://help.test/manual"), DelegateActions::kHelpPageKey);
    EXPECT_TRUE(own.visitHelp());
    EXPECT_EQ(opener.opened, (QList<QUrl> { QUrl("https://home.test/"), QUrl("https://help.test/manual") }));
    defaults.removeObjectForKey(DelegateActions::kHomePageKey);
    defaults.removeObjectForKey(DelegateActions::kHelpPageKey);

    // Without a settings controller there is no site, so no login window.
    EXPECT_EQ(own.showCookieWindow(false), nullptr);
    own.setConfigManager(shell.configManager());
    shell.configManager()->newConfigWithURL(QStringLiteral("http://127.0.0.1:9/login"));
    QWidget* login = own.showCookieWindow(true);
    ASSERT_NE(login, nullptr);
    EXPECT_EQ(crawlmere::settings::WebRenderLoader::module()->loginAddress(login),
        QStringLiteral("http://127.0.0.1:9/login"));
    login->close();
    // The program's own login window explains cookies beside its Reload button.
    QWidget* current = actions->showCookieWindow(false);
    ASSERT_NE(current, nullptr);
    const auto helps = current->findChildren<QToolButton*>(QStringLiteral("helpButton"));
    ASSERT_EQ(helps.size(), 1);
    EXPECT_EQ(helps.first()->property("helpTopic").toString(), "cookie:");
    current->close();
    shell.terminate();
}

TEST(ScanSummary, AFinishedLoopbackScanIsCounted)
{
    crawlmere::test::LoopbackServer server;
    server.server().Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html><head><title>Home</title></head><body><a href=\"/a\">a</a>"
                             "<a href=\"/gone\">gone</a></body></html>",
            "text/html");
    });
    server.server().Get("/a", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(
            "<html><head><title>A</title></head><body><a href=\"/\">home</a></body></html>", "text/html");
    });
    ASSERT_TRUE(server.start());
    crawlmere::app::MainInterface shell(UserDefaults::standard());
    shell.launch();
    shell.configManager()->newConfigWithURL(server.url());
    QPushButton* go = shell.window().goButton();
    go->click();
    const QDeadlineTimer deadline(30000);
    while (go->text() != QLatin1String("Go") && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    ASSERT_EQ(go->text(), QLatin1String("Go"));

    const QString summary = crawlmere::app::ScanSummary::shortSummary(*shell.hub());
    EXPECT_TRUE(summary.startsWith("2 page(s) scanned\n")) << summary.toStdString();
    EXPECT_TRUE(
        summary.endsWith(QStringLiteral("%1 links checked, 1 bad\n").arg(shell.hub()->linksCollection().size())))
        << summary.toStdString();
    EXPECT_GE(shell.hub()->linksCollection().size(), 3);
    EXPECT_GT(crawlmere::app::ScanSummary::freeDiskSpace(), 0u);
    shell.terminate();
}

// Help shows the installed README in a window of its own, needing no viewer: with no help page,
// and when no application takes the help page.
TEST(DelegateActions, HelpShowsTheReadmeInItsOwnWindowWhenNothingElseOpensIt)
{
    QTemporaryDir folder;
    const QString readme = folder.filePath(QStringLiteral("README.md"));
    QFile file(readme);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("# Crawlmere\n\nThe *manual* text.\n");
    file.close();
    UserDefaults& defaults = UserDefaults::standard();
    crawlmere::platform::RecordingUrlOpener opener;
    opener.result = false;
    QWidget window;
    DelegateActions actions(defaults, opener, &window);
    actions.setReadmeLocations({ folder.filePath(QStringLiteral("missing.md")), readme });
    for (const QString& page : { QString(), QStringLiteral("https://help.test/manual") }) {
        defaults.setObject(page, DelegateActions::kHelpPageKey);
        EXPECT_TRUE(actions.visitHelp()) << qPrintable(page);
        auto* shown = qobject_cast<QTextBrowser*>(actions.helpWindow());
        ASSERT_NE(shown, nullptr) << qPrintable(page);
        EXPECT_TRUE(shown->isVisible());
        EXPECT_TRUE(shown->toPlainText().contains(QStringLiteral("The manual text."))) << qPrintable(page);
        EXPECT_EQ(window.findChild<QMessageBox*>(QStringLiteral("missingHelpAlert")), nullptr);
        shown->close();
    }
    EXPECT_EQ(opener.opened, QList<QUrl> { QUrl("https://help.test/manual") }) << "the page was offered first";
    defaults.removeObjectForKey(DelegateActions::kHelpPageKey);
}

// Help with no help page and no README says where the README was looked for.
TEST(DelegateActions, HelpWithoutAReadmeSaysWhereItWasLookedFor)
{
    if (!DelegateActions::installedReadme().isEmpty())
        GTEST_SKIP() << "a README is installed on this machine";
    UserDefaults& defaults = UserDefaults::standard();
    defaults.removeObjectForKey(DelegateActions::kHelpPageKey);
    crawlmere::platform::RecordingUrlOpener opener;
    QWidget window;
    DelegateActions actions(defaults, opener, &window);
    EXPECT_FALSE(actions.visitHelp());
    EXPECT_TRUE(opener.opened.isEmpty());
    auto* alert = window.findChild<QMessageBox*>(QStringLiteral("missingHelpAlert"));
    ASSERT_NE(alert, nullptr);
    EXPECT_TRUE(alert->isVisible());
    ASSERT_EQ(DelegateActions::readmeLocations().size(), 2);
    for (const QString& place : DelegateActions::readmeLocations()) {
        EXPECT_TRUE(place.endsWith(QLatin1String("/share/doc/crawlmere/README.md"))) << qPrintable(place);
        EXPECT_TRUE(alert->informativeText().contains(place)) << qPrintable(alert->informativeText());
    }
    EXPECT_TRUE(DelegateActions::readmeLocations().first().startsWith(
        QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/.."))));
    alert->close();
}
