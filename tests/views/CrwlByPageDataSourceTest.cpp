// The by-page view: which pages and links it lists, in which order, and the texts it shows.
#include "views/CrwlByPageDataSource.h"

#include "LinkViewsTestSupport.h"
#include "engine/ScopedDefaults.h"
#include "views/ResultItemModel.h"

#include <QAbstractItemModelTester>

#include <gtest/gtest.h>

using namespace crawlmere::views;
using namespace crawlmere::test;

namespace {

class ByPageFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        home = scan.page(QStringLiteral("/b-home"));
        about = scan.page(QStringLiteral("/a-about"));
        quiet = scan.page(QStringLiteral("/c-quiet"));
        external = scan.url(QStringLiteral("/external"), 200);
        external->setIsInternal(false);
        missing = scan.url(QStringLiteral("/missing"), 404);
        scan.link(home, about, QStringLiteral("About"));
        scan.link(home, external, QStringLiteral("Elsewhere"));
        scan.link(home, missing, QStringLiteral("Gone"));
        scan.link(about, home, QStringLiteral("Home"));
        source.setOutlineView(&outline);
        source.setInternalPageArray(scan.pages);
    }
    QStringList pageUrls()
    {
        QStringList urls;
        for (qsizetype i = 0; i < source.outlineViewNumberOfChildrenOfItem(outline, nullptr); ++i)
            urls << source.getNthPageWithVisibleItems(i)->absoluteString().mid(17);
        return urls;
    }
    QStringList linkTexts(const std::shared_ptr<CrwlUrl>& page)
    {
        QStringList texts;
        for (const auto& link : source.visibleLinksOfPage(*page))
            texts << CrwlByPageDataSource::cellValue(QStringLiteral("linkText"), link.get());
        return texts;
    }

    LinkScan scan;
    std::shared_ptr<CrwlUrl> home, about, quiet, external, missing;
    HeadlessTableView outline { CrwlByPageDataSource::columns().tableColumns() };
    CrwlByPageDataSource source;
};

TEST_F(ByPageFixture, PagesWithoutVisibleLinksAreLeftOut)
{
    source.filter();
    EXPECT_EQ(outline.reloadCount(), 1);
    EXPECT_EQ(pageUrls(), QStringList({ "/b-home", "/a-about" })); // the quiet page has no links
    home->setVisible(false);
    source.setSearchText(QStringLiteral("x")); // a search hands visibility to the by-link flags
    source.filter();
    EXPECT_EQ(pageUrls(), QStringList({ "/b-home" }));
    EXPECT_EQ(linkTexts(home), QStringList({ "About", "Elsewhere", "Gone" }));
    EXPECT_EQ(source.getNthPageWithVisibleItems(1), nullptr);
}

TEST_F(ByPageFixture, BadLinksOnlyListsPagesWithABadLinkAndOnlyTheBadLinks)
{
    ScopedDefaults defaults;
    defaults.set(QStringLiteral("badLinksOnly"), true);
    source.filter();
    EXPECT_EQ(pageUrls(), QStringList({ "/b-home" }));
    EXPECT_EQ(linkTexts(home), QStringList({ "Gone" }));
    EXPECT_TRUE(source.pageHasAtLeastOneVisibleItem(*home));
    EXPECT_FALSE(source.pageHasAtLeastOneVisibleItem(*about));
    EXPECT_FALSE(source.pageHasAtLeastOneVisibleItem(*quiet));
}

TEST_F(ByPageFixture, TheUrlHeaderSortsPagesAndTheInternalHeaderSortsLinks)
{
    outline.setSortDescriptors({ { QStringLiteral("linkurldecoded"), true } });
    source.outlineViewDidClickTableColumn(outline, outline.tableColumns()[0]);
    EXPECT_EQ(pageUrls(), QStringList({ "/a-about", "/b-home" }));
    outline.setSortDescriptors({ { QStringLiteral("linkurldecoded"), false } });
    source.outlineViewDidClickTableColumn(outline, outline.tableColumns()[0]);
    EXPECT_EQ(pageUrls(), QStringList({ "/b-home", "/a-about" }));
    EXPECT_EQ(outline.reloadCount(), 2);

    // "External" before "Internal"; the pages keep their URL order from the second descriptor.
    outline.setSortDescriptors({ { QStringLiteral("internal"), true }, { QStringLiteral("linkurldecoded"), true } });
    source.reloadData();
    EXPECT_EQ(pageUrls(), QStringList({ "/a-about", "/b-home" }));
    EXPECT_EQ(linkTexts(home), QStringList({ "Elsewhere", "About", "Gone" }));
    outline.setSortDescriptors({ { QStringLiteral("linkText"), false } });
    source.reloadData();
    EXPECT_EQ(linkTexts(home), QStringList({ "Gone", "Elsewhere", "About" }));
}

TEST_F(ByPageFixture, CellsOfPageAndLinkRows)
{
    source.filter();
    const auto link = source.visibleLinksOfPage(*home).first();
    auto* occurrence = static_cast<CrwlLinkInstance*>(link.get());
    LinkScan::setEveryFact(*about, *occurrence, *home);
    for (const ViewColumn& column : CrwlByPageDataSource::columns().columns())
        EXPECT_FALSE(CrwlByPageDataSource::cellValue(column.identifier, link.get()).isEmpty())
            << qPrintable(column.identifier);
    EXPECT_EQ(
        CrwlByPageDataSource::cellValue(QStringLiteral("linkurldecoded"), home.get()), "https://site.test/b-home");
    EXPECT_EQ(CrwlByPageDataSource::cellValue(QStringLiteral("linkurl"), home.get()), "https://site.test/b-home");
    EXPECT_EQ(CrwlByPageDataSource::cellValue(QStringLiteral("status"), home.get()), "");
    EXPECT_EQ(CrwlByPageDataSource::cellValue(QStringLiteral("internal"), link.get()), "Internal");
    // A link with no redirects shows an empty redirect count.
    const auto plain = source.visibleLinksOfPage(*home).last();
    EXPECT_EQ(CrwlByPageDataSource::cellValue(QStringLiteral("redirectCount"), plain.get()), "");
    EXPECT_EQ(CrwlByPageDataSource::cellValue(QStringLiteral("linkText"), nullptr), "");
}

TEST_F(ByPageFixture, CellsReadByTheModelMatchTheCellTextsWhateverStringNamesTheColumn)
{
    source.filter();
    const auto link = source.visibleLinksOfPage(*home).first();
    LinkScan::setEveryFact(*about, *static_cast<CrwlLinkInstance*>(link.get()), *home);
    // The columns' own strings, copies with their own text buffers, and names outside the table.
    QStringList identifiers = { QStringLiteral("Status"), QStringLiteral("linkurl"), QStringLiteral("nosuchfield") };
    for (const ViewColumn& column : CrwlByPageDataSource::columns().columns())
        identifiers << column.identifier << QString::fromUtf8(column.identifier.toUtf8());
    for (int pass = 0; pass < 2; ++pass) {
        for (const QString& identifier : identifiers) {
            const TableColumn column { identifier, identifier };
            for (const auto& row : { link, std::shared_ptr<CrwlDataObject>(home) }) {
                EXPECT_EQ(source.outlineViewObjectValue(outline, column, row).toString(),
                    CrwlByPageDataSource::cellValue(identifier, row.get()))
                    << qPrintable(identifier);
            }
        }
    }
    const QString status = CrwlByPageDataSource::cellValue(QStringLiteral("status"), link.get());
    EXPECT_FALSE(status.isEmpty());
    EXPECT_EQ(source.outlineViewObjectValue(outline, { QStringLiteral("Status"), {} }, link).toString(), status);
    EXPECT_EQ(source.outlineViewObjectValue(outline, { QStringLiteral("linkurl"), {} }, link).toString(), "");
}

TEST_F(ByPageFixture, OutOfRangeChildrenAndRowKinds)
{
    source.filter();
    EXPECT_EQ(source.outlineViewChildOfItem(outline, 2, nullptr), nullptr);
    EXPECT_EQ(source.outlineViewChildOfItem(outline, -1, home), nullptr);
    EXPECT_EQ(source.outlineViewChildOfItem(outline, 3, home), nullptr);
    EXPECT_TRUE(source.outlineViewIsItemExpandable(outline, home));
    EXPECT_FALSE(source.outlineViewIsItemExpandable(outline, quiet)); // not listed
    EXPECT_FALSE(source.outlineViewIsItemExpandable(outline, source.outlineViewChildOfItem(outline, 0, home)));
    const auto link = source.outlineViewChildOfItem(outline, 0, home);
    EXPECT_EQ(source.visitPageInOutlineView({ home }), "https://site.test/b-home");
    EXPECT_EQ(source.visitPageInOutlineView({ link }), "https://site.test/b-home");
    EXPECT_EQ(source.visitPageInOutlineView({}), "");
    EXPECT_EQ(source.getCount(), 3);
    source.clear();
    EXPECT_EQ(source.getCount(), 0);
    EXPECT_EQ(source.outlineViewNumberOfChildrenOfItem(outline, nullptr), 0);
    EXPECT_TRUE(outline.sortDescriptors().isEmpty());
}

TEST_F(ByPageFixture, ModelPassesTheTesterAcrossFilterSortAndClear)
{
    ResultItemModel model(outline);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.setColumns(outline.tableColumns());
    model.setOutlineDataSource(&source);
    source.filter();
    model.reload();
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.rowCount(model.index(0, 0)), 3);
    EXPECT_EQ(model.data(model.index(2, 2, model.index(0, 0))).toString(), "Gone");
    ScopedDefaults defaults;
    defaults.set(QStringLiteral("badLinksOnly"), true);
    source.filter();
    model.reload();
    EXPECT_EQ(model.rowCount(), 1);
    defaults.set(QStringLiteral("badLinksOnly"), false);
    outline.setSortDescriptors({ { QStringLiteral("linkurldecoded"), true } });
    source.outlineViewDidClickTableColumn(outline, outline.tableColumns()[0]);
    model.reload();
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), "https://site.test/a-about");
    source.clear();
    model.reload();
    EXPECT_EQ(model.rowCount(), 0);
}

// Link texts equal but for case keep their order; each page's links are ordered on their own.
TEST_F(ByPageFixture, LinkTextSortIgnoresCaseKeepsTiesInOrderAndStaysWithinEachPage)
{
    scan.link(about, missing, QStringLiteral("b"));
    scan.link(about, external, QStringLiteral("a"));
    scan.link(about, home, QStringLiteral("HOME"));
    scan.link(home, home, QStringLiteral("about"));
    const struct {
        bool ascending;
        QStringList home, about;
    } cases[] = {
        { true, { "About", "about", "Elsewhere", "Gone" }, { "a", "b", "Home", "HOME" } },
        { false, { "Gone", "Elsewhere", "About", "about" }, { "Home", "HOME", "b", "a" } },
    };
    ResultItemModel model(outline);
    model.setColumns(outline.tableColumns());
    model.setOutlineDataSource(&source);
    for (const auto& c : cases) {
        outline.setSortDescriptors({ { QStringLiteral("linkText"), c.ascending } });
        source.outlineViewDidClickTableColumn(outline, outline.tableColumns()[2]);
        EXPECT_EQ(linkTexts(home), c.home) << c.ascending;
        EXPECT_EQ(linkTexts(about), c.about) << c.ascending;
        // The model reads the rows of the new order once it has reloaded.
        model.reload();
        const QModelIndex aboutRow = model.index(1, 0);
        ASSERT_EQ(model.data(aboutRow).toString(), "https://site.test/a-about");
        QStringList shown;
        for (int row = 0; row < model.rowCount(aboutRow); ++row)
            shown << model.data(model.index(row, 2, aboutRow)).toString();
        EXPECT_EQ(shown, c.about) << c.ascending;
    }
}

} // namespace
