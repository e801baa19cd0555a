#include "views/ResultTabs.h"

#include "engine/CrwlUrl.h"
#include "platform/UserDefaults.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using crawlmere::views::ResultTabs;

namespace {

/// A link data source that writes what is done to it into a shared log ("2:filter", ...).
class RecordingSource : public qfDataSource {
public:
    RecordingSource(int tab, QStringList& log)
        : m_tab(tab)
        , m_log(log)
    {
    }
    bool needsFiltering() const { return m_needsFiltering; }
    void setNeedsFiltering(bool value) { m_needsFiltering = value; }
    void filter() { record(QStringLiteral("filter")); }
    void reloadData() { record(QStringLiteral("reload")); }
    void populate()
    {
        record(QStringLiteral("populate"));
        clear();
        add(std::make_shared<CrwlUrl>());
    }
    void record(const QString& what) { m_log << QStringLiteral("%1:%2").arg(m_tab).arg(what); }

private:
    int m_tab;
    QStringList& m_log;
    bool m_needsFiltering = false;
};

class ResultTabsTest : public ::testing::Test {
protected:
    ResultTabsTest()
        : defaults(folder.filePath(QStringLiteral("defaults.plist")))
    {
        ResultTabs::Services services;
        services.selectedTab = [this] { return selected; };
        services.finishedOrPaused = [this] { return finishedOrPaused; };
        services.setSearchControlsShown = [this](bool shown) { searchShown = shown; };
        services.populateSEOView = [this] { log << QStringLiteral("7:populate"); };
        tabs = std::make_unique<ResultTabs>(defaults, services);
        for (int tab = 1; tab <= 4; ++tab) {
            sources.push_back(std::make_unique<RecordingSource>(tab, log));
            RecordingSource& source = *sources.back();
            tabs->setLinkView(tab,
                ResultTabs::linkViewOf(
                    source, [&source] { source.populate(); }, [this] { return hubHasRows; }));
        }
    }
    RecordingSource& source(int tab) { return *sources[static_cast<size_t>(tab - 1)]; }
    void select(const QString& identifier)
    {
        selected = identifier;
        log.clear();
        tabs->tabViewDidSelectTabViewItem(identifier);
    }
    QString lastTab() const { return defaults.stringForKey(ResultTabs::kLastTabSelectedKey); }

    QTemporaryDir folder;
    crawlmere::platform::UserDefaults defaults;
    std::unique_ptr<ResultTabs> tabs;
    std::vector<std::unique_ptr<RecordingSource>> sources;
    QStringList log;
    QString selected = QStringLiteral("0");
    bool finishedOrPaused = false;
    bool hubHasRows = true;
    std::optional<bool> searchShown;
};

} // namespace

TEST_F(ResultTabsTest, TheSitesTabHidesTheSearchAndKeepsTheLastTab)
{
    select(QStringLiteral("2"));
    EXPECT_EQ(lastTab(), QStringLiteral("2"));
    select(QStringLiteral("0"));
    EXPECT_EQ(searchShown, false);
    EXPECT_EQ(lastTab(), QStringLiteral("2"));
    EXPECT_TRUE(log.isEmpty()) << qPrintable(log.join(u' '));
    // A tab outside the table changes nothing that is remembered.
    select(QStringLiteral("42"));
    EXPECT_EQ(lastTab(), QStringLiteral("2"));
}

TEST_F(ResultTabsTest, TheByLinkTabFillsAnEmptyViewEvenWhileAScanRuns)
{
    tabs->setViewsRequireRefresh(true);
    select(QStringLiteral("1"));
    EXPECT_EQ(log, QStringList { "1:populate" });
    EXPECT_EQ(searchShown, true);
    EXPECT_EQ(lastTab(), QStringLiteral("1"));
    EXPECT_FALSE(tabs->viewsRequireRefresh());
    // Filled and no refresh asked: selecting it again fills nothing.
    select(QStringLiteral("1"));
    EXPECT_TRUE(log.isEmpty()) << qPrintable(log.join(u' '));
    // An empty hub fills nothing either.
    source(1).clear();
    hubHasRows = false;
    select(QStringLiteral("1"));
    EXPECT_TRUE(log.isEmpty()) << qPrintable(log.join(u' '));
}

TEST_F(ResultTabsTest, OtherLinkTabsFillOnlyWhenTheScanIsPausedOrFinished)
{
    select(QStringLiteral("2"));
    EXPECT_TRUE(log.isEmpty()) << qPrintable(log.join(u' '));
    finishedOrPaused = true;
    select(QStringLiteral("2"));
    EXPECT_EQ(log, QStringList { "2:populate" });
    EXPECT_EQ(lastTab(), QStringLiteral("2"));
}

TEST_F(ResultTabsTest, TheSEOTabFillsOnlyWhenTheScanIsPausedOrFinished)
{
    select(QStringLiteral("7"));
    EXPECT_TRUE(log.isEmpty()) << qPrintable(log.join(u' '));
    EXPECT_EQ(searchShown, false);
    finishedOrPaused = true;
    select(QStringLiteral("7"));
    EXPECT_EQ(log, QStringList { "7:populate" });
    EXPECT_EQ(lastTab(), QStringLiteral("7"));
}

TEST_F(ResultTabsTest, ABadLinksToggleRefiltersByLinkAndTheShownViewAtOnceAndTheOthersWhenSelected)
{
    finishedOrPaused = true;
    tabs->forcePopulateAllDataSources();
    select(QStringLiteral("4"));
    log.clear();
    tabs->setAllTabsToNeedFilteringAndFilterAppropriateDataSource();
    EXPECT_EQ(log, (QStringList { "1:filter", "1:reload", "4:filter", "4:reload" }));
    select(QStringLiteral("2"));
    EXPECT_EQ(log, (QStringList { "2:filter", "2:reload" }));
    // Once filtered, selecting it again does not refilter.
    select(QStringLiteral("2"));
    EXPECT_TRUE(log.isEmpty()) << qPrintable(log.join(u' '));
    // A view without rows is left for later.
    source(3).clear();
    hubHasRows = false;
    tabs->setAllTabsToNeedFiltering(true);
    select(QStringLiteral("3"));
    EXPECT_EQ(log, (QStringList { "1:filter", "1:reload" }));
}

TEST_F(ResultTabsTest, AViewWhoseFilterReloadsIsNotReloadedTwice)
{
    RecordingSource& byPage = source(2);
    ResultTabs::LinkView view = ResultTabs::linkViewOf(
        byPage, [&byPage] { byPage.populate(); }, [this] { return hubHasRows; });
    view.filterReloads = true;
    tabs->setLinkView(2, std::move(view));
    finishedOrPaused = true;
    tabs->forcePopulateAllDataSources();
    select(QStringLiteral("2"));
    log.clear();
    tabs->setAllTabsToNeedFilteringAndFilterAppropriateDataSource();
    EXPECT_EQ(log, (QStringList { "1:filter", "1:reload", "2:filter" }));
}

TEST_F(ResultTabsTest, APauseOrFinishRefillsEveryLinkViewInOrderThenFiltersTheFront)
{
    selected = QStringLiteral("3");
    tabs->forcePopulateAllDataSources();
    EXPECT_EQ(log,
        (QStringList {
            "1:populate", "4:populate", "3:populate", "2:populate", "1:filter", "1:reload", "3:filter", "3:reload" }));
}

TEST_F(ResultTabsTest, TheFrontDataSourceFollowsTheTab)
{
    for (int tab = 1; tab <= 4; ++tab)
        EXPECT_EQ(tabs->determineFrontDataSource(QString::number(tab)), &source(tab)) << tab;
    for (const char* none : { "0", "5", "6", "7", "10", "", "x" })
        EXPECT_EQ(tabs->determineFrontDataSource(QLatin1String(none)), nullptr) << none;
    // A report manager answers for its tab once registered; tab 8 takes none.
    qfDataSource sitemap;
    tabs->setReportDataSource(5, &sitemap);
    tabs->setReportDataSource(8, &sitemap);
    EXPECT_EQ(tabs->determineFrontDataSource(QStringLiteral("5")), &sitemap);
    EXPECT_EQ(tabs->determineFrontDataSource(QStringLiteral("8")), nullptr);
}
