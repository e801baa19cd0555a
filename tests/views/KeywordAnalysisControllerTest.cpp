// The keyword density window offscreen: the marking at the threshold, the default threshold, and a
// page read from the archive without a fetch.
#include "views/KeywordAnalysisController.h"

#include "archive/CrawlmereArchiveWrapper.h"
#include "engine/CrwlUrl.h"
#include "engine/CrwlUrlTestSupport.h"
#include "engine/ScopedDefaults.h"
#include "platform/Dispatch.h"
#include "support/LoopbackServer.h"

#include <QLabel>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>

namespace {

std::string page(int repeats)
{
    std::string words;
    for (int i = 0; i < 200; ++i)
        words += i < repeats ? "widget " : "w" + std::to_string(i) + "x ";
    return "<html><body><p>" + words + "</p></body></html>";
}

class KeywordAnalysisControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        server.server().Get(R"(/(\d+))", [this](const httplib::Request& req, httplib::Response& res) {
            ++fetches;
            res.set_content(page(std::stoi(req.matches[1].str())), "text/html");
        });
        server.server().set_keep_alive_max_count(1); // no idle connection holds up the server's stop
    ASSERT_TRUE(server.start());
    }
    std::shared_ptr<CrwlUrl> record(const QString& url)
    {
        auto r = CrwlUrl::make(owner, settings);
        r->setLinkURL(url);
        return r;
    }
    static bool wait(const crawlmere::views::KeywordAnalysisController& window)
    {
        return crawlmere::platform::Dispatch::runUntil([&] { return window.isAnalysed(); }, std::chrono::seconds(10));
    }
    crawlmere::test::LoopbackServer server;
    std::atomic<int> fetches { 0 };
    crawlmere::test::ScopedDefaults defaults;
    std::shared_ptr<crawlmere::test::RecordingOwner> owner = std::make_shared<crawlmere::test::RecordingOwner>();
    SharedCrawlSettings settings = crawlmere::test::makeSettings({});
};

TEST_F(KeywordAnalysisControllerTest, TwelveIsGreyAndThirteenIsMarkedAtSixPercent)
{
    defaults.set(QStringLiteral("maxKeywordDensity"), QStringLiteral("6.0"));
    for (const auto& [repeats, marked] : { std::pair { 12, 0 }, std::pair { 13, 1 } }) {
        crawlmere::views::KeywordAnalysisController window(record(server.url(QStringLiteral("/%1").arg(repeats))), nullptr);
        ASSERT_TRUE(wait(window));
        auto* table = window.findChild<QTableWidget*>(QStringLiteral("tableView"));
        auto* matrix = window.findChild<QWidget*>(QStringLiteral("mtxPhraseLength"));
        ASSERT_TRUE(table && matrix);
        ASSERT_GE(table->rowCount(), 1);
        EXPECT_EQ(table->item(0, 0)->text(), QStringLiteral("widget"));
        EXPECT_EQ(table->item(0, 1)->text(), QString::number(repeats));
        const QColor expected = marked ? (window.isDark() ? QColor(Qt::white) : QColor(Qt::black)) : QColor(Qt::lightGray);
        EXPECT_EQ(table->item(0, 0)->foreground().color(), expected) << repeats;
        EXPECT_EQ(matrix->findChildren<QRadioButton*>().first()->text(), QStringLiteral("Single word (%1)").arg(marked));
        EXPECT_TRUE(window.findChild<QLabel*>(QStringLiteral("tfUrl"))->text().endsWith("(200 words)"));
    }
}

TEST_F(KeywordAnalysisControllerTest, AbsentThresholdShowsFourAndArchivedPageIsNotFetched)
{
    defaults.set(QStringLiteral("maxKeywordDensity"), QVariant());
    crawlmere::platform::UserDefaults::standard().removeObjectForKey(QStringLiteral("maxKeywordDensity"));
    QTemporaryDir dir;
    auto archive = crawlmere::archive::CrawlmereArchiveWrapper::initWithArchiveLocation(dir.path(), QStringLiteral("site"));
    ASSERT_TRUE(archive);
    const QString url = server.url(QStringLiteral("/9"));
    archive->addNewVersionForURL(url, QByteArray::fromStdString(page(5)), 0);
    crawlmere::views::KeywordAnalysisController window(record(url), archive.get());
    ASSERT_TRUE(wait(window));
    EXPECT_EQ(fetches.load(), 0);
    EXPECT_EQ(window.analysis().listing(1).counts.value("widget"), 5);
    EXPECT_TRUE(window.findChild<QLabel*>(QStringLiteral("tfThreshold"))->text().contains("above 4.00 %"));
}

} // namespace
