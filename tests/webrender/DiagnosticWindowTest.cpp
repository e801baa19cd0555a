#include "app/DiagnosticWindow.h"
#include "engine/CrawlSettingKeys.h"

#include "engine/CrwlUrlFetchTransport.h"
#include "engine/EngineDefaults.h"
#include "engine/RecordingShellServices.h"
#include "engine/Z12Ara.h"
#include "parsing/ParserFetchPageReader.h"
#include "parsing/ParserHubPageReader.h"
#include "parsing/ParserLinkExtraction.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "support/LoopbackServer.h"
#include "webrender/SourceView.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QWebEnginePage>
#include <gtest/gtest.h>

using namespace crawlmere;
using namespace std::chrono_literals;

namespace {

// The scheme of large sources must be known before the application object is made.
const bool schemeRegistered = (webrender::SourceView::registerScheme(), true);

QString text(const QWidget& window, const char* name)
{
    if (const auto* line = window.findChild<QLineEdit*>(QString::fromLatin1(name)))
        return line->text();
    const auto* view = window.findChild<QPlainTextEdit*>(QString::fromLatin1(name));
    return view ? view->toPlainText() : QStringLiteral("<missing>");
}

SharedCrawlSettings settings(const QString& startingUrl, bool runJS)
{
    return std::make_shared<CrawlSettings>(QVariantMap { { crawlKey::startingUrl, startingUrl },
        { crawlKey::runJS, runJS }, { crawlKey::numberOfThreads, 1 }, { crawlKey::timeout, 5 } });
}

/// The title of the page once it has loaded and its title has become `expected` (a script's
/// title reaches the view some time after the load), or 20 s have passed.
QString renderedTitle(app::DiagnosticWindow& window, const QString& expected)
{
    bool loaded = false;
    window.showDiagnostic();
    auto* view = qobject_cast<webrender::SourceView*>(window.webView());
    QObject::connect(
        view->page(), &QWebEnginePage::loadFinished, &window, [&](bool) { loaded = true; }, Qt::SingleShotConnection);
    EXPECT_TRUE(platform::Dispatch::runUntil([&] { return loaded; }, 20s));
    platform::Dispatch::runUntil([&] { return view->title() == expected; }, 20s);
    return view->title();
}

} // namespace

TEST(DiagnosticWindow, EmptyBeforeAnyScan)
{
    ASSERT_TRUE(schemeRegistered);
    platform::UserDefaults::standard().setBool(false, QStringLiteral("htmlValidationEnabled"));
    app::DiagnosticWindow window([] { return QTime(13, 4, 5, 67); });
    window.showDiagnostic();
    EXPECT_EQ(window.windowTitle(), "Detailed diagnosis of request");
    for (const char* name :
        { "tfStartingUrl", "tfTitle", "tvSource", "tvRequest", "tvResponse", "tvWarnings", "tvTrace" })
        EXPECT_EQ(text(window, name), "") << name;
    // Neither rendering nor authentication is on, and nothing validates pages: those rows and
    // the warnings say nothing and do not show.
    for (const char* name : { "tfJSInfo", "tfAuthenticationInfo" }) {
        EXPECT_EQ(text(window, name), "") << name;
        EXPECT_FALSE(window.findChild<QLineEdit*>(QLatin1String(name))->isVisibleTo(&window)) << name;
    }
    const auto* tabs = window.findChild<QTabWidget*>();
    EXPECT_FALSE(tabs->isTabVisible(tabs->indexOf(window.findChild<QPlainTextEdit*>(QStringLiteral("tvWarnings")))));

    window.addToTrace(QStringLiteral("one"));
    window.addToTrace(QStringLiteral("two"));
    EXPECT_EQ(window.content().trace(), "13:04:05.067 one\n13:04:05.067 two");
    const std::pair<QTime, const char*> times[] { { QTime(0, 0), "00:00:00.000" },
        { QTime(9, 52, 14, 618), "09:52:14.618" }, { QTime(12, 0, 1, 5), "12:00:01.005" },
        { QTime(21, 52, 14, 618), "21:52:14.618" }, { QTime(23, 59, 59, 999), "23:59:59.999" } };
    for (const auto& [time, shown] : times)
        EXPECT_EQ(app::DiagnosticContent::traceTime(time), shown) << shown;
}

TEST(DiagnosticWindow, FilledByALoopbackScan)
{
    test::LoopbackServer server;
    server.server().set_keep_alive_timeout(1);
    server.server().Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(
            "<html><head><title>Home</title></head><body><p><b>bold</p><a href=\"/a\">a</a></body></html>",
            "text/html");
    });
    server.server().Get("/a", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html><body>a</body></html>", "text/html");
    });
    ASSERT_TRUE(server.start());
    engine::registerEngineDefaults(platform::UserDefaults::standard());
    platform::UserDefaults::standard().setBool(true, QStringLiteral("htmlValidationEnabled"));
    ParserFetchPageReader::installAsFetchPageReader();

    auto window = std::make_shared<app::DiagnosticWindow>();
    auto hub = std::make_shared<Z12Ara>(platform::UserDefaults::standard());
    hub->setPrompts(std::make_shared<RecordingPrompts>());
    hub->setConfigManager(std::make_shared<RecordingSiteStore>());
    hub->setDiagnostic(window);
    hub->setTransport(std::make_shared<CrwlUrlFetchTransport>());
    hub->setPageReader(std::make_shared<ParserHubPageReader>());
    hub->setLinkExtractionParsers(std::make_shared<ParserLinkExtraction>());
    bool finished = false;
    auto& center = platform::NotificationCenter::defaultCenter();
    center.addObserver(
        this, Z12Ara::CrwlCrawlDidFinish, [&](const platform::Notification&) { finished = true; }, hub.get());
    window->setWarnings(QStringLiteral("from the previous scan"));
    hub->setCrawlSettings(settings(server.url(QStringLiteral("/")), false));
    ASSERT_TRUE(hub->go());
    EXPECT_TRUE(platform::Dispatch::runUntil([&] { return finished; }, 20s));
    center.removeObserver(this);
    platform::Dispatch::runFor(100ms);

    window->showDiagnostic();
    EXPECT_EQ(window->windowTitle(), "Detailed diagnosis of request for: " + server.url(QStringLiteral("/")));
    EXPECT_EQ(text(*window, "tfStartingUrl"), server.url(QStringLiteral("/")));
    EXPECT_TRUE(text(*window, "tvRequest").contains(QStringLiteral("User-Agent:")));
    const QString response = text(*window, "tvResponse");
    EXPECT_TRUE(response.startsWith(QStringLiteral("Status code: 200"))) << response.toStdString();
    EXPECT_TRUE(text(*window, "tvSource").contains(QStringLiteral("<title>Home</title>")));
    EXPECT_EQ(text(*window, "tfTitle"), "Home");
    EXPECT_NE(text(*window, "tvWarnings"), "");
    const auto* tabs = window->findChild<QTabWidget*>();
    EXPECT_TRUE(tabs->isTabVisible(tabs->indexOf(window->findChild<QPlainTextEdit*>(QStringLiteral("tvWarnings")))));
    EXPECT_NE(text(*window, "tvWarnings"), "from the previous scan");
    EXPECT_GE(text(*window, "tvTrace").count(u'\n'), 1);

    window->addToResponse(QStringLiteral("second"));
    EXPECT_EQ(text(*window, "tvResponse"), response + "second");
    // Clearing keeps the warnings until the next page's.
    const QString warnings = text(*window, "tvWarnings");
    window->clear();
    EXPECT_EQ(text(*window, "tvResponse"), "");
    EXPECT_EQ(text(*window, "tvWarnings"), warnings);
    hub->clear();
}

TEST(DiagnosticWindow, ScriptsRunOnlyWhenTheScanRendersPages)
{
    app::DiagnosticWindow window;
    window.setHTMLString(
        QStringLiteral("<html><head><title>static</title><script>document.title = 'scripted';</script></head></html>"));
    window.setCrawlsettings(settings(QStringLiteral("http://127.0.0.1:9/"), false));
    EXPECT_EQ(renderedTitle(window, QStringLiteral("static")), "static");
    // A script that ran would change the title a moment after the load.
    platform::Dispatch::runFor(300ms);
    EXPECT_EQ(qobject_cast<webrender::SourceView*>(window.webView())->title(), "static");
    window.setCrawlsettings(settings(QStringLiteral("http://127.0.0.1:9/"), true));
    EXPECT_EQ(renderedTitle(window, QStringLiteral("scripted")), "scripted");
    EXPECT_EQ(text(window, "tfJSInfo"), "Clientside rendering is switched ON");
    EXPECT_TRUE(window.findChild<QLineEdit*>(QStringLiteral("tfJSInfo"))->isVisibleTo(&window));
}

TEST(DiagnosticWindow, RendersALargeSourceAgainstTheStartingUrl)
{
    app::DiagnosticWindow window;
    const QString base = QStringLiteral("http://127.0.0.1:9/dir/start.html");
    window.setHTMLString(QStringLiteral("<html><head><title>big</title></head><body><p>") + QString(3 << 20, u'x')
        + QStringLiteral("</p><script>document.title = document.baseURI;</script></body></html>"));
    window.setCrawlsettings(settings(base, true));
    EXPECT_EQ(renderedTitle(window, base), base);
    EXPECT_EQ(qobject_cast<webrender::SourceView*>(window.webView())->url().scheme(), "crawlmere-source");
    EXPECT_EQ(text(window, "tvSource").size(), (3 << 20) + 115);
}
