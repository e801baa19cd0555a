#include "WindowTestSupport.h"
#include "app/AppDelegate.h"
#include "app/DelegateActions.h"
#include "app/MainInterface.h"
#include "app/MainWindow.h"
#include "app/WindowPrompts.h"
#include "engine/Z12Ara.h"
#include "platform/UserDefaults.h"
#include "settings/ConfigManager.h"
#include "support/LoopbackServer.h"
#include "views/LinkExportPreviewer.h"
#include "views/OutputFilterWindow.h"
#include "views/ScanControl.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>

using crawlmere::platform::UserDefaults;
namespace app = crawlmere::app;

namespace {

/// Presses Escape on every message box that opens. A box that Escape leaves open runs
/// `whileOpen` and then gets the button titled `fallback` pressed, so that the program goes on.
class EscapeOnEveryBox {
public:
    EscapeOnEveryBox()
    {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] { press(); });
        timer.start();
    }
    QStringList closed; ///< messages of the boxes Escape closed
    QStringList stayed; ///< messages of the boxes Escape left open
    std::function<void()> beforeEscape;
    std::function<void()> whileOpen;
    QString fallback;

private:
    void press()
    {
        QPointer<QMessageBox> box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || box->property("escaped").toBool())
            return;
        box->setProperty("escaped", true);
        const QString message = box->text();
        if (beforeEscape)
            beforeEscape();
        QTest::keyClick(box, Qt::Key_Escape);
        if (!box || !box->isVisible()) {
            closed << message;
            return;
        }
        stayed << message;
        if (whileOpen)
            whileOpen();
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == fallback)
                return button->click();
        }
        box->done(0);
    }
    QTimer timer;
};

/// The whole window over a private defaults file, with a loopback site that counts its requests.
struct Program {
    Program()
    {
        server.server().Get(R"(/.*)", [this](const httplib::Request&, httplib::Response& response) {
            ++hits;
            response.set_content("<html><head><title>t</title></head><body>x</body></html>", "text/html");
        });
        EXPECT_TRUE(server.start());
    }
    ~Program()
    {
        if (shell) {
            crawlmere::test::waitFor([this] { return !shell->hub()->isScanning(); });
            shell->terminate();
        }
    }
    void launch()
    {
        shell = std::make_unique<app::MainInterface>(store);
        shell->launch();
    }
    QString file(const QString& name, const QByteArray& content)
    {
        QFile out(folder.filePath(name));
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(content);
        return out.fileName();
    }
    crawlmere::settings::ConfigManager& sites() const { return *shell->configManager(); }
    /// What no Escape may change: the sites, the selected site, the folders, the filter rules,
    /// and whether a scan started or the site was asked for anything.
    QString state() const
    {
        QVariantMap current = sites().currentSettings();
        QStringList parts { QString::number(sites().websites().size()), sites().folderList().join(u','),
            QString::number(store.arrayForKey(QStringLiteral("mipFilterRules")).size()),
            QString::number(int(shell->hub()->isScanning())), QString::number(hits.load()) };
        for (auto it = current.cbegin(); it != current.cend(); ++it)
            parts << it.key() + u'=' + it.value().toString();
        return parts.join(u'|');
    }

    QTemporaryDir folder;
    UserDefaults store { folder.filePath(QStringLiteral("defaults.plist")) };
    crawlmere::test::LoopbackServer server;
    std::atomic<int> hits { 0 };
    std::unique_ptr<app::MainInterface> shell;
};

} // namespace

// Every alert of the window with more than one answer, and those with one that the user meets
// most: Escape gives the answer that changes nothing, and where each answer changes something
// it leaves the alert open. Meanwhile no site, folder or rule changed and no scan started.
TEST(EscapeOnAlerts, NothingChangesAndNoWorkStarts)
{
    struct Case {
        QString message;
        bool escapeCloses;
        QString fallback; ///< pressed once Escape left the alert open
        std::function<void(Program&)> prepare; ///< after launch
        std::function<void(Program&)> act;
    };
    const QList<Case> cases {
        { "Delete Filter Rule", true, {}, {},
            [](Program& p) {
                auto* rules = p.shell->window().findChild<crawlmere::views::OutputFilterWindow*>();
                rules->findChild<QListWidget*>()->setCurrentRow(0);
                rules->deleteSelectedRule();
            } },
        { "Delete Configuration", true, {}, {}, [](Program& p) { p.sites().deleteURL(); } },
        { "Delete Folder?", true, {}, [](Program& p) { p.sites().createNewFolder(QStringLiteral("Work")); },
            [](Program& p) {
                p.sites().deleteSelectedFolder(
                    int(p.sites().getFolderDataSourceArray().indexOf(QStringLiteral("Work"))));
            } },
        { "Folder exists", true, {}, [](Program& p) { p.sites().createNewFolder(QStringLiteral("Work")); },
            [](Program& p) { p.sites().createNewFolder(QStringLiteral("Work")); } },
        { "Return to default settings", true, {}, [](Program& p) { p.sites().setCrawlsSinglePage(true); },
            [](Program& p) { EXPECT_FALSE(p.shell->delegate().actions()->returnToDefaultSettings()); } },
        { "Edit URL", false, "Edit url for this one",
            [](Program& p) { p.sites().setNewStartingurl(p.server.url(QStringLiteral("/start"))); },
            [](Program& p) {
                p.shell->delegate().applicationOpenFile(p.file(QStringLiteral("page.html"), "<html></html>"));
            } },
        { "List of urls: scope", false, "Just the URLs in the list", {},
            [](Program& p) {
                p.shell->delegate().applicationOpenFile(
                    p.file(QStringLiteral("urls.txt"), p.server.url(QStringLiteral("/listed")).toUtf8()));
            } },
        { "Ambiguous starting url", false, "is a page",
            [](Program& p) { p.sites().setNewStartingurl(p.server.url(QStringLiteral("/docs"))); },
            [](Program& p) { p.shell->window().goButton()->click(); } },
        { "Unknown or unsupported file type", true, {}, {},
            [](Program& p) { p.shell->delegate().applicationOpenFile(p.file(QStringLiteral("notes.xyz"), "x")); } },
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.message.toStdString());
        // Made first, so that it still answers what the program asks as it ends (the few-results
        // alert of a scan that a fallback answer started).
        EscapeOnEveryBox escape;
        // The state as the alert comes up (opening a document changes the site before it asks).
        QString before;
        QString whileOpen;
        Program program;
        program.store.setObject(
            QVariantList { QVariantMap { { QStringLiteral("mipContains"), QStringLiteral("/blog/") } } },
            QStringLiteral("mipFilterRules"));
        program.launch();
        if (test.prepare)
            test.prepare(program);
        escape.fallback = test.fallback;
        escape.beforeEscape = [&] {
            if (before.isNull())
                before = program.state();
        };
        escape.whileOpen = [&] { whileOpen = program.state(); };
        test.act(program);
        const QStringList& answered = test.escapeCloses ? escape.closed : escape.stayed;
        if (!answered.contains(test.message)) {
            ADD_FAILURE() << "closed: " << qPrintable(escape.closed.join(u'/'))
                          << ", stayed open: " << qPrintable(escape.stayed.join(u'/'));
            continue;
        }
        EXPECT_EQ((test.escapeCloses ? program.state() : whileOpen).toStdString(), before.toStdString());
    }
}

// The alerts whose questions come from code that runs deep in a scan or an export: Escape gives
// the answer that changes nothing ("Cancel" keeps the export sheet, "OK" opens no support page).
TEST(EscapeOnAlerts, TheQuestionsOfExportsAndScansAnswerTheirCancel)
{
    const std::pair<ShellAlert, QString> alerts[] = {
        { crawlmere::views::LinkExportPreviewer::largeExportAlert(), QStringLiteral("Cancel") },
        { ScanControl::fewResultsAlert(nullptr, /*support=*/true), QStringLiteral("OK") },
    };
    app::WindowPrompts prompts;
    for (const auto& [alert, cancel] : alerts) {
        EscapeOnEveryBox escape;
        const int answer = prompts.runModalAlert(alert);
        EXPECT_EQ(escape.closed, QStringList { alert.messageText });
        EXPECT_EQ(alert.buttons.value(answer).toStdString(), cancel.toStdString()) << qPrintable(alert.messageText);
    }
}
