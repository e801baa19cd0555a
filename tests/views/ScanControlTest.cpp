#include "views/ScanControl.h"
#include "engine/CrawlSettingKeys.h"

#include "engine/CrwlUrl.h"
#include "engine/ScopedDefaults.h"
#include "engine/Z12Ara.h"
#include "platform/Dispatch.h"
#include "support/RecordingShellServices.h"
#include "views/CrwlByLinkDataSource.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using crawlmere::test::ScopedDefaults;

namespace {

struct Fixture {
    std::shared_ptr<Z12Ara> hub = std::make_shared<Z12Ara>();
    std::shared_ptr<RecordingPrompts> prompts = std::make_shared<RecordingPrompts>();
    HeadlessTableView table { CrwlByLinkDataSource::defaultColumns() };
    CrwlByLinkDataSource byLink;
    QString tab = QStringLiteral("1");
    QStringList siteStatus;
    int supportVisits = 0;
    bool supportPage = true;
    QVariantMap site;
    std::unique_ptr<ScanControl> control;

    Fixture()
    {
        byLink.setTableView(&table);
        ScanControl::Services services;
        services.currentSettings = [this] { return site; };
        services.selectedTab = [this] { return tab; };
        services.selectTab = [this](const QString& identifier) { tab = identifier; };
        services.setStatusForCurrentSite = [this](const QString& text) { siteStatus << text; };
        services.visitSupport = [this] { ++supportVisits; };
        services.supportAvailable = [this] { return supportPage; };
        services.now = [] { return QDateTime(QDate(2026, 12, 6), QTime(16, 0)); };
        services.locale = QLocale(QLocale::English, QLocale::UnitedKingdom);
        control = std::make_unique<ScanControl>(hub, byLink, prompts, services);
    }
    ~Fixture() { hub->clear(); }

    std::shared_ptr<CrwlUrl> addRecord(const QString& url, qint64 status)
    {
        auto record = CrwlUrl::make(hub, hub->getCrawlSettings());
        record->setLinkURL(url);
        record->setStatus(status);
        hub->add(record);
        return record;
    }
};

} // namespace

TEST(ScanControl, StatusTextsAndProportion)
{
    EXPECT_EQ(ScanControl::statusText(120, 300, 12, 3), "120 of 300 links on 12 pages checked, 3 bad");
    EXPECT_EQ(ScanControl::statusText(1, 1, 1, 0), "1 of 1 link on 1 page checked, 0 bad");
    EXPECT_EQ(ScanControl::statusText(0, 1, 0, 1), "0 of 1 link on 0 pages checked, 1 bad");
    EXPECT_FLOAT_EQ(ScanControl::proportion(120, 300), 0.4f);
    EXPECT_EQ(ScanControl::proportion(0, 0), 0.0f);
    const QLocale uk(QLocale::English, QLocale::UnitedKingdom);
    const QDateTime when(QDate(2026, 12, 6), QTime(16, 0));
    EXPECT_EQ(ScanControl::siteStatusText(when, uk, 300, 12, 3),
        "Last checked: 06/12/2026, 16:00, 300 links checked on 12 pages, 3 bad");
    EXPECT_EQ(ScanControl::siteStatusText(when, uk, 4, 1, 0),
        "Last checked: 06/12/2026, 16:00, 4 links checked on 1 page, 0 bad");
}

TEST(ScanControl, LiveRefreshCadence)
{
    Fixture f;
    f.addRecord(QStringLiteral("http://site.test/"), 200);
    // checked stays 0 in this hub: every update refills (under 10 checked).
    for (int i = 0; i < 3; ++i) {
        f.control->updateStatus(nullptr);
        EXPECT_EQ(f.control->liveUpdateCount(), 0u);
    }
    EXPECT_EQ(f.table.reloadCount(), 6) << "each refill clears and reloads";
    EXPECT_EQ(f.control->display().statusText, "0 of 1 link on 0 pages checked, 0 bad");

    // Between 90 and 99 checked the counter is set to 9: a refill on every tenth update. (Each
    // record is counted once.)
    for (int i = 0; i < 95; ++i)
        f.hub->incNumberDone(f.addRecord(QStringLiteral("http://site.test/%1").arg(i), 200));
    f.control->updateStatus(nullptr);
    EXPECT_EQ(f.control->liveUpdateCount(), 9u);
    const int reloads = f.table.reloadCount();
    for (int i = 0; i < 9; ++i)
        f.control->updateStatus(nullptr);
    EXPECT_EQ(f.table.reloadCount(), reloads);
    f.control->updateStatus(nullptr);
    EXPECT_EQ(f.table.reloadCount(), reloads + 2);

    f.tab = QStringLiteral("2");
    for (int i = 0; i < 30; ++i)
        f.control->updateStatus(nullptr);
    EXPECT_EQ(f.table.reloadCount(), reloads + 2) << "another tab never refreshes";
}

TEST(ScanControl, GoByTitleAndAScanThatCannotStartKeepsGo)
{
    ScopedDefaults defaults;
    defaults.set(QStringLiteral("badLinksOnly"), true);
    Fixture f;
    f.site.insert(crawlKey::startingUrl, QStringLiteral(""));
    EXPECT_EQ(f.control->go(QStringLiteral("Go")), ScanControl::GoAction::NewScanRefused);
    const auto& shown = f.control->display();
    EXPECT_EQ(shown.goTitle, "Go");
    EXPECT_FALSE(shown.indicatorShown);
    EXPECT_FALSE(shown.stopEnabled);
    EXPECT_EQ(shown.statusText, "The scan could not start: no starting URL");
    EXPECT_FALSE(crawlmere::platform::UserDefaults::standard().boolForKey("badLinksOnly"));

    f.control->crawlWillContinue();
    EXPECT_EQ(shown.goTitle, "Pause");
    EXPECT_FALSE(f.control->clearAllDataSources()) << "nothing is cleared while a scan runs";
    f.control->crawlDidStop();
    EXPECT_EQ(shown.goTitle, "Continue");
    EXPECT_TRUE(shown.continueEnabled && shown.clearEnabled && !shown.stopEnabled && !shown.indicatorShown);
    EXPECT_EQ(f.control->go(QStringLiteral("Continue")), ScanControl::GoAction::Continued);
    EXPECT_EQ(f.control->go(QStringLiteral("Pause")), ScanControl::GoAction::Paused);
}

TEST(ScanControl, FinishWritesTheSiteStatusJumpsFromTheSitesTabAndWarnsOfFewResults)
{
    const struct {
        qint64 status; // 0: no record at all
        const char* message;
        bool supportPage; // whether there is a support page to offer
        int answer;
    } cases[] = {
        { 404, "The starting URL returned the following status: 404 not found", true, 1 },
        { 200, "We have unexpectedly few results.", true, 0 },
        { 0, "We have unexpectedly few results.", true, 0 },
        // Without a page the alert has no button that would do nothing; closing it answers 0.
        { 404, "The starting URL returned the following status: 404 not found", false, 0 },
    };
    for (const auto& c : cases) {
        ScopedDefaults defaults;
        defaults.set(QStringLiteral("lastTabSelected"), QStringLiteral("3"));
        Fixture f;
        f.tab = QStringLiteral("0");
        if (c.status != 0)
            f.addRecord(QStringLiteral("http://site.test/"), c.status);
        f.prompts->answers = { c.answer };
        f.supportPage = c.supportPage;
        f.control->crawlDidFinish();
        EXPECT_EQ(f.tab, "3");
        EXPECT_EQ(f.control->display().goTitle, "Go");
        EXPECT_EQ(f.siteStatus, QStringList({ "Last checked: 06/12/2026, 16:00, 0 links checked on 0 pages, 0 bad" }));
        EXPECT_TRUE(f.prompts->alerts.isEmpty()) << "the alert waits for the handler to return";
        ASSERT_TRUE(crawlmere::platform::Dispatch::runUntil([&] { return !f.prompts->alerts.isEmpty(); }, 5s));
        const ShellAlert& alert = f.prompts->alerts.first();
        EXPECT_EQ(alert.messageText, "Possible problem with starting URL");
        EXPECT_EQ(alert.informativeText,
            QString::fromLatin1(c.message) + "\n\nPlease do not hesitate to contact Support if you need to.");
        EXPECT_EQ(alert.buttons, c.supportPage ? QStringList({ "OK", "Support" }) : QStringList({ "OK" }));
        EXPECT_EQ(alert.helpTopic, "noresults:");
        EXPECT_EQ(f.supportVisits, c.answer);
    }
}

TEST(ScanControl, ClearAfterAFinishEmptiesTheResultsAndStartsNothing)
{
    Fixture f;
    f.site.insert(crawlKey::startingUrl, QStringLiteral("http://127.0.0.1:9/"));
    for (const char* url : { "http://site.test/", "http://site.test/a", "http://site.test/b" })
        f.addRecord(QLatin1String(url), 200);
    f.control->crawlDidFinish();
    const auto& shown = f.control->display();
    ASSERT_TRUE(shown.clearEnabled);
    ASSERT_EQ(f.byLink.numberOfRowsInTableView(f.table), 3);

    // Results cleared for the next scan (a new starting URL) take their counts with them.
    ASSERT_FALSE(shown.statusText.isEmpty());
    f.control->clearAllDataSources();
    EXPECT_TRUE(shown.statusText.isEmpty());
    f.control->clear();
    EXPECT_EQ(f.byLink.numberOfRowsInTableView(f.table), 0);
    EXPECT_TRUE(f.hub->linksCollection().isEmpty());
    EXPECT_FALSE(f.hub->isScanning());
    EXPECT_EQ(shown.goTitle, "Go");
    EXPECT_TRUE(shown.statusText.isEmpty());
    EXPECT_FALSE(shown.clearEnabled) << "nothing is left to clear";
}
