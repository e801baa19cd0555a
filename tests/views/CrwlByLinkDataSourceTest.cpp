#include "views/CrwlByLinkDataSource.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "engine/CrwlUrlTestSupport.h"
#include "engine/ScopedDefaults.h"
#include "platform/Url.h"

#include <gtest/gtest.h>

using crawlmere::test::makeSettings;
using crawlmere::test::RecordingOwner;
using crawlmere::test::ScopedDefaults;

namespace {

struct Spec {
    const char* url;
    qint64 status;
    bool internal;
    bool bad;
};

// A small scan: the starting page, a 404, a page whose address holds "404", a bad and a good
// external link, a redirect, a page with a warning, one with an anchor warning.
const Spec kRecords[] = {
    { "http://site.test/", 200, true, false },
    { "http://site.test/missing", 404, true, true },
    { "http://site.test/page404.html", 200, true, false },
    { "http://ext.test/gone", 500, false, true },
    { "http://ext.test/ok", 200, false, false },
    { "http://site.test/old", 200, true, false },
    { "http://site.test/warn", 200, true, false },
    { "http://site.test/anchor", 200, true, true },
};

class ByLinkTest : public testing::Test {
protected:
    void SetUp() override
    {
        for (const Spec& spec : kRecords) {
            auto record = CrwlUrl::make(owner, settings);
            record->setLinkURL(QString::fromLatin1(spec.url));
            record->setStatus(spec.status);
            record->setIsInternal(spec.internal);
            record->setIsInBadCollection(spec.bad);
            records.append(record);
        }
        records[0]->setIsStartingPoint(true);
        records[5]->addRedir(QStringLiteral("http://site.test/new"), 200, 0);
        records[6]->setWarnings({ QStringLiteral("Some warning") });
        records[7]->setWarnings({ QStringLiteral("This link url contains the anchor fragment #x") });
        for (const auto& record : records)
            links.append(record);
        source.setTableView(&table);
        source.setCollection(links);
    }

    QStringList rowUrls()
    {
        QStringList urls;
        for (qsizetype row = 0; row < source.numberOfRowsInTableView(table); ++row)
            urls << std::dynamic_pointer_cast<CrwlUrl>(source.getItemAtRowIndex(quint64(row)))->absoluteString();
        return urls;
    }
    QStringList visibleUrls() const
    {
        QStringList urls;
        for (const auto& record : records) {
            if (record->getVisible())
                urls << record->absoluteString();
        }
        return urls;
    }

    ScopedDefaults defaults;
    std::shared_ptr<RecordingOwner> owner = std::make_shared<RecordingOwner>();
    SharedCrawlSettings settings = makeSettings();
    QList<std::shared_ptr<CrwlUrl>> records;
    QList<qfDataSource::Item> links;
    HeadlessTableView table { CrwlByLinkDataSource::defaultColumns() };
    CrwlByLinkDataSource source;
};

} // namespace

TEST_F(ByLinkTest, FilterBySearchTagAndBadLinksOnly)
{
    struct Case {
        const char* search;
        int tag;
        bool badOnly;
        QStringList rows;
        QStringList visible; // empty: the same as rows
    } cases[] = {
        { "404", 0, false, { "http://site.test/missing", "http://site.test/page404.html" }, {} },
        { "0", 0, false, { "http://site.test/page404.html" }, {} },
        { "EXT.test", 0, false, { "http://ext.test/gone", "http://ext.test/ok" }, {} },
        { "new", 0, false, { "http://site.test/old" }, {} },
        { "", 4, true, { "http://ext.test/gone" }, { "http://ext.test/gone", "http://ext.test/ok" } },
        { "", 5, false, { "http://site.test/old" }, {} },
        { "", 12, false, { "http://site.test/warn", "http://site.test/anchor" }, {} },
        { "", 13, false, { "http://site.test/anchor" }, {} },
        { "", 99, false, {}, {} },
    };
    for (const Case& c : cases) {
        defaults.set(QStringLiteral("badLinksOnly"), c.badOnly);
        source.setSearchText(QString::fromLatin1(c.search));
        source.setLinksFilterTag(c.tag);
        source.filter();
        QStringList expected = c.rows;
        if (c.tag == 99)
            for (const Spec& spec : kRecords)
                expected << QString::fromLatin1(spec.url);
        EXPECT_EQ(rowUrls(), expected) << c.search << " tag " << c.tag;
        EXPECT_EQ(visibleUrls(), c.visible.isEmpty() ? expected : c.visible) << c.search << " tag " << c.tag;
    }
}

TEST_F(ByLinkTest, AppearsOnStartingUrlCountsAndPageTitle)
{
    auto page = records[0];
    page->setLinkPageTitle(QStringLiteral("Home page"));
    auto once = std::make_shared<CrwlLinkInstance>();
    once->setParent(page);
    records[2]->addInboundInstance(once);
    for (int i = 0; i < 2; ++i) {
        auto twice = std::make_shared<CrwlLinkInstance>();
        twice->setParent(page);
        records[1]->addInboundInstance(twice);
    }
    source.filter();
    const TableColumn appearsOn { "onpageurl", "Appears on", false };
    EXPECT_EQ(source.tableViewObjectValue(table, appearsOn, 0).toString(), "starting url");
    EXPECT_EQ(source.tableViewObjectValue(table, appearsOn, 1).toString(), "appears 2 times");
    EXPECT_EQ(source.tableViewObjectValue(table, appearsOn, 3).toString(), "appears 0 times");
    EXPECT_EQ(source.tableViewObjectValue(table, appearsOn, 2).toString(), "http://site.test/");
    defaults.set(QStringLiteral("displayPageTitle"), 1);
    EXPECT_EQ(source.tableViewObjectValue(table, appearsOn, 2).toString(), "Home page");

    EXPECT_EQ(source.tableViewObjectValue(table, { "status", "Status", false }, 1).toString(), "404 not found");
    EXPECT_EQ(
        source.tableViewObjectValue(table, { "redir", "Redirected to", false }, 5).toString(), "http://site.test/new");
    EXPECT_EQ(source.tableViewObjectValue(table, { "linkurl", "URL", false }, 99).toString(), "");
    EXPECT_EQ(source.tableViewObjectValue(table, { "other", "Other", false }, 0).toString(), "");
}

TEST_F(ByLinkTest, LabelsFollowDisplayLabels)
{
    source.filter();
    defaults.set(QStringLiteral("displayLabels"), false);
    for (qsizetype row = 0; row < qsizetype(std::size(kRecords)); ++row)
        EXPECT_FALSE(source.labelColourForRow(row).has_value()) << row;
    defaults.set(QStringLiteral("displayLabels"), true);
    EXPECT_EQ(source.labelColourForRow(1), CrwlLabelColour::error());
    EXPECT_EQ(source.tableViewLabelColorForRow(table, 1), 3);
    EXPECT_FALSE(source.labelColourForRow(0).has_value());
    EXPECT_FALSE(source.labelColourForRow(100).has_value());
}

TEST_F(ByLinkTest, CopyVisitInspectAndMarkFollowTheSelection)
{
    source.filter();
    QStringList clips;
    QStringList opened;
    QList<std::shared_ptr<CrwlUrl>> inspected;
    source.setHooks({ [&](const QString& text) { clips << text; },
        [&](const crawlmere::platform::Url& url) { opened << url.absoluteString(); },
        [&](const std::shared_ptr<CrwlUrl>& record) { inspected << record; }, {} });

    EXPECT_TRUE(source.copyText({}).isNull());
    source.copyURL({});
    EXPECT_TRUE(clips.isEmpty());
    source.copyURL({ 1 });
    source.copyURL({ 4, 1, 99 });
    EXPECT_EQ(clips, QStringList({ "http://site.test/missing", "http://site.test/missing\nhttp://ext.test/ok\n" }));

    source.visitPageInOutlineView({ 3 });
    source.doubleClick({ 2 });
    source.doubleClick({});
    EXPECT_EQ(opened, QStringList({ "http://ext.test/gone" }));
    ASSERT_EQ(inspected.size(), 1);
    EXPECT_EQ(inspected.first(), records[2]);

    const auto marked = source.markAsFixedMenuItem({ 3, 1 });
    ASSERT_EQ(marked.size(), 2);
    EXPECT_EQ(marked.at(0), records[1]);
    CrwlByLinkDataSource::markThisUrlAsFixed(*marked.at(0));
    EXPECT_EQ(records[1]->getStatusDescription(), "User marked fixed");
}

TEST_F(ByLinkTest, HeaderSortSortsTheOwnersArrayAndKeepsBadLinksOnly)
{
    qfDataSource hub;
    hub.setCollection(links);
    source.setCollectionOwner(&hub);
    defaults.set(QStringLiteral("badLinksOnly"), true);
    source.filter();
    table.setSortDescriptors({ { "status", false } });
    source.tableViewSortDescriptorsDidChange(table);

    EXPECT_EQ(
        rowUrls(), QStringList({ "http://ext.test/gone", "http://site.test/missing", "http://site.test/anchor" }));
    EXPECT_EQ(std::dynamic_pointer_cast<CrwlUrl>(hub.getCollection().first()), records[3]);
    EXPECT_EQ(hub.getCollection().constData(), source.getCollection().constData()) << "the array stays shared";
    EXPECT_EQ(table.reloadCount(), 1);

    std::optional<qsizetype> scrolled;
    source.setHooks({ {}, {}, {}, [&](qsizetype row) { scrolled = row; } });
    EXPECT_EQ(source.reloadDataAndScrollToURL(records[7].get()), 2);
    EXPECT_EQ(scrolled, 2);
    EXPECT_FALSE(source.reloadDataAndScrollToURL(records[0].get()).has_value());
}
