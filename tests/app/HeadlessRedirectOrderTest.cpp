// A page reached both through a redirect chain and directly: whichever answer arrives first, the
// headless scan writes the same views, sitemap and archive index, with the page under its own
// address and the redirect only a redirect.
#include "app/HeadlessScan.h"
#include "app/QuietHeadlessRun.h"

#include "engine/EngineDefaults.h"
#include "platform/Paths.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "support/LoopbackServer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <random>
#include <set>
#include <thread>

using namespace crawlmere::app;
using crawlmere::test::LoopbackServer;
using namespace std::chrono_literals;

namespace {

enum class Order { Free, RedirectFirst, DirectFirst };

/// "/old-tutorial.html" 301 to "/older-tutorial.html" 302 to "/guide/tutorial/index.html", which
/// the home page also links. `Order` holds one answer back so that the chain's or the direct
/// answer of the tutorial page reaches the scan first; `Free` answers after a random short wait.
class TutorialSite {
public:
    explicit TutorialSite(Order order)
        : m_order(order)
    {
        auto& s = server.server();
        s.new_task_queue = [] { return new httplib::ThreadPool(8); };
        s.set_keep_alive_max_count(1); // the server stops without waiting for idle connections
        html("/", "", R"(<a href="/old-tutorial.html">old</a> <a href="/guide/tutorial/index.html">Tutorial</a>
<a href="/a.html">A</a>)");
        html("/a.html", "", R"(<a href="/">home</a>)");
        html("/guide/tutorial/index.html", R"(<link rel="stylesheet" href="../../style.css">)",
            R"(<img src="../../missing.png" alt="gone"> <a href="../../a.html">A</a> <a href="next.html">next</a>)");
        html("/guide/tutorial/next.html", "", R"(<a href="index.html">back</a>)");
        s.Get("/style.css", [this](const httplib::Request& request, httplib::Response& response) {
            asked(request.path);
            jitter();
            response.set_content("body { color: black }", "text/css");
        });
        s.Get("/old-tutorial.html", [this](const httplib::Request&, httplib::Response& response) {
            if (m_order == Order::DirectFirst)
                waitFor([this] { return tutorialLinksAsked(); }); // the direct answer was read
            jitter();
            response.status = 301;
            response.set_header("Location", "/older-tutorial.html");
        });
        s.Get("/older-tutorial.html", [this](const httplib::Request&, httplib::Response& response) {
            if (m_order == Order::RedirectFirst)
                waitFor([this] { return m_tutorialAsked > 0; }); // the direct request is held
            {
                const std::lock_guard lock(m_lock);
                m_olderServed = true;
            }
            jitter();
            response.status = 302;
            response.set_header("Location", "/guide/tutorial/index.html");
        });
        started = server.start();
    }

    LoopbackServer server;
    bool started = false;

private:
    void html(const std::string& path, const std::string& head, const std::string& body)
    {
        const std::string text = "<html><head><title>" + path + "</title>" + head + "</head><body>" + body
            + "</body></html>";
        const bool tutorial = path == "/guide/tutorial/index.html";
        server.server().Get(path, [this, text, tutorial](const httplib::Request& request, httplib::Response& response) {
            asked(request.path);
            bool chain = false;
            if (tutorial) {
                {
                    const std::lock_guard lock(m_lock);
                    chain = m_olderServed;
                    ++m_tutorialAsked;
                }
                m_changed.notify_all();
                if (m_order == Order::RedirectFirst && !chain)
                    waitFor([this] { return m_chainServed && tutorialLinksAsked(); }); // the chain's answer was read
            }
            jitter(tutorial ? 100 : 30);
            response.set_content(text, "text/html");
            if (tutorial) {
                {
                    const std::lock_guard lock(m_lock);
                    ++m_tutorialServed;
                    m_chainServed = m_chainServed || chain;
                }
                m_changed.notify_all();
            }
        });
    }
    void asked(const std::string& path)
    {
        {
            const std::lock_guard lock(m_lock);
            m_asked.insert(path);
        }
        m_changed.notify_all();
    }
    /// The scan asked for a link that only the tutorial page names: it has read that page. Under
    /// the lock.
    bool tutorialLinksAsked() const
    {
        return m_asked.contains("/style.css") || m_asked.contains("/guide/tutorial/next.html");
    }
    void waitFor(const std::function<bool()>& ready)
    {
        std::unique_lock lock(m_lock);
        m_changed.wait_for(lock, 10s, ready);
    }
    /// Up to `most` ms, so that the direct answer and the chain's answer come first by turns.
    void jitter(int most = 30)
    {
        if (m_order != Order::Free)
            return;
        int ms = 0;
        {
            const std::lock_guard lock(m_lock);
            ms = std::uniform_int_distribution<int>(0, most)(m_random);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }

    const Order m_order;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::mt19937 m_random { std::random_device {}() };
    bool m_olderServed = false;
    bool m_chainServed = false;
    int m_tutorialAsked = 0;
    int m_tutorialServed = 0;
    std::set<std::string> m_asked;
};

/// Home links "/r301" (301 to "/t.html") and "/mid.html", which links "/t.html" and "/after.html";
/// "/t.html" links "/deep.html", which links "/deeper.html", which links "/deepest.html". Scanned
/// with two fetches at a time, `RedirectFirst` holds "/mid.html" back until "/t.html" was asked
/// for (so the redirect was read first), and `DirectFirst` holds "/r301" back until
/// "/after.html" was asked for (so "/t.html" was read through "/mid.html" first); `Free` answers
/// after a random short wait.
class ShortcutSite {
public:
    explicit ShortcutSite(Order order)
        : m_order(order)
    {
        auto& s = server.server();
        s.new_task_queue = [] { return new httplib::ThreadPool(8); };
        s.set_keep_alive_max_count(1);
        page("/", R"(<a href="/r301">moved</a> <a href="/mid.html">middle</a>)");
        page("/mid.html", R"(<a href="/t.html">target</a> <a href="/after.html">after</a>)", Order::RedirectFirst,
            "/t.html");
        page("/t.html", R"(<a href="/deep.html">deeper</a>)");
        page("/after.html", "after");
        page("/deep.html", R"(<a href="/deeper.html">deeper</a>)");
        page("/deeper.html", R"(<a href="/deepest.html">deepest</a>)");
        page("/deepest.html", "deepest");
        s.Get("/r301", [this](const httplib::Request& request, httplib::Response& response) {
            answer(request.path, Order::DirectFirst, "/after.html");
            response.status = 301;
            response.set_header("Location", "/t.html");
        });
        started = server.start();
    }

    LoopbackServer server;
    bool started = false;

private:
    static std::string html(const std::string& title, const std::string& body)
    {
        return "<html><head><title>" + title + "</title></head><body>" + body + "</body></html>";
    }
    /// A page, held back in `holdIn` until `holdUntil` was asked for.
    void page(const std::string& path, const std::string& body, Order holdIn = Order::Free,
        const std::string& holdUntil = {})
    {
        const std::string text = html(path, body);
        server.server().Get(path, [this, text, holdIn, holdUntil](const httplib::Request& request, httplib::Response& response) {
            answer(request.path, holdIn, holdUntil);
            response.set_content(text, "text/html");
        });
    }
    void answer(const std::string& path, Order holdIn, const std::string& holdUntil)
    {
        std::unique_lock lock(m_lock);
        m_asked.insert(path);
        m_changed.notify_all();
        if (m_order == holdIn && !holdUntil.empty())
            m_changed.wait_for(lock, 10s, [&] { return m_asked.contains(holdUntil); });
        if (m_order == Order::Free) {
            const int ms = std::uniform_int_distribution<int>(0, 30)(m_random);
            lock.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        }
    }

    const Order m_order;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::mt19937 m_random { std::random_device {}() };
    std::set<std::string> m_asked;
};

QString readText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QStringLiteral("(none)");
}

/// What one scan leaves, with the server's address replaced by "ROOT".
struct ScanOutput {
    QString links; ///< the links CSV
    QString byPage; ///< the by-page view's CSV
    QString sitemap;
    QStringList archive; ///< each index entry: URL, status and type
};

class HeadlessRedirectOrderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        crawlmere::engine::registerEngineDefaults(crawlmere::platform::UserDefaults::standard());
    }

    int run(const QStringList& arguments) { return crawlmere::test::runHeadlessQuietly(arguments); }

    /// Scans the site twice (the links with their columns; the by-page view, the sitemap and the
    /// archive), each time on a new server holding back the answer `order` says.
    ScanOutput scan(Order order)
    {
        ScanOutput output;
        const QString links = folder.filePath(QStringLiteral("links.csv"));
        const QString byPage = folder.filePath(QStringLiteral("by-page.csv"));
        const QString sitemap = folder.filePath(QStringLiteral("sitemap.xml"));
        const QStringList common { QStringLiteral("--headless"), QStringLiteral("--set"),
            QStringLiteral("numberOfThreads=4"), QStringLiteral("--set"),
            QStringLiteral("dontFollowNofollowLinks=YES") };
        QString root;
        {
            TutorialSite site(order);
            EXPECT_TRUE(site.started);
            root = site.server.url(QString());
            EXPECT_EQ(run(QStringList(common) << QStringLiteral("--columns")
                                              << QStringLiteral("url,status,redir,linkpagetitle,linkcount,onpagecount")
                                              << QStringLiteral("--csv") << links << site.server.url(QStringLiteral("/"))),
                kExitFinished);
            output.links = readText(links).replace(root, QStringLiteral("ROOT"));
        }
        {
            TutorialSite site(order);
            EXPECT_TRUE(site.started);
            root = site.server.url(QString());
            EXPECT_EQ(run(QStringList(common) << QStringLiteral("--set") << QStringLiteral("shouldArchive=YES")
                                              << QStringLiteral("--view") << QStringLiteral("2")
                                              << QStringLiteral("--csv") << byPage << QStringLiteral("--sitemap")
                                              << sitemap << site.server.url(QStringLiteral("/"))),
                kExitFinished);
            // The pages in the order of their addresses (the view lists them as they arrived).
            QStringList blocks;
            for (const QString& line : readText(byPage).replace(root, QStringLiteral("ROOT")).split(u'\n')) {
                if (blocks.isEmpty() || !line.startsWith(QStringLiteral("\"\t")))
                    blocks << line;
                else
                    blocks.last() += u'\n' + line;
            }
            blocks.sort();
            output.byPage = blocks.join(u'\n');
            output.sitemap = readText(sitemap).replace(root, QStringLiteral("ROOT"));
        }
        const QString index
            = QDir(crawlmere::platform::Paths::applicationSupportFolder()).filePath(QStringLiteral("archive/index.plist"));
        const auto entries = crawlmere::platform::PropertyList::readFile(index);
        EXPECT_TRUE(entries.ok()) << qPrintable(index);
        if (entries) {
            const QVariantMap map = entries.value().toMap();
            for (auto it = map.begin(); it != map.end(); ++it) {
                const QVariantMap version = it.value().toList().value(0).toMap();
                output.archive << QStringLiteral("%1 %2 %3")
                                      .arg(QString(it.key()).replace(root, QStringLiteral("ROOT")),
                                          version.value(QStringLiteral("status")).toString(),
                                          version.value(QStringLiteral("type")).toString());
            }
        }
        return output;
    }

    /// Scans the shortcut site at `levels` with two fetches at a time: the rows (url, distance,
    /// appears on) in address order and the sitemap.
    ScanOutput scanShortcut(Order order, int levels)
    {
        const QString links = folder.filePath(QStringLiteral("shortcut.csv"));
        const QString sitemap = folder.filePath(QStringLiteral("shortcut.xml"));
        ShortcutSite site(order);
        EXPECT_TRUE(site.started);
        EXPECT_EQ(run({ QStringLiteral("--headless"), QStringLiteral("--set"), QStringLiteral("numberOfThreads=2"),
                      QStringLiteral("--set"), QStringLiteral("levelsLimit=%1").arg(levels),
                      QStringLiteral("--columns"), QStringLiteral("url,distance,onpageurl"), QStringLiteral("--csv"),
                      links, QStringLiteral("--sitemap"), sitemap, site.server.url(QStringLiteral("/")) }),
            kExitFinished);
        const QString root = site.server.url(QString());
        QStringList rows = readText(links).replace(root, QStringLiteral("ROOT")).split(u'\n');
        rows.sort(); // the rows as they arrived
        ScanOutput output;
        output.links = rows.join(u'\n');
        output.sitemap = readText(sitemap).replace(root, QStringLiteral("ROOT"));
        return output;
    }

    QTemporaryDir folder;
};

} // namespace

TEST_F(HeadlessRedirectOrderTest, ThePageIsFiledUnderItsOwnAddressWhicheverAnswerArrivesFirst)
{
    const ScanOutput redirectFirst = scan(Order::RedirectFirst);
    const ScanOutput directFirst = scan(Order::DirectFirst);
    EXPECT_EQ(redirectFirst.links.toStdString(), directFirst.links.toStdString());
    EXPECT_EQ(redirectFirst.byPage.toStdString(), directFirst.byPage.toStdString());
    EXPECT_EQ(redirectFirst.sitemap.toStdString(), directFirst.sitemap.toStdString());
    EXPECT_EQ(redirectFirst.archive.join(u'\n').toStdString(), directFirst.archive.join(u'\n').toStdString());

    // The redirect carries no page of its own: no links, no sitemap entry, no archived copy; the
    // page has them under its own address, and the redirect's row shows the page's title.
    EXPECT_TRUE(redirectFirst.links.contains(QStringLiteral(
        R"("ROOT/old-tutorial.html","200 ok < 301 moved permanently","ROOT/guide/tutorial/index.html","/guide/tutorial/index.html","0","1")")))
        << qPrintable(redirectFirst.links);
    EXPECT_TRUE(redirectFirst.links.contains(
        QStringLiteral(R"("ROOT/guide/tutorial/index.html","200 ok","","/guide/tutorial/index.html","2","2")")));
    EXPECT_TRUE(redirectFirst.sitemap.contains(QStringLiteral("<loc>ROOT/guide/tutorial/index.html</loc>")));
    EXPECT_FALSE(redirectFirst.sitemap.contains(QStringLiteral("old-tutorial")));
    EXPECT_FALSE(redirectFirst.archive.join(u'\n').contains(QStringLiteral("old-tutorial")));
    EXPECT_TRUE(redirectFirst.archive.join(u'\n').contains(QStringLiteral("ROOT/guide/tutorial/index.html")));
}

TEST_F(HeadlessRedirectOrderTest, TenRunsWriteTheSameCsvAndSitemap)
{
    const ScanOutput first = scan(Order::Free);
    for (int run = 1; run < 10; ++run) {
        SCOPED_TRACE(run);
        const ScanOutput again = scan(Order::Free);
        EXPECT_EQ(again.links.toStdString(), first.links.toStdString());
        EXPECT_EQ(again.byPage.toStdString(), first.byPage.toStdString());
        EXPECT_EQ(again.sitemap.toStdString(), first.sitemap.toStdString());
    }
}

TEST_F(HeadlessRedirectOrderTest, APageReachedThroughARedirectIsAtTheRedirectsDistanceWhicheverAnswerComesFirst)
{
    for (const int levels : { 2, 3 }) {
        SCOPED_TRACE(levels);
        const ScanOutput redirectFirst = scanShortcut(Order::RedirectFirst, levels);
        const ScanOutput directFirst = scanShortcut(Order::DirectFirst, levels);
        EXPECT_EQ(redirectFirst.links.toStdString(), directFirst.links.toStdString());
        EXPECT_EQ(redirectFirst.sitemap.toStdString(), directFirst.sitemap.toStdString());
        // "/t.html" is 1 from home through the redirect, so what it links is read to the limit.
        EXPECT_TRUE(redirectFirst.links.contains(QStringLiteral(R"("ROOT/t.html","1","ROOT/mid.html")")))
            << qPrintable(redirectFirst.links);
        EXPECT_TRUE(redirectFirst.links.contains(QStringLiteral(R"("ROOT/deep.html","2","ROOT/t.html")")));
        EXPECT_EQ(redirectFirst.links.contains(QStringLiteral("ROOT/deeper.html")), levels == 3);
        EXPECT_FALSE(redirectFirst.links.contains(QStringLiteral("ROOT/deepest.html")));
        EXPECT_TRUE(
            redirectFirst.sitemap.contains(QStringLiteral("<loc>ROOT/t.html</loc>\n\t\t<priority>0.5</priority>")))
            << qPrintable(redirectFirst.sitemap);
        EXPECT_TRUE(redirectFirst.sitemap.contains(QStringLiteral("<loc>ROOT/deep.html</loc>")));
        EXPECT_EQ(redirectFirst.sitemap.contains(QStringLiteral("<loc>ROOT/deeper.html</loc>")), levels == 3);
    }
}

TEST_F(HeadlessRedirectOrderTest, TwelveRunsOfAShortcutAtTheLevelsLimitGiveOneResult)
{
    const ScanOutput first = scanShortcut(Order::Free, 3);
    for (int run = 1; run < 12; ++run) {
        SCOPED_TRACE(run);
        const ScanOutput again = scanShortcut(Order::Free, 3);
        EXPECT_EQ(again.links.toStdString(), first.links.toStdString());
        EXPECT_EQ(again.sitemap.toStdString(), first.sitemap.toStdString());
    }
}
