// Rendering pages in the browser engine against loopback servers: links added by script, the
// replayed POST request, the shared store's cookies, and a page whose script never ends.
#include "webrender/WebEngineRenderBackend.h"

#include "engine/CrwlUrlFetchSupport.h"
#include "engine/PageRenderer.h"
#include "platform/CookieStore.h"
#include "platform/UrlRequest.h"
#include "webrender/HeadlessRun.h"
#include "webrender/PageRelease.h"
#include "webrender/WebRenderSetup.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <mutex>
#include <vector>

using crawlmere::platform::CookieStore;
using crawlmere::platform::HttpCookie;
using crawlmere::platform::UrlRequest;
using crawlmere::test::FetchOwner;
using crawlmere::test::headlessScan;
using crawlmere::test::LoopbackServer;
namespace Dispatch = crawlmere::platform::Dispatch;

namespace {

const char* const kScriptedPage = R"(<html><head><title>Home</title><script>
setTimeout(function () {
  for (const path of ['/late1', '/late2']) {
    const link = document.createElement('a');
    link.href = path;
    link.textContent = path;
    document.body.appendChild(link);
  }
}, 300);
</script></head><body><a href="/plain">plain</a></body></html>)";

class WebEngineRenderBackendTest : public testing::Test {
protected:
    void SetUp() override
    {
        auto& http = server.server();
        http.Get("/", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(kScriptedPage, "text/html");
        });
        for (const char* path : { "/plain", "/late1", "/late2" }) {
            http.Get(path, [this](const httplib::Request& request, httplib::Response& response) {
                // The browser engine's own navigations say so; the crawl's fetches do not.
                if (request.path == "/plain" && request.get_header_value("Sec-Fetch-Mode") == "navigate") {
                    std::lock_guard lock(seenLock);
                    renderedReferers.push_back(request.get_header_value("Referer"));
                }
                response.set_content("<html><body>page</body></html>", "text/html");
            });
        }
        http.Post("/form", [this](const httplib::Request& request, httplib::Response& response) {
            std::lock_guard lock(seenLock);
            seenBody = request.body;
            seenHeader = request.get_header_value("X-Check");
            seenAgent = request.get_header_value("User-Agent");
            response.set_content("<html><body>posted</body></html>", "text/html");
        });
        http.Get("/referred", [this](const httplib::Request& request, httplib::Response& response) {
            std::lock_guard lock(seenLock);
            seenReferer = request.get_header_value("Referer");
            seenHeader = request.get_header_value("X-Check");
            response.set_content("<html><body>referred</body></html>", "text/html");
        });
        http.Get("/cookie", [](const httplib::Request& request, httplib::Response& response) {
            response.set_content("<html><body>cookie:" + request.get_header_value("Cookie") + "</body></html>",
                "text/html");
        });
        http.Get("/endless", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("<html><body>busy<script>for (;;) {}</script></body></html>", "text/html");
        });
        ASSERT_TRUE(crawlmere::test::startListening(server));
        crawlmere::webrender::installPageRenderer();
    }
    void TearDown() override
    {
        CrwlUrl::setRendererStarter(nullptr);
        server.stop();
    }

    /// Renders `request` for a record of its URL and waits for the record's end.
    QByteArray render(const UrlRequest& request)
    {
        auto record = CrwlUrl::make(owner, crawlmere::test::makeSettings());
        record->setLinkURL(request.url);
        auto backend = crawlmere::webrender::WebEngineRenderBackend::make();
        EXPECT_NE(backend, nullptr);
        const auto renderer = PageRenderer::start(request, record, std::move(backend), nullptr, 0.2);
        EXPECT_TRUE(owner->waitForFinished(1, std::chrono::seconds(20)));
        renderer->stopLoading();
        return record->getData();
    }

    LoopbackServer server;
    std::shared_ptr<FetchOwner> owner = std::make_shared<FetchOwner>();
    std::mutex seenLock;
    std::string seenBody;
    std::string seenHeader;
    std::string seenAgent;
    std::string seenReferer;
    std::vector<std::string> renderedReferers;
};

/// The standard error of the program's rendering scan of `url` without a display, and `extra`
/// arguments before it.
QString programErrorOutput(const QString& url, const QStringList& extra)
{
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "QT_LOGGING_RULES" })
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("CRAWLMERE_HOME"), home.path());
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0:new_delete_type_mismatch=0"));
    QProcess program;
    program.setProcessEnvironment(environment);
    program.setStandardOutputFile(QProcess::nullDevice());
    program.start(QStringLiteral(CRAWLMERE_PROGRAM),
        QStringList { QStringLiteral("--headless"), QStringLiteral("--set"), QStringLiteral("runJS=YES") } + extra
            + QStringList { url });
    // Serve the loopback server's thread and this one while the program runs.
    EXPECT_TRUE(Dispatch::runUntil([&] { return program.state() == QProcess::NotRunning; }, std::chrono::seconds(45)));
    if (program.state() != QProcess::NotRunning) {
        program.kill();
        program.waitForFinished();
    }
    EXPECT_EQ(program.exitCode(), 0);
    return QString::fromUtf8(program.readAllStandardError());
}

/// Lines of the browser engine's start-up report.
const char* const kEngineStartUp[]
    = { "WebEngineContext", "qt.webenginecontext", "GL Type", "Init Parameters", "graphics backend", "Sandboxing" };

} // namespace

TEST_F(WebEngineRenderBackendTest, LinksAddedByScriptAreFoundOnlyWhenRendering)
{
    const QString late = server.url(QStringLiteral("/late1"));
    const auto plain = headlessScan(server.url(), {});
    EXPECT_EQ(plain.count(late), 0u);
    EXPECT_EQ(plain.count(server.url(QStringLiteral("/plain"))), 1u);

    const auto rendered = headlessScan(server.url(), { QStringLiteral("--set"), QStringLiteral("runJS=YES") });
    ASSERT_EQ(rendered.count(late), 1u) << "script-added link missed";
    EXPECT_TRUE(rendered.at(late).startsWith(u"200"));
    EXPECT_TRUE(rendered.at(server.url(QStringLiteral("/late2"))).startsWith(u"200"));
    EXPECT_TRUE(rendered.at(server.url(QStringLiteral("/plain"))).startsWith(u"200"));
    // The rendered request of a linked page carries the crawl's Referer: the page holding the link.
    std::lock_guard lock(seenLock);
    EXPECT_EQ(renderedReferers, std::vector<std::string> { server.url().toStdString() });
}

TEST_F(WebEngineRenderBackendTest, APostRequestIsReplayedWithItsBodyAndHeaders)
{
    UrlRequest request(server.url(QStringLiteral("/form")), 10);
    request.httpMethod = "POST";
    request.httpBody = "user=ann&password=a+b%26c";
    request.setValue("application/x-www-form-urlencoded", "Content-Type");
    request.setValue("checked", "X-Check");
    request.setValue("CrawlmereTest/1.0", "User-Agent");
    EXPECT_TRUE(render(request).contains("posted"));
    std::lock_guard lock(seenLock);
    EXPECT_EQ(seenBody, "user=ann&password=a+b%26c");
    EXPECT_EQ(seenHeader, "checked");
    EXPECT_EQ(seenAgent, "CrawlmereTest/1.0");
}

TEST_F(WebEngineRenderBackendTest, AGetRequestIsReplayedWithTheCrawlsReferer)
{
    UrlRequest request(server.url(QStringLiteral("/referred")), 10);
    const QByteArray referer = server.url(QStringLiteral("/plain")).toUtf8();
    request.setValue(referer, "Referer");
    request.setValue("checked", "X-Check");
    EXPECT_TRUE(render(request).contains("referred"));
    std::lock_guard lock(seenLock);
    EXPECT_EQ(seenReferer, referer.toStdString());
    EXPECT_EQ(seenHeader, "checked");
}

TEST_F(WebEngineRenderBackendTest, AScanWithoutWindowsKeepsTheEnginesStartUpOffStandardError)
{
    const QString shown = programErrorOutput(server.url(), {});
    for (const char* text : kEngineStartUp)
        EXPECT_FALSE(shown.contains(QLatin1String(text))) << text << " in:\n" << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral(" done, "))) << shown.toStdString(); // the progress line
}

TEST_F(WebEngineRenderBackendTest, TheEnginesStartUpGoesToTheLogAtVerbosityTwo)
{
    const QString shown = programErrorOutput(server.url(), { QStringLiteral("--default"), QStringLiteral("verbosity=2") });
    EXPECT_TRUE(shown.contains(QLatin1String("qt.webenginecontext: "))) << shown.toStdString();
}

TEST_F(WebEngineRenderBackendTest, TheSharedStoresCookiesReachThePageAndOutliveTheRender)
{
    HttpCookie cookie;
    cookie.domain = QStringLiteral("127.0.0.1");
    cookie.name = QStringLiteral("session");
    cookie.value = QStringLiteral("s3cret");
    CookieStore::setCookie(cookie);
    EXPECT_TRUE(render(UrlRequest(server.url(QStringLiteral("/cookie")), 10)).contains("session=s3cret"));
    // The render's page and then its profile go after the render has ended.
    ASSERT_TRUE(Dispatch::runUntil([] { return crawlmere::webrender::releasesPending() == 0; }, std::chrono::seconds(20)));
    bool kept = false;
    for (const HttpCookie& held : CookieStore::allCookies())
        kept = kept || (held.name == u"session" && held.value == u"s3cret");
    EXPECT_TRUE(kept) << "the render's teardown cleared the shared store";
    CookieStore::deleteCookie(cookie);
}

TEST_F(WebEngineRenderBackendTest, APageWhoseScriptNeverEndsIsDoneWithinTimeOutAndSettle)
{
    const QStringList options
        = { QStringLiteral("--set"), QStringLiteral("runJS=YES"), QStringLiteral("--set"), QStringLiteral("timeout=2") };
    // The same scan of a page that settles at once measures what the process itself costs on this
    // machine (start-up, the engine, the finish), so a loaded machine moves both runs alike.
    QElapsedTimer timer;
    timer.start();
    ASSERT_EQ(headlessScan(server.url(QStringLiteral("/plain")), options).size(), 1u);
    const qint64 baseline = timer.restart();
    int exitStatus = -1;
    const auto rows = headlessScan(server.url(QStringLiteral("/endless")), options, &exitStatus);
    const qint64 elapsed = timer.elapsed();
    EXPECT_EQ(exitStatus, 0);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_LT(elapsed - baseline, 2000 + 1000 + 1500)
        << "the scan waited past the time-out and settle: " << elapsed << " ms against " << baseline << " ms";
}
