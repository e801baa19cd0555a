// Every item of the window's menu bar, chosen as a user would (its menu opened first), in an
// empty window and after a scan of a loopback site: each enabled item opens something, says
// something or changes something that shows.
#include "app/AppDelegate.h"
#include "app/MainInterface.h"
#include "app/MainTabView.h"
#include "app/MainWindow.h"
#include "app/StatusLineField.h"
#include "app/UpdateWindowController.h"
#include "app/WindowTestSupport.h"
#include "engine/CrawlSettingKeys.h"
#include "engine/RecordingShellServices.h"
#include "engine/Z12Ara.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "settings/WebRenderLoader.h"
#include "support/LoopbackServer.h"
#include "webrender/EngineWebRenderModule.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>

#include <gtest/gtest.h>

#include <optional>

namespace app = crawlmere::app;
using crawlmere::test::waitFor;

namespace {

/// Takes the addresses handed to the desktop.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    int caught = 0;
public Q_SLOTS:
    void take(const QUrl&) { ++caught; }
};

class MenuWalkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        server.server().Get(R"(/.*)", [](const httplib::Request& request, httplib::Response& response) {
            if (request.path == "/version.txt")
                response.set_content("99.0", "text/plain");
            else if (request.path == "/")
                response.set_content("<html><head><title>Home</title></head><body><a href=\"b.html\">b</a>"
                                     "<a href=\"http://127.0.0.1:9/x.png\"><img src=\"i.png\"></a>"
                                     "<a href=\"gone\">gone</a></body></html>",
                    "text/html");
            else if (request.path == "/b.html")
                response.set_content(
                    "<html><head><title>B</title></head><body><a href=\"/\">home</a></body></html>", "text/html");
            else
                response.status = 404;
        });
        ASSERT_TRUE(server.start());
        for (const char* scheme : { "http", "https", "file", "mailto" })
            QDesktopServices::setUrlHandler(QLatin1String(scheme), &urls, "take");
        // Every modal dialog is noted and dismissed as soon as it shows.
        QObject::connect(&dismisser, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal)
                return;
            ++modals;
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            else
                modal->close();
        });
        dismisser.start(10);
        store.setObject(server.url("/version.txt"), app::UpdateWindowController::kVersionTextURLKey);
        // Without the browser engine (whose pages this process could not take down cleanly):
        // the login items have nothing to open then.
        crawlmere::settings::WebRenderLoader::useModule(nullptr);
        made.emplace(store, prompts);
        made->launch();
    }
    void TearDown() override
    {
        for (const char* scheme : { "http", "https", "file", "mailto" })
            QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
        made->terminate();
        made.reset();
        crawlmere::settings::WebRenderLoader::useModule(crawlmere::webrender::EngineWebRenderModule::instance());
    }

    /// What an item may change that a user sees.
    QStringList seen() const
    {
        QStringList state;
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window->isVisible() && !qobject_cast<QMenu*>(window))
                state << QStringLiteral("window %1 %2").arg(window->metaObject()->className(), window->objectName());
        state.sort();
        const app::MainWindow& window = shell().window();
        state << QString::number(modals) << QString::number(prompts->alerts.size()) << QString::number(urls.caught)
              << QString::number(int(window.windowState())) << window.statusField()->text()
              << window.mainTabView()->selectedIdentifier() << QGuiApplication::clipboard()->text();
        for (QToolBar* bar : window.findChildren<QToolBar*>())
            state << QString::number(bar->isVisible());
        if (auto* field = qobject_cast<QLineEdit*>(QApplication::focusWidget()))
            state << field->text() << field->selectedText();
        for (QAction* action : window.menuBar()->findChildren<QAction*>())
            if (action->isCheckable())
                state << QString::number(action->isChecked());
        state << store.persistentDomain().value(QStringLiteral("websitesSortKey")).toString();
        return state;
    }
    /// Puts back what an item opened or changed, so the next one starts from the same window.
    void putBack(const QStringList& windowsBefore, const QString& tab)
    {
        shell().window().mainTabView()->selectTabViewItemWithIdentifier(tab);
        for (QWidget* window : QApplication::topLevelWidgets()) {
            const QString name
                = QStringLiteral("window %1 %2").arg(window->metaObject()->className(), window->objectName());
            if (window->isVisible() && window != &shell().window() && !windowsBefore.contains(name))
                window->close();
        }
        shell().window().setWindowState(Qt::WindowNoState);
        for (QToolBar* bar : shell().window().findChildren<QToolBar*>())
            bar->setVisible(true);
    }
    /// Chooses every enabled item of every menu but those of `skipped`, `last` at the end;
    /// answers the items that did nothing that shows.
    QStringList walk(const QStringList& skipped, const QStringList& last = {})
    {
        QStringList silent;
        QList<QAction*> deferred;
        const std::function<void(QMenu*, const QString&)> visit = [&](QMenu* menu, const QString& path) {
            Q_EMIT menu->aboutToShow();
            for (QAction* item : menu->actions()) {
                if (item->isSeparator() || !item->isVisible())
                    continue;
                if (item->menu()) {
                    visit(item->menu(), path + u'/' + item->text());
                    Q_EMIT menu->aboutToShow();
                    continue;
                }
                if (item->objectName() == u"quitMenuItem" || skipped.contains(item->objectName()))
                    continue;
                if (last.contains(item->objectName())) {
                    deferred << item;
                    continue;
                }
                if (!item->isEnabled())
                    continue;
                // Choosing the option already chosen keeps it: that is what it says.
                if (item->isChecked() && item->actionGroup() && item->actionGroup()->isExclusive())
                    continue;
                if (!choose(item))
                    silent << path + u'/' + item->text();
                Q_EMIT menu->aboutToShow();
            }
        };
        for (QAction* top : shell().window().menuBar()->actions())
            if (top->menu())
                visit(top->menu(), top->text());
        for (QAction* item : deferred) {
            Q_EMIT qobject_cast<QMenu*>(item->parent())->aboutToShow();
            if (item->isEnabled() && !choose(item))
                silent << item->text();
        }
        return silent;
    }
    /// Triggers `item`; true once something shows for it.
    bool choose(QAction* item)
    {
        const QStringList windows = seen().filter(QStringLiteral("window "));
        const QString tab = shell().window().mainTabView()->selectedIdentifier();
        const QStringList before = seen();
        item->trigger();
        const bool shown = waitFor([&] { return seen() != before; }, 3000);
        // What opened finishes opening before it is put back.
        QCoreApplication::processEvents();
        putBack(windows, tab);
        waitFor([&] { return !QApplication::activeModalWidget(); }, 2000);
        return shown;
    }

    crawlmere::test::LoopbackServer server;
    UrlCatcher urls;
    QTimer dismisser;
    int modals = 0;
    QTemporaryDir folder;
    crawlmere::platform::UserDefaults store { folder.filePath(QStringLiteral("defaults.plist")) };
    std::shared_ptr<RecordingPrompts> prompts = std::make_shared<RecordingPrompts>();
    mutable std::optional<app::MainInterface> made;
    app::MainInterface& shell() const { return *made; }
};

} // namespace

TEST_F(MenuWalkTest, EveryEnabledItemDoesSomethingInAnEmptyWindowAndAfterAScan)
{
    shell().window().show();
    // The walk tells an item that does nothing.
    auto* idle = new QAction(QStringLiteral("Idle"), &shell().window());
    shell().window().menuBar()->findChild<QMenu*>(QStringLiteral("helpMenu"))->addAction(idle);
    QStringList silent = walk({});
    EXPECT_TRUE(silent == QStringList { QStringLiteral("&Help/Idle") })
        << "empty window: " << qPrintable(silent.join(u','));
    delete idle;

    const QString settings = folder.filePath(QStringLiteral("site.lcsettings"));
    ASSERT_TRUE(crawlmere::platform::PropertyList::writeXmlFile(settings,
        QVariantMap { { QStringLiteral("name"), QStringLiteral("Loop") }, { crawlKey::startingUrl, server.url() } })
                    .ok());
    ASSERT_TRUE(shell().delegate().applicationOpenFile(settings));
    ASSERT_TRUE(waitFor([&] { return shell().hub()->crawlFinished() && !shell().hub()->linksCollection().isEmpty(); }));
    // Clear, which empties the window, comes last.
    const QString clear = QStringLiteral("clearMenuItem");
    for (const char* tab : { "0", "1", "5" }) {
        shell().window().mainTabView()->selectTabViewItemWithIdentifier(QLatin1String(tab));
        const bool lastWalk = *tab == '5';
        silent
            = walk(lastWalk ? QStringList() : QStringList { clear }, lastWalk ? QStringList { clear } : QStringList());
        EXPECT_TRUE(silent.isEmpty()) << "after a scan, tab " << tab << ": " << qPrintable(silent.join(u','));
    }
}

#include "MenuWalkTest.moc"
