// The Sitemap tab over its manager: counts and exclusion text shown, columns following the
// pop-ups, an edited cell handed on as one rule, a double-click opening the page.
#include "views/SitemapTab.h"

#include "engine/CrwlLinkInstance.h"
#include "platform/UserDefaults.h"
#include "sitemap/SitemapManager.h"
#include "sitemap/SitemapTestSupport.h"
#include "support/LogCapture.h"
#include "views/ResultItemModel.h"
#include "views/crawlmereTableView.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

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
    // The window opens wide enough that every column's heading reads whole, the last ones too.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(tab.excludedTableView()->window()));
    const QHeaderView* header = tab.excludedTableView()->header();
    for (int column = 0; column < header->count(); ++column) {
        if (header->isSectionHidden(column))
            continue;
        SCOPED_TRACE(header->model()->headerData(column, Qt::Horizontal).toString().toStdString());
        EXPECT_LE(header->sectionViewportPosition(column) + header->sectionSizeHint(column),
            tab.excludedTableView()->viewport()->width());
    }
}

TEST(SitemapTab, AnEditedCellIsHandedOnAndItsEditorClosedByTheView)
{
    QTemporaryDir folder;
    crawlmere::platform::UserDefaults defaults(folder.filePath("defaults.plist"));
    SitemapManager manager(defaults);
    SitemapTab tab(manager);
    // As the application does: a stored rule comes back as the site's rules, and the table reloads.
    QVariantList rules;
    manager.setRuleStore([&](const QVariantMap& rule) {
        rules.append(rule);
        manager.setCrawlSettings({ { "sitemapRules", rules } });
        manager.updateChangeFrequencies();
    });
    auto* view = tab.sitemapTableView();
    QAbstractItemModelTester tester(&view->itemModel());
    manager.setCollection({ sitemapPage("http://127.0.0.1/", 200, 0), sitemapPage("http://127.0.0.1/a") });
    tab.reloadAllData();
    tab.resize(900, 600);
    tab.show();

    crawlmere::test::LogCapture log;
    const QModelIndex cell = view->itemModel().index(1, 3); // Priority
    view->setCurrentIndex(cell);
    view->edit(cell);
    auto* editor = view->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText("0.8");
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
    ASSERT_EQ(rules.size(), 1);
    EXPECT_EQ(rules[0].toMap().value("priority").toString(), "0.8");
    EXPECT_EQ(view->itemModel().index(1, 3).data().toString(), "0.8");
    EXPECT_EQ(log.count("closeEditor"), 0) << qPrintable(log.lines().join('\n'));
}

TEST(SitemapTab, TheRowMenusCopyAndVisitThePageOfTheClickedRowWithoutItsFragment)
{
    QTemporaryDir folder;
    crawlmere::platform::UserDefaults defaults(folder.filePath("defaults.plist"));
    defaults.setArgumentValue("sitemapObservesRobotsMetaNoindex", true);
    SitemapManager manager(defaults);
    SitemapTab tab(manager);
    QStringList visited;
    tab.setUrlOpener([&](const QString& url) { visited.append(url); });
    auto hidden = sitemapPage("http://127.0.0.1/hidden#top");
    hidden->setHeadContainsNoIndex(true);
    manager.setCollection({ sitemapPage("http://127.0.0.1/", 200, 0), sitemapPage("http://127.0.0.1/a#part"), hidden });
    tab.reloadAllData();
    tab.showExcludedPages();

    struct Case {
        crawlmereTableView* table;
        int row;
        const char* copyItem;
        const char* visitItem;
        const char* url;
    };
    for (const Case& c :
        { Case { tab.sitemapTableView(), 1, "copyURLMenuItem", "visitURLMenuItem", "http://127.0.0.1/a" },
            Case { tab.sitemapTableView(), 0, "copyURLMenuItem", "visitURLMenuItem", "http://127.0.0.1/" },
            Case { tab.excludedTableView(), 0, "copyExcludedPageUrlMenuItem", "visitExcludedPageUrlMenuItem",
                "http://127.0.0.1/hidden" } }) {
        SCOPED_TRACE(c.url);
        // The right-click selects the row under the pointer and answers the row menu.
        const QPoint centre = c.table->visualRect(c.table->itemModel().index(c.row, 0)).center();
        QMenu* menu = c.table->menuForEvent(centre);
        ASSERT_NE(menu, nullptr);
        Q_EMIT menu->aboutToShow();
        QAction* copy = menu->findChild<QAction*>(QLatin1String(c.copyItem));
        QAction* visit = menu->findChild<QAction*>(QLatin1String(c.visitItem));
        ASSERT_TRUE(copy && visit);
        EXPECT_TRUE(copy->isEnabled());
        QApplication::clipboard()->clear();
        copy->trigger();
        EXPECT_EQ(QApplication::clipboard()->text(), c.url);
        visited.clear();
        visit->trigger();
        EXPECT_EQ(visited, QStringList { c.url });
    }

    // The copy key copies the selected row's page as the item does.
    tab.sitemapTableView()->selectionModel()->select(tab.sitemapTableView()->itemModel().index(1, 0),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QApplication::clipboard()->clear();
    QTest::keyClick(tab.sitemapTableView(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "http://127.0.0.1/a");

    // Over no row nothing is selected and the items are off.
    QMenu* menu = tab.sitemapTableView()->menuForEvent(QPoint(5, 5000));
    ASSERT_NE(menu, nullptr);
    Q_EMIT menu->aboutToShow();
    EXPECT_FALSE(menu->findChild<QAction*>("copyURLMenuItem")->isEnabled());
    visited.clear();
    menu->findChild<QAction*>("visitURLMenuItem")->trigger();
    EXPECT_TRUE(visited.isEmpty());
}

TEST(SitemapManagerHighlight, OnlyTheNoAltItemHidesImagesWithALongLinkText)
{
    QTemporaryDir folder;
    crawlmere::platform::UserDefaults defaults(folder.filePath("defaults.plist"));
    SitemapManager manager(defaults);
    const auto image = [](const QString& text) {
        auto occurrence = std::make_shared<CrwlLinkInstance>();
        occurrence->setLinkText(text);
        return occurrence;
    };
    struct Case {
        int tag;
        const char* text;
        bool shown;
    };
    for (const Case& c : { Case { 0, "[alt]: a long description", true },
             Case { 12, "[alt]: a long description", false }, Case { 12, "[alt]: ab", true },
             Case { 12, "[alt]: abc", false }, Case { 12, "", true }, Case { 3, "[alt]: a long description", true } }) {
        SCOPED_TRACE(std::to_string(c.tag) + " " + c.text);
        manager.setHighlightTag(c.tag);
        EXPECT_EQ(manager.shouldDisplayImageBasedOnFilterButton(*image(QLatin1String(c.text))), c.shown);
    }
    manager.clear();
    EXPECT_EQ(manager.highlightTag(), 0);
}

// The Last modified box shows what the XML sitemap writes, in every state of the two settings the
// writer reads, also when they are registered after the manager was made (as at start-up) and
// when the preferences change them while the tab is hidden; a click on the box changes both.
TEST(SitemapTab, TheLastModifiedBoxIsWhatTheSitemapWrites)
{
    struct State {
        const char* name;
        QVariantMap registered;
        QVariantMap set;
    };
    const State states[] = {
        { "registered default", { { "includeLastModInXML", true } }, {} },
        { "switched off", { { "includeLastModInXML", true } }, { { "includeLastModInXML", false } } },
        { "the other key", {}, { { "includeLastmod", true } } },
        { "neither", {}, {} },
    };
    for (const State& state : states) {
        SCOPED_TRACE(state.name);
        QTemporaryDir folder;
        crawlmere::platform::UserDefaults defaults(folder.filePath("defaults.plist"));
        SitemapManager manager(defaults);
        defaults.registerDefaults(state.registered);
        for (auto it = state.set.begin(); it != state.set.end(); ++it)
            defaults.setObject(it.value(), it.key());
        auto page = sitemapPage("http://127.0.0.1/", 200, 0);
        page->setTargetLastModified(QStringLiteral("Wed, 04 Mar 2026 05:06:07 GMT"));
        manager.setCollection({ page });
        SitemapTab tab(manager);
        auto* box = tab.findChild<QCheckBox*>("includelastmodinsitemap");
        const auto writes = [&] { return manager.getXMLSitemap().join(QString()).contains("<lastmod>"); };
        const auto hasColumn = [&] {
            for (const TableColumn& column : tab.sitemapTableView()->tableColumns()) {
                if (column.identifier == u"lastmodified")
                    return true;
            }
            return false;
        };
        EXPECT_EQ(box->isChecked(), writes());
        EXPECT_EQ(hasColumn(), writes());

        box->click();
        EXPECT_EQ(box->isChecked(), writes());
        EXPECT_EQ(hasColumn(), writes());

        // Changed elsewhere while the tab was hidden: shown again, the box follows.
        defaults.setBool(!writes(), "includeLastModInXML");
        defaults.setBool(false, "includeLastmod");
        tab.show();
        EXPECT_EQ(box->isChecked(), writes());
        EXPECT_EQ(hasColumn(), writes());
    }
}
