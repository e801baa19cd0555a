// The window's status line against what its link views show, through marking links fixed and
// checking them again, on a loopback site whose broken links can be held unanswered.
#include "app/AppDelegate.h"
#include "app/MainInterface.h"
#include "app/MainTabView.h"
#include "app/MainWindow.h"
#include "app/ResultsController.h"
#include "app/StatusLineField.h"
#include "app/WindowTestSupport.h"
#include "engine/CrawlSettingKeys.h"
#include "engine/CrwlUrl.h"
#include "engine/ShellServices.h"
#include "engine/Z12Ara.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "support/LoopbackServer.h"
#include "views/CrwlLinkInspectorWindowController.h"
#include "views/InspectorWindows.h"
#include "views/ResultTreeView.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QItemSelectionModel>
#include <QMenu>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

namespace app = crawlmere::app;
using crawlmere::views::ResultTreeView;

using crawlmere::test::QuietPrompts;
using crawlmere::test::waitFor;

namespace {

/// A finished scan in the window of a site whose home page links to b.html and to "/gone1" to
/// "/gone4", which answer 404; while `hold` is set their answers wait.
class StatusLineCountsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        server.server().Get(R"(/.*)", [this](const httplib::Request& request, httplib::Response& response) {
            if (request.path == "/") {
                response.set_content("<html><body><a href=\"b.html\">b</a><a href=\"gone1\">1</a><a href=\"gone2\">2</a>"
                                     "<a href=\"gone3\">3</a><a href=\"gone4\">4</a></body></html>",
                    "text/html");
                return;
            }
            if (request.path == "/b.html") {
                response.set_content("<html><body><a href=\"/\">home</a></body></html>", "text/html");
                return;
            }
            std::unique_lock lock(mutex);
            ++waiting;
            released.wait(lock, [this] { return !hold; });
            --waiting;
            response.status = 404;
        });
        ASSERT_TRUE(server.start());
        const QString settings = folder.filePath(QStringLiteral("site.lcsettings"));
        ASSERT_TRUE(crawlmere::platform::PropertyList::writeXmlFile(settings,
            QVariantMap { { QStringLiteral("name"), QStringLiteral("Loop") }, { crawlKey::startingUrl, server.url() } })
                        .ok());
        shell.launch();
        ASSERT_TRUE(shell.delegate().applicationOpenFile(settings));
        ASSERT_TRUE(waitFor([&] { return shell.hub()->crawlFinished() && shell.hub()->linksCollection().size() == 6; }));
        shell.window().mainTabView()->selectTabViewItemWithIdentifier(QStringLiteral("1"));
        ASSERT_TRUE(waitFor([&] { return viewBad() == 4 && lineBad() == 4; })) << qPrintable(line());
    }
    void TearDown() override
    {
        setHold(false);
        shell.terminate();
    }

    void setHold(bool value)
    {
        {
            std::lock_guard lock(mutex);
            hold = value;
        }
        released.notify_all();
    }
    int waitingRequests()
    {
        std::lock_guard lock(mutex);
        return waiting;
    }
    QString line() const { return shell.window().statusField()->text(); }
    /// The bad-link count the status line gives.
    int lineBad() const
    {
        const auto match = QRegularExpression(QStringLiteral(", (\\d+) bad$")).match(line());
        return match.hasMatch() ? match.captured(1).toInt() : -1;
    }
    ResultTreeView* byLink() const
    {
        return qobject_cast<ResultTreeView*>(shell.window().resultView(QStringLiteral("byLinkView")));
    }
    /// The rows of the by-link view whose status cell reads as a broken link.
    int viewBad() const
    {
        QAbstractItemModel* model = byLink()->model();
        int bad = 0;
        for (int row = 0; row < model->rowCount(); ++row)
            bad += model->index(row, 1).data().toString().startsWith(u'4');
        return bad;
    }
    /// Selects the by-link rows of the given paths.
    void select(const QStringList& paths)
    {
        QItemSelection selection;
        QAbstractItemModel* model = byLink()->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            const QModelIndex index = model->index(row, 0);
            for (const QString& path : paths)
                if (index.data().toString() == server.url(path))
                    selection.select(index, index);
        }
        byLink()->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        ASSERT_EQ(byLink()->selectionModel()->selectedRows().size(), paths.size());
    }
    /// Opens the menu of the window's item `name`, as a user does, and chooses the item.
    void choose(const char* name)
    {
        QAction* item = shell.window().menuItem(QLatin1String(name));
        ASSERT_NE(item, nullptr);
        auto* menu = qobject_cast<QMenu*>(item->parent());
        ASSERT_NE(menu, nullptr);
        Q_EMIT menu->aboutToShow();
        ASSERT_TRUE(item->isEnabled()) << name;
        item->trigger();
    }
    std::shared_ptr<CrwlUrl> record(const QString& path) const
    {
        for (const auto& item : shell.hub()->linksCollection())
            if (auto url = std::dynamic_pointer_cast<CrwlUrl>(item); url && url->absoluteString() == server.url(path))
                return url;
        return nullptr;
    }

    crawlmere::test::LoopbackServer server;
    std::mutex mutex;
    std::condition_variable released;
    bool hold = false;
    int waiting = 0;
    QTemporaryDir folder;
    crawlmere::platform::UserDefaults store { folder.filePath(QStringLiteral("defaults.plist")) };
    app::MainInterface shell { store, std::make_shared<QuietPrompts>() };
};

} // namespace

TEST_F(StatusLineCountsTest, TheLineCountsWhatTheViewShowsThroughMarkingFixedAndRechecking)
{
    // Marked fixed from the menu, then from the link inspector: counted at once.
    select({ QStringLiteral("/gone1") });
    choose("markAsFixedMenuItem");
    ASSERT_TRUE(waitFor([&] { return viewBad() == 3; }));
    EXPECT_EQ(lineBad(), 3) << qPrintable(line());
    shell.results().inspectors().inspect(record(QStringLiteral("/gone2")));
    auto* inspector = shell.results().inspectors().lastLinkInspector();
    ASSERT_NE(inspector, nullptr);
    inspector->markAsFixedMenuItem();
    ASSERT_TRUE(waitFor([&] { return viewBad() == 2; }));
    EXPECT_EQ(lineBad(), 2) << qPrintable(line());

    // The four links are fetched again with their answers held: whatever the view shows of them
    // meanwhile, the line counts the same.
    setHold(true);
    select({ QStringLiteral("/gone1"), QStringLiteral("/gone2"), QStringLiteral("/gone3"), QStringLiteral("/gone4") });
    choose("recheckMenuItem");
    ASSERT_TRUE(waitFor([&] { return waitingRequests() > 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(lineBad(), viewBad()) << qPrintable(line());

    // Answered: all four are broken again, in the view and on the line, as soon as the scan ends.
    setHold(false);
    ASSERT_TRUE(waitFor([&] {
        return shell.hub()->crawlFinished() && record(QStringLiteral("/gone4"))->getStatus() == 404 && viewBad() == 4;
    }));
    EXPECT_EQ(lineBad(), 4) << qPrintable(line());
}
