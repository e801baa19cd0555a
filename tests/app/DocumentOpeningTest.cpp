#include "app/AppDelegate.h"
#include "app/MainInterface.h"
#include "app/MainWindow.h"
#include "engine/CrawlSettingKeys.h"
#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "engine/ShellServices.h"
#include "engine/Z12Ara.h"
#include "platform/FolderAccess.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "settings/ConfigManager.h"
#include "support/LoopbackServer.h"
#include "support/WaitUntil.h"
#include "views/ArchiveFolderPanel.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QLineEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

using crawlmere::platform::PropertyList;
using crawlmere::platform::UserDefaults;
using crawlmere::test::waitUntil;
namespace app = crawlmere::app;

namespace {

/// Answers each alert with a set button and keeps what was asked.
class ScriptedPrompts final : public ShellPrompts {
public:
    int runModalAlert(const ShellAlert& alert) override
    {
        alerts << alert.messageText + u'|' + alert.buttons.join(u'|');
        informative << alert.informativeText;
        if (asked)
            asked(alert);
        return answers.value(alert.messageText);
    }
    QStringList informative;
    std::function<void(const ShellAlert&)> asked;
    void beep() override { ++beeps; }
    QStringList alerts;
    QMap<QString, int> answers;
    int beeps = 0;
};

class DocumentOpeningTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return folder.filePath(name); }
    QString touch(const QString& name) const
    {
        QFile file(path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("<html><body><a href=\"b.html\">b</a></body></html>");
        return file.fileName();
    }
    QString writeSite(const QString& name, const QString& url) const
    {
        const QVariantMap site { { QStringLiteral("name"), QStringLiteral("Loopback") },
            { crawlKey::startingUrl, url } };
        EXPECT_TRUE(PropertyList::writeXmlFile(path(name), site).ok());
        return path(name);
    }
    QTemporaryDir folder;
    UserDefaults store { folder.filePath(QStringLiteral("defaults.plist")) };
    std::shared_ptr<ScriptedPrompts> prompts = std::make_shared<ScriptedPrompts>();
};

} // namespace

TEST_F(DocumentOpeningTest, TypesAreTakenByExtensionAndSettingsFilesOnlyInLowerCase)
{
    app::MainInterface shell(store, prompts);
    shell.launch();
    app::AppDelegate& delegate = shell.delegate();
    const QString page = touch(QStringLiteral("ünï côde/PAGE.HTML").replace(u'/', u'_'));
    EXPECT_TRUE(delegate.applicationOpenFile(page));
    EXPECT_EQ(shell.configManager()->currentSettings().value(crawlKey::startingUrl).toString(),
        QUrl::fromLocalFile(page).toString());
    // No word of a sandbox grant: this program has none to give.
    EXPECT_TRUE(prompts->alerts.isEmpty()) << qPrintable(prompts->alerts.join(u'\n'));

    prompts->alerts.clear();
    writeSite(QStringLiteral("x.LCSETTINGS"), QStringLiteral("https://a.example/"));
    EXPECT_FALSE(delegate.applicationOpenFile(path(QStringLiteral("x.LCSETTINGS"))));
    EXPECT_EQ(prompts->alerts, QStringList { QStringLiteral("Unknown or unsupported file type|OK") });

    for (const auto& [answer, single] : { std::pair { 0, true }, std::pair { 1, false } }) {
        prompts->alerts.clear();
        prompts->answers[QStringLiteral("List of urls: scope")] = answer;
        prompts->answers[QStringLiteral("Edit URL")] = 1;
        QFile list(path(QStringLiteral("urls.csv")));
        ASSERT_TRUE(list.open(QIODevice::WriteOnly));
        list.close();
        EXPECT_TRUE(delegate.applicationOpenFile(QUrl::fromLocalFile(list.fileName()).toString()));
        EXPECT_EQ(
            prompts->alerts.last(), QStringLiteral("List of urls: scope|Just the URLs in the list|Follow and scan"));
        EXPECT_EQ(shell.configManager()->currentSettings().value(crawlKey::singlePage).toBool(), single);
    }
    shell.terminate();
}

TEST_F(DocumentOpeningTest, AUrlListOpenedAsANewSiteIsScanned)
{
    crawlmere::test::LoopbackServer server;
    std::mutex mutex;
    QStringList requested;
    for (const char* path : { "/listed-a", "/listed-b", "/elsewhere" }) {
        server.server().Get(path, [&](const httplib::Request& request, httplib::Response& response) {
            std::lock_guard lock(mutex);
            requested << QString::fromStdString(request.path);
            response.set_content("<html><head><title>t</title></head><body>x</body></html>", "text/html");
        });
    }
    ASSERT_TRUE(server.start());
    QFile list(path(QStringLiteral("two urls.txt")));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write(
        (server.url(QStringLiteral("/listed-a")) + u'\n' + server.url(QStringLiteral("/listed-b")) + u'\n').toUtf8());
    list.close();

    app::MainInterface shell(store, prompts);
    shell.launch();
    // A site that is not blank is selected: the list asks whether to make a new one.
    shell.configManager()->setNewStartingurl(server.url(QStringLiteral("/elsewhere")));
    const qsizetype sites = shell.configManager()->websites().size();
    prompts->answers[QStringLiteral("Edit URL")] = 0; // Create new config
    prompts->answers[QStringLiteral("List of urls: scope")] = 0; // Just the URLs in the list
    EXPECT_TRUE(shell.delegate().applicationOpenFile(list.fileName()));
    EXPECT_EQ(prompts->alerts.size(), 2) << qPrintable(prompts->alerts.join(u'\n'));

    EXPECT_EQ(shell.configManager()->websites().size(), sites + 1);
    EXPECT_EQ(shell.configManager()->currentSettings().value(crawlKey::startingUrl).toString(),
        QUrl::fromLocalFile(list.fileName()).toString());
    EXPECT_TRUE(shell.configManager()->currentSettings().value(crawlKey::singlePage).toBool());
    ASSERT_TRUE(shell.hub()->isScanning() || shell.hub()->crawlFinished());
    ASSERT_TRUE(waitUntil([&] { return shell.hub()->crawlFinished(); }));
    {
        std::lock_guard lock(mutex);
        EXPECT_TRUE(requested.contains(QStringLiteral("/listed-a"))) << qPrintable(requested.join(u' '));
        EXPECT_TRUE(requested.contains(QStringLiteral("/listed-b"))) << qPrintable(requested.join(u' '));
        EXPECT_FALSE(requested.contains(QStringLiteral("/elsewhere")));
    }
    EXPECT_GE(shell.hub()->checkedLinkCount(), 2);
    shell.terminate();
}

TEST_F(DocumentOpeningTest, ABatchGivenAsAPlainPathAddsItsSites)
{
    app::MainInterface shell(store, prompts);
    shell.launch();
    const QVariantList sites { QVariantMap { { "id", "one-id" }, { "name", "One" },
                                   { crawlKey::startingUrl, "https://one.example/" } },
        QVariantMap { { "id", "two-id" }, { "name", "Two" }, { crawlKey::startingUrl, "https://two.example/" } } };
    const QString batch = path(QStringLiteral("two sites.lcsbatch"));
    ASSERT_TRUE(PropertyList::writeXmlFile(batch, sites).ok());
    const qsizetype before = shell.configManager()->websites().size();
    EXPECT_TRUE(shell.delegate().applicationOpenFile(batch));
    EXPECT_EQ(shell.configManager()->websites().size(), before + 2);
    shell.terminate();
}

TEST_F(DocumentOpeningTest, ASettingsFileOpenedDuringLaunchScansOnceAfterStartUp)
{
    crawlmere::test::LoopbackServer server;
    std::atomic<int> hits { 0 };
    server.server().Get("/", [&](const httplib::Request& request, httplib::Response& response) {
        hits += request.method == "GET";
        response.set_content("<html><head><title>t</title></head><body>x</body></html>", "text/html");
    });
    ASSERT_TRUE(server.start());
    const QString settings = writeSite(QStringLiteral("site é.lcsettings"), server.url());

    app::MainInterface shell(store, prompts);
    shell.launch({ settings });
    EXPECT_TRUE(shell.delegate().autoStart().isEmpty());
    EXPECT_TRUE(waitUntil([&] { return hits.load() > 0 && shell.hub()->crawlFinished(); }));
    // Imported and scanned once (the site's thumbnail may fetch the page besides the scan).
    EXPECT_LE(hits.load(), 2);
    const auto& sites = shell.configManager()->websites();
    EXPECT_EQ(
        std::count_if(sites.begin(), sites.end(),
            [&](const QVariantMap& site) { return site.value(crawlKey::startingUrl).toString() == server.url(); }),
        1);
    shell.terminate();
}

TEST_F(DocumentOpeningTest, AnArchiveFolderNamedByASettingsFileIsNeverWrittenIntoTheSiteAsksAsANewOneDoes)
{
    crawlmere::test::LoopbackServer server;
    server.server().Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html><head><title>t</title></head><body><a href=\"/b\">b</a></body></html>",
            "text/html");
    });
    ASSERT_TRUE(server.start());
    const QString named = path(QStringLiteral("named-by-the-file"));
    ASSERT_TRUE(QDir().mkpath(named));
    const QVariantMap site { { QStringLiteral("name"), QStringLiteral("Archiving") },
        { crawlKey::startingUrl, server.url() }, { crawlKey::shouldArchive, true },
        { crawlKey::archiveSaveLocation, named } };
    ASSERT_TRUE(PropertyList::writeXmlFile(path(QStringLiteral("archiving.lcsettings")), site).ok());

    app::MainInterface shell(store, prompts);
    // The folder question, when it comes, is answered with Cancel; the folder it offers is kept.
    std::optional<QString> offered;
    QTimer answering;
    QObject::connect(&answering, &QTimer::timeout, [&] {
        auto* panel = shell.window().findChild<crawlmere::views::ArchiveFolderPanel*>();
        if (panel && panel->isVisible() && !offered) {
            offered = panel->folderField()->text();
            panel->reject();
        }
    });
    answering.start(10);
    shell.launch({ path(QStringLiteral("archiving.lcsettings")) });
    EXPECT_TRUE(waitUntil([&] { return offered.has_value() || !QDir(named).isEmpty(); }));
    EXPECT_EQ(offered, QString());
    EXPECT_TRUE(QDir(named).isEmpty());
    EXPECT_FALSE(shell.configManager()->currentSettings().contains(crawlKey::archiveSaveLocation));
    EXPECT_TRUE(shell.configManager()->currentSettings().value(crawlKey::shouldArchive).toBool());
    shell.terminate();
}

TEST_F(DocumentOpeningTest, TheWindowTitleFollowsTheAddressAFileGivesTheShownSite)
{
    crawlmere::test::LoopbackServer server;
    server.server().Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html><head><title>t</title></head><body>x</body></html>", "text/html");
    });
    ASSERT_TRUE(server.start());
    QFile sitemap(path(QStringLiteral("site map.xml")));
    ASSERT_TRUE(sitemap.open(QIODevice::WriteOnly));
    sitemap.write(("<?xml version=\"1.0\"?><urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\"><url><loc>"
        + server.url() + "</loc></url></urlset>")
                      .toUtf8());
    sitemap.close();

    // Opened at start-up into the blank site.
    app::MainInterface shell(store, prompts);
    shell.launch({ sitemap.fileName() });
    const auto address
        = [&] { return shell.configManager()->currentSettings().value(crawlKey::startingUrl).toString(); };
    ASSERT_TRUE(waitUntil([&] { return address().endsWith(QStringLiteral("map.xml")); })) << qPrintable(address());
    EXPECT_EQ(shell.window().windowTitle(), address());
    EXPECT_TRUE(waitUntil([&] { return shell.hub()->crawlFinished(); }));
    EXPECT_EQ(shell.window().windowTitle(), address());

    // A scan's write-back of a new starting URL shows there too.
    shell.configManager()->setNewStartingurl(server.url(QStringLiteral("/")));
    EXPECT_EQ(shell.window().windowTitle(), server.url(QStringLiteral("/")));
    shell.terminate();
}

TEST_F(DocumentOpeningTest, AGrantIsKeptUnderItsOwnPathAndReopenedWithoutAsking)
{
    app::MainInterface shell(store, prompts);
    shell.launch();
    app::AppDelegate& delegate = shell.delegate();
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("site ä")));
    const QString page = touch(QStringLiteral("site ä/index.html"));
    const QUrl url = QUrl::fromLocalFile(page);

    delegate.bookmarkSecurityScopedResourceStep2(url);
    EXPECT_EQ(store.stringForKey(crawlmere::platform::FolderAccess::keyFor(page)), page);
    EXPECT_TRUE(delegate.bookmarkFileURL().isEmpty());
    delegate.bookmarkSecurityScopedResourceStep2(url);
    EXPECT_EQ(delegate.bookmarkFileURL(), url);
    // The folder's grant is its own; a page inside is looked up under the page's path.
    EXPECT_TRUE(store.stringForKey(crawlmere::platform::FolderAccess::keyFor(folder.filePath("site ä"))).isEmpty());

    QFile::remove(page);
    delegate.bookmarkSecurityScopedResourceStep2(url);
    EXPECT_EQ(prompts->beeps, 1);
    shell.terminate();
}

TEST_F(DocumentOpeningTest, ASettingsFileOpenedAtLaunchAsksItsQuestionOverTheShownWindow)
{
    crawlmere::test::LoopbackServer server;
    server.server().Get(R"(/.*)", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html><body>x</body></html>", "text/html");
    });
    ASSERT_TRUE(server.start());
    app::MainInterface shell(store, prompts);
    QStringList windowShown;
    prompts->asked = [&](const ShellAlert& alert) {
        windowShown << alert.messageText + u'=' + QString::number(shell.window().isVisible());
    };
    shell.launch({ writeSite(QStringLiteral("docs.lcsettings"), server.url(QStringLiteral("/docs"))) });
    ASSERT_TRUE(waitUntil([&] { return !windowShown.isEmpty() && shell.hub()->crawlFinished(); }));
    EXPECT_EQ(windowShown.first(), QStringLiteral("Ambiguous starting url=1"));
    shell.terminate();
}

TEST_F(DocumentOpeningTest, AFolderChosenFromTheMenuIsRememberedAndTheUserToldSo)
{
    app::MainInterface shell(store, prompts);
    shell.launch();
    shell.window().findChild<QAction*>(QStringLiteral("bookmarkSecurityScopedResourceMenuItem"))->trigger();
    QFileDialog* dialog = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (dialog = shell.window().findChild<QFileDialog*>()) && dialog->isVisible(); }));
    dialog->selectFile(folder.path());
    static_cast<QDialog*>(dialog)->accept();
    ASSERT_TRUE(waitUntil([&] { return !prompts->alerts.isEmpty(); }));
    EXPECT_EQ(prompts->alerts, QStringList { QStringLiteral("Folder remembered|OK") });
    EXPECT_TRUE(prompts->informative.first().startsWith(folder.path() + QStringLiteral(" is remembered")));
    EXPECT_EQ(store.stringForKey(crawlmere::platform::FolderAccess::keyFor(folder.path())), folder.path());

    const auto gone = app::AppDelegate::folderGrantAlert(QUrl::fromLocalFile(folder.filePath(QStringLiteral("gone"))),
        crawlmere::platform::FolderAccess::Outcome::Vanished);
    EXPECT_EQ(gone.messageText, QStringLiteral("Folder not remembered"));
    EXPECT_EQ(gone.informativeText, folder.filePath(QStringLiteral("gone")) + QStringLiteral(" is no longer there."));
    shell.terminate();
}

TEST_F(DocumentOpeningTest, BothPanelsBeepWhileScanning)
{
    // The page is held back until the panels were tried: the scan runs all the while.
    std::mutex held;
    std::condition_variable released;
    bool answer = false;
    crawlmere::test::LoopbackServer server;
    server.server().Get("/", [&](const httplib::Request&, httplib::Response& response) {
        std::unique_lock lock(held);
        released.wait_for(lock, std::chrono::seconds(30), [&] { return answer; });
        response.set_content("<html><body>slow</body></html>", "text/html");
    });
    ASSERT_TRUE(server.start());
    const auto release = [&] {
        {
            const std::lock_guard lock(held);
            answer = true;
        }
        released.notify_all();
    };
    app::MainInterface shell(store, prompts);
    shell.launch();
    EXPECT_TRUE(shell.delegate().applicationOpenFile(writeSite(QStringLiteral("slow.lcsettings"), server.url())));
    ASSERT_TRUE(waitUntil([&] { return shell.hub()->isScanning(); }));
    shell.delegate().openFile();
    shell.delegate().bookmarkSecurityScopedResource();
    EXPECT_TRUE(shell.hub()->isScanning());
    EXPECT_EQ(prompts->beeps, 2);
    release();
    EXPECT_TRUE(waitUntil([&] { return shell.hub()->crawlFinished(); }));
    shell.terminate();
}

TEST_F(DocumentOpeningTest, TheLocateViewShowsCrawledTextsAsTheyAre)
{
    app::MainInterface shell(store, prompts);
    shell.launch();
    auto page = std::make_shared<CrwlUrl>();
    page->setLinkURL(QStringLiteral("http://127.0.0.1/"));
    page->setLinkPageTitle(QStringLiteral("</ul><img src=x>"));
    page->setIsStartingPoint(true);
    auto target = std::make_shared<CrwlUrl>();
    target->setLinkURL(QStringLiteral("http://127.0.0.1/t"));
    auto occurrence = std::make_shared<CrwlLinkInstance>();
    occurrence->setParent(page);
    occurrence->setTarget(target);
    shell.delegate().locate(occurrence);
    ASSERT_NE(shell.delegate().locateView(), nullptr);
    EXPECT_TRUE(shell.delegate().locateView()->openExternalLinks());
    EXPECT_TRUE(shell.delegate().locateView()->toPlainText().contains(QStringLiteral("(</ul><img src=x>)")));
    shell.terminate();
}
