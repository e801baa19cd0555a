// The login windows offscreen: a form posted in the window logs a later headless scan in, a
// page's new window stays in the login window, and the typed address is normalised.
#include "webrender/CookieGatherer.h"

#include "platform/CookieStore.h"
#include "platform/Paths.h"
#include "webrender/HeadlessRun.h"
#include "webrender/LegacyCookieGatherer.h"
#include "webrender/LoginAddress.h"
#include "webrender/LoginWebView.h"
#include "webrender/WebRenderSetup.h"
#include "engine/CrwlUrl.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

#include <atomic>

using crawlmere::platform::CookieStore;
using crawlmere::test::headlessScan;
using crawlmere::test::LoopbackServer;
using crawlmere::webrender::CookieGatherer;
using crawlmere::webrender::LegacyCookieGatherer;
using crawlmere::webrender::LoginAddress;
using crawlmere::webrender::LoginWindowKind;
namespace Dispatch = crawlmere::platform::Dispatch;

namespace {

class CookieGathererTest : public testing::Test {
protected:
    void SetUp() override
    {
        auto& http = server.server();
        http.Get("/login", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("<html><body><form method=\"post\" action=\"/login\">"
                                 "<input name=\"user\" value=\"ann\"></form>"
                                 "<a id=\"away\" href=\"/other\" target=\"_blank\">other</a></body></html>",
                "text/html");
        });
        http.Post("/login", [](const httplib::Request& request, httplib::Response& response) {
            if (request.body == "user=ann")
                response.set_header("Set-Cookie", "session=member7; Path=/");
            response.set_content("<html><body>welcome</body></html>", "text/html");
        });
        http.Get("/members", [this](const httplib::Request& request, httplib::Response& response) {
            if (request.get_header_value("Cookie").find("session=member7") != std::string::npos) {
                ++membersAdmitted;
                response.set_content("<html><body>members</body></html>", "text/html");
            } else {
                ++membersRedirected;
                response.set_redirect("/login", 302);
            }
        });
        http.Get("/other", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("<html><body>other</body></html>", "text/html");
        });
        ASSERT_TRUE(crawlmere::test::startListening(server));
        // As at launch: the renderer is installed before any browser view is made.
        crawlmere::webrender::installPageRenderer();
    }
    void TearDown() override
    {
        CrwlUrl::setRendererStarter(nullptr);
        server.stop();
    }

    /// Waits until the window's current view has finished loading `path`.
    static bool loaded(CookieGatherer& window, const QString& path)
    {
        auto done = std::make_shared<bool>(false);
        QWebEngineView* view = window.webview();
        QObject::connect(view, &QWebEngineView::loadFinished, view, [done, view, path](bool ok) {
            *done = ok && view->url().path() == path;
        });
        return Dispatch::runUntil([&] { return *done || window.webview() != view; }, std::chrono::seconds(15)) && *done;
    }
    static bool hasSession()
    {
        for (const auto& cookie : CookieStore::allCookies()) {
            if (cookie.name == u"session" && cookie.value == u"member7")
                return true;
        }
        return false;
    }

    LoopbackServer server;
    std::atomic<int> membersAdmitted { 0 };
    std::atomic<int> membersRedirected { 0 };
};

} // namespace

TEST_F(CookieGathererTest, AFormPostedInTheWindowLogsTheNextScanIn)
{
    const QString members = server.url(QStringLiteral("/members"));
    headlessScan(members, {});
    EXPECT_GT(membersRedirected.load(), 0);
    EXPECT_EQ(membersAdmitted.load(), 0);

    CookieGatherer window;
    window.initWithURL(server.url(QStringLiteral("/login")));
    EXPECT_EQ(window.addressField()->text(), server.url(QStringLiteral("/login")));
    // The address reads from its scheme and host, as the page loads and redirects too.
    EXPECT_EQ(window.addressField()->cursorPosition(), 0);
    ASSERT_TRUE(loaded(window, QStringLiteral("/login")));
    EXPECT_EQ(window.addressField()->cursorPosition(), 0);
    window.webview()->page()->runJavaScript(QStringLiteral("document.forms[0].submit()"));
    ASSERT_TRUE(Dispatch::runUntil(&hasSession, std::chrono::seconds(15))) << "the login cookie never reached the store";

    const auto rows = headlessScan(members, {});
    EXPECT_GT(membersAdmitted.load(), 0);
    ASSERT_EQ(rows.count(members), 1u);
    EXPECT_TRUE(rows.at(members).startsWith(u"200"));
    CookieStore::deleteAllCookies();
}

TEST_F(CookieGathererTest, ALinkOpeningANewWindowStaysInTheLoginWindow)
{
    CookieGatherer window;
    window.loadURL(server.url(QStringLiteral("/login")));
    QWebEngineView* first = window.webview();
    QWebEngineProfile* profile = first->page()->profile();
    // A script's click is allowed to open a window only with this switch; a user's is always.
    first->settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, true);
    ASSERT_TRUE(loaded(window, QStringLiteral("/login")));
    first->page()->runJavaScript(QStringLiteral("document.getElementById('away').click()"));
    ASSERT_TRUE(Dispatch::runUntil([&] { return window.webview() != first; }, std::chrono::seconds(15)));
    ASSERT_TRUE(Dispatch::runUntil(
        [&] { return window.webview()->url().path() == u"/other"; }, std::chrono::seconds(15)));
    EXPECT_EQ(window.webview()->parentWidget(), &window);
    EXPECT_EQ(window.webview()->objectName(), QStringLiteral("webview"));
    EXPECT_EQ(window.webview()->page()->profile(), profile);
    EXPECT_TRUE(
        Dispatch::runUntil([&] { return window.findChildren<crawlmere::webrender::LoginWebView*>().size() == 1; },
            std::chrono::seconds(15)))
        << "the old view is still there";
}

TEST(LoginAddressTest, TypedAddressesAreNormalisedAlikeInBothWindows)
{
    const QString home = crawlmere::platform::Paths::home();
    const struct {
        const char* typed;
        QString loaded;
    } rows[] = {
        { "ab", QStringLiteral("http://ab") },
        { "example", QStringLiteral("http://example") },
        { "https://example.org/a b", QStringLiteral("https://example.org/a b") },
        { "/tmp/x.h", QStringLiteral("http:///tmp/x.h") },
        { "example.org/login", QStringLiteral("http://example.org/login") },
        { "/home/ann/My Site/index.html", QStringLiteral("file:///home/ann/My%20Site/index.html") },
        { "/srv/a&amp;b/&#233;t&#xE9;.html", QStringLiteral("file:///srv/a&b/\u00e9t\u00e9.html") },
        { "/private/tmp/page.html", QStringLiteral("file:///private/tmp/page.html") },
        { "~/sites/page.html", QStringLiteral("file://") + home + QStringLiteral("/sites/page.html") },
    };
    for (const LoginWindowKind kind : { LoginWindowKind::Current, LoginWindowKind::Legacy }) {
        for (const auto& row : rows)
            EXPECT_EQ(LoginAddress::normalised(QString::fromUtf8(row.typed), kind), row.loaded) << row.typed;
    }
    EXPECT_EQ(LoginAddress::timeoutSeconds(LoginWindowKind::Current), 60);
    EXPECT_EQ(LoginAddress::timeoutSeconds(LoginWindowKind::Legacy), 30);
    EXPECT_EQ(LoginAddress::url(QStringLiteral("/home/ann/My Site/a.html"), LoginWindowKind::Legacy).toLocalFile(),
        QStringLiteral("/home/ann/My Site/a.html"));
}

TEST_F(CookieGathererTest, TheLegacyWindowsSwitchTurnsScriptsOffAfterResettingTheSettings)
{
    LegacyCookieGatherer window;
    EXPECT_EQ(window.kind(), LoginWindowKind::Legacy);
    window.webview()->settings()->setAttribute(QWebEngineSettings::AutoLoadImages, false);
    window.runJSSwitch()->setChecked(false);
    EXPECT_FALSE(window.webview()->settings()->testAttribute(QWebEngineSettings::JavascriptEnabled));
    EXPECT_TRUE(window.webview()->settings()->testAttribute(QWebEngineSettings::AutoLoadImages));
}
