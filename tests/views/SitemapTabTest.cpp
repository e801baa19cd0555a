// The Sitemap tab over its manager: counts and exclusion text shown, columns following the
// pop-ups, an edited cell handed on as one rule, a double-click opening the page.
#include "views/SitemapTab.h"

#include "platform/UserDefaults.h"
#include "sitemap/SitemapManager.h"
#include "sitemap/SitemapTestSupport.h"
#include "views/ResultItemModel.h"
#include "views/crawlmereTableView.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using crawlmere::sitemap::SitemapManager;
using crawlmere::test::sitemapPage;
using crawlmere::views::SitemapTab;

TEST(SitemapTab, ShowsTheManagerAndHandsEditsOn)
{
    QTemporaryDir folder;
    crawlmere::platform::UserDefaults defaults(folder.filePath("defaults.plist"));
    defaults.setArgumentValue("sitemapObservesRobotsMetaNoindex", true);
    SitemapManager manager(defaults);
    QList<QVariantMap> rules;
    manager.setRuleStore([&](const QVariantMap& rule) { rules.append(rule); });
    SitemapTab tab(manager);
    std::shared_ptr<CrwlUrl> opened;
    tab.setInspectorOpener([&](const std::shared_ptr<CrwlUrl>& page) { opened = page; });
    QAbstractItemModelTester tester(&tab.sitemapTableView()->itemModel());

    auto hidden = sitemapPage("http://127.0.0.1/hidden");
    hidden->setHeadContainsNoIndex(true);
    manager.setCollection({ sitemapPage("http://127.0.0.1/", 200, 0), sitemapPage("http://127.0.0.1/a"), hidden });
    tab.reloadAllData();
    EXPECT_EQ(tab.findChild<QLabel*>("tfPagesIncluded")->text(), "2");
    EXPECT_EQ(tab.findChild<QLabel*>("filterSitemapInfoText")->text(), "1 excluded due to robots noindex");
    EXPECT_FALSE(tab.findChild<QPushButton*>("filterSitemapInfoButton")->isHidden());

    auto& model = tab.sitemapTableView()->itemModel();
    ASSERT_EQ(model.rowCount(), 2);
    const int columns = model.columnCount();
    auto* priority = tab.findChild<QComboBox*>("sitemapPriority");
    priority->setCurrentIndex(1);
    Q_EMIT priority->activated(1);
    EXPECT_EQ(model.columnCount(), columns - 1);

    // Change frequency (column 2) is editable; the URL is not.
    EXPECT_FALSE(model.setData(model.index(1, 0), "x"));
    EXPECT_TRUE(model.setData(model.index(1, 2), "weekly"));
    ASSERT_EQ(rules.size(), 1);
    EXPECT_EQ(rules[0].value("contains").toString(), "http://127.0.0.1/a");
    EXPECT_EQ(rules[0].value("update").toString(), "weekly");

    Q_EMIT tab.sitemapTableView()->doubleClicked(model.index(0, 0));
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->absoluteString(), "http://127.0.0.1/");

    tab.showExcludedPages();
    EXPECT_EQ(tab.excludedTableView()->itemModel().rowCount(), 1);
}
