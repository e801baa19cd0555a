// The link views in their Qt views, offscreen: menus by row kind, Copy, header clicks and
// expanding or collapsing everything.
#include "views/LinkViewMenus.h"

#include "LinkViewsTestSupport.h"
#include "platform/NotificationCenter.h"
#include "support/RecordingPasteboard.h"
#include "views/CrwlByPageDataSource.h"
#include "views/CrwlByStatusDataSource.h"
#include "views/CrwlFlatViewDataSource.h"
#include "views/LinkViewOpener.h"
#include "views/ResultItemModel.h"
#include "views/crawlmereTableView.h"
#include "views/qfOutlineView.h"

#include <QHeaderView>
#include <QMenu>

#include <gtest/gtest.h>

using namespace crawlmere::views;
using namespace crawlmere::test;
using crawlmere::platform::NotificationCenter;

namespace {

class RecordingOpener : public LinkViewOpener {
public:
    void inspect(const std::shared_ptr<CrwlUrl>& url) override { calls << "inspect " + url->absoluteString(); }
    void inspectPage(const std::shared_ptr<CrwlUrl>& page) override { calls << "page " + page->absoluteString(); }
    void highlight(const std::shared_ptr<CrwlLinkInstance>& occurrence) override
    {
        calls << "highlight " + occurrence->getLinkUrl();
    }
    void locate(const qfDataSource::Item&) override { calls << QStringLiteral("locate"); }
    QStringList calls;
};

class LinkViewMenusTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        home = scan.page(QStringLiteral("/b-home"));
        about = scan.page(QStringLiteral("/a-about"));
        missing = scan.url(QStringLiteral("/missing"), 404);
        scan.link(home, about, QStringLiteral("About"));
        scan.link(home, missing, QStringLiteral("Gone"));
        scan.link(about, missing, QStringLiteral("Gone again"));
        scan.link(about, home, QStringLiteral("Home"));
    }
    static QMenu* menuAt(ResultTreeView& view, const QModelIndex& row)
    {
        return view.menuForEvent(view.visualRect(row).center());
    }

    LinkScan scan;
    std::shared_ptr<CrwlUrl> home, about, missing;
    RecordingPasteboard pasteboard;
    RecordingOpener opener;
};

TEST_F(LinkViewMenusTest, TheMenuFollowsTheRowKindAndNeedsAnOpenerToInspect)
{
    CrwlByPageDataSource source;
    qfOutlineView view;
    view.resize(800, 400);
    LinkViewMenus::attachByPage(view, source);
    source.setInternalPageArray(scan.pages);
    source.filter();
    const QModelIndex page = view.itemModel().index(0, 0);
    view.expand(page);
    const QModelIndex link = view.itemModel().index(1, 0, page);

    QMenu* pageMenu = menuAt(view, page);
    ASSERT_NE(pageMenu, nullptr);
    EXPECT_EQ(pageMenu->objectName(), "byPagePageMenu");
    Q_EMIT pageMenu->aboutToShow();
    EXPECT_FALSE(LinkViewMenus::action(pageMenu, "inspectPage")->isEnabled());
    EXPECT_TRUE(LinkViewMenus::action(pageMenu, "copyURL")->isEnabled());
    QMenu* linkMenu = menuAt(view, link);
    EXPECT_EQ(linkMenu->objectName(), "byPageLinkMenu");
    Q_EMIT linkMenu->aboutToShow();
    EXPECT_FALSE(LinkViewMenus::action(linkMenu, "highlightLink")->isEnabled());

    source.setOpener(&opener);
    Q_EMIT linkMenu->aboutToShow();
    ASSERT_TRUE(LinkViewMenus::action(linkMenu, "highlightLink")->isEnabled());
    LinkViewMenus::action(linkMenu, "highlightLink")->trigger();
    LinkViewMenus::action(linkMenu, "inspectLink")->trigger();
    menuAt(view, page);
    Q_EMIT pageMenu->aboutToShow();
    LinkViewMenus::action(pageMenu, "inspectPage")->trigger();
    EXPECT_EQ(opener.calls,
        QStringList({ "highlight https://site.test/missing", "inspect https://site.test/missing",
            "page https://site.test/b-home" }));

    // Several rows: the tertiary menu, selection kept.
    view.selectionModel()->select(link, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(menuAt(view, page)->objectName(), "byPageSelectionMenu");
}

TEST_F(LinkViewMenusTest, StatusRowsGetTheExpandMenuAndOccurrencesTheLinkMenu)
{
    CrwlByStatusDataSource source;
    qfOutlineView view;
    view.resize(800, 400);
    LinkViewMenus::attachByStatus(view, source);
    source.setCollection(scan.occurrences);
    source.filter();
    const QModelIndex group = view.itemModel().index(0, 0);
    view.expand(group);
    EXPECT_EQ(menuAt(view, group)->objectName(), "byStatusStatusMenu");
    EXPECT_EQ(menuAt(view, view.itemModel().index(0, 0, group))->objectName(), "byStatusLinkMenu");
}

TEST_F(LinkViewMenusTest, CopyOfThreeRowsGivesEachUrlOnItsOwnLineTopToBottom)
{
    CrwlFlatViewDataSource source;
    crawlmereTableView view;
    view.resize(800, 400);
    LinkViewMenus::attachFlat(view, source);
    source.setPasteboard(&pasteboard);
    source.setCollection(scan.occurrences);
    source.filter();
    source.reloadData();
    ASSERT_EQ(view.itemModel().rowCount(), 4);
    for (int row : { 3, 0, 1 })
        view.selectionModel()->select(
            view.itemModel().index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    view.copy();
    view.selectionModel()->select(
        view.itemModel().index(2, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view.copy();
    EXPECT_EQ(pasteboard.strings,
        QStringList({ "https://site.test/a-about\nhttps://site.test/missing\nhttps://site.test/b-home\n",
            "https://site.test/missing" }));
}

TEST_F(LinkViewMenusTest, AHeaderClickKeepsTheSelectedPageSelectedAndInView)
{
    CrwlByPageDataSource source;
    qfOutlineView view;
    view.resize(800, 400);
    LinkViewMenus::attachByPage(view, source);
    source.setInternalPageArray(scan.pages);
    source.filter();
    const QModelIndex homeRow = view.itemModel().index(0, 0);
    ASSERT_EQ(view.itemAt(homeRow), home);
    view.selectionModel()->setCurrentIndex(homeRow, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    Q_EMIT view.header()->sectionClicked(0); // URL, ascending: the about page comes first
    EXPECT_EQ(view.itemAt(view.itemModel().index(0, 0)), about);
    const QList<qfDataSource::Item> selected = view.selectedItems();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected.first(), home);
    EXPECT_EQ(view.itemAt(view.currentIndex()), home);
    EXPECT_TRUE(view.viewport()->rect().intersects(view.visualRect(view.currentIndex())));
}

TEST_F(LinkViewMenusTest, ExpandAndCollapseAllPostTheReloadNotificationOnce)
{
    CrwlByStatusDataSource source;
    qfOutlineView view;
    LinkViewMenus::attachByStatus(view, source);
    source.setCollection(scan.occurrences);
    source.filter();
    int posts = 0;
    NotificationCenter::defaultCenter().addObserver(
        this, qfOutlineView::didReloadDataNotification, [&](const auto&) { ++posts; });
    source.expandAllButton();
    EXPECT_EQ(posts, 1);
    for (int row = 0; row < view.itemModel().rowCount(); ++row)
        EXPECT_TRUE(view.isExpanded(view.itemModel().index(row, 0)));
    source.collapseAllButton();
    EXPECT_EQ(posts, 2);
    EXPECT_FALSE(view.isExpanded(view.itemModel().index(0, 0)));
    NotificationCenter::defaultCenter().removeObserver(this);
}

} // namespace
