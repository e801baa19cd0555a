// Which link occurrences the by-page, by-status and flat views show, for every combination of
// the filter inputs that decides it.
#include "views/detail/LinkViewFilter.h"

#include "LinkViewsTestSupport.h"
#include "engine/ScopedDefaults.h"
#include "engine/TableView.h"
#include "views/CrwlByPageDataSource.h"
#include "views/CrwlByStatusDataSource.h"
#include "views/CrwlFlatViewDataSource.h"
#include "views/StatusGroup.h"

#include "engine/CrwlLabelColour.h"

#include <gtest/gtest.h>

#include <ostream>

using namespace crawlmere::views;
using namespace crawlmere::test;

namespace {

struct Case {
    const char* search;
    int tag;
    bool badOnly;
    bool targetFlag; // the by-link filter's verdict on the target
    qint64 targetStatus;
    bool inBadCollection;
    const char* linkText;
    bool byPage; // the page is listed with the link under it
    bool byStatus; // the occurrence stands in a group
    bool flat; // the occurrence is a row
};

// clang-format off
const Case cases[] = {
    // search  tag  bad    flag   status bad-coll text         page   status flat
    { "",      0,   false, false, 200,   false,   "Home",      true,  true,  false }, // nothing filters
    { "",      0,   false, true,  200,   false,   "Home",      true,  true,  true  },
    { "",      2,   false, false, 200,   false,   "Home",      false, false, false }, // a link kind hides it
    { "",      2,   false, true,  200,   false,   "Home",      true,  true,  true  },
    { "",      0,   true,  true,  200,   false,   "Home",      false, false, false }, // good target, bad only
    { "",      0,   true,  true,  404,   true,    "Home",      true,  true,  true  },
    { "",      0,   true,  false, 404,   true,    "Home",      false, false, false },
    { "",      0,   true,  true,  404,   false,   "Home",      false, true,  true  }, // bad, not in the collection
    { "foo",   0,   false, false, 200,   false,   "a foo b",   false, true,  true  }, // link-text hit
    { "foo",   0,   false, false, 200,   false,   "a Foo b",   false, false, false }, // case differs
    { "foo",   0,   false, false, 200,   false,   "",          false, false, false },
    { "foo",   0,   true,  false, 200,   false,   "a foo b",   false, false, false }, // bad only wins
    { "foo",   0,   true,  false, 500,   true,    "a foo b",   false, true,  true  },
    { "foo",   0,   false, true,  200,   false,   "other",     true,  true,  true  }, // the target's flag
    { "404",   0,   false, false, 404,   true,    "Home",      false, false, false }, // status is the by-link filter's
};
// clang-format on

// The test list names a case by its inputs.
void PrintTo(const Case& c, std::ostream* out)
{
    *out << "search=" << c.search << " tag=" << c.tag << (c.badOnly ? " bad-only" : "")
         << (c.targetFlag ? " flagged" : "") << " status=" << c.targetStatus
         << (c.inBadCollection ? " in-bad-collection" : "") << " text=" << c.linkText;
}

class LinkViewFilterTest : public ::testing::TestWithParam<Case> { };

TEST_P(LinkViewFilterTest, EachViewFollowsItsOwnRules)
{
    const Case& c = GetParam();
    ScopedDefaults defaults;
    defaults.set(QStringLiteral("badLinksOnly"), c.badOnly);
    LinkScan scan;
    const auto home = scan.page(QStringLiteral("/"));
    const auto target = scan.url(QStringLiteral("/target"), c.targetStatus);
    target->setVisible(c.targetFlag);
    target->setIsInBadCollection(c.inBadCollection);
    const auto occurrence = scan.link(home, target, QString::fromUtf8(c.linkText));
    const QString search = QString::fromUtf8(c.search);

    CrwlByPageDataSource byPage;
    byPage.setSearchText(search);
    byPage.setFilterTag(c.tag);
    byPage.setInternalPageArray(scan.pages);
    HeadlessTableView pageTable(CrwlByPageDataSource::columns().tableColumns());
    byPage.setOutlineView(&pageTable);
    byPage.filter();
    EXPECT_EQ(byPage.countPagesWithVisibleItems() == 1 && byPage.visibleLinksOfPage(*home).size() == 1, c.byPage);

    CrwlByStatusDataSource byStatus;
    byStatus.setSearchText(search);
    byStatus.setFilterTag(c.tag);
    byStatus.setCollection(scan.occurrences);
    byStatus.filter();
    EXPECT_EQ(byStatus.getStatusRows().size() == 1, c.byStatus);

    CrwlFlatViewDataSource flat;
    flat.setSearchText(search);
    flat.setCollection(scan.occurrences);
    flat.filter();
    EXPECT_EQ(occurrence->getVisible(), c.flat);
    EXPECT_EQ(flat.numberOfRowsInTableView(pageTable), c.flat ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Matrix, LinkViewFilterTest, ::testing::ValuesIn(cases));

TEST(LinkViewFilterCells, CountsAndFlagsAreFormattedAlike)
{
    EXPECT_EQ(detail::countOrEmpty(0), "");
    EXPECT_EQ(detail::countOrEmpty(3), "3");
    EXPECT_EQ(detail::yesNo(true), "YES");
    EXPECT_EQ(detail::yesNo(false), "NO");
    EXPECT_EQ(detail::localized(QStringLiteral("Internal")), "Internal");
}

TEST(LinkViewFilterCells, ALinkRowIsLabelledByItsTargetAndAStatusRowNot)
{
    LinkScan scan;
    const auto home = scan.page(QStringLiteral("/"));
    const auto broken = scan.url(QStringLiteral("/broken"), 404);
    const auto occurrence = scan.link(home, broken, QStringLiteral("Broken"));
    const StatusGroup group(QStringLiteral("404 not found"));
    ASSERT_TRUE(detail::labelForRowObject(occurrence.get()).has_value());
    EXPECT_EQ(detail::labelForRowObject(occurrence.get()), CrwlLabelColour::forRow(broken.get()));
    EXPECT_EQ(detail::colourClassForRowObject(occurrence.get()), broken->colourForCrwlUrl());
    EXPECT_EQ(detail::labelForRowObject(home.get()), CrwlLabelColour::forRow(home.get()));
    EXPECT_FALSE(detail::labelForRowObject(&group).has_value());
    EXPECT_EQ(detail::colourClassForRowObject(&group), 0);
    ScopedDefaults defaults;
    defaults.set(QStringLiteral("displayLabels"), false);
    EXPECT_FALSE(detail::labelForRowObject(occurrence.get()).has_value());
    EXPECT_EQ(detail::colourClassForRowObject(occurrence.get()), 0);
}

} // namespace

// Occurrences that share their texts share the answer; other texts are tested on their own.
TEST(LinkViewFilterCells, LinkTextHitsAnswerAsTheTestOfEachText)
{
    CrwlLinkTextPool pool;
    const auto occurrence = [&](const QString& text) {
        auto made = CrwlLinkInstance::make();
        made->setTexts(pool.intern(text, QString(), QString(), QString()));
        return made;
    };
    const std::shared_ptr<CrwlLinkInstance> occurrences[]
        = { occurrence(QStringLiteral("Next page")), occurrence(QStringLiteral("Next page")),
              occurrence(QStringLiteral("next")), occurrence(QString()), occurrence(QStringLiteral("Next")) };
    for (const QString& search : { QStringLiteral("Next"), QStringLiteral("page"), QString() }) {
        detail::LinkViewFilter filter;
        filter.searchText = search;
        detail::LinkTextHits hits(filter);
        for (int pass = 0; pass < 2; ++pass) {
            for (const auto& each : occurrences)
                EXPECT_EQ(hits(*each), filter.linkTextHit(*each)) << search.toStdString() << " " << pass;
        }
    }
}
