// The sitemap collection and its exclusions, rule lookup, the tables' values and an edit
// turned into one rule and one notice.
#include "sitemap/SitemapManager.h"

#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "sitemap/SitemapTestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using crawlmere::platform::UserDefaults;
using crawlmere::sitemap::SitemapManager;
using crawlmere::test::sitemapPage;

namespace {

class SitemapManagerTest : public testing::Test {
protected:
    QTemporaryDir folder;
    UserDefaults defaults { folder.filePath(QStringLiteral("defaults.plist")) };
    SitemapManager manager { defaults };
    HeadlessTableView table;
    HeadlessTableView excluded { SitemapManager::excludedColumns() };

    void SetUp() override { manager.setTables(&table, &excluded); }

    static QVariantMap rule(const QString& contains, bool match, const QString& update, const QString& priority = "0.5")
    {
        return { { "contains", contains }, { "match", match }, { "update", update }, { "priority", priority } };
    }
    QStringList cells(TableView& view, const QString& column)
    {
        QStringList values;
        for (qsizetype row = 0; row < manager.numberOfRowsInTableView(view); ++row)
            values << manager.tableViewObjectValue(view, { column, column }, row).toString();
        return values;
    }
};

} // namespace

TEST_F(SitemapManagerTest, CollectionKeepsGoodPagesAndListsExclusions)
{
    struct Case {
        qint64 status;
        bool canonicalElsewhere, noIndex, observeCanonical, observeNoIndex;
        bool included, canonicalList, noIndexList;
    };
    const Case cases[] = {
        { 200, false, false, true, true, true, false, false },
        { 399, false, false, true, true, true, false, false },
        { -15, false, false, true, true, true, false, false }, // collected by the renderer
        { 404, true, true, true, true, false, false, false }, // bad pages are in no list
        { 199, false, false, true, true, false, false, false },
        { 200, true, true, true, true, false, true, true }, // both lists
        { 200, true, false, false, true, true, false, false }, // canonical not observed
        { 200, false, true, true, false, true, false, false }, // noindex not observed
        { 301, false, true, true, true, false, false, true },
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(index++);
        defaults.setArgumentValue("sitemapObservesCanonicalElsewhere", c.observeCanonical);
        defaults.setArgumentValue("sitemapObservesRobotsMetaNoindex", c.observeNoIndex);
        auto page = sitemapPage("http://127.0.0.1/p", c.status);
        if (c.canonicalElsewhere)
            page->setCanonical("http://127.0.0.1/other");
        page->setHeadContainsNoIndex(c.noIndex);
        manager.setCollection({ page });
        EXPECT_EQ(manager.getSitemapCollection().size(), c.included ? 1u : 0u);
        EXPECT_EQ(manager.getExcludedFromSitemapBecauseCanonical(), c.canonicalList ? 1 : 0);
        EXPECT_EQ(manager.getExcludedFromSitemapBecauseNoIndex(), c.noIndexList ? 1 : 0);
    }
}

TEST_F(SitemapManagerTest, PdfsAreListedWhileTheirSwitchIsOn)
{
    auto page = sitemapPage("http://127.0.0.1/p");
    auto pdf = sitemapPage("http://127.0.0.1/guide.pdf");
    pdf->setIsHTML(false);
    manager.setCollection({ page, pdf });
    for (const bool on : { true, false, true }) {
        manager.setIncludesPdfs(on);
        EXPECT_EQ(defaults.boolForKey("includePdfsInSitemap"), on) << "the scan reads the same default";
        EXPECT_EQ(manager.includesPdfs(), on);
        EXPECT_EQ(manager.getSitemapCollection().size(), on ? 2u : 1u) << on;
    }
}

TEST_F(SitemapManagerTest, InfoTextExcludedTableAndPageCount)
{
    defaults.setArgumentValue("sitemapObservesCanonicalElsewhere", true);
    defaults.setArgumentValue("sitemapObservesRobotsMetaNoindex", true);
    qsizetype shownCount = -1;
    QString shownText;
    crawlmere::sitemap::SitemapManagerObserver observer;
    observer.pagesIncluded = [&](qsizetype n) { shownCount = n; };
    observer.infoText = [&](const QString& text) { shownText = text; };
    manager.setObserver(observer);

    auto noIndex = sitemapPage("http://127.0.0.1/n");
    noIndex->setHeadContainsNoIndex(true);
    manager.setCollection({ sitemapPage("http://127.0.0.1/"), noIndex });
    EXPECT_EQ(manager.getSitemapCollectionCount(), 1);
    EXPECT_EQ(shownCount, 1);
    EXPECT_EQ(shownText, "1 excluded due to robots noindex");

    auto both = sitemapPage("http://127.0.0.1/b#top");
    both->setCanonical("http://127.0.0.1/elsewhere");
    both->setHeadContainsNoIndex(true);
    manager.setCollection({ both, noIndex });
    EXPECT_EQ(manager.getSitemapCollectionCount(), 0);
    EXPECT_EQ(manager.infoText(), "1 excluded due to canonical, 2 excluded due to robots noindex");
    EXPECT_EQ(
        cells(excluded, "url"), QStringList({ "http://127.0.0.1/b", "http://127.0.0.1/b", "http://127.0.0.1/n" }));
    EXPECT_EQ(cells(excluded, "reason"),
        QStringList({ "canonical url points to a different page", "page is marked robots noindex",
            "page is marked robots noindex" }));
    manager.clear();
    EXPECT_EQ(shownText, "");
}

TEST_F(SitemapManagerTest, LastMatchingRuleWinsAndMatchModes)
{
    manager.setCrawlSettings({ { "sitemapRules",
        QVariantList { rule("/NEWS/", false, "daily"), rule("/news/archive", false, "yearly"),
            rule("http://127.0.0.1/news/", true, "hourly"), rule("", false, "never") } } });
    const std::pair<const char*, const char*> cases[] = {
        { "http://127.0.0.1/news/today", "daily" }, // contains, any case
        { "http://127.0.0.1/news/archive/1", "yearly" }, // the later rule wins
        { "http://127.0.0.1/news/", "hourly" }, // exact, and last
        { "http://127.0.0.1/NEWS/", "daily" }, // exact is case-sensitive
        { "http://127.0.0.1/about", "" }, // no rule (the empty one never matches)
    };
    for (const auto& [url, update] : cases)
        EXPECT_EQ(manager.ruleThatApplies(url).value_or(QVariantMap()).value("update").toString(), update) << url;

    // Change frequencies follow rules, else the pop-up; the priority column follows rules.
    auto news = sitemapPage("http://127.0.0.1/news/today", 200, 0);
    auto other = sitemapPage("http://127.0.0.1/about", 200, 2);
    manager.selectChangeFrequency(4);
    manager.setCollection({ news, other });
    EXPECT_EQ(news->getChangefrequency(), "daily");
    EXPECT_EQ(other->getChangefrequency(), "weekly");
    EXPECT_EQ(cells(table, "priority"), QStringList({ "0.5", "0.3" }));
}

TEST_F(SitemapManagerTest, AnEditGivesOneRuleAndOneNotice)
{
    QList<QVariantMap> stored;
    manager.setRuleStore([&](const QVariantMap& r) { stored.append(r); });
    int notices = 0;
    auto& center = crawlmere::platform::NotificationCenter::defaultCenter();
    center.addObserver(
        this, SitemapManager::CrwlSitemapRulesDidChange, [&](const crawlmere::platform::Notification&) { ++notices; },
        &manager);

    auto page = sitemapPage("http://127.0.0.1/a", 200, 1);
    manager.setCollection({ page });
    const TableColumn frequency { "changefrequency", "Change frequency" };
    manager.tableViewSetObjectValue(table, frequency, 0, "monthly");
    ASSERT_EQ(stored.size(), 1);
    EXPECT_EQ(notices, 1);
    EXPECT_EQ(stored[0], rule("http://127.0.0.1/a", true, "monthly", "0.5"));
    EXPECT_EQ(page->getChangefrequency(), "monthly");

    // A rule that applies is copied and changed, not replaced by a new one.
    manager.setCrawlSettings({ { "sitemapRules", QVariantList { rule("/A", false, "daily", "0.9") } } });
    manager.tableViewSetObjectValue(table, { "priority", "Priority" }, 0, "0.1");
    ASSERT_EQ(stored.size(), 2);
    EXPECT_EQ(notices, 2);
    EXPECT_EQ(stored[1], rule("/A", false, "daily", "0.1"));

    // Other columns and the excluded table are not editable.
    manager.tableViewSetObjectValue(table, { "actualurl", "URL" }, 0, "x");
    manager.tableViewSetObjectValue(excluded, frequency, 0, "x");
    EXPECT_EQ(stored.size(), 2);
    EXPECT_EQ(notices, 2);
    center.removeObserver(this);
}

TEST_F(SitemapManagerTest, PriorityNoneAndLastModifiedColumnsComeAndGo)
{
    manager.setIncludeLastModified(false);
    int changes = 0;
    crawlmere::sitemap::SitemapManagerObserver observer;
    observer.columnsChanged = [&] { ++changes; };
    manager.setObserver(observer);
    manager.setCollection({ sitemapPage("http://127.0.0.1/a", 200, 0) });
    const auto identifiers = [&] {
        QStringList ids;
        for (const auto& column : manager.sitemapColumns())
            ids << column.identifier;
        return ids;
    };
    EXPECT_EQ(identifiers(), QStringList({ "actualurl", "linkpagetitle", "changefrequency", "priority" }));
    manager.selectPriority(1);
    manager.setIncludeLastModified(true);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(identifiers(), QStringList({ "actualurl", "linkpagetitle", "changefrequency", "lastmodified" }));
    EXPECT_EQ(cells(table, "priority"), QStringList({ "" }));

    std::shared_ptr<CrwlUrl> inspected;
    observer.showInspector = [&](const std::shared_ptr<CrwlUrl>& page) { inspected = page; };
    manager.setObserver(observer);
    manager.doubleClick(5);
    EXPECT_FALSE(inspected);
    manager.doubleClick(0);
    ASSERT_TRUE(inspected);
    EXPECT_EQ(inspected->absoluteString(), "http://127.0.0.1/a");
}

TEST_F(SitemapManagerTest, SortingByPrioritySortsByClickDistance)
{
    manager.setCollection({ sitemapPage("http://127.0.0.1/one", 200, 1), sitemapPage("http://127.0.0.1/", 200, 0),
        sitemapPage("http://127.0.0.1/two", 200, 2) });
    table.setColumns(manager.sitemapColumns());
    table.setSortDescriptors({ { "priority", false } });
    manager.tableViewSortDescriptorsDidChange(table); // without a cache: built sorted
    EXPECT_EQ(cells(table, "priority"), QStringList({ "0.3", "0.5", "1.0" }));
    table.setSortDescriptors({ { "priority", true } });
    manager.tableViewSortDescriptorsDidChange(table); // the cache is sorted in place
    EXPECT_EQ(cells(table, "priority"), QStringList({ "1.0", "0.5", "0.3" }));
}
