#include "app/ResultsController.h"
#include "engine/CrawlSettingKeys.h"

#include "app/FileDialogSavePanel.h"
#include "app/MainInterface.h"
#include "app/MainTabView.h"
#include "app/MainWindow.h"
#include "app/SEOResults.h"
#include "app/SavePanelAnswer.h"
#include "app/StatusLineField.h"
#include "archive/ArchiveExportController.h"
#include "engine/Z12Ara.h"
#include "platform/NotificationCenter.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "reports/CrwlInsecureDataSource.h"
#include "reports/SEOManager.h"
#include "settings/ConfigManager.h"
#include "sitemap/SitemapManager.h"
#include "support/FtpTestServer.h"
#include "support/LoopbackServer.h"
#include "support/RecordingShellServices.h"
#include "support/SelfSignedCertificate.h"
#include "support/WaitUntil.h"
#include "views/InsecureContentWindow.h"
#include "views/ResultTabs.h"
#include "views/ScanControl.h"
#include "views/SitemapFtpSheet.h"
#include "views/TableExportSnapshot.h"
#include "views/ViewsTestSupport.h"
#include "views/crawlmereTableView.h"
#include "views/qfOutlineView.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

using crawlmere::platform::UserDefaults;
namespace app = crawlmere::app;
using crawlmere::test::answerSavePanelWith;
using crawlmere::test::FtpTestServer;
using crawlmere::test::waitUntil;

namespace {

constexpr int kPages = 30;

/// Runs the event loop until `done` holds or `ms` pass; answers `done()`.
/// A home page linking to 30 pages that each take 150 ms, and a missing page. Counts requests
/// and keeps the path of each.
class SlowSite {
public:
    SlowSite()
    {
        server.server().Get("/", [this](const httplib::Request& request, httplib::Response& response) {
            asked(request);
            std::string body = "<html><head><title>Home</title></head><body>";
            for (int page = 1; page <= kPages; ++page)
                body += "<a href=\"/p/" + std::to_string(page) + "\">page</a>\n";
            response.set_content(body + "</body></html>", "text/html");
        });
        server.server().Get(R"(/p/(\d+))", [this](const httplib::Request& request, httplib::Response& response) {
            asked(request);
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            response.set_content("<html><head><title>Page " + request.matches[1].str()
                    + "</title></head><body><a href=\"/\">home</a></body></html>",
                "text/html");
        });
        server.server().Get("/missing.html", [this](const httplib::Request& request, httplib::Response& response) {
            asked(request);
            response.status = 404;
            response.set_content("gone", "text/plain");
        });
        started = server.start();
    }
    /// The paths asked for from the `from`th request on.
    QStringList pathsFrom(qsizetype from) const
    {
        const std::lock_guard guard(lock);
        return paths.mid(from);
    }
    crawlmere::test::LoopbackServer server;
    std::atomic<int> requests { 0 };
    bool started = false;

private:
    void asked(const httplib::Request& request)
    {
        const std::lock_guard guard(lock);
        paths.append(QString::fromStdString(request.path));
        ++requests;
    }
    mutable std::mutex lock;
    QStringList paths;
};

class ResultsControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Each case starts from an empty store, as in a process of its own: a site another test
        // of the process stored under the same id would be selected instead of imported.
        storedBefore = defaults().persistentDomain();
        replaceStore({});
        ASSERT_TRUE(site.started);
        prompts = std::make_shared<RecordingPrompts>();
        shell = std::make_unique<app::MainInterface>(defaults(), prompts);
        shell->launch();
    }
    void TearDown() override
    {
        if (shell)
            shell->terminate();
        shell.reset();
        // What the case stored goes with it.
        replaceStore(storedBefore);
    }
    static void replaceStore(const QVariantMap& values)
    {
        for (const QString& key : defaults().persistentDomain().keys()) {
            if (!values.contains(key))
                defaults().removeObjectForKey(key);
        }
        for (auto value = values.cbegin(); value != values.cend(); ++value)
            defaults().setObject(value.value(), value.key());
    }
    static UserDefaults& defaults() { return UserDefaults::standard(); }
    app::MainWindow& window() const { return shell->window(); }
    QPushButton& go() const { return *window().goButton(); }
    int byLinkRows() const { return window().resultView(QStringLiteral("byLinkView"))->model()->rowCount(); }
    QString selectedTab() const { return window().mainTabView()->selectedIdentifier(); }

    SlowSite site;
    QVariantMap storedBefore;
    std::shared_ptr<RecordingPrompts> prompts;
    std::unique_ptr<app::MainInterface> shell;
};

} // namespace

TEST_F(ResultsControllerTest, GoFillsTheByLinkViewLivePauseStopsRequestsAndContinueFinishes)
{
    shell->configManager()->newConfigWithURL(site.server.url(QStringLiteral("/")));
    window().mainTabView()->selectTabViewItemWithIdentifier(QStringLiteral("1"));
    Z12Ara& hub = *shell->hub();

    go().click();
    EXPECT_EQ(go().text(), QStringLiteral("Pause"));
    EXPECT_FALSE(window().progressIndicator()->isHidden());
    EXPECT_TRUE(shell->configManager()->isScanning());
    ASSERT_TRUE(waitUntil([&] { return byLinkRows() > 5; }));
    EXPECT_LT(hub.checkedLinkCount(), kPages + 1) << "the view filled only at the end";

    // The pages in flight at the pause may still reach the server, however late; no other page
    // is asked for while the scan is paused. The window has served its events until the click,
    // so nothing starts between this look at the fetches and the pause.
    QSet<QString> inFlight;
    for (const auto& record : hub.getInProgressArray())
        inFlight.insert(QUrl(record->absoluteString()).path());
    const int requestsAtPause = site.requests.load();
    go().click();
    ASSERT_TRUE(waitUntil([&] { return go().text() == QLatin1String("Continue"); }));
    EXPECT_TRUE(window().progressIndicator()->isHidden());
    EXPECT_FALSE(shell->configManager()->isScanning());
    const auto strayRequest = [&] {
        for (const QString& path : site.pathsFrom(requestsAtPause)) {
            if (!inFlight.contains(path))
                return path;
        }
        return QString();
    };
    // A pump left running asks for the next page at once: the pause's window is a second.
    EXPECT_FALSE(waitUntil([&] { return !strayRequest().isEmpty(); }, 1000))
        << "asked for while paused: " << qPrintable(strayRequest()) << "; in flight at the pause: "
        << qPrintable(QStringList(inFlight.values()).join(' '));
    EXPECT_TRUE(hub.getInProgressArray().isEmpty());
    EXPECT_LT(hub.checkedLinkCount(), kPages + 1);

    go().click();
    EXPECT_EQ(go().text(), QStringLiteral("Pause"));
    ASSERT_TRUE(waitUntil([&] { return go().text() == QLatin1String("Go"); }));
    EXPECT_EQ(hub.checkedLinkCount(), kPages + 1);
    EXPECT_EQ(byLinkRows(), hub.linksCollection().size());
    EXPECT_EQ(window().statusField()->text(),
        ScanControl::statusText(
            hub.checkedLinkCount(), hub.linksCollection().size(), hub.pageCount(), hub.badLinkCount()));
    EXPECT_EQ(window().statusField()->proportion(), 1.0f);
    const QString status = shell->configManager()->currentSettings().value(QStringLiteral("status")).toString();
    EXPECT_TRUE(status.startsWith(QLatin1String("Last checked: "))) << qPrintable(status);
    EXPECT_TRUE(status.endsWith(QStringLiteral("%1 links checked on %2 pages, 0 bad").arg(kPages + 1).arg(kPages + 1)))
        << qPrintable(status);
    waitUntil([] { return false; }, 50);
    EXPECT_TRUE(prompts->alerts.isEmpty());
}

TEST_F(ResultsControllerTest, AMissingStartingPageEndsWithTheAlertQuotingItsStatus)
{
    shell->configManager()->newConfigWithURL(site.server.url(QStringLiteral("/missing.html")));
    go().click();
    ASSERT_TRUE(waitUntil([&] { return !prompts->alerts.isEmpty(); }));
    EXPECT_EQ(go().text(), QStringLiteral("Go"));
    ASSERT_EQ(prompts->alerts.size(), 1);
    EXPECT_EQ(prompts->alerts.last().messageText, QStringLiteral("Possible problem with starting URL"));
    EXPECT_TRUE(prompts->alerts.last().informativeText.contains(QLatin1String("404")))
        << qPrintable(prompts->alerts.last().informativeText);
}

TEST_F(ResultsControllerTest, AScanThatCannotStartLeavesGoAndSaysSo)
{
    // A local page that cannot be read.
    shell->configManager()->newConfigWithURL(QStringLiteral("file:///nonexistent-folder/none.html"));
    go().click();
    EXPECT_EQ(go().text(), QStringLiteral("Go"));
    EXPECT_TRUE(window().progressIndicator()->isHidden());
    EXPECT_FALSE(shell->configManager()->isScanning());
    EXPECT_TRUE(window().statusField()->text().contains(QLatin1String("could not start")))
        << qPrintable(window().statusField()->text());
    EXPECT_EQ(site.requests.load(), 0);
}

TEST_F(ResultsControllerTest, TheLastTabSurvivesARestartAndAFinishOnTheSitesTabReturnsToIt)
{
    window().mainTabView()->selectTabViewItemWithIdentifier(QStringLiteral("4"));
    EXPECT_EQ(defaults().stringForKey(crawlmere::views::ResultTabs::kLastTabSelectedKey), QStringLiteral("4"));
    shell->terminate();
    shell = std::make_unique<app::MainInterface>(defaults(), prompts);
    shell->launch();
    EXPECT_EQ(selectedTab(), QStringLiteral("0"));
    EXPECT_EQ(defaults().stringForKey(crawlmere::views::ResultTabs::kLastTabSelectedKey), QStringLiteral("4"));

    // A scan finished while the sites tab is shown jumps to the last tab shown.
    shell->configManager()->newConfigWithURL(site.server.url(QStringLiteral("/p/1")));
    go().click();
    ASSERT_TRUE(waitUntil([&] { return go().text() == QLatin1String("Go"); }));
    EXPECT_EQ(selectedTab(), QStringLiteral("4"));
    EXPECT_EQ(byLinkRows(), shell->hub()->linksCollection().size());

    // Bad links only (all links here are good) empties the by-link view at once, whatever tab.
    window().menuItem(QStringLiteral("badLinksMenuItem"))->trigger();
    EXPECT_EQ(byLinkRows(), 0);
    EXPECT_TRUE(window().button(QStringLiteral("badLinksButton"))->isChecked());
    window().button(QStringLiteral("badLinksButton"))->click();
    EXPECT_EQ(byLinkRows(), shell->hub()->linksCollection().size());
    EXPECT_FALSE(window().menuItem(QStringLiteral("badLinksMenuItem"))->isChecked());
}

TEST_F(ResultsControllerTest, AColumnDraggedElsewhereKeepsItsPlaceAfterARestart)
{
    const auto order = [this](const char* name) {
        QStringList identifiers;
        for (const TableColumn& column :
            dynamic_cast<const TableView&>(*window().resultView(QLatin1String(name))).tableColumns())
            identifiers << column.identifier;
        return identifiers;
    };
    QMap<QString, QStringList> dragged;
    for (const char* name : { "byLinkView", "byPageOutlineView" }) {
        QHeaderView* header = window().resultView(QLatin1String(name))->header();
        header->moveSection(header->count() - 1, 1);
        dragged[QLatin1String(name)] = order(name);
    }
    shell->terminate();
    shell = std::make_unique<app::MainInterface>(defaults(), prompts);
    shell->launch();
    for (const char* name : { "byLinkView", "byPageOutlineView" })
        EXPECT_EQ(order(name), dragged.value(QLatin1String(name))) << name;
}

TEST_F(ResultsControllerTest, BadLinksOnlyLeftOnShowsOffAfterARestartAndTheFirstClickSwitchesItOn)
{
    window().menuItem(QStringLiteral("badLinksMenuItem"))->trigger();
    ASSERT_TRUE(defaults().boolForKey("badLinksOnly"));
    shell->terminate();
    shell = std::make_unique<app::MainInterface>(defaults(), prompts);
    shell->launch();
    EXPECT_FALSE(defaults().boolForKey("badLinksOnly"));
    EXPECT_FALSE(window().menuItem(QStringLiteral("badLinksMenuItem"))->isChecked());
    EXPECT_FALSE(window().button(QStringLiteral("badLinksButton"))->isChecked());
    window().button(QStringLiteral("badLinksButton"))->click();
    EXPECT_TRUE(defaults().boolForKey("badLinksOnly"));
    EXPECT_TRUE(window().menuItem(QStringLiteral("badLinksMenuItem"))->isChecked());
}

TEST_F(ResultsControllerTest, ExportsOfAnEmptyViewBeepAndTheImageSitemapNeedsImagesGathered)
{
    int posted = 0;
    auto& center = crawlmere::platform::NotificationCenter::defaultCenter();
    center.addObserver(this, app::ResultsController::exportTriggeredByPreviewerDidFinish,
        [&](const crawlmere::platform::Notification&) { ++posted; });
    app::ResultsController& results = shell->results();
    // Nothing scanned: CSV (last tab, "1" while none is stored) and HTML (from tab "0" the same
    // tab) beep over the empty view.
    defaults().removeObjectForKey(crawlmere::views::ResultTabs::kLastTabSelectedKey);
    results.exportAsCSVMenuItem();
    EXPECT_EQ(prompts->beeps, 1);
    results.exportAsHTMLMenuItem();
    EXPECT_EQ(prompts->beeps, 2);
    EXPECT_EQ(posted, 2);
    // The sitemap tab posts nothing.
    defaults().setObject(QStringLiteral("5"), crawlmere::views::ResultTabs::kLastTabSelectedKey);
    results.exportAsCSVMenuItem();
    EXPECT_EQ(posted, 2);
    center.removeObserver(this);

    // A site that does not check images, and neither image sitemap default.
    QTemporaryDir folder;
    const QString settingsFile = folder.filePath(QStringLiteral("site.lcsettings"));
    const QVariantMap noImages { { "id", "20260101-120000-9" }, { "name", "no images" },
        { crawlKey::startingUrl, QStringLiteral("https://example.test/") }, { crawlKey::checkImages, false } };
    ASSERT_TRUE(crawlmere::platform::PropertyList::writeXmlFile(settingsFile, noImages).ok());
    ASSERT_TRUE(shell->configManager()->openLcsettingsFile(settingsFile));
    for (const char* key : { "enableImageSitemap", "includeimagesinsitemap" })
        defaults().setBool(false, QLatin1String(key));
    EXPECT_FALSE(results.getCheckImages());
    results.exportImageXML();
    ASSERT_EQ(prompts->alerts.size(), 1);
    EXPECT_EQ(prompts->alerts.first().messageText, QStringLiteral("Image sitemap not enabled"));
    EXPECT_EQ(prompts->alerts.first().buttons, QStringList { "OK" });
    defaults().setBool(true, QStringLiteral("includeimagesinsitemap"));
    EXPECT_TRUE(results.getCheckImages());
    for (const char* key : { "enableImageSitemap", "includeimagesinsitemap" })
        defaults().removeObjectForKey(QLatin1String(key));

    // No insecure content: the window shows an empty outline; its exports ask nothing and beep not.
    window().menuItem(QStringLiteral("showInsecureListMenuItem"))->trigger();
    ASSERT_NE(results.insecureWindow(), nullptr);
    EXPECT_TRUE(results.insecureWindow()->isVisible());
    EXPECT_EQ(results.insecureWindow()->getOutlineView()->model()->rowCount(), 0);
    const int beeps = prompts->beeps;
    window().menuItem(QStringLiteral("exportInsecureAsCSVMenuItem"))->trigger();
    window().menuItem(QStringLiteral("exportInsecureAsHTMLMenuItem"))->trigger();
    EXPECT_EQ(prompts->beeps, beeps);
}

// An https site whose page redirects to plain http on the same host: the insecure-content
// window lists the redirect with its target, and both its exports write it.
TEST_F(ResultsControllerTest, AnHttpsRedirectToHttpIsListedInTheInsecureWindowAndItsExports)
{
    QTemporaryDir folder;
    const auto certificate = crawlmere::test::makeSelfSignedCertificate(folder.path());
    if (!certificate)
        GTEST_SKIP() << "no openssl tool to make a certificate";
    httplib::SSLServer tls(certificate->certificate.toUtf8().constData(), certificate->key.toUtf8().constData());
    ASSERT_TRUE(tls.is_valid());
    crawlmere::test::LoopbackServer plain;
    plain.server().Get("/page.html", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html><head><title>Plain</title></head><body></body></html>", "text/html");
    });
    ASSERT_TRUE(plain.start());
    const QString insecure = plain.url(QStringLiteral("/page.html"));
    tls.Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html><head><title>Secure</title></head><body><a href=\"/to-http\">page</a></body></html>",
            "text/html");
    });
    tls.Get("/to-http", [&](const httplib::Request&, httplib::Response& response) {
        response.set_redirect(insecure.toStdString(), 301);
    });
    const int port = tls.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);
    std::thread serving([&] { tls.listen_after_bind(); });
    const QString redirecting = QStringLiteral("https://127.0.0.1:%1/to-http").arg(port);

    shell->configManager()->newConfigWithURL(QStringLiteral("https://127.0.0.1:%1/").arg(port));
    go().click();
    const bool finished = waitUntil([&] { return go().text() == QLatin1String("Go"); });
    tls.stop();
    crawlmere::test::shutDownConnectionsAcceptedOn(port);
    serving.join();
    ASSERT_TRUE(finished);

    window().menuItem(QStringLiteral("showInsecureListMenuItem"))->trigger();
    ASSERT_NE(shell->results().insecureWindow(), nullptr);
    const QAbstractItemModel* model = shell->results().insecureWindow()->getOutlineView()->model();
    ASSERT_EQ(model->rowCount(), 1);
    const QModelIndex item = model->index(0, 0);
    EXPECT_EQ(item.data().toString(), redirecting);
    EXPECT_EQ(model->index(0, 1).data().toString(),
        QStringLiteral("This URL redirects to an insecure internal page. Expand to see the redirect url."));
    ASSERT_EQ(model->rowCount(item), 1);
    EXPECT_EQ(model->index(0, 0, item).data().toString(), insecure);

    const QString description
        = QStringLiteral("This url redirects to an insecure internal page. The second url is the redirect url.");
    struct Export {
        const char* item;
        const char* file;
        QString line;
    };
    const Export exports[] = {
        { "exportInsecureAsCSVMenuItem", "insecure.csv",
            QStringLiteral("\"%1\",\"%2\",\"%3\"\n").arg(description, redirecting, insecure) },
        { "exportInsecureAsHTMLMenuItem", "insecure.html",
            QStringLiteral("<tr><td>%1</td><td><a href=\"%2\">%2</a></td><td><a href=\"%3\">%3</a></td></tr>\n")
                .arg(description, redirecting, insecure) },
    };
    for (const Export& made : exports) {
        const QString path = folder.filePath(QLatin1String(made.file));
        answerSavePanelWith(path);
        window().menuItem(QLatin1String(made.item))->trigger();
        ASSERT_TRUE(waitUntil([&] { return QFile::exists(path); })) << made.file;
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_TRUE(QString::fromUtf8(file.readAll()).contains(made.line)) << made.file;
    }
}

TEST_F(ResultsControllerTest, AnOutlineSnapshotHoldsTheShownColumnsAndOnlyTheExpandedRows)
{
    crawlmere::test::PagesOutline outline(4);
    qfOutlineView view;
    view.setTableColumns(crawlmere::test::urlAndStatusColumns());
    view.setOutlineDataSource(&outline);
    view.expand(view.model()->index(2, 0));
    TableExportSnapshot snapshot = app::ResultsController::snapshotOf(view);
    ASSERT_EQ(snapshot.columns.size(), 2);
    EXPECT_TRUE(snapshot.outline);
    EXPECT_TRUE(snapshot.columns[0].outlineColumn);
    EXPECT_FALSE(snapshot.columns[1].outlineColumn);
    // Pages 0 to 3, with the two links of page 2 below it.
    ASSERT_EQ(snapshot.rows.size(), 6);
    EXPECT_EQ(snapshot.rows[3].texts, (QStringList { "https://example.test/p2/l0", "404 not found" }));
    EXPECT_TRUE(snapshot.rows[2].expandable);
    EXPECT_FALSE(snapshot.rows[3].expandable);

    view.setColumnHidden(0, true);
    snapshot = app::ResultsController::snapshotOf(view);
    ASSERT_EQ(snapshot.columns.size(), 1);
    EXPECT_EQ(snapshot.columns[0].identifier, QStringLiteral("status"));
    view.setOutlineDataSource(nullptr);
}

TEST_F(ResultsControllerTest, AFinishedScanFillsTheByPageByStatusAndFlatTabsAndTheFlatTabExportsAsCSV)
{
    shell->configManager()->newConfigWithURL(site.server.url(QStringLiteral("/")));
    window().mainTabView()->selectTabViewItemWithIdentifier(QStringLiteral("1"));
    go().click();
    ASSERT_TRUE(waitUntil([&] { return go().text() == QLatin1String("Go"); }));
    const Z12Ara& hub = *shell->hub();
    const auto rowsOf = [&](const char* tab, const char* view) {
        window().mainTabView()->selectTabViewItemWithIdentifier(QLatin1String(tab));
        return window().resultView(QLatin1String(view))->model()->rowCount();
    };
    // Every page links to another: 31 pages; one status; one row per link found on a page.
    EXPECT_EQ(rowsOf("2", "byPageOutlineView"), kPages + 1);
    EXPECT_EQ(rowsOf("3", "byStatusOutlineView"), 1);
    EXPECT_EQ(rowsOf("4", "flatView"), static_cast<int>(hub.instanceCollection().size()));
    EXPECT_EQ(hub.instanceCollection().size(), size_t(2 * kPages));
    // The sitemap tab, after the flat view: every page is good and internal.
    EXPECT_EQ(window().mainTabView()->identifiers().mid(4, 2), (QStringList { "4", "5" }));
    EXPECT_EQ(rowsOf("5", "sitemapTableView"), kPages + 1);
    EXPECT_EQ(shell->results().resultTabs().determineFrontDataSource(QStringLiteral("5")),
        &shell->results().sitemapManager());

    // The toolbar's expand button opens the front outline's groups.
    QTreeView* byStatus = window().resultView(QStringLiteral("byStatusOutlineView"));
    window().mainTabView()->selectTabViewItemWithIdentifier(QStringLiteral("3"));
    window().button(QStringLiteral("expandButton"))->click();
    EXPECT_TRUE(byStatus->isExpanded(byStatus->model()->index(0, 0)));

    // The search text reaches the flat view too.
    window().mainTabView()->selectTabViewItemWithIdentifier(QStringLiteral("4"));
    window().searchField()->setText(QStringLiteral("/p/7"));
    EXPECT_EQ(window().resultView(QStringLiteral("flatView"))->model()->rowCount(), 1);
    window().searchField()->clear();

    QTemporaryDir folder;
    const QString csv = folder.filePath(QStringLiteral("flat.csv"));
    answerSavePanelWith(csv);
    shell->results().exportAsCSVMenuItem();
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(csv); }));
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().count('\n'), 1 + 2 * kPages);

    // The SEO tab is not in the window; asked for, it fills from the internal pages and its
    // page table exports through the CSV item.
    EXPECT_FALSE(window().mainTabView()->identifiers().contains(QStringLiteral("7")));
    shell->results().resultTabs().tabViewDidSelectTabViewItem(QStringLiteral("7"));
    EXPECT_EQ(shell->results().seoResults().manager().getCount(), kPages + 1);
    const QString seo = folder.filePath(QStringLiteral("seo.csv"));
    answerSavePanelWith(seo);
    shell->results().exportAsCSVMenuItem();
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(seo); }));
    QFile seoFile(seo);
    ASSERT_TRUE(seoFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(seoFile.readAll().count('\n'), 1 + kPages + 1);
}

TEST_F(ResultsControllerTest, AScanKeepingItsArchiveExportsItToTheSitesFolderOnceTheIndexIsSaved)
{
    QTemporaryDir folder;
    const QString out = folder.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(out));
    const QString settingsFile = folder.filePath(QStringLiteral("site.lcsettings"));
    const QVariantMap archived { { "id", "20260101-120000-7" }, { "name", "archived" },
        { crawlKey::startingUrl, site.server.url(QStringLiteral("/")) }, { crawlKey::shouldArchive, true } };
    ASSERT_TRUE(crawlmere::platform::PropertyList::writeXmlFile(settingsFile, archived).ok());
    ASSERT_TRUE(shell->configManager()->openLcsettingsFile(settingsFile));
    // The folder chosen here for the site ("don't ask again"); a settings file never chooses it.
    shell->configManager()->setArchiveSaveLocation(out);
    go().click();
    ASSERT_TRUE(waitUntil([&] { return go().text() == QLatin1String("Go"); }));
    ASSERT_TRUE(waitUntil([&] { return !QDir(out).isEmpty(); })) << "no export started";
    ASSERT_TRUE(shell->archiveExport().waitForExport(std::chrono::seconds(30)));
    QStringList files;
    for (QDirIterator it(out, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        files << QDir(out).relativeFilePath(it.next());
    // Every page of the site, once; the status line says where they went.
    EXPECT_EQ(files.size(), kPages + 1) << qPrintable(files.join(u' '));
    const QString made = QDir(out).entryList(QDir::Dirs | QDir::NoDotAndDotDot).value(0);
    EXPECT_EQ(window().statusField()->text(),
        QStringLiteral("Archive exported to %1 (%2 files)").arg(QDir(out).filePath(made)).arg(kPages + 1));
}

// Counts come faster than the display follows: the rest of it is brought up to date a little
// later, and leaves the status line alone, which said the counts already and may say more since.
TEST_F(ResultsControllerTest, TheDisplayHeldBackAfterTheCountsLeavesTheStatusLineAsItIs)
{
    shell->results().updateStatus(nullptr);
    shell->results().updateStatus(nullptr);
    go().setText(QStringLiteral("held back")); // until the display catches up
    const QString message = QStringLiteral("Archive exported to /tmp/site (3 files)");
    window().statusField()->setText(message);
    ASSERT_TRUE(waitUntil([&] { return go().text() != QLatin1String("held back"); }));
    EXPECT_EQ(window().statusField()->text(), message);
}

TEST_F(ResultsControllerTest, TheSitemapKeepsTheScannedSitesSettingsWhicheverSiteIsSelectedMidScan)
{
    shell->configManager()->newConfigWithURL(site.server.url(QStringLiteral("/")));
    const QString scannedID = shell->configManager()->getIDForCurrentSite();
    go().click();
    ASSERT_EQ(go().text(), QStringLiteral("Pause"));
    // Another site's settings file is opened during the scan; the scan goes on (Continue).
    QTemporaryDir folder;
    const QString settingsFile = folder.filePath(QStringLiteral("other.lcsettings"));
    const QVariantMap other { { "id", "20260101-120000-8" }, { "name", "other" },
        { crawlKey::startingUrl, QStringLiteral("https://other.test/") },
        { "sitemapRules",
            QVariantList { QVariantMap {
                { "contains", "/p/" }, { "match", false }, { "priority", "0.1" }, { "update", "never" } } } } };
    ASSERT_TRUE(crawlmere::platform::PropertyList::writeXmlFile(settingsFile, other).ok());
    ASSERT_TRUE(shell->configManager()->openLcsettingsFile(settingsFile));
    ASSERT_NE(shell->configManager()->getIDForCurrentSite(), scannedID);
    if (go().text() == QLatin1String("Continue"))
        go().click();
    ASSERT_TRUE(waitUntil([&] { return go().text() == QLatin1String("Go"); }));

    // The sitemap's rules and the root its index names are the scanned site's.
    const auto& manager = shell->results().sitemapManager();
    EXPECT_EQ(manager.crawlSettings().value(QStringLiteral("id")).toString(), scannedID);
    EXPECT_EQ(manager.crawlSettings().value(crawlKey::startingUrl).toString(), site.server.url(QStringLiteral("/")));
    EXPECT_FALSE(manager.ruleThatApplies(site.server.url(QStringLiteral("/p/1"))));
    // So it stays when the selected site's rules are saved.
    shell->results().sitemapRulesDidChange();
    EXPECT_EQ(manager.crawlSettings().value(QStringLiteral("id")).toString(), scannedID);

    // An edit of the sitemap table is a rule of the scanned site, not of the one selected.
    auto* table = window().findChild<crawlmereTableView*>(QStringLiteral("sitemapTableView"));
    ASSERT_NE(table, nullptr);
    auto& editable = shell->results().sitemapManager();
    ASSERT_GT(editable.numberOfRowsInTableView(*table), 0);
    editable.tableViewSetObjectValue(*table, { "priority", "Priority" }, 0, "0.3");
    const auto rulesOf = [&](const QString& id) {
        return shell->configManager()->settingsForID(id).value_or(QVariantMap()).value("sitemapRules").toList();
    };
    ASSERT_EQ(rulesOf(scannedID).size(), 1);
    EXPECT_EQ(rulesOf(scannedID).at(0).toMap().value("priority").toString(), "0.3");
    EXPECT_EQ(shell->configManager()->sitemapRules().size(), 1); // the selected site's own rule only
    EXPECT_EQ(manager.crawlSettings().value("sitemapRules").toList(), rulesOf(scannedID));
}

// The sitemap of a scan goes to the scanned site's FTP server and folder, and the sheet stores
// what was typed there, however the selection moved during the scan (another site clicked,
// a third opened from its settings file).
TEST_F(ResultsControllerTest, TheSitemapUploadGoesToTheScannedSitesServerWhicheverSiteIsSelected)
{
    FtpTestServer scannedServer;
    FtpTestServer otherServer;
    ASSERT_NE(scannedServer.port(), 0);
    ASSERT_NE(otherServer.port(), 0);
    for (const char* path : { "up", "wrong", "b" }) {
        QDir(scannedServer.root()).mkpath(QLatin1String(path));
        QDir(otherServer.root()).mkpath(QLatin1String(path));
    }
    // C's own sitemap files are already on its server.
    const QString wrongIndex = QDir(otherServer.root()).filePath(QStringLiteral("wrong/sitemap.xml"));
    {
        QFile own(wrongIndex);
        ASSERT_TRUE(own.open(QIODevice::WriteOnly));
        own.write("C's own sitemap");
    }
    const auto upload = [](const FtpTestServer& server, const char* folder, const char* user) {
        return QVariantMap { { crawlKey::ftpserver, "127.0.0.1" },
            { crawlKey::ftpport, QString::number(server.port()) }, { crawlKey::ftpdirectory, QLatin1String(folder) },
            { crawlKey::ftpusername, QLatin1String(user) } };
    };
    defaults().setObject(2, QStringLiteral("sitemapOptions"));
    defaults().setObject(1, QStringLiteral("sitemapFilenameOptions"));
    crawlmere::settings::ConfigManager& sites = *shell->configManager();
    sites.newConfigWithURL(QStringLiteral("http://127.0.0.1:9/b/"));
    sites.setCurrentSettingsValues(upload(otherServer, "/b/", "user"));
    const QString idB = sites.getIDForCurrentSite();
    sites.newConfigWithURL(site.server.url(QStringLiteral("/")));
    sites.setCurrentSettingsValues(upload(scannedServer, "/up/", "user"));
    const QString idA = sites.getIDForCurrentSite();

    go().click();
    ASSERT_EQ(go().text(), QStringLiteral("Pause"));
    for (qsizetype row = 0; row < sites.rows().size(); ++row) {
        if (sites.rows().at(row).ID == idB)
            sites.tableViewSelectionDidChange(int(row));
    }
    ASSERT_EQ(sites.getIDForCurrentSite(), idB);
    QTemporaryDir folder;
    const QString settingsFile = folder.filePath(QStringLiteral("c.lcsettings"));
    QVariantMap siteC = upload(otherServer, "/wrong/", "user");
    siteC.insert({ { "id", "20260101-120000-9" }, { "name", "C" }, { crawlKey::startingUrl, "https://c.test/" },
        { crawlKey::ftppassword, "secret" } });
    ASSERT_TRUE(crawlmere::platform::PropertyList::writeXmlFile(settingsFile, siteC).ok());
    ASSERT_TRUE(sites.openLcsettingsFile(settingsFile));
    ASSERT_EQ(sites.getIDForCurrentSite(), "20260101-120000-9");
    if (go().text() == QLatin1String("Continue"))
        go().click();
    ASSERT_TRUE(waitUntil([&] { return go().text() == QLatin1String("Go"); }));

    // Export XML Sitemap opens the sheet with A's server, folder and user.
    auto* sheet = window().findChild<crawlmere::views::SitemapFtpSheet*>(QStringLiteral("ftpDialog"));
    ASSERT_NE(sheet, nullptr);
    window().menuItem(QStringLiteral("exportXMLMenuItem"))->trigger();
    ASSERT_TRUE(waitUntil([&] { return sheet->isVisible(); }));
    const auto field = [&](const QString& key) { return sheet->findChild<QLineEdit*>(key); };
    EXPECT_EQ(field(crawlKey::ftpport)->text(), QString::number(scannedServer.port()));
    EXPECT_EQ(field(crawlKey::ftpdirectory)->text(), "/up/");
    field(crawlKey::ftppassword)->setText(QStringLiteral("secret"));
    sheet->findChild<QPushButton*>(QStringLiteral("ftpOKButton"))->click();
    ASSERT_TRUE(waitUntil([&] { return !prompts->alerts.isEmpty(); }, 60000));
    EXPECT_EQ(prompts->alerts.constLast().messageText, "ftp successful");

    EXPECT_TRUE(QFile::exists(QDir(scannedServer.root()).filePath(QStringLiteral("up/sitemap.xml"))));
    QFile own(wrongIndex);
    ASSERT_TRUE(own.open(QIODevice::ReadOnly));
    EXPECT_EQ(own.readAll(), "C's own sitemap");
    EXPECT_FALSE(otherServer.commandLog().contains(QStringLiteral("STOR")));
    // The typed password is A's; C keeps its own settings, and B has none.
    EXPECT_EQ(sites.settingsForID(idA).value_or(QVariantMap()).value(crawlKey::ftppassword), "secret");
    EXPECT_EQ(sites.getCurrentSettingsForExport().value(crawlKey::ftpdirectory), "/wrong/");
    EXPECT_TRUE(sites.settingsForID(idB).value_or(QVariantMap()).value(crawlKey::ftppassword).toString().isEmpty());
}

// The export items that would do nothing are disabled until there is something to export; their
// state is refreshed as the File menu opens.
TEST_F(ResultsControllerTest, ExportItemsAreEnabledOnlyWithSomethingToExport)
{
    QMenu* file = window().menuBar()->findChild<QMenu*>(QStringLiteral("fileMenu"));
    ASSERT_NE(file, nullptr);
    const auto enabledItems = [&] {
        Q_EMIT file->aboutToShow();
        QStringList enabled;
        for (const char* name : { "exportAsCSVMenuItem", "exportXMLMenuItem", "exportInsecureAsCSVMenuItem",
                 "exportInsecureAsHTMLMenuItem", "exportAsHTMLMenuItem", "exportPreviewAsCSVMenuItem" }) {
            if (window().menuItem(QLatin1String(name))->isEnabled())
                enabled << QLatin1String(name);
        }
        return enabled;
    };
    // What Export as CSV… exports is the last tab shown: none yet, whatever an earlier test left.
    defaults().removeObjectForKey(crawlmere::views::ResultTabs::kLastTabSelectedKey);
    EXPECT_EQ(enabledItems(), QStringList());

    shell->configManager()->newConfigWithURL(site.server.url(QStringLiteral("/")));
    go().click();
    ASSERT_TRUE(waitUntil([&] { return go().text() == QLatin1String("Go"); }));
    // A plain http site has no insecure content.
    EXPECT_EQ(enabledItems(),
        (QStringList { "exportAsCSVMenuItem", "exportXMLMenuItem", "exportAsHTMLMenuItem", "exportPreviewAsCSVMenuItem" }));

    // The save panel proposes a name from the site and the view, and opens where the last file
    // of that view went (not where the last export of another view went).
    QTemporaryDir folder;
    const QDir root(folder.path());
    ASSERT_TRUE(root.mkpath(QStringLiteral("links")) && root.mkpath(QStringLiteral("flat")));
    struct Export {
        const char* tab;
        const char* path;
        const char* name;
        const char* folder; // "" when the view has no folder yet
    };
    const Export exports[] = {
        { "1", "links/a.csv", "127.0.0.1-by-link.csv", "" },
        { "4", "flat/b.csv", "127.0.0.1-flat.csv", "" },
        { "1", "links/c.csv", "127.0.0.1-by-link.csv", "links" },
        { "4", "flat/d.csv", "127.0.0.1-flat.csv", "flat" },
    };
    for (const Export& made : exports) {
        window().mainTabView()->selectTabViewItemWithIdentifier(QLatin1String(made.tab));
        crawlmere::test::ShownSavePanel shown;
        const QString csv = root.filePath(QLatin1String(made.path));
        answerSavePanelWith(csv, &shown);
        window().menuItem(QStringLiteral("exportAsCSVMenuItem"))->trigger();
        ASSERT_TRUE(waitUntil([&] { return QFile::exists(csv); })) << made.path;
        EXPECT_EQ(shown.fileName, QLatin1String(made.name));
        if (*made.folder) {
            EXPECT_EQ(shown.folder, root.filePath(QLatin1String(made.folder)));
        }
    }

    InsecureContentRecord record;
    record.url = QStringLiteral("https://example.test/");
    record.array = QStringList { QStringLiteral("http://example.test/image.png") };
    shell->results().insecureDataSource().setCollection({ record });
    EXPECT_EQ(enabledItems(),
        (QStringList { "exportAsCSVMenuItem", "exportXMLMenuItem", "exportInsecureAsCSVMenuItem",
            "exportInsecureAsHTMLMenuItem", "exportAsHTMLMenuItem", "exportPreviewAsCSVMenuItem" }));

    // Cleared, the sheet with its preview has nothing to export either.
    window().menuItem(QStringLiteral("clearMenuItem"))->trigger();
    EXPECT_FALSE(enabledItems().contains(QStringLiteral("exportPreviewAsCSVMenuItem"))) << qPrintable(enabledItems().join(u' '));
    EXPECT_FALSE(window().findChild<QAbstractButton*>(QStringLiteral("exportPreviewButton"))->isEnabled());
}
