// The settings pane shows what the window's scan sends: a text field typed into, then emptied,
// then the application's new-site values changed in Preferences, each followed by a scan of a
// loopback site that logs the headers of every request.
#include "app/MainInterface.h"

#include "app/MainWindow.h"
#include "app/PreferencesWindow.h"
#include "engine/CrawlSettingKeys.h"
#include "engine/CrwlUrl.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "settings/ConfigManager.h"
#include "support/LoopbackServer.h"
#include "support/RecordingShellServices.h"
#include "support/WaitUntil.h"
#include "views/PreferencesModel.h"
#include "views/SettingsPane.h"
#include "views/SitesPane.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <mutex>
#include <set>

using crawlmere::platform::UserDefaults;
using crawlmere::test::waitUntil;
namespace app = crawlmere::app;
namespace views = crawlmere::views;

namespace {

/// A one-page site that keeps the User-Agent and Accept-Language of every request.
class HeaderLoggingSite {
public:
    HeaderLoggingSite()
    {
        m_server.server().set_keep_alive_timeout(1);
        m_server.server().Get(R"(/.*)", [this](const httplib::Request& request, httplib::Response& response) {
            {
                const std::lock_guard lock(m_mutex);
                m_seen.insert({ QString::fromStdString(request.get_header_value("User-Agent")),
                    QString::fromStdString(request.get_header_value("Accept-Language")) });
            }
            if (request.path == "/")
                response.set_content("<html><body>one page</body></html>", "text/html");
            else
                response.status = 404;
        });
    }
    bool start() { return m_server.start(); }
    QString url() const { return m_server.url(QStringLiteral("/")); }
    /// The (User-Agent, Accept-Language) pairs sent since the last call.
    std::set<std::pair<QString, QString>> take()
    {
        const std::lock_guard lock(m_mutex);
        return std::exchange(m_seen, {});
    }

private:
    crawlmere::test::LoopbackServer m_server;
    std::mutex m_mutex;
    std::set<std::pair<QString, QString>> m_seen;
};

/// The application's new-site values start unset and are unset again afterwards.
class SettingsPaneScanTest : public ::testing::Test {
protected:
    void SetUp() override { forget(); }
    void TearDown() override { forget(); }
    static void forget()
    {
        for (const QString& key : crawlmere::settings::ConfigManager::newSiteDefaultKeys())
            UserDefaults::standard().removeObjectForKey(key);
    }
};

/// Replaces the text of `field` as a user does, then leaves it with Return.
void retype(QLineEdit* field, const QString& text)
{
    QApplication::setActiveWindow(field->window());
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
}

TEST_F(SettingsPaneScanTest, TheHeadersOfEveryRequestAreWhatThePaneShows)
{
    HeaderLoggingSite site;
    ASSERT_TRUE(site.start());
    app::MainInterface shell(UserDefaults::standard(), std::make_shared<RecordingPrompts>());
    shell.launch();
    crawlmere::settings::ConfigManager& sites = *shell.configManager();
    // A site as another installation exports it: no agent, language or thread count of its own.
    ASSERT_TRUE(sites.importLcsettings(QVariantMap { { QStringLiteral("id"), QStringLiteral("20261209-0300001") },
        { QStringLiteral("name"), QStringLiteral("Headers") }, { crawlKey::startingUrl, site.url() },
        { crawlKey::blacklistByRobotsTxt, false } }));
    views::SettingsPane& pane = *static_cast<views::SitesPane*>(shell.window().sitesPane())->settingsPane();
    auto* agent = static_cast<QLineEdit*>(pane.control(crawlKey::userAgentString));
    auto* language = static_cast<QLineEdit*>(pane.control(crawlKey::customHeaderAcceptLanguage));
    auto* threads = static_cast<QSlider*>(pane.control(crawlKey::numberOfThreads));
    const auto scanSends = [&](const char* step) {
        SCOPED_TRACE(step);
        site.take();
        shell.window().goButton()->click();
        EXPECT_TRUE(waitUntil([&] { return shell.window().goButton()->text() == QLatin1String("Go"); }));
        const auto sent = site.take();
        ASSERT_FALSE(sent.empty());
        for (const auto& [sentAgent, sentLanguage] : sent) {
            EXPECT_EQ(sentAgent, agent->text());
            EXPECT_EQ(sentLanguage, language->text());
        }
    };
    const QString defaultAgent = CrwlUrl::defaultCrawlSettings().value(crawlKey::userAgentString).toString();
    EXPECT_EQ(agent->text(), defaultAgent);
    EXPECT_EQ(language->text(), QStringLiteral("*"));
    scanSends("as imported");

    retype(agent, QStringLiteral("TypedAgent/1.0"));
    retype(language, QStringLiteral("fr"));
    scanSends("typed");
    EXPECT_EQ(agent->text(), QStringLiteral("TypedAgent/1.0"));

    // Emptied, a field gives the site back to the default, shows it, and the export holds no
    // typed value.
    retype(agent, QString());
    retype(language, QString());
    EXPECT_EQ(agent->text(), defaultAgent);
    EXPECT_EQ(language->text(), QStringLiteral("*"));
    scanSends("emptied");
    // Blank is empty.
    retype(agent, QStringLiteral("   "));
    retype(language, QStringLiteral(" "));
    EXPECT_EQ(agent->text(), defaultAgent);
    EXPECT_EQ(language->text(), QStringLiteral("*"));
    scanSends("blanked");
    QTemporaryDir folder;
    const QString exported = folder.filePath(QStringLiteral("site.lcsettings"));
    ASSERT_TRUE(sites.exportSelectedSettings(exported));
    const QVariantMap file = crawlmere::platform::PropertyList::readFile(exported).value().toMap();
    EXPECT_FALSE(file.contains(crawlKey::userAgentString));
    EXPECT_FALSE(file.contains(crawlKey::customHeaderAcceptLanguage));

    // Preferences > New sites: the pane follows at once, and the scan sends what it shows.
    app::PreferencesWindow& prefs = shell.preferencesWindow();
    prefs.showPrefs();
    retype(static_cast<QLineEdit*>(prefs.control(crawlKey::userAgentString)), QStringLiteral("PrefsAgent/2.0"));
    retype(static_cast<QLineEdit*>(prefs.control(crawlKey::customHeaderAcceptLanguage)), QStringLiteral("de"));
    static_cast<QSpinBox*>(prefs.control(crawlKey::numberOfThreads))->setValue(2);
    prefs.close();
    EXPECT_EQ(agent->text(), QStringLiteral("PrefsAgent/2.0"));
    EXPECT_EQ(language->text(), QStringLiteral("de"));
    EXPECT_EQ(threads->value(), 2);
    EXPECT_EQ(
        CrwlUrl::scanSettingsFor(sites.settingsForScan(), UserDefaults::standard()).value(crawlKey::numberOfThreads),
        qint64(2));
    scanSends("after Preferences");
    shell.terminate();
}

} // namespace
