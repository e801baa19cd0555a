// The three link views over a scan large enough for their passes to be split between threads:
// the rows come out as the views' own one-row tests and the collection's order make them.
#include "LinkViewsTestSupport.h"
#include "engine/ScopedDefaults.h"
#include "platform/ParallelParts.h"
#include "views/CrwlByPageDataSource.h"
#include "views/CrwlByStatusDataSource.h"
#include "views/CrwlFlatViewDataSource.h"
#include "views/StatusGroup.h"

#include <gtest/gtest.h>

using namespace crawlmere::views;
using crawlmere::test::LinkScan;

namespace {

// 5,000 pages with 14 links each to 5,500 targets of mixed statuses; every third target hidden
// by the by-link flags, every fifth link text holding "needle".
class LinkViewsInParts : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (crawlmere::platform::partsFor(70'000, CrwlFlatViewDataSource::kRowsPerPart) < 2)
            GTEST_SKIP() << "one core: the passes are not split";
        std::vector<std::shared_ptr<CrwlUrl>> targets;
        for (int p = 0; p < 5000; ++p)
            targets.push_back(scan.page(QStringLiteral("/page-%1").arg(p)));
        const qint64 statuses[] = { 200, 404, 200, 500, 410 };
        for (int t = 0; t < 500; ++t)
            targets.push_back(scan.url(QStringLiteral("/other-%1").arg(t), statuses[t % 5]));
        for (size_t t = 0; t < targets.size(); ++t) {
            if (t % 7 == 3) {
                targets[t]->addRedir(QStringLiteral("https://site.test/moved-%1").arg(t), 301, 0);
                targets[t]->setIsInBadCollection(targets[t]->shouldBeMemberOfBadCollection());
            }
            targets[t]->setVisible(t % 3 != 0);
        }
        for (size_t p = 0; p < scan.pages.size(); ++p) {
            for (size_t j = 0; j < 14; ++j) {
                const auto& target = targets[(p * 7 + j * 13 + (p % 11) * 389) % targets.size()];
                scan.link(scan.pages[p], target,
                    (j % 5 == 0 ? QStringLiteral("needle %1") : QStringLiteral("Link %1")).arg(p * 14 + j));
            }
        }
    }

    LinkScan scan;
};

struct FilterState {
    const char* search;
    bool badOnly;
};
const FilterState kStates[] = { { "", false }, { "needle", false }, { "", true }, { "needle", true } };

/// `source` given its rows by `fill` and filtered with the search of `state` (bad links only is
/// the caller's to set, for as long as it checks the rows).
template <class Source, class Fill> void filterIn(const FilterState& state, Source& source, Fill fill)
{
    fill(source);
    source.setSearchText(QString::fromLatin1(state.search));
    source.filter();
}

TEST_F(LinkViewsInParts, FlatRowsAndBadLinksKeepTheCollectionsOrder)
{
    for (const FilterState& state : kStates) {
        crawlmere::test::ScopedDefaults defaults;
        defaults.set(QStringLiteral("badLinksOnly"), state.badOnly);
        CrwlFlatViewDataSource flat;
        filterIn(state, flat, [&](auto& source) { source.setCollection(scan.occurrences); });
        QList<qfDataSource::Item> shown;
        QList<qfDataSource::Item> bad;
        for (const auto& item : scan.occurrences) {
            const auto& occurrence = static_cast<const CrwlLinkInstance&>(*item);
            if (flat.shouldBeVisible(occurrence))
                shown.append(item);
            if (occurrence.target()->shouldBeMemberOfBadCollection())
                bad.append(item);
            ASSERT_EQ(occurrence.getVisible(), flat.shouldBeVisible(occurrence));
        }
        ASSERT_GT(shown.size(), 1000) << state.search;
        EXPECT_TRUE(flat.getSortedAndFilteredArray() == shown) << state.search << state.badOnly;
        EXPECT_TRUE(flat.getBadCollection() == bad) << state.search << state.badOnly;
    }
}

TEST_F(LinkViewsInParts, StatusGroupsStandInFirstSeenOrderWithTheirOccurrencesInOrder)
{
    for (const FilterState& state : kStates) {
        crawlmere::test::ScopedDefaults defaults;
        defaults.set(QStringLiteral("badLinksOnly"), state.badOnly);
        CrwlByStatusDataSource byStatus;
        filterIn(state, byStatus, [&](auto& source) { source.setCollection(scan.occurrences); });
        QStringList texts;
        QHash<QString, QList<qfDataSource::Item>> groups;
        for (const auto& item : scan.occurrences) {
            const auto& occurrence = static_cast<const CrwlLinkInstance&>(*item);
            if (!byStatus.shouldBeVisible(occurrence))
                continue;
            const QString text = occurrence.target()->getStatusDescription();
            if (!groups.contains(text))
                texts.append(text);
            groups[text].append(item);
        }
        QStringList shownTexts;
        for (const auto& group : byStatus.getStatusRows()) {
            shownTexts.append(group->getStatusText());
            EXPECT_TRUE(group->occurrences == groups.value(group->getStatusText()))
                << qPrintable(group->getStatusText()) << state.search << state.badOnly;
        }
        ASSERT_GE(texts.size(), 3);
        EXPECT_EQ(shownTexts, texts) << state.search << state.badOnly;
    }
}

TEST_F(LinkViewsInParts, PagesAndTheirLinksKeepThePagesOrder)
{
    for (const FilterState& state : kStates) {
        crawlmere::test::ScopedDefaults defaults;
        defaults.set(QStringLiteral("badLinksOnly"), state.badOnly);
        CrwlByPageDataSource byPage;
        filterIn(state, byPage, [&](auto& source) { source.setInternalPageArray(scan.pages); });
        qsizetype row = 0;
        for (const auto& page : scan.pages) {
            QList<qfDataSource::Item> links;
            bool bad = false;
            for (const auto& link : page->getOutboundInstances()) {
                if (byPage.shouldBeVisible(*link)) {
                    links.append(link);
                    bad = bad || link->target()->isInBadCollection();
                }
            }
            if (links.isEmpty() || (state.badOnly && !bad))
                continue;
            ASSERT_EQ(byPage.getNthPageWithVisibleItems(row), page) << row << state.search << state.badOnly;
            EXPECT_TRUE(byPage.visibleLinksOfPage(*page) == links) << row;
            ++row;
        }
        EXPECT_GT(row, 100) << state.search << state.badOnly;
        EXPECT_EQ(byPage.getNthPageWithVisibleItems(row), nullptr);
    }
}

} // namespace
