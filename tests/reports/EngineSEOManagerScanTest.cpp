// The register under a real scan of a loopback site: a scan paused halfway, its groups and page
// lists read, then continued, ends with the groups and counts of a scan never paused.
#include "engine/CrawlSettingKeys.h"
#include "reports/EngineSEOManager.h"

#include "engine/CrwlUrl.h"
#include "engine/CrwlUrlFetchTransport.h"
#include "engine/EngineDefaults.h"
#include "engine/RecordingShellServices.h"
#include "engine/Z12Ara.h"
#include "parsing/ParserFetchPageReader.h"
#include "parsing/ParserHubPageReader.h"
#include "parsing/ParserLinkExtraction.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "reports/ReportsDefaults.h"
#include "support/LoopbackServer.h"

#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <map>

using crawlmere::reports::EngineSEOManager;
using crawlmere::test::LoopbackServer;
namespace platform = crawlmere::platform;

namespace {

// Pages of three titles; within each title two share a size, so every title forms a group.
void buildSite(httplib::Server& server)
{
    std::string links;
    for (int i = 0; i < 12; ++i)
        links += "<a href=\"/p" + std::to_string(i) + ".html\">p</a> ";
    server.Get("/", [links](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html><head><title>Home</title></head><body>" + links + "</body></html>", "text/html");
    });
    for (int i = 0; i < 12; ++i) {
        const std::string title = "Title " + std::to_string(i % 3);
        const std::string padding(i % 2 ? 10 : 30, 'x');
        server.Get("/p" + std::to_string(i) + ".html", [title, padding](const httplib::Request&, httplib::Response& response) {
            response.set_content("<html><head><title>" + title + "</title></head><body><p>" + padding + "</p></body></html>",
                "text/html");
        });
    }
}

/// title → the page URLs of its group, and URL → the page's count of possible duplicates.
struct Outcome {
    std::map<QString, QStringList> groups;
    std::map<QString, qint64> counts;
    bool operator==(const Outcome&) const = default;
};

void PrintTo(const Outcome& outcome, std::ostream* out)
{
    for (const auto& [title, pages] : outcome.groups)
        *out << '[' << title.toStdString() << ": " << pages.join(u',').toStdString() << "] ";
    for (const auto& [url, count] : outcome.counts)
        *out << url.section(u'/', -1).toStdString() << '=' << count << ' ';
}

class EngineSEOManagerScanTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        crawlmere::engine::registerEngineDefaults(platform::UserDefaults::standard());
        crawlmere::reports::registerReportsDefaults(platform::UserDefaults::standard());
        buildSite(server.server());
        ASSERT_TRUE(server.start());
        ParserFetchPageReader::installAsFetchPageReader();
    }

    // Scans the site with one fetch at a time; with `pauseAfter` set, pauses once that many
    // URLs are checked, reads every group and page list, and continues.
    Outcome scan(qint64 pauseAfter, Outcome* atPause = nullptr)
    {
        auto seo = std::make_shared<EngineSEOManager>();
        auto hub = std::make_shared<Z12Ara>(platform::UserDefaults::standard());
        hub->setPrompts(std::make_shared<RecordingPrompts>());
        hub->setConfigManager(std::make_shared<RecordingSiteStore>());
        hub->setDiagnostic(std::make_shared<RecordingDiagnostic>());
        hub->setEngineSEODataSource(seo);
        hub->setTransport(std::make_shared<CrwlUrlFetchTransport>());
        hub->setPageReader(std::make_shared<ParserHubPageReader>());
        hub->setLinkExtractionParsers(std::make_shared<ParserLinkExtraction>());

        QEventLoop loop;
        bool finished = false;
        bool paused = false;
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
        auto& center = platform::NotificationCenter::defaultCenter();
        center.addObserver(this, Z12Ara::CrwlCrawlDidFinish, [&](const platform::Notification&) { finished = true; loop.quit(); }, hub.get());
        center.addObserver(this, Z12Ara::CrwlCrawlDidStop, [&](const platform::Notification&) { paused = true; loop.quit(); }, hub.get());
        center.addObserver(this, Z12Ara::CrwlUrlStatusUpdated, [&](const platform::Notification&) {
            if (pauseAfter > 0 && !paused && hub->checkedLinkCount() >= pauseAfter)
                QTimer::singleShot(0, &guard, [&] { if (!paused) hub->stop(); });
        });

        hub->setCrawlSettings(std::make_shared<CrawlSettings>(QVariantMap {
            { crawlKey::startingUrl, server.url(QStringLiteral("/")) },
            { crawlKey::numberOfThreads, 1 },
            { crawlKey::timeout, 5 },
        }));
        EXPECT_TRUE(hub->go());
        guard.start(30000);
        if (!finished)
            loop.exec();
        if (paused && !finished) {
            EXPECT_LT(seo->getTotalPageCount(), 13);
            if (atPause)
                *atPause = outcome(*hub, *seo);
            hub->continueCrawl();
            guard.start(30000);
            loop.exec();
        }
        center.removeObserver(this);
        EXPECT_TRUE(finished);
        EXPECT_EQ(paused, pauseAfter > 0);
        const Outcome result = outcome(*hub, *seo);
        hub->clear(); // lets the scan's pages and occurrences go
        return result;
    }

    static Outcome outcome(const Z12Ara& hub, EngineSEOManager& seo)
    {
        Outcome result;
        for (const auto& [title, pages] : seo.getDuplicates()) {
            for (const auto& page : pages)
                result.groups[title].append(page->absoluteString().section(u'/', -1));
            result.groups[title].sort(); // a page in flight at the pause is fetched later
        }
        for (const auto& item : hub.linksCollection()) {
            const auto page = std::dynamic_pointer_cast<CrwlUrl>(item);
            result.counts[page->absoluteString()] = page->getPossibleduplicates();
        }
        return result;
    }

    LoopbackServer server;
};

TEST_F(EngineSEOManagerScanTest, APausedScanEndsWithTheGroupsOfAnUnpausedOne)
{
    const Outcome unpaused = scan(0);
    ASSERT_EQ(unpaused.groups.size(), 3u);
    EXPECT_EQ(unpaused.groups.at(QStringLiteral("Title 0")).size(), 4);
    EXPECT_EQ(unpaused.counts.at(server.url(QStringLiteral("/p0.html"))), 3);
    EXPECT_EQ(unpaused.counts.at(server.url(QStringLiteral("/"))), 0);

    Outcome atPause;
    const Outcome resumed = scan(6, &atPause);
    EXPECT_NE(atPause, unpaused); // read while incomplete ...
    EXPECT_EQ(resumed, unpaused); // ... and complete after the finish
}

} // namespace
